#include "advisordialog.h"

#include "advicetext.h"
#include "names.h"
#include "numbertext.h"
#include "screenfit.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace app {

namespace {

QString ppm_text(const std::optional<double> &ppm)
{
    return ppm ? QString::number(*ppm, 'f', 2) : QStringLiteral("—");
}

int typed_microstep(const calc::DriveTrainTexts &texts)
{
    const double factor = calc::lenient_parse(texts[calc::kMicrostep]);
    return std::isfinite(factor) && std::fabs(factor) < 1e9 ? static_cast<int>(std::lround(factor))
                                                            : 0;
}

const calc::DriveTrainTexts &train(const AdvisorSetting &s, calc::Axis axis)
{
    return axis == calc::Axis::Ra ? s.ra : s.dec;
}

constexpr int kStandingColumn = 3;
constexpr std::size_t kAdvisedCount = calc::kAdvisedClocks.size() * calc::kAdvisedMicrosteps.size();
// ″/h: far past any drift worth tracking with.
constexpr double kMaxTolerance = 100;

// An exact row sits at the floor of the log scale.
constexpr double kFloorPpm = 0.01;

void fill(QLineSeries *series, const calc::Candidate &c)
{
    QList<QPointF> points;
    for (int i = 0; i < calc::kTableRows; ++i) {
        // A cut row has no error to draw; the line skips it. The size of
        // the error on a log scale: the tracking rows (tens of ppm) and the
        // fast ones (thousands) are both readable; the tables give the sign.
        if (const auto &ppm = c.row_ppm[static_cast<std::size_t>(i)])
            points.append(QPointF(i + 1, std::max(std::fabs(*ppm), kFloorPpm)));
    }
    series->replace(points);
}

} // namespace

AdvisorDialog::AdvisorDialog(const AdvisorSetting &current, QWidget *parent)
    : QDialog(parent), m_current(current),
      m_advice(calc::advise(current.ra, current.dec, current.base_clock))
{
    setObjectName(QStringLiteral("advisorDialog"));
    setWindowTitle(QStringLiteral("精度"));

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("advisorSummary"));
    m_summary->setWordWrap(true);
    QFont bold = m_summary->font();
    bold.setBold(true);
    m_summary->setFont(bold);
    auto *note = new QLabel(core_text(driver_switch_note()), this);
    note->setObjectName(QStringLiteral("advisorDriverNote"));
    note->setWordWrap(true);

    auto *tables = new QHBoxLayout;
    for (const calc::Axis axis : {calc::Axis::Ra, calc::Axis::Dec}) {
        auto *column = new QVBoxLayout;
        column->addWidget(new QLabel(core_text(axis_name(axis)), this));
        column->addWidget(ranking_table(axis));
        tables->addLayout(column, axis == calc::Axis::Ra ? 3 : 2);
    }
    // After the tables, so the dialog opens with the focus on a table and
    // Return takes 閉じる.
    auto *tolerance_row = tolerance_controls();
    auto *cut_note = new QLabel(core_text(cut_explanation()), this);
    cut_note->setObjectName(QStringLiteral("advisorCutNote"));
    cut_note->setWordWrap(true);

    make_chart();

    m_chart_axis = new QComboBox(this);
    m_chart_axis->setObjectName(QStringLiteral("advisorChartAxis"));
    m_chart_axis->addItem(core_text(axis_name(calc::Axis::Ra)));
    m_chart_axis->addItem(core_text(axis_name(calc::Axis::Dec)));
    connect(m_chart_axis, &QComboBox::currentIndexChanged, this,
            [this](int index) { show_chart_axis(index == 0 ? calc::Axis::Ra : calc::Axis::Dec); });
    auto *chart_head = new QHBoxLayout;
    chart_head->addWidget(new QLabel(QStringLiteral("行ごとの誤差:"), this));
    chart_head->addWidget(m_chart_axis);
    chart_head->addStretch();

    // 閉じる is the default: Return must not change the window's boxes.
    auto *buttons = new QDialogButtonBox(this);
    m_apply = buttons->addButton(QStringLiteral("適用"), QDialogButtonBox::ApplyRole);
    m_apply->setObjectName(QStringLiteral("advisorApply"));
    m_apply->setAutoDefault(false);
    auto *close_button = buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
    close_button->setObjectName(QStringLiteral("advisorClose"));
    close_button->setDefault(true);
    connect(m_apply, &QPushButton::clicked, this, [this] {
        emit apply(m_advice.base_clock, m_advice.ra_microstep, m_advice.dec_microstep);
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_summary);
    layout->addLayout(tolerance_row);
    layout->addLayout(tables, 1);
    layout->addWidget(cut_note);
    layout->addLayout(chart_head);
    layout->addWidget(m_chart_view, 1);
    layout->addWidget(note);
    scroll_page(page, buttons);

    show_advice();
    follow_palette();
    fit_to(available_geometry(parent ? parent : this));
}

