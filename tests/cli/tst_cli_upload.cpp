// The command line in-process: uploads paced on the test counter into a
// pseudo-terminal, reached by a device path, an override or an assignment
// made with --set-port; and the port list over a stand-in set of devices.

#include "calculate.h"
#include "childprogram.h"
#include "cli.h"
#include "cliports.h"
#include "detectedports.h"
#include "exitstatus.h"
#include "fakeclock.h"
#include "portsettings.h"
#include "ptyline.h"
#include "scopedenv.h"
#include "sendrecord.h"
#include "uploadbodies.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

Q_DECLARE_METATYPE(files::SendRecord::Result)
Q_DECLARE_METATYPE(files::StopReason)

namespace {

using app::ExitStatus;

// The statuses as the program's own table has them.
constexpr int status(ExitStatus which)
{
    return app::exit_code(which);
}

constexpr int kPort = 1;
const QStringList kWideTotal{"--ra", "240,2,200,10,256"};

QStringList default_upload()
{
    return upload_bodies(std::get<calc::CalcOutput>(calc::calculate(calc::CalcInput{})));
}

// An adapter without a stable name or description.
rwlink::DetectedPort second_adapter()
{
    rwlink::DetectedPort port = built_in_port(QStringLiteral("/dev/ttyUSB1"));
    port.vendor_id = 0x067b;
    port.product_id = 0x2303;
    return port;
}

// The lock file the serial port keeps for the device at path, where Qt's
// serial port puts it: a name made of the path in the first lock folder it
// can write. Empty when there is none.
QString port_lock_file(const QString &path)
{
    const QString name = QStringLiteral("LCK..") + QString(path).replace('/', '_');
    const QStringList folders{"/var/lock",         "/etc/locks", "/var/spool/locks",
                              "/var/spool/uucp",   "/tmp",       "/var/tmp",
                              "/var/lock/lockdev", "/run/lock",  QDir::tempPath()};
    for (const QString &folder : folders) {
        QString candidate = folder + QLatin1Char('/') + name;
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return {};
}

// Reads the line until count frames have come, or half a minute of silence
// (a window starting under emulation).
QByteArray read_frames(int master, int count)
{
    QByteArray bytes;
    pollfd fd{master, POLLIN, 0};
    while (bytes.count('#') < qsizetype{2} * count && ::poll(&fd, 1, 30000) > 0) {
        char chunk[256];
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        bytes.append(chunk, n);
    }
    return bytes;
}

// Standard output and error of an in-process run, into files of a
// temporary folder while it lasts.
class Captured {
public:
    explicit Captured(const QTemporaryDir &dir)
        : m_out(dir.filePath("out")), m_err(dir.filePath("err"))
    {
        std::fflush(stdout);
        std::fflush(stderr);
        m_saved_out = ::dup(STDOUT_FILENO);
        m_saved_err = ::dup(STDERR_FILENO);
        redirect(m_out, STDOUT_FILENO);
        redirect(m_err, STDERR_FILENO);
    }
    ~Captured() { restore(); }
    Captured(const Captured &) = delete;
    Captured &operator=(const Captured &) = delete;

    void restore()
    {
        if (m_saved_out < 0)
            return;
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(m_saved_out, STDOUT_FILENO);
        ::dup2(m_saved_err, STDERR_FILENO);
        ::close(m_saved_out);
        ::close(m_saved_err);
        m_saved_out = m_saved_err = -1;
    }
    QString out() const { return text(m_out); }
    QString err() const { return text(m_err); }

private:
    static void redirect(const QString &path, int fd)
    {
        const int file = ::open(QFile::encodeName(path).constData(),
                                O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(file, fd);
        ::close(file);
    }
    static QString text(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QString m_out;
    QString m_err;
    int m_saved_out = -1;
    int m_saved_err = -1;
};

// What --holds --json says of the test's port, the way a script reads it.
QJsonObject port_holds()
{
    QTemporaryDir dir;
    Captured printed(dir);
    const int status = app::run_command_line(
        {"rw7300-speedtable", "--holds", QStringLiteral("Com%1").arg(kPort), "--json"}, nullptr,
        no_devices());
    printed.restore();
    return status == 0 ? QJsonDocument::fromJson(printed.out().toUtf8()).object() : QJsonObject();
}

} // namespace

class tst_CliUpload : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void refused_data();
    void refused();
    void forced();
    void uploadReachesDevice_data();
    void uploadReachesDevice();
    void portsOfDetectedDevices_data();
    void portsOfDetectedDevices();
    void stoppedBySignal_data();
    void stoppedBySignal();
    void setPortKeepsAndWarns_data();
    void setPortKeepsAndWarns();
    void uploadRecord_data();
    void uploadRecord();
    void history_data();
    void history();

private:
    QString ports_file() const;
    QString record_file() const;
    QProcessEnvironment child_environment() const;

    QTemporaryDir m_config;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

// In-process runs keep their assignments where the program does, in a
// private folder, and no port is overridden unless a test says so.
void tst_CliUpload::initTestCase()
{
    QVERIFY(m_config.isValid());
    QCoreApplication::setApplicationName(QStringLiteral("rw7300-speedtable"));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", m_config.path().toLocal8Bit()));
    m_env.push_back(std::make_unique<ScopedEnv>(
        "XDG_STATE_HOME", m_config.filePath(QStringLiteral("state")).toLocal8Bit()));
    for (int n = 1; n <= 20; ++n)
        m_env.push_back(std::make_unique<ScopedEnv>(
            QByteArray("RW7300_COM" + QByteArray::number(n)).constData(), QByteArray()));
}

void tst_CliUpload::init()
{
    QFile::remove(ports_file());
    QFile::remove(record_file());
    QDir(m_config.filePath(QStringLiteral("state"))).removeRecursively();
    QFile::remove(m_config.filePath(QStringLiteral("state"))); // a test's blocker
}

QString tst_CliUpload::record_file() const
{
    return m_config.filePath(QStringLiteral("state/rw7300-speedtable/sends.jsonl"));
}

QString tst_CliUpload::ports_file() const
{
    return m_config.filePath(QStringLiteral("rw7300-speedtable/ports.conf"));
}

QProcessEnvironment tst_CliUpload::child_environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
    env.insert(QStringLiteral("XDG_STATE_HOME"), m_config.filePath(QStringLiteral("state")));
    for (int n = 1; n <= 20; ++n)
        env.remove(QStringLiteral("RW7300_COM%1").arg(n));
    return env;
}

void tst_CliUpload::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason"); // on stderr
    // Lines naming a value, one each: only values the upload sends, so the
    // rates (which it does not send) never, though the report warns of them.
    QTest::addColumn<int>("problems");
    QTest::newRow("total beyond six digits")
        << kWideTotal << QStringLiteral("赤経 総ステップ数: 値 245760000") << 1;
    QTest::newRow("total beyond six digits, JSON printed")
        << QStringList{"--json"} + kWideTotal << QStringLiteral("赤経 総ステップ数: 値 245760000")
        << 1;
    QTest::newRow("negative rows and rates: 50 rows and the total")
        << QStringList{"--ra", "-240,2,200,10,16"}
        << QStringLiteral("赤経 テーブル 50: 分周値 -45 が負") << 51;
    QTest::newRow("rows rounded to zero")
        << QStringList{"--dec", "1500000000,1,1,1,1"}
        << QStringLiteral("赤緯 テーブル 50: 送られる分周値が「0000」") << 6;
}

// Refused before the port is opened: the pseudo-terminal hears nothing. It
// never reaches the pacing, so the real program can run.
void tst_CliUpload::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);
    QFETCH(int, problems);
    PtyLine line(kPort);
    QVERIFY(line.ok());
    QProcess process;
    process.setProcessEnvironment(child_environment());
    start_program(process, QStringLiteral(SPEEDTABLE_EXE),
                  QStringList{"--calculate"} + arguments + QStringList{"--upload", line.path()});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status(ExitStatus::CalculationOrRefused));
    QVERIFY(!process.readAllStandardOutput().isEmpty());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains(reason) && err.contains(QStringLiteral("--force")), qPrintable(err));
    QVERIFY2(!err.contains(QStringLiteral("uploading")), qPrintable(err));
    const QStringList lines = err.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), problems + 1); // and the line saying nothing was sent
    for (const char *rate : {"太陽時", "月時", "Kingslate"})
        QVERIFY2(!err.contains(QString::fromUtf8(rate)), qPrintable(err));
    QCOMPARE(line.read_all(), QByteArray());
}

