#include "options.h"

#include "columns.h"
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
    if (auto refused = port_look_alike(value))
        return refused;
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

// The runs that calculate, and --advise's tolerance, in the order --help
// lists them: what each asks for, what must come with it and the check of
// its value.
std::vector<OptionRow> calculation_options()
{
    return {
        with(row("calculate", QStringLiteral("スピードテーブルを計算して出力します。")), nullptr,
             {}, Action::Calculate),
        with(row("advise",
                 QStringLiteral("ウィンドウの「精度」と同じく、両軸の基本クロックとマイクロ"
                                "ステップ (1 … 256) の組を並べ、勧めます: 欄に収まるもののうち、"
                                "恒星時のずれ (″/時) が最良から許容差 (--tolerance) 以内なら"
                                "マイクロステップの大きいもの、次にずれの小さいもの、今の"
                                "クロック、2MHz の順。赤経の推奨で共通のクロックが決まり、"
                                "赤緯はそのクロックで選びます。駆動系は --ra、--dec、--mount "
                                "のもの、--clock は今の設定を示します。")),
             nullptr, {}, Action::Advise),
        with(row("tolerance",
                 QStringLiteral("--advise の許容差: 恒星時のずれの差がこれより小さければ、"
                                "マイクロステップの大きい (動きの滑らかな) 設定を選びます "
                                "(″/時、既定 %1)。")
                     .arg(calc::kDefaultTolerance),
                 "ARCSEC_PER_HOUR"),
             tolerance, {QStringLiteral("advise")}),
    };
}

// What a calculation is made from and where it goes.
std::vector<OptionRow> drive_train_options()
{
    const QStringList mount_run = {QStringLiteral("calculate"), QStringLiteral("advise"),
                                   QStringLiteral("save-mount")};
    const QStringList calculate_run = {QStringLiteral("calculate")};
    return {
        with(row("ra",
                 QStringLiteral("赤経軸の駆動系: ウォームホイール、中間ギア、モーター、減速ギア、"
                                "マイクロステップ (既定 %1)。")
                     .arg(drive_train_text(calc::kDefaultRa)),
                 "W,I,M,R,U"),
             ra, mount_run),
        with(row("dec",
                 QStringLiteral("赤緯軸の駆動系 (既定 %1)。")
                     .arg(drive_train_text(calc::kDefaultDec)),
                 "W,I,M,R,U"),
             dec, mount_run),
        with(row("clock",
                 QStringLiteral("基本クロック: 2MHz (既定) か 250kHz。マウントファイルと同じく"
                                "大文字小文字や空白は問わず、ヘルツでも書けます (2000000, "
                                "250000)。"),
                 "2MHz|250kHz"),
             clock, mount_run),
        with(row("mount",
                 QStringLiteral("駆動系と基本クロックをマウントファイル FILE から読みます。"
                                "一緒に指定した --ra, --dec, --clock はその値に代わります。"
                                "--calculate か --save-mount と一緒に。"),
                 "FILE"),
             mount, mount_run),
        with(row("json",
                 QStringLiteral(
                     "--calculate では欄の文字を一つの JSON オブジェクトで出力します。--advise "
                     "では {\"recommended\": {base_clock, ra_microstep, dec_microstep}, "
                     "\"candidates\": [{axis, base_clock, microstep, cut, sidereal_ppm, "
                     "drift_arcsec_per_hour, worst_ppm_to_2x, 赤経では solar_ppm, lunar_ppm, "
                     "king_ppm}, ...]} を軸ごとの順位の順に出力します (recommended には "
                     "keeps_current、全体には tolerance_arcsec_per_hour も)。--ports "
                     "では一つの JSON 配列を出力します: Com1 … Com20 の順に {\"port\": "
                     "\"Com3\", \"device\", \"source\": "
                     "override|assigned|single_adapter|default, \"present\": "
                     "detected|exists|missing, \"assigned\": 割り当てたデバイスか null, "
                     "\"detected\": {location, stable_name, description, manufacturer, "
                     "serial_number, vendor_id, product_id} か null}、続いて、どのポートも"
                     "開かない接続中のシリアルデバイスごとに \"port\": null のオブジェクト。"
                     "--history と --holds では送信記録を JSON で出力します。")),
             json,
             {QStringLiteral("calculate"), QStringLiteral("advise"), QStringLiteral("ports"),
              QStringLiteral("history"), QStringLiteral("holds")}),
        with(row("listing",
                 QStringLiteral("一覧 Speed_Data.txt (Shift_JIS) を FILE にも書きます。- "
                                "なら表の代わりに標準出力に書きます。FIFO、端末、デバイスには"
                                "そのまま書き、シンボリックリンクはたどって先のファイルを"
                                "書き直します。"),
                 "FILE"),
             listing, calculate_run),
        with(row("upload",
                 QStringLiteral("ウィンドウの「送信」と同じく、表を PORT のコントローラーに"
                                "送ります (PORT は Com1 … Com20 で、ウィンドウと同じ割り当て。"
                                "--ports が示します。またはデバイスのパス)。送ったとおりに"
                                "受け取れない行や合計があれば、何も送らず終了ステータス %1 で"
                                "断ります (--force を参照)。")
                     .arg(exit_code(ExitStatus::CalculationOrRefused)),
                 "PORT"),
             upload, calculate_run),
        with(row("force",
                 QStringLiteral("コントローラーが送ったとおりに受け取れない値 (欄で切れる、"
                                "0 や負) も送ります。これがなければ、そのような送信は断ります。")),
             force, {QStringLiteral("upload")}),
    };
}

