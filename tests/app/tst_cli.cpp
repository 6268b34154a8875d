#include "scopedenv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(SPEEDTABLE_EXE), arguments);
    Run r;
    if (!process.waitForFinished(30000))
        return r;
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
    return r;
}

// A row or rate object without its accuracy figures and send check: the box
// texts alone.
QJsonObject boxes(QJsonObject o)
{
    o.remove(QStringLiteral("accuracy"));
    o.remove(QStringLiteral("send"));
    return o;
}

QJsonObject json(const QStringList &extra)
{
    const Run r = run(QStringList{QStringLiteral("--calculate"), QStringLiteral("--json")} + extra);
    if (r.exitCode != 0)
        return {};
    return QJsonDocument::fromJson(r.out).object();
}

} // namespace

class tst_Cli : public QObject {
    Q_OBJECT

private slots:
    void jsonDefaults();
    void jsonOptions_data();
    void jsonOptions();
    void report();
    void malformedOptions_data();
    void malformedOptions();
    void calculationFailure();
    void version();
    void listing();
    void accuracyColumns();
    void uploadToMissingPort_data();
    void uploadToMissingPort();
    void sendClassification_data();
    void sendClassification();
    void sendWarnings_data();
    void sendWarnings();
    void helpNamesForce();
};

void tst_Cli::jsonDefaults()
{
    const QJsonObject o = json({});
    QCOMPARE(o.value("base_clock").toInt(), 2000000);
    const QJsonObject ra = o.value("ra").toObject();
    QCOMPARE(ra.value("total").toString(), QStringLiteral(" 15360000"));
    QCOMPARE(ra.value("reference").toString(), QStringLiteral(" 178"));
    QCOMPARE(ra.value("total_hex").toString(), QStringLiteral("EA6000"));
    const QJsonArray rows = ra.value("rows").toArray();
    QCOMPARE(rows.size(), 50);
    QCOMPARE(boxes(rows.at(0).toObject()), (QJsonObject{{"decimal", " 22438"}, {"hex", "57A7"}}));
    QCOMPARE(boxes(rows.at(49).toObject()), (QJsonObject{{"decimal", " 44"}, {"hex", "002D"}}));
    const QJsonObject rates = ra.value("rates").toObject();
    QCOMPARE(boxes(rates.value("solar").toObject()),
             (QJsonObject{{"decimal", " 11250"}, {"hex", "2BF2"}}));
    QCOMPARE(boxes(rates.value("lunar").toObject()),
             (QJsonObject{{"decimal", " 11647"}, {"hex", "2D80"}}));
    QCOMPARE(boxes(rates.value("king").toObject()),
             (QJsonObject{{"decimal", " 11222"}, {"hex", "2BD7"}}));
    const QJsonObject dec = o.value("dec").toObject();
    QCOMPARE(dec.value("total").toString(), QStringLiteral(" 11520000"));
    QCOMPARE(dec.value("total_hex").toString(), QStringLiteral("AFC800"));
    QVERIFY(!dec.contains("rates"));
    QCOMPARE(boxes(dec.value("rows").toArray().at(0).toObject()),
             (QJsonObject{{"decimal", " 29918"}, {"hex", "74DE"}}));
}

void tst_Cli::jsonOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path"); // axis/field or axis/row
    QTest::addColumn<QString>("expected");
    QTest::newRow("250kHz") << QStringList{"--clock", "250kHz"} << "ra/0"
                            << "0AF5";
    QTest::newRow("clock spelt loosely") << QStringList{"--clock", "250 KHZ"} << "ra/0"
                                         << "0AF5";
    QTest::newRow("2,5 cannot be typed; 2 gives 9216000")
        << QStringList{"--dec", "144,2,200,10,16"} << "dec/total"
        << " 9216000";
    QTest::newRow("1000000 total") << QStringList{"--ra", "100,1,200,10,5"} << "ra/0"
                                   << "4250";
    QTest::newRow("microstep 32 wraps") << QStringList{"--ra", "240,2,200,10,32"} << "ra/total_hex"
                                        << "D4C000";
    QTest::newRow("values read leniently") << QStringList{"--ra", " 240x,2,200,10,16"} << "ra/total"
                                           << " 15360000";
}

void tst_Cli::jsonOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const QJsonObject axis = json(arguments).value(path.section('/', 0, 0)).toObject();
    const QString field = path.section('/', 1);
    bool isRow = false;
    const int row = field.toInt(&isRow);
    const QString got =
        isRow ? axis.value("rows").toArray().at(row).toObject().value("hex").toString()
              : axis.value(field).toString();
    QCOMPARE(got, expected);
}

void tst_Cli::report()
{
    const Run r = run({QStringLiteral("--calculate")});
    QCOMPARE(r.exitCode, 0);
    const QString text = QString::fromUtf8(r.out);
    QVERIFY(text.contains(QStringLiteral("EA6000")));
    QVERIFY(text.contains(QStringLiteral("AFC800")));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("\\b01 +0\\.5 +22438 +57A7\\b"))));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("\\b50 +250 +59 +003C\\b"))));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("lunar.* 11647 +2D80"))));
    QVERIFY(r.err.isEmpty());
}

