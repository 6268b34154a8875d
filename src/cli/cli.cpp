#include "cli.h"

#include "accuracy.h"
#include "accuracytext.h"
#include "calculate.h"
#include "cliports.h"
#include "cliupload.h"
#include "datadir.h"
#include "filetext.h"
#include "frame.h"
#include "listing.h"
#include "mountfile.h"
#include "numbertext.h"
#include "portassignments.h"
#include "portsettings.h"
#include "porttext.h"
#include "sendcheck.h"
#include "systemname.h"
#include "systemtext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <variant>

namespace app {

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitCalculation = 2;
// An upload refused before the port is opened shares the calculation's
// status: either way the tables cannot go out as calculated.
constexpr int kExitRefused = 2;
constexpr int kExitListing = 3;
constexpr int kExitUpload = 4;
constexpr int kExitOutput = 6;
constexpr int kExitPortFile = 5;
constexpr int kExitMount = 7;

// The window takes only Qt's own single-dash options (-platform, -style …);
// anything else, long options above all, is for the command line, which
// must work without a display.
const QStringList kShortCommandLineOptions = {"-h", "-v", "-?"};

// Qt's own window options, which a desktop file or a habit may put before
// command-line options: they mean nothing here and are passed over.
const QStringList kQtOptionsWithValue = {"-platform",        "-platformpluginpath",
                                         "-platformtheme",   "-plugin",
                                         "-qwindowgeometry", "-qwindowtitle",
                                         "-qwindowicon",     "-style",
                                         "-stylesheet",      "-display",
                                         "-geometry",        "-session"};
const QStringList kQtOptionsAlone = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

// The first error met writing standard output (0: none): a full disk, a
// closed or broken stream must not end in "done".
int g_stdout_error = 0;
bool g_stdout_error_said = false;

void write_bytes(std::FILE *stream, const QByteArray &bytes)
{
    const auto size = static_cast<std::size_t>(bytes.size());
    if (std::fwrite(bytes.constData(), 1, size, stream) != size && stream == stdout &&
        g_stdout_error == 0)
        g_stdout_error = errno != 0 ? errno : EIO;
}

void print(std::FILE *stream, const QString &text)
{
    write_bytes(stream, text.toUtf8());
}

// Everything printed has reached standard output, or it is said on stderr.
bool stdout_delivered()
{
    if (std::fflush(stdout) != 0 && g_stdout_error == 0)
        g_stdout_error = errno != 0 ? errno : EIO;
    if (std::ferror(stdout) && g_stdout_error == 0)
        g_stdout_error = EIO;
    if (g_stdout_error == 0)
        return true;
    if (std::exchange(g_stdout_error_said, true))
        return false;
    print(stderr, QStringLiteral("rw7300-speedtable: 標準出力に書き込めませんでした (%1)。\n")
                      .arg(system_reason_text(
                          g_stdout_error, QString::fromLocal8Bit(std::strerror(g_stdout_error)))));
    return false;
}

QStringList without_qt_options(const QStringList &arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (i > 0 && kQtOptionsWithValue.contains(arguments[i])) {
            ++i; // and its value
            continue;
        }
        if (i > 0 && kQtOptionsAlone.contains(arguments[i]))
            continue;
        kept << arguments[i];
    }
    return kept;
}

