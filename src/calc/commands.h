#pragma once

// What the tool and the controller agree on: the two axes, the two base
// clocks, the size of a speed table, the default drive trains, and the
// command bodies with their row numbering. The upload, the listing, the
// decoder of the simulator and the window all take these from here.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace calc {

enum class Axis { Ra, Dec };

inline constexpr std::int32_t kClock2MHz = 2000000;
inline constexpr std::int32_t kClock250kHz = 250000;

// Rows of each axis's speed table; the controller numbers them 1…50.
inline constexpr int kTableRows = 50;

// The serial ports the window offers: "Com1" … "Com20". Every list of the
// ports, PARAM.DAT and the per-user port file name them so.
inline constexpr int kPortCount = 20;
std::string port_name(int number); // "Com3"
// The number of "Com1" … "Com20" exactly so written; none for any other
// text (other case, blanks, leading zero, out of range).
std::optional<int> port_number(std::string_view name);

// The five drive-train boxes of an axis, in window order.
enum DriveTrainField { kWorm, kIntermediateGear, kMotor, kReductionGear, kMicrostep };
using DriveTrainTexts = std::array<std::string, 5>;

// The window's default drive trains.
inline const DriveTrainTexts kDefaultRa = {"240", "2", "200", "10", "16"};
inline const DriveTrainTexts kDefaultDec = {"144", "2.5", "200", "10", "16"};

// A frame on the wire is "#:" + body + "#".
inline constexpr std::string_view kFrameOpen = "#:";
inline constexpr char kFrameClose = '#';
std::string framed(std::string_view body);

// Bodies that carry no value.
inline constexpr std::string_view kClock2MHzBody = "=TCLK1";
inline constexpr std::string_view kClock250kHzBody = "=TCLK2";
inline constexpr std::string_view kStoreDataBody = "=SD";
inline constexpr std::string_view kNewTableBody = "=NEW";
inline constexpr std::string_view kNewTotalsBody = "&XNEW";

// The body that selects a base clock; none for any other clock.
std::optional<std::string_view> clock_body(std::int32_t base_clock);

// Digits of a row number and of the values the controller reads.
inline constexpr int kRowNumberDigits = 2;
inline constexpr int kRowValueDigits = 4;
inline constexpr int kTotalValueDigits = 6;
inline constexpr char kRowValueSeparator = '=';

// "&RA" or "&DEC": what a table row body starts with.
std::string_view row_prefix(Axis axis);

// The last two digits of the row number, zero-filled: "07", "50".
std::string row_number(int row);

// "&RA07=": a row body up to its value.
std::string row_head(Axis axis, int row);

// A row's value as the upload sends it: the last four characters of "0000"
// followed by the text, so a short text is zero-filled and a long one loses
// its leading characters. Characters are the string's code units, so the
// upload passes wire text (one byte per character, see sendcheck.h).
template <class Char> std::basic_string<Char> row_value(std::basic_string_view<Char> text)
{
    std::basic_string<Char> padded(kRowValueDigits, Char('0'));
    padded.append(text);
    return padded.substr(padded.size() - kRowValueDigits);
}

// "&XRA00" or "&XDEC00": the body of a total, before its value.
std::string_view total_prefix(Axis axis);

// A tracking rate goes into RA entry 05: "&RA05" followed by the value,
// with no separator.
inline constexpr int kRateRow = 5;
std::string rate_prefix();

} // namespace calc
