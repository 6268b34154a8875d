#include "mountcontrol.h"

#include "alerts.h"
#include "filetext.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QWidget>

namespace app {

namespace {

const QString kFilter = QStringLiteral("マウントファイル (*.%1);;すべてのファイル (*)");

QString shown_path(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The one local file a drag carries, if it carries one.
std::optional<QString> dropped_file(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return std::nullopt;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return std::nullopt;
}

QString mount_label(const files::Mount &mount, const QString &path)
{
    return mount.name.isEmpty() ? QFileInfo(path).completeBaseName() : mount.name;
}

} // namespace

MountControl::MountControl(QWidget *window, MountBoxes boxes, QString title, MountHistory history)
    : QObject(window), m_window(window), m_boxes(boxes), m_title(std::move(title)),
      m_history(std::move(history))
{
    setObjectName(QStringLiteral("mountControl"));
    auto action = [this](const QString &name, const QString &text, const QKeySequence &keys,
                         void (MountControl::*slot)()) {
        auto *a = new QAction(text, this);
        a->setObjectName(name);
        a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        m_window->addAction(a); // the shortcut works anywhere in the window
        return a;
    };
    m_open = action(QStringLiteral("mountOpenAction"), QStringLiteral("マウントを開く…"),
                    QKeySequence(Qt::CTRL | Qt::Key_O), &MountControl::ask_open);
    m_save = action(QStringLiteral("mountSaveAction"), QStringLiteral("マウントを保存"),
                    QKeySequence(Qt::CTRL | Qt::Key_S), &MountControl::save);
    m_save_as =
        action(QStringLiteral("mountSaveAsAction"), QStringLiteral("名前を付けてマウントを保存…"),
               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &MountControl::ask_save);
    m_rename = action(QStringLiteral("mountRenameAction"), QStringLiteral("マウント名を変更…"), {},
                      &MountControl::ask_rename);
    m_open_last = new QAction(QStringLiteral("起動時に前回のマウントを開く"), this);
    m_open_last->setObjectName(QStringLiteral("mountOpenLastAction"));
    m_open_last->setCheckable(true);
    m_open_last->setChecked(m_history.open_last_at_start());
    connect(m_open_last, &QAction::toggled, this, [this](bool on) {
        const files::WriteOutcome written = m_history.set_open_last_at_start(on);
        if (!written.ok)
            emit status(QStringLiteral("設定を保存できません: %1")
                            .arg(store_failure_text(m_history.path(), written)));
    });

    for (QLineEdit *box : m_boxes.ra)
        connect(box, &QLineEdit::textChanged, this, &MountControl::update_title);
    for (QLineEdit *box : m_boxes.dec)
        connect(box, &QLineEdit::textChanged, this, &MountControl::update_title);
    connect(m_boxes.clock, &QButtonGroup::idToggled, this, &MountControl::update_title);

    // A file dropped anywhere, the boxes included, opens; text dragged
    // between boxes still lands as text.
    m_window->setAcceptDrops(true);
    m_window->installEventFilter(this);
    for (QLineEdit *box : m_window->findChildren<QLineEdit *>())
        box->installEventFilter(this);
    update_title();
}

bool MountControl::start(const QString &file)
{
    if (!file.isEmpty())
        return open(file, Report::Dialog);
    if (m_history.open_last_at_start() && !m_history.recent().isEmpty())
        return open(m_history.recent().first().path, Report::StatusLine);
    return false;
}

bool MountControl::open(const QString &path, Report report)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const files::MountRead read = files::read_mount(absolute);
    if (const auto *error = std::get_if<files::MountError>(&read)) {
        const QString text = mount_problem_text(shown_path(absolute), *error);
        if (report == Report::Dialog) {
            show_warning(m_window, QStringLiteral("mountFailure"),
                         QStringLiteral("マウントを開けません"),
                         text + QStringLiteral("\n\n画面の値は変更していません。"));
            emit status(QStringLiteral("マウントを開けませんでした: %1").arg(text));
        } else {
            emit status(QStringLiteral("前回のマウントを開けませんでした: %1").arg(text));
        }
        return false;
    }
    const auto &mount = std::get<files::Mount>(read);
    show_mount(mount);
    const QString note = opened(absolute, mount);
    // At start-up the title says it; the status line keeps the port.
    if (report == Report::Dialog)
        emit status(QStringLiteral("マウント「%1」を開きました (%2)。「計算」で表を計算します。")
                        .arg(mount_label(mount, absolute), shown_path(absolute)) +
                    note);
    else if (!note.isEmpty())
        emit status(note.trimmed());
    return true;
}

bool MountControl::save_to(const QString &path, const QString &name)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    files::Mount mount = shown();
    mount.name = name;
    const files::MountWriteOutcome outcome = files::write_mount(absolute, mount);
    if (!outcome.ok) {
        const QString text = QStringLiteral("%1 を保存できません: %2")
                                 .arg(shown_path(absolute), mount_write_failure_text(outcome));
        show_warning(m_window, QStringLiteral("mountSaveFailure"), QStringLiteral("保存できません"),
                     text);
        emit status(text);
        return false;
    }
    const QString note = opened(absolute, mount);
    emit status(QStringLiteral("マウント「%1」を保存しました: %2")
                    .arg(mount_label(mount, absolute), shown_path(absolute)) +
                note);
    return true;
}

