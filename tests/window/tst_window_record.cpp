// The window's side of the send record: every action leaves its record, a
// record that cannot be written is said and stops nothing, the port's line
// names the last action, the values that differ from what the device holds
// are counted before a send, and 「送信記録」 lists the records newest first.

#include "actionrunner.h"
#include "calculate.h"
#include "detectedports.h"
#include "fakeclock.h"
#include "form1.h"
#include "privatesettings.h"
#include "ptyline.h"
#include "scopedenv.h"
#include "sendrecord.h"
#include "uploadbodies.h"

#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <csignal>
#include <memory>

using app::Form1;
using files::SendRecord;

Q_DECLARE_METATYPE(SendRecord::Result)

namespace {

constexpr int kPort = 5; // RW7300_COM5 below

QStringList default_upload()
{
    return upload_bodies(std::get<calc::CalcOutput>(calc::calculate(calc::CalcInput{})));
}

} // namespace

class tst_WindowRecord : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void actionLeavesRecord_data();
    void actionLeavesRecord();
    void unwritableRecord_data();
    void unwritableRecord();
    void portLineNamesLastAction_data();
    void portLineNamesLastAction();
    void differenceBeforeSend_data();
    void differenceBeforeSend();
    void dialogListsNewestFirst();

private:
    QPushButton *button(const char *name) const
    {
        return m_window->findChild<QPushButton *>(QLatin1String(name));
    }
    QMessageBox *shown(const char *objectName) const
    {
        for (QMessageBox *box : m_window->findChildren<QMessageBox *>(QLatin1String(objectName))) {
            if (box->isVisible())
                return box;
        }
        return nullptr;
    }
    rwlink::ActionRunner *runner() const
    {
        return m_window->findChild<rwlink::ActionRunner *>("actionRunner");
    }
    // Clicks, says yes to a question if one comes (its text in asked), and
    // waits for the action's end.
    // By Ctrl+Return for "keys".
    bool send(const char *name, QString *asked = nullptr) const
    {
        QSignalSpy finished(runner(), &rwlink::ActionRunner::finished);
        if (QByteArray(name) == "keys") {
            // The window's keys work once it is active again after a question.
            m_window->activateWindow();
            if (!QTest::qWaitFor([this] { return m_window->isActiveWindow(); }))
                return false;
            QTest::keyClick(m_window.get(), Qt::Key_Return, Qt::ControlModifier);
        } else {
            QTest::mouseClick(button(name), Qt::LeftButton);
        }
        if (QMessageBox *question = shown("sendConfirmation")) {
            if (asked)
                *asked = question->text();
            question->button(QMessageBox::Yes)->click();
        }
        return (!finished.isEmpty() || finished.wait(10000)) && !runner()->is_running();
    }
    QString result_line() const { return m_window->findChild<QLabel *>("statusLine")->toolTip(); }
    QString status_text() const { return m_window->findChild<QLabel *>("statusLine")->text(); }
    QList<SendRecord> records() const { return files::read_records(files::record_path()).records; }
    void open_window()
    {
        m_window = std::make_unique<Form1>(m_dir->path(), m_time.get(), no_devices());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PrivateSettings> m_settings;
    std::unique_ptr<PtyLine> m_line;
    bool m_ended = false; // a signal's stop called the end
    std::unique_ptr<FakeClock> m_time;
    std::unique_ptr<Form1> m_window;
};

void tst_WindowRecord::init()
{
    m_ended = false;
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<PrivateSettings>();
    m_line = std::make_unique<PtyLine>(kPort);
    QVERIFY(m_line->ok());
    m_time = std::make_unique<FakeClock>(1000);
    open_window();
    m_window->findChild<QComboBox *>("Combo1")->setEditText(QStringLiteral("Com%1").arg(kPort));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
}

void tst_WindowRecord::cleanup()
{
    m_window.reset();
    m_time.reset();
    m_line.reset();
    m_settings.reset();
    m_dir.reset();
}

void tst_WindowRecord::actionLeavesRecord_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("trouble"); // "cancel", "hang up" … at move 10, "missing"
    QTest::addColumn<SendRecord::Result>("result");
    QTest::addColumn<int>("planned");
    QTest::addColumn<QString>("cause"); // the record's stop cause
    QTest::newRow("full upload") << QByteArray("Command2") << "" << SendRecord::Result::Done << 109
                                 << "none";
    QTest::newRow("upload stopped by the operator")
        << QByteArray("Command2") << "cancel" << SendRecord::Result::Cancelled << 109 << "operator";
    QTest::newRow("upload stopped by SIGTERM")
        << QByteArray("Command2") << "SIGTERM" << SendRecord::Result::Cancelled << 109 << "signal";
    QTest::newRow("upload failed: line lost") << QByteArray("Command2") << "hang up"
                                              << SendRecord::Result::Failed << 109 << "line_failed";
    // RA × 1 calculated at move 10: the upload waits on 「送信の一時停止」.
    QTest::newRow("upload failed: line lost under the question")
        << QByteArray("Command2") << "hang up when held" << SendRecord::Result::Failed << 109
        << "line_failed";
    QTest::newRow("upload failed: no device") << QByteArray("Command2") << "missing"
                                              << SendRecord::Result::Failed << 109 << "open_failed";
    QTest::newRow("solar rate") << QByteArray("Command3") << "" << SendRecord::Result::Done << 3
                                << "none";
    QTest::newRow("DEC total") << QByteArray("Command7") << "" << SendRecord::Result::Done << 2
                               << "none";
}

