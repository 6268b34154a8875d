#include "systemtext.h"

#include "atomicfile.h"

#include <cerrno>

namespace app {

namespace {

struct Reason {
    int error;
    const char *words;
};

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
    {ENOSPC, "空き容量がありません"},
    {EISDIR, "フォルダーです"},
    {ENOTDIR, "途中がフォルダーではありません"},
    {EPIPE, "読む側が閉じました"},
    {ENOTTY, "シリアルポートではありません"},
};

} // namespace

QString system_reason_text(int system_error, const QString &system_text)
{
    if (system_error != 0) {
        for (const Reason &reason : kReasons) {
            if (reason.error == system_error)
                return QString::fromUtf8(reason.words);
        }
    }
    return system_text;
}

QString file_reason_text(const QFileDevice &file, int error_number)
{
    return system_reason_text(files::checked_system_error(error_number, file.errorString()),
                              file.errorString());
}

QString serial_reason_text(QSerialPort::SerialPortError error, int system_error)
{
    // Qt's own words and the system's are English: the number, or else
    // Qt's class of the error, is said instead.
    if (QString known = system_reason_text(system_error, {}); !known.isEmpty())
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
    if (system_error != 0)
        return QStringLiteral("システムエラー %1").arg(system_error);
    return QStringLiteral("原因不明のエラー");
}

} // namespace app
