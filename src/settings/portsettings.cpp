#include "portsettings.h"

#include "frame.h"

#include <utility>

namespace app {

PortSettings::PortSettings(rwlink::Devices devices, QString path)
    : m_devices(std::move(devices)),
      m_path(path.isEmpty() ? files::port_assignments_path() : std::move(path))
{
    refresh();
}

void PortSettings::refresh()
{
    m_read = files::read_port_assignments(m_path);
    m_map = rwlink::PortMap(m_read.assignments, m_devices.ports(), m_devices.resolve,
                            m_devices.access, m_devices.groups);
}

files::WriteOutcome PortSettings::assign(int number, const QString &device)
{
    const QString trimmed = device.trimmed();
    if (!files::acceptable_device(trimmed))
        return {false, {}, files::WriteFault::NotDevice, 0};
    // A port name would be opened as a device of that name (/dev/Com5).
    if (rwlink::port_number_for(trimmed))
        return {false, {}, files::WriteFault::PortName, 0};
    return store(number, m_map.stable_name(trimmed));
}

files::WriteOutcome PortSettings::clear(int number)
{
    return store(number, {});
}

files::WriteOutcome PortSettings::store(int number, const QString &device)
{
    if (number < 1 || number > calc::kPortCount)
        return {false, {}, files::WriteFault::NoSuchPort, 0};
    // Only this port's line changes, in the file as it is now: what another
    // run wrote meanwhile, and whatever the operator wrote, stays.
    const files::WriteOutcome written = files::change_port_assignment(m_path, number, device);
    m_read = files::read_port_assignments(m_path);
    m_map = rwlink::PortMap(m_read.assignments, m_map.detected(), m_devices.resolve,
                            m_devices.access, m_devices.groups);
    return written;
}

} // namespace app
