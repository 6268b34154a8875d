#include "monitor.h"

#include "commands.h"
#include "frame.h"
#include "wiretext.h"

#include <QJsonDocument>

#include <unistd.h>

using rwlink::Command;
using rwlink::CommandKind;
using rwlink::LineEvent;
using rwlink::Problem;
using rwlink::Timestamp;

namespace {

constexpr int kFrameColumn = 16; // "#:&XDEC00AFC800#", the longest calculated frame
constexpr int kGapColumn = 10;

const QString kRed = QStringLiteral("\x1b[31m");
const QString kDim = QStringLiteral("\x1b[2m");
const QString kReset = QStringLiteral("\x1b[0m");

double milliseconds(Timestamp t)
{
    return std::chrono::duration<double, std::milli>(t).count();
}

QString row_label(const Command &command)
{
    return command.row > 0 ? command.row_text : quoted(command.row_text);
}

QString meaning(const Command &command)
{
    switch (command.kind) {
    case CommandKind::Clock2MHz:
        return QStringLiteral("基本クロック 2 MHz");
    case CommandKind::Clock250kHz:
        return QStringLiteral("基本クロック 250 kHz");
    case CommandKind::StoreData:
        return QStringLiteral("データを保存 (=SD)");
    case CommandKind::NewTable:
        return QStringLiteral("新しい表 (=NEW)");
    case CommandKind::NewTotals:
        return QStringLiteral("新しい合計 (&XNEW)");
    case CommandKind::RaRow:
        return QStringLiteral("RA %1 行目 = %2").arg(row_label(command), value_text(command.value));
    case CommandKind::DecRow:
        return QStringLiteral("DEC %1 行目 = %2")
            .arg(row_label(command), value_text(command.value));
    case CommandKind::RaTotal:
        return QStringLiteral("RA 総ステップ数 = %1").arg(value_text(command.value));
    case CommandKind::DecTotal:
        return QStringLiteral("DEC 総ステップ数 = %1").arg(value_text(command.value));
    case CommandKind::Rate05:
        return QStringLiteral("RA 05 番 ← レート %1").arg(value_text(command.value));
    case CommandKind::Unknown:
        break;
    }
    return QStringLiteral("不明なコマンド");
}

// The anomaly key and text of one flaw of a command.
std::pair<QString, QString> problem_text(const Command &command, Problem problem,
                                         const QByteArray &body)
{
    switch (problem) {
    case Problem::UnknownBody:
        return {QStringLiteral("unknown_command"),
                QStringLiteral("不明なコマンド %1").arg(quoted(body))};
    case Problem::BadRowNumber:
        return {QStringLiteral("bad_row_number"),
                QStringLiteral("行番号 %1 が %2 … %3 にありません")
                    .arg(quoted(command.row_text), rwlink::ascii_text(calc::row_number(1)),
                         rwlink::ascii_text(calc::row_number(calc::kTableRows)))};
    case Problem::NotHexadecimal:
        return {QStringLiteral("not_hexadecimal"),
                QStringLiteral("値 %1 が 16 進数ではありません").arg(quoted(command.value))};
    case Problem::LowerCaseHex:
        return {QStringLiteral("lower_case"),
                QStringLiteral("値 %1 に小文字の 16 進数字があります").arg(quoted(command.value))};
    case Problem::WrongLength:
        return {QStringLiteral("wrong_length"),
                QStringLiteral("値 %1 は %2 文字で、%3 文字のはずです")
                    .arg(quoted(command.value))
                    .arg(command.value.size())
                    .arg(rwlink::value_length(command.kind))};
    }
    return {};
}

} // namespace

Monitor::Monitor(const Settings &settings, QObject *parent)
    : QObject(parent), m_settings(settings), m_lines(settings.json ? stderr : stdout),
      m_stdout(stdout)
{
    m_colour = ::isatty(settings.json ? STDERR_FILENO : STDOUT_FILENO) &&
               qEnvironmentVariableIsEmpty("NO_COLOR");
    m_idle_timer.setSingleShot(true);
    if (settings.idle_exit)
        m_idle_timer.setInterval(*settings.idle_exit);
    connect(&m_idle_timer, &QTimer::timeout, this, &Monitor::idle);
}

