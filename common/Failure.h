// A failure as it happened: what was being done, to which file or folder, and the system's
// error. Its words are built only where it is reported, so that each host (the window, the
// command-line tool) shows paths in its own way, and the error is the one the failing call
// gave, taken before any other call could change it.
#pragma once

#include <functional>
#include <string>

namespace tolvik {

enum class Stage {
    ListRow,       // the list row itself
    ReadMessage,   // opening or reading the message file
    OutputFolder,  // opening the output folder the user chose
    CreateFolder,  // creating or entering a mirrored folder below it
    OpenMailbox,   // opening or creating the mailbox file
    LockMailbox,   // taking the mailbox's locks
    WriteMailbox,  // writing the record
    SaveToDisk,    // making what was written durable
};

enum class Problem {
    SystemError,       // `error` holds the errno value
    NoFileName,        // the list row names no file
    NotPlainFile,      // a named pipe, a device, a socket
    IsLink,            // a symbolic link where the program writes
    NotFolder,         // a file where a folder is needed
    LockedByOther,     // another program kept the mailbox locked for too long
    MessageIsMailbox,  // the message file is the mailbox itself
    NoFreeInodes,      // the file system has no room for another file, whatever the free space
};

struct Failure {
    Stage stage = Stage::ListRow;
    Problem problem = Problem::SystemError;
    int error = 0;     // errno, for Problem::SystemError
    std::string path;  // the file or folder concerned (the message file for ReadMessage)
    // When the unfinished record could not be taken out again: the errno of that attempt.
    int rollBackError = 0;

    static Failure System(Stage stage, int error, std::string path = {});
    static Failure Of(Stage stage, Problem problem, std::string path = {});
};

// Turns a path held as bytes into the text a user reads.
using ShowPath = std::function<std::string(const std::string&)>;
std::string AsBytes(const std::string& path);

// The reason in plain words, for example "could not write the mailbox /out/A/A.mbox: the disk
// is full". A failure of the message file itself does not repeat its path, which the report
// shows in front of every reason.
std::string Describe(const Failure& failure, const ShowPath& showPath = AsBytes);

// An ENOSPC is either a full disk or a full table of files (inodes): which of the two, for
// the file system that holds the folder open as `folderFd`.
Failure NoSpaceFailure(Stage stage, int error, std::string path, int folderFd);

}  // namespace tolvik
