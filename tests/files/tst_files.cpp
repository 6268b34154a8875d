#include "calculate.h"
#include "childprogram.h"
#include "filebytes.h"
#include "listing.h"
#include "portassignments.h"
#include "settings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <future>

namespace {

calc::SpeedTable default_table(std::int32_t clock)
{
    calc::CalcInput input;
    input.base_clock = clock;
    return std::get<calc::CalcOutput>(calc::calculate(input)).speed_table;
}

const QByteArray kCrLf("\r\n");
const QByteArray kBlankLine = QByteArray::fromHex("8140");
const QByteArray kClockHeading =
    QByteArray::fromHex("83588373815b83688365815b8375838b97708aee967b834e838d8362834e");
const QByteArray kRaHeading = QByteArray::fromHex("90d48c6f83588373815b83688365815b8375838b");
const QByteArray kDecHeading = QByteArray::fromHex("90d488dc83588373815b83688365815b8375838b");

// Runs a shell script in a private mount namespace; an empty result means
// the namespace could not be had here.
QString in_private_mounts(const QString &script)
{
    QProcess sh;
    sh.start(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("--"),
                                         QStringLiteral("sh"), QStringLiteral("-c"), script});
    if (!sh.waitForFinished(30000) || sh.exitStatus() != QProcess::NormalExit)
        return {};
    return QString::fromLocal8Bit(sh.readAllStandardOutput());
}

} // namespace

class tst_Files : public QObject {
    Q_OBJECT

private slots:
    void listingBytes_data();
    void listingBytes();
    void listingStamp_data();
    void listingStamp();
    void paramBytes_data();
    void paramBytes();
    void firstField_data();
    void firstField();
    void readParam();
    void paramAtReadLimit_data();
    void paramAtReadLimit();
    void parseAssignments_data();
    void parseAssignments();
    void assignmentsRoundTrip();
    void unusableAssignmentsFile_data();
    void unusableAssignmentsFile();
    void changePortKeepsLines_data();
    void changePortKeepsLines();
    void storeTargets_data();
    void storeTargets();
    void staleLockTakenOver();
    void atomicRewrite();
    void rewriteByKind_data();
    void rewriteByKind();
    void paramFifoNotRead();
    void unusableDirectory();
    void fullDiskKeepsOldFile_data();
    void fullDiskKeepsOldFile();
    void readOnlyMountKeepsOldFile();
};

void tst_Files::listingBytes_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<QByteArray>("clockName");
    QTest::addColumn<QByteArray>("clockCommand");
    QTest::addColumn<QByteArray>("raFirst");
    QTest::newRow("2 MHz") << 2000000 << QByteArray("2MHz") << QByteArray("#:=TCLK1#")
                           << QByteArray("#:&RA01=57A7#");
    QTest::newRow("250 kHz") << 250000 << QByteArray("250kHz") << QByteArray("#:=TCLK2#")
                             << QByteArray("#:&RA01=0AF5#");
}

void tst_Files::listingBytes()
{
    QFETCH(int, clock);
    QFETCH(QByteArray, clockName);
    QFETCH(QByteArray, clockCommand);
    QFETCH(QByteArray, raFirst);
    const calc::SpeedTable table = default_table(clock);
    const QByteArray bytes =
        files::speed_data_listing(QStringLiteral("2026/12/07 5:40:36"), clock, table);

    QList<QByteArray> expected{"2026/12/07 5:40:36", kBlankLine, kClockHeading, clockName,
                               clockCommand,         kBlankLine, kRaHeading,    kBlankLine};
    for (int i = 0; i < 50; ++i)
        expected << "#:&RA" + QByteArray::number(i + 1).rightJustified(2, '0') + "=" +
                        QByteArray::fromStdString(*table.cell(0, i)) + "#";
    expected << kBlankLine << kDecHeading << kBlankLine;
    for (int i = 0; i < 50; ++i)
        expected << "#:&DEC" + QByteArray::number(i + 1).rightJustified(2, '0') + "=" +
                        QByteArray::fromStdString(*table.cell(1, i)) + "#";
    QCOMPARE(expected.size(), 111);
    QCOMPARE(bytes, expected.join(kCrLf) + kCrLf);

    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.size(), 112); // the file ends with CR LF
    QCOMPARE(lines[8], raFirst + "\r");
    QCOMPARE(lines[57], QByteArray("#:&RA50=") + (clock == 2000000 ? "002D" : "0006") + "#\r");
    QCOMPARE(lines[61], QByteArray("#:&DEC01=") + (clock == 2000000 ? "74DE" : "0E9C") + "#\r");
    QCOMPARE(kClockHeading.size(), 30);
    QVERIFY(!bytes.contains("\r\n\r\n")); // no empty line anywhere
}

