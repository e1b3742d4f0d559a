#include "IcoWriter.h"

#include <QBuffer>
#include <QHash>
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace tolvik {

namespace {

constexpr int kOpaqueFrom = 128;  // alpha at or above this counts as opaque in the mask

void PutU8(QByteArray& out, int value) {
    out.append(static_cast<char>(value & 0xFF));
}

void PutU16(QByteArray& out, int value) {
    PutU8(out, value);
    PutU8(out, value >> 8);
}

void PutU32(QByteArray& out, std::uint32_t value) {
    PutU16(out, static_cast<int>(value & 0xFFFF));
    PutU16(out, static_cast<int>(value >> 16));
}

// Rows of a device-independent bitmap are padded to a multiple of four bytes.
int RowBytes(int bitsPerPixel, int width) {
    return ((bitsPerPixel * width + 31) / 32) * 4;
}

struct ColourCount {
    QRgb colour;
    qint64 count;
};

int Channel(QRgb colour, int channel) {
    switch (channel) {
        case 0:
            return qRed(colour);
        case 1:
            return qGreen(colour);
        default:
            return qBlue(colour);
    }
}

// One box of the median cut: a range of the colour list.
struct Box {
    int begin;
    int end;
    int widestChannel = 0;
    int spread = 0;
    qint64 weight = 0;

    void Measure(const std::vector<ColourCount>& colours) {
        std::array<int, 3> low{255, 255, 255};
        std::array<int, 3> high{0, 0, 0};
        weight = 0;
        for (int i = begin; i < end; ++i) {
            for (int c = 0; c < 3; ++c) {
                low[c] = std::min(low[c], Channel(colours[i].colour, c));
                high[c] = std::max(high[c], Channel(colours[i].colour, c));
            }
            weight += colours[i].count;
        }
        spread = -1;
        for (int c = 0; c < 3; ++c) {
            if (high[c] - low[c] > spread) {
                spread = high[c] - low[c];
                widestChannel = c;
            }
        }
    }

    QRgb Average(const std::vector<ColourCount>& colours) const {
        std::array<qint64, 3> sum{0, 0, 0};
        for (int i = begin; i < end; ++i) {
            for (int c = 0; c < 3; ++c) {
                sum[c] += Channel(colours[i].colour, c) * colours[i].count;
            }
        }
        auto mean = [&](int c) { return static_cast<int>((sum[c] + weight / 2) / weight); };
        return qRgb(mean(0), mean(1), mean(2));
    }
};

std::vector<QRgb> MedianCut(std::vector<ColourCount> colours, int paletteSize) {
    std::vector<Box> boxes;
    boxes.push_back(Box{0, static_cast<int>(colours.size())});
    boxes.back().Measure(colours);
    while (static_cast<int>(boxes.size()) < paletteSize) {
        // Split the box whose colours are spread widest, weighted by how many pixels it holds.
        auto worst = std::max_element(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) {
            auto score = [](const Box& x) {
                return x.end - x.begin < 2 ? -1.0 : x.spread * static_cast<double>(x.weight);
            };
            return score(a) < score(b);
        });
        if (worst->end - worst->begin < 2) {
            break;
        }
        Box box = *worst;
        const int channel = box.widestChannel;
        std::sort(colours.begin() + box.begin, colours.begin() + box.end,
                  [channel](const ColourCount& a, const ColourCount& b) {
                      return Channel(a.colour, channel) < Channel(b.colour, channel);
                  });
        qint64 half = 0;
        int cut = box.begin + 1;
        for (int i = box.begin; i < box.end - 1; ++i) {
            half += colours[i].count;
            cut = i + 1;
            if (half * 2 >= box.weight) {
                break;
            }
        }
        Box lower{box.begin, cut};
        Box upper{cut, box.end};
        lower.Measure(colours);
        upper.Measure(colours);
        *worst = lower;
        boxes.push_back(upper);
    }
    std::vector<QRgb> palette;
    palette.reserve(boxes.size());
    for (const Box& box : boxes) {
        palette.push_back(box.Average(colours));
    }
    return palette;
}

int Nearest(const std::vector<QRgb>& palette, QRgb colour) {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < static_cast<int>(palette.size()); ++i) {
        const int dr = qRed(palette[i]) - qRed(colour);
        const int dg = qGreen(palette[i]) - qGreen(colour);
        const int db = qBlue(palette[i]) - qBlue(colour);
        const int distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

void PutBitmapInfoHeader(QByteArray& out, int size, int bitsPerPixel, int paletteEntries) {
    const int imageBytes =
        (RowBytes(bitsPerPixel, size) + RowBytes(1, size)) * size;  // colour rows and mask
    PutU32(out, 40);                                                // header size
    PutU32(out, static_cast<std::uint32_t>(size));                  // width
    PutU32(out, static_cast<std::uint32_t>(size * 2));  // height of colour and mask together
    PutU16(out, 1);                                     // planes
    PutU16(out, bitsPerPixel);
    PutU32(out, 0);  // no compression
    PutU32(out, static_cast<std::uint32_t>(imageBytes));
    PutU32(out, 0);  // horizontal resolution
    PutU32(out, 0);  // vertical resolution
    PutU32(out, static_cast<std::uint32_t>(paletteEntries));
    PutU32(out, 0);  // important colours: all
}

// The AND mask, bottom row first: a set bit lets the screen show through.
void PutMask(QByteArray& out, const QImage& argb) {
    const int size = argb.width();
    const int rowBytes = RowBytes(1, size);
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(rowBytes, '\0');
        const auto* pixels = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < size; ++x) {
            if (qAlpha(pixels[x]) < kOpaqueFrom) {
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out.append(row);
    }
}

QByteArray EncodePalette256(const QImage& argb) {
    const QImage indexed = ReduceTo256Colours(argb);
    const int size = argb.width();
    QByteArray out;
    PutBitmapInfoHeader(out, size, 8, 256);
    const QList<QRgb> table = indexed.colorTable();
    for (int i = 0; i < 256; ++i) {
        const QRgb colour = i < table.size() ? table[i] : qRgb(0, 0, 0);
        PutU8(out, qBlue(colour));
        PutU8(out, qGreen(colour));
        PutU8(out, qRed(colour));
        PutU8(out, 0);
    }
    const int rowBytes = RowBytes(8, size);
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(rowBytes, '\0');
        const uchar* indices = indexed.constScanLine(y);
        for (int x = 0; x < size; ++x) {
            row[x] = static_cast<char>(indices[x]);
        }
        out.append(row);
    }
    PutMask(out, argb);
    return out;
}

QByteArray EncodeColour32(const QImage& argb) {
    const int size = argb.width();
    QByteArray out;
    PutBitmapInfoHeader(out, size, 32, 0);
    for (int y = size - 1; y >= 0; --y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < size; ++x) {
            PutU8(out, qBlue(pixels[x]));
            PutU8(out, qGreen(pixels[x]));
            PutU8(out, qRed(pixels[x]));
            PutU8(out, qAlpha(pixels[x]));
        }
    }
    PutMask(out, argb);
    return out;
}