void tst_WindowRecord::actionLeavesRecord()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, trouble);
    QFETCH(SendRecord::Result, result);
    QFETCH(int, planned);
    QFETCH(QString, cause);
    std::unique_ptr<ScopedEnv> elsewhere;
    if (trouble == "missing")
        elsewhere = std::make_unique<ScopedEnv>("RW7300_COM5", "/dev/rw7300-no-such-device");
    auto before_hang_up = std::make_shared<QByteArray>(); // the line reads nothing after
    m_time->set_on_move([this, trouble, before_hang_up] {
        if (m_time->moves() != 10)
            return;
        if (trouble == "cancel") {
            runner()->cancel();
        } else if (trouble == "SIGTERM") {
            m_window->stop_for_signal(SIGTERM, [this] { m_ended = !runner()->is_running(); });
        } else if (trouble == "hang up") {
            *before_hang_up = m_line->read_all();
            m_line->hang_up();
        } else if (trouble == "hang up when held") {
            m_window->findChild<QLineEdit *>("Text1_4")->setText("1");
            QTest::mouseClick(this->button("Command1"), Qt::LeftButton);
        }
    });
    connect(
        runner(), &rwlink::ActionRunner::held, this,
        [this, before_hang_up] {
            QVERIFY(shown("sendPaused"));
            *before_hang_up = m_line->read_all();
            m_line->hang_up();
        },
        Qt::QueuedConnection);
    QVERIFY(send(button.constData()));
    QVERIFY(!shown("sendPaused")); // no question left over a dead line
    const QStringList sent = trouble == "missing"
                                 ? QStringList()
                                 : PtyLine::bodies(*before_hang_up + m_line->read_all());
    const QList<SendRecord> all = records();
    QCOMPARE(all.size(), 1);
    const SendRecord &r = all.first();
    QCOMPARE(r.result, result);
    QCOMPARE(r.commands, sent);
    QCOMPARE(r.planned, planned);
    QCOMPARE(r.port, QStringLiteral("Com%1").arg(kPort));
    QCOMPARE(r.device, sent.isEmpty() ? QString() : m_line->path());
    QCOMPARE(r.base_clock, calc::kClock2MHz);
    QVERIFY(r.reason.isEmpty() && r.stop);
    QCOMPARE(files::stop_cause_key(r.stop->cause), cause);
    QCOMPARE(r.stop->system_error != 0, result == SendRecord::Result::Failed);
    QCOMPARE(r.stop->signal, trouble == "SIGTERM" ? SIGTERM : 0);
    if (trouble == "SIGTERM")
        QTRY_VERIFY(m_ended); // the program's end, once the port has drained
    if (button == "Command2" && trouble.isEmpty())
        QCOMPARE(r.commands, default_upload());
    if (result != SendRecord::Result::Done)
        QVERIFY(r.sent() < planned);
    QVERIFY(r.started.isValid() && r.started <= r.ended);
    QVERIFY2(!result_line().contains(QStringLiteral("送信記録を書けません")),
             qPrintable(result_line()));
    QCOMPARE(result_line().contains(QStringLiteral("送信できませんでした")),
             result == SendRecord::Result::Failed);
}

void tst_WindowRecord::unwritableRecord_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<int>("commands");
    QTest::newRow("upload") << QByteArray("Command2") << 109;
    QTest::newRow("lunar rate") << QByteArray("Command4") << 3;
}

void tst_WindowRecord::unwritableRecord()
{
    QFETCH(QByteArray, button);
    QFETCH(int, commands);
    QFile blocker(m_settings->state_path()); // a file where the state folder goes
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(send(button.constData()));
    QCOMPARE(PtyLine::bodies(m_line->read_all()).size(), commands);
    const QString line = result_line();
    QVERIFY2(line.contains(QStringLiteral("完了")), qPrintable(line));
    QVERIFY2(line.contains(QStringLiteral("送信記録を書けませんでした")), qPrintable(line));
    QVERIFY(!runner()->is_running());
}

