#include "systemtext.h"

#include "atomicfile.h"

#include <cerrno>
#include <cstring>

namespace app {

namespace {

struct Reason {
    int error;
    const char *words;
};

// Every error number that opening, reading, writing, locking or renaming a
// file, or opening and driving a serial port, can give. One not here is
// framed by system_reason_text, never shown alone.
constexpr Reason kReasons[] = {
    {ENOENT, "ファイルまたはデバイスがありません"},
    {ENODEV, "デバイスがありません"},
    {ENXIO, "デバイスがありません"},
    {EACCES, "権限がありません"},
    {EPERM, "権限がありません"},
    {EROFS, "読み取り専用です"},
    {EBUSY, "使用中です"},
    {EIO, "入出力エラー"},
    {EAGAIN, "一時的に受け付けられません。もう一度試してください"},
#if EWOULDBLOCK != EAGAIN
    {EWOULDBLOCK, "一時的に受け付けられません。もう一度試してください"},
#endif
    {ENOSPC, "空き容量がありません"},
#ifdef EDQUOT
    {EDQUOT, "ディスク使用量の上限 (クォータ) に達しました"},
#endif
    {EFBIG, "ファイルが大きすぎます"},
    {EISDIR, "フォルダーです"},
    {ENOTDIR, "途中がフォルダーではありません"},
    {ENAMETOOLONG, "名前が長すぎます"},
    {ELOOP, "シンボリックリンクが循環しているか、多すぎます"},
    {EEXIST, "同じ名前のものがすでにあります"},
    {ENOTEMPTY, "フォルダーが空ではありません"},
    {EXDEV, "別のファイルシステムへは移せません"},
    {EMLINK, "リンクが多すぎます"},
    {EMFILE, "開いているファイルが多すぎます"},
    {ENFILE, "システム全体で開いているファイルが多すぎます"},
    {ETXTBSY, "実行中のプログラムのファイルです"},
    {EINVAL, "この対象にはできない操作か、値です"},
    {ENOTTY, "シリアルポートではありません"},
    {ESPIPE, "位置を移せない対象です (パイプなど)"},
    {EPIPE, "読む側が閉じました"},
    {EINTR, "シグナルで中断されました"},
    {ENOMEM, "メモリが足りません"},
    {ENOBUFS, "バッファが足りません"},
    {EBADF, "開いていないファイルです"},
    {EFAULT, "不正なアドレスです"},
    {EOVERFLOW, "値が大きすぎます"},
    {ERANGE, "値が範囲外です"},
    {EDEADLK, "ロックがデッドロックになります"},
    {ENOLCK, "ロックが使えません"},
    {ENOSYS, "このシステムにはない機能です"},
    {ENOTSUP, "この対象ではできない操作です"},
#if defined(EOPNOTSUPP) && EOPNOTSUPP != ENOTSUP
    {EOPNOTSUPP, "この対象ではできない操作です"},
#endif
    {ETIMEDOUT, "時間切れ"},
    {ECANCELED, "取り消されました"},
#ifdef ESTALE
    {ESTALE, "ネットワーク上のファイルが古くなりました。開き直してください"},
#endif
#ifdef EREMOTEIO
    {EREMOTEIO, "相手側の入出力エラー"},
#endif
#ifdef ESHUTDOWN
    {ESHUTDOWN, "デバイスが止まりました"},
#endif
    {ENOTCONN, "つながっていません"},
    {EPROTO, "通信の手順の誤り"},
    {ESRCH, "そのプロセスはありません"},
};

QString known_reason(int system_error)
{
    for (const Reason &reason : kReasons) {
        if (system_error != 0 && reason.error == system_error)
            return QString::fromUtf8(reason.words);
    }
    return {};
}

} // namespace

QString system_reason_text(int system_error, const QString &system_text)
{
    if (QString known = known_reason(system_error); !known.isEmpty())
        return known;
    // Not known here: the number says what it is, and the system's own
    // (English) words come only in parentheses after it.
    QString own = system_text;
    if (own.isEmpty() && system_error != 0)
        own = QString::fromLocal8Bit(std::strerror(system_error));
    QString text = QStringLiteral("システムのエラー");
    if (system_error != 0)
        text += QStringLiteral(" (errno %1)").arg(system_error);
    if (!own.isEmpty())
        text += QStringLiteral(" (%1)").arg(own);
    else if (system_error == 0)
        return QStringLiteral("原因不明のエラー");
    return text;
}

QString file_reason_text(const QFileDevice &file, int error_number)
{
    return system_reason_text(files::checked_system_error(error_number, file.errorString()),
                              file.errorString());
}

QString serial_reason_text(QSerialPort::SerialPortError error, int system_error)
{
    // Qt's own words are English: the number, or else Qt's class of the
    // error, is said instead.
    if (QString known = known_reason(system_error); !known.isEmpty())
        return known;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("デバイスがありません");
    case QSerialPort::PermissionError:
        return QStringLiteral("使用中か、権限がありません");
    case QSerialPort::OpenError:
        return QStringLiteral("すでに開いています");
    case QSerialPort::NotOpenError:
        return QStringLiteral("開いていません");
    case QSerialPort::ResourceError:
        return QStringLiteral("デバイスが使えなくなりました");
    case QSerialPort::TimeoutError:
        return QStringLiteral("時間切れ");
    case QSerialPort::UnsupportedOperationError:
        return QStringLiteral("この装置ではできない操作です");
    case QSerialPort::WriteError:
        return QStringLiteral("書き込めません");
    case QSerialPort::ReadError:
        return QStringLiteral("読み取れません");
    case QSerialPort::NoError:
    case QSerialPort::UnknownError:
        break;
    }
    return system_reason_text(system_error, {});
}

} // namespace app
