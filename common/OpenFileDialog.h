// The open-file dialog component `cdlgFile`: its settings, showing it, and the returned text.
#pragma once

#include <QString>

class QWidget;

namespace tolvik {

class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;
    // Shows the dialog modally; the returned text is then in FileName().
    virtual void ShowOpen(QWidget* owner) = 0;
    virtual QString FileName() const = 0;
};

}  // namespace tolvik