void tst_Files::listingStamp_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("Japanese") << "ja_JP"
                              << "2026/12/07 5:04:36";
    QTest::newRow("US English, 12-hour clock") << "en_US"
                                               << "12/7/26 5:04:36 AM";
    QTest::newRow("German") << "de_DE"
                            << "07.12.26 05:04:36";
}

void tst_Files::listingStamp()
{
    QFETCH(QString, locale);
    QFETCH(QString, stamp);
    const QDateTime when(QDate(2026, 12, 7), QTime(5, 4, 36));
    QCOMPARE(files::listing_stamp(when, QLocale(locale)), stamp);
}

void tst_Files::paramBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("Com3") << "Com3" << QByteArray::fromHex("436f6d330d0a");
    QTest::newRow("Com7") << "Com7" << QByteArray::fromHex("436f6d370d0a");
    QTest::newRow("Com12") << "Com12" << QByteArray::fromHex("436f6d31320d0a");
}

void tst_Files::paramBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(files::param_bytes(text), bytes);
}

void tst_Files::firstField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field"); // empty: no field
    QTest::newRow("one line") << "Com5\r\n"
                              << "Com5";
    QTest::newRow("no line end") << "Com12"
                                 << "Com12";
    QTest::newRow("leading blanks skipped") << "  \tCom5\r\n"
                                            << "Com5";
    QTest::newRow("ends at a comma") << "Com5,9600\r\n"
                                     << "Com5";
    QTest::newRow("quotes dropped") << "\"Com5\"\r\n"
                                    << "Com5";
    QTest::newRow("quoted comma kept") << "\"Com,5\",x\r\n"
                                       << "Com,5";
    QTest::newRow("second line ignored") << "Com2\r\nCom9\r\n"
                                         << "Com2";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("empty line") << "\r\nCom4\r\n"
                                << "";
    QTest::newRow("empty first field") << ",Com4"
                                       << "";
}

void tst_Files::firstField()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(files::first_field(text).value_or(QString()), field);
}

void tst_Files::readParam()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("PARAM.DAT"));
    QVERIFY(!files::read_param(path)); // missing
    QVERIFY(files::write_param(path, QStringLiteral("Com12")).ok);
    QCOMPARE(files::read_param(path), std::optional<QString>(QStringLiteral("Com12")));
    QVERIFY(write_file(path, {}));
    QVERIFY(!files::read_param(path)); // empty
}

void tst_Files::paramAtReadLimit_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("length"); // of the field read
    constexpr int limit = 4096;
    QTest::newRow("line end is the last byte read") << QByteArray(limit - 1, 'A') + "\n"
                                                    << limit - 1;
    QTest::newRow("field ends exactly at the limit, comma after")
        << QByteArray(limit, 'A') + ",x\r\n"
        << limit;
    QTest::newRow("field one byte past the limit") << QByteArray(limit + 1, 'A') + "\r\n" << limit;
}

// Only the first 4 KiB are read: a field that ends there is whole, one
// longer is cut at the limit, from the file as from its bytes.
void tst_Files::paramAtReadLimit()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, length);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("PARAM.DAT"));
    QVERIFY(write_file(path, bytes));
    const QString expected(length, QLatin1Char('A'));
    QCOMPARE(files::read_param(path), std::optional<QString>(expected));
    QCOMPARE(files::parse_param(bytes), std::optional<QString>(expected));
}

