#include "options.h"

#include "datadir.h"
#include "exitstatus.h"
#include "frame.h"
#include "mountfile.h"
#include "portassignments.h"
#include "ports.h"
#include "sendrecord.h"
#include "systemname.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>
#include <vector>

namespace app {

namespace {

// One option's value checked and stored in options; or why it cannot be.
using Check = std::optional<QString> (*)(const QString &value, Options &options);

struct OptionRow {
    QCommandLineOption option;
    std::optional<Action> action; // the run this option asks for
    QStringList needs;            // options one of which must come with it
    Check check = nullptr;        // called when the option is given
};

QString dashed(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
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

QString unknown_port(const QString &name)
{
    return QStringLiteral("ポート名「%1」はありません (Com1 … Com20)。").arg(name);
}

QString five_values(const char *option)
{
    return QStringLiteral("--%1 には五つの値をコンマで区切って指定してください (例 "
                          "240,2,200,10,16)。")
        .arg(QLatin1String(option));
}

QString file_name_needed(const char *option)
{
    return QStringLiteral("--%1 にはファイル名が必要です (- で標準出力)。")
        .arg(QLatin1String(option));
}

// The port and device of --set-port PORT=DEVICE, or why they cannot be.
std::optional<QString> set_port(const QString &value, Options &options)
{
    const qsizetype equals = value.indexOf(QLatin1Char('='));
    if (equals < 0)
        return QStringLiteral("--set-port には PORT=DEVICE を指定してください (例 "
                              "Com3=/dev/ttyUSB0)。");
    const QString name = value.left(equals);
    // Only the names the window lists, so a port set here can be picked there.
    const auto number = rwlink::port_number_for(name);
    if (!number)
        return unknown_port(name);
    QString device = value.mid(equals + 1).trimmed();
    if (device.isEmpty())
        return QStringLiteral("--set-port %1= にデバイスがありません (割り当てを外すには "
                              "--clear-port %1)。")
            .arg(name);
    if (rwlink::port_number_for(device))
        return QStringLiteral("--set-port %1=%2: %2 はポート名で、デバイスではありません。")
            .arg(name, device);
    // The window may start elsewhere; a path relative to this shell would
    // lead nowhere there. A bare name (ttyUSB0) is the system's to place.
    if (device.contains(QLatin1Char('/')) && QFileInfo(device).isRelative())
        device = QDir::cleanPath(QDir::current().absoluteFilePath(device));
    if (!files::acceptable_device(device))
        return QStringLiteral("--set-port %1: デバイスに制御文字が含まれているか、長すぎます。")
            .arg(name);
    options.port = *number;
    options.device = device;
    return std::nullopt;
}

std::optional<QString> clear_port(const QString &value, Options &options)
{
    const auto number = rwlink::port_number_for(value);
    if (!number)
        return unknown_port(value);
    options.port = *number;
    return std::nullopt;
}

std::optional<QString> ra(const QString &value, Options &options)
{
    options.ra = drive_train_option(value);
    return options.ra ? std::nullopt : std::optional(five_values("ra"));
}

std::optional<QString> dec(const QString &value, Options &options)
{
    options.dec = drive_train_option(value);
    return options.dec ? std::nullopt : std::optional(five_values("dec"));
}

std::optional<QString> clock(const QString &value, Options &options)
{
    // The spellings a mount file takes, so a value copied from one works.
    options.base_clock = files::clock_from_text(value);
    if (!options.base_clock)
        return QStringLiteral("基本クロック「%1」は使えません (2MHz か 250kHz)。").arg(value);
    return std::nullopt;
}

std::optional<QString> mount(const QString &value, Options &options)
{
    // An unset shell variable must not read some file by chance.
    if (value.isEmpty())
        return QStringLiteral("--mount にはファイル名が必要です。");
    options.mount = value;
    options.mount_bytes = option_bytes(QStringLiteral("mount"), value);
    return std::nullopt;
}

std::optional<QString> json(const QString &, Options &options)
{
    options.json = true;
    return std::nullopt;
}

std::optional<QString> listing(const QString &value, Options &options)
{
    if (value.isEmpty())
        return file_name_needed("listing");
    if (value == QLatin1String("-") && options.json)
        return QStringLiteral("--listing - と --json はどちらも標準出力に書くため、"
                              "一緒には使えません。");
    options.listing = value;
    options.listing_bytes = option_bytes(QStringLiteral("listing"), value);
    return std::nullopt;
}

std::optional<QString> upload(const QString &value, Options &options)
{
    // An unset shell variable must not send to some default port.
    if (value.isEmpty())
        return QStringLiteral("--upload にはポートが必要です: Com1 … Com20 かデバイスのパス。");
#ifndef Q_OS_WIN
    // "Com21", "com3": meant as a port name, not as a file of that name.
    static const QRegularExpression port_like(QStringLiteral("^[Cc][Oo][Mm][0-9]+$"));
    if (!rwlink::port_number_for(value) && port_like.match(value).hasMatch())
        return QStringLiteral("%1 はポート名ではありません: Com1 … Com20 かデバイスのパスを"
                              "指定してください。")
            .arg(value);
#endif
    options.upload = value;
    return std::nullopt;
}

std::optional<QString> force(const QString &, Options &options)
{
    if (!options.upload)
        return QStringLiteral("--force は --upload と一緒に指定してください。");
    options.force = true;
    return std::nullopt;
}

std::optional<QString> save_mount(const QString &value, Options &options)
{
    if (value.isEmpty())
        return file_name_needed("save-mount");
    options.save_mount = value;
    options.save_mount_bytes = option_bytes(QStringLiteral("save-mount"), value);
    return std::nullopt;
}

std::optional<QString> mount_name(const QString &value, Options &options)
{
    options.mount_name = value;
    return std::nullopt;
}

std::optional<QString> holds(const QString &value, Options &options)
{
    if (value.isEmpty())
        return QStringLiteral("--holds にはポート (Com1 … Com20) かデバイスのパスが必要です。");
    options.holds = value;
    return std::nullopt;
}

OptionRow row(const char *name, const QString &description, const char *value_name = nullptr)
{
    return OptionRow{
        value_name ? QCommandLineOption(QLatin1String(name), description, QLatin1String(value_name))
                   : QCommandLineOption(QLatin1String(name), description),
        {},
        {},
        nullptr};
}

OptionRow with(OptionRow r, Check check, QStringList needs = {},
               std::optional<Action> action = std::nullopt)
{
    r.check = check;
    r.needs = std::move(needs);
    r.action = action;
    return r;
}

// The options of a calculation, in the order --help lists them: what each
// asks for, what must come with it and the check of its value.
std::vector<OptionRow> calculation_options()
{
    const QStringList mount_run = {QStringLiteral("calculate"), QStringLiteral("save-mount")};
    const QStringList calculate_run = {QStringLiteral("calculate")};
    return {
        with(row("calculate", QStringLiteral("Calculate the speed tables and print them.")),
             nullptr, {}, Action::Calculate),
        with(row("ra",
                 QStringLiteral("RA drive train: worm, intermediate gear, motor, reduction gear, "
                                "microstep (default %1).")
                     .arg(drive_train_text(calc::kDefaultRa)),
                 "W,I,M,R,U"),
             ra, mount_run),
        with(row("dec",
                 QStringLiteral("DEC drive train (default %1).")
                     .arg(drive_train_text(calc::kDefaultDec)),
                 "W,I,M,R,U"),
             dec, mount_run),
        with(row("clock",
                 QStringLiteral("Base clock: 2MHz (default) or 250kHz, as in a mount file (any "
                                "case, blanks allowed, or in hertz: 2000000, 250000)."),
                 "2MHz|250kHz"),
             clock, mount_run),
        with(row("mount",
                 QStringLiteral("Take the drive trains and base clock from the mount file FILE; "
                                "--ra, --dec and --clock given as well take the place of its "
                                "values. With --calculate or --save-mount."),
                 "FILE"),
             mount, mount_run),
        with(row("json",
                 QStringLiteral(
                     "With --calculate, print one JSON object of the box texts. With --ports, "
                     "print one JSON array: for Com1 … Com20 in order {\"port\": \"Com3\", "
                     "\"device\", \"source\": override|assigned|single_adapter|default, "
                     "\"present\": detected|exists|missing, \"assigned\": the device assigned "
                     "or null, \"detected\": {location, stable_name, description, "
                     "manufacturer, serial_number, vendor_id, product_id} or null}, then one "
                     "object with \"port\": null for each serial device present that no port "
                     "opens.")),
             json,
             {QStringLiteral("calculate"), QStringLiteral("ports"), QStringLiteral("history"),
              QStringLiteral("holds")}),
        with(row("listing",
                 QStringLiteral("Also write the Speed_Data.txt listing (Shift-JIS) to FILE; - "
                                "writes it to standard output in place of the report. A FIFO, a "
                                "terminal or a device is written in place; a symbolic link is "
                                "followed and its target rewritten."),
                 "FILE"),
             listing, calculate_run),
        with(row("upload",
                 QStringLiteral("Send the tables to the controller on PORT (Com1 … Com20, mapped "
                                "as in the window and shown by --ports, or a device path), as "
                                "the window's 送信 does. Refused, with exit status %1 and nothing "
                                "sent, when a row or total cannot be taken as sent (see "
                                "--force).")
                     .arg(exit_code(ExitStatus::CalculationOrRefused)),
                 "PORT"),
             upload, calculate_run),
        with(row("force",
                 QStringLiteral("Upload even values the controller cannot take as sent (cut by "
                                "their field, zero or negative); without it such an upload is "
                                "refused.")),
             force, calculate_run),
    };
}

// The mount file's and the ports' options, listed after those.
std::vector<OptionRow> mount_and_port_options()
{
    return {
        with(row("save-mount",
                 QStringLiteral("Write a mount file to FILE from --ra, --dec, --clock and "
                                "--mount (the defaults for what none of them gives); - writes it "
                                "to standard output. An existing mount file keeps its comments "
                                "and other keys; any other existing file, a mount file this "
                                "version cannot read, a FIFO or a device is refused and left as "
                                "it is."),
                 "FILE"),
             save_mount, {}, Action::SaveMount),
        with(row("mount-name",
                 QStringLiteral("The name --save-mount writes (default: the name in --mount's "
                                "file, else the name FILE holds when it is a mount file already, "
                                "else FILE's name without its suffix; none with -)."),
                 "NAME"),
             mount_name, {QStringLiteral("save-mount")}),
        with(row("ports",
                 QStringLiteral("List the device each port name Com1 … Com20 opens, whether it is "
                                "present and how it was decided (environment variable "
                                "RW7300_COMn, assignment, the one USB adapter for Com1, or the "
                                "system's n-th port), then the serial devices present: "
                                "description, manufacturer, serial number, USB vendor:product id "
                                "and stable /dev/serial/by-id name.")),
             nullptr, {}, Action::Ports),
        with(row("set-port",
                 QStringLiteral("Assign DEVICE to the port name (Com1 … Com20) for this user, as "
                                "the window's ポート設定 does: a serial device present is kept by "
                                "its stable by-id name when it has one, a relative path as an "
                                "absolute one. RW7300_COMn, when set, still wins."),
                 "PORT=DEVICE"),
             set_port, {}, Action::SetPort),
        with(row("clear-port",
                 QStringLiteral("Remove the assignment of PORT (Com1 … Com20); it then opens what "
                                "it would with none."),
                 "PORT"),
             clear_port, {}, Action::ClearPort),
        with(row("history",
                 QStringLiteral("送信記録 (コントローラーへの各操作の記録) を 新しい順に "
                                "一覧します。 --json では 記録の JSON オブジェクトの配列。")),
             nullptr, {}, Action::History),
        with(row("holds",
                 QStringLiteral("送信記録から、 PORT (Com1 … Com20、 ウィンドウと同じ割り当て) "
                                "または DEVICE の コントローラーが 保持しているはずの値を "
                                "表示します: 基本クロック、 両テーブル、 両総ステップ数、 "
                                "追尾速度と、 それぞれの 送信日時と マウント。 --json では "
                                "JSON オブジェクト。"),
                 "PORT|DEVICE"),
             holds, {}, Action::Holds),
    };
}

std::vector<OptionRow> option_table()
{
    std::vector<OptionRow> table = calculation_options();
    std::vector<OptionRow> more = mount_and_port_options();
    std::ranges::move(more, std::back_inserter(table));
    return table;
}

QString description()
{
    return QStringLiteral(
               "Speed tables for the RW7300 telescope-mount stepper controller.\n"
               "Without options the window opens; rw7300-speedtable FILE opens it with the\n"
               "mount file FILE (*.%3: a mount's name, drive trains and base clock);\n"
               "with --calculate the tables are printed; --save-mount writes a mount file;\n"
               "--ports, --set-port and --clear-port show and change which serial device\n"
               "each port name Com1 … Com20 opens, in the window too; --history and\n"
               "--holds read the send record. One of these per run.\n"
               "The window writes Speed_Data.txt and PARAM.DAT to: %1\n"
               "Port assignments are kept in: %2\n"
               "送信記録 (--history, --holds): %4\n")
               .arg(QDir::toNativeSeparators(
                        data_directory(QCoreApplication::applicationDirPath(), false)),
                    QDir::toNativeSeparators(files::port_assignments_path()), files::kMountSuffix,
                    QDir::toNativeSeparators(files::record_path())) +
           exit_status_help();
}

// Qt's own account of what it could not parse is English; this says the
// same of the first argument at fault.
QString parse_failure(const QCommandLineParser &parser, const QStringList &arguments,
                      const std::vector<OptionRow> &table)
{
    if (!parser.unknownOptionNames().isEmpty())
        return QStringLiteral("%1 というオプションはありません。")
            .arg(dashed(parser.unknownOptionNames().constFirst()));
    auto takes_value = [&table](const QString &name) {
        for (const OptionRow &r : table) {
            if (r.option.names().contains(name))
                return !r.option.valueName().isEmpty();
        }
        return false;
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--"))
            break;
        if (!argument.startsWith(QLatin1String("--")))
            continue;
        const QString name = argument.mid(2).section(QLatin1Char('='), 0, 0);
        if (argument.contains(QLatin1Char('=')) && !takes_value(name))
            return QStringLiteral("--%1 は値を取りません。").arg(name);
        if (!argument.contains(QLatin1Char('=')) && takes_value(name) && i + 1 == arguments.size())
            return QStringLiteral("--%1 には値が必要です。").arg(name);
    }
    return QStringLiteral("オプションを読めません (%1)。").arg(parser.errorText());
}

// What comes before the values are looked at: a stray argument, an option
// without the run it belongs to, and the one run asked for.
// The last of two values would win unseen: a script that appends an option
// to one given earlier would get what it did not read.
std::optional<QString> repeated_option(const QCommandLineParser &parser,
                                       const std::vector<OptionRow> &table)
{
    for (const OptionRow &r : table) {
        if (!r.option.valueName().isEmpty() && parser.values(r.option).size() > 1)
            return QStringLiteral("--%1 が二度以上あります。一度だけ指定してください。")
                .arg(r.option.names().constFirst());
    }
    return std::nullopt;
}

std::optional<QString> combination_error(const QCommandLineParser &parser,
                                         const std::vector<OptionRow> &table)
{
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("余計な引数「%1」があります。")
            .arg(parser.positionalArguments().constFirst());
    QStringList actions;
    for (const OptionRow &r : table) {
        if (r.action)
            actions << QStringLiteral("--") + r.option.names().constFirst();
    }
    const auto given = std::count_if(table.begin(), table.end(), [&](const OptionRow &r) {
        return r.action && parser.isSet(r.option);
    });
    if (given > 1)
        return QStringLiteral("%1 のうち一つだけを指定してください。")
            .arg(actions.join(QStringLiteral(", ")));
    for (const OptionRow &r : table) {
        const bool alone = std::none_of(r.needs.begin(), r.needs.end(),
                                        [&](const QString &n) { return parser.isSet(n); });
        if (!r.needs.isEmpty() && parser.isSet(r.option) && alone)
            return QStringLiteral("--%1 は %2 と一緒に指定してください。")
                .arg(r.option.names().constFirst(),
                     QStringLiteral("--") + r.needs.join(QStringLiteral(" か --")));
    }
    if (given == 0)
        return QStringLiteral("することが指定されていません: %1 のどれかを指定してください。")
            .arg(actions.join(QStringLiteral(", ")));
    return std::nullopt;
}

} // namespace

ParsedOptions parse_options(const QStringList &arguments)
{
    const std::vector<OptionRow> table = option_table();
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    for (const OptionRow &r : table)
        parser.addOption(r.option);

    if (!parser.parse(arguments))
        return UsageError{parse_failure(parser, arguments, table)};
    if (const auto error = repeated_option(parser, table))
        return UsageError{*error};
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        QString text = parser.helpText();
        if (parser.isSet(QStringLiteral("help-all")))
            text += QStringLiteral("\nThe window also takes Qt's own options, such as "
                                   "-platform offscreen or -style fusion.\n");
        return Printed{text};
    }
    if (parser.isSet(version))
        return Printed{
            QStringLiteral("rw7300-speedtable %1\n").arg(QStringLiteral(RW7300_VERSION))};
    if (const auto error = combination_error(parser, table))
        return UsageError{*error};

    Options options;
    for (const OptionRow &r : table) {
        if (!parser.isSet(r.option))
            continue;
        if (r.action)
            options.action = *r.action;
        if (r.check) {
            if (const auto error = r.check(parser.value(r.option), options))
                return UsageError{*error};
        }
    }
    return options;
}

QString usage_error_text(const UsageError &error)
{
    return QStringLiteral("rw7300-speedtable: %1\n"
                          "rw7300-speedtable: 詳しくは rw7300-speedtable --help\n")
        .arg(error.message);
}

} // namespace app
