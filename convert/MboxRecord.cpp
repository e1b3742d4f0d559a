#include "MboxRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <memory>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "MessageFile.h"
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

constexpr std::size_t kNotSearched = SIZE_MAX;

std::size_t Find(const char* p, std::size_t from, std::size_t n, char c) {
    const void* found = std::memchr(p + from, c, n - from);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - p) : n;
}

// The position of the first CR or LF in p[i, n), or n.
std::size_t NextLineByte(const char* p, std::size_t i, std::size_t n, std::size_t* nextCR,
                         std::size_t* nextLF) {
    if (*nextCR == kNotSearched || *nextCR < i) {
        *nextCR = Find(p, i, n, '\r');
    }
    if (*nextLF == kNotSearched || *nextLF < i) {
        *nextLF = Find(p, i, n, '\n');
    }
    return std::min(*nextCR, *nextLF);
}

// Calls `visit(j)` for each CR or LF at p[j], j in [k, n), in order, until it returns false;
// returns the position it was stopped at, or n.
template <typename Visit>
std::size_t ForEachLineEndByte(const char* p, std::size_t k, std::size_t n, Visit visit) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; k + 16 <= n; k += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        auto found = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf))));
        for (; found != 0; found &= found - 1) {
            const std::size_t j = k + static_cast<std::size_t>(__builtin_ctz(found));
            if (!visit(j)) {
                return j;
            }
        }
    }
#endif
    for (; k < n; ++k) {
        if (IsLineByte(p[k]) && !visit(k)) {
            return k;
        }
    }
    return n;
}

}  // namespace

std::size_t RecordEncoder::CopyPlainText(const char* p, std::size_t i, std::size_t n,
                                         std::string& out) {
    // Most of a message goes out as it came in: lines ending in CR LF or a lone LF, none of
    // them starting with "From ". Such text is copied in one piece; the scan stops before the
    // first line end that needs more (a lone CR, a "From " line after it, or the end of the
    // piece too near to tell) and leaves it to the line-by-line path.
    const std::size_t end = ForEachLineEndByte(p, i, n, [&](std::size_t j) {
        if (p[j] == '\r') {
            return j + 1 < n && p[j + 1] == '\n';  // CR LF: its LF is looked at next
        }
        return j + kFrom.size() < n && std::memcmp(p + j + 1, kFrom.data(), kFrom.size()) != 0;
    });
    // A line end that needs more is left whole to the line-by-line path.
    const std::size_t stop =
        (end < n && p[end] == '\n' && end > i && p[end - 1] == '\r') ? end - 1 : end;
    if (stop > i) {
        out.append(p + i, stop - i);
        anyLine_ = true;
        const bool endsWithLF = p[stop - 1] == '\n';
        atLineStart_ = endsWithLF;
        lastEnded_ = endsWithLF && stop - 1 > i && p[stop - 2] == '\r';
    }
    return stop;
}

void RecordEncoder::Feed(const char* p, std::size_t n, std::string& out) {
    std::size_t i = 0;
    // Where the next CR and the next LF at or after i are (n: none), each found once with
    // memchr and looked for again only when i has passed it, so that a piece is scanned
    // about once for each of the two bytes whatever its mix of line ends.
    std::size_t nextCR = kNotSearched;
    std::size_t nextLF = kNotSearched;
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
        i = CopyPlainText(p, i, n, out);
        if (i == n) {
            break;
        }
        if (atLineStart_) {
            continue;
        }
        // The middle of a line: copy up to the next CR or LF, with its line end, in one piece.
        const std::size_t j = NextLineByte(p, i, n, &nextCR, &nextLF);
        if (j == n) {
            if (j > i) {
                out.append(p + i, j - i);
                anyLine_ = true;
                lastEnded_ = false;
            }
            break;
        }
        anyLine_ = true;
        atLineStart_ = true;
        if (p[j] == '\n') {
            out.append(p + i, j + 1 - i);  // a lone LF stays inside the line
            lastEnded_ = false;
            i = j + 1;
        } else if (j + 1 < n && p[j + 1] == '\n') {
            out.append(p + i, j + 2 - i);  // CR LF, as it is
            lastEnded_ = true;
            i = j + 2;
        } else if (j + 1 < n) {
            out.append(p + i, j - i);  // a lone CR
            out += "\r\n";
            lastEnded_ = true;
            i = j + 1;
        } else {
            out.append(p + i, j - i);  // a CR last in the piece: the next byte decides
            atLineStart_ = false;
            pendingCR_ = true;
            lastEnded_ = true;
            i = j + 1;
        }
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
    MessageFile message;
    std::string why;
    if (!message.Open(messagePath, &why)) {
        if (reason) {
            *reason = "could not read the message: " + why;
        }
        return false;
    }
    return AppendRecord(mailboxPath, separatorLine, message, reason, bufferSize);
}

bool AppendRecord(const std::string& mailboxPath, std::string_view separatorLine,
                  MessageFile& message, std::string* reason, std::size_t bufferSize) {
    IgnoreFileSizeSignal();
    auto fail = [&](const std::string& what) {
        if (reason) {
            *reason = what;
        }
        return false;
    };
    // A named pipe, a device or a socket holds no saved message, and reading one may never
    // end (a pipe whose writer waits, /dev/zero).
    if (!message.IsPlainFile()) {
        return fail(
            "could not read the message: it is not a plain file (a named pipe, a device "
            "or a socket)");
    }
    const struct stat& inStat = message.Info();

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

    // What the reader has read already is taken first; then the rest of the file in pieces.
    // A small message needs a buffer of its own size only: most messages are far smaller
    // than the buffer, and a run has thousands of them.
    const std::string_view start = message.Start();
    const std::size_t rest = static_cast<std::size_t>(inStat.st_size) > start.size()
                                 ? static_cast<std::size_t>(inStat.st_size) - start.size()
                                 : 0;
    const std::size_t readSize = std::max<std::size_t>(1, std::min(bufferSize, rest));
    std::unique_ptr<char[]> chunk;
    RecordEncoder encoder;
    std::string text;
    text.reserve(separatorLine.size() + std::min(bufferSize, start.size() + readSize) * 2 + 64);
    text.append(separatorLine);
    text += "\r\n";
    encoder.Feed(start.data(), start.size(), text);
    while (!message.AllRead()) {
        if (text.size() >= bufferSize) {
            if (!WriteAll(out.get(), text.data(), text.size())) {
                return rollBack(mailboxFailure);
            }
            text.clear();
        }
        if (!chunk) {
            chunk.reset(new char[readSize]);
        }
        const long got = message.ReadInto(chunk.get(), readSize);
        if (got < 0) {
            return rollBack("could not read the message: ");
        }
        if (got == 0) {
            break;
        }
        encoder.Feed(chunk.get(), static_cast<std::size_t>(got), text);
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
