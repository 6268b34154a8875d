#include "advicereport.h"

#include "advicetext.h"
#include "names.h"
#include "numbertext.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace app {

namespace {

QJsonValue ppm_json(const std::optional<double> &ppm)
{
    return ppm ? QJsonValue(*ppm) : QJsonValue(QJsonValue::Null);
}

QJsonObject candidate_json(const calc::Candidate &c)
{
    const bool ra = c.axis == calc::Axis::Ra;
    QJsonObject o{{"axis", ra ? QStringLiteral("ra") : QStringLiteral("dec")},
                  {"base_clock", c.base_clock},
                  {"microstep", c.microstep},
                  {"cut", c.cut},
                  {"sidereal_ppm", ppm_json(c.sidereal_ppm)},
                  {"worst_ppm_to_2x", ppm_json(c.worst_ppm_to_2x)}};
    if (ra) {
        for (int k = 0; k < calc::kRateCount; ++k)
            o.insert(QLatin1String(calc::kRateKeys[k]) + QLatin1String("_ppm"),
                     ppm_json(c.rate_ppm[static_cast<std::size_t>(k)]));
    }
    return o;
}

QString ppm_text(const std::optional<double> &ppm, int width)
{
    return (ppm ? QString::number(*ppm, 'f', 2) : QStringLiteral("-")).rightJustified(width);
}

int typed_microstep(const calc::DriveTrainTexts &texts)
{
    return static_cast<int>(std::lround(calc::lenient_parse(texts[calc::kMicrostep])));
}

} // namespace

QJsonDocument advice_json(const calc::Advice &advice)
{
    QJsonArray candidates;
    for (const auto *axis : {&advice.ra, &advice.dec}) {
        for (const calc::Candidate &c : *axis)
            candidates.append(candidate_json(c));
    }
    return QJsonDocument(
        QJsonObject{{"recommended", QJsonObject{{"base_clock", advice.base_clock},
                                                {"ra_microstep", advice.ra_microstep},
                                                {"dec_microstep", advice.dec_microstep}}},
                    {"candidates", candidates}});
}

QString advice_report(const calc::Advice &advice, std::int32_t current_clock,
                      const calc::DriveTrainTexts &ra, const calc::DriveTrainTexts &dec)
{
    QString text;
    auto line = [&text](const QString &l) { text += l + QLatin1Char('\n'); };
    const auto q = [](const std::string &s) { return QString::fromStdString(s); };
    line(q(advice_summary(advice)));
    line(q(driver_switch_note()));
    auto axis = [&](const std::vector<calc::Candidate> &ranked, int current_microstep) {
        const bool is_ra = ranked.front().axis == calc::Axis::Ra;
        line(QString());
        line(q(axis_name(ranked.front().axis)) +
             (is_ra ? QStringLiteral(" (RA)") : QStringLiteral(" (DEC)")));
        line(QStringLiteral("  rank  clock    microstep  cut  sidereal ppm  drift\"/h  worst<=2x"
                            "%1")
                 .arg(is_ra ? QStringLiteral("     solar     lunar      King") : QString()));
        int rank = 0;
        for (const calc::Candidate &c : ranked) {
            const bool current = c.base_clock == current_clock && c.microstep == current_microstep;
            QString row = QStringLiteral("%1 %2  %3  %4  %5  %6  %7  %8")
                              .arg(current ? QLatin1Char('*') : QLatin1Char(' '))
                              .arg(++rank, 4)
                              .arg(q(clock_caption(c.base_clock)).leftJustified(7))
                              .arg(c.microstep, 9)
                              .arg(c.cut ? QStringLiteral("yes") : QStringLiteral(" no"))
                              .arg(ppm_text(c.sidereal_ppm, 12))
                              .arg(ppm_text(c.sidereal_drift, 8))
                              .arg(ppm_text(c.worst_ppm_to_2x, 9));
            for (int k = 0; is_ra && k < calc::kRateCount; ++k)
                row += ppm_text(c.rate_ppm[static_cast<std::size_t>(k)], 10);
            line(row);
        }
    };
    axis(advice.ra, typed_microstep(ra));
    axis(advice.dec, typed_microstep(dec));
    line(QString());
    line(QStringLiteral(
        "凡例: * は今の設定。cut: 4 桁・6 桁の欄に収まらないか 0 以下の値があります。"));
    return text;
}

} // namespace app
