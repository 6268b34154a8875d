// The send record: its lines read back as written, torn and foreign lines
// passed over, appends from many processes at once (each locked, written
// and synced, as their calls show), the size bound exactly at its limit,
// files it cannot write; and what a device holds by it.

#include "childprogram.h"
#include "filebytes.h"
#include "frame.h"
#include "holds.h"
#include "sendrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <memory>
#include <vector>

using files::SendRecord;

Q_DECLARE_METATYPE(files::WriteFault)

namespace {

const QDateTime kNight =
    QDateTime::fromString(QStringLiteral("2026-12-07T21:14:05.250+09:00"), Qt::ISODateWithMs);

// An upload's bodies whose values all derive from seed.
QStringList upload(int seed, const QString &clock_body = QStringLiteral("=TCLK1"))
{
    const auto hex = [](int v, int digits) {
        return QStringLiteral("%1").arg(v, digits, 16, QLatin1Char('0')).toUpper();
    };
    QStringList bodies{clock_body, rwlink::kStoreData};
    for (const calc::Axis axis : {calc::Axis::Ra, calc::Axis::Dec}) {
        for (int row = 1; row <= calc::kTableRows; ++row)
            bodies << rwlink::row_body(axis, row, hex(seed * 256 + row, 4));
        bodies << rwlink::kStoreData;
    }
    bodies << rwlink::kNewTable << rwlink::total_body(calc::Axis::Ra, hex(seed * 4096 + 1, 6))
           << rwlink::total_body(calc::Axis::Dec, hex(seed * 4096 + 2, 6))
           << QStringLiteral("&XNEW") << rwlink::kStoreData;
    return bodies;
}

SendRecord record(const QStringList &commands, int planned, const QString &device = "/dev/ttyUSB0",
                  int minutes = 0)
{
    SendRecord r;
    r.started = kNight.addSecs(qint64{60} * minutes);
    r.ended = r.started.addSecs(17);
    r.version = QStringLiteral("1.0");
    r.port = QStringLiteral("Com1");
    r.device = device;
    r.base_clock = 2000000;
    r.commands = commands;
    r.planned = planned;
    r.result =
        commands.size() == planned ? SendRecord::Result::Done : SendRecord::Result::Cancelled;
    return r;
}

// What an action was computed from: the default drive trains with other
// microstep factors, so a swapped axis shows.
calc::CalcInput computed(const std::string &ra_microstep, const std::string &dec_microstep,
                         std::int32_t clock = calc::kClock2MHz)
{
    calc::CalcInput input;
    input.ra[calc::kMicrostep] = ra_microstep;
    input.dec[calc::kMicrostep] = dec_microstep;
    input.base_clock = clock;
    return input;
}

// A record file of exactly size bytes, of records planned 1, 2, …
QByteArray file_of(qint64 size)
{
    QByteArray bytes;
    for (int n = 1; bytes.size() < size; ++n) {
        SendRecord r = record({}, n);
        const qint64 bare = files::record_line(r).size();
        const qint64 left = size - bytes.size();
        r.mount_name =
            QString(left - bare < 2 * bare + 1000 ? left - bare : 1000, QLatin1Char('x'));
        bytes += files::record_line(r);
    }
    return bytes;
}

QString helper()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/write_helper");
}

// The child's writes, syncs and unlinks logged to log (tracecalls.cpp).
void traced(QProcess &p, const QString &log)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("RW7300_TRACE", log);
    // An emulator takes the guest's environment from its own variable.
    env.insert(emulator_words().isEmpty() ? "LD_PRELOAD" : "QEMU_SET_ENV",
               (emulator_words().isEmpty() ? "" : "LD_PRELOAD=") + QStringLiteral(TRACECALLS));
    // AddressSanitizer wants its runtime first; the logger only passes calls on.
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
    p.setProcessEnvironment(env);
}

