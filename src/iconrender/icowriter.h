#pragma once

// Writes a Windows icon file: one image per entry, each a bottom-up
// palette bitmap followed by a 1-bit transparency mask.

#include <QByteArray>
#include <QImage>
#include <QList>

namespace iconrender {

struct IcoImage {
    QImage indexed; // Format_Indexed8 with 16 or 256 colours
    QImage alpha;   // the source, whose alpha channel gives the mask
};

// Reduces an image to the 16 standard Windows colours or to 256 colours.
IcoImage to_palette(const QImage &image, int colours);

QByteArray ico_file(const QList<IcoImage> &images);

} // namespace iconrender
