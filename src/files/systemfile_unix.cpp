// The files' system calls on Linux and other Unix systems.

#include "systemfile.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

using Clock = std::chrono::steady_clock;

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

const WriteOutcome kDone{true, {}, WriteFault::None, 0};

WriteOutcome write_all(int fd, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.data() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return system_failure(n < 0 ? errno : EIO);
        done += n;
    }
    return kDone;
}

// All of count bytes from offset, fewer when the file was cut short meanwhile.
std::optional<QByteArray> read_at(int fd, qint64 offset, qint64 count, int &error)
{
    QByteArray bytes(static_cast<qsizetype>(count), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got,
                                  static_cast<std::size_t>(bytes.size() - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

} // namespace

PathKind kind_of(const QString &path, Links links)
{
    struct stat st {};
    const int looked = links == Links::Followed ? ::stat(native(path).constData(), &st)
                                                : ::lstat(native(path).constData(), &st);
    if (looked != 0)
        return errno == ENOENT ? PathKind{} : PathKind{PathKind::Unknown, errno};
    if (S_ISREG(st.st_mode))
        return {PathKind::Regular, 0};
    if (S_ISDIR(st.st_mode))
        return {PathKind::Directory, 0};
    return {S_ISLNK(st.st_mode) ? PathKind::Link : PathKind::Other, 0};
}

// A FIFO, a terminal, a device: there is nothing to replace, and replacing
// it would destroy it; the bytes go straight in, without ever waiting on a
// reader that is not there or has stopped reading.
WriteOutcome write_in_place(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(native(path).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENXIO ? refused(WriteFault::NoReader) : system_failure(errno);
    const auto deadline = Clock::now() + kInPlaceWait;
    qsizetype done = 0;
    WriteOutcome outcome = kDone;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            outcome = system_failure(errno);
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd wait{fd, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) == 0) {
            outcome = refused(WriteFault::Stalled);
            break;
        }
        if (wait.revents & (POLLERR | POLLHUP)) {
            outcome = system_failure(EPIPE);
            break;
        }
    }
    if (::close(fd) != 0 && outcome.ok)
        outcome = system_failure(errno);
    return outcome;
}

FileEnd read_regular_end(const QString &path, qint64 count)
{
    FileEnd end;
    auto fail = [&end](const WriteOutcome &why) {
        end.failure = why;
        return end;
    };
    const int fd = ::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? end : fail(system_failure(errno));
    // Replaced by something else since it was looked at.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(refused(WriteFault::NotRegular));
    }
    const qint64 from = std::max<qint64>(0, st.st_size - count);
    int error = 0;
    end.bytes = read_at(fd, from, st.st_size - from, error);
    end.cut = from > 0;
    ::close(fd);
    return end.bytes ? end : fail(system_failure(error));
}

WriteOutcome append_synced(const QString &path, const AppendBytes &bytes_for)
{
    // Never through a link: its target is some other file of the user's.
    const int fd =
        ::open(native(path).constData(),
               O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == ELOOP ? refused(WriteFault::Link) : system_failure(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refused(WriteFault::NotRegular);
    }
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) != 1)
        last = '\n';
    const std::optional<QByteArray> bytes = bytes_for(st.st_size, last);
    WriteOutcome outcome = bytes ? write_all(fd, *bytes) : kDone;
    // A write cut short (a full disk) is taken back; were even that
    // refused, readers pass the torn line over.
    if (!outcome.ok) {
        [[maybe_unused]] const int taken_back = ::ftruncate(fd, st.st_size);
    }
    if (bytes && outcome.ok && ::fdatasync(fd) != 0)
        outcome = system_failure(errno);
    if (::close(fd) != 0 && outcome.ok)
        outcome = system_failure(errno);
    return outcome;
}

} // namespace files
