#include "childprogram.h"
#include "exitstatus.h"
#include "terminalwidth.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cmath>
#include <csignal>
#include <cstring>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

using app::ExitStatus;

// The statuses scripts rely on, written out here rather than read from the
// program's table: every run below then pins its number.
constexpr int status(ExitStatus which)
{
    constexpr std::pair<ExitStatus, int> kDocumented[] = {
        {ExitStatus::Done, 0},    {ExitStatus::Usage, 1},  {ExitStatus::CalculationOrRefused, 2},
        {ExitStatus::Listing, 3}, {ExitStatus::Upload, 4}, {ExitStatus::PortFile, 5},
        {ExitStatus::Output, 6},  {ExitStatus::Mount, 7},  {ExitStatus::Record, 8}};
    for (const auto &[status, code] : kDocumented) {
        if (status == which)
            return code;
    }
    return -1;
}

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// The child's environment: its own configuration folder and no port
// overrides, so the user's assignments are never read or written; then
// "NAME=VALUE" entries of the test's own.
QProcessEnvironment child_environment(const QString &config_home, const QStringList &extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_home);
    for (int n = 1; n <= 20; ++n)
        env.remove(QStringLiteral("RW7300_COM%1").arg(n));
    for (const QString &entry : extra)
        env.insert(entry.section('=', 0, 0), entry.section('=', 1));
    return env;
}

// For runs that do not look at the assignments: one folder for them all.
QString shared_config_home()
{
    static const QTemporaryDir dir;
    return dir.path();
}

Run run(const QStringList &arguments,
        const QProcessEnvironment &env = child_environment(shared_config_home()),
        const QString &directory = {})
{
    QProcess process;
    process.setProcessEnvironment(env);
    if (!directory.isEmpty())
        process.setWorkingDirectory(directory);
    start_program(process, QStringLiteral(SPEEDTABLE_EXE), arguments);
    Run r;
    if (!process.waitForFinished(30000))
        return r;
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
    return r;
}

// A row or rate object without its accuracy figures and send check: the box
// texts alone.
QJsonObject boxes(QJsonObject o)
{
    o.remove(QStringLiteral("accuracy"));
    o.remove(QStringLiteral("send"));
    return o;
}

QJsonObject json(const QStringList &extra)
{
    const Run r = run(QStringList{QStringLiteral("--calculate"), QStringLiteral("--json")} + extra);
    if (r.exitCode != 0)
        return {};
    return QJsonDocument::fromJson(r.out).object();
}

QString ports_file(const QString &config_home)
{
    return config_home + QStringLiteral("/rw7300-speedtable/ports.conf");
}

// The lines of the assignments file that assign, in file order.
QStringList assignment_lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<no file>")};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeIf([](const QString &line) { return line.isEmpty() || line.startsWith('#'); });
    return lines;
}

QJsonArray ports_json(const QProcessEnvironment &env)
{
    const Run r = run({QStringLiteral("--ports"), QStringLiteral("--json")}, env);
    if (r.exitCode != 0 || !r.err.isEmpty())
        return {};
    return QJsonDocument::fromJson(r.out).array();
}

// The line of --ports for one port name.
QString ports_line(const QByteArray &out, const QString &port)
{
    const QStringList lines = QString::fromUtf8(out).split('\n');
    for (const QString &line : lines) {
        if (line.startsWith(port + QLatin1Char(' ')))
            return line;
    }
    return {};
}

// What the system opens for port n when nothing else says.
QString default_device(int n)
{
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

// A mount file as a person might write it: bare values, quoted only when
// blanks at an end or an empty text need it.
QByteArray mount_text(const QString &name, const QStringList &ra, const QStringList &dec,
                      const QString &clock)
{
    const auto value = [](const QString &v) {
        return v.isEmpty() || v != v.trimmed() ? '"' + v + '"' : v;
    };
    static const char *const kParts[] = {"worm", "intermediate_gear", "motor", "reduction_gear",
                                         "microstep"};
    QString text =
        QStringLiteral("# RW7300\nrw7300-mount = 1\nname = %1\nbase_clock = %2\n").arg(name, clock);
    for (int i = 0; i < 5; ++i)
        text += QStringLiteral("ra.%1 = %2\n").arg(QLatin1String(kParts[i]), value(ra.value(i)));
    for (int i = 0; i < 5; ++i)
        text += QStringLiteral("dec.%1 = %2\n").arg(QLatin1String(kParts[i]), value(dec.value(i)));
    return text.toUtf8();
}

bool write_file(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray file_bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The value of the name line of a mount file written without quotes.
QString mount_name(const QString &path)
{
    const QStringList lines = QString::fromUtf8(file_bytes(path)).split('\n');
    const QStringList named = lines.filter(QRegularExpression(QStringLiteral("^name = ")));
    return named.size() == 1 ? named.first().mid(7)
                             : QStringLiteral("<%1 name lines>").arg(named.size());
}

} // namespace

class tst_Cli : public QObject {
    Q_OBJECT

private slots:
    void hostileSurroundings_data();
    void hostileSurroundings();
    void closedPipe_data();
    void closedPipe();
    void repeatedOption_data();
    void repeatedOption();
    void relativeBaseDirectories_data();
    void relativeBaseDirectories();
    void namesInSystemBytes_data();
    void namesInSystemBytes();
    void listingToStandardOutput();
    void jsonDefaults();
    void jsonOptions_data();
    void jsonOptions();
    void report();
    void advise_data();
    void advise();
    void adviseReport_data();
    void adviseReport();
    void malformedOptions_data();
    void malformedOptions();
    void calculationFailure_data();
    void calculationFailure();
    void version();
    void listing();
    void accuracyColumns();
    void uploadToMissingPort_data();
    void uploadToMissingPort();
    void sendClassification_data();
    void sendClassification();
    void sendWarnings_data();
    void sendWarnings();
    void helpNamesOption_data();
    void helpNamesOption();
    void portAssignmentsRoundTrip();
    void portSources_data();
    void portSources();
    void portUsageErrors_data();
    void portUsageErrors();
    void portFileNotWritable_data();
    void portFileNotWritable();
    void portChangeKeepsLines_data();
    void portChangeKeepsLines();
    void racingPortChanges();
    void mountAsOptions_data();
    void mountAsOptions();
    void savedMountAsOptions_data();
    void savedMountAsOptions();
    void saveMountRefused_data();
    void saveMountRefused();
    void unusableMountFile_data();
    void unusableMountFile();
};

void tst_Cli::hostileSurroundings_data()
{
    QTest::addColumn<QString>("shell"); // run by sh; EXE stands for the program
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // what stdout starts with, when it matters
    QTest::addColumn<QString>("err"); // a part of stderr, when it matters
    const QString written = QStringLiteral("標準出力に書き込めませんでした");
    QTest::newRow("JSON to a full device")
        << "EXE --calculate --json >/dev/full" << status(ExitStatus::Output) << "" << written;
    QTest::newRow("report to a closed stdout")
        << "EXE --calculate >&-" << status(ExitStatus::Output) << "" << written;
    QTest::newRow("port list to a full device")
        << "EXE --ports >/dev/full" << status(ExitStatus::Output) << "" << written;
    QTest::newRow("help-all") << "EXE --help-all" << 0 << QStringLiteral("使い方: ") << "";
    QTest::newRow("Qt's window options before ours")
        << "EXE -platform offscreen -style fusion --calculate" << 0
        << QStringLiteral("基本クロック") << "";
    QTest::newRow("port name out of range") << "EXE --calculate --upload Com21" << 1 << ""
                                            << QStringLiteral("Com21 はポート名ではありません");
    QTest::newRow("port name in the wrong case") << "EXE --calculate --upload com3" << 1 << ""
                                                 << QStringLiteral("com3 はポート名ではありません");
    QTest::newRow("empty listing name") << "EXE --calculate --listing ''" << 1 << ""
                                        << QStringLiteral("--listing にはファイル名が必要です");
    QTest::newRow("listing and JSON on stdout")
        << "EXE --calculate --json --listing -" << 1 << "" << QStringLiteral("一緒には使えません");
    // One argument that is no option is a mount file for the window, which
    // opens (and here quits at its first paint) even when the file is not there.
    QTest::newRow("a mount file opens the window")
        << "RW7300_BENCH_STARTUP=1 EXE -platform offscreen /nonexistent/m.rw7300mount" << 0
        << "shown "
        << "";
    QTest::newRow("two mount files") << "EXE -platform offscreen a.rw7300mount b.rw7300mount" << 1
                                     << "" << QStringLiteral("余計な引数「a.rw7300mount」");
    QTest::newRow("no display") << "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM EXE" << 1
                                << "" << QStringLiteral("ディスプレイがない");
    QTest::newRow("X display not there")
        << "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_SESSION_TYPE= DISPLAY=:59999 EXE" << 1
        << "" << QStringLiteral("ディスプレイ (DISPLAY=:59999) を使えない");
    QTest::newRow("Wayland display not there")
        << "env -u DISPLAY -u QT_QPA_PLATFORM XDG_SESSION_TYPE=wayland "
           "WAYLAND_DISPLAY=/nonexistent/rw7300-wayland EXE"
        << 1 << "" << QStringLiteral("WAYLAND_DISPLAY=/nonexistent/rw7300-wayland) を使えない");
    QTest::newRow("platform named, display not there")
        << "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb EXE" << 1 << ""
        << QStringLiteral("(QT_QPA_PLATFORM=xcb) を使えない");
    QTest::newRow("display not there, mount file named")
        << "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:59999 EXE m.rw7300mount" << 1 << ""
        << QStringLiteral("--calculate");
}

// What shells, desktops and full disks do to a run: never a false success,
// never an abort.
void tst_Cli::hostileSurroundings()
{
    QFETCH(QString, shell);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess process;
    process.setProcessEnvironment(child_environment(shared_config_home()));
    process.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"),
                   shell.replace("EXE", shell_command(QStringLiteral(SPEEDTABLE_EXE)))});
    QVERIFY(process.waitForFinished(30000));
    const QString got_out = QString::fromUtf8(process.readAllStandardOutput());
    const QString got_err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(out.isEmpty() || got_out.startsWith(out), qPrintable(got_out.left(200)));
    QVERIFY2(got_err.contains(err), qPrintable(got_err));
    if (exitCode == status(ExitStatus::Output) || shell.contains("DISPLAY")) {
        QCOMPARE(got_err.count('\n'), 1); // one line says it
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    }
    if (shell.contains("DISPLAY"))
        QVERIFY2(got_err.contains("--calculate") && got_err.contains("--help"),
                 qPrintable(got_err));
}

