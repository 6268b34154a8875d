#pragma once

// Whole-file rewrites that never leave a half-written file: the bytes go to
// a temporary file beside the target, which replaces the target only when
// every byte has been written and flushed. That is for regular files (and
// paths not there yet); a symbolic link is followed and its target rewritten
// so the link stays; a FIFO, a terminal or a device is written in place,
// never replaced; a directory is refused.

#include <QByteArray>
#include <QString>

namespace files {

struct WriteOutcome {
    bool ok = false;
    QString error; // the system's reason when !ok
};

WriteOutcome write_atomically(const QString &path, const QByteArray &bytes);

} // namespace files
