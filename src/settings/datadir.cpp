#include "datadir.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace app {

bool is_system_directory(const QString &dir)
{
    const QString path = QDir::cleanPath(QDir(dir).absolutePath());
    for (const char *prefix : {"/usr", "/opt", "/bin", "/sbin", "/snap"}) {
        const QString p = QLatin1String(prefix);
        if (path == p || path.startsWith(p + QLatin1Char('/')))
            return true;
    }
    return false;
}

bool is_writable_directory(const QString &dir)
{
    // A real probe: permission bits say nothing about read-only mounts, and
    // root passes every permission check.
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".rw7300-probe-XXXXXX")));
    return probe.open();
}

QString data_directory(const QString &program_dir, bool create)
{
    if (!is_system_directory(program_dir) && is_writable_directory(program_dir))
        return program_dir;
    QString user_dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (create)
        QDir().mkpath(user_dir);
    return user_dir;
}

} // namespace app
