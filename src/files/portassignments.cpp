#include "portassignments.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace files {

namespace {

// Twenty lines of paths; anything larger is not this file.
constexpr qint64 kMaxFileBytes = qint64{64} * 1024;
constexpr qsizetype kMaxDeviceLength = 1024;

QString port_key(int n)
{
    return QStringLiteral("Com%1").arg(n);
}

} // namespace

QString port_assignments_path()
{
    // Named here rather than by the application name, so the window, the
    // command line and every tool beside them find the same file.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("rw7300-speedtable/") + kPortsFileName);
}

bool acceptable_device(const QString &device)
{
    if (device.isEmpty() || device.size() > kMaxDeviceLength)
        return false;
    for (const QChar c : device) {
        if (c.category() == QChar::Other_Control || c.isSurrogate() ||
            c == QChar::ReplacementCharacter)
            return false;
    }
    return device.trimmed() == device;
}

PortAssignments parse_port_assignments(const QByteArray &bytes)
{
    PortAssignments assignments{};
    const QString text = QString::fromUtf8(bytes);
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed(); // also drops the CR of CR LF
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString device = line.mid(equals + 1).trimmed();
        for (int n = 1; n <= kAssignedPorts; ++n) {
            if (key == port_key(n)) {
                assignments[static_cast<std::size_t>(n - 1)] =
                    acceptable_device(device) ? device : QString();
                break;
            }
        }
    }
    return assignments;
}

QByteArray port_assignments_bytes(const PortAssignments &assignments)
{
    QString text = QStringLiteral("# rw7300-speedtable: the serial device of each port name\n");
    for (int n = 1; n <= kAssignedPorts; ++n) {
        const QString &device = assignments[static_cast<std::size_t>(n - 1)];
        if (acceptable_device(device))
            text += port_key(n) + QLatin1Char('=') + device + QLatin1Char('\n');
    }
    return text.toUtf8();
}

AssignmentsRead read_port_assignments(const QString &path)
{
    AssignmentsRead read;
    const QFileInfo info(path);
    if (!info.exists())
        return read;
    // A FIFO or a device would block or never end.
    if (!info.isFile()) {
        read.error = QStringLiteral("通常のファイルではありません");
        return read;
    }
    if (info.size() > kMaxFileBytes) {
        read.error = QStringLiteral("大きすぎます (%1 バイト)").arg(info.size());
        return read;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = file.errorString();
        return read;
    }
    read.assignments = parse_port_assignments(file.read(kMaxFileBytes));
    return read;
}

WriteOutcome write_port_assignments(const QString &path, const PortAssignments &assignments)
{
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        return {false, QStringLiteral("フォルダー %1 を作れません").arg(dir)};
    return write_atomically(path, port_assignments_bytes(assignments));
}

} // namespace files
