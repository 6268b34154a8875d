#pragma once

// Bytes from the line as the simulator shows them: anything but printable
// ASCII escaped, so a stray carriage return or a blank value is visible.

#include <QByteArrayView>
#include <QString>

// "#:&RA01=57A7#" as is, "\r\n" and "\x01" escaped, a backslash doubled.
QString escaped(QByteArrayView bytes);

// escaped() in double quotes.
QString quoted(QByteArrayView bytes);

// "0x57A7 = 22439" for a well-formed hexadecimal value, else quoted().
QString value_text(QByteArrayView value);
