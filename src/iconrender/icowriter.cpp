#include "icowriter.h"

#include <QPainter>
#include <QtEndian>

namespace iconrender {

namespace {

// The 16 colours every Windows display of the 16-colour era had.
const QList<QRgb> kWindows16 = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};

constexpr int kAlphaThreshold = 128;

void put16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

int row_bytes(int width, int bits)
{
    return ((width * bits + 31) / 32) * 4;
}

// BITMAPINFOHEADER, palette, colour rows, mask rows; rows bottom-up.
QByteArray bitmap(const IcoImage &icon)
{
    const QImage &image = icon.indexed;
    const int w = image.width();
    const int h = image.height();
    const int palette = image.colorCount() <= 16 ? 16 : 256;
    const int bits = palette == 16 ? 4 : 8;
    QByteArray out;
    put32(out, 40);
    put32(out, static_cast<quint32>(w));
    put32(out, static_cast<quint32>(2 * h)); // colour and mask stacked
    put16(out, 1);
    put16(out, static_cast<quint16>(bits));
    put32(out, 0); // BI_RGB
    put32(out, static_cast<quint32>((row_bytes(w, bits) + row_bytes(w, 1)) * h));
    put32(out, 0);
    put32(out, 0);
    put32(out, static_cast<quint32>(palette));
    put32(out, 0);
    for (int i = 0; i < palette; ++i) {
        const QRgb c = i < image.colorCount() ? image.color(i) : 0;
        out.append(static_cast<char>(qBlue(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qRed(c)));
        out.append('\0');
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(row_bytes(w, bits), '\0');
        for (int x = 0; x < w; ++x) {
            const int index = image.pixelIndex(x, y);
            if (bits == 8)
                row[x] = static_cast<char>(index);
            else
                row[x / 2] = static_cast<char>(row[x / 2] | (x % 2 ? index : index << 4));
        }
        out += row;
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(row_bytes(w, 1), '\0');
        for (int x = 0; x < w; ++x) {
            if (qAlpha(icon.alpha.pixel(x, y)) < kAlphaThreshold)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
        out += row;
    }
    return out;
}

} // namespace

IcoImage to_palette(const QImage &image, int colours)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    // Transparent pixels are drawn black under the mask.
    QImage flat(argb.size(), QImage::Format_RGB32);
    flat.fill(Qt::black);
    {
        QPainter painter(&flat);
        painter.drawImage(0, 0, argb);
    }
    QImage indexed;
    if (colours <= 16) {
        indexed = flat.convertToFormat(QImage::Format_Indexed8, kWindows16, Qt::AvoidDither);
        indexed.setColorTable(kWindows16);
    } else {
        indexed = flat.convertToFormat(QImage::Format_Indexed8, Qt::AvoidDither);
        QList<QRgb> table = indexed.colorTable();
        while (table.size() < 256)
            table.append(qRgb(0, 0, 0));
        indexed.setColorTable(table);
    }
    return {indexed, argb};
}

QByteArray ico_file(const QList<IcoImage> &images)
{
    QByteArray out;
    put16(out, 0); // reserved
    put16(out, 1); // icon
    put16(out, static_cast<quint16>(images.size()));
    QList<QByteArray> bodies;
    quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
    for (const IcoImage &icon : images) {
        const QByteArray body = bitmap(icon);
        const bool sixteen = icon.indexed.colorCount() <= 16;
        out.append(static_cast<char>(icon.indexed.width()));
        out.append(static_cast<char>(icon.indexed.height()));
        out.append(static_cast<char>(sixteen ? 16 : 0)); // 0 means 256
        out.append('\0');
        put16(out, 1);
        put16(out, sixteen ? 4 : 8);
        put32(out, static_cast<quint32>(body.size()));
        put32(out, offset);
        offset += static_cast<quint32>(body.size());
        bodies.append(body);
    }
    for (const QByteArray &body : bodies)
        out += body;
    return out;
}

} // namespace iconrender
