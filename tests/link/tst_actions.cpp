#include "actionrunner.h"
#include "actions.h"
#include "calculate.h"
#include "fakeclock.h"
#include "pacing.h"
#include "ptyline.h"
#include "scopedenv.h"
#include "seriallink.h"
#include "systemclock.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <variant>

#include <poll.h>
#include <unistd.h>

using namespace rwlink;
using calc::Axis;
using Outcome = ActionResult::Outcome;

Q_DECLARE_METATYPE(calc::Axis)

namespace {

constexpr int kPause = 151; // counter steps: a pause ends at the first reading past 150

// The window's boxes as the upload sees them, with hooks on its progress.
class Boxes : public UploadSource {
public:
    std::int32_t clock = calc::kClock2MHz;
    QStringList ra, dec;
    QString raTotal, decTotal;
    QList<int> raSent, decSent;
    std::function<void(int)> onRaProgress = [](int) {};
    std::function<StepVerdict(Axis, int)> onCheck = [](Axis, int) { return StepVerdict::Send; };

    // The texts a calculation of the default drive trains leaves.
    static std::shared_ptr<Boxes> calculated()
    {
        auto boxes = std::make_shared<Boxes>();
        const auto output = std::get<calc::CalcOutput>(calc::calculate({}));
        for (int i = 0; i < calc::kTableRows; ++i) {
            boxes->ra << QString::fromStdString(output.ra.hex_rows[i]);
            boxes->dec << QString::fromStdString(output.dec.hex_rows[i]);
        }
        boxes->raTotal = QString::fromStdString(output.ra.total_hex);
        boxes->decTotal = QString::fromStdString(output.dec.total_hex);
        return boxes;
    }

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
    StepVerdict check(Axis axis, int index) override { return onCheck(axis, index); }
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

// Starts the action and lets the event loop run until it has ended.
std::optional<ActionResult> run(ActionRunner &runner, const QString &port, Action action)
{
    QSignalSpy finished(&runner, &ActionRunner::finished);
    if (!runner.start(port, std::move(action)))
        return std::nullopt;
    if (finished.isEmpty() && !finished.wait(10000))
        return std::nullopt;
    if (finished.size() != 1)
        return std::nullopt;
    return finished.first().first().value<ActionResult>();
}

// A link and a runner on a test counter.
struct Rig {
    explicit Rig(std::int32_t start = 0) : time(start) {}
    FakeClock time;
    SerialLink link;
    ActionRunner runner{link, time};
};

} // namespace

class tst_Actions : public QObject {
    Q_OBJECT

private slots:
    void pauseTicks_data();
    void pauseTicks();
    void runnerPausesOnTheCounter_data();
    void runnerPausesOnTheCounter();
    void realCounterAcrossWrap();
    void uploadSequence_data();
    void uploadSequence();
    void uploadReadsBoxesAsItGoes();
    void uploadStops_data();
    void uploadStops();
    void checkedSteps_data();
    void checkedSteps();
    void oneActionAtATime();
    void nextActionAfterTheDrain_data();
    void nextActionAfterTheDrain();
    void destroyedRunnerClosesPort();
    void rateFrames_data();
    void rateFrames();
    void totalFrames_data();
    void totalFrames();
};

void tst_Actions::pauseTicks_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<double>("ms");
    QTest::addColumn<QList<int>>("readings");
    QTest::addColumn<QList<qint64>>("toGo");
    QTest::newRow("150 from 1000")
        << 1000 << 150.0 << QList<int>{1000, 1150, 1151} << QList<qint64>{151, 1, 0};
    QTest::newRow("fraction of a millisecond")
        << 1000 << 150.5 << QList<int>{1000, 1150, 1151} << QList<qint64>{151, 1, 0};
    QTest::newRow("zero is over at the next step")
        << 1000 << 0.0 << QList<int>{1000, 1001} << QList<qint64>{1, 0};
    QTest::newRow("from -1 across zero")
        << -1 << 150.0 << QList<int>{-1, 149, 150} << QList<qint64>{151, 1, 0};
    QTest::newRow("across the top: first the wrap")
        << 2147483600 << 150.0
        << QList<int>{2147483600, 2147483647, -2147483648, -2147483546, -2147483545}
        << QList<qint64>{48, 1, 103, 1, 0};
    QTest::newRow("target exactly at the top is taken past the wrap")
        << 2147483497 << 150.0 << QList<int>{2147483497, 2147483647, -2147483648}
        << QList<qint64>{151, 1, 0};
    QTest::newRow("just below the top needs no wrap")
        << 2147483496 << 150.0 << QList<int>{2147483496, 2147483646, 2147483647}
        << QList<qint64>{151, 1, 0};
}

