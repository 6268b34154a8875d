#include "advisor.h"
#include "calctexts.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

using namespace calc;

// The advisor checked against a computation of its own, written from the
// controller's arithmetic rather than from the engine:
//   total = product of the five values,  asked = total ÷ day × multiplier,
//   divisor = clock ÷ asked to 15 digits, to the nearest whole number
//   (halves to even; usable: 1 … FFFF),
//   ppm = (clock ÷ divisor − asked) ÷ asked × 1e6,  total usable up to FFFFFF.
// Note that 250 kHz with factor m and 2 MHz with 8m give the same divisors,
// so their errors tie and the larger factor must win.

namespace {

const double kMultipliers[50] = {0.5, 0.7, 0.75, 1,   1,   1.25, 1.3, 1.5, 2,   4,   8,   12,  14,
                                 16,  16,  16,   20,  30,  40,   50,  60,  70,  80,  90,  100, 110,
                                 120, 130, 140,  150, 155, 160,  165, 170, 175, 180, 185, 190, 195,
                                 200, 205, 210,  215, 220, 225,  230, 235, 240, 245, 250};
const double kDays[3] = {86400, 89455, 86190};

struct Own {
    int clock = 0;
    int microstep = 0;
    bool cut = false;
    std::optional<double> sidereal;
    std::optional<double> worst;
    std::vector<std::optional<double>> rates;
};

std::optional<double> own_ppm(double total, int clock, double day, double multiplier)
{
    const double asked = total / day * multiplier;
    // The window writes the quotient to 15 significant digits and rounds
    // that text, halves to even: 53852.5 is 53852.
    const double divisor = std::nearbyint(QString::number(clock / asked, 'g', 15).toDouble());
    if (!(divisor >= 1 && divisor <= 0xFFFF))
        return std::nullopt;
    return (clock / divisor - asked) / asked * 1e6;
}

Own own(const QStringList &train, int clock, int microstep, bool ra)
{
    double total = microstep;
    for (int i = 0; i < 4; ++i)
        total *= train[i].toDouble();
    Own o{clock, microstep, std::nearbyint(total) > 0xFFFFFF || total < 0, {}, {}, {}};
    // Calculate itself gives up on a total past 32 bits: no table, no figures.
    if (std::nearbyint(total) > 2147483647.0)
        return o;
    for (int i = 0; i < 50; ++i) {
        const auto ppm = own_ppm(total, clock, 86164, kMultipliers[i]);
        o.cut = o.cut || !ppm;
        if (i == 3)
            o.sidereal = ppm;
        if (ppm && kMultipliers[i] <= 2)
            o.worst = std::max(o.worst.value_or(0), std::fabs(*ppm));
    }
    for (int k = 0; ra && k < 3; ++k) {
        o.rates.push_back(own_ppm(total, clock, kDays[k], 1));
        o.cut = o.cut || !o.rates.back();
    }
    return o;
}

long long hundredths(const std::optional<double> &ppm)
{
    return ppm ? std::llround(std::fabs(*ppm) * 100) : 1LL << 62;
}

std::vector<Own> own_ranking(const QStringList &train, bool ra)
{
    std::vector<Own> all;
    for (const int clock : {2000000, 250000})
        for (int m = 1; m <= 256; m *= 2)
            all.push_back(own(train, clock, m, ra));
    std::stable_sort(all.begin(), all.end(), [](const Own &a, const Own &b) {
        if (a.cut != b.cut)
            return !a.cut;
        if (hundredths(a.sidereal) != hundredths(b.sidereal))
            return hundredths(a.sidereal) < hundredths(b.sidereal);
        if (hundredths(a.worst) != hundredths(b.worst))
            return hundredths(a.worst) < hundredths(b.worst);
        return a.microstep > b.microstep;
    });
    return all;
}

bool same(const std::optional<double> &got, const std::optional<double> &want)
{
    return got.has_value() == want.has_value() && (!got || std::fabs(*got - *want) < 1e-6);
}

QString describe(const Candidate &c)
{
    return QStringLiteral("%1 Hz × %2 cut %3 sidereal %4 worst %5")
        .arg(c.base_clock)
        .arg(c.microstep)
        .arg(c.cut)
        .arg(c.sidereal_ppm.value_or(NAN))
        .arg(c.worst_ppm_to_2x.value_or(NAN));
}

void compare_ranking(const std::vector<Candidate> &got, const std::vector<Own> &want)
{
    QCOMPARE(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        const Candidate &c = got[i];
        const Own &w = want[i];
        const QString where =
            QStringLiteral("place %1: %2; want %3 Hz × %4 cut %5 sidereal %6 worst %7")
                .arg(i)
                .arg(describe(c))
                .arg(w.clock)
                .arg(w.microstep)
                .arg(w.cut)
                .arg(w.sidereal.value_or(NAN))
                .arg(w.worst.value_or(NAN));
        QVERIFY2(c.base_clock == w.clock && c.microstep == w.microstep, qPrintable(where));
        QVERIFY2(c.cut == w.cut, qPrintable(where));
        QVERIFY2(same(c.sidereal_ppm, w.sidereal), qPrintable(where));
        QVERIFY2(same(c.worst_ppm_to_2x, w.worst), qPrintable(where));
        for (std::size_t k = 0; k < w.rates.size(); ++k)
            QVERIFY2(same(c.rate_ppm[k], w.rates[k]), qPrintable(where));
    }
}

} // namespace

