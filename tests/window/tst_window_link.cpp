#include "advisordialog.h"
#include "beep.h"
#include "calculate.h"
#include "detectedports.h"
#include "fakeclock.h"
#include "form1.h"
#include "privatesettings.h"
#include "ptyline.h"
#include "scopedenv.h"
#include "screenfit.h"
#include "uploadbodies.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using app::Form1;

namespace {

constexpr int kPort = 5;

calc::CalcOutput calculated(std::int32_t clock, calc::DriveTrainTexts ra = calc::kDefaultRa)
{
    calc::CalcInput input;
    input.base_clock = clock;
    input.ra = std::move(ra);
    return std::get<calc::CalcOutput>(calc::calculate(input));
}

} // namespace

class tst_WindowLink : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void uploadSendsEveryFrame_data();
    void uploadSendsEveryFrame();
    void sendBeforeCalculateOnlyBeeps();
    void editedBoxesGoOutAsTyped();
    void singleCommands_data();
    void singleCommands();
    void totalOutOfRangeSendsNothing();
    void calculateDuringUpload();
    void calculateDuringUploadCutsLaterRows_data();
    void calculateDuringUploadCutsLaterRows();
    void changesDuringUpload_data();
    void changesDuringUpload();
    void frameBreakerTypedDuringAction_data();
    void frameBreakerTypedDuringAction();
    void driveTrainEditedAfterCalculate_data();
    void driveTrainEditedAfterCalculate();
    void hexBoxesTakeUpperCase_data();
    void hexBoxesTakeUpperCase();
    void controllerButtonsWaitForTheAction();
    void everyUploadStartsWithEmptyBars();
    void lineLostMidUpload();
    void missingDevice_data();
    void missingDevice();
    void closingWindowAsks_data();
    void closingWindowAsks();
    void portTooltip();
    void focusReturnsAfterKeyboardAction_data();
    void focusReturnsAfterKeyboardAction();
    void marksAfterCalculateAndEdits_data();
    void marksAfterCalculateAndEdits();
    void uploadAsksBeforeCutValues();
    void frameBreakerRefused();
    void clockSwitchedAsks();
    void singleCommandBeforeCalculateSendsNothing_data();
    void singleCommandBeforeCalculateSendsNothing();
    void windowGoesWhileBusy_data();
    void windowGoesWhileBusy();