void tst_WindowRecord::portLineNamesLastAction_data()
{
    QTest::addColumn<bool>("stopped"); // cancelled at move 10: the controller holds a mix
    QTest::addColumn<QString>("last");
    QTest::newRow("whole upload") << false << QStringLiteral("送信完了 109 個");
    QTest::newRow("upload stopped half-way") << true << QStringLiteral("中止 10 / 109 個");
}

void tst_WindowRecord::portLineNamesLastAction()
{
    QFETCH(bool, stopped);
    QFETCH(QString, last);
    QVERIFY2(!status_text().contains(QStringLiteral("前回")), qPrintable(status_text()));
    SendRecord dead; // on another adapter, its program killed mid-upload
    dead.id = QStringLiteral("dead");
    dead.port = QStringLiteral("Com7");
    dead.device = QStringLiteral("/dev/ttyUSB7");
    dead.started = dead.ended = QDateTime::currentDateTime().addSecs(-60);
    dead.planned = 109;
    dead.result = SendRecord::Result::Incomplete;
    QVERIFY(files::append_record(files::record_path(), dead).ok);
    QStringList running; // 「送信記録」 during the upload: results, counts, a mix
    m_time->set_on_move([this, stopped, &running] {
        if (m_time->moves() == 5) {
            QTest::keyClick(m_window.get(), Qt::Key_H, Qt::ControlModifier);
            auto *dialog = m_window->findChild<QDialog *>("recordDialog");
            auto *list = dialog->findChild<QTreeWidget *>("recordList");
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                running << list->topLevelItem(i)->text(3) + ' ' + list->topLevelItem(i)->text(4);
            running << QString::number(dialog->findChildren<QLabel *>("mixedLine").size());
            dialog->reject();
        }
        if (stopped && m_time->moves() == 10)
            runner()->cancel();
    });
    QVERIFY(send("Command2"));
    // Its own record is no run that died, and leaves no mix while it runs.
    QCOMPARE(running, (QStringList{"送信中 … / 109", "途中で途絶 0 / 109", "0"}));
    // At start-up, the line that names the port's device adds the last action.
    const ScopedEnv port(QByteArray("RW7300_COM1"), m_line->path().toLocal8Bit());
    m_window.reset();
    open_window();
    auto *line = m_window->findChild<QLabel *>("statusLine");
    const QString expected =
        QStringLiteral("前回: %1 %2")
            .arg(records().last().ended.toLocalTime().toString("MM/dd HH:mm"), last);
    QVERIFY2(line->toolTip().contains(expected), qPrintable(line->toolTip()));
    // A mix and its fix lead the line, marked, and 「送信記録」 too.
    const QString mix = QStringLiteral("注意: コントローラーの値は混在しています。「送信」し直す");
    QCOMPARE(line->property("marked").toBool(), stopped);
    QCOMPARE(status_text().startsWith(mix), stopped);
    QTest::keyClick(m_window.get(), Qt::Key_H, Qt::ControlModifier);
    QDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = m_window->findChild<QDialog *>("recordDialog")) && dialog->isVisible());
    auto *lead = dialog->findChild<QLabel *>("mixedLine");
    QCOMPARE(lead && lead->property("marked").toBool() && lead->text().startsWith(mix), stopped);
}

void tst_WindowRecord::differenceBeforeSend_data()
{
    QTest::addColumn<bool>("sentBefore");
    QTest::addColumn<QString>("typed");    // into RA row 3 before the second send
    QTest::addColumn<bool>("asking");      // the other clock option, so a question comes
    QTest::addColumn<QString>("expected"); // in the question or the result line; "" none
    // Microstep factors RA, DEC and the clock, calculated by F5 and sent by
    // Ctrl+Return (a question comes when something was sent before).
    QTest::addColumn<QStringList>("setup");
    QTest::newRow("nothing held") << false << "" << false << "" << QStringList();
    QTest::newRow("the same values")
        << true << "" << false << "送る 103 個の値はすべて、コントローラーが保持" << QStringList();
    QTest::newRow("one row typed")
        << true << "1234" << false << "送る 103 個の値のうち 1 個が" << QStringList();
    QTest::newRow("in the question")
        << true << "" << true << "送る 103 個の値のうち" << QStringList();
    QTest::newRow("drive trains changed, nothing held before")
        << false << "" << false << "" << QStringList{"8", "4", "250"};
    QTest::newRow("microsteps and clock changed since the last send")
        << true << "" << false
        << "前回の送信と設定が違います: 赤経 ﾏｲｸﾛｽﾃｯﾌﾟ 16 → 8、赤緯 ﾏｲｸﾛｽﾃｯﾌﾟ 16 → 4、"
           "基本クロック 2 MHz → 250 kHz (ﾏｲｸﾛｽﾃｯﾌﾟはドライバーのスイッチと合わせてください)。"
        << QStringList{"8", "4", "250"};
    QTest::newRow("DEC's microsteps alone")
        << true << "" << false << "前回の送信と設定が違います: 赤緯 ﾏｲｸﾛｽﾃｯﾌﾟ 16 → 8 ("
        << QStringList{"16", "8", "2"};
}

