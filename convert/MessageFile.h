// A message file opened once for its conversion. The reader takes the header block from its
// start, and the record writer goes on from the same bytes, so each message is opened and
// read once, whatever the two need of it.
#pragma once

#include <sys/stat.h>
#include <cstddef>
#include <string>
#include <string_view>

namespace tolvik {

class MessageFile {
public:
    MessageFile() = default;
    ~MessageFile();
    MessageFile(const MessageFile&) = delete;
    MessageFile& operator=(const MessageFile&) = delete;

    // Opens the file for reading. Fails, with a plain-words reason, when it cannot be opened
    // or is a folder. Opening never waits: a named pipe without a writer opens at once.
    bool Open(const std::string& path, std::string* reason);
    // The same for the file `name` in the folder open as `folderFd`, which spares the system
    // a walk along the whole path for each file of a folder.
    bool OpenIn(int folderFd, const char* name, std::string* reason);

    const struct stat& Info() const { return info_; }
    bool IsPlainFile() const { return S_ISREG(info_.st_mode); }

    // The bytes read so far, from the start of the file.
    std::string_view Start() const { return {buffer_.data(), used_}; }

    // Reads up to `want` more bytes onto Start(). Returns the number read, 0 at the end of the
    // file (also when nothing more can be read without waiting), or -1 with errno set.
    long ReadMore(std::size_t want);

    // Reads up to `size` bytes into `into`, after the bytes of Start(). The same results as
    // ReadMore.
    long ReadInto(char* into, std::size_t size);

    // True when every byte of a plain file has been read.
    bool AllRead() const;

    // The system's error (errno) of the last open or read that failed.
    int Error() const { return error_; }

private:
    int fd_ = -1;
    struct stat info_ {};
    std::string buffer_;
    std::size_t used_ = 0;
    std::size_t readTotal_ = 0;
    bool ended_ = false;
    int error_ = 0;
};

}  // namespace tolvik
