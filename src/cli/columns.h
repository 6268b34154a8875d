#pragma once

// Text for an 80-column terminal: a Japanese character takes two columns,
// so QString::size() does not say how wide a line is, and Qt's own help
// wraps by characters.

#include <QString>
#include <QStringList>
#include <QStringView>

namespace app {

inline constexpr int kTerminalColumns = 80;

// Columns the text takes: two for each East Asian wide or fullwidth
// character, one for the others.
int display_width(QStringView text);

// The text with spaces added to width columns: before it (right-aligned)
// or after it.
QString padded(const QString &text, int width, bool right_aligned);

// One paragraph in lines of at most width columns, the first begun with
// first_indent, the others with indent. Lines break at spaces, which are
// dropped, and between two Japanese characters, except before a mark that
// may not begin a line or after one that may not end it. A space between
// two Japanese characters is kept, never a break, so the lines join back
// exactly: with a space, unless both sides of the break are Japanese (the
// manual page made from --help joins them so). A word wider than a line
// stands alone on its line.
QStringList wrapped(const QString &text, int width, const QString &first_indent,
                    const QString &indent);

} // namespace app