void tst_Actions::pauseTicks()
{
    QFETCH(int, start);
    QFETCH(double, ms);
    QFETCH(QList<int>, readings);
    QFETCH(QList<qint64>, toGo);
    Pause pause(start, ms);
    QList<qint64> seen;
    for (const int reading : readings)
        seen << pause.ticks_to_go(reading);
    QCOMPARE(seen, toGo);
}

void tst_Actions::runnerPausesOnTheCounter_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("longestMove"); // 0: a move goes as far as asked
    QTest::addColumn<int>("stepPerReading");
    QTest::addColumn<int>("pauseEnd"); // the reading that ends the first pause
    QTest::addColumn<int>("mostMoves");
    QTest::newRow("150 from 1000") << 1000 << 0 << 0 << 1151 << 1;
    QTest::newRow("every millisecond seen") << 1000 << 1 << 0 << 1151 << 151;
    QTest::newRow("counter moves on while read") << 1000 << 0 << 1 << 1152 << 1;
    QTest::newRow("across the top") << 2147483600 << 0 << 0 << -2147483545 << 2;
    QTest::newRow("across the top, every millisecond seen")
        << 2147483600 << 1 << 0 << -2147483545 << 151;
    QTest::newRow("across the top, 7 ms moves") << 2147483600 << 7 << 0 << -2147483545 << 23;
}

// Two commands and the pause between them, through the runner: it looks at
// the counter when the next reading is due, not in a loop.
void tst_Actions::runnerPausesOnTheCounter()
{
    QFETCH(int, start);
    QFETCH(int, longestMove);
    QFETCH(int, stepPerReading);
    QFETCH(int, pauseEnd);
    QFETCH(int, mostMoves);
    PtyLine line(7);
    QVERIFY(line.ok());
    Rig rig(start);
    rig.time.set_longest_move(longestMove);
    rig.time.set_step_per_reading(stepPerReading);
    std::optional<int> endedAt; // the last reading before the second command
    QObject::connect(&rig.runner, &ActionRunner::progress, &rig.runner, [&](int written) {
        if (written == 2)
            endedAt = rig.time.readings().back();
    });

    const auto result = run(rig.runner, "Com7", rate_action([] { return "2BF2"; }));
    QVERIFY(result && result->ok());
    QCOMPARE(rig.time.readings().front(), start);
    QCOMPARE(endedAt, std::optional<int>(pauseEnd));
    // Two pauses: after the rate and after "=NEW".
    QVERIFY2(rig.time.moves() <= 2 * mostMoves, "the runner polls instead of waiting until due");
    QCOMPARE(PtyLine::bodies(line.read_all()), (QStringList{"&RA052BF2", "=NEW", "=SD"}));
}

