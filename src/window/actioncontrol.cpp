#include "actioncontrol.h"

#include "alerts.h"
#include "beep.h"
#include "frame.h"
#include "linktext.h"
#include "portcontrols.h"
#include "porttext.h"
#include "recordtext.h"
#include "statusline.h"
#include "systemclock.h"

#include <QDir>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTime>

#include <algorithm>

namespace app {

namespace {

rwlink::Clock &pacing_clock(rwlink::Clock *given, std::unique_ptr<rwlink::Clock> &own)
{
    if (given)
        return *given;
    own = std::make_unique<rwlink::SystemClock>();
    return *own;
}

// A question asked while an action runs: going on is the default and
// Escape, so a stray Return never stops or mixes anything. Buttons of our
// own: the standard Yes and No carry the style's icons, which here would
// paint the destructive choice as the good one.
struct WhileSending {
    QMessageBox *box;
    QPushButton *act;
};
WhileSending ask_while_sending(QWidget *parent, const QString &name, const QString &text,
                               const QString &act, const QString &act_name, const QString &keep,
                               const QString &keep_name)
{
    auto *box = new QMessageBox(QMessageBox::Question, QStringLiteral("送信中"), text,
                                QMessageBox::NoButton, parent);
    box->setObjectName(name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *acting = box->addButton(act, QMessageBox::DestructiveRole);
    acting->setObjectName(act_name);
    QPushButton *keeping = box->addButton(keep, QMessageBox::RejectRole);
    if (!keep_name.isEmpty())
        keeping->setObjectName(keep_name);
    box->setDefaultButton(keeping);
    box->setEscapeButton(keeping);
    return {box, acting};
}

} // namespace

ActionControl::ActionControl(ActionWindow window, rwlink::Clock *clock, QObject *parent)
    : QObject(parent), m_window(std::move(window)),
      m_runner(m_window.ports->link(), pacing_clock(clock, m_own_clock), this),
      m_run(m_runner, this)
{
    setObjectName(QStringLiteral("actionControl"));
    m_runner.setObjectName(QStringLiteral("actionRunner"));
    connect(&m_run, &recorded::RecordedRun::ended, this, &ActionControl::finished);
    connect(&m_runner, &rwlink::ActionRunner::held, this, &ActionControl::ask_held);
}

ActionControl::~ActionControl() = default;

void ActionControl::check_then(const std::vector<ValueToSend> &values, const QStringList &bodies,
                               std::function<void()> go, std::function<void()> again)
{
    if (refused_by_device())
        return;
    m_confirmed.clear();
    const recorded::Holds holds = m_window.ports->device_holds();
    m_difference = difference_text(holds, recorded::difference(holds, bodies));
    // A microstep factor the driver's switches were set for, or the clock,
    // other than last sent: the question says so before anything goes.
    const std::optional<calc::CalcInput> input = m_window.computed_from();
    const QString changed =
        input ? setup_change_text(recorded::setup_changes(holds, bodies, *input)) : QString();
    const std::vector<SendIssue> issues = send_issues(values, m_window.clock());
    for (const SendIssue &issue : issues) {
        if (issue.problem != calc::SendProblem::BreaksFrame)
            continue;
        system_beep();
        m_window.status->say(QStringLiteral("送信しませんでした: %1 に送れない文字があります。")
                                 .arg(issue.value.place));
        show_warning(m_window.window, QStringLiteral("sendRefused"),
                     QStringLiteral("送信できません"), refusal_text(issue));
        return;
    }
    if (issues.empty() && changed.isEmpty()) {
        go();
        return;
    }
    // Window-modal but not blocking, like the warnings; cancel is the default.
    QStringList asked;
    if (!changed.isEmpty())
        asked << changed;
    if (!issues.empty())
        asked << confirmation_text(issues);
    if (!m_difference.isEmpty())
        asked << m_difference;
    if (issues.empty())
        asked << QStringLiteral("このまま送信しますか?");
    m_difference.clear(); // said here, not again on the result line
    auto *question = new QMessageBox(QMessageBox::Warning, QStringLiteral("送信の確認"),
                                     asked.join(QStringLiteral("\n\n")),
                                     QMessageBox::Yes | QMessageBox::Cancel, m_window.window);
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
    if (stale && m_window.clock().calculated) {
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
                if (m_runner.is_running())
                    return;
                if (question->clickedButton() == question->button(QMessageBox::Yes)) {
                    m_confirmed = keys;
                    go();
                } else if (calculate_first && question->clickedButton() == calculate_first) {
                    if (m_window.calculate())
                        again();
                } else {
                    m_window.status->say(QStringLiteral("送信をやめました。"));
                }
            });
    question->open();
}

bool ActionControl::refused_by_device()
{
    // Asked again now: a new login or a replugged adapter may have changed it.
    m_window.ports->refresh();
    const rwlink::PortMapping m = m_window.ports->mapping_in_use();
    if (!m.refused())
        return false;
    // Opening would only fail; the fix is worth more than the attempt.
    system_beep();
    m_window.ports->show_status();
    show_warning(m_window.window, QStringLiteral("portRefused"), QStringLiteral("送信できません"),
                 access_refusal_text(m));
    return true;
}

rwlink::StepVerdict ActionControl::gate(const ValueToSend &value,
                                        const std::function<std::vector<ValueToSend>()> &remaining)
{
    // Judged against the clock the action announced, not the option now: a
    // Calculate for another clock midway would not match it. An edited drive
    // train alone changes no value, and the values were checked at the start.
    CalculatedClock clock = m_window.clock();
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

void ActionControl::ask_held(int written)
{
    if (m_step_issues.empty()) {
        m_runner.cancel();
        return;
    }
    auto *question = new QMessageBox(QMessageBox::Warning, QStringLiteral("送信の一時停止"),
                                     paused_text(m_step_issues, written, m_action_planned),
                                     QMessageBox::NoButton, m_window.window);
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
        if (!m_runner.is_held())
            return;
        if (question->clickedButton() == go_on) {
            m_confirmed.unite(keys);
            m_runner.resume();
        } else {
            m_runner.cancel();
        }
    });
    question->open();
}

