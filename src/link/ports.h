#pragma once

// Which serial device each of the window's port names Com1 … Com20 opens.
//
//   RW7300_COMn set ─► that device (an override, for scripts and the simulator)
//   assigned        ─► the device the operator chose (kept per user)
//   nothing assigned anywhere and exactly one USB adapter present
//                   ─► Com1 is that adapter
//   otherwise       ─► the platform's own n-th port (COMn, /dev/ttyS<n-1>)
//
// What the machine has (the ports it reports, the device files there) comes
// in as Devices, so tests stand in their own and see the same whatever is
// plugged in.

#include "commands.h"
#include "usergroups.h"

#include <QList>
#include <QSerialPort>
#include <QString>

#include <array>
#include <cerrno>
#include <functional>
#include <optional>

namespace rwlink {

// "Com3": the port names the window lists and PARAM.DAT keeps.
QString port_name(int number);

// A serial device the system reports.
struct DetectedPort {
    QString location;    // what opens it: /dev/ttyUSB0, COM3
    QString stable_name; // /dev/serial/by-id/… when the system gives one
    QString description;
    QString manufacturer;
    QString serial_number;
    std::optional<quint16> vendor_id; // USB only
    std::optional<quint16> product_id;

    bool is_usb() const { return vendor_id.has_value(); }
    bool operator==(const DetectedPort &) const = default;
};

using PortLister = std::function<QList<DetectedPort>()>;

// Where a device path leads once every link is followed; empty when nothing
// is there.
using DeviceResolver = std::function<QString(const QString &)>;

// Whether this user may open a device path for reading and writing: 0, or
// the errno that says why not (EACCES: not in the device's group).
using DeviceAccess = std::function<int(const QString &)>;

struct Devices {
    PortLister ports;
    DeviceResolver resolve;
    DeviceAccess access; // none: not asked, taken as allowed
    GroupCheck groups;   // none: not asked
};

// The machine's own: the serial ports it reports, with their stable names
// from /dev/serial/by-id, and its file system. Kept apart in
// systemdevices.cpp, which nothing else needs.
Devices system_devices();

// The machine's own access check. It asks the file system only and never
// opens the device: opening a serial line raises DTR, and some controllers
// restart on that.
int device_access(const QString &path);

// Gives each port without a stable name the first of links (the entries of
// a stable-name folder) that leads to its location.
void add_stable_names(QList<DetectedPort> &ports, const QStringList &links,
                      const DeviceResolver &resolve);

// The device of port n, in the order above.
enum class PortSource { Override, Assigned, SingleAdapter, Default };
enum class Presence {
    Detected, // reported by the system as a serial port
    Exists,   // a device file is there, but no serial port was reported
    Missing,
};

struct PortMapping {
    int number = 1;
    QString device; // what the port is opened with
    PortSource source = PortSource::Default;
    Presence presence = Presence::Missing;
    std::optional<DetectedPort> detected;
    int access_error = 0; // errno when the device is there but may not be opened
    // This user's place in kSerialGroup, asked only when the device is refused.
    GroupMembership serial_group = GroupMembership::Unknown;

    // This user may not open the device: opening it would only fail.
    bool refused() const { return access_error == EACCES || access_error == EPERM; }
};

// Why a port did not open, for the caller to word with what it knows (the
// ports present, where to assign one).
struct OpenFailure {
    enum class Kind { Missing, Busy, NoPermission, Other };
    Kind kind = Kind::Other;
    PortMapping mapping;  // number 0 when a device path was opened directly
    QString reason;       // the system's words
    int system_error = 0; // errno, when the reason is known to be one
    QSerialPort::SerialPortError error = QSerialPort::UnknownError; // Qt's class of it
};

// Assigned devices by port number (index n - 1); empty where none.
using Assignments = std::array<QString, calc::kPortCount>;

class PortMap {
public:
    PortMap() = default; // nothing assigned, detected or there
    PortMap(Assignments assigned, QList<DetectedPort> detected, DeviceResolver resolve,
            DeviceAccess access = {}, GroupCheck groups = {});

    PortMapping mapping(int number) const;
    // What the machine has of a device path (presence, the port reported,
    // whether it may be opened), outside any port name: number 0.
    PortMapping examine(const QString &device) const;
    const QList<DetectedPort> &detected() const { return m_detected; }
    const Assignments &assignments() const { return m_assigned; }
    // The adapter Com1 falls back on when nothing is assigned.
    std::optional<DetectedPort> single_adapter() const;
    // The first port assigned to a USB adapter the system reports, else to
    // any serial port it reports: where the window opens when no port was
    // picked yet.
    std::optional<int> assigned_present_port() const;
    // The name to keep for a device: its stable name when it is a detected
    // port that has one, so it is found again under another ttyUSB number.
    QString stable_name(const QString &device) const;
    std::optional<DetectedPort> find(const QString &device) const;

private:
    QString resolved(const QString &device) const;
    void look_up(PortMapping &m) const;

    Assignments m_assigned{};
    QList<DetectedPort> m_detected;
    DeviceResolver m_resolve;
    DeviceAccess m_access;
    GroupCheck m_groups;
};

// The platform's own device for port n.
QString default_device(int n);

// RW7300_COMn when set and not empty.
std::optional<QString> override_device(int n);

} // namespace rwlink
