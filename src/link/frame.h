#pragma once

// What goes on the wire: the command frame, the command bodies and the names
// of the ports. The controller only listens, so these bytes are the whole
// protocol; nothing here touches a port.

#include "commands.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace rwlink {

// Bodies that carry no value.
inline const QString kStoreData =
    QString::fromLatin1(calc::kStoreDataBody.data(), qsizetype(calc::kStoreDataBody.size()));
inline const QString kNewTable =
    QString::fromLatin1(calc::kNewTableBody.data(), qsizetype(calc::kNewTableBody.size()));
inline const QString kNewTotals =
    QString::fromLatin1(calc::kNewTotalsBody.data(), qsizetype(calc::kNewTotalsBody.size()));

// The core's ASCII text (a body, hex digits, a port's or a row's name) as Qt
// text, one byte per character.
QString ascii_text(std::string_view ascii);

// "#:" + body + "#", one byte per character. The controller speaks ASCII
// only, so any other character (a whole surrogate pair counts as one) goes
// out as "?" rather than as several bytes of some encoding.
QByteArray frame(const QString &body);

// "Com1" … "Com20" exactly as the combo box lists them; any other text
// (other case, blanks, leading zero, out of range) names no port.
std::optional<int> port_number_for(const QString &name);

// "&RA07=2BF2": a row number 1…50 as two digits and the box text cut or
// zero-filled to four characters, whatever it holds.
QString row_body(calc::Axis axis, int row, const QString &box_text);

// "&XRA00" or "&XDEC00" followed by the total box text as it stands.
QString total_body(calc::Axis axis, const QString &box_text);

// A tracking rate replaces RA entry 05: "&RA05" followed by the rate box text
// as it stands (no "=", no reshaping).
QString rate_body(const QString &box_text);

// "=TCLK1" for 2 MHz, "=TCLK2" for 250 kHz; no command for other clocks.
std::optional<QString> clock_body(std::int32_t base_clock);

} // namespace rwlink
