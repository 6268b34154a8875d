#include "form1.h"

#include "accuracytext.h"
#include "advisordialog.h"
#include "alerts.h"
#include "beep.h"
#include "calculate.h"
#include "controls.h"
#include "filetext.h"
#include "fonts.h"
#include "frame.h"
#include "geometry.h"
#include "linktext.h"
#include "listing.h"
#include "look.h"
#include "names.h"
#include "numbertext.h"
#include "portcontrols.h"
#include "portview.h"
#include "recorddialog.h"
#include "recordtext.h"
#include "settings.h"
#include "statusline.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QToolButton>

#include <utility>

namespace app {

namespace {

// Client area 9735 × 9990 twips.
constexpr int kClientWidth = 9735;
constexpr int kClientHeight = 9990;

// Start-up moves each row label 50 twips up and left.
constexpr int kRowLabelShift = -50;

const QString kBlank = QStringLiteral(" ");

} // namespace

// The upload's view of the window: each box is read when its command is
// built, and the progress bars follow the rows sent.
class BoxReader : public rwlink::UploadSource {
public:
    explicit BoxReader(Form1 &form) : m_form(form) {}
    std::int32_t base_clock() override { return m_form.base_clock; }
    QString ra_row(int i) override { return row(calc::Axis::Ra, i); }
    QString dec_row(int i) override { return row(calc::Axis::Dec, i); }
    QString ra_total() override { return total(calc::Axis::Ra); }
    QString dec_total() override { return total(calc::Axis::Dec); }
    void ra_progress(int rows_sent) override { progress(calc::Axis::Ra, rows_sent); }
    void dec_progress(int rows_sent) override { progress(calc::Axis::Dec, rows_sent); }
    rwlink::StepVerdict check(calc::Axis axis, int index) override
    {
        const auto remaining = [this, axis, index] {
            return m_form.m_send.upload_from(axis, index);
        };
        return m_form.m_actions->gate(index == kTotalIndex ? m_form.m_send.total(axis, total(axis))
                                                           : m_form.m_send.entry(axis, index),
                                      remaining);
    }

private:
    QString row(calc::Axis axis, int i) const { return m_form.boxes(axis).hex[i]->text(); }
    QString total(calc::Axis axis) const { return m_form.boxes(axis).total_hex->text(); }
    void progress(calc::Axis axis, int rows) { m_form.boxes(axis).bar->setValue(rows); }

    Form1 &m_form;
};

Form1::Form1(QString data_dir, rwlink::Clock *clock, rwlink::Devices devices, QWidget *parent)
    : QWidget(parent), m_data_dir(std::move(data_dir))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("RW７３００　SPEEDテーブル Ver") +
                   QStringLiteral(RW7300_VERSION));
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/rw7300-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    setFont(standard_font());
    setFixedSize(px(kClientWidth), px(kClientHeight));

    build_drive_train_block();
    build_command_band();
    build_tables();
    set_tab_order();
    for (QPushButton *b : {Command1, Command2, Command3, Command4, Command5, Command6, Command7})
        b->installEventFilter(this);

    m_ports = std::make_unique<PortControls>(this, Combo1, m_port_button, m_status_line,
                                             std::move(devices));
    connect(m_ports.get(), &PortControls::picked, this, &Form1::Combo1_Click);
    build_keys();
    m_ports->add_to_menus(m_night_action);
    ActionWindow window;
    window.window = this;
    window.buttons = {Command2, Command3, Command4, Command5, Command6, Command7};
    window.bars = {ProgressBar1, ProgressBar2};
    window.status = m_status_line;
    window.ports = m_ports.get();
    window.clock = [this] { return m_send.clock(); };
    window.calculate = [this] { return calculate(); };
    window.computed_from = [this] { return m_send.input(); };
    window.mount = [this] { return m_mounts->opened_file(); };
    m_actions = std::make_unique<ActionControl>(std::move(window), clock, this);

    Form_Load();
    load_param();
    const QString restored = restore_last_calculation();
    m_ports->refresh();
    m_ports->show_status(restored);

    m_mounts = std::make_unique<MountControl>(this, MountBoxes{Text1, Text4, m_option1_group},
                                              windowTitle(), MountHistory());
    connect(m_mounts.get(), &MountControl::status, this, &Form1::show_status);
    m_advisor_action = new QAction(QStringLiteral("精度…"), this);
    m_advisor_action->setObjectName(QStringLiteral("advisorAction"));
    m_advisor_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(m_advisor_action, &QAction::triggered, this, &Form1::show_advisor);
    addAction(m_advisor_action); // the shortcut works anywhere in the window
    // A box takes Ctrl+E as "end of line" on X11; the window's key wins.
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        edit->installEventFilter(this);
    connect_boxes();
    auto *record_key = new QShortcut(kRecordDialogKey, this);
    connect(record_key, &QShortcut::activated, m_ports.get(), &PortControls::open_record);
}

