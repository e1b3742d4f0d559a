#include "MboxRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

#include "errors.h"

#ifdef _WIN32
#include <io.h>
#define ftruncate _chsize_s
#endif

namespace tolvik {
namespace {

constexpr std::string_view kFrom = "From ";

bool IsLineByte(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

void RecordEncoder::Feed(const char* p, std::size_t n, std::string& out) {
    std::size_t i = 0;
    while (i < n) {
        if (skipping_) {
            if (skipCR_) {
                skipCR_ = false;
                skipping_ = false;
                atLineStart_ = true;
                if (p[i] == '\n') {
                    ++i;
                }
                continue;
            }
            while (i < n && !IsLineByte(p[i])) {
                ++i;
            }
            if (i == n) {
                break;
            }
            if (p[i] == '\r') {
                skipCR_ = true;
            } else {
                skipping_ = false;
                atLineStart_ = true;
            }
            ++i;
            continue;
        }
        if (pendingCR_) {
            pendingCR_ = false;
            out += "\r\n";
            atLineStart_ = true;
            if (p[i] == '\n') {
                ++i;
            }
            continue;
        }
        if (atLineStart_) {
            const char c = p[i];
            if (c == kFrom[held_.size()]) {
                held_.push_back(c);
                ++i;
                if (held_.size() == kFrom.size()) {
                    held_.clear();
                    atLineStart_ = false;
                    if (atFileStart_) {
                        atFileStart_ = false;
                        skipping_ = true;
                    } else {
                        out += ">From ";
                        anyLine_ = true;
                        lastEnded_ = false;
                    }
                }
                continue;
            }
            if (!held_.empty()) {
                out += held_;
                held_.clear();
                anyLine_ = true;
                lastEnded_ = false;
            }
            atLineStart_ = false;
        }
        atFileStart_ = false;
        // The middle of a line: copy up to the next CR or LF in one piece.
        std::size_t j = i;
        while (j < n && !IsLineByte(p[j])) {
            ++j;
        }
        if (j > i) {
            out.append(p + i, j - i);
            anyLine_ = true;
            lastEnded_ = false;
        }
        if (j == n) {
            break;
        }
        anyLine_ = true;
        if (p[j] == '\n') {
            out.push_back('\n');  // a lone LF stays inside the line
            lastEnded_ = false;
            atLineStart_ = true;
        } else {
            pendingCR_ = true;
            lastEnded_ = true;
        }
        i = j + 1;
    }
}

void RecordEncoder::Finish(std::string& out) {
    if (!held_.empty()) {
        out += held_;
        held_.clear();
        anyLine_ = true;
        lastEnded_ = false;
    }
    if (pendingCR_) {
        out += "\r\n";
        pendingCR_ = false;
    } else if (anyLine_ && !lastEnded_) {
        out += "\r\n";
    }
}

std::string SeparatorLine(std::string_view sender, std::string_view dateText) {
    std::string line;
    line.reserve(kFrom.size() + sender.size() + 1 + dateText.size());
    line += kFrom;
    line += sender;
    line += ' ';
    line += dateText;
    return line;
}

namespace {

// A file size limit must make a write fail, not end the program.
void IgnoreFileSizeSignal() {
#ifdef SIGXFSZ
    static const bool once = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)once;
#endif
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const auto written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

class FileHandle {
public:
    explicit FileHandle(int fd = -1) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }
    void Reset(int fd) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Closes now, reporting a failure of the close itself (a delayed write error).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

}  // namespace

bool AppendRecord(const std::string& mailboxPath, std::string_view separatorLine,
                  const std::string& messagePath, std::string* reason, std::size_t bufferSize) {
    IgnoreFileSizeSignal();
    auto fail = [&](const std::string& what) {
        if (reason) {
            *reason = what;
        }
        return false;
    };

    FileHandle in(::open(messagePath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat inStat {};
    if (in.get() < 0 || ::fstat(in.get(), &inStat) != 0) {
        return fail("could not read the message: " + DescribeError(errno));
    }
    if (S_ISDIR(inStat.st_mode)) {
        return fail("could not read the message: " + DescribeError(EISDIR));
    }

    // Open the mailbox, remembering whether this call created it.
    bool created = false;
    FileHandle out(::open(mailboxPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    if (out.get() < 0 && errno == ENOENT) {
        out.Reset(
            ::open(mailboxPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        created = out.get() >= 0;
    }
    const std::string mailboxFailure = "could not write the mailbox " + mailboxPath + ": ";
    struct stat outStat {};
    if (out.get() < 0 || ::fstat(out.get(), &outStat) != 0) {
        return fail(mailboxFailure + DescribeError(errno));
    }
    if (outStat.st_dev == inStat.st_dev && outStat.st_ino == inStat.st_ino) {
        return fail(mailboxFailure + "it is the message file itself");
    }
    const off_t before = S_ISREG(outStat.st_mode) ? outStat.st_size : 0;

    // Puts the mailbox back as it was before this record.
    auto rollBack = [&](const std::string& what) {
        const int error = errno;
        if (created) {
            ::unlink(mailboxPath.c_str());
        } else if (S_ISREG(outStat.st_mode)) {
            if (::ftruncate(out.get(), before) != 0) {
                return fail(what + DescribeError(error) +
                            "; the unfinished record could not be removed (" +
                            DescribeError(errno) + ")");
            }
        }
        return fail(what + DescribeError(error));
    };

    RecordEncoder encoder;
    std::string text;
    text.reserve(bufferSize * 2 + 64);
    text.append(separatorLine);
    text += "\r\n";
    std::string chunk(bufferSize, '\0');
    for (;;) {
        const auto got = ::read(in.get(), chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return rollBack("could not read the message: ");
        }
        if (got == 0) {
            break;
        }
        encoder.Feed(chunk.data(), static_cast<std::size_t>(got), text);
        if (text.size() >= bufferSize) {
            if (!WriteAll(out.get(), text.data(), text.size())) {
                return rollBack(mailboxFailure);
            }
            text.clear();
        }
    }
    encoder.Finish(text);
    text += "\r\n";
    if (!WriteAll(out.get(), text.data(), text.size())) {
        return rollBack(mailboxFailure);
    }
    if (!out.Close()) {
        const int error = errno;
        if (created) {
            ::unlink(mailboxPath.c_str());
        } else if (S_ISREG(outStat.st_mode)) {
            (void)::truncate(mailboxPath.c_str(), before);
        }
        return fail(mailboxFailure + DescribeError(error));
    }
    return true;
}

}  // namespace tolvik