private:
    QLineEdit *box(const QString &name) const { return m_window->findChild<QLineEdit *>(name); }
    QPushButton *button(const char *name) const
    {
        return m_window->findChild<QPushButton *>(QLatin1String(name));
    }
    QProgressBar *bar(const char *name) const
    {
        return m_window->findChild<QProgressBar *>(QLatin1String(name));
    }
    void click(const char *name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    // Clicks a controller button, says yes to the question asked before
    // sending, if any (asked tells), and lets the event loop run until the
    // action it started has ended.
    bool click_and_finish(const char *name, bool *asked = nullptr) const
    {
        QSignalSpy finished(runner(), &rwlink::ActionRunner::finished);
        click(name);
        QMessageBox *question = shown("sendConfirmation");
        if (asked)
            *asked = question != nullptr;
        if (question)
            question->button(QMessageBox::Yes)->click();
        if (finished.isEmpty() && !finished.wait(10000))
            return false;
        return finished.size() == 1 && !runner()->is_running();
    }
    // The message box of that name now on screen (closed ones linger until
    // deleted).
    QMessageBox *shown(const char *objectName) const
    {
        for (QMessageBox *box : m_window->findChildren<QMessageBox *>(QLatin1String(objectName))) {
            if (box->isVisible())
                return box;
        }
        return nullptr;
    }
    QString sendProblem(const QString &name) const
    {
        return box(name)->property("sendProblem").toString();
    }
    QString status() const { return m_window->findChild<QLabel *>("statusLine")->text(); }
    rwlink::ActionRunner *runner() const
    {
        return m_window->findChild<rwlink::ActionRunner *>("actionRunner");
    }
    void use_port(int n) const
    {
        m_window->findChild<QComboBox *>("Combo1")->setEditText(QStringLiteral("Com%1").arg(n));
    }
    // 精度 opened and its advice for tolerance 0 (RA × 8) applied; the
    // question that asks first is declined.
    void apply_advice_midway()
    {
        m_window->show_advisor();
        auto *dialog = m_window->findChild<app::AdvisorDialog *>("advisorDialog");
        dialog->findChild<QDoubleSpinBox *>("advisorTolerance")->setValue(0);
        QTest::mouseClick(dialog->findChild<QPushButton *>("advisorApply"), Qt::LeftButton);
        QMessageBox *question = shown("recalculateConfirmation");
        QVERIFY(question);
        QTest::keyClick(question, Qt::Key_Escape);
    }
    QMessageBox *warning() const { return m_window->findChild<QMessageBox *>("linkFailure"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PrivateSettings> m_settings;
    std::unique_ptr<PtyLine> m_line;
    std::unique_ptr<FakeClock> m_time;
    std::unique_ptr<Form1> m_window;
};

void tst_WindowLink::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<PrivateSettings>(); // before the line sets its own port
    m_line = std::make_unique<PtyLine>(kPort);
    QVERIFY(m_line->ok());
    m_time = std::make_unique<FakeClock>(1000);
    m_window = std::make_unique<Form1>(m_dir->path(), m_time.get(), no_devices());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    use_port(kPort);
}

void tst_WindowLink::cleanup()
{
    m_window.reset();
    m_time.reset();
    m_line.reset();
    m_settings.reset();
    m_dir.reset();
}

void tst_WindowLink::uploadSendsEveryFrame_data()
{
    QTest::addColumn<bool>("slowClock");
    QTest::newRow("2 MHz") << false;
    QTest::newRow("250 kHz") << true;
}

void tst_WindowLink::uploadSendsEveryFrame()
{
    QFETCH(bool, slowClock);
    if (slowClock)
        QTest::mouseClick(m_window->findChild<QRadioButton *>("Option1_1"), Qt::LeftButton);
    click("Command1");
    const int beeps = app::beep_count();
    bool asked = true;
    QVERIFY(click_and_finish("Command2", &asked));
    QVERIFY(!asked); // nothing wrong with a fresh calculation
    QVERIFY2(status().startsWith(QStringLiteral("送信完了: 109 個 → Com5")), qPrintable(status()));
    QVERIFY2(status().contains(QRegularExpression(" \\d+\\.\\d 秒 \\d\\d:\\d\\d:\\d\\d$")),
             qPrintable(status()));
    // Where the frames went, whole in the tooltip, with what the program cannot know.
    const QString tip = m_window->findChild<QLabel *>("statusLine")->toolTip();
    QVERIFY2(tip.contains(QStringLiteral("Com5 (%1)").arg(m_line->path())), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("届いたか")), qPrintable(tip));
    const QStringList frames = PtyLine::bodies(m_line->read_all());
    QCOMPARE(frames.size(), 109);
    QCOMPARE(frames, upload_bodies(calculated(slowClock ? calc::kClock250kHz : calc::kClock2MHz)));
    QCOMPARE(frames.first(), slowClock ? QStringLiteral("=TCLK2") : QStringLiteral("=TCLK1"));
    if (!slowClock) {
        QCOMPARE(frames.mid(0, 3), (QStringList{"=TCLK1", "=SD", "&RA01=57A7"}));
        QCOMPARE(frames[53], QStringLiteral("&DEC01=74DE"));
        QCOMPARE(frames.mid(103),
                 (QStringList{"=SD", "=NEW", "&XRA00EA6000", "&XDEC00AFC800", "&XNEW", "=SD"}));
    }
    QVERIFY(m_time->moved_ms() >= std::int64_t{108} * 150);
    QCOMPARE(app::beep_count(), beeps + 1);
    QVERIFY(!bar("ProgressBar1")->isVisible() && !bar("ProgressBar2")->isVisible());
    QCOMPARE(bar("ProgressBar1")->value(), 50);
    QVERIFY(!warning());
}

void tst_WindowLink::sendBeforeCalculateOnlyBeeps()
{
    const int beeps = app::beep_count();
    click("Command2");
    QVERIFY(!runner()->is_running());
    QCOMPARE(app::beep_count(), beeps + 1);
    QCOMPARE(m_line->read_all(), QByteArray());
    QCOMPARE(m_time->readings().size(), std::size_t(0)); // no wait ever started
    QVERIFY(!bar("ProgressBar1")->isVisible());
    QCOMPARE(bar("ProgressBar1")->value(), 0);
}

void tst_WindowLink::editedBoxesGoOutAsTyped()
{
    click("Command1");
    box("Text8_0")->setText("7");
    box("Text8_1")->setText("12345");
    box("Text8_2")->clear();
    box("Text10_49")->setText("zz");
    box("Text11")->setText("ABC");
    box("Text7_0")->clear(); // emptied, not blank: the upload runs
    bool asked = false;
    QVERIFY(click_and_finish("Command2", &asked));
    QVERIFY(asked);
    const QStringList frames = PtyLine::bodies(m_line->read_all());
    QCOMPARE(frames.size(), 109);
    QCOMPARE(frames.mid(2, 3), (QStringList{"&RA01=0007", "&RA02=2345", "&RA03=0000"}));
    QCOMPARE(frames[102], QStringLiteral("&DEC50=00ZZ")); // hex boxes take upper case
    QCOMPARE(frames[105], QStringLiteral("&XRA00ABC"));
}