class tst_Advisor : public QObject {
    Q_OBJECT

private slots:
    void ranking_data();
    void ranking();
    void ranksBefore_data();
    void ranksBefore();
    void currentSettingAsTyped();
};

void tst_Advisor::ranking_data()
{
    QTest::addColumn<QStringList>("ra");
    QTest::addColumn<QStringList>("dec");
    QTest::addColumn<int>("clock");
    QTest::addColumn<int>("raMicrostep");
    QTest::addColumn<int>("decMicrostep");
    const QStringList ra = {"240", "2", "200", "10", "16"};
    const QStringList dec = {"144", "2.5", "200", "10", "16"};
    // Factor 8 at 2 MHz: −20.43 ppm, ahead of 250 kHz × 1 only by its factor.
    QTest::newRow("default drive trains") << ra << dec << 2000000 << 8 << 8;
    // Row 01's divisor is over FFFF at 2 MHz for every factor up to 256.
    const QStringList small = {"100", "1", "200", "1", "16"};
    QTest::newRow("every 2 MHz candidate cut") << small << small << 250000 << 64 << 64;
    // 2 MHz × 256 has the smallest sidereal error (−4.68 ppm) but row 01 is cut.
    const QStringList best_cut = {"61", "1", "200", "1", "16"};
    QTest::newRow("best cut at 256") << best_cut << best_cut << 250000 << 64 << 64;
    // 250 kHz × 1: row 01's divisor is 65534.92 → FFFF, still usable …
    const QStringList at_ffff = {"657390", "1", "1", "1", "16"};
    QTest::newRow("row divisor exactly FFFF") << at_ffff << at_ffff << 2000000 << 8 << 8;
    // … and 65535.92 → 10000, cut.
    const QStringList over_ffff = {"657380", "1", "1", "1", "16"};
    QTest::newRow("row divisor one over FFFF") << over_ffff << over_ffff << 2000000 << 16 << 16;
    // Factor 1 is the only one whose total fits six hex digits.
    const QStringList at_total = {"16777215", "1", "1", "1", "1"};
    QTest::newRow("total exactly FFFFFF") << at_total << ra << 2000000 << 1 << 8;
    // Calculate stops on DEC's 32-bit total at × 256: RA's figures still count.
    QTest::newRow("total exactly FFFFFF on DEC") << ra << at_total << 2000000 << 8 << 1;
    const QStringList over_total = {"16777216", "1", "1", "1", "1"};
    QTest::newRow("total one over FFFFFF") << over_total << ra << 2000000 << 1 << 8;
    QTest::newRow("fractional gears, different axes")
        << QStringList{"180", "3.5", "400", "5", "16"} << QStringList{"90", "3", "200", "4", "16"}
        << 2000000 << 8 << 32;
    // Nothing can be run: every candidate cut, the larger factor first.
    const QStringList reversed = {"240", "2", "200", "-10", "16"};
    QTest::newRow("negative gear, all cut") << reversed << dec << 2000000 << 256 << 8;
}

