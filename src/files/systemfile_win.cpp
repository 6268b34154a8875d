// The files' system calls on Windows: the same steps as on Unix, with
// Windows' own calls where Qt has none (a write synced to disk, a write that
// gives up on a device that stops taking bytes).

#include "systemfile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <windows.h>

namespace files {

namespace {

const WriteOutcome kDone{true, {}, WriteFault::None, 0};

std::wstring wide(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle()
    {
        if (ok())
            CloseHandle(m_handle);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    bool ok() const { return m_handle && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// The common refusals said as their errno, so they are worded as on Unix;
// any other in Windows' own words.
WriteOutcome windows_failure(DWORD code)
{
    switch (code) {
    case ERROR_ACCESS_DENIED:
        return system_failure(EACCES);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return system_failure(ENOENT);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return system_failure(ENOSPC);
    default:
        return system_failure(0, qt_error_string(static_cast<int>(code)));
    }
}

bool seek(HANDLE file, qint64 at)
{
    LARGE_INTEGER to{};
    to.QuadPart = at;
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN);
}

DWORD chunk(qsizetype left)
{
    return static_cast<DWORD>(std::min<qsizetype>(left, qsizetype{1} << 20));
}

WriteOutcome write_all(HANDLE file, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(file, bytes.data() + done, chunk(bytes.size() - done), &n, nullptr))
            return windows_failure(GetLastError());
        if (n == 0)
            return system_failure(EIO);
        done += n;
    }
    return kDone;
}

// A file on a disk: not a folder, a link, a device or a pipe.
bool regular(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

} // namespace

PathKind kind_of(const QString &path, Links links)
{
    const QFileInfo info(path);
    if (links == Links::Kept && info.isSymLink())
        return {PathKind::Link, 0};
    if (!info.exists())
        return {};
    if (info.isDir())
        return {PathKind::Directory, 0};
    return {info.isFile() ? PathKind::Regular : PathKind::Other, 0};
}

// A pipe or a device, written as it stands; each write waits for the rest
// of kInPlaceWait at most, and is then cancelled.
WriteOutcome write_in_place(const QString &path, const QByteArray &bytes)
{
    const Handle device(CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!device.ok()) {
        const DWORD code = GetLastError();
        return code == ERROR_PIPE_BUSY ? refused(WriteFault::NoReader) : windows_failure(code);
    }
    const Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.ok())
        return windows_failure(GetLastError());
    const auto deadline = std::chrono::steady_clock::now() + kInPlaceWait;
    qsizetype done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at{};
        at.hEvent = event.get();
        DWORD n = 0;
        if (!WriteFile(device.get(), bytes.data() + done, chunk(bytes.size() - done), nullptr,
                       &at)) {
            if (const DWORD code = GetLastError(); code != ERROR_IO_PENDING)
                return windows_failure(code);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (WaitForSingleObject(event.get(), static_cast<DWORD>(std::max<qint64>(
                                                 0, left.count()))) != WAIT_OBJECT_0) {
            CancelIo(device.get());
            GetOverlappedResult(device.get(), &at, &n, TRUE);
            return refused(WriteFault::Stalled);
        }
        if (!GetOverlappedResult(device.get(), &at, &n, FALSE))
            return windows_failure(GetLastError());
        done += n;
    }
    return kDone;
}

FileEnd read_regular_end(const QString &path, qint64 count)
{
    FileEnd end;
    auto fail = [&end](const WriteOutcome &why) {
        end.failure = why;
        return end;
    };
    const Handle file(CreateFileW(wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok())
        return GetLastError() == ERROR_FILE_NOT_FOUND ? end : fail(windows_failure(GetLastError()));
    LARGE_INTEGER size{};
    if (!regular(file.get()) || !GetFileSizeEx(file.get(), &size))
        return fail(refused(WriteFault::NotRegular));
    const qint64 from = std::max<qint64>(0, size.QuadPart - count);
    QByteArray bytes(static_cast<qsizetype>(size.QuadPart - from), Qt::Uninitialized);
    qsizetype got = 0;
    if (!seek(file.get(), from))
        return fail(windows_failure(GetLastError()));
    while (got < bytes.size()) {
        DWORD n = 0;
        if (!ReadFile(file.get(), bytes.data() + got, chunk(bytes.size() - got), &n, nullptr))
            return fail(windows_failure(GetLastError()));
        if (n == 0)
            break; // cut short meanwhile
        got += n;
    }
    bytes.truncate(got);
    end.bytes = std::move(bytes);
    end.cut = from > 0;
    return end;
}

WriteOutcome append_synced(const QString &path, const AppendBytes &bytes_for)
{
    // A link is opened as itself, and so refused, never followed.
    const Handle file(CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.ok())
        return windows_failure(GetLastError());
    if (!regular(file.get()))
        return refused(kind_of(path, Links::Kept).kind == PathKind::Link ? WriteFault::Link
                                                                         : WriteFault::NotRegular);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return windows_failure(GetLastError());
    char last = '\n';
    DWORD n = 0;
    if (size.QuadPart > 0 && (!seek(file.get(), size.QuadPart - 1) ||
                              !ReadFile(file.get(), &last, 1, &n, nullptr) || n != 1))
        last = '\n';
    const std::optional<QByteArray> bytes = bytes_for(size.QuadPart, last);
    if (!bytes)
        return kDone;
    if (!seek(file.get(), size.QuadPart))
        return windows_failure(GetLastError());
    WriteOutcome outcome = write_all(file.get(), *bytes);
    // A write cut short (a full disk) is taken back.
    if (!outcome.ok && seek(file.get(), size.QuadPart))
        SetEndOfFile(file.get());
    if (outcome.ok && !FlushFileBuffers(file.get()))
        outcome = windows_failure(GetLastError());
    return outcome;
}

} // namespace files
