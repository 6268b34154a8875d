#include "deviceline.h"

#include "seriallink.h"

DeviceLine::DeviceLine(QObject *parent) : QObject(parent)
{
    rwlink::apply_line_settings(m_port);
    connect(&m_port, &QSerialPort::readyRead, this, [this] { emit received(m_port.readAll()); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &DeviceLine::on_error);
}

bool DeviceLine::open(const QString &device)
{
    m_port.setPortName(device);
    if (!m_port.open(QIODevice::ReadOnly)) {
        m_error_text = QStringLiteral("%1 を開けません: %2").arg(device, m_port.errorString());
        return false;
    }
    return true;
}

void DeviceLine::on_error(QSerialPort::SerialPortError error)
{
    // Qt repeats a lost device's error until the port is closed.
    if (!m_port.isOpen() ||
        (error != QSerialPort::ResourceError && error != QSerialPort::ReadError))
        return;
    const QString reason = m_port.errorString();
    m_port.close();
    emit lost(reason);
}
