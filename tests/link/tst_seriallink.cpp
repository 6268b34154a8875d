#include "frame.h"
#include "ptyline.h"
#include "scopedenv.h"
#include "seriallink.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace rwlink;
using namespace std::chrono_literals;

class tst_SerialLink : public QObject {
    Q_OBJECT

private slots:
    void portSelection_data();
    void portSelection();
    void openFailureExplains_data();
    void openFailureExplains();
    void sendAndClose();
    void actionInsideActionKeepsPort();
    void lostLineFails();
    void closeDrainsWhatTheLineHolds();
    void closeDoesNotWait_data();
    void closeDoesNotWait();
    void bytesOnLineWhenSendReturns_data();
    void bytesOnLineWhenSendReturns();
};

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
    std::vector<std::unique_ptr<ScopedEnv>> devices;
    for (int n = 1; n <= 20; ++n)
        devices.push_back(
            std::make_unique<ScopedEnv>(("RW7300_COM" + QByteArray::number(n)).constData(),
                                        nowhere.filePath("none").toLocal8Bit()));
    SerialLink link;
    QVERIFY(!link.open_port(first));
    QVERIFY(!link.open_port(second));
    QCOMPARE(link.port_number(), number);
}

void tst_SerialLink::openFailureExplains_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<OpenFailure::Kind>("kind");
    QTest::newRow("missing device") << "missing" << OpenFailure::Kind::Missing;
    QTest::newRow("held by another") << "in use" << OpenFailure::Kind::Busy;
    QTest::newRow("no access rights") << "no rights" << OpenFailure::Kind::NoPermission;
}

void tst_SerialLink::openFailureExplains()
{
    QFETCH(QString, cause);
    QFETCH(OpenFailure::Kind, kind);
    PtyLine line(6);
    QVERIFY(line.ok());
    SerialLink holder;
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
    const ScopedEnv com6("RW7300_COM6", device.toLocal8Bit());

    SerialLink link;
    QVERIFY(!link.open_port("Com6"));
    QVERIFY(link.failed());
    QVERIFY(!link.is_open());
    QVERIFY(link.failure());
    QCOMPARE(link.failure()->kind, LinkFailure::Kind::Open);
    QCOMPARE(link.failure()->port, 6);
    QCOMPARE(link.failure()->device, device);
    const auto &failure = link.open_failure();
    QVERIFY(failure.has_value());
    QCOMPARE(failure->kind, kind);
    QCOMPARE(failure->mapping.number, 6);
    QCOMPARE(failure->mapping.device, device);
    QCOMPARE(failure->mapping.source, PortSource::Override);
    // The system's reason is kept as its number too, for the words.
    if (cause == "missing")
        QCOMPARE(failure->system_error, ENOENT);
    QVERIFY(!link.send_command("=SD"));
    holder.close_port();
    QCOMPARE(line.read_all(), QByteArray());
}

void tst_SerialLink::sendAndClose()
{
    PtyLine line(7);
    QVERIFY(line.ok());
    SerialLink link;
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
    SerialLink link;
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
    SerialLink link;
    {
        PtyLine line(9);
        QVERIFY(line.ok());
        QVERIFY(link.open_port("Com9"));
        QVERIFY(link.send_command("=SD"));
        QSignalSpy lost(&link, &SerialLink::lost);
        line.hang_up();
        QVERIFY(lost.wait(2000));
        QCOMPARE(lost.size(), 1);
        QVERIFY(link.failed());
        QVERIFY(!link.is_open());
        QVERIFY(link.failure());
        QCOMPARE(link.failure()->port, 9);
        QCOMPARE(link.failure()->device, line.path());
        QVERIFY(link.failure()->kind != LinkFailure::Kind::Open);
        QVERIFY(!link.send_command("=SD"));
    }
    // The next action starts afresh.
    PtyLine line(9);
    QVERIFY(link.open_port("Com9"));
    QVERIFY(!link.failed());
    QVERIFY(!link.failure());
    QVERIFY(link.send_command("=SD"));
    link.close_port();
    QCOMPARE(line.read_all(), QByteArray("#:=SD#"));
}

