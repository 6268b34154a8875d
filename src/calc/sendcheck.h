#pragma once

// Whether a value about to be sent is one the controller can hold, as facts
// for the window, the report and the JSON to word. Each value is checked as
// it will go on the wire: the box text turned into one byte per character
// (anything that is not ASCII as '?'), and for table rows cut or zero-filled
// to four characters.

#include <optional>
#include <string>
#include <string_view>

namespace calc {

// The classes of trouble, most serious first.
enum class SendProblem {
    BreaksFrame,   // a '#', a control character or a character that is not printable ASCII
    Unreadable,    // not the upper-case hexadecimal digits of the field's width, or blank
    CutByWidth,    // the calculated value needs more digits than the field has
    UnusableSpeed, // a divisor of 0000, or a negative value sent as its two's complement
    Stale,         // the clock option differs from the last Calculate's, or none was made
};

// The name a problem goes by in the JSON report and in a marked box's
// property: "breaks_frame", "unreadable", "cut_by_width", "unusable_speed",
// "stale".
std::string_view problem_key(SendProblem problem);

enum class ValueKind {
    Row,   // a table row: the hex box's text cut or zero-filled to four characters
    Rate,  // a tracking rate into RA entry 05: the hex box's text as it stands
    Total, // an axis total: the six-digit box's text as it stands
};

// Why a value is Unreadable, first match in this order.
enum class ReadFault {
    NotHex,      // a character that is no hexadecimal digit of either case, a blank among them
    LowerCase,   // hexadecimal, but with a lower-case a–f the controller does not read
    WrongLength, // upper-case digits, but not as many as the field has
};

struct SendCheck {
    std::string sent;                    // the value's bytes as they go on the wire
    std::optional<SendProblem> problem;  // the most serious one; never Stale (callers know that)
    std::optional<ReadFault> read_fault; // with Unreadable
};

// The bytes a box text puts on the wire: each character one byte, ASCII kept,
// anything else (a character outside the BMP counting as one) '?'. text is
// UTF-8; a byte that is not valid UTF-8 counts as one character.
std::string wire_text(std::string_view text);

// value_text is the hex text that is sent (a row's, a rate's or a total's);
// decimal_text the decimal text it was calculated from (the row's or rate's
// divisor, the axis total), read leniently.
SendCheck check_value(ValueKind kind, std::string_view value_text, std::string_view decimal_text);

} // namespace calc
