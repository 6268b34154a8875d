#pragma once

// The window's layout is defined in twips (1/1440 inch); at 96 dpi fifteen
// twips make one pixel, and Qt scales pixels for high-DPI screens. Each
// placed widget remembers its twip position so later moves (the row labels
// at start-up) stay exact instead of accumulating pixel rounding.

class QLabel;
class QWidget;

namespace app {

inline constexpr double kTwipsPerPixel = 15.0;

int px(int twips);

// Places a widget at (left, top) with the given size, all in twips.
void place(QWidget *widget, int left, int top, int width, int height);

// Places an auto-sized label: its size follows its caption.
void place_auto(QLabel *label, int left, int top);

// Moves a placed widget by a number of twips.
void move_by(QWidget *widget, int dx, int dy);

int twip_left(const QWidget *widget);
int twip_top(const QWidget *widget);

} // namespace app
