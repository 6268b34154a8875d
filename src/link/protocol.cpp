#include "protocol.h"

#include "commands.h"

#include <algorithm>
#include <string_view>

namespace rwlink {

namespace {

constexpr qsizetype kLongestHex = 8;
constexpr char kFrameMark = calc::kFrameOpen[0];
constexpr char kFrameOpenMark = calc::kFrameOpen[1];

struct FixedBody {
    std::string_view body;
    CommandKind kind;
};

constexpr FixedBody kFixedBodies[] = {
    {calc::kClock2MHzBody, CommandKind::Clock2MHz},
    {calc::kClock250kHzBody, CommandKind::Clock250kHz},
    {calc::kStoreDataBody, CommandKind::StoreData},
    {calc::kNewTableBody, CommandKind::NewTable},
    {calc::kNewTotalsBody, CommandKind::NewTotals},
};

// The commands that come in one form per axis.
struct AxisCommands {
    calc::Axis axis;
    CommandKind row;
    CommandKind total;
};

constexpr AxisCommands kAxisCommands[] = {
    {calc::Axis::Ra, CommandKind::RaRow, CommandKind::RaTotal},
    {calc::Axis::Dec, CommandKind::DecRow, CommandKind::DecTotal},
};

QByteArrayView view(std::string_view text)
{
    return {text.data(), qsizetype(text.size())};
}

QString text(std::string_view ascii)
{
    return QString::fromLatin1(ascii.data(), qsizetype(ascii.size()));
}

// "#:" and what followed it, as it stood on the wire.
QByteArray opened(const QByteArray &body)
{
    return view(calc::kFrameOpen).toByteArray() + body;
}

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
    const bool digits = command.row_text.size() == calc::kRowNumberDigits &&
                        std::all_of(command.row_text.begin(), command.row_text.end(),
                                    [](char c) { return c >= '0' && c <= '9'; });
    const int number = digits ? command.row_text.toInt() : 0;
    if (number >= 1 && number <= calc::kTableRows)
        command.row = number;
    else
        command.problems << Problem::BadRowNumber;
    take_value(command, kind, rest.mid(equals + 1));
}

} // namespace

QByteArray LineEvent::wire_bytes() const
{
    return is_frame() ? opened(bytes) + calc::kFrameClose : bytes;
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
        drop(LineEvent::Kind::Unterminated, opened(m_body), m_frame_start, m_last, out);
    } else {
        if (m_state == State::Hash)
            add_stray(kFrameMark, m_hash_at, out);
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
        if (c == kFrameMark) {
            m_state = State::Hash;
            m_hash_at = at;
        } else {
            add_stray(c, at, out);
        }
        return;
    case State::Hash:
        if (c == kFrameOpenMark) {
            release_stray(out);
            m_state = State::Body;
            m_body.clear();
            m_frame_start = m_hash_at;
            return;
        }
        add_stray(kFrameMark, m_hash_at, out);
        if (c == kFrameMark) {
            // This one may open the frame instead: "##:=SD#".
            m_hash_at = at;
        } else {
            add_stray(c, at, out);
            m_state = State::Outside;
        }
        return;
    case State::Body:
        if (c == calc::kFrameClose) {
            out << LineEvent{LineEvent::Kind::Frame, m_body, m_frame_start, at};
            m_in_frames += qsizetype(calc::kFrameOpen.size()) + m_body.size() + 1;
            m_body.clear();
            m_state = State::Outside;
            return;
        }
        m_body.append(c);
        if (m_body.size() > kMaxBody) {
            drop(LineEvent::Kind::Overlong, opened(m_body), m_frame_start, at, out);
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
        if (body == view(fixed.body)) {
            command.kind = fixed.kind;
            return command;
        }
    }
    // The totals first: "&XRA00…" must not read as an "&RA" command.
    for (const AxisCommands &axis : kAxisCommands) {
        const QByteArrayView prefix = view(calc::total_prefix(axis.axis));
        if (body.startsWith(prefix)) {
            take_value(command, axis.total, body.mid(prefix.size()));
            return command;
        }
    }
    for (const AxisCommands &axis : kAxisCommands) {
        const QByteArrayView prefix = view(calc::row_prefix(axis.axis));
        if (!body.startsWith(prefix))
            continue;
        const QByteArray rest = body.mid(prefix.size());
        if (const qsizetype equals = rest.indexOf(calc::kRowValueSeparator); equals >= 0) {
            take_row(command, axis.row, rest, equals);
            return command;
        }
    }
    // Only the "=" tells a table row "&RA05=2BF2" from a rate "&RA052BF2".
    const std::string rate = calc::rate_prefix();
    if (body.startsWith(view(rate))) {
        take_value(command, CommandKind::Rate05, body.mid(qsizetype(rate.size())));
        return command;
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
        return calc::kRowValueDigits;
    case CommandKind::RaTotal:
    case CommandKind::DecTotal:
        return calc::kTotalValueDigits;
    default:
        return 0;
    }
}

QString command_key(CommandKind kind)
{
    const auto row_key = [](calc::Axis axis) {
        return text(calc::row_prefix(axis)) + QStringLiteral("nn") +
               QLatin1Char(calc::kRowValueSeparator);
    };
    switch (kind) {
    case CommandKind::Unknown:
        return QStringLiteral("unknown");
    case CommandKind::Clock2MHz:
        return text(calc::kClock2MHzBody);
    case CommandKind::Clock250kHz:
        return text(calc::kClock250kHzBody);
    case CommandKind::StoreData:
        return text(calc::kStoreDataBody);
    case CommandKind::NewTable:
        return text(calc::kNewTableBody);
    case CommandKind::NewTotals:
        return text(calc::kNewTotalsBody);
    case CommandKind::RaRow:
        return row_key(calc::Axis::Ra);
    case CommandKind::DecRow:
        return row_key(calc::Axis::Dec);
    case CommandKind::RaTotal:
        return text(calc::total_prefix(calc::Axis::Ra));
    case CommandKind::DecTotal:
        return text(calc::total_prefix(calc::Axis::Dec));
    case CommandKind::Rate05:
        return text(calc::rate_prefix());
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