// More than the pseudo-terminal holds at once, so closing must wait for the
// far end to take the rest rather than drop it.
void tst_SerialLink::closeDrainsWhatTheLineHolds()
{
    PtyLine line(6);
    QVERIFY(line.ok());
    SerialLink link;
    QVERIFY(link.open_port("Com6"));
    const QString body(200000, QLatin1Char('A'));
    QByteArray received;
    std::thread reader([&] {
        const qsizetype expected = body.size() + 3;
        pollfd fd{line.master(), POLLIN, 0};
        while (received.size() < expected && ::poll(&fd, 1, 2000) > 0) {
            char chunk[4096];
            const ssize_t n = ::read(line.master(), chunk, sizeof chunk);
            if (n <= 0)
                break;
            received.append(chunk, n);
            // A slow reader: the port must still hold bytes when it is closed.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const bool sent = link.send_command(body);
    link.close_port();
    QVERIFY(!link.is_open());
    QTRY_VERIFY_WITH_TIMEOUT(!link.is_draining(), 5000);
    reader.join();
    QVERIFY(sent);
    QCOMPARE(received.size(), body.size() + 3);
    QVERIFY(received.startsWith("#:AAAA") && received.endsWith("AAAA#"));
}

void tst_SerialLink::closeDoesNotWait_data()
{
    QTest::addColumn<bool>("reading");  // the far end takes what comes
    QTest::addColumn<bool>("reopened"); // opened again while it drains
    QTest::newRow("drained, then closed") << true << false;
    QTest::newRow("nobody reads: given up after the watchdog") << false << false;
    QTest::newRow("opened again while draining: the same port, nothing lost") << true << true;
}

// Closing with bytes still queued returns at once; they go out from the
// event loop, and the port closes once they are out or the line has taken
// nothing for kDrainLimit.
void tst_SerialLink::closeDoesNotWait()
{
    QFETCH(bool, reading);
    QFETCH(bool, reopened);
    PtyLine line(5);
    QVERIFY(line.ok());
    SerialLink link;
    QSignalSpy closed(&link, &SerialLink::closed);
    QVERIFY(link.open_port("Com5"));
    const QString body(200000, QLatin1Char('B'));
    QVERIFY(link.send_command(body));
    QElapsedTimer elapsed;
    elapsed.start();
    link.close_port();
    // Returned with the bytes still queued: nobody has read yet, and the
    // pty holds only a few kilobytes of them.
    int waiting = 0;
    QCOMPARE(::ioctl(line.master(), FIONREAD, &waiting), 0);
    QVERIFY(waiting < body.size());
    QVERIFY(link.is_draining());
    QVERIFY(!link.is_open());
    QVERIFY(link.send_command("=SD")); // closed: skipped
    QCOMPARE(closed.size(), 0);
    QByteArray expected = frame(body);
    if (reopened) {
        QVERIFY(link.open_port("Com5"));
        QVERIFY(link.is_open() && !link.is_draining());
        QTest::qWait(std::chrono::milliseconds(kDrainLimit).count() + 200);
        QCOMPARE(closed.size(), 0); // no watchdog left behind
        link.close_port();
    }
    QByteArray received;
    if (reading) {
        QDeadlineTimer deadline(5s);
        while (received.size() < expected.size() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            pollfd fd{line.master(), POLLIN, 0};
            while (::poll(&fd, 1, 0) > 0) {
                char chunk[4096];
                const ssize_t n = ::read(line.master(), chunk, sizeof chunk);
                if (n <= 0)
                    break;
                received.append(chunk, n);
            }
        }
        QTRY_COMPARE(closed.size(), 1);
        QCOMPARE(received, expected);
        QVERIFY(elapsed.elapsed() < std::chrono::milliseconds(kDrainLimit).count() * 3);
    } else {
        QVERIFY(closed.wait(3000));
        QVERIFY(elapsed.elapsed() >= std::chrono::milliseconds(kDrainLimit).count() - 50);
    }
    QCOMPARE(closed.size(), 1);
    QVERIFY(!link.is_draining() && !link.is_open());
}

void tst_SerialLink::bytesOnLineWhenSendReturns_data()
{
    QTest::addColumn<QStringList>("bodies");
    QTest::newRow("one command") << QStringList{"=SD"};
    QTest::newRow("a row") << QStringList{"&RA01=57A7"};
    QTest::newRow("three in a row") << QStringList{"=TCLK1", "&XRA00EA6000", "=NEW"};
}

// The pause after a command is measured from its write, so the bytes must be
// with the driver when send_command returns, not when the event loop next
// runs: none runs here.
void tst_SerialLink::bytesOnLineWhenSendReturns()
{
    QFETCH(QStringList, bodies);
    PtyLine line(5);
    QVERIFY(line.ok());
    SerialLink link;
    QVERIFY(link.open_port("Com5"));
    for (const QString &body : bodies) {
        QVERIFY(link.send_command(body));
        const QByteArray expected = "#:" + body.toLatin1() + "#";
        QByteArray received;
        pollfd fd{line.master(), POLLIN, 0};
        while (received.size() < expected.size() && ::poll(&fd, 1, 2000) > 0) {
            char chunk[64];
            const ssize_t n = ::read(line.master(), chunk, sizeof chunk);
            if (n <= 0)
                break;
            received.append(chunk, n);
        }
        QCOMPARE(received, expected);
    }
    link.close_port();
}

QTEST_GUILESS_MAIN(tst_SerialLink)
#include "tst_seriallink.moc"
