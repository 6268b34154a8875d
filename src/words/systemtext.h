#pragma once

// The system's reasons in the program's language. Every error number that
// file and serial work can meet is said from one table; any other is framed
// as 「システムのエラー (errno N)」 with the system's own words after it in
// parentheses, never shown alone.

#include <QFileDevice>
#include <QSerialPort>
#include <QString>

namespace app {

// The words for error number system_error (0: not known to be an error
// number); system_text is the system's own words for it, taken from the C
// library when empty.
QString system_reason_text(int system_error, const QString &system_text = {});

// The same for a file that failed just now: error_number is errno as it
// was right after the failure, trusted only when the file's reason is its.
QString file_reason_text(const QFileDevice &file, int error_number);

// The same for a serial port's failure, always in the program's words: Qt's
// class of error stands in when the table does not know the number, and the
// number when Qt's class says nothing either.
QString serial_reason_text(QSerialPort::SerialPortError error, int system_error);

} // namespace app
