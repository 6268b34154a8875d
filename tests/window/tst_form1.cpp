#include "detectedports.h"
#include "form1.h"
#include "privatesettings.h"
#include "screenfit.h"
#include "statusline.h"
#include "translations.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using app::Form1;

namespace {

int px(int twips)
{
    return static_cast<int>(std::lround(twips / 15.0));
}

QString name(const char *control, int index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(control)).arg(index);
}

// Every text box's text, by object name.
QMap<QString, QString> all_texts(const QWidget &window)
{
    QMap<QString, QString> texts;
    for (const QLineEdit *box : window.findChildren<QLineEdit *>()) {
        if (!box->objectName().isEmpty())
            texts.insert(box->objectName(), box->text());
    }
    return texts;
}

// The next widget that Tab reaches: the focus chain also holds labels and
// other widgets that take no keyboard focus.
QString next_tab_stop(QWidget *from)
{
    for (QWidget *w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty())
            return w->objectName();
    }
    return {};
}

} // namespace

class tst_Form1 : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUpState();
    void focusAndTabOrder();
    void returnPressesFocusedButton();
    void qtTextsInJapanese();
    void geometry_data();
    void geometry();
    void fitsTheScreen_data();
    void fitsTheScreen();
    void resultLineKeepsWhatMatters_data();
    void resultLineKeepsWhatMatters();
    void calculate_data();
    void calculate();
    void calculateTwiceGivesSameTexts();
    void editedInputIsUsed();
    void optionButtonsExcludeEachOther();
    void failedCalculateChangesNothing_data();
    void failedCalculateChangesNothing();
    void speedTableMirrorsHexBoxes();

private:
    QLineEdit *box(const QString &objectName) const
    {
        auto *b = m_window->findChild<QLineEdit *>(objectName);
        if (!b)
            qFatal("no box %s", qPrintable(objectName));
        return b;
    }
    template <class W> W *control(const QString &objectName) const
    {
        return m_window->findChild<W *>(objectName);
    }
    void click(const QString &objectName) const
    {
        auto *b = m_window->findChild<QAbstractButton *>(objectName);
        QVERIFY2(b, qPrintable(objectName));
        QTest::mouseClick(b, Qt::LeftButton);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PrivateSettings> m_settings;
    std::unique_ptr<Form1> m_window;
};

void tst_Form1::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_settings = std::make_unique<PrivateSettings>();
    m_window = std::make_unique<Form1>(m_dir->path(), nullptr, no_devices());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_Form1::cleanup()
{
    m_window.reset();
    m_settings.reset();
}

void tst_Form1::startUpState()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("RW７３００　SPEEDテーブル Ver1.02"));
    for (int k = 0; k < 53; ++k) {
        QCOMPARE(box(name("Text7", k))->text(), QStringLiteral(" "));
        QCOMPARE(box(name("Text8", k))->text(), QStringLiteral(" "));
    }
    for (int k = 0; k < 50; ++k) {
        QCOMPARE(box(name("Text9", k))->text(), QStringLiteral(" "));
        QCOMPARE(box(name("Text10", k))->text(), QStringLiteral(" "));
        const QString number = QStringLiteral(" %1 ").arg(k + 1);
        for (const char *labels : {"Label3", "Label4"}) {
            auto *label = control<QLabel>(name(labels, k));
            QCOMPARE(label->text(), number);
            QVERIFY(label->alignment() & Qt::AlignRight);
        }
    }
    for (const char *output : {"Text2", "Text3", "Text5", "Text6", "Text11", "Text12"})
        QCOMPARE(box(QLatin1String(output))->text(), QStringLiteral("0"));
    const QStringList ra{"240", "2", "200", "10", "16"};
    const QStringList dec{"144", "2.5", "200", "10", "16"};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(box(name("Text1", i))->text(), ra[i]);
        QCOMPARE(box(name("Text4", i))->text(), dec[i]);
    }
    QCOMPARE(control<QLabel>(name("Label3", 53))->text(), QStringLiteral("赤経：RA"));
    QCOMPARE(control<QLabel>(name("Label3", 54))->text(), QStringLiteral("赤緯：DEC"));
    QVERIFY(control<QRadioButton>(name("Option1", 0))->isChecked());
    QVERIFY(!control<QRadioButton>(name("Option1", 1))->isChecked());
    QCOMPARE(m_window->current_base_clock(), 2000000);
    QVERIFY(!control<QProgressBar>("ProgressBar1")->isVisible());
    QVERIFY(!control<QProgressBar>("ProgressBar2")->isVisible());
    auto *combo = control<QComboBox>("Combo1");
    QCOMPARE(combo->currentText(), QStringLiteral("Com1"));
    QCOMPARE(combo->count(), 20);
    QCOMPARE(combo->itemText(19), QStringLiteral("Com20"));
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 51; ++r)
            QVERIFY(!m_window->speed_table().cell(c, r).has_value());
    }
}

