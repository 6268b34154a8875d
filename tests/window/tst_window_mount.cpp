#include "detectedports.h"
#include "fifowatchdog.h"
#include "filebytes.h"
#include "filetext.h"
#include "form1.h"
#include "mountfile.h"
#include "mounthistory.h"
#include "scopedenv.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <future>

#include <map>
#include <memory>

using app::Form1;

namespace {

const QString kTitle =
    QStringLiteral("RW７３００　SPEEDテーブル Ver") + QStringLiteral(RW7300_VERSION);

files::Mount em200()
{
    return files::Mount{QStringLiteral("EM-200 (庭)"),
                        {"180", "2,5", "400", "10", " 32"},
                        {"16abc", "", "400", "1 0", "32"},
                        calc::kClock250kHz};
}

// Everything the operator can see change: every box, the clock, the title.
std::map<QString, QString> snapshot(const Form1 &window)
{
    std::map<QString, QString> seen;
    for (const QLineEdit *box : window.findChildren<QLineEdit *>()) {
        if (box->window() == &window) // not a dialog's
            seen[box->objectName()] = box->text();
    }
    for (const QRadioButton *option : window.findChildren<QRadioButton *>())
        seen[option->objectName()] = option->isChecked() ? "on" : "off";
    seen["base_clock"] = QString::number(window.current_base_clock());
    seen["title"] = window.windowTitle();
    return seen;
}

void drop_on(QWidget *target, const QString &path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    data.setText(path); // as file managers offer it too
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

} // namespace

// The window with its own data and configuration directories.
class tst_WindowMount : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void openFillsOnlyTheDriveTrains_data();
    void openFillsOnlyTheDriveTrains();
    void unusableFileChangesNothing_data();
    void unusableFileChangesNothing();
    void savedValuesOpenTheSame();
    void titleFollowsTheBoxes();
    void recentListAfterRestart();
    void openLastAtStartUp();
    void menusAndShortcuts();
    void historyFileThatIsNoFile_data();
    void historyFileThatIsNoFile();
    void unsavedEditsAsk_data();
    void unsavedEditsAsk();
    void saveOverUnreadableRefused_data();
    void saveOverUnreadableRefused();
    void historyKeepsOtherWindows_data();
    void historyKeepsOtherWindows();
    void historyFullDiskReachesStatusLine();
    void lastCalculationAtStart_data();
    void lastCalculationAtStart();

private:
    void start_window(const QString &file = {});
    QString write_mount(const QString &name, const files::Mount &mount)
    {
        QString path = m_files->filePath(name);
        if (!write_file(path, files::mount_bytes(mount)))
            return {};
        return path;
    }
    QLineEdit *box(const char *name) const { return m_window->findChild<QLineEdit *>(name); }
    QString status() const { return m_window->findChild<QLabel *>("statusLine")->toolTip(); }
    QMenu *drive_train_menu() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // menus closed
        QLineEdit *worm = box("Text1_0");
        emit worm->customContextMenuRequested(QPoint(3, 3));
        return m_window->findChild<QMenu *>("mountMenu");
    }
    void check_shows(const files::Mount &mount) const;

    std::unique_ptr<QTemporaryDir> m_data;   // Speed_Data.txt and PARAM.DAT
    std::unique_ptr<QTemporaryDir> m_config; // the recent list
    std::unique_ptr<QTemporaryDir> m_files;  // mount files
    std::unique_ptr<ScopedEnv> m_config_env;
    std::unique_ptr<Form1> m_window;
};

void tst_WindowMount::init()
{
    m_data = std::make_unique<QTemporaryDir>();
    m_config = std::make_unique<QTemporaryDir>();
    m_files = std::make_unique<QTemporaryDir>();
    m_config_env = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
}

void tst_WindowMount::cleanup()
{
    m_window.reset();
    m_config_env.reset();
    m_files.reset();
    m_config.reset();
    m_data.reset();
}

void tst_WindowMount::start_window(const QString &file)
{
    m_window.reset();
    m_window = std::make_unique<Form1>(m_data->path(), nullptr, no_devices());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->start_with_mount(file);
}

