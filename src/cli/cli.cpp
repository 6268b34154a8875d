#include "cli.h"

#include "accuracy.h"
#include "accuracytext.h"
#include "advicereport.h"
#include "advisor.h"
#include "calculate.h"
#include "cliports.h"
#include "clirecord.h"
#include "cliupload.h"
#include "exitstatus.h"
#include "filetext.h"
#include "listing.h"
#include "mountfile.h"
#include "names.h"
#include "options.h"
#include "portsettings.h"
#include "porttext.h"
#include "report.h"
#include "systemname.h"
#include "systemtext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <utility>
#include <variant>

namespace app {

namespace {

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
                      .arg(system_reason_text(g_stdout_error)));
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

// The mount a run works on: --mount's file, or the defaults, with each value
// given on the command line in place of its own; or exit status 7, said in
// one line, when the file cannot be used.
std::variant<files::Mount, int> mount_of_run(const Options &options)
{
    files::Mount mount;
    if (options.mount) {
        const ReadablePath path(*options.mount);
        auto read = files::read_mount(path.path());
        if (const auto *error = std::get_if<files::MountError>(&read)) {
            print(stderr, QStringLiteral("rw7300-speedtable: %1\n")
                              .arg(mount_problem_text(QFile::decodeName(*options.mount), *error)));
            return exit_code(ExitStatus::Mount);
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
        print(stderr,
              QStringLiteral("rw7300-speedtable: %1\n").arg(core_text(failure_message(*failure))));
        return exit_code(ExitStatus::CalculationOrRefused);
    }
    const auto &out = std::get<calc::CalcOutput>(result);
    const bool listing_to_stdout = options.listing == QByteArray("-");
    if (listing_to_stdout) {
        // The listing's own bytes (Shift-JIS, CR LF) in place of the report.
        write_bytes(stdout, files::speed_data_now(out.base_clock, out.speed_table));
    } else if (options.listing) {
        const auto written = write_named(*options.listing, [&](const QString &named) {
            return files::write_speed_data(named, out.base_clock, out.speed_table);
        });
        if (!written.ok) {
            print(stderr,
                  QStringLiteral("rw7300-speedtable: %1 を書き込めません: %2\n")
                      .arg(QFile::decodeName(*options.listing), write_failure_text(written)));
            return exit_code(ExitStatus::Listing);
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
    // Seen before the upload starts; and an output that failed stops the
    // run here, before anything is sent.
    if (!stdout_delivered())
        return exit_code(ExitStatus::Output);
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
        return exit_code(ExitStatus::CalculationOrRefused);
    }
    const UploadMount from{
        options.mount ? QFileInfo(QFile::decodeName(*options.mount)).absoluteFilePath() : QString(),
        options.mount ? values.name : QString(), input};
    const UploadEnd upload = upload_from_command_line(out, *options.upload, clock, devices, from);
    // Stopped by a signal: the status a shell gives a program the signal ended.
    if (upload.signal != 0)
        return kSignalStatusBase + upload.signal;
    return upload.complete ? 0 : exit_code(ExitStatus::Upload);
}

// --advise: every clock and factor ranked, for the mount of this run. A
// drive train that cannot be calculated as it stands is refused as
// --calculate refuses it, not answered with advice for a mount that does
// not run.
int advise(const Options &options)
{
    const auto mount = mount_of_run(options);
    if (const int *failed = std::get_if<int>(&mount))
        return *failed;
    const auto &values = std::get<files::Mount>(mount);
    const calc::CalcResult now = calc::calculate({values.ra, values.dec, values.base_clock});
    if (const auto *failure = std::get_if<calc::CalcFailure>(&now)) {
        print(stderr,
              QStringLiteral("rw7300-speedtable: %1\n").arg(core_text(failure_message(*failure))));
        return exit_code(ExitStatus::CalculationOrRefused);
    }
    const calc::Advice advice =
        calc::advise(values.ra, values.dec, values.base_clock, options.tolerance);
    if (options.json)
        print(stdout, QString::fromUtf8(advice_json(advice).toJson(QJsonDocument::Compact)) +
                          QLatin1Char('\n'));
    else
        print(stdout, advice_report(advice, values.base_clock, values.ra, values.dec));
    return 0;
}

// --save-mount: the mount of this run, written to a file or standard output.
int save_mount(const Options &options)
{
    auto resolved = mount_of_run(options);
    if (const int *failed = std::get_if<int>(&resolved))
        return *failed;
    auto &mount = std::get<files::Mount>(resolved);
    const QString file_text = QFile::decodeName(options.save_mount);
    const bool to_stdout = options.save_mount == "-";
    if (options.mount_name) {
        mount.name = *options.mount_name;
    } else if (!options.mount && !to_stdout) {
        // A mount file saved over keeps its name; a new one is named after
        // its file.
        const ReadablePath path(options.save_mount);
        const files::MountRead existing = files::read_mount(path.path());
        const auto *kept = std::get_if<files::Mount>(&existing);
        mount.name = kept ? kept->name : QFileInfo(file_text).completeBaseName();
    }
    if (to_stdout) {
        write_bytes(stdout, files::mount_bytes(mount));
        return 0;
    }
    files::MountWriteOutcome written;
    const files::WriteOutcome named = write_named(options.save_mount, [&](const QString &path) {
        written = files::write_mount(path, mount);
        return static_cast<const files::WriteOutcome &>(written);
    });
    // Written under a stand-in name but not renamed into place, or never
    // reached (its folder refused): that failure.
    if (!named.ok && (written.ok || written.fault == files::WriteFault::None))
        static_cast<files::WriteOutcome &>(written) = named;
    if (!written.ok) {
        print(stderr, QStringLiteral("rw7300-speedtable: %1 を書き込めません: %2\n")
                          .arg(file_text, mount_write_failure_text(written)));
        return exit_code(ExitStatus::Mount);
    }
    // The whole path: a relative one says little once the shell has moved on.
    print(stdout, QStringLiteral("マウントファイルを書き込みました: %1\n")
                      .arg(QDir::toNativeSeparators(QFileInfo(file_text).absoluteFilePath())));
    return 0;
}

// --ports: where each port name leads, as text or JSON.
int list_ports(const Options &options, const rwlink::Devices &devices)
{
    const PortSettings settings(devices);
    // The window and an upload carry on as if nothing were assigned; so
    // does the list, but not without saying why.
    if (!settings.read().ok())
        print(stderr, QStringLiteral("rw7300-speedtable: 割り当てのファイル %1 を読めません: %2。"
                                     "割り当てはないものとして表示します。\n")
                          .arg(QDir::toNativeSeparators(settings.path()),
                               assignments_read_failure_text(settings.read())));
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
    using files::WriteFault;
    const bool refused = written.fault == WriteFault::NotDevice ||
                         written.fault == WriteFault::PortName ||
                         written.fault == WriteFault::NoSuchPort;
    if (refused) {
        const QString what = options.action == Action::SetPort
                                 ? QStringLiteral("「%1」を割り当てられません").arg(options.device)
                                 : QStringLiteral("割り当てを消せません");
        print(stderr,
              QStringLiteral("rw7300-speedtable: %1: %2\n").arg(what, write_failure_text(written)));
        return exit_code(ExitStatus::PortFile);
    }
    if (!written.ok) {
        print(stderr,
              QStringLiteral("rw7300-speedtable: 割り当てのファイル %1 を書き込めません: "
                             "%2\n")
                  .arg(QDir::toNativeSeparators(settings.path()), write_failure_text(written)));
        return exit_code(ExitStatus::PortFile);
    }
    if (options.action == Action::SetPort) {
        print(stdout,
              assigned_text(settings.map(), options.port, options.device) + QLatin1Char('\n'));
        // Kept all the same: the adapter may be plugged in, or the log-in
        // renewed, before the next upload.
        if (const QString warning = assigned_device_warning(settings.map(), options.port);
            !warning.isEmpty())
            print(stderr,
                  QStringLiteral("rw7300-speedtable: 注意: ") + warning + QLatin1Char('\n'));
    } else
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
        if (is_window_option(arg))
            continue;
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
        if (const auto *printed = std::get_if<Printed>(&parsed)) {
            print(stdout, printed->text);
            return exit_code(ExitStatus::Done);
        }
        if (const auto *error = std::get_if<UsageError>(&parsed)) {
            print(stderr, usage_error_text(*error));
            return exit_code(ExitStatus::Usage);
        }
        const auto &options = std::get<Options>(parsed);
        switch (options.action) {
        case Action::Ports:
            return list_ports(options, devices);
        case Action::SaveMount:
            return save_mount(options);
        case Action::SetPort:
        case Action::ClearPort:
            return change_port(options, devices);
        case Action::Advise:
            return advise(options);
        case Action::History:
            return list_history(options);
        case Action::Holds:
            return print_holds(options, devices);
        case Action::Calculate:
            break;
        }
        return calculate_and_report(options, clock, devices);
    }();
    // Another failure keeps its own status; otherwise output that did not
    // arrive is this run's failure.
    if (!stdout_delivered() && status == 0)
        return exit_code(ExitStatus::Output);
    return status;
}

} // namespace app