// The mount file's and the ports' options, listed after those.
std::vector<OptionRow> mount_and_port_options()
{
    return {
        with(row("save-mount",
                 QStringLiteral("--ra, --dec, --clock, --mount の値 (どれも与えない値は既定値) "
                                "でマウントファイルを FILE に書きます。- なら標準出力に書きます。"
                                "既存のマウントファイルはコメントとほかのキーを残します。ほかの"
                                "既存のファイル、この版で読めないマウントファイル、FIFO、"
                                "デバイスには書かず、そのまま残します。"),
                 "FILE"),
             save_mount, {}, Action::SaveMount),
        with(row("mount-name",
                 QStringLiteral("--save-mount が書くマウント名 (既定: --mount のファイルの名前、"
                                "なければ FILE が既にマウントファイルならその名前、なければ "
                                "FILE の拡張子を除いた名前。- のときはなし)。"),
                 "NAME"),
             mount_name, {QStringLiteral("save-mount")}),
        with(row("ports",
                 QStringLiteral("各ポート名 Com1 … Com20 が開くデバイス、それがあるか、どう"
                                "決まったか (環境変数 RW7300_COMn、割り当て、Com1 にはただ一つの "
                                "USB アダプター、またはシステムの n 番目のポート) を示し、続いて"
                                "接続中のシリアルデバイスを示します: 説明、製造元、シリアル番号、"
                                "USB のベンダー:製品 ID、安定した /dev/serial/by-id の名前。")),
             nullptr, {}, Action::Ports),
        with(row("set-port",
                 QStringLiteral("ウィンドウの「ポート設定」と同じく、このユーザーのポート名 "
                                "(Com1 … Com20) に DEVICE を割り当てます。接続中のシリアル"
                                "デバイスは安定した by-id の名前があればその名前で、相対パスは"
                                "絶対パスで保存します。RW7300_COMn が設定されていればそちらが"
                                "優先されます。ないデバイスや、このユーザーが今は開けない"
                                "デバイス (dialout グループ) も、警告を出して保存します。"),
                 "PORT=DEVICE"),
             set_port, {}, Action::SetPort),
        with(row("clear-port",
                 QStringLiteral("PORT (Com1 … Com20) の割り当てを外します。以後は割り当てが"
                                "ないときのデバイスを開きます。"),
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
                                "JSON オブジェクト (値が 混在しているときは \"mixed\": true)。"),
                 "PORT|DEVICE"),
             holds, {}, Action::Holds),
    };
}

