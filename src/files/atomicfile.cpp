#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace files {

namespace {

// A FIFO, a terminal, a device: there is nothing to replace, and replacing
// it would destroy it; the bytes go straight in.
WriteOutcome write_in_place(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return {false, file.errorString()};
    if (file.write(bytes) != bytes.size() || !file.flush())
        return {false, file.errorString()};
    file.close();
    if (file.error() != QFileDevice::NoError)
        return {false, file.errorString()};
    return {true, {}};
}

WriteOutcome replace_file(const QString &path, const QByteArray &bytes)
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

} // namespace

WriteOutcome write_atomically(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return {false, QStringLiteral("ファイル名がありません")};
    // What the path leads to decides, a link followed; QSaveFile itself
    // writes a link's target and keeps the link.
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return replace_file(path, bytes);
    if (info.isDir())
        return {false, QStringLiteral("フォルダーです")};
    return write_in_place(path, bytes);
}

} // namespace files
