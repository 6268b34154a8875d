#include "sendcheck.h"

#include "accuracy.h"
#include "commands.h"
#include "numbertext.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace calc {

namespace {

constexpr char kUnsendable = '?';

// One character of a box text as it goes out: its wire byte, and whether
// the character was ASCII at all (a '?' typed is readable trouble, a '?'
// standing in for a foreign character breaks the frame).
struct WireChar {
    char byte = '0';
    bool ascii = true;
};

bool continuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Bytes of the well-formed UTF-8 character starting at text[i]; 1 for a
// byte that starts none, so it counts as a character of its own.
std::size_t character_length(std::string_view text, std::size_t i)
{
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;  // bounds of the second byte, which rule out
    unsigned char high = 0xBF; // overlong forms, surrogates and > U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else
        return 1;
    if (i + length > text.size() || at(i + 1) < low || at(i + 1) > high)
        return 1;
    for (std::size_t k = 2; k < length; ++k) {
        if (!continuation(at(i + k)))
            return 1;
    }
    return length;
}

std::vector<WireChar> wire_chars(std::string_view text)
{
    std::vector<WireChar> chars;
    chars.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = character_length(text, i);
        if (length == 1 && static_cast<unsigned char>(text[i]) < 0x80)
            chars.push_back({text[i], true});
        else
            chars.push_back({kUnsendable, false});
        i += length;
    }
    return chars;
}

int field_width(ValueKind kind)
{
    return kind == ValueKind::Total ? kTotalValueDigits : kRowValueDigits;
}

double field_limit(ValueKind kind)
{
    return kind == ValueKind::Total ? kTotalLimit : kDivisorLimit;
}

bool breaks_frame(const WireChar &c)
{
    const auto byte = static_cast<unsigned char>(c.byte);
    return !c.ascii || c.byte == kFrameClose || byte < 0x20 || byte == 0x7F;
}

bool upper_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

bool lower_hex_letter(char c)
{
    return c >= 'a' && c <= 'f';
}

std::optional<ReadFault> read_fault(const std::string &sent, std::size_t width)
{
    if (!std::all_of(sent.begin(), sent.end(),
                     [](char c) { return upper_hex_digit(c) || lower_hex_letter(c); }))
        return ReadFault::NotHex;
    if (std::any_of(sent.begin(), sent.end(), lower_hex_letter))
        return ReadFault::LowerCase;
    if (sent.size() != width)
        return ReadFault::WrongLength;
    return std::nullopt;
}

} // namespace

std::string wire_text(std::string_view text)
{
    std::string bytes;
    for (const WireChar &c : wire_chars(text))
        bytes.push_back(c.byte);
    return bytes;
}

SendCheck check_value(ValueKind kind, std::string_view value_text, std::string_view decimal_text)
{
    std::vector<WireChar> chars = wire_chars(value_text);
    const std::size_t typed = chars.size();
    if (kind == ValueKind::Row) {
        // As row_value shapes it: zero-filled in front, then the last four.
        const auto width = static_cast<std::size_t>(kRowValueDigits);
        chars.insert(chars.begin(), width, WireChar{});
        chars.erase(chars.begin(), chars.end() - static_cast<std::ptrdiff_t>(width));
    }

    SendCheck check;
    for (const WireChar &c : chars)
        check.sent.push_back(c.byte);

    const auto width = static_cast<std::size_t>(field_width(kind));
    const double decimal = lenient_parse(decimal_text);
    if (std::any_of(chars.begin(), chars.end(), breaks_frame))
        check.problem = SendProblem::BreaksFrame;
    else if ((check.read_fault = read_fault(check.sent, width)))
        check.problem = SendProblem::Unreadable;
    else if (decimal >= field_limit(kind) ||
             (kind == ValueKind::Row && typed > static_cast<std::size_t>(kRowValueDigits)))
        check.problem = SendProblem::CutByWidth;
    else if (check.sent.find_first_not_of('0') == std::string::npos || decimal < 0)
        check.problem = SendProblem::UnusableSpeed;
    return check;
}

std::string_view problem_key(SendProblem problem)
{
    switch (problem) {
    case SendProblem::BreaksFrame:
        return "breaks_frame";
    case SendProblem::Unreadable:
        return "unreadable";
    case SendProblem::CutByWidth:
        return "cut_by_width";
    case SendProblem::UnusableSpeed:
        return "unusable_speed";
    case SendProblem::Stale:
        return "stale";
    }
    return {};
}

} // namespace calc