Timestamp Monitor::now() const
{
    return std::chrono::duration_cast<Timestamp>(std::chrono::steady_clock::now() - m_started);
}

void Monitor::take(const QByteArray &bytes)
{
    if (m_finished)
        return;
    for (const LineEvent &event : m_decoder.feed(bytes, now()))
        show(event);
    if (m_settings.idle_exit)
        m_idle_timer.start();
}

void Monitor::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_idle_timer.stop();
    for (const LineEvent &event : m_decoder.flush())
        show(event);
    if (m_settings.json) {
        m_stdout << QJsonDocument(m_state.to_json()).toJson(QJsonDocument::Compact) << Qt::endl;
    } else {
        if (m_origin)
            m_stdout << '\n';
        m_stdout << m_state.summary() << Qt::flush;
    }
}

void Monitor::show(const LineEvent &event)
{
    switch (event.kind) {
    case LineEvent::Kind::Frame:
        show_frame(event);
        return;
    case LineEvent::Kind::StrayBytes:
        flag(event.end, QStringLiteral("stray_bytes"),
             QStringLiteral("フレームの外のバイト: %1").arg(quoted(event.bytes)));
        return;
    case LineEvent::Kind::Overlong:
        flag(event.end, QStringLiteral("overlong_frame"),
             QStringLiteral("%1 バイトを過ぎても閉じないフレームを捨てました: %2")
                 .arg(rwlink::FrameDecoder::kMaxBody)
                 .arg(quoted(event.bytes)));
        return;
    case LineEvent::Kind::Unterminated:
        flag(event.end, QStringLiteral("unterminated_frame"),
             QStringLiteral("閉じなかったフレーム: %1").arg(quoted(event.bytes)));
        return;
    }
}

void Monitor::show_frame(const LineEvent &event)
{
    const Command command = rwlink::parse_body(event.bytes);
    m_state.apply(command);

    const QString time = time_column(event.end);
    std::optional<Timestamp> gap;
    if (m_last_frame_end) {
        gap = event.end - *m_last_frame_end;
        m_state.note_gap(milliseconds(*gap));
    }
    m_last_frame_end = event.end;

    const QString gap_text =
        gap ? QStringLiteral("%1 ms").arg(milliseconds(*gap), 0, 'f', 1) : QString();
    const QString meaning_text = meaning(command);
    m_lines << time << "  "
            << (gap ? QStringLiteral("+") + gap_text : QString()).rightJustified(kGapColumn) << "  "
            << escaped(event.wire_bytes()).leftJustified(kFrameColumn) << "  "
            << (m_colour ? kDim + meaning_text + kReset : meaning_text) << Qt::endl;

    for (const Problem problem : command.problems) {
        const auto [kind, detail] = problem_text(command, problem, event.bytes);
        flag(event.end, kind, detail);
    }
    if (gap && *gap < m_settings.min_gap - m_settings.gap_tolerance) {
        flag(event.end, QStringLiteral("short_gap"),
             QStringLiteral(
                 "前のフレームから %1 しか空いていません。%2 ms 必要です (このプログラムが"
                 "読むまでの遅れとして %3 ms は許します)")
                 .arg(gap_text)
                 .arg(milliseconds(m_settings.min_gap))
                 .arg(milliseconds(m_settings.gap_tolerance)));
    }
}

void Monitor::flag(Timestamp at, const QString &kind, const QString &detail)
{
    m_state.note_anomaly(kind, detail);
    // Shown as far as the summary keeps them: a line of noise would
    // otherwise write several times its own size.
    const qint64 count = m_state.anomalies();
    if (count > ControllerState::kKeptAnomalies + 1)
        return;
    const QString text =
        count <= ControllerState::kKeptAnomalies
            ? QStringLiteral("! ") + detail
            : QStringLiteral("! 異常が %1 件を超えました: 残りは示さず、まとめで数えます")
                  .arg(ControllerState::kKeptAnomalies);
    m_lines << time_column(at) << "  " << (m_colour ? kRed + text + kReset : text) << Qt::endl;
}

QString Monitor::time_column(Timestamp at)
{
    if (!m_origin)
        m_origin = at;
    return QStringLiteral("%1 s").arg(milliseconds(at - *m_origin) / 1000.0, 8, 'f', 3);
}