void MountControl::add_to_menu(QMenu *menu)
{
    QAction *first = menu->actions().value(0);
    m_rename->setEnabled(m_path.has_value());
    m_open_last->setChecked(m_history.open_last_at_start());
    auto *recent = new QMenu(QStringLiteral("最近使ったマウント"), menu);
    recent->setObjectName(QStringLiteral("recentMountsMenu"));
    recent->setToolTipsVisible(true);
    fill_recent(recent);
    menu->insertActions(first, {m_open, m_save, m_save_as, m_rename});
    menu->insertMenu(first, recent);
    menu->insertAction(first, m_open_last);
    if (first)
        menu->insertSeparator(first);
}

bool MountControl::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (!dropped_file(drag->mimeData()))
            break;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const auto file = dropped_file(drop->mimeData());
        if (!file)
            break;
        drop->acceptProposedAction();
        ask_then([this, path = *file] { open(path); });
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

calc::CalcInput shown_drive_trains(const MountBoxes &boxes)
{
    calc::CalcInput input;
    for (std::size_t i = 0; i < boxes.ra.size(); ++i) {
        input.ra[i] = boxes.ra[i]->text().toStdString();
        input.dec[i] = boxes.dec[i]->text().toStdString();
    }
    input.base_clock = boxes.clock->checkedId() == 1 ? calc::kClock250kHz : calc::kClock2MHz;
    return input;
}

files::Mount MountControl::shown() const
{
    const calc::CalcInput input = shown_drive_trains(m_boxes);
    return {m_saved.name, input.ra, input.dec, input.base_clock};
}

void MountControl::show_mount(const files::Mount &mount)
{
    for (std::size_t i = 0; i < m_boxes.ra.size(); ++i) {
        m_boxes.ra[i]->setText(files::box_text(mount.ra[i]));
        m_boxes.dec[i]->setText(files::box_text(mount.dec[i]));
    }
    // Picked as the operator would pick it, so the window's clock follows.
    const int id = mount.base_clock == calc::kClock250kHz ? 1 : 0;
    if (QAbstractButton *option = m_boxes.clock->button(id); option && !option->isChecked())
        option->click();
}

QString MountControl::opened(const QString &path, const files::Mount &mount)
{
    m_path = path;
    m_saved = mount;
    update_title();
    const files::WriteOutcome written = m_history.used(path, mount.name);
    if (written.ok)
        return {};
    return QStringLiteral(" (最近使ったマウントの一覧を保存できません: %1)")
        .arg(store_failure_text(m_history.path(), written));
}

void MountControl::update_title()
{
    if (!m_path) {
        m_window->setWindowTitle(m_title);
        return;
    }
    m_window->setWindowTitle(mount_label(m_saved, *m_path) + QStringLiteral("[*] — ") + m_title);
    m_window->setWindowModified(shown() != m_saved); // shown() carries the saved name
}

