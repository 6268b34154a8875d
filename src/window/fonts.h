#pragma once

#include <QFont>

namespace app {

// The window's standard font: 9 points with Japanese glyphs.
QFont standard_font();

// The small captions: "ＭＳ Ｐゴシック" at 8.25 points, or a metric-compatible
// face where it is missing.
QFont caption_font();

} // namespace app
