#include "form1.h"

#include "accuracy.h"
#include "accuracytext.h"
#include "beep.h"
#include "calculate.h"
#include "filetext.h"
#include "fonts.h"
#include "frame.h"
#include "geometry.h"
#include "linktext.h"
#include "listing.h"
#include "numbertext.h"
#include "portdialog.h"
#include "porttext.h"
#include "portview.h"
#include "seriallink.h"
#include "settings.h"
#include "systemclock.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QValidator>

#include <algorithm>

namespace app {

namespace {

// Client area 9735 × 9990 twips.
constexpr int kClientWidth = 9735;
constexpr int kClientHeight = 9990;

// The two tables: five column groups of ten rows.
constexpr int kGroupWidth = 1920;
constexpr int kRowPitch = 360;
constexpr int kRowsPerGroup = 10;
constexpr int kRaRowTop = 2400;
constexpr int kDecRowTop = 6360;
constexpr int kRowLabelDrop = 120; // a row label stands 120 twips below its boxes

// Start-up moves each row label 50 twips up and left.
constexpr int kRowLabelShift = -50;

const QString kBlank = QStringLiteral(" ");

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

template <class Widget> Widget *make(QWidget *parent, const QString &name)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(name);
    return widget;
}

QLineEdit *text_box(QWidget *parent, const QString &name, int left, int top, int width, int height,
                    const QString &text = {})
{
    auto *box = make<QLineEdit>(parent, name);
    box->setText(text);
    place(box, left, top, width, height);
    return box;
}

QLabel *auto_label(QWidget *parent, const QString &name, int left, int top, const QString &caption)
{
    auto *label = make<QLabel>(parent, name);
    label->setText(caption);
    place_auto(label, left, top);
    return label;
}

QPushButton *button(QWidget *parent, const QString &name, int left, int top, int width, int height,
                    const QString &caption)
{
    auto *b = make<QPushButton>(parent, name);
    b->setText(caption);
    b->setAutoDefault(false);
    place(b, left, top, width, height);
    return b;
}

// A one-pixel horizontal rule from (x1, y) to (x2, y).
QFrame *rule(QWidget *parent, const QString &name, int x1, int y, int x2)
{
    auto *line = make<QFrame>(parent, name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    place(line, x1, y, x2 - x1, static_cast<int>(kTwipsPerPixel));
    return line;
}

QProgressBar *progress_bar(QWidget *parent, const QString &name, int top)
{
    auto *bar = make<QProgressBar>(parent, name);
    bar->setRange(0, Form1::kRows);
    bar->setValue(0);
    bar->setTextVisible(false);
    place(bar, 1080, top, 8415, 135);
    bar->hide();
    return bar;
}

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

// A hex box shows what will be sent: letters typed or pasted become upper
// case as they come in (texts set by Calculate are not validated).
class UpperCaseLetters : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int & /*pos*/) const override
    {
        for (QChar &c : input) {
            if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
                c = QChar(c.unicode() - 'a' + 'A');
        }
        return Acceptable;
    }
};

} // namespace

// The upload's view of the window: each box is read when its command is
// built, and the progress bars follow the rows sent.
class BoxReader : public rwlink::UploadSource {
public:
    explicit BoxReader(Form1 &form) : m_form(form) {}
    std::int32_t base_clock() override { return m_form.base_clock; }
    QString ra_row(int i) override { return m_form.Text8[i]->text(); }
    QString dec_row(int i) override { return m_form.Text10[i]->text(); }
    QString ra_total() override { return m_form.Text11->text(); }
    QString dec_total() override { return m_form.Text12->text(); }
    void ra_progress(int rows_sent) override { m_form.ProgressBar1->setValue(rows_sent); }
    void dec_progress(int rows_sent) override { m_form.ProgressBar2->setValue(rows_sent); }
    rwlink::StepVerdict check(calc::Axis axis, int index) override
    {
        const auto remaining = [this, axis, index] {
            return m_form.upload_values_from(axis, index);
        };
        if (index == kTotalIndex)
            return m_form.gate(
                m_form.total_value(
                    axis, (axis == calc::Axis::Ra ? m_form.Text11 : m_form.Text12)->text()),
                remaining);
        return m_form.gate(m_form.entry_value(axis, index), remaining);
    }

private:
    Form1 &m_form;
};

Form1::Form1(QString data_dir, rwlink::Clock *clock, rwlink::Devices devices, QWidget *parent)
    : QWidget(parent), m_data_dir(std::move(data_dir)), m_port_settings(std::move(devices))
{
    MSComm1 = new rwlink::SerialLink(this);
    if (!clock) {
        m_own_clock = std::make_unique<rwlink::SystemClock>();
        clock = m_own_clock.get();
    }
    m_runner = new rwlink::ActionRunner(*MSComm1, *clock, this);
    m_runner->setObjectName(QStringLiteral("actionRunner"));
    connect(m_runner, &rwlink::ActionRunner::finished, this, &Form1::action_finished);
    connect(m_runner, &rwlink::ActionRunner::held, this, &Form1::ask_held);
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
    Form_Load();
    load_param();
    refresh_ports();
    show_port_status();

    m_mounts = new MountControl(this, MountBoxes{Text1, Text4, m_option1_group}, windowTitle(),
                                MountHistory());
    connect(m_mounts, &MountControl::status, this, &Form1::show_status);
    // The drive-train area's boxes: their editing menu carries the mount files.
    std::vector<QLineEdit *> area(Text1.begin(), Text1.end());
    area.insert(area.end(), Text4.begin(), Text4.end());
    area.insert(area.end(), {Text2, Text3, Text5, Text6});
    // After a Calculate, a drive-train edit makes what was computed from it stale.
    for (QLineEdit *box : Text1)
        connect(box, &QLineEdit::textChanged, this, &Form1::update_all_entries);
    for (QLineEdit *box : Text4)
        connect(box, &QLineEdit::textChanged, this, &Form1::update_all_entries);
    connect(Text2, &QLineEdit::textChanged, this, [this] {
        if (!m_writing_results)
            update_total(calc::Axis::Ra);
    });
    connect(Text5, &QLineEdit::textChanged, this, [this] {
        if (!m_writing_results)
            update_total(calc::Axis::Dec);
    });
    for (QLineEdit *box : area) {
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this,
                [this, box](const QPoint &at) { drive_train_menu(box, at); });
    }
}

