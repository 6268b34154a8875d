#pragma once

// The two looks of the program: the day look is the desktop's own style and
// palette, as the program had always shown; the night look is dim red on
// black, for eyes adapted to the dark at the telescope. A look is applied
// to the whole application, so every window, dialog, tooltip and drop-down
// list made later follows it by itself.

#include <QMessageBox>
#include <QPixmap>
#include <QString>

class QWidget;

namespace app {

enum class Look { Day, Night };

// Switches the application to look; the first call remembers the desktop's
// style and palette as the day look. Boxes already marked, message boxes
// already shown and icons drawn by the look follow at once.
void apply_look(Look look);
Look look_in_force();

// From the window's start: message boxes get sharp icons, and in the night
// look the focused box its red caret. apply_look calls it too.
void watch_the_application();

// The night look's palette: every colour red on black.
QPalette night_palette();

// The style sheet rule of a mark, in the look in force: a mark stands out
// from everything else the look shows.
QString mark_rule();

// A message-box icon drawn from a scalable source at the widget's device
// pixel ratio, so it stays sharp on a 2× screen; red in the night look.
QPixmap message_icon(QMessageBox::Icon icon, const QWidget *for_widget, int size);

} // namespace app
