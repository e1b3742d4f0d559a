#include "MailboxWriter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "MessageFile.h"

namespace tolvik {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kPollInterval{10};
// After a mailbox was let go because it was held for long, the next record waits this long
// before taking it again, so that a program polling for the lock can get in.
constexpr std::chrono::milliseconds kTurnPause{20};
constexpr std::string_view kLockSuffix = ".lock";
constexpr std::string_view kLockTag = "tolvik";

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

bool WriteAll(int fd, const char* data, std::size_t size, int* error) {
    while (size > 0) {
        const auto written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = errno;
            return false;
        }
        if (written == 0) {
            *error = ENOSPC;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void Pause(std::chrono::milliseconds how_long) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(how_long.count() / 1000);
    ts.tv_nsec = static_cast<long>(how_long.count() % 1000) * 1000000L;
    ::nanosleep(&ts, nullptr);  // a signal ends it early; the caller looks again
}

// Writes `value` into the 20 characters at `at`, with leading zeros, as "%020lld" does.
void PutNumber(char* at, long long value) {
    unsigned long long left = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                        : static_cast<unsigned long long>(value);
    for (int i = 19; i >= 0; --i) {
        at[i] = static_cast<char>('0' + left % 10);
        left /= 10;
    }
    if (value < 0) {
        at[0] = '-';
    }
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return "-";
    }
    std::string host(name, ::strnlen(name, 100));  // as much as a lock file holds of it
    for (char& c : host) {
        if (c <= ' ' || c == 127) {
            c = '_';
        }
    }
    return host.empty() ? "-" : host;
}

// What a lock file says. The first line is the holder's process number, as mail programs
// write it; this program adds a line of its own:
//   tolvik host=NAME mailbox=INODE start=OFFSET end=OFFSET
// start is where the record being written began; end is where it will end (-1 while that is
// not known yet). When the file is `end` bytes long, the record is complete.
struct LockContent {
    long pid = 0;
    bool ours = false;
    std::string host;
    unsigned long long mailboxInode = 0;
    long long start = 0;
    long long end = -1;
};

LockContent ParseLock(std::string_view text) {
    LockContent lock;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && lock.pid < 100000000) {
        lock.pid = lock.pid * 10 + (text[i++] - '0');
    }
    const auto line = text.find(std::string(kLockTag) + " host=");
    if (line == std::string_view::npos) {
        return lock;
    }
    const std::string rest(text.substr(line));
    char host[256] = {};
    unsigned long long inode = 0;
    long long start = 0;
    long long end = 0;
    if (std::sscanf(rest.c_str(), "tolvik host=%255s mailbox=%llu start=%lld end=%lld", host,
                    &inode, &start, &end) == 4 &&
        start >= 0) {
        lock.ours = true;
        lock.host = host;
        lock.mailboxInode = inode;
        lock.start = start;
        lock.end = end;
    }
    return lock;
}

// True when the bytes from `start` to `end` of the file are the start of one record of this
// program: the line ends put before it, its "From " line, then lines none of which begins
// with "From " (the record writer quotes those). Anything else there was written by another
// program, and is not this program's to cut.
bool HoldsOneRecord(int fd, long long start, long long end) {
    constexpr std::string_view kFrom = "From ";
    char head[16];
    const auto headSize = static_cast<std::size_t>(std::min<long long>(sizeof head, end - start));
    if (::pread(fd, head, headSize, static_cast<off_t>(start)) != static_cast<ssize_t>(headSize)) {
        return false;
    }
    std::size_t from = 0;
    while (from < headSize && from < 4 && (head[from] == '\r' || head[from] == '\n')) {
        ++from;
    }
    const std::string_view first(head + from, headSize - from);
    if (first.size() < kFrom.size()) {
        return first == kFrom.substr(0, first.size());  // cut within its first bytes
    }
    if (!first.starts_with(kFrom)) {
        return false;
    }
    constexpr std::size_t kPiece = 1 << 20;
    std::string piece(kPiece + kFrom.size() + 1, '\0');
    std::size_t kept = 0;  // the end of the piece before, for a line start across pieces
    for (long long at = start + static_cast<long long>(from + kFrom.size()); at < end;) {
        const auto want = static_cast<std::size_t>(std::min<long long>(kPiece, end - at));
        const ssize_t got = ::pread(fd, piece.data() + kept, want, static_cast<off_t>(at));
        if (got <= 0) {
            return false;
        }
        at += got;
        const std::string_view text(piece.data(), kept + static_cast<std::size_t>(got));
        if (text.find("\nFrom ") != std::string_view::npos ||
            text.find("\rFrom ") != std::string_view::npos) {
            return false;
        }
        kept = std::min(text.size(), kFrom.size());
        std::memmove(piece.data(), text.data() + text.size() - kept, kept);
    }
    return true;
}