Form1::~Form1()
{
    // The runner's end would reach controls about to go; so would the
    // mount files' watch on the boxes.
    delete m_runner;
    delete m_mounts;
    for (QPushButton *b : {Command1, Command2, Command3, Command4, Command5, Command6, Command7})
        b->removeEventFilter(this);
    // Destroying the base widget still hides it and moves focus, and the
    // children signal that (the combo box commits its text, for one); none
    // of it may reach this half-destroyed window.
    Combo1->removeEventFilter(this);
    Combo1->lineEdit()->removeEventFilter(this);
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
}

void Form1::build_drive_train_block()
{
    static const char *const kHeadings[7] = {"ウォーム",  "中間ギア",     "モーター",  "減速ギア",
                                             "ﾏｲｸﾛｽﾃｯﾌﾟ", "総ステップ数", "基準周波数"};
    static constexpr int kHeadingLeft[7] = {840, 1800, 2760, 3600, 4560, 5640, 6960};
    for (int i = 0; i < 7; ++i) {
        Label5[i] = make<QLabel>(this, indexed("Label5", i));
        Label5[i]->setFont(caption_font());
        Label5[i]->setText(QString::fromUtf8(kHeadings[i]));
        place_auto(Label5[i], kHeadingLeft[i], i == 4 ? 45 : 50);
    }
    Label1[0] = auto_label(this, indexed("Label1", 0), 360, 360, QStringLiteral("赤経"));
    Label1[1] = auto_label(this, indexed("Label1", 1), 360, 840, QStringLiteral("赤緯"));

    static constexpr int kInputLeft[5] = {840, 1800, 2760, 3720, 4680};
    for (int i = 0; i < 5; ++i) {
        Text1[i] = text_box(this, indexed("Text1", i), kInputLeft[i], 240, 615, 375,
                            q(calc::kDefaultRa[i]));
        Text4[i] = text_box(this, indexed("Text4", i), kInputLeft[i], 720, 615, 375,
                            q(calc::kDefaultDec[i]));
    }
    static constexpr int kTimesLeft[4] = {1560, 2520, 3480, 4440};
    for (int i = 0; i < 4; ++i) {
        Label2[i] = auto_label(this, indexed("Label2", i), kTimesLeft[i], 360, QStringLiteral("×"));
        Label2[i + 5] =
            auto_label(this, indexed("Label2", i + 5), kTimesLeft[i], 840, QStringLiteral("×"));
    }
    Text2 = text_box(this, QStringLiteral("Text2"), 5640, 240, 1095, 375, QStringLiteral("0"));
    Text3 = text_box(this, QStringLiteral("Text3"), 6960, 240, 855, 375, QStringLiteral("0"));
    Label2[4] = auto_label(this, indexed("Label2", 4), 7920, 360, QStringLiteral("PPS"));
    Text5 = text_box(this, QStringLiteral("Text5"), 5640, 720, 1095, 375, QStringLiteral("0"));
    Text6 = text_box(this, QStringLiteral("Text6"), 6960, 720, 855, 375, QStringLiteral("0"));
    Label2[9] = auto_label(this, indexed("Label2", 9), 7920, 840, QStringLiteral("PPS"));

    Command1 =
        button(this, QStringLiteral("Command1"), 8760, 120, 735, 855, QStringLiteral("計算"));
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    Command1->setToolTip(
        QStringLiteral("計算して、結果を %1 に書き込みます")
            .arg(QDir::toNativeSeparators(QDir(m_data_dir).filePath(files::kListingFileName))));
    Line1 = rule(this, QStringLiteral("Line1"), 120, 1200, 8520);
}

