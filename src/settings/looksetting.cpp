#include "looksetting.h"

#include "atomicfile.h"

#include <QDir>
#include <QStandardPaths>

namespace app {

namespace {

// One line; anything larger is not this file.
constexpr qint64 kMaxFileBytes = 4096;
const QByteArray kNightKey = QByteArrayLiteral("night=");

QString default_path()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("rw7300-speedtable/look.conf"));
}

// A file that cannot be read, or says something else, is the day look.
bool night_in(const QByteArray &bytes)
{
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.trimmed().startsWith(kNightKey))
            return line.trimmed().mid(kNightKey.size()) == "true";
    }
    return false;
}

} // namespace

LookSetting::LookSetting(const QString &path) : m_path(path.isEmpty() ? default_path() : path)
{
    const files::ReadOutcome read = files::read_regular_file(m_path, kMaxFileBytes);
    m_night = read.bytes && night_in(*read.bytes);
}

files::WriteOutcome LookSetting::set_night(bool on)
{
    m_night = on;
    return files::update_store(m_path, kMaxFileBytes, [on](const std::optional<QByteArray> &) {
        return std::optional(kNightKey + (on ? "true\n" : "false\n"));
    });
}

} // namespace app
