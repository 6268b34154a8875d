#include "accuracy.h"
#include "calctexts.h"

#include <QTest>

#include <cmath>

using namespace calc;

// Figures below are worked by hand with exact fractions (python3 Fraction):
//   asked = total / day × multiplier,  got = clock / divisor,
//   ppm = (got − asked) / asked × 1e6,  drift = (got − asked) × 3600 / total × 1296000.
// Default totals: RA 240·2·200·10·16 = 15360000, DEC 144·2.5·200·10·16 = 11520000.

namespace {

constexpr int kNone = -1;

bool close_relative(double got, double want)
{
    return std::fabs(got - want) <= 1e-9 * std::fabs(want);
}

#define COMPARE_RATE(got, want)                                                                    \
    QVERIFY2(close_relative(got, want),                                                            \
             qPrintable(QStringLiteral("%1 vs %2").arg(got, 0, 'g', 17).arg(want, 0, 'g', 17)))
#define COMPARE_ABS(got, want, tolerance)                                                          \
    QVERIFY2(std::fabs((got) - (want)) <= (tolerance),                                             \
             qPrintable(QStringLiteral("%1 vs %2").arg(got, 0, 'g', 17).arg(want, 0, 'g', 17)))

} // namespace

class tst_Accuracy : public QObject {
    Q_OBJECT

private slots:
    void defaultDriveTrain_data();
    void defaultDriveTrain();
    void resolution();
    void representability_data();
    void representability();
    void editedHexText_data();
    void editedHexText();
    void currentBoxTexts();
    void indexOutsideTheAxis();
};

void tst_Accuracy::defaultDriveTrain_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<bool>("ra");
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("asked");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<double>("ppm");
    QTest::addColumn<double>("drift"); // NaN: no drift for this speed
    const double none = std::nan("");
    // RA sidereal 15360000/86164 = 178.264704516968 Hz; divisor 11219.2708 → 11219.
    const double ra1 = 178.26470451696764;
    QTest::newRow("RA 04 at 2 MHz")
        << 2000000 << true << 3 << ra1 << "2BD3" << 24.14059482 << 1.30716261;
    QTest::newRow("RA 05 repeats 04")
        << 2000000 << true << 4 << ra1 << "2BD3" << 24.14059482 << 1.30716261;
    // 8975.4167 → 8975.
    QTest::newRow("RA 06 at 1.25")
        << 2000000 << true << 5 << 222.83088064620955 << "230F" << 46.42525534 << 3.14228784;
    // 5609.6354 → 5610: the last row that still tracks.
    QTest::newRow("RA 09 at 2 drifts")
        << 2000000 << true << 8 << 356.5294090339353 << "15EA" << -64.98811646 << -7.03794058;
    QTest::newRow("RA 10 at 4 has no drift")
        << 2000000 << true << 9 << 713.0588180678706 << "0AF5" << -64.98811646 << none;
    // 1402.4089 → 1402.
    QTest::newRow("RA 04 at 250 kHz")
        << 250000 << true << 3 << ra1 << "057A" << 291.62208749 << 15.79072480;
    // DEC 0.5 × 11520000/86164 = 66.849264 Hz; 29918.0556 → 29918, 3739.7569 → 3740.
    QTest::newRow("DEC 01 at 2 MHz")
        << 2000000 << false << 0 << 66.84926419386287 << "74DE" << 1.85692745 << 0.05027436;
    QTest::newRow("DEC 01 at 250 kHz")
        << 250000 << false << 0 << 66.84926419386287 << "0E9C" << -64.98811646 << -1.75948515;
    // Solar 11250 exactly; lunar 11647.7865 → 11648; King 11222.6563 → 11223.
    QTest::newRow("solar at 2 MHz is exact")
        << 2000000 << true << 50 << 177.77777777777777 << "2BF2" << 0.0 << 0.0;
    QTest::newRow("lunar at 2 MHz")
        << 2000000 << true << 51 << 171.7064445810743 << "2D80" << -18.33290408 << -0.95616787;
    QTest::newRow("King at 2 MHz")
        << 2000000 << true << 52 << 178.21092934215108 << "2BD7" << -30.62906531 << -1.65799939;
    // 1406.25 ties to even 1406; 1455.9733 → 1456; 1402.8320 → 1403.
    QTest::newRow("solar at 250 kHz")
        << 250000 << true << 50 << 177.77777777777777 << "057E" << 177.80938834 << 9.60170697;
    QTest::newRow("lunar at 250 kHz")
        << 250000 << true << 51 << 171.7064445810743 << "05B0" << -18.33290408 << -0.95616787;
    QTest::newRow("King at 250 kHz")
        << 250000 << true << 52 << 178.21092934215108 << "057B" << -119.72113329 << -6.48069288;
}

