#include "fakeclock.h"
#include "ptyline.h"
#include "seriallink.h"
#include "systemclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdint>

#include <unistd.h>

using namespace rwlink;
using namespace std::chrono_literals;

class tst_SerialLink : public QObject {
    Q_OBJECT

private slots:
    void waitTicks_data();
    void waitTicks();
    void waitOnRealClockAcrossWrap();
    void cancelEndsWaits();
    void portSelection_data();
    void portSelection();
    void openFailureExplains_data();
    void openFailureExplains();
    void sendAndClose();
    void actionInsideActionKeepsPort();
    void lostLineFails();
    // Last: QCoreApplication::exit() leaves the thread's event loops
    // refusing to run until it is undone.
    void applicationExitEndsWait();
};

void tst_SerialLink::waitTicks_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<float>("ms");
    QTest::addColumn<int>("longestSleep"); // 0: a sleep moves the clock as far as asked
    QTest::addColumn<int>("stepPerReading");
    QTest::addColumn<int>("lastReading");
    QTest::addColumn<int>("mostSleeps");
    QTest::newRow("150 from 1000") << 1000 << 150.0f << 0 << 0 << 1151 << 1;
    QTest::newRow("150 from 1000, every millisecond seen")
        << 1000 << 150.0f << 1 << 0 << 1151 << 151;
    QTest::newRow("counter moves on while read") << 1000 << 150.0f << 0 << 1 << 1152 << 1;
    QTest::newRow("fraction of a millisecond") << 1000 << 150.5f << 1 << 0 << 1151 << 151;
    QTest::newRow("zero still lets events run") << 1000 << 0.0f << 0 << 0 << 1001 << 1;
    QTest::newRow("from -1 across zero") << -1 << 150.0f << 1 << 0 << 150 << 151;
    QTest::newRow("across the top") << 2147483600 << 150.0f << 0 << 0 << -2147483545 << 2;
    QTest::newRow("across the top, every millisecond seen")
        << 2147483600 << 150.0f << 1 << 0 << -2147483545 << 151;
    QTest::newRow("across the top, 7 ms sleeps")
        << 2147483600 << 150.0f << 7 << 0 << -2147483545 << 23;
    QTest::newRow("target exactly at the top, then one more reading")
        << 2147483497 << 150.0f << 0 << 0 << -2147483647 << 2;
}

void tst_SerialLink::waitTicks()
{
    QFETCH(int, start);
    QFETCH(float, ms);
    QFETCH(int, longestSleep);
    QFETCH(int, stepPerReading);
    QFETCH(int, lastReading);
    QFETCH(int, mostSleeps);
    FakeClock clock(start);
    clock.set_longest_sleep(longestSleep);
    clock.set_step_per_reading(stepPerReading);
    SerialLink link(clock);
    // A wait that never ends would otherwise hang the test.
    clock.set_on_sleep([&] {
        if (clock.sleeps() > 10000)
            link.cancel();
    });

    QVERIFY(link.wait_ms(ms));
    QCOMPARE(clock.readings().back(), lastReading);
    QVERIFY(clock.sleeps() >= 1);
    QVERIFY2(clock.sleeps() <= mostSleeps, "the wait polls instead of sleeping until due");
}

void tst_SerialLink::waitOnRealClockAcrossWrap()
{
    SystemClock clock(2147483647 - 40);
    SerialLink link(clock);
    bool dispatched = false;
    QTimer::singleShot(0, &link, [&dispatched] { dispatched = true; });
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(link.wait_ms(150));
    QVERIFY2(elapsed.elapsed() >= 150, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY2(elapsed.elapsed() < 400, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY(clock.tick() < 0);
    QVERIFY(dispatched);
}

void tst_SerialLink::cancelEndsWaits()
{
    SystemClock clock;
    SerialLink link(clock);
    QTimer::singleShot(30ms, &link, [&link] { link.cancel(); });
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(!link.wait_ms(1000));
    QVERIFY2(elapsed.elapsed() < 500, "cancel() did not end the wait in progress");
    elapsed.restart();
    QVERIFY(!link.wait_ms(150));
    QVERIFY(elapsed.elapsed() < 50);
    QVERIFY(link.cancelled());
}

void tst_SerialLink::portSelection_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("number");
    QTest::newRow("nothing chosen yet") << ""
                                        << "" << 1;
    QTest::newRow("two-digit port") << "Com1"
                                    << "Com10" << 10;
    QTest::newRow("lower case keeps the last") << "Com10"
                                               << "com3" << 10;
    QTest::newRow("upper case keeps the last") << "Com10"
                                               << "COM3" << 10;
    QTest::newRow("trailing space keeps the last") << "Com10"
                                                   << "Com3 " << 10;
    QTest::newRow("beyond the list keeps the last") << "Com10"
                                                    << "Com21" << 10;
    QTest::newRow("empty keeps the last") << "Com4"
                                          << "" << 4;
}

void tst_SerialLink::portSelection()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, number);
    // No real serial port may be touched: every port leads nowhere.
    QTemporaryDir nowhere;
    for (int n = 1; n <= 20; ++n)
        qputenv("RW7300_COM" + QByteArray::number(n), nowhere.filePath("none").toLocal8Bit());
    FakeClock clock;
    SerialLink link(clock);
    QVERIFY(!link.open_port(first));
    QVERIFY(!link.open_port(second));
    for (int n = 1; n <= 20; ++n)
        qunsetenv("RW7300_COM" + QByteArray::number(n));
    QCOMPARE(link.port_number(), number);
}

