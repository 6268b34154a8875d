#include "portcontrols.h"

#include "alerts.h"
#include "filetext.h"
#include "frame.h"
#include "portdialog.h"
#include "porttext.h"
#include "portview.h"
#include "recorddialog.h"
#include "recordtext.h"
#include "statusline.h"

#include <QAction>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

namespace app {

namespace {

// The record as the window reads it: lines that contradict themselves are
// passed over and counted, as a torn one is.
files::RecordsRead read_record()
{
    files::RecordsRead read = files::read_records(files::record_path());
    recorded::pass_over_unsound(read);
    return read;
}

} // namespace

PortControls::PortControls(QWidget *window, PortCombo *combo, QToolButton *settings_button,
                           StatusLine *status, rwlink::Devices devices)
    : QObject(window), m_window(window), m_combo(combo), m_button(settings_button),
      m_status(status), m_settings(std::move(devices)), m_link(this)
{
    setObjectName(QStringLiteral("portControls"));
    connect(combo, &PortCombo::popup_about_to_show, this, &PortControls::refresh);
    // Only a pick from the list, by mouse or keyboard; typing writes nothing.
    // QComboBox also reports Return on typed text that matches an entry as
    // an activation, so Return is watched and excluded.
    connect(m_combo, &QComboBox::activated, this, [this] {
        if (!m_typing)
            emit picked();
    });
    m_combo->installEventFilter(this);
    m_combo->lineEdit()->installEventFilter(this);
    connect(m_combo, &QComboBox::editTextChanged, this, &PortControls::update_view);
    for (QWidget *w : std::initializer_list<QWidget *>{m_combo, m_combo->lineEdit()}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint &at) { menu(w, at); });
    }
    connect(m_button, &QToolButton::clicked, this, &PortControls::open_dialog);
}

void PortControls::refresh()
{
    m_settings.refresh();
    m_link.set_port_map(m_settings.map());
    update_view();
}

QString PortControls::port_text() const
{
    return m_combo->currentText();
}

int PortControls::in_use() const
{
    // A text that names no port leaves the last one in use, as the link does.
    return rwlink::port_number_for(m_combo->currentText()).value_or(m_link.port_number());
}

void PortControls::update_view()
{
    set_port_items(m_combo, m_settings.map());
    const QString text = m_combo->currentText();
    const auto number = rwlink::port_number_for(text);
    const rwlink::PortMapping m = m_settings.mapping(in_use());
    QString tip = mapping_summary(m);
    if (!number)
        tip = QStringLiteral(
                  "「%1」はポート名 (Com1〜Com20) ではありません。送信には %2 を使います。")
                  .arg(text, tip);
    if (m.presence == rwlink::Presence::Missing)
        tip += QStringLiteral("\nこのデバイスは見つかりません。");
    if (const QString problem = access_problem_text(m); !problem.isEmpty())
        tip += QLatin1Char('\n') + problem;
    tip += QStringLiteral("\nデバイスは「%1」(%2) で割り当てます。")
               .arg(kPortDialogTitle, kPortDialogWay);
    m_combo->setToolTip(tip);
    m_button->setToolTip(QStringLiteral("%1…\n%2").arg(kPortDialogTitle, mapping_summary(m)));
    const bool missing = m.presence == rwlink::Presence::Missing;
    m_combo->setProperty("portMissing", missing);
    // Marked when sending could only fail: the device gone, or refused.
    if (const bool unusable = missing || m.refused();
        m_combo->property("marked").toBool() != unusable)
        set_marked(m_combo, unusable);
}

void PortControls::show_status()
{
    show_status({});
}

