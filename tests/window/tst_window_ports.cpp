#include "childprogram.h"
#include "detectedports.h"
#include "fakeclock.h"
#include "form1.h"
#include "portdialog.h"
#include "porttext.h"
#include "portview.h"
#include "ptyline.h"
#include "scopedenv.h"
#include "uploadbodies.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <vector>

using app::Form1;
using rwlink::DetectedPort;

namespace {

QByteArray read_all(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write_file(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

// The window with a fixed list of ports present, its own data directory and
// its own configuration directory, and no RW7300_COMn override.
class tst_WindowPorts : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void dropDownShowsDevices();
    void dialogAssignsAndClears();
    void assignmentSurvivesRestart();
    void restoredPortMissingIsMarked();
    void singleAdapterTakesCom1();
    void assignedAdapterWithoutParam_data();
    void assignedAdapterWithoutParam();
    void openFailureListsPorts_data();
    void openFailureListsPorts();
    void contextMenuOpensDialog();
    void assignedLineReceivesUpload();
    void permissionSaidBeforeSending_data();
    void permissionSaidBeforeSending();
    void typedPathKeptByStableName_data();
    void typedPathKeptByStableName();

private:
    void start_window();
    QString assignments_path() const
    {
        return m_config->filePath(QStringLiteral("rw7300-speedtable/ports.conf"));
    }
    QComboBox *combo() const { return m_window->findChild<QComboBox *>("Combo1"); }
    QString status() const { return m_window->findChild<QLabel *>("statusLine")->text(); }
    QString device_shown(int number) const
    {
        return combo()->itemData(number - 1, app::kDeviceRole).toString();
    }
    app::PortDialog *open_dialog() const
    {
        QTest::mouseClick(m_window->findChild<QToolButton *>("portSettingsButton"), Qt::LeftButton);
        return m_window->findChild<app::PortDialog *>("portDialog");
    }
    QMessageBox *warning() const { return m_window->findChild<QMessageBox *>("linkFailure"); }

    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<ScopedEnv> m_config_env;
    std::vector<std::unique_ptr<ScopedEnv>> m_no_overrides;
    QList<DetectedPort> m_present;
    DeviceFiles m_files;   // /dev besides the ports present
    QStringList m_refused; // devices this user may not open
    rwlink::GroupMembership m_serial_group = rwlink::GroupMembership::NotMember;
    std::unique_ptr<FakeClock> m_time;
    std::unique_ptr<Form1> m_window;
};

void tst_WindowPorts::init()
{
    m_data = std::make_unique<QTemporaryDir>();
    m_config = std::make_unique<QTemporaryDir>();
    m_config_env = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
    for (int n = 1; n <= calc::kPortCount; ++n)
        m_no_overrides.push_back(std::make_unique<ScopedEnv>(
            ("RW7300_COM" + QByteArray::number(n)).constData(), QByteArray()));
    m_present = {usb_adapter("/dev/ttyUSB0", kAdapterStableName), usb_adapter("/dev/ttyUSB1")};
    m_files.clear();
    m_refused.clear();
    m_serial_group = rwlink::GroupMembership::NotMember;
    m_time = std::make_unique<FakeClock>(1000);
}

void tst_WindowPorts::cleanup()
{
    m_window.reset();
    m_time.reset();
    m_no_overrides.clear();
    m_config_env.reset();
    m_config.reset();
    m_data.reset();
}

void tst_WindowPorts::start_window()
{
    m_window.reset();
    m_window = std::make_unique<Form1>(
        m_data->path(), m_time.get(),
        fake_devices([this] { return m_present; }, m_files, m_refused, m_serial_group));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_WindowPorts::dropDownShowsDevices()
{
    QDir().mkpath(m_config->filePath("rw7300-speedtable"));
    QVERIFY(write_file(assignments_path(),
                       "Com3=" + kAdapterStableName.toUtf8() + "\nCom4=/dev/gone\n"));
    start_window();
    for (int n = 1; n <= calc::kPortCount; ++n)
        QCOMPARE(combo()->itemText(n - 1), QStringLiteral("Com%1").arg(n)); // what PARAM.DAT keeps
    // A stable name is shown by where it leads now.
    QCOMPARE(device_shown(3), QStringLiteral("/dev/ttyUSB0 — FT232R USB UART"));
    QCOMPARE(combo()->itemData(2, app::kMissingRole).toBool(), false);
    QCOMPARE(device_shown(4), QStringLiteral("/dev/gone (見つかりません)"));
    QCOMPARE(combo()->itemData(3, app::kMissingRole).toBool(), true);
    QVERIFY(device_shown(5).startsWith("/dev/ttyS4"));

    // The adapter comes back under another number: found again when the list opens.
    m_present = {usb_adapter("/dev/ttyUSB7", kAdapterStableName)};
    combo()->showPopup();
    QCOMPARE(device_shown(3), QStringLiteral("/dev/ttyUSB7 — FT232R USB UART"));
    combo()->hidePopup();
}

void tst_WindowPorts::dialogAssignsAndClears()
{
    start_window();
    combo()->setCurrentIndex(4); // Com5
    app::PortDialog *dialog = open_dialog();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->selected_number(), 5);
    auto *detected = dialog->findChild<QTableWidget *>("detectedTable");
    QCOMPARE(detected->rowCount(), 2);
    QCOMPARE(detected->item(0, 1)->text(), QStringLiteral("FT232R USB UART"));
    QCOMPARE(detected->item(0, 5)->text(), kAdapterStableName);
    auto *mappings = dialog->findChild<QTableWidget *>("mappingTable");
    QCOMPARE(mappings->rowCount(), 20);

    // Picked from the list: kept by its stable name.
    QTest::mouseClick(detected->viewport(), Qt::LeftButton, {},
                      detected->visualItemRect(detected->item(0, 0)).center());
    auto *path = dialog->findChild<QLineEdit *>("devicePath");
    QCOMPARE(path->text(), kAdapterStableName);
    QSignalSpy changed(dialog, &app::PortDialog::assignments_changed);
    QTest::mouseClick(dialog->findChild<QPushButton *>("assignButton"), Qt::LeftButton);
    QCOMPARE(changed.size(), 1);
    QVERIFY2(read_all(assignments_path()).contains("Com5=" + kAdapterStableName.toUtf8() + "\n"),
             read_all(assignments_path()).constData());
    QCOMPARE(device_shown(5), QStringLiteral("/dev/ttyUSB0 — FT232R USB UART"));
    QCOMPARE(mappings->item(4, 1)->text(), kAdapterStableName);
    QVERIFY2(status().contains("/dev/ttyUSB0"), qPrintable(status()));

    // Typed for another port.
    dialog->select_number(9);
    path->setText(QStringLiteral("  /dev/ttyACM0 "));
    QTest::mouseClick(dialog->findChild<QPushButton *>("assignButton"), Qt::LeftButton);
    QVERIFY(read_all(assignments_path()).contains("Com9=/dev/ttyACM0\n"));
    QCOMPARE(device_shown(9), QStringLiteral("/dev/ttyACM0 (見つかりません)"));

    // Cleared: back to the built-in port; the other assignment stays.
    dialog->select_number(5);
    auto *clear = dialog->findChild<QPushButton *>("clearButton");
    QVERIFY(clear->isEnabled());
    QTest::mouseClick(clear, Qt::LeftButton);
    QVERIFY(!read_all(assignments_path()).contains("Com5="));
    QVERIFY(read_all(assignments_path()).contains("Com9=/dev/ttyACM0\n"));
    QVERIFY(device_shown(5).startsWith("/dev/ttyS4"));
    QVERIFY(!clear->isEnabled());
    QCOMPARE(changed.size(), 3);

    // Nothing to assign, or a port name for a device: said, nothing written.
    const QByteArray before = read_all(assignments_path());
    auto *message = dialog->findChild<QLabel *>("portMessage");
    for (const QString &typed : {QString(), QStringLiteral("Com5")}) {
        message->clear();
        path->setText(typed);
        QTest::mouseClick(dialog->findChild<QPushButton *>("assignButton"), Qt::LeftButton);
        QVERIFY2(!message->text().isEmpty(), qPrintable(typed));
        QCOMPARE(read_all(assignments_path()), before);
        QCOMPARE(changed.size(), 3);
    }
    dialog->reject();
}

void tst_WindowPorts::assignmentSurvivesRestart()
{
    start_window();
    combo()->setCurrentIndex(2);
    app::PortDialog *dialog = open_dialog();
    QVERIFY(dialog);
    dialog->findChild<QLineEdit *>("devicePath")->setText("/dev/ttyUSB1");
    dialog->assign();
    dialog->reject();
    m_window.reset();

    start_window();
    QCOMPARE(device_shown(3), QStringLiteral("/dev/ttyUSB1 — FT232R USB UART"));
    // A second adapter and an assignment: no port is taken without asking.
    QVERIFY(device_shown(1).startsWith("/dev/ttyS0"));
}

void tst_WindowPorts::restoredPortMissingIsMarked()
{
    QVERIFY(write_file(QDir(m_data->path()).filePath("PARAM.DAT"), "Com2\r\n"));
    QDir().mkpath(m_config->filePath("rw7300-speedtable"));
    QVERIFY(write_file(assignments_path(), "Com2=" + kAdapterStableName.toUtf8() + "\n"));
    m_present = {usb_adapter("/dev/ttyUSB0")}; // another adapter, not the one assigned
    start_window();
    QCOMPARE(combo()->currentText(), QStringLiteral("Com2"));
    QVERIFY(combo()->property("portMissing").toBool());
    QVERIFY2(status().contains(QStringLiteral("見つかりません")), qPrintable(status()));
    QVERIFY2(combo()->toolTip().contains(kAdapterStableName), qPrintable(combo()->toolTip()));

    // Picking a port that is there takes the mark away.
    m_present = {usb_adapter("/dev/ttyUSB0", kAdapterStableName)};
    combo()->showPopup();
    combo()->hidePopup();
    QVERIFY(!combo()->property("portMissing").toBool());
}

void tst_WindowPorts::singleAdapterTakesCom1()
{
    m_present = {usb_adapter("/dev/ttyUSB0", kAdapterStableName)};
    start_window();
    QCOMPARE(combo()->currentText(), QStringLiteral("Com1"));
    QCOMPARE(device_shown(1), QStringLiteral("/dev/ttyUSB0 — FT232R USB UART"));
    QVERIFY2(status().contains(QStringLiteral("USB")) && status().contains("/dev/ttyUSB0"),
             qPrintable(status()));
    QVERIFY(!combo()->property("portMissing").toBool());
}

void tst_WindowPorts::assignedAdapterWithoutParam_data()
{
    QTest::addColumn<QByteArray>("assigned"); // ports.conf
    QTest::addColumn<QByteArray>("param");    // PARAM.DAT; empty: none
    QTest::addColumn<QString>("opened");
    QTest::newRow("the port of the adapter here")
        << QByteArray("Com3=/dev/ttyUSB1\n") << QByteArray() << "Com3";
    QTest::newRow("PARAM.DAT wins")
        << QByteArray("Com3=/dev/ttyUSB1\n") << QByteArray("Com2\r\n") << "Com2";
    QTest::newRow("the adapter assigned is gone")
        << QByteArray("Com3=/dev/ttyUSB7\n") << QByteArray() << "Com1";
    QTest::newRow("an adapter before a built-in port")
        << QByteArray("Com2=/dev/ttyS0\nCom4=/dev/ttyUSB1\n") << QByteArray() << "Com4";
    QTest::newRow("a built-in port alone")
        << QByteArray("Com5=/dev/ttyS0\n") << QByteArray() << "Com5";
}

// No port picked yet, ports assigned: the window opens on the one whose
// device is here, and writes nothing for it.
void tst_WindowPorts::assignedAdapterWithoutParam()
{
    QFETCH(QByteArray, assigned);
    QFETCH(QByteArray, param);
    QFETCH(QString, opened);
    const QString param_path = QDir(m_data->path()).filePath("PARAM.DAT");
    if (!param.isEmpty())
        QVERIFY(write_file(param_path, param));
    QDir().mkpath(m_config->filePath("rw7300-speedtable"));
    QVERIFY(write_file(assignments_path(), assigned));
    m_present << built_in_port("/dev/ttyS0");
    start_window();
    QCOMPARE(combo()->currentText(), opened);
    QCOMPARE(QFile::exists(param_path), !param.isEmpty());
}

void tst_WindowPorts::openFailureListsPorts_data()
{
    QTest::addColumn<bool>("overridden");
    QTest::newRow("assigned device gone") << false;
    QTest::newRow("override names a missing device") << true;
}

void tst_WindowPorts::openFailureListsPorts()
{
    QFETCH(bool, overridden);
    const QString gone = m_data->filePath("unplugged");
    QDir().mkpath(m_config->filePath("rw7300-speedtable"));
    QVERIFY(write_file(assignments_path(), "Com4=" + gone.toUtf8() + "\n"));
    const ScopedEnv variable("RW7300_COM4",
                             overridden ? (gone + "-too").toLocal8Bit() : QByteArray());
    start_window();
    combo()->setCurrentIndex(3);
    QTest::mouseClick(m_window->findChild<QPushButton *>("Command1"), Qt::LeftButton);
    QTest::mouseClick(m_window->findChild<QPushButton *>("Command2"), Qt::LeftButton);
    QTRY_VERIFY(warning());
    const QString text = warning()->text();
    QVERIFY2(text.contains(overridden ? gone + "-too" : gone), qPrintable(text));
    QVERIFY2(text.contains(
                 QStringLiteral("/dev/ttyUSB0 — FT232R USB UART (FTDI, 0403:6001, S/N A50285BI)")),
             qPrintable(text));
    QVERIFY2(text.contains("/dev/ttyUSB1"), qPrintable(text));
    // The way to the fix in the window; the variable only when it is the cause.
    QVERIFY2(text.contains(QStringLiteral("ポート設定")) != overridden, qPrintable(text));
    QVERIFY2(text.contains("RW7300_COM4") == overridden, qPrintable(text));
}

void tst_WindowPorts::contextMenuOpensDialog()
{
    start_window();
    QLineEdit *edit = combo()->lineEdit();
    emit edit->customContextMenuRequested(QPoint(5, 5));
    QMenu *menu = nullptr;
    QTRY_VERIFY((menu = m_window->findChild<QMenu *>("portMenu")) != nullptr);
    auto *action = menu->findChild<QAction *>("portSettingsAction");
    QVERIFY(action);
    QVERIFY(menu->actions().size() > 2); // the editing actions stay
    action->trigger();
    menu->close();
    QVERIFY(m_window->findChild<app::PortDialog *>("portDialog"));
}

// Assigned from the command line, picked with the keyboard, sent from the
// window: every frame reaches the device.
void tst_WindowPorts::assignedLineReceivesUpload()
{
    PtyLine line(3);
    QVERIFY(line.ok());
    const ScopedEnv no_override("RW7300_COM3", QByteArray()); // PtyLine points Com3 itself
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", m_config->path());
    cli.setProcessEnvironment(env);
    start_program(cli, QStringLiteral(SPEEDTABLE_EXE), {"--set-port", "Com3=" + line.path()});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);

    start_window();
    combo()->setFocus();
    QCOMPARE(combo()->currentText(), QStringLiteral("Com1"));
    QTest::keyClick(combo(), Qt::Key_Down);
    QTest::keyClick(combo(), Qt::Key_Down);
    QCOMPARE(combo()->currentText(), QStringLiteral("Com3"));
    QCOMPARE(read_all(QDir(m_data->path()).filePath("PARAM.DAT")), QByteArray("Com3\r\n"));
    QTest::mouseClick(m_window->findChild<QPushButton *>("Command1"), Qt::LeftButton);
    auto *runner = m_window->findChild<rwlink::ActionRunner *>("actionRunner");
    QSignalSpy finished(runner, &rwlink::ActionRunner::finished);
    QTest::mouseClick(m_window->findChild<QPushButton *>("Command2"), Qt::LeftButton);
    QVERIFY(finished.wait(10000));
    QVERIFY2(!warning(), qPrintable(warning() ? warning()->text() : QString()));
    const QStringList frames = PtyLine::bodies(line.read_all());
    QCOMPARE(frames, upload_bodies(std::get<calc::CalcOutput>(calc::calculate({}))));
}

void tst_WindowPorts::permissionSaidBeforeSending_data()
{
    using rwlink::GroupMembership;
    QTest::addColumn<bool>("alone");   // the adapter is the only one, so Com1's
    QTest::addColumn<bool>("refused"); // this user may not open it
    QTest::addColumn<GroupMembership>("group");
    QTest::newRow("first night: the one adapter, refused")
        << true << true << GroupMembership::NotMember;
    QTest::newRow("after usermod, before a new login")
        << true << true << GroupMembership::NextLogin;
    QTest::newRow("the one adapter, allowed") << true << false << GroupMembership::NotMember;
    QTest::newRow("assigned to Com3, refused, picked")
        << false << true << GroupMembership::NotMember;
    QTest::newRow("assigned to Com3, allowed, picked")
        << false << false << GroupMembership::NotMember;
}

// The line naming the port's device says, before anything is sent, that
// this user may not open it and what to do, at start-up and on a pick: the
// port box and the line marked, the device by the name the operator knows.
// Sending then says the fix instead of opening the device.
void tst_WindowPorts::permissionSaidBeforeSending()
{
    QFETCH(bool, alone);
    QFETCH(bool, refused);
    QFETCH(rwlink::GroupMembership, group);
    PtyLine line(20);
    QVERIFY(line.ok());
    const ScopedEnv no_override("RW7300_COM20", QByteArray()); // PtyLine points Com20 itself
    const QString tty = line.path();
    const QString by_id = m_data->filePath("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    QVERIFY(QFile::link(tty, by_id));
    m_present = {usb_adapter(tty, by_id)};
    if (!alone) {
        m_present << usb_adapter("/dev/ttyUSB1");
        QDir().mkpath(m_config->filePath("rw7300-speedtable"));
        QVERIFY(write_file(assignments_path(), "Com3=" + tty.toUtf8() + "\n"));
    }
    // Root may open anything; the refusal is the stand-in machine's.
    if (refused)
        m_refused << tty << by_id;
    m_serial_group = group;
    start_window();
    // Without PARAM.DAT, the port assigned to the adapter present.
    QCOMPARE(combo()->currentText(), alone ? QStringLiteral("Com1") : QStringLiteral("Com3"));
    auto *status_line = m_window->findChild<QLabel *>("statusLine");
    if (!alone) {
        // Away and back: the mark goes with the port.
        combo()->setFocus();
        QTest::keyClick(combo(), Qt::Key_Up);
        QTest::keyClick(combo(), Qt::Key_Up);
        QCOMPARE(combo()->currentText(), QStringLiteral("Com1"));
        QVERIFY(!status_line->property("marked").toBool());
        QTest::keyClick(combo(), Qt::Key_Down);
        QTest::keyClick(combo(), Qt::Key_Down);
        QCOMPARE(combo()->currentText(), QStringLiteral("Com3"));
    }
    QVERIFY2(status().contains(tty) && !status().contains(by_id), qPrintable(status()));
    if (alone)
        QCOMPARE(device_shown(1).section(' ', 0, 0), tty);
    QCOMPARE(combo()->property("marked").toBool(), refused);
    QCOMPARE(status_line->property("marked").toBool(), refused);
    QVERIFY2(combo()->toolTip().contains(QStringLiteral("dialout")) == refused,
             qPrintable(combo()->toolTip()));
    if (!refused)
        return;
    const QString advice = app::dialout_advice(group);
    QVERIFY2(status_line->toolTip().contains(advice), qPrintable(status_line->toolTip()));
    // As it reads for the usual device, the line fits inside its mark.
    const QString fitted = app::access_problem_line(
        {1, "/dev/ttyUSB0", {}, rwlink::Presence::Detected, {}, EACCES, group});
    QVERIFY(status_line->fontMetrics().horizontalAdvance(fitted) <=
            status_line->contentsRect().width());

    // Nothing opened, nothing written: the fix instead, for 送信 by its key
    // and for a single command.
    QTest::keyClick(m_window.get(), Qt::Key_F5);
    QSignalSpy finished(m_window->findChild<rwlink::ActionRunner *>("actionRunner"),
                        &rwlink::ActionRunner::finished);
    QTest::keyClick(m_window.get(), Qt::Key_Return, Qt::ControlModifier);
    auto *box = m_window->findChild<QMessageBox *>("portRefused");
    QVERIFY(box && box->text().contains(tty) && box->text().contains(advice));
    delete box;
    QTest::mouseClick(m_window->findChild<QPushButton *>("Command3"), Qt::LeftButton);
    QVERIFY(m_window->findChild<QMessageBox *>("portRefused"));
    QCOMPARE(finished.size(), 0);
    QCOMPARE(line.read_all(), QByteArray());
}

void tst_WindowPorts::typedPathKeptByStableName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<bool>("renamed"); // the message says it was kept by another name
    QTest::newRow("location of a detected adapter") << "/dev/ttyUSB0" << kAdapterStableName << true;
    QTest::newRow("link to a detected adapter") << "/dev/mount" << kAdapterStableName << true;
    QTest::newRow("the stable name itself") << kAdapterStableName << kAdapterStableName << false;
    QTest::newRow("adapter without a stable name") << "/dev/ttyUSB1"
                                                   << "/dev/ttyUSB1" << false;
}

// 「ポート設定」 keeps a typed path by the name that survives replugging,
// and says so; its hint shows a name of that form.
void tst_WindowPorts::typedPathKeptByStableName()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QFETCH(bool, renamed);
    m_files = {{"/dev/mount", "/dev/ttyUSB0"}, {"/dev/ttyUSB0", {}}};
    start_window();
    app::PortDialog *dialog = open_dialog();
    QVERIFY(dialog);
    auto *path = dialog->findChild<QLineEdit *>("devicePath");
    QVERIFY2(path->placeholderText().contains(kAdapterStableName),
             qPrintable(path->placeholderText()));
    dialog->select_number(6);
    path->setText(typed);
    QTest::keyClick(path, Qt::Key_Return);
    QVERIFY2(read_all(assignments_path()).contains("Com6=" + kept.toUtf8() + "\n"),
             read_all(assignments_path()).constData());
    const QString message = dialog->findChild<QLabel *>("portMessage")->text();
    const QString said =
        typed + QStringLiteral(" は ") + kept + QStringLiteral(" として保存しました");
    QVERIFY2(message.contains(said) == renamed, qPrintable(message));

    // With no stable name present, the hint still shows the form.
    m_present = {usb_adapter("/dev/ttyUSB1")};
    QTest::mouseClick(dialog->findChild<QPushButton *>("refreshButton"), Qt::LeftButton);
    QVERIFY2(path->placeholderText().contains("/dev/serial/by-id/"),
             qPrintable(path->placeholderText()));
    QVERIFY(!path->placeholderText().contains(kAdapterStableName));
    dialog->reject();
}

QTEST_MAIN(tst_WindowPorts)
#include "tst_window_ports.moc"
