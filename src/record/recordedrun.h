#pragma once

// One controller action with its send record: the window and the command
// line start their actions through it, and it alone writes the record.
//
//   start ─► its record appended, incomplete ─► the runner's action
//        ─► finished ─► the record appended again, whole
//        ─► ended(result, why it stopped, whether the record was written)
//
// The caller keeps the runner (its questions: held steps, resume, cancel);
// stop_for_signal() cancels as the operator's stop does, the record then
// naming the signal.

#include "actionrecord.h"
#include "actionrunner.h"
#include "atomicfile.h"
#include "ports.h"
#include "sendrecord.h"

#include <QObject>
#include <QString>

namespace recorded {

// Why the action of result ended; signal_number: the signal that cancelled
// it, 0 when none did.
files::StopReason stop_reason(const rwlink::ActionResult &result, int signal_number = 0);

struct RunEnd {
    rwlink::ActionResult result;
    files::StopReason stop;
    QString record_path;
    files::WriteOutcome written; // ok when the record was written
};

class RecordedRun : public QObject {
    Q_OBJECT

public:
    // The runner must outlive the run.
    explicit RecordedRun(rwlink::ActionRunner &runner, QObject *parent = nullptr);

    // As ActionRunner::start; origin and ports (for the device's stable
    // name) go into the record. The record goes to files::record_path() as
    // it is at the start.
    bool start(const QString &port_text, rwlink::Action action, const ActionOrigin &origin,
               const rwlink::PortMap &ports);
    // Cancels the running action; its record names the signal.
    void stop_for_signal(int signal_number);

    rwlink::ActionRunner &runner() { return m_runner; }
    // The id of the running action's record; empty when none runs.
    QString record_id() const { return m_running ? m_id : QString(); }

signals:
    void ended(const recorded::RunEnd &end);

private:
    void on_finished(const rwlink::ActionResult &result);
    files::SendRecord record_of(const rwlink::ActionResult &result) const;

    rwlink::ActionRunner &m_runner;
    ActionOrigin m_origin;
    rwlink::PortMap m_ports;
    QString m_path;
    QString m_id; // the same in both of its record's lines
    int m_signal = 0;
    bool m_running = false;
};

} // namespace recorded

Q_DECLARE_METATYPE(recorded::RunEnd)
