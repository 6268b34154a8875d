#include "calculate.h"
#include "detectedports.h"
#include "form1.h"
#include "listing.h"
#include "privatesettings.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using app::Form1;

class tst_AccuracyView : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void noTooltipsBeforeCalculate();
    void tooltipsAfterCalculate_data();
    void tooltipsAfterCalculate();
    void tooltipFollowsEditedHexBox();
    void tooltipFollowsClockChoice();
    void wideDivisorNamesTheFix();
    void boxesAndListingUnchanged();

private:
    QLineEdit *box(const QString &name) const { return m_window->findChild<QLineEdit *>(name); }
    void calculate() const
    {
        QTest::mouseClick(m_window->findChild<QPushButton *>("Command1"), Qt::LeftButton);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PrivateSettings> m_settings;
    std::unique_ptr<Form1> m_window;
};

void tst_AccuracyView::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<PrivateSettings>();
    m_window = std::make_unique<Form1>(m_dir->path(), nullptr, no_devices());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_AccuracyView::cleanup()
{
    m_window.reset();
    m_settings.reset();
    m_dir.reset();
}

void tst_AccuracyView::noTooltipsBeforeCalculate()
{
    for (const char *name : {"Text7_3", "Text8_3", "Text9_0", "Text10_0", "Text8_50", "Text2"})
        QVERIFY2(box(QLatin1String(name))->toolTip().isEmpty(), name);
}

// Figures worked by hand: RA total 15360000, sidereal step rate
// 15360000 / 86164 = 178.26470 Hz; 2000000 / 0x2BD3 (11219) = 178.26901 Hz,
// +24.14 ppm; DEC row 01: 11520000 / 86164 × 0.5 = 66.84926 Hz,
// 2000000 / 0x74DE (29918) = 66.84939 Hz, +1.86 ppm.
void tst_AccuracyView::tooltipsAfterCalculate_data()
{
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("fragments");
    QTest::newRow("RA row 04") << QStringList{"Text7_3", "Text8_3"}
                               << QStringList{"テーブル 04", "178.2647", "178.2690", "+24.1 ppm",
                                              "ドリフト +1.31″/時"};
    QTest::newRow("DEC row 01") << QStringList{"Text9_0", "Text10_0"}
                                << QStringList{"赤緯 テーブル 01", "倍率 0.5", "+1.9 ppm"};
    QTest::newRow("lunar rate") << QStringList{"Text7_51", "Text8_51"}
                                << QStringList{"月時", "-18.3 ppm"};
    QTest::newRow("RA resolution") << QStringList{"Text2"} << QStringList{"0.0844″"};
    QTest::newRow("DEC resolution") << QStringList{"Text5"} << QStringList{"0.1125″"};
}

void tst_AccuracyView::tooltipsAfterCalculate()
{
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, fragments);
    calculate();
    for (const QString &name : boxes) {
        const QString tip = box(name)->toolTip();
        for (const QString &fragment : fragments)
            QVERIFY2(tip.contains(fragment), qPrintable(name + ": " + tip));
    }
}

// 2000000 / 0x2BD4 (11220) = 178.25312 Hz against 178.26470: -65.0 ppm.
void tst_AccuracyView::tooltipFollowsEditedHexBox()
{
    calculate();
    QLineEdit *hex = box("Text8_3");
    hex->selectAll();
    QTest::keyClicks(hex, QStringLiteral("2BD4"));
    QVERIFY2(hex->toolTip().contains(QStringLiteral("-65.0 ppm")), qPrintable(hex->toolTip()));
    QCOMPARE(box("Text7_3")->toolTip(), hex->toolTip());
    QCOMPARE(box("Text7_3")->text(), QStringLiteral(" 11219")); // only the tooltip follows
}

// After a 2 MHz Calculate, picking 250 kHz means the upload would announce
// the slow clock with fast-clock divisors: 250000 / 11219 Hz is 7/8 slow.
void tst_AccuracyView::tooltipFollowsClockChoice()
{
    calculate();
    QTest::mouseClick(m_window->findChild<QRadioButton *>("Option1_1"), Qt::LeftButton);
    QVERIFY2(box("Text8_3")->toolTip().contains(QStringLiteral("-874997")),
             qPrintable(box("Text8_3")->toolTip()));
}

void tst_AccuracyView::wideDivisorNamesTheFix()
{
    const QStringList ra{"100", "1", "200", "10", "5"};
    for (int i = 0; i < 5; ++i)
        box(QStringLiteral("Text1_%1").arg(i))->setText(ra[i]);
    calculate();
    const QString tip = box("Text8_0")->toolTip();
    QVERIFY2(tip.contains(QStringLiteral("テーブル 01")) &&
                 tip.contains(QStringLiteral("344656")) && tip.contains(QStringLiteral("250 kHz")),
             qPrintable(tip));
    QCOMPARE(box("Text8_0")->text(), QStringLiteral("4250"));
}

// The tooltips add nothing to what the boxes and the listing hold.
void tst_AccuracyView::boxesAndListingUnchanged()
{
    calculate();
    const auto result = calc::calculate(calc::CalcInput{});
    const auto &out = std::get<calc::CalcOutput>(result);
    for (int k = 0; k < calc::kTableRows; ++k) {
        QCOMPARE(box(QStringLiteral("Text7_%1").arg(k))->text(),
                 QString::fromStdString(out.ra.decimal_rows[k]));
        QCOMPARE(box(QStringLiteral("Text8_%1").arg(k))->text(),
                 QString::fromStdString(out.ra.hex_rows[k]));
    }
    for (int k = 0; k < calc::kRateCount; ++k) {
        QCOMPARE(box(QStringLiteral("Text7_%1").arg(calc::kSolarRow + k))->text(),
                 QString::fromStdString(out.rates[k].decimal));
        QCOMPARE(box(QStringLiteral("Text8_%1").arg(calc::kSolarRow + k))->text(),
                 QString::fromStdString(out.rates[k].hex));
    }
    QFile file(m_dir->filePath(QStringLiteral("Speed_Data.txt")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QString stamp = QString::fromLatin1(bytes.left(bytes.indexOf("\r\n")));
    QCOMPARE(bytes, files::speed_data_listing(stamp, calc::kClock2MHz, out.speed_table));
}

QTEST_MAIN(tst_AccuracyView)
#include "tst_accuracy_view.moc"