// Through Calculate, so the hex boxes it makes are what is measured.
void tst_Accuracy::defaultDriveTrain()
{
    QFETCH(int, clock);
    QFETCH(bool, ra);
    QFETCH(int, index);
    QFETCH(double, asked);
    QFETCH(QString, sent);
    QFETCH(double, ppm);
    QFETCH(double, drift);
    CalcInput input;
    input.base_clock = clock;
    const CalcResult result = calculate(input);
    QVERIFY(std::holds_alternative<CalcOutput>(result));
    const TableAccuracy table = accuracy_for(input, std::get<CalcOutput>(result));
    const EntryAccuracy &e =
        (ra ? table.ra : table.dec).entries.at(static_cast<std::size_t>(index));

    QCOMPARE(e.index, index);
    QVERIFY(!e.problem);
    COMPARE_RATE(e.asked_hz, asked);
    QCOMPARE(qs(e.sent), sent);
    QVERIFY(e.got_hz && e.error_ppm);
    COMPARE_RATE(*e.got_hz, clock / double(sent.toInt(nullptr, 16)));
    COMPARE_ABS(*e.error_ppm, ppm, 0.01);
    QCOMPARE(e.drift_arcsec_per_hour.has_value(), !std::isnan(drift));
    if (e.drift_arcsec_per_hour)
        COMPARE_ABS(*e.drift_arcsec_per_hour, drift, 1e-6);
}

void tst_Accuracy::resolution()
{
    CalcInput input;
    const TableAccuracy table = accuracy_for(input, std::get<CalcOutput>(calculate(input)));
    QCOMPARE(table.ra.entries.size(), std::size_t(kRaBoxes));
    QCOMPARE(table.dec.entries.size(), std::size_t(kTableRows));
    // 1296000 / 15360000 and 1296000 / 11520000.
    COMPARE_RATE(table.ra.arcsec_per_step, 0.084375);
    COMPARE_RATE(table.dec.arcsec_per_step, 0.1125);
}

