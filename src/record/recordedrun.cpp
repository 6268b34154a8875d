#include "recordedrun.h"

#include "frame.h"

#include <QUuid>

namespace recorded {

files::StopReason stop_reason(const rwlink::ActionResult &result, int signal_number)
{
    using Outcome = rwlink::ActionResult::Outcome;
    using Cause = files::StopReason::Cause;
    files::StopReason stop;
    switch (result.outcome) {
    case Outcome::Done:
        break;
    case Outcome::Cancelled:
        stop.cause = signal_number != 0 ? Cause::Signal : Cause::Operator;
        stop.signal = signal_number;
        break;
    case Outcome::Stopped:
        stop.cause = Cause::FrameBreaker;
        break;
    case Outcome::Failed:
        if (result.open_failure) {
            stop.cause = Cause::OpenFailed;
            stop.system_error = result.open_failure->system_error;
        } else {
            stop.cause = Cause::LineFailed;
            stop.system_error = result.failure ? result.failure->system_error : 0;
        }
        break;
    }
    return stop;
}

RecordedRun::RecordedRun(rwlink::ActionRunner &runner, QObject *parent)
    : QObject(parent), m_runner(runner)
{
    connect(&m_runner, &rwlink::ActionRunner::finished, this, &RecordedRun::on_finished);
}

bool RecordedRun::start(const QString &port_text, rwlink::Action action, const ActionOrigin &origin,
                        const rwlink::PortMap &ports)
{
    const int planned = static_cast<int>(action.size());
    if (m_running || !m_runner.start(port_text, std::move(action)))
        return false;
    m_origin = origin;
    m_ports = ports;
    m_path = files::record_path();
    m_id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_signal = 0;
    m_running = true;
    // Before the first frame leaves (the port opens once the event loop
    // runs): a kill from here on leaves the record, incomplete.
    rwlink::ActionResult starting;
    starting.port = port_text;
    starting.commands_planned = planned;
    const auto number = rwlink::port_number_for(port_text);
    starting.device = number ? ports.mapping(*number).device : port_text;
    files::SendRecord record = record_of(starting);
    record.result = files::SendRecord::Result::Incomplete;
    record.stop.reset();
    // One that fails is said at the end, when the whole one fails the same way.
    files::append_record(m_path, record);
    return true;
}

void RecordedRun::stop_for_signal(int signal_number)
{
    if (!m_running)
        return;
    if (m_signal == 0)
        m_signal = signal_number;
    m_runner.cancel();
}

files::SendRecord RecordedRun::record_of(const rwlink::ActionResult &result) const
{
    files::SendRecord record = action_record(result, m_origin, QDateTime::currentDateTime(),
                                             m_ports.stable_name(result.device), {});
    record.id = m_id;
    return record;
}

void RecordedRun::on_finished(const rwlink::ActionResult &result)
{
    if (!m_running)
        return; // an action started on the runner directly: not ours to record
    m_running = false;
    RunEnd end;
    end.result = result;
    end.stop = stop_reason(result, m_signal);
    end.record_path = m_path;
    // After the last frame, off the paced path.
    files::SendRecord record = record_of(result);
    record.stop = end.stop;
    end.written = files::append_record(m_path, record);
    emit ended(end);
}

} // namespace recorded