void tst_Advisor::ranking()
{
    QFETCH(QStringList, ra);
    QFETCH(QStringList, dec);
    QFETCH(int, clock);
    QFETCH(int, raMicrostep);
    QFETCH(int, decMicrostep);

    const Advice advice = advise(drive_train(ra), drive_train(dec));
    compare_ranking(advice.ra, own_ranking(ra, true));
    compare_ranking(advice.dec, own_ranking(dec, false));
    QCOMPARE(advice.base_clock, clock);
    QCOMPARE(advice.ra_microstep, raMicrostep);
    QCOMPARE(advice.dec_microstep, decMicrostep);
    for (const Candidate &c : advice.dec)
        QVERIFY(c.axis == Axis::Dec && !c.rate_ppm[0]);
}

void tst_Advisor::ranksBefore_data()
{
    QTest::addColumn<bool>("cutA");
    QTest::addColumn<double>("siderealA");
    QTest::addColumn<double>("worstA");
    QTest::addColumn<int>("microstepA");
    QTest::addColumn<double>("siderealB");
    QTest::addColumn<double>("worstB");
    QTest::addColumn<int>("microstepB");
    QTest::addColumn<bool>("aFirst");
    // b is never cut.
    QTest::newRow("cut loses to any error")
        << true << 0.0 << 0.0 << 256 << 900.0 << 900.0 << 1 << false;
    QTest::newRow("sign ignored") << false << -20.0 << 30.0 << 8 << 20.5 << 10.0 << 16 << true;
    QTest::newRow("sidereal differs by 0.01")
        << false << 20.004 << 30.0 << 8 << 20.014 << 1.0 << 16 << true;
    QTest::newRow("sidereal within rounding, worst decides")
        << false << 20.004 << 29.0 << 8 << 20.0 << 30.0 << 16 << true;
    QTest::newRow("worst within rounding, larger factor wins")
        << false << 20.0 << 30.004 << 8 << 20.004 << 30.0 << 16 << false;
    QTest::newRow("all equal, larger factor wins")
        << false << 20.0 << 30.0 << 32 << 20.0 << 30.0 << 16 << true;
}

void tst_Advisor::ranksBefore()
{
    QFETCH(bool, cutA);
    QFETCH(double, siderealA);
    QFETCH(double, worstA);
    QFETCH(int, microstepA);
    QFETCH(double, siderealB);
    QFETCH(double, worstB);
    QFETCH(int, microstepB);
    QFETCH(bool, aFirst);
    Candidate a;
    a.cut = cutA;
    a.sidereal_ppm = siderealA;
    a.worst_ppm_to_2x = worstA;
    a.microstep = microstepA;
    Candidate b;
    b.sidereal_ppm = siderealB;
    b.worst_ppm_to_2x = worstB;
    b.microstep = microstepB;
    QCOMPARE(ranks_before(a, b), aFirst);
    QCOMPARE(ranks_before(b, a), !aFirst);
}

// The window shows the setting as typed beside the ranked ones: factor 10 is
// none of the advised factors.
void tst_Advisor::currentSettingAsTyped()
{
    const QStringList ten = {"240", "2", "200", "10", "10"};
    const Candidate c = evaluate(Axis::Ra, drive_train(ten), kClock250kHz);
    const Own want = own(ten, 250000, 10, true);
    QCOMPARE(c.microstep, 10);
    QCOMPARE(c.cut, want.cut);
    QVERIFY(same(c.sidereal_ppm, want.sidereal));
    QVERIFY(same(c.worst_ppm_to_2x, want.worst));
    int rows = 0;
    for (int i = 0; i < kTableRows; ++i)
        rows += same(c.row_ppm[static_cast<std::size_t>(i)],
                     own_ppm(9600000, 250000, 86164, kMultipliers[i]));
    QCOMPARE(rows, kTableRows);
}

QTEST_APPLESS_MAIN(tst_Advisor)
#include "tst_advisor.moc"
