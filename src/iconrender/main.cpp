// Renders the application icon from its one SVG source into the PNG sizes
// the window and the desktop use. Runs at build time.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    // No display is needed to draw into an image.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4 || (args.size() - 2) % 2 != 0) {
        std::fprintf(stderr, "usage: iconrender SOURCE.svg SIZE OUT.png [SIZE OUT.png ...]\n");
        return 1;
    }
    QSvgRenderer svg(args[1]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "iconrender: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    for (int i = 2; i + 1 < args.size(); i += 2) {
        const int size = args[i].toInt();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        if (!image.save(args[i + 1], "PNG")) {
            std::fprintf(stderr, "iconrender: cannot write %s\n", qPrintable(args[i + 1]));
            return 1;
        }
    }
    return 0;
}
