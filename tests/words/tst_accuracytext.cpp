#include "accuracytext.h"
#include "calctexts.h"

#include <QTest>

using namespace calc;

// The words the window and the command line put on the core's facts.

class tst_AccuracyText : public QObject {
    Q_OBJECT

private slots:
    void failureMessages_data();
    void failureMessages();
    void problemSummary_data();
    void problemSummary();
    void formatted_data();
    void formatted();
};

// Each names the axis, the place (the total, a row with its number or a
// rate) and the cause, with the offending value where there is one.
void tst_AccuracyText::failureMessages_data()
{
    QTest::addColumn<QStringList>("ra");
    QTest::addColumn<QStringList>("dec");
    QTest::addColumn<QString>("message");
    const QStringList ra{"240", "2", "200", "10", "16"};
    const QStringList dec{"144", "2.5", "200", "10", "16"};
    QTest::newRow("RA product overflows")
        << QStringList{"1e300", "1e300", "200", "10", "16"} << dec
        << "赤経: 入力の積（総ステップ数）が数値の範囲を超えるか、数値になりません。"
           "ウォーム・ギア比・モーター・ﾏｲｸﾛｽﾃｯﾌﾟの値を確かめてください。";
    QTest::newRow("RA empty box gives zero total")
        << QStringList{"240", "2", "", "10", "16"} << dec
        << "赤経: 総ステップ数が 0 のため分周値を計算できません。"
           "空欄や数値でない入力欄がないか確かめてください。";
    QTest::newRow("RA total too small for the solar rate")
        << QStringList{"1e-320", "1", "1", "1", "1"} << dec
        << "赤経: 太陽時の分周値が大きすぎて計算できません（総ステップ数が小さすぎます）。";
    QTest::newRow("RA total beyond 32 bits")
        << QStringList{"240", "2", "200", "10", "10000"} << dec
        << "赤経: 総ステップ数（9600000000）が 32 ビット整数の範囲に収まりません。";
    QTest::newRow("DEC total too small for row 01")
        << ra << QStringList{"1e-320", "1", "1", "1", "1"}
        << "赤緯: テーブル 01 の分周値が大きすぎて計算できません（総ステップ数が小さすぎます）。";
    QTest::newRow("DEC row 01 beyond 32 bits")
        << ra << QStringList{"1", "1", "1", "1", "1"}
        << "赤緯: テーブル 01 の分周値（344656000000）が 32 ビット整数の範囲に収まりません。";
}

void tst_AccuracyText::failureMessages()
{
    QFETCH(QStringList, ra);
    QFETCH(QStringList, dec);
    QFETCH(QString, message);
    CalcInput input;
    input.ra = drive_train(ra);
    input.dec = drive_train(dec);
    const CalcResult result = calculate(input);
    QVERIFY(std::holds_alternative<CalcFailure>(result));
    QCOMPARE(qs(app::failure_message(std::get<CalcFailure>(result))), message);
}

// The command line's warning and the first line of the window's tooltip.
void tst_AccuracyText::problemSummary_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("summary");
    const QStringList raDefault{"240", "2", "200", "10", "16"};
    QTest::newRow("too large, the slow clock fits")
        << 2000000 << QStringList{"100", "1", "200", "10", "5"} << 0 << "4250"
        << "赤経 テーブル 01: 分周値 344656 は 4 桁の16進数に収まりません（上位桁が失われます）。"
           "250 kHz の基本クロックにすると 43082 で収まります。";
    QTest::newRow("too large, a larger microstep fits")
        << 2000000 << QStringList{"100", "1", "200", "1", "5"} << 0 << "9720"
        << "赤経 テーブル 01: 分周値 3446560 は 4 桁の16進数に収まりません（上位桁が失われます）。"
           "ﾏｲｸﾛｽﾃｯﾌﾟを 263 にすると 65524 で収まります。";
    QTest::newRow("too large, nothing simple fits")
        << 250000 << QStringList{"1000", "1", "1000", "20", "0.01"} << 0 << "4972"
        << "赤経 テーブル 01: 分周値 215410 は 4 桁の16進数に収まりません（上位桁が失われます）。"
           "基本クロックやﾏｲｸﾛｽﾃｯﾌﾟを変えるだけでは収まりません。駆動系の値を確かめてください。";
    QTest::newRow("negative solar rate")
        << 2000000 << QStringList{"-240", "2", "200", "10", "16"} << 50 << "D40E"
        << "赤経 太陽時: 分周値 -11250 が負です。コントローラーは負の分周値を数えられません。"
           "入力の符号を確かめてください。";
    QTest::newRow("edited to 0000")
        << 2000000 << raDefault << 3 << "0000"
        << "赤経 テーブル 04: 送られる分周値が 0000 です。コントローラーは 0 で分周できません。";
    QTest::newRow("rounds to zero")
        << 2000000 << QStringList{"1e9", "1", "1", "1", "16"} << 49 << "0000"
        << "赤経 テーブル 50: 分周値が 0 に丸められます（速度が速すぎます）。"
           "コントローラーは 0 で分周できません。";
    QTest::newRow("not hexadecimal") << 2000000 << raDefault << 52 << "12２"
                                     << "赤経 Kingslate: 送られる「012?」は16進数ではありません。";
}