void Form1::build_command_band()
{
    Command2 =
        button(this, QStringLiteral("Command2"), 8760, 1200, 735, 375, QStringLiteral("送信"));
    Command3 =
        button(this, QStringLiteral("Command3"), 120, 1320, 615, 300, QStringLiteral("太陽時"));
    Command4 =
        button(this, QStringLiteral("Command4"), 2520, 1320, 615, 300, QStringLiteral("月時"));
    Command5 =
        button(this, QStringLiteral("Command5"), 5040, 1320, 855, 300, QStringLiteral("Kingslate"));
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    for (QPushButton *b : {Command3, Command4, Command5})
        b->setFont(caption_font());

    static constexpr int kRateLeft[3] = {840, 3240, 6000};
    for (int k = 0; k < 3; ++k) {
        const int box = kRows + k;
        Text7[box] = text_box(this, indexed("Text7", box), kRateLeft[k], 1320, 735, 270);
        Text8[box] = text_box(this, indexed("Text8", box), kRateLeft[k] + 840, 1320, 735, 270);
    }

    auto *combo = make<PortCombo>(this, QStringLiteral("Combo1"));
    connect(combo, &PortCombo::popup_about_to_show, this, &Form1::refresh_ports);
    Combo1 = combo;
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert); // the list is fixed
    for (int n = 1; n <= 20; ++n)
        Combo1->addItem(rwlink::port_name(n));
    Combo1->setCurrentIndex(0);
    place(Combo1, 7680, 1320, 975, 315);
    // Only a pick from the list, by mouse or keyboard; typing writes nothing.
    // QComboBox also reports Return on typed text that matches an entry as
    // an activation, so Return is watched and excluded.
    connect(Combo1, &QComboBox::activated, this, [this] {
        if (!m_combo_typing)
            Combo1_Click();
    });
    Combo1->installEventFilter(this);
    Combo1->lineEdit()->installEventFilter(this);
    connect(Combo1, &QComboBox::editTextChanged, this, &Form1::update_port_view);
    for (QWidget *w : std::initializer_list<QWidget *>{Combo1, Combo1->lineEdit()}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint &at) { port_menu(w, at); });
    }
    // The one free spot near the port box, right of "送信"; reached from the
    // keyboard through the port box's menu, so the tab order stays.
    m_port_button = make<QToolButton>(this, QStringLiteral("portSettingsButton"));
    m_port_button->setText(QStringLiteral("…"));
    m_port_button->setFocusPolicy(Qt::NoFocus);
    // Clear of the window's edge, with a pixel to spare at any scale.
    place(m_port_button, 9510, 1320, 195, 315);
    connect(m_port_button, &QToolButton::clicked, this, &Form1::open_port_dialog);

    Command6 = button(this, QStringLiteral("Command6"), 120, 1750, 1455, 255,
                      QStringLiteral("RA ALL STEP"));
    Text11 = text_box(this, QStringLiteral("Text11"), 1680, 1750, 1455, 270, QStringLiteral("0"));
    Command7 = button(this, QStringLiteral("Command7"), 3240, 1750, 1575, 255,
                      QStringLiteral("DEC ALL STEP"));
    Text12 = text_box(this, QStringLiteral("Text12"), 4920, 1750, 1455, 270, QStringLiteral("0"));
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    auto *upper = new UpperCaseLetters(this);
    Text11->setValidator(upper);
    Text12->setValidator(upper);
    for (QLineEdit *box : {Text11, Text12}) {
        connect(box, &QLineEdit::textChanged, this, [this, box] {
            if (!m_writing_results)
                update_total(box == Text11 ? calc::Axis::Ra : calc::Axis::Dec);
        });
    }

    Label6 = make<QLabel>(this, QStringLiteral("Label6"));
    Label6->setFont(caption_font());
    Label6->setText(QStringLiteral("基本クロック"));
    place(Label6, 6720, 1680, 975, 255);

    Picture1 = make<QFrame>(this, QStringLiteral("Picture1"));
    place(Picture1, 7680, 1680, 2055, 375);
    m_option1_group = new QButtonGroup(this);
    m_option1_group->setExclusive(true);
    Option1[0] = make<QRadioButton>(Picture1, indexed("Option1", 0));
    Option1[0]->setText(QStringLiteral("2 MHz"));
    place(Option1[0], 0, 120, 855, 255);
    Option1[1] = make<QRadioButton>(Picture1, indexed("Option1", 1));
    Option1[1]->setText(QStringLiteral("250 kHz"));
    place(Option1[1], 960, 120, 1095, 255);
    for (int i = 0; i < 2; ++i) {
        m_option1_group->addButton(Option1[i], i);
        connect(Option1[i], &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
    }
    Option1[0]->setChecked(true); // the window opens with 2 MHz selected
}

void Form1::build_tables()
{
    ProgressBar1 = progress_bar(this, QStringLiteral("ProgressBar1"), 2100);
    // Where the RA bar stands during an upload: what the last action did.
    m_status_line = make<QLabel>(this, QStringLiteral("statusLine"));
    m_status_line->setFont(caption_font());
    place(m_status_line, 1080, 2055, 8415, 225);
    Label3[kTitleRa] =
        auto_label(this, indexed("Label3", kTitleRa), 240, 2160, QStringLiteral("赤経：RA"));
    Line2[0] = rule(this, indexed("Line2", 0), 1080, 2280, 9600);
    ProgressBar2 = progress_bar(this, QStringLiteral("ProgressBar2"), 6000);
    Label3[kTitleDec] =
        auto_label(this, indexed("Label3", kTitleDec), 240, 6120, QStringLiteral("赤緯：DEC"));
    Line2[1] = rule(this, indexed("Line2", 1), 1080, 6240, 9600);

    for (int k = 0; k < kRows; ++k) {
        const int column = k / kRowsPerGroup;
        const int row = k % kRowsPerGroup;
        const int x = kGroupWidth * column;
        const int ra_top = kRaRowTop + kRowPitch * row;
        const int dec_top = kDecRowTop + kRowPitch * row;
        Label3[k] = auto_label(this, indexed("Label3", k), 120 + x, ra_top + kRowLabelDrop, {});
        Text7[k] = text_box(this, indexed("Text7", k), 360 + x, ra_top, 735, 270);
        Text8[k] = text_box(this, indexed("Text8", k), 1200 + x, ra_top, 735, 270);
        Label4[k] = auto_label(this, indexed("Label4", k), 120 + x, dec_top + kRowLabelDrop, {});
        Text9[k] = text_box(this, indexed("Text9", k), 360 + x, dec_top, 735, 270);
        Text10[k] = text_box(this, indexed("Text10", k), 1200 + x, dec_top, 735, 270);
    }
    auto *upper = new UpperCaseLetters(this);
    for (QLineEdit *hex : Text8)
        hex->setValidator(upper);
    for (QLineEdit *hex : Text10)
        hex->setValidator(upper);
    // An edited box shows the accuracy and the trouble of what it would send.
    for (int k = 0; k < kRaBoxes; ++k) {
        for (QLineEdit *box : {Text7[k], Text8[k]}) {
            connect(box, &QLineEdit::textChanged, this, [this, k] {
                if (!m_writing_results)
                    update_entry(calc::Axis::Ra, k);
            });
        }
    }
    for (int k = 0; k < kRows; ++k) {
        for (QLineEdit *box : {Text9[k], Text10[k]}) {
            connect(box, &QLineEdit::textChanged, this, [this, k] {
                if (!m_writing_results)
                    update_entry(calc::Axis::Dec, k);
            });
        }
    }
}

