#pragma once

// Whether the window opens in its night look (dim red on black), kept per
// user beside the port assignments and the mount history, in
// rw7300-speedtable/look.conf: one line, night=true or night=false.

#include "atomicfile.h"

#include <QString>

namespace app {

class LookSetting {
public:
    // The user's file unless told otherwise.
    explicit LookSetting(const QString &path = {});

    bool night() const { return m_night; }
    const QString &path() const { return m_path; }

    // Whether the file was written, and why not; the choice holds for the
    // run either way.
    files::WriteOutcome set_night(bool on);

private:
    QString m_path;
    bool m_night = false;
};

} // namespace app