// --force sends the whole upload, the wide total cut as it stands.
void tst_CliUpload::forced()
{
    PtyLine line(kPort);
    QVERIFY(line.ok());
    FakeClock clock;
    const int status = app::run_command_line(
        QStringList{"rw7300-speedtable", "--calculate", "--json"} + kWideTotal +
            QStringList{"--upload", QStringLiteral("Com%1").arg(kPort), "--force"},
        &clock, no_devices());
    QCOMPARE(status, 0);
    const QStringList bodies = PtyLine::bodies(line.read_all());
    QCOMPARE(bodies.size(), 109);
    QCOMPARE(bodies.first(), QStringLiteral("=TCLK1"));
    QVERIFY(bodies.contains(QStringLiteral("&XRA00A60000")));
    QVERIFY(bodies.contains(QStringLiteral("&RA01=057A")));
    QCOMPARE(clock.moves(), 108);
}

void tst_CliUpload::uploadReachesDevice_data()
{
    QTest::addColumn<QString>("assignment"); // --set-port Com3=…, "@line" for the line
    QTest::addColumn<bool>("overridden");    // RW7300_COM3 leads to the line
    QTest::addColumn<QString>("port");       // --upload …
    QTest::newRow("port assigned with --set-port") << "Com3=@line" << false << "Com3";
    QTest::newRow("override wins over the assignment")
        << "Com3=/dev/rw7300-elsewhere" << true << "Com3";
    QTest::newRow("device path") << "" << false << "@line";
    QTest::newRow("device path beside an assignment")
        << "Com3=/dev/rw7300-elsewhere" << false << "@line";
}