void tst_WindowMount::check_shows(const files::Mount &mount) const
{
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(box(qPrintable(QStringLiteral("Text1_%1").arg(i)))->text().toStdString(),
                 mount.ra[static_cast<std::size_t>(i)]);
        QCOMPARE(box(qPrintable(QStringLiteral("Text4_%1").arg(i)))->text().toStdString(),
                 mount.dec[static_cast<std::size_t>(i)]);
    }
    const bool slow = mount.base_clock == calc::kClock250kHz;
    QCOMPARE(m_window->findChild<QRadioButton *>("Option1_1")->isChecked(), slow);
    QCOMPARE(m_window->findChild<QRadioButton *>("Option1_0")->isChecked(), !slow);
    QCOMPARE(m_window->current_base_clock(), mount.base_clock);
}

void tst_WindowMount::openFillsOnlyTheDriveTrains_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("dropped on the window") << "drop window";
    QTest::newRow("dropped on a table box") << "drop box";
    QTest::newRow("open dialog") << "dialog";
    QTest::newRow("recent list") << "recent";
    QTest::newRow("command line") << "argument";
}

// Opening fills the ten boxes and the clock, and nothing else: the tables
// keep the last Calculate, no file is written.
void tst_WindowMount::openFillsOnlyTheDriveTrains()
{
    QFETCH(QString, way);
    const QString path = write_mount(QStringLiteral("em200.rw7300mount"), em200());
    const QByteArray file_bytes = read_all(path);
    if (way == "recent") // a first run leaves it in the list
        start_window(path);
    start_window();
    if (way != "argument") // a fresh window has no tables yet
        m_window->findChild<QPushButton *>("Command1")->click();
    const QString listing = QDir(m_data->path()).filePath(QStringLiteral("Speed_Data.txt"));
    const QByteArray listing_bytes = read_all(listing);
    std::map<QString, QString> before = snapshot(*m_window);
    const calc::SpeedTable table = m_window->speed_table();

    if (way == "argument") {
        start_window(path);
    } else if (way == "drop window") {
        drop_on(m_window.get(), path);
    } else if (way == "drop box") {
        drop_on(box("Text7_3"), path);
    } else if (way == "dialog") {
        m_window->findChild<QAction *>("mountOpenAction")->trigger();
        auto *dialog = m_window->findChild<QFileDialog *>("mountOpenDialog");
        QVERIFY(dialog);
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
    } else if (way == "recent") {
        QMenu *menu = drive_train_menu();
        QVERIFY(menu);
        auto *recent = menu->findChild<QMenu *>("recentMountsMenu");
        QVERIFY(recent);
        recent->findChild<QAction *>("recentMount1")->trigger();
        menu->close();
    }
    QVERIFY(!m_window->findChild<QMessageBox *>("mountFailure"));
    check_shows(em200());
    std::map<QString, QString> after = snapshot(*m_window);
    for (const char *changed :
         {"Text1_0", "Text1_1", "Text1_2", "Text1_3", "Text1_4", "Text4_0", "Text4_1", "Text4_2",
          "Text4_3", "Text4_4", "Option1_0", "Option1_1", "base_clock", "title"}) {
        before.erase(QString::fromLatin1(changed));
        after.erase(QString::fromLatin1(changed));
    }
    QCOMPARE(after, before);
    QCOMPARE(m_window->speed_table(), table);
    QCOMPARE(read_all(listing), listing_bytes);
    QVERIFY(!QFile::exists(QDir(m_data->path()).filePath(QStringLiteral("PARAM.DAT"))));
    QCOMPARE(read_all(path), file_bytes);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("EM-200 (庭)[*] — ") + kTitle);
    QVERIFY(!m_window->isWindowModified());
}

void tst_WindowMount::unusableFileChangesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message"); // part of the message
    QTest::newRow("missing") << "missing" << QStringLiteral("見つかりません");
    QTest::newRow("not a mount file")
        << "listing" << QStringLiteral("の 1 行目: マウントファイルではありません");
    QTest::newRow("missing value")
        << "value" << QStringLiteral("の 9 行目: ra.worm の値がありません");
    QTest::newRow("binary garbage")
        << "binary" << QStringLiteral("の 1 行目: NUL バイトがあります");
    QTest::newRow("CR-only line ends") << "cr" << QStringLiteral("行末が CR だけです");
    QTest::newRow("10 MB") << "large" << QStringLiteral("大きすぎます");
    QTest::newRow("directory") << "directory" << QStringLiteral("フォルダーです");
    QTest::newRow("FIFO") << "fifo" << QStringLiteral("通常のファイルではありません");
}

