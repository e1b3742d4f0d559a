// Times a walk of a large tree held in memory, and lookups in the lists it fills.
//   scan_bench [folders] [files per folder]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "FileSystem.h"
#include "pathLogger.h"

int main(int argc, char** argv) {
    const int folders = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int filesPerFolder = argc > 2 ? std::atoi(argv[2]) : 200;
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };

    auto fs = std::make_shared<tolvik::MemoryFileSystem>(tolvik::PathStyle::Windows);
    const auto buildStart = Clock::now();
    for (int f = 0; f < folders; ++f) {
        const std::string folder =
            "D:\\Mail\\Box" + std::to_string(f / 50) + "\\Folder" + std::to_string(f) + "\\";
        for (int n = 0; n < filesPerFolder; ++n) {
            fs->AddFile(folder + "message " + std::to_string(n) + ".eml");
        }
    }
    const auto walkStart = Clock::now();
    tolvik::pathLogger scanner(tolvik::PathStyle::Windows, [fs] { return fs; });
    scanner.PathLogInit();
    scanner.fullFileNamesOnly(false);
    scanner.LogPath("D:\\Mail");
    const auto walkEnd = Clock::now();

    const auto files = scanner.fullFileNames();
    std::size_t bytes = 0;
    for (int n = 1; n < scanner.Count(); ++n) {
        bytes += files->Item("K" + std::to_string(n)).size() + files->Item(n).size();
    }
    const auto lookupEnd = Clock::now();

    std::printf("tree of %d folders, %d files built in %.1f ms\n", scanner.pathNames()->Count(),
                files->Count(), ms(walkStart - buildStart));
    std::printf("walk, all lists: %.1f ms\n", ms(walkEnd - walkStart));
    std::printf("%d lookups by key and by position: %.1f ms (%zu bytes)\n", 2 * files->Count(),
                ms(lookupEnd - walkEnd), bytes);
    return files->Count() == folders * filesPerFolder ? 0 : 1;
}