// What a broken lock file of this program said, and the mailbox as it was when the lock was
// judged left behind: the proof that its end is an unfinished record of that program.
struct Leftover {
    bool present = false;
    LockContent lock;
    struct stat mailbox {};
};

}  // namespace

struct MailboxWriter::Impl {
    std::string output;  // ends with a separator
    LockTimes times;
    PathStyle style;
    std::string host = HostName();

    int outputFd = -1;
    bool outputOpened = false;
    int outputError = 0;

    // The folders entered below the output folder, outermost first.
    struct OpenFolder {
        std::string name;
        int fd = -1;
    };
    std::vector<OpenFolder> folders;
    std::string entered;  // the relative folder that `folders` lead to, when enteredAll
    bool enteredAll = false;
    // One folder of each file system written to, to save them to the disk at the end.
    std::vector<std::pair<dev_t, int>> written;

    // The mailbox kept open and locked.
    struct Held {
        std::string folder;  // relative folder, as in the target
        std::string name;
        std::string path;
        int fd = -1;
        int lockFd = -1;
        struct stat info {};
        off_t end = 0;
        off_t flushedTo = 0;   // the disk has been asked to write the mailbox up to here
        bool created = false;  // this writer created the file when it took the locks
        long pid = 0;          // this process, as its lock file names it
        std::string lockLine;  // the lock file's text, with the numbers put in for each record
        std::string gap;       // line ends the mailbox needs before the next record
        Clock::time_point since;
    } held;
    std::string pausedMailbox;        // let go after a long hold; the next take waits its turn
    std::set<std::string> lockedOut;  // mailboxes whose lock could not be had in this run
    std::function<void(const MailboxRepair&)>* onRepair = nullptr;
    // The record's text and the pieces of the message, kept from record to record.
    std::string text;
    std::unique_ptr<char[]> chunk;
    std::size_t chunkSize = 0;

    ~Impl() {
        ReleaseHeld();
        CloseFolders(0);
        CloseFd(outputFd);
        for (auto& [device, fd] : written) {
            CloseFd(fd);
        }
    }

    std::string FolderPath(std::size_t depth) const {
        std::string path = output;
        for (std::size_t i = 0; i < depth; ++i) {
            path += folders[i].name;
            path += SeparatorOf(style);
        }
        return path;
    }

    void CloseFolders(std::size_t keep) {
        while (folders.size() > keep) {
            CloseFd(folders.back().fd);
            folders.pop_back();
        }
    }

    int FolderFd() const { return folders.empty() ? outputFd : folders.back().fd; }