// Each append in the log as "L" (the lock taken), "W" (the record written),
// "S" (synced), "U" (the lock let go): in the order made, and each
// process's own; and whether each append's four calls came from one
// process, back to back.
struct Appends {
    QString calls;
    QMap<QByteArray, QString> by_process;
    bool each_one_process = true;
};
Appends appends_in(const QByteArray &log)
{
    const QMap<QByteArray, QChar> kinds{{"write sends.jsonl.lock", 'L'},
                                        {"write sends.jsonl", 'W'},
                                        {"sync sends.jsonl", 'S'},
                                        {"unlink sends.jsonl.lock", 'U'}};
    Appends appends;
    QList<QByteArray> pids;
    for (const QByteArray &line : log.split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (const QChar kind = kinds.value(line.mid(space + 1)); !kind.isNull()) {
            appends.calls += kind;
            appends.by_process[line.left(space)] += kind;
            pids << line.left(space);
        }
    }
    for (qsizetype i = 0; i < pids.size(); i += 4)
        appends.each_one_process =
            appends.each_one_process && pids.mid(i, 4) == QList<QByteArray>(4, pids.at(i));
    return appends;
}

// What holds says of the keys asked for: "-" for nothing held.
QStringList held(const recorded::Holds &holds, const QStringList &keys)
{
    QStringList out;
    for (const QString &key : keys) {
        const QString axis = key.left(key.indexOf(QLatin1Char(' ')));
        const int row = key.mid(key.indexOf(QLatin1Char(' ')) + 1).toInt();
        const recorded::HeldEntry &e = key == "clock"       ? holds.clock
                                       : key == "rate"      ? holds.rate
                                       : key == "ra05"      ? holds.ra05()
                                       : key == "ra_total"  ? holds.ra_total
                                       : key == "dec_total" ? holds.dec_total
                                       : axis == "ra"       ? holds.ra[row - 1]
                                                            : holds.dec[row - 1];
        out << key + "=" + (e ? e->value : QStringLiteral("-"));
    }
    return out;
}

} // namespace

class tst_SendRecord : public QObject {
    Q_OBJECT

private slots:
    void lineReadBack_data();
    void lineReadBack();
    void linesPassedOver_data();
    void linesPassedOver();
    void appendAfterTornLine();
    void sizeLimit_data();
    void sizeLimit();
    void unwritable_data();
    void unwritable();
    void fullDisk();
    void processesAtOnce_data();
    void processesAtOnce();
    void stateDirectory_data();
    void stateDirectory();
    void holds_data();
    void holds();
    void difference_data();
    void difference();
    void setupChanges_data();
    void setupChanges();
};

void tst_SendRecord::lineReadBack_data()
{
    QTest::addColumn<SendRecord>("written");
    QTest::newRow("a full upload") << record(upload(1), 109);
    SendRecord failed = record(upload(1).mid(0, 40), 109);
    failed.result = SendRecord::Result::Failed;
    failed.reason = QStringLiteral("ポートが失われました\n\"抜かれた\" \\ 「USB」\t");
    failed.mount_name = QStringLiteral("EM-200 \"赤道儀\"\n2台目");
    failed.mount_file = QStringLiteral("/home/観測/マウント\\EM-200.rwm");
    failed.stable_device = QStringLiteral("/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0");
    QTest::newRow("a failed one, escapes in every text") << failed;
    SendRecord refused = record({}, 3);
    refused.result = SendRecord::Result::Stopped;
    refused.device.clear();
    QTest::newRow("stopped before its first command") << refused;
    SendRecord elsewhere = record({QStringLiteral("&XRA00000ABC"), rwlink::kStoreData}, 2);
    elsewhere.started = QDateTime::fromString("2026-06-01T03:00:00.001-05:30", Qt::ISODateWithMs);
    elsewhere.ended = elsewhere.started.addMSecs(150);
    QTest::newRow("a single command, another time zone") << elsewhere;
    SendRecord trains = record(upload(1, "=TCLK2"), 109);
    trains.computed_from = computed("8", "32", calc::kClock250kHz);
    trains.computed_from->dec[calc::kIntermediateGear] = "2,5 \"庭\""; // as typed
    QTest::newRow("the drive trains and clock it was computed from") << trains;
    SendRecord missing = record({}, 109);
    missing.result = SendRecord::Result::Failed;
    missing.stop = files::StopReason{files::StopReason::Cause::OpenFailed, 2, 0};
    QTest::newRow("a device missing, its errno") << missing;
    SendRecord hung_up = record(upload(1).mid(0, 21), 109);
    hung_up.result = SendRecord::Result::Cancelled;
    hung_up.stop = files::StopReason{files::StopReason::Cause::Signal, 0, 1};
    QTest::newRow("stopped by a signal") << hung_up;
}

