#include "systemname.h"

#include <QFile>
#include <QScopeGuard>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

namespace {

bool is_text(const QByteArray &name)
{
    return QFile::encodeName(QFile::decodeName(name)) == name;
}

// The system's refusal as a fact; the words come where it is said.
files::WriteOutcome refused(int error)
{
    return {false, {}, files::WriteFault::System, error};
}

// The process's own way to a file or folder it holds open, in plain ASCII.
QString fd_path(int fd)
{
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

} // namespace

ReadablePath::ReadablePath(const QByteArray &name)
{
    if (is_text(name)) {
        m_path = QFile::decodeName(name);
        return;
    }
    // O_PATH opens nothing for reading yet, so a FIFO does not block here;
    // what reads the path decides what to do with it.
    m_fd = ::open(name.constData(), O_PATH | O_CLOEXEC);
    m_path = m_fd >= 0 ? fd_path(m_fd) : fd_path(-1);
}

ReadablePath::~ReadablePath()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

files::WriteOutcome write_named(const QByteArray &name,
                                const std::function<files::WriteOutcome(const QString &)> &write)
{
    if (is_text(name))
        return write(QFile::decodeName(name));
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? "/" : name.left(slash);
    const QByteArray base = name.mid(slash + 1);
    if (base.isEmpty())
        return {false, {}, files::WriteFault::Directory, 0};
    const int folder_fd = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd < 0)
        return refused(errno);
    const auto close_folder = qScopeGuard([folder_fd] { ::close(folder_fd); });
    const QString folder_path = fd_path(folder_fd) + QLatin1Char('/');
    if (is_text(base))
        return write(folder_path + QFile::decodeName(base));

    struct stat named {};
    if (::fstatat(folder_fd, base.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(named.st_mode))
        return {false, {}, files::WriteFault::Directory, 0};
    // The stand-in: a link to what is there (a mount file keeps its
    // comments, a FIFO is written in place), or nothing when nothing is.
    QByteArray stand_in;
    for (int attempt = 0;; ++attempt) {
        if (attempt == 100)
            return refused(EEXIST);
        stand_in = ".rw7300-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt) +
                   ".name";
        if (::linkat(folder_fd, base.constData(), folder_fd, stand_in.constData(), 0) == 0)
            break;
        if (errno == EEXIST)
            continue;
        if (errno != ENOENT)
            return refused(errno);
        struct stat taken {};
        if (::fstatat(folder_fd, stand_in.constData(), &taken, AT_SYMLINK_NOFOLLOW) != 0)
            break; // nothing by either name: the stand-in is a new file
    }
    auto drop_stand_in = qScopeGuard([&] { ::unlinkat(folder_fd, stand_in.constData(), 0); });

    files::WriteOutcome outcome = write(folder_path + QString::fromLatin1(stand_in));
    if (!outcome.ok)
        return outcome;
    struct stat written {};
    if (::fstatat(folder_fd, stand_in.constData(), &written, AT_SYMLINK_NOFOLLOW) != 0)
        return refused(errno);
    const bool in_place =
        ::fstatat(folder_fd, base.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == written.st_dev && named.st_ino == written.st_ino;
    if (in_place)
        return outcome;
    if (::renameat(folder_fd, stand_in.constData(), folder_fd, base.constData()) != 0)
        return refused(errno);
    drop_stand_in.dismiss();
    return outcome;
}

} // namespace app
