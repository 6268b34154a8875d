#pragma once

// --ports, --set-port and --clear-port: the port dialog's view and changes,
// from the command line. Both go through PortSettings, so what is set here
// is what the window opens at its next start.

#include "ports.h"

#include <QJsonArray>
#include <QString>

namespace app {

class PortSettings;

// The twenty mappings, then the serial devices present, as lines of text.
QString ports_text(const PortSettings &settings);

// One object per port Com1 … Com20, in order:
//   {"port": "Com3", "device": "/dev/ttyUSB0", "source": "assigned",
//    "present": "detected", "assigned": "/dev/ttyUSB0", "detected": {…}}
// then one {"port": null, …} per detected device that no port opens, with
// the name an assignment would keep as its device.
QJsonArray ports_json(const rwlink::PortMap &map);

// The line --set-port prints: what the port now holds (and under which name,
// when not as given), and what opens instead while an environment variable
// overrides it.
QString assigned_text(const rwlink::PortMap &map, int number, const QString &given);

// What --set-port warns of: the device given is missing, or this user may
// not open it now. Empty when neither.
QString assigned_device_warning(const rwlink::PortMap &map, int number);

} // namespace app