    // Opens the output folder once; the user chose it, so it may be a link.
    bool OpenOutput(Failure* failure) {
        if (!outputOpened) {
            outputOpened = true;
            outputFd = ::open(output.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            outputError = outputFd < 0 ? errno : 0;
            if (outputFd >= 0) {
                NoteWritten(outputFd);
            }
        }
        if (outputFd < 0) {
            *failure = outputError == ENOTDIR
                           ? Failure::Of(Stage::OutputFolder, Problem::NotFolder, output)
                           : Failure::System(Stage::OutputFolder, outputError, output);
            return false;
        }
        return true;
    }

    // Why `name` in `parentFd` cannot be entered as a folder, after openat failed with `error`.
    Failure FolderFailure(int parentFd, const std::string& name, int error,
                          const std::string& path) const {
        struct stat st {};
        if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(st.st_mode)) {
                return Failure::Of(Stage::CreateFolder, Problem::IsLink, path);
            }
            if (!S_ISDIR(st.st_mode)) {
                return Failure::Of(Stage::CreateFolder, Problem::NotFolder, path);
            }
        }
        return NoSpaceFailure(Stage::CreateFolder, error, path, parentFd);
    }

    // Enters the relative folder from the output folder down, one level at a time, creating
    // what is missing and following no link. Folders already entered for the record before
    // are kept open, so a run walks each folder once.
    bool EnterFolder(const std::string& relative, Failure* failure) {
        if (enteredAll && relative == entered) {
            return true;  // the folder of the record before
        }
        enteredAll = false;
        std::vector<std::string> names;
        const char sep = SeparatorOf(style);
        for (std::size_t at = 0; at < relative.size();) {
            const auto cut = relative.find(sep, at);
            const std::size_t end = cut == std::string::npos ? relative.size() : cut;
            if (end > at) {
                names.push_back(relative.substr(at, end - at));
            }
            at = end + 1;
        }
        std::size_t same = 0;
        while (same < names.size() && same < folders.size() && folders[same].name == names[same]) {
            ++same;
        }
        CloseFolders(same);
        for (std::size_t i = same; i < names.size(); ++i) {
            const int parent = FolderFd();
            const std::string& name = names[i];
            const std::string path = FolderPath(i) + name;
            int fd = -1;
            for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
                fd =
                    ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (fd >= 0) {
                    break;
                }
                const int openError = errno;
                if (openError != ENOENT) {
                    *failure = FolderFailure(parent, name, openError, path);
                    return false;
                }
                if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
                    *failure = NoSpaceFailure(Stage::CreateFolder, errno, path, parent);
                    return false;
                }
            }
            if (fd < 0) {
                *failure = Failure::System(Stage::CreateFolder, ENOENT, path);
                return false;
            }
            folders.push_back({name, fd});
            NoteWritten(fd);
        }
        entered = relative;
        enteredAll = true;
        return true;
    }

    void NoteWritten(int folderFd) {
        struct stat st {};
        if (::fstat(folderFd, &st) != 0) {
            return;
        }
        for (const auto& [device, fd] : written) {
            if (device == st.st_dev) {
                return;
            }
        }
        const int copy = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
        if (copy >= 0) {
            written.emplace_back(st.st_dev, copy);
        }
    }

    // Breaks the lock file when it was left behind. True when the caller should try to
    // create its own lock at once (the lock file was broken, or is gone).
    bool BreakIfLeftBehind(int folderFd, const std::string& lockName,
                           const std::string& mailboxName, Leftover* leftover) {
        int fd = ::openat(folderFd, lockName.c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            return errno == ENOENT;
        }
        struct stat st {};
        char text[512] = {};
        ssize_t got = -1;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            got = ::read(fd, text, sizeof text - 1);
        }
        CloseFd(fd);
        if (got < 0) {
            return false;  // not a lock file this program can judge: wait for it to go
        }
        const LockContent lock = ParseLock(std::string_view(text, static_cast<std::size_t>(got)));
        bool holderGone = false;
        if (lock.pid > 0 && (!lock.ours || lock.host == host)) {
            holderGone = ::kill(static_cast<pid_t>(lock.pid), 0) != 0 && errno == ESRCH;
        }
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const bool old = now.tv_sec - st.st_mtim.tv_sec > times.staleAfter.count();
        if (!holderGone && !old) {
            return false;
        }
        // Break it only if it is still the lock file that was judged.
        struct stat again {};
        if (::fstatat(folderFd, lockName.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0 ||
            !SameFile(again, st) || !SameTime(again.st_mtim, st.st_mtim)) {
            return true;
        }
        if (lock.ours) {
            leftover->present = ::fstatat(folderFd, mailboxName.c_str(), &leftover->mailbox,
                                          AT_SYMLINK_NOFOLLOW) == 0;
            leftover->lock = lock;
        }
        return ::unlinkat(folderFd, lockName.c_str(), 0) == 0 || errno == ENOENT;
    }

    // Writes this program's line of the lock file: where the record being written starts,
    // and where it will end (-1: not known yet). Every line has the same length.
    void MarkRecord(long long start, long long end) {
        if (held.lockFd < 0) {
            return;
        }
        std::string& line = held.lockLine;
        if (line.empty()) {
            char text[256];
            const int length = std::snprintf(
                text, sizeof text, "%ld\n%s host=%.100s mailbox=%020llu start=%020d end=%020d\n",
                held.pid, kLockTag.data(), host.c_str(),
                static_cast<unsigned long long>(held.info.st_ino), 0, 0);
            line.assign(text, static_cast<std::size_t>(std::max(length, 0)));
        }
        // The two numbers are the last fields, of 20 characters each.
        constexpr std::size_t kWidth = 20;
        PutNumber(&line[line.size() - 1 - kWidth], end);
        PutNumber(&line[line.size() - 1 - kWidth - std::strlen(" end=") - kWidth], start);
        (void)!::pwrite(held.lockFd, line.data(), line.size(), 0);
    }

    // The line ends the mailbox needs so that the next "From " line follows an empty line,
    // from its last bytes: none after an empty line (or for an empty file).
    std::string GapBefore(off_t size) const {
        if (size == 0) {
            return {};
        }
        char tail[3] = {};
        const off_t want = std::min<off_t>(size, 3);
        if (::pread(held.fd, tail, static_cast<std::size_t>(want), size - want) != want) {
            return {};
        }
        const std::string_view last(tail, static_cast<std::size_t>(want));
        if (last.ends_with("\n\n") || last.ends_with("\n\r\n")) {
            return {};
        }
        if (last.ends_with("\n")) {
            return "\r\n";
        }
        if (last.ends_with("\r")) {
            return "\n\r\n";
        }
        return "\r\n\r\n";
    }

    // Takes the mailbox: the lock file, then the file itself, then its fcntl lock.
    AppendResult Take(const MailboxTarget& target, Failure* failure,
                      const std::function<bool()>& interrupted) {
        const int folderFd = FolderFd();
        const std::string& name = target.mailboxName;
        const std::string& path = target.mailboxPath;
        const std::string lockName = name + std::string(kLockSuffix);
        const bool again = lockedOut.contains(path);
        const Clock::time_point deadline = Clock::now() + (again ? times.waitAgain : times.wait);
        auto stopped = [&] { return interrupted && interrupted(); };
        auto lockedByOther = [&] {
            lockedOut.insert(path);
            *failure = Failure::Of(Stage::LockMailbox, Problem::LockedByOther, path);
            return AppendResult::Failed;
        };
        if (pausedMailbox == path) {
            Pause(kTurnPause);
        }
        pausedMailbox.clear();

        Leftover leftover;
        int lockFd = -1;
        for (;;) {
            lockFd = ::openat(folderFd, lockName.c_str(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (lockFd >= 0) {
                break;
            }
            if (errno != EEXIST) {
                *failure = NoSpaceFailure(Stage::LockMailbox, errno, path, folderFd);
                return AppendResult::Failed;
            }
            if (BreakIfLeftBehind(folderFd, lockName, name, &leftover)) {
                continue;
            }
            if (stopped()) {
                return AppendResult::Interrupted;
            }
            if (Clock::now() >= deadline) {
                return lockedByOther();
            }
            Pause(kPollInterval);
        }
        held.lockFd = lockFd;
        held.pid = static_cast<long>(::getpid());
        held.folder = target.relativeFolder;
        held.name = name;
        held.path = path;

        auto giveUp = [&](AppendResult result) {
            ReleaseHeld();
            return result;
        };
        for (int attempt = 0;; ++attempt) {
            bool created = false;
            // Read access too: to look at the mailbox's last bytes before appending.
            constexpr int kExisting = O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
            int fd = ::openat(folderFd, name.c_str(), O_RDWR | kExisting);
            if (fd < 0 && errno == EACCES) {
                fd = ::openat(folderFd, name.c_str(), O_WRONLY | kExisting);
            }
            if (fd < 0 && errno == ENOENT) {
                fd = ::openat(folderFd, name.c_str(),
                              O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
                created = fd >= 0;
                if (fd < 0 && errno == EEXIST && attempt < 3) {
                    continue;
                }
            }
            if (fd < 0) {
                const int error = errno;
                struct stat st {};
                const bool exists =
                    ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
                if (exists && S_ISLNK(st.st_mode)) {
                    *failure = Failure::Of(Stage::OpenMailbox, Problem::IsLink, path);
                } else if (error == ENXIO ||
                           (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))) {
                    *failure = Failure::Of(Stage::OpenMailbox, Problem::NotPlainFile, path);
                } else {
                    *failure = NoSpaceFailure(Stage::OpenMailbox, error, path, folderFd);
                }
                return giveUp(AppendResult::Failed);
            }
            held.fd = fd;
            held.created = created;
            if (::fstat(fd, &held.info) != 0) {
                *failure = Failure::System(Stage::OpenMailbox, errno, path);
                return giveUp(AppendResult::Failed);
            }
            if (!S_ISREG(held.info.st_mode)) {
                *failure = Failure::Of(Stage::OpenMailbox, Problem::NotPlainFile, path);
                return giveUp(AppendResult::Failed);
            }
            ::fcntl(fd, F_SETFL, O_APPEND);  // writes may wait for the disk again

            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            while (::fcntl(fd, F_SETLK, &lock) != 0) {
                if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
                    *failure = Failure::System(Stage::LockMailbox, errno, path);
                    return giveUp(AppendResult::Failed);
                }
                if (stopped()) {
                    return giveUp(AppendResult::Interrupted);
                }
                if (Clock::now() >= deadline) {
                    return giveUp(lockedByOther());
                }
                Pause(kPollInterval);
            }
            // The name may have been taken away from the file while this program waited
            // (a mailbox removed or replaced): then start again with what the name holds now.
            struct stat now {};
            if (::fstat(fd, &held.info) == 0 && held.info.st_nlink > 0 &&
                ::fstatat(folderFd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
                SameFile(now, held.info)) {
                break;
            }
            CloseFd(held.fd);
            if (attempt >= 3) {
                *failure = Failure::System(Stage::OpenMailbox, EAGAIN, path);
                return giveUp(AppendResult::Failed);
            }
        }
        lockedOut.erase(path);
        held.end = held.info.st_size;
        held.flushedTo = held.end;
        CutLeftover(leftover);
        held.gap = GapBefore(held.end);
        MarkRecord(held.end, held.end);
        held.since = Clock::now();
        return AppendResult::Appended;
    }

    // Cuts off the unfinished record a killed run left, when the broken lock file proves it:
    // the lock file was this program's, for this very file, and the file has not changed
    // since the lock was judged left behind.
    void CutLeftover(const Leftover& leftover) {
        if (!leftover.present) {
            return;
        }
        const LockContent& lock = leftover.lock;
        const struct stat& then = leftover.mailbox;
        const struct stat& now = held.info;
        if (!SameFile(then, now) ||
            lock.mailboxInode != static_cast<unsigned long long>(now.st_ino) ||
            then.st_size != now.st_size || !SameTime(then.st_mtim, now.st_mtim)) {
            return;
        }
        const long long size = now.st_size;
        const bool unfinished = size > lock.start && (lock.end < 0 || size < lock.end);
        if (!unfinished || !HoldsOneRecord(held.fd, lock.start, size) ||
            ::ftruncate(held.fd, static_cast<off_t>(lock.start)) != 0) {
            return;
        }
        held.end = static_cast<off_t>(lock.start);
        held.info.st_size = held.end;
        if (onRepair && *onRepair) {
            (*onRepair)(MailboxRepair{held.path, size - lock.start});
        }
    }

    // Has the disk start writing what was appended, while the run goes on: the run saves
    // everything to the disk before it ends, and that wait is shorter for what is written.
    // A mailbox that grew by less is left to the one save at the end, which writes many
    // small ones together more cheaply than one request each.
    void StartWriteBack() {
        constexpr off_t kWriteBackStep = 1 << 20;
        if (held.fd < 0 || held.end - held.flushedTo < kWriteBackStep) {
            return;
        }
        const off_t from = std::min(held.flushedTo, held.end);
        ::sync_file_range(held.fd, from, held.end - from, SYNC_FILE_RANGE_WRITE);
        held.flushedTo = held.end;
    }

    void ReleaseHeld() {
        if (held.lockFd < 0 && held.fd < 0) {
            return;
        }
        StartWriteBack();
        CloseFd(held.fd);  // the fcntl lock goes with it
        if (held.lockFd >= 0) {
            // Remove the lock file only while it is still this writer's own.
            struct stat mine {};
            struct stat named {};
            const int folderFd = FolderFd();
            const std::string lockName = held.name + std::string(kLockSuffix);
            if (::fstat(held.lockFd, &mine) == 0 &&
                ::fstatat(folderFd, lockName.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                SameFile(mine, named)) {
                ::unlinkat(folderFd, lockName.c_str(), 0);
            }
            CloseFd(held.lockFd);
        }
        held = Held{};
    }

    // Takes the record back off the mailbox: the file is cut to where the record began, and
    // a file that this writer created for it is removed.
    int RollBack(off_t before) {
        int error = 0;
        if (::ftruncate(held.fd, before) != 0) {
            error = errno;
        } else if (held.created && before == 0) {
            struct stat named {};
            const int folderFd = FolderFd();
            if (::fstatat(folderFd, held.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                SameFile(named, held.info)) {
                ::unlinkat(folderFd, held.name.c_str(), 0);
            }
            ReleaseHeld();
            return 0;
        }
        held.end = before;
        MarkRecord(before, before);
        return error;
    }
};

MailboxWriter::MailboxWriter(std::string outputFolder, LockTimes times, PathStyle style)
    : impl_(std::make_unique<Impl>()) {
    impl_->output = std::move(outputFolder);
    impl_->times = times;
    impl_->style = style;
    impl_->onRepair = &onRepair;
    IgnoreFileSizeSignal();
}

MailboxWriter::~MailboxWriter() = default;

void MailboxWriter::Release() {
    impl_->ReleaseHeld();
}

AppendResult MailboxWriter::Append(const MailboxTarget& target, std::string_view separatorLine,
                                   MessageFile& message, Failure* failure,
                                   const std::function<bool()>& interrupted,
                                   std::size_t bufferSize) {
    Impl& w = *impl_;
    // A named pipe, a device or a socket holds no saved message, and reading one may never
    // end (a pipe whose writer waits, /dev/zero).
    if (!message.IsPlainFile()) {
        *failure = Failure::Of(Stage::ReadMessage, Problem::NotPlainFile);
        return AppendResult::Failed;
    }
    if (!w.OpenOutput(failure)) {
        return AppendResult::Failed;
    }
    if (w.held.fd >= 0 &&
        (w.held.folder != target.relativeFolder || w.held.name != target.mailboxName)) {
        w.ReleaseHeld();  // before its folder is left
    }
    if (!w.EnterFolder(target.relativeFolder, failure)) {
        return AppendResult::Failed;
    }
    if (w.held.fd < 0) {
        const AppendResult taken = w.Take(target, failure, interrupted);
        if (taken != AppendResult::Appended) {
            return taken;
        }
    }
    const struct stat& inStat = message.Info();
    if (SameFile(w.held.info, inStat)) {
        *failure = Failure::Of(Stage::OpenMailbox, Problem::MessageIsMailbox, target.mailboxPath);
        w.ReleaseHeld();
        return AppendResult::Failed;
    }

    const off_t before = w.held.end;
    auto fail = [&](Failure what) {
        what.rollBackError = w.RollBack(before);
        *failure = std::move(what);
        return AppendResult::Failed;
    };

    // What the reader has read already is taken first; then the rest of the file in pieces.
    // A small message needs a buffer of its own size only: most messages are far smaller
    // than the buffer, and a run has thousands of them.
    const std::string_view start = message.Start();
    const std::size_t rest = static_cast<std::size_t>(inStat.st_size) > start.size()
                                 ? static_cast<std::size_t>(inStat.st_size) - start.size()
                                 : 0;
    const std::size_t readSize = std::max<std::size_t>(1, std::min(bufferSize, rest));
    RecordEncoder encoder;
    std::string& text = w.text;  // kept from record to record, with the room it grew to
    text.clear();
    text.reserve(w.held.gap.size() + separatorLine.size() +
                 std::min(bufferSize, start.size() + readSize) * 2 + 64);
    text += w.held.gap;
    text.append(separatorLine);
    text += "\r\n";
    encoder.Feed(start.data(), start.size(), text);
    off_t written = 0;
    int error = 0;
    bool marked = false;
    Clock::time_point markedAt;
    while (!message.AllRead()) {
        if (text.size() >= bufferSize) {
            // The end is not known before the last piece. A long record keeps its lock file
            // fresh, so that no other program takes it for one left behind.
            if (!marked || Clock::now() - markedAt >= std::chrono::minutes(1)) {
                w.MarkRecord(before, -1);
                marked = true;
                markedAt = Clock::now();
            }
            if (!WriteAll(w.held.fd, text.data(), text.size(), &error)) {
                return fail(
                    NoSpaceFailure(Stage::WriteMailbox, error, target.mailboxPath, w.FolderFd()));
            }
            written += static_cast<off_t>(text.size());
            text.clear();
            if (interrupted && interrupted()) {
                w.RollBack(before);
                return AppendResult::Interrupted;
            }
        }
        if (w.chunkSize < readSize) {
            w.chunk.reset(new char[readSize]);
            w.chunkSize = readSize;
        }
        char* const chunk = w.chunk.get();
        const long got = message.ReadInto(chunk, readSize);
        if (got < 0) {
            return fail(Failure::System(Stage::ReadMessage, message.Error()));
        }
        if (got == 0) {
            break;
        }
        encoder.Feed(chunk, static_cast<std::size_t>(got), text);
    }
    encoder.Finish(text);
    text += "\r\n";
    const off_t end = before + written + static_cast<off_t>(text.size());
    if (!marked) {
        w.MarkRecord(before, end);
    }
    if (!WriteAll(w.held.fd, text.data(), text.size(), &error)) {
        return fail(NoSpaceFailure(Stage::WriteMailbox, error, target.mailboxPath, w.FolderFd()));
    }
    w.held.end = end;
    w.StartWriteBack();
    w.held.gap.clear();
    if (marked) {
        w.MarkRecord(end, end);
    }
    if (Clock::now() - w.held.since >= w.times.holdFor) {
        w.ReleaseHeld();
        w.pausedMailbox = target.mailboxPath;
    }
    return AppendResult::Appended;
}

bool MailboxWriter::Save(Failure* failure) {
    Impl& w = *impl_;
    w.ReleaseHeld();
    bool saved = true;
    for (const auto& [device, fd] : w.written) {
        if (::syncfs(fd) != 0 && saved) {
            *failure = Failure::System(Stage::SaveToDisk, errno, w.output);
            saved = false;
        }
    }
    return saved;
}

bool AppendRecord(const std::string& mailboxPath, std::string_view separatorLine,
                  const std::string& messagePath, std::string* reason, std::size_t bufferSize) {
    MessageFile message;
    if (!message.Open(messagePath, nullptr)) {
        if (reason) {
            *reason = Describe(Failure::System(Stage::ReadMessage, message.Error()));
        }
        return false;
    }
    return AppendRecord(mailboxPath, separatorLine, message, reason, bufferSize);
}

bool AppendRecord(const std::string& mailboxPath, std::string_view separatorLine,
                  MessageFile& message, std::string* reason, std::size_t bufferSize) {
    std::string folder = FolderOfPath(mailboxPath);
    MailboxTarget target;
    target.mirroredFolder = folder;
    target.mailboxName = FileNameOfPath(mailboxPath);
    target.mailboxPath = mailboxPath;
    MailboxWriter writer(folder.empty() ? std::string("./") : folder);
    Failure failure;
    if (writer.Append(target, separatorLine, message, &failure, {}, bufferSize) !=
        AppendResult::Appended) {
        if (reason) {
            *reason = Describe(failure);
        }
        return false;
    }
    return true;
}

}  // namespace tolvik