void tst_WindowMount::unusableFileChangesNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    const QString path = m_files->filePath(QStringLiteral("bad.rw7300mount"));
    QByteArray good = files::mount_bytes(em200());
    if (kind == "listing")
        QVERIFY(write_file(path, "2026/12/07 21:00:00\r\n\x81\x40\r\n"));
    else if (kind == "value")
        QVERIFY(write_file(path, good.replace("ra.worm = 180", "ra.worm =")));
    else if (kind == "binary")
        QVERIFY(write_file(path, QByteArray::fromHex("7f454c4602010100000000ff00fe")));
    else if (kind == "cr")
        QVERIFY(write_file(path, good.replace('\n', '\r')));
    else if (kind == "large")
        QVERIFY(write_file(path, good + QByteArray(qsizetype{10} << 20, '#')));
    else if (kind == "directory")
        QVERIFY(QDir().mkpath(path));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    start_window();
    const std::map<QString, QString> before = snapshot(*m_window);
    drop_on(m_window.get(), path);
    auto *box = m_window->findChild<QMessageBox *>("mountFailure");
    QVERIFY(box);
    QVERIFY2(box->text().contains(path) && box->text().contains(message), qPrintable(box->text()));
    QVERIFY(box->text().contains(QStringLiteral("画面の値は変更していません")));
    QCOMPARE(snapshot(*m_window), before);
    QVERIFY(QDir(m_data->path()).isEmpty());
}

// Saved, then opened in a fresh window: every box reads as it was typed.
void tst_WindowMount::savedValuesOpenTheSame()
{
    start_window();
    const files::Mount typed = em200();
    for (int i = 0; i < 5; ++i) {
        box(qPrintable(QStringLiteral("Text1_%1").arg(i)))
            ->setText(QString::fromStdString(typed.ra[i]));
        box(qPrintable(QStringLiteral("Text4_%1").arg(i)))
            ->setText(QString::fromStdString(typed.dec[i]));
    }
    QTest::mouseClick(m_window->findChild<QRadioButton *>("Option1_1"), Qt::LeftButton);
    // Nothing open yet: saving asks where.
    m_window->findChild<QAction *>("mountSaveAction")->trigger();
    auto *dialog = m_window->findChild<QFileDialog *>("mountSaveDialog");
    QVERIFY(dialog);
    const QString path = m_files->filePath(QStringLiteral("garden mount.rw7300mount"));
    dialog->selectFile(path);
    static_cast<QDialog *>(dialog)->accept();
    QVERIFY2(QFile::exists(path), qPrintable(status()));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("garden mount[*] — ") + kTitle);

    start_window();
    check_shows(files::Mount{});
    drop_on(m_window.get(), path);
    files::Mount expected = typed;
    check_shows(expected);
    expected.name = QStringLiteral("garden mount");
    QCOMPARE(std::get<files::Mount>(files::read_mount(path)), expected);

    // Saved again, straight to the open file; its own lines stay.
    QVERIFY(write_file(path, "# my notes\n" + read_all(path) + "focuser = 12\n"));
    drop_on(m_window.get(), path);
    box("Text1_2")->setText(QStringLiteral("800"));
    m_window->findChild<QAction *>("mountSaveAction")->trigger();
    QVERIFY(!m_window->findChild<QFileDialog *>("mountSaveDialog"));
    const QByteArray saved = read_all(path);
    QVERIFY(saved.startsWith("# my notes\n") && saved.endsWith("focuser = 12\n"));
    QVERIFY(saved.contains("\nra.motor = 800\n"));
    QVERIFY(status().contains(QStringLiteral("保存しました")));

    // Renamed: only the name changes in the file and the title.
    box("Text1_2")->setText(QStringLiteral("1600"));
    m_window->findChild<QAction *>("mountRenameAction")->trigger();
    auto *rename = m_window->findChild<QInputDialog *>("mountRenameDialog");
    QVERIFY(rename);
    rename->setTextValue(QStringLiteral("庭の赤道儀"));
    rename->accept();
    expected.name = QStringLiteral("庭の赤道儀");
    expected.ra[2] = "800";
    QCOMPARE(std::get<files::Mount>(files::read_mount(path)), expected);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("庭の赤道儀[*] — ") + kTitle);
    QVERIFY(m_window->isWindowModified()); // 1600 is not saved
}