QFileDialog *MountControl::file_dialog(const QString &object_name, const QString &title) const
{
    // Window-modal but not blocking: an upload goes on while it is open.
    auto *dialog =
        new QFileDialog(m_window, title, start_directory(), kFilter.arg(files::kMountSuffix));
    dialog->setObjectName(object_name);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

void MountControl::ask_open()
{
    QFileDialog *dialog =
        file_dialog(QStringLiteral("mountOpenDialog"), QStringLiteral("マウントを開く"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString &file) { ask_then([this, file] { open(file); }); });
    dialog->open();
}

void MountControl::save()
{
    if (m_path)
        save_open();
    else
        ask_save();
}

bool MountControl::save_open()
{
    return m_path && save_to(*m_path, m_saved.name);
}

bool MountControl::modified() const
{
    return m_path && shown() != m_saved;
}

void MountControl::ask_then(const std::function<void()> &go)
{
    if (!modified()) {
        go();
        return;
    }
    if (auto *open = m_window->findChild<QMessageBox *>(QStringLiteral("mountUnsaved"));
        open && open->isVisible())
        return;
    auto *question = new QMessageBox(
        QMessageBox::Question, QStringLiteral("マウントの変更"),
        QStringLiteral("マウント「%1」(%2) の駆動系または基本クロックが変更されています。"
                       "保存しますか?")
            .arg(mount_label(m_saved, *m_path), shown_path(*m_path)),
        QMessageBox::NoButton, m_window);
    question->setObjectName(QStringLiteral("mountUnsaved"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *save = question->addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
    save->setObjectName(QStringLiteral("saveMount"));
    QPushButton *discard =
        question->addButton(QStringLiteral("保存しない"), QMessageBox::DestructiveRole);
    discard->setObjectName(QStringLiteral("discardMountEdits"));
    QPushButton *cancel =
        question->addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("keepMountEdits"));
    question->setDefaultButton(cancel);
    question->setEscapeButton(cancel);
    connect(question, &QMessageBox::finished, this, [this, question, save, discard, go] {
        if (question->clickedButton() == discard ||
            (question->clickedButton() == save && save_open()))
            go();
    });
    question->open();
}

void MountControl::ask_save()
{
    QFileDialog *dialog =
        file_dialog(QStringLiteral("mountSaveDialog"), QStringLiteral("マウントを保存"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(files::kMountSuffix);
    dialog->selectFile(m_path ? QFileInfo(*m_path).fileName()
                              : QStringLiteral("mount.") + files::kMountSuffix);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &file) {
        // Saved under another file, the mount takes that file's name.
        const bool same = m_path && QFileInfo(file).absoluteFilePath() == *m_path;
        save_to(file, same ? m_saved.name : QFileInfo(file).completeBaseName());
    });
    dialog->open();
}

void MountControl::ask_rename()
{
    if (!m_path)
        return;
    auto *dialog = new QInputDialog(m_window);
    dialog->setObjectName(QStringLiteral("mountRenameDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("マウント名を変更"));
    dialog->setLabelText(
        QStringLiteral("マウントの名前 (%1 に保存します):").arg(QFileInfo(*m_path).fileName()));
    dialog->setTextValue(m_saved.name);
    connect(dialog, &QInputDialog::textValueSelected, this, [this](const QString &name) {
        if (!m_path)
            return;
        // Only the name changes in the file; the boxes may hold edits not
        // meant to be saved yet.
        files::Mount renamed = m_saved;
        renamed.name = name;
        const files::MountWriteOutcome outcome = files::write_mount(*m_path, renamed);
        if (!outcome.ok) {
            show_warning(m_window, QStringLiteral("mountSaveFailure"),
                         QStringLiteral("保存できません"),
                         QStringLiteral("%1 を保存できません: %2")
                             .arg(shown_path(*m_path), mount_write_failure_text(outcome)));
            return;
        }
        const QString note = opened(*m_path, renamed);
        emit status(
            QStringLiteral("マウント名を「%1」にしました: %2").arg(name, shown_path(*m_path)) +
            note);
    });
    dialog->open();
}

void MountControl::fill_recent(QMenu *menu)
{
    const QList<RecentMount> &recent = m_history.recent();
    if (recent.isEmpty()) {
        menu->addAction(QStringLiteral("(なし)"))->setEnabled(false);
        return;
    }
    for (int i = 0; i < recent.size(); ++i) {
        const RecentMount &r = recent[i];
        const QString file = QFileInfo(r.path).fileName();
        QString text = QStringLiteral("&%1 %2").arg(i + 1).arg(
            r.name.isEmpty() ? file : QStringLiteral("%1 (%2)").arg(r.name, file));
        const bool there = QFileInfo::exists(r.path);
        if (!there)
            text += QStringLiteral(" — 見つかりません");
        QAction *a = menu->addAction(text);
        a->setObjectName(QStringLiteral("recentMount%1").arg(i + 1));
        a->setToolTip(shown_path(r.path));
        a->setEnabled(there);
        connect(a, &QAction::triggered, this,
                [this, path = r.path] { ask_then([this, path] { open(path); }); });
    }
    menu->addSeparator();
    QAction *clear = menu->addAction(QStringLiteral("一覧を消去"));
    clear->setObjectName(QStringLiteral("clearRecentMounts"));
    connect(clear, &QAction::triggered, this, [this] {
        const files::WriteOutcome written = m_history.clear();
        if (!written.ok)
            emit status(QStringLiteral("設定を保存できません: %1")
                            .arg(store_failure_text(m_history.path(), written)));
    });
}

QString MountControl::start_directory() const
{
    if (m_path)
        return QFileInfo(*m_path).absolutePath();
    if (!m_history.last_directory().isEmpty() && QFileInfo(m_history.last_directory()).isDir())
        return m_history.last_directory();
    return QDir::homePath();
}

} // namespace app
