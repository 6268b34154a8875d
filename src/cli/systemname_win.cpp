#include "systemname.h"

#include <QFile>

namespace app {

// Windows gives the program its arguments as text, and Qt opens files by
// their UTF-16 names: every name Qt read is the file's own.
ReadablePath::ReadablePath(const QByteArray &name) : m_path(QFile::decodeName(name)) {}

ReadablePath::~ReadablePath() = default;

files::WriteOutcome write_named(const QByteArray &name,
                                const std::function<files::WriteOutcome(const QString &)> &write)
{
    return write(QFile::decodeName(name));
}

} // namespace app