void tst_Cli::closedPipe_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("JSON") << QStringList{"--calculate", "--json"};
    QTest::newRow("report") << QStringList{"--calculate"};
    QTest::newRow("listing on standard output") << QStringList{"--calculate", "--listing", "-"};
    QTest::newRow("mount file on standard output") << QStringList{"--save-mount", "-"};
    QTest::newRow("port list") << QStringList{"--ports"};
    QTest::newRow("help") << QStringList{"--help"};
}

// A pipe whose reader has gone: status 6 and one line, as --help promises,
// not a death by SIGPIPE. The child gets the signal's default action, as
// from a shell, whatever this test process does with it.
void tst_Cli::closedPipe()
{
    QFETCH(QStringList, arguments);
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    ::close(ends[0]);
    QProcess process;
    process.setProcessEnvironment(child_environment(shared_config_home()));
    process.setChildProcessModifier([write_end = ends[1]] {
        ::signal(SIGPIPE, SIG_DFL);
        ::dup2(write_end, STDOUT_FILENO);
    });
    start_program(process, QStringLiteral(SPEEDTABLE_EXE), arguments);
    const bool finished = process.waitForFinished(30000);
    ::close(ends[1]);
    QVERIFY(finished);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status(ExitStatus::Output));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.contains(QStringLiteral("標準出力に書き込めませんでした")), qPrintable(err));
}

void tst_Cli::repeatedOption_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("option");
    const QString mount = QStringLiteral("m.rw7300mount");
    QTest::newRow("ra") << QStringList{"--calculate", "--ra", "240,2,200,10,16", "--ra",
                                       "144,2,200,10,16"}
                        << "--ra";
    QTest::newRow("dec, the same value twice")
        << QStringList{"--calculate", "--dec", "1,1,1,1,1", "--dec", "1,1,1,1,1"} << "--dec";
    QTest::newRow("clock") << QStringList{"--calculate", "--clock", "2MHz", "--clock=250kHz"}
                           << "--clock";
    QTest::newRow("listing to a file and to standard output")
        << QStringList{"--calculate", "--listing", "F.txt", "--listing", "-"} << "--listing";
    QTest::newRow("mount") << QStringList{"--calculate", "--mount", mount, "--mount", mount}
                           << "--mount";
    QTest::newRow("upload") << QStringList{"--calculate", "--upload", "Com1", "--upload", "Com2"}
                            << "--upload";
    QTest::newRow("save-mount") << QStringList{"--save-mount", mount, "--save-mount", "-"}
                                << "--save-mount";
    QTest::newRow("mount-name") << QStringList{"--save-mount", mount, "--mount-name", "a",
                                               "--mount-name", "b"}
                                << "--mount-name";
    QTest::newRow("clear-port") << QStringList{"--clear-port", "Com1", "--clear-port", "Com2"}
                                << "--clear-port";
}

// The last of two values would be used unseen; a usage error names the
// option, in one line and a pointer to --help, and nothing is written.
void tst_Cli::repeatedOption()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, option);
    const QTemporaryDir config;
    const QTemporaryDir work;
    const Run r = run(arguments, child_environment(config.path()), work.path());
    QCOMPARE(r.exitCode, status(ExitStatus::Usage));
    QVERIFY(r.out.isEmpty());
    const QStringList lines = QString::fromUtf8(r.err).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].contains(option + QStringLiteral(" が二度以上")), qPrintable(lines[0]));
    QVERIFY2(lines[1].contains("--help"), qPrintable(lines[1]));
    QVERIFY(QDir(work.path()).isEmpty());
    QVERIFY(QDir(config.path()).isEmpty());
}

namespace {

// A name that is not UTF-8, as a file system may hold it.
const QByteArray kByteName("bad\xffname.rw7300mount");

bool write_raw(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
    return ::close(fd) == 0 && written;
}

// The file's bytes, or "<none>" when there is none by that name.
QByteArray read_raw(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<none>";
    QByteArray bytes;
    char chunk[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, n);
    ::close(fd);
    return bytes;
}

// Entries of a folder, counted by the system: Qt passes over names that are
// not UTF-8.
int raw_entries(const QString &folder)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr)
        return -1;
    int n = 0;
    while (const dirent *entry = ::readdir(dir))
        n += std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0;
    ::closedir(dir);
    return n;
}

} // namespace

void tst_Cli::namesInSystemBytes_data()
{
    QTest::addColumn<QByteArray>("existing"); // the named file before, empty: none
    QTest::addColumn<bool>("decoy");          // a mount file named with U+FFFD in its place
    QTest::addColumn<QString>("command");     // sh; EXE the program, "$N" the name
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("holds"); // in the named file after; "<none>": no file
    QTest::addColumn<QString>("out");      // a part of stdout
    const QByteArray mount = mount_text("Garden", {"100", "2", "200", "10", "16"},
                                        {"144", "2.5", "200", "10", "16"}, "2MHz");
    QTest::newRow("save a new mount file")
        << QByteArray() << true << "EXE --save-mount \"$N\" --ra 100,2,200,10,16" << 0
        << QByteArray("ra.worm = 100\n") << "";
    QTest::newRow("save over a mount file, its comment kept")
        << mount + "# kept\n"
        << true << "EXE --save-mount \"$N\" --ra 101,2,200,10,16" << 0
        << QByteArray("ra.worm = 101\n") << "";
    QTest::newRow("read a mount file") << mount << true << "EXE --calculate --json --mount \"$N\""
                                       << 0 << mount << R"("total":" 6400000")";
    QTest::newRow("mount file not there, a decoy beside it")
        << QByteArray() << true << "EXE --calculate --mount \"$N\"" << 7 << QByteArray("<none>")
        << "";
    QTest::newRow("listing") << QByteArray() << false << "EXE --calculate --listing \"$N\"" << 0
                             << QByteArray("#:&RA01=") << "";
    QTest::newRow("listing in a folder whose name is not UTF-8")
        << QByteArray() << false
        << "mkdir \"$N.d\" && EXE --calculate --listing \"$N.d/x.txt\" && "
           "mv \"$N.d/x.txt\" \"$N\" && rmdir \"$N.d\""
        << 0 << QByteArray("#:&RA01=") << "";
    QTest::newRow("listing into a folder not there")
        << QByteArray() << false << "EXE --calculate --listing \"$N.d/x.txt\"" << 3
        << QByteArray("<none>") << "";
}

// A name given in bytes that are not UTF-8 opens, reads and writes the file
// it names, and no other: no file named with U+FFFD is made or read, and no
// name used on the way is left behind.
void tst_Cli::namesInSystemBytes()
{
    QFETCH(QByteArray, existing);
    QFETCH(bool, decoy);
    QFETCH(QString, command);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, holds);
    QFETCH(QString, out);
    const QTemporaryDir dir;
    const QByteArray named = QFile::encodeName(dir.path()) + '/' + kByteName;
    // QTemporaryDir removes by QString names, which cannot name these bytes.
    const auto remove_named = qScopeGuard([&named] { ::unlink(named.constData()); });
    if (!existing.isEmpty())
        QVERIFY(write_raw(named, existing));
    const QString decoy_name = dir.filePath(QFile::decodeName(kByteName));
    const QByteArray decoy_bytes =
        mount_text("Decoy", {"1", "1", "1", "1", "1"}, {"1", "1", "1", "1", "1"}, "2MHz");
    if (decoy)
        QVERIFY(write_file(decoy_name, decoy_bytes));

    QProcess process;
    process.setProcessEnvironment(child_environment(shared_config_home()));
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"),
                   QStringLiteral("N=\"$(printf 'bad\\377name.rw7300mount')\"; ") +
                       command.replace("EXE", shell_command(QStringLiteral(SPEEDTABLE_EXE)))});
    QVERIFY(process.waitForFinished(30000));
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(process.readAllStandardOutput().contains(out.toUtf8()), err);
    const QByteArray after = read_raw(named);
    QVERIFY2(holds == "<none>" ? after == holds : after.contains(holds), after);
    if (decoy)
        QCOMPARE(file_bytes(decoy_name), decoy_bytes);
    QCOMPARE(raw_entries(dir.path()), int(holds != "<none>") + int(decoy));
}

void tst_Cli::relativeBaseDirectories_data()
{
    QTest::addColumn<QStringList>("environment"); // @home, @work: the test's folders
    QTest::addColumn<QString>("kept");            // where ports.conf goes
    QTest::newRow("absolute config home")
        << QStringList{"XDG_CONFIG_HOME=@home/conf"} << "@home/conf/rw7300-speedtable/ports.conf";
    QTest::newRow("relative config home") << QStringList{"XDG_CONFIG_HOME=relative/dir"}
                                          << "@home/.config/rw7300-speedtable/ports.conf";
    QTest::newRow("dot-relative config home")
        << QStringList{"XDG_CONFIG_HOME=./conf"} << "@home/.config/rw7300-speedtable/ports.conf";
    QTest::newRow("relative homes of every kind")
        << QStringList{"XDG_CONFIG_HOME=c", "XDG_DATA_HOME=d",   "XDG_STATE_HOME=s",
                       "XDG_CACHE_HOME=k",  "XDG_RUNTIME_DIR=r", "XDG_CONFIG_DIRS=x:y",
                       "XDG_DATA_DIRS=z"}
        << "@home/.config/rw7300-speedtable/ports.conf";
}