void tst_WindowLink::singleCommands_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("boxName"); // a box to set first, or empty
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QString>("hexBox"); // step buttons: the box they rewrite
    QTest::addColumn<QString>("hexText");
    QTest::addColumn<bool>("asks"); // the value has a problem: the operator is asked first
    QTest::newRow("solar") << QByteArray("Command3") << ""
                           << "" << QStringList{"&RA052BF2", "=NEW", "=SD"} << ""
                           << "" << false;
    QTest::newRow("lunar") << QByteArray("Command4") << ""
                           << "" << QStringList{"&RA052D80", "=NEW", "=SD"} << ""
                           << "" << false;
    QTest::newRow("King") << QByteArray("Command5") << ""
                          << "" << QStringList{"&RA052BD7", "=NEW", "=SD"} << ""
                          << "" << false;
    QTest::newRow("solar edited to 1") << QByteArray("Command3") << "Text8_50"
                                       << "1" << QStringList{"&RA051", "=NEW", "=SD"} << ""
                                       << "" << true;
    QTest::newRow("solar edited to 12345")
        << QByteArray("Command3") << "Text8_50"
        << "12345" << QStringList{"&RA0512345", "=NEW", "=SD"} << ""
        << "" << true;
    QTest::newRow("RA all step") << QByteArray("Command6") << ""
                                 << "" << QStringList{"&XRA00EA6000", "=SD"} << "Text11"
                                 << "EA6000" << false;
    QTest::newRow("DEC all step") << QByteArray("Command7") << ""
                                  << "" << QStringList{"&XDEC00AFC800", "=SD"} << "Text12"
                                  << "AFC800" << false;
    QTest::newRow("RA total of 2^24")
        << QByteArray("Command6") << "Text2"
        << " 16777216" << QStringList{"&XRA00000000", "=SD"} << "Text11"
        << "000000" << true;
    QTest::newRow("DEC total of 2^24 + 5")
        << QByteArray("Command7") << "Text5"
        << " 16777221" << QStringList{"&XDEC00000005", "=SD"} << "Text12"
        << "000005" << true;
    QTest::newRow("RA total not a number")
        << QByteArray("Command6") << "Text2"
        << "abc" << QStringList{"&XRA00000000", "=SD"} << "Text11"
        << "000000" << true;
}

void tst_WindowLink::singleCommands()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, boxName);
    QFETCH(QString, boxText);
    QFETCH(QStringList, frames);
    QFETCH(QString, hexBox);
    QFETCH(QString, hexText);
    QFETCH(bool, asks);
    click("Command1");
    if (!boxName.isEmpty())
        box(boxName)->setText(boxText);
    const int beeps = app::beep_count();
    bool asked = !asks;
    QVERIFY(click_and_finish(button.constData(), &asked));
    QCOMPARE(asked, asks);
    QCOMPARE(PtyLine::bodies(m_line->read_all()), frames);
    if (!hexBox.isEmpty())
        QCOMPARE(box(hexBox)->text(), hexText);
    QCOMPARE(app::beep_count(), beeps); // single commands do not beep
    QVERIFY(!bar("ProgressBar1")->isVisible());
}

void tst_WindowLink::totalOutOfRangeSendsNothing()
{
    click("Command1");
    box("Text5")->setText("1e10");
    click("Command7");
    QCOMPARE(m_line->read_all(), QByteArray());
    QVERIFY(warning());
    QTRY_VERIFY(warning()->isVisible());
    QCOMPARE(box("Text12")->text(), QStringLiteral("AFC800"));
}

// A Calculate clicked during the waits changes the rows not yet sent; values
// the controller can hold go without a question.
void tst_WindowLink::calculateDuringUpload()
{
    click("Command1");
    m_time->set_on_move([this] {
        if (m_time->moves() == 12) { // after RA row 10 has gone out
            box("Text1_4")->setText("8");
            click("Command1");
        }
    });
    QVERIFY(click_and_finish("Command2"));
    QVERIFY(!shown("sendPaused"));
    const QStringList frames = PtyLine::bodies(m_line->read_all());
    const calc::CalcOutput before = calculated(calc::kClock2MHz);
    const calc::CalcOutput after = calculated(calc::kClock2MHz, {"240", "2", "200", "10", "8"});
    QStringList expected = upload_bodies(after);
    const QStringList early = upload_bodies(before).mid(0, 12);
    for (int i = 0; i < 12; ++i)
        expected[i] = early[i];
    QCOMPARE(frames, expected);
    QCOMPARE(frames[105], QStringLiteral("&XRA00753000"));
}

void tst_WindowLink::calculateDuringUploadCutsLaterRows_data()
{
    QTest::addColumn<QString>("answer"); // the paused question's button, or Return
    QTest::addColumn<int>("frames");
    QTest::newRow("stopped: nothing more") << "stopSending" << 10;
    QTest::newRow("Return stops") << "Return" << 10;
    QTest::newRow("sent on after one question") << "sendHeldValues" << 109;
}

