// Times the add-folder command through the window on a generated tree, against `find`.
//
//   window_add_folder [FOLDERS [FILES_PER_FOLDER [WORK_DIR]]]   (default 1000 x 100)
//
// Builds WORK_DIR/tree with FOLDERS folders (ten top folders with the rest beneath them)
// holding FILES_PER_FOLDER empty .eml files each, lists it once with `find` (timed), then
// adds it through the window's add-folder command with a scripted folder dialog (timed),
// counting the window's repaints during the appends. Runs on the offscreen platform.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPaintEvent>
#include <QProcess>
#include <cstdio>

#include "../tests/ScriptedServices.h"
#include "FileList.h"
#include "FlexGrid.h"
#include "frmStep1.h"

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int folders = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int perFolder = argc > 2 ? std::atoi(argv[2]) : 100;
    const QString work =
        argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir::tempPath() + "/tolvik-add";
    const QString tree = work + "/tree";

    if (!QDir(tree).exists()) {
        std::printf("generating %d folders x %d files in %s\n", folders, perFolder,
                    qPrintable(tree));
        for (int f = 0; f < folders; ++f) {
            const QString folder =
                f < 10 ? QStringLiteral("%1/top%2").arg(tree).arg(f)
                       : QStringLiteral("%1/top%2/folder%3").arg(tree).arg(f % 10).arg(f);
            QDir().mkpath(folder);
            for (int i = 0; i < perFolder; ++i) {
                QFile file(QStringLiteral("%1/message%2.eml").arg(folder).arg(i));
                if (!file.open(QIODevice::WriteOnly)) {
                    std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
                    return 1;
                }
            }
        }
    }

    QElapsedTimer timer;
    timer.start();
    QProcess find;
    find.setStandardOutputFile(QProcess::nullDevice());
    find.start("find", {tree});
    find.waitForFinished(-1);
    const qint64 findMs = timer.elapsed();

    tolvik::ScriptedFolderPicker picker;
    tolvik::ScriptedDialogs dialogs;
    tolvik::frmStep1 window({.folderPicker = &picker, .dialogs = &dialogs});
    window.show();
    PaintCounter counter;
    window.grdFiles1->viewport()->installEventFilter(&counter);
    window.lblCount1->installEventFilter(&counter);
    QApplication::processEvents();
    counter.paints = 0;
    picker.answers = {QFile::encodeName(tree).toStdString()};
    timer.restart();
    window.CmdAddFolder_Click();
    const qint64 addMs = timer.elapsed();

    std::printf(
        "find: %lld ms\nadd-folder through the window: %lld ms (%.1fx find), %d rows, "
        "%d repaints during the appends\nreport: %s\n",
        static_cast<long long>(findMs), static_cast<long long>(addMs),
        findMs > 0 ? double(addMs) / double(findMs) : 0.0, window.Files().RowCount(),
        counter.paints, dialogs.boxes.empty() ? "(none)" : qPrintable(dialogs.boxes[0].text));
    return 0;
}