// A relative base directory is ignored, as the base-directory rules say:
// the assignments go under the home folder, never under the folder the
// program was started in; --help names the same place.
void tst_Cli::relativeBaseDirectories()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, kept);
    const QTemporaryDir home;
    const QTemporaryDir work;
    QProcessEnvironment env = child_environment(home.path());
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    env.insert(QStringLiteral("HOME"), home.path());
    for (const QString &entry : environment)
        env.insert(entry.section('=', 0, 0), entry.section('=', 1).replace("@home", home.path()));
    kept.replace("@home", home.path());

    Run r = run({"--help"}, env, work.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(kept.toUtf8()), r.out);
    r = run({"--set-port", "Com3=/dev/rw7300-three"}, env, work.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(assignment_lines(kept), QStringList{"Com3=/dev/rw7300-three"});
    QVERIFY(QDir(work.path()).isEmpty());
}

// "-" is standard output: the listing's own bytes, no report beside them.
void tst_Cli::listingToStandardOutput()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("Speed_Data.txt");
    const Run to_file = run({"--calculate", "--clock", "250kHz", "--listing", file});
    const Run to_stdout = run({"--calculate", "--clock", "250kHz", "--listing", "-"});
    QCOMPARE(to_file.exitCode, 0);
    QCOMPARE(to_stdout.exitCode, 0);
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray expected = written.readAll();
    // The first line is the time stamp, which may move between the runs.
    const auto after_stamp = [](const QByteArray &b) { return b.mid(b.indexOf("\r\n")); };
    QCOMPARE(after_stamp(to_stdout.out), after_stamp(expected));
    QCOMPARE(to_stdout.out.count("\r\n"), 111);
    QVERIFY(!QFileInfo::exists(dir.filePath("-")));
}

void tst_Cli::jsonDefaults()
{
    // The window's last Calculate stays the window's: scripts get the defaults.
    const QString kept = shared_config_home() + "/rw7300-speedtable/last-calculation.rw7300mount";
    QVERIFY(QDir().mkpath(QFileInfo(kept).absolutePath()));
    QVERIFY(write_file(kept, mount_text("EM-200", {"240", "2", "200", "10", "8"},
                                        {"144", "2.5", "200", "10", "4"}, "250kHz")));
    const QJsonObject o = json({});
    QCOMPARE(o.value("base_clock").toInt(), 2000000);
    const QJsonObject ra = o.value("ra").toObject();
    QCOMPARE(ra.value("total").toString(), QStringLiteral(" 15360000"));
    QCOMPARE(ra.value("reference").toString(), QStringLiteral(" 178"));
    QCOMPARE(ra.value("total_hex").toString(), QStringLiteral("EA6000"));
    const QJsonArray rows = ra.value("rows").toArray();
    QCOMPARE(rows.size(), 50);
    QCOMPARE(boxes(rows.at(0).toObject()), (QJsonObject{{"decimal", " 22438"}, {"hex", "57A7"}}));
    QCOMPARE(boxes(rows.at(49).toObject()), (QJsonObject{{"decimal", " 44"}, {"hex", "002D"}}));
    const QJsonObject rates = ra.value("rates").toObject();
    QCOMPARE(boxes(rates.value("solar").toObject()),
             (QJsonObject{{"decimal", " 11250"}, {"hex", "2BF2"}}));
    QCOMPARE(boxes(rates.value("lunar").toObject()),
             (QJsonObject{{"decimal", " 11647"}, {"hex", "2D80"}}));
    QCOMPARE(boxes(rates.value("king").toObject()),
             (QJsonObject{{"decimal", " 11222"}, {"hex", "2BD7"}}));
    const QJsonObject dec = o.value("dec").toObject();
    QCOMPARE(dec.value("total").toString(), QStringLiteral(" 11520000"));
    QCOMPARE(dec.value("total_hex").toString(), QStringLiteral("AFC800"));
    QVERIFY(!dec.contains("rates"));
    QCOMPARE(boxes(dec.value("rows").toArray().at(0).toObject()),
             (QJsonObject{{"decimal", " 29918"}, {"hex", "74DE"}}));
}

void tst_Cli::jsonOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path"); // axis/field or axis/row
    QTest::addColumn<QString>("expected");
    QTest::newRow("250kHz") << QStringList{"--clock", "250kHz"} << "ra/0"
                            << "0AF5";
    QTest::newRow("clock spelt loosely") << QStringList{"--clock", "250 KHZ"} << "ra/0"
                                         << "0AF5";
    QTest::newRow("clock in hertz") << QStringList{"--clock", "250000"} << "ra/0"
                                    << "0AF5";
    QTest::newRow("2,5 cannot be typed; 2 gives 9216000")
        << QStringList{"--dec", "144,2,200,10,16"} << "dec/total"
        << " 9216000";
    QTest::newRow("1000000 total") << QStringList{"--ra", "100,1,200,10,5"} << "ra/0"
                                   << "4250";
    QTest::newRow("microstep 32 wraps") << QStringList{"--ra", "240,2,200,10,32"} << "ra/total_hex"
                                        << "D4C000";
    QTest::newRow("values read leniently") << QStringList{"--ra", " 240x,2,200,10,16"} << "ra/total"
                                           << " 15360000";
}

void tst_Cli::jsonOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const QJsonObject axis = json(arguments).value(path.section('/', 0, 0)).toObject();
    const QString field = path.section('/', 1);
    bool isRow = false;
    const int row = field.toInt(&isRow);
    const QString got =
        isRow ? axis.value("rows").toArray().at(row).toObject().value("hex").toString()
              : axis.value(field).toString();
    QCOMPARE(got, expected);
}

void tst_Cli::report()
{
    const Run r = run({QStringLiteral("--calculate")});
    QCOMPARE(r.exitCode, 0);
    const QString text = QString::fromUtf8(r.out);
    QVERIFY(text.contains(QStringLiteral("EA6000")));
    QVERIFY(text.contains(QStringLiteral("AFC800")));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("\\b01 +0\\.5 +22438 +57A7\\b"))));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("\\b50 +250 +59 +003C\\b"))));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("lunar.* 11647 +2D80"))));
    QVERIFY(r.err.isEmpty());
}

// The ranking itself is checked against an independent computation in the
// core's tests; here, what --advise prints of it.
void tst_Cli::advise_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("clock");
    QTest::addColumn<int>("raMicrostep");
    QTest::addColumn<int>("decMicrostep");
    QTest::addColumn<bool>("keeps");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<double>("bestSidereal"); // RA's first candidate, to 0.01 ppm
    QTest::newRow("defaults") << QStringList{} << 2000000 << 16 << 16 << true << 0.5 << 24.14;
    QTest::newRow("the clock in use only breaks ties")
        << QStringList{"--clock", "250kHz"} << 2000000 << 16 << 16 << false << 0.5 << 24.14;
    QTest::newRow("tolerance 0") << QStringList{"--tolerance", "0"} << 2000000 << 8 << 16 << false
                                 << 0.0 << -20.43;
    QTest::newRow("every 2 MHz candidate cut")
        << QStringList{"--ra", "100,1,200,1,16", "--dec", "100,1,200,1,16", "--tolerance", "0.25"}
        << 250000 << 64 << 64 << false << 0.25 << -5.57;
}

void tst_Cli::advise()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, clock);
    QFETCH(int, raMicrostep);
    QFETCH(int, decMicrostep);
    QFETCH(bool, keeps);
    QFETCH(double, tolerance);
    QFETCH(double, bestSidereal);
    const Run r = run(QStringList{"--advise", "--json"} + arguments);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(o.keys(), (QStringList{"candidates", "recommended", "tolerance_arcsec_per_hour"}));
    QCOMPARE(o.value("tolerance_arcsec_per_hour").toDouble(), tolerance);
    const QJsonObject recommended = o.value("recommended").toObject();
    QCOMPARE(recommended.keys(),
             (QStringList{"base_clock", "dec_microstep", "keeps_current", "ra_microstep"}));
    QCOMPARE(recommended.value("base_clock").toInt(), clock);
    QCOMPARE(recommended.value("ra_microstep").toInt(), raMicrostep);
    QCOMPARE(recommended.value("dec_microstep").toInt(), decMicrostep);
    QCOMPARE(recommended.value("keeps_current").toBool(), keeps);

    const QJsonArray candidates = o.value("candidates").toArray();
    QCOMPARE(candidates.size(), 36); // 2 clocks × 9 factors × 2 axes
    const QStringList common = {
        "axis",         "base_clock",     "cut", "drift_arcsec_per_hour", "microstep",
        "sidereal_ppm", "worst_ppm_to_2x"};
    const QStringList ra_keys = {
        "axis",      "base_clock",   "cut",       "drift_arcsec_per_hour", "king_ppm", "lunar_ppm",
        "microstep", "sidereal_ppm", "solar_ppm", "worst_ppm_to_2x"};
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const QJsonObject c = candidates[i].toObject();
        const bool ra = i < 18;
        QCOMPARE(c.value("axis").toString(), ra ? QStringLiteral("ra") : QStringLiteral("dec"));
        QCOMPARE(c.keys(), ra ? ra_keys : common);
        QVERIFY(c.value("cut").isBool());
        // 1,296,000″ in a sidereal day of 86,164.0905 s: 0.054148″/h a ppm.
        const double ppm = c.value("sidereal_ppm").toDouble();
        QVERIFY2(std::fabs(c.value("drift_arcsec_per_hour").toDouble() - ppm * 0.054148) <
                     1e-6 * std::fabs(ppm) + 1e-9,
                 qPrintable(QString::number(i)));
    }
    // Each axis leads with its recommendation.
    for (const auto &[at, microstep] : {std::pair{0, raMicrostep}, std::pair{18, decMicrostep}}) {
        const QJsonObject best = candidates[at].toObject();
        QCOMPARE(best.value("base_clock").toInt(), clock);
        QCOMPARE(best.value("microstep").toInt(), microstep);
        QCOMPARE(best.value("cut").toBool(), false);
    }
    QCOMPARE(std::round(candidates[0].toObject().value("sidereal_ppm").toDouble() * 100) / 100,
             bestSidereal);
}

