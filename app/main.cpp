// tolvik: the desktop program's start-up.
#include <QApplication>
#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "HelpViewer.h"
#include "frmStep1.h"

namespace {

const char* const kUsage =
    "Usage: tolvik [OPTION]...\n"
    "Open the Tolvik window, which converts saved mail messages (.eml files) into mbox\n"
    "mailboxes that Mac Mail and other mail programs import.\n"
    "\n"
    "The window needs a graphical display (X11 or Wayland); tolvik-convert does the same\n"
    "conversion without one.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Qt's own options, such as -platform NAME and -display DISPLAY, are taken as well.\n";

const char* const kVersion =
    "tolvik " TOLVIK_VERSION_TEXT
    "\n"
    "Copyright (C) 2026 Tolvik developers\n"
    "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

// What Qt says while the application object starts: held back, so that a display that cannot
// be opened ends the program with one line of its own instead of Qt's report and an abort.
struct HeldMessage {
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;
};
QList<HeldMessage> heldMessages;

void DisplayFailed() {
    QByteArray named;
    for (const char* variable : {"WAYLAND_DISPLAY", "DISPLAY"}) {
        const QByteArray value = qgetenv(variable);
        if (!value.isEmpty()) {
            named += (named.isEmpty() ? "" : ", ") + QByteArray(variable) + "=" + value;
        }
    }
    const QByteArray why = named.isEmpty()
                               ? QByteArray("none is set (DISPLAY and WAYLAND_DISPLAY are empty)")
                               : "none could be opened (" + named + ")";
    std::fprintf(stderr,
                 "tolvik: the window needs a graphical display, and %s; tolvik-convert does the "
                 "same conversion without one\n",
                 why.constData());
    std::fflush(stderr);
}

void HoldStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    // The one fatal error of the application object's start is a display (a Qt platform) that
    // could not be opened; Qt would abort after this returns.
    if (type == QtFatalMsg) {
        DisplayFailed();
        std::_Exit(1);
    }
    heldMessages.append({type, QByteArray(context.file), context.line, QByteArray(context.function),
                         QByteArray(context.category), text});
}

// Passes the held messages on to the usual output once the application object stands.
void ReleaseStartupMessages(QtMessageHandler previous) {
    qInstallMessageHandler(previous);
    for (const HeldMessage& message : std::as_const(heldMessages)) {
        const QMessageLogContext context(
            message.file.isEmpty() ? nullptr : message.file.constData(), message.line,
            message.function.isEmpty() ? nullptr : message.function.constData(),
            message.category.isEmpty() ? nullptr : message.category.constData());
        qt_message_output(message.type, context, message.text);
    }
    heldMessages.clear();
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "-V") == 0 || std::strcmp(argv[i], "--version") == 0) {
            std::fputs(kVersion, stdout);
            return 0;
        }
    }

    const QtMessageHandler previous = qInstallMessageHandler(HoldStartupMessage);
    QApplication app(argc, argv);
    ReleaseStartupMessages(previous);

    QApplication::setApplicationName(QStringLiteral("Tolvik"));
    QApplication::setApplicationVersion(QStringLiteral(TOLVIK_VERSION_TEXT));
    QApplication::setDesktopFileName(QStringLiteral("org.tolvik.Tolvik"));
    QApplication::setWindowIcon(tolvik::TolvikIcon());
    tolvik::frmStep1 window;
    window.show();
    return QApplication::exec();
}