void tst_WindowMount::titleFollowsTheBoxes()
{
    const QString path = write_mount(QStringLiteral("em200.rw7300mount"), em200());
    start_window();
    QCOMPARE(m_window->windowTitle(), kTitle);
    start_window(path);
    QVERIFY(!m_window->isWindowModified());
    box("Text4_3")->setText(QStringLiteral("10"));
    QVERIFY(m_window->isWindowModified());
    box("Text4_3")->setText(QStringLiteral("1 0"));
    QVERIFY(!m_window->isWindowModified());
    QTest::mouseClick(m_window->findChild<QRadioButton *>("Option1_0"), Qt::LeftButton);
    QVERIFY(m_window->isWindowModified());
    // A file without a name shows its file name.
    files::Mount unnamed = em200();
    unnamed.name.clear();
    drop_on(m_window.get(), write_mount(QStringLiteral("unnamed.rw7300mount"), unnamed));
    m_window->findChild<QMessageBox *>("mountUnsaved")
        ->findChild<QPushButton *>("discardMountEdits")
        ->click();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("unnamed[*] — ") + kTitle);
    QVERIFY(!m_window->isWindowModified());
}

// The recent list is the user's: a new run finds it, newest first.
void tst_WindowMount::recentListAfterRestart()
{
    files::Mount second = em200();
    second.name = QStringLiteral("Second");
    second.ra[0] = "360";
    const QString first_path = write_mount(QStringLiteral("first.rw7300mount"), em200());
    const QString second_path = write_mount(QStringLiteral("second.rw7300mount"), second);
    start_window(first_path);
    drop_on(m_window.get(), second_path);
    drop_on(m_window.get(), first_path); // used again: to the top, once

    start_window();
    check_shows(files::Mount{}); // the list opens nothing by itself
    QMenu *menu = drive_train_menu();
    auto *recent = menu->findChild<QMenu *>("recentMountsMenu");
    QVERIFY(recent);
    QStringList texts;
    for (QAction *a : recent->actions())
        texts << a->text();
    QCOMPARE(texts, (QStringList{QStringLiteral("&1 EM-200 (庭) (first.rw7300mount)"),
                                 QStringLiteral("&2 Second (second.rw7300mount)"), QString(),
                                 QStringLiteral("一覧を消去")}));
    recent->findChild<QAction *>("recentMount2")->trigger();
    menu->close();
    check_shows(second);

    // A file gone since is listed, not offered.
    QVERIFY(QFile::remove(first_path));
    menu = drive_train_menu();
    recent = menu->findChild<QMenu *>("recentMountsMenu");
    auto *gone = recent->findChild<QAction *>("recentMount2");
    QVERIFY(gone->text().contains(QStringLiteral("見つかりません")));
    QVERIFY(!gone->isEnabled());
    recent->findChild<QAction *>("clearRecentMounts")->trigger();
    menu->close();
    start_window();
    recent = drive_train_menu()->findChild<QMenu *>("recentMountsMenu");
    QCOMPARE(recent->actions().size(), 1);
    QVERIFY(!recent->actions().first()->isEnabled());
}

