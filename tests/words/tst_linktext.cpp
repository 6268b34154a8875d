#include "detectedports.h"
#include "filetext.h"
#include "linktext.h"
#include "porttext.h"
#include "systemtext.h"

#include <QTest>

#include <cerrno>
#include <cstring>

using rwlink::LinkFailure;

Q_DECLARE_METATYPE(files::WriteOutcome)

class tst_LinkText : public QObject {
    Q_OBJECT

private slots:
    void systemReasons_data();
    void systemReasons();
    void linkFailures_data();
    void linkFailures();
    void refusedDevice_data();
    void refusedDevice();
    void totalOutOfRange();
    void fileReasons_data();
    void fileReasons();
};

void tst_LinkText::systemReasons_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QSerialPort::SerialPortError>("serial");
    QTest::addColumn<QString>("expected");
    QTest::newRow("file too large")
        << EFBIG << QSerialPort::WriteError << QStringLiteral("ファイルが大きすぎます");
    QTest::newRow("a link loop, not a missing file")
        << ELOOP << QSerialPort::DeviceNotFoundError
        << QStringLiteral("シンボリックリンクが循環しているか、多すぎます");
    QTest::newRow("Inappropriate ioctl: a file, no tty")
        << ENOTTY << QSerialPort::UnknownError << QStringLiteral("シリアルポートではありません");
    QTest::newRow("an unknown number: Qt's class")
        << 200 << QSerialPort::WriteError << QStringLiteral("書き込めません");
    QTest::newRow("an unknown number, no class: framed")
        << 200 << QSerialPort::UnknownError
        << QStringLiteral("システムのエラー (errno 200) (%1)")
               .arg(QString::fromLocal8Bit(std::strerror(200)));
    QTest::newRow("Qt's own words for a lock file taken")
        << 0 << QSerialPort::PermissionError << QStringLiteral("使用中か、権限がありません");
    QTest::newRow("no number, nothing known")
        << 0 << QSerialPort::UnknownError << QStringLiteral("原因不明のエラー");
}

// A serial failure is said in Japanese whatever Qt or the system wrote; the
// system's own words for a file come only framed, after the number.
void tst_LinkText::systemReasons()
{
    QFETCH(int, error);
    QFETCH(QSerialPort::SerialPortError, serial);
    QFETCH(QString, expected);
    QCOMPARE(app::serial_reason_text(serial, error), expected);
    const QString own = QStringLiteral("Some system words");
    const QString file = app::system_reason_text(error, own);
    if (error == 200)
        QCOMPARE(file, QStringLiteral("システムのエラー (errno 200) (Some system words)"));
    else if (error == 0)
        QCOMPARE(file, QStringLiteral("システムのエラー (Some system words)"));
    else
        QCOMPARE(file, expected);
}

void tst_LinkText::linkFailures_data()
{
    QTest::addColumn<LinkFailure::Kind>("kind");
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("open, a port name")
        << LinkFailure::Kind::Open << 3
        << QStringList{"ポート Com3 (/dev/x)", "を開けませんでした", "(権限がありません)"};
    QTest::newRow("write, a device path")
        << LinkFailure::Kind::Write << 0
        << QStringList{"デバイス /dev/x", "に書き込めませんでした", "(権限がありません)"};
    QTest::newRow("lost") << LinkFailure::Kind::Lost << 20
                          << QStringList{"ポート Com20 (/dev/x)", "接続が切れました",
                                         "(権限がありません)", "電源を確かめて"};
    QTest::newRow("hung up: the cause, not the stale reason")
        << LinkFailure::Kind::HungUp << 1
        << QStringList{"ポート Com1 (/dev/x)", "(回線が切られました)"};
}

void tst_LinkText::linkFailures()
{
    QFETCH(LinkFailure::Kind, kind);
    QFETCH(int, port);
    QFETCH(QStringList, parts);
    QVERIFY(app::link_failure_text(std::nullopt).isEmpty());
    const LinkFailure failure{kind,
                              port,
                              QStringLiteral("/dev/x"),
                              QSerialPort::PermissionError,
                              EACCES,
                              QStringLiteral("Permission denied")};
    const QString text = app::link_failure_text(failure);
    for (const QString &part : parts)
        QVERIFY2(text.contains(part), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("Permission denied")), qPrintable(text));
    // Both faces word an action's failure the same way: the port that did
    // not open comes first, the link's report otherwise.
    rwlink::ActionResult result;
    result.failure = failure;
    QCOMPARE(app::action_failure_text(result, {}, false), text);
    result.open_failure = rwlink::OpenFailure{rwlink::OpenFailure::Kind::Missing, {}, {}, ENOENT};
    result.open_failure->mapping.device = QStringLiteral("/dev/rw7300-gone");
    QCOMPARE(app::action_failure_text(result, {}, true),
             app::open_failure_text(*result.open_failure, {}, true));
    QVERIFY(app::action_failure_text(result, {}, true).contains("/dev/rw7300-gone"));
}