void tst_SendRecord::lineReadBack()
{
    QFETCH(SendRecord, written);
    const QByteArray line = files::record_line(written);
    QCOMPARE(line.count('\n'), 1);
    QVERIFY(line.endsWith('\n'));
    const auto read = files::parse_record_line(line);
    QVERIFY(read);
    QCOMPARE(*read, written);
    QCOMPARE(read->started.offsetFromUtc(), written.started.offsetFromUtc());
}

void tst_SendRecord::linesPassedOver_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("planned");
    QTest::addColumn<int>("skipped");
    const QByteArray one = files::record_line(record({}, 1));
    const QByteArray two = files::record_line(record({}, 2));
    QTest::newRow("a torn last line") << one + two.left(two.size() / 2) << QList<int>{1} << 1;
    QTest::newRow("only the newline missing") << one + two.chopped(1) << QList<int>{1, 2} << 0;
    QTest::newRow("blank lines and CR LF")
        << "\n" + one.chopped(1) + "\r\n\n" + two << QList<int>{1, 2} << 0;
    QTest::newRow("foreign line between")
        << one + "not json\n{\"port\":1}\n" + two << QList<int>{1, 2} << 2;
    QByteArray lying = one;
    lying.replace("\"sent\":0", "\"sent\":1");
    QTest::newRow("sent count not its commands") << lying + two << QList<int>{2} << 1;
    QByteArray over = files::record_line(record({"=SD", "=SD"}, 2));
    over.replace("\"planned\":2", "\"planned\":1");
    QTest::newRow("more sent than planned") << over << QList<int>{} << 1;
    QByteArray result = files::record_line(record({"=SD"}, 1));
    result.replace("\"done\"", "\"maybe\"");
    QTest::newRow("unknown result") << result << QList<int>{} << 1;
    SendRecord short_done = record({"=SD"}, 7);
    short_done.result = SendRecord::Result::Done;
    QTest::newRow("done with fewer sent than planned")
        << files::record_line(short_done) + two << QList<int>{2} << 1;
    SendRecord backwards = record({}, 5);
    backwards.ended = backwards.started.addMSecs(-1);
    QTest::newRow("ended before it started")
        << files::record_line(backwards) + two << QList<int>{2} << 1;
    QTest::newRow("bodies that are no commands")
        << one + files::record_line(record({"=SD", "1#2:", "ZZZZ"}, 3)) << QList<int>{1} << 1;
    SendRecord stopped = record({"=SD"}, 1);
    stopped.stop = files::StopReason{};
    QByteArray cause = files::record_line(stopped);
    cause.replace("\"none\"", "\"bored\"");
    QTest::newRow("unknown stop cause") << cause << QList<int>{} << 1;
    SendRecord starting = record({}, 3);
    starting.id = QStringLiteral("4f1c");
    starting.result = SendRecord::Result::Incomplete;
    SendRecord ended = record({"=SD"}, 3);
    ended.id = starting.id;
    const QByteArray opened = files::record_line(starting);
    QTest::newRow("an action's two lines, one record where it began")
        << opened + two + files::record_line(ended) << QList<int>{3, 2} << 0;
    QTest::newRow("a record never completed") << one + opened << QList<int>{1, 3} << 0;
    // As version 1.02 before the drive trains wrote it.
    const QByteArray older =
        R"({"started":"2026-12-07T21:14:05.250+09:00","ended":"2026-12-07T21:14:22.250+09:00",)"
        R"("version":"1.02","port":"Com1","device":"/dev/ttyUSB0","stable_device":"",)"
        R"("mount_file":"","mount":"","clock":2000000,"result":"done","reason":"",)"
        R"("sent":1,"planned":1,"commands":["=SD"]})"
        "\n";
    QTest::newRow("an older line without the drive trains") << older + two << QList<int>{1, 2} << 0;
}

void tst_SendRecord::linesPassedOver()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, planned);
    QFETCH(int, skipped);
    files::RecordsRead read = files::parse_records(bytes);
    recorded::pass_over_unsound(read);
    QList<int> got;
    for (const SendRecord &r : read.records)
        got << r.planned;
    QCOMPARE(got, planned);
    QCOMPARE(read.skipped, skipped);
}