void Form1::set_tab_order()
{
    std::vector<QWidget *> order;
    order.insert(order.end(), Text1.begin(), Text1.end());
    order.insert(order.end(), {Text2, Text3});
    order.insert(order.end(), Text4.begin(), Text4.end());
    order.insert(order.end(), {Text5, Text6, Command1});
    for (int k = 0; k < kRows; ++k)
        order.insert(order.end(), {Text7[k], Text8[k]});
    for (int k = 0; k < kRows; ++k)
        order.insert(order.end(), {Text9[k], Text10[k]});
    for (int k = kRows; k < kRaBoxes; ++k)
        order.insert(order.end(), {Text7[k], Text8[k]});
    order.insert(order.end(), {Command2, Combo1, Command3, Command4, Command5, Text11, Text12,
                               Command6, Command7, Option1[0], Option1[1]});
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
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
    update_all_entries();
}

void Form1::Command1_Click()
{
    calculate();
}

bool Form1::calculate()
{
    base_clock = Option1[0]->isChecked() ? calc::kClock2MHz : calc::kClock250kHz;

    calc::CalcInput input;
    input.base_clock = base_clock;
    for (std::size_t i = 0; i < input.ra.size(); ++i) {
        input.ra[i] = Text1[i]->text().toStdString();
        input.dec[i] = Text4[i]->text().toStdString();
    }

    // The core computes everything first; the boxes change only on success,
    // so a failed Calculate leaves the window exactly as it was.
    const calc::CalcResult result = calc::calculate(input);
    if (const auto *failure = std::get_if<calc::CalcFailure>(&result)) {
        show_warning(QStringLiteral("calculationFailure"), QStringLiteral("計算できません"),
                     q(failure_message(*failure)) +
                         QStringLiteral("\n\n表示中の値は変更していません。"));
        return false;
    }
    const auto &out = std::get<calc::CalcOutput>(result);
    m_writing_results = true;
    show_results(out);
    m_writing_results = false;
    SpeedTable = out.speed_table;
    m_calculated = input;
    m_calculated_output = out;
    update_all_entries();
    write_speed_data();
    return true;
}

// The one place that knows which box shows which result.
void Form1::show_results(const calc::CalcOutput &out)
{
    Text2->setText(q(out.ra.total));
    Text3->setText(q(out.ra.reference));
    for (int k = 0; k < kRows; ++k) {
        Text7[k]->setText(q(out.ra.decimal_rows[k]));
        Text8[k]->setText(q(out.ra.hex_rows[k]));
    }
    for (int k = 0; k < calc::kRateCount; ++k) {
        Text7[kRows + k]->setText(q(out.rates[k].decimal));
        Text8[kRows + k]->setText(q(out.rates[k].hex));
    }
    Text11->setText(q(out.ra.total_hex));
    Text5->setText(q(out.dec.total));
    Text6->setText(q(out.dec.reference));
    for (int k = 0; k < kRows; ++k) {
        Text9[k]->setText(q(out.dec.decimal_rows[k]));
        Text10[k]->setText(q(out.dec.hex_rows[k]));
    }
    Text12->setText(q(out.dec.total_hex));
}

void Form1::update_all_entries()
{
    if (!m_calculated)
        return;
    for (int k = 0; k < kRaBoxes; ++k)
        update_entry(calc::Axis::Ra, k);
    for (int k = 0; k < kRows; ++k)
        update_entry(calc::Axis::Dec, k);
    update_total(calc::Axis::Ra);
    update_total(calc::Axis::Dec);
}

void Form1::update_entry(calc::Axis axis, int index)
{
    if (!m_calculated)
        return;
    const bool ra = axis == calc::Axis::Ra;
    QLineEdit *hex = ra ? Text8[index] : Text10[index];
    QLineEdit *decimal = ra ? Text7[index] : Text9[index];
    const calc::EntryAccuracy entry =
        calc::entry_accuracy(base_clock, ra ? m_calculated->ra : m_calculated->dec, axis, index,
                             hex->text().toStdString());
    const QString accuracy = q(accuracy_tooltip(entry));
    const auto issue = check_send(entry_value(axis, index), calculated_clock());
    mark(hex, issue, accuracy);
    mark(decimal, issue, accuracy);
}

void Form1::update_total(calc::Axis axis)
{
    if (!m_calculated)
        return;
    const bool ra = axis == calc::Axis::Ra;
    QLineEdit *decimal = ra ? Text2 : Text5;
    QLineEdit *hex = ra ? Text11 : Text12;
    const QString resolution = q(resolution_tooltip(
        calc::axis_accuracy(base_clock, ra ? m_calculated->ra : m_calculated->dec, axis, {})));
    const auto issue = check_send(total_value(axis, hex->text()), calculated_clock());
    mark(decimal, issue, resolution);
    mark(hex, issue, {});
}

void Form1::mark(QLineEdit *box, const std::optional<SendIssue> &issue, const QString &details)
{
    const QString key = issue ? problem_key(issue->problem) : QString();
    QString tip = details;
    if (issue)
        tip = problem_text(*issue, calculated_clock()) +
              (details.isEmpty() ? QString() : QStringLiteral("\n\n") + details);
    box->setToolTip(tip);
    if (box->property("sendProblem").toString() == key)
        return;
    box->setProperty("sendProblem", key);
    // An orange frame reads on light and dark themes alike.
    box->setStyleSheet(issue ? QStringLiteral("QLineEdit { border: 2px solid #e8702a; }")
                             : QString());
}

