#include "calctexts.h"
#include "calculate.h"
#include "numbertext.h"

#include <QTest>

#include <cmath>
#include <cstdio>
#include <random>

using namespace calc;

namespace {

QByteArray describe(const CalcResult &result)
{
    const auto *f = std::get_if<CalcFailure>(&result);
    if (!f)
        return "succeeded";
    return QStringLiteral("failed: axis %1, stage %2, cause %3, index %4, value \"%5\"")
        .arg(int(f->axis))
        .arg(int(f->stage))
        .arg(int(f->cause))
        .arg(f->index)
        .arg(QString::fromStdString(f->value))
        .toUtf8();
}

// Declares `name` as the output of a calculation that must succeed.
// The name is a declarator, so it cannot be parenthesised.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define CALCULATED(name, input)                                                                    \
    const CalcResult name##_result = calculate(input);                                             \
    QVERIFY2(std::holds_alternative<CalcOutput>(name##_result),                                    \
             describe(name##_result).constData());                                                 \
    const CalcOutput &name = std::get<CalcOutput>(name##_result)

#define FAILED(name, input)                                                                        \
    const CalcResult name##_result = calculate(input);                                             \
    QVERIFY2(std::holds_alternative<CalcFailure>(name##_result),                                   \
             describe(name##_result).constData());                                                 \
    const CalcFailure &name = std::get<CalcFailure>(name##_result)
// NOLINTEND(bugprone-macro-parentheses)

CalcInput with_clock(std::int32_t clock)
{
    CalcInput input;
    input.base_clock = clock;
    return input;
}

// An independent oracle for one row: the C library's %.15g and strtod,
// rint in the default rounding mode (ties to even), floor.
struct Expected {
    std::string first;
    std::string hex;
    double floored;
};
Expected oracle(std::int32_t clock, double total, double multiplier)
{
    const double divisor = clock / ((total / 86164.0) * multiplier);
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.15g", divisor);
    const double back = std::strtod(shown, nullptr);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X",
                  static_cast<unsigned>(static_cast<std::int32_t>(std::rint(back))) & 0xFFFFu);
    return {shown, hex, std::floor(back)};
}

} // namespace

class tst_Calculate : public QObject {
    Q_OBJECT

private slots:
    void axisHeaders_data();
    void axisHeaders();
    void defaultTables_data();
    void defaultTables();
    void tableRows_data();
    void tableRows();
    void speedTableMirrorsHexBoxes();
    void clockChangesOnlyDivisors();
    void repeatable();
    void inputsReadLeniently_data();
    void inputsReadLeniently();
    void negativeInputs();
    void wideDivisorKeepsLowDigits();
    void randomDriveTrains();
    void failures_data();
    void failures();
};

void tst_Calculate::axisHeaders_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<QStringList>("texts"); // total, reference, total_hex of RA, then DEC
    QTest::addColumn<QStringList>("rates"); // decimal/hex of solar, lunar, King
    QTest::newRow("2 MHz") << int(kClock2MHz) << QStringList{" 15360000", " 178", "EA6000",
                                                             " 11520000", " 133", "AFC800"}
                           << QStringList{" 11250", "2BF2", " 11647", "2D80", " 11222", "2BD7"};
    QTest::newRow("250 kHz") << int(kClock250kHz) << QStringList{" 15360000", " 178", "EA6000",
                                                                 " 11520000", " 133", "AFC800"}
                             << QStringList{" 1406", "057E", " 1455", "05B0", " 1402", "057B"};
}

void tst_Calculate::axisHeaders()
{
    QFETCH(int, clock);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, rates);
    CALCULATED(out, with_clock(clock));
    QCOMPARE(out.base_clock, clock);
    QCOMPARE((QStringList{qs(out.ra.total), qs(out.ra.reference), qs(out.ra.total_hex),
                          qs(out.dec.total), qs(out.dec.reference), qs(out.dec.total_hex)}),
             texts);
    QStringList got;
    for (const RateOutput &rate : out.rates)
        got << qs(rate.decimal) << qs(rate.hex);
    QCOMPARE(got, rates);
}

// Every row of both default tables at 2 MHz, written out: a wrong row
// multiplier shows up here whichever row it is in.
void tst_Calculate::defaultTables_data()
{
    QTest::addColumn<int>("row"); // 0–49
    QTest::addColumn<QString>("raDecimal");
    QTest::addColumn<QString>("raHex");
    QTest::addColumn<QString>("decDecimal");
    QTest::addColumn<QString>("decHex");
    // number: the row as the controller numbers it, 1–50.
    auto row = [](int number, const char *raDecimal, const char *raHex, const char *decDecimal,
                  const char *decHex) {
        QTest::addRow("row %02d", number) << number - 1 << QString(raDecimal) << QString(raHex)
                                          << QString(decDecimal) << QString(decHex);
    };
    row(1, " 22438", "57A7", " 29918", "74DE");
    row(2, " 16027", "3E9C", " 21370", "537A");
    row(3, " 14959", "3A6F", " 19945", "4DE9");
    // Rows 04/05 and 14/15/16 repeat on purpose: the controller has a slot for each.
    row(4, " 11219", "2BD3", " 14959", "3A6F");
    row(5, " 11219", "2BD3", " 14959", "3A6F");
    row(6, " 8975", "230F", " 11967", "2EBF");
    row(7, " 8630", "21B6", " 11506", "2CF3");
    row(8, " 7479", "1D38", " 9972", "26F5");
    row(9, " 5609", "15EA", " 7479", "1D38");
    row(10, " 2804", "0AF5", " 3739", "0E9C");
    row(11, " 1402", "057A", " 1869", "074E");
    row(12, " 934", "03A7", " 1246", "04DF");
    row(13, " 801", "0321", " 1068", "042D");
    row(14, " 701", "02BD", " 934", "03A7");
    row(15, " 701", "02BD", " 934", "03A7");
    row(16, " 701", "02BD", " 934", "03A7");
    row(17, " 560", "0231", " 747", "02EC");
    row(18, " 373", "0176", " 498", "01F3");
    row(19, " 280", "0118", " 373", "0176");
    row(20, " 224", "00E0", " 299", "012B");
    row(21, " 186", "00BB", " 249", "00F9");
    row(22, " 160", "00A0", " 213", "00D6");
    row(23, " 140", "008C", " 186", "00BB");
    row(24, " 124", "007D", " 166", "00A6");
    row(25, " 112", "0070", " 149", "0096");
    row(26, " 101", "0066", " 135", "0088");
    row(27, " 93", "005D", " 124", "007D");
    row(28, " 86", "0056", " 115", "0073");
    row(29, " 80", "0050", " 106", "006B");
    row(30, " 74", "004B", " 99", "0064");
    row(31, " 72", "0048", " 96", "0061");
    row(32, " 70", "0046", " 93", "005D");
    row(33, " 67", "0044", " 90", "005B");
    row(34, " 65", "0042", " 87", "0058");
    row(35, " 64", "0040", " 85", "0055");
    row(36, " 62", "003E", " 83", "0053");
    row(37, " 60", "003D", " 80", "0051");
    row(38, " 59", "003B", " 78", "004F");
    row(39, " 57", "003A", " 76", "004D");
    row(40, " 56", "0038", " 74", "004B");
    row(41, " 54", "0037", " 72", "0049");
    row(42, " 53", "0035", " 71", "0047");
    row(43, " 52", "0034", " 69", "0046");
    row(44, " 50", "0033", " 67", "0044");
    row(45, " 49", "0032", " 66", "0042");
    row(46, " 48", "0031", " 65", "0041");
    row(47, " 47", "0030", " 63", "0040");
    row(48, " 46", "002F", " 62", "003E");
    row(49, " 45", "002E", " 61", "003D");
    row(50, " 44", "002D", " 59", "003C");
}

void tst_Calculate::defaultTables()
{
    QFETCH(int, row);
    QFETCH(QString, raDecimal);
    QFETCH(QString, raHex);
    QFETCH(QString, decDecimal);
    QFETCH(QString, decHex);
    CALCULATED(out, CalcInput{});
    QCOMPARE(qs(out.ra.decimal_rows[row]), raDecimal);
    QCOMPARE(qs(out.ra.hex_rows[row]), raHex);
    QCOMPARE(qs(out.dec.decimal_rows[row]), decDecimal);
    QCOMPARE(qs(out.dec.hex_rows[row]), decHex);
}

void tst_Calculate::tableRows_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<bool>("ra");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("decimal");
    QTest::newRow("RA 0 at 250 kHz") << int(kClock250kHz) << true << 0 << "0AF5"
                                     << " 2804";
}

void tst_Calculate::tableRows()
{
    QFETCH(int, clock);
    QFETCH(bool, ra);
    QFETCH(int, row);
    QFETCH(QString, hex);
    QFETCH(QString, decimal);
    CALCULATED(out, with_clock(clock));
    const AxisOutput &axis = ra ? out.ra : out.dec;
    QCOMPARE(qs(axis.hex_rows[row]), hex);
    QCOMPARE(qs(axis.decimal_rows[row]), decimal);
}

void tst_Calculate::speedTableMirrorsHexBoxes()
{
    CALCULATED(out, CalcInput{});
    for (int i = 0; i < kTableRows; ++i) {
        QCOMPARE(out.speed_table.cell(SpeedTable::kRaColumn, i), out.ra.hex_rows[i]);
        QCOMPARE(out.speed_table.cell(SpeedTable::kDecColumn, i), out.dec.hex_rows[i]);
        QVERIFY(!out.speed_table.cell(2, i).has_value());
    }
    for (int c = 0; c < SpeedTable::kColumns; ++c)
        QVERIFY(!out.speed_table.cell(c, 50).has_value());
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, out.speed_table.cell(0, 51));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, out.speed_table.cell(3, 0));
}

void tst_Calculate::clockChangesOnlyDivisors()
{
    CALCULATED(fast, with_clock(kClock2MHz));
    CALCULATED(slow, with_clock(kClock250kHz));
    QCOMPARE(slow.ra.total, fast.ra.total);
    QCOMPARE(slow.ra.reference, fast.ra.reference);
    QCOMPARE(slow.dec.total, fast.dec.total);
    QCOMPARE(slow.dec.reference, fast.dec.reference);
    QCOMPARE(slow.ra.total_hex, fast.ra.total_hex);
    QCOMPARE(slow.dec.total_hex, fast.dec.total_hex);
    QVERIFY(slow.ra.hex_rows != fast.ra.hex_rows);
}

void tst_Calculate::repeatable()
{
    CALCULATED(a, CalcInput{});
    CALCULATED(b, CalcInput{});
    QCOMPARE(a.ra.decimal_rows, b.ra.decimal_rows);
    QCOMPARE(a.ra.hex_rows, b.ra.hex_rows);
    QCOMPARE(a.dec.decimal_rows, b.dec.decimal_rows);
    QCOMPARE(a.dec.hex_rows, b.dec.hex_rows);
    for (int k = 0; k < kRateCount; ++k) {
        QCOMPARE(a.rates[k].decimal, b.rates[k].decimal);
        QCOMPARE(a.rates[k].hex, b.rates[k].hex);
    }
    QVERIFY(a.speed_table == b.speed_table);
}

void tst_Calculate::inputsReadLeniently_data()
{
    QTest::addColumn<QStringList>("dec");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QString>("totalHex");
    QTest::newRow("2.5") << QStringList{"144", "2.5", "200", "10", "16"} << " 11520000"
                         << "AFC800";
    QTest::newRow("2,5 reads as 2") << QStringList{"144", "2,5", "200", "10", "16"} << " 9216000"
                                    << "8CA000";
    QTest::newRow("trailing text") << QStringList{"144abc", "2.5", "200", "10", "16"} << " 11520000"
                                   << "AFC800";
    QTest::newRow("fractional total shows its fraction")
        << QStringList{"144", "2.5", "200", "10.0001", "16"} << " 11520115.2"
        << "AFC873";
    QTest::newRow("fraction rounds half to even in hex")
        << QStringList{"23040001", "0.5", "1", "1", "1"} << " 11520000.5"
        << "AFC800";
}

void tst_Calculate::inputsReadLeniently()
{
    QFETCH(QStringList, dec);
    QFETCH(QString, total);
    QFETCH(QString, totalHex);
    CalcInput input;
    input.dec = drive_train(dec);
    CALCULATED(out, input);
    QCOMPARE(qs(out.dec.total), total);
    QCOMPARE(qs(out.dec.total_hex), totalHex);
}

void tst_Calculate::negativeInputs()
{
    CalcInput input;
    input.ra[kWorm] = "-240";
    CALCULATED(out, input);
    QCOMPARE(qs(out.ra.total), QStringLiteral("-15360000"));
    QCOMPARE(qs(out.ra.reference), QStringLiteral("-179")); // floored toward minus infinity
    QCOMPARE(qs(out.ra.total_hex), QStringLiteral("15A000"));
    QCOMPARE(qs(out.ra.decimal_rows[0]), QStringLiteral("-22439"));
    QCOMPARE(qs(out.ra.hex_rows[0]), QStringLiteral("A859"));
    QCOMPARE(qs(out.rates[0].decimal), QStringLiteral("-11250"));
    QCOMPARE(qs(out.rates[0].hex), QStringLiteral("D40E"));
}

void tst_Calculate::wideDivisorKeepsLowDigits()
{
    CalcInput input;
    input.ra = {"100", "1", "200", "10", "5"};
    CALCULATED(out, input);
    QCOMPARE(qs(out.ra.decimal_rows[0]), QStringLiteral(" 344656"));
    QCOMPARE(qs(out.ra.hex_rows[0]), QStringLiteral("4250"));
    QCOMPARE(out.speed_table.cell(SpeedTable::kRaColumn, 0), std::optional<std::string>("4250"));

    input = CalcInput{};
    input.ra[kMicrostep] = "32";
    CALCULATED(wide, input);
    QCOMPARE(qs(wide.ra.total), QStringLiteral(" 30720000"));
    QCOMPARE(qs(wide.ra.total_hex), QStringLiteral("D4C000"));
}

// Over many drive trains, every row follows the box pipeline: the hex box is
// the low 16 bits of the rounded first display form, the decimal box the
// floor of that same form, and the table mirrors the hex boxes.
void tst_Calculate::randomDriveTrains()
{
    std::mt19937 rng(7300);
    std::uniform_int_distribution<int> worm(20, 720);
    std::uniform_real_distribution<double> ratio(0.5, 6.0);
    std::uniform_int_distribution<int> motor_pick(0, 2);
    std::uniform_int_distribution<int> micro_pick(0, 6);
    const int motors[] = {48, 200, 400};
    const int micros[] = {1, 2, 4, 8, 16, 32, 64};
    for (int trial = 0; trial < 400; ++trial) {
        CalcInput input;
        input.base_clock = trial % 2 ? kClock250kHz : kClock2MHz;
        auto fill = [&](DriveTrainTexts &t) {
            char buf[32];
            t[kWorm] = std::to_string(worm(rng));
            std::snprintf(buf, sizeof buf, "%.3f", ratio(rng));
            t[kIntermediateGear] = buf;
            t[kMotor] = std::to_string(motors[motor_pick(rng)]);
            std::snprintf(buf, sizeof buf, "%.2f", ratio(rng) * 10);
            t[kReductionGear] = buf;
            t[kMicrostep] = std::to_string(micros[micro_pick(rng)]);
        };
        fill(input.ra);
        fill(input.dec);
        const CalcResult result = calculate(input);
        if (const auto *f = std::get_if<CalcFailure>(&result)) {
            // Only a divisor beyond 32 bits may stop a sane drive train.
            QCOMPARE(f->cause, FailureCause::NotInt32);
            continue;
        }
        const auto &out = std::get<CalcOutput>(result);
        const double totals[2] = {axis_total(input.ra), axis_total(input.dec)};
        for (int axis = 0; axis < 2; ++axis) {
            const AxisOutput &half = axis == 0 ? out.ra : out.dec;
            for (int i = 0; i < kTableRows; ++i) {
                const Expected e = oracle(input.base_clock, totals[axis], kRowMultipliers[i]);
                const std::string &hex = half.hex_rows[i];
                const std::string &decimal = half.decimal_rows[i];
                QCOMPARE(qs(hex), qs(e.hex));
                QCOMPARE(lenient_parse(decimal), e.floored);
                QCOMPARE(out.speed_table.cell(axis, i), hex);
            }
        }
        for (int k = 0; k < kRateCount; ++k) {
            const double divisor = input.base_clock / ((totals[0] / kRateDays[k]) * 1);
            char shown[64];
            std::snprintf(shown, sizeof shown, "%.15g", divisor);
            QCOMPARE(lenient_parse(out.rates[k].decimal), std::floor(std::strtod(shown, nullptr)));
        }
    }
}

void tst_Calculate::failures_data()
{
    QTest::addColumn<QStringList>("ra");
    QTest::addColumn<QStringList>("dec");
    QTest::addColumn<int>("axis");
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("cause");
    QTest::addColumn<int>("index");
    const QStringList ra{"240", "2", "200", "10", "16"};
    const QStringList dec{"144", "2.5", "200", "10", "16"};
    auto row = [&](const char *name, const QStringList &r, const QStringList &d, Axis axis,
                   CalcStage stage, FailureCause cause, int index) {
        QTest::newRow(name) << r << d << int(axis) << int(stage) << int(cause) << index;
    };
    row("RA product overflows", {"1e300", "1e300", "200", "10", "16"}, dec, Axis::Ra,
        CalcStage::Total, FailureCause::TotalNotFinite, -1);
    row("RA input beyond doubles", {"1e400", "2", "200", "10", "16"}, dec, Axis::Ra,
        CalcStage::Total, FailureCause::TotalNotFinite, -1);
    row("RA infinity times zero", {"1e400", "0", "200", "10", "16"}, dec, Axis::Ra,
        CalcStage::Total, FailureCause::TotalNotFinite, -1);
    row("RA empty box gives zero total", {"", "2", "200", "10", "16"}, dec, Axis::Ra,
        CalcStage::RateDivisors, FailureCause::ZeroTotal, 50);
    row("RA total too small for any rate", {"1e-320", "1", "1", "1", "1"}, dec, Axis::Ra,
        CalcStage::RateDivisors, FailureCause::DivisorNotFinite, 50);
    row("RA divisor beyond 32 bits", {"1", "1", "1", "1", "1"}, dec, Axis::Ra, CalcStage::HexDigits,
        FailureCause::NotInt32, 0);
    row("RA total beyond 32 bits", {"240", "2", "200", "10", "10000"}, dec, Axis::Ra,
        CalcStage::TotalHex, FailureCause::NotInt32, -1);
    row("DEC product overflows", ra, {"1e200", "1e200", "1", "1", "1"}, Axis::Dec, CalcStage::Total,
        FailureCause::TotalNotFinite, -1);
    row("DEC zero total", ra, {"144", "abc", "200", "10", "16"}, Axis::Dec, CalcStage::RowDivisors,
        FailureCause::ZeroTotal, 0);
    row("DEC divisor beyond 32 bits", ra, {"1", "1", "1", "1", "1"}, Axis::Dec,
        CalcStage::HexDigits, FailureCause::NotInt32, 0);
    row("DEC total beyond 32 bits", ra, {"144", "2.5", "200", "10", "10000"}, Axis::Dec,
        CalcStage::TotalHex, FailureCause::NotInt32, -1);
}

void tst_Calculate::failures()
{
    QFETCH(QStringList, ra);
    QFETCH(QStringList, dec);
    QFETCH(int, axis);
    QFETCH(int, stage);
    QFETCH(int, cause);
    QFETCH(int, index);
    CalcInput input;
    input.ra = drive_train(ra);
    input.dec = drive_train(dec);
    FAILED(f, input);
    QCOMPARE(int(f.axis), axis);
    QCOMPARE(int(f.stage), stage);
    QCOMPARE(int(f.cause), cause);
    QCOMPARE(f.index, index);
}

QTEST_APPLESS_MAIN(tst_Calculate)
#include "tst_calculate.moc"