void tst_Cli::adviseReport_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("starts");
    QTest::addColumn<QString>("raMarked"); // the row of the setting in use
    QTest::addColumn<QString>("decMarked");
    QTest::newRow("defaults kept")
        << QStringList{} << QStringLiteral("推奨: 今の設定のまま (基本クロック 2 MHz、")
        << "^\\* +1 +2 MHz +16 "
        << "^\\* +1 +2 MHz +16 ";
    QTest::newRow("250 kHz and RA 4 in use")
        << QStringList{"--clock", "250kHz", "--ra", "240,2,200,10,4"}
        << QStringLiteral("推奨: 基本クロック 2 MHz、赤経 ﾏｲｸﾛｽﾃｯﾌﾟ 16、赤緯 ﾏｲｸﾛｽﾃｯﾌﾟ 16")
        << "^\\* +\\d+ +250 kHz +4 "
        << "^\\* +1[0-8] +250 kHz +16 ";
    QTest::newRow("tolerance 0")
        << QStringList{"--tolerance", "0"}
        << QStringLiteral("推奨: 基本クロック 2 MHz、赤経 ﾏｲｸﾛｽﾃｯﾌﾟ 8、赤緯 ﾏｲｸﾛｽﾃｯﾌﾟ 16\n")
        << "^\\* +3 +2 MHz +16 "
        << "^\\* +1 +2 MHz +16 ";
}

// The text marks the setting in use, which --clock and the microstep of
// --ra name, says the driver is set by hand and what 収まらない means, in
// Japanese and 80 columns, without the window's words.
void tst_Cli::adviseReport()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, starts);
    QFETCH(QString, raMarked);
    QFETCH(QString, decMarked);
    const Run r = run(QStringList{"--advise"} + arguments);
    QCOMPARE(r.exitCode, 0);
    const QString text = QString::fromUtf8(r.out);
    QVERIFY2(text.startsWith(starts), qPrintable(text.left(200)));
    QVERIFY(text.contains(QStringLiteral("スイッチ")));
    QVERIFY(text.contains(QStringLiteral("「収まらない」: 除数が FFFF を超えるか 0 以下")));
    QVERIFY(!text.contains(QStringLiteral("適用")));
    QVERIFY(!text.contains(QRegularExpression(QStringLiteral("\\b(rank|clock|cut|yes|no)\\b"))));
    QVERIFY2(wider_line(text).isEmpty(), qPrintable(wider_line(text)));
    const QStringList marked = text.split('\n').filter(QRegularExpression("^\\* +\\d"));
    QCOMPARE(marked.size(), 2);
    QVERIFY2(marked[0].contains(QRegularExpression(raMarked)), qPrintable(marked[0]));
    QVERIFY2(marked[1].contains(QRegularExpression(decMarked)), qPrintable(marked[1]));
}

void tst_Cli::malformedOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown clock") << QStringList{"--calculate", "--clock", "3MHz"};
    QTest::newRow("four values") << QStringList{"--calculate", "--ra", "240,2,200,10"};
    QTest::newRow("six values") << QStringList{"--calculate", "--dec", "1,2,3,4,5,6"};
    QTest::newRow("unknown option") << QStringList{"--calculate", "--speed"};
    QTest::newRow("option without --calculate") << QStringList{"--json", "--help-me"};
    QTest::newRow("stray argument") << QStringList{"--calculate", "extra"};
    QTest::newRow("force without upload") << QStringList{"--calculate", "--force"};
    QTest::newRow("listing with --advise") << QStringList{"--advise", "--listing", "x.txt"};
    QTest::newRow("advise and calculate") << QStringList{"--advise", "--calculate"};
    QTest::newRow("negative tolerance") << QStringList{"--advise", "--tolerance", "-0.1"};
    QTest::newRow("tolerance not a number") << QStringList{"--advise", "--tolerance", "0.5″"};
    QTest::newRow("tolerance not finite") << QStringList{"--advise", "--tolerance", "inf"};
    QTest::newRow("tolerance without --advise") << QStringList{"--calculate", "--tolerance", "1"};
}

void tst_Cli::malformedOptions()
{
    QFETCH(QStringList, arguments);
    const Run r = run(arguments);
    QCOMPARE(r.exitCode, status(ExitStatus::Usage));
    QVERIFY(r.out.isEmpty());
    // The mistake and a pointer to the help, not the help itself.
    const QStringList lines = QString::fromUtf8(r.err).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[1].contains("rw7300-speedtable --help"), qPrintable(lines[1]));
}

void tst_Cli::calculationFailure_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("axis");
    QTest::newRow("calculate") << QStringList{"--calculate", "--json", "--dec", "144,abc,200,10,16"}
                               << QStringLiteral("赤緯");
    // No advice for a mount that does not run as it stands.
    QTest::newRow("advise") << QStringList{"--advise", "--ra", "0,0,0,0,0"}
                            << QStringLiteral("赤経");
    QTest::newRow("advise, JSON") << QStringList{"--advise", "--json", "--dec", "144,2.5,200,10,0"}
                                  << QStringLiteral("赤緯");
}

void tst_Cli::calculationFailure()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, axis);
    const Run r = run(arguments);
    QCOMPARE(r.exitCode, status(ExitStatus::CalculationOrRefused));
    QVERIFY(r.out.isEmpty());
    const QString err = QString::fromUtf8(r.err);
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.contains(axis), qPrintable(err));
}

void tst_Cli::version()
{
    const Run r = run({QStringLiteral("--version")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("rw7300-speedtable " RW7300_VERSION "\n"));
}

void tst_Cli::listing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("listing.txt"));
    Run r = run({"--calculate", "--json", "--clock", "250kHz", "--listing", path});
    QCOMPARE(r.exitCode, 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.count("\r\n"), 111);
    QVERIFY(bytes.contains("\r\n#:&RA01=0AF5#\r\n"));

    r = run({"--calculate", "--listing", dir.filePath(QStringLiteral("missing/dir/x.txt"))});
    QCOMPARE(r.exitCode, status(ExitStatus::Listing));
    QVERIFY(QString::fromUtf8(r.err).contains(QStringLiteral("x.txt")));
}

// The accuracy figures sit under their own key; the box texts stay as they
// were. RA row 04 worked by hand: asked 15360000 / 86164 = 178.26470 Hz,
// got 2000000 / 11219 = 178.26901 Hz, +24.14 ppm.
void tst_Cli::accuracyColumns()
{
    const QJsonObject ra = json({}).value("ra").toObject();
    const QJsonObject row4 = ra.value("rows").toArray().at(3).toObject();
    QCOMPARE(row4.value("decimal").toString(), QStringLiteral(" 11219"));
    QCOMPARE(row4.value("hex").toString(), QStringLiteral("2BD3"));
    const QJsonObject acc = row4.value("accuracy").toObject();
    QCOMPARE(qRound(acc.value("error_ppm").toDouble() * 100), 2414);
    QVERIFY(qAbs(acc.value("asked_hz").toDouble() - 178.264704517) < 1e-6);
    QVERIFY(acc.value("representable").toBool());

    const QString defaults = QString::fromUtf8(run({"--calculate"}).out);
    QVERIFY2(defaults.contains(QRegularExpression(
                 QStringLiteral("\\b04 +1 +11219 +2BD3 +178\\.2647 +178\\.2690 +\\+24\\.14"))),
             qPrintable(defaults));
    QVERIFY(!defaults.contains(QStringLiteral("warning")));

    const Run r = run({"--calculate", "--ra", "100,1,200,10,5"});
    QCOMPARE(r.exitCode, 0);
    const QString report = QString::fromUtf8(r.out);
    QVERIFY2(report.contains(QRegularExpression(
                 QStringLiteral("warning: 赤経 テーブル 01: .*344656.*250 kHz"))),
             qPrintable(report));
    const QJsonObject wide = json({"--ra", "100,1,200,10,5"})
                                 .value("ra")
                                 .toObject()
                                 .value("rows")
                                 .toArray()
                                 .at(0)
                                 .toObject();
    QCOMPARE(wide.value("hex").toString(), QStringLiteral("4250"));
    QCOMPARE(wide.value("accuracy").toObject().value("problem").toString(),
             QStringLiteral("divisor_too_large"));
}

void tst_Cli::uploadToMissingPort_data()
{
    QTest::addColumn<QString>("assignment"); // --set-port first, when not empty
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("hint"); // also on stderr
    QTest::newRow("device path") << ""
                                 << "/dev/rw7300-none"
                                 << "/dev/rw7300-none"
                                 << "デバイス /dev/rw7300-none を開けませんでした";
    QTest::newRow("path in a folder that is not there") << ""
                                                        << "/nonexistent/path"
                                                        << "/nonexistent/path"
                                                        << "パスかポート名";
    QTest::newRow("port name mapped by the environment") << ""
                                                         << "Com7"
                                                         << "/dev/rw7300-seven"
                                                         << "環境変数 RW7300_COM7";
    QTest::newRow("port name assigned") << "Com6=/dev/rw7300-six"
                                        << "Com6"
                                        << "/dev/rw7300-six"
                                        << "--set-port Com6=";
}

// Nothing can be sent: the exit status says so and the reason names the
// device; the calculation itself is still printed. A path is opened as it
// is, never through Com1, whose device is set here to tell them apart.
void tst_Cli::uploadToMissingPort()
{
    QFETCH(QString, assignment);
    QFETCH(QString, port);
    QFETCH(QString, device);
    QFETCH(QString, hint);
    const QTemporaryDir config;
    const QProcessEnvironment env = child_environment(
        config.path(), {"RW7300_COM7=/dev/rw7300-seven", "RW7300_COM1=/dev/rw7300-first"});
    if (!assignment.isEmpty())
        QCOMPARE(run({"--set-port", assignment}, env).exitCode, 0);
    const Run r = run({"--calculate", "--json", "--upload", port}, env);
    QCOMPARE(r.exitCode, status(ExitStatus::Upload));
    QVERIFY(QJsonDocument::fromJson(r.out).isObject());
    const QString err = QString::fromUtf8(r.err);
    QVERIFY2(err.contains(device) && err.contains(QStringLiteral("0 個")) && err.contains(hint),
             qPrintable(err));
    QVERIFY2(!err.contains(QStringLiteral("/dev/rw7300-first")) &&
                 !err.contains(QRegularExpression(QStringLiteral("Com1(?![0-9])"))),
             qPrintable(err));
}

