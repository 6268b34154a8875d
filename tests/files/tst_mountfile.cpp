#include "filebytes.h"
#include "filetext.h"
#include "mountfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <future>

namespace {

using files::Mount;
using files::MountError;

// A mount as one line, so a failed comparison shows what differs.
QString describe(const files::MountRead &read)
{
    if (const auto *error = std::get_if<MountError>(&read))
        return QStringLiteral("error at %1: %2")
            .arg(error->line)
            .arg(app::mount_fault_text(*error));
    const auto &m = std::get<Mount>(read);
    QStringList parts{QStringLiteral("name=[%1]").arg(m.name),
                      QStringLiteral("clock=%1").arg(m.base_clock)};
    for (const auto *texts : {&m.ra, &m.dec}) {
        QStringList values;
        for (const std::string &t : *texts)
            values << QStringLiteral("[%1]").arg(files::box_text(t));
        parts << values.join(QLatin1Char(','));
    }
    return parts.join(QLatin1Char(' '));
}

Mount mount(const QString &name, calc::DriveTrainTexts ra, calc::DriveTrainTexts dec,
            std::int32_t clock = calc::kClock2MHz)
{
    return Mount{name, std::move(ra), std::move(dec), clock};
}

// The settings of a complete file after the version line, with the given
// lines in place of the matching defaults.
QByteArray body(const QByteArray &extra = {})
{
    return "rw7300-mount = 1\nname = EM-200\nbase_clock = 2MHz\n"
           "ra.worm = 240\nra.intermediate_gear = 2\nra.motor = 200\nra.reduction_gear = 10\n"
           "ra.microstep = 16\n"
           "dec.worm = 144\ndec.intermediate_gear = 2.5\ndec.motor = 200\n"
           "dec.reduction_gear = 10\n" +
           extra + "dec.microstep = 16\n";
}

const Mount kEm200 = mount(QStringLiteral("EM-200"), calc::kDefaultRa, calc::kDefaultDec);

} // namespace

class tst_MountFile : public QObject {
    Q_OBJECT

private slots:
    void goodFiles_data();
    void goodFiles();
    void badFiles_data();
    void badFiles();
    void faultKinds_data();
    void faultKinds();
    void roundTrip_data();
    void roundTrip();
    void rewriteKeepsTheRest();
    void unusablePaths_data();
    void unusablePaths();
    void writeRefusals_data();
    void writeRefusals();
    void writeTargets_data();
    void writeTargets();
};

void tst_MountFile::goodFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("read");

    const calc::DriveTrainTexts dec = calc::kDefaultDec;
    QTest::newRow("written form") << files::mount_bytes(kEm200) << describe(kEm200);
    QTest::newRow("comments and blank lines")
        << "# a note\n\n; another\n   # indented\n" + body() << describe(kEm200);
    QByteArray crlf = "\xEF\xBB\xBF" + body();
    crlf.replace("\n", "\r\n");
    QTest::newRow("CR LF and a byte-order mark") << crlf << describe(kEm200);
    QTest::newRow("unknown keys and a later field")
        << body("guide.scope = 80mm\nra.backlash = 12\nnotes = no equals sign needed = fine\n")
        << describe(kEm200);
    QTest::newRow("keys in any case, blanks around")
        << QByteArray("  RW7300-Mount=1\nNAME=EM-200\n BASE_CLOCK = 250 kHz \n") +
               body().mid(body().indexOf("ra.worm")).toUpper()
        << describe(mount("EM-200", calc::kDefaultRa, dec, calc::kClock250kHz));
    QTest::newRow("odd texts kept as typed")
        << QByteArray("rw7300-mount = 1\nbase_clock = 250000\n"
                      "ra.worm = 2,5\nra.intermediate_gear = 16abc\nra.motor = 2 00\n"
                      "ra.reduction_gear = #10\nra.microstep = a=b\n"
                      "dec.worm = \"\"\ndec.intermediate_gear = \" 2.5 \"\n"
                      "dec.motor = \"say \\\"hi\\\" \\\\ \\t\\x01\"\n"
                      "dec.reduction_gear = 十\ndec.microstep = \"\\\"\"\n")
        << describe(mount({}, {"2,5", "16abc", "2 00", "#10", "a=b"},
                          {"", " 2.5 ", "say \"hi\" \\ \t\x01", "十", "\""}, calc::kClock250kHz));
    QTest::newRow("no name, or an empty one")
        << body().replace("name = EM-200\n", "") << describe(mount({}, calc::kDefaultRa, dec));
    QTest::newRow("bare empty name")
        << body().replace("EM-200", "") << describe(mount({}, calc::kDefaultRa, dec));
    QTest::newRow("Japanese name, no final line end")
        << body().replace("EM-200", "赤道儀 (庭)").chopped(1)
        << describe(mount(QStringLiteral("赤道儀 (庭)"), calc::kDefaultRa, dec));
}

