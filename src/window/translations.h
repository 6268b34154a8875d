#pragma once

// The window speaks Japanese whatever the desktop's language, so Qt's own
// texts (the OK and Cancel of a message box, the Copy and Paste of a box's
// menu) are loaded in Japanese too.

class QCoreApplication;

namespace app {

// True when Qt's Japanese texts were found and installed.
bool install_qt_japanese(QCoreApplication &application);

} // namespace app
