// Where a message's record goes: the message's folder, without its root, mirrored beneath
// the output folder, into a mailbox named after that folder.
#pragma once

#include <string>
#include <string_view>

#include "registry.h"

namespace tolvik {

// The folder without its root prefix: "/" on POSIX; on Windows a drive prefix such as
// "C:\" (or a bare "C:"), or the two leading separators of a network path
// (\\srv\share\Mail\ becomes srv\share\Mail\).
std::string WithoutRoot(std::string_view folder, PathStyle style = kNativeStyle);

// The mailbox file's name without its extension: the last component of the mirrored
// folder. A name no file can carry (empty, or a drive such as "D:") loses its colon, and
// becomes "Mailbox" when nothing is left.
std::string MailboxNameOf(std::string_view mirroredFolder, PathStyle style = kNativeStyle);

// A relative folder path with its "." and ".." steps resolved and empty steps dropped, so
// that it can never lead out of the folder it is placed in; ends with a separator unless
// nothing is left.
std::string WithinFolder(std::string_view relative, PathStyle style = kNativeStyle);

struct MailboxTarget {
    std::string mirroredFolder;  // ends with a separator
    std::string mailboxPath;
    // The same place relative to the output folder: the folders to enter (ends with a
    // separator unless it is the output folder itself) and the mailbox's file name.
    std::string relativeFolder;
    std::string mailboxName;
};

// `outputFolder` must end with a separator.
MailboxTarget MailboxFor(std::string_view sourcePath, std::string_view outputFolder,
                         PathStyle style = kNativeStyle);

}  // namespace tolvik