// The assignment the program writes is the one the window's PortSettings
// reads back, and an upload to that port name reaches the device.
void tst_CliUpload::uploadReachesDevice()
{
    QFETCH(QString, assignment);
    QFETCH(bool, overridden);
    QFETCH(QString, port);
    PtyLine line(3);
    QVERIFY(line.ok());
    std::optional<ScopedEnv> no_override;
    if (!overridden)
        no_override.emplace("RW7300_COM3", QByteArray());
    assignment.replace(QStringLiteral("@line"), line.path());
    port.replace(QStringLiteral("@line"), line.path());

    if (!assignment.isEmpty()) {
        QProcess process;
        process.setProcessEnvironment(child_environment());
        start_program(process, QStringLiteral(SPEEDTABLE_EXE), {"--set-port", assignment});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QString device = assignment.section('=', 1);
        const app::PortSettings settings(no_devices());
        QCOMPARE(settings.path(), ports_file());
        QVERIFY(settings.read().fault == files::AssignmentsRead::Fault::None);
        QCOMPARE(settings.map().assignments()[2], device);
        const rwlink::PortMapping com3 = settings.mapping(3);
        QCOMPARE(com3.source,
                 overridden ? rwlink::PortSource::Override : rwlink::PortSource::Assigned);
        QCOMPARE(com3.device, overridden ? line.path() : device);
    }

    FakeClock clock;
    const int status = app::run_command_line(
        QStringList{"rw7300-speedtable", "--calculate", "--json", "--upload", port}, &clock,
        no_devices());
    QCOMPARE(status, 0);
    QCOMPARE(PtyLine::bodies(line.read_all()), default_upload());
    QCOMPARE(clock.moves(), 108);
}