void tst_WindowMount::openLastAtStartUp()
{
    const QString path = write_mount(QStringLiteral("em200.rw7300mount"), em200());
    start_window(path);
    start_window();
    check_shows(files::Mount{}); // off unless asked for
    QMenu *menu = drive_train_menu();
    auto *option = m_window->findChild<QAction *>("mountOpenLastAction");
    QVERIFY(menu->actions().contains(option));
    QVERIFY(option->isCheckable() && !option->isChecked());
    option->trigger();
    menu->close();

    start_window();
    check_shows(em200());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("EM-200 (庭)[*] — ") + kTitle);
    QVERIFY(m_window->findChild<QAction *>("mountOpenLastAction")->isChecked());

    // Gone since: the window opens as ever and says why on the status line.
    QVERIFY(QFile::remove(path));
    start_window();
    check_shows(files::Mount{});
    QVERIFY(!m_window->findChild<QMessageBox *>("mountFailure"));
    QVERIFY2(status().contains(QStringLiteral("前回のマウントを開けませんでした")) &&
                 status().contains(path),
             qPrintable(status()));
    QCOMPARE(m_window->windowTitle(), kTitle);
}

void tst_WindowMount::menusAndShortcuts()
{
    start_window();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    box("Text1_0")->setFocus();
    QTest::keyClick(box("Text1_0"), Qt::Key_O, Qt::ControlModifier);
    QTRY_VERIFY(m_window->findChild<QFileDialog *>("mountOpenDialog"));
    m_window->findChild<QFileDialog *>("mountOpenDialog")->reject();
    QTRY_VERIFY(!m_window->findChild<QFileDialog *>("mountOpenDialog"));
    m_window->activateWindow(); // offscreen gives it back to no one
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(box("Text1_0"), Qt::Key_S, Qt::ControlModifier);
    QTRY_VERIFY(m_window->findChild<QFileDialog *>("mountSaveDialog"));
    m_window->findChild<QFileDialog *>("mountSaveDialog")->reject();

    // The box keeps its editing actions under the mount ones.
    QMenu *menu = drive_train_menu();
    QVERIFY(menu);
    QStringList names;
    bool copy = false;
    for (QAction *a : menu->actions()) {
        names << a->objectName();
        copy = copy || a->text().endsWith(
                           QKeySequence(QKeySequence::Copy).toString(QKeySequence::NativeText));
    }
    QCOMPARE(names.mid(0, 4), (QStringList{"mountOpenAction", "mountSaveAction",
                                           "mountSaveAsAction", "mountRenameAction"}));
    QVERIFY(copy);
    QVERIFY(!m_window->findChild<QAction *>("mountRenameAction")->isEnabled()); // nothing open
    menu->close();

    // Between the boxes of the drive-train area too; not over the tables.
    QContextMenuEvent between(QContextMenuEvent::Mouse, QPoint(300, 40), QPoint(300, 40));
    QCoreApplication::sendEvent(m_window.get(), &between);
    QTRY_VERIFY(m_window->findChild<QMenu *>("mountMenu"));
    m_window->findChild<QMenu *>("mountMenu")->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QContextMenuEvent below(QContextMenuEvent::Mouse, QPoint(300, 400), QPoint(300, 400));
    QCoreApplication::sendEvent(m_window.get(), &below);
    QVERIFY(!m_window->findChild<QMenu *>("mountMenu"));
}

void tst_WindowMount::historyFileThatIsNoFile_data()
{
    QTest::addColumn<bool>("fifo"); // else a directory
    QTest::newRow("FIFO") << true;
    QTest::newRow("directory") << false;
}

// Something in the list's place that is no file is neither read (a FIFO
// would hold start-up) nor replaced; the window works without the list.
void tst_WindowMount::historyFileThatIsNoFile()
{
    QFETCH(bool, fifo);
    const QString path = m_config->filePath(QStringLiteral("rw7300-speedtable/mounts.conf"));
    QVERIFY(QDir().mkpath(fifo ? QFileInfo(path).absolutePath() : path));
    if (fifo)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    auto used = std::async(std::launch::async, [path] {
        app::MountHistory history(path);
        const QString error = app::write_failure_text(
            history.used(QStringLiteral("/m/a.rw7300mount"), QStringLiteral("A")));
        return std::pair{history.recent().size(), error};
    });
    const bool prompt = used.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!prompt) // a writer lets the stuck reader go, so the test fails instead of hanging
        ::close(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK));
    QVERIFY(prompt);
    const auto [count, error] = used.get();
    QCOMPARE(count, 1); // kept for the run
    QVERIFY2(error.contains(QStringLiteral("通常のファイルではありません")), qPrintable(error));

    start_window();
    drop_on(m_window.get(), write_mount(QStringLiteral("em200.rw7300mount"), em200()));
    check_shows(em200());
    QVERIFY2(status().contains(QStringLiteral("最近使ったマウントの一覧を保存できません")),
             qPrintable(status()));
    const QFileInfo after(path);
    QVERIFY(fifo ? !after.isFile() && !after.isDir() && after.exists() : after.isDir());
}

