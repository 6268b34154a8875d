// Whether a device may be opened, asked without opening it.

#include "ports.h"

#include <cerrno>

namespace rwlink {

int device_access(const QString &path)
{
    // A COM port is no file to ask; only opening it would tell.
    return path.isEmpty() ? ENOENT : 0;
}

} // namespace rwlink
