#include "advisor.h"
#include "calctexts.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

using namespace calc;

// The advisor checked against a computation of its own, written from the
// controller's arithmetic rather than from the engine:
//   total = product of the five values,  asked = total ÷ day × multiplier,
//   divisor = clock ÷ asked to 15 digits, to the nearest whole number
//   (halves to even; usable: 1 … FFFF),
//   ppm = (clock ÷ divisor − asked) ÷ asked × 1e6,  total usable up to FFFFFF,
//   drift = ppm × 1,296,000″ ÷ 86,164.0905 s × 3600 ÷ 1e6 (″/h),
// and the rule read as a chain of choices rather than one sort: of the
// uncut within the tolerance of the best drift, the largest factor, then
// the smallest drift, the clock in use, 2 MHz; the others after, the
// smallest drift first.
// Note that 250 kHz with factor m and 2 MHz with 8m give the same divisors,
// so their drifts tie and the larger factor must win.

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
    std::optional<double> drift;
    std::optional<double> worst;
    std::vector<std::optional<double>> rates;
    Standing standing = Standing::Cut;
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
    Own o{clock, microstep, std::nearbyint(total) > 0xFFFFFF || total < 0, {}, {}, {}, {}};
    // Calculate itself gives up on a total past 32 bits: no table, no figures.
    if (std::nearbyint(total) > 2147483647.0)
        return o;
    for (int i = 0; i < 50; ++i) {
        const auto ppm = own_ppm(total, clock, 86164, kMultipliers[i]);
        o.cut = o.cut || !ppm;
        if (i == 3 && ppm) {
            o.sidereal = ppm;
            o.drift = *ppm * 1296000 / 86164.0905 * 3600 / 1e6;
        }
        if (ppm && kMultipliers[i] <= 2)
            o.worst = std::max(o.worst.value_or(0), std::fabs(*ppm));
    }
    for (int k = 0; ra && k < 3; ++k) {
        o.rates.push_back(own_ppm(total, clock, kDays[k], 1));
        o.cut = o.cut || !o.rates.back();
    }
    return o;
}

long long hundredths(const std::optional<double> &drift)
{
    return drift ? std::llround(std::fabs(*drift) * 100) : 1LL << 62;
}

std::vector<Own> own_candidates(const QStringList &train, bool ra)
{
    std::vector<Own> all;
    for (const int clock : {2000000, 250000})
        for (int m = 1; m <= 256; m *= 2)
            all.push_back(own(train, clock, m, ra));
    return all;
}

using Score = std::function<long long(const Own &)>;

// Picks one candidate at a time: of those left, the ones with the lowest
// first score, of those the lowest second score, and so on.
std::vector<Own> picked(std::vector<Own> pool, Standing standing, const std::vector<Score> &scores)
{
    std::vector<Own> out;
    while (!pool.empty()) {
        std::vector<Own> left = pool;
        for (const Score &score : scores) {
            long long low = score(left.front());
            for (const Own &o : left)
                low = std::min(low, score(o));
            std::erase_if(left, [&](const Own &o) { return score(o) != low; });
        }
        out.push_back(left.front());
        out.back().standing = standing;
        std::erase_if(pool, [&](const Own &o) {
            return o.clock == left.front().clock && o.microstep == left.front().microstep;
        });
    }
    return out;
}

std::vector<Own> own_ranking(const std::vector<Own> &all, int clock_in_use, double tolerance)
{
    long long best = 1LL << 62;
    for (const Own &o : all)
        best = o.cut ? best : std::min(best, hundredths(o.drift));
    std::vector<Own> within, beyond, cut;
    for (const Own &o : all)
        (o.cut                                                         ? cut
         : hundredths(o.drift) <= best + std::llround(tolerance * 100) ? within
                                                                       : beyond)
            .push_back(o);
    const Score factor = [](const Own &o) { return -o.microstep; };
    const Score drift = [](const Own &o) { return hundredths(o.drift); };
    const Score in_use = [=](const Own &o) { return o.clock != clock_in_use ? 1 : 0; };
    const Score slow = [](const Own &o) { return o.clock != 2000000 ? 1 : 0; };
    std::vector<Own> out = picked(within, Standing::WithinTolerance, {factor, drift, in_use, slow});
    for (const Own &o : picked(beyond, Standing::BeyondTolerance, {drift, factor, in_use, slow}))
        out.push_back(o);
    for (const Own &o : picked(cut, Standing::Cut, {drift, factor, in_use, slow}))
        out.push_back(o);
    return out;
}

bool same(const std::optional<double> &got, const std::optional<double> &want)
{
    return got.has_value() == want.has_value() && (!got || std::fabs(*got - *want) < 1e-6);
}

QString describe(const Candidate &c)
{
    return QStringLiteral("%1 Hz × %2 cut %3 sidereal %4 drift %5 worst %6 standing %7")
        .arg(c.base_clock)
        .arg(c.microstep)
        .arg(c.cut)
        .arg(c.sidereal_ppm.value_or(NAN))
        .arg(c.sidereal_drift.value_or(NAN))
        .arg(c.worst_ppm_to_2x.value_or(NAN))
        .arg(int(c.standing));
}

