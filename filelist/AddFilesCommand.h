// The add-files command behind the button "Add EML File(s)...".
#pragma once

class QPushButton;
class QWidget;

namespace tolvik {

class Dialogs;
class FileList;
class OpenFileDialog;

// The failure codes the command shows for failures that carry no code of their own.
inline constexpr int kErrOutOfMemory = 7;
inline constexpr int kErrInternal = 51;

// Replaces the list with the message files picked in the open-file dialog: empties the list,
// shows the dialog, enables the convert button once it returns a selection, and appends each
// picked file's path in the dialog's order. Any failure from emptying the list on ends the
// command with one warning box; a selection longer than the dialog takes asks the user to
// pick fewer files at a time.
void RunAddFilesCommand(FileList& list, QPushButton& convertButton, OpenFileDialog& cdlgFile,
                        Dialogs& dialogs, QWidget* owner);

}  // namespace tolvik
