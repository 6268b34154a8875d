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
//   「…」/ Combo1's menu ──► PortControls ──► PortDialog ──► PortSettings
//        (the per-user port assignments) ──► the PortMap MSComm1 opens its
//        device by
//   Command2…Command7 ──► rwlink::upload_action / rate_action / total_action
//        ──► ActionControl ──► rwlink::ActionRunner over MSComm1, reading
//        each box when its command is built; its end ──► the send record
//   F5 / Ctrl+Return ──► Command1 / Command2, exactly as a click
//   Ctrl+Q, × ──► closeEvent: asks first while an action runs or a mount
//        has unsaved edits
//   Ctrl+E, the menus ──► AdvisorDialog ──► 適用: the microstep boxes,
//        Option1 and Command1_Click
//   Ctrl+H, the menus ──► RecordDialog (what was sent, what the device holds)
//   Ctrl+N, the menus, --night ──► the look (day or night) of the whole
//        application, remembered per user
//
// The boxes are the store of every computed value: later actions read their
// current texts, including anything the operator typed over them.

#include "actioncontrol.h"
#include "axisboxes.h"
#include "calculate.h"
#include "lastcalculation.h"
#include "looksetting.h"
#include "mountcontrol.h"
#include "ports.h"
#include "sendvalues.h"
#include "speedtable.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QButtonGroup;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace rwlink {
class Clock;
} // namespace rwlink

namespace app {

class AdvisorDialog;
class PortCombo;
class PortControls;
class StatusLine;

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

    // 「精度」 (Ctrl+E): the clock and microsteps that track best; its
    // 「適用」 sets them and calculates.
    void show_advisor();

    // Once the window shows: opens the mount file given on the command
    // line, or else the last one used when the operator asked for that;
    // either wins over the last Calculate's drive trains shown at start.
    void start_with_mount(const QString &file);
    // SIGTERM, SIGINT, SIGHUP: a running action stops and is recorded, the
    // port drains and closes, then end() (the program's end, 128 + the signal).
    void stop_for_signal(int signal_number, std::function<void()> end);

    // The night look (夜間表示, Ctrl+N): set here for this run (the start
    // option), or by the operator, whose choice is remembered.
    bool night() const;
    void set_night(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void build_drive_train_block();
    void build_command_band();
    void build_port_box();
    void build_tables();
    void set_tab_order();
    void connect_boxes();
    void Form_Load();
    void load_param();
    AxisBoxes boxes(calc::Axis axis) const;
    void show_results(const calc::CalcOutput &out);
    void write_speed_data();
    void send_rate(int box);
    void send_total(calc::Axis axis);
    void drive_train_menu(QWidget *from, const QPoint &at);
    void box_menu(QLineEdit *box, const QPoint &at);
    void build_keys();
    void apply_advice(std::int32_t clock, int ra_microstep, int dec_microstep);
    void set_advice(std::int32_t clock, int ra_microstep, int dec_microstep);

    // The last Calculate's drive trains and clock into the boxes; what the
    // status line says of them.
    QString restore_last_calculation();
    void keep_last_calculation(const calc::CalcInput &input);
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
    PortCombo *Combo1 = nullptr;
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

    StatusLine *m_status_line = nullptr; // what the last action did, where the bars stand
    QString m_data_dir;
    // The parts that act on the controls are held by the window's own part:
    // they go, with every connection and event filter they set, before
    // QWidget's destructor hides the window and deletes the controls, so
    // nothing they hear then reaches a window half gone. The port controls
    // (and MSComm1) outlive the actions that send through them.
    std::unique_ptr<PortControls> m_ports;
    std::unique_ptr<ActionControl> m_actions;
    std::unique_ptr<MountControl> m_mounts; // the drive trains kept in mount files
    QAction *m_advisor_action = nullptr;
    QPointer<AdvisorDialog> m_advisor; // one at a time
    bool m_mount_answered = false;     // asked about unsaved mount edits on closing
    bool m_writing_results = false;
    LookSetting m_look_setting;
    QAction *m_night_action = nullptr; // 夜間表示, in every menu of the window
    // The drive trains of the last Calculate, per user; start-up showed them.
    LastCalculation m_last_calculation;
    bool m_restored = false;
    std::int32_t base_clock = 0;
    calc::SpeedTable SpeedTable;
    // What the actions will send, and the marks on the boxes.
    SendValues m_send{[this](calc::Axis axis) { return boxes(axis); }, base_clock};
};

} // namespace app
