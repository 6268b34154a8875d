#pragma once

// What main() settles before Qt starts: the base directories the program
// may use, and a display that cannot be had.

namespace app {

// Drops XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_STATE_HOME, XDG_CACHE_HOME and
// XDG_RUNTIME_DIR when relative, and the relative entries of XDG_CONFIG_DIRS
// and XDG_DATA_DIRS, as the base-directory rules say: a relative value would
// put the user's files under whatever folder the program was started in.
// Every reader (Qt's standard paths) then sees only what may be used.
void drop_relative_base_directories();

// When no display (nor a platform by -platform or QT_QPA_PLATFORM) is
// named, says so in one line, with what works without a window, and gives
// true. Whether a display named can be reached shows only when Qt starts,
// for which see PlatformStart.
bool said_no_display(int argc, char **argv);

// Held while the window's application object is made: when no platform can
// be started (an unreachable DISPLAY, a WAYLAND_DISPLAY that leads nowhere),
// Qt would abort with advice about reinstalling; this says in one line what
// is wrong and ends the program with status 1 instead. Qt's messages from
// the start are kept back, and shown once it has succeeded.
class PlatformStart {
public:
    PlatformStart();
    ~PlatformStart();
    PlatformStart(const PlatformStart &) = delete;
    PlatformStart &operator=(const PlatformStart &) = delete;
};

} // namespace app
