#pragma once

// The port assignments as the window and the command line share them: the
// per-user file, the serial devices present, and the map made of both.
// Each change is written to the file at once.

#include "portassignments.h"
#include "ports.h"

#include <QString>

namespace app {

class PortSettings {
public:
    // Asks the machine for its ports and keeps the user's file unless told
    // otherwise (tests stand in both).
    explicit PortSettings(rwlink::Devices devices = rwlink::system_devices(), QString path = {});

    // Reads the file again and looks for the ports present.
    void refresh();

    const rwlink::PortMap &map() const { return m_map; }
    rwlink::PortMapping mapping(int number) const { return m_map.mapping(number); }
    const QString &path() const { return m_path; }
    // The file as last read: its fault says why it could not be used, when
    // it is there but unusable (assignment_read_failure_text words it).
    const files::AssignmentsRead &read() const { return m_read; }

    // Port number ← device, kept by its stable name when it has one.
    files::WriteOutcome assign(int number, const QString &device);
    files::WriteOutcome clear(int number);

private:
    files::WriteOutcome store(int number, const QString &device);

    rwlink::Devices m_devices;
    QString m_path;
    files::AssignmentsRead m_read;
    rwlink::PortMap m_map;
};

} // namespace app