void tst_Actions::realCounterAcrossWrap()
{
    PtyLine line(7);
    QVERIFY(line.ok());
    SystemClock clock(2147483647 - 40);
    SerialLink link;
    ActionRunner runner(link, clock);
    QElapsedTimer elapsed;
    QList<qint64> at;
    QObject::connect(&runner, &ActionRunner::progress, &runner,
                     [&] { at << elapsed.nsecsElapsed() / 1000; });
    elapsed.start();
    const auto result = run(runner, "Com7", rate_action([] { return "2BF2"; }));
    QVERIFY(result && result->ok());
    QCOMPARE(at.size(), 3);
    // Each pause lasts past 150 ms, and not by much, across the wrap too.
    for (int i = 1; i < at.size(); ++i) {
        const qint64 gap = at[i] - at[i - 1];
        QVERIFY2(gap >= 150000 && gap < 250000, qPrintable(QString::number(gap)));
    }
    QVERIFY(clock.tick() < 0);
}

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
    Rig rig(1000);
    auto boxes = Boxes::calculated();
    boxes->clock = clock;
    QSignalSpy progress(&rig.runner, &ActionRunner::progress);
    QSignalSpy finished(&rig.runner, &ActionRunner::finished);

    const auto result = run(rig.runner, "Com7", upload_action(boxes));
    QVERIFY(result);
    QVERIFY(result->ok());
    QVERIFY(!result->failure);
    QVERIFY(!rig.link.is_open());
    QVERIFY(!rig.runner.is_running());
    QCOMPARE(finished.size(), 1);
    const QStringList frames = PtyLine::bodies(line.read_all());
    const QStringList expected = upload_frames(clockCommand, *boxes, *boxes);
    QCOMPARE(frames, expected);
    QCOMPARE(result->commands_written, expected.size());
    QCOMPARE(progress.size(), expected.size());
    QCOMPARE(progress.last().first().toInt(), expected.size());
    // The frames the default drive trains are known to give.
    QCOMPARE(frames.mid(frames.indexOf("=SD") + 1, 1), QStringList{"&RA01=57A7"});
    QVERIFY(frames.contains("&DEC01=74DE"));
    QCOMPARE(frames.mid(frames.size() - 4, 2), (QStringList{"&XRA00EA6000", "&XDEC00AFC800"}));
    // A pause after every command but the last.
    QCOMPARE(rig.time.moved_ms(), qint64(expected.size() - 1) * kPause);
    // The length the command line announces: the same pauses, less the one
    // counter step each takes past its gap.
    QCOMPARE(rig.time.moved_ms() - action_length(expected.size()).count(),
             qint64(expected.size() - 1));
    QCOMPARE(boxes->raSent, one_to(50));
    QCOMPARE(boxes->decSent, one_to(50));
}

void tst_Actions::uploadReadsBoxesAsItGoes()
{
    PtyLine line(7);
    QVERIFY(line.ok());
    Rig rig;
    auto boxes = Boxes::calculated();
    const Boxes before = *boxes;
    Boxes later = *boxes;
    for (QString &text : later.ra)
        text = "1" + text.mid(1);
    for (QString &text : later.dec)
        text = "2" + text.mid(1);
    later.raTotal = "ABC";
    later.decTotal = "1234567";
    // A calculation or an edit during the pause after row 10.
    boxes->onRaProgress = [&](int n) {
        if (n == 10) {
            boxes->ra = later.ra;
            boxes->dec = later.dec;
            boxes->raTotal = later.raTotal;
            boxes->decTotal = later.decTotal;
        }
    };

    const auto result = run(rig.runner, "Com7", upload_action(boxes));
    QVERIFY(result && result->ok());
    QCOMPARE(PtyLine::bodies(line.read_all()), upload_frames("=TCLK1", before, later, 11));
}

void tst_Actions::uploadStops_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<int>("afterRow");
    QTest::addColumn<int>("outcome");
    QTest::newRow("cancelled") << "cancel" << 20 << int(Outcome::Cancelled);
    QTest::newRow("controller gone while pausing") << "hang up" << 5 << int(Outcome::Failed);
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
    std::optional<ScopedEnv> unplugged;
    if (cause == "missing")
        unplugged.emplace("RW7300_COM7", dir.filePath("unplugged").toLocal8Bit());
    Rig rig;
    auto boxes = Boxes::calculated();
    boxes->onRaProgress = [&](int n) {
        if (n == afterRow)
            cause == "hang up" ? line.hang_up() : rig.runner.cancel();
    };
    QSignalSpy finished(&rig.runner, &ActionRunner::finished);
    QElapsedTimer elapsed;
    elapsed.start();

    const auto result = run(rig.runner, "Com7", upload_action(boxes));
    QVERIFY(result);
    QCOMPARE(int(result->outcome), outcome);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(int(finished.first().first().value<ActionResult>().outcome), outcome);
    QVERIFY(!rig.link.is_open());
    QVERIFY(!rig.runner.is_running());
    QVERIFY(elapsed.elapsed() < 3000);
    QCOMPARE(boxes->raSent, one_to(afterRow));
    QVERIFY(boxes->decSent.isEmpty());
    const int sent = afterRow == 0 ? 0 : 2 + afterRow; // clock, "=SD", the rows
    QCOMPARE(result->commands_written, sent);
    // Stopped at once: no pause after the last command written.
    QCOMPARE(rig.time.moves(), cause == "hang up" ? sent : std::max(sent - 1, 0));
    if (cause == "cancel") {
        QCOMPARE(PtyLine::bodies(line.read_all()),
                 upload_frames("=TCLK1", *boxes, *boxes).mid(0, sent));
        QVERIFY(!result->failure);
    } else {
        QVERIFY(result->failure);
        QCOMPARE(result->failure->port, 7);
        QCOMPARE(result->failure->kind == LinkFailure::Kind::Open, cause == "missing");
        // Whichever shows first: the line lost during the pause, or the
        // next row's write failing on it.
        if (cause == "hang up")
            QVERIFY2(result->failed_command == row("RA", afterRow, boxes->ra[afterRow - 1]) ||
                         result->failed_command == row("RA", afterRow + 1, boxes->ra[afterRow]),
                     qPrintable(result->failed_command));
        else
            QCOMPARE(result->failure->device, dir.filePath("unplugged"));
    }
}