void compare_ranking(const std::vector<Candidate> &got, const std::vector<Own> &want)
{
    QCOMPARE(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        const Candidate &c = got[i];
        const Own &w = want[i];
        const QString where =
            QStringLiteral("place %1: %2; want %3 Hz × %4 cut %5 sidereal %6 drift %7 standing %8")
                .arg(i)
                .arg(describe(c))
                .arg(w.clock)
                .arg(w.microstep)
                .arg(w.cut)
                .arg(w.sidereal.value_or(NAN))
                .arg(w.drift.value_or(NAN))
                .arg(int(w.standing));
        QVERIFY2(c.base_clock == w.clock && c.microstep == w.microstep, qPrintable(where));
        QVERIFY2(c.cut == w.cut && c.standing == w.standing, qPrintable(where));
        QVERIFY2(same(c.sidereal_ppm, w.sidereal), qPrintable(where));
        QVERIFY2(same(c.sidereal_drift, w.drift), qPrintable(where));
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
    void rule_data();
    void rule();
    void currentSettingAsTyped();
};

void tst_Advisor::ranking_data()
{
    QTest::addColumn<QStringList>("ra");
    QTest::addColumn<QStringList>("dec");
    QTest::addColumn<int>("inUse");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<int>("clock");
    QTest::addColumn<int>("raMicrostep");
    QTest::addColumn<int>("decMicrostep");
    QTest::addColumn<bool>("keeps");
    const QStringList ra = {"240", "2", "200", "10", "16"};
    const QStringList dec = {"144", "2.5", "200", "10", "16"};
    // RA 2 MHz × 16 drifts +1.31″/h, × 8 −1.11: within 0.5 of each other.
    QTest::newRow("default drive trains")
        << ra << dec << 2000000 << 0.5 << 2000000 << 16 << 16 << true;
    QTest::newRow("default drive trains, tolerance 0")
        << ra << dec << 2000000 << 0.0 << 2000000 << 8 << 16 << false;
    QTest::newRow("defaults from 250 kHz, tolerance 0")
        << ra << dec << 250000 << 0.0 << 2000000 << 8 << 16 << false;
    QTest::newRow("defaults, any drift goes")
        << ra << dec << 250000 << 100000.0 << 2000000 << 16 << 16 << false;
    // Row 01's divisor is over FFFF at 2 MHz for every factor up to 256. RA's
    // choice is DEC's clock, though DEC's own best is 2 MHz × 16.
    const QStringList small = {"100", "1", "200", "1", "16"};
    QTest::newRow("every 2 MHz candidate cut on RA")
        << small << dec << 2000000 << 0.5 << 250000 << 64 << 2 << false;
    const QStringList best_cut = {"61", "1", "200", "1", "16"};
    QTest::newRow("best cut at 256")
        << best_cut << best_cut << 250000 << 0.0 << 250000 << 256 << 256 << false;
    // 250 kHz × 1: row 01's divisor is 65534.92 → FFFF, still usable …
    const QStringList at_ffff = {"657390", "1", "1", "1", "16"};
    QTest::newRow("row divisor exactly FFFF")
        << at_ffff << at_ffff << 2000000 << 0.0 << 2000000 << 8 << 8 << false;
    // … and × 16 drifts the same at either clock: the one in use is kept.
    QTest::newRow("a tie kept at the clock in use")
        << at_ffff << at_ffff << 250000 << 0.5 << 250000 << 16 << 16 << true;
    // … and 65535.92 → 10000, cut.
    const QStringList over_ffff = {"657380", "1", "1", "1", "16"};
    QTest::newRow("row divisor one over FFFF")
        << over_ffff << over_ffff << 2000000 << 0.5 << 2000000 << 16 << 16 << true;
    // Factor 1 is the only one whose total fits six hex digits.
    const QStringList at_total = {"16777215", "1", "1", "1", "1"};
    QTest::newRow("total exactly FFFFFF")
        << at_total << ra << 2000000 << 0.5 << 2000000 << 1 << 16 << true;
    // Calculate stops on DEC's 32-bit total at × 256: RA's figures still count.
    QTest::newRow("total exactly FFFFFF on DEC")
        << ra << at_total << 2000000 << 0.5 << 2000000 << 16 << 1 << true;
    const QStringList over_total = {"16777216", "1", "1", "1", "1"};
    QTest::newRow("total one over FFFFFF")
        << over_total << ra << 2000000 << 0.5 << 2000000 << 32 << 16 << false;
    QTest::newRow("fractional gears, different axes")
        << QStringList{"180", "3.5", "400", "5", "16"} << QStringList{"90", "3", "200", "4", "16"}
        << 250000 << 0.0 << 250000 << 8 << 16 << false;
    // Nothing can be run: every candidate cut, the larger factor first.
    const QStringList reversed = {"240", "2", "200", "-10", "16"};
    QTest::newRow("negative gear, all cut")
        << reversed << dec << 2000000 << 0.5 << 2000000 << 256 << 16 << false;
}

void tst_Advisor::ranking()
{
    QFETCH(QStringList, ra);
    QFETCH(QStringList, dec);
    QFETCH(int, inUse);
    QFETCH(double, tolerance);
    QFETCH(int, clock);
    QFETCH(int, raMicrostep);
    QFETCH(int, decMicrostep);
    QFETCH(bool, keeps);

    const Advice advice = advise(drive_train(ra), drive_train(dec), inUse, tolerance);
    const std::vector<Own> want_ra = own_ranking(own_candidates(ra, true), inUse, tolerance);
    compare_ranking(advice.ra, want_ra);
    // DEC at the clock RA's choice fixes, then the other, each ranked alone.
    std::vector<Own> here, there;
    for (const Own &o : own_candidates(dec, false))
        (o.clock == want_ra.front().clock ? here : there).push_back(o);
    std::vector<Own> want_dec = own_ranking(here, inUse, tolerance);
    for (Own o : own_ranking(there, inUse, tolerance)) {
        o.standing = Standing::OtherClock;
        want_dec.push_back(o);
    }
    compare_ranking(advice.dec, want_dec);
    QCOMPARE(advice.base_clock, clock);
    QCOMPARE(advice.ra_microstep, raMicrostep);
    QCOMPARE(advice.dec_microstep, decMicrostep);
    QCOMPARE(advice.keeps_current, keeps);
    QCOMPARE(advice.tolerance, tolerance);
    for (const Candidate &c : advice.dec)
        QVERIFY(c.axis == Axis::Dec && !c.rate_ppm[0]);
}

// The rule on candidates made up to meet its edges: "250k/16/-1.31c" is
// 250 kHz × 16 drifting −1.31″/h, cut.
void tst_Advisor::rule_data()
{
    QTest::addColumn<QString>("candidates");
    QTest::addColumn<int>("inUse");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<QString>("order");     // clock/factor, best first
    QTest::addColumn<QString>("standings"); // w within, b beyond, c cut
    QTest::newRow("within the tolerance, the larger factor")
        << "2M/8/-1.11 2M/16/1.31 250k/4/-3.52" << 2000000 << 0.5 << "2M/16 2M/8 250k/4"
        << "wwb";
    QTest::newRow("tolerance 0: the same 0.01″/h as the best")
        << "2M/16/1.31 2M/8/-1.11 250k/1/-1.114" << 2000000 << 0.0 << "2M/8 250k/1 2M/16"
        << "wwb";
    QTest::newRow("the edge of the tolerance")
        << "2M/8/1.11 2M/16/1.62 2M/32/1.61" << 2000000 << 0.5 << "2M/32 2M/8 2M/16"
        << "wwb";
    QTest::newRow("beyond it, the smaller drift first")
        << "2M/64/9 2M/32/5 2M/1/0.1" << 2000000 << 0.5 << "2M/1 2M/32 2M/64"
        << "wbb";
    QTest::newRow("the size of the drift, not its sign")
        << "2M/8/-1.5 2M/16/1.0" << 2000000 << 0.4 << "2M/16 2M/8"
        << "wb";
    QTest::newRow("same factor: the smaller drift before the clock in use")
        << "2M/16/1.31 250k/16/0.5" << 2000000 << 0.9 << "250k/16 2M/16"
        << "ww";
    QTest::newRow("same factor and drift: the clock in use")
        << "2M/16/1.31 250k/16/-1.31" << 250000 << 0.5 << "250k/16 2M/16"
        << "ww";
    QTest::newRow("same factor and drift, 2 MHz in use")
        << "250k/16/-1.31 2M/16/1.31" << 2000000 << 0.5 << "2M/16 250k/16"
        << "ww";
    QTest::newRow("cut last, whatever its drift")
        << "2M/4/0.10c 2M/16/1.31 2M/2/0.2c" << 2000000 << 0.5 << "2M/16 2M/4 2M/2"
        << "wcc";
}

void tst_Advisor::rule()
{
    QFETCH(QString, candidates);
    QFETCH(int, inUse);
    QFETCH(double, tolerance);
    QFETCH(QString, order);
    QFETCH(QString, standings);
    std::vector<Candidate> made;
    for (const QString &entry : candidates.split(' ')) {
        const QStringList parts = entry.split('/');
        Candidate c;
        c.base_clock = parts[0] == "2M" ? kClock2MHz : kClock250kHz;
        c.microstep = parts[1].toInt();
        c.cut = parts[2].endsWith('c');
        c.sidereal_drift = QString(parts[2]).remove('c').toDouble();
        made.push_back(c);
    }
    QStringList got;
    QString got_standings;
    for (const Candidate &c : ranked(made, inUse, tolerance)) {
        got << QStringLiteral("%1/%2")
                   .arg(c.base_clock == kClock2MHz ? "2M" : "250k")
                   .arg(c.microstep);
        got_standings += "wbco"[int(c.standing)];
    }
    QCOMPARE(got.join(' '), order);
    QCOMPARE(got_standings, standings);
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