void tst_CliUpload::portsOfDetectedDevices_data()
{
    QTest::addColumn<bool>("twoAdapters");
    QTest::addColumn<QString>("assignment"); // "n=DEVICE" made through PortSettings
    // "ComN source device" for the ports that matter here.
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("unmapped"); // devices of the "port": null objects
    QTest::addColumn<QStringList>("text");     // lines of --ports
    const QString adapterLine =
        QStringLiteral("  /dev/ttyUSB0 — FT232R USB UART (FTDI, 0403:6001, S/N A50285BI)");
    const QString stableLine = QStringLiteral("    固定名: ") + kAdapterStableName;
    QTest::newRow("one adapter, nothing assigned: Com1 takes it")
        << false << ""
        << QStringList{"Com1 single_adapter " + kAdapterStableName, "Com2 default /dev/ttyS1"}
        << QStringList{"/dev/ttyS0"}
        << QStringList{adapterLine, stableLine, "    使うポート: Com1", "  /dev/ttyS0"};
    QTest::newRow("adapter assigned by location, kept by its stable name")
        << false << "3=/dev/ttyUSB0"
        << QStringList{"Com1 default /dev/ttyS0", "Com3 assigned " + kAdapterStableName}
        << QStringList{}
        << QStringList{adapterLine, stableLine, "    使うポート: Com3", "    使うポート: Com1"};
    QTest::newRow("two adapters: the operator chooses")
        << true << "" << QStringList{"Com1 default /dev/ttyS0"}
        << QStringList{kAdapterStableName, "/dev/ttyUSB1"}
        << QStringList{adapterLine, "  /dev/ttyUSB1 — 067b:2303"};
}

// What --ports says of devices the system reports: every field of the
// adapter, which port opens it, and the devices no port opens.
void tst_CliUpload::portsOfDetectedDevices()
{
    QFETCH(bool, twoAdapters);
    QFETCH(QString, assignment);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, unmapped);
    QFETCH(QStringList, text);
    const QTemporaryDir dir;
    QList<rwlink::DetectedPort> ports{
        built_in_port(QStringLiteral("/dev/ttyS0")),
        usb_adapter(QStringLiteral("/dev/ttyUSB0"), kAdapterStableName)};
    if (twoAdapters)
        ports << second_adapter();
    app::PortSettings settings(fake_devices(ports), dir.filePath(QStringLiteral("ports.conf")));
    if (!assignment.isEmpty())
        QVERIFY(
            settings.assign(assignment.section('=', 0, 0).toInt(), assignment.section('=', 1)).ok);

    const QJsonArray array = app::ports_json(settings.map());
    QCOMPARE(array.size(), 20 + unmapped.size());
    for (const QString &entry : expected) {
        const QStringList words = entry.split(' ');
        const QJsonObject o = array.at(words[0].mid(3).toInt() - 1).toObject();
        QCOMPARE(o.value("port").toString(), words[0]);
        QCOMPARE(o.value("source").toString(), words[1]);
        QCOMPARE(o.value("device").toString(), words[2]);
    }
    QStringList unmappedGot;
    for (qsizetype i = 20; i < array.size(); ++i) {
        const QJsonObject o = array.at(i).toObject();
        QVERIFY(o.value("port").isNull() && o.value("source").isNull());
        QCOMPARE(o.value("present").toString(), QStringLiteral("detected"));
        unmappedGot << o.value("device").toString();
    }
    QCOMPARE(unmappedGot, unmapped);

    // The adapter, wherever it shows, with all the system said of it.
    bool seen = false;
    for (const auto &value : array) {
        const QJsonObject detected = value.toObject().value("detected").toObject();
        if (detected.value("location") != QStringLiteral("/dev/ttyUSB0"))
            continue;
        seen = true;
        QCOMPARE(detected, (QJsonObject{{"location", "/dev/ttyUSB0"},
                                        {"stable_name", kAdapterStableName},
                                        {"description", "FT232R USB UART"},
                                        {"manufacturer", "FTDI"},
                                        {"serial_number", "A50285BI"},
                                        {"vendor_id", "0403"},
                                        {"product_id", "6001"}}));
    }
    QVERIFY(seen);

    const QStringList lines = app::ports_text(settings).split('\n');
    for (const QString &line : text)
        QVERIFY2(lines.contains(line), qPrintable(line + " in\n" + lines.join('\n')));
}

