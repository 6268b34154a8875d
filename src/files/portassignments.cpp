#include "portassignments.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

namespace files {

namespace {

// Twenty lines of paths; anything larger is not this file.
constexpr qint64 kMaxFileBytes = qint64{64} * 1024;
constexpr qsizetype kMaxDeviceLength = 1024;

// The file names a port as the calc floor does ("Com3"), in its own UTF-8
// bytes: the window's and the command line's QString name is rwlink's.
QByteArray port_key(int n)
{
    return QByteArray::fromStdString(calc::port_name(n));
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
        if (const auto n = calc::port_number(key.toStdString()))
            assignments[static_cast<std::size_t>(*n - 1)] =
                acceptable_device(device) ? device : QString();
    }
    return assignments;
}

QByteArray port_assignments_bytes(const PortAssignments &assignments)
{
    QByteArray text("# rw7300-speedtable: the serial device of each port name\n");
    for (int n = 1; n <= calc::kPortCount; ++n) {
        const QString &device = assignments[static_cast<std::size_t>(n - 1)];
        if (acceptable_device(device))
            text += port_key(n) + '=' + device.toUtf8() + '\n';
    }
    return text;
}

AssignmentsRead read_port_assignments(const QString &path)
{
    AssignmentsRead read;
    const QFileInfo info(path);
    if (!info.exists())
        return read;
    // A FIFO or a device would block or never end.
    if (!info.isFile()) {
        read.fault = AssignmentsRead::Fault::NotRegular;
        return read;
    }
    if (info.size() > kMaxFileBytes) {
        read.fault = AssignmentsRead::Fault::TooLarge;
        read.size = info.size();
        return read;
    }
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        read.fault = AssignmentsRead::Fault::Unreadable;
        read.reason = file.errorString();
        read.system_error = checked_system_error(errno, read.reason);
        return read;
    }
    read.assignments = parse_port_assignments(file.read(kMaxFileBytes));
    return read;
}

WriteOutcome write_port_assignments(const QString &path, const PortAssignments &assignments)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return {false, QString::fromLocal8Bit(std::strerror(errno)), WriteFault::NoFolder, errno};
    return write_atomically(path, port_assignments_bytes(assignments), Target::RegularFile);
}

QByteArray port_assignment_changed(const QByteArray &original, int number, const QString &device)
{
    const QByteArray key = port_key(number);
    // The port a line sets, or 0.
    auto port_of = [](const QByteArray &line) {
        const QByteArray text = line.trimmed();
        const qsizetype equals = text.indexOf('=');
        if (text.startsWith('#') || text.startsWith(';') || equals < 0)
            return 0;
        return calc::port_number(text.left(equals).trimmed().toStdString()).value_or(0);
    };
    auto is_port_line = [&](const QByteArray &line) { return port_of(line) == number; };
    QList<QByteArray> lines = original.split('\n');
    const QByteArray setting = key + '=' + device.toUtf8();
    if (device.isEmpty()) {
        lines.removeIf(is_port_line);
        return lines.join('\n');
    }
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (is_port_line(lines[i])) {
            lines[i] = setting + (lines[i].endsWith('\r') ? "\r" : "");
            return lines.join('\n');
        }
    }
    if (original.isEmpty())
        return port_assignments_bytes({}) + setting + '\n';
    // A new port goes among the others in order: after the last lower one,
    // else before the first higher one.
    qsizetype after = -1;
    qsizetype before = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int n = port_of(lines[i]);
        if (n > 0 && n < number)
            after = i;
        else if (n > number && before < 0)
            before = i;
    }
    if (after >= 0 || before >= 0) {
        const qsizetype at = after >= 0 ? after : before;
        const bool cr = lines[at].endsWith('\r');
        lines.insert(after >= 0 ? after + 1 : before, setting + (cr ? "\r" : ""));
        return lines.join('\n');
    }
    const QByteArray eol = lines.first().endsWith('\r') ? "\r\n" : "\n";
    QByteArray out = original;
    if (!out.endsWith('\n'))
        out += out.endsWith('\r') ? QByteArray("\n") : eol;
    return out + setting + eol;
}

WriteOutcome change_port_assignment(const QString &path, int number, const QString &device)
{
    return update_store(path, kMaxFileBytes,
                        [&](const std::optional<QByteArray> &current) -> std::optional<QByteArray> {
                            // Nothing to clear where there is no file.
                            if (!current && device.isEmpty())
                                return std::nullopt;
                            const QByteArray original = current.value_or(QByteArray());
                            QByteArray changed = port_assignment_changed(original, number, device);
                            if (current && changed == original)
                                return std::nullopt;
                            return changed;
                        });
}

} // namespace files
