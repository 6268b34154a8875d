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
// turns true, error_text() says what happened and how to fix it, the
// operations return false, and a port lost while idle between commands
// signals lost() so the running action stops at once.

#include "ports.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <optional>

namespace rwlink {

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
    // ignored and the open port kept. False, with error_text() and
    // open_failure(), when the port cannot be opened.
    bool open_port(const QString &combo_text);

    // Where the port names lead; by default only the overrides and the
    // platform's own ports.
    void set_port_map(PortMap map) { m_map = std::move(map); }
    const PortMap &port_map() const { return m_map; }

    // Opens this device whatever the port name says (a path given on the
    // command line); empty goes back to the port names.
    void use_device(const QString &device) { m_direct_device = device; }

    // Writes the framed body. On a closed port nothing is written and the
    // command counts as skipped (true) unless the port was closed by a
    // failure.
    bool send_command(const QString &body);

    // Lets written bytes reach the line, then closes; ignores every error.
    void close_port();

    bool is_open() const { return m_port.isOpen(); }
    int port_number() const { return m_number; }
    // The device the port was last opened on, or tried.
    QString device() const { return m_device; }
    bool failed() const { return m_failed; }
    QString error_text() const { return m_error_text; }
    const std::optional<OpenFailure> &open_failure() const { return m_open_failure; }

signals:
    // The open port failed (the device went away, the far end hung up);
    // it is closed, and error_text() says what happened.
    void lost();

private:
    void on_port_error(QSerialPort::SerialPortError error);
    void close_now();
    QString port_label() const;
    OpenFailure::Kind failure_kind(QSerialPort::SerialPortError error) const;

    QSerialPort m_port;
    int m_number = 1;
    PortMap m_map;
    QString m_direct_device;
    QString m_device;
    std::optional<OpenFailure> m_open_failure;
    QString m_error_text;
    bool m_failed = false;
    bool m_closing = false;
};

} // namespace rwlink
