// Drives the window as a user would, on the offscreen platform, and times its long commands.
//
//   window_bench convert ARCHIVE OUTDIR
//       Fills the list with the message files of ARCHIVE (in the order tolvik-convert takes
//       them), then presses Convert; the scripted folder dialog answers OUTDIR.
//   window_bench add-folder ARCHIVE
//       Presses Add Folder; the scripted folder dialog answers ARCHIVE.
//
// Prints one line per phase: "phase NAME wall SECONDS cpu SECONDS rows N failures N", then
// "peak_rss_kb N" for the whole process.
#include <sys/resource.h>

#include <QApplication>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "FileList.h"
#include "MessageFiles.h"
#include "ScriptedServices.h"
#include "frmStep1.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long PeakRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class Phase {
public:
    explicit Phase(const char* name)
        : name_(name), wallStart_(std::chrono::steady_clock::now()), cpuStart_(CpuSeconds()) {}
    void End(int rows, int failures) const {
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart_).count();
        std::printf("phase %s wall %.3f cpu %.3f rows %d failures %d\n", name_, wall,
                    CpuSeconds() - cpuStart_, rows, failures);
        std::fflush(stdout);
    }

private:
    const char* name_;
    std::chrono::steady_clock::time_point wallStart_;
    double cpuStart_;
};

int Usage() {
    std::fputs("usage: window_bench convert ARCHIVE OUTDIR | window_bench add-folder ARCHIVE\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return Usage();
    }
    const std::string mode = argv[1];
    const std::string archive = argv[2];
    if ((mode == "convert" && argc != 4) || (mode == "add-folder" && argc != 3) ||
        (mode != "convert" && mode != "add-folder")) {
        return Usage();
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    tolvik::ScriptedFolderPicker picker;
    tolvik::ScriptedDialogs dialogs;
    tolvik::frmStep1 window({.folderPicker = &picker, .dialogs = &dialogs});
    window.show();
    QApplication::processEvents();

    int failures = 0;
    if (mode == "add-folder") {
        picker.answers = {archive};
        const Phase phase("add-folder");
        window.CmdAddFolder->click();
        phase.End(window.Files().RowCount(), 0);
    } else {
        const Phase fill("fill-list");
        const std::vector<std::string> files = tolvik::MessageFilesOf(archive);
        for (const std::string& file : files) {
            window.Files().AddFileToList(QByteArray::fromStdString(file));
        }
        window.CmdConvert2PDF->setEnabled(true);
        QApplication::processEvents();
        fill.End(window.Files().RowCount(), 0);

        picker.answers = {argv[3]};
        const Phase convert("convert");
        window.CmdConvert2PDF->click();
        for (const auto& box : dialogs.boxes) {
            if (box.kind == QStringLiteral("warning")) {
                failures = 1;
                std::fprintf(stderr, "%s\n", qPrintable(box.text));
            }
        }
        convert.End(window.Files().RowCount(), failures);
    }
    std::printf("peak_rss_kb %ld\n", PeakRssKb());
    return failures == 0 ? 0 : 1;
}
