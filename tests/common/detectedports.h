#pragma once

// Serial ports as the system would report them, for tests that stand in a
// fixed list: a USB adapter (vendor ids, usually a stable name) and a
// built-in port (neither). And the machine itself as a test sets it, so
// what is plugged into the machine running the tests changes nothing.

#include "ports.h"

#include <QFileInfo>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cerrno>

#include <utility>

inline const QString kAdapterStableName =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

inline rwlink::DetectedPort usb_adapter(const QString &location, const QString &stable = {})
{
    rwlink::DetectedPort port;
    port.location = location;
    port.stable_name = stable;
    port.description = QStringLiteral("FT232R USB UART");
    port.manufacturer = QStringLiteral("FTDI");
    port.serial_number = QStringLiteral("A50285BI");
    port.vendor_id = 0x0403;
    port.product_id = 0x6001;
    return port;
}

inline rwlink::DetectedPort built_in_port(const QString &location)
{
    rwlink::DetectedPort port;
    port.location = location;
    return port;
}

// Device files under /dev as a test sets them: each name leads to another
// (a link) or, when it maps to an empty string, is a device itself.
using DeviceFiles = QHash<QString, QString>;

// ports as the ports reported, files as what /dev holds; any other path is
// the test's own (a file in a temporary folder, a pseudo-terminal's link)
// and looked up where it is.
// refused: device paths this user may not open, with EACCES; any other
// may be opened. serial_group: this user's place in the dialout group.
inline rwlink::Devices
fake_devices(rwlink::PortLister ports, DeviceFiles files = {}, QStringList refused = {},
             rwlink::GroupMembership serial_group = rwlink::GroupMembership::NotMember)
{
    const auto resolve = [files = std::move(files)](const QString &path) -> QString {
        if (!path.startsWith(QLatin1String("/dev/")))
            return QFileInfo(path).canonicalFilePath();
        QString at = path;
        for (qsizetype hops = 0; hops <= files.size(); ++hops) {
            const auto next = files.constFind(at);
            if (next == files.cend())
                return {};
            if (next->isEmpty())
                return at;
            at = *next;
        }
        return {}; // links in a circle lead nowhere
    };
    const auto access = [refused = std::move(refused)](const QString &path) {
        return refused.contains(path) ? EACCES : 0;
    };
    return {std::move(ports), resolve, access,
            [serial_group](const QString &) { return serial_group; }};
}

inline rwlink::Devices fake_devices(const QList<rwlink::DetectedPort> &ports,
                                    DeviceFiles files = {}, QStringList refused = {})
{
    return fake_devices([ports] { return ports; }, std::move(files), std::move(refused));
}

// A machine with no serial port and nothing under /dev.
inline rwlink::Devices no_devices()
{
    return fake_devices(QList<rwlink::DetectedPort>{});
}