void tst_Actions::checkedSteps_data()
{
    QTest::addColumn<bool>("total"); // the step checked: the RA total, or RA row 05
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("answer"); // to a hold: resume or cancel
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("written");
    QTest::newRow("held at row 05, resumed")
        << false << int(StepVerdict::Hold) << "resume" << int(Outcome::Done) << 109;
    QTest::newRow("held at row 05, cancelled")
        << false << int(StepVerdict::Hold) << "cancel" << int(Outcome::Cancelled) << 6;
    QTest::newRow("stopped before row 05")
        << false << int(StepVerdict::Stop) << "" << int(Outcome::Stopped) << 6;
    QTest::newRow("stopped before the RA total")
        << true << int(StepVerdict::Stop) << "" << int(Outcome::Stopped) << 105;
}

// A step's check runs when its command is due: held, nothing is written and
// the port stays open until the answer; stopped, that command never goes.
void tst_Actions::checkedSteps()
{
    QFETCH(bool, total);
    QFETCH(int, verdict);
    QFETCH(QString, answer);
    QFETCH(int, outcome);
    QFETCH(int, written);
    PtyLine line(7);
    QVERIFY(line.ok());
    Rig rig;
    auto boxes = Boxes::calculated();
    const int index = total ? UploadSource::kTotalIndex : 4;
    int asked = 0;
    boxes->onCheck = [&](Axis axis, int i) {
        if (axis != Axis::Ra || i != index)
            return StepVerdict::Send;
        return ++asked == 1 ? StepVerdict(verdict) : StepVerdict::Send;
    };
    QSignalSpy held(&rig.runner, &ActionRunner::held);
    connect(
        &rig.runner, &ActionRunner::held, this,
        [&] {
            QVERIFY(rig.runner.is_held() && rig.link.is_open());
            const int moves = rig.time.moves();
            QTest::qWait(50);
            QCOMPARE(PtyLine::bodies(line.read_all()).size(), written == 109 ? 6 : written);
            QCOMPARE(rig.time.moves(), moves); // no pause runs while held
            answer == "resume" ? rig.runner.resume() : rig.runner.cancel();
        },
        Qt::QueuedConnection);
    const auto result = run(rig.runner, "Com7", upload_action(boxes));
    QVERIFY(result);
    QCOMPARE(int(result->outcome), outcome);
    QCOMPARE(result->commands_written, written);
    QCOMPARE(result->commands_planned, 109);
    QCOMPARE(held.size(), verdict == int(StepVerdict::Hold) ? 1 : 0);
    QCOMPARE(asked, answer == "resume" ? 2 : 1); // checked again after the hold
    QVERIFY(!rig.link.is_open());
    const QStringList frames = upload_frames("=TCLK1", *boxes, *boxes);
    const QStringList rest = PtyLine::bodies(line.read_all());
    if (verdict == int(StepVerdict::Stop))
        QCOMPARE(rest, frames.mid(0, written));
    if (answer == "resume")
        QCOMPARE(rest, frames.mid(6));
}

// The solar button pressed while the upload pauses starts nothing, and the
// upload goes on as if it had not been pressed.
void tst_Actions::oneActionAtATime()
{
    PtyLine line(7);
    QVERIFY(line.ok());
    Rig rig;
    auto boxes = Boxes::calculated();
    std::optional<bool> second;
    boxes->onRaProgress = [&](int n) {
        if (n == 3)
            second = rig.runner.start("Com8", rate_action([] { return "2BF2"; }));
    };

    const auto result = run(rig.runner, "Com7", upload_action(boxes));
    QVERIFY(second.has_value());
    QVERIFY(!*second);
    QVERIFY(result && result->ok());
    QCOMPARE(result->commands_written, 109);
    QCOMPARE(PtyLine::bodies(line.read_all()), upload_frames("=TCLK1", *boxes, *boxes));
    QVERIFY(!rig.runner.start("Com7", {}));
}

