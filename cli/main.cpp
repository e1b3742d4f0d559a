// tolvik-convert: the conversion run without the window.
#include <signal.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ConversionRun.h"
#include "FileSystem.h"
#include "MessageFiles.h"
#include "RunReport.h"
#include "modMain.h"

namespace {

const char* const kUsage =
    "Usage: tolvik-convert -o OUTDIR SOURCE...\n"
    "Convert saved mail messages (.eml files) into mbox mailboxes that Mac Mail and other\n"
    "mail programs import.\n"
    "\n"
    "Each SOURCE is a message file (taken as given, whatever its extension) or a folder,\n"
    "whose whole tree is searched for .eml files. Every message is appended to the mailbox\n"
    "of its own folder: the folder's path is mirrored beneath OUTDIR, and the mailbox is\n"
    "named after the folder, with the extension .mbox.\n"
    "\n"
    "  -o, --output OUTDIR  the folder that receives the mailboxes (created when missing)\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "\n"
    "Exit status: 0 when every message was converted, 1 when some could not be,\n"
    "2 on a usage error. Interrupted (Ctrl-C, SIGTERM, SIGHUP), it takes the record in\n"
    "progress off its mailbox again, saves what it wrote and exits with 128 + the signal's\n"
    "number (130, 143, 129).\n";

// The signal that asked the run to end, or 0.
volatile sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) {
    if (stopSignal == 0) {
        stopSignal = signal;
    }
}

// Ctrl-C, SIGTERM and SIGHUP end the run cleanly; system calls they interrupt are not
// restarted, so that a wait for a lock ends at once. A closed pipe on the other end of a
// standard stream makes its writes fail instead of ending the program.
void HandleSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
    ::signal(SIGPIPE, SIG_IGN);
}

const char* SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "a signal";
    }
}

const char* const kVersion =
    "tolvik-convert " TOLVIK_VERSION_TEXT
    "\n"
    "Copyright (C) 2026 Tolvik developers\n"
    "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

int UsageError(const std::string& what) {
    std::fprintf(stderr, "tolvik-convert: %s\n\n%s", what.c_str(), kUsage);
    return 2;
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/') {
        return path;
    }
    std::vector<char> cwd(4096);
    while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
        if (errno != ERANGE) {
            return path;
        }
        cwd.resize(cwd.size() * 2);
    }
    std::string result(cwd.data());
    if (result.back() != '/') {
        result += '/';
    }
    return result + path;
}

class TerminalHost : public tolvik::RunHost {
public:
    explicit TerminalHost(bool showProgress) : showProgress_(showProgress) {}

    bool StopRequested() override { return stopSignal != 0; }
    bool InterruptRequested() override { return stopSignal != 0; }
    void RowFailed(int, const std::string& path, const tolvik::Failure& failure) override {
        ClearProgress();
        std::fprintf(stderr, "tolvik-convert: %s: %s\n", path.c_str(),
                     tolvik::Describe(failure).c_str());
    }
    void MailboxRepaired(const tolvik::MailboxRepair& repair) override {
        ClearProgress();
        std::fprintf(stderr, "tolvik-convert: %s\n", tolvik::RepairText(repair).c_str());
    }
    void RowFinished(int row, int rowCount, float) override {
        if (showProgress_) {
            std::fprintf(stderr, "\rMessage %d (of %d)", row + 1, rowCount);
            std::fflush(stderr);
            progressShown_ = true;
        }
    }
    void ClearProgress() {
        if (progressShown_) {
            std::fputs("\r\x1b[K", stderr);
            progressShown_ = false;
        }
    }
    void EndProgress() {
        if (progressShown_) {
            std::fputc('\n', stderr);
            progressShown_ = false;
        }
    }

private:
    bool showProgress_;
    bool progressShown_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    std::string output;
    std::vector<std::string> sources;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!optionsEnded && (arg == "-V" || arg == "--version")) {
            std::fputs(kVersion, stdout);
            return 0;
        }
        if (!optionsEnded && (arg == "-o" || arg == "--output")) {
            if (i + 1 >= argc) {
                return UsageError("option " + arg + " needs a folder");
            }
            output = argv[++i];
        } else if (!optionsEnded && arg.rfind("--output=", 0) == 0) {
            output = arg.substr(9);
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            return UsageError("unknown option " + arg);
        } else {
            sources.push_back(arg);
        }
    }
    if (output.empty()) {
        return UsageError("no output folder given (-o OUTDIR)");
    }
    if (sources.empty()) {
        return UsageError("no message files or folders given");
    }

    HandleSignals();
    // The list, as the window would hold it: files as given, folders by their message files.
    std::vector<std::string> rows;
    for (const std::string& source : sources) {
        const std::string path = Absolute(source);
        if (tolvik::DiskFileSystem().FolderExists(path)) {
            int skipped = 0;
            for (auto& file : tolvik::MessageFilesOf(path, &skipped)) {
                rows.push_back(std::move(file));
            }
            if (skipped > 0) {
                std::fprintf(stderr, "tolvik-convert: %s: %d folder%s could not be read\n",
                             path.c_str(), skipped, skipped == 1 ? "" : "s");
            }
        } else {
            rows.push_back(path);
        }
    }

    const std::string outputFolder = Absolute(output);
    std::string why;
    if (!tolvik::EnsureDirectoryPath(outputFolder, &why)) {
        std::fprintf(stderr, "tolvik-convert: cannot create the output folder %s: %s\n",
                     outputFolder.c_str(), why.c_str());
        return 1;
    }

    TerminalHost host(::isatty(STDERR_FILENO) == 1);
    tolvik::ConversionRun run(outputFolder, host);
    const tolvik::RunSummary summary =
        run.Run(static_cast<int>(rows.size()), [&](int row) { return rows[row]; });
    host.EndProgress();

    if (summary.saveFailure) {
        std::fprintf(stderr, "tolvik-convert: %s\n",
                     tolvik::Describe(*summary.saveFailure).c_str());
    }
    const int signal = stopSignal;
    if (signal != 0) {
        std::fprintf(
            stderr, "tolvik-convert: stopped by %s after %d of %d messages%s\n", SignalName(signal),
            summary.converted + static_cast<int>(summary.failures.size()), summary.rowCount,
            summary.interrupted ? "; nothing of the message in progress was kept" : "");
    }
    const int failed = static_cast<int>(summary.failures.size());
    std::fprintf(stderr, "tolvik-convert: %d converted, %d failed, %d mailbox%s written\n",
                 summary.converted, failed, summary.mailboxesWritten,
                 summary.mailboxesWritten == 1 ? "" : "es");
    if (signal != 0) {
        return 128 + signal;
    }
    return failed == 0 && !summary.saveFailure ? 0 : 1;
}
