#pragma once

// The two ways the window draws the operator's eye: a warning box, and a
// mark on a control whose value needs a look before it is used.

#include <QString>

class QWidget;

namespace app {

// Window-modal but not blocking: the event loop, and so the rest of the
// tool, keeps running while the message is shown. Deletes itself on close;
// object_name lets a test (or the operator's accessibility tool) find it.
void show_warning(QWidget *parent, const QString &object_name, const QString &title,
                  const QString &message);

// Frames the control, or takes the frame away; the frame is drawn in one
// place for every box and list so they all look alike.
void set_marked(QWidget *control, bool marked);

} // namespace app