void tst_Accuracy::representability_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<int>("reason"); // kNone: representable
    QTest::addColumn<double>("divisor");
    QTest::addColumn<int>("fit"); // kNone: no suggestion
    QTest::addColumn<int>("fitClock");
    QTest::addColumn<qint64>("fitMicrostep");
    QTest::addColumn<int>("fitDivisor");
    QTest::addColumn<double>("got"); // 0: nothing the timer can count
    const int tooLarge = int(Unrepresentable::DivisorTooLarge);
    const int slow = int(FitChange::SlowClock);
    const int micro = int(FitChange::LargerMicrostep);

    // Total 1000000: 2e6 × 86164 / 500000 = 344656 = 0x54250; ÷ 8 = 43082 fits.
    QTest::newRow("344656 fits at 250 kHz")
        << 2000000 << QStringList{"100", "1", "200", "10", "5"} << 0 << "4250" << tooLarge
        << 344656.0 << slow << 250000 << qint64(0) << 43082 << 2e6 / 0x4250;
    // Total 100000 at 250 kHz: 430820 = 0x692E4; with microstep u the divisor is
    // 2154100/u: u = 32 gives 67315.6, u = 33 gives 65275.76 → 65276.
    QTest::newRow("microstep 33 at 250 kHz")
        << 250000 << QStringList{"100", "1", "200", "1", "5"} << 0 << "92E4" << tooLarge << 430820.0
        << micro << 250000 << qint64(33) << 65276 << 250000.0 / 0x92E4;
    // At 2 MHz 3446560 = 0x349720, ÷ 8 = 430820 is still too large; 17232800/u:
    // u = 262 gives 65774.0, u = 263 gives 65523.95 → 65524 (total 5260000).
    QTest::newRow("250 kHz not enough, microstep 263")
        << 2000000 << QStringList{"100", "1", "200", "1", "5"} << 0 << "9720" << tooLarge
        << 3446560.0 << micro << 2000000 << qint64(263) << 65524 << 2e6 / 0x9720;
    // Total 200000 at 250 kHz: 215410 = 0x34972; microstep 1 would fit (2154.1)
    // but makes the total 20000000, beyond six hex digits.
    QTest::newRow("no simple fit")
        << 250000 << QStringList{"1000", "1", "1000", "20", "0.01"} << 0 << "4972" << tooLarge
        << 215410.0 << kNone << 0 << qint64(0) << 0 << 250000.0 / 0x4972;
    // Solar with total 2636718.75: 2e6 × 86400 / 2636718.75 = 65536 exactly.
    QTest::newRow("65536 loses every digit")
        << 2000000 << QStringList{"2636718.75", "1", "1", "1", "1"} << 50 << "0000" << tooLarge
        << 65536.0 << slow << 250000 << qint64(0) << 8192 << 0.0;
    // 2e6 × 86400 / 2636759 = 65534.9996 → 65535 still fits.
    QTest::newRow("65535 fits") << 2000000 << QStringList{"2636759", "1", "1", "1", "1"} << 50
                                << "FFFF" << kNone << 65535.0 << kNone << 0 << qint64(0) << 0
                                << 2e6 / 65535;
    // -22438.54 → -22439, sent as its two's complement A859 = 43097.
    QTest::newRow("negative row") << 2000000 << QStringList{"-240", "2", "200", "10", "16"} << 0
                                  << "A859" << int(Unrepresentable::DivisorNegative) << -22439.0
                                  << kNone << 0 << qint64(0) << 0 << 2e6 / 43097;
    QTest::newRow("negative solar") << 2000000 << QStringList{"-240", "2", "200", "10", "16"} << 50
                                    << "D40E" << int(Unrepresentable::DivisorNegative) << -11250.0
                                    << kNone << 0 << qint64(0) << 0 << 2e6 / 0xD40E;
    // Total 1.6e10, row 50: 2e6 × 86164 / (250 × 1.6e10) = 0.043 → 0.
    QTest::newRow("too fast rounds to zero")
        << 2000000 << QStringList{"1e9", "1", "1", "1", "16"} << 49 << "0000"
        << int(Unrepresentable::DivisorZero) << 0.0 << kNone << 0 << qint64(0) << 0 << 0.0;
}

void tst_Accuracy::representability()
{
    QFETCH(int, clock);
    QFETCH(QStringList, inputs);
    QFETCH(int, index);
    QFETCH(QString, hex);
    QFETCH(int, reason);
    QFETCH(double, divisor);
    QFETCH(int, fit);
    QFETCH(int, fitClock);
    QFETCH(qint64, fitMicrostep);
    QFETCH(int, fitDivisor);
    QFETCH(double, got);
    const EntryAccuracy e =
        entry_accuracy(clock, drive_train(inputs), Axis::Ra, index, hex.toStdString());
    QCOMPARE(e.calculated_divisor, divisor);
    QCOMPARE(e.got_hz.has_value(), got != 0);
    if (e.got_hz)
        COMPARE_RATE(*e.got_hz, got);
    QCOMPARE(e.problem.has_value(), reason != kNone);
    if (!e.problem) {
        QVERIFY(e.error_ppm);
        return;
    }
    QVERIFY(!e.error_ppm && !e.drift_arcsec_per_hour);
    QCOMPARE(int(e.problem->reason), reason);
    QCOMPARE(e.problem->divisor, divisor);
    QCOMPARE(e.problem->fit.has_value(), fit != kNone);
    if (fit != kNone) {
        const FitSuggestion want{FitChange(fit), fitClock, fitMicrostep, fitDivisor};
        QCOMPARE(*e.problem->fit, want);
    }
}

