#pragma once

// How many columns a line takes on a terminal, counted apart from the
// program's own count: kana, CJK punctuation, kanji and fullwidth forms
// take two, everything else (halfwidth katakana included) one.

#include <QString>
#include <QStringList>

inline int terminal_width(const QString &line)
{
    int width = 0;
    for (const uint c : line.toUcs4()) {
        const bool wide = (c >= 0x3000 && c <= 0x30FF) || QChar::script(c) == QChar::Script_Han ||
                          QChar::decompositionTag(c) == QChar::Wide;
        width += wide ? 2 : 1;
    }
    return width;
}

// The first line of text wider than columns, or an empty string.
inline QString wider_line(const QString &text, int columns = 80)
{
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (terminal_width(line) > columns)
            return line;
    }
    return {};
}
