// Whether a device may be opened, asked without opening it. Apart from
// systemdevices.cpp so tests can ask it about paths of their own.

#include "ports.h"

#include <QFile>

#include <cerrno>

#include <unistd.h>

namespace rwlink {

int device_access(const QString &path)
{
    if (path.isEmpty())
        return ENOENT;
    // The real user's rights, as open() will check them.
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0 ? 0 : errno;
}

} // namespace rwlink