// With the RA microstep set to 1 mid-upload, the rows not yet sent no longer
// fit four digits: the upload waits before row 09, the port open, until the
// operator answers, and asks once for all that is still to go.
void tst_WindowLink::calculateDuringUploadCutsLaterRows()
{
    QFETCH(QString, answer);
    QFETCH(int, frames);
    click("Command1");
    m_time->set_on_move([this] {
        if (m_time->moves() == 10) { // after RA row 08
            box("Text1_4")->setText("1");
            click("Command1");
        }
    });
    int questions = 0;
    connect(
        runner(), &rwlink::ActionRunner::held, this,
        [&] {
            QMessageBox *question = shown("sendPaused");
            QVERIFY(question);
            ++questions;
            QVERIFY2(question->text().contains(QStringLiteral("赤経 テーブル 09「5E9A」")),
                     qPrintable(question->text()));
            // Nothing goes out while the question is open, however long.
            QTest::qWait(200);
            QCOMPARE(PtyLine::bodies(m_line->read_all()).size(), 10);
            if (answer == "Return")
                QTest::keyClick(question, Qt::Key_Return);
            else
                question->findChild<QPushButton *>(answer)->click();
        },
        Qt::QueuedConnection);
    QSignalSpy finished(runner(), &rwlink::ActionRunner::finished);
    click("Command2");
    QVERIFY(finished.wait(10000));
    QCOMPARE(questions, 1);
    const QStringList sent = PtyLine::bodies(m_line->read_all());
    const bool done = frames == 109;
    QCOMPARE(sent.size(), done ? frames - 10 : 0); // the first ten were read above
    if (done)
        QCOMPARE(sent.first(), QStringLiteral("&RA09=5E9A"));
    QCOMPARE(status().startsWith(QStringLiteral("送信完了")), done);
}

void tst_WindowLink::changesDuringUpload_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("pauses");
    QTest::newRow("drive train typed, no Calculate") << "train" << false;
    QTest::newRow("clock option switched, no Calculate") << "option" << false;
    QTest::newRow("Calculate for the other clock") << "option+calculate" << true;
    // RA × 8 at the same clock, which no check would hold: it asks first.
    QTest::newRow("精度's 適用 declined") << "apply" << false;
}

// Midway, only a change of what goes out pauses the upload: an edited drive
// train or clock option alone leaves the values checked at the start, but
// divisors calculated for another clock than the one announced would not
// match it.
void tst_WindowLink::changesDuringUpload()
{
    QFETCH(QString, change);
    QFETCH(bool, pauses);
    click("Command1");
    m_time->set_on_move([&] {
        if (m_time->moves() != 10)
            return;
        if (change == "train")
            box("Text1_0")->setText("180");
        else if (change == "apply")
            apply_advice_midway();
        else
            QTest::mouseClick(m_window->findChild<QRadioButton *>("Option1_1"), Qt::LeftButton);
        if (change.endsWith("calculate"))
            click("Command1");
    });
    int questions = 0;
    connect(
        runner(), &rwlink::ActionRunner::held, this,
        [&] {
            ++questions;
            QTest::keyClick(shown("sendPaused"), Qt::Key_Escape);
        },
        Qt::QueuedConnection);
    QVERIFY(click_and_finish("Command2"));
    QCOMPARE(questions, pauses ? 1 : 0);
    const QStringList frames = PtyLine::bodies(m_line->read_all());
    if (pauses)
        QCOMPARE(frames.size(), 10);
    else
        QCOMPARE(frames, upload_bodies(calculated(calc::kClock2MHz)));
}

void tst_WindowLink::frameBreakerTypedDuringAction_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("move"); // typed after this many pauses; 0: before the first command
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("place");
    QTest::newRow("RA row 30 not yet sent") << QByteArray("Command2") << "Text8_29"
                                            << "1#2:" << 5 << 31 << "赤経 テーブル 30";
    QTest::newRow("RA total") << QByteArray("Command2") << "Text11"
                              << "9#9" << 5 << 105 << "赤経 総ステップ数";
    QTest::newRow("solar rate") << QByteArray("Command3") << "Text8_50"
                                << "2B#2" << 0 << 0 << "太陽時";
}

// A frame breaker typed while an action runs is never written: the action
// stops before its command, says where, and does not claim success.
void tst_WindowLink::frameBreakerTypedDuringAction()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, boxName);
    QFETCH(QString, typed);
    QFETCH(int, move);
    QFETCH(int, frames);
    QFETCH(QString, place);
    click("Command1");
    QSignalSpy finished(runner(), &rwlink::ActionRunner::finished);
    m_time->set_on_move([&] {
        if (m_time->moves() == move) {
            box(boxName)->selectAll();
            QTest::keyClicks(box(boxName), typed);
        }
    });
    click(button.constData());
    if (move == 0) {
        box(boxName)->selectAll();
        QTest::keyClicks(box(boxName), typed);
    }
    QVERIFY(finished.size() == 1 || finished.wait(10000));
    const QByteArray bytes = m_line->read_all();
    QCOMPARE(PtyLine::bodies(bytes).size(), frames);
    QVERIFY(!bytes.contains(typed.toLatin1()));
    QCOMPARE(finished.first().first().value<rwlink::ActionResult>().outcome,
             rwlink::ActionResult::Outcome::Stopped);
    QVERIFY2(status().contains(QStringLiteral("%1 / ").arg(frames)), qPrintable(status()));
    QVERIFY(!status().contains(QStringLiteral("完了")));
    auto *refusal = m_window->findChild<QMessageBox *>("sendRefused");
    QVERIFY(refusal);
    QVERIFY2(refusal->text().contains(place + QStringLiteral("「") + typed),
             qPrintable(refusal->text()));
}

