#include "actionrunner.h"
#include "detectedports.h"
#include "fakeclock.h"
#include "form1.h"
#include "look.h"
#include "privatesettings.h"
#include "ptyline.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

using app::Form1;

namespace {

constexpr int kPort = 5;

// What a look shows, pixel by pixel: how many are not red-only (green or
// blue above 0x30) and how many are clearly red (text, lines, marks).
struct Colours {
    qsizetype not_red_only = 0;
    qsizetype red = 0;
    qsizetype all = 0;
};

Colours colours_of(const QImage &shot)
{
    const QImage image = shot.convertToFormat(QImage::Format_RGB32);
    Colours c;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            if (qGreen(p) > 0x30 || qBlue(p) > 0x30)
                ++c.not_red_only;
            else if (qRed(p) >= 0x80)
                ++c.red;
        }
    }
    c.all = qsizetype{image.width()} * image.height();
    return c;
}

QWidget *shown_tooltip()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->inherits("QTipLabel") && w->isVisible())
            return w;
    }
    return nullptr;
}

// Every child's place and size, every box's text: what a switch of look
// must leave as it is.
QStringList window_state(const QWidget *window)
{
    QStringList state;
    for (const QWidget *w : window->findChildren<QWidget *>()) {
        if (w->objectName() == QLatin1String("nightCaret"))
            continue; // the night look's own caret
        const QRect g = w->geometry();
        state << QStringLiteral("%1 %2,%3 %4x%5 %6")
                     .arg(w->objectName())
                     .arg(g.x())
                     .arg(g.y())
                     .arg(g.width())
                     .arg(g.height())
                     .arg(w->isVisible());
        if (const auto *box = qobject_cast<const QLineEdit *>(w))
            state << box->text();
    }
    return state;
}

} // namespace

class tst_WindowNight : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everythingShownIsRed_data();
    void everythingShownIsRed();
    void keysPressTheButtons_data();
    void keysPressTheButtons();
    void rememberedPerUser_data();
    void rememberedPerUser();
    void nightInEveryMenu_data();
    void nightInEveryMenu();
    void messageIconsSharp_data();
    void messageIconsSharp();

private:
    void make_window()
    {
        m_window = std::make_unique<Form1>(m_dir->path(), m_time.get(), no_devices());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_window->findChild<QComboBox *>("Combo1")->setEditText(QStringLiteral("Com%1").arg(kPort));
    }
    template <class T = QLineEdit> T *child(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    QMessageBox *question() const
    {
        for (auto *box : m_window->findChildren<QMessageBox *>("sendConfirmation")) {
            if (box->isVisible())
                return box;
        }
        return nullptr;
    }
    QString status() const { return child<QLabel>("statusLine")->text(); }
    void press(QWidget *at, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        at->setFocus();
        QTest::keyClick(at, key, modifiers);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PrivateSettings> m_settings;
    std::unique_ptr<PtyLine> m_line;
    std::unique_ptr<FakeClock> m_time;
    std::unique_ptr<Form1> m_window;
};

void tst_WindowNight::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<PrivateSettings>();
    m_line = std::make_unique<PtyLine>(kPort);
    QVERIFY(m_line->ok());
    m_time = std::make_unique<FakeClock>(1000);
    make_window();
}

void tst_WindowNight::cleanup()
{
    m_window.reset();
    app::apply_look(app::Look::Day); // the look is the application's, not the window's
    m_time.reset();
    m_line.reset();
    m_settings.reset();
    m_dir.reset();
}

void tst_WindowNight::everythingShownIsRed_data()
{
    QTest::addColumn<bool>("atStart");
    QTest::addColumn<bool>("byKey");
    QTest::newRow("day") << false << false;
    QTest::newRow("night from the start") << true << false;
    QTest::newRow("night by Ctrl+N over marks shown") << false << true;
}