void tst_Cli::sendClassification_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path"); // axis/total, axis/<row index> or ra/<rate key>
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("problem"); // empty: null
    const QStringList wideTotal{"--ra", "240,2,200,10,256"};
    const QStringList negative{"--ra", "-240,2,200,10,16"};
    QTest::newRow("clean row") << QStringList{} << "ra/0"
                               << "57A7"
                               << "";
    QTest::newRow("clean rate") << QStringList{} << "ra/lunar"
                                << "2D80"
                                << "";
    QTest::newRow("clean total") << QStringList{} << "dec/total"
                                 << "AFC800"
                                 << "";
    QTest::newRow("total beyond six digits") << wideTotal << "ra/total"
                                             << "A60000"
                                             << "cut_by_width";
    QTest::newRow("other axis stays clean") << wideTotal << "dec/total"
                                            << "AFC800"
                                            << "";
    QTest::newRow("row beyond four digits") << QStringList{"--ra", "100,1,200,10,5"} << "ra/0"
                                            << "4250"
                                            << "cut_by_width";
    QTest::newRow("negative row") << negative << "ra/0"
                                  << "A859"
                                  << "unusable_speed";
    QTest::newRow("negative rate") << negative << "ra/solar"
                                   << "D40E"
                                   << "unusable_speed";
    QTest::newRow("negative total") << negative << "ra/total"
                                    << "15A000"
                                    << "unusable_speed";
    QTest::newRow("row rounded to zero") << QStringList{"--dec", "1500000000,1,1,1,1"} << "dec/49"
                                         << "0000"
                                         << "unusable_speed";
}

// Each row, rate and total says what goes on the wire and what is wrong
// with it; a total too wide for its field is also not representable.
void tst_Cli::sendClassification()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QFETCH(QString, sent);
    QFETCH(QString, problem);
    const QJsonObject axis = json(arguments).value(path.section('/', 0, 0)).toObject();
    QVERIFY(!axis.isEmpty());
    const QString field = path.section('/', 1);
    bool isRow = false;
    const int row = field.toInt(&isRow);
    QJsonObject send;
    if (field == QLatin1String("total")) {
        send = axis.value("total_send").toObject();
        const QJsonObject accuracy = axis.value("total_accuracy").toObject();
        const bool cut = problem == QLatin1String("cut_by_width");
        QCOMPARE(accuracy.value("representable").toBool(true), !cut);
        QCOMPARE(accuracy.value("problem").toString(),
                 cut ? QStringLiteral("total_too_large") : "");
    } else if (isRow) {
        send = axis.value("rows").toArray().at(row).toObject().value("send").toObject();
    } else {
        send = axis.value("rates").toObject().value(field).toObject().value("send").toObject();
    }
    QCOMPARE(send.value("sent").toString(), sent);
    if (problem.isEmpty())
        QVERIFY(send.contains("problem") && send.value("problem").isNull());
    else
        QCOMPARE(send.value("problem").toString(), problem);
}

void tst_Cli::sendWarnings_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("line"); // a pattern one warning line matches
    QTest::newRow("total beyond six digits")
        << QStringList{"--ra", "240,2,200,10,256"} << 1
        << "^warning: 赤経 総ステップ数: 値 245760000 は 6 桁の16進数に収まりません.*「A60000」";
    // 50 rows, three rates and the total, one line each.
    QTest::newRow("negative axis") << QStringList{"--ra", "-240,2,200,10,16"} << 54
                                   << "^warning: 赤経 総ステップ数: 値 -15360000 が負.*「15A000」";
    QTest::newRow("negative rate") << QStringList{"--ra", "-240,2,200,10,16"} << 54
                                   << "^warning: 赤経 Kingslate: 分周値 -11223 が負.*「D429」";
    QTest::newRow("divisor rounded to zero") << QStringList{"--dec", "1500000000,1,1,1,1"} << 6
                                             << "^warning: 赤緯 テーブル 50: .*「0000」";
}

void tst_Cli::sendWarnings()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, count);
    QFETCH(QString, line);
    const Run r = run(QStringList{"--calculate"} + arguments);
    QCOMPARE(r.exitCode, 0);
    const QString report = QString::fromUtf8(r.out);
    const QStringList warnings =
        report.split('\n').filter(QRegularExpression(QStringLiteral("^warning: ")));
    QCOMPARE(warnings.size(), count);
    const QRegularExpression pattern(line);
    QVERIFY2(std::any_of(warnings.begin(), warnings.end(),
                         [&](const QString &w) { return pattern.match(w).hasMatch(); }),
             qPrintable(warnings.join('\n')));
}

void tst_Cli::helpNamesOption_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("force") << "--force";
    QTest::newRow("ports") << "--ports";
    QTest::newRow("set-port") << "--set-port <PORT=DEVICE>";
    QTest::newRow("clear-port") << "--clear-port <PORT>";
    QTest::newRow("assignments status") << QStringLiteral("5 ポートの割り当てを書けなかった");
    QTest::newRow("mount") << "--mount <FILE>";
    QTest::newRow("save-mount") << "--save-mount <FILE>";
    QTest::newRow("mount-name") << "--mount-name <NAME>";
    QTest::newRow("mount file status")
        << QStringLiteral("7 マウントファイルを読めなかった、または書けなかった");
    QTest::newRow("window with a mount file") << QStringLiteral("rw7300-speedtable FILE は");
}

void tst_Cli::helpNamesOption()
{
    QFETCH(QString, option);
    const QTemporaryDir config;
    const Run r = run({QStringLiteral("--help")}, child_environment(config.path()));
    QCOMPARE(r.exitCode, 0);
    const QString help = QString::fromUtf8(r.out);
    QVERIFY2(help.simplified().contains(option), qPrintable(help));
    // Where the assignments are kept, as this run would keep them.
    QVERIFY2(help.contains(ports_file(config.path())), qPrintable(help));
}

// Set, list and clear through the program, as a script would; the file
// holds exactly what was set, so the window finds it at its next start.
void tst_Cli::portAssignmentsRoundTrip()
{
    const QTemporaryDir config;
    const QTemporaryDir devices;
    const QProcessEnvironment env = child_environment(config.path());
    const QString file = ports_file(config.path());
    // A device file that is there, but no serial port the system reports.
    const QString present = devices.filePath(QStringLiteral("adapter"));
    QVERIFY(QFile(present).open(QIODevice::WriteOnly));

    Run r = run({"--set-port", "Com5=" + present}, env);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());
    const QString said = QString::fromUtf8(r.out);
    QCOMPARE(said.count('\n'), 1);
    QVERIFY2(said.startsWith(QStringLiteral("Com5 ")) && said.contains(present) &&
                 said.contains(QStringLiteral("デバイスファイルあり")),
             qPrintable(said));
    QCOMPARE(assignment_lines(file), QStringList{"Com5=" + present});

    // A relative path stays the place it named where it was given.
    QCOMPARE(run({"--set-port", "Com12=./ttyRW"}, env, devices.path()).exitCode, 0);
    QCOMPARE(run({"--set-port", "Com3= /dev/rw7300-three "}, env).exitCode, 0);
    const QString relative = devices.filePath(QStringLiteral("ttyRW"));
    QCOMPARE(assignment_lines(file),
             (QStringList{"Com3=/dev/rw7300-three", "Com5=" + present, "Com12=" + relative}));

    r = run({"--ports"}, env);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(QString::fromUtf8(r.out).contains(file));
    const QString com3 = ports_line(r.out, "Com3");
    const QString com4 = ports_line(r.out, "Com4");
    const QString com5 = ports_line(r.out, "Com5");
    QVERIFY2(com3.contains(QStringLiteral("/dev/rw7300-three (見つかりません, 割り当て)")),
             qPrintable(com3));
    QVERIFY2(com4.contains(default_device(4) + QStringLiteral(" (")) &&
                 com4.contains(QStringLiteral("既定")),
             qPrintable(com4));
    QVERIFY2(com5.contains(present + QStringLiteral(" (デバイスファイルあり, 割り当て)")),
             qPrintable(com5));

    r = run({"--clear-port", "Com3"}, env);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.startsWith("Com3 ") && r.out.contains(default_device(3).toUtf8()), r.out);
    QCOMPARE(assignment_lines(file), (QStringList{"Com5=" + present, "Com12=" + relative}));

    const QJsonArray ports = ports_json(env);
    QVERIFY(ports.size() >= 20);
    const QJsonObject p3 = ports.at(2).toObject();
    const QJsonObject p5 = ports.at(4).toObject();
    const QJsonObject p12 = ports.at(11).toObject();
    QCOMPARE(p3.value("source").toString(), QStringLiteral("default"));
    QCOMPARE(p3.value("device").toString(), default_device(3));
    QVERIFY(p3.value("assigned").isNull());
    QCOMPARE(p5.value("source").toString(), QStringLiteral("assigned"));
    QCOMPARE(p5.value("device").toString(), present);
    QCOMPARE(p5.value("present").toString(), QStringLiteral("exists"));
    QVERIFY(p5.value("detected").isNull());
    QCOMPARE(p12.value("device").toString(), relative);
    QCOMPARE(p12.value("present").toString(), QStringLiteral("missing"));
}