// The mistake and where help is, no more: the whole help after it would
// scroll the one line that matters off the screen.
int usage_error(const QCommandLineParser &parser, const QString &message)
{
    Q_UNUSED(parser);
    print(stderr,
          QStringLiteral("rw7300-speedtable: %1\n"
                         "rw7300-speedtable: 使い方は rw7300-speedtable --help で表示します。\n")
              .arg(message));
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

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

// Every value a calculation would send, checked as it goes on the wire.
struct SendChecks {
    std::array<calc::SendCheck, calc::kTableRows> ra_rows;
    std::array<calc::SendCheck, calc::kTableRows> dec_rows;
    std::array<calc::SendCheck, calc::kRateCount> rates;
    calc::SendCheck ra_total;
    calc::SendCheck dec_total;
};

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
            lines << q(problem_summary(e));
        else if (check.problem)
            lines << q(send_problem_summary(e.axis, e.index, check, decimal));
    };
    auto total = [&](calc::Axis axis, const calc::SendCheck &check, const std::string &decimal) {
        if (check.problem)
            lines << q(send_problem_summary(axis, kTotalPlace, check, decimal));
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

QJsonObject send_json(const calc::SendCheck &check)
{
    static const char *const kProblems[] = {"breaks_frame", "unreadable", "cut_by_width",
                                            "unusable_speed", "stale"};
    return QJsonObject{
        {"sent", QString::fromLatin1(check.sent.data(), qsizetype(check.sent.size()))},
        {"problem", check.problem
                        ? QJsonValue(QLatin1String(kProblems[static_cast<int>(*check.problem)]))
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
                     const calc::EntryAccuracy &accuracy, const calc::SendCheck &check)
{
    return QJsonObject{{"decimal", q(decimal)},
                       {"hex", q(hex)},
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
    return QJsonObject{{"total", q(out.total)},
                       {"reference", q(out.reference)},
                       {"total_hex", q(out.total_hex)},
                       {"total_send", send_json(total_check)},
                       {"total_accuracy", total_accuracy_json(total_check)},
                       {"rows", rows},
                       {"arcsec_per_step", accuracy.arcsec_per_step}};
}

QJsonDocument to_json(const calc::CalcOutput &out, const calc::TableAccuracy &accuracy,
                      const SendChecks &checks)
{
    QJsonObject rates;
    static const char *const kRateKeys[calc::kRateCount] = {"solar", "lunar", "king"};
    for (int k = 0; k < calc::kRateCount; ++k) {
        const calc::RateOutput &rate = out.rates[k];
        rates.insert(QLatin1String(kRateKeys[k]),
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
    auto right = [](const std::string &s, int width) { return q(s).rightJustified(width); };

    line(QStringLiteral("基本クロック (base clock): %1 (%2 Hz)")
             .arg(q(clock_caption(out.base_clock)))
             .arg(out.base_clock));

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
    }
    axis(q(axis_name(calc::Axis::Dec)) + QStringLiteral(" (DEC)"), out.dec, accuracy.dec);
    const QStringList warnings = send_problem_lines(out, accuracy, checks, false);
    if (!warnings.isEmpty()) {
        line(QString());
        for (const QString &w : warnings)
            line(QStringLiteral("warning: ") + w);
    }
    return text;
}

// What a run is asked to do: one of these each time.
enum class Action { Calculate, SaveMount, Ports, SetPort, ClearPort };

struct Options {
    Action action = Action::Calculate;
    // The drive trains and clock given on the command line; each one set
    // takes the place of the mount file's, or of the default.
    std::optional<calc::DriveTrainTexts> ra;
    std::optional<calc::DriveTrainTexts> dec;
    std::optional<std::int32_t> base_clock;
    // The file names as given, in the system's bytes: Qt's text of a name
    // that is not UTF-8 leads to some other file.
    QByteArray mount_bytes;
    QByteArray save_mount_bytes;
    QByteArray listing_bytes;
    std::optional<QString> mount;      // --mount FILE
    QString save_mount;                // --save-mount FILE, - for stdout
    std::optional<QString> mount_name; // --mount-name NAME
    std::optional<QString> listing;    // --listing FILE
    bool json = false;
    std::optional<QString> upload; // --upload PORT
    bool force = false;            // upload values the controller cannot take
    int port = 0;                  // --set-port, --clear-port
    QString device;                // --set-port
};

// The port and device of --set-port PORT=DEVICE, or why they cannot be.
std::variant<std::pair<int, QString>, QString> port_assignment_option(const QString &value)
{
    const qsizetype equals = value.indexOf(QLatin1Char('='));
    if (equals < 0)
        return QStringLiteral("--set-port needs PORT=DEVICE, for example Com3=/dev/ttyUSB0");
    const QString name = value.left(equals);
    // Only the names the window lists, so a port set here can be picked there.
    const auto number = rwlink::port_number_for(name);
    if (!number)
        return QStringLiteral("unknown port \"%1\" (Com1 … Com20)").arg(name);
    QString device = value.mid(equals + 1).trimmed();
    if (device.isEmpty())
        return QStringLiteral("--set-port %1= names no device (to remove the assignment: "
                              "--clear-port %1)")
            .arg(name);
    if (rwlink::port_number_for(device))
        return QStringLiteral("--set-port %1=%2: %2 is a port name, not a device")
            .arg(name, device);
    // The window may start elsewhere; a path relative to this shell would
    // lead nowhere there. A bare name (ttyUSB0) is the system's to place.
    if (device.contains(QLatin1Char('/')) && QFileInfo(device).isRelative())
        device = QDir::cleanPath(QDir::current().absoluteFilePath(device));
    if (!files::acceptable_device(device))
        return QStringLiteral("--set-port %1: the device holds a control character or is far "
                              "too long")
            .arg(name);
    return std::pair{*number, device};
}

// The options of a run, or the exit status when the arguments end the run
// here: help or version printed, or a usage error.
std::variant<Options, int> parse_options(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Speed tables for the RW7300 telescope-mount stepper controller.\n"
            "Without options the window opens; rw7300-speedtable FILE opens it with the\n"
            "mount file FILE (*.%3: a mount's name, drive trains and base clock);\n"
            "with --calculate the tables are printed; --save-mount writes a mount file;\n"
            "--ports, --set-port and --clear-port show and change which serial device\n"
            "each port name Com1 … Com20 opens, in the window too. One of these five\n"
            "per run.\n"
            "The window writes Speed_Data.txt and PARAM.DAT to: %1\n"
            "Port assignments are kept in: %2\n"
            "Exit status: 0 done, 1 malformed options, 2 calculation failed or upload "
            "refused,\n3 listing not written, 4 upload incomplete, 5 port assignments not "
            "written,\n6 standard output not written (disk full, closed), 7 mount file not "
            "read or\nwritten, 130 or 143 upload stopped by SIGINT or SIGTERM (after the frame "
            "being\nwritten; how many commands went out is said).")
            .arg(QDir::toNativeSeparators(
                     data_directory(QCoreApplication::applicationDirPath(), false)),
                 QDir::toNativeSeparators(files::port_assignments_path()), files::kMountSuffix));
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
    const QCommandLineOption clock(
        QStringLiteral("clock"),
        QStringLiteral("Base clock: 2MHz (default) or 250kHz, as in a mount file (any case, "
                       "blanks allowed, or in hertz: 2000000, 250000)."),
        QStringLiteral("2MHz|250kHz"));
    const QCommandLineOption mount(
        QStringLiteral("mount"),
        QStringLiteral("Take the drive trains and base clock from the mount file FILE; --ra, "
                       "--dec and --clock given as well take the place of its values. With "
                       "--calculate or --save-mount."),
        QStringLiteral("FILE"));
    const QCommandLineOption save_mount(
        QStringLiteral("save-mount"),
        QStringLiteral("Write a mount file to FILE from --ra, --dec, --clock and --mount (the "
                       "defaults for what none of them gives); - writes it to standard "
                       "output. An existing mount file keeps its comments and other keys; "
                       "any other existing file, a mount file this version cannot read, a "
                       "FIFO or a device is refused and left as it is."),
        QStringLiteral("FILE"));
    const QCommandLineOption mount_name(
        QStringLiteral("mount-name"),
        QStringLiteral("The name --save-mount writes (default: the name in --mount's file, "
                       "else the name FILE holds when it is a mount file already, else FILE's "
                       "name without its suffix; none with -)."),
        QStringLiteral("NAME"));
    const QCommandLineOption json(
        QStringLiteral("json"),
        QStringLiteral(
            "With --calculate, print one JSON object of the box texts. With --ports, print "
            "one JSON array: for Com1 … Com20 in order {\"port\": \"Com3\", \"device\", "
            "\"source\": override|assigned|single_adapter|default, \"present\": "
            "detected|exists|missing, \"assigned\": the device assigned or null, "
            "\"detected\": {location, stable_name, description, manufacturer, "
            "serial_number, vendor_id, product_id} or null}, then one object with "
            "\"port\": null for each serial device present that no port opens."));
    const QCommandLineOption listing(
        QStringLiteral("listing"),
        QStringLiteral("Also write the Speed_Data.txt listing (Shift-JIS) to FILE; - writes it "
                       "to standard output in place of the report. A FIFO, a terminal or a "
                       "device is written in place; a symbolic link is followed and its target "
                       "rewritten."),
        QStringLiteral("FILE"));
    const QCommandLineOption upload(
        QStringLiteral("upload"),
        QStringLiteral("Send the tables to the controller on PORT (Com1 … Com20, mapped as in "
                       "the window and shown by --ports, or a device path), as the window's 送信 "
                       "does. Refused, with exit "
                       "status 2 and nothing sent, when a row or total cannot be taken as "
                       "sent (see --force)."),
        QStringLiteral("PORT"));
    const QCommandLineOption force(
        QStringLiteral("force"),
        QStringLiteral("Upload even values the controller cannot take as sent (cut by their "
                       "field, zero or negative); without it such an upload is refused."));
    const QCommandLineOption ports(
        QStringLiteral("ports"),
        QStringLiteral("List the device each port name Com1 … Com20 opens, whether it is "
                       "present and how it was decided (environment variable RW7300_COMn, "
                       "assignment, the one USB adapter for Com1, or the system's n-th port), "
                       "then the serial devices present: description, manufacturer, serial "
                       "number, USB vendor:product id and stable /dev/serial/by-id name."));
    const QCommandLineOption set_port(
        QStringLiteral("set-port"),
        QStringLiteral("Assign DEVICE to the port name (Com1 … Com20) for this user, as the "
                       "window's ポート設定 does: a serial device present is kept by its "
                       "stable by-id name when it has one, a relative path as an absolute "
                       "one. RW7300_COMn, when set, still wins."),
        QStringLiteral("PORT=DEVICE"));
    const QCommandLineOption clear_port(
        QStringLiteral("clear-port"),
        QStringLiteral("Remove the assignment of PORT (Com1 … Com20); it then opens what it "
                       "would with none."),
        QStringLiteral("PORT"));
    parser.addOptions({calculate, ra, dec, clock, mount, json, listing, upload, force, save_mount,
                       mount_name, ports, set_port, clear_port});

    if (!parser.parse(arguments))
        return usage_error(parser, parser.errorText());
    // The last of two values would win unseen: a script that appends an
    // option to one given earlier would get what it did not read.
    for (const QCommandLineOption &option :
         {ra, dec, clock, mount, listing, upload, save_mount, mount_name, set_port, clear_port}) {
        if (parser.values(option).size() > 1)
            return usage_error(parser,
                               QStringLiteral("--%1 が二度以上あります。一度だけ指定してください。")
                                   .arg(option.names().constFirst()));
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        print(stdout, parser.helpText());
        if (parser.isSet(QStringLiteral("help-all")))
            print(stdout, QStringLiteral("\nThe window also takes Qt's own options, such as "
                                         "-platform offscreen or -style fusion.\n"));
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
    const int actions = int(parser.isSet(calculate)) + int(parser.isSet(save_mount)) +
                        int(parser.isSet(ports)) + int(parser.isSet(set_port)) +
                        int(parser.isSet(clear_port));
    if (actions > 1)
        return usage_error(parser, QStringLiteral("give only one of --calculate, --save-mount, "
                                                  "--ports, --set-port and --clear-port"));
    const bool mount_values =
        parser.isSet(ra) || parser.isSet(dec) || parser.isSet(clock) || parser.isSet(mount);
    if (mount_values && !parser.isSet(calculate) && !parser.isSet(save_mount))
        return usage_error(parser, QStringLiteral("--ra, --dec, --clock and --mount need "
                                                  "--calculate or --save-mount"));
    if ((parser.isSet(listing) || parser.isSet(upload) || parser.isSet(force)) &&
        !parser.isSet(calculate))
        return usage_error(parser,
                           QStringLiteral("--listing, --upload and --force need --calculate"));
    if (parser.isSet(json) && !parser.isSet(calculate) && !parser.isSet(ports))
        return usage_error(parser, QStringLiteral("--json needs --calculate or --ports"));
    if (parser.isSet(mount_name) && !parser.isSet(save_mount))
        return usage_error(parser, QStringLiteral("--mount-name needs --save-mount"));
    if (actions == 0)
        return usage_error(parser,
                           QStringLiteral("nothing to do: give --calculate, --save-mount, --ports, "
                                          "--set-port or --clear-port"));

    Options options;
    options.json = parser.isSet(json);
    if (parser.isSet(ports)) {
        options.action = Action::Ports;
        return options;
    }
    if (parser.isSet(set_port)) {
        const auto assignment = port_assignment_option(parser.value(set_port));
        if (const auto *message = std::get_if<QString>(&assignment))
            return usage_error(parser, *message);
        options.action = Action::SetPort;
        std::tie(options.port, options.device) = std::get<std::pair<int, QString>>(assignment);
        return options;
    }
    if (parser.isSet(clear_port)) {
        const auto number = rwlink::port_number_for(parser.value(clear_port));
        if (!number)
            return usage_error(
                parser,
                QStringLiteral("unknown port \"%1\" (Com1 … Com20)").arg(parser.value(clear_port)));
        options.action = Action::ClearPort;
        options.port = *number;
        return options;
    }
    if (parser.isSet(ra)) {
        options.ra = drive_train_option(parser.value(ra));
        if (!options.ra)
            return usage_error(parser, QStringLiteral("--ra needs five comma-separated values"));
    }
    if (parser.isSet(dec)) {
        options.dec = drive_train_option(parser.value(dec));
        if (!options.dec)
            return usage_error(parser, QStringLiteral("--dec needs five comma-separated values"));
    }
    if (parser.isSet(clock)) {
        // The spellings a mount file takes, so a value copied from one works.
        options.base_clock = files::clock_from_text(parser.value(clock));
        if (!options.base_clock)
            return usage_error(
                parser,
                QStringLiteral("unknown clock \"%1\" (2MHz or 250kHz)").arg(parser.value(clock)));
    }
    if (parser.isSet(mount)) {
        options.mount = parser.value(mount);
        // An unset shell variable must not read some file by chance.
        if (options.mount->isEmpty())
            return usage_error(parser, QStringLiteral("--mount needs a file name"));
        options.mount_bytes = option_bytes(QStringLiteral("mount"), *options.mount);
    }
    if (parser.isSet(save_mount)) {
        options.action = Action::SaveMount;
        options.save_mount = parser.value(save_mount);
        options.save_mount_bytes = option_bytes(QStringLiteral("save-mount"), options.save_mount);
        if (options.save_mount.isEmpty())
            return usage_error(parser, QStringLiteral("--save-mount needs a file name (- for "
                                                      "standard output)"));
        if (parser.isSet(mount_name))
            options.mount_name = parser.value(mount_name);
        return options;
    }

    if (parser.isSet(listing)) {
        options.listing = parser.value(listing);
        options.listing_bytes = option_bytes(QStringLiteral("listing"), *options.listing);
        if (options.listing->isEmpty())
            return usage_error(parser, QStringLiteral("--listing needs a file name (- for "
                                                      "standard output)"));
        if (*options.listing == QLatin1String("-") && options.json)
            return usage_error(parser, QStringLiteral("--listing - and --json both want standard "
                                                      "output"));
    }
    if (parser.isSet(upload)) {
        options.upload = parser.value(upload);
        // An unset shell variable must not send to some default port.
        if (options.upload->isEmpty())
            return usage_error(parser, QStringLiteral("--upload needs a port: Com1 … Com20 or a "
                                                      "device path"));
#ifndef Q_OS_WIN
        // "Com21", "com3": meant as a port name, not as a file of that name.
        static const QRegularExpression port_like(QStringLiteral("^[Cc][Oo][Mm][0-9]+$"));
        if (!rwlink::port_number_for(*options.upload) &&
            port_like.match(*options.upload).hasMatch())
            return usage_error(parser, QStringLiteral("%1 is no port name: Com1 … Com20, or a "
                                                      "device path")
                                           .arg(*options.upload));
#endif
    }
    options.force = parser.isSet(force);
    if (options.force && !options.upload)
        return usage_error(parser, QStringLiteral("--force needs --upload"));
    return options;
}

// The mount a run works on: --mount's file, or the defaults, with each value
// given on the command line in place of its own; or exit status 7, said in
// one line, when the file cannot be used.
std::variant<files::Mount, int> mount_of_run(const Options &options)
{
    files::Mount mount;
    if (options.mount) {
        const ReadablePath path(options.mount_bytes);
        auto read = files::read_mount(path.path());
        if (const auto *error = std::get_if<files::MountError>(&read)) {
            print(stderr, QStringLiteral("rw7300-speedtable: %1\n")
                              .arg(mount_problem_text(*options.mount, *error)));
            return kExitMount;
        }
        mount = std::get<files::Mount>(std::move(read));
    }
    if (options.ra)
        mount.ra = *options.ra;
    if (options.dec)
        mount.dec = *options.dec;
    if (options.base_clock)
        mount.base_clock = *options.base_clock;
    return mount;
}

// Calculates, then writes the listing, prints and uploads as asked.
int calculate_and_report(const Options &options, rwlink::Clock *clock,
                         const rwlink::Devices &devices)
{
    const auto mount = mount_of_run(options);
    if (const int *failed = std::get_if<int>(&mount))
        return *failed;
    const auto &values = std::get<files::Mount>(mount);
    const calc::CalcInput input{values.ra, values.dec, values.base_clock};
    const calc::CalcResult result = calc::calculate(input);
    if (const auto *failure = std::get_if<calc::CalcFailure>(&result)) {
        print(stderr, QStringLiteral("rw7300-speedtable: %1\n").arg(q(failure_message(*failure))));
        return kExitCalculation;
    }
    const auto &out = std::get<calc::CalcOutput>(result);
    const bool listing_to_stdout = options.listing && *options.listing == QLatin1String("-");
    if (listing_to_stdout) {
        // The listing's own bytes (Shift-JIS, CR LF) in place of the report.
        write_bytes(stdout, files::speed_data_now(out.base_clock, out.speed_table));
    } else if (options.listing) {
        const QString &path = *options.listing;
        const auto written = write_named(options.listing_bytes, [&](const QString &named) {
            return files::write_speed_data(named, out.base_clock, out.speed_table);
        });
        if (!written.ok) {
            print(stderr, QStringLiteral("rw7300-speedtable: %1 を書き込めません: %2\n")
                              .arg(path, write_failure_text(written)));
            return kExitListing;
        }
    }
    const calc::TableAccuracy accuracy = calc::accuracy_for(input, out);
    const SendChecks checks = send_checks(out);
    if (options.json)
        print(stdout,
              QString::fromUtf8(to_json(out, accuracy, checks).toJson(QJsonDocument::Compact)) +
                  "\n");
    else if (!listing_to_stdout)
        print(stdout, report(out, accuracy, checks));
    // Seen before a 16 s upload starts; and an output that failed stops the
    // run here, before anything is sent.
    if (!stdout_delivered())
        return kExitOutput;
    if (!options.upload)
        return 0;
    // Refused before the port is opened: a cut or zero value would leave the
    // controller with a table that runs wrong, and it cannot say so itself.
    const QStringList problems = send_problem_lines(out, accuracy, checks, true);
    if (!problems.isEmpty() && !options.force) {
        for (const QString &problem : problems)
            print(stderr, QStringLiteral("rw7300-speedtable: %1\n").arg(problem));
        print(stderr, QStringLiteral("rw7300-speedtable: 送信しませんでした。"
                                     "そのまま送るには --force を付けてください。\n"));
        return kExitRefused;
    }
    const UploadEnd upload = upload_from_command_line(out, *options.upload, clock, devices);
    // Stopped by a signal: the status a shell gives a program the signal ended.
    if (upload.signal != 0)
        return 128 + upload.signal;
    return upload.complete ? 0 : kExitUpload;
}

// --save-mount: the mount of this run, written to a file or standard output.
int save_mount(const Options &options)
{
    auto resolved = mount_of_run(options);
    if (const int *failed = std::get_if<int>(&resolved))
        return *failed;
    auto &mount = std::get<files::Mount>(resolved);
    const bool to_stdout = options.save_mount == QLatin1String("-");
    if (options.mount_name) {
        mount.name = *options.mount_name;
    } else if (!options.mount && !to_stdout) {
        // A mount file saved over keeps its name; a new one is named after
        // its file.
        const ReadablePath path(options.save_mount_bytes);
        const files::MountRead existing = files::read_mount(path.path());
        const auto *kept = std::get_if<files::Mount>(&existing);
        mount.name = kept ? kept->name : QFileInfo(options.save_mount).completeBaseName();
    }
    if (to_stdout) {
        write_bytes(stdout, files::mount_bytes(mount));
        return 0;
    }
    files::MountWriteOutcome written;
    const files::WriteOutcome named =
        write_named(options.save_mount_bytes, [&](const QString &path) {
            written = files::write_mount(path, mount);
            return static_cast<const files::WriteOutcome &>(written);
        });
    // Written under a stand-in name but not renamed into place: that failure.
    if (written.ok && !named.ok)
        static_cast<files::WriteOutcome &>(written) = named;
    if (!written.ok) {
        print(stderr, QStringLiteral("rw7300-speedtable: %1 を書き込めません: %2\n")
                          .arg(options.save_mount, mount_write_failure_text(written)));
        return kExitMount;
    }
    // The whole path: a relative one says little once the shell has moved on.
    print(stdout,
          QStringLiteral("マウントファイルを書き込みました: %1\n")
              .arg(QDir::toNativeSeparators(QFileInfo(options.save_mount).absoluteFilePath())));
    return 0;
}

// --ports: where each port name leads, as text or JSON.
int list_ports(const Options &options, const rwlink::Devices &devices)
{
    const PortSettings settings(devices);
    // The window and an upload carry on as if nothing were assigned; so
    // does the list, but not without saying why.
    if (!settings.read_error().isEmpty())
        print(stderr, QStringLiteral("rw7300-speedtable: 割り当てのファイル %1 を読めません: %2。"
                                     "割り当てはないものとして表示します。\n")
                          .arg(QDir::toNativeSeparators(settings.path()), settings.read_error()));
    if (options.json)
        print(stdout,
              QString::fromUtf8(
                  QJsonDocument(ports_json(settings.map())).toJson(QJsonDocument::Compact)) +
                  QLatin1Char('\n'));
    else
        print(stdout, ports_text(settings));
    return 0;
}

// --set-port and --clear-port, written to the file at once.
int change_port(const Options &options, const rwlink::Devices &devices)
{
    PortSettings settings(devices);
    const files::WriteOutcome written = options.action == Action::SetPort
                                            ? settings.assign(options.port, options.device)
                                            : settings.clear(options.port);
    if (!written.ok) {
        print(stderr,
              QStringLiteral("rw7300-speedtable: 割り当てのファイル %1 を書き込めません: "
                             "%2\n")
                  .arg(QDir::toNativeSeparators(settings.path()), write_failure_text(written)));
        return kExitPortFile;
    }
    if (options.action == Action::SetPort)
        print(stdout, assigned_text(settings.map(), options.port) + QLatin1Char('\n'));
    else
        print(stdout,
              QStringLiteral("%1 の割り当てを解除しました。%2\n")
                  .arg(port_name(options.port), mapping_summary(settings.mapping(options.port))));
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

int run_command_line(const QStringList &arguments, rwlink::Clock *clock,
                     const rwlink::Devices &devices)
{
    g_stdout_error = 0;
    g_stdout_error_said = false;
    std::clearerr(stdout);
    const int status = [&] {
        const auto parsed = parse_options(without_qt_options(arguments));
        if (const int *early = std::get_if<int>(&parsed))
            return *early;
        const auto &options = std::get<Options>(parsed);
        switch (options.action) {
        case Action::Ports:
            return list_ports(options, devices);
        case Action::SaveMount:
            return save_mount(options);
        case Action::SetPort:
        case Action::ClearPort:
            return change_port(options, devices);
        case Action::Calculate:
            break;
        }
        return calculate_and_report(options, clock, devices);
    }();
    // Another failure keeps its own status; otherwise output that did not
    // arrive is this run's failure.
    if (!stdout_delivered() && status == 0)
        return kExitOutput;
    return status;
}

} // namespace app