// On a small screen the tables and the chart scroll; the buttons stay.
void AdvisorDialog::scroll_page(QWidget *page, QWidget *buttons)
{
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("advisorScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(page);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(scroll, 1);
    outer->addWidget(buttons);
}

void AdvisorDialog::fit_to(const QRect &available)
{
    resize(fitted_size(QSize(960, 780), available));
}

// The error of every row on a log scale, for the setting in use and the
// recommended one.
void AdvisorDialog::make_chart()
{
    m_chart = new QChart;
    m_chart->setObjectName(QStringLiteral("advisorChart"));
    m_current_series = new QLineSeries(m_chart);
    m_current_series->setObjectName(QStringLiteral("advisorCurrentSeries"));
    m_recommended_series = new QLineSeries(m_chart);
    m_recommended_series->setObjectName(QStringLiteral("advisorRecommendedSeries"));
    m_chart->addSeries(m_current_series);
    m_chart->addSeries(m_recommended_series);
    m_rows_axis = new QValueAxis(m_chart);
    m_rows_axis->setTitleText(QStringLiteral("テーブルの行"));
    m_rows_axis->setRange(1, calc::kTableRows);
    m_rows_axis->setLabelFormat(QStringLiteral("%d"));
    m_rows_axis->setTickCount(8);
    m_ppm_axis = new QLogValueAxis(m_chart);
    m_ppm_axis->setBase(10);
    m_ppm_axis->setLabelFormat(QStringLiteral("%g"));
    m_ppm_axis->setTitleText(QStringLiteral("誤差の大きさ (ppm、対数)"));
    m_chart->addAxis(m_rows_axis, Qt::AlignBottom);
    m_chart->addAxis(m_ppm_axis, Qt::AlignLeft);
    for (QLineSeries *series : {m_current_series, m_recommended_series}) {
        series->attachAxis(m_rows_axis);
        series->attachAxis(m_ppm_axis);
    }
    m_chart_view = new QChartView(m_chart, this);
    m_chart_view->setObjectName(QStringLiteral("advisorChartView"));
    m_chart_view->setRenderHint(QPainter::Antialiasing);
    m_chart_view->setMinimumHeight(240);
}

QHBoxLayout *AdvisorDialog::tolerance_controls()
{
    m_tolerance = new QDoubleSpinBox(this);
    m_tolerance->setObjectName(QStringLiteral("advisorTolerance"));
    m_tolerance->setRange(0, kMaxTolerance);
    m_tolerance->setDecimals(2);
    m_tolerance->setSingleStep(0.1);
    m_tolerance->setSuffix(QStringLiteral("″/時"));
    m_tolerance->setValue(m_advice.tolerance);
    // Typing 1.5 must not rank for 1 and then 1.5 on the way.
    m_tolerance->setKeyboardTracking(false);
    auto *label = new QLabel(QStringLiteral("許容差(&T):"), this);
    label->setBuddy(m_tolerance);
    m_rule = new QLabel(this);
    m_rule->setObjectName(QStringLiteral("advisorRule"));
    m_rule->setWordWrap(true);
    connect(m_tolerance, &QDoubleSpinBox::valueChanged, this, [this](double tolerance) {
        m_advice = calc::advise(m_current.ra, m_current.dec, m_current.base_clock, tolerance);
        show_advice();
    });
    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_tolerance);
    row->addWidget(m_rule, 1);
    return row;
}

QTableWidget *AdvisorDialog::ranking_table(calc::Axis axis)
{
    const bool ra = axis == calc::Axis::Ra;
    QStringList headings = {QStringLiteral("順位"),           QStringLiteral("クロック"),
                            QStringLiteral("ﾏｲｸﾛｽﾃｯﾌﾟ"),      QStringLiteral("区分"),
                            QStringLiteral("恒星時 ppm"),     QStringLiteral("″/時"),
                            QStringLiteral("2倍まで最大 ppm")};
    if (ra) {
        for (int k = 0; k < calc::kRateCount; ++k)
            headings << core_text(rate_name(k)) + QStringLiteral(" ppm");
    }
    const auto rows = static_cast<int>(kAdvisedCount);
    auto *table = new QTableWidget(rows, headings.size(), this);
    table->setObjectName(ra ? QStringLiteral("advisorRaTable") : QStringLiteral("advisorDecTable"));
    table->setHorizontalHeaderLabels(headings);
    table->horizontalHeaderItem(kStandingColumn)->setToolTip(core_text(cut_explanation()));
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tables[ra ? 0 : 1] = table;
    return table;
}