Form1::~Form1() = default;

void Form1::start_with_mount(const QString &file)
{
    // The file given has said so on the line; the last one used opens
    // quietly, and the line then no longer speaks of the last Calculate.
    if (m_mounts->start(file) && std::exchange(m_restored, false) && file.isEmpty())
        m_ports->show_status();
}

QString Form1::restore_last_calculation()
{
    const SavedSetupRead read = m_last_calculation.read();
    if (const auto *error = std::get_if<files::MountError>(&read))
        return last_calculation_read_failure_text(m_last_calculation.path(), *error);
    const auto *saved = std::get_if<SavedSetup>(&read);
    if (!saved)
        return {};
    for (std::size_t i = 0; i < Text1.size(); ++i) {
        Text1[i]->setText(files::box_text(saved->setup.ra[i]));
        Text4[i]->setText(files::box_text(saved->setup.dec[i]));
    }
    const bool slow = saved->setup.base_clock == calc::kClock250kHz;
    Option1[slow ? 1 : 0]->setChecked(true);
    base_clock = slow ? calc::kClock250kHz : calc::kClock2MHz;
    m_restored = true;
    return last_calculation_text(saved->setup, saved->saved);
}

// Kept at once: the drive trains are what the driver's switches were set
// for, and a flat battery must not lose them.
void Form1::keep_last_calculation(const calc::CalcInput &input)
{
    files::Mount setup{{}, input.ra, input.dec, input.base_clock};
    // The mount's name only when the boxes still hold the open file's values.
    if (m_mounts && !m_mounts->modified())
        setup.name = m_mounts->opened_file().second;
    // What start-up said of the boxes holds no longer.
    if (std::exchange(m_restored, false))
        m_ports->show_status();
    const files::WriteOutcome kept = m_last_calculation.save(setup);
    if (!kept.ok)
        show_status(last_calculation_write_failure_text(m_last_calculation.path(), kept));
}

void Form1::connect_boxes()
{
    // After a Calculate, a drive-train edit makes what was computed from it
    // stale; an edited box shows the accuracy and the trouble of what it
    // would send.
    for (const calc::Axis axis : {calc::Axis::Ra, calc::Axis::Dec}) {
        const AxisBoxes b = boxes(axis);
        for (QLineEdit *box : b.train)
            connect(box, &QLineEdit::textChanged, this, [this] { m_send.mark_all(); });
        for (QLineEdit *box : {b.total, b.total_hex}) {
            connect(box, &QLineEdit::textChanged, this, [this, axis] {
                if (!m_writing_results)
                    m_send.mark_total(axis);
            });
        }
        for (std::size_t k = 0; k < b.hex.size(); ++k) {
            for (QLineEdit *box : {b.decimal[k], b.hex[k]}) {
                connect(box, &QLineEdit::textChanged, this, [this, axis, k] {
                    if (!m_writing_results)
                        m_send.mark_entry(axis, static_cast<int>(k));
                });
            }
        }
    }
    // The drive-train area's boxes: their editing menu carries the mount files.
    std::vector<QLineEdit *> area(Text1.begin(), Text1.end());
    area.insert(area.end(), Text4.begin(), Text4.end());
    area.insert(area.end(), {Text2, Text3, Text5, Text6});
    for (QLineEdit *box : area) {
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this,
                [this, box](const QPoint &at) { drive_train_menu(box, at); });
    }
    // The other boxes: their editing menu carries the look.
    for (QLineEdit *box : findChildren<QLineEdit *>(Qt::FindDirectChildrenOnly)) {
        if (box->contextMenuPolicy() == Qt::CustomContextMenu)
            continue;
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this,
                [this, box](const QPoint &at) { box_menu(box, at); });
    }
}

