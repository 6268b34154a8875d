#pragma once

// The port box (Combo1), its 「…」 button, its menu and 「ポート設定」:
// where each port name leads, looked for again before each action and
// whenever the list opens, shown in the list, the tooltip and a mark. Owns
// the per-user assignments and the serial link (MSComm1) that opens its
// device by them.

#include "holds.h"
#include "portsettings.h"
#include "seriallink.h"

#include <QObject>

class QAction;
class QComboBox;
class QToolButton;
class QWidget;

namespace app {

class PortCombo;
class StatusLine;

class PortControls : public QObject {
    Q_OBJECT

public:
    // window: parent of the dialog and the menus.
    PortControls(QWidget *window, PortCombo *combo, QToolButton *settings_button,
                 StatusLine *status, rwlink::Devices devices);

    rwlink::SerialLink &link() { return m_link; }
    const PortSettings &settings() const { return m_settings; }

    void refresh();            // looks for the ports again
    QString port_text() const; // what the box says: the port the next action opens
    int in_use() const;        // the number the next action opens
    rwlink::PortMapping mapping_in_use() const { return m_settings.mapping(in_use()); }
    void show_status();           // the port in use on the status line
    void open_dialog();           // 「ポート設定」, or raises it when open
    void refresh_after_failure(); // the port's state may have changed with it
    // The same, after lead (what start-up showed in the drive-train boxes).
    void show_status(const QString &lead);
    // What the device of the port in use holds by the send record.
    recorded::Holds device_holds() const;
    void open_record(); // 「送信記録」, or raises it when open
    // The record of the window's own action while it runs (empty: none
    // runs): its line still says incomplete, yet it is no run that died.
    void set_running_record(const QString &id) { m_running_record = id; }

    // The window's own action, at the end of the port box's menu.
    void add_to_menus(QAction *action);

signals:
    // A port picked from the list, by mouse or keyboard (typing is no pick).
    void picked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void update_view();
    void menu(QWidget *from, const QPoint &at);

    QWidget *m_window;
    QComboBox *m_combo;
    QToolButton *m_button;
    StatusLine *m_status;
    PortSettings m_settings;
    rwlink::SerialLink m_link;
    QAction *m_window_action = nullptr;
    QString m_running_record;
    bool m_typing = false; // typed text committed in the box: not a pick
};

} // namespace app