// The window after 計算 with marked boxes, a tooltip, the question before
// 送信 and 「ポート設定」.
void tst_WindowNight::everythingShownIsRed()
{
    QFETCH(bool, atStart);
    QFETCH(bool, byKey);
    const bool night = atStart || byKey;
    if (atStart)
        m_window->set_night(true);
    child("Text1_4")->setText("256"); // cut totals: marked, and asked about
    press(child("Text1_0"), Qt::Key_F5);
    QVERIFY(child("Text11")->property("marked").toBool());
    if (byKey) {
        QWidget *focus = QApplication::focusWidget();
        const QStringList before = window_state(m_window.get());
        press(child("Text1_0"), Qt::Key_N, Qt::ControlModifier);
        QVERIFY(m_window->night());
        QCOMPARE(QApplication::focusWidget(), focus);
        QCOMPARE(window_state(m_window.get()), before);
    }

    QList<QPair<QString, QImage>> shots;
    shots.append({"window", m_window->grab().toImage()});

    auto *calculate = child<QPushButton>("Command1");
    QToolTip::showText(calculate->mapToGlobal(QPoint(4, 4)), calculate->toolTip(), calculate);
    QTRY_VERIFY(shown_tooltip());
    shots.append({"tooltip", shown_tooltip()->grab().toImage()});
    QToolTip::hideText();

    press(child("Text8_0"), Qt::Key_Return, Qt::ControlModifier);
    QTRY_VERIFY(question());
    shots.append({"question", question()->grab().toImage()});
    question()->button(QMessageBox::Cancel)->click();

    QTest::mouseClick(child<QToolButton>("portSettingsButton"), Qt::LeftButton);
    auto *dialog = m_window->findChild<QDialog *>("portDialog");
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    shots.append({"port settings", dialog->grab().toImage()});
    dialog->reject();

    for (const auto &[name, shot] : shots) {
        const Colours c = colours_of(shot);
        if (night) {
            QVERIFY2(
                c.not_red_only == 0,
                qPrintable(
                    QStringLiteral("%1: %2 pixels not red-only").arg(name).arg(c.not_red_only)));
            // Text is there: at least one pixel in 300 clearly red.
            QVERIFY2(
                c.red * 300 >= c.all,
                qPrintable(QStringLiteral("%1: %2 of %3 red").arg(name).arg(c.red).arg(c.all)));
        } else {
            QVERIFY2(c.not_red_only > 0, qPrintable(name));
        }
    }
}

void tst_WindowNight::keysPressTheButtons_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("calculateFirst");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("calculates");
    QTest::addColumn<int>("frames");
    QTest::newRow("F5 in a drive-train box") << "Text1_2" << false << int(Qt::Key_F5) << true << 0;
    QTest::newRow("F5 on 送信") << "Command2" << false << int(Qt::Key_F5) << true << 0;
    QTest::newRow("Ctrl+Return in a table box uploads")
        << "Text10_7" << true << int(Qt::Key_Return) << false << 109;
    QTest::newRow("Ctrl+Enter in the port box uploads")
        << "Combo1" << true << int(Qt::Key_Enter) << false << 109;
    QTest::newRow("Ctrl+Return before 計算 sends nothing")
        << "Text1_0" << false << int(Qt::Key_Return) << false << 0;
}

void tst_WindowNight::keysPressTheButtons()
{
    QFETCH(QString, focus);
    QFETCH(bool, calculateFirst);
    QFETCH(int, key);
    QFETCH(bool, calculates);
    QFETCH(int, frames);
    if (calculateFirst)
        QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    const QString listing = QDir(m_dir->path()).filePath("Speed_Data.txt");
    QFile::remove(listing);
    auto *at = m_window->findChild<QWidget *>(focus);
    QVERIFY(at);
    auto *runner = m_window->findChild<rwlink::ActionRunner *>("actionRunner");
    QSignalSpy finished(runner, &rwlink::ActionRunner::finished);
    const Qt::KeyboardModifiers modifiers =
        key == Qt::Key_F5 ? Qt::NoModifier
                          : (key == Qt::Key_Enter ? Qt::ControlModifier | Qt::KeypadModifier
                                                  : Qt::ControlModifier);
    press(at, Qt::Key(key), modifiers);
    QCOMPARE(QFile::exists(listing), calculates);
    QCOMPARE(child("Text7_0")->text() != QLatin1String(" "), calculates || calculateFirst);
    if (frames > 0) {
        QVERIFY(!question()); // a fresh calculation: nothing to ask
        QVERIFY(finished.wait(10000));
        QCOMPARE(PtyLine::bodies(m_line->read_all()).size(), frames);
    } else {
        QCOMPARE(m_line->read_all(), QByteArray());
    }
    if (!calculates && !calculateFirst)
        QVERIFY2(status().contains(QStringLiteral("まだ計算していない")), qPrintable(status()));
}

