#pragma once

// Whole-file rewrites that never leave a half-written file: the bytes go to
// a temporary file beside the target, which replaces the target only when
// every byte has been written and flushed.

#include <QByteArray>
#include <QString>

namespace files {

struct WriteOutcome {
    bool ok = false;
    QString error; // the system's reason when !ok
};

WriteOutcome write_atomically(const QString &path, const QByteArray &bytes);

} // namespace files