void ActionControl::show_bars(bool shown)
{
    for (QProgressBar *bar : m_window.bars) {
        if (shown)
            bar->setValue(0); // each action's bars count from nothing
        bar->setVisible(shown);
    }
    m_window.status->setVisible(!shown);
}

void ActionControl::start(rwlink::Action action, const QString &name, QPushButton *button,
                          bool upload)
{
    if (upload)
        show_bars(true);
    m_window.ports->refresh(); // an adapter may have come or gone since
    m_action_button = button;
    m_step_issues.clear();
    m_action_clock = m_window.clock().selected;
    m_action_planned = static_cast<int>(action.size());
    const auto [mount_file, mount_name] = m_window.mount();
    const recorded::ActionOrigin origin{.started = QDateTime::currentDateTime(),
                                        .version = QStringLiteral(RW7300_VERSION),
                                        .mount_file = mount_file,
                                        .mount_name = mount_name,
                                        .base_clock = m_action_clock,
                                        .computed_from = m_window.computed_from()};
    if (!m_run.start(m_window.ports->port_text(), std::move(action), origin,
                     m_window.ports->settings().map())) {
        if (upload)
            show_bars(false);
        return;
    }
    m_window.ports->set_running_record(m_run.record_id());
    m_uploading = upload;
    m_action_name = name;
    m_action_time.start();
    QWidget *window = m_window.window;
    const bool button_had_focus = m_action_button && window->focusWidget() == m_action_button;
    set_buttons_enabled(false);
    // Disabling the button moved the focus on (into the port box, text
    // selected); it comes back at the end unless the operator moves it.
    m_focus_parked = button_had_focus ? window->focusWidget() : nullptr;
}

void ActionControl::finished(const recorded::RunEnd &run)
{
    const rwlink::ActionResult &result = run.result;
    m_window.ports->set_running_record({});
    close_questions();
    set_buttons_enabled(true);
    if (m_action_button && m_focus_parked && m_window.window->focusWidget() == m_focus_parked)
        m_action_button->setFocus(Qt::OtherFocusReason);
    m_focus_parked = nullptr;
    if (m_uploading) {
        for (QProgressBar *bar : m_window.bars)
            bar->hide();
        if (result.ok())
            system_beep();
    }
    // After the last frame, off the paced path; whatever happens to it, the
    // action's end is said as ever.
    const QString note = record_note(run);
    ActionEnd end;
    end.port = result.port;
    end.device = QDir::toNativeSeparators(result.device);
    end.rest = note.trimmed();
    end.tail = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    const QString seconds = QString::number(m_action_time.elapsed() / 1000.0, 'f', 1);
    const QString what =
        m_uploading ? QStringLiteral("送信") : m_action_name + QStringLiteral(" の送信");
    // The line is one way: where the frames were written is all there is
    // to know, so the line names the port and its device.
    const QString count =
        QStringLiteral("%1 / %2 個").arg(result.commands_written).arg(result.commands_planned);
    StatusLine *line = m_window.status;
    switch (result.outcome) {
    case rwlink::ActionResult::Outcome::Done:
        end.head = QStringLiteral("%1完了: %2 個 →").arg(what).arg(result.commands_written);
        end.tail = QStringLiteral("%1 秒 %2").arg(seconds, end.tail);
        line->say_result(end);
        break;
    case rwlink::ActionResult::Outcome::Cancelled:
        end.head = QStringLiteral("%1を中止しました: %2 送信済み →").arg(what, count);
        line->say_result(end);
        break;
    case rwlink::ActionResult::Outcome::Stopped:
        system_beep();
        end.head =
            QStringLiteral("%1を止めました (%2 に送れない文字): %3 送信済み →")
                .arg(what, m_step_issues.empty() ? QString() : m_step_issues.front().value.place,
                     count);
        line->say_result(end);
        if (!m_step_issues.empty())
            show_warning(m_window.window, QStringLiteral("sendRefused"),
                         QStringLiteral("送信を止めました"),
                         refusal_text(m_step_issues.front()) +
                             QStringLiteral("\n\n送信済みのコマンド: %1。コントローラーには途中"
                                            "までの値が残ります。")
                                 .arg(count));
        break;
    case rwlink::ActionResult::Outcome::Failed:
        end.head = QStringLiteral("送信できませんでした: %1 送信済み →").arg(count);
        end.rest = QStringLiteral("(詳しくはメッセージ)") + note;
        line->say_result(end);
        m_window.ports->refresh_after_failure(); // an adapter pulled, for one
        report_link_failure(result);
        break;
    }
    m_uploading = false;
    if (m_after_signal)
        stop_for_signal(0, std::exchange(m_after_signal, {}));
}