void tst_Files::parseAssignments_data()
{
    static const char kGarbage[] = "\0\x80"
                                   "Com1=\0/dev/x\n\xc3";
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("taken"); // "N=DEVICE", in port order
    QTest::newRow("written form") << QByteArray("# comment\nCom1=/dev/ttyUSB0\nCom20=/dev/x\n")
                                  << QStringList{"1=/dev/ttyUSB0", "20=/dev/x"};
    QTest::newRow("CR LF, blanks, ; comment")
        << QByteArray("; mine\r\n\r\n  Com3 =  /dev/ttyACM0  \r\n")
        << QStringList{"3=/dev/ttyACM0"};
    QTest::newRow("last line wins")
        << QByteArray("Com2=/dev/a\nCom2=/dev/b") << QStringList{"2=/dev/b"};
    QTest::newRow("a later bad line clears") << QByteArray("Com2=/dev/a\nCom2=") << QStringList{};
    QTest::newRow("names outside the list")
        << QByteArray("Com0=/a\nCom21=/b\ncom3=/c\nCOM4=/d\nCom05=/e\nCom 6=/f\n=/g\n")
        << QStringList{};
    QTest::newRow("no equals sign, unknown keys")
        << QByteArray("Com1\nbaud=9600\nCom1 /dev/x\n") << QStringList{};
    QTest::newRow("equals inside the device")
        << QByteArray("Com7=/dev/odd=name") << QStringList{"7=/dev/odd=name"};
    QTest::newRow("control character refused")
        << QByteArray("Com8=/dev/a\tb\nCom9=/dev/\x01") << QStringList{};
    QTest::newRow("invalid UTF-8 refused") << QByteArray("Com10=/dev/\xff\xfe") << QStringList{};
    QTest::newRow("UTF-8 path kept")
        << QByteArray("Com11=/home/星/line") << QStringList{QString::fromUtf8("11=/home/星/line")};
    QTest::newRow("absurdly long device refused")
        << QByteArray("Com12=/") + QByteArray(5000, 'a') << QStringList{};
    QTest::newRow("binary garbage") << QByteArray(kGarbage, sizeof kGarbage - 1) << QStringList{};
}

void tst_Files::parseAssignments()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, taken);
    const files::PortAssignments got = files::parse_port_assignments(bytes);
    QStringList seen;
    for (int n = 1; n <= calc::kPortCount; ++n) {
        if (!got[n - 1].isEmpty())
            seen << QStringLiteral("%1=%2").arg(n).arg(got[n - 1]);
    }
    QCOMPARE(seen, taken);
    // What is kept is read back the same.
    QCOMPARE(files::parse_port_assignments(files::port_assignments_bytes(got)), got);
}

void tst_Files::assignmentsRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config/rw7300-speedtable/ports.conf"));
    files::AssignmentsRead missing = files::read_port_assignments(path);
    QVERIFY(missing.ok()); // nothing assigned yet is no error
    QCOMPARE(missing.assignments, files::PortAssignments{});

    files::PortAssignments assigned{};
    assigned[0] = QStringLiteral("/dev/serial/by-id/usb-FTDI-if00-port0");
    assigned[19] = QStringLiteral("/tmp/line with space");
    QVERIFY(files::write_port_assignments(path, assigned).ok); // makes the directories
    const files::AssignmentsRead read = files::read_port_assignments(path);
    QVERIFY(read.ok());
    QCOMPARE(read.assignments, assigned);
}

void tst_Files::unusableAssignmentsFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("directory") << "directory";
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("too large") << "large";
}

// Refused rather than read: a FIFO would block start-up for good.
void tst_Files::unusableAssignmentsFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ports.conf"));
    if (kind == "directory")
        QVERIFY(QDir().mkpath(path));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(write_file(path, "Com1=/dev/x\n" + QByteArray(qsizetype{100} * 1024, '#')));
    const files::AssignmentsRead read = files::read_port_assignments(path);
    QCOMPARE(read.fault, kind == "directory" || kind == "fifo"
                             ? files::AssignmentsRead::Fault::NotRegular
                             : files::AssignmentsRead::Fault::TooLarge);
    QCOMPARE(read.assignments, files::PortAssignments{});
}

