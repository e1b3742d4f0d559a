// The program's message boxes, behind a small interface that tests script.
#pragma once

#include <QString>

class QWidget;

namespace tolvik {

// Every box carries the application title "Tolvik".
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Question icon, Yes and No, Yes the default. True for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& text) = 0;
    // Exclamation icon, OK.
    virtual void Warn(QWidget* owner, const QString& text) = 0;
    // No icon, OK.
    virtual void Inform(QWidget* owner, const QString& text) = 0;
};

class MessageBoxDialogs : public Dialogs {
public:
    bool AskYesNo(QWidget* owner, const QString& text) override;
    void Warn(QWidget* owner, const QString& text) override;
    void Inform(QWidget* owner, const QString& text) override;
};

inline const QString kApplicationTitle = QStringLiteral("Tolvik");

}  // namespace tolvik
