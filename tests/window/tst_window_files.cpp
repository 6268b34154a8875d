#include "beep.h"
#include "detectedports.h"
#include "fifowatchdog.h"
#include "filebytes.h"
#include "form1.h"
#include "privatesettings.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using app::Form1;

class tst_WindowFiles : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void calculateWritesListing();
    void failedCalculateWritesNoListing();
    void unwritableListingWarns();
    void pickingAPortWritesParam_data();
    void pickingAPortWritesParam();
    void pickWithMouse();
    void typingWritesNothing();
    void unwritableSettingsStaySilent();
    void fifoHoldsNothing_data();
    void fifoHoldsNothing();
    void restartRestoresPickedPort_data();
    void restartRestoresPickedPort();

private:
    void open_window(const QString &dir)
    {
        m_window = std::make_unique<Form1>(dir, nullptr, no_devices());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    QString file(const char *name) const { return m_dir->filePath(QLatin1String(name)); }
    void calculate() const
    {
        QTest::mouseClick(m_window->findChild<QPushButton *>("Command1"), Qt::LeftButton);
    }
    QComboBox *combo() const { return m_window->findChild<QComboBox *>("Combo1"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PrivateSettings> m_settings;
    std::unique_ptr<Form1> m_window;
};

void tst_WindowFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_settings = std::make_unique<PrivateSettings>();
}

void tst_WindowFiles::cleanup()
{
    m_window.reset();
    m_settings.reset();
    m_dir.reset();
}

void tst_WindowFiles::calculateWritesListing()
{
    open_window(m_dir->path());
    const int beeps = app::beep_count();
    calculate();
    QCOMPARE(app::beep_count(), beeps + 1);
    QByteArray listing = read_all(file("Speed_Data.txt"));
    QCOMPARE(listing.count("\r\n"), 111);
    QVERIFY(listing.contains("\r\n2MHz\r\n#:=TCLK1#\r\n"));
    QVERIFY(listing.contains("\r\n#:&RA01=57A7#\r\n"));
    QVERIFY(listing.endsWith("\r\n#:&DEC50=003C#\r\n"));

    // A second calculation replaces the file; an edited hex box does not
    // reach the listing, which follows the calculation.
    m_window->findChild<QLineEdit *>("Text8_0")->setText("FFFF");
    QTest::mouseClick(m_window->findChild<QAbstractButton *>("Option1_1"), Qt::LeftButton);
    calculate();
    QCOMPARE(app::beep_count(), beeps + 2);
    listing = read_all(file("Speed_Data.txt"));
    QCOMPARE(listing.count("\r\n"), 111);
    QVERIFY(listing.contains("\r\n250kHz\r\n#:=TCLK2#\r\n"));
    QVERIFY(listing.contains("\r\n#:&RA01=0AF5#\r\n"));
}

void tst_WindowFiles::failedCalculateWritesNoListing()
{
    open_window(m_dir->path());
    const int beeps = app::beep_count();
    m_window->findChild<QLineEdit *>("Text1_0")->setText("abc");
    calculate();
    QVERIFY(!QFile::exists(file("Speed_Data.txt")));
    QCOMPARE(app::beep_count(), beeps);
}

// The directory is a plain file: no write can succeed, even as root.
void tst_WindowFiles::unwritableListingWarns()
{
    QVERIFY(write_file(file("plain"), "x"));
    open_window(file("plain"));
    const int beeps = app::beep_count();
    calculate();
    QCOMPARE(app::beep_count(), beeps + 1);
    auto *warning = m_window->findChild<QMessageBox *>("listingFailure");
    QVERIFY(warning);
    QTRY_VERIFY(warning->isVisible());
    QVERIFY2(warning->text().contains("Speed_Data.txt"), qPrintable(warning->text()));
    QCOMPARE(m_window->findChild<QLineEdit *>("Text8_0")->text(), QStringLiteral("57A7"));
    warning->accept();
}

void tst_WindowFiles::pickingAPortWritesParam_data()
{
    QTest::addColumn<int>("downs");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("Com7") << 6 << QByteArray::fromHex("436f6d370d0a");
    QTest::newRow("Com12") << 11 << QByteArray::fromHex("436f6d31320d0a");
}

// Keyboard picks: each step through the list is a pick that rewrites the
// file and beeps.
void tst_WindowFiles::pickingAPortWritesParam()
{
    QFETCH(int, downs);
    QFETCH(QByteArray, bytes);
    open_window(m_dir->path());
    const int beeps = app::beep_count();
    for (int i = 0; i < downs; ++i)
        QTest::keyClick(combo(), Qt::Key_Down);
    QCOMPARE(app::beep_count(), beeps + downs);
    QCOMPARE(read_all(file("PARAM.DAT")), bytes);
}

void tst_WindowFiles::pickWithMouse()
{
    open_window(m_dir->path());
    const int beeps = app::beep_count();
    for (int pick = 0; pick < 2; ++pick) { // the same entry twice: rewritten, never grows
        combo()->showPopup();
        QAbstractItemView *view = combo()->view();
        QTRY_VERIFY(view->isVisible());
        const QRect item = view->visualRect(view->model()->index(2, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(combo()->currentText(), QStringLiteral("Com3"));
        QCOMPARE(read_all(file("PARAM.DAT")), QByteArray::fromHex("436f6d330d0a"));
    }
    QCOMPARE(app::beep_count(), beeps + 2);
}

void tst_WindowFiles::typingWritesNothing()
{
    open_window(m_dir->path());
    const int beeps = app::beep_count();
    combo()->lineEdit()->selectAll();
    QTest::keyClicks(combo()->lineEdit(), QStringLiteral("Com9"));
    QTest::keyClick(combo()->lineEdit(), Qt::Key_Return);
    QCOMPARE(combo()->currentText(), QStringLiteral("Com9"));
    QVERIFY(!QFile::exists(file("PARAM.DAT")));
    QCOMPARE(app::beep_count(), beeps);
    QCOMPARE(combo()->count(), 20); // the list is fixed

    // Leaving the box, or closing the window, with typed text is no pick either.
    QCoreApplication::processEvents(); // the user's next action comes in a later turn
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    for (const char *typed : {"Com5", "Com6"}) {
        combo()->setFocus();
        QTRY_VERIFY(combo()->lineEdit()->hasFocus());
        combo()->lineEdit()->selectAll();
        QTest::keyClicks(combo()->lineEdit(), QLatin1String(typed));
        if (QLatin1String(typed) == QLatin1String("Com5")) {
            m_window->findChild<QLineEdit *>("Text1_0")->setFocus();
            QTRY_VERIFY(!combo()->lineEdit()->hasFocus());
        }
    }
    m_window.reset();
    QVERIFY(!QFile::exists(file("PARAM.DAT")));
    QCOMPARE(app::beep_count(), beeps);
}

// A pick that cannot be saved still beeps and still selects the port; the
// reason goes to the log, not to a message box.
void tst_WindowFiles::unwritableSettingsStaySilent()
{
    QVERIFY(write_file(file("plain"), "x"));
    open_window(file("plain"));
    const int beeps = app::beep_count();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("PARAM\\.DAT: .+")));
    QTest::keyClick(combo(), Qt::Key_Down);
    QCOMPARE(app::beep_count(), beeps + 1);
    QCOMPARE(combo()->currentText(), QStringLiteral("Com2"));
    QVERIFY(!m_window->findChild<QMessageBox *>());
}

void tst_WindowFiles::fifoHoldsNothing_data()
{
    QTest::addColumn<QString>("name"); // the file that is a FIFO nobody reads
    QTest::newRow("Speed_Data.txt: 計算 warns") << "Speed_Data.txt";
    QTest::newRow("PARAM.DAT: the pick goes on") << "PARAM.DAT";
}

// A FIFO nobody reads where a file is written is refused at once: the
// window never waits for a reader, and never says it saved.
void tst_WindowFiles::fifoHoldsNothing()
{
    QFETCH(QString, name);
    const QString path = m_dir->filePath(name);
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    open_window(m_dir->path());
    if (name == QLatin1String("PARAM.DAT")) {
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("PARAM\\.DAT: .*FIFO")));
        const FifoWatchdog watchdog(path);
        QTest::keyClick(combo(), Qt::Key_Down);
        QCOMPARE(combo()->currentText(), QStringLiteral("Com2"));
        return;
    }
    {
        const FifoWatchdog watchdog(path);
        calculate();
    }
    auto *warning = m_window->findChild<QMessageBox *>("listingFailure");
    QVERIFY(warning);
    QVERIFY2(warning->text().contains(QStringLiteral("FIFO を読んでいるプログラムがありません")),
             qPrintable(warning->text()));
    QCOMPARE(m_window->findChild<QLineEdit *>("Text8_0")->text(), QStringLiteral("57A7"));
    warning->accept();
}

void tst_WindowFiles::restartRestoresPickedPort_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file
    QTest::addColumn<QString>("shown");
    QTest::newRow("picked port") << QByteArray("Com5\r\n") << "Com5";
    QTest::newRow("no file") << QByteArray() << "Com1";
    QTest::newRow("empty file") << QByteArray("\0", 0) << "Com1";
    QTest::newRow("text outside the list") << QByteArray("\"Com21\",x\r\n") << "Com21";
    // Opening a FIFO would wait for a writer for ever: start-up skips it.
    QTest::newRow("FIFO in its place") << QByteArray("fifo") << "Com1";
}

void tst_WindowFiles::restartRestoresPickedPort()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, shown);
    if (content == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(file("PARAM.DAT")).constData(), 0600), 0);
    else if (QTest::currentDataTag() != QByteArray("no file"))
        QVERIFY(write_file(file("PARAM.DAT"), content));
    const int beeps = app::beep_count();
    open_window(m_dir->path());
    QCOMPARE(combo()->currentText(), shown);
    QCOMPARE(app::beep_count(), beeps); // restoring is silent
    QVERIFY(!QFile::exists(file("Speed_Data.txt")));
}

QTEST_MAIN(tst_WindowFiles)
#include "tst_window_files.moc"