void AdvisorDialog::fill_table(calc::Axis axis)
{
    const bool ra = axis == calc::Axis::Ra;
    QTableWidget *table = m_tables[ra ? 0 : 1];
    const std::vector<calc::Candidate> &ranked = ra ? m_advice.ra : m_advice.dec;
    const int current_microstep = typed_microstep(train(m_current, axis));
    table->clearSelection();
    for (int r = 0; r < table->rowCount(); ++r) {
        const calc::Candidate &c = ranked[static_cast<std::size_t>(r)];
        QStringList cells = {QString::number(r + 1),       core_text(clock_caption(c.base_clock)),
                             QString::number(c.microstep), core_text(standing_name(c.standing)),
                             ppm_text(c.sidereal_ppm),     ppm_text(c.sidereal_drift),
                             ppm_text(c.worst_ppm_to_2x)};
        for (int k = 0; ra && k < calc::kRateCount; ++k)
            cells << ppm_text(c.rate_ppm[static_cast<std::size_t>(k)]);
        const bool in_use =
            c.base_clock == m_current.base_clock && c.microstep == current_microstep;
        for (int col = 0; col < cells.size(); ++col) {
            auto *item = new QTableWidgetItem(cells[col]);
            item->setTextAlignment(col == 1 || col == kStandingColumn
                                       ? Qt::AlignCenter
                                       : Qt::AlignRight | Qt::AlignVCenter);
            QFont font = item->font();
            font.setBold(in_use);
            item->setFont(font);
            if (col == kStandingColumn)
                item->setToolTip(
                    c.cut ? core_text(cut_explanation())
                          : core_text(standing_heading(c.standing, m_advice, c.base_clock)));
            table->setItem(r, col, item);
        }
        // The setting in use is the selected row: the style draws it in the
        // palette's highlight, night or day.
        if (in_use)
            table->selectRow(r);
    }
    table->resizeColumnsToContents();
}

// The ranking for the tolerance set: the summary, both tables, the chart,
// and 適用 only when it would change something that can run.
void AdvisorDialog::show_advice()
{
    m_summary->setText(core_text(advice_summary(m_advice)));
    m_rule->setText(core_text(tolerance_rule(m_advice.tolerance)));
    fill_table(calc::Axis::Ra);
    fill_table(calc::Axis::Dec);
    show_chart_axis(m_chart_axis->currentIndex() == 0 ? calc::Axis::Ra : calc::Axis::Dec);
    m_apply->setEnabled(!m_advice.keeps_current && !m_advice.ra.front().cut);
    m_apply->setToolTip(m_advice.keeps_current
                            ? QStringLiteral("今の設定が推奨どおりです。変えるものはありません。")
                            : QString());
}

void AdvisorDialog::show_chart_axis(calc::Axis axis)
{
    const calc::Candidate now = calc::evaluate(axis, train(m_current, axis), m_current.base_clock);
    const std::vector<calc::Candidate> &ranked =
        axis == calc::Axis::Ra ? m_advice.ra : m_advice.dec;
    const int advised = axis == calc::Axis::Ra ? m_advice.ra_microstep : m_advice.dec_microstep;
    const auto best = std::ranges::find_if(ranked, [&](const calc::Candidate &c) {
        return c.base_clock == m_advice.base_clock && c.microstep == advised;
    });
    fill(m_current_series, now);
    fill(m_recommended_series, *best);
    m_current_series->setName(QStringLiteral("今の設定 (%1, %2)")
                                  .arg(core_text(clock_caption(now.base_clock)))
                                  .arg(now.microstep));
    m_recommended_series->setName(QStringLiteral("推奨 (%1, %2)")
                                      .arg(core_text(clock_caption(best->base_clock)))
                                      .arg(best->microstep));

    // Whole decades around every point.
    double low = 1.0;
    double high = 1.0;
    for (const QLineSeries *series : {m_current_series, m_recommended_series}) {
        for (const QPointF &p : series->points()) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
    }
    m_ppm_axis->setRange(std::pow(10.0, std::floor(std::log10(low))),
                         std::pow(10.0, std::ceil(std::log10(high))));
    m_chart->setTitle(QStringLiteral("%1: 行ごとの誤差").arg(core_text(axis_name(axis))));
}

// A chart keeps the colours it was given; the window's palette (day or
// night) is read again whenever it changes.
void AdvisorDialog::follow_palette()
{
    const QPalette p = palette();
    m_chart->setBackgroundBrush(p.brush(QPalette::Base));
    m_chart->setBackgroundPen(QPen(p.color(QPalette::Mid)));
    m_chart->setTitleBrush(p.brush(QPalette::Text));
    m_chart->legend()->setLabelBrush(p.brush(QPalette::Text));
    for (QAbstractAxis *axis : std::initializer_list<QAbstractAxis *>{m_rows_axis, m_ppm_axis}) {
        axis->setLabelsBrush(p.brush(QPalette::Text));
        axis->setTitleBrush(p.brush(QPalette::Text));
        axis->setLinePen(QPen(p.color(QPalette::Text)));
        axis->setGridLinePen(QPen(p.color(QPalette::Mid), 1, Qt::DotLine));
    }
    // Told apart by the line as well as the colour: a red night palette has
    // few hues to spare.
    m_current_series->setPen(QPen(p.color(QPalette::Text), 1.5, Qt::DashLine));
    m_recommended_series->setPen(QPen(p.color(QPalette::Highlight), 2.5));
    m_chart_view->setBackgroundBrush(p.brush(QPalette::Window));
}

// Return in the tolerance field ranks for the value typed there; the
// field lets the key go on, and it must not also close the dialog.
void AdvisorDialog::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && m_tolerance->hasFocus()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AdvisorDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange && m_chart)
        follow_palette();
    QDialog::changeEvent(event);
}

} // namespace app
