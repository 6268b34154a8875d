#pragma once

// A real serial port as the controller's end of the line, for a simulator
// on another machine or on a second adapter joined by a null-modem cable.

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

class DeviceLine : public QObject {
    Q_OBJECT

public:
    explicit DeviceLine(QObject *parent = nullptr);

    // Opens device at the controller's line settings. False, with
    // error_text(), when it cannot be opened.
    bool open(const QString &device);

    QString error_text() const { return m_error_text; }

signals:
    void received(const QByteArray &bytes);
    void lost(const QString &reason);

private:
    void on_error(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    QString m_error_text;
};