void tst_MountFile::goodFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, read);
    QCOMPARE(describe(files::parse_mount(bytes)), read);
}

void tst_MountFile::badFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message"); // part of it

    const QString not_mount = QStringLiteral("マウントファイルではありません");
    QTest::newRow("empty") << QByteArray() << 0 << not_mount;
    QTest::newRow("only comments") << QByteArray("# rw7300-mount = 1\n\n") << 0 << not_mount;
    QTest::newRow("PARAM.DAT") << QByteArray("Com3\r\n") << 1 << not_mount;
    QTest::newRow("a Shift-JIS listing")
        << QByteArray("2026/12/07 21:00:00\r\n\x81\x40\r\n") << 1 << not_mount;
    QTest::newRow("settings before the version") << "name = x\n" + body() << 1 << not_mount;
    QTest::newRow("missing value") << body().replace("ra.motor = 200", "ra.motor =") << 6
                                   << QStringLiteral("ra.motor の値がありません");
    QTest::newRow("missing setting")
        << body().replace("ra.microstep = 16\n", "") << 0
        << QStringLiteral("ra.microstep (赤経のﾏｲｸﾛｽﾃｯﾌﾟ) がありません");
    QTest::newRow("missing clock")
        << body().replace("base_clock = 2MHz\n", "") << 0 << QStringLiteral("base_clock");
    QTest::newRow("unknown clock") << body().replace("2MHz", "4MHz") << 3
                                   << QStringLiteral("「4MHz」は 2MHz でも 250kHz でもありません");
    QTest::newRow("newer format") << body().replace("= 1\n", "= 2\n") << 1
                                  << QStringLiteral("版 2 はこのプログラムより新しい");
    QTest::newRow("version not a number")
        << body().replace("= 1\n", "= one\n") << 1 << QStringLiteral("「one」が読めません");
    QTest::newRow("a setting twice")
        << body("ra.worm = 180\n") << 13 << QStringLiteral("ra.worm が 2 回あります (4 行目にも");
    QTest::newRow("line without equals sign")
        << body("ra.worm 180\n") << 13 << QStringLiteral("「キー = 値」の形ではありません");
    QTest::newRow("unclosed quote") << body().replace("= 144", "= \"144") << 9
                                    << QStringLiteral("閉じる引用符 (\") がありません");
    QTest::newRow("text after the quote") << body().replace("= 144", R"(= "14"4)") << 9
                                          << QStringLiteral("閉じる引用符 (\") の後に文字");
    QTest::newRow("unknown escape")
        << body().replace("= 144", R"(= "1\q")") << 9 << QStringLiteral("\\q は使えません");
    QTest::newRow("short hex escape")
        << body().replace("= 144", R"(= "\x4")") << 9 << QStringLiteral("16 進数が 2 桁");
    QTest::newRow("invalid UTF-8 in a value") << body().replace("EM-200", "EM\xff") << 2
                                              << QStringLiteral("UTF-8 のテキストではありません");
    QTest::newRow("control character")
        << body().replace("EM-200", "EM\x1b[2J") << 2 << QStringLiteral("制御文字");
}

void tst_MountFile::badFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, line);
    QFETCH(QString, message);
    const files::MountRead read = files::parse_mount(bytes);
    const auto *error = std::get_if<MountError>(&read);
    QVERIFY2(error, qPrintable(describe(read)));
    const QString fault = app::mount_fault_text(*error);
    QVERIFY2(fault.contains(message), qPrintable(fault));
    QCOMPARE(error->line, line);
    const QString text = app::mount_problem_text(QStringLiteral("/m/a.rw7300mount"), *error);
    QVERIFY2(text.startsWith(QStringLiteral("/m/a.rw7300mount")), qPrintable(text));
    QCOMPARE(text.contains(QStringLiteral(" %1 行目").arg(line)), line > 0);
}

void tst_MountFile::faultKinds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("line");
    QTest::addColumn<MountError::Kind>("kind");
    QTest::newRow("binary garbage") << QByteArray::fromHex("7f454c460201010000000000000000000300")
                                    << 1 << MountError::Kind::NulByte;
    QTest::newRow("NUL inside a value") << body().replace("16\n", QByteArray("1\0"
                                                                             "6\n",
                                                                             4))
                                        << 8 << MountError::Kind::NulByte;
    QTest::newRow("CR-only line ends")
        << body().replace('\n', '\r') << 0 << MountError::Kind::CrLineEnds;
    QTest::newRow("CR-only after a CR LF start")
        << "rw7300-mount = 1\r\n" + body().mid(body().indexOf('\n') + 1).replace('\n', '\r') << 0
        << MountError::Kind::CrLineEnds;
}

