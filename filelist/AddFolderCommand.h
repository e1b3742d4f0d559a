#pragma once

#include <functional>
#include <string>

#include "FileSystem.h"

class QPushButton;
class QWidget;

namespace tolvik {

class Dialogs;
class FileList;
class FolderPicker;

struct AddFolderCommand {
    FileList& list;
    QPushButton& convertButton;
    FolderPicker& picker;
    Dialogs& dialogs;
    QWidget* owner;
    // The window's record of the folder chosen last.
    std::string& sourceFolder;
    // Lets the window handle its events between two files.
    std::function<void()> yield;
    // True when the window is closing: the command stops adding.
    std::function<bool()> stopRequested;
    // The file system the folder tree is listed from; empty means the disk.
    FileSystemFactory fileSystem = {};
};

// Appends every .eml file of a chosen folder's tree to the list and reports how many.
void RunAddFolderCommand(const AddFolderCommand& command);

}  // namespace tolvik