QByteArray EncodePng(const QImage& argb) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    if (!argb.save(&buffer, "PNG")) {
        return {};
    }
    return out;
}

}  // namespace

QImage ReduceTo256Colours(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QHash<QRgb, qint64> counts;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(pixels[x]) >= kOpaqueFrom) {
                counts[qRgb(qRed(pixels[x]), qGreen(pixels[x]), qBlue(pixels[x]))] += 1;
            }
        }
    }
    std::vector<ColourCount> colours;
    colours.reserve(counts.size());
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        colours.push_back({it.key(), it.value()});
    }
    // Index 0 is kept for transparent pixels.
    std::vector<QRgb> palette;
    if (colours.size() <= 255) {
        for (const ColourCount& c : colours) {
            palette.push_back(c.colour);
        }
    } else {
        palette = MedianCut(std::move(colours), 255);
    }

    QImage indexed(argb.size(), QImage::Format_Indexed8);
    QList<QRgb> table;
    table.append(qRgba(0, 0, 0, 0));
    for (QRgb colour : palette) {
        table.append(colour);
    }
    indexed.setColorTable(table);
    QHash<QRgb, int> chosen;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* indices = indexed.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(pixels[x]) < kOpaqueFrom) {
                indices[x] = 0;
                continue;
            }
            const QRgb colour = qRgb(qRed(pixels[x]), qGreen(pixels[x]), qBlue(pixels[x]));
            auto found = chosen.constFind(colour);
            if (found == chosen.cend()) {
                found = chosen.insert(colour, 1 + Nearest(palette, colour));
            }
            indices[x] = static_cast<uchar>(found.value());
        }
    }
    return indexed;
}

QByteArray EncodeIco(const std::vector<IcoImage>& images) {
    constexpr int kDirectoryHeader = 6;
    constexpr int kDirectoryEntry = 16;
    std::vector<QByteArray> encoded;
    for (const IcoImage& entry : images) {
        const QImage& image = entry.image;
        if (image.isNull() || image.width() != image.height() || image.width() > 256) {
            return {};
        }
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        switch (entry.depth) {
            case IcoDepth::Palette256:
                encoded.push_back(EncodePalette256(argb));
                break;
            case IcoDepth::Colour32:
                encoded.push_back(EncodeColour32(argb));
                break;
            case IcoDepth::Png:
                encoded.push_back(EncodePng(argb));
                break;
        }
        if (encoded.back().isEmpty()) {
            return {};
        }
    }

    QByteArray out;
    PutU16(out, 0);  // reserved
    PutU16(out, 1);  // an icon, not a cursor
    PutU16(out, static_cast<int>(images.size()));
    std::uint32_t offset =
        kDirectoryHeader + kDirectoryEntry * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = images[i].image.width();
        PutU8(out, size == 256 ? 0 : size);  // 0 stands for 256
        PutU8(out, size == 256 ? 0 : size);
        PutU8(out, 0);   // colour count: 0 for 256 colours or more
        PutU8(out, 0);   // reserved
        PutU16(out, 1);  // planes
        PutU16(out, images[i].depth == IcoDepth::Palette256 ? 8 : 32);
        PutU32(out, static_cast<std::uint32_t>(encoded[i].size()));
        PutU32(out, offset);
        offset += static_cast<std::uint32_t>(encoded[i].size());
    }
    for (const QByteArray& bytes : encoded) {
        out.append(bytes);
    }
    return out;
}

}  // namespace tolvik