// Told by their real cause, not as text that is not UTF-8.
void tst_MountFile::faultKinds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, line);
    QFETCH(MountError::Kind, kind);
    const files::MountRead read = files::parse_mount(bytes);
    const auto *error = std::get_if<MountError>(&read);
    QVERIFY2(error, qPrintable(describe(read)));
    QCOMPARE(error->kind, kind);
    QCOMPARE(error->line, line);
}

void tst_MountFile::roundTrip_data()
{
    QTest::addColumn<QString>("text"); // put in every field of a mount
    for (const char *text :
         {"", " 240", "240 ", "2,5", "16abc", "a \"b\"", "\"", "\\", "tab\there", "line\nbreak\r",
          "\x01\x7f", "#x", ";x", "=x", "é 十 星", "\u3000full-width blank", "\uFEFF1"})
        QTest::newRow(text) << files::box_text(text);
    // Needs quoting, and holds every escapable character at once.
    QTest::newRow("every escape together") << QStringLiteral(" \"q\" \\ \t\n\r\x01\x1f\x7f x\\\" ");
}

// Whatever a box can hold is read back the same, fresh or rewritten.
void tst_MountFile::roundTrip()
{
    QFETCH(QString, text);
    const std::string s = text.toStdString();
    const Mount m = mount(text, {s, s, s, s, s}, {s, s, s, s, s}, calc::kClock250kHz);
    QCOMPARE(describe(files::parse_mount(files::mount_bytes(m))), describe(m));
    QCOMPARE(describe(files::parse_mount(files::updated_mount_bytes(body(), m))), describe(m));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.rw7300mount"));
    QVERIFY(files::write_mount(path, m).ok);
    QCOMPARE(describe(files::read_mount(path)), describe(m));
}

// Saving over a mount file changes its values and nothing else.
void tst_MountFile::rewriteKeepsTheRest()
{
    QByteArray original = "\xEF\xBB\xBF# my mount\r\nrw7300-mount = 1\r\n; rebuilt 2026\r\n"
                          "base_clock = 2MHz\r\nfocuser = 12\r\n" +
                          body().mid(body().indexOf("ra.worm"));
    original.replace("ra.motor = 200\n", "RA.Motor=200   \n");
    Mount changed = kEm200;
    changed.name = QStringLiteral("新しい名前");
    changed.ra[2] = "400";
    changed.base_clock = calc::kClock250kHz;
    const QByteArray updated = files::updated_mount_bytes(original, changed);
    QByteArray expected = original;
    expected.replace("base_clock = 2MHz", "base_clock = 250kHz");
    expected.replace("RA.Motor=200   \n", "ra.motor = 400\n");
    expected += QStringLiteral("name = 新しい名前\r\n").toUtf8(); // it had none
    QCOMPARE(updated, expected);
    QCOMPARE(describe(files::parse_mount(updated)), describe(changed));
    // Nothing changed, nothing moves.
    QCOMPARE(files::updated_mount_bytes(updated, changed), updated);
    // A last line ended by a CR alone gets only the LF it lacks.
    QByteArray cr_end = body().replace("name = EM-200\n", "").replace("\n", "\r\n");
    cr_end.chop(1);
    QCOMPARE(files::updated_mount_bytes(cr_end, kEm200), cr_end + "\nname = EM-200\r\n");
    QCOMPARE(describe(files::parse_mount(files::updated_mount_bytes(cr_end, changed))),
             describe(changed));
    // A file that is not readable as a mount is written fresh.
    QCOMPARE(files::updated_mount_bytes("rw7300-mount = 1\nname = x\n", changed),
             files::mount_bytes(changed));
}

void tst_MountFile::unusablePaths_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing" << QStringLiteral("見つかりません");
    QTest::newRow("directory") << "directory" << QStringLiteral("フォルダーです");
    QTest::newRow("FIFO") << "fifo" << QStringLiteral("通常のファイルではありません");
    QTest::newRow("10 MB") << "large" << QStringLiteral("大きすぎます");
    QTest::newRow("unreadable") << "unreadable" << QStringLiteral("読めません");
    QTest::newRow("a link to itself: no 'not found'")
        << "loop" << QStringLiteral("読めません: シンボリックリンクが循環");
}

