#include "IconArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>
#include <cmath>

namespace tolvik {

namespace {

const QColor kOutline(0x1A, 0x3C, 0x6E);
const QColor kTrayTop(0x4C, 0x93, 0xE6);
const QColor kTrayBottom(0x1F, 0x5B, 0xB0);
const QColor kTrayInside(0x17, 0x3F, 0x7A);
const QColor kPaper(0xFF, 0xFF, 0xFF);
const QColor kPaperShade(0xE3, 0xEA, 0xF3);
const QColor kSheetEdge(0x6F, 0x82, 0x9C);
const QColor kStamp(0xE8, 0x6A, 0x2E);

// The large picture, designed on a 256-unit square and scaled to the image.
void DrawDetailed(QPainter& p, int size) {
    const double s = size / 256.0;
    p.scale(s, s);
    p.setRenderHint(QPainter::Antialiasing);

    // The inside of the tray, seen above its front.
    p.setPen(Qt::NoPen);
    p.setBrush(kTrayInside);
    p.drawRoundedRect(QRectF(22, 120, 212, 110), 18, 18);

    // The stack of messages already in the tray.
    const QRectF sheets[] = {QRectF(44, 104, 168, 80), QRectF(36, 120, 184, 70),
                             QRectF(50, 136, 156, 60)};
    const QColor sheetFills[] = {kPaperShade, kPaper, QColor(0xF1, 0xF4, 0xF9)};
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(kSheetEdge, 4));
        p.setBrush(sheetFills[i]);
        p.drawRoundedRect(sheets[i], 5, 5);
    }