// F5 and Ctrl+Return press 計算 and 送信 from anywhere in the window, as a
// click does (nothing while a button is disabled); Ctrl+N switches the look,
// Ctrl+Q closes.
void Form1::build_keys()
{
    const auto key = [this](const QString &name, const QList<QKeySequence> &keys) {
        auto *action = new QAction(this);
        action->setObjectName(name);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        return action;
    };
    connect(key(QStringLiteral("calculateKey"), {QKeySequence(Qt::Key_F5)}), &QAction::triggered,
            Command1, &QPushButton::click);
    connect(key(QStringLiteral("sendKey"),
                {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}),
            &QAction::triggered, Command2, &QPushButton::click);

    connect(key(QStringLiteral("quitKey"), {QKeySequence(Qt::CTRL | Qt::Key_Q)}),
            &QAction::triggered, this, [this] { window()->close(); });

    m_night_action = key(QStringLiteral("nightAction"), {QKeySequence(Qt::CTRL | Qt::Key_N)});
    m_night_action->setText(QStringLiteral("夜間表示"));
    m_night_action->setCheckable(true);
    m_night_action->setShortcutVisibleInContextMenu(true);
    m_night_action->setChecked(m_look_setting.night());
    watch_the_application();
    if (look_in_force() != (night() ? Look::Night : Look::Day))
        apply_look(night() ? Look::Night : Look::Day);
    connect(m_night_action, &QAction::toggled, this,
            [](bool on) { apply_look(on ? Look::Night : Look::Day); });
    // Only the operator's choice is remembered, not the start option's.
    connect(m_night_action, &QAction::triggered, this, [this](bool on) {
        const files::WriteOutcome written = m_look_setting.set_night(on);
        if (!written.ok)
            show_status(look_setting_failure_text(m_look_setting.path(), written));
    });
}

bool Form1::night() const
{
    return m_night_action->isChecked();
}

void Form1::set_night(bool on)
{
    m_night_action->setChecked(on);
}

AxisBoxes Form1::boxes(calc::Axis axis) const
{
    if (axis == calc::Axis::Ra)
        return {Text1, Text2, Text3, Text7, Text8, Text11, ProgressBar1};
    return {Text4, Text5, Text6, Text9, Text10, Text12, ProgressBar2};
}

void Form1::Form_Load()
{
    for (int k = 0; k < kRows; ++k) {
        for (QLabel *label : {Label3[k], Label4[k]}) {
            label->setText(QStringLiteral(" %1 ").arg(k + 1));
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            label->adjustSize();
            move_by(label, 0, kRowLabelShift);
            move_by(label, kRowLabelShift, 0);
        }
        for (QLineEdit *box : {Text7[k], Text8[k], Text9[k], Text10[k]})
            box->setText(kBlank);
    }
    for (int k = kRows; k < kRaBoxes; ++k) {
        Text7[k]->setText(kBlank);
        Text8[k]->setText(kBlank);
    }
    Option1[0]->setChecked(true);
    base_clock = calc::kClock2MHz;
    Text1[0]->setFocus();
}

void Form1::Option1_Click(int index)
{
    base_clock = index == 0 ? calc::kClock2MHz : calc::kClock250kHz;
    // The upload announces this clock with the divisors in the boxes.
    m_send.mark_all();
}

void Form1::Command1_Click()
{
    calculate();
}

bool Form1::calculate()
{
    const calc::CalcInput input = shown_drive_trains({Text1, Text4, m_option1_group});
    base_clock = input.base_clock;

    // The core computes everything first; the boxes change only on success,
    // so a failed Calculate leaves the window exactly as it was.
    const calc::CalcResult result = calc::calculate(input);
    if (const auto *failure = std::get_if<calc::CalcFailure>(&result)) {
        show_warning(this, QStringLiteral("calculationFailure"), QStringLiteral("計算できません"),
                     core_text(failure_message(*failure)) +
                         QStringLiteral("\n\n表示中の値は変更していません。"));
        return false;
    }
    const auto &out = std::get<calc::CalcOutput>(result);
    m_writing_results = true;
    show_results(out);
    m_writing_results = false;
    SpeedTable = out.speed_table;
    m_send.calculated(input, out);
    m_send.mark_all();
    keep_last_calculation(input);
    write_speed_data();
    return true;
}

// The one place that knows which box shows which result.
void Form1::show_results(const calc::CalcOutput &out)
{
    for (const calc::Axis axis : {calc::Axis::Ra, calc::Axis::Dec}) {
        const AxisBoxes b = boxes(axis);
        const calc::AxisOutput &o = output_of(out, axis);
        b.total->setText(core_text(o.total));
        b.reference->setText(core_text(o.reference));
        for (int k = 0; k < kRows; ++k) {
            b.decimal[k]->setText(core_text(o.decimal_rows[k]));
            b.hex[k]->setText(core_text(o.hex_rows[k]));
        }
        b.total_hex->setText(core_text(o.total_hex));
    }
    for (int k = 0; k < calc::kRateCount; ++k) {
        Text7[kRows + k]->setText(core_text(out.rates[k].decimal));
        Text8[kRows + k]->setText(core_text(out.rates[k].hex));
    }
}