void tst_Accuracy::editedHexText_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<int>("reason");
    QTest::addColumn<double>("ppm");
    // RA row 04 at 2 MHz asks 178.264704516968 Hz (divisor 11219.27).
    QTest::newRow("as calculated") << "2BD3"
                                   << "2BD3" << kNone << 24.14059482;
    // 2e6 / 11220 = 178.253119 Hz.
    QTest::newRow("one more") << "2BD4"
                              << "2BD4" << kNone << -64.98811646;
    QTest::newRow("lower case") << "2bd4"
                                << "2bd4" << kNone << -64.98811646;
    QTest::newRow("leading characters dropped") << "12BD4"
                                                << "2BD4" << kNone << -64.98811646;
    QTest::newRow("leading space dropped") << " 2BD4"
                                           << "2BD4" << kNone << -64.98811646;
    // 2e6 / 7 = 285714.2857 Hz.
    QTest::newRow("short text padded") << "7"
                                       << "0007" << kNone << 1601752976.19047619;
    QTest::newRow("emptied") << ""
                             << "0000" << int(Unrepresentable::DivisorZero) << 0.0;
    QTest::newRow("zero") << "0000"
                          << "0000" << int(Unrepresentable::DivisorZero) << 0.0;
    QTest::newRow("start-up blank") << " "
                                    << "000 " << int(Unrepresentable::NotHexadecimal) << 0.0;
    QTest::newRow("trailing space") << "2BD3 "
                                    << "BD3 " << int(Unrepresentable::NotHexadecimal) << 0.0;
    QTest::newRow("letters") << "xyz"
                             << "0xyz" << int(Unrepresentable::NotHexadecimal) << 0.0;
    QTest::newRow("full-width digit is one character")
        << "12２"
        << "012?" << int(Unrepresentable::NotHexadecimal) << 0.0;
    QTest::newRow("character outside the BMP is one character")
        << "12\U0001F600"
        << "012?" << int(Unrepresentable::NotHexadecimal) << 0.0;
}

void tst_Accuracy::editedHexText()
{
    QFETCH(QString, hex);
    QFETCH(QString, sent);
    QFETCH(int, reason);
    QFETCH(double, ppm);
    const EntryAccuracy e = entry_accuracy(kClock2MHz, kDefaultRa, Axis::Ra, 3, hex.toStdString());
    QCOMPARE(qs(e.sent), sent);
    QCOMPARE(e.calculated_divisor, 11219.0);
    if (reason == kNone) {
        QVERIFY(!e.problem && e.error_ppm);
        QVERIFY(std::fabs(*e.error_ppm - ppm) <= std::max(0.01, std::fabs(ppm) * 1e-9));
    } else {
        QVERIFY(e.problem && !e.error_ppm && !e.got_hz);
        QCOMPARE(int(e.problem->reason), reason);
        QVERIFY(!e.problem->fit);
    }
}

// The window passes its boxes as they stand and the clock picked now.
void tst_Accuracy::currentBoxTexts()
{
    CalcInput input;
    const CalcOutput out = std::get<CalcOutput>(calculate(input));
    auto ra_hex = out.ra.hex_rows;
    auto dec_hex = out.dec.hex_rows;
    const std::array<std::string, kRateCount> rate_hex{out.rates[0].hex, out.rates[1].hex, "2BF3"};
    ra_hex[3] = "2BD4";
    dec_hex[0] = "74DF";
    TableAccuracy table = accuracy_for(input, ra_hex, rate_hex, dec_hex);
    COMPARE_ABS(*table.ra.entries[3].error_ppm, -64.98811646, 0.01);
    COMPARE_ABS(*table.ra.entries[4].error_ppm, 24.14059482, 0.01);
    // 2e6 / 29919 against 66.849264 Hz: 29918.0556 / 29919 − 1.
    COMPARE_ABS(*table.dec.entries[0].error_ppm, -31.56671160, 0.01);
    // King 2e6 / 0x2BF3 (11251) against 178.210929 Hz: 11222.65625 / 11251 − 1.
    QCOMPARE(table.ra.entries[kSolarRow + 2].index, kSolarRow + 2);
    COMPARE_ABS(*table.ra.entries[kSolarRow + 2].error_ppm, -2519.2205, 0.01);

    // 250 kHz picked after a 2 MHz Calculate: 250000 / 11219 = 22.2836 Hz.
    input.base_clock = kClock250kHz;
    table = accuracy_for(input, out.ra.hex_rows, rate_hex, out.dec.hex_rows);
    COMPARE_RATE(*table.ra.entries[3].got_hz, 22.283625991621356);
    COMPARE_ABS(*table.ra.entries[3].error_ppm, -874996.98242565, 0.01);
}

void tst_Accuracy::indexOutsideTheAxis()
{
    QVERIFY_THROWS_EXCEPTION(std::out_of_range,
                             entry_accuracy(kClock2MHz, kDefaultDec, Axis::Dec, 50, "2BF2"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range,
                             entry_accuracy(kClock2MHz, kDefaultRa, Axis::Ra, 53, "2BF2"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range,
                             entry_accuracy(kClock2MHz, kDefaultRa, Axis::Ra, -1, "2BF2"));
}

QTEST_APPLESS_MAIN(tst_Accuracy)
#include "tst_accuracy.moc"
