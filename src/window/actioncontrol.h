#pragma once

// The controller actions as the window runs them: one at a time, checked
// before they go (a value that would break its frame is refused, the other
// problems asked about), checked again as each command is built, held for
// a question when a value changed for the worse on the way, and their end
// said on the status line (and in a message when the port failed).

#include "actionrunner.h"
#include "actions.h"
#include "calculate.h"
#include "recordedrun.h"
#include "sendcheckview.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QProgressBar;
class QPushButton;
class QWidget;

namespace rwlink {
class Clock;
} // namespace rwlink

namespace app {

class PortControls;
class StatusLine;

// What an action touches on the window besides its values.
struct ActionWindow {
    QWidget *window = nullptr;              // parent of the questions
    std::array<QPushButton *, 6> buttons{}; // Command2…Command7, the upload first
    std::array<QProgressBar *, 2> bars{};   // RA, DEC rows of an upload
    StatusLine *status = nullptr;
    PortControls *ports = nullptr;          // the link, and the port picked
    std::function<CalculatedClock()> clock; // the last Calculate's clock and the option now
    std::function<bool()> calculate;        // a Calculate chosen in a question; false if it failed
    // What the last Calculate was given: the drive trains and clock the
    // values come from; nothing before the first.
    std::function<std::optional<calc::CalcInput>()> computed_from = [] {
        return std::optional<calc::CalcInput>();
    };
    // The mount file open and its name, for the send record; empty: none.
    std::function<std::pair<QString, QString>()> mount = [] {
        return std::pair<QString, QString>();
    };
};

class ActionControl : public QObject {
    Q_OBJECT

public:
    // The actions pace on clock when given (tests; it must outlive this),
    // otherwise on the system's millisecond counter.
    ActionControl(ActionWindow window, rwlink::Clock *clock, QObject *parent);
    ~ActionControl() override;

    bool is_running() const { return m_runner.is_running(); }

    // Runs go unless a value would break its frame (refused) or the
    // operator, asked about the other problems, declines; again repeats the
    // whole request after a Calculate the operator chose in the question.
    // bodies: the commands the action would send now; how many of their
    // values differ from what the device holds by the send record is said
    // in the question, or on the result line when nothing is asked.
    void check_then(const std::vector<ValueToSend> &values, const QStringList &bodies,
                    std::function<void()> go, std::function<void()> again);
    // button: the one that asked (its focus comes back at the end); an
    // upload shows the progress bars instead of the status line.
    void start(rwlink::Action action, const QString &name, QPushButton *button, bool upload);
    // Each value is checked again when its command is built: a frame breaker
    // stops the action, a problem the operator did not confirm at the start
    // holds it until they answer.
    // remaining: the values the action will still send, this one first.
    rwlink::StepVerdict gate(const ValueToSend &value,
                             const std::function<std::vector<ValueToSend>()> &remaining);

    // On closing the window: true while it must stay open, an action
    // running that the operator has not chosen to stop; they are asked,
    // and answered(true) means stop and close. Otherwise what was already
    // written drains before the port closes.
    bool keeps_window_open(const std::function<void(bool stop)> &answered);

    // A recalculation the operator did not start with "計算" (「適用」 in
    // 「精度」): during an action it would change the values still to go
    // under it, leaving the controller with two calculations mixed, so it
    // asks first; go runs at once when no action runs.
    void ask_before_recalculating(std::function<void()> go);

    // A signal to end the program: a running action stops as 中止 stops it,
    // its record naming the signal; once it is recorded and the port has
    // drained and closed, then() runs (at once when none runs).
    void stop_for_signal(int signal_number, std::function<void()> then);

private:
    // True, with the fix said, when this user may not open the port's device.
    bool refused_by_device();
    void ask_held(int written);
    void finished(const recorded::RunEnd &end);
    // The questions that were about the action that ended go with it.
    void close_questions();
    void report_link_failure(const rwlink::ActionResult &result);
    // A note for the result line: the difference said before, and the
    // record when it could not be written.
    QString record_note(const recorded::RunEnd &end);
    void show_bars(bool shown);
    void set_buttons_enabled(bool enabled);

    ActionWindow m_window;
    std::unique_ptr<rwlink::Clock> m_own_clock;
    rwlink::ActionRunner m_runner;        // after the clock it paces on
    recorded::RecordedRun m_run;          // the runner's actions, with their record
    std::function<void()> m_after_signal; // the program's end, after a signal's stop
    bool m_uploading = false;             // the running action is the upload
    QString m_action_name;                // for the status line: "送信", "太陽時" …
    QElapsedTimer m_action_time;
    QPushButton *m_action_button = nullptr; // started the running action
    QWidget *m_focus_parked = nullptr;      // where the focus went when that was disabled
    bool m_close_confirmed = false;         // the operator chose to stop the action and close
    QSet<QString> m_confirmed;              // confirmed_key of what the operator let go
    std::vector<SendIssue> m_step_issues;   // what held or stopped the running action
    int m_action_planned = 0;               // commands of the running action
    std::int32_t m_action_clock = 0;        // the clock when it started (the upload sends it)
    QString m_difference;                   // how the values differ from what the device holds
};

} // namespace app