void Form1::write_speed_data()
{
    system_beep();
    const QString path = QDir(m_data_dir).filePath(files::kListingFileName);
    const files::WriteOutcome outcome = files::write_speed_data(path, base_clock, SpeedTable);
    if (!outcome.ok) {
        show_warning(this, QStringLiteral("listingFailure"), QStringLiteral("書き込めません"),
                     QStringLiteral(
                         "%1 を書き込めません: %2\n\n"
                         "計算結果は画面に表示されています。以前のファイルはそのまま残っています。")
                         .arg(QDir::toNativeSeparators(path), write_failure_text(outcome)));
    }
}

void Form1::Combo1_Click()
{
    system_beep();
    const QString path = QDir(m_data_dir).filePath(files::kSettingsFileName);
    const files::WriteOutcome outcome = files::write_param(path, Combo1->currentText());
    m_ports->show_status();
    // The picked port is still used at the next transfer, so the window says
    // nothing; the reason goes to the log.
    if (!outcome.ok)
        qWarning("%s: %s", qPrintable(QDir::toNativeSeparators(path)),
                 qPrintable(write_failure_text(outcome)));
}

void Form1::Command2_Click()
{
    // A blank RA row 1 means nothing has been calculated yet.
    if (Text7[0]->text() == kBlank) {
        refuse_before_calculate();
        return;
    }
    if (m_actions->is_running())
        return;
    QStringList bodies;
    for (const rwlink::ActionStep &step : rwlink::upload_action(std::make_shared<BoxReader>(*this)))
        bodies << step.body(); // reads the boxes, nothing more
    m_actions->check_then(
        m_send.upload_from(calc::Axis::Ra, 0), bodies,
        [this] {
            m_actions->start(rwlink::upload_action(std::make_shared<BoxReader>(*this)),
                             QStringLiteral("送信"), Command2, true);
        },
        [this] { Command2_Click(); });
}

void Form1::send_rate(int box)
{
    if (m_actions->is_running() || refuse_before_calculate())
        return;
    QPushButton *button =
        std::array{Command3, Command4, Command5}[static_cast<std::size_t>(box - kRows)];
    m_actions->check_then(
        {m_send.entry(calc::Axis::Ra, box)}, {rwlink::rate_body(Text8[box]->text())},
        [this, box, button] {
            m_actions->start(rwlink::rate_action([this, box] { return Text8[box]->text(); },
                                                 [this, box] {
                                                     const ValueToSend value =
                                                         m_send.entry(calc::Axis::Ra, box);
                                                     return m_actions->gate(value, [value] {
                                                         return std::vector{value};
                                                     });
                                                 }),
                             core_text(entry_name(box)), button, false);
        },
        [this, box] { send_rate(box); });
}

void Form1::send_total(calc::Axis axis)
{
    if (m_actions->is_running() || refuse_before_calculate())
        return;
    QLineEdit *decimal = boxes(axis).total;
    QLineEdit *hex = boxes(axis).total_hex;
    QPushButton *button = axis == calc::Axis::Ra ? Command6 : Command7;
    const auto digits = calc::hex6_from_text(decimal->text().toStdString());
    if (!digits) {
        show_warning(this, QStringLiteral("linkFailure"), QStringLiteral("送信できません"),
                     total_out_of_range_text(decimal->text()));
        return;
    }
    m_actions->check_then(
        {m_send.total(axis, core_text(*digits))}, {rwlink::total_body(axis, core_text(*digits))},
        [this, axis, decimal, hex, button] {
            auto action = rwlink::total_action(
                axis, decimal->text(), [hex](const QString &text) { hex->setText(text); },
                [this, axis](const QString &digits) {
                    const ValueToSend value = m_send.total(axis, digits);
                    return m_actions->gate(value, [value] { return std::vector{value}; });
                });
            if (action)
                m_actions->start(std::move(*action), button->text(), button, false);
        },
        [this, axis] { send_total(axis); });
}

bool Form1::refuse_before_calculate()
{
    if (m_send.any_calculated() && Text7[0]->text() != kBlank)
        return false;
    system_beep();
    show_status(
        QStringLiteral("まだ計算していないため送信しません。先に「計算」を押してください。"));
    return true;
}

