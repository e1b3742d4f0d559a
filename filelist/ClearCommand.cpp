#include "ClearCommand.h"

#include "Dialogs.h"
#include "FileList.h"
#include "FlexGrid.h"

namespace tolvik {

void RunClearCommand(FileList& list, Dialogs& dialogs, QWidget* owner) {
    list.Grid().SetRow(0);
    if (list.RowText(0).isEmpty()) {
        return;
    }
    if (dialogs.AskYesNo(
            owner, QStringLiteral("Do you want to clear all the files in the list\r\n Proceed?"))) {
        list.ClearFileList();
    }
}

}  // namespace tolvik