void PortControls::show_status(const QString &lead)
{
    const rwlink::PortMapping m = m_settings.mapping(in_use());
    QString text = port_status_text(m);
    if (!m_settings.read().ok())
        text = QStringLiteral("注意: ポートの割り当てを読めません (%1: %2)。")
                   .arg(QDir::toNativeSeparators(m_settings.path()),
                        assignments_read_failure_text(m_settings.read())) +
               text;
    const recorded::Holds holds = device_holds();
    const QString last = last_action_text(holds);
    const QString mixed = mixed_text(holds);
    if (m.refused()) {
        // The fix alone fits the line; the rest is one hover away.
        QStringList details{access_problem_text(m), mapping_summary(m), mixed, last, lead};
        details.removeAll(QString());
        m_status->warn(text, details.join(QLatin1Char('\n')));
        return;
    }
    const bool port_trouble = m.presence == rwlink::Presence::Missing || !m_settings.read().ok();
    // The line cuts its end: the port's trouble leads, then a mix and the
    // action that left it; where the window's values came from after them.
    QStringList parts = port_trouble      ? QStringList{text, mixed, last, lead}
                        : mixed.isEmpty() ? QStringList{lead, text, last}
                                          : QStringList{mixed, last, lead, text};
    parts.removeAll(QString());
    m_status->say(parts.join(QStringLiteral("  ")), !mixed.isEmpty());
}

void PortControls::open_dialog()
{
    if (auto *open = m_window->findChild<PortDialog *>(QStringLiteral("portDialog"))) {
        open->raise();
        return;
    }
    auto *dialog = new PortDialog(m_settings, in_use(), m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &PortDialog::assignments_changed, this, [this] {
        m_link.set_port_map(m_settings.map());
        update_view();
        show_status();
    });
    // What the dialog found is what the window shows when it closes.
    connect(dialog, &QDialog::finished, this, [this] {
        m_link.set_port_map(m_settings.map());
        update_view();
    });
    dialog->open();
}

recorded::Holds PortControls::device_holds() const
{
    const QString device = m_settings.mapping(in_use()).device;
    return recorded::holds_of(recorded::without_running(read_record().records, m_running_record),
                              {device, m_settings.map().stable_name(device)});
}

void PortControls::open_record()
{
    if (auto *open = m_window->findChild<RecordDialog *>(QStringLiteral("recordDialog"))) {
        open->raise();
        return;
    }
    const QString device = m_settings.mapping(in_use()).device;
    auto *dialog = new RecordDialog(read_record(), {device, m_settings.map().stable_name(device)},
                                    m_running_record, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void PortControls::refresh_after_failure()
{
    refresh();
    if (auto *dialog = m_window->findChild<PortDialog *>(QStringLiteral("portDialog")))
        dialog->refresh();
}

void PortControls::add_to_menus(QAction *action)
{
    m_window_action = action;
}

void PortControls::menu(QWidget *from, const QPoint &at)
{
    auto *edit = qobject_cast<QLineEdit *>(from);
    QMenu *menu = edit ? edit->createStandardContextMenu() : new QMenu(from);
    menu->setObjectName(QStringLiteral("portMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto *settings = new QAction(kPortDialogTitle + QStringLiteral("…"), menu);
    settings->setObjectName(QStringLiteral("portSettingsAction"));
    connect(settings, &QAction::triggered, this, &PortControls::open_dialog);
    auto *record = new QAction(kRecordDialogTitle + QStringLiteral("…"), menu);
    record->setObjectName(QStringLiteral("recordAction"));
    record->setShortcut(kRecordDialogKey);
    connect(record, &QAction::triggered, this, &PortControls::open_record);
    QAction *first = menu->actions().value(0);
    menu->insertAction(first, settings);
    menu->insertAction(first, record);
    if (first)
        menu->insertSeparator(first);
    if (m_window_action) {
        menu->addSeparator();
        menu->addAction(m_window_action);
    }
    menu->popup(from->mapToGlobal(at));
}

bool PortControls::eventFilter(QObject *watched, QEvent *event)
{
    // QComboBox also reports typed text that matches an entry as activated,
    // when Return is pressed or the box loses focus. Neither is a pick.
    bool commits_typing = event->type() == QEvent::FocusOut;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        commits_typing = key == Qt::Key_Return || key == Qt::Key_Enter;
    }
    if (commits_typing) {
        m_typing = true;
        // The activation, if any, comes synchronously while this event is handled.
        QTimer::singleShot(0, this, [this] { m_typing = false; });
    }
    return QObject::eventFilter(watched, event);
}

} // namespace app
