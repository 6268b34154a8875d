#pragma once

// The send record in words: an action's result, the last action on a
// device, the record's lines, what a device holds, how many values to be
// sent differ from it, and a record that could not be written or read.

#include "holds.h"
#include "sendrecord.h"

#include <QString>

namespace app {

inline const QString kRecordDialogTitle = QStringLiteral("送信記録");

// text with each control character (C0, DEL, C1) written as "\x1b", so a
// mount name or a record's text can neither move nor clear a terminal, set
// its title, nor split a line.
QString visible_text(const QString &text);

// "送信完了", "中止", "停止", "失敗", "途中で途絶".
QString record_result_name(files::SendRecord::Result result);
// In place of the result of the window's own action while it runs.
inline const QString kRecordRunningName = QStringLiteral("送信中");

// "12/07 21:14 送信完了 109 個 (EM-200)"; a partial one "中止 40 / 109 個".
QString record_summary(const files::SendRecord &record);

// "前回: " and the summary of the newest of the device's records; empty
// when it has none.
QString last_action_text(const recorded::Holds &holds);

// When the device holds a mix (recorded::Holds::mixed) by records of it:
// that it does, and that sending again sets it whole; empty otherwise. The
// window's names 「送信」, the command line's --upload.
QString mixed_text(const recorded::Holds &holds);
QString mixed_text_command_line(const recorded::Holds &holds);

// One line of the record for a list: when, port and device, result, count,
// mount, and the reason when there is one.
QString record_line_text(const files::SendRecord &record);

// What a device holds, entry by entry, with when each went and from which
// mount; device names it in the heading.
QString holds_text(const recorded::Holds &holds, const QString &device);

// Before a send: "… 109 個の値のうち 3 個が、コントローラーが保持している
// はずの値 (送信記録) と異なります。"; empty when nothing is held.
QString difference_text(const recorded::Holds &holds, const recorded::Difference &difference);

// Before a send, one line: "前回の送信と設定が違います: 赤経 ﾏｲｸﾛｽﾃｯﾌﾟ 16 → 8、
// 基本クロック 2 MHz → 250 kHz (…ドライバーのスイッチ…)。"; empty when
// nothing changed.
QString setup_change_text(const std::vector<recorded::SetupChange> &changes);

// "SIGINT", "SIGTERM" or "SIGHUP" by its number; empty for any other.
QString signal_name(int signal_number);

// Why a record's action ended: an older line's own reason as it is, else
// its stop cause in words; empty for one that completed.
QString record_reason_text(const files::SendRecord &record);

// The records' heading in the dialog: how many, where, lines not read.
QString record_list_heading(const files::RecordsRead &read, const QString &path);

QString record_write_failure_text(const QString &path, const files::WriteOutcome &outcome);
QString record_read_failure_text(const QString &path, const files::WriteOutcome &outcome);

} // namespace app
