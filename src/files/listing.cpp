#include "listing.h"

#include <QStringEncoder>

namespace files {

namespace {

// Blank lines hold one ideographic space, never nothing.
const QString kBlankLine = QStringLiteral("　");
const QString kClockHeading = QStringLiteral("スピードテーブル用基本クロック");
const QString kRaHeading = QStringLiteral("赤経スピードテーブル");
const QString kDecHeading = QStringLiteral("赤緯スピードテーブル");

constexpr std::int32_t kClock2MHz = 2000000;
constexpr std::int32_t kClock250kHz = 250000;
constexpr int kRows = 50;

QString row_number(int row)
{
    return QStringLiteral("0%1").arg(row + 1).right(2);
}

QString cell_text(const calc::SpeedTable &table, int column, int row)
{
    const auto &cell = table.cell(column, row);
    return cell ? QString::fromStdString(*cell) : QString();
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
    if (base_clock == kClock2MHz)
        lines << QStringLiteral("2MHz") << QStringLiteral("#:=TCLK1#");
    else if (base_clock == kClock250kHz)
        lines << QStringLiteral("250kHz") << QStringLiteral("#:=TCLK2#");
    lines << kBlankLine << kRaHeading << kBlankLine;
    for (int i = 0; i < kRows; ++i)
        lines << QStringLiteral("#:&RA%1=%2#").arg(row_number(i), cell_text(table, 0, i));
    lines << kBlankLine << kDecHeading << kBlankLine;
    for (int i = 0; i < kRows; ++i)
        lines << QStringLiteral("#:&DEC%1=%2#").arg(row_number(i), cell_text(table, 1, i));

    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    QStringEncoder to_sjis("Shift_JIS");
    return to_sjis.encode(text);
}

WriteOutcome write_speed_data(const QString &path, std::int32_t base_clock,
                              const calc::SpeedTable &table)
{
    const QString stamp = listing_stamp(QDateTime::currentDateTime(), QLocale::system());
    return write_atomically(path, speed_data_listing(stamp, base_clock, table));
}

} // namespace files
