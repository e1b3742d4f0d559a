#pragma once

class QPushButton;
class QWidget;

namespace tolvik {

class Dialogs;
class FileList;
class OpenFileDialog;

// Replaces the list with the message files picked in the open-file dialog.
void RunAddFilesCommand(FileList& list, QPushButton& convertButton, OpenFileDialog& cdlgFile,
                        Dialogs& dialogs, QWidget* owner);

}  // namespace tolvik