void tst_WindowLink::driveTrainEditedAfterCalculate_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("trainBox");
    QTest::addColumn<QString>("trainText");
    QTest::addColumn<QString>("answer"); // "calculateFirst", or cancel
    QTest::addColumn<QStringList>("frames");
    QTest::newRow("send, cancelled") << QByteArray("Command2") << "Text1_0"
                                     << "180"
                                     << "" << QStringList{};
    QTest::newRow("RA all step, cancelled") << QByteArray("Command6") << "Text1_1"
                                            << "2.5"
                                            << "" << QStringList{};
    QTest::newRow("DEC all step, cancelled") << QByteArray("Command7") << "Text4_4"
                                             << "8"
                                             << "" << QStringList{};
    QTest::newRow("RA all step, calculated first")
        << QByteArray("Command6") << "Text1_0"
        << "180"
        << "calculateFirst" << QStringList{"&XRA00AFC800", "=SD"};
}

// After a Calculate, an edited drive train makes what was computed from it
// stale: marked, and asked about before anything sends it.
void tst_WindowLink::driveTrainEditedAfterCalculate()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, trainBox);
    QFETCH(QString, trainText);
    QFETCH(QString, answer);
    QFETCH(QStringList, frames);
    click("Command1");
    box("Text8_7")->setText("1234"); // the operator's own value stays theirs
    box(trainBox)->setText(trainText);
    const bool ra = trainBox.startsWith("Text1");
    QCOMPARE(sendProblem(ra ? "Text8_0" : "Text10_0"), QStringLiteral("stale"));
    QCOMPARE(sendProblem(ra ? "Text11" : "Text12"), QStringLiteral("stale"));
    QCOMPARE(sendProblem(ra ? "Text10_0" : "Text8_0"), QString());
    QCOMPARE(sendProblem("Text8_7"), QString());
    QStringList before;
    for (QLineEdit *edit : m_window->findChildren<QLineEdit *>())
        before << edit->objectName() + "=" + edit->text();
    click(button.constData());
    QMessageBox *question = shown("sendConfirmation");
    QVERIFY(question);
    QCOMPARE(question->defaultButton(), question->button(QMessageBox::Cancel));
    QSignalSpy finished(runner(), &rwlink::ActionRunner::finished);
    if (answer.isEmpty()) {
        question->button(QMessageBox::Cancel)->click();
        QStringList after;
        for (QLineEdit *edit : m_window->findChildren<QLineEdit *>())
            after << edit->objectName() + "=" + edit->text();
        QCOMPARE(after, before);
    } else {
        question->findChild<QPushButton *>(answer)->click();
        QVERIFY(finished.size() == 1 || finished.wait(10000));
    }
    QCOMPARE(PtyLine::bodies(m_line->read_all()), frames);
}

void tst_WindowLink::hexBoxesTakeUpperCase_data()
{
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("problem");
    QTest::newRow("RA row") << "Text8_3"
                            << "2bd3"
                            << "2BD3"
                            << "";
    QTest::newRow("DEC row, letters beyond f") << "Text10_0"
                                               << "74dg"
                                               << "74DG"
                                               << "unreadable";
    QTest::newRow("rate") << "Text8_51"
                          << "2d80"
                          << "2D80"
                          << "";
    QTest::newRow("total") << "Text12"
                           << "afc800"
                           << "AFC800"
                           << "";
}

void tst_WindowLink::hexBoxesTakeUpperCase()
{
    QFETCH(QString, boxName);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, problem);
    click("Command1");
    box(boxName)->selectAll();
    QTest::keyClicks(box(boxName), typed);
    QCOMPARE(box(boxName)->text(), shown);
    QCOMPARE(sendProblem(boxName), problem);
    if (!problem.isEmpty())
        QVERIFY2(box(boxName)->toolTip().contains(QStringLiteral("16進数でない文字")),
                 qPrintable(box(boxName)->toolTip()));
}

void tst_WindowLink::controllerButtonsWaitForTheAction()
{
    click("Command1");
    bool checked = false;
    m_time->set_on_move([&] {
        if (m_time->moves() != 5)
            return;
        checked = true;
        for (const char *b :
             {"Command2", "Command3", "Command4", "Command5", "Command6", "Command7"})
            QVERIFY2(!button(b)->isEnabled(), b);
        QVERIFY(button("Command1")->isEnabled());
        click("Command3"); // starts nothing
    });
    QVERIFY(click_and_finish("Command2"));
    QVERIFY(checked);
    QCOMPARE(PtyLine::bodies(m_line->read_all()).size(), 109);
    QVERIFY(button("Command3")->isEnabled());
}

