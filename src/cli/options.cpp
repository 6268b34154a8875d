#include "options.h"

#include "columns.h"
#include "frame.h"
#include "helptext.h"
#include "mountfile.h"
#include "portassignments.h"
#include "ports.h"
#include "systemname.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
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

// Past this every drift there can be is within it: a larger number would
// only widen the report.
constexpr double kMaxTolerance = 100000;

std::optional<QString> tolerance(const QString &value, Options &options)
{
    bool ok = false;
    const double t = QLocale::c().toDouble(value.trimmed(), &ok);
    if (!ok || !(t >= 0 && t <= kMaxTolerance))
        return QStringLiteral("--tolerance「%1」は使えません: 0 から %2 までの数 (″/時、"
                              "例 0.5) を指定してください。")
            .arg(value)
            .arg(kMaxTolerance);
    options.tolerance = t;
    return std::nullopt;
}

std::optional<QString> mount(const QString &value, Options &options)
{
    // An unset shell variable must not read some file by chance.
    if (value.isEmpty())
        return QStringLiteral("--mount にはファイル名が必要です。");
    options.mount = option_bytes(QStringLiteral("mount"), value);
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
    options.listing = option_bytes(QStringLiteral("listing"), value);
    return std::nullopt;
}

// "Com21", "com3", "COM1": meant as a port name, not as a file of that name.
std::optional<QString> port_look_alike(const QString &value)
{
#ifndef Q_OS_WIN
    static const QRegularExpression port_like(QStringLiteral("^[Cc][Oo][Mm][0-9]+$"));
    if (!rwlink::port_number_for(value) && port_like.match(value).hasMatch())
        return QStringLiteral("%1 はポート名ではありません: Com1 … Com20 かデバイスのパスを"
                              "指定してください。")
            .arg(value);
#else
    Q_UNUSED(value); // "COM1" is a device there
#endif
    return std::nullopt;
}

std::optional<QString> upload(const QString &value, Options &options)
{
    // An unset shell variable must not send to some default port.
    if (value.isEmpty())
        return QStringLiteral("--upload にはポートが必要です: Com1 … Com20 かデバイスのパス。");
    if (auto refused = port_look_alike(value))
        return refused;
    options.upload = value;
    return std::nullopt;
}

std::optional<QString> force(const QString &, Options &options)
{
    // Without --upload it is refused before any value is looked at.
    options.force = true;
    return std::nullopt;
}

std::optional<QString> save_mount(const QString &value, Options &options)
{
    if (value.isEmpty())
        return file_name_needed("save-mount");
    options.save_mount = option_bytes(QStringLiteral("save-mount"), value);
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
    if (auto refused = port_look_alike(value))
        return refused;
    options.holds = value;
    return std::nullopt;
}

