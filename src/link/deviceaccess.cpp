// Whether a device may be opened, asked without opening it. Apart from
// systemdevices.cpp so tests can ask it about paths of their own.

#include "ports.h"

#include <QFileInfo>

#include <cerrno>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace rwlink {

int device_access(const QString &path)
{
    if (path.isEmpty())
        return ENOENT;
#ifdef Q_OS_WIN
    // A COM port is no file to ask; only opening it would tell.
    return 0;
#else
    // The real user's rights, as open() will check them.
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0 ? 0 : errno;
#endif
}

} // namespace rwlink