CalculatedClock Form1::calculated_clock() const
{
    CalculatedClock clock;
    if (m_calculated)
        clock.calculated = m_calculated->base_clock;
    clock.selected = base_clock;
    return clock;
}

ValueToSend Form1::entry_value(calc::Axis axis, int index) const
{
    const bool ra = axis == calc::Axis::Ra;
    ValueToSend value;
    value.place = q(axis_name(axis) + " " + entry_name(index));
    value.kind = index < kRows ? calc::ValueKind::Row : calc::ValueKind::Rate;
    value.text = (ra ? Text8[index] : Text10[index])->text();
    value.decimal_text = (ra ? Text7[index] : Text9[index])->text();
    if (m_calculated_output && train_changed(axis)) {
        const calc::AxisOutput &out = ra ? m_calculated_output->ra : m_calculated_output->dec;
        const std::string &put =
            index < kRows ? out.hex_rows[index] : m_calculated_output->rates[index - kRows].hex;
        value.train_changed = value.text == q(put);
    }
    return value;
}

ValueToSend Form1::total_value(calc::Axis axis, const QString &hex_text) const
{
    ValueToSend value;
    value.place = q(axis_name(axis)) + QStringLiteral(" 総ステップ数");
    value.kind = calc::ValueKind::Total;
    value.text = hex_text;
    value.decimal_text = (axis == calc::Axis::Ra ? Text2 : Text5)->text();
    value.follows_clock = false;
    if (m_calculated_output && train_changed(axis)) {
        const calc::AxisOutput &out =
            axis == calc::Axis::Ra ? m_calculated_output->ra : m_calculated_output->dec;
        value.train_changed = value.decimal_text == q(out.total) && hex_text == q(out.total_hex);
    }
    return value;
}

bool Form1::train_changed(calc::Axis axis) const
{
    if (!m_calculated)
        return false;
    const bool ra = axis == calc::Axis::Ra;
    const auto &boxes = ra ? Text1 : Text4;
    const calc::DriveTrainTexts &used = ra ? m_calculated->ra : m_calculated->dec;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (boxes[i]->text().toStdString() != used[i])
            return true;
    }
    return false;
}

std::vector<ValueToSend> Form1::upload_values_from(calc::Axis axis, int index) const
{
    // In the upload's order: RA rows, DEC rows, RA total, DEC total.
    std::vector<ValueToSend> values;
    const bool rows = index != rwlink::UploadSource::kTotalIndex;
    if (rows && axis == calc::Axis::Ra) {
        for (int k = index; k < kRows; ++k)
            values.push_back(entry_value(calc::Axis::Ra, k));
    }
    if (rows) {
        for (int k = axis == calc::Axis::Dec ? index : 0; k < kRows; ++k)
            values.push_back(entry_value(calc::Axis::Dec, k));
    }
    if (rows || axis == calc::Axis::Ra)
        values.push_back(total_value(calc::Axis::Ra, Text11->text()));
    values.push_back(total_value(calc::Axis::Dec, Text12->text()));
    return values;
}

