#include "protocol.h"

#include <algorithm>

namespace rwlink {

namespace {

constexpr int kRowDigits = 2;
constexpr int kFirstRow = 1;
constexpr int kLastRow = 50;
constexpr int kRowValueLength = 4;
constexpr int kTotalValueLength = 6;
constexpr qsizetype kLongestHex = 8;

struct FixedBody {
    const char *body;
    CommandKind kind;
};

constexpr FixedBody kFixedBodies[] = {
    {"=TCLK1", CommandKind::Clock2MHz}, {"=TCLK2", CommandKind::Clock250kHz},
    {"=SD", CommandKind::StoreData},    {"=NEW", CommandKind::NewTable},
    {"&XNEW", CommandKind::NewTotals},
};

bool is_upper_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

bool is_lower_hex(char c)
{
    return c >= 'a' && c <= 'f';
}

void take_value(Command &command, CommandKind kind, const QByteArray &value)
{
    command.kind = kind;
    command.value = value;
    bool lower = false;
    bool other = false;
    for (const char c : value) {
        lower = lower || is_lower_hex(c);
        other = other || (!is_upper_hex(c) && !is_lower_hex(c));
    }
    if (other)
        command.problems << Problem::NotHexadecimal;
    if (lower)
        command.problems << Problem::LowerCaseHex;
    if (value.size() != value_length(kind))
        command.problems << Problem::WrongLength;
}

// "nn=vvvv" after "&RA" or "&DEC".
void take_row(Command &command, CommandKind kind, const QByteArray &rest, qsizetype equals)
{
    command.row_text = rest.left(equals);
    const bool digits = command.row_text.size() == kRowDigits &&
                        std::all_of(command.row_text.begin(), command.row_text.end(),
                                    [](char c) { return c >= '0' && c <= '9'; });
    const int number = digits ? command.row_text.toInt() : 0;
    if (number >= kFirstRow && number <= kLastRow)
        command.row = number;
    else
        command.problems << Problem::BadRowNumber;
    take_value(command, kind, rest.mid(equals + 1));
}

} // namespace

QByteArray LineEvent::wire_bytes() const
{
    return is_frame() ? "#:" + bytes + "#" : bytes;
}

QList<LineEvent> FrameDecoder::feed(QByteArrayView bytes, Timestamp at)
{
    QList<LineEvent> out;
    for (const char c : bytes)
        take(c, at, out);
    m_fed += bytes.size();
    if (!bytes.isEmpty())
        m_last = at;
    return out;
}

QList<LineEvent> FrameDecoder::flush()
{
    QList<LineEvent> out;
    if (m_state == State::Body) {
        drop(LineEvent::Kind::Unterminated, "#:" + m_body, m_frame_start, m_last, out);
    } else {
        if (m_state == State::Hash)
            add_stray('#', m_hash_at, out);
        release_stray(out);
    }
    m_state = State::Outside;
    m_body.clear();
    return out;
}

std::int64_t FrameDecoder::pending() const
{
    std::int64_t held = m_stray.size();
    if (m_state == State::Hash)
        held += 1;
    if (m_state == State::Body)
        held += 2 + m_body.size();
    return held;
}

void FrameDecoder::take(char c, Timestamp at, QList<LineEvent> &out)
{
    switch (m_state) {
    case State::Outside:
        if (c == '#') {
            m_state = State::Hash;
            m_hash_at = at;
        } else {
            add_stray(c, at, out);
        }
        return;
    case State::Hash:
        if (c == ':') {
            release_stray(out);
            m_state = State::Body;
            m_body.clear();
            m_frame_start = m_hash_at;
            return;
        }
        add_stray('#', m_hash_at, out);
        if (c == '#') {
            // This one may open the frame instead: "##:=SD#".
            m_hash_at = at;
        } else {
            add_stray(c, at, out);
            m_state = State::Outside;
        }
        return;
    case State::Body:
        if (c == '#') {
            out << LineEvent{LineEvent::Kind::Frame, m_body, m_frame_start, at};
            m_in_frames += m_body.size() + 3;
            m_body.clear();
            m_state = State::Outside;
            return;
        }
        m_body.append(c);
        if (m_body.size() > kMaxBody) {
            drop(LineEvent::Kind::Overlong, "#:" + m_body, m_frame_start, at, out);
            m_body.clear();
            m_state = State::Outside;
        }
        return;
    }
}

void FrameDecoder::add_stray(char c, Timestamp at, QList<LineEvent> &out)
{
    if (m_stray.isEmpty())
        m_stray_start = at;
    m_stray.append(c);
    m_stray_end = at;
    if (m_stray.size() >= kMaxStray)
        release_stray(out);
}

void FrameDecoder::release_stray(QList<LineEvent> &out)
{
    if (m_stray.isEmpty())
        return;
    drop(LineEvent::Kind::StrayBytes, m_stray, m_stray_start, m_stray_end, out);
    m_stray.clear();
}

void FrameDecoder::drop(LineEvent::Kind kind, const QByteArray &bytes, Timestamp start,
                        Timestamp end, QList<LineEvent> &out)
{
    out << LineEvent{kind, bytes, start, end};
    m_in_anomalies += bytes.size();
}

Command parse_body(const QByteArray &body)
{
    Command command;
    for (const FixedBody &fixed : kFixedBodies) {
        if (body == fixed.body) {
            command.kind = fixed.kind;
            return command;
        }
    }
    // The totals first: "&XRA00…" must not read as an "&RA" command.
    if (body.startsWith("&XRA00")) {
        take_value(command, CommandKind::RaTotal, body.mid(6));
        return command;
    }
    if (body.startsWith("&XDEC00")) {
        take_value(command, CommandKind::DecTotal, body.mid(7));
        return command;
    }
    // Only the "=" tells a table row "&RA05=2BF2" from a rate "&RA052BF2".
    if (body.startsWith("&RA")) {
        const QByteArray rest = body.mid(3);
        if (const qsizetype equals = rest.indexOf('='); equals >= 0) {
            take_row(command, CommandKind::RaRow, rest, equals);
            return command;
        }
        if (rest.startsWith("05")) {
            take_value(command, CommandKind::Rate05, rest.mid(2));
            return command;
        }
    }
    if (body.startsWith("&DEC")) {
        const QByteArray rest = body.mid(4);
        if (const qsizetype equals = rest.indexOf('='); equals >= 0) {
            take_row(command, CommandKind::DecRow, rest, equals);
            return command;
        }
    }
    command.problems << Problem::UnknownBody;
    return command;
}

int value_length(CommandKind kind)
{
    switch (kind) {
    case CommandKind::RaRow:
    case CommandKind::DecRow:
    case CommandKind::Rate05:
        return kRowValueLength;
    case CommandKind::RaTotal:
    case CommandKind::DecTotal:
        return kTotalValueLength;
    default:
        return 0;
    }
}

QString command_key(CommandKind kind)
{
    switch (kind) {
    case CommandKind::Unknown:
        return QStringLiteral("unknown");
    case CommandKind::Clock2MHz:
        return QStringLiteral("=TCLK1");
    case CommandKind::Clock250kHz:
        return QStringLiteral("=TCLK2");
    case CommandKind::StoreData:
        return QStringLiteral("=SD");
    case CommandKind::NewTable:
        return QStringLiteral("=NEW");
    case CommandKind::NewTotals:
        return QStringLiteral("&XNEW");
    case CommandKind::RaRow:
        return QStringLiteral("&RAnn=");
    case CommandKind::DecRow:
        return QStringLiteral("&DECnn=");
    case CommandKind::RaTotal:
        return QStringLiteral("&XRA00");
    case CommandKind::DecTotal:
        return QStringLiteral("&XDEC00");
    case CommandKind::Rate05:
        return QStringLiteral("&RA05");
    }
    return {};
}

std::optional<std::uint32_t> hex_value(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > kLongestHex ||
        !std::all_of(text.begin(), text.end(), is_upper_hex))
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text)
        value = value * 16 + static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    return value;
}

} // namespace rwlink
