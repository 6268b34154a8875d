#pragma once

// 「精度」: which base clock and microstep factor track best for the drive
// trains in the window. The ranking comes from calc::advise; the dialog
// shows it for both axes with the window's setting highlighted, ranks again
// when the tolerance is changed, charts the error of every row for that
// setting and the recommended one, and hands 「適用」 back to the window,
// which sets its boxes and calculates. When the recommendation is the
// setting in use it says so, and there is nothing to apply.

#include "advisor.h"

#include <QDialog>

#include <array>
#include <cstdint>

class QComboBox;
class QDoubleSpinBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableWidget;

class QChart;
class QChartView;
class QLineSeries;
class QLogValueAxis;
class QValueAxis;

namespace app {

// The setting the window shows now.
struct AdvisorSetting {
    calc::DriveTrainTexts ra = calc::kDefaultRa;
    calc::DriveTrainTexts dec = calc::kDefaultDec;
    std::int32_t base_clock = calc::kClock2MHz;
};

class AdvisorDialog : public QDialog {
    Q_OBJECT

public:
    explicit AdvisorDialog(const AdvisorSetting &current, QWidget *parent = nullptr);

    const calc::Advice &advice() const { return m_advice; }

    // Sized for the free area of the screen it opens on (available; the
    // parent's screen unless a test stands in another).
    void fit_to(const QRect &available);

signals:
    // 「適用」: the clock and the two microstep factors the window should take.
    void apply(std::int32_t base_clock, int ra_microstep, int dec_microstep);

protected:
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void make_chart();
    void scroll_page(QWidget *page, QWidget *buttons);
    QHBoxLayout *tolerance_controls();
    QTableWidget *ranking_table(calc::Axis axis);
    void fill_table(calc::Axis axis);
    void show_advice();
    void show_chart_axis(calc::Axis axis);
    void follow_palette();

    AdvisorSetting m_current;
    calc::Advice m_advice;
    QLabel *m_summary = nullptr;
    QLabel *m_rule = nullptr;
    QDoubleSpinBox *m_tolerance = nullptr;
    std::array<QTableWidget *, 2> m_tables{}; // RA, DEC
    QPushButton *m_apply = nullptr;
    QComboBox *m_chart_axis = nullptr;
    QChart *m_chart = nullptr;
    QChartView *m_chart_view = nullptr;
    QLineSeries *m_current_series = nullptr;
    QLineSeries *m_recommended_series = nullptr;
    QValueAxis *m_rows_axis = nullptr;
    QLogValueAxis *m_ppm_axis = nullptr;
};

} // namespace app