void tst_WindowRecord::differenceBeforeSend()
{
    QFETCH(bool, sentBefore);
    QFETCH(QString, typed);
    QFETCH(bool, asking);
    QFETCH(QString, expected);
    if (sentBefore)
        QVERIFY(send("Command2"));
    m_line->read_all();
    if (!typed.isEmpty()) {
        auto *row = m_window->findChild<QLineEdit *>("Text8_2");
        row->selectAll();
        QTest::keyClicks(row, typed);
    }
    QFETCH(QStringList, setup);
    if (asking)
        QTest::mouseClick(m_window->findChild<QRadioButton *>("Option1_1"), Qt::LeftButton);
    if (!setup.isEmpty()) {
        m_window->findChild<QLineEdit *>("Text1_4")->setText(setup[0]);
        m_window->findChild<QLineEdit *>("Text4_4")->setText(setup[1]);
        QTest::mouseClick(
            m_window->findChild<QRadioButton *>(setup[2] == "250" ? "Option1_1" : "Option1_0"),
            Qt::LeftButton);
        QTest::keyClick(m_window.get(), Qt::Key_F5);
    }
    const bool changed = setup.size() == 3 && setup != QStringList{"16", "16", "2"};
    QString asked;
    QVERIFY(send(setup.isEmpty() ? "Command2" : "keys", &asked));
    QCOMPARE(!asked.isEmpty(), asking || (sentBefore && changed));
    if (!setup.isEmpty()) {
        // The record keeps what this send came from: the next asks nothing.
        QVERIFY2(asked.contains(expected), qPrintable(asked));
        QString again;
        QVERIFY(send("keys", &again));
        QVERIFY2(again.isEmpty(), qPrintable(again));
        return;
    }
    const QString line = result_line();
    if (expected.isEmpty()) {
        QVERIFY2(!line.contains(QStringLiteral("保持している")), qPrintable(line));
        return;
    }
    // Said once: in the question when there is one, else on the result line.
    QVERIFY2((asking ? asked : line).contains(expected), qPrintable(asking ? asked : line));
    QVERIFY2(!asking || !line.contains(QStringLiteral("保持している")), qPrintable(line));
}

void tst_WindowRecord::dialogListsNewestFirst()
{
    SendRecord odd; // says it sent what no run of ours sends
    odd.device = m_line->path();
    odd.started = odd.ended = QDateTime::currentDateTime();
    odd.commands = QStringList{"1#2:", "ZZZZ"};
    odd.planned = 2;
    QVERIFY(files::append_record(files::record_path(), odd).ok);
    QVERIFY(send("Command2"));
    QVERIFY(send("Command5")); // King's rate into RA entry 05
    QTest::keyClick(m_window.get(), Qt::Key_H, Qt::ControlModifier);
    QDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = m_window->findChild<QDialog *>("recordDialog")) && dialog->isVisible());
    auto *list = dialog->findChild<QTreeWidget *>("recordList");
    QCOMPARE(list->topLevelItemCount(), 2);
    const QString heading = dialog->findChild<QLabel *>("recordHeading")->text();
    QVERIFY2(heading.contains(QStringLiteral("記録として読めない 1 行")), qPrintable(heading));
    QCOMPARE(list->topLevelItem(0)->text(4), QStringLiteral("3 / 3"));
    QCOMPARE(list->topLevelItem(1)->text(4), QStringLiteral("109 / 109"));
    QCOMPARE(list->topLevelItem(1)->text(3), QStringLiteral("送信完了"));
    const QString holds = dialog->findChild<QPlainTextEdit *>("holdsView")->toPlainText();
    const QString rate = records().last().commands.first().mid(5);
    // Entry 05 holds the rate: RA row 05 of the upload is no longer held.
    QVERIFY2(holds.contains(rate + QStringLiteral("  ")) &&
                 holds.contains(QStringLiteral("← 赤経 05 はこの値")) &&
                 holds.contains(QStringLiteral("  05  追尾速度 (上記)")),
             qPrintable(holds));
    QVERIFY(!dialog->findChild<QLabel *>("mixedLine")); // a rate is a choice, not a mix
    // The key again raises the one dialog rather than opening another.
    QTest::keyClick(m_window.get(), Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(m_window->findChildren<QDialog *>("recordDialog").size(), 1);
}

QTEST_MAIN(tst_WindowRecord)
#include "tst_window_record.moc"