void tst_Files::changePortKeepsLines_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device"); // empty: cleared
    QTest::addColumn<QByteArray>("after");
    const QByteArray mine = "# my adapters\r\nbaud=9600\r\nCom3 = /dev/old  \r\n"
                            "not a setting\r\nCom12=/dev/b\r\n";
    QTest::newRow("set: only the port's line changes, CR LF kept")
        << mine << 3 << "/dev/new"
        << QByteArray(mine).replace("Com3 = /dev/old  ", "Com3=/dev/new");
    QTest::newRow("set: a new port goes in order")
        << mine << 7 << "/dev/seven"
        << QByteArray(mine).replace("not a setting\r\n", "Com7=/dev/seven\r\nnot a setting\r\n");
    QTest::newRow("set: before the first higher port")
        << mine << 1 << "/dev/one" << QByteArray(mine).replace("Com3 =", "Com1=/dev/one\r\nCom3 =");
    QTest::newRow("set: a twice-set port, the last line")
        << QByteArray("Com2=/a\nCom2=/b\n") << 2 << "/c" << QByteArray("Com2=/a\nCom2=/c\n");
    QTest::newRow("clear: the port's lines go, nothing else")
        << mine + "Com3=/dev/again\r\n"
        << 3 << "" << QByteArray(mine).replace("Com3 = /dev/old  \r\n", "");
    QTest::newRow("clear: a port not set") << mine << 9 << "" << mine;
    QByteArray garbage(3000, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 37 + 11) % 256);
    garbage.replace('\n', 'x');
    QTest::newRow("set: 3 KB of garbage kept byte for byte")
        << garbage << 4 << "/dev/four" << garbage + "\nCom4=/dev/four\n";
    QTest::newRow("set: no file yet") << QByteArray() << 5 << "/dev/five"
                                      << files::port_assignments_bytes({}) + "Com5=/dev/five\n";
}

// A change touches one port's lines: comments, unknown keys and lines the
// program cannot read stay as the operator wrote them.
void tst_Files::changePortKeepsLines()
{
    QFETCH(QByteArray, before);
    QFETCH(int, port);
    QFETCH(QString, device);
    QFETCH(QByteArray, after);
    QCOMPARE(files::port_assignment_changed(before, port, device), after);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config/ports.conf"));
    if (!before.isEmpty()) {
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config"))));
        QVERIFY(write_file(path, before));
    }
    const files::WriteOutcome outcome = files::change_port_assignment(path, port, device);
    QVERIFY2(outcome.ok, qPrintable(outcome.error));
    QCOMPARE(read_all(path), after);
    QCOMPARE(QDir(dir.filePath(QStringLiteral("config"))).entryList(QDir::Files | QDir::Hidden),
             QStringList{"ports.conf"});
}

void tst_Files::storeTargets_data()
{
    using files::WriteFault;
    QTest::addColumn<QString>("kind");
    QTest::addColumn<WriteFault>("fault");
    QTest::newRow("FIFO: refused, not waited on") << "fifo" << WriteFault::NotRegular;
    QTest::newRow("directory") << "directory" << WriteFault::Directory;
    QTest::newRow("too large: kept, not replaced") << "large" << WriteFault::TooLarge;
}

// A store must be read back: only a regular file of sensible size is one.
void tst_Files::storeTargets()
{
    QFETCH(QString, kind);
    QFETCH(files::WriteFault, fault);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ports.conf"));
    const QByteArray native = QFile::encodeName(path);
    const QByteArray large = "Com1=/dev/x\n" + QByteArray(qsizetype{100} * 1024, '#');
    if (kind == "fifo")
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    else if (kind == "directory")
        QVERIFY(QDir().mkpath(path));
    else
        QVERIFY(write_file(path, large));
    auto change = std::async(std::launch::async, [path] {
        return files::change_port_assignment(path, 2, QStringLiteral("/dev/two"));
    });
    const bool prompt = change.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!prompt) // a writer lets the stuck reader go, so the test fails instead of hanging
        ::close(::open(native.constData(), O_WRONLY | O_NONBLOCK));
    QVERIFY(prompt);
    const files::WriteOutcome outcome = change.get();
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.fault, fault);
    if (kind == "large")
        QCOMPARE(read_all(path), large);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".lock")));
}

// A run killed while it held the lock does not lock the store for good.
void tst_Files::staleLockTakenOver()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ports.conf"));
    const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/write_helper");
    QProcess p;
    start_program(p, helper, {QStringLiteral("--die-holding-lock"), path});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    QVERIFY(QFileInfo::exists(path + QStringLiteral(".lock")));
    const auto started = std::chrono::steady_clock::now();
    const files::WriteOutcome outcome = files::change_port_assignment(path, 2, "/dev/two");
    QVERIFY2(outcome.ok, qPrintable(outcome.error));
    QVERIFY(std::chrono::steady_clock::now() - started < files::kLockWait);
    QCOMPARE(files::read_port_assignments(path).assignments[1], QStringLiteral("/dev/two"));
}

