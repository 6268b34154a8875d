#include "actions.h"
#include "calculate.h"
#include "fakeclock.h"
#include "ptyline.h"
#include "seriallink.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>
#include <variant>

using namespace rwlink;
using calc::Axis;
using Outcome = ActionResult::Outcome;

Q_DECLARE_METATYPE(calc::Axis)

namespace {

constexpr int kWait = 151; // fake milliseconds: a wait ends at the first reading past 150

// The window's boxes as the upload sees them, with hooks on its progress.
class Boxes : public UploadSource {
public:
    QString combo = "Com7";
    std::int32_t clock = calc::kClock2MHz;
    QStringList ra, dec;
    QString raTotal, decTotal;
    QList<int> raSent, decSent;
    std::function<void(int)> onRaProgress = [](int) {};

    // The texts a calculation of the default drive trains leaves.
    static Boxes calculated()
    {
        Boxes boxes;
        const auto output = std::get<calc::CalcOutput>(calc::calculate({}));
        for (int i = 0; i < calc::kTableRows; ++i) {
            boxes.ra << QString::fromStdString(output.ra.hex_rows[i]);
            boxes.dec << QString::fromStdString(output.dec.hex_rows[i]);
        }
        boxes.raTotal = QString::fromStdString(output.ra.total_hex);
        boxes.decTotal = QString::fromStdString(output.dec.total_hex);
        return boxes;
    }

    QString combo_text() override { return combo; }
    std::int32_t base_clock() override { return clock; }
    QString ra_row(int i) override { return ra.at(i); }
    QString dec_row(int i) override { return dec.at(i); }
    QString ra_total() override { return raTotal; }
    QString dec_total() override { return decTotal; }
    void ra_progress(int n) override
    {
        raSent << n;
        onRaProgress(n);
    }
    void dec_progress(int n) override { decSent << n; }
};

QString row(const char *axis, int n, const QString &text)
{
    return QStringLiteral("&%1%2=%3").arg(QLatin1String(axis)).arg(n, 2, 10, QChar('0')).arg(text);
}

// The whole upload as the controller should see it; RA rows from raFrom on
// carry the texts of later.
QStringList upload_frames(const QString &clockCommand, const Boxes &before, const Boxes &later,
                          int raFrom = 1)
{
    QStringList frames;
    if (!clockCommand.isEmpty())
        frames << clockCommand;
    frames << "=SD";
    for (int n = 1; n <= 50; ++n)
        frames << row("RA", n, (n < raFrom ? before : later).ra[n - 1]);
    frames << "=SD";
    for (int n = 1; n <= 50; ++n)
        frames << row("DEC", n, later.dec[n - 1]);
    frames << "=SD"
           << "=NEW"
           << "&XRA00" + later.raTotal << "&XDEC00" + later.decTotal << "&XNEW"
           << "=SD";
    return frames;
}

QList<int> one_to(int n)
{
    QList<int> list;
    for (int i = 1; i <= n; ++i)
        list << i;
    return list;
}

} // namespace

class tst_Actions : public QObject {
    Q_OBJECT

private slots:
    void uploadSequence_data();
    void uploadSequence();
    void uploadReadsBoxesAsItGoes();
    void uploadStops_data();
    void uploadStops();
    void actionInsideUploadWait();
    void rateFrames_data();
    void rateFrames();
    void totalFrames_data();
    void totalFrames();
};

void tst_Actions::uploadSequence_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<QString>("clockCommand");
    QTest::newRow("2 MHz") << 2000000 << "=TCLK1";
    QTest::newRow("250 kHz") << 250000 << "=TCLK2";
    QTest::newRow("other clock sends no clock command") << 1000000 << "";
}

