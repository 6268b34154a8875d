// Draws the application icon from its one SVG source at build time: the
// PNG sizes for the window and the desktop, and the Windows icon file with
// each size in 16 and in 256 colours.
// usage: rw7300-iconrender SOURCE.svg OUTDIR

#include "icowriter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

constexpr int kSizes[] = {16, 32, 48};

QImage render(QSvgRenderer &svg, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    return image;
}

int fail(const char *what, const QString &path)
{
    std::fprintf(stderr, "rw7300-iconrender: cannot %s %s\n", what, qPrintable(path));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen"); // no display needed to draw
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: rw7300-iconrender SOURCE.svg OUTDIR\n");
        return 1;
    }
    QSvgRenderer svg(args[1]);
    if (!svg.isValid())
        return fail("read", args[1]);
    const QDir out(args[2]);
    if (!out.mkpath(QStringLiteral(".")))
        return fail("create", args[2]);

    QList<iconrender::IcoImage> ico_images;
    for (int colours : {16, 256}) {
        for (int size : kSizes)
            ico_images.append(iconrender::to_palette(render(svg, size), colours));
    }
    for (int size : kSizes) {
        const QString png = out.filePath(QStringLiteral("rw7300-%1.png").arg(size));
        if (!render(svg, size).save(png, "PNG"))
            return fail("write", png);
    }
    QFile ico(out.filePath(QStringLiteral("rw7300.ico")));
    if (!ico.open(QIODevice::WriteOnly) || ico.write(iconrender::ico_file(ico_images)) < 0 ||
        !ico.flush())
        return fail("write", ico.fileName());
    return 0;
}