void ActionControl::close_questions()
{
    // Left open, a question would ask about an action that is over (a line
    // lost under 「送信の一時停止」, say), its answer changing nothing.
    for (const char *name : {"sendPaused", "closeConfirmation", "recalculateConfirmation"}) {
        for (QMessageBox *question :
             m_window.window->findChildren<QMessageBox *>(QLatin1String(name))) {
            if (question->isVisible()) // one answered lingers until deleted
                question->reject();
        }
    }
}

QString ActionControl::record_note(const recorded::RunEnd &end)
{
    QString note;
    if (!m_difference.isEmpty())
        note += QStringLiteral(" ") + m_difference;
    if (!end.written.ok)
        note += QStringLiteral(" ") + record_write_failure_text(end.record_path, end.written);
    m_difference.clear();
    return note;
}

void ActionControl::set_buttons_enabled(bool enabled)
{
    for (QPushButton *b : m_window.buttons)
        b->setEnabled(enabled);
}

void ActionControl::report_link_failure(const rwlink::ActionResult &result)
{
    QString message = action_failure_text(result, m_window.ports->settings().map(), false);
    if (!result.failed_command.isEmpty()) {
        message += QStringLiteral("\n\n止まったコマンド: %1")
                       .arg(QString::fromLatin1(rwlink::frame(result.failed_command)));
    }
    message += QStringLiteral("\n送信済みのコマンド: %1 個").arg(result.commands_written);
    show_warning(m_window.window, QStringLiteral("linkFailure"), QStringLiteral("送信できません"),
                 message);
}

void ActionControl::stop_for_signal(int signal_number, std::function<void()> then)
{
    if (m_after_signal)
        return; // already stopping
    m_after_signal = std::move(then);
    if (m_runner.is_running()) {
        m_run.stop_for_signal(signal_number);
        return;
    }
    rwlink::SerialLink &link = m_window.ports->link();
    if (link.is_draining())
        connect(&link, &rwlink::SerialLink::closed, this, m_after_signal);
    else
        m_after_signal();
}

void ActionControl::ask_before_recalculating(std::function<void()> go)
{
    if (!m_runner.is_running()) {
        go();
        return;
    }
    if (m_window.window->findChild<QMessageBox *>(QStringLiteral("recalculateConfirmation")))
        return; // asked already
    const WhileSending asked = ask_while_sending(
        m_window.window, QStringLiteral("recalculateConfirmation"),
        QStringLiteral("コントローラーへ送信しています。いま計算し直すと、まだ送っていない値は"
                       "新しい計算で送られ、コントローラーには二つの計算の値が混じって残ります。"
                       "\n\n送信が終わってから適用してください。"),
        QStringLiteral("このまま適用"), QStringLiteral("applyAnyway"), QStringLiteral("やめる"),
        QString());
    QMessageBox *question = asked.box;
    QPushButton *anyway = asked.act;
    connect(question, &QMessageBox::finished, this, [question, anyway, go = std::move(go)] {
        if (question->clickedButton() == anyway)
            go();
    });
    question->open();
}

bool ActionControl::keeps_window_open(const std::function<void(bool stop)> &answered)
{
    if (!m_runner.is_running() || m_close_confirmed) {
        m_runner.cancel();
        return false;
    }
    if (m_window.window->findChild<QMessageBox *>(QStringLiteral("closeConfirmation")))
        return true;
    // Stopping halfway leaves the controller with part of a table and no
    // final "=SD": ask first.
    const WhileSending asked = ask_while_sending(
        m_window.window, QStringLiteral("closeConfirmation"),
        QStringLiteral("コントローラーへ送信しています。中止しますか？\n\n中止すると、"
                       "コントローラーには途中までの値が残ります。"),
        QStringLiteral("中止して閉じる"), QStringLiteral("stopAndClose"),
        QStringLiteral("送信を続ける"), QStringLiteral("keepSending"));
    QMessageBox *question = asked.box;
    QPushButton *stop = asked.act;
    connect(question, &QMessageBox::finished, this, [this, question, stop, answered] {
        const bool stopping = question->clickedButton() == stop;
        m_close_confirmed = stopping;
        answered(stopping);
    });
    question->open();
    return true;
}

} // namespace app
