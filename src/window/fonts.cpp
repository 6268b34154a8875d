#include "fonts.h"

#include <QApplication>
#include <QStringList>

namespace app {

namespace {

// IPAPGothic has the metrics of the proportional gothic; the others are
// common Japanese sans faces on Linux desktops.
QStringList japanese_families()
{
    return {QStringLiteral("ＭＳ Ｐゴシック"),  QStringLiteral("MS PGothic"),
            QStringLiteral("IPAPGothic"),       QStringLiteral("IPAGothic"),
            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
            QStringLiteral("TakaoPGothic")};
}

} // namespace

QFont standard_font()
{
    QFont font = QApplication::font();
    font.setFamilies(japanese_families());
    font.setPointSizeF(9.0);
    return font;
}

QFont caption_font()
{
    QFont font = QApplication::font();
    font.setFamilies(japanese_families());
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace app
