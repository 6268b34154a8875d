#include "cli.h"

#include "accuracy.h"
#include "accuracytext.h"
#include "calculate.h"
#include "cliupload.h"
#include "datadir.h"
#include "listing.h"
#include "numbertext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <optional>
#include <string>
#include <variant>

namespace app {

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitCalculation = 2;
constexpr int kExitListing = 3;
constexpr int kExitUpload = 4;

// The window takes only Qt's own single-dash options (-platform, -style …);
// anything else, long options above all, is for the command line, which
// must work without a display.
const QStringList kShortCommandLineOptions = {"-h", "-v", "-?"};

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

int usage_error(const QCommandLineParser &parser, const QString &message)
{
    print(stderr, QStringLiteral("rw7300-speedtable: %1\n\n").arg(message));
    print(stderr, parser.helpText());
    return kExitUsage;
}

std::optional<calc::DriveTrainTexts> drive_train_option(const QString &value)
{
    const QStringList parts = value.split(QLatin1Char(','));
    if (parts.size() != 5)
        return std::nullopt;
    calc::DriveTrainTexts texts;
    for (int i = 0; i < 5; ++i)
        texts[static_cast<std::size_t>(i)] = parts[i].toStdString();
    return texts;
}

// "240,2,200,10,16": the form --ra and --dec take.
QString drive_train_text(const calc::DriveTrainTexts &texts)
{
    QStringList parts;
    for (const std::string &text : texts)
        parts << QString::fromStdString(text);
    return parts.join(QLatin1Char(','));
}

std::optional<std::int32_t> clock_option(const QString &value)
{
    QString key = value.toLower();
    key.remove(QLatin1Char(' '));
    if (key == QLatin1String("2mhz"))
        return calc::kClock2MHz;
    if (key == QLatin1String("250khz"))
        return calc::kClock250kHz;
    return std::nullopt;
}

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

QJsonObject accuracy_json(const calc::EntryAccuracy &e)
{
    static const char *const kReasons[] = {"divisor_too_large", "divisor_zero", "divisor_negative",
                                           "not_hexadecimal"};
    QJsonObject o{
        {"asked_hz", e.asked_hz}, {"sent", q(e.sent)}, {"representable", !e.problem.has_value()}};
    if (e.got_hz)
        o.insert("got_hz", *e.got_hz);
    if (e.error_ppm)
        o.insert("error_ppm", *e.error_ppm);
    if (e.drift_arcsec_per_hour)
        o.insert("drift_arcsec_per_hour", *e.drift_arcsec_per_hour);
    if (e.problem) {
        o.insert("problem", QLatin1String(kReasons[static_cast<int>(e.problem->reason)]));
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
                     const calc::EntryAccuracy &accuracy)
{
    return QJsonObject{
        {"decimal", q(decimal)}, {"hex", q(hex)}, {"accuracy", accuracy_json(accuracy)}};
}

QJsonObject axis_json(const calc::AxisOutput &out, const calc::AxisAccuracy &accuracy)
{
    QJsonArray rows;
    for (int i = 0; i < calc::kTableRows; ++i)
        rows.append(box_pair(out.decimal_rows[i], out.hex_rows[i], accuracy.entries[i]));
    return QJsonObject{{"total", q(out.total)},
                       {"reference", q(out.reference)},
                       {"total_hex", q(out.total_hex)},
                       {"rows", rows},
                       {"arcsec_per_step", accuracy.arcsec_per_step}};
}

QJsonDocument to_json(const calc::CalcOutput &out, const calc::TableAccuracy &accuracy)
{
    QJsonObject rates;
    static const char *const kRateKeys[calc::kRateCount] = {"solar", "lunar", "king"};
    for (int k = 0; k < calc::kRateCount; ++k) {
        const calc::RateOutput &rate = out.rates[k];
        rates.insert(QLatin1String(kRateKeys[k]),
                     box_pair(rate.decimal, rate.hex, accuracy.ra.entries[calc::kSolarRow + k]));
    }
    QJsonObject ra = axis_json(out.ra, accuracy.ra);
    ra.insert("rates", rates);
    return QJsonDocument(QJsonObject{
        {"base_clock", out.base_clock}, {"ra", ra}, {"dec", axis_json(out.dec, accuracy.dec)}});
}

QString clock_caption(std::int32_t base_clock)
{
    return base_clock == calc::kClock2MHz ? QStringLiteral("2 MHz") : QStringLiteral("250 kHz");
}

QString report(const calc::CalcOutput &out, const calc::TableAccuracy &accuracy)
{
    QString text;
    auto line = [&text](const QString &l) { text += l + QLatin1Char('\n'); };
    auto right = [](const std::string &s, int width) { return q(s).rightJustified(width); };

    line(QStringLiteral("基本クロック (base clock): %1 (%2 Hz)")
             .arg(clock_caption(out.base_clock))
             .arg(out.base_clock));

    QStringList warnings;
    // A divisor too wide for four hex digits is sent wrong; the warning
    // names the entry and what would make it fit.
    auto warn_if_wide = [&](const calc::EntryAccuracy &e) {
        if (e.problem && e.problem->reason == calc::Unrepresentable::DivisorTooLarge)
            warnings << QStringLiteral("warning: ") + q(problem_summary(e));
    };
    auto axis = [&](const QString &title, const calc::AxisOutput &half,
                    const calc::AxisAccuracy &acc) {
        line(QString());
        line(title);
        line(QStringLiteral("  total steps  %1   hex %2   %3\" per microstep")
                 .arg(right(half.total, 12), q(half.total_hex))
                 .arg(acc.arcsec_per_step, 0, 'f', 4));
        line(QStringLiteral("  reference    %1 PPS").arg(right(half.reference, 12)));
        line(QStringLiteral("  row  multiplier   decimal  hex  %1").arg(q(report_header())));
        for (int i = 0; i < calc::kTableRows; ++i) {
            line(QStringLiteral("  %1  %2  %3  %4  %5")
                     .arg(i + 1, 2, 10, QLatin1Char('0'))
                     .arg(right(calc::display_form(calc::kRowMultipliers[i]), 10))
                     .arg(right(half.decimal_rows[i], 8))
                     .arg(q(half.hex_rows[i]))
                     .arg(q(report_columns(acc.entries[i]))));
            warn_if_wide(acc.entries[i]);
        }
    };
    axis(q(axis_name(calc::Axis::Ra)) + QStringLiteral(" (RA)"), out.ra, accuracy.ra);
    line(QStringLiteral("  rate    decimal  hex  %1").arg(q(report_header())));
    // Japanese names last: their double-width glyphs would break the columns.
    static const char *const kRateLabels[calc::kRateCount] = {"solar", "lunar", "King"};
    for (int k = 0; k < calc::kRateCount; ++k) {
        const calc::EntryAccuracy &entry = accuracy.ra.entries[calc::kSolarRow + k];
        line(QStringLiteral("  %1 %2  %3  %4  %5")
                 .arg(QString::fromLatin1(kRateLabels[k]).leftJustified(5))
                 .arg(right(out.rates[k].decimal, 8))
                 .arg(q(out.rates[k].hex))
                 .arg(q(report_columns(entry)))
                 .arg(q(entry_name(calc::kSolarRow + k))));
        warn_if_wide(entry);
    }
    axis(q(axis_name(calc::Axis::Dec)) + QStringLiteral(" (DEC)"), out.dec, accuracy.dec);
    if (!warnings.isEmpty()) {
        line(QString());
        for (const QString &w : warnings)
            line(w);
    }
    return text;
}

// What a --calculate run is asked to do.
struct Options {
    calc::CalcInput input;
    std::optional<QString> listing; // --listing FILE
    bool json = false;
    std::optional<QString> upload; // --upload PORT
};

// The options of a --calculate run, or the exit status when the arguments
// end the run here: help or version printed, or a usage error.
std::variant<Options, int> parse_options(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Speed tables for the RW7300 telescope-mount stepper controller.\n"
            "Without options the window opens; with --calculate the tables are printed.\n"
            "The window writes Speed_Data.txt and PARAM.DAT to: %1")
            .arg(QDir::toNativeSeparators(data_directory(QCoreApplication::applicationDirPath()))));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption calculate(
        QStringLiteral("calculate"), QStringLiteral("Calculate the speed tables and print them."));
    const QCommandLineOption ra(
        QStringLiteral("ra"),
        QStringLiteral("RA drive train: worm, intermediate gear, motor, reduction gear, "
                       "microstep (default %1).")
            .arg(drive_train_text(calc::kDefaultRa)),
        QStringLiteral("W,I,M,R,U"));
    const QCommandLineOption dec(
        QStringLiteral("dec"),
        QStringLiteral("DEC drive train (default %1).").arg(drive_train_text(calc::kDefaultDec)),
        QStringLiteral("W,I,M,R,U"));
    const QCommandLineOption clock(QStringLiteral("clock"),
                                   QStringLiteral("Base clock: 2MHz (default) or 250kHz."),
                                   QStringLiteral("2MHz|250kHz"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print one JSON object of the box texts."));
    const QCommandLineOption listing(
        QStringLiteral("listing"),
        QStringLiteral("Also write the Speed_Data.txt listing (Shift-JIS) to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption upload(
        QStringLiteral("upload"),
        QStringLiteral("Send the tables to the controller on PORT (Com1 … Com20, mapped as in "
                       "the window, or a device path), as the window's 送信 does."),
        QStringLiteral("PORT"));
    parser.addOptions({calculate, ra, dec, clock, json, listing, upload});

    if (!parser.parse(arguments))
        return usage_error(parser, parser.errorText());
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("rw7300-speedtable %1\n").arg(QStringLiteral(RW7300_VERSION)));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage_error(
            parser,
            QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));
    if (!parser.isSet(calculate))
        return usage_error(
            parser, QStringLiteral(
                        "--ra, --dec, --clock, --json, --listing and --upload need --calculate"));

    Options options;
    calc::CalcInput &input = options.input;
    if (parser.isSet(ra)) {
        const auto texts = drive_train_option(parser.value(ra));
        if (!texts)
            return usage_error(parser, QStringLiteral("--ra needs five comma-separated values"));
        input.ra = *texts;
    }
    if (parser.isSet(dec)) {
        const auto texts = drive_train_option(parser.value(dec));
        if (!texts)
            return usage_error(parser, QStringLiteral("--dec needs five comma-separated values"));
        input.dec = *texts;
    }
    if (parser.isSet(clock)) {
        const auto value = clock_option(parser.value(clock));
        if (!value)
            return usage_error(
                parser,
                QStringLiteral("unknown clock \"%1\" (2MHz or 250kHz)").arg(parser.value(clock)));
        input.base_clock = *value;
    }

    if (parser.isSet(listing))
        options.listing = parser.value(listing);
    options.json = parser.isSet(json);
    if (parser.isSet(upload))
        options.upload = parser.value(upload);
    return options;
}

// Calculates, then writes the listing, prints and uploads as asked.
int calculate_and_report(const Options &options)
{
    const calc::CalcInput &input = options.input;
    const calc::CalcResult result = calc::calculate(input);
    if (const auto *failure = std::get_if<calc::CalcFailure>(&result)) {
        print(stderr, QStringLiteral("rw7300-speedtable: %1\n").arg(q(failure_message(*failure))));
        return kExitCalculation;
    }
    const auto &out = std::get<calc::CalcOutput>(result);
    if (options.listing) {
        const QString &path = *options.listing;
        const auto written = files::write_speed_data(path, out.base_clock, out.speed_table);
        if (!written.ok) {
            print(stderr, QStringLiteral("rw7300-speedtable: %1 を書き込めません: %2\n")
                              .arg(path, written.error));
            return kExitListing;
        }
    }
    const calc::TableAccuracy accuracy = calc::accuracy_for(input, out);
    if (options.json)
        print(stdout,
              QString::fromUtf8(to_json(out, accuracy).toJson(QJsonDocument::Compact)) + "\n");
    else
        print(stdout, report(out, accuracy));
    std::fflush(stdout);
    if (options.upload && !upload_from_command_line(out, *options.upload))
        return kExitUpload;
    return 0;
}

} // namespace

bool wants_command_line(int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.startsWith(QLatin1String("--")) || kShortCommandLineOptions.contains(arg))
            return true;
    }
    return false;
}

int run_command_line(const QStringList &arguments)
{
    const auto parsed = parse_options(arguments);
    if (const int *status = std::get_if<int>(&parsed))
        return *status;
    return calculate_and_report(std::get<Options>(parsed));
}

} // namespace app