void tst_AccuracyText::problemSummary()
{
    QFETCH(int, clock);
    QFETCH(QStringList, inputs);
    QFETCH(int, index);
    QFETCH(QString, hex);
    QFETCH(QString, summary);
    const EntryAccuracy e =
        entry_accuracy(clock, drive_train(inputs), Axis::Ra, index, hex.toStdString());
    QVERIFY(e.problem);
    QCOMPARE(qs(app::problem_summary(e)), summary);
}

void tst_AccuracyText::formatted_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<bool>("ra");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QStringList>("tooltip");
    QTest::addColumn<QStringList>("notInTooltip");
    QTest::addColumn<QStringList>("report");
    const QStringList raDefault{"240", "2", "200", "10", "16"};
    const QStringList decDefault{"144", "2.5", "200", "10", "16"};
    QTest::newRow("RA 04") << 2000000 << raDefault << true << 3 << "2BD3"
                           << QStringList{"赤経 テーブル 04", "倍率 1（恒星時）", "178.2647 Hz",
                                          "178.2690 Hz",      "+24.1 ppm",        "+1.31″/時"}
                           << QStringList{}
                           << QStringList{"178.2647", "178.2690", "+24.14", "+1.31"};
    QTest::newRow("RA 10 without drift")
        << 2000000 << raDefault << true << 9 << "0AF5"
        << QStringList{"テーブル 10", "倍率 4", "-65.0 ppm"} << QStringList{"ドリフト", "恒星時"}
        << QStringList{"713.0588", "-64.99"};
    QTest::newRow("DEC 01") << 2000000 << decDefault << false << 0 << "74DE"
                            << QStringList{"赤緯 テーブル 01", "倍率 0.5", "+1.9 ppm", "+0.05″/時"}
                            << QStringList{} << QStringList{"66.8493", "+1.86", "+0.05"};
    QTest::newRow("solar shows an unsigned zero")
        << 2000000 << raDefault << true << 50 << "2BF2"
        << QStringList{"赤経 太陽時", " 0.0 ppm", " 0.00″/時"} << QStringList{"+0.0", "-0.0"}
        << QStringList{"177.7778"};
    QTest::newRow("lunar") << 2000000 << raDefault << true << 51 << "2D80"
                           << QStringList{"月時", "-18.3 ppm", "-0.96″/時"} << QStringList{}
                           << QStringList{"-18.33", "-0.96"};
    QTest::newRow("250 kHz fix") << 2000000 << QStringList{"100", "1", "200", "10", "5"} << true
                                 << 0 << "4250"
                                 << QStringList{"赤経 テーブル 01", "344656", "250 kHz", "43082",
                                                "117.8134 Hz"}
                                 << QStringList{"ppm"}
                                 << QStringList{"divisor 344656 > FFFF; 250 kHz gives 43082"};
    QTest::newRow("microstep fix")
        << 2000000 << QStringList{"100", "1", "200", "1", "5"} << true << 0 << "9720"
        << QStringList{"ﾏｲｸﾛｽﾃｯﾌﾟを 263", "65524"} << QStringList{"250 kHz"}
        << QStringList{"microstep 263 gives 65524"};
    QTest::newRow("no fix") << 250000 << QStringList{"1000", "1", "1000", "20", "0.01"} << true << 0
                            << "4972" << QStringList{"215410", "駆動系"}
                            << QStringList{"収まります"} << QStringList{"no simple fit"};
    QTest::newRow("negative") << 2000000 << QStringList{"-240", "2", "200", "10", "16"} << true << 0
                              << "A859" << QStringList{"-22439", "負"} << QStringList{}
                              << QStringList{"divisor -22439 negative"};
    QTest::newRow("sent zero") << 2000000 << raDefault << true << 3 << "0000"
                               << QStringList{"テーブル 04", "0000"} << QStringList{"実際"}
                               << QStringList{"divisor 0"};
    QTest::newRow("not hexadecimal")
        << 2000000 << raDefault << true << 52 << "12２" << QStringList{"Kingslate", "「012?」"}
        << QStringList{} << QStringList{R"(sends "012?": not hex)"};
}

void tst_AccuracyText::formatted()
{
    QFETCH(int, clock);
    QFETCH(QStringList, inputs);
    QFETCH(bool, ra);
    QFETCH(int, index);
    QFETCH(QString, hex);
    QFETCH(QStringList, tooltip);
    QFETCH(QStringList, notInTooltip);
    QFETCH(QStringList, report);
    const EntryAccuracy e = entry_accuracy(clock, drive_train(inputs), ra ? Axis::Ra : Axis::Dec,
                                           index, hex.toStdString());
    const QString tip = qs(app::accuracy_tooltip(e));
    for (const QString &part : tooltip)
        QVERIFY2(tip.contains(part), qPrintable(part + " not in: " + tip));
    for (const QString &part : notInTooltip)
        QVERIFY2(!tip.contains(part), qPrintable(part + " in: " + tip));

    const std::string columns = app::report_columns(e);
    for (const QString &part : report)
        QVERIFY2(qs(columns).contains(part), qPrintable(part + " not in: " + qs(columns)));
    for (const char c : columns + app::report_header())
        QVERIFY2(static_cast<unsigned char>(c) < 0x80, columns.c_str());
}

QTEST_APPLESS_MAIN(tst_AccuracyText)
#include "tst_accuracytext.moc"
