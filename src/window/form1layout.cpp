// Form1's controls, made and placed where the window has always had them
// (positions in twips), and the order Tab takes through them. Apart from
// form1.cpp, which holds what the window does.

#include "form1.h"

#include "controls.h"
#include "fonts.h"
#include "geometry.h"
#include "listing.h"
#include "names.h"
#include "portcontrols.h"
#include "portview.h"
#include "statusline.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace app {

namespace {

// The two tables: five column groups of ten rows.
constexpr int kGroupWidth = 1920;
constexpr int kRowPitch = 360;
constexpr int kRowsPerGroup = 10;
constexpr int kRaRowTop = 2400;
constexpr int kDecRowTop = 6360;
constexpr int kRowLabelDrop = 120; // a row label stands 120 twips below its boxes

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

} // namespace

void Form1::build_drive_train_block()
{
    const QString kHeadings[7] = {core_text(part_name(calc::kWorm)),
                                  core_text(part_name(calc::kIntermediateGear)),
                                  core_text(part_name(calc::kMotor)),
                                  core_text(part_name(calc::kReductionGear)),
                                  core_text(part_name(calc::kMicrostep)),
                                  QStringLiteral("総ステップ数"),
                                  QStringLiteral("基準周波数")};
    static constexpr int kHeadingLeft[7] = {840, 1800, 2760, 3600, 4560, 5640, 6960};
    for (int i = 0; i < 7; ++i) {
        Label5[i] = make<QLabel>(this, indexed("Label5", i));
        Label5[i]->setFont(caption_font());
        Label5[i]->setText(kHeadings[i]);
        place_auto(Label5[i], kHeadingLeft[i], i == 4 ? 45 : 50);
    }
    Label1[0] = auto_label(this, indexed("Label1", 0), 360, 360, QStringLiteral("赤経"));
    Label1[1] = auto_label(this, indexed("Label1", 1), 360, 840, QStringLiteral("赤緯"));

    static constexpr int kInputLeft[5] = {840, 1800, 2760, 3720, 4680};
    for (int i = 0; i < 5; ++i) {
        Text1[i] = text_box(this, indexed("Text1", i), kInputLeft[i], 240, 615, 375,
                            core_text(calc::kDefaultRa[i]));
        Text4[i] = text_box(this, indexed("Text4", i), kInputLeft[i], 720, 615, 375,
                            core_text(calc::kDefaultDec[i]));
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
        QStringLiteral("計算して、結果を %1 に書き込みます (F5)")
            .arg(QDir::toNativeSeparators(QDir(m_data_dir).filePath(files::kListingFileName))));
    Line1 = rule(this, QStringLiteral("Line1"), 120, 1200, 8520);
}

void Form1::build_command_band()
{
    Command2 =
        button(this, QStringLiteral("Command2"), 8760, 1200, 735, 375, QStringLiteral("送信"));
    Command3 =
        button(this, QStringLiteral("Command3"), 120, 1320, 615, 300, core_text(rate_name(0)));
    Command4 =
        button(this, QStringLiteral("Command4"), 2520, 1320, 615, 300, core_text(rate_name(1)));
    Command5 =
        button(this, QStringLiteral("Command5"), 5040, 1320, 855, 300, core_text(rate_name(2)));
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    Command2->setToolTip(QStringLiteral("計算した表をコントローラーへ送信します (Ctrl+Return)"));
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

    build_port_box();

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

    Label6 = make<QLabel>(this, QStringLiteral("Label6"));
    Label6->setFont(caption_font());
    Label6->setText(QStringLiteral("基本クロック"));
    place(Label6, 6720, 1680, 975, 255);

    Picture1 = make<QFrame>(this, QStringLiteral("Picture1"));
    place(Picture1, 7680, 1680, 2055, 375);
    m_option1_group = new QButtonGroup(this);
    m_option1_group->setExclusive(true);
    Option1[0] = make<QRadioButton>(Picture1, indexed("Option1", 0));
    Option1[0]->setText(core_text(clock_caption(calc::kClock2MHz)));
    place(Option1[0], 0, 120, 855, 255);
    Option1[1] = make<QRadioButton>(Picture1, indexed("Option1", 1));
    Option1[1]->setText(core_text(clock_caption(calc::kClock250kHz)));
    place(Option1[1], 960, 120, 1095, 255);
    for (int i = 0; i < 2; ++i) {
        m_option1_group->addButton(Option1[i], i);
        connect(Option1[i], &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
    }
    Option1[0]->setChecked(true); // the window opens with 2 MHz selected
}

// Combo1 and, in the one free spot near it right of "送信", the button of
// 「ポート設定」; the port controls wire them.
void Form1::build_port_box()
{
    Combo1 = make<PortCombo>(this, QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert); // the list is fixed
    for (int n = 1; n <= calc::kPortCount; ++n)
        Combo1->addItem(rwlink::port_name(n));
    Combo1->setCurrentIndex(0);
    place(Combo1, 7680, 1320, 975, 315);
    // Reached by Tab right after the port box; a click leaves the focus
    // where it was.
    m_port_button = make<QToolButton>(this, QStringLiteral("portSettingsButton"));
    m_port_button->setText(QStringLiteral("…"));
    m_port_button->setFocusPolicy(Qt::TabFocus);
    // Clear of the window's edge, with a pixel to spare at any scale.
    place(m_port_button, 9510, 1320, 195, 315);
}

void Form1::build_tables()
{
    ProgressBar1 = progress_bar(this, QStringLiteral("ProgressBar1"), 2100);
    // Where the RA bar stands during an upload: what the last action did.
    m_status_line = new StatusLine(ProgressBar1, this);
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
    order.insert(order.end(), {Command2, Combo1, m_port_button, Command3, Command4, Command5,
                               Text11, Text12, Command6, Command7, Option1[0], Option1[1]});
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

} // namespace app
