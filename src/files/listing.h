#pragma once

// Speed_Data.txt: the written record of the last calculation, 111 lines in
// Shift-JIS with CR LF after every line, the speed-table rows in the
// controller's command notation.

#include "atomicfile.h"
#include "speedtable.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>

namespace files {

inline const QString kListingFileName = QStringLiteral("Speed_Data.txt");

// Line 1: the date in the locale's short format, a space, the time of day
// with seconds in the locale's time format.
QString listing_stamp(const QDateTime &now, const QLocale &locale);

// The whole file, byte for byte.
QByteArray speed_data_listing(const QString &stamp, std::int32_t base_clock,
                              const calc::SpeedTable &table);

// Writes the listing for this moment (system locale) atomically to path.
// The listing stamped with the current time.
QByteArray speed_data_now(std::int32_t base_clock, const calc::SpeedTable &table);

WriteOutcome write_speed_data(const QString &path, std::int32_t base_clock,
                              const calc::SpeedTable &table);

} // namespace files