void tst_WindowLink::everyUploadStartsWithEmptyBars()
{
    click("Command1");
    QVERIFY(click_and_finish("Command2"));
    m_line->read_all();
    QList<QPair<int, int>> seen;
    m_time->set_on_move([&] {
        seen << qMakePair(bar("ProgressBar1")->value(), bar("ProgressBar2")->value());
        QVERIFY(bar("ProgressBar1")->isVisible() && bar("ProgressBar2")->isVisible());
    });
    QVERIFY(click_and_finish("Command2"));
    QCOMPARE(seen.mid(0, 3), (QList<QPair<int, int>>{{0, 0}, {0, 0}, {1, 0}}));
    QCOMPARE(seen[53], qMakePair(50, 1));
}

void tst_WindowLink::lineLostMidUpload()
{
    click("Command1");
    m_time->set_on_move([this] {
        if (m_time->moves() == 20)
            m_line->hang_up();
    });
    const int beeps = app::beep_count();
    QVERIFY(click_and_finish("Command2"));
    QVERIFY(warning());
    QTRY_VERIFY(warning()->isVisible());
    QVERIFY2(warning()->text().contains(QStringLiteral("Com%1").arg(kPort)),
             qPrintable(warning()->text()));
    QVERIFY2(warning()->text().contains(QStringLiteral("送信済み")), qPrintable(warning()->text()));
    QCOMPARE(app::beep_count(), beeps); // no completion beep
    QVERIFY(m_time->moves() < 30);      // stopped at once
    QVERIFY(!bar("ProgressBar1")->isVisible());
    QVERIFY(button("Command2")->isEnabled());
}

void tst_WindowLink::missingDevice_data()
{
    QTest::addColumn<QString>("device"); // NAME: a plain file of that name
    QTest::addColumn<QString>("reason"); // in Japanese, whatever Qt said
    QTest::newRow("missing") << "/dev/rw7300-no-such-device"
                             << QStringLiteral("ファイルまたはデバイスがありません");
    QTest::newRow("a plain file") << "plain" << QStringLiteral("シリアルポートではありません");
}

void tst_WindowLink::missingDevice()
{
    QFETCH(QString, device);
    QFETCH(QString, reason);
    click("Command1");
    if (!device.startsWith('/')) {
        QFile file(device = m_dir->filePath(device));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const ScopedEnv variable("RW7300_COM9", device.toLocal8Bit());
    use_port(9);
    const int beeps = app::beep_count();
    QVERIFY(click_and_finish("Command2"));
    QVERIFY(warning());
    QTRY_VERIFY(warning()->isVisible());
    const QString text = warning()->text();
    QVERIFY2(text.contains(QStringLiteral("Com9")) && text.contains(device) &&
                 text.contains(QStringLiteral("RW7300_COM")) && text.contains(reason),
             qPrintable(text));
    QCOMPARE(app::beep_count(), beeps);
    QCOMPARE(m_time->moves(), 0); // no sixteen seconds of progress
    QVERIFY(!bar("ProgressBar1")->isVisible());
}

void tst_WindowLink::closingWindowAsks_data()
{
    // Ctrl+Q, in the window that scrolls on a small screen, or else ×.
    QTest::addColumn<bool>("small");
    QTest::addColumn<QString>("answer"); // a button of the question, or Return
    QTest::addColumn<bool>("stop");
    QTest::newRow("stopped and closed") << false << "stopAndClose" << true;
    QTest::newRow("kept sending") << false << "keepSending" << false;
    QTest::newRow("Return keeps sending") << false << "Return" << false;
    QTest::newRow("small screen, Ctrl+Q, stopped and closed") << true << "stopAndClose" << true;
    QTest::newRow("small screen, Ctrl+Q, kept sending") << true << "keepSending" << false;
}

// Closing during an upload asks first; stopping sends nothing more.
void tst_WindowLink::closingWindowAsks()
{
    QFETCH(bool, small);
    QFETCH(QString, answer);
    QFETCH(bool, stop);
    const auto fitted = small ? app::fit_to_screen(*m_window, QRect(0, 0, 800, 480)) : nullptr;
    QWidget *window = small ? static_cast<QWidget *>(fitted.get()) : m_window.get();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    click("Command1");
    bool asked = false;
    m_time->set_on_move([&] {
        if (m_time->moves() != 10)
            return;
        if (small)
            QTest::keyClick(box("Text1_0"), Qt::Key_Q, Qt::ControlModifier);
        else
            window->close();
        QMessageBox *question = shown("closeConfirmation");
        asked = question != nullptr;
        if (!question)
            return;
        for (QAbstractButton *b : question->buttons())
            QVERIFY2(b->icon().isNull(), qPrintable(b->text()));
        if (answer == "Return")
            QTest::keyClick(question, Qt::Key_Return);
        else
            question->findChild<QPushButton *>(answer)->click();
    });
    QVERIFY(click_and_finish("Command2"));
    QVERIFY(asked);
    const QStringList frames = PtyLine::bodies(m_line->read_all());
    // Stopped: the frame before each of the ten pauses, no burst.
    QCOMPARE(frames.size(), stop ? 10 : 109);
    QCOMPARE(window->isVisible(), !stop);
    QCOMPARE(m_window->isVisible(), !stop);
    QVERIFY(!warning());
}

void tst_WindowLink::portTooltip()
{
    auto *combo = m_window->findChild<QComboBox *>("Combo1");
    {
        const ScopedEnv device("RW7300_COM3", "/dev/ttyUSB0");
        use_port(3);
        QVERIFY2(combo->toolTip().startsWith(QStringLiteral("Com3 → /dev/ttyUSB0")),
                 qPrintable(combo->toolTip()));
    }
    use_port(4);
    QVERIFY2(combo->toolTip().startsWith(QStringLiteral("Com4 → /dev/ttyS3")),
             qPrintable(combo->toolTip()));
    combo->setEditText(QStringLiteral("COM4"));
    QVERIFY2(combo->toolTip().contains(QStringLiteral("Com1")), qPrintable(combo->toolTip()));
}

void tst_WindowLink::focusReturnsAfterKeyboardAction_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("movedTo"); // a box the operator clicks into meanwhile
    QTest::newRow("upload") << "Command2" << 109 << "";
    QTest::newRow("King rate") << "Command5" << 3 << "";
    QTest::newRow("DEC total") << "Command7" << 2 << "";
    QTest::newRow("upload, operator moved on") << "Command2" << 109 << "Text1_2";
}

