#pragma once

// 「ポート設定」: the serial ports present, with what the system says of
// them, the device of each of Com1 … Com20, and the assignment of a device
// (picked from the list or typed as a path) to one of them. Every change is
// kept at once; the window hears of it through assignments_changed().

#include <QDialog>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace app {

class PortSettings;

class PortDialog : public QDialog {
    Q_OBJECT

public:
    // Opens on port `number`; settings must outlive the dialog.
    PortDialog(PortSettings &settings, int number, QWidget *parent = nullptr);

    int selected_number() const;
    void select_number(int number);

    // Looks for the ports present again.
    void refresh();
    void assign();
    void clear_assignment();

signals:
    void assignments_changed();

protected:
    void changeEvent(QEvent *event) override;

private:
    QHBoxLayout *assign_row();
    void connect_tables(); // the editing buttons and the two tables
    void fill();
    void draw_icons();
    void show_selected();
    void say(const QString &text, bool trouble);

    PortSettings &m_settings;
    QLabel *m_summary = nullptr;
    QTableWidget *m_mappings = nullptr;
    QTableWidget *m_detected = nullptr;
    QLineEdit *m_device = nullptr;
    QPushButton *m_assign = nullptr;
    QPushButton *m_clear = nullptr;
    QLabel *m_message = nullptr;
};

} // namespace app