void tst_SerialLink::openFailureExplains_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("remedy");
    QTest::newRow("missing device") << "missing"
                                    << "RW7300_COM6=";
    QTest::newRow("held by another") << "in use"
                                     << "別のプログラム";
    QTest::newRow("no access rights") << "no rights"
                                      << "dialout";
}

void tst_SerialLink::openFailureExplains()
{
    QFETCH(QString, cause);
    QFETCH(QString, remedy);
    PtyLine line(6);
    QVERIFY(line.ok());
    FakeClock clock;
    SerialLink holder(clock);
    QTemporaryDir dir;
    QString device = line.path();
    if (cause == "missing") {
        device = dir.filePath("unplugged");
    } else if (cause == "in use") {
        QVERIFY(holder.open_port("Com6"));
    } else {
        if (::geteuid() == 0)
            QSKIP("access rights do not stop root");
        device = dir.filePath("locked");
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.setPermissions({});
    }
    qputenv("RW7300_COM6", device.toLocal8Bit());

    SerialLink link(clock);
    QVERIFY(!link.open_port("Com6"));
    QVERIFY(link.failed());
    QVERIFY(!link.is_open());
    const QString text = link.error_text();
    QVERIFY2(text.contains("Com6") && text.contains(device), qPrintable(text));
    QVERIFY2(text.contains(remedy), qPrintable(text));
    QVERIFY(!link.wait_ms(150));
    QVERIFY(!link.send_command("=SD"));
    holder.close_port();
    QCOMPARE(line.read_all(), QByteArray());
}

void tst_SerialLink::sendAndClose()
{
    PtyLine line(7);
    QVERIFY(line.ok());
    FakeClock clock;
    SerialLink link(clock);
    QVERIFY(link.send_command("=SD")); // closed: skipped
    QVERIFY(link.open_port("Com7"));
    QVERIFY(link.is_open());
    QVERIFY(link.send_command("=SD"));
    QVERIFY(link.send_command(""));
    // No event has run since the writes: closing must still deliver them.
    link.close_port();
    QVERIFY(!link.is_open());
    link.close_port();
    QVERIFY(link.send_command("=SD"));
    QCOMPARE(line.read_all(), QByteArray::fromHex("233A3D534423"
                                                  "233A23"));
    QVERIFY(!link.failed());
}

void tst_SerialLink::actionInsideActionKeepsPort()
{
    PtyLine seven(7), eight(8);
    QVERIFY(seven.ok() && eight.ok());
    FakeClock clock;
    SerialLink link(clock);
    QVERIFY(link.open_port("Com7"));
    QVERIFY(link.open_port("Com8"));
    QCOMPARE(link.port_number(), 7);
    QVERIFY(link.send_command("=NEW"));
    link.close_port();
    QCOMPARE(seven.read_all(), QByteArray("#:=NEW#"));
    QCOMPARE(eight.read_all(), QByteArray());
}

void tst_SerialLink::lostLineFails()
{
    FakeClock clock;
    SerialLink link(clock);
    {
        PtyLine line(9);
        QVERIFY(line.ok());
        QVERIFY(link.open_port("Com9"));
        QVERIFY(link.send_command("=SD"));
        QVERIFY(link.wait_ms(150));
        line.hang_up();
        QVERIFY(!link.wait_ms(150));
        QVERIFY(link.failed());
        QVERIFY(!link.is_open());
        QVERIFY2(link.error_text().contains("Com9") && link.error_text().contains(line.path()),
                 qPrintable(link.error_text()));
        QVERIFY(!link.send_command("=SD"));
        QVERIFY(clock.slept_ms() < 1000);
    }
    // The next action starts afresh.
    PtyLine line(9);
    QVERIFY(link.open_port("Com9"));
    QVERIFY(!link.failed());
    QVERIFY(link.error_text().isEmpty());
    QVERIFY(link.send_command("=SD"));
    link.close_port();
    QCOMPARE(line.read_all(), QByteArray("#:=SD#"));
}

void tst_SerialLink::applicationExitEndsWait()
{
    SerialLink link;
    QTimer::singleShot(30ms, &link, [] { QCoreApplication::exit(0); });
    QElapsedTimer elapsed;
    elapsed.start();
    const bool waited = link.wait_ms(1000);
    const qint64 took = elapsed.elapsed();
    // Undo the exit for whatever runs after this test.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();

    QVERIFY(!waited);
    QVERIFY2(took < 500, qPrintable(QString::number(took)));
    QVERIFY(link.cancelled());
    QVERIFY(!link.wait_ms(150));
}

QTEST_GUILESS_MAIN(tst_SerialLink)
#include "tst_seriallink.moc"
