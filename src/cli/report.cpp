#include "report.h"

#include "accuracytext.h"
#include "names.h"
#include "numbertext.h"
#include "sendcheck.h"
#include "sendtext.h"

#include <QJsonArray>
#include <QJsonObject>

#include <span>

namespace app {

namespace {

QJsonObject send_json(const calc::SendCheck &check)
{
    return QJsonObject{
        {"sent", QString::fromLatin1(check.sent.data(), qsizetype(check.sent.size()))},
        {"problem", check.problem ? QJsonValue(QLatin1String(calc::problem_key(*check.problem)))
                                  : QJsonValue(QJsonValue::Null)}};
}

// The six-digit total has no rate to be accurate about; only whether it fits.
QJsonObject total_accuracy_json(const calc::SendCheck &check)
{
    const bool cut = check.problem == calc::SendProblem::CutByWidth;
    QJsonObject o{{"representable", !cut}};
    if (cut)
        o.insert("problem", QLatin1String("total_too_large"));
    return o;
}

QJsonObject accuracy_json(const calc::EntryAccuracy &e)
{
    QJsonObject o{{"asked_hz", e.asked_hz},
                  {"sent", core_text(e.sent)},
                  {"representable", !e.problem.has_value()}};
    if (e.got_hz)
        o.insert("got_hz", *e.got_hz);
    if (e.error_ppm)
        o.insert("error_ppm", *e.error_ppm);
    if (e.drift_arcsec_per_hour)
        o.insert("drift_arcsec_per_hour", *e.drift_arcsec_per_hour);
    if (e.problem) {
        o.insert("problem", QLatin1String(calc::reason_key(e.problem->reason)));
        o.insert("divisor", e.problem->divisor);
        if (const auto &fit = e.problem->fit) {
            QJsonObject f{{"divisor", fit->divisor}};
            if (fit->change == calc::FitChange::SlowClock)
                f.insert("base_clock", fit->base_clock);
            else
                f.insert("microstep", static_cast<double>(fit->microstep));
            o.insert("fit", f);
        }
    }
    return o;
}

QJsonObject box_pair(const std::string &decimal, const std::string &hex,
                     const calc::EntryAccuracy &accuracy, const calc::SendCheck &check)
{
    return QJsonObject{{"decimal", core_text(decimal)},
                       {"hex", core_text(hex)},
                       {"accuracy", accuracy_json(accuracy)},
                       {"send", send_json(check)}};
}

QJsonObject axis_json(const calc::AxisOutput &out, const calc::AxisAccuracy &accuracy,
                      std::span<const calc::SendCheck> row_checks,
                      const calc::SendCheck &total_check)
{
    QJsonArray rows;
    for (int i = 0; i < calc::kTableRows; ++i)
        rows.append(
            box_pair(out.decimal_rows[i], out.hex_rows[i], accuracy.entries[i], row_checks[i]));
    return QJsonObject{{"total", core_text(out.total)},
                       {"reference", core_text(out.reference)},
                       {"total_hex", core_text(out.total_hex)},
                       {"total_send", send_json(total_check)},
                       {"total_accuracy", total_accuracy_json(total_check)},
                       {"rows", rows},
                       {"arcsec_per_step", accuracy.arcsec_per_step}};
}

} // namespace

SendChecks send_checks(const calc::CalcOutput &out)
{
    using calc::ValueKind;
    SendChecks c;
    for (std::size_t i = 0; i < calc::kTableRows; ++i) {
        c.ra_rows[i] =
            calc::check_value(ValueKind::Row, out.ra.hex_rows[i], out.ra.decimal_rows[i]);
        c.dec_rows[i] =
            calc::check_value(ValueKind::Row, out.dec.hex_rows[i], out.dec.decimal_rows[i]);
    }
    for (std::size_t k = 0; k < calc::kRateCount; ++k)
        c.rates[k] = calc::check_value(ValueKind::Rate, out.rates[k].hex, out.rates[k].decimal);
    c.ra_total = calc::check_value(ValueKind::Total, out.ra.total_hex, out.ra.total);
    c.dec_total = calc::check_value(ValueKind::Total, out.dec.total_hex, out.dec.total);
    return c;
}

// One line for each value that cannot be sent as it stands, in report
// order: RA rows, rates and total, then DEC rows and total. A divisor too
// wide keeps the accuracy wording, which knows what setting would fit.
// With upload_only, the rates (which the upload does not send) are left out.
QStringList send_problem_lines(const calc::CalcOutput &out, const calc::TableAccuracy &accuracy,
                               const SendChecks &checks, bool upload_only)
{
    QStringList lines;
    auto entry = [&](const calc::EntryAccuracy &e, const calc::SendCheck &check,
                     const std::string &decimal) {
        const bool wide = e.problem && e.problem->reason == calc::Unrepresentable::DivisorTooLarge;
        if (wide && (!check.problem || *check.problem == calc::SendProblem::CutByWidth))
            lines << core_text(problem_summary(e));
        else if (check.problem)
            lines << core_text(send_problem_summary(e.axis, e.index, check, decimal));
    };
    auto total = [&](calc::Axis axis, const calc::SendCheck &check, const std::string &decimal) {
        if (check.problem)
            lines << core_text(send_problem_summary(axis, kTotalPlace, check, decimal));
    };
    for (std::size_t i = 0; i < calc::kTableRows; ++i)
        entry(accuracy.ra.entries[i], checks.ra_rows[i], out.ra.decimal_rows[i]);
    if (!upload_only) {
        for (std::size_t k = 0; k < calc::kRateCount; ++k)
            entry(accuracy.ra.entries[calc::kSolarRow + k], checks.rates[k], out.rates[k].decimal);
    }
    total(calc::Axis::Ra, checks.ra_total, out.ra.total);
    for (std::size_t i = 0; i < calc::kTableRows; ++i)
        entry(accuracy.dec.entries[i], checks.dec_rows[i], out.dec.decimal_rows[i]);
    total(calc::Axis::Dec, checks.dec_total, out.dec.total);
    return lines;
}

QJsonDocument to_json(const calc::CalcOutput &out, const calc::TableAccuracy &accuracy,
                      const SendChecks &checks)
{
    QJsonObject rates;
    for (int k = 0; k < calc::kRateCount; ++k) {
        const calc::RateOutput &rate = out.rates[k];
        rates.insert(QLatin1String(calc::kRateKeys[k]),
                     box_pair(rate.decimal, rate.hex, accuracy.ra.entries[calc::kSolarRow + k],
                              checks.rates[k]));
    }
    QJsonObject ra = axis_json(out.ra, accuracy.ra, checks.ra_rows, checks.ra_total);
    ra.insert("rates", rates);
    return QJsonDocument(
        QJsonObject{{"base_clock", out.base_clock},
                    {"ra", ra},
                    {"dec", axis_json(out.dec, accuracy.dec, checks.dec_rows, checks.dec_total)}});
}

QString report(const calc::CalcOutput &out, const calc::TableAccuracy &accuracy,
               const SendChecks &checks)
{
    QString text;
    auto line = [&text](const QString &l) { text += l + QLatin1Char('\n'); };
    auto right = [](const std::string &s, int width) { return core_text(s).rightJustified(width); };

    line(QStringLiteral("基本クロック (base clock): %1 (%2 Hz)")
             .arg(core_text(clock_caption(out.base_clock)))
             .arg(out.base_clock));

    auto axis = [&](const QString &title, const calc::AxisOutput &half,
                    const calc::AxisAccuracy &acc) {
        line(QString());
        line(title);
        line(QStringLiteral("  total steps  %1   hex %2   %3\" per microstep")
                 .arg(right(half.total, 12), core_text(half.total_hex))
                 .arg(acc.arcsec_per_step, 0, 'f', 4));
        line(QStringLiteral("  reference    %1 PPS").arg(right(half.reference, 12)));
        line(
            QStringLiteral("  row  multiplier   decimal  hex  %1").arg(core_text(report_header())));
        for (int i = 0; i < calc::kTableRows; ++i) {
            line(QStringLiteral("  %1  %2  %3  %4  %5")
                     .arg(i + 1, 2, 10, QLatin1Char('0'))
                     .arg(right(calc::display_form(calc::kRowMultipliers[i]), 10))
                     .arg(right(half.decimal_rows[i], 8))
                     .arg(core_text(half.hex_rows[i]))
                     .arg(core_text(report_columns(acc.entries[i]))));
        }
    };
    axis(core_text(axis_name(calc::Axis::Ra)) + QStringLiteral(" (RA)"), out.ra, accuracy.ra);
    line(QStringLiteral("  rate    decimal  hex  %1").arg(core_text(report_header())));
    // Japanese names last: their double-width glyphs would break the columns.
    static const char *const kRateLabels[calc::kRateCount] = {"solar", "lunar", "King"};
    for (int k = 0; k < calc::kRateCount; ++k) {
        const calc::EntryAccuracy &entry = accuracy.ra.entries[calc::kSolarRow + k];
        line(QStringLiteral("  %1 %2  %3  %4  %5")
                 .arg(QString::fromLatin1(kRateLabels[k]).leftJustified(5))
                 .arg(right(out.rates[k].decimal, 8))
                 .arg(core_text(out.rates[k].hex))
                 .arg(core_text(report_columns(entry)))
                 .arg(core_text(entry_name(calc::kSolarRow + k))));
    }
    axis(core_text(axis_name(calc::Axis::Dec)) + QStringLiteral(" (DEC)"), out.dec, accuracy.dec);
    const QStringList warnings = send_problem_lines(out, accuracy, checks, false);
    if (!warnings.isEmpty()) {
        line(QString());
        for (const QString &w : warnings)
            line(QStringLiteral("warning: ") + w);
    }
    return text;
}

} // namespace app