void tst_Files::atomicRewrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Speed_Data.txt"));
    QVERIFY(files::write_atomically(path, QByteArray(5000, 'a')).ok);
    QVERIFY(files::write_atomically(path, "short").ok);
    QCOMPARE(read_all(path), QByteArray("short"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Speed_Data.txt"});
}

void tst_Files::rewriteByKind_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("ok");
    QTest::newRow("FIFO: the reader gets the bytes") << "fifo" << true;
    QTest::newRow("FIFO without a reader: refused at once") << "lonely fifo" << false;
    QTest::newRow("FIFO whose reader does not read: given up") << "stalled fifo" << false;
    QTest::newRow("character device stays a device") << "device" << true;
    QTest::newRow("symbolic link: target rewritten, link kept") << "link" << true;
    QTest::newRow("dangling link: target made") << "dangling" << true;
    QTest::newRow("directory refused") << "directory" << false;
}

void tst_Files::rewriteByKind()
{
    QFETCH(QString, kind);
    QFETCH(bool, ok);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Speed_Data.txt"));
    const QString target = dir.filePath(QStringLiteral("real.txt"));
    // More than a pipe holds, for the reader that never reads.
    const QByteArray bytes =
        kind == "stalled fifo" ? QByteArray(1 << 20, 'x') : QByteArray("listing\r\n");
    int reader = -1; // the FIFO's far end, open before the write so it cannot block
    if (kind.endsWith("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (kind != "lonely fifo") {
            reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
            QVERIFY(reader >= 0);
        }
    } else if (kind == "device") {
        // The null device's numbers: whatever is written goes nowhere.
        if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("no mknod here (needs root)");
    } else if (kind == "link" || kind == "dangling") {
        if (kind == "link")
            QVERIFY(write_file(target, "old and longer contents"));
        QVERIFY(QFile::link(target, path));
    } else {
        QVERIFY(QDir().mkpath(path));
    }

    auto write = std::async(std::launch::async,
                            [path, bytes] { return files::write_atomically(path, bytes); });
    // Within the in-place limit, with room for a loaded machine; a FIFO
    // writer stuck past it is let go by a reader, so the test fails instead
    // of hanging.
    const bool prompt = write.wait_for(files::kInPlaceWait * 5) == std::future_status::ready;
    if (!prompt) {
        const int unblock = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        while (write.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            char sink[4096];
            while (::read(unblock, sink, sizeof sink) > 0) {
            }
        }
        ::close(unblock);
    }
    QVERIFY(prompt);
    const files::WriteOutcome outcome = write.get();
    QByteArray got(256, '\0');
    if (kind == "fifo") {
        const auto n = ::read(reader, got.data(), static_cast<std::size_t>(got.size()));
        got.resize(n > 0 ? n : 0);
    }
    QCOMPARE(outcome.ok, ok);
    QCOMPARE(outcome.fault == files::WriteFault::None, ok);
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &st), 0);
    if (reader >= 0)
        ::close(reader);
    if (kind.endsWith("fifo")) {
        QVERIFY(S_ISFIFO(st.st_mode));
        if (kind == "fifo")
            QCOMPARE(got, bytes);
        else
            QCOMPARE(outcome.fault, kind == "lonely fifo" ? files::WriteFault::NoReader
                                                          : files::WriteFault::Stalled);
    } else if (kind == "device") {
        QVERIFY(S_ISCHR(st.st_mode));
    } else if (kind == "directory") {
        QVERIFY(S_ISDIR(st.st_mode));
    } else {
        QVERIFY(S_ISLNK(st.st_mode));
        QCOMPARE(read_all(target), bytes);
    }
    // No temporary file left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).filter("~"),
             QStringList());
}

// A FIFO in its place must not hold start-up: it is not read at all.
void tst_Files::paramFifoNotRead()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("PARAM.DAT"));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    auto read = std::async(std::launch::async, [path] { return files::read_param(path); });
    const bool prompt = read.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!prompt) // a writer lets the stuck reader go, so the test fails instead of hanging
        ::close(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK));
    QVERIFY(prompt);
    QVERIFY(!read.get());
}

