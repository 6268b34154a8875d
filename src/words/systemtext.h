#pragma once

// The system's reasons in the program's language. The common ones (no such
// file, permission, busy, I/O error, try again, no space) are said from one
// table; for the rest the system's own words are shown as they come.

#include <QFileDevice>
#include <QSerialPort>
#include <QString>

namespace app {

// The words for error number system_error, or system_text when the table
// has none (0: not known to be an error number).
QString system_reason_text(int system_error, const QString &system_text);

// The same for a file that failed just now: error_number is errno as it
// was right after the failure, trusted only when the file's reason is its.
QString file_reason_text(const QFileDevice &file, int error_number);

// The same for a serial port's failure, always in the program's words: Qt's
// class of error stands in when the table does not know the number, and the
// number when Qt's class says nothing either.
QString serial_reason_text(QSerialPort::SerialPortError error, int system_error);

} // namespace app
