#include "listing.h"

#include "commands.h"

#include <QStringEncoder>

namespace files {

namespace {

// Blank lines hold one ideographic space, never nothing.
const QString kBlankLine = QStringLiteral("　");
const QString kClockHeading = QStringLiteral("スピードテーブル用基本クロック");
const QString kRaHeading = QStringLiteral("赤経スピードテーブル");
const QString kDecHeading = QStringLiteral("赤緯スピードテーブル");

QString frame_text(std::string_view body)
{
    return QString::fromStdString(calc::framed(body));
}

// The row's frame with the cell text as it is: the listing records the
// calculation, not what the upload would make of an edited box.
QString row_frame(const calc::SpeedTable &table, calc::Axis axis, int row)
{
    const int column =
        axis == calc::Axis::Ra ? calc::SpeedTable::kRaColumn : calc::SpeedTable::kDecColumn;
    const auto &cell = table.cell(column, row);
    return frame_text(calc::row_head(axis, row + 1) + cell.value_or(std::string()));
}

} // namespace

QString listing_stamp(const QDateTime &now, const QLocale &locale)
{
    // The short time format of most locales has no seconds; add them after
    // the minutes so the time of day keeps the locale's own order and marks.
    QString time_format = locale.timeFormat(QLocale::ShortFormat);
    if (!time_format.contains(QLatin1Char('s'))) {
        const qsizetype minutes = time_format.lastIndexOf(QLatin1String("mm"));
        if (minutes >= 0)
            time_format.insert(minutes + 2, QLatin1String(":ss"));
        else
            time_format = QStringLiteral("HH:mm:ss");
    }
    return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(now.time(), time_format);
}

QByteArray speed_data_listing(const QString &stamp, std::int32_t base_clock,
                              const calc::SpeedTable &table)
{
    QStringList lines;
    lines << stamp << kBlankLine << kClockHeading;
    if (const auto clock = calc::clock_body(base_clock)) {
        lines << (base_clock == calc::kClock2MHz ? QStringLiteral("2MHz")
                                                 : QStringLiteral("250kHz"))
              << frame_text(*clock);
    }
    lines << kBlankLine << kRaHeading << kBlankLine;
    for (int i = 0; i < calc::kTableRows; ++i)
        lines << row_frame(table, calc::Axis::Ra, i);
    lines << kBlankLine << kDecHeading << kBlankLine;
    for (int i = 0; i < calc::kTableRows; ++i)
        lines << row_frame(table, calc::Axis::Dec, i);

    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    QStringEncoder to_sjis("Shift_JIS");
    return to_sjis.encode(text);
}

QByteArray speed_data_now(std::int32_t base_clock, const calc::SpeedTable &table)
{
    const QString stamp = listing_stamp(QDateTime::currentDateTime(), QLocale::system());
    return speed_data_listing(stamp, base_clock, table);
}

WriteOutcome write_speed_data(const QString &path, std::int32_t base_clock,
                              const calc::SpeedTable &table)
{
    return write_atomically(path, speed_data_now(base_clock, table));
}

} // namespace files
