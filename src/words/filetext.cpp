#include "filetext.h"

namespace app {

namespace {

QString mount_fault_text(const files::MountError &error)
{
    switch (error.kind) {
    case files::MountError::Kind::NulByte:
        return QStringLiteral("NUL バイトがあります (テキストのファイルではないか、壊れています)");
    case files::MountError::Kind::CrLineEnds:
        return QStringLiteral(
            "行末が CR だけです。行末を LF または CR LF にして保存し直してください");
    case files::MountError::Kind::Described:
        break;
    }
    return error.message;
}

} // namespace

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
        return QStringLiteral("ほかの rw7300-speedtable が %1 秒以上変更中です。"
                              "しばらくしてからやり直してください")
            .arg(std::chrono::duration<double>(files::kLockWait).count());
    case WriteFault::NoFolder:
        return QStringLiteral("保存先のフォルダーを作れません: %1").arg(outcome.error);
    case WriteFault::NotMountFile:
        return QStringLiteral("マウントファイルではないファイルがすでにあるため、上書きしません。"
                              "別の名前で保存してください");
    case WriteFault::UnreadableMount:
        return QStringLiteral("このプログラムでは読めないマウントファイルのため、上書きしません。"
                              "別の名前で保存してください");
    case WriteFault::System:
    case WriteFault::None:
        break;
    }
    return outcome.error;
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

QString mount_problem_text(const QString &path, const files::MountError &error)
{
    files::MountError described = error;
    described.message = mount_fault_text(error);
    described.kind = files::MountError::Kind::Described;
    return files::mount_error_text(path, described);
}

} // namespace app
