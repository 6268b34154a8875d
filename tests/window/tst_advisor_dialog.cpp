#include "advisordialog.h"
#include "detectedports.h"
#include "form1.h"
#include "privatesettings.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using app::AdvisorDialog;
using app::Form1;

class tst_AdvisorDialog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void applySetsBoxesAndCalculates_data();
    void applySetsBoxesAndCalculates();
    void returnOnlyCloses();
    void chartFollowsPalette();
    void fitsTheScreen_data();
    void fitsTheScreen();

private:
    QLineEdit *box(const QString &name) const { return m_window->findChild<QLineEdit *>(name); }
    AdvisorDialog *open_advisor() const
    {
        // Ctrl+E in a drive-train box, where the operator's cursor is: a
        // line edit's own Ctrl+E (end of line) must not take the key.
        box("Text1_2")->setFocus();
        QTest::keyClick(box("Text1_2"), Qt::Key_E, Qt::ControlModifier);
        return m_window->findChild<AdvisorDialog *>(QStringLiteral("advisorDialog"));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PrivateSettings> m_settings;
    std::unique_ptr<Form1> m_window;
};

void tst_AdvisorDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<PrivateSettings>();
    m_window = std::make_unique<Form1>(m_dir->path(), nullptr, no_devices());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_AdvisorDialog::cleanup()
{
    m_window.reset();
    m_settings.reset();
    m_dir.reset();
}

// Hex boxes worked by hand: 2 MHz ÷ (7680000 / 86164) = 22438.54 → 57A7;
// 2 MHz ÷ (11520000 / 86164) = 14958.99 → 3A6F; 250 kHz ÷ (1280000 /
// 86164) = 16828.91 → 41BD. At 2 MHz × 16 the small train's divisors are
// 538525 ÷ multiplier: only the 39 rows from 12× fit four hex digits.
void tst_AdvisorDialog::applySetsBoxesAndCalculates_data()
{
    QTest::addColumn<QString>("train");    // worm, intermediate, motor, reduction of both axes
    QTest::addColumn<int>("startOption");  // the clock option before
    QTest::addColumn<bool>("keeps");       // the setting in use is advised at 0.5″/h
    QTest::addColumn<double>("tolerance"); // then typed into the field
    QTest::addColumn<int>("option");       // after 適用
    QTest::addColumn<QString>("raMicrostep");
    QTest::addColumn<QString>("decMicrostep");
    QTest::addColumn<QString>("raRow04");
    QTest::addColumn<QString>("decRow04");
    QTest::addColumn<int>("currentPoints"); // rows the setting in use can run
    QTest::newRow("defaults kept; tolerance 0: RA 8, DEC 16")
        << QString() << 0 << true << 0.0 << 0 << "8"
        << "16"
        << "57A7"
        << "3A6F" << 50;
    QTest::newRow("defaults from 250 kHz, tolerance 0: 2 MHz, RA 8, DEC 16")
        << QString() << 1 << false << 0.0 << 0 << "8"
        << "16"
        << "57A7"
        << "3A6F" << 50;
    QTest::newRow("small train from 2 MHz to 250 kHz × 64")
        << "100,1,200,1" << 0 << false << 0.5 << 1 << "64"
        << "64"
        << "41BD"
        << "41BD" << 39;
}

void tst_AdvisorDialog::applySetsBoxesAndCalculates()
{
    QFETCH(QString, train);
    QFETCH(int, startOption);
    QFETCH(bool, keeps);
    QFETCH(double, tolerance);
    QFETCH(int, option);
    QFETCH(QString, raMicrostep);
    QFETCH(QString, decMicrostep);
    QFETCH(QString, raRow04);
    QFETCH(QString, decRow04);
    QFETCH(int, currentPoints);
    const QStringList parts = train.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        box(QStringLiteral("Text1_%1").arg(i))->setText(parts[i]);
        box(QStringLiteral("Text4_%1").arg(i))->setText(parts[i]);
    }
    QTest::mouseClick(
        m_window->findChild<QRadioButton *>(QStringLiteral("Option1_%1").arg(startOption)),
        Qt::LeftButton);

    AdvisorDialog *dialog = open_advisor();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    auto *chart = dialog->findChild<QChartView *>(QStringLiteral("advisorChartView"))->chart();
    const auto series = chart->series();
    QCOMPARE(series.size(), 2);
    QCOMPARE(static_cast<QLineSeries *>(series[0])->count(), currentPoints);
    QCOMPARE(static_cast<QLineSeries *>(series[1])->count(), 50);
    // The setting in use is the highlighted row of each table.
    for (const char *name : {"advisorRaTable", "advisorDecTable"}) {
        auto *table = dialog->findChild<QTableWidget *>(QLatin1String(name));
        const auto rows = table->selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(table->item(rows.front().row(), 2)->text(), QStringLiteral("16"));
        QCOMPARE(table->item(rows.front().row(), 1)->text(),
                 startOption == 0 ? QStringLiteral("2 MHz") : QStringLiteral("250 kHz"));
    }
    // Nothing to apply when the advice is the setting in use, and it says so.
    auto *apply = dialog->findChild<QPushButton *>(QStringLiteral("advisorApply"));
    auto *summary = dialog->findChild<QLabel *>(QStringLiteral("advisorSummary"));
    QCOMPARE(apply->isEnabled(), !keeps);
    QCOMPARE(summary->text().contains(QStringLiteral("今の設定のまま")), keeps);
    QVERIFY(
        dialog->findChild<QLabel *>(QStringLiteral("advisorCutNote"))->text().contains("FFFFFF"));

    auto *field = dialog->findChild<QDoubleSpinBox *>(QStringLiteral("advisorTolerance"));
    QCOMPARE(field->value(), 0.5);
    // Typed and confirmed with Return, which ranks again and keeps the dialog.
    dialog->activateWindow();
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    field->selectAll();
    QTest::keyClicks(field, QString::number(tolerance));
    QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
    QVERIFY(dialog->isVisible());
    QCOMPARE(field->value(), tolerance);
    QVERIFY(apply->isEnabled());
    QVERIFY2(!summary->text().contains(QStringLiteral("今の設定のまま")),
             qPrintable(summary->text()));
    // Ranked again: each table leads with its axis's advice.
    QCOMPARE(dialog->findChild<QTableWidget *>("advisorRaTable")->item(0, 2)->text(), raMicrostep);
    QCOMPARE(dialog->findChild<QTableWidget *>("advisorDecTable")->item(0, 2)->text(),
             decMicrostep);
    // Nothing changes before 適用.
    QCOMPARE(box("Text1_4")->text(), QStringLiteral("16"));
    QVERIFY(box("Text8_3")->text().trimmed().isEmpty());

    QTest::mouseClick(apply, Qt::LeftButton);
    QCOMPARE(box("Text1_4")->text(), raMicrostep);
    QCOMPARE(box("Text4_4")->text(), decMicrostep);
    QVERIFY(
        m_window->findChild<QRadioButton *>(QStringLiteral("Option1_%1").arg(option))->isChecked());
    QCOMPARE(m_window->current_base_clock(), option == 0 ? 2000000 : 250000);
    QCOMPARE(box("Text8_3")->text(), raRow04);
    QCOMPARE(box("Text10_3")->text(), decRow04);
    QTRY_VERIFY(!m_window->findChild<AdvisorDialog *>(QStringLiteral("advisorDialog")));
}