void tst_WindowMount::unsavedEditsAsk_data()
{
    QTest::addColumn<QString>("route");  // how the edits would be left
    QTest::addColumn<QString>("answer"); // a button, or Return
    for (const char *route : {"recent list", "dropped file", "closing"}) {
        QTest::newRow(qPrintable(QStringLiteral("%1, saved").arg(route))) << route << "saveMount";
        QTest::newRow(qPrintable(QStringLiteral("%1, discarded").arg(route)))
            << route << "discardMountEdits";
        QTest::newRow(qPrintable(QStringLiteral("%1, Return cancels").arg(route)))
            << route << "Return";
    }
}

// Edits to an open mount are not lost without a question: save, discard or
// cancel, cancel the default, and nothing changes before the answer.
void tst_WindowMount::unsavedEditsAsk()
{
    QFETCH(QString, route);
    QFETCH(QString, answer);
    files::Mount second = em200();
    second.name = QStringLiteral("Second");
    second.ra[0] = "360";
    const QString first_path = write_mount(QStringLiteral("first.rw7300mount"), em200());
    const QString second_path = write_mount(QStringLiteral("second.rw7300mount"), second);
    start_window(second_path);
    drop_on(m_window.get(), first_path); // second is now in the recent list
    QVERIFY(!m_window->findChild<QMessageBox *>("mountUnsaved"));
    box("Text1_1")->setText(QStringLiteral("3"));
    const QByteArray on_disk = read_all(first_path);
    const auto before = snapshot(*m_window);

    if (route == "recent list") {
        QMenu *menu = drive_train_menu();
        menu->findChild<QMenu *>("recentMountsMenu")
            ->findChild<QAction *>("recentMount2")
            ->trigger();
        menu->close();
    } else if (route == "dropped file") {
        drop_on(m_window.get(), second_path);
    } else {
        m_window->close();
    }
    auto *question = m_window->findChild<QMessageBox *>("mountUnsaved");
    QVERIFY(question);
    QCOMPARE(question->defaultButton()->objectName(), QStringLiteral("keepMountEdits"));
    QCOMPARE(snapshot(*m_window), before); // nothing changed while asking
    QVERIFY(m_window->isVisible());
    if (answer == "Return")
        QTest::keyClick(question, Qt::Key_Return);
    else
        question->findChild<QPushButton *>(answer)->click();

    const bool went = answer != "Return";
    if (route == "closing")
        QCOMPARE(m_window->isVisible(), !went);
    else if (went)
        check_shows(second);
    else
        QCOMPARE(snapshot(*m_window), before);
    files::Mount edited = em200();
    edited.ra[1] = "3";
    QCOMPARE(read_all(first_path),
             answer == "saveMount" ? files::updated_mount_bytes(on_disk, edited) : on_disk);
}

void tst_WindowMount::saveOverUnreadableRefused_data()
{
    QTest::addColumn<QString>("kind"); // what the open file was replaced by
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray good = files::mount_bytes(em200());
    QTest::newRow("a newer version")
        << "file"
        << "# mine\n" + QByteArray(good).replace("rw7300-mount = 1", "rw7300-mount = 2")
        << QStringLiteral("形式の版 2 はこのプログラムより新しい");
    QTest::newRow("version 1 with a key twice") << "file" << good + "ra.worm = 90\n"
                                                << QStringLiteral("ra.worm が 2 回あります");
    QTest::newRow("a FIFO") << "fifo" << QByteArray()
                            << QStringLiteral("通常のファイルではありません");
    QTest::newRow("a character device")
        << "device" << QByteArray() << QStringLiteral("通常のファイルではありません");
}