void tst_Cli::portSources_data()
{
    QTest::addColumn<QStringList>("set");   // --set-port runs, in turn
    QTest::addColumn<QStringList>("clear"); // then --clear-port runs
    QTest::addColumn<QStringList>("env");   // NAME=VALUE of the listing run
    // "ComN source device [assigned]" for each port that is not the default.
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("nothing assigned")
        << QStringList{} << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("one port assigned")
        << QStringList{"Com5=/dev/rw7300-five"} << QStringList{} << QStringList{}
        << QStringList{"Com5 assigned /dev/rw7300-five /dev/rw7300-five"};
    QTest::newRow("first and last port assigned")
        << QStringList{"Com1=/dev/rw7300-one", "Com20=/dev/rw7300-twenty"} << QStringList{}
        << QStringList{}
        << QStringList{"Com1 assigned /dev/rw7300-one /dev/rw7300-one",
                       "Com20 assigned /dev/rw7300-twenty /dev/rw7300-twenty"};
    QTest::newRow("assigned twice, the last kept")
        << QStringList{"Com5=/dev/rw7300-five", "Com5=/dev/rw7300-other"} << QStringList{}
        << QStringList{} << QStringList{"Com5 assigned /dev/rw7300-other /dev/rw7300-other"};
    QTest::newRow("assignment cleared")
        << QStringList{"Com5=/dev/rw7300-five", "Com6=/dev/rw7300-six"} << QStringList{"Com5"}
        << QStringList{} << QStringList{"Com6 assigned /dev/rw7300-six /dev/rw7300-six"};
    QTest::newRow("override of a port not assigned")
        << QStringList{"Com5=/dev/rw7300-five"} << QStringList{}
        << QStringList{"RW7300_COM7=/dev/rw7300-seven"}
        << QStringList{"Com5 assigned /dev/rw7300-five /dev/rw7300-five",
                       "Com7 override /dev/rw7300-seven"};
    QTest::newRow("override wins over the assignment")
        << QStringList{"Com5=/dev/rw7300-five"} << QStringList{}
        << QStringList{"RW7300_COM5=/dev/rw7300-env"}
        << QStringList{"Com5 override /dev/rw7300-env /dev/rw7300-five"};
    QTest::newRow("empty override is none")
        << QStringList{"Com5=/dev/rw7300-five"} << QStringList{} << QStringList{"RW7300_COM5="}
        << QStringList{"Com5 assigned /dev/rw7300-five /dev/rw7300-five"};
}

// --ports --json: twenty port objects in order, each with the device it
// opens and why; then only devices present that no port opens.
void tst_Cli::portSources()
{
    QFETCH(QStringList, set);
    QFETCH(QStringList, clear);
    QFETCH(QStringList, env);
    QFETCH(QStringList, expected);
    const QTemporaryDir config;
    for (const QString &assignment : set)
        QCOMPARE(run({"--set-port", assignment}, child_environment(config.path())).exitCode, 0);
    for (const QString &port : clear)
        QCOMPARE(run({"--clear-port", port}, child_environment(config.path())).exitCode, 0);
    const QJsonArray ports = ports_json(child_environment(config.path(), env));
    QVERIFY(ports.size() >= 20);
    bool none_assigned = true;
    for (int n = 1; n <= 20; ++n)
        none_assigned = none_assigned && ports.at(n - 1).toObject().value("assigned").isNull();
    for (int n = 1; n <= 20; ++n) {
        const QJsonObject o = ports.at(n - 1).toObject();
        const QString name = QStringLiteral("Com%1").arg(n);
        QCOMPARE(o.value("port").toString(), name);
        const QStringList entry = expected.filter(QRegularExpression('^' + name + ' '));
        const QStringList words = entry.value(0).split(' ');
        if (entry.isEmpty() && n == 1 && o.value("source").toString() == "single_adapter") {
            // With nothing assigned, one USB adapter plugged into this
            // machine is Com1's.
            QVERIFY(none_assigned);
            QVERIFY(!o.value("detected").toObject().value("vendor_id").isNull());
            continue;
        }
        QCOMPARE(o.value("source").toString(), entry.isEmpty() ? "default" : words.value(1));
        QCOMPARE(o.value("device").toString(),
                 entry.isEmpty() ? default_device(n) : words.value(2));
        if (words.size() > 3)
            QCOMPARE(o.value("assigned").toString(), words.value(3));
        else
            QVERIFY(o.value("assigned").isNull());
        QVERIFY(
            QStringList({"detected", "exists", "missing"}).contains(o.value("present").toString()));
        QCOMPARE(o.value("detected").isObject(), o.value("present").toString() == "detected");
    }
    for (qsizetype i = 20; i < ports.size(); ++i) {
        const QJsonObject o = ports.at(i).toObject();
        QVERIFY(o.value("port").isNull());
        QVERIFY(!o.value("detected").toObject().value("location").toString().isEmpty());
    }
}

void tst_Cli::portUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("port above Com20")
        << QStringList{"--set-port", "Com21=/x"} << QStringLiteral("ポート名「Com21」はありません");
    QTest::newRow("port name in lower case")
        << QStringList{"--set-port", "com3=/x"} << QStringLiteral("ポート名「com3」はありません");
    QTest::newRow("port number with a leading zero")
        << QStringList{"--set-port", "Com03=/x"} << QStringLiteral("ポート名「Com03」はありません");
    QTest::newRow("no equals sign") << QStringList{"--set-port", "Com3"} << "PORT=DEVICE";
    QTest::newRow("no device") << QStringList{"--set-port", "Com3="}
                               << QStringLiteral("にデバイスがありません");
    QTest::newRow("blank device") << QStringList{"--set-port", "Com3=  "}
                                  << QStringLiteral("にデバイスがありません");
    QTest::newRow("port name as the device")
        << QStringList{"--set-port", "Com3=Com5"}
        << QStringLiteral("はポート名で、デバイスではありません");
    QTest::newRow("control character in the device")
        << QStringList{"--set-port", "Com3=/dev/tty\tUSB0"} << QStringLiteral("制御文字");
    QTest::newRow("device far too long")
        << QStringList{"--set-port", "Com3=/" + QString(2000, 'x')} << QStringLiteral("長すぎます");
    QTest::newRow("clear below Com1")
        << QStringList{"--clear-port", "Com0"} << QStringLiteral("ポート名「Com0」はありません");
    QTest::newRow("clear a device, not a port")
        << QStringList{"--clear-port", "/dev/ttyUSB0"}
        << QStringLiteral("ポート名「/dev/ttyUSB0」はありません");
    QTest::newRow("upload to nothing") << QStringList{"--calculate", "--upload", ""}
                                       << QStringLiteral("--upload にはポートが必要です");
    QTest::newRow("set with calculate")
        << QStringList{"--calculate", "--set-port", "Com3=/x"} << QStringLiteral("一つだけ");
    QTest::newRow("list and set") << QStringList{"--ports", "--set-port", "Com3=/x"}
                                  << QStringLiteral("一つだけ");
    QTest::newRow("set and clear") << QStringList{"--set-port", "Com3=/x", "--clear-port", "Com4"}
                                   << QStringLiteral("一つだけ");
    QTest::newRow("two ports set")
        << QStringList{"--set-port", "Com3=/x", "--set-port", "Com4=/y"} << "--set-port が二度以上";
    QTest::newRow("JSON of a change")
        << QStringList{"--set-port", "Com3=/x", "--json"}
        << QStringLiteral(
               "--json は --calculate か --advise か --ports か --history か --holds と一緒に");
    QTest::newRow("listing of the port list") << QStringList{"--ports", "--listing", "x.txt"}
                                              << QStringLiteral("は --calculate と一緒に");
    QTest::newRow("upload with a change") << QStringList{"--clear-port", "Com3", "--upload", "Com3"}
                                          << QStringLiteral("は --calculate と一緒に");
    QTest::newRow("nothing to do")
        << QStringList{"--"} << QStringLiteral("することが指定されていません");
    QTest::newRow("mount file of the port list")
        << QStringList{"--ports", "--mount", "m.rw7300mount"}
        << QStringLiteral("は --calculate か --advise か --save-mount と一緒に");
    QTest::newRow("mount file of nothing")
        << QStringList{"--mount", "m.rw7300mount"}
        << QStringLiteral("は --calculate か --advise か --save-mount と一緒に");
    QTest::newRow("empty mount file name") << QStringList{"--calculate", "--mount", ""}
                                           << QStringLiteral("--mount にはファイル名が必要です");
    QTest::newRow("save to nothing") << QStringList{"--save-mount", ""}
                                     << QStringLiteral("--save-mount にはファイル名が必要です");
    QTest::newRow("save and calculate")
        << QStringList{"--calculate", "--save-mount", "m.rw7300mount"}
        << QStringLiteral("一つだけ");
    QTest::newRow("JSON of a saved mount")
        << QStringList{"--save-mount", "m.rw7300mount", "--json"}
        << QStringLiteral(
               "--json は --calculate か --advise か --ports か --history か --holds と一緒に");
    QTest::newRow("listing of a saved mount")
        << QStringList{"--save-mount", "m.rw7300mount", "--listing", "x.txt"}
        << QStringLiteral("は --calculate と一緒に");
    QTest::newRow("name without saving") << QStringList{"--calculate", "--mount-name", "EM-200"}
                                         << QStringLiteral("--mount-name は --save-mount と一緒に");
    QTest::newRow("saved drive train of four values")
        << QStringList{"--save-mount", "m.rw7300mount", "--ra", "240,2,200,10"}
        << QStringLiteral("--ra には五つの値");
    QTest::newRow("saved clock unknown")
        << QStringList{"--save-mount", "m.rw7300mount", "--clock", "3MHz"}
        << QStringLiteral("基本クロック「3MHz」は使えません");
}

// A usage error writes nothing: not the assignments, not a listing.
void tst_Cli::portUsageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const QTemporaryDir config;
    const QTemporaryDir work;
    const Run r = run(arguments, child_environment(config.path()), work.path());
    QCOMPARE(r.exitCode, status(ExitStatus::Usage));
    QVERIFY(r.out.isEmpty());
    const QString err = QString::fromUtf8(r.err);
    QVERIFY2(err.startsWith(QStringLiteral("rw7300-speedtable: ")) &&
                 err.section('\n', 0, 0).contains(message),
             qPrintable(err));
    QVERIFY(QDir(config.path()).isEmpty());
    QVERIFY(QDir(work.path()).isEmpty());
}

