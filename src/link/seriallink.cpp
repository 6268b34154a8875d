#include "seriallink.h"

#include "frame.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <chrono>

namespace rwlink {

using namespace std::chrono_literals;

namespace {

constexpr qint32 kBaudRate = 9600;

// Plenty for the last frame at 9600 baud, short enough not to freeze the
// window on a line that takes nothing.
constexpr auto kDrainLimit = 1s;

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
}

SerialLink::~SerialLink()
{
    close_port();
}

bool SerialLink::open_port(const QString &combo_text)
{
    if (m_port.isOpen()) {
        m_port.clear(QSerialPort::Input);
        return true;
    }
    if (const auto number = port_number_for(combo_text))
        m_number = *number;
    m_failed = false;
    m_error_text.clear();
    m_open_failure.reset();
    PortMapping mapping;
    if (m_direct_device.isEmpty()) {
        mapping = m_map.mapping(m_number);
    } else {
        mapping.number = 0;
        mapping.device = m_direct_device;
        mapping.detected = m_map.find(m_direct_device);
    }
    m_device = mapping.device;
    m_port.setPortName(m_device);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_failed = true;
        m_open_failure = OpenFailure{failure_kind(m_port.error()), mapping, m_port.errorString()};
        m_error_text =
            QStringLiteral("%1 を開けませんでした (%2)。").arg(port_label(), m_port.errorString());
        return false;
    }
    m_port.clear(QSerialPort::Input);
    return true;
}

bool SerialLink::send_command(const QString &body)
{
    if (!m_port.isOpen())
        return !m_failed;
    const QByteArray bytes = frame(body);
    if (m_port.write(bytes) != bytes.size()) {
        if (!m_failed) {
            m_failed = true;
            m_error_text = QStringLiteral("%1 に書き込めませんでした (%2)。")
                               .arg(port_label(), m_port.errorString());
        }
        close_now();
        return false;
    }
    // Hand the frame to the driver now rather than at the next event-loop
    // pass, so the pause that follows is measured from the real write.
    m_port.flush();
    return !m_failed;
}

void SerialLink::close_port()
{
    if (!m_port.isOpen())
        return;
    m_closing = true;
    // Every action writes its last command right before closing, and
    // QSerialPort drops whatever it still holds when closed.
    const QDeadlineTimer deadline(kDrainLimit);
    while (m_port.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_port.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            break;
    }
    m_port.close();
    m_closing = false;
}

void SerialLink::close_now()
{
    if (!m_port.isOpen())
        return;
    m_closing = true;
    m_port.close();
    m_closing = false;
}

void SerialLink::on_port_error(QSerialPort::SerialPortError error)
{
    // Once the far side is gone, Qt repeats the error as fast as it can
    // until the port is closed; the first one closes it.
    if (m_closing || !m_port.isOpen())
        return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::WriteError &&
        error != QSerialPort::ReadError)
        return;
    m_failed = true;
    if (error == QSerialPort::WriteError) {
        m_error_text = QStringLiteral("%1 に書き込めませんでした (%2)。")
                           .arg(port_label(), m_port.errorString());
    } else {
        // A line closed from the far side reads as end of file, and Qt
        // then shows a stale system message; name the cause instead.
        const QString reason = error == QSerialPort::ReadError
                                   ? QStringLiteral("回線が切られました")
                                   : m_port.errorString();
        m_error_text = QStringLiteral("%1 との接続が切れました (%2)。ケーブルとコントローラーの"
                                      "電源を確かめてから、もう一度送ってください。")
                           .arg(port_label(), reason);
    }
    close_now();
    emit lost();
}

QString SerialLink::port_label() const
{
    if (!m_direct_device.isEmpty())
        return QStringLiteral("デバイス %1").arg(m_device);
    return QStringLiteral("ポート Com%1 (%2)").arg(m_number).arg(m_device);
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