// Ctrl+S over a file this version cannot read back leaves it as it is and
// says why and what to do; nothing waits on a FIFO.
void tst_WindowMount::saveOverUnreadableRefused()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    start_window();
    const QString path = write_mount(QStringLiteral("em200.rw7300mount"), em200());
    drop_on(m_window.get(), path);
    check_shows(em200());
    const QByteArray native = QFile::encodeName(path);
    QVERIFY(QFile::remove(path));
    if (kind == "file")
        QVERIFY(write_file(path, bytes));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    else if (::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        QSKIP("no mknod here (needs root)");
    box("Text1_2")->setText(QStringLiteral("800"));
    {
        const FifoWatchdog watchdog(path);
        QTest::keyClick(box("Text1_0"), Qt::Key_S, Qt::ControlModifier);
    }
    auto *failure = m_window->findChild<QMessageBox *>("mountSaveFailure");
    QVERIFY2(failure, qPrintable(status()));
    QVERIFY2(failure->text().contains(path) && failure->text().contains(reason),
             qPrintable(failure->text()));
    QVERIFY(!status().contains(QStringLiteral("保存しました")));
    struct stat st {};
    QCOMPARE(::lstat(native.constData(), &st), 0);
    if (kind == "file") {
        QVERIFY(failure->text().contains(QStringLiteral("別の名前で保存してください")));
        QCOMPARE(read_all(path), bytes);
    } else {
        QVERIFY(kind == "fifo" ? S_ISFIFO(st.st_mode) : S_ISCHR(st.st_mode));
    }
    QVERIFY(m_window->isWindowModified());
}

void tst_WindowMount::historyKeepsOtherWindows_data()
{
    QTest::addColumn<bool>("openLast"); // the first window turns it on, else opens a file
    QTest::newRow("each opens a file") << false;
    QTest::newRow("one turns on opening the last") << true;
}

// Two windows started together each read the list before the other wrote;
// the second to write keeps the first one's change.
void tst_WindowMount::historyKeepsOtherWindows()
{
    QFETCH(bool, openLast);
    const QString path = m_config->filePath(QStringLiteral("rw7300-speedtable/mounts.conf"));
    app::MountHistory first(path);
    app::MountHistory second(path);
    QVERIFY(openLast ? first.set_open_last_at_start(true).ok
                     : first.used(QStringLiteral("/m/a.rw7300mount"), QStringLiteral("A")).ok);
    QVERIFY(second.used(QStringLiteral("/m/b.rw7300mount"), QStringLiteral("B")).ok);
    const app::MountHistory after(path);
    QStringList paths;
    for (const app::RecentMount &r : after.recent())
        paths << r.path;
    QCOMPARE(paths, openLast ? QStringList{"/m/b.rw7300mount"}
                             : QStringList({"/m/b.rw7300mount", "/m/a.rw7300mount"}));
    QCOMPARE(after.open_last_at_start(), openLast);
    QCOMPARE(second.recent().size(), paths.size());
}

// A list that cannot be written (the disk is full) is said on the status
// line; the mount opens all the same.
void tst_WindowMount::historyFullDiskReachesStatusLine()
{
    start_window();
    const QString path = write_mount(QStringLiteral("em200.rw7300mount"), em200());
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    // Room for the lock file, not for the list.
    rlimit full = saved;
    full.rlim_cur = 120;
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
    drop_on(m_window.get(), path);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);
    check_shows(em200());
    QVERIFY2(status().contains(QStringLiteral("最近使ったマウントの一覧を保存できません")),
             qPrintable(status()));
    const QString list = m_config->filePath(QStringLiteral("rw7300-speedtable/mounts.conf"));
    QVERIFY(!QFileInfo::exists(list));
    QCOMPARE(QDir(QFileInfo(list).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList());
}

