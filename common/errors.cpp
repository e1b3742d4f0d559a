#include "errors.h"

#include <cerrno>
#include <cstring>

namespace tolvik {

std::string DescribeError(int error) {
    switch (error) {
        case ENOENT:
            return "it does not exist";
        case EISDIR:
            return "it is a folder, not a file";
        case ENOTDIR:
            return "a file stands where a folder is needed";
        case EACCES:
        case EPERM:
            return "permission denied";
        case ENOSPC:
            return "the disk is full";
        case EDQUOT:
            return "the disk quota is used up";
        case EFBIG:
            return "the file has reached the largest size allowed";
        case ENAMETOOLONG:
            return "the path is too long";
        case EROFS:
            return "the disk is read-only";
        case EEXIST:
            return "a file of that name is in the way";
        case ELOOP:
            return "too many links in the path";
        case EIO:
            return "the disk reported an input/output error";
        default:
            return std::strerror(error);
    }
}

}  // namespace tolvik
