#include "cliupload.h"

#include "actionrunner.h"
#include "console.h"
#include "filetext.h"
#include "frame.h"
#include "linktext.h"
#include "names.h"
#include "pacing.h"
#include "portsettings.h"
#include "porttext.h"
#include "recordedrun.h"
#include "recordtext.h"
#include "seriallink.h"
#include "stopsignals.h"
#include "systemclock.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace app {

namespace {

constexpr int kBarWidth = 25;

void say(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// The upload's view of a finished calculation; progress goes to stderr, as
// a bar redrawn in place on a terminal and one line per table otherwise.
class CalculatedBoxes : public rwlink::UploadSource {
public:
    explicit CalculatedBoxes(const calc::CalcOutput &out)
        : m_out(out), m_terminal(stderr_is_terminal())
    {
    }
    std::int32_t base_clock() override { return m_out.base_clock; }
    QString ra_row(int i) override { return core_text(m_out.ra.hex_rows[i]); }
    QString dec_row(int i) override { return core_text(m_out.dec.hex_rows[i]); }
    QString ra_total() override { return core_text(m_out.ra.total_hex); }
    QString dec_total() override { return core_text(m_out.dec.total_hex); }
    void ra_progress(int rows) override { progress(rows, 0, QStringLiteral("RA")); }
    void dec_progress(int rows) override
    {
        progress(calc::kTableRows, rows, QStringLiteral("DEC"));
    }

    void finish_line() const
    {
        if (m_terminal)
            say(QStringLiteral("\n"));
    }

private:
    void progress(int ra, int dec, const QString &table)
    {
        const int rows = table == QLatin1String("RA") ? ra : dec;
        if (!m_terminal) {
            if (rows == calc::kTableRows)
                say(QStringLiteral("%1 のテーブルを送信しました (%2 行)\n").arg(table).arg(rows));
            return;
        }
        const int done = (ra + dec) * kBarWidth / (2 * calc::kTableRows);
        say(QStringLiteral("\r[%1%2] RA %3/%5  DEC %4/%5")
                .arg(QString(done, QLatin1Char('#')), QString(kBarWidth - done, QLatin1Char(' ')))
                .arg(ra, 2)
                .arg(dec, 2)
                .arg(calc::kTableRows));
    }

    const calc::CalcOutput &m_out;
    bool m_terminal = false;
};

using Steady = std::chrono::steady_clock;

double milliseconds(Steady::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The time taken and the gaps between writes, as the program kept them.
QString pace_text(const std::vector<Steady::time_point> &writes)
{
    if (writes.size() < 2)
        return {};
    std::vector<double> gaps;
    for (std::size_t i = 1; i < writes.size(); ++i)
        gaps.push_back(milliseconds(writes[i] - writes[i - 1]));
    std::sort(gaps.begin(), gaps.end());
    return QStringLiteral(": %1 秒 (コマンドの間隔: 最小 %2 ms, 中央値 %3 ms, 最大 %4 ms)")
        .arg(milliseconds(writes.back() - writes.front()) / 1000.0, 0, 'f', 3)
        .arg(gaps.front(), 0, 'f', 3)
        .arg(gaps[gaps.size() / 2], 0, 'f', 3)
        .arg(gaps.back(), 0, 'f', 3);
}

void say_record_failure(const recorded::RunEnd &end)
{
    if (!end.written.ok)
        say(QStringLiteral("rw7300-speedtable: %1\n")
                .arg(record_write_failure_text(end.record_path, end.written)));
}

} // namespace

UploadEnd upload_from_command_line(const calc::CalcOutput &out, const QString &port,
                                   rwlink::Clock *clock, const rwlink::Devices &devices,
                                   const UploadMount &mount)
{
    // "Com1" … "Com20" lead where they lead in the window; anything else is
    // a device opened as it is named.
    const PortSettings ports(devices);
    const auto number = rwlink::port_number_for(port);
    const QString unreadable = assignments_read_failure_text(ports.read());
    if (number && !unreadable.isEmpty())
        say(QStringLiteral("rw7300-speedtable: 割り当てのファイル %1 を読めません: %2。"
                           "割り当てはないものとして送ります。\n")
                .arg(QDir::toNativeSeparators(ports.path()), unreadable));
    rwlink::SystemClock system_clock;
    rwlink::SerialLink link;
    link.set_port_map(ports.map());
    if (!number)
        link.use_device(port);
    rwlink::ActionRunner runner(link, clock ? *clock : system_clock);
    auto boxes = std::make_shared<CalculatedBoxes>(out);
    rwlink::Action action = rwlink::upload_action(boxes);
    const int commands = static_cast<int>(action.size());
    const QString length = QString::number(
        std::lround(std::chrono::duration<double>(rwlink::action_length(action.size())).count()));
    say(number
            ? QStringLiteral("rw7300-speedtable: %1 (%2) へ送信します (約 %3 秒)\n")
                  .arg(port, ports.mapping(*number).device, length)
            : QStringLiteral("rw7300-speedtable: %1 へ送信します (約 %2 秒)\n").arg(port, length));

    std::vector<Steady::time_point> writes;
    writes.reserve(action.size());
    QObject::connect(&runner, &rwlink::ActionRunner::progress, &runner,
                     [&writes] { writes.push_back(Steady::now()); });
    recorded::RecordedRun run(runner);
    recorded::RunEnd end;
    QObject::connect(
        &run, &recorded::RecordedRun::ended, &run, [&end, &link](const recorded::RunEnd &e) {
            end = e;
            // The last frames reach the line before the program ends.
            if (link.is_draining())
                QObject::connect(&link, &rwlink::SerialLink::closed, &QCoreApplication::quit);
            else
                QCoreApplication::quit();
        });
    rwlink::StopSignals stop_signals([&run](int signal) { run.stop_for_signal(signal); });
    const recorded::ActionOrigin origin{.started = QDateTime::currentDateTime(),
                                        .version = QStringLiteral(RW7300_VERSION),
                                        .mount_file = mount.file,
                                        .mount_name = mount.name,
                                        .base_clock = out.base_clock,
                                        .computed_from = mount.computed_from};
    if (run.start(port, std::move(action), origin, ports.map()))
        QCoreApplication::exec();
    boxes->finish_line();
    const rwlink::ActionResult &result = end.result;
    if (result.ok() && result.commands_written == commands) {
        say(QStringLiteral("rw7300-speedtable: %1 個のコマンドを送信しました%2\n")
                .arg(result.commands_written)
                .arg(pace_text(writes)));
        say_record_failure(end);
        return {true, 0};
    }
    const int stopped_by = end.stop.signal;
    const QString signal = signal_name(stopped_by);
    QString message = stopped_by != 0
                          ? QStringLiteral("%1 を受けて送信を止めました。")
                                .arg(signal.isEmpty() ? QStringLiteral("signal") : signal)
                          : action_failure_text(result, ports.map(), true);
    if (message.isEmpty())
        message = QStringLiteral("送信が中断されました。");
    if (!result.failed_command.isEmpty())
        message += QStringLiteral(" 止まったコマンド: %1.")
                       .arg(QString::fromLatin1(rwlink::frame(result.failed_command)));
    say(QStringLiteral("rw7300-speedtable: %1\n送信済みのコマンド: %2 個 / %3\n")
            .arg(message)
            .arg(result.commands_written)
            .arg(commands));
    say_record_failure(end);
    return {false, stopped_by};
}

} // namespace app
