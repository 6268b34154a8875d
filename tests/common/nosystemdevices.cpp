// Linked into every test program in place of the machine's own ports and
// device files: a test that forgets to stand in its own stops here, loudly,
// instead of passing or failing by what is plugged in.

#include "ports.h"

#include <QtGlobal>

namespace rwlink {

Devices system_devices()
{
    return {[]() -> QList<DetectedPort> {
                qFatal("a test listed the machine's serial ports; give it rwlink::Devices");
            },
            [](const QString &path) -> QString {
                qFatal("a test looked for %s on the machine; give it rwlink::Devices",
                       qPrintable(path));
            },
            [](const QString &path) -> int {
                qFatal("a test asked whether it may open %s on the machine; give it "
                       "rwlink::Devices",
                       qPrintable(path));
            },
            [](const QString &group) -> rwlink::GroupMembership {
                qFatal("a test asked the machine's group database about %s; give it "
                       "rwlink::Devices",
                       qPrintable(group));
            }};
}

} // namespace rwlink