void tst_Cli::malformedOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown clock") << QStringList{"--calculate", "--clock", "3MHz"};
    QTest::newRow("four values") << QStringList{"--calculate", "--ra", "240,2,200,10"};
    QTest::newRow("six values") << QStringList{"--calculate", "--dec", "1,2,3,4,5,6"};
    QTest::newRow("unknown option") << QStringList{"--calculate", "--speed"};
    QTest::newRow("option without --calculate") << QStringList{"--json", "--help-me"};
    QTest::newRow("stray argument") << QStringList{"--calculate", "extra"};
    QTest::newRow("force without upload") << QStringList{"--calculate", "--force"};
}

void tst_Cli::malformedOptions()
{
    QFETCH(QStringList, arguments);
    const Run r = run(arguments);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.contains("--calculate"));
}

void tst_Cli::calculationFailure()
{
    const Run r = run({"--calculate", "--json", "--dec", "144,abc,200,10,16"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.out.isEmpty());
    const QString err = QString::fromUtf8(r.err);
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.contains(QStringLiteral("赤緯")), qPrintable(err));
}

void tst_Cli::version()
{
    const Run r = run({QStringLiteral("--version")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.trimmed(), QByteArray("rw7300-speedtable 1.02"));
}

void tst_Cli::listing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("listing.txt"));
    Run r = run({"--calculate", "--json", "--clock", "250kHz", "--listing", path});
    QCOMPARE(r.exitCode, 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.count("\r\n"), 111);
    QVERIFY(bytes.contains("\r\n#:&RA01=0AF5#\r\n"));

    r = run({"--calculate", "--listing", dir.filePath(QStringLiteral("missing/dir/x.txt"))});
    QCOMPARE(r.exitCode, 3);
    QVERIFY(QString::fromUtf8(r.err).contains(QStringLiteral("x.txt")));
}

// The accuracy figures sit under their own key; the box texts stay as they
// were. RA row 04 worked by hand: asked 15360000 / 86164 = 178.26470 Hz,
// got 2000000 / 11219 = 178.26901 Hz, +24.14 ppm.
void tst_Cli::accuracyColumns()
{
    const QJsonObject ra = json({}).value("ra").toObject();
    const QJsonObject row4 = ra.value("rows").toArray().at(3).toObject();
    QCOMPARE(row4.value("decimal").toString(), QStringLiteral(" 11219"));
    QCOMPARE(row4.value("hex").toString(), QStringLiteral("2BD3"));
    const QJsonObject acc = row4.value("accuracy").toObject();
    QCOMPARE(qRound(acc.value("error_ppm").toDouble() * 100), 2414);
    QVERIFY(qAbs(acc.value("asked_hz").toDouble() - 178.264704517) < 1e-6);
    QVERIFY(acc.value("representable").toBool());

    const QString defaults = QString::fromUtf8(run({"--calculate"}).out);
    QVERIFY2(defaults.contains(QRegularExpression(
                 QStringLiteral("\\b04 +1 +11219 +2BD3 +178\\.2647 +178\\.2690 +\\+24\\.14"))),
             qPrintable(defaults));
    QVERIFY(!defaults.contains(QStringLiteral("warning")));

    const Run r = run({"--calculate", "--ra", "100,1,200,10,5"});
    QCOMPARE(r.exitCode, 0);
    const QString report = QString::fromUtf8(r.out);
    QVERIFY2(report.contains(QRegularExpression(
                 QStringLiteral("warning: 赤経 テーブル 01: .*344656.*250 kHz"))),
             qPrintable(report));
    const QJsonObject wide = json({"--ra", "100,1,200,10,5"})
                                 .value("ra")
                                 .toObject()
                                 .value("rows")
                                 .toArray()
                                 .at(0)
                                 .toObject();
    QCOMPARE(wide.value("hex").toString(), QStringLiteral("4250"));
    QCOMPARE(wide.value("accuracy").toObject().value("problem").toString(),
             QStringLiteral("divisor_too_large"));
}

void tst_Cli::uploadToMissingPort_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("device");
    QTest::newRow("device path") << "/dev/rw7300-none"
                                 << "/dev/rw7300-none";
    QTest::newRow("port name mapped by the environment") << "Com7"
                                                         << "/dev/rw7300-seven";
}

// Nothing can be sent: the exit status says so and the reason names the
// device; the calculation itself is still printed.
void tst_Cli::uploadToMissingPort()
{
    QFETCH(QString, port);
    QFETCH(QString, device);
    const ScopedEnv com7("RW7300_COM7", "/dev/rw7300-seven");
    const Run r = run({"--calculate", "--json", "--upload", port});
    QCOMPARE(r.exitCode, 4);
    QVERIFY(QJsonDocument::fromJson(r.out).isObject());
    const QString err = QString::fromUtf8(r.err);
    QVERIFY2(err.contains(device) && err.contains(QStringLiteral("0 個")), qPrintable(err));
}

