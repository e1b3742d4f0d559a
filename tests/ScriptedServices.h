// Scripted stand-ins for the window's dialogs, for tests that drive the window.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <string>

#include "BrowseForFolder.h"
#include "Dialogs.h"

namespace tolvik {

// Answers each folder dialog with the next scripted path ("" = cancel) and records titles.
class ScriptedFolderPicker : public FolderPicker {
public:
    std::deque<std::string> answers;
    QStringList titles;
    std::string BrowseForFolder(QWidget*, const QString& title) override {
        titles << title;
        if (answers.empty()) {
            return {};
        }
        std::string answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Records every box; questions get the scripted answers (Yes when none is left).
class ScriptedDialogs : public Dialogs {
public:
    struct Box {
        QString kind;  // "question", "warning" or "information"
        QString text;
    };
    std::vector<Box> boxes;
    std::deque<bool> answers;
    // Runs while a box is shown, as if the user acted while it was open.
    std::function<void()> whileShown;

    bool AskYesNo(QWidget*, const QString& text) override {
        Record("question", text);
        if (answers.empty()) {
            return true;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Warn(QWidget*, const QString& text) override { Record("warning", text); }
    void Inform(QWidget*, const QString& text) override { Record("information", text); }

private:
    void Record(const QString& kind, const QString& text) {
        boxes.push_back({kind, text});
        if (whileShown) {
            whileShown();
        }
    }
};

}  // namespace tolvik