void tst_Actions::uploadSequence()
{
    QFETCH(int, clock);
    QFETCH(QString, clockCommand);
    PtyLine line(7);
    QVERIFY(line.ok());
    FakeClock time(1000);
    SerialLink link(time);
    Boxes boxes = Boxes::calculated();
    boxes.clock = clock;

    const ActionResult result = upload(link, boxes);
    QVERIFY2(result.ok(), qPrintable(result.error_text));
    QVERIFY(!link.is_open());
    const QStringList frames = PtyLine::bodies(line.read_all());
    const QStringList expected = upload_frames(clockCommand, boxes, boxes);
    QCOMPARE(frames, expected);
    QCOMPARE(result.commands_written, expected.size());
    // As documented for the default drive trains.
    QCOMPARE(frames.mid(frames.indexOf("=SD") + 1, 1), QStringList{"&RA01=57A7"});
    QVERIFY(frames.contains("&DEC01=74DE"));
    QCOMPARE(frames.mid(frames.size() - 4, 2), (QStringList{"&XRA00EA6000", "&XDEC00AFC800"}));
    // A wait after every command but the last.
    QCOMPARE(time.slept_ms(), qint64(expected.size() - 1) * kWait);
    QCOMPARE(boxes.raSent, one_to(50));
    QCOMPARE(boxes.decSent, one_to(50));
}

void tst_Actions::uploadReadsBoxesAsItGoes()
{
    PtyLine line(7);
    QVERIFY(line.ok());
    FakeClock time;
    SerialLink link(time);
    Boxes boxes = Boxes::calculated();
    const Boxes before = boxes;
    Boxes later = boxes;
    for (QString &text : later.ra)
        text = "1" + text.mid(1);
    for (QString &text : later.dec)
        text = "2" + text.mid(1);
    later.raTotal = "ABC";
    later.decTotal = "1234567";
    // A calculation or an edit during the wait after row 10.
    boxes.onRaProgress = [&](int n) {
        if (n == 10) {
            boxes.ra = later.ra;
            boxes.dec = later.dec;
            boxes.raTotal = later.raTotal;
            boxes.decTotal = later.decTotal;
        }
    };

    QVERIFY(upload(link, boxes).ok());
    QCOMPARE(PtyLine::bodies(line.read_all()), upload_frames("=TCLK1", before, later, 11));
}

void tst_Actions::uploadStops_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<int>("afterRow");
    QTest::addColumn<int>("outcome");
    QTest::newRow("cancelled") << "cancel" << 20 << int(Outcome::Cancelled);
    QTest::newRow("controller gone") << "hang up" << 5 << int(Outcome::Failed);
    QTest::newRow("device missing") << "missing" << 0 << int(Outcome::Failed);
}

void tst_Actions::uploadStops()
{
    QFETCH(QString, cause);
    QFETCH(int, afterRow);
    QFETCH(int, outcome);
    PtyLine line(7);
    QVERIFY(line.ok());
    QTemporaryDir dir;
    if (cause == "missing")
        qputenv("RW7300_COM7", dir.filePath("unplugged").toLocal8Bit());
    FakeClock time;
    SerialLink link(time);
    Boxes boxes = Boxes::calculated();
    boxes.onRaProgress = [&](int n) {
        if (n == afterRow)
            cause == "hang up" ? line.hang_up() : link.cancel();
    };
    QElapsedTimer elapsed;
    elapsed.start();

    const ActionResult result = upload(link, boxes);
    QCOMPARE(int(result.outcome), outcome);
    QVERIFY(!link.is_open());
    QVERIFY(elapsed.elapsed() < 3000);
    QCOMPARE(boxes.raSent, one_to(afterRow));
    QVERIFY(boxes.decSent.isEmpty());
    const int sent = afterRow == 0 ? 0 : 2 + afterRow; // clock, "=SD", the rows
    QCOMPARE(result.commands_written, sent);
    if (cause == "cancel") {
        QCOMPARE(PtyLine::bodies(line.read_all()),
                 upload_frames("=TCLK1", boxes, boxes).mid(0, sent));
        QVERIFY(result.error_text.isEmpty());
    } else {
        QVERIFY2(result.error_text.contains("Com7"), qPrintable(result.error_text));
        if (cause == "hang up")
            QCOMPARE(result.failed_command, row("RA", afterRow, boxes.ra[afterRow - 1]));
        else
            QVERIFY(result.error_text.contains(dir.filePath("unplugged")));
    }
}

