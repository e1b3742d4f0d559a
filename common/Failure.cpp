#include "Failure.h"

#include <cerrno>
#ifndef _WIN32
#include <sys/statvfs.h>
#endif

#include "errors.h"

namespace tolvik {

Failure Failure::Of(Stage stage, Problem problem, std::string path) {
    Failure failure;
    failure.stage = stage;
    failure.problem = problem;
    failure.path = std::move(path);
    return failure;
}

Failure Failure::System(Stage stage, int error, std::string path) {
    Failure failure = Of(stage, Problem::SystemError, std::move(path));
    failure.error = error;
    return failure;
}

std::string AsBytes(const std::string& path) {
    return path;
}

namespace {

std::string ProblemText(const Failure& failure) {
    switch (failure.problem) {
        case Problem::SystemError:
            return DescribeError(failure.error);
        case Problem::NoFileName:
            return "the list row holds no file name";
        case Problem::NotPlainFile:
            return "it is not a plain file (a named pipe, a device or a socket)";
        case Problem::IsLink:
            return "it is a link, and Tolvik does not write through links";
        case Problem::NotFolder:
            return "a file stands where a folder is needed";
        case Problem::LockedByOther:
            return "the mailbox is locked by another program";
        case Problem::MessageIsMailbox:
            return "it is the message file itself";
        case Problem::NoFreeInodes:
            return "the disk has no room for another file (all its inodes are in use)";
    }
    return "unknown failure";
}

}  // namespace

std::string Describe(const Failure& failure, const ShowPath& showPath) {
    const std::string what = ProblemText(failure);
    std::string text;
    switch (failure.stage) {
        case Stage::ListRow:
            return what;
        case Stage::ReadMessage:
            text = "could not read the message: " + what;
            break;
        case Stage::OutputFolder:
            text = "could not open the output folder " + showPath(failure.path) + ": " + what;
            break;
        case Stage::CreateFolder:
            text = "could not create the folder " + showPath(failure.path) + ": " + what;
            break;
        case Stage::LockMailbox:
            if (failure.problem == Problem::SystemError) {
                text = "could not lock the mailbox " + showPath(failure.path) + ": " + what;
                break;
            }
            [[fallthrough]];
        case Stage::OpenMailbox:
        case Stage::WriteMailbox:
            text = "could not write the mailbox " + showPath(failure.path) + ": " + what;
            break;
        case Stage::SaveToDisk:
            text = "could not save the mailboxes in " + showPath(failure.path) +
                   " to the disk: " + what;
            break;
    }
    if (failure.rollBackError != 0) {
        text += "; the unfinished record could not be removed (" +
                DescribeError(failure.rollBackError) + ")";
    }
    return text;
}

Failure NoSpaceFailure(Stage stage, int error, std::string path, int folderFd) {
#ifndef _WIN32
    if (error == ENOSPC) {
        struct statvfs fs {};
        const int got = folderFd >= 0 ? ::fstatvfs(folderFd, &fs) : -1;
        if (got == 0 && fs.f_files > 0 && fs.f_favail == 0) {
            return Failure::Of(stage, Problem::NoFreeInodes, std::move(path));
        }
    }
#else
    (void)folderFd;
#endif
    return Failure::System(stage, error, std::move(path));
}

}  // namespace tolvik
