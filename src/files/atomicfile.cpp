#include "atomicfile.h"

#include <QSaveFile>

namespace files {

WriteOutcome write_atomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {false, file.errorString()};
    // Qt 6.4's commit() reports success even when its own final flush
    // failed (disk full) and then renames the truncated file over the old
    // one, so flush and check here, and give up before commit on any error.
    const bool written =
        file.write(bytes) == bytes.size() && file.flush() && file.error() == QFileDevice::NoError;
    if (!written) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return {false, reason};
    }
    if (!file.commit())
        return {false, file.errorString()};
    return {true, {}};
}

} // namespace files