void tst_Actions::actionInsideUploadWait()
{
    PtyLine line(7);
    QVERIFY(line.ok());
    FakeClock time;
    SerialLink link(time);
    Boxes boxes = Boxes::calculated();
    std::optional<ActionResult> inner;
    // The solar button pressed while the upload waits after row 3; its port
    // name is ignored while the port is open.
    boxes.onRaProgress = [&](int n) {
        if (n == 3)
            QTimer::singleShot(0, &link,
                               [&] { inner = send_rate(link, "Com8", [] { return "2BF2"; }); });
    };

    const ActionResult outer = upload(link, boxes);
    QVERIFY(inner && inner->ok());
    QCOMPARE(inner->commands_written, 3);
    // The inner action closed the port: the upload's later commands were
    // skipped, and it still ran to its end.
    QVERIFY(outer.ok());
    QCOMPARE(outer.commands_written, 5);
    QCOMPARE(boxes.decSent, one_to(50));
    QStringList expected = upload_frames("=TCLK1", boxes, boxes).mid(0, 5);
    expected << "&RA052BF2"
             << "=NEW"
             << "=SD";
    QCOMPARE(PtyLine::bodies(line.read_all()), expected);
}

void tst_Actions::rateFrames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("first");
    QTest::newRow("solar") << "2BF2"
                           << "&RA052BF2";
    QTest::newRow("short, not filled") << "1"
                                       << "&RA051";
    QTest::newRow("long, not cut") << "12345"
                                   << "&RA0512345";
    QTest::newRow("blank before a calculation") << " "
                                                << "&RA05 ";
}

void tst_Actions::rateFrames()
{
    QFETCH(QString, text);
    QFETCH(QString, first);
    PtyLine line(3);
    QVERIFY(line.ok());
    FakeClock time;
    SerialLink link(time);
    const ActionResult result = send_rate(link, "Com3", [&] { return text; });
    QVERIFY(result.ok());
    QVERIFY(!link.is_open());
    QCOMPARE(result.commands_written, 3);
    QCOMPARE(PtyLine::bodies(line.read_all()), (QStringList{first, "=NEW", "=SD"}));
    QCOMPARE(time.slept_ms(), 2 * kWait);
}

void tst_Actions::totalFrames_data()
{
    QTest::addColumn<Axis>("axis");
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QString>("box"); // null: refused
    QTest::addColumn<QStringList>("frames");
    QTest::newRow("RA default") << Axis::Ra << " 15360000"
                                << "EA6000" << QStringList{"&XRA00EA6000", "=SD"};
    QTest::newRow("DEC default") << Axis::Dec << " 11520000"
                                 << "AFC800" << QStringList{"&XDEC00AFC800", "=SD"};
    QTest::newRow("low 24 bits only") << Axis::Ra << " 16777216"
                                      << "000000" << QStringList{"&XRA00000000", "=SD"};
    QTest::newRow("no number reads as 0") << Axis::Ra << "abc"
                                          << "000000" << QStringList{"&XRA00000000", "=SD"};
    QTest::newRow("negative") << Axis::Dec << "-1"
                              << "FFFFFF" << QStringList{"&XDEC00FFFFFF", "=SD"};
    QTest::newRow("beyond 32 bits") << Axis::Ra << "1e10" << QString() << QStringList{};
}

void tst_Actions::totalFrames()
{
    QFETCH(Axis, axis);
    QFETCH(QString, decimal);
    QFETCH(QString, box);
    QFETCH(QStringList, frames);
    PtyLine line(4);
    QVERIFY(line.ok());
    FakeClock time;
    SerialLink link(time);
    QString written = "untouched";
    const ActionResult result = send_total(
        link, "Com4", axis, [&] { return decimal; }, [&](const QString &text) { written = text; });

    QVERIFY(!link.is_open());
    QCOMPARE(PtyLine::bodies(line.read_all()), frames);
    QCOMPARE(result.commands_written, frames.size());
    if (box.isNull()) {
        QCOMPARE(int(result.outcome), int(Outcome::Failed));
        QVERIFY2(result.error_text.contains("32 ビット"), qPrintable(result.error_text));
        QCOMPARE(written, "untouched");
    } else {
        QVERIFY(result.ok());
        QCOMPARE(written, box);
    }
}

QTEST_GUILESS_MAIN(tst_Actions)
#include "tst_actions.moc"
