#include "mounthistory.h"

#include "atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>

namespace app {

namespace {

// Eight paths and a few settings; anything larger is not this file.
constexpr qint64 kMaxFileBytes = qint64{64} * 1024;

// A scratch file the system refused, as the system said it.
files::WriteOutcome refused(const QFileDevice &file, int error_number)
{
    return {false, file.errorString(), files::WriteFault::System,
            files::checked_system_error(error_number, file.errorString())};
}

const files::WriteOutcome kNotReadBack{false, {}, files::WriteFault::NotReadBack, 0};

QString default_path()
{
    // Beside ports.conf, so every run of the tool finds the same file.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("rw7300-speedtable/mounts.conf"));
}

} // namespace

MountHistory::MountHistory(const QString &path) : m_path(path.isEmpty() ? default_path() : path)
{
    // A file that is missing or unreadable reads as nothing remembered; a
    // FIFO or a device in its place would hold start-up, so only a regular
    // file of sensible size is read.
    const QFileInfo info(m_path);
    if (info.isFile() && info.size() <= kMaxFileBytes)
        load(m_path);
}

void MountHistory::load(const QString &file)
{
    m_recent.clear();
    QSettings settings(file, QSettings::IniFormat);
    const int count = settings.beginReadArray(QStringLiteral("recent"));
    for (int i = 0; i < count && m_recent.size() < kMaxRecent; ++i) {
        settings.setArrayIndex(i);
        const QString recent = settings.value(QStringLiteral("path")).toString();
        if (!recent.isEmpty() && QFileInfo(recent).isAbsolute())
            m_recent.append({recent, settings.value(QStringLiteral("name")).toString()});
    }
    settings.endArray();
    m_open_last = settings.value(QStringLiteral("open_last_at_start"), false).toBool();
    m_last_directory = settings.value(QStringLiteral("last_directory")).toString();
}

files::WriteOutcome MountHistory::used(const QString &path, const QString &name)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    // Opened again at start-up: nothing changes, nothing is written.
    if (!m_recent.isEmpty() && m_recent.first().path == absolute && m_recent.first().name == name &&
        QFile::exists(m_path))
        return {true, {}, files::WriteFault::None, 0};
    return update([&] {
        m_recent.removeIf([&](const RecentMount &r) { return r.path == absolute; });
        m_recent.prepend({absolute, name});
        while (m_recent.size() > kMaxRecent)
            m_recent.removeLast();
        m_last_directory = QFileInfo(absolute).absolutePath();
    });
}

files::WriteOutcome MountHistory::clear()
{
    return update([this] { m_recent.clear(); });
}

files::WriteOutcome MountHistory::set_open_last_at_start(bool on)
{
    return update([this, on] { m_open_last = on; });
}

files::WriteOutcome MountHistory::update(const std::function<void()> &change)
{
    files::WriteOutcome failure{true, {}, files::WriteFault::None, 0};
    bool applied = false;
    const files::WriteOutcome written = files::update_store(
        m_path, kMaxFileBytes,
        [&](const std::optional<QByteArray> &current) -> std::optional<QByteArray> {
            // The file as it is now, under the lock: what another window
            // added since this one read it stays.
            if (current && !load_bytes(*current, &failure))
                return std::nullopt;
            change();
            applied = true;
            QByteArray bytes = ini_bytes(&failure);
            if (!failure.ok)
                return std::nullopt;
            return bytes;
        });
    // Kept for the run even when the file cannot hold it.
    if (!applied)
        change();
    return failure.ok ? written : failure;
}

// QSettings reads only files, and keeps what it read of a path for the
// whole process: a scratch file of its own is read fresh.
bool MountHistory::load_bytes(const QByteArray &bytes, files::WriteOutcome *failure)
{
    QTemporaryFile scratch(m_path + QStringLiteral(".XXXXXX"));
    errno = 0;
    if (!scratch.open() || scratch.write(bytes) != bytes.size() || !scratch.flush()) {
        *failure = refused(scratch, errno);
        return false;
    }
    load(scratch.fileName());
    return true;
}

// The list in QSettings' INI form, which is what start-up reads; made in a
// scratch file beside the list, as QSettings writes only files.
QByteArray MountHistory::ini_bytes(files::WriteOutcome *failure) const
{
    QTemporaryFile scratch(m_path + QStringLiteral(".XXXXXX"));
    errno = 0;
    if (!scratch.open()) {
        *failure = refused(scratch, errno);
        return {};
    }
    {
        QSettings settings(scratch.fileName(), QSettings::IniFormat);
        settings.beginWriteArray(QStringLiteral("recent"), static_cast<int>(m_recent.size()));
        for (int i = 0; i < m_recent.size(); ++i) {
            settings.setArrayIndex(i);
            settings.setValue(QStringLiteral("path"), m_recent[i].path);
            settings.setValue(QStringLiteral("name"), m_recent[i].name);
        }
        settings.endArray();
        settings.setValue(QStringLiteral("open_last_at_start"), m_open_last);
        settings.setValue(QStringLiteral("last_directory"), m_last_directory);
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            *failure = kNotReadBack;
            return {};
        }
    }
    QFile written(scratch.fileName());
    errno = 0;
    if (!written.open(QIODevice::ReadOnly)) {
        *failure = refused(written, errno);
        return {};
    }
    const QByteArray bytes = written.readAll();
    // QSettings (Qt 6.4) reports success for a file the disk cut short, so
    // what it wrote is read back before it replaces the list.
    MountHistory check(*this);
    if (!check.load_bytes(bytes, failure) || check.m_recent != m_recent ||
        check.m_open_last != m_open_last || check.m_last_directory != m_last_directory) {
        if (failure->ok)
            *failure = kNotReadBack;
        return {};
    }
    return bytes;
}

} // namespace app