void tst_Form1::focusAndTabOrder()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), box(name("Text1", 0)));
    const QStringList chain{name("Text1", 0), name("Text1", 1), name("Text1", 4), "Text2",
                            "Text3",          name("Text4", 0), name("Text4", 4), "Text5",
                            "Text6",          "Command1",       name("Text7", 0)};
    for (int i = 0; i + 1 < chain.size(); ++i) {
        if (chain[i] == name("Text1", 1) || chain[i] == name("Text4", 0))
            continue; // the next entry skips ahead in the same array
        QCOMPARE(next_tab_stop(m_window->findChild<QWidget *>(chain[i])), chain[i + 1]);
    }
    QCOMPARE(next_tab_stop(control<QPushButton>("Command2")), QStringLiteral("Combo1"));
    // 「…」 right after the port box, then on as before.
    QCOMPARE(next_tab_stop(m_window->findChild<QWidget *>("Combo1")),
             QStringLiteral("portSettingsButton"));
    QCOMPARE(next_tab_stop(m_window->findChild<QWidget *>("portSettingsButton")),
             QStringLiteral("Command3"));
    QCOMPARE(next_tab_stop(control<QPushButton>("Command7")), name("Option1", 0));
}

void tst_Form1::returnPressesFocusedButton()
{
    auto *calculate = control<QPushButton>("Command1");
    calculate->setFocus();
    QSignalSpy clicked(calculate, &QPushButton::clicked);
    QTest::keyClick(calculate, Qt::Key_Return);
    QTRY_COMPARE(clicked.size(), 1);
    QCOMPARE(box("Text2")->text(), QStringLiteral(" 15360000")); // calculated
    QTest::keyClick(calculate, Qt::Key_Enter, Qt::KeypadModifier);
    QTRY_COMPARE(clicked.size(), 2);
    // Return in a text box is no button press.
    box(name("Text1", 0))->setFocus();
    QTest::keyClick(box(name("Text1", 0)), Qt::Key_Return);
    QTest::qWait(50);
    QCOMPARE(clicked.size(), 2);
}

void tst_Form1::qtTextsInJapanese()
{
    QVERIFY(app::install_qt_japanese(*qApp));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    std::unique_ptr<QMenu> menu(box("Text2")->createStandardContextMenu());
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << action->text();
    QVERIFY2(texts.join(' ').contains(QStringLiteral("コピー")), qPrintable(texts.join(' ')));
}