// A directory path that is a regular file defeats even root.
void tst_Files::unusableDirectory()
{
    QTemporaryDir dir;
    const QString not_a_dir = dir.filePath(QStringLiteral("plain"));
    QVERIFY(write_file(not_a_dir, "x"));
    const auto outcome = files::write_speed_data(not_a_dir + QStringLiteral("/Speed_Data.txt"),
                                                 2000000, default_table(2000000));
    QVERIFY(!outcome.ok);
    QVERIFY(!outcome.error.isEmpty());
    QCOMPARE(read_all(not_a_dir), QByteArray("x"));
}

void tst_Files::fullDiskKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("size");  // bytes written
    QTest::addColumn<int>("limit"); // the file-size limit, for "rlimit"
    QTest::addColumn<bool>("existed");
    QTest::newRow("file-size limit") << "rlimit" << 200000 << 65536 << true;
    // A listing (about 1.7 KB) fits the write buffer: write() succeeds and
    // only the flush runs into the limit.
    QTest::newRow("listing-size write fails only at the flush") << "rlimit" << 2000 << 1024 << true;
    QTest::newRow("new file: nothing left behind") << "rlimit" << 200000 << 65536 << false;
    QTest::newRow("new file, fails at the flush: nothing left behind")
        << "rlimit" << 2000 << 1024 << false;
    QTest::newRow("full tmpfs") << "tmpfs" << 400000 << 0 << true;
}

// A write that runs out of space part-way leaves the previous file exactly
// as it was, never a truncated one.
void tst_Files::fullDiskKeepsOldFile()
{
    QFETCH(QString, how);
    QFETCH(int, size);
    QFETCH(int, limit);
    QFETCH(bool, existed);
    QTemporaryDir dir;
    const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/write_helper");
    if (how == QLatin1String("rlimit")) {
        const QString path = dir.filePath(QStringLiteral("Speed_Data.txt"));
        if (existed)
            QVERIFY(write_file(path, "previous listing"));
        QProcess p;
        start_program(p, helper, {path, QString::number(size), QString::number(limit)});
        QVERIFY(p.waitForFinished(30000));
        const QByteArray out = p.readAllStandardOutput();
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(out.startsWith("failed: ") && out.size() > 10, out.constData());
        if (!existed) {
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                     QStringList{});
            return;
        }
        QCOMPARE(read_all(path), QByteArray("previous listing"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Speed_Data.txt"});
    } else {
        const QString out =
            in_private_mounts(QStringLiteral("d='%1' && mount -t tmpfs -o size=64k none \"$d\" && "
                                             "printf 'previous listing' > \"$d/Speed_Data.txt\" && "
                                             "%2 \"$d/Speed_Data.txt\" %3; echo \"exit=$?\"; "
                                             "cat \"$d/Speed_Data.txt\"; echo; ls \"$d\"")
                                  .arg(dir.path(), shell_command(helper), QString::number(size)));
        if (!out.contains(QLatin1String("exit=")))
            QSKIP("no private mount namespace here (unshare -m refused)");
        QVERIFY2(out.contains(QLatin1String("failed: ")), qPrintable(out));
        QVERIFY2(out.contains(QLatin1String("exit=1\nprevious listing\nSpeed_Data.txt\n")),
                 qPrintable(out));
    }
}

void tst_Files::readOnlyMountKeepsOldFile()
{
    QTemporaryDir dir;
    QVERIFY(write_file(dir.filePath(QStringLiteral("PARAM.DAT")), "Com4\r\n"));
    const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/write_helper");
    const QString out = in_private_mounts(
        QStringLiteral("d='%1' && mount --bind \"$d\" \"$d\" && mount -o remount,bind,ro \"$d\" && "
                       "%2 \"$d/PARAM.DAT\" 6; echo \"exit=$?\"; cat \"$d/PARAM.DAT\"")
            .arg(dir.path(), shell_command(helper)));
    if (!out.contains(QLatin1String("exit=")))
        QSKIP("no private mount namespace here (unshare -m refused)");
    QVERIFY2(out.contains(QLatin1String("failed: ")), qPrintable(out));
    QVERIFY2(out.endsWith(QLatin1String("exit=1\nCom4\r\n")), qPrintable(out));
}

QTEST_GUILESS_MAIN(tst_Files)
#include "tst_files.moc"
