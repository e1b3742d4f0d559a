// Build-time tool: draws the program's pictures into a folder.
//
//   tolvik-icons OUTDIR
//
// writes tolvik-N.png for every size of the desktop icon theme, tolvik.ico (the Windows
// icon: 16, 24, 32, 48 px in 256 colours; 16, 24, 32, 48, 128, 256 px 32-bit with alpha,
// the 256 px one as PNG) and tick-22.png (the main window's tick mark).
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdio>
#include <vector>

#include "IcoWriter.h"
#include "IconArt.h"

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        std::fprintf(stderr, "tolvik-icons: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
}

bool SavePng(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "tolvik-icons: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tolvik-icons OUTDIR\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "tolvik-icons: cannot create %s\n", argv[1]);
        return 1;
    }
    const QDir dir(outDir);

    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        if (!SavePng(tolvik::DrawTolvikIcon(size),
                     dir.filePath(QStringLiteral("tolvik-%1.png").arg(size)))) {
            return 1;
        }
    }
    if (!SavePng(tolvik::DrawTick(22), dir.filePath(QStringLiteral("tick-22.png")))) {
        return 1;
    }

    std::vector<tolvik::IcoImage> images;
    for (int size : {16, 24, 32, 48}) {
        images.push_back({tolvik::DrawTolvikIcon(size), tolvik::IcoDepth::Palette256});
    }
    for (int size : {16, 24, 32, 48, 128}) {
        images.push_back({tolvik::DrawTolvikIcon(size), tolvik::IcoDepth::Colour32});
    }
    images.push_back({tolvik::DrawTolvikIcon(256), tolvik::IcoDepth::Png});
    const QByteArray ico = tolvik::EncodeIco(images);
    if (ico.isEmpty()) {
        std::fprintf(stderr, "tolvik-icons: cannot encode the icon\n");
        return 1;
    }
    return WriteFile(dir.filePath(QStringLiteral("tolvik.ico")), ico) ? 0 : 1;
}
