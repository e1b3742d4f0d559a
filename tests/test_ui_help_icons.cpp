// The program's icon file as the build draws it (icons/tolvik.ico beside bin/): read here
// with a reader of its own, entry by entry, and compared with the theme PNGs of the same
// picture, so that a fault in the icon writer (sizes, depths, offsets, row order, palette,
// transparency mask) shows up.
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtEndian>
#include <QtTest>

namespace {

QString IconDir() {
    return QStringLiteral(TOLVIK_BIN_DIR "/../icons");
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint16 U16(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(b.constData() + at));
}
quint32 U32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(b.constData() + at));
}

struct Entry {
    int size;
    int bitCount;
    quint32 bytes;
    quint32 offset;
};

Entry EntryAt(const QByteArray& ico, int index) {
    const qsizetype at = 6 + 16 * index;
    const int width = static_cast<uchar>(ico[at]);
    return {width == 0 ? 256 : width, U16(ico, at + 6), U32(ico, at + 8), U32(ico, at + 12)};
}

int RowBytes(int bits, int width) {
    return ((bits * width + 31) / 32) * 4;
}

// Decodes a bitmap entry (header, palette, colour rows, mask rows; rows bottom first) to
// ARGB. Pixels the mask marks transparent become fully transparent.
QImage DecodeBitmap(const QByteArray& data, int size, int bits) {
    const int paletteEntries = bits == 8 ? 256 : 0;
    const qsizetype colours = 40 + 4 * paletteEntries;
    const qsizetype mask = colours + qsizetype{RowBytes(bits, size)} * size;
    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        const qsizetype row = colours + qsizetype{RowBytes(bits, size)} * (size - 1 - y);
        const qsizetype maskRow = mask + qsizetype{RowBytes(1, size)} * (size - 1 - y);
        for (int x = 0; x < size; ++x) {
            QRgb pixel;
            if (bits == 8) {
                const int index = static_cast<uchar>(data[row + x]);
                const qsizetype p = 40 + 4 * index;
                pixel = qRgb(static_cast<uchar>(data[p + 2]), static_cast<uchar>(data[p + 1]),
                             static_cast<uchar>(data[p]));
            } else {
                const qsizetype p = row + 4 * x;
                pixel = qRgba(static_cast<uchar>(data[p + 2]), static_cast<uchar>(data[p + 1]),
                              static_cast<uchar>(data[p]), static_cast<uchar>(data[p + 3]));
            }
            const bool clear = (static_cast<uchar>(data[maskRow + x / 8]) >> (7 - x % 8)) & 1;
            if (bits == 8) {
                pixel = clear ? qRgba(0, 0, 0, 0) : pixel;
            } else if (clear) {
                pixel = qAlpha(pixel) < 128 ? pixel : qRgba(255, 0, 255, 255);  // a wrong mask
            }
            image.setPixel(x, y, pixel);
        }
    }
    return image;
}

}  // namespace

class TestHelpIcons : public QObject {
    Q_OBJECT

    QByteArray ico_;

private Q_SLOTS:
    void initTestCase() {
        ico_ = ReadAll(IconDir() + "/tolvik.ico");
        QVERIFY2(ico_.size() > 6 + 16 * 10, "the build draws icons/tolvik.ico");
        QCOMPARE(U16(ico_, 0), quint16{0});
        QCOMPARE(U16(ico_, 2), quint16{1});  // an icon, not a cursor
        QCOMPARE(U16(ico_, 4), quint16{10});
    }

    // The images lie one after the other behind the directory, filling the file.
    void imagesTileTheFile() {
        quint32 expected = 6 + 16 * 10;
        for (int i = 0; i < 10; ++i) {
            const Entry e = EntryAt(ico_, i);
            QCOMPARE(e.offset, expected);
            expected += e.bytes;
        }
        QCOMPARE(qsizetype{expected}, ico_.size());
    }

