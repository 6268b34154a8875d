#include "recordtext.h"

#include "filetext.h"
#include "names.h"
#include "systemtext.h"

#include <QDir>
#include <QStringList>

#include <csignal>

namespace app {

QString visible_text(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(int{u}, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

namespace {

QString when(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("MM/dd HH:mm"));
}

QString held_text(const recorded::HeldEntry &entry)
{
    if (!entry)
        return QStringLiteral("(送信記録なし)");
    QString text = QStringLiteral("%1  %2").arg(entry->value, when(entry->at));
    if (!entry->mount.isEmpty())
        text += QStringLiteral("  %1").arg(visible_text(entry->mount));
    return text;
}

QString clock_text(const recorded::HeldEntry &entry)
{
    if (!entry)
        return held_text(entry);
    recorded::HeldEntry named = entry;
    named->value = entry->value == QLatin1String("=TCLK1")   ? QStringLiteral("2MHz")
                   : entry->value == QLatin1String("=TCLK2") ? QStringLiteral("250kHz")
                                                             : entry->value;
    return held_text(named);
}

} // namespace

QString record_result_name(files::SendRecord::Result result)
{
    switch (result) {
    case files::SendRecord::Result::Done:
        return QStringLiteral("送信完了");
    case files::SendRecord::Result::Cancelled:
        return QStringLiteral("中止");
    case files::SendRecord::Result::Stopped:
        return QStringLiteral("停止");
    case files::SendRecord::Result::Failed:
        return QStringLiteral("失敗");
    case files::SendRecord::Result::Incomplete:
        return QStringLiteral("途中で途絶");
    }
    return {};
}

QString record_summary(const files::SendRecord &record)
{
    const QString count = record.sent() == record.planned
                              ? QStringLiteral("%1 個").arg(record.sent())
                              : QStringLiteral("%1 / %2 個").arg(record.sent()).arg(record.planned);
    QString text = QStringLiteral("%1 %2 %3")
                       .arg(when(record.ended), record_result_name(record.result), count);
    if (!record.mount_name.isEmpty())
        text += QStringLiteral(" (%1)").arg(visible_text(record.mount_name));
    return text;
}

QString last_action_text(const recorded::Holds &holds)
{
    if (!holds.last)
        return {};
    return QStringLiteral("前回: ") + record_summary(*holds.last);
}

QString mixed_text(const recorded::Holds &holds)
{
    if (!holds.mixed || holds.actions == 0)
        return {};
    return QStringLiteral("注意: コントローラーの値は混在しています。「送信」し直すと揃います。");
}

QString mixed_text_command_line(const recorded::Holds &holds)
{
    if (!holds.mixed || holds.actions == 0)
        return {};
    return QStringLiteral("注意: コントローラーの値は混在しています。--calculate --upload で"
                          "送り直すと揃います。");
}

QString record_line_text(const files::SendRecord &record)
{
    QString where = visible_text(record.port);
    if (!record.device.isEmpty() && record.device != record.port)
        where += QStringLiteral(" (%1)").arg(visible_text(QDir::toNativeSeparators(record.device)));
    QString text =
        QStringLiteral("%1  %2  %3 %4 / %5 個")
            .arg(record.ended.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), where,
                 record_result_name(record.result))
            .arg(record.sent())
            .arg(record.planned);
    if (!record.mount_name.isEmpty())
        text += QStringLiteral("  %1").arg(visible_text(record.mount_name));
    if (const QString reason = record_reason_text(record); !reason.isEmpty())
        text += QStringLiteral("  (%1)").arg(reason);
    return text;
}

QString holds_text(const recorded::Holds &holds, const QString &device)
{
    if (holds.actions == 0)
        return QStringLiteral("%1 への送信記録はありません。\n")
            .arg(visible_text(QDir::toNativeSeparators(device)));
    QString text = QStringLiteral("%1 が保持しているはずの値 (送信記録 %2 件から、%3)\n")
                       .arg(visible_text(QDir::toNativeSeparators(device)))
                       .arg(holds.actions)
                       .arg(last_action_text(holds));
    const auto line = [&text](const QString &label, const QString &value) {
        text += QStringLiteral("  %1  %2\n").arg(label, value);
    };
    line(QStringLiteral("基本クロック"), clock_text(holds.clock));
    line(QStringLiteral("赤経 総ステップ数"), held_text(holds.ra_total));
    line(QStringLiteral("赤緯 総ステップ数"), held_text(holds.dec_total));
    // Entry 05 holds the rate or RA row 05, never both.
    line(QStringLiteral("追尾速度 (赤経 05)"),
         holds.rate ? held_text(holds.rate) + QStringLiteral("  ← 赤経 05 はこの値")
         : holds.ra[calc::kRateRow - 1] ? QStringLiteral("なし (赤経 05 はテーブルの値)")
                                        : held_text(holds.rate));
    for (const auto &[title, table] : {std::pair{QStringLiteral("赤経"), &holds.ra},
                                       std::pair{QStringLiteral("赤緯"), &holds.dec}}) {
        text += QStringLiteral("%1 テーブル\n").arg(title);
        for (int i = 0; i < calc::kTableRows; ++i) {
            const bool rate = holds.rate && table == &holds.ra && i == calc::kRateRow - 1;
            line(QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0')),
                 rate ? QStringLiteral("追尾速度 (上記)")
                      : held_text((*table)[static_cast<std::size_t>(i)]));
        }
    }
    return text;
}

QString difference_text(const recorded::Holds &holds, const recorded::Difference &difference)
{
    if (holds.actions == 0 || difference.values == 0)
        return {};
    if (difference.differing == 0)
        return QStringLiteral("送る %1 個の値はすべて、コントローラーが保持しているはずの値 "
                              "(送信記録) と同じです。")
            .arg(difference.values);
    return QStringLiteral("送る %1 個の値のうち %2 個が、コントローラーが保持しているはずの値 "
                          "(送信記録) と異なります。")
        .arg(difference.values)
        .arg(difference.differing);
}

QString setup_change_text(const std::vector<recorded::SetupChange> &changes)
{
    if (changes.empty())
        return {};
    QStringList parts;
    bool microstep = false;
    for (const recorded::SetupChange &change : changes) {
        if (change.axis) {
            microstep = true;
            parts << QStringLiteral("%1 %2 %3 → %4")
                         .arg(core_text(axis_name(*change.axis)),
                              core_text(part_name(calc::kMicrostep)))
                         .arg(change.held)
                         .arg(change.now);
        } else {
            parts << QStringLiteral("基本クロック %1 → %2")
                         .arg(core_text(clock_caption(static_cast<std::int32_t>(change.held))),
                              core_text(clock_caption(static_cast<std::int32_t>(change.now))));
        }
    }
    return QStringLiteral("前回の送信と設定が違います: %1%2。")
        .arg(parts.join(QStringLiteral("、")),
             microstep ? QStringLiteral(" (ﾏｲｸﾛｽﾃｯﾌﾟはドライバーのスイッチと合わせてください)")
                       : QString());
}

QString signal_name(int signal_number)
{
    switch (signal_number) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
#ifdef SIGHUP
    case SIGHUP:
        return QStringLiteral("SIGHUP");
#endif
    default:
        return {};
    }
}

