#pragma once

// The receiving side of the wire: cutting a byte stream into "#:" … "#"
// frames and reading each body as one of the controller's commands. Pure
// functions of the bytes, for whatever stands in for the controller.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

namespace rwlink {

// When a byte arrived, counted from an origin the caller picks.
using Timestamp = std::chrono::microseconds;

// What the decoder makes of the stream: a frame, or bytes it had to drop.
struct LineEvent {
    enum class Kind {
        Frame,       // bytes holds the body, between "#:" and "#"
        StrayBytes,  // bytes outside any frame
        Overlong,    // "#:" and a body too long to be a command, never closed
        Unterminated // "#:" and a body still open when the stream ended
    };

    Kind kind = Kind::Frame;
    QByteArray bytes;
    Timestamp start{}; // arrival of the first byte
    Timestamp end{};   // arrival of the last byte

    bool is_frame() const { return kind == Kind::Frame; }
    // The bytes as they were on the wire.
    QByteArray wire_bytes() const;
};

// Cuts the stream into frames however it is chunked. A "#" opens a frame
// only when ":" follows; anything else outside a frame is stray, and a run
// of stray bytes is reported as one event when the next frame opens (or
// once it reaches kMaxStray, so a line of pure noise still shows). Every
// byte fed ends up in exactly one event, or is pending until more comes.
class FrameDecoder {
public:
    // A calculated command body is at most 13 bytes; an open frame past
    // kMaxBody is taken for noise and dropped rather than grown without end.
    static constexpr qsizetype kMaxBody = 32;
    static constexpr qsizetype kMaxStray = 64;

    // Events completed by these bytes, all stamped with the arrival time at.
    QList<LineEvent> feed(QByteArrayView bytes, Timestamp at);

    // End of stream: whatever is pending becomes stray bytes or an
    // unterminated frame.
    QList<LineEvent> flush();

    std::int64_t fed() const { return m_fed; }
    std::int64_t in_frames() const { return m_in_frames; } // "#:" and "#" included
    std::int64_t in_anomalies() const { return m_in_anomalies; }
    std::int64_t pending() const;

private:
    enum class State { Outside, Hash, Body };

    void take(char c, Timestamp at, QList<LineEvent> &out);
    void add_stray(char c, Timestamp at, QList<LineEvent> &out);
    void release_stray(QList<LineEvent> &out);
    void drop(LineEvent::Kind kind, const QByteArray &bytes, Timestamp start, Timestamp end,
              QList<LineEvent> &out);

    State m_state = State::Outside;
    QByteArray m_stray;
    Timestamp m_stray_start{};
    Timestamp m_stray_end{};
    Timestamp m_hash_at{}; // the "#" that may open a frame
    QByteArray m_body;
    Timestamp m_frame_start{};
    Timestamp m_last{};
    std::int64_t m_fed = 0;
    std::int64_t m_in_frames = 0;
    std::int64_t m_in_anomalies = 0;
};

enum class CommandKind {
    Unknown,
    Clock2MHz,   // =TCLK1
    Clock250kHz, // =TCLK2
    StoreData,   // =SD
    NewTable,    // =NEW
    NewTotals,   // &XNEW
    RaRow,       // &RAnn=vvvv
    DecRow,      // &DECnn=vvvv
    RaTotal,     // &XRA00vvvvvv
    DecTotal,    // &XDEC00vvvvvv
    Rate05       // &RA05vvvv, a tracking rate into RA entry 05
};

enum class Problem {
    UnknownBody,
    BadRowNumber,   // not two digits 01…50
    NotHexadecimal, // a character outside 0-9, A-F, a-f
    LowerCaseHex,   // the controller reads upper-case digits only
    WrongLength     // not 4 digits (rows, rate) or 6 (totals)
};

struct Command {
    CommandKind kind = CommandKind::Unknown;
    int row = 0;         // 1…50 for a table row with a good number, else 0
    QByteArray row_text; // the row number as sent
    QByteArray value;    // the value as sent, flaws and all
    QList<Problem> problems;

    bool ok() const { return problems.isEmpty(); }
};

Command parse_body(const QByteArray &body);

// How many value characters a command of this kind carries; 0 for none.
int value_length(CommandKind kind);

// The name a command kind goes by in counts and reports: the body itself
// for fixed bodies, its fixed part for the others ("&RAnn=", "&XRA00").
QString command_key(CommandKind kind);

// The number in text of 1 to 8 upper-case hexadecimal digits.
std::optional<std::uint32_t> hex_value(QByteArrayView text);

} // namespace rwlink
