#pragma once

class QWidget;

namespace tolvik {

class Dialogs;
class FileList;

// Empties the list after the user confirms; an empty list is left alone without a question.
void RunClearCommand(FileList& list, Dialogs& dialogs, QWidget* owner);

}  // namespace tolvik