namespace {

QString signal_text(int signal_number)
{
    const QString name = signal_name(signal_number);
    return !name.isEmpty() ? QStringLiteral("%1 (%2)").arg(name).arg(signal_number)
                           : QStringLiteral("シグナル %1").arg(signal_number);
}

QString errno_text(int system_error)
{
    if (system_error == 0)
        return {};
    const QString text = system_reason_text(system_error, QString());
    return QStringLiteral(": %1").arg(
        text.isEmpty() ? QStringLiteral("システムのエラー (errno %1)").arg(system_error) : text);
}

} // namespace

QString record_reason_text(const files::SendRecord &record)
{
    if (record.result == files::SendRecord::Result::Incomplete)
        return QStringLiteral("終わりが記録されていません。どこまで送ったかは不明です。");
    if (!record.reason.isEmpty() || !record.stop)
        return visible_text(QString(record.reason).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    using Cause = files::StopReason::Cause;
    const files::StopReason &stop = *record.stop;
    switch (stop.cause) {
    case Cause::None:
        return {};
    case Cause::Operator:
        return QStringLiteral("操作者が中止しました。");
    case Cause::Signal:
        return QStringLiteral("%1 を受けて止めました。").arg(signal_text(stop.signal));
    case Cause::FrameBreaker:
        return QStringLiteral("フレームを壊す値の前で止めました。");
    case Cause::OpenFailed:
        return QStringLiteral("ポートを開けませんでした%1。").arg(errno_text(stop.system_error));
    case Cause::LineFailed:
        return QStringLiteral("送信中に回線が失敗しました%1。").arg(errno_text(stop.system_error));
    }
    return {};
}

QString record_list_heading(const files::RecordsRead &read, const QString &path)
{
    if (!read.failure.ok)
        return record_read_failure_text(path, read.failure);
    QString text = QStringLiteral("%1 件 (新しい順) — %2")
                       .arg(read.records.size())
                       .arg(QDir::toNativeSeparators(path));
    if (read.skipped > 0)
        text += QStringLiteral("  記録として読めない %1 行は飛ばしました。").arg(read.skipped);
    return text;
}

QString record_write_failure_text(const QString &path, const files::WriteOutcome &outcome)
{
    return QStringLiteral("送信記録を書けませんでした (%1: %2)。")
        .arg(QDir::toNativeSeparators(path), write_failure_text(outcome));
}

QString record_read_failure_text(const QString &path, const files::WriteOutcome &outcome)
{
    return QStringLiteral("送信記録を読めません (%1: %2)。")
        .arg(QDir::toNativeSeparators(path), write_failure_text(outcome));
}

} // namespace app
