#pragma once

// How numbers are read from and written to the window's boxes. The boxes are
// the store of every computed value, so these texts are behaviour, fixed to
// the character: later steps, the upload and the listing all read them back.
// Everything here is independent of the process locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace calc {

// Reads the leading number of a text and never fails: blanks (space, tab,
// line feed) are skipped wherever they stand, then an optional sign, digits
// with at most one full stop and an optional exponent (E, sign, digits).
// Reading stops at the first character that cannot continue the number; no
// digit at all gives 0. A comma is not a decimal separator ("2,5" is 2).
// A magnitude beyond the double range gives an infinity.
double lenient_parse(std::string_view text);

// The box form of a number: a space for zero and positive values or "-" for
// negative ones, then the magnitude rounded to 15 significant digits without
// trailing fraction zeros ("␣15360000", "␣11647.7864583333", "-3"). Below 1
// the form is "0.xxx"; from 10^15 (and below 10^-5) it is "d.ddE+XX".
std::string display_form(double value);

// Read-back of a display form: the double nearest to the number the text
// shows. The lenient parse gives the same result on such texts.
double read_back(std::string_view display);

// Nearest signed 32-bit integer, ties to the even neighbour; nothing when the
// result does not fit, or for NaN and infinities.
std::optional<std::int32_t> round_to_int32(double value);

// The greatest integer not above the value, as a double.
double floor_value(double value);

// The low 16 (24) bits as exactly 4 (6) upper-case hexadecimal digits;
// negative values give the digits of their 32-bit two's complement.
std::string to_hex4(const std::int32_t &value);
std::string to_hex6(const std::int32_t &value);

} // namespace calc

namespace calc {

// The box-to-box steps built from the rules above. A hexadecimal box is made
// from the text of its decimal box, not from the double in memory:
// to_hex4(rounded(lenient parse of the text)). Nothing when rounding fails.
std::optional<std::string> hex4_from_text(std::string_view decimal_text);
std::optional<std::string> hex6_from_text(std::string_view decimal_text);

// A decimal box overwritten with the display form of floor(its own number).
std::string floored_text(std::string_view decimal_text);

} // namespace calc
