#include "ports.h"

#include <algorithm>
#include <utility>

namespace rwlink {

namespace {

bool any_assigned(const Assignments &assigned)
{
    return std::any_of(assigned.begin(), assigned.end(),
                       [](const QString &device) { return !device.isEmpty(); });
}

} // namespace

QString port_name(int number)
{
    return QString::fromStdString(calc::port_name(number));
}

void add_stable_names(QList<DetectedPort> &ports, const QStringList &links,
                      const DeviceResolver &resolve)
{
    for (const QString &link : links) {
        const QString target = resolve(link);
        if (target.isEmpty())
            continue;
        for (DetectedPort &port : ports) {
            if (port.location == target && port.stable_name.isEmpty())
                port.stable_name = link;
        }
    }
}

PortMap::PortMap(Assignments assigned, QList<DetectedPort> detected, DeviceResolver resolve,
                 DeviceAccess access, GroupCheck groups)
    : m_assigned(std::move(assigned)), m_detected(std::move(detected)),
      m_resolve(std::move(resolve)), m_access(std::move(access)), m_groups(std::move(groups))
{
}

std::optional<DetectedPort> PortMap::find(const QString &device) const
{
    if (device.isEmpty())
        return std::nullopt;
    for (const DetectedPort &port : m_detected) {
        if (port.location == device || (!port.stable_name.isEmpty() && port.stable_name == device))
            return port;
    }
    // Another link to a detected device (made by hand, say).
    const QString target = resolved(device);
    if (target.isEmpty())
        return std::nullopt;
    for (const DetectedPort &port : m_detected) {
        if (port.location == target)
            return port;
    }
    return std::nullopt;
}

std::optional<DetectedPort> PortMap::single_adapter() const
{
    if (any_assigned(m_assigned))
        return std::nullopt;
    std::optional<DetectedPort> adapter;
    for (const DetectedPort &port : m_detected) {
        if (!port.is_usb())
            continue;
        if (adapter)
            return std::nullopt; // more than one: the operator must choose
        adapter = port;
    }
    return adapter;
}

QString PortMap::stable_name(const QString &device) const
{
    const auto port = find(device);
    return port && !port->stable_name.isEmpty() ? port->stable_name : device;
}

PortMapping PortMap::mapping(int number) const
{
    PortMapping m;
    m.number = number;
    const bool in_range = number >= 1 && number <= calc::kPortCount;
    if (const auto device = override_device(number)) {
        m.device = *device;
        m.source = PortSource::Override;
    } else if (in_range && !m_assigned[static_cast<std::size_t>(number - 1)].isEmpty()) {
        m.device = m_assigned[static_cast<std::size_t>(number - 1)];
        m.source = PortSource::Assigned;
    } else if (const auto adapter = number == 1 ? single_adapter() : std::nullopt) {
        m.device = adapter->stable_name.isEmpty() ? adapter->location : adapter->stable_name;
        m.source = PortSource::SingleAdapter;
    } else {
        m.device = default_device(number);
        m.source = PortSource::Default;
    }
    look_up(m);
    return m;
}

std::optional<int> PortMap::assigned_present_port() const
{
    std::optional<int> any;
    for (int n = 1; n <= calc::kPortCount; ++n) {
        const PortMapping m = mapping(n);
        if (m.source != PortSource::Assigned || !m.detected)
            continue;
        if (m.detected->is_usb())
            return n;
        any = any.value_or(n);
    }
    return any;
}

PortMapping PortMap::examine(const QString &device) const
{
    PortMapping m;
    m.number = 0;
    m.device = device;
    look_up(m);
    return m;
}

void PortMap::look_up(PortMapping &m) const
{
    m.detected = find(m.device);
    if (m.detected)
        m.presence = Presence::Detected;
#ifndef Q_OS_WIN
    else if (!resolved(m.device).isEmpty())
        m.presence = Presence::Exists;
#endif
    else
        m.presence = Presence::Missing;
    // Asked each time: a new log-in or a udev rule may have changed it.
    m.access_error = m.presence != Presence::Missing && m_access ? m_access(m.device) : 0;
    // Only then: the advice for a refused device depends on it.
    if (m.refused() && m_groups)
        m.serial_group = m_groups(kSerialGroup);
}

QString PortMap::resolved(const QString &device) const
{
    return m_resolve ? m_resolve(device) : QString();
}

QString default_device(int n)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}

std::optional<QString> override_device(int n)
{
    const QString value = qEnvironmentVariable(qPrintable(QStringLiteral("RW7300_COM%1").arg(n)));
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

} // namespace rwlink