void tst_Form1::geometry_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QRect>("twips"); // left, top, width (0: auto-sized), height
    auto row = [](const QString &n, int l, int t, int w = 0, int h = 0) {
        QTest::newRow(qPrintable(n)) << n << QRect(l, t, w, h);
    };
    row(name("Label5", 0), 840, 50);
    row(name("Label5", 4), 4560, 45);
    row(name("Label1", 1), 360, 840);
    row(name("Text1", 0), 840, 240, 615, 375);
    row(name("Text4", 4), 4680, 720, 615, 375);
    row("Text2", 5640, 240, 1095, 375);
    row("Text6", 6960, 720, 855, 375);
    row(name("Label2", 9), 7920, 840);
    row("Command1", 8760, 120, 735, 855);
    row("Command2", 8760, 1200, 735, 375);
    row("Command5", 5040, 1320, 855, 300);
    row(name("Text7", 50), 840, 1320, 735, 270);
    row(name("Text8", 52), 6840, 1320, 735, 270);
    row("Text11", 1680, 1750, 1455, 270);
    row("Command7", 3240, 1750, 1575, 255);
    row("Label6", 6720, 1680, 975, 255);
    row("Picture1", 7680, 1680, 2055, 375);
    row(name("Option1", 1), 960, 120, 1095, 255); // inside Picture1
    row("ProgressBar2", 1080, 6000, 8415, 135);
    row(name("Label3", 53), 240, 2160);
    // Row labels after start-up: (70 + 1920c, 2470 + 360r) and (70 + 1920c, 6430 + 360r).
    row(name("Label3", 0), 70, 2470);
    row(name("Label3", 19), 70 + 1920, 2470 + 360 * 9);
    row(name("Label4", 49), 70 + 1920 * 4, 6430 + 360 * 9);
    row(name("Text7", 0), 360, 2400, 735, 270);
    row(name("Text8", 37), 1200 + 1920 * 3, 2400 + 360 * 7, 735, 270);
    row(name("Text9", 21), 360 + 1920 * 2, 6360 + 360, 735, 270);
    row(name("Text10", 49), 1200 + 1920 * 4, 6360 + 360 * 9, 735, 270);
}

void tst_Form1::geometry()
{
    QFETCH(QString, objectName);
    QFETCH(QRect, twips);
    auto *w = m_window->findChild<QWidget *>(objectName);
    QVERIFY(w);
    QCOMPARE(w->pos(), QPoint(px(twips.x()), px(twips.y())));
    if (twips.width() > 0)
        QCOMPARE(w->size(), QSize(px(twips.width()), px(twips.height())));
    else
        QCOMPARE(w->size(), w->sizeHint()); // auto-sized to its caption
    QCOMPARE(m_window->size(), QSize(649, 666));
}

// On a screen smaller than the window, the window scrolls inside one as
// large as the screen allows; the controls keep their places. A 2× screen
// gives Qt half its pixels.
void tst_Form1::fitsTheScreen_data()
{
    QTest::addColumn<QRect>("available"); // the screen's free area
    QTest::addColumn<bool>("across");     // scrolls sideways
    QTest::addColumn<bool>("down");
    QTest::newRow("1366×768 under a 32-pixel panel") << QRect(0, 32, 1366, 736) << false << false;
    QTest::newRow("just room for window and frame") << QRect(0, 0, 665, 714) << false << false;
    QTest::newRow("a pixel short of that") << QRect(0, 0, 1366, 713) << false << true;
    QTest::newRow("800×480 under a panel") << QRect(0, 32, 800, 448) << false << true;
    QTest::newRow("800×480 at 2×") << QRect(0, 0, 400, 240) << true << true;
}

