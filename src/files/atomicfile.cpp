#include "atomicfile.h"

#include "systemfile.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <thread>

namespace files {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How often a waiter looks at a busy lock: soon at first, then every
// kLastLockPause, a few dozen times a second at most.
constexpr std::chrono::milliseconds kFirstLockPause = 1ms;
constexpr std::chrono::milliseconds kLastLockPause = 16ms;

std::chrono::milliseconds as_ms(Clock::duration d)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(d);
}

WriteOutcome replace_file(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return system_failure(errno, file.errorString());
    // Qt 6.4's commit() reports success even when its own final flush
    // failed (disk full) and then renames the truncated file over the old
    // one, so flush and check here, and give up before commit on any error.
    const bool written =
        file.write(bytes) == bytes.size() && file.flush() && file.error() == QFileDevice::NoError;
    if (!written) {
        const int error = errno;
        const QString reason = file.errorString();
        file.cancelWriting();
        return system_failure(error, reason);
    }
    if (!file.commit())
        return system_failure(errno, file.errorString());
    return {true, {}, WriteFault::None, 0};
}

// Who holds a lock, as far as its file tells: a holder that unlocks and
// locks again makes a new file, so a new time.
struct HolderSeen {
    qint64 pid = 0;
    QString host;
    QDateTime since;
    bool operator==(const HolderSeen &) const = default;
};

HolderSeen holder_of(const QLockFile &lock)
{
    HolderSeen seen;
    QString app;
    if (!lock.getLockInfo(&seen.pid, &seen.host, &app))
        seen = {};
    if (seen.host == QSysInfo::machineHostName())
        seen.host.clear();
    seen.since = QFileInfo(lock.fileName()).lastModified();
    return seen;
}

// QLockFile::tryLock's own wait sleeps longer and longer, so among many
// waiters most wake too seldom to find the lock free, and give up while it
// changes hands many times. Here a waiter looks often, without spinning,
// and gives up only on one holder that keeps the lock for kLockWait, or
// after kLockQueueWait in all.
WriteOutcome wait_for_lock(QLockFile &lock)
{
    const auto started = Clock::now();
    auto since = started;
    HolderSeen last;
    int turns = -1; // the first holder seen is no turn
    auto pause = kFirstLockPause;
    while (!lock.tryLock(0)) {
        if (lock.error() == QLockFile::PermissionError)
            return system_failure(EACCES);
        if (lock.error() != QLockFile::LockFailedError)
            return system_failure(errno ? errno : EIO);
        const auto now = Clock::now();
        if (const HolderSeen holder = holder_of(lock); turns < 0 || holder != last) {
            last = holder;
            since = now;
            ++turns;
        }
        if (now - since >= kLockWait || now - started >= kLockQueueWait) {
            WriteOutcome failed = refused(WriteFault::Locked);
            failed.holder = {last.pid, last.host, as_ms(now - since), as_ms(now - started), turns};
            return failed;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, kLastLockPause);
    }
    return {true, {}, WriteFault::None, 0};
}

} // namespace

WriteOutcome refused(WriteFault fault)
{
    return {false, {}, fault, 0};
}

WriteOutcome system_failure(int error, const QString &reason)
{
    return {false, reason.isEmpty() ? QString::fromLocal8Bit(std::strerror(error)) : reason,
            WriteFault::System, checked_system_error(error, reason)};
}

int checked_system_error(int error, const QString &reason)
{
    if (error == 0 || reason.isEmpty())
        return error;
    return reason.contains(qt_error_string(error)) ? error : 0;
}

WriteOutcome write_atomically(const QString &path, const QByteArray &bytes, Target target)
{
    if (path.isEmpty())
        return refused(WriteFault::NoName);
    // What the path leads to decides, a link followed; QSaveFile itself
    // writes a link's target and keeps the link.
    switch (const PathKind kind = kind_of(path); kind.kind) {
    case PathKind::Missing:
    case PathKind::Regular:
        return replace_file(path, bytes);
    case PathKind::Directory:
        return refused(WriteFault::Directory);
    case PathKind::Unknown:
        return system_failure(kind.system_error);
    case PathKind::Link:
    case PathKind::Other:
        break;
    }
    if (target == Target::RegularFile)
        return refused(WriteFault::NotRegular);
    return write_in_place(path, bytes);
}

FileEnd read_end(const QString &path, qint64 count)
{
    FileEnd end;
    // Looked at before it is opened: opening a serial device can move its
    // lines, opening a FIFO can wait.
    const PathKind kind = kind_of(path);
    switch (kind.kind) {
    case PathKind::Missing:
        return end;
    case PathKind::Regular:
        return read_regular_end(path, count);
    case PathKind::Unknown:
        end.failure = system_failure(kind.system_error);
        return end;
    case PathKind::Directory:
        end.failure = refused(WriteFault::Directory);
        return end;
    case PathKind::Link:
    case PathKind::Other:
        break;
    }
    end.failure = refused(WriteFault::NotRegular);
    return end;
}

ReadOutcome read_regular_file(const QString &path, qint64 max_bytes)
{
    ReadOutcome read;
    FileEnd end = read_end(path, max_bytes + 1);
    read.failure = end.failure;
    if (!end.failure.ok || !end.bytes)
        return read;
    if (end.cut || end.bytes->size() > max_bytes) {
        read.failure = refused(WriteFault::TooLarge);
        return read;
    }
    read.bytes = std::move(end.bytes);
    return read;
}

WriteOutcome lock_store(const QString &path, QLockFile &lock)
{
    if (path.isEmpty())
        return refused(WriteFault::NoName);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        WriteOutcome failed = system_failure(errno ? errno : EIO);
        failed.fault = WriteFault::NoFolder;
        return failed;
    }
    lock.setStaleLockTime(static_cast<int>(kStaleLock.count()));
    return wait_for_lock(lock);
}

WriteOutcome update_store(const QString &path, qint64 max_bytes, const StoreChange &change)
{
    QLockFile lock(path + QStringLiteral(".lock"));
    if (const WriteOutcome held = lock_store(path, lock); !held.ok)
        return held;
    const ReadOutcome current = read_regular_file(path, max_bytes);
    if (!current.failure.ok)
        return current.failure;
    const std::optional<QByteArray> changed = change(current.bytes);
    if (!changed)
        return {true, {}, WriteFault::None, 0};
    return write_atomically(path, *changed, Target::RegularFile);
}

} // namespace files
