#include "filetext.h"

#include "commands.h"
#include "systemtext.h"

#include <QDir>

#include <array>

namespace app {

namespace {

// The column headings of the window's drive-train boxes.
constexpr std::array<const char *, 5> kPartNames = {"ウォーム", "中間ギア", "モーター", "減速ギア",
                                                    "ﾏｲｸﾛｽﾃｯﾌﾟ"};

QString part_name(calc::Axis axis, calc::DriveTrainField part)
{
    return (axis == calc::Axis::Ra ? QStringLiteral("赤経の") : QStringLiteral("赤緯の")) +
           QString::fromUtf8(kPartNames[static_cast<std::size_t>(part)]);
}

// What is wrong with the text after key's "=".
QString value_fault_text(const files::MountError &error)
{
    using Kind = files::MountError::Kind;
    switch (error.kind) {
    case Kind::TextAfterQuote:
        return QStringLiteral("閉じる引用符 (\") の後に文字があります");
    case Kind::ShortHexEscape:
        return QStringLiteral("\\x の後には 16 進数が 2 桁要ります");
    case Kind::UnknownEscape:
        return QStringLiteral("\\%1 は使えません (使えるのは \\\" \\\\ \\t \\n \\r \\xHH)")
            .arg(error.text);
    default:
        break;
    }
    return QStringLiteral("閉じる引用符 (\") がありません");
}

QString seconds_text(std::chrono::milliseconds time)
{
    return QString::number(std::chrono::duration<double>(time).count(), 'f', 1);
}

// Who kept a store's lock, and how: alone for the whole wait, or in turn
// with others until the wait as a whole ran out.
QString locked_text(const files::LockHolder &holder)
{
    if (holder.held < files::kLockWait)
        return QStringLiteral("ほかの rw7300-speedtable が次々に変更していて (%1 回交代)、"
                              "%2 秒待っても順番が来ません。しばらくしてからやり直してください")
            .arg(holder.turns)
            .arg(seconds_text(holder.waited));
    QString who = QStringLiteral("ほかの rw7300-speedtable");
    if (holder.pid != 0 && holder.host.isEmpty())
        who += QStringLiteral(" (プロセス %1)").arg(holder.pid);
    else if (holder.pid != 0)
        who += QStringLiteral(" (%1 のプロセス %2)").arg(holder.host).arg(holder.pid);
    return QStringLiteral("%1 が %2 秒間変更したまま終わりません。"
                          "しばらくしてからやり直してください")
        .arg(who, seconds_text(holder.held));
}

} // namespace

QString mount_fault_text(const files::MountError &error)
{
    using Kind = files::MountError::Kind;
    switch (error.kind) {
    case Kind::NotMountFile:
        return QStringLiteral(
                   "マウントファイルではありません (最初の設定が「%1 = %2」ではありません)")
            .arg(files::kMountVersionKey)
            .arg(files::kMountFormatVersion);
    case Kind::NotText:
        return QStringLiteral("マウントファイルではありません (UTF-8 のテキストではありません)");
    case Kind::NotUtf8:
        return QStringLiteral("UTF-8 のテキストではありません");
    case Kind::ControlCharacter:
        return QStringLiteral("制御文字があります");
    case Kind::NulByte:
        return QStringLiteral("NUL バイトがあります (テキストのファイルではないか、壊れています)");
    case Kind::CrLineEnds:
        return QStringLiteral(
            "行末が CR だけです。行末を LF または CR LF にして保存し直してください");
    case Kind::NotKeyValue:
        return QStringLiteral("「キー = 値」の形ではありません");
    case Kind::TextAfterQuote:
    case Kind::Unclosed:
    case Kind::ShortHexEscape:
    case Kind::UnknownEscape:
        return QStringLiteral("%1 の値: %2").arg(error.key, value_fault_text(error));
    case Kind::Twice:
        return QStringLiteral("%1 が 2 回あります (%2 行目にもあります)")
            .arg(error.key)
            .arg(error.number);
    case Kind::BadVersion:
        return QStringLiteral("形式の版「%1」が読めません").arg(error.text);
    case Kind::NewerVersion:
        return QStringLiteral(
                   "形式の版 %1 はこのプログラムより新しいものです (読めるのは版 %2 まで)")
            .arg(error.number)
            .arg(files::kMountFormatVersion);
    case Kind::NoValue:
        return QStringLiteral("%1 の値がありません (空にするには \"\" と書きます)").arg(error.key);
    case Kind::BadClock:
        return QStringLiteral("%1 の値「%2」は 2MHz でも 250kHz でもありません")
            .arg(error.key, error.text);
    case Kind::NoClock:
        return QStringLiteral("%1 (基本クロック) がありません").arg(error.key);
    case Kind::NoPart:
        return QStringLiteral("%1 (%2) がありません")
            .arg(error.key, part_name(error.axis, error.part));
    case Kind::Missing:
        return QStringLiteral("ファイルが見つかりません");
    case Kind::Folder:
        return QStringLiteral("フォルダーです。マウントファイルを選んでください");
    case Kind::NotRegular:
        return QStringLiteral("通常のファイルではありません");
    case Kind::TooLarge:
        if (error.number > 0)
            return QStringLiteral("マウントファイルではありません (%1 バイトは大きすぎます)")
                .arg(error.number);
        return QStringLiteral("マウントファイルではありません (大きすぎます)");
    case Kind::Unreadable:
        break;
    }
    return QStringLiteral("読めません: %1").arg(system_reason_text(error.system_error, error.text));
}

QString write_failure_text(const files::WriteOutcome &outcome)
{
    using files::WriteFault;
    switch (outcome.fault) {
    case WriteFault::NoName:
        return QStringLiteral("ファイル名がありません");
    case WriteFault::Directory:
        return QStringLiteral("フォルダーです (通常のファイルではありません)");
    case WriteFault::NotRegular:
        return QStringLiteral("通常のファイルではありません (FIFO や装置には書き込みません)");
    case WriteFault::NoReader:
        return QStringLiteral("FIFO を読んでいるプログラムがありません");
    case WriteFault::Stalled:
        return QStringLiteral("FIFO または装置が %1 秒待っても受け取りません")
            .arg(std::chrono::duration<double>(files::kInPlaceWait).count());
    case WriteFault::TooLarge:
        return QStringLiteral("このプログラムのファイルにしては大きすぎるため、書き換えません");
    case WriteFault::Locked:
        return locked_text(outcome.holder);
    case WriteFault::NoFolder:
        return QStringLiteral("保存先のフォルダーを作れません: %1")
            .arg(system_reason_text(outcome.system_error, outcome.error));
    case WriteFault::NotMountFile:
        return QStringLiteral("マウントファイルではないファイルがすでにあるため、上書きしません。"
                              "別の名前で保存してください");
    case WriteFault::UnreadableMount:
        return QStringLiteral("このプログラムでは読めないマウントファイルのため、上書きしません。"
                              "別の名前で保存してください");
    case WriteFault::NotReadBack:
        return QStringLiteral("書いた内容を読み戻せません (ディスクがいっぱいかもしれません)");
    case WriteFault::NotDevice:
        return QStringLiteral("デバイス名として使えません");
    case WriteFault::PortName:
        return QStringLiteral("ポート名です。デバイスのパスを指定してください");
    case WriteFault::NoSuchPort:
        return QStringLiteral("ポート番号は 1〜%1 です").arg(calc::kPortCount);
    case WriteFault::Link:
        return QStringLiteral("シンボリックリンクです。リンク先のファイルには書き込みません"
                              " (リンクを消すと新しく作ります)");
    case WriteFault::System:
    case WriteFault::None:
        break;
    }
    return system_reason_text(outcome.system_error, outcome.error);
}

QString store_failure_text(const QString &path, const files::WriteOutcome &outcome)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                        write_failure_text(outcome));
}