void tst_Form1::fitsTheScreen()
{
    QFETCH(QRect, available);
    QFETCH(bool, across);
    QFETCH(bool, down);
    m_window = std::make_unique<Form1>(m_dir->path(), nullptr, no_devices());
    auto *last = box(name("Text10", 49));
    const QRect placed = last->geometry();
    const auto fitted = app::fit_to_screen(*m_window, available);
    QCOMPARE(fitted != nullptr, across || down);
    QWidget *shown = fitted ? static_cast<QWidget *>(fitted.get()) : m_window.get();
    shown->show();
    QVERIFY(QTest::qWaitForWindowActive(shown));
    QCOMPARE(m_window->size(), QSize(649, 666));
    QCOMPARE(last->geometry(), placed);
    if (!fitted)
        return;
    const QSize room = available.size() - app::kFrameAllowance;
    QCOMPARE(fitted->width() == room.width(), across);
    QCOMPARE(fitted->height() == room.height(), down);
    QCOMPARE(fitted->pos(), available.topLeft());
    QCOMPARE(fitted->horizontalScrollBar()->maximum() > 0, across);
    QCOMPARE(fitted->verticalScrollBar()->maximum() > 0, down);
    m_window->setWindowTitle(QStringLiteral("EM-200[*] — RW7300"));
    m_window->setWindowModified(true); // a mount edited
    QVERIFY(fitted->windowTitle().startsWith("EM-200") && fitted->isWindowModified());
    last->setFocus(); // the view follows the keyboard's cursor
    QVERIFY(fitted->viewport()->rect().contains(
        QRect(last->mapTo(fitted->viewport(), QPoint()), QSize(8, last->height()))));
    QTest::keyClick(last, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!fitted->isVisible());
}

// The line keeps the result, count, port and time whole within its width;
// the tooltip has it all.
void tst_Form1::resultLineKeepsWhatMatters_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("rest");
    QTest::addColumn<QString>("shown"); // after the port; * for what a cut leaves
    const QString note = QStringLiteral("送る 109 個の値のうち 102 個が、コントローラーが保持"
                                        "しているはずの値 (送信記録) と異なります。");
    QTest::newRow("all of it") << "/dev/ttyUSB0"
                               << "(詳しくはメッセージ)"
                               << "(/dev/ttyUSB0) 16.3 秒 21:14:03 (詳しくはメッセージ)";
    QTest::newRow("a note to the tooltip")
        << "/dev/ttyUSB0" << note << "(/dev/ttyUSB0) 16.3 秒 21:14:03 …";
    QTest::newRow("a stable name cut in the middle")
        << "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" << note
        << "(/dev/*…*-port0) 16.3 秒 21:14:03 …";
}

void tst_Form1::resultLineKeepsWhatMatters()
{
    QFETCH(QString, device);
    QFETCH(QString, rest);
    QFETCH(QString, shown);
    auto *line = control<app::StatusLine>("statusLine");
    line->say_result({"送信完了: 109 個 →", "Com5", device, "16.3 秒 21:14:03", rest});
    QStringList parts = QStringLiteral("送信完了: 109 個 → Com5 %1").arg(shown).split('*');
    for (QString &part : parts)
        part = QRegularExpression::escape(part);
    const QRegularExpression expected(QRegularExpression::anchoredPattern(parts.join(".*")));
    QVERIFY2(expected.match(line->text()).hasMatch(), qPrintable(line->text()));
    QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->width());
    QVERIFY(line->toolTip().startsWith(
        QStringLiteral("送信完了: 109 個 → Com5 (%1) 16.3 秒 21:14:03 %2\n").arg(device, rest)));
}

void tst_Form1::calculate_data()
{
    QTest::addColumn<bool>("slowClock");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("texts");
    const QStringList boxes{"Text2",           "Text3",           "Text11",
                            "Text5",           "Text6",           "Text12",
                            name("Text7", 0),  name("Text8", 0),  name("Text7", 51),
                            name("Text8", 51), name("Text9", 49), name("Text10", 49)};
    QTest::newRow("2 MHz") << false << boxes
                           << QStringList{" 15360000", " 178",   "EA6000", " 11520000",
                                          " 133",      "AFC800", " 22438", "57A7",
                                          " 11647",    "2D80",   " 59",    "003C"};
    QTest::newRow("250 kHz") << true << boxes
                             << QStringList{" 15360000", " 178",   "EA6000", " 11520000",
                                            " 133",      "AFC800", " 2804",  "0AF5",
                                            " 1455",     "05B0",   " 7",     "0007"};
}

