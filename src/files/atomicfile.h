#pragma once

// Every file the program writes goes through here, under one rule:
// - a regular file (or a path not there yet) is replaced whole: the bytes go
//   to a temporary file beside it, which takes its place only when every
//   byte has been written and flushed; a failure leaves the old file, or no
//   file, exactly as before;
// - a symbolic link is followed and its target rewritten, so the link stays;
// - a FIFO, a terminal or a device is written in place when the caller
//   allows it (a listing may go to a pipe), never replaced, and never waited
//   for: a FIFO nobody reads is refused at once, a reader that stops
//   reading after kInPlaceWait; files that must be read back (mount files,
//   the per-user stores) take only a regular file;
// - a directory is refused.
// Nothing here blocks for longer than kInPlaceWait or, for a store, its
// lock's bounded wait.

#include <QByteArray>
#include <QString>

class QLockFile;

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace files {

// Why a write did not happen; the words belong to the application.
enum class WriteFault {
    None,
    NoName,          // an empty path
    Directory,       // a folder where a file is meant
    NotRegular,      // a FIFO or device where only a regular file will do
    NoReader,        // a FIFO that nobody reads
    Stalled,         // a FIFO or device that took no more bytes within kInPlaceWait
    TooLarge,        // an existing store too large to be one
    Locked,          // the store's lock was not had in time: holder says who kept it
    NoFolder,        // the store's folder could not be made: error says why
    System,          // the system said no: system_error and error say why
    NotMountFile,    // an existing file that is no mount file (mountfile.h)
    UnreadableMount, // a mount file this version cannot read (mountfile.h)
    NotReadBack,     // written, but not read back as written (a full disk)
    NotDevice,       // a name that cannot be a device (portassignments.h)
    PortName,        // a port's name where a device's path is meant
    NoSuchPort,      // a port number outside 1 to calc::kPortCount
    Link,            // a symbolic link where the program's own file is meant (the send record)
};

// error when reason is the system's own words for it (or there are none);
// 0 otherwise, so that a stale errno is never given as the cause.
int checked_system_error(int error, const QString &reason);

// Who kept a store's lock when a run gave up waiting for it.
struct LockHolder {
    qint64 pid = 0;                    // the last holder's; 0 when its lock file could not be read
    QString host;                      // the computer it runs on, when not this one
    std::chrono::milliseconds held{0}; // how long this run saw it hold the lock
    std::chrono::milliseconds waited{0}; // how long this run waited in all
    int turns = 0;                       // how often the lock passed to another holder meanwhile
};

struct WriteOutcome {
    WriteOutcome() = default;
    WriteOutcome(bool ok_, QString error_, WriteFault fault_, int system_error_)
        : ok(ok_), error(std::move(error_)), fault(fault_), system_error(system_error_)
    {
    }
    bool ok = false;
    QString error; // the system's own words, when it said no
    WriteFault fault = WriteFault::None;
    int system_error = 0; // errno, when the system refused
    LockHolder holder;    // when fault is Locked
};

inline constexpr std::chrono::milliseconds kInPlaceWait{1000};

enum class Target {
    AnyFile,    // a FIFO, a terminal or a device is written in place
    RegularFile // anything but a regular file (or a new one) is refused
};

WriteOutcome write_atomically(const QString &path, const QByteArray &bytes,
                              Target target = Target::AnyFile);

// The bytes of a regular file of at most max_bytes, read without ever
// waiting (a FIFO put in its place meanwhile is not opened for good);
// nothing when the file is not there.
struct ReadOutcome {
    std::optional<QByteArray> bytes;
    WriteOutcome failure; // ok when the file was read or is missing
};
ReadOutcome read_regular_file(const QString &path, qint64 max_bytes);

// A store's writer waits for its lock while the lock passes from holder to
// holder, up to kLockQueueWait in all, and gives up when one holder keeps it
// for kLockWait. A lock whose owner died is taken over at once, one older
// than kStaleLock in any case.
inline constexpr std::chrono::milliseconds kLockWait{5000};
inline constexpr std::chrono::milliseconds kLockQueueWait{30000};
inline constexpr std::chrono::milliseconds kStaleLock{30000};

// Makes the folder of a per-user store and takes the lock given, the one
// beside it (path + ".lock"), as every writer of a store must; ok once held.
WriteOutcome lock_store(const QString &path, QLockFile &lock);

// Changes a per-user store so that runs at the same time lose nothing: under
// a lock file beside it (path + ".lock"), the file is read again (nothing
// when it is missing), change turns its bytes into the new ones (nothing:
// leave the file as it is) and they replace it atomically. Only a regular
// file of at most max_bytes is a store; the folder is made when needed.
using StoreChange = std::function<std::optional<QByteArray>(const std::optional<QByteArray> &)>;
WriteOutcome update_store(const QString &path, qint64 max_bytes, const StoreChange &change);

} // namespace files