void tst_Cli::sendClassification_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path"); // axis/total, axis/<row index> or ra/<rate key>
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("problem"); // empty: null
    const QStringList wideTotal{"--ra", "240,2,200,10,256"};
    const QStringList negative{"--ra", "-240,2,200,10,16"};
    QTest::newRow("clean row") << QStringList{} << "ra/0"
                               << "57A7"
                               << "";
    QTest::newRow("clean rate") << QStringList{} << "ra/lunar"
                                << "2D80"
                                << "";
    QTest::newRow("clean total") << QStringList{} << "dec/total"
                                 << "AFC800"
                                 << "";
    QTest::newRow("total beyond six digits") << wideTotal << "ra/total"
                                             << "A60000"
                                             << "cut_by_width";
    QTest::newRow("other axis stays clean") << wideTotal << "dec/total"
                                            << "AFC800"
                                            << "";
    QTest::newRow("row beyond four digits") << QStringList{"--ra", "100,1,200,10,5"} << "ra/0"
                                            << "4250"
                                            << "cut_by_width";
    QTest::newRow("negative row") << negative << "ra/0"
                                  << "A859"
                                  << "unusable_speed";
    QTest::newRow("negative rate") << negative << "ra/solar"
                                   << "D40E"
                                   << "unusable_speed";
    QTest::newRow("negative total") << negative << "ra/total"
                                    << "15A000"
                                    << "unusable_speed";
    QTest::newRow("row rounded to zero") << QStringList{"--dec", "1500000000,1,1,1,1"} << "dec/49"
                                         << "0000"
                                         << "unusable_speed";
}

// Each row, rate and total says what goes on the wire and what is wrong
// with it; a total too wide for its field is also not representable.
void tst_Cli::sendClassification()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QFETCH(QString, sent);
    QFETCH(QString, problem);
    const QJsonObject axis = json(arguments).value(path.section('/', 0, 0)).toObject();
    QVERIFY(!axis.isEmpty());
    const QString field = path.section('/', 1);
    bool isRow = false;
    const int row = field.toInt(&isRow);
    QJsonObject send;
    if (field == QLatin1String("total")) {
        send = axis.value("total_send").toObject();
        const QJsonObject accuracy = axis.value("total_accuracy").toObject();
        const bool cut = problem == QLatin1String("cut_by_width");
        QCOMPARE(accuracy.value("representable").toBool(true), !cut);
        QCOMPARE(accuracy.value("problem").toString(),
                 cut ? QStringLiteral("total_too_large") : "");
    } else if (isRow) {
        send = axis.value("rows").toArray().at(row).toObject().value("send").toObject();
    } else {
        send = axis.value("rates").toObject().value(field).toObject().value("send").toObject();
    }
    QCOMPARE(send.value("sent").toString(), sent);
    if (problem.isEmpty())
        QVERIFY(send.contains("problem") && send.value("problem").isNull());
    else
        QCOMPARE(send.value("problem").toString(), problem);
}

void tst_Cli::sendWarnings_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("line"); // a pattern one warning line matches
    QTest::newRow("total beyond six digits")
        << QStringList{"--ra", "240,2,200,10,256"} << 1
        << "^warning: 赤経 総ステップ数: 値 245760000 は 6 桁の16進数に収まりません.*「A60000」";
    // 50 rows, three rates and the total, one line each.
    QTest::newRow("negative axis") << QStringList{"--ra", "-240,2,200,10,16"} << 54
                                   << "^warning: 赤経 総ステップ数: 値 -15360000 が負.*「15A000」";
    QTest::newRow("negative rate") << QStringList{"--ra", "-240,2,200,10,16"} << 54
                                   << "^warning: 赤経 Kingslate: 分周値 -11223 が負.*「D429」";
    QTest::newRow("divisor rounded to zero") << QStringList{"--dec", "1500000000,1,1,1,1"} << 6
                                             << "^warning: 赤緯 テーブル 50: .*「0000」";
}

void tst_Cli::sendWarnings()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, count);
    QFETCH(QString, line);
    const Run r = run(QStringList{"--calculate"} + arguments);
    QCOMPARE(r.exitCode, 0);
    const QString report = QString::fromUtf8(r.out);
    const QStringList warnings =
        report.split('\n').filter(QRegularExpression(QStringLiteral("^warning: ")));
    QCOMPARE(warnings.size(), count);
    const QRegularExpression pattern(line);
    QVERIFY2(std::any_of(warnings.begin(), warnings.end(),
                         [&](const QString &w) { return pattern.match(w).hasMatch(); }),
             qPrintable(warnings.join('\n')));
}

void tst_Cli::helpNamesForce()
{
    const Run r = run({QStringLiteral("--help")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains("--force"));
}

QTEST_APPLESS_MAIN(tst_Cli)
#include "tst_cli.moc"