void tst_WindowMount::lastCalculationAtStart_data()
{
    QTest::addColumn<QString>("before"); // what the run before did
    QTest::addColumn<QString>("start");  // "", or a mount "file" given, or the "last" one opened
    QTest::addColumn<QString>("shown");  // "typed", "garden" or "defaults"
    QTest::addColumn<QString>("said");   // on the status line at start; "": nothing of it
    const QString kept = QStringLiteral("前回の計算の駆動系と基本クロックです (");
    const QString unread = QStringLiteral("前回の計算の駆動系を読めません");
    QTest::newRow("kept from the last Calculate") << "typed"
                                                  << ""
                                                  << "typed" << kept;
    QTest::newRow("a failed Calculate keeps the one before") << "typed, then failed"
                                                             << ""
                                                             << "typed" << kept;
    QTest::newRow("a full disk keeps the one before") << "typed, then full"
                                                      << ""
                                                      << "typed" << kept;
    QTest::newRow("with the mount's name, as opened")
        << "mount"
        << ""
        << "garden" << QStringLiteral("、庭の EM-200)");
    QTest::newRow("a mount file given at start wins") << "typed"
                                                      << "file"
                                                      << "garden"
                                                      << "";
    QTest::newRow("the last mount opened at start wins") << "typed"
                                                         << "last"
                                                         << "garden"
                                                         << "";
    QTest::newRow("unreadable: the defaults, said") << "garbage"
                                                    << ""
                                                    << "defaults" << unread;
    QTest::newRow("a folder in its place: said") << "folder"
                                                 << ""
                                                 << "defaults" << unread;
}

// The drive trains and clock of the last Calculate that worked come back at
// the next start, unless a mount file opens then.
void tst_WindowMount::lastCalculationAtStart()
{
    QFETCH(QString, before);
    QFETCH(QString, start);
    QFETCH(QString, shown);
    QFETCH(QString, said);
    files::Mount typed; // the defaults but for RA 8, DEC 4 microsteps at 250 kHz
    typed.ra[calc::kMicrostep] = "8";
    typed.dec[calc::kMicrostep] = "4";
    typed.base_clock = calc::kClock250kHz;
    files::Mount garden{QStringLiteral("庭の EM-200"), typed.ra, typed.dec, calc::kClock2MHz};
    garden.ra[calc::kWorm] = "180";
    const QString garden_path = write_mount(QStringLiteral("garden.rw7300mount"), garden);
    const QString store =
        m_config->filePath(QStringLiteral("rw7300-speedtable/last-calculation.rw7300mount"));
    const auto calculate = [this](const char *ra_worm, const char *ra_microstep) {
        box("Text1_0")->setText(QLatin1String(ra_worm));
        box("Text1_4")->setText(QLatin1String(ra_microstep));
        box("Text4_4")->setText(QStringLiteral("4"));
        m_window->findChild<QRadioButton *>("Option1_1")->click();
        m_window->findChild<QPushButton *>("Command1")->click();
    };
    QVERIFY(QDir().mkpath(before == "folder" ? store : QFileInfo(store).absolutePath()));
    if (before == "garbage") {
        QVERIFY(write_file(store, "2026/12/07 21:00:00\r\n"));
    } else {
        start_window(before == "mount" ? garden_path : QString());
        if (before == "mount")
            m_window->findChild<QPushButton *>("Command1")->click();
        else
            calculate("240", "8");
        QCOMPARE(status().contains(QStringLiteral("保存できません")), before == "folder");
    }
    const QByteArray kept = read_all(store);
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit full = saved;
    full.rlim_cur = 120; // the lock file, not the drive trains
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    if (before == "typed, then full")
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
    if (before.startsWith("typed, then"))
        calculate(before.endsWith("failed") ? "0" : "240", "4");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);
    QCOMPARE(read_all(store), kept);

    if (start == "last") {
        app::MountHistory history(
            m_config->filePath(QStringLiteral("rw7300-speedtable/mounts.conf")));
        QVERIFY(history.used(garden_path, garden.name).ok);
        QVERIFY(history.set_open_last_at_start(true).ok);
    }
    start_window(start == "file" ? garden_path : QString());
    check_shows(shown == "typed" ? typed : shown == "garden" ? garden : files::Mount{});
    QVERIFY2(said.isEmpty() ? !status().contains(QStringLiteral("前回の計算"))
                            : status().contains(said),
             qPrintable(status()));
    // Calculated again, the boxes are this run's: the line stops saying so.
    m_window->findChild<QPushButton *>("Command1")->click();
    QVERIFY2(!status().contains(QStringLiteral("前回の計算の駆動系と")), qPrintable(status()));
}

QTEST_MAIN(tst_WindowMount)
#include "tst_window_mount.moc"
