#pragma once

// MSComm1 of the window: the one serial port to the controller and the four
// operations every controller action is made of.
//
//   open_port ─► send_command ─► wait_ms ─► send_command ─► … ─► close_port
//
// Traffic is one way: frames go out, nothing is ever read. The waits run the
// event loop, so the window stays live and another action may start inside
// a wait; such an action shares the open port, and its close_port ends the
// outer action's sending (its later commands are skipped).
//
// A port that cannot be opened, or that fails while in use (adapter
// unplugged, far end gone), is reported rather than passed over: failed()
// turns true, error_text() says what happened and how to fix it, and the
// operations return false so the running action stops.

#include "clock.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <memory>

namespace rwlink {

// The controller's line: 9600 baud, 8 data bits, no parity, 1 stop bit, no
// flow control. For anything else that opens a port to or as the controller.
void apply_line_settings(QSerialPort &port);

class SerialLink : public QObject {
    Q_OBJECT

public:
    // Paces on the system's millisecond counter.
    explicit SerialLink(QObject *parent = nullptr);
    // Paces on clock, which must outlive the link.
    explicit SerialLink(Clock &clock, QObject *parent = nullptr);
    ~SerialLink() override;

    // Takes the port number from the combo box text when it is one of
    // "Com1" … "Com20" (otherwise the last one stays), discards pending
    // input and opens the port. On a port already open (an action started
    // inside another's wait) the name is ignored and the open port used, so
    // the inner action's frames go where the outer one's go. False, with
    // error_text(), when the port cannot be opened.
    bool open_port(const QString &combo_text);

    // Writes the framed body. On a closed port nothing is written and the
    // command counts as skipped (true) unless the port was closed by a
    // failure.
    bool send_command(const QString &body);

    // Waits until the counter reads past start + ms, running the event loop
    // meanwhile. False at once after cancel() or when the port has failed.
    bool wait_ms(float ms);

    // Lets written bytes reach the line, then closes; ignores every error.
    void close_port();

    // Stops the running action and every later one: their waits return
    // false. For the window closing or the program ending.
    void cancel();

    bool is_open() const { return m_port.isOpen(); }
    int port_number() const { return m_number; }
    bool failed() const { return m_failed; }
    bool cancelled() const { return m_cancelled; }
    QString error_text() const { return m_error_text; }

private:
    void configure();
    void on_port_error(QSerialPort::SerialPortError error);
    void close_now();
    bool pause(double remaining_ms);
    QString port_label() const;
    QString open_failure_text(QSerialPort::SerialPortError error) const;

    std::unique_ptr<Clock> m_own_clock;
    Clock *m_clock = nullptr;
    QSerialPort m_port;
    int m_number = 1;
    QString m_device;
    QString m_error_text;
    bool m_failed = false;
    bool m_cancelled = false;
    bool m_closing = false;
};

} // namespace rwlink