std::vector<OptionRow> option_table()
{
    std::vector<OptionRow> table = calculation_options();
    for (std::vector<OptionRow> more : {drive_train_options(), mount_and_port_options()})
        std::ranges::move(more, std::back_inserter(table));
    table.push_back(row("night", QStringLiteral("ウィンドウを夜間表示 (黒地に暗い赤) で開きます。"
                                                "ウィンドウでは Ctrl+N で切り替えられ、選んだ表示"
                                                "は次回の起動でも使われます。")));
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

// Each paragraph in lines of the terminal's width, and a blank line after it.
QString paragraphs(const QStringList &texts)
{
    QString text;
    for (const QString &paragraph : texts)
        text += wrapped(paragraph, kTerminalColumns, QString(), QString()).join(QLatin1Char('\n')) +
                QStringLiteral("\n\n");
    return text;
}

QString description(const std::vector<OptionRow> &table)
{
    // Paragraphs are parted by a blank line; the manual page keeps them.
    return paragraphs(
               {QStringLiteral("RW7300 赤道儀ステッピングモーター制御装置のスピードテーブルを"
                               "計算し、送ります。")})
               .chopped(1) +
           usage_forms(table) + QLatin1Char('\n') +
           paragraphs(
               {QStringLiteral(
                    "オプションなしではウィンドウが開きます。rw7300-speedtable FILE は"
                    "マウントファイル FILE (*.%1: マウント名、両軸の駆動系、基本クロック) を"
                    "開いてウィンドウを開きます。--calculate は表を出力し、--advise はクロックと"
                    "マイクロステップの組を勧め、--save-mount はマウントファイルを書き、"
                    "--ports, --set-port, --clear-port は各ポート名 Com1 … Com20 が開くシリアル"
                    "デバイスを示し、変えます (ウィンドウでも同じです)。--history と --holds は"
                    "送信記録を読みます。一回の実行ではこれらのうち一つだけです。")
                    .arg(files::kMountSuffix),
                QStringLiteral("ウィンドウが Speed_Data.txt と PARAM.DAT を書く場所: %1")
                    .arg(QDir::toNativeSeparators(
                        data_directory(QCoreApplication::applicationDirPath(), false))),
                QStringLiteral("ポートの割り当ての保存先: %1")
                    .arg(QDir::toNativeSeparators(files::port_assignments_path())),
                QStringLiteral("送信記録 (--history, --holds): %1")
                    .arg(QDir::toNativeSeparators(files::record_path()))}) +
           exit_status_help();
}

// An option's names as the help lists them: "-h, --help", "--ra <W,I,M,R,U>".
QString option_names(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &name : option.names())
        names << dashed(name);
    QString text = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        text += QStringLiteral(" <%1>").arg(option.valueName());
    return text;
}

// Qt lays out its help by characters, and a Japanese one takes two columns:
// the help is laid out here instead, in Qt's form and with Japanese
// headings, each line within the terminal's width. The manual page is
// made from it. Names too wide for their column stand on a line of their own.
QString help_text(const QString &description, const QList<QCommandLineOption> &options)
{
    constexpr int kNamesColumn = 28;
    const QString program = QFileInfo(QCoreApplication::arguments().value(0)).fileName();
    QStringList lines{QStringLiteral("使い方: %1 [オプション]")
                          .arg(program.isEmpty() ? QStringLiteral("rw7300-speedtable") : program)};
    lines << description << QString() << QStringLiteral("オプション:");
    const QString indent(kNamesColumn, QLatin1Char(' '));
    for (const QCommandLineOption &option : options) {
        const QString names = QStringLiteral("  ") + option_names(option);
        QString first = padded(names, kNamesColumn, false);
        if (display_width(names) + 2 > kNamesColumn) {
            lines << names;
            first = indent;
        }
        lines << wrapped(option.description(), kTerminalColumns, first, indent);
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
        QString text = help_text(description(table), options);
        if (parser.isSet(help_all))
            text += QLatin1Char('\n') +
                    wrapped(QStringLiteral("ウィンドウは Qt 自身のオプションも受け付けます "
                                           "(-platform offscreen, -style fusion など)。"),
                            kTerminalColumns, QString(), QString())
                        .join(QLatin1Char('\n')) +
                    QLatin1Char('\n');
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