void tst_CliUpload::stoppedBySignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("window"); // the upload started in the window
    QTest::newRow("Ctrl-C") << int(SIGINT) << 130 << "SIGINT" << false;
    QTest::newRow("terminated") << int(SIGTERM) << 143 << "SIGTERM" << false;
    QTest::newRow("hung up") << int(SIGHUP) << 129 << "SIGHUP" << false;
    QTest::newRow("killed: no handler") << int(SIGKILL) << -1 << "SIGKILL" << false;
    QTest::newRow("window terminated") << int(SIGTERM) << 143 << "SIGTERM" << true;
}

// A signal during an upload at the real pace: the frame being written is
// finished, the count of what went out is said (by the command line), the
// port and its lock file are released, the record names the signal, and the
// status is the shell's for that signal. The window's upload the same, the
// program started as it is and its buttons pressed by a plugin inside it.
void tst_CliUpload::stoppedBySignal()
{
    QFETCH(int, signalNumber);
    QFETCH(int, exitCode);
    QFETCH(QString, name);
    QFETCH(bool, window);
    PtyLine line(kPort);
    QVERIFY(line.ok());
    QProcess process;
    QProcessEnvironment environment = child_environment();
    QString program = QStringLiteral(SPEEDTABLE_EXE);
    QStringList arguments{"--calculate", "--json", "--upload", line.path()};
    const QTemporaryDir beside; // the window writes its files beside the program
    if (window) {
        program = beside.filePath(QStringLiteral("rw7300-speedtable"));
        QVERIFY(QFile::copy(QStringLiteral(SPEEDTABLE_EXE), program));
        arguments.clear();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(OPERATOR_PLUGINS));
        environment.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"),
                           QStringLiteral("rw7300operator"));
        for (int n = 1; n <= 20; ++n) // whatever port it starts with
            environment.insert(QStringLiteral("RW7300_COM%1").arg(n), line.path());
    }
    process.setProcessEnvironment(environment);
    start_program(process, program, arguments);
    QVERIFY(process.waitForStarted());
    QByteArray bytes = read_frames(line.master(), 3);
    QVERIFY2(bytes.count('#') >= 6, bytes);
    const QString lock = port_lock_file(line.path());
    QVERIFY2(!lock.isEmpty(), "no lock file for the port while it is open");
    QCOMPARE(::kill(static_cast<pid_t>(process.processId()), signalNumber), 0);
    QVERIFY(process.waitForFinished(10000));
    bytes += line.read_all();
    if (signalNumber == SIGKILL) {
        // The record written before the first frame stays, and says a mix.
        const files::RecordsRead read = files::read_records(record_file());
        QCOMPARE(read.records.size(), 1);
        QCOMPARE(read.records.first().result, files::SendRecord::Result::Incomplete);
        const QJsonObject holds = port_holds();
        QCOMPARE(holds.value("actions").toInt(), 1);
        QCOMPARE(holds.value("mixed"), QJsonValue(true));
        return;
    }

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QStringList sent = PtyLine::bodies(bytes);
    QVERIFY(sent.size() >= 3 && sent.size() < 109);
    QCOMPARE(sent, default_upload().mid(0, sent.size())); // whole frames only
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(window ||
                 (err.contains(name + QStringLiteral(" を受けて送信を止めました")) &&
                  err.contains(QStringLiteral("送信済みのコマンド: %1 個 / 109").arg(sent.size()))),
             qPrintable(err));
    QVERIFY2(!QFileInfo::exists(lock), qPrintable(lock));

    const files::RecordsRead read = files::read_records(record_file());
    QCOMPARE(read.records.size(), 1);
    const files::SendRecord &r = read.records.first();
    QCOMPARE(r.result, files::SendRecord::Result::Cancelled);
    QCOMPARE(r.commands, sent);
    QCOMPARE(r.planned, 109);
    QVERIFY(r.stop);
    QCOMPARE(r.stop->cause, files::StopReason::Cause::Signal);
    QCOMPARE(r.stop->signal, signalNumber);
}

