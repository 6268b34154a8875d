#include "mounthistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace app {

namespace {

// Eight paths and a few settings; anything larger is not this file.
constexpr qint64 kMaxFileBytes = qint64{64} * 1024;

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
    if (!info.isFile() || info.size() > kMaxFileBytes)
        return;
    QSettings settings(m_path, QSettings::IniFormat);
    const int count = settings.beginReadArray(QStringLiteral("recent"));
    for (int i = 0; i < count && m_recent.size() < kMaxRecent; ++i) {
        settings.setArrayIndex(i);
        const QString file = settings.value(QStringLiteral("path")).toString();
        if (!file.isEmpty() && QFileInfo(file).isAbsolute())
            m_recent.append({file, settings.value(QStringLiteral("name")).toString()});
    }
    settings.endArray();
    m_open_last = settings.value(QStringLiteral("open_last_at_start"), false).toBool();
    m_last_directory = settings.value(QStringLiteral("last_directory")).toString();
}

QString MountHistory::used(const QString &path, const QString &name)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    // Opened again at start-up: nothing changes, nothing is written.
    if (!m_recent.isEmpty() && m_recent.first().path == absolute &&
        m_recent.first().name == name && QFile::exists(m_path))
        return {};
    m_recent.removeIf([&](const RecentMount &r) { return r.path == absolute; });
    m_recent.prepend({absolute, name});
    while (m_recent.size() > kMaxRecent)
        m_recent.removeLast();
    m_last_directory = QFileInfo(absolute).absolutePath();
    return store();
}

QString MountHistory::clear()
{
    m_recent.clear();
    return store();
}

QString MountHistory::set_open_last_at_start(bool on)
{
    m_open_last = on;
    return store();
}

QString MountHistory::store()
{
    // Never replaced: something the user put there that is not a file.
    if (const QFileInfo info(m_path); info.exists() && !info.isFile())
        return QStringLiteral("%1 は通常のファイルではありません")
            .arg(QDir::toNativeSeparators(m_path));
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return QStringLiteral("フォルダー %1 を作れません").arg(QFileInfo(m_path).absolutePath());
    // QSettings replaces the file as a whole and locks it against another
    // run writing at the same time.
    QSettings settings(m_path, QSettings::IniFormat);
    settings.remove(QStringLiteral("recent"));
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
    if (settings.status() != QSettings::NoError)
        return QStringLiteral("%1 を書き込めません").arg(QDir::toNativeSeparators(m_path));
    return {};
}

} // namespace app