void tst_SendRecord::appendAfterTornLine()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sends.jsonl");
    const QByteArray two = files::record_line(record({}, 2));
    QVERIFY(write_file(path, files::record_line(record({}, 1)) + two.left(30)));
    QVERIFY(files::append_record(path, record({}, 3)).ok);
    const files::RecordsRead read = files::read_records(path);
    QVERIFY(read.failure.ok);
    QCOMPARE(read.records.size(), 2);
    QCOMPARE(read.records.at(1).planned, 3);
    QCOMPARE(read.skipped, 1);
}

void tst_SendRecord::sizeLimit_data()
{
    QTest::addColumn<int>("over"); // bytes past the limit the append would make
    QTest::addColumn<bool>("trimmed");
    QTest::newRow("ends exactly at the limit") << 0 << false;
    QTest::newRow("one byte past it") << 1 << true;
}

void tst_SendRecord::sizeLimit()
{
    QFETCH(int, over);
    QFETCH(bool, trimmed);
    QTemporaryDir dir;
    const QString path = dir.filePath("sends.jsonl");
    const SendRecord newest = record(upload(7), 109, "/dev/ttyUSB0", 99);
    const qint64 line = files::record_line(newest).size();
    const QByteArray old = file_of(files::kRecordFileLimit - line + over);
    QVERIFY(write_file(path, old));
    const int old_count = files::parse_records(old).records.size();

    QVERIFY(files::append_record(path, newest).ok);
    const qint64 size = QFileInfo(path).size();
    const files::RecordsRead read = files::read_records(path);
    QCOMPARE(read.skipped, 0);
    QCOMPARE(read.records.last(), newest);
    if (!trimmed) {
        QCOMPARE(size, files::kRecordFileLimit);
        QCOMPARE(read.records.size(), old_count + 1);
        return;
    }
    QVERIFY(size <= files::kRecordFileTrimmed);
    QVERIFY(size > files::kRecordFileTrimmed - 3000); // only as many dropped as needed
    // The oldest went; the newest old ones stay, in order.
    QVERIFY(read.records.size() < old_count + 1);
    const int first = read.records.first().planned;
    QVERIFY(first > 1);
    for (int i = 0; i + 1 < read.records.size(); ++i)
        QCOMPARE(read.records.at(i).planned, first + i);
    QCOMPARE(read.records.at(read.records.size() - 2).planned, old_count);
}

void tst_SendRecord::unwritable_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<files::WriteFault>("fault");
    QTest::newRow("its folder is a file") << "folder-file" << files::WriteFault::NoFolder;
    QTest::newRow("the record is a folder") << "record-folder" << files::WriteFault::System;
    QTest::newRow("the record is a FIFO") << "record-fifo" << files::WriteFault::NotRegular;
    QTest::newRow("the record links to a file") << "record-link" << files::WriteFault::Link;
}

void tst_SendRecord::unwritable()
{
    QFETCH(QString, setup);
    QFETCH(files::WriteFault, fault);
    QTemporaryDir dir;
    QString path = dir.filePath("state/sends.jsonl");
    QVERIFY(QDir().mkpath(dir.filePath("state")));
    if (setup == "folder-file") {
        QVERIFY(write_file(dir.filePath("file"), "x"));
        path = dir.filePath("file/sends.jsonl");
    } else if (setup == "record-folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (setup == "record-link") {
        // The user's own file, which neither an append nor a trim may touch.
        QVERIFY(write_file(dir.filePath("notes"), files::record_line(record({}, 2)) + "mine\n"));
        QVERIFY(QFile::link(dir.filePath("notes"), path));
    } else {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    const files::WriteOutcome outcome = files::append_record(path, record({}, 1));
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.fault, fault);
    if (setup == "record-link") {
        QFile notes(dir.filePath("notes"));
        QVERIFY(notes.open(QIODevice::ReadOnly));
        QCOMPARE(notes.readAll(), files::record_line(record({}, 2)) + "mine\n");
        return;
    }
    QVERIFY(files::read_records(path).records.isEmpty());
}

void tst_SendRecord::fullDisk()
{
    // A file-size limit stands in for a full disk (root is not stopped by
    // permissions): the write that cannot finish must fail the append.
    QTemporaryDir dir;
    const QString path = dir.filePath("sends.jsonl");
    const QByteArray one = files::record_line(record({}, 1));
    QVERIFY(write_file(path, one));
    QProcess p;
    start_program(p, helper(),
                  {"--append-records", path, "1", "Com2", QString::number(one.size() + 40)});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 1);
    // Nothing half-written: the file is as it was before the append.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), one);
}