// Refused at once: a FIFO would hold the window for good, a huge file is
// not read into memory.
void tst_MountFile::unusablePaths()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.rw7300mount"));
    if (kind == "directory") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == "large") {
        QVERIFY(write_file(path, body() + QByteArray(qsizetype{10} << 20, '#')));
    } else if (kind == "loop") {
        QVERIFY(QFile::link(path, path));
    } else if (kind == "unreadable") {
        if (::geteuid() == 0)
            QSKIP("root reads any file");
        QVERIFY(write_file(path, body()));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    }
    auto read = std::async(std::launch::async, [path] { return files::read_mount(path); });
    QCOMPARE(read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const files::MountRead got = read.get();
    const auto *error = std::get_if<MountError>(&got);
    QVERIFY2(error, qPrintable(describe(got)));
    const QString fault = app::mount_fault_text(*error);
    QVERIFY2(fault.contains(message), qPrintable(fault));
    QCOMPARE(error->line, 0);
}

void tst_MountFile::writeRefusals_data()
{
    using files::WriteFault;
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<WriteFault>("fault");
    QTest::newRow("a listing") << QByteArray("2026/12/07 21:00:00\r\n\x81\x40\r\n")
                               << WriteFault::NotMountFile;
    QTest::newRow("a document") << QByteArray("Dear diary,\n") << WriteFault::NotMountFile;
    QTest::newRow("empty file") << QByteArray() << WriteFault::None;
    QTest::newRow("binary") << QByteArray::fromHex("7f454c4602010100") << WriteFault::NotMountFile;
    QTest::newRow("a mount file with a fault")
        << QByteArray("rw7300-mount = 1\nra.worm =\n") << WriteFault::UnreadableMount;
    QTest::newRow("a newer version with notes and more keys")
        << "# mine\nrw7300-mount = 2\nmount.kind = GEM\n" + body().mid(body().indexOf('\n') + 1)
        << WriteFault::UnreadableMount;
    QTest::newRow("version 1 with a key twice")
        << body("ra.worm = 180\n") << WriteFault::UnreadableMount;
    QTest::newRow("CR-only line ends") << body().replace('\n', '\r') << WriteFault::UnreadableMount;
    QTest::newRow("a mount file") << body() << WriteFault::None;
}

// Only a mount file this version reads is written over: anything else, a
// newer mount file included, stays byte for byte.
void tst_MountFile::writeRefusals()
{
    QFETCH(QByteArray, existing);
    QFETCH(files::WriteFault, fault);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("target"));
    QVERIFY(write_file(path, existing));
    Mount m = kEm200;
    m.dec[1] = "3";
    const files::MountWriteOutcome outcome = files::write_mount(path, m);
    QCOMPARE(outcome.fault, fault);
    QCOMPARE(outcome.ok, fault == files::WriteFault::None);
    QCOMPARE(outcome.unreadable.has_value(), fault == files::WriteFault::UnreadableMount);
    if (outcome.ok)
        QCOMPARE(describe(files::read_mount(path)), describe(m));
    else
        QCOMPARE(read_all(path), existing);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"target"});
}

void tst_MountFile::writeTargets_data()
{
    using files::WriteFault;
    QTest::addColumn<QString>("kind");
    QTest::addColumn<WriteFault>("fault");
    QTest::newRow("FIFO without a reader") << "fifo" << WriteFault::NotRegular;
    QTest::newRow("character device") << "device" << WriteFault::NotRegular;
    QTest::newRow("directory") << "directory" << WriteFault::Directory;
    QTest::newRow("new file") << "missing" << WriteFault::None;
}

// A mount file must be read back: nothing but a regular file is written,
// and nothing waits on a FIFO.
void tst_MountFile::writeTargets()
{
    QFETCH(QString, kind);
    QFETCH(files::WriteFault, fault);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.rw7300mount"));
    const QByteArray native = QFile::encodeName(path);
    if (kind == "fifo")
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    else if (kind == "device" && ::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        QSKIP("no mknod here (needs root)");
    else if (kind == "directory")
        QVERIFY(QDir().mkpath(path));
    auto write =
        std::async(std::launch::async, [path] { return files::write_mount(path, kEm200); });
    const bool prompt = write.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!prompt) // a reader lets the stuck writer go, so the test fails instead of hanging
        ::close(::open(native.constData(), O_RDONLY | O_NONBLOCK));
    QVERIFY(prompt);
    const files::MountWriteOutcome outcome = write.get();
    QCOMPARE(outcome.fault, fault);
    struct stat st {};
    QCOMPARE(::lstat(native.constData(), &st), 0);
    if (kind == "fifo")
        QVERIFY(S_ISFIFO(st.st_mode));
    else if (kind == "device")
        QVERIFY(S_ISCHR(st.st_mode));
    else if (kind == "missing")
        QCOMPARE(describe(files::read_mount(path)), describe(kEm200));
}

QTEST_GUILESS_MAIN(tst_MountFile)
#include "tst_mountfile.moc"
