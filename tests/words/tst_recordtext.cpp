// The send record in words: an action summed up in one piece of a line,
// and the count of values that differ from what the device holds.

#include "recordtext.h"

#include <QTest>

using files::SendRecord;

namespace {

SendRecord record(int sent, int planned, SendRecord::Result result, const QString &mount)
{
    SendRecord r;
    r.ended = QDateTime(QDate(2026, 12, 7), QTime(21, 14, 30));
    r.started = r.ended.addSecs(-17);
    for (int i = 0; i < sent; ++i)
        r.commands << QStringLiteral("=SD");
    r.planned = planned;
    r.result = result;
    r.mount_name = mount;
    return r;
}

} // namespace

class tst_RecordText : public QObject {
    Q_OBJECT

private slots:
    void summary_data();
    void summary();
    void difference_data();
    void difference();
    void reason_data();
    void reason();
};

void tst_RecordText::summary_data()
{
    QTest::addColumn<SendRecord>("record");
    QTest::addColumn<QString>("expected");
    QTest::newRow("full upload with its mount")
        << record(109, 109, SendRecord::Result::Done, "EM-200")
        << QStringLiteral("前回: 12/07 21:14 送信完了 109 個 (EM-200)");
    QTest::newRow("stopped one short, no mount")
        << record(108, 109, SendRecord::Result::Cancelled, "")
        << QStringLiteral("前回: 12/07 21:14 中止 108 / 109 個");
    QTest::newRow("failed before the first")
        << record(0, 3, SendRecord::Result::Failed, "EM-11")
        << QStringLiteral("前回: 12/07 21:14 失敗 0 / 3 個 (EM-11)");
    QTest::newRow("refused value") << record(1, 2, SendRecord::Result::Stopped, "")
                                   << QStringLiteral("前回: 12/07 21:14 停止 1 / 2 個");
}

void tst_RecordText::summary()
{
    QFETCH(SendRecord, record);
    QFETCH(QString, expected);
    recorded::Holds holds;
    QCOMPARE(app::last_action_text(holds), QString());
    holds.actions = 1;
    holds.last = record;
    QCOMPARE(app::last_action_text(holds), expected);
}

void tst_RecordText::reason_data()
{
    using Cause = files::StopReason::Cause;
    QTest::addColumn<QString>("reason");
    QTest::addColumn<std::optional<files::StopReason>>("stop");
    QTest::addColumn<QString>("expected");
    QTest::newRow("an older line's own words, as they are")
        << "ポートが失われました\n(抜かれた)" << std::optional<files::StopReason>()
        << "ポートが失われました (抜かれた)";
    QTest::newRow("completed") << "" << std::optional(files::StopReason{}) << "";
    QTest::newRow("hung up") << "" << std::optional(files::StopReason{Cause::Signal, 0, 1})
                             << "SIGHUP (1) を受けて止めました。";
    QTest::newRow("the operator") << "" << std::optional(files::StopReason{Cause::Operator, 0, 0})
                                  << "操作者が中止しました。";
}

void tst_RecordText::reason()
{
    QFETCH(QString, reason);
    QFETCH(std::optional<files::StopReason>, stop);
    QFETCH(QString, expected);
    SendRecord r = record(3, 109, SendRecord::Result::Cancelled, "");
    r.reason = reason;
    r.stop = stop;
    QCOMPARE(app::record_reason_text(r), expected);
}

void tst_RecordText::difference_data()
{
    QTest::addColumn<int>("actions");
    QTest::addColumn<int>("values");
    QTest::addColumn<int>("differing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing recorded") << 0 << 103 << 103 << QString();
    QTest::newRow("nothing with a value") << 2 << 0 << 0 << QString();
    QTest::newRow("all the same") << 2 << 103 << 0
                                  << QStringLiteral("送る 103 個の値はすべて、コントローラーが保持"
                                                    "しているはずの値 (送信記録) と同じです。");
    QTest::newRow("seven of 103 differ")
        << 1 << 103 << 7
        << QStringLiteral("送る 103 個の値のうち 7 個が、コントローラーが保持"
                          "しているはずの値 (送信記録) と異なります。");
}

void tst_RecordText::difference()
{
    QFETCH(int, actions);
    QFETCH(int, values);
    QFETCH(int, differing);
    QFETCH(QString, expected);
    recorded::Holds holds;
    holds.actions = actions;
    QCOMPARE(app::difference_text(holds, {values, differing}), expected);
}

QTEST_GUILESS_MAIN(tst_RecordText)
#include "tst_recordtext.moc"
