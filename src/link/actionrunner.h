#pragma once

// Runs one controller action over the link, paced, in the application's own
// event loop: no nested loop, no sleeping. The runner opens the port, sends
// a command, works out from the counter when the next one is due, and lets
// an alarm bring it back at that instant; between commands the program is
// idle and the window stays live.
//
//   start ─► open_port ─► send ─► pause ─► send ─► … ─► send ─► close_port
//                                                          └─► Done
//   cancel() at any point ─► close_port (what was written drains) ─► Cancelled
//   port lost or a write failing ─► the port is closed ─► Failed
//   a step's check says Hold ─► held, port open ─► resume() ─► (rest of the
//        pause) ─► the step is checked and built again ─► …
//   a step's check says Stop ─► close_port, that command unsent ─► Stopped
//
// One action at a time: start() refuses while one runs. Every end is
// signalled once by finished(), its result telling which; stopped() comes
// just before it for a Stop. An action started while the last one's bytes
// still drain opens the port once they are out.

#include "actions.h"
#include "alarm.h"
#include "pacing.h"
#include "ports.h"
#include "seriallink.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>

namespace rwlink {

class Clock;

struct ActionResult {
    enum class Outcome { Done, Cancelled, Failed, Stopped };

    Outcome outcome = Outcome::Done;
    int commands_written = 0;           // frames handed to the port (skipped ones not counted)
    int commands_planned = 0;           // the action's length
    QString port;                       // the port name it was started on
    QString device;                     // the device that port opened, once it did
    QStringList written;                // the bodies of those frames, in order
    QString failed_command;             // body being sent, or last sent, when the failure showed
    std::optional<LinkFailure> failure; // what the link reported
    std::optional<OpenFailure> open_failure; // the port did not open

    bool ok() const { return outcome == Outcome::Done; }
};

class ActionRunner : public QObject {
    Q_OBJECT

public:
    // Paces on clock; the link and the clock must outlive the runner.
    ActionRunner(SerialLink &link, Clock &clock, QObject *parent = nullptr);
    // A running action is cancelled.
    ~ActionRunner() override;
    ActionRunner(const ActionRunner &) = delete;
    ActionRunner &operator=(const ActionRunner &) = delete;

    // Starts the action on the port named port_text ("Com1" … "Com20"); the
    // port is opened and the first command sent as soon as the event loop
    // runs. False, and nothing happens, while another action runs or when
    // the action has no command.
    bool start(const QString &port_text, Action action);

    // Stops the running action: nothing more is sent, what was written
    // drains, the port is closed. Nothing happens when none runs.
    void cancel();

    // Goes on with a held action: its step is checked again once the pause
    // since the last command is over. Nothing happens unless one is held.
    void resume();

    bool is_running() const { return m_phase != Phase::Idle; }
    bool is_held() const { return m_phase == Phase::Held; }

signals:
    // After each command written, with the count so far.
    void progress(int commands_written);
    // A step's check asked to wait; the port stays open.
    void held(int commands_written);
    // A step's check ended the action before its command.
    void stopped(const rwlink::ActionResult &result);
    void finished(const rwlink::ActionResult &result);

private:
    enum class Phase { Idle, Opening, Sending, Pausing, Held };

    void on_alarm();
    void on_link_lost();
    void open();
    void send_next();
    void pause_for(std::int64_t ticks);
    void fail();
    void finish(ActionResult::Outcome outcome);

    SerialLink &m_link;
    Clock &m_clock;
    Alarm m_alarm;
    Phase m_phase = Phase::Idle;
    std::uint64_t m_run = 0; // which action; a slot may end it while it is signalling
    QString m_port_text;
    Action m_action;
    std::size_t m_next = 0;
    Pause m_pause;
    QString m_last_body;
    ActionResult m_result;
};

} // namespace rwlink

Q_DECLARE_METATYPE(rwlink::ActionResult)
