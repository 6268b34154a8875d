#pragma once

// Form1 is the tool's one window. It owns the controls, the base clock and
// SpeedTable, and stays thin: every action reads its boxes, hands the texts
// to a core library and writes back what comes out.
//
//   Text1/Text4 (drive trains), Option1 ──► Command1_Click ──► calc::calculate
//        ──► Text2/3/5/6/11/12, Text7…Text10, SpeedTable ──► files::write_speed_data
//   Ctrl+O / Ctrl+S, the drive-train area's menu, a dropped file ──► MountControl
//        ──► Text1/Text4 and Option1 filled from a mount file, or saved to one
//   Combo1 (a picked port) ──► Combo1_Click ──► files::write_param (PARAM.DAT)
//   「…」/ Combo1's menu ──► PortDialog ──► PortSettings (the per-user port
//        assignments) ──► the PortMap MSComm1 opens its device by
//   Command2…Command7 ──► rwlink::upload_action / rate_action / total_action
//        ──► rwlink::ActionRunner over MSComm1, reading each box when its
//        command is built; the window hears progress and the end as signals
//
// The boxes are the store of every computed value: later actions read their
// current texts, including anything the operator typed over them.

#include "actionrunner.h"
#include "calculate.h"
#include "mountcontrol.h"
#include "portsettings.h"
#include "sendcheckview.h"
#include "speedtable.h"

#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QButtonGroup;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace rwlink {
class Clock;
class SerialLink;
} // namespace rwlink

namespace app {

// Names: the controls, their handlers and the members and procedures the
// tool's design names (base_clock, SpeedTable, MSComm1, Form_Load,
// load_param, write_speed_data) keep those names; everything else is
// lower case with underscores, data members with an m_ prefix.
class Form1 : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRows = calc::kTableRows;  // entries of each speed table
    static constexpr int kRaBoxes = calc::kRaBoxes; // Text7/Text8: 50 rows and three rates
    static constexpr int kTitleRa = 53;             // Label3 elements that title the tables
    static constexpr int kTitleDec = 54;

    // data_dir holds PARAM.DAT and Speed_Data.txt (the program's directory).
    // The controller actions pace on clock when given (tests; it must
    // outlive the window), otherwise on the system's millisecond counter.
    // devices says which serial ports and device files the machine has
    // (tests stand in their own).
    explicit Form1(QString data_dir, rwlink::Clock *clock = nullptr,
                   rwlink::Devices devices = rwlink::system_devices(), QWidget *parent = nullptr);
    ~Form1() override;

    std::int32_t current_base_clock() const { return base_clock; }
    const calc::SpeedTable &speed_table() const { return SpeedTable; }

    void Command1_Click();
    void Option1_Click(int index);
    void Combo1_Click();
    void Command2_Click();
    void Command3_Click() { send_rate(kRows); }
    void Command4_Click() { send_rate(kRows + 1); }
    void Command5_Click() { send_rate(kRows + 2); }
    void Command6_Click() { send_total(calc::Axis::Ra); }
    void Command7_Click() { send_total(calc::Axis::Dec); }