// Started with Return, each action ends with the focus back on its button,
// not in the port box where disabling the button had put it.
void tst_WindowLink::focusReturnsAfterKeyboardAction()
{
    QFETCH(QString, buttonName);
    QFETCH(int, frames);
    QFETCH(QString, movedTo);
    click("Command1");
    QPushButton *start = button(qPrintable(buttonName));
    start->setFocus();
    QSignalSpy finished(runner(), &rwlink::ActionRunner::finished);
    QWidget *focus_while_sending = nullptr;
    connect(runner(), &rwlink::ActionRunner::progress, this, [&](int written) {
        if (!focus_while_sending)
            focus_while_sending = m_window->focusWidget();
        if (written == 2 && !movedTo.isEmpty())
            QTest::mouseClick(box(movedTo), Qt::LeftButton);
    });
    QTest::keyClick(start, Qt::Key_Return);
    QVERIFY(finished.size() == 1 || finished.wait(10000));
    QVERIFY(focus_while_sending && focus_while_sending != start);
    QCOMPARE(m_window->focusWidget(),
             movedTo.isEmpty() ? static_cast<QWidget *>(start) : box(movedTo));
    QCOMPARE(PtyLine::bodies(m_line->read_all()).size(), frames);
}

void tst_WindowLink::marksAfterCalculateAndEdits_data()
{
    QTest::addColumn<QString>("inputBox"); // typed before Calculate
    QTest::addColumn<QString>("inputText");
    QTest::addColumn<QString>("editBox"); // typed after it
    QTest::addColumn<QString>("editText");
    QTest::addColumn<QStringList>("marked"); // "box=problem", every marked box
    QTest::newRow("fresh calculation") << ""
                                       << ""
                                       << ""
                                       << "" << QStringList{};
    QTest::newRow("256 microsteps cut the RA total")
        << "Text1_4"
        << "256"
        << ""
        << "" << QStringList{"Text2=cut_by_width", "Text11=cut_by_width"};
    QTest::newRow("not hex digits")
        << ""
        << ""
        << "Text8_3"
        << "2BG3" << QStringList{"Text7_3=unreadable", "Text8_3=unreadable"};
    QTest::newRow("a frame breaker in a DEC row")
        << ""
        << ""
        << "Text10_49"
        << "0#3C" << QStringList{"Text9_49=breaks_frame", "Text10_49=breaks_frame"};
    QTest::newRow("a divisor of zero")
        << ""
        << ""
        << "Text8_50"
        << "0000" << QStringList{"Text7_50=unusable_speed", "Text8_50=unusable_speed"};
    QTest::newRow("a total edited back to its value") << ""
                                                      << ""
                                                      << "Text12"
                                                      << "AFC800" << QStringList{};
}

void tst_WindowLink::marksAfterCalculateAndEdits()
{
    QFETCH(QString, inputBox);
    QFETCH(QString, inputText);
    QFETCH(QString, editBox);
    QFETCH(QString, editText);
    QFETCH(QStringList, marked);
    if (!inputBox.isEmpty())
        box(inputBox)->setText(inputText);
    click("Command1");
    if (!editBox.isEmpty())
        box(editBox)->setText(editText);
    QStringList seen;
    for (QLineEdit *edit : m_window->findChildren<QLineEdit *>()) {
        const QString problem = edit->property("sendProblem").toString();
        if (!problem.isEmpty())
            seen << edit->objectName() + "=" + problem;
    }
    seen.sort();
    marked.sort();
    QCOMPARE(seen, marked);
    for (const QString &entry : marked) {
        const QString name = entry.section('=', 0, 0);
        QVERIFY2(!box(name)->styleSheet().isEmpty(), qPrintable(name));
        QVERIFY2(box(name)->toolTip().length() > 20, qPrintable(box(name)->toolTip()));
    }
}