void tst_SendRecord::processesAtOnce_data()
{
    QTest::addColumn<int>("processes");
    QTest::addColumn<int>("each");
    QTest::addColumn<bool>("released"); // the lock held here is let go after a moment
    QTest::newRow("two processes, 200 records each") << 2 << 200 << true;
    QTest::newRow("40 processes, 3 records each") << 40 << 3 << true;
    QTest::newRow("the lock kept here: given up, its holder named") << 1 << 1 << false;
}

void tst_SendRecord::processesAtOnce()
{
    QFETCH(int, processes);
    QFETCH(int, each);
    QFETCH(bool, released);
    QTemporaryDir dir;
    const QString path = dir.filePath("state/sends.jsonl");
    // Held here first: none may write a byte until it is free.
    QVERIFY(QDir().mkpath(dir.filePath("state")));
    QLockFile held(path + ".lock");
    QVERIFY(held.tryLock(0));
    std::vector<std::unique_ptr<QProcess>> children;
    for (int n = 0; n < processes; ++n) {
        children.push_back(std::make_unique<QProcess>());
        traced(*children.back(), dir.filePath("trace"));
        start_program(*children.back(), helper(),
                      {"--append-records", path, QString::number(each), QString::number(n)});
    }
    QVERIFY(!children.front()->waitForFinished(150) && !QFileInfo(path).exists());
    if (released)
        held.unlock();
    QByteArray out;
    for (const auto &child : children) {
        QVERIFY(child->waitForFinished(60000));
        out = child->readAllStandardOutput();
        QVERIFY2(child->exitCode() == (released ? 0 : 1), out.constData());
    }
    const int appended = released ? processes * each : 0;
    const Appends appends = appends_in(read_all(dir.filePath("trace")));
    QCOMPARE(appends.by_process.size(), released ? processes : 0);
    // Under an emulator Qt takes a live holder's lock for stale, as the
    // holder's program it finds is the emulator, and a waiter may remove it
    // (a U of its own) while it changes hands, even before the holder's
    // write to it is logged (an L lost): each process's appends are written,
    // synced and let go everywhere, one after another only on the machine's
    // own runs.
    const QRegularExpression whole(QStringLiteral("^(U*L?WSU){%1}$").arg(each));
    for (const QString &own : appends.by_process)
        QVERIFY2(whole.match(own).hasMatch(), qPrintable(own));
    if (emulator_words().isEmpty()) {
        QCOMPARE(appends.calls, QString("LWSU").repeated(appended));
        QVERIFY(appends.each_one_process);
    }
    const files::RecordsRead read = files::read_records(path);
    QCOMPARE(read.skipped, 0);
    QCOMPARE(read.records.size(), appended);
    QMap<QString, int> next;
    for (const SendRecord &r : read.records)
        QCOMPARE(r.planned, ++next[r.port]);
    if (!released) {
        // "failed: FAULT PID HELD_MS TURNS …"
        const QList<QByteArray> words = out.split(' ');
        QCOMPARE(words.value(1).toInt(), int(files::WriteFault::Locked));
        QCOMPARE(words.value(2).toLongLong(), QCoreApplication::applicationPid());
        QVERIFY(words.value(3).toLongLong() >= files::kLockWait.count());
        QCOMPARE(words.value(4).toInt(), 0);
    }
}

void tst_SendRecord::stateDirectory_data()
{
    QTest::addColumn<QByteArray>("stateHome");
    QTest::addColumn<QString>("expected"); // under HOME when it starts with ~
    QTest::newRow("absolute") << QByteArray("/srv/state") << "/srv/state/rw7300-speedtable";
    QTest::newRow("relative is ignored")
        << QByteArray("state") << "~/.local/state/rw7300-speedtable";
    QTest::newRow("unset") << QByteArray() << "~/.local/state/rw7300-speedtable";
}

void tst_SendRecord::stateDirectory()
{
    QFETCH(QByteArray, stateHome);
    QFETCH(QString, expected);
    QTemporaryDir home;
    const QByteArray old_home = qgetenv("HOME"), old_state = qgetenv("XDG_STATE_HOME");
    const bool had_state = qEnvironmentVariableIsSet("XDG_STATE_HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    if (stateHome.isNull())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", stateHome);
    const QString got = files::state_directory();
    qputenv("HOME", old_home);
    had_state ? qputenv("XDG_STATE_HOME", old_state) : qunsetenv("XDG_STATE_HOME");
    QCOMPARE(got, expected.replace(QLatin1Char('~'), home.path()));
    QCOMPARE(files::record_path(), QDir(files::state_directory()).filePath("sends.jsonl"));
}

