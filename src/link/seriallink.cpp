#include "seriallink.h"

#include "frame.h"

#include <QFileInfo>

#include <cerrno>

namespace rwlink {

namespace {

constexpr qint32 kBaudRate = 9600;

// The error number behind Qt's last report, when its text is the system's
// own for that number (Qt words some failures itself); 0 otherwise.
int system_error_of(int error_number, const QString &reason)
{
    return error_number != 0 && reason == qt_error_string(error_number) ? error_number : 0;
}

} // namespace

void apply_line_settings(QSerialPort &port)
{
    // Applied by QSerialPort on every open. DTR and RTS are left as they
    // are: the controller does not use them, and a pseudo-terminal standing
    // in for it rejects them.
    port.setBaudRate(kBaudRate);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

SerialLink::SerialLink(QObject *parent) : QObject(parent)
{
    apply_line_settings(m_port);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::on_port_error);
    connect(&m_port, &QSerialPort::bytesWritten, this, &SerialLink::on_bytes_written);
    m_drain_watchdog.setSingleShot(true);
    m_drain_watchdog.setInterval(kDrainLimit);
    // A line that takes nothing more is given up on.
    connect(&m_drain_watchdog, &QTimer::timeout, this, &SerialLink::close_now);
}

SerialLink::~SerialLink()
{
    // Nothing is left to drain into once the link is gone.
    m_drain_watchdog.stop();
    m_closing = true;
    m_port.close();
}

bool SerialLink::open_port(const QString &combo_text)
{
    if (m_port.isOpen() && !m_draining) {
        m_port.clear(QSerialPort::Input);
        return true;
    }
    if (const auto number = port_number_for(combo_text))
        m_number = *number;
    m_failure.reset();
    m_open_failure.reset();
    PortMapping mapping;
    if (m_direct_device.isEmpty()) {
        mapping = m_map.mapping(m_number);
    } else {
        mapping.number = 0;
        mapping.device = m_direct_device;
        mapping.detected = m_map.find(m_direct_device);
    }
    if (m_draining) {
        // The same device is taken back with its last bytes still queued,
        // ahead of the new ones; another one cannot wait for them.
        if (mapping.device == m_device) {
            m_drain_watchdog.stop();
            m_draining = false;
            m_port.clear(QSerialPort::Input);
            return true;
        }
        close_now();
    }
    m_device = mapping.device;
    m_port.setPortName(m_device);
    m_last_errno = 0;
    if (!m_port.open(QIODevice::ReadWrite)) {
        const int error_number = m_last_errno;
        m_open_failure =
            OpenFailure{failure_kind(m_port.error()), mapping, m_port.errorString(),
                        system_error_of(error_number, m_port.errorString()), m_port.error()};
        m_failure =
            LinkFailure{LinkFailure::Kind::Open,      mapping.number,      m_device, m_port.error(),
                        m_open_failure->system_error, m_port.errorString()};
        return false;
    }
    m_port.clear(QSerialPort::Input);
    return true;
}

bool SerialLink::send_command(const QString &body)
{
    if (!is_open())
        return !failed();
    const QByteArray bytes = frame(body);
    if (m_port.write(bytes) != bytes.size()) {
        if (!failed())
            fail(LinkFailure::Kind::Write, QSerialPort::WriteError);
        close_now();
        return false;
    }
    // Hand the frame to the driver now rather than at the next event-loop
    // pass, so the pause that follows is measured from the real write.
    m_port.flush();
    return !failed();
}

void SerialLink::close_port()
{
    if (!is_open())
        return;
    // Every action writes its last command right before closing, and
    // QSerialPort drops whatever it still holds when closed: the rest goes
    // out from the event loop, as the line takes it.
    if (m_port.bytesToWrite() == 0) {
        close_now();
        return;
    }
    m_draining = true;
    m_drain_watchdog.start();
}

void SerialLink::on_bytes_written()
{
    if (m_draining && m_port.bytesToWrite() == 0)
        close_now();
}

void SerialLink::close_now()
{
    m_drain_watchdog.stop();
    const bool was_open = m_port.isOpen();
    m_draining = false;
    if (was_open) {
        m_closing = true;
        m_port.close();
        m_closing = false;
        emit closed();
    }
}

void SerialLink::fail(LinkFailure::Kind kind, QSerialPort::SerialPortError error)
{
    const QString reason = m_port.errorString();
    m_failure = LinkFailure{kind,  m_direct_device.isEmpty() ? m_number : 0, m_device,
                            error, system_error_of(m_last_errno, reason),    reason};
}

void SerialLink::on_port_error(QSerialPort::SerialPortError error)
{
    // Read before anything else can change it.
    m_last_errno = errno;
    if (m_closing || !m_port.isOpen())
        return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::WriteError &&
        error != QSerialPort::ReadError)
        return;
    if (m_draining) {
        // A full line is no failure: Qt tries again when it takes more,
        // and the watchdog bounds the wait. Anything else ends the drain.
        if (system_error_of(m_last_errno, m_port.errorString()) != EAGAIN)
            close_now();
        return;
    }
    // Once the far side is gone, Qt repeats the error as fast as it can
    // until the port is closed; the first one closes it. A line closed from
    // the far side reads as end of file, with a stale system message.
    fail(error == QSerialPort::WriteError  ? LinkFailure::Kind::Write
         : error == QSerialPort::ReadError ? LinkFailure::Kind::HungUp
                                           : LinkFailure::Kind::Lost,
         error);
    close_now();
    emit lost();
}
OpenFailure::Kind SerialLink::failure_kind(QSerialPort::SerialPortError error) const
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFailure::Kind::Missing;
    case QSerialPort::PermissionError: {
#ifdef Q_OS_WIN
        return OpenFailure::Kind::Busy; // Windows refuses a port only when someone holds it
#else
        // Qt reports a held lock and a forbidden device alike; only the
        // latter lacks access rights.
        const QFileInfo device(m_device);
        return device.isReadable() && device.isWritable() ? OpenFailure::Kind::Busy
                                                          : OpenFailure::Kind::NoPermission;
#endif
    }
    default:
        return OpenFailure::Kind::Other;
    }
}

} // namespace rwlink
