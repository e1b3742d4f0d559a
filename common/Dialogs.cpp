#include "Dialogs.h"

#include <QMessageBox>

namespace tolvik {

bool MessageBoxDialogs::AskYesNo(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Question, kApplicationTitle, text,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void MessageBoxDialogs::Warn(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Warning, kApplicationTitle, text, QMessageBox::Ok, owner);
    box.exec();
}

void MessageBoxDialogs::Inform(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace tolvik