void tst_Cli::portFileNotWritable_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("folderIsFile"); // else the file is a folder
    QTest::addColumn<QString>("reason");
    const QString noFolder = QStringLiteral("を作れません");
    const QString notFile = QStringLiteral("通常のファイルではありません");
    QTest::newRow("set, the folder is a file")
        << QStringList{"--set-port", "Com3=/dev/ttyUSB0"} << true << noFolder;
    QTest::newRow("clear, the folder is a file")
        << QStringList{"--clear-port", "Com3"} << true << noFolder;
    QTest::newRow("set, the file is a folder")
        << QStringList{"--set-port", "Com3=/dev/ttyUSB0"} << false << notFile;
    QTest::newRow("clear, the file is a folder")
        << QStringList{"--clear-port", "Com3"} << false << notFile;
}

// One line names the file and the reason; what stood there is left alone,
// and the list still shows where the ports lead.
void tst_Cli::portFileNotWritable()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, folderIsFile);
    QFETCH(QString, reason);
    const QTemporaryDir config;
    const QString folder = config.filePath(QStringLiteral("rw7300-speedtable"));
    const QString file = ports_file(config.path());
    if (folderIsFile) {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly) && blocker.write("not a folder") > 0);
    } else {
        QVERIFY(QDir().mkpath(file));
    }
    const QProcessEnvironment env = child_environment(config.path());
    Run r = run(arguments, env);
    QCOMPARE(r.exitCode, status(ExitStatus::PortFile));
    QVERIFY(r.out.isEmpty());
    const QString err = QString::fromUtf8(r.err);
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.contains(file) && err.contains(reason), qPrintable(err));
    QCOMPARE(QFileInfo(folder).isFile(), folderIsFile);
    QCOMPARE(QFileInfo(file).isDir(), !folderIsFile);

    r = run({"--ports"}, env);
    QCOMPARE(r.exitCode, 0);
    const QString com3 = ports_line(r.out, "Com3");
    QVERIFY2(com3.contains(default_device(3) + QStringLiteral(" (")) &&
                 com3.endsWith(QStringLiteral(", 既定)")),
             qPrintable(com3));
    // A file that is there but cannot be read is named; one that cannot be
    // there at all is not.
    QCOMPARE(QString::fromUtf8(r.err).contains(file), !folderIsFile);
}

void tst_Cli::portChangeKeepsLines_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("after");
    const QByteArray mine = "# adapters on the pier\nbaud = 9600\nCom3=/dev/rw7300-old\n"
                            "??? \xff\xfe not mine\n; Com4=/dev/commented\nCom12=/dev/rw7300-b\n";
    QTest::newRow("set keeps comments, unknown keys and unreadable lines")
        << mine << QStringList{"--set-port", "Com3=/dev/rw7300-new"} << 0
        << QByteArray(mine).replace("rw7300-old", "rw7300-new");
    QTest::newRow("clear keeps them too") << mine << QStringList{"--clear-port", "Com12"} << 0
                                          << QByteArray(mine).replace("Com12=/dev/rw7300-b\n", "");
    QByteArray garbage;
    for (int i = 0; i < 3000; ++i)
        garbage += static_cast<char>(i % 7 == 0 ? '\n' : (i * 53 + 1) % 256);
    QTest::newRow("3 KB of garbage is kept, not replaced")
        << garbage << QStringList{"--set-port", "Com2=/dev/rw7300-two"} << 0
        << garbage + "\nCom2=/dev/rw7300-two\n";
    const QByteArray huge = "Com1=/dev/x\n" + QByteArray(qsizetype{100} * 1024, '#');
    QTest::newRow("too large to be the file: refused, kept")
        << huge << QStringList{"--set-port", "Com2=/dev/rw7300-two"} << 5 << huge;
}

// --set-port and --clear-port change one port's line and nothing else.
void tst_Cli::portChangeKeepsLines()
{
    QFETCH(QByteArray, before);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, after);
    const QTemporaryDir config;
    const QString file = ports_file(config.path());
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QVERIFY(write_file(file, before));
    const Run r = run(arguments, child_environment(config.path()));
    QCOMPARE(r.exitCode, exitCode);
    // A device missing now is kept with a warning; nothing else is said.
    QString err = QString::fromUtf8(r.err);
    err.remove(QRegularExpression(QStringLiteral("^rw7300-speedtable: 注意: /dev/rw7300-\\S+ "
                                                 "は今はありません。[^\\n]*\\n"),
                                  QRegularExpression::MultilineOption));
    QVERIFY2(err.isEmpty() == (exitCode == 0), qPrintable(err));
    QCOMPARE(file_bytes(file), after);
}

// Runs started together, setting and clearing different ports, lose
// nothing, and none claims a change that is not in the file.
void tst_Cli::racingPortChanges()
{
    constexpr int kRounds = 6;
    const QTemporaryDir config;
    const QString file = ports_file(config.path());
    const QProcessEnvironment env = child_environment(config.path());
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QVERIFY(write_file(file, "# mine\nCom9=/dev/rw7300-nine\n"));
    for (int round = 0; round < kRounds; ++round) {
        // Com3 is set in even rounds and cleared in odd ones, beside three
        // ports set anew in each.
        const QString tag = QString::number(round);
        const QList<QStringList> changes{
            {"--set-port", "Com1=/dev/rw7300-a" + tag},
            {"--set-port", "Com2=/dev/rw7300-b" + tag},
            round % 2 == 0 ? QStringList{"--set-port", "Com3=/dev/rw7300-c" + tag}
                           : QStringList{"--clear-port", "Com3"},
            {"--set-port", "Com20=/dev/rw7300-d" + tag},
        };
        std::vector<std::unique_ptr<QProcess>> runs;
        for (const QStringList &arguments : changes) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->setProcessEnvironment(env);
            start_program(*runs.back(), QStringLiteral(SPEEDTABLE_EXE), arguments);
        }
        for (const auto &p : runs) {
            QVERIFY(p->waitForFinished(30000));
            QCOMPARE(p->exitCode(), 0);
        }
        QStringList expected{"# mine", "Com1=/dev/rw7300-a" + tag, "Com2=/dev/rw7300-b" + tag};
        if (round % 2 == 0)
            expected << "Com3=/dev/rw7300-c" + tag;
        expected << "Com9=/dev/rw7300-nine"
                 << "Com20=/dev/rw7300-d" + tag;
        QStringList lines = QString::fromUtf8(file_bytes(file)).split('\n');
        lines.removeAll(QString());
        QCOMPARE(lines, expected);
    }
    QCOMPARE(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"ports.conf"});
}

void tst_Cli::mountAsOptions_data()
{
    QTest::addColumn<QStringList>("fileRa");
    QTest::addColumn<QStringList>("fileDec");
    QTest::addColumn<QString>("fileClock");
    QTest::addColumn<QStringList>("overrides"); // beside --mount
    QTest::addColumn<QStringList>("options");   // the same values without the file
    QTest::addColumn<int>("exitCode");
    const QStringList odd_ra{"240", " 2.5", "200", "10", "16abc"};
    // "2,5" reads as 2; --dec cannot carry it, its comma splits the values.
    const QStringList comma_dec{"144", "2,5", "200", "10", "16"};
    const QStringList empty_ra{"", "2", "200", "10", "16"};
    QTest::newRow("odd texts as typed")
        << odd_ra << comma_dec << "250kHz" << QStringList{}
        << QStringList{"--ra",  "240, 2.5,200,10,16abc", "--dec", "144,2,200,10,16", "--clock",
                       "250kHz"}
        << 0;
    QTest::newRow("an empty text fails as typed")
        << empty_ra << comma_dec << "2MHz" << QStringList{}
        << QStringList{"--ra", ",2,200,10,16", "--dec", "144,2,200,10,16", "--clock", "2MHz"} << 2;
    QTest::newRow("--ra in place of the file's")
        << empty_ra << comma_dec << "250kHz" << QStringList{"--ra", "180,3,200,10,32"}
        << QStringList{"--ra", "180,3,200,10,32", "--dec", "144,2,200,10,16", "--clock", "250kHz"}
        << 0;
    QTest::newRow("--dec in place of the file's")
        << odd_ra << comma_dec << "2MHz" << QStringList{"--dec", "144,2.5,200,10,16abc"}
        << QStringList{"--ra", "240, 2.5,200,10,16abc", "--dec", "144,2.5,200,10,16abc", "--clock",
                       "2MHz"}
        << 0;
    QTest::newRow("--clock in place of the file's")
        << odd_ra << comma_dec << "250kHz" << QStringList{"--clock", "2MHz"}
        << QStringList{"--ra", "240, 2.5,200,10,16abc", "--dec", "144,2,200,10,16", "--clock",
                       "2MHz"}
        << 0;
}

// A mount file stands for the options it holds: the same bytes on stdout
// and stderr, as JSON and as the report, and the same exit status.
void tst_Cli::mountAsOptions()
{
    QFETCH(QStringList, fileRa);
    QFETCH(QStringList, fileDec);
    QFETCH(QString, fileClock);
    QFETCH(QStringList, overrides);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("em200.rw7300mount"));
    QVERIFY(write_file(path, mount_text(QStringLiteral("EM-200"), fileRa, fileDec, fileClock)));
    for (const QStringList &format : {QStringList{"--json"}, QStringList{}}) {
        const Run from_file = run(QStringList{"--calculate", "--mount", path} + overrides + format);
        const Run typed = run(QStringList{"--calculate"} + options + format);
        QCOMPARE(typed.exitCode, exitCode);
        QCOMPARE(from_file.exitCode, typed.exitCode);
        QCOMPARE(from_file.out, typed.out);
        QCOMPARE(from_file.err, typed.err);
    }
}

