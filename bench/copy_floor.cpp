// The floor of a converter that looks at every byte: each message file of a folder read
// whole through a user-space buffer (1 MiB pieces, as tolvik-convert reads) and written to
// one output file per folder, in the same order as `cat`.
//
//   copy_floor OUTDIR FOLDER...
//
// `cat` itself copies inside the kernel (copy_file_range) without the bytes ever reaching the
// program, which no converter that has to change line ends can do; this shows how much of
// the distance to `cat` is the reading and writing alone.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

bool IsMessageName(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return tail == ".eml";
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: copy_floor OUTDIR FOLDER...\n", stderr);
        return 2;
    }
    constexpr std::size_t kBuffer = 1 << 20;
    const std::unique_ptr<char[]> buffer(new char[kBuffer]);
    for (int f = 2; f < argc; ++f) {
        const std::string folder = argv[f];
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                if (IsMessageName(entry->d_name)) {
                    names.emplace_back(entry->d_name);
                }
            }
            ::closedir(dir);
        }
        std::sort(names.begin(), names.end());  // the order of the shell's glob
        const std::string output = std::string(argv[1]) + "/" + std::to_string(f - 1) + ".mbox";
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out < 0) {
            std::perror(output.c_str());
            return 1;
        }
        for (const std::string& name : names) {
            const std::string path = folder + "/" + name;
            const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (in < 0) {
                std::perror(path.c_str());
                return 1;
            }
            ssize_t got = 0;
            while ((got = ::read(in, buffer.get(), kBuffer)) > 0) {
                if (!WriteAll(out, buffer.get(), static_cast<std::size_t>(got))) {
                    std::perror(output.c_str());
                    return 1;
                }
            }
            ::close(in);
            if (got < 0) {
                std::perror(path.c_str());
                return 1;
            }
        }
        if (::close(out) != 0) {
            std::perror(output.c_str());
            return 1;
        }
    }
    return 0;
}