void tst_CliUpload::uploadRecord_data()
{
    QTest::addColumn<QString>("port"); // "@line" for the line
    QTest::addColumn<bool>("recordWritable");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<files::SendRecord::Result>("result");
    QTest::addColumn<int>("sent");
    QTest::addColumn<files::StopReason>("stop");
    QTest::newRow("full upload") << "@line" << true << 0 << files::SendRecord::Result::Done << 109
                                 << files::StopReason{};
    QTest::newRow("no such device")
        << "/nonexistent/rw7300-tty" << true << status(ExitStatus::Upload)
        << files::SendRecord::Result::Failed << 0
        << files::StopReason{files::StopReason::Cause::OpenFailed, ENOENT, 0};
    QTest::newRow("record not writable: the upload still done")
        << "@line" << false << 0 << files::SendRecord::Result::Done << 109 << files::StopReason{};
    QTest::newRow("record not writable: the failure still its own")
        << "/nonexistent/rw7300-tty" << false << status(ExitStatus::Upload)
        << files::SendRecord::Result::Failed << 0 << files::StopReason{};
}

// Every upload leaves its record, mount and all; one that cannot be
// written is said and changes nothing else.
void tst_CliUpload::uploadRecord()
{
    QFETCH(QString, port);
    QFETCH(bool, recordWritable);
    QFETCH(int, exitStatus);
    QFETCH(files::SendRecord::Result, result);
    QFETCH(int, sent);
    QFETCH(files::StopReason, stop);
    PtyLine line(kPort);
    QVERIFY(line.ok());
    port.replace(QStringLiteral("@line"), line.path());
    QTemporaryDir dir;
    const QString mount = dir.filePath(QStringLiteral("EM-200.rwm"));
    QVERIFY(app::run_command_line({"rw7300-speedtable", "--save-mount", mount, "--mount-name",
                                   "EM-200", "--dec", "144,2.5,200,10,8"},
                                  nullptr, no_devices()) == 0);
    if (!recordWritable) {
        QFile blocker(m_config.filePath(QStringLiteral("state")));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder goes
    }
    FakeClock clock;
    Captured upload(dir);
    const int got = app::run_command_line(
        {"rw7300-speedtable", "--calculate", "--json", "--mount", mount, "--upload", port}, &clock,
        no_devices());
    upload.restore();
    const QString said = upload.err();
    QCOMPARE(got, exitStatus);
    const QStringList bodies = PtyLine::bodies(line.read_all());
    QCOMPARE(bodies.size(), sent);
    QCOMPARE(said.contains(QStringLiteral("送信記録を書けませんでした")), !recordWritable);
    if (!recordWritable)
        return;
    const files::RecordsRead read = files::read_records(record_file());
    QCOMPARE(read.records.size(), 1);
    const files::SendRecord &r = read.records.first();
    QCOMPARE(r.result, result);
    QCOMPARE(r.commands, bodies);
    QCOMPARE(r.planned, 109);
    QCOMPARE(r.port, port);
    QCOMPARE(r.device, sent > 0 ? port : QString());
    QCOMPARE(r.mount_name, QStringLiteral("EM-200"));
    QCOMPARE(r.mount_file, QFileInfo(mount).absoluteFilePath());
    QCOMPARE(r.base_clock, calc::kClock2MHz);
    calc::CalcInput computed;
    computed.dec[calc::kMicrostep] = "8";
    QCOMPARE(r.computed_from, std::optional(computed));
    QCOMPARE(r.reason, QString());
    QCOMPARE(r.stop, std::optional(stop));
    QVERIFY(r.started <= r.ended);

    // What the device holds by it, as --holds says it for scripts; the port
    // name stands for the device it opens.
    const QJsonObject holds = port_holds();
    QCOMPARE(holds.value("device").toString(), line.path());
    QCOMPARE(holds.value("actions").toInt(), sent > 0 ? 1 : 0);
    QCOMPARE(holds.value("mixed"), QJsonValue(sent < 109));
    QCOMPARE(holds.value("ra").toArray().at(0).toObject().value("value").toString(),
             sent > 0 ? default_upload().at(2).mid(6) : QString());
    QCOMPARE(holds.value("dec_total").toObject().value("mount").toString(),
             sent > 0 ? QStringLiteral("EM-200") : QString());
}