void tst_Cli::savedMountAsOptions_data()
{
    QTest::addColumn<QStringList>("save");    // beside --save-mount; SOURCE: a mount file
    QTest::addColumn<QStringList>("options"); // the same values without a file
    QTest::addColumn<QString>("name");        // the name saved
    QTest::addColumn<QString>("existing");    // the name of a mount file already there
    QTest::newRow("defaults, named after the file") << QStringList{} << QStringList{} << "saved"
                                                    << "";
    QTest::newRow("values as typed, a name given")
        << QStringList{"--ra",    "240, 2.5,200,10,16abc", "--clock",
                       "250 kHz", "--mount-name",          "EM-200 (庭)"}
        << QStringList{"--ra", "240, 2.5,200,10,16abc", "--clock", "250kHz"} << "EM-200 (庭)"
        << "";
    QTest::newRow("another mount file, --dec in place of its own")
        << QStringList{"--mount", "SOURCE", "--dec", "100,1,200,10,8"}
        << QStringList{"--ra",  "240, 2.5,200,10,16abc", "--dec", "100,1,200,10,8", "--clock",
                       "250kHz"}
        << "Garden"
        << "";
    QTest::newRow("another mount file, a name given")
        << QStringList{"--mount", "SOURCE", "--mount-name", "Roof"}
        << QStringList{"--ra",  "240, 2.5,200,10,16abc", "--dec", "144,2,200,10,16", "--clock",
                       "250kHz"}
        << "Roof"
        << "";
    QTest::newRow("saved over a mount file: its name stays")
        << QStringList{"--clock", "250kHz"} << QStringList{"--clock", "250kHz"} << "Kept"
        << "Kept";
}

// What --save-mount writes, --mount reads back as the values it was given;
// - writes the same bytes to stdout. A relative name is in the current
// folder.
void tst_Cli::savedMountAsOptions()
{
    QFETCH(QStringList, save);
    QFETCH(QStringList, options);
    QFETCH(QString, name);
    QFETCH(QString, existing);
    const QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.rw7300mount"));
    QVERIFY(write_file(source,
                       mount_text(QStringLiteral("Garden"), {"240", " 2.5", "200", "10", "16abc"},
                                  {"144", "2,5", "200", "10", "16"}, "250kHz")));
    save.replaceInStrings(QRegularExpression(QStringLiteral("^SOURCE$")), source);
    const QString saved = dir.filePath(QStringLiteral("saved.rw7300mount"));
    if (!existing.isEmpty())
        QVERIFY(write_file(saved, mount_text(existing, {"1", "2", "3", "4", "5"},
                                             {"6", "7", "8", "9", "10"}, "2MHz")));

    Run r = run(QStringList{"--save-mount", "saved.rw7300mount"} + save,
                child_environment(shared_config_home()), dir.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.isEmpty(), r.err);
    QCOMPARE(QString::fromUtf8(r.out),
             QStringLiteral("マウントファイルを書き込みました: %1\n").arg(saved));
    QCOMPARE(mount_name(saved), name);

    const Run from_file = run({"--calculate", "--json", "--mount", saved});
    const Run typed = run(QStringList{"--calculate", "--json"} + options);
    QCOMPARE(typed.exitCode, 0);
    QCOMPARE(from_file.exitCode, 0);
    QCOMPARE(from_file.out, typed.out);

    if (!existing.isEmpty())
        return; // rewritten in place, not in the fresh layout
    // The name the file got, given once: a second --mount-name is refused.
    r = run(QStringList{"--save-mount", "-"} + save +
            (save.contains("--mount-name") ? QStringList{} : QStringList{"--mount-name", name}));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, file_bytes(saved));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("-"))));
}

void tst_Cli::saveMountRefused_data()
{
    QTest::addColumn<QString>("inTheWay"); // what stands at the path; nothing: a folder missing
    QTest::addColumn<QByteArray>("bytes"); // a file's contents
    QTest::addColumn<QString>("reason");
    const QString unreadable = QStringLiteral("読めないマウントファイルのため、上書きしません");
    QByteArray version1("rw7300-mount = 1\nbase_clock = 2MHz\n");
    for (const char *key : {"worm", "intermediate_gear", "motor", "reduction_gear", "microstep"})
        version1 += QByteArray("ra.") + key + " = 2\ndec." + key + " = 2\n";
    QTest::newRow("a document") << "file" << QByteArray("Dear diary,\nclear skies tonight.\n")
                                << QStringLiteral("マウントファイルではない");
    QTest::newRow("a newer mount file")
        << "file"
        << "# mine\n" + QByteArray(version1).replace("= 1\n", "= 2\n") + "tube = 80mm\n"
        << unreadable + QStringLiteral(" (2 行目: 形式の版 2 は");
    QTest::newRow("a version 1 file with a key twice") << "file" << version1 + "ra.worm = 180\n"
                                                       << unreadable + QStringLiteral(" (13 行目:");
    QTest::newRow("CR-only line ends") << "file" << QByteArray(version1).replace('\n', '\r')
                                       << QStringLiteral("行末が CR だけです");
    QTest::newRow("a FIFO without a reader")
        << "fifo" << QByteArray() << QStringLiteral("通常のファイルではありません");
    QTest::newRow("a character device")
        << "device" << QByteArray() << QStringLiteral("通常のファイルではありません");
    QTest::newRow("a folder") << "folder" << QByteArray() << QStringLiteral("フォルダーです");
    QTest::newRow("in a folder not there") << "nothing" << QByteArray() << "";
}

// Nothing the program could not read back is replaced: the run says why and
// what to do, and fails; a FIFO or a device is refused at once.
void tst_Cli::saveMountRefused()
{
    QFETCH(QString, inTheWay);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("em200.rw7300mount"));
    const QByteArray native = QFile::encodeName(path);
    if (inTheWay == QLatin1String("file"))
        QVERIFY(write_file(path, bytes));
    else if (inTheWay == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    else if (inTheWay == QLatin1String("device") &&
             ::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        QSKIP("no mknod here (needs root)");
    else if (inTheWay == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    else if (inTheWay == QLatin1String("nothing"))
        path = dir.filePath(QStringLiteral("missing/em200.rw7300mount"));
    // run() gives up after its own limit, so a run stuck on the FIFO fails
    // the test rather than holding it.
    const Run r = run({"--save-mount", path, "--clock", "250kHz"});
    QCOMPARE(r.exitCode, status(ExitStatus::Mount));
    QVERIFY(r.out.isEmpty());
    const QString err = QString::fromUtf8(r.err);
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.startsWith(QStringLiteral("rw7300-speedtable: %1 を書き込めません: ").arg(path)) &&
                 err.contains(reason),
             qPrintable(err));
    if (inTheWay == QLatin1String("file")) {
        QCOMPARE(file_bytes(path), bytes);
        QVERIFY2(err.contains(QStringLiteral("別の名前で保存してください")), qPrintable(err));
    }
    struct stat st {};
    const bool there = ::lstat(native.constData(), &st) == 0;
    QCOMPARE(there, inTheWay != QLatin1String("nothing"));
    if (inTheWay == QLatin1String("fifo"))
        QVERIFY(S_ISFIFO(st.st_mode));
    if (inTheWay == QLatin1String("device"))
        QVERIFY(S_ISCHR(st.st_mode));
    QCOMPARE(QFileInfo(path).isDir(), inTheWay == QLatin1String("folder"));
    // Nothing beside it either: no temporary file left, no folder made.
    const QStringList expected = inTheWay == QLatin1String("nothing")
                                     ? QStringList{}
                                     : QStringList{QStringLiteral("em200.rw7300mount")};
    QCOMPARE(QDir(dir.path())
                 .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System),
             expected);
}

void tst_Cli::unusableMountFile_data()
{
    QTest::addColumn<QString>("kind"); // missing, fifo or file
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("faultyLine"); // the line at fault, empty for none
    QTest::addColumn<QString>("reason");
    const QByteArray listing("2026/12/07 21:00:00\r\n#:&RA01=57A7#\r\n");
    const QByteArray no_motor =
        mount_text(QStringLiteral("EM-200"), {"240", "2", "200", "10", "16"},
                   {"144", "2.5", "200", "10", "16"}, "2MHz")
            .replace("ra.motor = 200", "ra.motor =");
    QTest::newRow("missing") << "missing" << QByteArray() << QByteArray()
                             << QStringLiteral("見つかりません");
    QTest::newRow("a FIFO, which would block")
        << "fifo" << QByteArray() << QByteArray() << QStringLiteral("通常のファイルではありません");
    QTest::newRow("a listing") << "file" << listing << QByteArray("2026/12/07 21:00:00\r")
                               << QStringLiteral("マウントファイルではありません");
    QTest::newRow("a value missing") << "file" << no_motor << QByteArray("ra.motor =")
                                     << QStringLiteral("ra.motor の値がありません");
}

// One line names the file, the line at fault and why; nothing is printed,
// written or sent, and no mount file is saved from it.
void tst_Cli::unusableMountFile()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, faultyLine);
    QFETCH(QString, reason);
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("em200.rw7300mount"));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("file"))
        QVERIFY(write_file(path, bytes));
    const int line = faultyLine.isEmpty() ? 0 : bytes.split('\n').indexOf(faultyLine) + 1;
    QVERIFY(faultyLine.isEmpty() || line > 0);
    const QString where = line > 0 ? QStringLiteral("%1 の %2 行目: ").arg(path).arg(line)
                                   : QStringLiteral("%1: ").arg(path);
    const QString listing = dir.filePath(QStringLiteral("Speed_Data.txt"));
    const QString saved = dir.filePath(QStringLiteral("saved.rw7300mount"));
    const QList<QStringList> runs{{"--calculate", "--mount", path, "--listing", listing, "--upload",
                                   dir.filePath(QStringLiteral("port"))},
                                  {"--save-mount", saved, "--mount", path}};
    for (const QStringList &arguments : runs) {
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, status(ExitStatus::Mount));
        QVERIFY(r.out.isEmpty());
        const QString err = QString::fromUtf8(r.err);
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.startsWith(QStringLiteral("rw7300-speedtable: ") + where) &&
                     err.contains(reason),
                 qPrintable(err));
    }
    QVERIFY(!QFileInfo::exists(listing));
    QVERIFY(!QFileInfo::exists(saved));
}

QTEST_APPLESS_MAIN(tst_Cli)
#include "exitstatus.h"
#include "tst_cli.moc"