void tst_SendRecord::holds_data()
{
    QTest::addColumn<QList<SendRecord>>("records");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("actions");
    QTest::addColumn<bool>("mixed");
    QTest::newRow("nothing sent") << QList<SendRecord>{} << QStringList{"/dev/ttyUSB0"}
                                  << QStringList{"clock=-", "ra 1=-",   "ra 5=-",     "ra 50=-",
                                                 "dec 1=-", "dec 50=-", "ra_total=-", "dec_total=-"}
                                  << 0 << true;
    QTest::newRow("one full upload")
        << QList<SendRecord>{record(upload(1), 109)} << QStringList{"/dev/ttyUSB0"}
        << QStringList{"clock==TCLK1", "ra 1=0101",   "ra 5=0105",       "ra 50=0132",
                       "dec 1=0101",   "dec 50=0132", "ra_total=001001", "dec_total=001002"}
        << 1 << false;
    // Stopped after the clock, =SD and RA rows 1…28.
    const SendRecord stopped = record(upload(2, "=TCLK2").mid(0, 30), 109, "/dev/ttyUSB0", 1);
    QTest::newRow("a stopped upload counts to where it stopped")
        << QList<SendRecord>{record(upload(1), 109), stopped} << QStringList{"/dev/ttyUSB0"}
        << QStringList{"clock==TCLK2", "ra 1=0201",   "ra 5=0205",       "ra 50=0132",
                       "dec 1=0101",   "dec 50=0132", "ra_total=001001", "dec_total=001002"}
        << 2 << true;
    SendRecord killed = record({}, 109, "/dev/ttyUSB0", 1);
    killed.result = SendRecord::Result::Incomplete;
    QTest::newRow("an upload killed mid-way: nothing known")
        << QList<SendRecord>{record(upload(1), 109), killed} << QStringList{"/dev/ttyUSB0"}
        << QStringList{"clock=-", "ra 1=-", "dec 50=-", "ra_total=-"} << 2 << true;
    QTest::newRow("a complete upload after a killed one")
        << QList<SendRecord>{killed, record(upload(3), 109, "/dev/ttyUSB0", 2)}
        << QStringList{"/dev/ttyUSB0"} << QStringList{"clock==TCLK1", "dec_total=003002"} << 2
        << false;
    QTest::newRow("a complete upload after a stopped one")
        << QList<SendRecord>{record(upload(1), 109), stopped,
                             record(upload(3), 109, "/dev/ttyUSB0", 2)}
        << QStringList{"/dev/ttyUSB0"} << QStringList{"clock==TCLK1", "dec_total=003002"} << 3
        << false;
    QTest::newRow("a stopped upload of the same values")
        << QList<SendRecord>{record(upload(1), 109), record(upload(1).mid(0, 30), 109)}
        << QStringList{"/dev/ttyUSB0"} << QStringList{"ra 1=0101"} << 2 << false;
    QTest::newRow("only the clock of another upload")
        << QList<SendRecord>{record(upload(1), 109), record(upload(1, "=TCLK2").mid(0, 1), 109)}
        << QStringList{"/dev/ttyUSB0"} << QStringList{"clock==TCLK2", "ra 1=0101"} << 2 << true;
    QTest::newRow("a DEC total alone that differs")
        << QList<SendRecord>{record(upload(1), 109),
                             record({rwlink::total_body(calc::Axis::Dec, "00ABCD"), "=SD"}, 2)}
        << QStringList{"/dev/ttyUSB0"} << QStringList{"ra_total=001001", "dec_total=00ABCD"} << 2
        << true;
    QTest::newRow("another device's records do not count")
        << QList<SendRecord>{record(upload(1), 109), record(upload(2), 109, "/dev/ttyUSB1", 1)}
        << QStringList{"/dev/ttyUSB0"}
        << QStringList{"clock==TCLK1", "ra 1=0101",   "ra 5=0105",       "ra 50=0132",
                       "dec 1=0101",   "dec 50=0132", "ra_total=001001", "dec_total=001002"}
        << 1 << false;
    SendRecord moved = record(upload(3), 109, "/dev/ttyUSB3", 1);
    moved.stable_device = "/dev/serial/by-id/usb-A";
    SendRecord before = record(upload(1), 109, "/dev/ttyUSB0");
    before.stable_device = "/dev/serial/by-id/usb-A";
    QTest::newRow("the stable name finds it under another number")
        << QList<SendRecord>{before, moved}
        << QStringList{"/dev/ttyUSB9", "/dev/serial/by-id/usb-A"}
        << QStringList{"clock==TCLK1", "ra 1=0301",   "ra 5=0305",       "ra 50=0332",
                       "dec 1=0301",   "dec 50=0332", "ra_total=003001", "dec_total=003002"}
        << 2 << false;

    // Entry 05 holds the rate or RA row 05, whichever went last; a rate
    // whose action completed is a choice, not a mix.
    const auto rate = [](const QString &v, int minutes) {
        return record({rwlink::rate_body(v), rwlink::kNewTable, rwlink::kStoreData}, 3,
                      "/dev/ttyUSB0", minutes);
    };
    QTest::newRow("the last of three rates takes entry 05")
        << QList<SendRecord>{record(upload(1), 109), rate("1111", 1), rate("2222", 2),
                             rate("3333", 3)}
        << QStringList{"/dev/ttyUSB0"} << QStringList{"ra 5=-", "rate=3333", "ra05=3333"} << 4
        << false;
    QTest::newRow("an upload after a rate takes entry 05 back")
        << QList<SendRecord>{rate("1111", 1), record(upload(1), 109, "/dev/ttyUSB0", 2)}
        << QStringList{"/dev/ttyUSB0"} << QStringList{"ra 5=0105", "rate=-", "ra05=0105"} << 2
        << false;
    QTest::newRow("an upload stopped before row 05 leaves the rate")
        << QList<SendRecord>{rate("1111", 1), record(upload(2).mid(0, 6), 109, "/dev/ttyUSB0", 2)}
        << QStringList{"/dev/ttyUSB0"} << QStringList{"ra 5=-", "rate=1111", "ra05=1111"} << 2
        << true;
    QTest::newRow("a rate stopped before its command")
        << QList<SendRecord>{record(upload(1), 109), record({}, 3, "/dev/ttyUSB0", 1)}
        << QStringList{"/dev/ttyUSB0"} << QStringList{"ra 5=0105", "rate=-", "ra05=0105"} << 2
        << false;
    QTest::newRow("a rate stopped after its command")
        << QList<SendRecord>{record(upload(1), 109), record({rwlink::rate_body("1111")}, 3)}
        << QStringList{"/dev/ttyUSB0"} << QStringList{"ra 5=-", "rate=1111", "ra05=1111"} << 2
        << true;
}