void tst_LinkText::refusedDevice_data()
{
    using rwlink::GroupMembership;
    QTest::addColumn<GroupMembership>("group");
    QTest::addColumn<QString>("said"); // in the line, the whole and the message
    QTest::addColumn<QString>("unsaid");
    QTest::newRow("not in dialout")
        << GroupMembership::NotMember << "sudo usermod -aG dialout $USER"
        << "入っています";
    QTest::newRow("in the database, not in this login")
        << GroupMembership::NextLogin
        << "dialout グループには入っていますが、ログインし直すまで効きません"
        << "usermod";
    QTest::newRow("in this login, still refused")
        << GroupMembership::InLogin << "グループでも開けません"
        << "usermod";
}

// A refused adapter is named as the operator knows it, not by its by-id
// name, with the advice for where they stand with the dialout group.
void tst_LinkText::refusedDevice()
{
    QFETCH(rwlink::GroupMembership, group);
    QFETCH(QString, said);
    QFETCH(QString, unsaid);
    const rwlink::PortMapping m{3,
                                kAdapterStableName,
                                rwlink::PortSource::Assigned,
                                rwlink::Presence::Detected,
                                usb_adapter("/dev/ttyUSB0", kAdapterStableName),
                                EACCES,
                                group};
    QCOMPARE(app::port_status_text(m), app::access_problem_line(m));
    for (const QString &text :
         {app::access_problem_line(m), app::access_problem_text(m), app::access_refusal_text(m)})
        QVERIFY2(text.contains("/dev/ttyUSB0") && !text.contains("by-id") && text.contains(said) &&
                     !text.contains(unsaid),
                 qPrintable(text));
}

void tst_LinkText::totalOutOfRange()
{
    const QString text = app::total_out_of_range_text(QStringLiteral(" 4294967296 "));
    QVERIFY2(text.contains(QStringLiteral("総ステップ数 4294967296 が 32 ビット")),
             qPrintable(text));
}

void tst_LinkText::fileReasons_data()
{
    QTest::addColumn<files::WriteOutcome>("outcome");
    QTest::addColumn<QString>("expected");
    // What the system or Qt said, with the number it gave.
    const auto said = [](int error, const QString &reason) {
        return files::WriteOutcome(false, reason, files::WriteFault::System,
                                   files::checked_system_error(error, reason));
    };
    QTest::newRow("the system's words for its number")
        << said(ENOSPC, qt_error_string(ENOSPC)) << QStringLiteral("空き容量がありません");
    QTest::newRow("no words given: the number alone")
        << said(EACCES, QString()) << QStringLiteral("権限がありません");
    QTest::newRow("Qt's own words: a stale number is not the cause")
        << said(ENOSPC, QStringLiteral("Could not create the temporary file"))
        << QStringLiteral("システムのエラー (Could not create the temporary file)");
    QTest::newRow("no number") << said(0, QStringLiteral("Odd"))
                               << QStringLiteral("システムのエラー (Odd)");
    using std::chrono::milliseconds;
    files::WriteOutcome kept(false, {}, files::WriteFault::Locked, 0);
    kept.holder = {4242, {}, milliseconds(5230), milliseconds(5260), 1};
    QTest::newRow("a store's lock kept by one process")
        << kept
        << QStringLiteral("ほかの rw7300-speedtable (プロセス 4242) が 5.2 秒間変更したまま"
                          "終わりません。しばらくしてからやり直してください");
    kept.holder = {4243, {}, milliseconds(40), milliseconds(30010), 312};
    QTest::newRow("a store's lock passed on until the wait ran out")
        << kept
        << QStringLiteral("ほかの rw7300-speedtable が次々に変更していて (312 回交代)、30.0 秒"
                          "待っても順番が来ません。しばらくしてからやり直してください");
}

// A write that the system refused says why in Japanese when the table knows
// the number, and only when the reason given really is that number's; a
// lock not had says who kept it, and how.
void tst_LinkText::fileReasons()
{
    QFETCH(files::WriteOutcome, outcome);
    QFETCH(QString, expected);
    QCOMPARE(app::write_failure_text(outcome), expected);
}

QTEST_GUILESS_MAIN(tst_LinkText)
#include "tst_linktext.moc"
