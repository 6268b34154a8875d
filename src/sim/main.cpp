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
    return QStringLiteral(
               "A stand-in RW7300 controller. Without --device it creates a pseudo-terminal and\n"
               "listens on it (\"rw7300-sim: listening on /dev/pts/N\" on stderr); point the\n"
               "tool's port at that device, for example RW7300_COM1=/dev/pts/N. Every frame is\n"
               "shown as it arrives; anything the controller could not take is flagged with\n"
               "\"!\" (the first 1000 of them; the summary counts them all). The summary of\n"
               "what the controller would hold is printed when the line\n"
               "has been idle for --idle-exit seconds, counted from the first byte (before\n"
               "that it waits however long), or on SIGINT/SIGTERM.\n") +
           forms +
           QStringLiteral("Exit status:\n"
                          "  0  after the summary\n"
                          "  %1  bad options\n"
                          "  %2  the line could not be opened or was lost")
               .arg(kExitUsage)
               .arg(kExitLine);
}

QTextStream &err()
{
    static QTextStream stream(stderr, QIODevice::WriteOnly);
    return stream;
}

int usage_error(const QString &message, const QCommandLineParser &parser)
{
    err() << "rw7300-sim: " << message << "\n\n" << parser.helpText() << Qt::flush;
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
        {QStringLiteral("device"), QStringLiteral("Listen on serial port DEV (9600 8N1) instead."),
         QStringLiteral("DEV")},
        {QStringLiteral("link"),
         QStringLiteral("Make PATH a symbolic link to the pseudo-terminal once listening "
                        "(an old link is replaced); removed at exit."),
         QStringLiteral("PATH")},
        {QStringLiteral("idle-exit"),
         QStringLiteral("Sum up and exit once the line has been quiet for SECONDS."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("json"),
         QStringLiteral("Summary as one JSON object on stdout; frame lines go to stderr.")},
        {QStringLiteral("min-gap"),
         QStringLiteral("Flag frames ending less than MS after the previous one (default %1, the "
                        "tool's pause; 0: never).")
             .arg(rwlink::kCommandGap.count()),
         QStringLiteral("MS"), QString::number(rwlink::kCommandGap.count())},
        {QStringLiteral("gap-tolerance"),
         QStringLiteral("Allow gaps this many MS under --min-gap before flagging them, for the "
                        "delay between a byte's arrival and this program reading it (default "
                        "%1). The summary gives the true minimum either way.")
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
    const QCommandLineOption help_option = parser.addHelpOption();
    const QCommandLineOption version_option = parser.addVersionOption();

    if (!parser.parse(arguments))
        return usage_error(parser.errorText(), parser);
    if (parser.isSet(help_option)) {
        QTextStream(stdout, QIODevice::WriteOnly) << parser.helpText();
        return 0;
    }
    if (parser.isSet(version_option)) {
        QTextStream(stdout, QIODevice::WriteOnly) << "rw7300-sim " << RW7300_VERSION << '\n';
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage_error(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().constFirst()),
            parser);
    if (parser.isSet(o.device) && parser.isSet(o.link))
        return usage_error(QStringLiteral("--link names a pseudo-terminal; not with --device"),
                           parser);

    Options options;
    Monitor::Settings &settings = options.settings;
    settings.json = parser.isSet(o.json);
    if (parser.isSet(o.idle)) {
        bool ok = false;
        const std::chrono::duration<double> idle(parser.value(o.idle).toDouble(&ok));
        if (!ok || !std::isfinite(idle.count()) || idle <= 0s || idle > kLongestIdle)
            return usage_error(QStringLiteral("--idle-exit takes seconds, more than 0"), parser);
        settings.idle_exit = std::max(1ms, std::chrono::round<std::chrono::milliseconds>(idle));
    }
    const auto gap = gap_value(parser.value(o.gap));
    if (!gap)
        return usage_error(QStringLiteral("--min-gap takes milliseconds, 0 or more"), parser);
    settings.min_gap = *gap;
    const auto tolerance = gap_value(parser.value(o.tolerance));
    if (!tolerance)
        return usage_error(QStringLiteral("--gap-tolerance takes milliseconds, 0 or more"), parser);
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
        err() << "rw7300-sim: cannot watch for signals\n" << Qt::flush;
        return kExitLine;
    }
    Monitor monitor(options.settings);
    const auto finish = [&monitor](int status) {
        monitor.finish();
        QCoreApplication::exit(status);
    };
    const auto lost = [&finish](const QString &reason) {
        err() << "rw7300-sim: the line was lost: " << reason << '\n' << Qt::flush;
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
        err() << "rw7300-sim: listening on " << name << " (9600 8N1)\n" << Qt::flush;
    } else {
        QObject::connect(&terminal, &PseudoTerminal::received, &monitor, &Monitor::take);
        QObject::connect(&terminal, &PseudoTerminal::lost, &monitor, lost);
        if (!terminal.open() || (options.link && !terminal.publish(*options.link))) {
            err() << "rw7300-sim: " << terminal.error_text() << '\n' << Qt::flush;
            return kExitLine;
        }
        err() << "rw7300-sim: listening on " << terminal.device() << '\n' << Qt::flush;
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
