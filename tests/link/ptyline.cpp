#include "ptyline.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

PtyLine::PtyLine(int port_number)
    : m_variable(QByteArray("RW7300_COM") + QByteArray::number(port_number))
{
    int master = -1;
    if (!m_dir.isValid() || ::openpty(&master, &m_slave, nullptr, nullptr, nullptr) != 0)
        return;
    // The slave stays open here too, so the master never reads "no slave"
    // between two actions.
    m_path = m_dir.filePath(QStringLiteral("controller"));
    if (!QFile::link(QString::fromLocal8Bit(::ttyname(m_slave)), m_path)) {
        ::close(master);
        return;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    qputenv(m_variable.constData(), m_path.toLocal8Bit());
    m_master = master;
}

PtyLine::~PtyLine()
{
    qunsetenv(m_variable.constData());
    hang_up();
    if (m_slave >= 0)
        ::close(m_slave);
}

void PtyLine::hang_up()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

QByteArray PtyLine::read_all(std::chrono::milliseconds quiet)
{
    QByteArray bytes;
    pollfd fd{m_master, POLLIN, 0};
    while (m_master >= 0 && ::poll(&fd, 1, static_cast<int>(quiet.count())) > 0) {
        char chunk[4096];
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        bytes.append(chunk, n);
    }
    return bytes;
}

QStringList PtyLine::bodies(const QByteArray &bytes)
{
    QStringList result;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype end = bytes.indexOf('#', at + 2);
        if (!bytes.mid(at).startsWith("#:") || end < 0) {
            result << QStringLiteral("<junk %1>").arg(QString::fromLatin1(bytes.mid(at)));
            break;
        }
        result << QString::fromLatin1(bytes.mid(at + 2, end - at - 2));
        at = end + 1;
    }
    return result;
}