void Form1::show_status(const QString &text)
{
    m_status_line->say(text);
}

void Form1::drive_train_menu(QWidget *from, const QPoint &at)
{
    auto *edit = qobject_cast<QLineEdit *>(from);
    QMenu *menu = edit ? edit->createStandardContextMenu() : new QMenu(from);
    menu->setObjectName(QStringLiteral("mountMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    m_mounts->add_to_menu(menu);
    auto *record = new QAction(kRecordDialogTitle + QStringLiteral("…"), menu);
    record->setObjectName(QStringLiteral("recordAction"));
    record->setShortcut(kRecordDialogKey);
    connect(record, &QAction::triggered, m_ports.get(), &PortControls::open_record);
    menu->addSeparator();
    menu->addAction(record);
    menu->addAction(m_advisor_action);
    menu->addAction(m_night_action);
    menu->popup(from->mapToGlobal(at));
}

void Form1::box_menu(QLineEdit *box, const QPoint &at)
{
    QMenu *menu = box->createStandardContextMenu();
    menu->setObjectName(QStringLiteral("boxMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    menu->addAction(m_night_action);
    menu->popup(box->mapToGlobal(at));
}

void Form1::show_advisor()
{
    if (m_advisor) {
        m_advisor->raise();
        m_advisor->activateWindow();
        return;
    }
    const calc::CalcInput shown = shown_drive_trains({Text1, Text4, m_option1_group});
    m_advisor = new AdvisorDialog({shown.ra, shown.dec, shown.base_clock}, this);
    m_advisor->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_advisor, &AdvisorDialog::apply, this, &Form1::apply_advice);
    m_advisor->show();
}

void Form1::apply_advice(std::int32_t clock, int ra_microstep, int dec_microstep)
{
    m_actions->ask_before_recalculating([this, clock, ra_microstep, dec_microstep] {
        set_advice(clock, ra_microstep, dec_microstep);
    });
}

void Form1::set_advice(std::int32_t clock, int ra_microstep, int dec_microstep)
{
    const int option = clock == calc::kClock2MHz ? 0 : 1;
    Option1[option]->setChecked(true);
    Option1_Click(option);
    Text1[calc::kMicrostep]->setText(QString::number(ra_microstep));
    Text4[calc::kMicrostep]->setText(QString::number(dec_microstep));
    Command1_Click();
}

void Form1::contextMenuEvent(QContextMenuEvent *event)
{
    // Above the rule under the drive trains: the labels and the space
    // around the boxes.
    if (event->pos().y() < Line1->y()) {
        drive_train_menu(this, event->pos());
        return;
    }
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("windowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(m_advisor_action);
    menu->addAction(m_night_action);
    menu->popup(event->globalPos());
}

void Form1::stop_for_signal(int signal_number, std::function<void()> end)
{
    m_actions->stop_for_signal(signal_number, std::move(end));
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Unsaved mount edits first: a cancel there keeps everything as it is.
    if (!m_mount_answered && m_mounts->modified()) {
        event->ignore();
        m_mounts->ask_then([this] {
            m_mount_answered = true;
            window()->close(); // this window, or the one it scrolls in
        });
        return;
    }
    const bool asking = m_actions->keeps_window_open([this](bool stop) {
        if (stop)
            window()->close();
        else
            m_mount_answered = false; // later edits are asked about again
    });
    if (asking) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride && m_advisor_action &&
        QKeySequence(static_cast<QKeyEvent *>(event)->keyCombination()) ==
            m_advisor_action->shortcut()) {
        event->ignore(); // not the box's: the shortcut map takes it
        return true;
    }
    // Return presses the focused button, as Space does: the buttons are no
    // dialog's defaults, so Qt leaves Return to them unhandled.
    if (auto *b = qobject_cast<QPushButton *>(watched); b && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && b->isEnabled()) {
            b->animateClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::load_param()
{
    const auto port = files::read_param(QDir(m_data_dir).filePath(files::kSettingsFileName));
    if (!port) {
        // No port picked yet: the one assigned to an adapter that is here.
        if (const auto assigned = m_ports->settings().map().assigned_present_port())
            Combo1->setCurrentIndex(*assigned - 1);
        return;
    }
    const int index = Combo1->findText(*port);
    if (index >= 0)
        Combo1->setCurrentIndex(index);
    else
        Combo1->setEditText(*port);
}

} // namespace app
