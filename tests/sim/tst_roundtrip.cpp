// The whole road at the controller's real pace: tables calculated, sent by
// the command line or by the window's 送信, received by the simulator, whose
// summary must hold exactly what was calculated.

#include "calculate.h"
#include "form1.h"

#include <QComboBox>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kSimulatorStart = 5000;
constexpr int kUploadBound = 30000;

// A simulator on a pseudo-terminal reached through <dir>/controller; it
// prints its JSON summary once the line has been quiet for a second. The
// pacing is checked at the writer by the real-pace test; here a simulator
// woken a few milliseconds late on a busy machine must not count as a fault.
class Simulator {
public:
    explicit Simulator(const QString &link) : m_link(link)
    {
        m_process.start(QStringLiteral(SIM_EXE),
                        {QStringLiteral("--link"), link, QStringLiteral("--json"),
                         QStringLiteral("--idle-exit"), QStringLiteral("1"),
                         QStringLiteral("--min-gap"), QStringLiteral("140")});
    }
    ~Simulator()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    bool ready()
    {
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(m_link) && waited.elapsed() < kSimulatorStart)
            m_process.waitForReadyRead(50);
        return QFileInfo::exists(m_link);
    }
    QJsonObject summary()
    {
        if (!m_process.waitForFinished(kUploadBound))
            return {};
        return QJsonDocument::fromJson(m_process.readAllStandardOutput()).object();
    }

private:
    QString m_link;
    QProcess m_process;
};

calc::CalcOutput calculated(std::int32_t clock)
{
    calc::CalcInput input;
    input.base_clock = clock;
    return std::get<calc::CalcOutput>(calc::calculate(input));
}

QJsonArray strings(const auto &texts, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(QString::fromStdString(texts[i]));
    return array;
}

// What was received, without when: the gaps differ from run to run.
QJsonObject without_timing(QJsonObject summary)
{
    summary.remove(QStringLiteral("gaps_ms"));
    return summary;
}

} // namespace

class tst_RoundTrip : public QObject {
    Q_OBJECT

private slots:
    void commandLineUpload_data();
    void commandLineUpload();
    void windowSendMatchesCommandLine();

private:
    QJsonObject m_cliSummary; // 2 MHz, for the window to match
};

void tst_RoundTrip::commandLineUpload_data()
{
    QTest::addColumn<QString>("clock");
    QTest::addColumn<int>("baseClock");
    QTest::newRow("250 kHz") << "250kHz" << int(calc::kClock250kHz);
    QTest::newRow("2 MHz") << "2MHz" << int(calc::kClock2MHz);
}

void tst_RoundTrip::commandLineUpload()
{
    QFETCH(QString, clock);
    QFETCH(int, baseClock);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("controller"));
    Simulator sim(link);
    QVERIFY(sim.ready());

    QProcess upload;
    upload.start(QStringLiteral(SPEEDTABLE_EXE),
                 {"--calculate", "--json", "--clock", clock, "--upload", link});
    QVERIFY(upload.waitForFinished(kUploadBound));
    QCOMPARE(upload.exitCode(), 0);
    QVERIFY(upload.readAllStandardError().contains("109 commands sent"));

    const QJsonObject summary = sim.summary();
    const calc::CalcOutput out = calculated(baseClock);
    QCOMPARE(summary.value("clock").toString(), clock);
    QCOMPARE(summary.value("ra").toArray(), strings(out.ra.hex_rows, 50));
    QCOMPARE(summary.value("dec").toArray(), strings(out.dec.hex_rows, 50));
    QCOMPARE(summary.value("ra_total").toString(), QString::fromStdString(out.ra.total_hex));
    QCOMPARE(summary.value("dec_total").toString(), QString::fromStdString(out.dec.total_hex));
    QCOMPARE(summary.value("commands").toInt(), 109);
    QCOMPARE(summary.value("anomalies").toInt(), 0);
    QVERIFY(summary.value("rate05").isNull());
    if (baseClock == calc::kClock2MHz)
        m_cliSummary = without_timing(summary);
}

void tst_RoundTrip::windowSendMatchesCommandLine()
{
    QVERIFY2(!m_cliSummary.isEmpty(), "runs after the 2 MHz command-line upload");
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("controller"));
    Simulator sim(link);
    QVERIFY(sim.ready());
    qputenv("RW7300_COM2", link.toLocal8Bit());

    app::Form1 window(dir.path()); // the system's millisecond counter
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QComboBox *>("Combo1")->setEditText(QStringLiteral("Com2"));
    QTest::mouseClick(window.findChild<QPushButton *>("Command1"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton *>("Command2"), Qt::LeftButton);
    qunsetenv("RW7300_COM2");

    QCOMPARE(without_timing(sim.summary()), m_cliSummary);
}

QTEST_MAIN(tst_RoundTrip)
#include "tst_roundtrip.moc"