void Form1::write_speed_data()
{
    system_beep();
    const QString path = QDir(m_data_dir).filePath(files::kListingFileName);
    const files::WriteOutcome outcome = files::write_speed_data(path, base_clock, SpeedTable);
    if (!outcome.ok) {
        show_warning(QStringLiteral("listingFailure"), QStringLiteral("書き込めません"),
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
    show_port_status();
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
    if (m_runner->is_running())
        return;
    check_then(
        upload_values(),
        [this] {
            // Each action's bars count from nothing.
            ProgressBar1->setValue(0);
            ProgressBar2->setValue(0);
            ProgressBar1->show();
            ProgressBar2->show();
            m_status_line->hide();
            start_action(rwlink::upload_action(std::make_shared<BoxReader>(*this)),
                         QStringLiteral("送信"), true);
        },
        [this] { Command2_Click(); });
}

void Form1::send_rate(int box)
{
    m_pending_button =
        std::array{Command3, Command4, Command5}[static_cast<std::size_t>(box - kRows)];
    if (m_runner->is_running() || refuse_before_calculate())
        return;
    check_then(
        {entry_value(calc::Axis::Ra, box)},
        [this, box] {
            start_action(
                rwlink::rate_action([this, box] { return Text8[box]->text(); },
                                    [this, box] {
                                        const ValueToSend value = entry_value(calc::Axis::Ra, box);
                                        return gate(value, [value] { return std::vector{value}; });
                                    }),
                q(entry_name(box)), false);
        },
        [this, box] { send_rate(box); });
}

void Form1::send_total(calc::Axis axis)
{
    QLineEdit *decimal = axis == calc::Axis::Ra ? Text2 : Text5;
    QLineEdit *hex = axis == calc::Axis::Ra ? Text11 : Text12;
    m_pending_button = axis == calc::Axis::Ra ? Command6 : Command7;
    if (m_runner->is_running() || refuse_before_calculate())
        return;
    const auto digits = calc::hex6_from_text(decimal->text().toStdString());
    if (!digits) {
        show_warning(QStringLiteral("linkFailure"), QStringLiteral("送信できません"),
                     total_out_of_range_text(decimal->text()));
        return;
    }
    check_then(
        {total_value(axis, q(*digits))},
        [this, axis, decimal, hex] {
            auto action = rwlink::total_action(
                axis, decimal->text(), [hex](const QString &text) { hex->setText(text); },
                [this, axis](const QString &digits) {
                    const ValueToSend value = total_value(axis, digits);
                    return gate(value, [value] { return std::vector{value}; });
                });
            if (action)
                start_action(std::move(*action),
                             axis == calc::Axis::Ra ? Command6->text() : Command7->text(), false);
        },
        [this, axis] { send_total(axis); });
}

bool Form1::refuse_before_calculate()
{
    if (m_calculated && Text7[0]->text() != kBlank)
        return false;
    system_beep();
    show_status(
        QStringLiteral("まだ計算していないため送信しません。先に「計算」を押してください。"));
    return true;
}

void Form1::check_then(const std::vector<ValueToSend> &values, std::function<void()> go,
                       std::function<void()> again)
{
    m_confirmed.clear();
    const std::vector<SendIssue> issues = send_issues(values, calculated_clock());
    for (const SendIssue &issue : issues) {
        if (issue.problem != calc::SendProblem::BreaksFrame)
            continue;
        system_beep();
        show_status(QStringLiteral("送信しませんでした: %1 に送れない文字があります。")
                        .arg(issue.value.place));
        show_warning(QStringLiteral("sendRefused"), QStringLiteral("送信できません"),
                     refusal_text(issue));
        return;
    }
    if (issues.empty()) {
        go();
        return;
    }
    // Window-modal but not blocking, like the warnings; cancel is the default.
    auto *question =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("送信の確認"),
                        confirmation_text(issues), QMessageBox::Yes | QMessageBox::Cancel, this);
    question->setObjectName(QStringLiteral("sendConfirmation"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->button(QMessageBox::Yes)->setText(QStringLiteral("このまま送信"));
    question->button(QMessageBox::Cancel)->setText(QStringLiteral("やめる"));
    // Values made for another clock or drive train: calculating first is
    // usually what the operator meant.
    QPushButton *calculate_first = nullptr;
    const bool stale = std::any_of(issues.begin(), issues.end(), [](const SendIssue &issue) {
        return issue.problem == calc::SendProblem::Stale;
    });
    if (stale && m_calculated) {
        calculate_first =
            question->addButton(QStringLiteral("計算してから送信"), QMessageBox::ActionRole);
        calculate_first->setObjectName(QStringLiteral("calculateFirst"));
    }
    question->setDefaultButton(QMessageBox::Cancel);
    QSet<QString> keys;
    for (const SendIssue &issue : issues)
        keys.insert(confirmed_key(issue));
    connect(question, &QMessageBox::finished, this,
            [this, question, calculate_first, keys, go = std::move(go), again = std::move(again)] {
                if (m_runner->is_running())
                    return;
                if (question->clickedButton() == question->button(QMessageBox::Yes)) {
                    m_confirmed = keys;
                    go();
                } else if (calculate_first && question->clickedButton() == calculate_first) {
                    if (calculate())
                        again();
                } else {
                    show_status(QStringLiteral("送信をやめました。"));
                }
            });
    question->open();
}

rwlink::StepVerdict Form1::gate(const ValueToSend &value,
                                const std::function<std::vector<ValueToSend>()> &remaining)
{
    // Judged against the clock the action announced, not the option now: a
    // Calculate for another clock midway would not match it. An edited drive
    // train alone changes no value, and the values were checked at the start.
    CalculatedClock clock = calculated_clock();
    clock.selected = m_action_clock;
    const auto judge = [&clock](ValueToSend v) {
        v.train_changed = false;
        return check_send(v, clock);
    };
    const auto issue = judge(value);
    if (!issue || m_confirmed.contains(confirmed_key(*issue)))
        return rwlink::StepVerdict::Send;
    if (issue->problem == calc::SendProblem::BreaksFrame) {
        m_step_issues = {*issue};
        return rwlink::StepVerdict::Stop;
    }
    // One question for everything still to go that nobody confirmed; a
    // frame breaker among them stops the action when its turn comes.
    m_step_issues.clear();
    for (const ValueToSend &next : remaining()) {
        auto later = judge(next);
        if (later && later->problem != calc::SendProblem::BreaksFrame &&
            !m_confirmed.contains(confirmed_key(*later)))
            m_step_issues.push_back(std::move(*later));
    }
    return rwlink::StepVerdict::Hold;
}

void Form1::ask_held(int written)
{
    if (m_step_issues.empty()) {
        m_runner->cancel();
        return;
    }
    auto *question = new QMessageBox(QMessageBox::Warning, QStringLiteral("送信の一時停止"),
                                     paused_text(m_step_issues, written, m_action_planned),
                                     QMessageBox::NoButton, this);
    question->setObjectName(QStringLiteral("sendPaused"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *go_on =
        question->addButton(QStringLiteral("送って続ける"), QMessageBox::AcceptRole);
    go_on->setObjectName(QStringLiteral("sendHeldValues"));
    QPushButton *stop = question->addButton(QStringLiteral("送信を中止"), QMessageBox::RejectRole);
    stop->setObjectName(QStringLiteral("stopSending"));
    question->setDefaultButton(stop);
    question->setEscapeButton(stop);
    QSet<QString> keys;
    for (const SendIssue &issue : m_step_issues)
        keys.insert(confirmed_key(issue));
    connect(question, &QMessageBox::finished, this, [this, question, go_on, keys] {
        if (!m_runner->is_held())
            return;
        if (question->clickedButton() == go_on) {
            m_confirmed.unite(keys);
            m_runner->resume();
        } else {
            m_runner->cancel();
        }
    });
    question->open();
}

void Form1::show_result(const QString &text)
{
    show_status(text);
    // The port and device stand in the middle: cut there, keep the time.
    m_status_line->setText(
        m_status_line->fontMetrics().elidedText(text, Qt::ElideMiddle, m_status_line->width()));
    m_status_line->setToolTip(
        text + QStringLiteral("\n\nコントローラーは何も返さないため、わかるのはコマンドを"
                              "ポートへ書き込んだことまでです。届いたか、受け付けられた"
                              "かはわかりません。"));
}

void Form1::show_status(const QString &text)
{
    // One line, its end cut when too long; whole in the tooltip.
    m_status_line->setToolTip(text);
    m_status_line->setText(m_status_line->fontMetrics().elidedText(
        QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')), Qt::ElideRight,
        m_status_line->width()));
    if (!ProgressBar1->isVisible())
        m_status_line->show();
}

void Form1::start_action(rwlink::Action action, const QString &name, bool upload)
{
    refresh_ports(); // an adapter may have come or gone since
    m_action_button = upload ? Command2 : m_pending_button;
    m_step_issues.clear();
    m_action_clock = base_clock;
    m_action_planned = static_cast<int>(action.size());
    if (!m_runner->start(Combo1->currentText(), std::move(action))) {
        if (upload) {
            ProgressBar1->hide();
            ProgressBar2->hide();
            m_status_line->show();
        }
        return;
    }
    m_uploading = upload;
    m_action_name = name;
    m_action_time.start();
    const bool button_had_focus = m_action_button && focusWidget() == m_action_button;
    set_controller_buttons_enabled(false);
    // Disabling the button moved the focus on (into the port box, text
    // selected); it comes back at the end unless the operator moves it.
    m_focus_parked = button_had_focus ? focusWidget() : nullptr;
}

void Form1::action_finished(const rwlink::ActionResult &result)
{
    set_controller_buttons_enabled(true);
    if (m_action_button && m_focus_parked && focusWidget() == m_focus_parked)
        m_action_button->setFocus(Qt::OtherFocusReason);
    m_focus_parked = nullptr;
    if (m_uploading) {
        ProgressBar1->hide();
        ProgressBar2->hide();
        if (result.ok())
            system_beep();
    }
    const QString at = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    const QString seconds = QString::number(m_action_time.elapsed() / 1000.0, 'f', 1);
    const QString what =
        m_uploading ? QStringLiteral("送信") : m_action_name + QStringLiteral(" の送信");
    // The line is one way: where the frames were written is all there is
    // to know, so the line names the port and its device.
    QString where = result.port;
    if (!result.device.isEmpty())
        where += QStringLiteral(" (%1)").arg(QDir::toNativeSeparators(result.device));
    const QString count =
        QStringLiteral("%1 / %2 個").arg(result.commands_written).arg(result.commands_planned);
    switch (result.outcome) {
    case rwlink::ActionResult::Outcome::Done:
        show_result(QStringLiteral("%1完了: %2 個 → %3 %4 秒 %5")
                        .arg(what)
                        .arg(result.commands_written)
                        .arg(where, seconds, at));
        break;
    case rwlink::ActionResult::Outcome::Cancelled:
        show_result(
            QStringLiteral("%1を中止しました: %2 送信済み → %3 %4").arg(what, count, where, at));
        break;
    case rwlink::ActionResult::Outcome::Stopped:
        system_beep();
        show_result(QStringLiteral("%1を止めました (%2 に送れない文字): %3 送信済み → %4 %5")
                        .arg(what,
                             m_step_issues.empty() ? QString() : m_step_issues.front().value.place,
                             count, where, at));
        if (!m_step_issues.empty())
            show_warning(QStringLiteral("sendRefused"), QStringLiteral("送信を止めました"),
                         refusal_text(m_step_issues.front()) +
                             QStringLiteral("\n\n送信済みのコマンド: %1。コントローラーには途中"
                                            "までの値が残ります。")
                                 .arg(count));
        break;
    case rwlink::ActionResult::Outcome::Failed:
        show_result(QStringLiteral("送信できませんでした: %1 送信済み → %2 %3 (詳しくはメッセージ)")
                        .arg(count, where, at));
        // The port's state may have changed with the failure (an adapter pulled).
        refresh_ports();
        if (auto *dialog = findChild<PortDialog *>(QStringLiteral("portDialog")))
            dialog->refresh();
        report_link_failure(result);
        break;
    }
    m_uploading = false;
}

void Form1::set_controller_buttons_enabled(bool enabled)
{
    for (QPushButton *b : {Command2, Command3, Command4, Command5, Command6, Command7})
        b->setEnabled(enabled);
}

void Form1::report_link_failure(const rwlink::ActionResult &result)
{
    QString message = result.open_failure
                          ? open_failure_text(*result.open_failure, m_port_settings.map(), false)
                          : link_failure_text(result.failure);
    if (!result.failed_command.isEmpty()) {
        message += QStringLiteral("\n\n止まったコマンド: %1")
                       .arg(QString::fromLatin1(rwlink::frame(result.failed_command)));
    }
    message += QStringLiteral("\n送信済みのコマンド: %1 個").arg(result.commands_written);
    show_warning(QStringLiteral("linkFailure"), QStringLiteral("送信できません"), message);
}

void Form1::refresh_ports()
{
    m_port_settings.refresh();
    MSComm1->set_port_map(m_port_settings.map());
    update_port_view();
}

int Form1::port_in_use() const
{
    // A text that names no port leaves the last one in use, as the link does.
    return rwlink::port_number_for(Combo1->currentText()).value_or(MSComm1->port_number());
}

void Form1::update_port_view()
{
    set_port_items(Combo1, m_port_settings.map());
    const QString text = Combo1->currentText();
    const auto number = rwlink::port_number_for(text);
    const rwlink::PortMapping m = m_port_settings.mapping(port_in_use());
    QString tip = mapping_summary(m);
    if (!number)
        tip = QStringLiteral(
                  "「%1」はポート名 (Com1〜Com20) ではありません。送信には %2 を使います。")
                  .arg(text, tip);
    if (m.presence == rwlink::Presence::Missing)
        tip += QStringLiteral("\nこのデバイスは見つかりません。");
    tip += QStringLiteral("\nデバイスは「%1」(%2) で割り当てます。")
               .arg(kPortDialogTitle, kPortDialogWay);
    Combo1->setToolTip(tip);
    m_port_button->setToolTip(QStringLiteral("%1…\n%2").arg(kPortDialogTitle, mapping_summary(m)));
    const bool missing = m.presence == rwlink::Presence::Missing;
    if (Combo1->property("portMissing").toBool() != missing) {
        Combo1->setProperty("portMissing", missing);
        Combo1->setStyleSheet(missing ? QStringLiteral("QComboBox { border: 2px solid #e8702a; }")
                                      : QString());
    }
}

void Form1::show_port_status()
{
    QString text = port_status_text(m_port_settings.mapping(port_in_use()));
    if (!m_port_settings.read_error().isEmpty())
        text = QStringLiteral("注意: ポートの割り当てを読めません (%1: %2)。")
                   .arg(QDir::toNativeSeparators(m_port_settings.path()),
                        m_port_settings.read_error()) +
               text;
    show_status(text);
}

void Form1::open_port_dialog()
{
    if (auto *open = findChild<PortDialog *>(QStringLiteral("portDialog"))) {
        open->raise();
        return;
    }
    auto *dialog = new PortDialog(m_port_settings, port_in_use(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &PortDialog::assignments_changed, this, [this] {
        MSComm1->set_port_map(m_port_settings.map());
        update_port_view();
        show_port_status();
    });
    // What the dialog found is what the window shows when it closes.
    connect(dialog, &QDialog::finished, this, [this] {
        MSComm1->set_port_map(m_port_settings.map());
        update_port_view();
    });
    dialog->open();
}

void Form1::port_menu(QWidget *from, const QPoint &at)
{
    auto *edit = qobject_cast<QLineEdit *>(from);
    QMenu *menu = edit ? edit->createStandardContextMenu() : new QMenu(from);
    menu->setObjectName(QStringLiteral("portMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto *settings = new QAction(kPortDialogTitle + QStringLiteral("…"), menu);
    settings->setObjectName(QStringLiteral("portSettingsAction"));
    connect(settings, &QAction::triggered, this, &Form1::open_port_dialog);
    QAction *first = menu->actions().value(0);
    menu->insertAction(first, settings);
    if (first)
        menu->insertSeparator(first);
    menu->popup(from->mapToGlobal(at));
}

void Form1::drive_train_menu(QWidget *from, const QPoint &at)
{
    auto *edit = qobject_cast<QLineEdit *>(from);
    QMenu *menu = edit ? edit->createStandardContextMenu() : new QMenu(from);
    menu->setObjectName(QStringLiteral("mountMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    m_mounts->add_to_menu(menu);
    menu->popup(from->mapToGlobal(at));
}

void Form1::contextMenuEvent(QContextMenuEvent *event)
{
    // Above the rule under the drive trains: the labels and the space
    // around the boxes.
    if (event->pos().y() < Line1->y()) {
        drive_train_menu(this, event->pos());
        return;
    }
    QWidget::contextMenuEvent(event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Unsaved mount edits first: a cancel there keeps everything as it is.
    if (!m_mount_answered && m_mounts->modified()) {
        event->ignore();
        m_mounts->ask_then([this] {
            m_mount_answered = true;
            close();
        });
        return;
    }
    // Stopping halfway leaves the controller with part of a table and no
    // final "=SD": ask first.
    if (m_runner->is_running() && !m_close_confirmed) {
        event->ignore();
        if (findChild<QMessageBox *>(QStringLiteral("closeConfirmation")))
            return;
        auto *question = new QMessageBox(
            QMessageBox::Question, QStringLiteral("送信中"),
            QStringLiteral("コントローラーへ送信しています。中止しますか？\n\n中止すると、"
                           "コントローラーには途中までの値が残ります。"),
            QMessageBox::NoButton, this);
        question->setObjectName(QStringLiteral("closeConfirmation"));
        question->setAttribute(Qt::WA_DeleteOnClose);
        // Buttons of our own: the standard Yes and No carry the style's
        // icons, which here would paint stopping as the good choice.
        QPushButton *stop =
            question->addButton(QStringLiteral("中止して閉じる"), QMessageBox::DestructiveRole);
        stop->setObjectName(QStringLiteral("stopAndClose"));
        QPushButton *keep =
            question->addButton(QStringLiteral("送信を続ける"), QMessageBox::RejectRole);
        keep->setObjectName(QStringLiteral("keepSending"));
        question->setDefaultButton(keep);
        question->setEscapeButton(keep);
        connect(question, &QMessageBox::finished, this, [this, question, stop] {
            if (question->clickedButton() != stop) {
                m_mount_answered = false; // later edits are asked about again
                return;
            }
            m_close_confirmed = true;
            close();
        });
        question->open();
        return;
    }
    // What was already written drains before the port closes.
    m_runner->cancel();
    QWidget::closeEvent(event);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
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
    // QComboBox also reports typed text that matches an entry as activated,
    // when Return is pressed or the box loses focus. Neither is a pick.
    if (watched == Combo1 || watched == Combo1->lineEdit()) {
        bool commits_typing = event->type() == QEvent::FocusOut;
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            commits_typing = key == Qt::Key_Return || key == Qt::Key_Enter;
        }
        if (commits_typing) {
            m_combo_typing = true;
            // The activation, if any, comes synchronously while this event is handled.
            QTimer::singleShot(0, this, [this] { m_combo_typing = false; });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::load_param()
{
    const auto port = files::read_param(QDir(m_data_dir).filePath(files::kSettingsFileName));
    if (!port)
        return;
    const int index = Combo1->findText(*port);
    if (index >= 0)
        Combo1->setCurrentIndex(index);
    else
        Combo1->setEditText(*port);
}

void Form1::show_warning(const QString &object_name, const QString &title, const QString &message)
{
    // Window-modal but not blocking: the event loop, and so the rest of the
    // tool, keeps running while the message is shown.
    auto *box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::Ok, this);
    box->setObjectName(object_name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace app
