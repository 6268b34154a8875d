#include "columns.h"

#include <QList>

#include <algorithm>
#include <array>
#include <utility>

namespace app {

namespace {

// East Asian Width W and F, as a terminal counts them.
constexpr std::array<std::pair<char32_t, char32_t>, 14> kWide = {{
    {0x1100, 0x115F},
    {0x2E80, 0x303E},
    {0x3041, 0x33FF},
    {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},
    {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F},
    {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF},
    {0x20000, 0x3FFFD},
}};

int width_of(char32_t c)
{
    return std::ranges::any_of(kWide, [c](const auto &r) { return c >= r.first && c <= r.second; })
               ? 2
               : 1;
}

// The letters between which Japanese breaks a line (kana, kanji, full-
// and halfwidth forms), the same ranges the manual page's writer joins by.
bool japanese(char32_t c)
{
    return (c >= 0x3000 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x9FFF) ||
           (c >= 0xFF00 && c <= 0xFFEF);
}

bool may_not_begin(char32_t c)
{
    static const QList<uint> marks =
        QStringLiteral(
            "、。，．・ー」』）！？：ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮｰﾞﾟｧｨｩｪｫｬｭｮｯ")
            .toUcs4();
    return marks.contains(c);
}

bool may_not_end(char32_t c)
{
    static const QList<uint> marks = QStringLiteral("「『（").toUcs4();
    return marks.contains(c);
}

// A piece no line breaks inside, and whether spaces stand before it.
struct Piece {
    QString text;
    int width = 0;
    bool after_space = false;
};

std::vector<Piece> pieces(const QString &text)
{
    const QList<uint> chars = text.toUcs4();
    std::vector<Piece> out;
    const auto at = [&chars](qsizetype i) {
        return i >= 0 && i < chars.size() ? char32_t(chars[i]) : U'\0';
    };
    bool after_space = false;
    for (qsizetype i = 0; i < chars.size(); ++i) {
        const char32_t c = at(i);
        if (c == U' ') {
            qsizetype next = i;
            while (at(next) == U' ')
                ++next;
            // Between two Japanese letters a space is part of the text.
            if (!(japanese(at(i - 1)) && japanese(at(next)))) {
                after_space = !out.empty();
                i = next - 1;
                continue;
            }
        }
        const bool starts =
            out.empty() || after_space ||
            (japanese(at(i - 1)) && japanese(c) && !may_not_begin(c) && !may_not_end(at(i - 1)));
        if (starts)
            out.push_back(Piece{{}, 0, after_space});
        out.back().text += QString::fromUcs4(&c, 1);
        out.back().width += width_of(c);
        after_space = false;
    }
    return out;
}

} // namespace

int display_width(QStringView text)
{
    int width = 0;
    for (const uint c : text.toUcs4())
        width += width_of(c);
    return width;
}

QString padded(const QString &text, int width, bool right_aligned)
{
    const QString fill(std::max(0, width - display_width(text)), QLatin1Char(' '));
    return right_aligned ? fill + text : text + fill;
}

QStringList wrapped(const QString &text, int width, const QString &first_indent,
                    const QString &indent)
{
    QStringList lines;
    QString line = first_indent;
    int used = display_width(first_indent);
    bool empty = true;
    for (const Piece &p : pieces(text)) {
        const int gap = p.after_space ? 1 : 0;
        if (!empty && used + gap + p.width > width) {
            lines << line;
            line = indent;
            used = display_width(indent);
            empty = true;
        }
        if (!empty && p.after_space) {
            line += QLatin1Char(' ');
            ++used;
        }
        line += p.text;
        used += p.width;
        empty = false;
    }
    lines << line;
    return lines;
}

} // namespace app
