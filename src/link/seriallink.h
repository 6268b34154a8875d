#pragma once

// MSComm1 of the window: the one serial port to the controller and the
// operations every controller action is made of.
//
//   open_port ─► send_command ─► (pause) ─► send_command ─► … ─► close_port
//
// Traffic is one way: frames go out, nothing is ever read. The pauses
// between commands belong to the ActionRunner, which drives the link.
//
// A port that cannot be opened, or that fails while in use (adapter
// unplugged, far end gone), is reported rather than passed over: failed()
// turns true, failure() tells what happened as facts (the application words
// it), the operations return false, and a port lost while idle between
// commands signals lost() so the running action stops at once.
//
// Closing never blocks: what is still queued drains as the line takes it,
// and the port closes when it is empty or after kDrainLimit, whichever
// comes first; closed() tells when.

#include "ports.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>

namespace rwlink {

// Plenty for the last frame at 9600 baud, short enough for a line that
// takes nothing.
inline constexpr std::chrono::milliseconds kDrainLimit{1000};

// Why the port stopped serving, as facts.
struct LinkFailure {
    enum class Kind {
        Open,   // it did not open (open_failure() tells more)
        Write,  // a write was refused
        Lost,   // the device failed while open (unplugged, say)
        HungUp, // the far end closed the line
    };
    Kind kind = Kind::Write;
    int port = 0; // 1 … calc::kPortCount, or 0 when a device path was opened directly
    QString device;
    QSerialPort::SerialPortError error = QSerialPort::NoError;
    int system_error = 0; // errno, when the system's reason is known to be one
    QString reason;       // the system's own words
};

// The controller's line: 9600 baud, 8 data bits, no parity, 1 stop bit, no
// flow control. For anything else that opens a port to or as the controller.
void apply_line_settings(QSerialPort &port);

class SerialLink : public QObject {
    Q_OBJECT

public:
    explicit SerialLink(QObject *parent = nullptr);
    ~SerialLink() override;

    // Takes the port number from the combo box text when it is one of
    // "Com1" … "Com20" (otherwise the last one stays), discards pending
    // input and opens the port's device. On a port already open the name is
    // ignored and the open port kept. False, with failure() and
    // open_failure(), when the port cannot be opened.
    bool open_port(const QString &combo_text);

    // Where the port names lead; by default only the overrides and the
    // platform's own ports.
    void set_port_map(PortMap map) { m_map = std::move(map); }

    // Opens this device whatever the port name says (a path given on the
    // command line); empty goes back to the port names.
    void use_device(const QString &device) { m_direct_device = device; }

    // Writes the framed body. On a closed port nothing is written and the
    // command counts as skipped (true) unless the port was closed by a
    // failure.
    bool send_command(const QString &body);

    // Returns at once: the port takes no more commands, what was written
    // drains, and the port closes when it is empty or after kDrainLimit
    // (closed() then); ignores every error. A port with nothing queued
    // closes at once.
    void close_port();

    // Open and taking commands; false while a closed port still drains.
    bool is_open() const { return m_port.isOpen() && !m_draining; }
    // A closed port whose last bytes still go out; opening it again takes
    // the port back as it is, opening another device ends the drain (the
    // ActionRunner waits for closed() instead).
    bool is_draining() const { return m_draining; }
    int port_number() const { return m_number; }
    // The device the port was last opened on, or tried.
    QString device() const { return m_device; }
    bool failed() const { return m_failure.has_value(); }
    const std::optional<LinkFailure> &failure() const { return m_failure; }
    const std::optional<OpenFailure> &open_failure() const { return m_open_failure; }

signals:
    // The open port failed (the device went away, the far end hung up);
    // it is closed, and failure() says what happened.
    void lost();
    // The port is closed for good: at once, or once a drain has ended.
    void closed();

private:
    void on_port_error(QSerialPort::SerialPortError error);
    void close_now();
    void on_bytes_written();
    void fail(LinkFailure::Kind kind, QSerialPort::SerialPortError error);
    OpenFailure::Kind failure_kind(QSerialPort::SerialPortError error) const;

    QSerialPort m_port;
    int m_number = 1;
    PortMap m_map;
    QString m_direct_device;
    QString m_device;
    std::optional<OpenFailure> m_open_failure;
    std::optional<LinkFailure> m_failure;
    bool m_closing = false;
    bool m_draining = false;
    int m_last_errno = 0; // at Qt's last error report
    QTimer m_drain_watchdog;
};

} // namespace rwlink
