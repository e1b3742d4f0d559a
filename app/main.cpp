#include <QApplication>

#include "HelpViewer.h"
#include "frmStep1.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvik"));
    QApplication::setApplicationVersion(QStringLiteral(TOLVIK_VERSION_TEXT));
    QApplication::setDesktopFileName(QStringLiteral("org.tolvik.Tolvik"));
    QApplication::setWindowIcon(tolvik::TolvikIcon());
    tolvik::frmStep1 window;
    window.show();
    return QApplication::exec();
}
