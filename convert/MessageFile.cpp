#include "MessageFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

#include "errors.h"

namespace tolvik {

MessageFile::~MessageFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool MessageFile::Open(const std::string& path, std::string* reason) {
    return OpenIn(AT_FDCWD, path.c_str(), reason);
}

bool MessageFile::OpenIn(int folderFd, const char* name, std::string* reason) {
    fd_ = ::openat(folderFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    int error = 0;
    if (fd_ < 0 || ::fstat(fd_, &info_) != 0) {
        error = errno;
    } else if (S_ISDIR(info_.st_mode)) {
        error = EISDIR;
    }
    if (error != 0) {
        error_ = error;
        if (reason) {
            *reason = DescribeError(error);
        }
        return false;
    }
    return true;
}

long MessageFile::ReadInto(char* into, std::size_t size) {
    if (ended_ || AllRead()) {
        return 0;
    }
    for (;;) {
        const ssize_t got = ::read(fd_, into, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            ended_ = true;  // a pipe or device with nothing to give now
            return 0;
        }
        if (got == 0) {
            ended_ = true;
        }
        if (got < 0) {
            error_ = errno;
        }
        if (got > 0) {
            readTotal_ += static_cast<std::size_t>(got);
        }
        return static_cast<long>(got);
    }
}

long MessageFile::ReadMore(std::size_t want) {
    if (IsPlainFile() && info_.st_size > 0) {
        want = std::min(want, static_cast<std::size_t>(info_.st_size) -
                                  std::min(readTotal_, static_cast<std::size_t>(info_.st_size)));
        want = std::max<std::size_t>(want, 1);
    }
    if (buffer_.size() < used_ + want) {
        buffer_.resize(used_ + want);
    }
    const long got = ReadInto(buffer_.data() + used_, want);
    if (got > 0) {
        used_ += static_cast<std::size_t>(got);
    }
    return got;
}

bool MessageFile::AllRead() const {
    // The size is known: spare the read that would only report the end.
    return IsPlainFile() && info_.st_size > 0 &&
           readTotal_ >= static_cast<std::size_t>(info_.st_size);
}

}  // namespace tolvik
