#include "actionrunner.h"

#include "clock.h"
#include "seriallink.h"

#include <algorithm>

namespace rwlink {

namespace {

// The runner looks at the counter at least this often, however far the
// next command is: a counter that jumps is followed within a second.
constexpr std::int64_t kLongestLook = 1000;

constexpr double kGapMs = std::chrono::duration<double, std::milli>(kCommandGap).count();

} // namespace

ActionRunner::ActionRunner(SerialLink &link, Clock &clock, QObject *parent)
    : QObject(parent), m_link(link), m_clock(clock)
{
    qRegisterMetaType<ActionResult>();
    connect(&m_alarm, &Alarm::rang, this, &ActionRunner::on_alarm);
    connect(&m_link, &SerialLink::lost, this, &ActionRunner::on_link_lost);
}

ActionRunner::~ActionRunner()
{
    // Nobody is left to hear how it ended; only the port matters now.
    const QSignalBlocker quiet(this);
    cancel();
}

bool ActionRunner::start(const QString &port_text, Action action)
{
    if (is_running() || action.empty())
        return false;
    ++m_run;
    m_port_text = port_text;
    m_action = std::move(action);
    m_next = 0;
    m_last_body.clear();
    m_result = {};
    m_result.port = port_text;
    m_result.commands_planned = static_cast<int>(m_action.size());
    m_phase = Phase::Opening;
    m_alarm.start(std::chrono::steady_clock::now());
    return true;
}

void ActionRunner::cancel()
{
    if (is_running())
        finish(ActionResult::Outcome::Cancelled);
}

void ActionRunner::resume()
{
    if (m_phase != Phase::Held)
        return;
    if (m_next == 0) {
        send_next(); // nothing sent yet: no pause to keep
        return;
    }
    m_phase = Phase::Pausing;
    pause_for(m_pause.ticks_to_go(m_clock.tick()));
}

void ActionRunner::on_alarm()
{
    switch (m_phase) {
    case Phase::Idle:
    case Phase::Sending:
    case Phase::Held:
        return;
    case Phase::Opening:
        open();
        return;
    case Phase::Pausing:
        pause_for(m_pause.ticks_to_go(m_clock.tick()));
        return;
    }
}

void ActionRunner::open()
{
    if (m_link.is_draining()) {
        // The last action's final bytes go out first.
        connect(
            &m_link, &SerialLink::closed, this,
            [this, run = m_run] {
                if (run == m_run && m_phase == Phase::Opening)
                    open();
            },
            Qt::SingleShotConnection);
        return;
    }
    if (!m_link.open_port(m_port_text)) {
        m_result.failure = m_link.failure();
        m_result.open_failure = m_link.open_failure();
        finish(ActionResult::Outcome::Failed);
        return;
    }
    m_result.device = m_link.device();
    send_next();
}

void ActionRunner::send_next()
{
    m_phase = Phase::Sending;
    // A copy: whoever is told of the progress may end the action, and with
    // it the list of commands.
    const ActionStep step = m_action[m_next];
    switch (step.check()) {
    case StepVerdict::Send:
        break;
    case StepVerdict::Stop:
        finish(ActionResult::Outcome::Stopped);
        return;
    case StepVerdict::Hold:
        m_phase = Phase::Held;
        emit held(m_result.commands_written);
        return;
    }
    ++m_next;
    const QString body = step.body();
    m_last_body = body;
    const bool writing = m_link.is_open();
    if (!m_link.send_command(body)) {
        fail();
        return;
    }
    if (writing) {
        ++m_result.commands_written;
        m_result.written.append(body);
    }

    const std::uint64_t run = m_run;
    step.sent();
    emit progress(m_result.commands_written);
    if (run != m_run || !is_running())
        return; // ended by whoever was told
    if (m_next == m_action.size()) {
        finish(ActionResult::Outcome::Done);
        return;
    }
    m_phase = Phase::Pausing;
    const std::int32_t start = m_clock.tick();
    m_pause = Pause(start, kGapMs);
    pause_for(m_pause.ticks_to_go(start));
}

void ActionRunner::pause_for(std::int64_t ticks)
{
    if (ticks == 0) {
        send_next();
        return;
    }
    const std::uint64_t run = m_run;
    const Clock::TimePoint due = m_clock.due_time(std::min(ticks, kLongestLook));
    if (run == m_run && m_phase == Phase::Pausing)
        m_alarm.start(due);
}

void ActionRunner::on_link_lost()
{
    // A write that fails reports itself through send_command; this is a
    // port lost between commands.
    if (m_phase == Phase::Pausing || m_phase == Phase::Held)
        fail();
}

void ActionRunner::fail()
{
    m_result.failed_command = m_last_body;
    m_result.failure = m_link.failure();
    finish(ActionResult::Outcome::Failed);
}

void ActionRunner::finish(ActionResult::Outcome outcome)
{
    m_alarm.stop();
    m_phase = Phase::Idle;
    ++m_run;
    m_action.clear();
    m_link.close_port();
    m_result.outcome = outcome;
    const ActionResult result = m_result;
    if (outcome == ActionResult::Outcome::Stopped)
        emit stopped(result);
    emit finished(result);
}

} // namespace rwlink
