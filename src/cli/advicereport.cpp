#include "advicereport.h"

#include "advicetext.h"
#include "columns.h"
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
                  {"drift_arcsec_per_hour", ppm_json(c.sidereal_drift)},
                  {"worst_ppm_to_2x", ppm_json(c.worst_ppm_to_2x)}};
    if (ra) {
        for (int k = 0; k < calc::kRateCount; ++k)
            o.insert(QLatin1String(calc::kRateKeys[k]) + QLatin1String("_ppm"),
                     ppm_json(c.rate_ppm[static_cast<std::size_t>(k)]));
    }
    return o;
}

// A figure in at most max_chars characters: two decimals, or none when
// that is too long (an error is under 500000 ppm whenever there is one).
QString figure(const std::optional<double> &value, int max_chars)
{
    if (!value)
        return QStringLiteral("-");
    const QString text = QString::number(*value, 'f', 2);
    return text.size() <= max_chars ? text : QString::number(*value, 'f', 0);
}

int typed_microstep(const calc::DriveTrainTexts &texts)
{
    return static_cast<int>(std::lround(calc::lenient_parse(texts[calc::kMicrostep])));
}

// One column of a table: its heading, its width in terminal columns, and
// whether it is aligned right.
struct Column {
    const char *heading;
    int width;
    bool right;
};

// Rows of up to 76 columns: a figure takes at most 8 characters.
constexpr Column kColumns[] = {{"", 1, false},         {"順位", 5, true},   {"", 2, false},
                               {"クロック", 8, false}, {"ﾏｲｸﾛ", 6, true},   {"恒星時", 9, true},
                               {"″/時", 8, true},      {"2倍まで", 9, true}};
constexpr int kFigureChars = 8;
constexpr int kDriftChars = 7;
constexpr int kRateWidth = 10;

QString table_row(const QStringList &cells)
{
    QString row;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const bool rate = i >= qsizetype(std::size(kColumns));
        const Column &c = rate ? Column{"", kRateWidth, true} : kColumns[i];
        row += padded(cells[i], c.width, c.right);
    }
    return row;
}

QStringList axis_lines(const calc::Advice &advice, const std::vector<calc::Candidate> &ranked,
                       std::int32_t current_clock, int current_microstep)
{
    const bool ra = ranked.front().axis == calc::Axis::Ra;
    QStringList lines{core_text(axis_name(ranked.front().axis)) +
                      (ra ? QStringLiteral(" (RA)") : QStringLiteral(" (DEC)"))};
    QStringList headings;
    for (const Column &c : kColumns)
        headings << QString::fromUtf8(c.heading);
    for (int k = 0; ra && k < calc::kRateCount; ++k)
        headings << core_text(rate_name(k));
    lines << table_row(headings);
    int rank = 0;
    std::optional<calc::Standing> group;
    for (const calc::Candidate &c : ranked) {
        if (c.standing != group) {
            group = c.standing;
            lines << wrapped(core_text(standing_heading(c.standing, advice, c.base_clock)),
                             kTerminalColumns, QStringLiteral("  "), QStringLiteral("    "));
        }
        const bool current = c.base_clock == current_clock && c.microstep == current_microstep;
        QStringList cells = {current ? QStringLiteral("*") : QString(),
                             QString::number(++rank),
                             QString(),
                             core_text(clock_caption(c.base_clock)),
                             QString::number(c.microstep),
                             figure(c.sidereal_ppm, kFigureChars),
                             figure(c.sidereal_drift, kDriftChars),
                             figure(c.worst_ppm_to_2x, kFigureChars)};
        for (int k = 0; ra && k < calc::kRateCount; ++k)
            cells << figure(c.rate_ppm[static_cast<std::size_t>(k)], kFigureChars);
        lines << table_row(cells);
    }
    return lines;
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
                                                {"dec_microstep", advice.dec_microstep},
                                                {"keeps_current", advice.keeps_current}}},
                    {"tolerance_arcsec_per_hour", advice.tolerance},
                    {"candidates", candidates}});
}

QString advice_report(const calc::Advice &advice, std::int32_t current_clock,
                      const calc::DriveTrainTexts &ra, const calc::DriveTrainTexts &dec)
{
    QStringList lines;
    const auto paragraph = [&lines](const std::string &text) {
        lines << wrapped(core_text(text), kTerminalColumns, QString(), QString());
    };
    paragraph(advice_summary(advice));
    paragraph(tolerance_rule(advice.tolerance) + "許容差は --tolerance で変えられます。");
    paragraph(driver_switch_note());
    lines << QString();
    lines << axis_lines(advice, advice.ra, current_clock, typed_microstep(ra));
    lines << QString();
    lines << axis_lines(advice, advice.dec, current_clock, typed_microstep(dec));
    lines << QString();
    paragraph("* は今の設定。誤差は ppm (正は速い)、″/時 は恒星時の行 (04) のずれ、2倍まで は "
              "01–09 行の誤差の最大です。");
    paragraph(cut_explanation());
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace app