void tst_Actions::nextActionAfterTheDrain_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("the same port") << "Com7";
    QTest::newRow("another port") << "Com8";
}

// An action started while the last one's bytes still drain sends nothing
// until they are out and the port is closed; nothing of either is lost.
void tst_Actions::nextActionAfterTheDrain()
{
    QFETCH(QString, port);
    PtyLine seven(7), eight(8);
    QVERIFY(seven.ok() && eight.ok());
    Rig rig;
    const QString big(400000, QLatin1Char('7'));
    // The long command last, so it is still queued when the action ends.
    const auto first = run(rig.runner, "Com7",
                           Action{{[] { return QStringLiteral("=NEW"); }}, {[&] { return big; }}});
    QVERIFY(first && first->ok());
    QVERIFY(rig.link.is_draining()); // the far end has read nothing yet

    QStringList events;
    connect(&rig.link, &SerialLink::closed, this, [&] { events << "closed"; });
    connect(&rig.runner, &ActionRunner::progress, this,
            [&](int n) { events << QString::number(n); });
    QSignalSpy finished(&rig.runner, &ActionRunner::finished);
    QVERIFY(rig.runner.start(port, rate_action([] { return QStringLiteral("2BF2"); })));
    const QByteArray firstBytes = "#:=NEW##:" + big.toLatin1() + "#";
    const QByteArray secondBytes = "#:&RA052BF2##:=NEW##:=SD#";
    const QByteArray expectSeven = port == "Com7" ? firstBytes + secondBytes : firstBytes;
    QByteArray gotSeven;
    std::thread reader([&] {
        pollfd fd{seven.master(), POLLIN, 0};
        while (gotSeven.size() < expectSeven.size() && ::poll(&fd, 1, 3000) > 0) {
            char chunk[4096];
            const ssize_t n = ::read(seven.master(), chunk, sizeof chunk);
            if (n <= 0)
                break;
            gotSeven.append(chunk, n);
        }
    });
    const bool done = finished.wait(10000);
    reader.join();
    QVERIFY(done);
    QVERIFY(finished.first().first().value<ActionResult>().ok());
    QCOMPARE(gotSeven.size(), expectSeven.size());
    QCOMPARE(gotSeven, expectSeven);
    if (port == "Com8")
        QCOMPARE(eight.read_all(), secondBytes);
    QVERIFY(events.size() >= 4);
    QCOMPARE(events.mid(0, 4), QStringList({"closed", "1", "2", "3"}));
}

void tst_Actions::destroyedRunnerClosesPort()
{
    PtyLine line(7);
    QVERIFY(line.ok());
    FakeClock time;
    SerialLink link;
    auto runner = std::make_unique<ActionRunner>(link, time);
    QSignalSpy progress(runner.get(), &ActionRunner::progress);
    QVERIFY(runner->start("Com7", rate_action([] { return "2BF2"; })));
    QVERIFY(progress.wait(2000));
    runner.reset();
    QVERIFY(!link.is_open());
    QCOMPARE(PtyLine::bodies(line.read_all()), QStringList{"&RA052BF2"});
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
    Rig rig;
    const auto result = run(rig.runner, "Com3", rate_action([&] { return text; }));
    QVERIFY(result && result->ok());
    QVERIFY(!rig.link.is_open());
    QCOMPARE(result->commands_written, 3);
    QCOMPARE(PtyLine::bodies(line.read_all()), (QStringList{first, "=NEW", "=SD"}));
    QCOMPARE(rig.time.moved_ms(), 2 * kPause);
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
    Rig rig;
    QString written = "untouched";
    auto action = total_action(axis, decimal, [&](const QString &text) { written = text; });
    if (box.isNull()) {
        QVERIFY(!action);
        QCOMPARE(written, "untouched");
        return;
    }
    QVERIFY(action);
    QCOMPARE(written, "untouched"); // not before the port is open
    const auto result = run(rig.runner, "Com4", std::move(*action));
    QVERIFY(result && result->ok());
    QVERIFY(!rig.link.is_open());
    QCOMPARE(PtyLine::bodies(line.read_all()), frames);
    QCOMPARE(result->commands_written, frames.size());
    QCOMPARE(written, box);
}

QTEST_GUILESS_MAIN(tst_Actions)
#include "tst_actions.moc"
