// The open-file dialog component `cdlgFile`: its settings, showing it, and the returned text.
//
// The component is set up the way a classic common-dialog control is: the caller sets the
// initial file name, the filter, the option flags and the longest returned text it accepts,
// then shows the dialog. Afterwards FileName() holds the returned text:
//   - empty when the user cancelled;
//   - the full path of the file when one file was picked;
//   - the folder (without a trailing separator unless it is a root), then the name of each
//     picked file, each piece separated from the next by a NUL character, when several were.
// The text is held as the file system's bytes; its length is counted in characters.
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>
#include <string>

#include "registry.h"

class QWidget;

namespace tolvik {

// The option flags a caller may set (their values are those of the classic open-file dialog).
inline constexpr int kOfnAllowMultiSelect = 0x200;
inline constexpr int kOfnExplorer = 0x80000;

// The failure code for picked names that do not fit into MaxFileSize() characters.
inline constexpr int kErrBufferTooSmall = 20476;

// A failure of the dialog, with a numeric code and a description a user can read.
class DialogError : public std::exception {
public:
    DialogError(int code, QString description, int filesThatFit = 0);

    int Code() const { return code_; }
    const QString& Description() const { return description_; }
    // For kErrBufferTooSmall: how many of the picked files, taken in the dialog's order,
    // would have fitted into the limit (0 when not even one did).
    int FilesThatFit() const { return filesThatFit_; }

    const char* what() const noexcept override { return what_.c_str(); }

private:
    int code_;
    QString description_;
    int filesThatFit_;
    std::string what_;
};

class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;

    // The initial file name before ShowOpen, the returned text after it.
    const QByteArray& FileName() const { return fileName_; }
    void SetFileName(const QByteArray& fileName) { fileName_ = fileName; }

    // Pairs of description and patterns, all separated by '|'; several patterns of one
    // entry are separated by ';'. Example: "Mail messages (*.eml)|*.eml".
    const QString& Filter() const { return filter_; }
    void SetFilter(const QString& filter) { filter_ = filter; }

    // kOfnAllowMultiSelect lets the user pick several files; other flags change nothing here
    // (the returned text always has the NUL-separated form of the explorer-style dialog).
    int Flags() const { return flags_; }
    void SetFlags(int flags) { flags_ = flags; }

    // The longest returned text, in characters.
    int MaxFileSize() const { return maxFileSize_; }
    void SetMaxFileSize(int characters) { maxFileSize_ = characters; }

    // Shows the dialog modally to `owner` and sets FileName() to the returned text. Throws
    // DialogError, with kErrBufferTooSmall when the returned text would be longer than
    // MaxFileSize() characters (FileName() is then empty).
    virtual void ShowOpen(QWidget* owner) = 0;

    // The separator of the paths in the returned text.
    virtual PathStyle ReturnedPathStyle() const { return kNativeStyle; }

private:
    QByteArray fileName_;
    QString filter_;
    int flags_ = 0;
    int maxFileSize_ = 260;
};

// The toolkit's open-file dialog behind the component's settings.
class CommonDialog : public OpenFileDialog {
public:
    // `nativeDialog` false always shows the toolkit's own dialog widget instead of the
    // desktop's, as tests need.
    explicit CommonDialog(bool nativeDialog = true) : nativeDialog_(nativeDialog) {}

    void ShowOpen(QWidget* owner) override;

private:
    bool nativeDialog_;
};

// The dialog's name filters for a filter text of the component ("desc|*.a;*.b|...").
QStringList NameFiltersOf(const QString& filter);

}  // namespace tolvik