    // The letter, tilted as it drops in.
    p.save();
    p.translate(136, 70);
    p.rotate(-11);
    const QRectF letter(-78, -48, 156, 96);
    QLinearGradient paper(0, letter.top(), 0, letter.bottom());
    paper.setColorAt(0, kPaper);
    paper.setColorAt(1, kPaperShade);
    p.setPen(QPen(kOutline, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(paper);
    p.drawRoundedRect(letter, 8, 8);
    // The lower folds, faint, then the flap.
    p.setPen(QPen(QColor(0xA9, 0xB8, 0xCB), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(letter.left() + 6, letter.bottom() - 6), QPointF(-18, 4));
    p.drawLine(QPointF(letter.right() - 6, letter.bottom() - 6), QPointF(18, 4));
    p.setPen(QPen(kOutline, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPolygonF flap;
    flap << QPointF(letter.left() + 4, letter.top() + 4) << QPointF(0, 14)
         << QPointF(letter.right() - 4, letter.top() + 4);
    p.drawPolyline(flap);
    p.setPen(Qt::NoPen);
    p.setBrush(kStamp);
    p.drawRoundedRect(QRectF(letter.right() - 34, letter.top() + 12, 22, 26), 3, 3);
    p.restore();

    // The front of the tray, over the lower part of the stack.
    QLinearGradient front(0, 152, 0, 242);
    front.setColorAt(0, kTrayTop);
    front.setColorAt(1, kTrayBottom);
    p.setPen(QPen(kOutline, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(front);
    p.drawRoundedRect(QRectF(14, 154, 228, 88), 22, 22);
    p.setPen(QPen(QColor(0xA8, 0xD0, 0xFF, 200), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(36, 163), QPointF(220, 163));
    // The label holder on the front.
    p.setPen(QPen(kOutline, 5));
    p.setBrush(QColor(0xFF, 0xFF, 0xFF, 225));
    p.drawRoundedRect(QRectF(90, 184, 76, 30), 9, 9);
}

// The small picture (16 to 32 pixels), laid out in whole pixels so that edges stay sharp:
// the letter stands in the tray, in front of the stack, with the tray's front covering
// its lower edge.
struct SmallLayout {
    int outline;     // width of the outlines
    QRect letter;    // outer edge of the letter
    int flapBottom;  // row where the flap's two edges meet
    QRect stack;     // the topmost sheet of the stack, behind the letter
    QRect tray;      // outer edge of the tray's front
    QRect label;     // the label holder on the front
};

SmallLayout LayoutFor(int size) {
    switch (size) {
        case 16:
            return {1,
                    QRect(3, 1, 10, 9),
                    6,
                    QRect(1, 6, 14, 6),
                    QRect(0, 9, 16, 7),
                    QRect(6, 12, 4, 1)};
        case 22:
            return {1,
                    QRect(4, 1, 14, 12),
                    8,
                    QRect(2, 8, 18, 8),
                    QRect(0, 13, 22, 9),
                    QRect(8, 16, 6, 2)};
        case 24:
            return {1,
                    QRect(4, 1, 16, 13),
                    9,
                    QRect(2, 9, 20, 8),
                    QRect(0, 14, 24, 10),
                    QRect(9, 17, 6, 2)};
        default:  // 32
            return {2,
                    QRect(6, 1, 20, 17),
                    11,
                    QRect(1, 10, 30, 10),
                    QRect(0, 18, 32, 14),
                    QRect(11, 23, 10, 3)};
    }
}

void FrameRect(QPainter& p, const QRect& r, int width, const QColor& edge, const QBrush& fill) {
    p.setPen(Qt::NoPen);
    p.setBrush(edge);
    p.drawRect(r);
    p.setBrush(fill);
    p.drawRect(r.adjusted(width, width, -width, -width));
}

void DrawSmall(QPainter& p, int size) {
    const SmallLayout l = LayoutFor(size);
    const int o = l.outline;
    p.setRenderHint(QPainter::Antialiasing, false);

    // The tray's back wall with the tops of the stacked sheets inside it.
    FrameRect(p, l.stack, o, kOutline, kTrayInside);
    const QRect sheets = l.stack.adjusted(o, 2 * o, -o, 0);
    for (int y = sheets.top(); y < sheets.bottom(); y += 2 * o) {
        p.setBrush(y == sheets.top() ? kPaper : kPaperShade);
        p.drawRect(QRect(sheets.left(), y, sheets.width(), o));
    }

    // The letter with its flap, drawn pixel by pixel from both upper corners inwards.
    FrameRect(p, l.letter, o, kOutline, kPaper);
    const QRect inner = l.letter.adjusted(o, o, -o, -o);
    p.setBrush(kOutline);
    const int rows = l.flapBottom - inner.top() + 1;
    const double run = (inner.width() / 2.0) / rows;
    for (int i = 0; i < rows; ++i) {
        const int y = inner.top() + i;
        const int from = static_cast<int>(std::floor(i * run));
        const int to = std::max(from + o, static_cast<int>(std::floor((i + 1) * run)));
        p.drawRect(QRect(inner.left() + from, y, to - from, 1));
        p.drawRect(QRect(inner.right() + 1 - to, y, to - from, 1));
    }

    // The tray's front, its corners cut by one pixel.
    p.setBrush(kOutline);
    p.drawRect(l.tray.adjusted(1, 0, -1, 0));
    p.drawRect(l.tray.adjusted(0, 1, 0, -1));
    QLinearGradient front(0, l.tray.top(), 0, l.tray.bottom());
    front.setColorAt(0, kTrayTop);
    front.setColorAt(1, kTrayBottom);
    p.setBrush(front);
    p.drawRect(l.tray.adjusted(o, o, -o, -o));
    p.setBrush(QColor(0xA8, 0xD0, 0xFF));
    p.drawRect(QRect(l.tray.left() + o + 1, l.tray.top() + o, l.tray.width() - 2 * o - 2, 1));
    p.setBrush(kPaper);
    p.drawRect(l.label);
}

}  // namespace

QImage DrawTolvikIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        if (size == 16 || size == 22 || size == 24 || size == 32) {
            DrawSmall(p, size);
        } else {
            DrawDetailed(p, size);
        }
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage DrawTick(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 22.0, size / 22.0);
        QPainterPath tick;
        tick.moveTo(3.5, 11.5);
        tick.lineTo(8.5, 16.5);
        tick.lineTo(18.5, 5.0);
        // A darker rim under the stroke keeps the mark readable on white and on grey.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0x1B, 0x6E, 0x20), 4.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tick);
        p.setPen(QPen(QColor(0x3C, 0xB3, 0x44), 2.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tick);
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace tolvik
