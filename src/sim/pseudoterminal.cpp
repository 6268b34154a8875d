#include "pseudoterminal.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <climits>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString system_error(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

PseudoTerminal::PseudoTerminal(QObject *parent) : QObject(parent) {}

PseudoTerminal::~PseudoTerminal()
{
    if (!m_link.isEmpty() && QFile::symLinkTarget(m_link) == m_device)
        QFile::remove(m_link);
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PseudoTerminal::open()
{
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        m_error_text = QStringLiteral("疑似端末を作れません: %1").arg(system_error(errno));
        return false;
    }
    char name[PATH_MAX] = {};
    termios settings{};
    // Raw, so that no byte the tool writes is translated or echoed back.
    if (::ttyname_r(m_slave, name, sizeof name) != 0 || ::tcgetattr(m_slave, &settings) != 0) {
        m_error_text = QStringLiteral("疑似端末を設定できません: %1").arg(system_error(errno));
        return false;
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(m_slave, TCSANOW, &settings) != 0 ||
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0) {
        m_error_text = QStringLiteral("疑似端末を設定できません: %1").arg(system_error(errno));
        return false;
    }
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_device = QString::fromLocal8Bit(name);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PseudoTerminal::on_readable);
    return true;
}

bool PseudoTerminal::publish(const QString &path)
{
    const QFileInfo old(path);
    if (old.isSymLink()) {
        if (!QFile::remove(path)) {
            m_error_text = QStringLiteral("古いリンク %1 を置き換えられません").arg(path);
            return false;
        }
    } else if (old.exists()) {
        m_error_text =
            QStringLiteral("%1 はシンボリックリンクではないので、置き換えません").arg(path);
        return false;
    }
    if (::symlink(QFile::encodeName(m_device).constData(), QFile::encodeName(path).constData()) !=
        0) {
        m_error_text = QStringLiteral("リンク %1 を作れません: %2").arg(path, system_error(errno));
        return false;
    }
    m_link = QFileInfo(path).absoluteFilePath();
    return true;
}

void PseudoTerminal::on_readable()
{
    // Take everything there is: one notification may stand for many bytes.
    QByteArray bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        const int error = errno;
        if (n > 0) {
            bytes.append(chunk, n);
            continue;
        }
        if (n < 0 && error == EINTR)
            continue;
        if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK))
            break;
        // We hold the slave open, so this is not the tool going away.
        m_notifier->setEnabled(false);
        if (!bytes.isEmpty())
            emit received(bytes);
        emit lost(n == 0 ? QStringLiteral("相手が閉じました") : system_error(error));
        return;
    }
    if (!bytes.isEmpty())
        emit received(bytes);
}