void tst_Form1::calculate()
{
    QFETCH(bool, slowClock);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, texts);
    if (slowClock) {
        click(name("Option1", 1));
        QCOMPARE(m_window->current_base_clock(), 250000);
    }
    click("Command1");
    QStringList got;
    for (const QString &b : boxes)
        got << box(b)->text();
    QCOMPARE(got, texts);
    QCOMPARE(m_window->current_base_clock(), slowClock ? 250000 : 2000000);
}

void tst_Form1::calculateTwiceGivesSameTexts()
{
    click("Command1");
    const auto first = all_texts(*m_window);
    click("Command1");
    QCOMPARE(all_texts(*m_window), first);
}

void tst_Form1::editedInputIsUsed()
{
    QLineEdit *gear = box(name("Text4", 1));
    gear->clear();
    QTest::keyClicks(gear, QStringLiteral("2,5"));
    click("Command1");
    QCOMPARE(box("Text5")->text(), QStringLiteral(" 9216000"));
    QCOMPARE(box("Text12")->text(), QStringLiteral("8CA000"));
}

void tst_Form1::optionButtonsExcludeEachOther()
{
    auto *fast = control<QRadioButton>(name("Option1", 0));
    auto *slow = control<QRadioButton>(name("Option1", 1));
    click(name("Option1", 1));
    QVERIFY(slow->isChecked() && !fast->isChecked());
    QCOMPARE(m_window->current_base_clock(), 250000);
    click(name("Option1", 1)); // clicking the selected one keeps it selected
    QVERIFY(slow->isChecked() && !fast->isChecked());
    click(name("Option1", 0));
    QVERIFY(fast->isChecked() && !slow->isChecked());
    QCOMPARE(m_window->current_base_clock(), 2000000);
}

// Both drive trains are edited and the clock changed, so either half would
// give every box of its axis a new text if anything were written; the DEC
// half then fails at the step named.
void tst_Form1::failedCalculateChangesNothing_data()
{
    QTest::addColumn<QString>("decBox");
    QTest::addColumn<QString>("decText");
    QTest::newRow("DEC zero total, at its first divisor") << name("Text4", 2) << QString();
    QTest::newRow("DEC divisor beyond 32 bits, at its hex boxes") << name("Text4", 0) << "0.0001";
    QTest::newRow("DEC total beyond 32 bits, at its last step") << name("Text4", 4) << "10000";
}

void tst_Form1::failedCalculateChangesNothing()
{
    QFETCH(QString, decBox);
    QFETCH(QString, decText);
    click("Command1");
    const auto before = all_texts(*m_window);
    const calc::SpeedTable table = m_window->speed_table();

    auto expected = before;
    const auto edit = [&](const QString &objectName, const QString &text) {
        box(objectName)->setText(text);
        expected[objectName] = text;
    };
    edit(name("Text1", 0), QStringLiteral("120")); // RA total 7680000
    edit(decBox, decText);
    click(name("Option1", 1));
    click("Command1");

    auto *message = m_window->findChild<QMessageBox *>(QStringLiteral("calculationFailure"));
    QVERIFY(message);
    QTRY_VERIFY(message->isVisible());
    QVERIFY2(message->text().contains(QStringLiteral("赤緯")), qPrintable(message->text()));
    QCOMPARE(all_texts(*m_window), expected);
    QVERIFY(m_window->speed_table() == table);
    message->accept();
}

void tst_Form1::speedTableMirrorsHexBoxes()
{
    click("Command1");
    const calc::SpeedTable &table = m_window->speed_table();
    for (int i = 0; i < 50; ++i) {
        QCOMPARE(QString::fromStdString(table.cell(0, i).value()), box(name("Text8", i))->text());
        QCOMPARE(QString::fromStdString(table.cell(1, i).value()), box(name("Text10", i))->text());
        QVERIFY(!table.cell(2, i).has_value());
    }
    QVERIFY(!table.cell(0, 50).has_value());
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