// An option as the help describes it (helptext.cpp holds the words).
OptionRow row(const char *name, const char *value_name = nullptr)
{
    const QString description = option_description(QLatin1StringView(name));
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

// The runs that calculate, and --advise's tolerance, in the order --help
// lists them: what each asks for, what must come with it and the check of
// its value.
std::vector<OptionRow> calculation_options()
{
    return {
        with(row("calculate"), nullptr, {}, Action::Calculate),
        with(row("advise"), nullptr, {}, Action::Advise),
        with(row("tolerance", "ARCSEC_PER_HOUR"), tolerance, {QStringLiteral("advise")}),
    };
}

// What a calculation is made from and where it goes.
std::vector<OptionRow> drive_train_options()
{
    const QStringList mount_run = {QStringLiteral("calculate"), QStringLiteral("advise"),
                                   QStringLiteral("save-mount")};
    const QStringList calculate_run = {QStringLiteral("calculate")};
    return {
        with(row("ra", "W,I,M,R,U"), ra, mount_run),
        with(row("dec", "W,I,M,R,U"), dec, mount_run),
        with(row("clock", "2MHz|250kHz"), clock, mount_run),
        with(row("mount", "FILE"), mount, mount_run),
        with(row("json"), json,
             {QStringLiteral("calculate"), QStringLiteral("advise"), QStringLiteral("ports"),
              QStringLiteral("history"), QStringLiteral("holds")}),
        with(row("listing", "FILE"), listing, calculate_run),
        with(row("upload", "PORT"), upload, calculate_run),
        with(row("force"), force, {QStringLiteral("upload")}),
    };
}

// The mount file's and the ports' options, listed after those.
std::vector<OptionRow> mount_and_port_options()
{
    return {
        with(row("save-mount", "FILE"), save_mount, {}, Action::SaveMount),
        with(row("mount-name", "NAME"), mount_name, {QStringLiteral("save-mount")}),
        with(row("ports"), nullptr, {}, Action::Ports),
        with(row("set-port", "PORT=DEVICE"), set_port, {}, Action::SetPort),
        with(row("clear-port", "PORT"), clear_port, {}, Action::ClearPort),
        with(row("history"), nullptr, {}, Action::History),
        with(row("holds", "PORT|DEVICE"), holds, {}, Action::Holds),
    };
}

std::vector<OptionRow> option_table()
{
    std::vector<OptionRow> table = calculation_options();
    for (std::vector<OptionRow> more : {drive_train_options(), mount_and_port_options()})
        std::ranges::move(more, std::back_inserter(table));
    table.push_back(row("night"));
    return table;
}

// An option as a form of the command line shows it: --ra W,I,M,R,U.
QString option_form(const OptionRow &r)
{
    QString form = dashed(r.option.names().constFirst());
    if (!r.option.valueName().isEmpty())
        form += QLatin1Char(' ') + r.option.valueName();
    return form;
}

// The option and, in brackets, those that may come with it, each with its
// own companions: --calculate [--upload PORT [--force]].
QString with_companions(const std::vector<OptionRow> &table, const OptionRow &r)
{
    QString form = option_form(r);
    for (const OptionRow &companion : table) {
        if (companion.needs.contains(r.option.names().constFirst()))
            form += QStringLiteral(" [%1]").arg(with_companions(table, companion));
    }
    return form;
}

// Every way the program can be run, from the table, so the forms --help
// and the manual page show are the ones it accepts: the window first (with
// the options that belong to no run), then one line per run, a long one
// going on in lines of its own, broken only between options.
QString usage_forms(const std::vector<OptionRow> &table)
{
    QStringList window{QStringLiteral("rw7300-speedtable")};
    for (const OptionRow &r : table) {
        if (!r.action && r.needs.isEmpty())
            window << QStringLiteral("[%1]").arg(option_form(r));
    }
    QList<QStringList> forms{window << QStringLiteral("[FILE]")};
    for (const OptionRow &r : table) {
        if (!r.action)
            continue;
        QStringList form{QStringLiteral("rw7300-speedtable"), option_form(r)};
        for (const OptionRow &companion : table) {
            if (companion.needs.contains(r.option.names().constFirst()))
                form << QStringLiteral("[%1]").arg(with_companions(table, companion));
        }
        forms << form;
    }
    QStringList lines;
    for (const QStringList &form : forms) {
        QString line = QStringLiteral("  ") + form.constFirst();
        for (const QString &part : form.mid(1)) {
            if (display_width(line) + 1 + display_width(part) > kTerminalColumns) {
                lines << line;
                line = QStringLiteral("      ") + part;
            } else {
                line += QLatin1Char(' ') + part;
            }
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
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

// The last of two values would win unseen: a script that appends an option
// to one given earlier would get what it did not read. A switch given twice
// is refused the same way, so one rule holds for every option.
std::optional<QString> repeated_option(const QCommandLineParser &parser,
                                       const std::vector<OptionRow> &table)
{
    // optionNames() lists each occurrence, switches too; values() only those
    // that carry a value.
    const QStringList given = parser.optionNames();
    for (const OptionRow &r : table) {
        const QString name = r.option.names().constFirst();
        if (given.count(name) > 1)
            return QStringLiteral("%1 が二度以上あります。一度だけ指定してください。")
                .arg(dashed(name));
    }
    return std::nullopt;
}

// The one run asked for, as given: --calculate.
QString given_action(const QCommandLineParser &parser, const std::vector<OptionRow> &table)
{
    for (const OptionRow &r : table) {
        if (r.action && parser.isSet(r.option))
            return dashed(r.option.names().constFirst());
    }
    return {};
}

// What comes before the values are looked at: a stray argument, an option
// without the run it belongs to, and the one run asked for.
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
    // An option that belongs to no run (--night) only changes how the window
    // opens: with a run it would do nothing, which the user cannot tell.
    for (const OptionRow &r : table) {
        if (given == 1 && !r.action && r.needs.isEmpty() && parser.isSet(r.option))
            return QStringLiteral(
                       "%1 はウィンドウを開くときのオプションで、%2 とは一緒に使えません。")
                .arg(dashed(r.option.names().constFirst()), given_action(parser, table));
    }
    if (given == 0)
        return QStringLiteral("することが指定されていません: %1 のどれかを指定してください。")
            .arg(actions.join(QStringLiteral(", ")));
    return std::nullopt;
}

// The values that clash, looked at once all are stored, so that no check
// depends on which row of the table comes first.
std::optional<QString> clash(const Options &options)
{
    if (options.listing == QByteArray("-") && options.json)
        return QStringLiteral("--listing - と --json はどちらも標準出力に書くため、"
                              "一緒には使えません。");
    return std::nullopt;
}

} // namespace

bool is_window_option(const QString &argument)
{
    return argument == QLatin1String(kNightOption);
}

ParsedOptions parse_options(const QStringList &arguments)
{
    const std::vector<OptionRow> table = option_table();
    QCommandLineParser parser;
    // Qt's own help and version options describe themselves in English.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("このヘルプを表示します。"));
    const QCommandLineOption help_all(
        QStringLiteral("help-all"),
        QStringLiteral("Qt 自身のオプションにも触れたヘルプを表示します。"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("版を表示します。"));
    parser.addOptions({help, help_all, version});
    for (const OptionRow &r : table)
        parser.addOption(r.option);

    if (!parser.parse(arguments))
        return UsageError{parse_failure(parser, arguments, table)};
    if (const auto error = repeated_option(parser, table))
        return UsageError{*error};
    if (parser.isSet(help) || parser.isSet(help_all)) {
        QList<QCommandLineOption> options{help, help_all, version};
        for (const OptionRow &r : table)
            options << r.option;
        QString text = help_text(program_description(usage_forms(table)), options);
        if (parser.isSet(help_all))
            text += QLatin1Char('\n') + help_all_note();
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
    if (const auto error = clash(options))
        return UsageError{*error};
    return options;
}

QString usage_error_text(const UsageError &error)
{
    return QStringLiteral("rw7300-speedtable: %1\n"
                          "rw7300-speedtable: 詳しくは rw7300-speedtable --help\n")
        .arg(error.message);
}

} // namespace app