void tst_WindowNight::rememberedPerUser_data()
{
    QTest::addColumn<int>("presses");
    QTest::addColumn<bool>("startOption");
    QTest::addColumn<bool>("unwritable");
    QTest::addColumn<bool>("afterRestart");
    QTest::newRow("Ctrl+N: night again") << 1 << false << false << true;
    QTest::newRow("Ctrl+N twice: day again") << 2 << false << false << false;
    QTest::newRow("--night alone is not remembered") << 0 << true << false << false;
    QTest::newRow("--night, then Ctrl+N: day remembered") << 1 << true << false << false;
    QTest::newRow("settings folder unwritable: said, night for this run")
        << 1 << false << true << false;
}

void tst_WindowNight::rememberedPerUser()
{
    QFETCH(int, presses);
    QFETCH(bool, startOption);
    QFETCH(bool, unwritable);
    QFETCH(bool, afterRestart);
    if (unwritable) {
        // A file where the program's settings folder would be.
        QFile blocker(QDir(m_settings->path()).filePath("rw7300-speedtable"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    if (startOption)
        m_window->set_night(true);
    QCOMPARE(m_window->night(), startOption);
    QCOMPARE(app::look_in_force(), startOption ? app::Look::Night : app::Look::Day);
    for (int i = 0; i < presses; ++i)
        press(child("Text1_0"), Qt::Key_N, Qt::ControlModifier);
    const bool now = startOption != (presses % 2 == 1);
    QCOMPARE(m_window->night(), now);
    QCOMPARE(app::look_in_force(), now ? app::Look::Night : app::Look::Day);
    QCOMPARE(status().contains(QStringLiteral("表示の設定を保存できません")), unwritable);

    m_window.reset();
    make_window();
    QCOMPARE(m_window->night(), afterRestart);
    QCOMPARE(app::look_in_force(), afterRestart ? app::Look::Night : app::Look::Day);
}

void tst_WindowNight::nightInEveryMenu_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QString>("menu");
    QTest::newRow("window") << "Form1" << QPoint(300, 400) << "windowMenu";
    QTest::newRow("drive-train box") << "Text1_0" << QPoint(4, 4) << "mountMenu";
    QTest::newRow("table box") << "Text9_3" << QPoint(4, 4) << "boxMenu";
    QTest::newRow("port box") << "Combo1" << QPoint(4, 4) << "portMenu";
}

void tst_WindowNight::nightInEveryMenu()
{
    QFETCH(QString, widget);
    QFETCH(QPoint, at);
    QFETCH(QString, menu);
    QWidget *w =
        widget == QLatin1String("Form1") ? m_window.get() : m_window->findChild<QWidget *>(widget);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        w = combo->lineEdit();
    QVERIFY(w);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
    QApplication::sendEvent(w, &event);
    QWidget *shown = nullptr;
    QTRY_VERIFY((shown = m_window->findChild<QWidget *>(menu)) && shown->isVisible());
    QAction *night = nullptr;
    for (QAction *a : shown->actions()) {
        if (a->objectName() == QLatin1String("nightAction"))
            night = a;
    }
    QVERIFY(night);
    QVERIFY(night->isCheckable() && !night->isChecked());
    night->trigger();
    QVERIFY(m_window->night());
    QCOMPARE(app::look_in_force(), app::Look::Night);
    shown->close();
}

void tst_WindowNight::messageIconsSharp_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("night");
    for (const bool night : {false, true}) {
        const char *look = night ? "night" : "day";
        QTest::addRow("warning, %s", look) << int(QMessageBox::Warning) << night;
        QTest::addRow("question, %s", look) << int(QMessageBox::Question) << night;
        QTest::addRow("information, %s", look) << int(QMessageBox::Information) << night;
        QTest::addRow("critical, %s", look) << int(QMessageBox::Critical) << night;
    }
}

// Drawn at the screen's pixel ratio (this test runs at 1× and 2×), in red at
// night.
void tst_WindowNight::messageIconsSharp()
{
    QFETCH(int, icon);
    QFETCH(bool, night);
    m_window->set_night(night);
    QMessageBox box(QMessageBox::Icon(icon), "t", "text", QMessageBox::Ok, m_window.get());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QPixmap shown = box.iconPixmap();
    const qreal ratio = box.devicePixelRatioF();
    const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    QCOMPARE(shown.devicePixelRatio(), ratio);
    QCOMPARE(shown.size(), QSize(size, size) * ratio);
    const Colours c = colours_of(shown.toImage());
    QCOMPARE(c.not_red_only == 0, night);
    // Switched while shown: the icon follows.
    m_window->set_night(!night);
    QCOMPARE(colours_of(box.iconPixmap().toImage()).not_red_only == 0, !night);
}

QTEST_MAIN(tst_WindowNight)
#include "tst_window_night.moc"
