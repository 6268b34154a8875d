// Any byte stream, read in any chunking, through the decoder the simulator
// listens with: every byte must come out exactly once, in order, and every
// frame body must parse without harm.
//
// Input layout: the first byte's low three bits give how many chunk sizes
// follow (0: the stream goes in as one chunk); the sizes are used in turn
// until the stream is used up; the rest of the input is the stream. A
// leading '0' … '7' therefore keeps text seeds readable.

#include "protocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace rwlink;

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_frames: %s\n", what);
        std::abort();
    }
}

void check_command(const QByteArray &body)
{
    const Command command = parse_body(body);
    require(command.ok() == command.problems.isEmpty(), "ok() disagrees with the problems");
    require((command.kind == CommandKind::Unknown) ==
                (command.problems == QList<Problem>{Problem::UnknownBody}),
            "unknown body and its problem do not go together");
    require(!command_key(command.kind).isEmpty(), "command kind without a key");

    const bool row_kind = command.kind == CommandKind::RaRow || command.kind == CommandKind::DecRow;
    require(command.row >= 0 && command.row <= 50, "row number out of 0…50");
    require(row_kind || command.row == 0, "row number on a command without rows");
    if (row_kind)
        require((command.row != 0) == !command.problems.contains(Problem::BadRowNumber),
                "row number and its problem do not go together");

    const int length = value_length(command.kind);
    if (length == 0) {
        require(command.value.isEmpty(), "value on a command without one");
        return;
    }
    require(body.endsWith(command.value), "value is not the end of the body");
    if (command.ok()) {
        require(command.value.size() == length, "accepted value of the wrong length");
        require(hex_value(command.value).has_value(), "accepted value is not hexadecimal");
    }
}

struct Tally {
    QByteArray rebuilt;
    qsizetype compared = 0; // how much of rebuilt already matched the stream
    std::int64_t frame_bytes = 0;
    std::int64_t anomaly_bytes = 0;
};

void check_events(const QList<LineEvent> &events, Timestamp now, bool flushing, Tally &tally)
{
    for (const LineEvent &event : events) {
        require(event.start <= event.end && event.end <= now, "event times out of order");
        const QByteArray wire = event.wire_bytes();
        tally.rebuilt += wire;
        switch (event.kind) {
        case LineEvent::Kind::Frame:
            require(!event.bytes.contains('#'), "frame body holds a hash");
            require(event.bytes.size() <= FrameDecoder::kMaxBody, "frame body too long");
            tally.frame_bytes += wire.size();
            check_command(event.bytes);
            break;
        case LineEvent::Kind::StrayBytes:
            require(!event.bytes.isEmpty() && event.bytes.size() <= FrameDecoder::kMaxStray,
                    "stray run empty or too long");
            require(!event.bytes.contains("#:"), "stray run hides a frame opening");
            tally.anomaly_bytes += wire.size();
            break;
        case LineEvent::Kind::Overlong:
            require(event.bytes.startsWith("#:") &&
                        event.bytes.size() == FrameDecoder::kMaxBody + 3 &&
                        !event.bytes.mid(1).contains('#'),
                    "overlong frame not cut one byte past the longest body");
            tally.anomaly_bytes += wire.size();
            break;
        case LineEvent::Kind::Unterminated:
            require(flushing, "unterminated frame before the end of the stream");
            require(event.bytes.startsWith("#:") &&
                        event.bytes.size() <= FrameDecoder::kMaxBody + 2 &&
                        !event.bytes.mid(1).contains('#'),
                    "unterminated frame malformed");
            tally.anomaly_bytes += wire.size();
            break;
        }
    }
}

void check_totals(const FrameDecoder &decoder, QByteArrayView fed, Tally &tally)
{
    require(decoder.fed() == fed.size(), "fed() is not the bytes fed");
    require(decoder.in_frames() == tally.frame_bytes, "in_frames() is not the frames' bytes");
    require(decoder.in_anomalies() == tally.anomaly_bytes,
            "in_anomalies() is not the anomalies' bytes");
    require(decoder.in_frames() + decoder.in_anomalies() + decoder.pending() == decoder.fed(),
            "bytes lost or counted twice");
    require(decoder.pending() >= 0 && decoder.pending() <= FrameDecoder::kMaxStray,
            "decoder holds back more than a stray run");
    // Only what came out since the last check is compared, or runs of empty
    // chunks would make every input quadratic.
    require(tally.rebuilt.size() == fed.size() - decoder.pending(),
            "events do not give back the stream");
    require(QByteArrayView(tally.rebuilt).sliced(tally.compared) ==
                fed.sliced(tally.compared, tally.rebuilt.size() - tally.compared),
            "events do not give back the stream");
    tally.compared = tally.rebuilt.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t sizes_count = std::min<std::size_t>(data[0] & 7u, size - 1);
    const std::uint8_t *sizes = data + 1;
    const auto stream = QByteArrayView(data + 1 + sizes_count, size - 1 - sizes_count);
    const bool all_empty = std::all_of(sizes, sizes + sizes_count, [](auto s) { return s == 0; });

    FrameDecoder decoder;
    Tally tally;
    qsizetype at = 0;
    Timestamp now{};
    for (std::size_t i = 0; at < stream.size() || i < sizes_count; ++i) {
        qsizetype chunk = stream.size() - at;
        if (sizes_count > 0 && !(all_empty && i >= sizes_count))
            chunk = std::min<qsizetype>(sizes[i % sizes_count], chunk);
        // Chunk i arrives at i microseconds.
        now = Timestamp{static_cast<std::int64_t>(i)};
        check_events(decoder.feed(stream.sliced(at, chunk), now), now, false, tally);
        at += chunk;
        check_totals(decoder, stream.first(at), tally);
    }

    check_events(decoder.flush(), now, true, tally);
    require(decoder.pending() == 0, "bytes still pending after the flush");
    check_totals(decoder, stream, tally);
    return 0;
}