void tst_CliUpload::history_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QStringList>("printed"); // in this order on stdout
    QTest::newRow("JSON, newest first, the stop by kind")
        << QStringList{"--history", "--json"} << true
        << QStringList{R"("planned":3)", R"("stop":{"cause":"signal","signal":2})",
                       R"("stop":{"cause":"open_failed","errno":2})", R"("planned":109)",
                       R"("stop":{"cause":"none"})"};
    QTest::newRow("a rate stopped after a whole upload: a mix")
        << QStringList{"--holds", "/dev/ttyRW"} << true
        << QStringList{"注意: コントローラーの値は混在しています。--calculate --upload"};
    QTest::newRow("a record that cannot be read")
        << QStringList{"--history"} << false << QStringList{};
    QTest::newRow("a mount name's control characters made visible")
        << QStringList{"--history"} << true
        << QStringList{R"(\x1b]0;x\x07\x1b[2JEM\x0a200\x9b)", "/ 109 個"};
}

// The record newest first; one that cannot be read is a failure of its own.
void tst_CliUpload::history()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, readable);
    QFETCH(QStringList, printed);
    files::SendRecord r;
    r.device = QStringLiteral("/dev/ttyRW");
    r.started = r.ended = QDateTime::currentDateTime();
    r.commands = default_upload();
    r.planned = 109;
    r.mount_name = QStringLiteral("\x1b]0;x\x07\x1b[2JEM\n200\u009b"); // a title, a cleared screen
    r.stop = files::StopReason{};
    QVERIFY(readable ? files::append_record(record_file(), r).ok : QDir().mkpath(record_file()));
    files::SendRecord missing = r; // no such device
    missing.device.clear();
    missing.commands.clear();
    missing.result = files::SendRecord::Result::Failed;
    missing.stop = files::StopReason{files::StopReason::Cause::OpenFailed, ENOENT, 0};
    QCOMPARE(files::append_record(record_file(), missing).ok, readable);
    r.commands = QStringList{"&RA052BF2"};
    r.planned = 3;
    r.result = files::SendRecord::Result::Cancelled;
    r.stop = files::StopReason{files::StopReason::Cause::Signal, 0, SIGINT};
    QCOMPARE(files::append_record(record_file(), r).ok, readable);
    QTemporaryDir dir;
    Captured run(dir);
    const int got =
        app::run_command_line(QStringList{"rw7300-speedtable"} + arguments, nullptr, no_devices());
    run.restore();
    QCOMPARE(got, readable ? 0 : status(ExitStatus::Record));
    qsizetype at = 0;
    for (const QString &part : printed) {
        QVERIFY2(run.out().indexOf(part, at) >= at, qPrintable(part + " in " + run.out()));
        at = run.out().indexOf(part, at) + part.size();
    }
    QCOMPARE(run.out().isEmpty(), printed.isEmpty());
    QVERIFY(!run.out().contains(QLatin1Char('\x1b'))); // raw, it would retitle the terminal
}

