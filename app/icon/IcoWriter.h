// Writing Windows icon files (.ico): a directory followed by the images, each either a
// device-independent bitmap with its one-bit transparency mask or a whole PNG file.
#pragma once

#include <QByteArray>
#include <QImage>
#include <vector>

namespace tolvik {

enum class IcoDepth {
    Palette256,  // 8 bits per pixel, a palette of 256 colours, transparency from the mask
    Colour32,    // 32-bit colour with an alpha channel, plus the mask for older systems
    Png,         // the image as a PNG file (Windows Vista and later; used for 256 pixels)
};

struct IcoImage {
    QImage image;  // square, 1 to 256 pixels wide; any format, converted as needed
    IcoDepth depth;
};

// The image reduced to at most 256 colours: a Format_Indexed8 image whose colour table holds
// one fully transparent entry (index 0, black) for every pixel that is less than half opaque,
// and opaque colours chosen by median cut for the others. An image of few colours keeps them
// exactly.
QImage ReduceTo256Colours(const QImage& image);

// The bytes of an .ico file holding the images in the given order. Returns an empty array
// when an image is not square, is empty or is wider than 256 pixels, or cannot be encoded.
QByteArray EncodeIco(const std::vector<IcoImage>& images);

}  // namespace tolvik
