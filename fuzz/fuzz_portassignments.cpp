// Any bytes as the per-user port assignments file, read as start-up reads
// it: only Com1 … Com20 can come out of it, each with a device the program
// would keep; writing that back and reading it again changes nothing; and
// the port map made of it, with no device detected, sends each port name
// to its assignment or its default and never assigns a number past 1 … 20.

#include "portassignments.h"
#include "ports.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <tuple>

namespace {

static_assert(std::tuple_size_v<files::PortAssignments> == calc::kPortCount,
              "one slot per port name");

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_portassignments: %s\n", what);
        std::abort();
    }
}

QByteArray override_name(int n)
{
    return "RW7300_COM" + QByteArray::number(n);
}

} // namespace

// An override in the fuzzer's own environment would hide the file.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    for (int n = -1; n <= calc::kPortCount + 1; ++n)
        qunsetenv(override_name(n).constData());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const files::PortAssignments parsed = files::parse_port_assignments(bytes);

    for (int n = 1; n <= calc::kPortCount; ++n) {
        const QString &device = parsed[static_cast<std::size_t>(n - 1)];
        if (device.isEmpty())
            continue;
        require(files::acceptable_device(device), "a device kept that cannot be one");
        // Taken from the input as it stands: nothing made up, nothing
        // decoded wrongly on the way.
        require(bytes.contains(device.toUtf8()), "a device that is not in the input");
        require(bytes.contains("Com" + QByteArray::number(n)), "a port set without its key");
    }

    const QByteArray written = files::port_assignments_bytes(parsed);
    const files::PortAssignments reread = files::parse_port_assignments(written);
    require(reread == parsed, "written and read back, the assignments changed");
    require(files::port_assignments_bytes(reread) == written, "written twice, the bytes differ");

    const rwlink::PortMap map(parsed, {}, {}); // nothing reported, nothing in /dev
    for (int n = 1; n <= calc::kPortCount; ++n) {
        const rwlink::PortMapping m = map.mapping(n);
        const QString &assigned = parsed[static_cast<std::size_t>(n - 1)];
        require(m.number == n, "mapping of another port");
        if (assigned.isEmpty())
            require(m.source == rwlink::PortSource::Default && m.device == rwlink::default_device(n),
                    "port without an assignment not at its default");
        else
            require(m.source == rwlink::PortSource::Assigned && m.device == assigned,
                    "assigned port not at its assignment");
        require(!m.detected && m.presence != rwlink::Presence::Detected,
                "a device detected where none is");
    }
    for (const int n : {-1, 0, calc::kPortCount + 1}) {
        const rwlink::PortMapping m = map.mapping(n);
        require(m.source == rwlink::PortSource::Default, "a port past 1 … 20 assigned");
    }
    return 0;
}
