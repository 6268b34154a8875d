#include "cli.h"
#include "fakeclock.h"
#include "ptyline.h"

#include <QProcess>
#include <QTest>

namespace {

constexpr int kPort = 1;
const QStringList kWideTotal{"--ra", "240,2,200,10,256"};

} // namespace

class tst_CliUpload : public QObject {
    Q_OBJECT

private slots:
    void refused_data();
    void refused();
    void forced();
};

void tst_CliUpload::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason"); // on stderr
    QTest::newRow("total beyond six digits")
        << kWideTotal << QStringLiteral("赤経 総ステップ数: 値 245760000");
    QTest::newRow("total beyond six digits, JSON printed")
        << QStringList{"--json"} + kWideTotal << QStringLiteral("赤経 総ステップ数: 値 245760000");
    QTest::newRow("negative rows") << QStringList{"--ra", "-240,2,200,10,16"}
                                   << QStringLiteral("赤経 テーブル 50: 分周値 -45 が負");
    QTest::newRow("rows rounded to zero")
        << QStringList{"--dec", "1500000000,1,1,1,1"}
        << QStringLiteral("赤緯 テーブル 50: 送られる分周値が「0000」");
}

// Refused before the port is opened: the pseudo-terminal hears nothing. It
// never reaches the pacing, so the real program can run.
void tst_CliUpload::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);
    PtyLine line(kPort);
    QVERIFY(line.ok());
    QProcess process;
    process.start(QStringLiteral(SPEEDTABLE_EXE),
                  QStringList{"--calculate"} + arguments + QStringList{"--upload", line.path()});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(!process.readAllStandardOutput().isEmpty());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains(reason) && err.contains(QStringLiteral("--force")), qPrintable(err));
    QVERIFY2(!err.contains(QStringLiteral("uploading")), qPrintable(err));
    QCOMPARE(line.read_all(), QByteArray());
}

// --force sends the whole upload, the wide total cut as it stands.
void tst_CliUpload::forced()
{
    PtyLine line(kPort);
    QVERIFY(line.ok());
    FakeClock clock;
    const int status = app::run_command_line(
        QStringList{"rw7300-speedtable", "--calculate", "--json"} + kWideTotal +
            QStringList{"--upload", QStringLiteral("Com%1").arg(kPort), "--force"},
        &clock);
    QCOMPARE(status, 0);
    const QStringList bodies = PtyLine::bodies(line.read_all());
    QCOMPARE(bodies.size(), 109);
    QCOMPARE(bodies.first(), QStringLiteral("=TCLK1"));
    QVERIFY(bodies.contains(QStringLiteral("&XRA00A60000")));
    QVERIFY(bodies.contains(QStringLiteral("&RA01=057A")));
    QCOMPARE(clock.moves(), 108);
}

QTEST_GUILESS_MAIN(tst_CliUpload)
#include "tst_cli_upload.moc"