    // Once the window shows: opens the mount file given on the command
    // line, or else the last one used when the operator asked for that.
    void start_with_mount(const QString &file) { m_mounts->start(file); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void build_drive_train_block();
    void build_command_band();
    void build_tables();
    void set_tab_order();
    void Form_Load();
    void load_param();
    void show_results(const calc::CalcOutput &out);
    void write_speed_data();
    void show_warning(const QString &object_name, const QString &title, const QString &message);
    void send_rate(int box);
    void send_total(calc::Axis axis);
    // One controller action at a time: the other controller buttons wait
    // until it ends.
    void start_action(rwlink::Action action, const QString &name, bool upload);
    void action_finished(const rwlink::ActionResult &result);
    // Each value is checked again when its command is built: a frame breaker
    // stops the action, a problem the operator did not confirm at the start
    // holds it until they answer.
    // remaining: the values the action will still send, this one first.
    rwlink::StepVerdict gate(const ValueToSend &value,
                             const std::function<std::vector<ValueToSend>()> &remaining);
    void ask_held(int written);
    void show_result(const QString &text);
    void set_controller_buttons_enabled(bool enabled);
    void report_link_failure(const rwlink::ActionResult &result);
    // Where the port names lead: looked for again before each action and
    // whenever the list opens; shown in the list, the tooltip and a mark.
    void refresh_ports();
    int port_in_use() const; // the number the next action opens
    void update_port_view();
    void show_port_status();
    void open_port_dialog();
    void port_menu(QWidget *from, const QPoint &at);
    void drive_train_menu(QWidget *from, const QPoint &at);

    // What each action will send, checked before it goes and marked on the
    // boxes after each Calculate and edit.
    ValueToSend entry_value(calc::Axis axis, int index) const;
    ValueToSend total_value(calc::Axis axis, const QString &hex_text) const;
    // The axis's drive-train boxes no longer hold what the last Calculate used.
    bool train_changed(calc::Axis axis) const;
    std::vector<ValueToSend> upload_values() const { return upload_values_from(calc::Axis::Ra, 0); }
    // From a row (0…49) or the total (rwlink::UploadSource::kTotalIndex) on.
    std::vector<ValueToSend> upload_values_from(calc::Axis axis, int index) const;
    CalculatedClock calculated_clock() const;
    void update_entry(calc::Axis axis, int index);
    void update_total(calc::Axis axis);
    void update_all_entries();
    void mark(QLineEdit *box, const std::optional<SendIssue> &issue, const QString &details);
    // Runs go unless a value would break its frame (refused) or the
    // operator, asked about the other problems, declines; again repeats the
    // whole request after a Calculate the operator chose in the question.
    void check_then(const std::vector<ValueToSend> &values, std::function<void()> go,
                    std::function<void()> again);
    bool calculate(); // Calculate; false when it could not, the window unchanged
    bool refuse_before_calculate();
    void show_status(const QString &text);

    friend class BoxReader; // what the upload reads as it goes

    // Drive-train block.
    std::array<QLabel *, 7> Label5{};
    std::array<QLabel *, 2> Label1{};
    std::array<QLineEdit *, 5> Text1{};
    std::array<QLineEdit *, 5> Text4{};
    std::array<QLabel *, 10> Label2{};
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLineEdit *Text5 = nullptr;
    QLineEdit *Text6 = nullptr;
    QPushButton *Command1 = nullptr;
    QFrame *Line1 = nullptr;

    // Command band.
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command6 = nullptr;
    QPushButton *Command7 = nullptr;
    QComboBox *Combo1 = nullptr;
    QToolButton *m_port_button = nullptr; // opens 「ポート設定」
    QLineEdit *Text11 = nullptr;
    QLineEdit *Text12 = nullptr;
    QLabel *Label6 = nullptr;
    QFrame *Picture1 = nullptr;
    std::array<QRadioButton *, 2> Option1{};
    QButtonGroup *m_option1_group = nullptr;

    // The two tables; Label3 has no elements 50–52.
    QProgressBar *ProgressBar1 = nullptr;
    QProgressBar *ProgressBar2 = nullptr;
    std::array<QLabel *, 55> Label3{};
    std::array<QLabel *, kRows> Label4{};
    std::array<QFrame *, 2> Line2{};
    std::array<QLineEdit *, kRaBoxes> Text7{};
    std::array<QLineEdit *, kRaBoxes> Text8{};
    std::array<QLineEdit *, kRows> Text9{};
    std::array<QLineEdit *, kRows> Text10{};

    rwlink::SerialLink *MSComm1 = nullptr;
    std::unique_ptr<rwlink::Clock> m_own_clock;
    rwlink::ActionRunner *m_runner = nullptr;
    bool m_uploading = false; // the running action is the upload
    QString m_action_name;    // for the status line: "送信", "太陽時" …
    QElapsedTimer m_action_time;
    QPushButton *m_pending_button = nullptr; // asked for a single command, maybe after a question
    QPushButton *m_action_button = nullptr;  // started the running action
    QWidget *m_focus_parked = nullptr;       // where the focus went when that was disabled
    bool m_close_confirmed = false;          // the operator chose to stop the action and close
    bool m_mount_answered = false;           // asked about unsaved mount edits on closing
    QLabel *m_status_line = nullptr;         // what the last action did, where the bars stand
    QString m_data_dir;
    PortSettings m_port_settings;
    MountControl *m_mounts = nullptr; // the drive trains kept in mount files
    bool m_combo_typing = false;      // typed text committed in Combo1: not a pick
    // The drive trains of the last successful Calculate; the accuracy
    // tooltips measure the hex boxes against the speeds they were made for.
    std::optional<calc::CalcInput> m_calculated;
    std::optional<calc::CalcOutput> m_calculated_output; // what it put into the boxes
    QSet<QString> m_confirmed;            // confirmed_key of what the operator let go
    std::vector<SendIssue> m_step_issues; // what held or stopped the running action
    int m_action_planned = 0;             // commands of the running action
    std::int32_t m_action_clock = 0;      // the clock when it started (the upload sends it)
    bool m_writing_results = false;
    std::int32_t base_clock = 0;
    calc::SpeedTable SpeedTable;
};

} // namespace app
