// Any bytes as the send record, read as the window and --history read it:
// every record that comes out writes a line that reads back as the same
// record; no line is both a record and skipped; and what a device holds by
// them never names a row outside 1 … 50 nor a record of another device.

#include "holds.h"
#include "sendrecord.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_record: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const files::RecordsRead read = files::parse_records(bytes);
    require(read.failure.ok, "parsing bytes is no file failure");
    require(read.records.size() + read.skipped <= bytes.count('\n') + 1, "more lines than bytes hold");
    for (const files::SendRecord &record : read.records) {
        const QByteArray line = files::record_line(record);
        require(line.endsWith('\n') && line.count('\n') == 1, "a record is one line");
        const auto again = files::parse_record_line(line);
        require(again.has_value(), "a written record reads back");
        require(*again == record, "and reads back the same");
        require(record.sent() <= record.planned, "no more sent than planned");
    }
    if (read.records.isEmpty())
        return 0;
    const QString device = read.records.first().device;
    const recorded::Holds holds = recorded::holds_of(read.records, {device});
    if (holds.last)
        require(recorded::of_device(*holds.last, {device}), "the last record is the device's");
    const QStringList bodies = read.records.first().commands;
    const recorded::Difference d = recorded::difference(holds, bodies);
    require(d.differing >= 0 && d.differing <= d.values && d.values <= bodies.size(),
            "differing values are among the values sent");
    return 0;
}