    void image_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("png");
        int index = 0;
        for (int size : {16, 24, 32, 48}) {
            QTest::addRow("%d px, 256 colours", size) << index++ << size << 8 << false;
        }
        for (int size : {16, 24, 32, 48, 128}) {
            QTest::addRow("%d px, 32-bit", size) << index++ << size << 32 << false;
        }
        QTest::addRow("256 px, PNG") << index++ << 256 << 32 << true;
    }

    void image() {
        QFETCH(int, index);
        QFETCH(int, size);
        QFETCH(int, bits);
        QFETCH(bool, png);
        const Entry e = EntryAt(ico_, index);
        QCOMPARE(e.size, size);
        QCOMPARE(e.bitCount, bits);
        QCOMPARE(static_cast<uchar>(ico_[6 + 16 * index + 1]), static_cast<uchar>(size % 256));
        QCOMPARE(U16(ico_, 6 + 16 * index + 4), quint16{1});  // planes
        const QByteArray data = ico_.mid(e.offset, e.bytes);
        QCOMPARE(quint32(data.size()), e.bytes);

        const QImage reference(QStringLiteral("%1/tolvik-%2.png").arg(IconDir()).arg(size));
        QCOMPARE(reference.size(), QSize(size, size));
        const QImage expected = reference.convertToFormat(QImage::Format_ARGB32);

        if (png) {
            QVERIFY(data.startsWith("\x89PNG\r\n\x1a\n"));
            const QImage decoded =
                QImage::fromData(data, "PNG").convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(decoded, expected);
            return;
        }

        QCOMPARE(U32(data, 0), quint32{40});
        QCOMPARE(qint32(U32(data, 4)), size);
        QCOMPARE(qint32(U32(data, 8)), 2 * size);  // colour rows and mask rows together
        QCOMPARE(U16(data, 12), quint16{1});
        QCOMPARE(int(U16(data, 14)), bits);
        QCOMPARE(U32(data, 16), quint32{0});  // not compressed
        const int palette = bits == 8 ? 256 : 0;
        QCOMPARE(qsizetype{40 + 4 * palette + (RowBytes(bits, size) + RowBytes(1, size)) * size},
                 data.size());

        const QImage decoded = DecodeBitmap(data, size, bits);
        if (bits == 32) {
            QCOMPARE(decoded, expected);
            return;
        }
        // 256 colours: transparent exactly where the picture is less than half opaque, and
        // the colours close to the picture's.
        double error = 0;
        int opaque = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QRgb want = expected.pixel(x, y);
                const QRgb got = decoded.pixel(x, y);
                QCOMPARE(qAlpha(got) == 0, qAlpha(want) < 128);
                if (qAlpha(want) >= 128) {
                    ++opaque;
                    error += std::abs(qRed(got) - qRed(want)) +
                             std::abs(qGreen(got) - qGreen(want)) +
                             std::abs(qBlue(got) - qBlue(want));
                }
            }
        }
        QVERIFY(opaque > size * size / 3);
        QVERIFY2(error / opaque < 6.0, qPrintable(QString::number(error / opaque)));
    }

    // Another reader, Qt's own, takes the file the same way.
    void qtReadsEveryImage() {
        QImageReader reader(IconDir() + "/tolvik.ico", "ico");
        if (!reader.canRead()) {
            QSKIP("Qt's ICO image plugin is not installed");
        }
        QCOMPARE(reader.imageCount(), 10);
        QList<int> sizes;
        do {
            const QImage image = reader.read();
            QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
            sizes.append(image.width());
        } while (reader.jumpToNextImage());
        QCOMPARE(sizes, (QList<int>{16, 24, 32, 48, 16, 24, 32, 48, 128, 256}));
    }

    // Every theme size is drawn, square, with a transparent background around the picture.
    void themeIcons_data() {
        QTest::addColumn<int>("size");
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            QTest::addRow("%d px", size) << size;
        }
    }

    void themeIcons() {
        QFETCH(int, size);
        const QImage image(QStringLiteral("%1/tolvik-%2.png").arg(IconDir()).arg(size));
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size - 1, 0)), 0);
        int opaque = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                opaque += qAlpha(image.pixel(x, y)) == 255;
            }
        }
        QVERIFY(opaque > size * size / 3);
    }
};

QTEST_MAIN(TestHelpIcons)
#include "test_ui_help_icons.moc"
