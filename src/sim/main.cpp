// rw7300-sim: a stand-in for the RW7300 controller at the far end of the
// serial line. It shows every frame the tool sends, with its timing and
// meaning, flags what the controller could not take, and on exit prints
// what the controller would now hold.

#include "deviceline.h"
#include "monitor.h"
#include "pacing.h"
#include "pseudoterminal.h"
#include "signalwatch.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <optional>
#include <variant>

namespace {

using namespace std::chrono_literals;

constexpr int kExitUsage = 1;
constexpr int kExitLine = 2; // the line could not be set up, or was lost

// Bounds that keep a mistyped option from meaning "never".
constexpr auto kLongestIdle = 24h;
constexpr auto kLongestGap = 1h;

// What the simulator is, then its two forms and its exit statuses a line
// each (the manual page is made from --help).
QString description(const QString &forms)
{
    // Paragraphs are parted by a blank line; the manual page keeps them.
    return QStringLiteral("RW7300 コントローラーの代わりをするシミュレーターです。\n") + forms +
           QStringLiteral(
               "\n"
               "--device がなければ疑似端末を作って待ち受けます (標準エラーに\n"
               "「rw7300-sim: /dev/pts/N で待ち受けています」)。ツールのポートをそのデバイスに\n"
               "向けてください (例 RW7300_COM1=/dev/pts/N)。届いたフレームはその都度示し、\n"
               "コントローラーが受け取れないものには「!」を付けます (最初の 1000 件まで。\n"
               "まとめにはすべて数えます)。コントローラーが持つことになる値のまとめは、\n"
               "最初のバイトから数えて回線が --idle-exit 秒静かになったとき (それまでは\n"
               "いつまでも待ちます)、または SIGINT か SIGTERM で出力します。\n"
               "\n"
               "終了ステータス:\n"
               "  0  まとめを出した\n"
               "  %1  オプションの誤り\n"
               "  %2  回線を開けなかった、または失った")
               .arg(kExitUsage)
               .arg(kExitLine);
}

QTextStream &err()
{
    static QTextStream stream(stderr, QIODevice::WriteOnly);
    return stream;
}

// Qt writes the help's two headings in English: "Usage: PROGRAM [options]"
// and "Options:".
QString japanese_headings(const QString &help)
{
    QString text = QStringLiteral("使い方: %1 [オプション]")
                       .arg(QCoreApplication::arguments().value(0, QStringLiteral("rw7300-sim"))) +
                   help.mid(help.indexOf(QLatin1Char('\n')));
    return text.replace(QStringLiteral("\nOptions:\n"), QStringLiteral("\nオプション:\n"));
}

int usage_error(const QString &message, const QCommandLineParser &parser)
{
    err() << "rw7300-sim: " << message << "\n\n"
          << japanese_headings(parser.helpText()) << Qt::flush;
    return kExitUsage;
}

// What the command line asks for.
struct Options {
    Monitor::Settings settings;
    std::optional<QString> device; // --device: a serial port instead of a pseudo-terminal
    std::optional<QString> link;   // --link: where to publish the pseudo-terminal
};

// The options the simulator takes, in the order --help lists them.
struct OptionSet {
    QCommandLineOption device;
    QCommandLineOption link;
    QCommandLineOption idle;
    QCommandLineOption json;
    QCommandLineOption gap;
    QCommandLineOption tolerance;
};

OptionSet option_set()
{
    const double tolerance_ms =
        std::chrono::duration<double, std::milli>(Monitor::Settings{}.gap_tolerance).count();
    return OptionSet{
        {QStringLiteral("device"),
         QStringLiteral("疑似端末の代わりにシリアルポート DEV (9600 8N1) で待ち受けます。"),
         QStringLiteral("DEV")},
        {QStringLiteral("link"),
         QStringLiteral("待ち受けを始めたら PATH を疑似端末へのシンボリックリンクにします "
                        "(古いリンクは置き換えます)。終了時に消します。"),
         QStringLiteral("PATH")},
        {QStringLiteral("idle-exit"),
         QStringLiteral("回線が SECONDS 秒静かになったら、まとめを出して終わります。"),
         QStringLiteral("SECONDS")},
        {QStringLiteral("json"),
         QStringLiteral("まとめを一つの JSON オブジェクトで標準出力に出します。フレームの行は"
                        "標準エラーに出します。")},
        {QStringLiteral("min-gap"),
         QStringLiteral("前のフレームから MS ミリ秒たたずに終わったフレームに印を付けます "
                        "(既定 %1、ツールの間隔。0 なら付けません)。")
             .arg(rwlink::kCommandGap.count()),
         QStringLiteral("MS"), QString::number(rwlink::kCommandGap.count())},
        {QStringLiteral("gap-tolerance"),
         QStringLiteral("バイトが届いてからこのプログラムが読むまでの遅れの分として、--min-gap "
                        "より MS ミリ秒短い間隔までは印を付けません (既定 %1)。まとめには"
                        "どちらにしても本当の最小値を示します。")
             .arg(tolerance_ms),
         QStringLiteral("MS"), QString::number(tolerance_ms)},
    };
}

// Milliseconds from 0 to kLongestGap, as --min-gap and --gap-tolerance take them.
std::optional<std::chrono::microseconds> gap_value(const QString &text)
{
    bool ok = false;
    const std::chrono::duration<double, std::milli> gap(text.toDouble(&ok));
    if (!ok || !std::isfinite(gap.count()) || gap < 0ms || gap > kLongestGap)
        return std::nullopt;
    return std::chrono::round<std::chrono::microseconds>(gap);
}

// The options, or the exit status when the arguments end the run here:
// help or version printed, or a usage error.
std::variant<Options, int> parse_options(const QStringList &arguments)
{
    QCommandLineParser parser;
    const OptionSet o = option_set();
    // The two ways to run it: on a pseudo-terminal of its own or on a port.
    QString shared;
    for (const QCommandLineOption *option : {&o.idle, &o.json, &o.gap, &o.tolerance}) {
        shared += QStringLiteral(" [--%1").arg(option->names().constFirst());
        if (!option->valueName().isEmpty())
            shared += QLatin1Char(' ') + option->valueName();
        shared += QLatin1Char(']');
    }
    parser.setApplicationDescription(
        description(QStringLiteral("  rw7300-sim [--%1 %2]%5\n  rw7300-sim --%3 %4%5\n")
                        .arg(o.link.names().constFirst(), o.link.valueName(),
                             o.device.names().constFirst(), o.device.valueName(), shared)));
    parser.addOptions({o.device, o.link, o.idle, o.json, o.gap, o.tolerance});
    // Qt's own help and version options describe themselves in English.
    const QCommandLineOption help_option({QStringLiteral("h"), QStringLiteral("help")},
                                         QStringLiteral("このヘルプを表示します。"));
    const QCommandLineOption version_option({QStringLiteral("v"), QStringLiteral("version")},
                                            QStringLiteral("版を表示します。"));
    parser.addOptions({help_option, version_option});

    if (!parser.parse(arguments))
        return usage_error(QStringLiteral("オプションを読めません (%1)").arg(parser.errorText()),
                           parser);
    if (parser.isSet(help_option)) {
        QTextStream(stdout, QIODevice::WriteOnly) << japanese_headings(parser.helpText());
        return 0;
    }
    if (parser.isSet(version_option)) {
        QTextStream(stdout, QIODevice::WriteOnly) << "rw7300-sim " << RW7300_VERSION << '\n';
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage_error(QStringLiteral("余計な引数 %1 があります")
                               .arg(parser.positionalArguments().constFirst()),
                           parser);
    if (parser.isSet(o.device) && parser.isSet(o.link))
        return usage_error(QStringLiteral("--link は疑似端末に付ける名前なので、--device とは"
                                          "一緒に使えません"),
                           parser);

    Options options;
    Monitor::Settings &settings = options.settings;
    settings.json = parser.isSet(o.json);
    if (parser.isSet(o.idle)) {
        bool ok = false;
        const std::chrono::duration<double> idle(parser.value(o.idle).toDouble(&ok));
        if (!ok || !std::isfinite(idle.count()) || idle <= 0s || idle > kLongestIdle)
            return usage_error(
                QStringLiteral("--idle-exit には 0 より大きい秒数を指定してください"), parser);
        settings.idle_exit = std::max(1ms, std::chrono::round<std::chrono::milliseconds>(idle));
    }
    const auto gap = gap_value(parser.value(o.gap));
    if (!gap)
        return usage_error(QStringLiteral("--min-gap には 0 以上のミリ秒を指定してください"),
                           parser);
    settings.min_gap = *gap;
    const auto tolerance = gap_value(parser.value(o.tolerance));
    if (!tolerance)
        return usage_error(QStringLiteral("--gap-tolerance には 0 以上のミリ秒を指定してください"),
                           parser);
    settings.gap_tolerance = *tolerance;
    if (parser.isSet(o.device))
        options.device = parser.value(o.device);
    if (parser.isSet(o.link))
        options.link = parser.value(o.link);
    return options;
}

// Listens on the line until it is idle, lost or a signal comes, then sums up.
int serve(const Options &options)
{
    SignalWatch signal_watch({SIGINT, SIGTERM});
    if (!signal_watch.ok()) {
        err() << QStringLiteral("rw7300-sim: シグナルを待てません\n") << Qt::flush;
        return kExitLine;
    }
    Monitor monitor(options.settings);
    const auto finish = [&monitor](int status) {
        monitor.finish();
        QCoreApplication::exit(status);
    };
    const auto lost = [&finish](const QString &reason) {
        err() << QStringLiteral("rw7300-sim: 回線を失いました: ") << reason << '\n' << Qt::flush;
        finish(kExitLine);
    };
    QObject::connect(&signal_watch, &SignalWatch::caught, &monitor, [&finish] { finish(0); });
    QObject::connect(&monitor, &Monitor::idle, &monitor, [&finish] { finish(0); });

    DeviceLine device;
    PseudoTerminal terminal;
    if (options.device) {
        const QString &name = *options.device;
        QObject::connect(&device, &DeviceLine::received, &monitor, &Monitor::take);
        QObject::connect(&device, &DeviceLine::lost, &monitor, lost);
        if (!device.open(name)) {
            err() << "rw7300-sim: " << device.error_text() << '\n' << Qt::flush;
            return kExitLine;
        }
        err() << QStringLiteral("rw7300-sim: %1 (9600 8N1) で待ち受けています\n").arg(name)
              << Qt::flush;
    } else {
        QObject::connect(&terminal, &PseudoTerminal::received, &monitor, &Monitor::take);
        QObject::connect(&terminal, &PseudoTerminal::lost, &monitor, lost);
        if (!terminal.open() || (options.link && !terminal.publish(*options.link))) {
            err() << "rw7300-sim: " << terminal.error_text() << '\n' << Qt::flush;
            return kExitLine;
        }
        err() << QStringLiteral("rw7300-sim: %1 で待ち受けています\n").arg(terminal.device())
              << Qt::flush;
    }
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rw7300-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RW7300_VERSION));

    const auto parsed = parse_options(QCoreApplication::arguments());
    if (const int *status = std::get_if<int>(&parsed))
        return *status;
    return serve(std::get<Options>(parsed));
}