void tst_SendRecord::holds()
{
    QFETCH(QList<SendRecord>, records);
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);
    QFETCH(int, actions);
    QFETCH(bool, mixed);
    QStringList keys;
    for (const QString &e : expected)
        keys << e.left(e.indexOf(QLatin1Char('=')));
    const recorded::Holds holds = recorded::holds_of(records, names);
    QCOMPARE(held(holds, keys), expected);
    QCOMPARE(holds.actions, actions);
    QCOMPARE(holds.mixed, mixed);
    std::optional<SendRecord> last;
    for (const SendRecord &r : records) {
        if (recorded::of_device(r, names))
            last = r;
    }
    QCOMPARE(holds.last, last);
}

void tst_SendRecord::difference_data()
{
    QTest::addColumn<QList<SendRecord>>("records");
    QTest::addColumn<QStringList>("bodies");
    QTest::addColumn<int>("values");
    QTest::addColumn<int>("differing");
    const QList<SendRecord> uploaded{record(upload(1), 109)};
    QTest::newRow("the same upload again") << uploaded << upload(1) << 103 << 0;
    QStringList three = upload(1);
    three[2] = rwlink::row_body(calc::Axis::Ra, 1, "FFFF");
    three[60] = rwlink::row_body(calc::Axis::Dec, 8, "FFFF");
    three[105] = rwlink::total_body(calc::Axis::Ra, "FFFFFF");
    QTest::newRow("three values changed") << uploaded << three << 103 << 3;
    QTest::newRow("the other clock") << uploaded << upload(1, "=TCLK2") << 103 << 1;
    QTest::newRow("nothing held") << QList<SendRecord>{} << upload(1) << 103 << 103;
    QTest::newRow("a rate equal to row 05")
        << uploaded << QStringList{rwlink::rate_body("0105"), "=NEW", "=SD"} << 1 << 0;
    QTest::newRow("a rate not held")
        << uploaded << QStringList{rwlink::rate_body("0106"), "=NEW", "=SD"} << 1 << 1;
    QTest::newRow("one total held")
        << uploaded << QStringList{rwlink::total_body(calc::Axis::Dec, "001002"), "=SD"} << 1 << 0;
}