QString mount_write_failure_text(const files::MountWriteOutcome &outcome)
{
    if (outcome.fault != files::WriteFault::UnreadableMount || !outcome.unreadable)
        return write_failure_text(outcome);
    const files::MountError &why = *outcome.unreadable;
    const QString where = why.line > 0 ? QStringLiteral("%1 行目: ").arg(why.line) : QString();
    return QStringLiteral("このプログラムでは読めないマウントファイルのため、上書きしません "
                          "(%1%2)。中身を失わないよう、別の名前で保存してください")
        .arg(where, mount_fault_text(why));
}

QString assignments_read_failure_text(const files::AssignmentsRead &read)
{
    using Fault = files::AssignmentsRead::Fault;
    switch (read.fault) {
    case Fault::None:
        return {};
    case Fault::NotRegular:
        return QStringLiteral("通常のファイルではありません");
    case Fault::TooLarge:
        return QStringLiteral("大きすぎます (%1 バイト)").arg(read.size);
    case Fault::Unreadable:
        break;
    }
    return system_reason_text(read.system_error, read.reason);
}

QString mount_problem_text(const QString &path, const files::MountError &error)
{
    if (error.line > 0)
        return QStringLiteral("%1 の %2 行目: %3")
            .arg(path)
            .arg(error.line)
            .arg(mount_fault_text(error));
    return QStringLiteral("%1: %2").arg(path, mount_fault_text(error));
}

QString last_calculation_text(const files::Mount &setup, const QDateTime &saved)
{
    QString from = saved.toLocalTime().toString(QStringLiteral("MM/dd HH:mm"));
    if (!setup.name.isEmpty())
        from += QStringLiteral("、") + setup.name;
    return QStringLiteral("前回の計算の駆動系と基本クロックです (%1)。").arg(from);
}

QString last_calculation_read_failure_text(const QString &path, const files::MountError &error)
{
    return QStringLiteral("前回の計算の駆動系を読めません (%1)。既定の値を表示しています。")
        .arg(mount_problem_text(QDir::toNativeSeparators(path), error));
}

QString last_calculation_write_failure_text(const QString &path, const files::WriteOutcome &outcome)
{
    return QStringLiteral("駆動系と基本クロックを次の起動のために保存できません (%1: %2)。")
        .arg(QDir::toNativeSeparators(path), write_failure_text(outcome));
}

QString look_setting_failure_text(const QString &path, const files::WriteOutcome &outcome)
{
    return QStringLiteral("表示の設定を保存できません (%1)。次回の起動では前の表示に戻ります。")
        .arg(store_failure_text(path, outcome));
}

} // namespace app