void tst_CliUpload::setPortKeepsAndWarns_data()
{
    QTest::addColumn<QString>("given"); // DIR: a folder of the test's own
    QTest::addColumn<bool>("refused");  // this user may not open it
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("said");       // on stdout besides the assignment
    QTest::addColumn<QStringList>("warned"); // on stderr; none when empty
    QTest::newRow("adapter's location: kept by its stable name")
        << "/dev/ttyUSB0" << false << kAdapterStableName
        << "/dev/ttyUSB0 は " + kAdapterStableName + " として保存しました" << QStringList{};
    QTest::newRow("adapter's stable name, refused")
        << kAdapterStableName << true << kAdapterStableName << ""
        << QStringList{"注意", "権限がありません", "dialout", "ログインし直して"};
    QTest::newRow("device missing") << "/dev/ttyUSB9" << false << "/dev/ttyUSB9"
                                    << "" << QStringList{"注意", "/dev/ttyUSB9 は今はありません"};
    QTest::newRow("device file refused")
        << "DIR/tty" << true << "DIR/tty"
        << "" << QStringList{"DIR/tty を開く権限がありません", "sudo usermod -aG dialout $USER"};
    QTest::newRow("device file that opens") << "DIR/tty" << false << "DIR/tty"
                                            << "" << QStringList{};
}

// --set-port keeps what it is given (by its stable name when it has one,
// and says so), and warns, still succeeding, of a device it cannot open now.
void tst_CliUpload::setPortKeepsAndWarns()
{
    QFETCH(QString, given);
    QFETCH(bool, refused);
    QFETCH(QString, kept);
    QFETCH(QString, said);
    QFETCH(QStringList, warned);
    QTemporaryDir dir;
    QFile tty(dir.filePath("tty"));
    QVERIFY(tty.open(QIODevice::WriteOnly));
    tty.close();
    const QString folder = QFileInfo(dir.path()).canonicalFilePath();
    given.replace("DIR", folder);
    kept.replace("DIR", folder);
    for (QString &part : warned)
        part.replace("DIR", folder);
    const QList<rwlink::DetectedPort> present{usb_adapter("/dev/ttyUSB0", kAdapterStableName)};
    const rwlink::Devices devices =
        fake_devices(present, {{"/dev/ttyUSB0", {}}, {kAdapterStableName, "/dev/ttyUSB0"}},
                     refused ? QStringList{given} : QStringList{});

    FakeClock clock;
    Captured output(dir);
    const int code = app::run_command_line(
        QStringList{"rw7300-speedtable", "--set-port", "Com4=" + given}, &clock, devices);
    output.restore();
    QCOMPARE(code, 0);
    const app::PortSettings settings(no_devices());
    QCOMPARE(settings.map().assignments()[3], kept);
    const QString out = output.out();
    QVERIFY2(out.contains(QStringLiteral("Com4 に %1 を割り当てました").arg(kept)),
             qPrintable(out));
    QVERIFY2(said.isEmpty() ? !out.contains(QStringLiteral("として保存しました"))
                            : out.contains(said),
             qPrintable(out));
    const QString err = output.err();
    QVERIFY2(warned.isEmpty() == err.isEmpty(), qPrintable(err));
    for (const QString &part : warned)
        QVERIFY2(err.contains(part), qPrintable(part + " in " + err));
}

QTEST_GUILESS_MAIN(tst_CliUpload)
#include "tst_cli_upload.moc"