// A value that the controller cannot hold is sent only when the operator
// says so; cancelled, nothing reaches the line.
void tst_WindowLink::uploadAsksBeforeCutValues()
{
    box("Text1_4")->setText("256");
    click("Command1");
    click("Command2");
    QMessageBox *question = shown("sendConfirmation");
    QVERIFY(question);
    QVERIFY2(question->text().contains(QStringLiteral("赤経 総ステップ数")),
             qPrintable(question->text()));
    QCOMPARE(question->defaultButton(), question->button(QMessageBox::Cancel));
    question->button(QMessageBox::Cancel)->click();
    QVERIFY(!runner()->is_running());
    QCOMPARE(m_line->read_all(), QByteArray());
    QVERIFY(button("Command2")->isEnabled());

    bool asked = false;
    QVERIFY(click_and_finish("Command2", &asked));
    QVERIFY(asked);
    const QStringList frames = PtyLine::bodies(m_line->read_all());
    QCOMPARE(frames, upload_bodies(calculated(calc::kClock2MHz, {"240", "2", "200", "10", "256"})));
    QCOMPARE(frames[105], QStringLiteral("&XRA00A60000"));
}

void tst_WindowLink::frameBreakerRefused()
{
    click("Command1");
    box("Text8_0")->setText("#");
    const int beeps = app::beep_count();
    click("Command2");
    QVERIFY(!shown("sendConfirmation"));
    QVERIFY(!runner()->is_running());
    QVERIFY(m_window->findChild<QMessageBox *>("sendRefused"));
    QVERIFY2(m_window->findChild<QMessageBox *>("sendRefused")->text().contains("テーブル 01"),
             qPrintable(m_window->findChild<QMessageBox *>("sendRefused")->text()));
    QCOMPARE(app::beep_count(), beeps + 1);
    QCOMPARE(m_line->read_all(), QByteArray());
}

void tst_WindowLink::clockSwitchedAsks()
{
    click("Command1");
    QTest::mouseClick(m_window->findChild<QRadioButton *>("Option1_1"), Qt::LeftButton);
    QCOMPARE(sendProblem("Text8_0"), QStringLiteral("stale"));
    QCOMPARE(sendProblem("Text11"), QString()); // a total does not depend on the clock
    click("Command2");
    QMessageBox *question = shown("sendConfirmation");
    QVERIFY(question);
    question->button(QMessageBox::Cancel)->click();
    QCOMPARE(m_line->read_all(), QByteArray());
}

void tst_WindowLink::singleCommandBeforeCalculateSendsNothing_data()
{
    QTest::addColumn<QByteArray>("button");
    for (const char *name : {"Command3", "Command4", "Command5", "Command6", "Command7"})
        QTest::newRow(name) << QByteArray(name);
}

void tst_WindowLink::singleCommandBeforeCalculateSendsNothing()
{
    QFETCH(QByteArray, button);
    const int beeps = app::beep_count();
    click(button.constData());
    QVERIFY(!runner()->is_running());
    QVERIFY(!shown("sendConfirmation"));
    QCOMPARE(app::beep_count(), beeps + 1);
    QVERIFY2(status().contains(QStringLiteral("計算")), qPrintable(status()));
    QCOMPARE(m_line->read_all(), QByteArray());
    QCOMPARE(box("Text11")->text(), QStringLiteral("0"));
}

QTEST_MAIN(tst_WindowLink)
void tst_WindowLink::windowGoesWhileBusy_data()
{
    QTest::addColumn<bool>("held");
    QTest::newRow("port text typed, not picked") << false;
    QTest::newRow("and an upload held at its question") << true;
}

// The window going while the port box holds typed text with the focus, and
// perhaps an upload waits on a question: hiding it takes the focus away,
// which the port box reads as a commit, yet nothing of the window may act
// on that any more: no PARAM.DAT, no beep, no frame after it.
void tst_WindowLink::windowGoesWhileBusy()
{
    QFETCH(bool, held);
    click("Command1");
    if (held) {
        m_time->set_on_move([&] {
            if (m_time->moves() != 10)
                return;
            QTest::mouseClick(m_window->findChild<QRadioButton *>("Option1_1"), Qt::LeftButton);
            click("Command1"); // values for the other clock: the upload holds
        });
        click("Command2");
        QTRY_VERIFY(runner()->is_held());
        QVERIFY(shown("sendPaused"));
    }
    const int frames = PtyLine::bodies(m_line->read_all()).size();
    QCOMPARE(frames, held ? 10 : 0);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QLineEdit *typed = m_window->findChild<QComboBox *>("Combo1")->lineEdit();
    typed->setFocus();
    QTRY_VERIFY(typed->hasFocus());
    typed->clear();
    QTest::keyClicks(typed, QStringLiteral("Com3")); // an entry's text
    const int beeps = app::beep_count();
    m_window.reset();
    QTest::qWait(50); // whatever the going window left queued runs now
    QVERIFY(!QFile::exists(QDir(m_dir->path()).filePath("PARAM.DAT")));
    QCOMPARE(app::beep_count(), beeps);
    QVERIFY(PtyLine::bodies(m_line->read_all()).isEmpty());
}

#include "tst_window_link.moc"
