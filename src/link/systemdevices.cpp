// The only place the port map asks the machine itself. A test program
// links its own system_devices() in place of this file, so a test that
// reaches for the real ports or /dev fails instead of seeing whatever is
// plugged in.

#include "ports.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace rwlink {

namespace {

// udev's stable names: they stay the same when an adapter is plugged
// back in and comes up under another number.
const QString kStableNameDir = QStringLiteral("/dev/serial/by-id");

QString resolve_on_disk(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

// Every serial device present now, by location.
QList<DetectedPort> system_ports()
{
    QList<DetectedPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        DetectedPort port;
        port.location = info.systemLocation();
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serial_number = info.serialNumber();
        if (info.hasVendorIdentifier())
            port.vendor_id = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.product_id = info.productIdentifier();
        ports << port;
    }
#ifdef Q_OS_LINUX
    QStringList links;
    const QDir by_id(kStableNameDir);
    for (const QFileInfo &link :
         by_id.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        links << link.absoluteFilePath();
    add_stable_names(ports, links, resolve_on_disk);
#endif
    std::sort(ports.begin(), ports.end(),
              [](const DetectedPort &a, const DetectedPort &b) { return a.location < b.location; });
    return ports;
}

} // namespace

Devices system_devices()
{
    return {system_ports, resolve_on_disk, device_access, group_membership};
}

} // namespace rwlink