// Return takes the default button, which only closes: the window keeps
// its setting.
void tst_AdvisorDialog::returnOnlyCloses()
{
    AdvisorDialog *dialog = open_advisor();
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QTest::keyClick(dialog, Qt::Key_Return);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(box("Text1_4")->text(), QStringLiteral("16"));
    QVERIFY(box("Text8_3")->text().trimmed().isEmpty());
}

// A palette swap (night mode) reaches the chart, which keeps no colour of
// its own.
void tst_AdvisorDialog::chartFollowsPalette()
{
    AdvisorDialog *dialog = open_advisor();
    QVERIFY(dialog);
    QPalette night = dialog->palette();
    night.setColor(QPalette::Base, QColor(40, 0, 0));
    night.setColor(QPalette::Text, QColor(200, 30, 30));
    night.setColor(QPalette::Highlight, QColor(120, 0, 0));
    dialog->setPalette(night);
    QChart *chart = dialog->findChild<QChartView *>(QStringLiteral("advisorChartView"))->chart();
    QCOMPARE(chart->backgroundBrush().color(), QColor(40, 0, 0));
    QCOMPARE(chart->titleBrush().color(), QColor(200, 30, 30));
    const auto series = chart->series();
    const QPen current = static_cast<QLineSeries *>(series[0])->pen();
    const QPen advised = static_cast<QLineSeries *>(series[1])->pen();
    QCOMPARE(current.color(), QColor(200, 30, 30));
    QCOMPARE(advised.color(), QColor(120, 0, 0));
    QVERIFY(current.style() != advised.style());
    for (auto *axis : chart->axes())
        QCOMPARE(axis->labelsBrush().color(), QColor(200, 30, 30));
}

// The dialog fits the screen's free area with its frame: the buttons stay in
// view, the tables and chart scroll above them.
void tst_AdvisorDialog::fitsTheScreen_data()
{
    QTest::addColumn<QRect>("available"); // null: the offscreen platform's 800×800
    QTest::addColumn<QSize>("size");
    QTest::newRow("the screen it opens on") << QRect() << QSize(784, 752);
    QTest::newRow("1366×768 under a 32-pixel panel") << QRect(0, 32, 1366, 736) << QSize(960, 688);
    QTest::newRow("800×480") << QRect(0, 0, 800, 480) << QSize(784, 432);
    QTest::newRow("800×480 at 2×") << QRect(0, 0, 400, 240) << QSize(384, 192);
}

void tst_AdvisorDialog::fitsTheScreen()
{
    QFETCH(QRect, available);
    QFETCH(QSize, size);
    AdvisorDialog dialog(app::AdvisorSetting{}, m_window.get());
    if (!available.isNull())
        dialog.fit_to(available);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), size);
    for (const char *name : {"advisorApply", "advisorClose"}) {
        auto *button = dialog.findChild<QPushButton *>(QLatin1String(name));
        QVERIFY(dialog.rect().contains(QRect(button->mapTo(&dialog, QPoint()), button->size())));
    }
    auto *page = dialog.findChild<QScrollArea *>(QStringLiteral("advisorScroll"))->widget();
    QVERIFY(page->isAncestorOf(dialog.findChild<QChartView *>(QStringLiteral("advisorChartView"))));
}

QTEST_MAIN(tst_AdvisorDialog)
#include "tst_advisor_dialog.moc"
