#pragma once

// The per-user file that ties the port names Com1 … Com20 to serial devices:
// UTF-8 lines "ComN=DEVICE". PARAM.DAT keeps naming only the port, as ever.
//
//   # rw7300-speedtable: the serial device of each port name
//   Com1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
//   Com3=/dev/ttyUSB1
//
// Reading is forgiving: blank lines, comments (# or ;), CR LF, blanks
// around the key and the value, and lines it does not know are passed over;
// the last line for a port wins.

#include "atomicfile.h"
#include "commands.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace files {

using PortAssignments = std::array<QString, calc::kPortCount>; // [n - 1]; empty: none

inline const QString kPortsFileName = QStringLiteral("ports.conf");

// In the user's configuration directory:
// $XDG_CONFIG_HOME/rw7300-speedtable/ports.conf (~/.config/… by default).
QString port_assignments_path();

// Whether a text can stand as a device: not empty, no control character,
// not absurdly long.
bool acceptable_device(const QString &device);

PortAssignments parse_port_assignments(const QByteArray &bytes);
QByteArray port_assignments_bytes(const PortAssignments &assignments);

struct AssignmentsRead {
    enum class Fault {
        None,
        NotRegular, // a FIFO, a device or a folder
        TooLarge,   // size says how large
        Unreadable, // system_error and reason say why
    };
    PortAssignments assignments{};
    Fault fault = Fault::None; // set when the file is there but cannot be used
    qint64 size = 0;
    int system_error = 0;
    QString reason; // the system's own words

    bool ok() const { return fault == Fault::None; }
};

// A missing file is no error: nothing is assigned. Only a regular file of
// sensible size is read.
AssignmentsRead read_port_assignments(const QString &path);

// Rewrites the whole file, creating its directory when needed.
WriteOutcome write_port_assignments(const QString &path, const PortAssignments &assignments);

// original with port number (1 … calc::kPortCount) set to device, or cleared
// when device is empty; every other line stays byte for byte: comments,
// other ports, keys and lines this program does not read. A set port's last
// line takes the new value (CR LF kept); a cleared port loses its lines; a
// port with none gets one at the end.
QByteArray port_assignment_changed(const QByteArray &original, int number, const QString &device);

// One port changed in the file by port_assignment_changed, under the
// store's lock, so runs at the same time lose nothing (see update_store).
WriteOutcome change_port_assignment(const QString &path, int number, const QString &device);

} // namespace files