void tst_SendRecord::difference()
{
    QFETCH(QList<SendRecord>, records);
    QFETCH(QStringList, bodies);
    QFETCH(int, values);
    QFETCH(int, differing);
    const recorded::Difference d =
        recorded::difference(recorded::holds_of(records, {"/dev/ttyUSB0"}), bodies);
    QCOMPARE(d.values, values);
    QCOMPARE(d.differing, differing);
}

void tst_SendRecord::setupChanges_data()
{
    QTest::addColumn<QList<SendRecord>>("records");
    QTest::addColumn<QStringList>("bodies");
    QTest::addColumn<QStringList>("expected"); // axis or "clock": held → now
    SendRecord ra8 = record(upload(1), 109);
    ra8.computed_from = computed("8", "32");
    const QList<SendRecord> sent{ra8};
    const QStringList rate{rwlink::rate_body("0105"), "=NEW", "=SD"};
    const QStringList dec_total{rwlink::total_body(calc::Axis::Dec, "001002"), "=SD"};
    SendRecord same = record(upload(1), 109);
    same.computed_from = computed("16", "16");
    QTest::newRow("the same factors, written otherwise")
        << QList<SendRecord>{same} << upload(1) << QStringList{};
    QTest::newRow("both factors, from the upload's own")
        << sent << upload(2) << QStringList{"ra: 8 → 16", "dec: 32 → 16"};
    QTest::newRow("the clock an upload sends")
        << sent << upload(1, "=TCLK2")
        << QStringList{"ra: 8 → 16", "dec: 32 → 16", "clock: 2000000 → 250000"};
    QTest::newRow("a rate: RA's factor and the clock computed for")
        << sent << rate << QStringList{"ra: 8 → 16", "clock: 2000000 → 250000"};
    QTest::newRow("a DEC total: DEC's factor alone")
        << sent << dec_total << QStringList{"dec: 32 → 16"};
    SendRecord older = record(upload(1), 109, "/dev/ttyUSB0", 1);
    QTest::newRow("an older record after it: not known")
        << QList<SendRecord>{ra8, older} << upload(2) << QStringList{};
    SendRecord dec_only = record(dec_total, 2, "/dev/ttyUSB0", 1);
    dec_only.computed_from = computed("64", "16");
    QTest::newRow("a later DEC total counts for DEC only")
        << QList<SendRecord>{ra8, dec_only} << upload(2) << QStringList{"ra: 8 → 16"};
    QTest::newRow("another device's record")
        << QList<SendRecord>{record(upload(1), 109, "/dev/ttyUSB1")} << upload(2) << QStringList{};
}

// Before a send: the microstep factors and clock the values come from,
// against those the device was last sent (now: 16/16 at 250 kHz for a rate,
// the clock command for an upload).
void tst_SendRecord::setupChanges()
{
    QFETCH(QList<SendRecord>, records);
    QFETCH(QStringList, bodies);
    QFETCH(QStringList, expected);
    const auto changes =
        recorded::setup_changes(recorded::holds_of(records, {"/dev/ttyUSB0"}), bodies,
                                computed("16", " 16.0", calc::kClock250kHz));
    QStringList got;
    for (const recorded::SetupChange &c : changes)
        got << QStringLiteral("%1: %2 → %3")
                   .arg(!c.axis                     ? "clock"
                        : *c.axis == calc::Axis::Ra ? "ra"
                                                    : "dec")
                   .arg(c.held, 0, 'f', 0)
                   .arg(c.now, 0, 'f', 0);
    QCOMPARE(got, expected);
}

QTEST_MAIN(tst_SendRecord)
#include "tst_sendrecord.moc"
