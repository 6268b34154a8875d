#pragma once

// The words for ports: where each port name leads, what the system
// reports, and what to do when a port does not open. The window, the port
// dialog and the command line all say it the same way.

#include "ports.h"

#include <QString>

namespace app {

// How the dialog and the failure messages name the place to fix a port.
inline const QString kPortDialogTitle = QStringLiteral("ポート設定");

using rwlink::port_name;
QString source_text(const rwlink::PortMapping &mapping);
QString presence_text(rwlink::Presence presence);

// "0403:6001", the USB vendor and product ids; empty for other ports.
QString usb_id_text(const rwlink::DetectedPort &port);

// "FT232R USB UART (FTDI, 0403:6001, S/N A50285BI)": what the system says of
// a port, without its location; empty when it says nothing.
QString port_details(const rwlink::DetectedPort &port);

// "/dev/ttyUSB0 — FT232R USB UART (FTDI, 0403:6001)".
QString detected_port_line(const rwlink::DetectedPort &port);

// "/dev/ttyUSB0 — FT232R USB UART" or "/dev/ttyS1 (見つかりません)": the
// device of a port name as the drop-down list shows it beside the name.
QString device_summary(const rwlink::PortMapping &mapping);

// "Com3 → /dev/ttyUSB0 — FT232R USB UART (割り当て)".
QString mapping_summary(const rwlink::PortMapping &mapping);

// The window's status line for the port in use: its device, and what to do
// when that is missing or may not be opened by this user (then in one short
// line, access_problem_line); says so when Com1 took the one USB adapter.
QString port_status_text(const rwlink::PortMapping &mapping);

// What to do about a device this user may not open, by their place in the
// dialout group: join it, log in again, or look at the device itself.
QString dialout_advice(rwlink::GroupMembership membership);

// What stops the device of mapping from opening, found without opening it:
// "/dev/ttyUSB0 を開く権限がありません。ユーザーを dialout …", naming the
// device as the operator knows it (not its by-id name). Empty when nothing
// does.
QString access_problem_text(const rwlink::PortMapping &mapping);

// The same for a refused device in one line short enough for the status
// line, the fix first; empty when the device is not refused.
QString access_problem_line(const rwlink::PortMapping &mapping);

// Why an action was not started on a refused device, and the fix.
QString access_refusal_text(const rwlink::PortMapping &mapping);

// "/dev/ttyUSB0 は /dev/serial/by-id/… として保存しました (…)"; empty when
// the device was kept as given.
QString stored_as_text(const QString &given, const QString &kept);

// The example in 「ポート設定」's device box: the stable name of an adapter
// present, or a made-up one of that form.
QString device_hint(const QList<rwlink::DetectedPort> &ports);

// Where the window's way to the dialog is, for messages.
inline const QString kPortDialogWay =
    QStringLiteral("「送信」の右の「…」ボタン、またはポート欄の右クリック");

// One line per detected port, indented, or a line saying there is none.
QString detected_ports_text(const QList<rwlink::DetectedPort> &ports);

// The whole message for a port that did not open: the device and the
// system's reason, the likely cause, the ports present and how to assign
// one. for_command_line adds the option that does the same.
QString open_failure_text(const rwlink::OpenFailure &failure, const rwlink::PortMap &map,
                          bool for_command_line);

} // namespace app
