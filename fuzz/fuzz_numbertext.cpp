// Any bytes as the text of a box: reading, showing, rounding and the hex
// digits must hold their promises for whatever a user types or pastes.

#include "numbertext.h"

#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

using namespace calc;

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_numbertext: %s\n", what);
        std::abort();
    }
}

// The nearest integer by the C library, away from round_to_int32's own
// floor-and-compare: nearbyint ties to even in the default rounding mode.
std::optional<std::int32_t> expected_rounding(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::nearbyint(value);
    if (r < -2147483648.0 || r > 2147483647.0)
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

std::string expected_hex(std::int32_t value, int width)
{
    const std::uint32_t mask = width == 4 ? 0xFFFFu : 0xFFFFFFu;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", width, static_cast<unsigned>(value) & mask);
    return buf;
}

void check_rounding(double value)
{
    const auto rounded = round_to_int32(value);
    const auto expected = expected_rounding(value);
    require(rounded.has_value() == expected.has_value(), "round_to_int32 disagrees on range");
    if (!rounded)
        return;
    require(*rounded == *expected, "round_to_int32 disagrees with nearbyint");
    require(to_hex4(*rounded) == expected_hex(*rounded, 4), "to_hex4 is not the low 16 bits");
    require(to_hex6(*rounded) == expected_hex(*rounded, 6), "to_hex6 is not the low 24 bits");
}

bool all_digits(std::string_view s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Digits, then optionally a point and digits that do not end in zero.
bool plain_number(std::string_view s)
{
    const auto point = s.find('.');
    if (point == std::string_view::npos)
        return all_digits(s);
    const auto fraction = s.substr(point + 1);
    return all_digits(s.substr(0, point)) && all_digits(fraction) && fraction.back() != '0';
}

// The shape the boxes promise: with the read-back value it pins the text
// down to the character. decimal_exponent is that of the 15-digit rounding.
bool well_formed(std::string_view magnitude, int decimal_exponent)
{
    if (decimal_exponent >= 15 || decimal_exponent < -5) {
        const auto e = magnitude.find('E');
        if (e == std::string_view::npos || e + 4 > magnitude.size())
            return false;
        const auto mantissa = magnitude.substr(0, e);
        const auto exponent = magnitude.substr(e + 2);
        return plain_number(mantissa) && mantissa[0] != '0' &&
               (mantissa.size() == 1 || mantissa[1] == '.') && mantissa.size() <= 16 &&
               (magnitude[e + 1] == '+') == (decimal_exponent >= 0) && all_digits(exponent) &&
               std::atoi(std::string(exponent).c_str()) == std::abs(decimal_exponent) &&
               (exponent.size() == 2 || exponent[0] != '0');
    }
    if (!plain_number(magnitude))
        return false;
    // No leading zeros but the one of "0.xxx"; at most 15 significant digits.
    const auto integer_digits = magnitude.substr(0, magnitude.find('.'));
    if (decimal_exponent < 0 ? integer_digits != "0"
                             : integer_digits.size() != std::size_t(decimal_exponent) + 1 ||
                                   integer_digits[0] == '0')
        return false;
    std::size_t significant = 0;
    bool leading = true;
    for (const char c : magnitude) {
        leading = leading && (c == '0' || c == '.');
        significant += !leading && c != '.';
    }
    return significant <= 15;
}

void check_display(double value)
{
    const std::string shown = display_form(value);
    require(!shown.empty() && shown[0] == (value < 0 ? '-' : ' '), "display form has no sign");
    if (!std::isfinite(value))
        return;

    // The C library's correctly rounded printf and strtod give the double
    // nearest to the 15-digit rounding.
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.14e", value);
    const double nearest = std::strtod(digits, nullptr);
    if (!std::isfinite(nearest)) {
        // Just below the largest double the 15-digit rounding lies past it;
        // the box then shows the value exactly, and that reads back as itself.
        require(read_back(shown) == value, "largest doubles do not read back as themselves");
        require(display_form(value) == shown, "display form changes when shown again");
        return;
    }
    if (value == 0)
        require(shown == " 0", "zero is not shown as 0");
    else
        require(
            well_formed(std::string_view(shown).substr(1), std::atoi(std::strchr(digits, 'e') + 1)),
            "display form is not the box format");
    const double back = read_back(shown);
    require(back == nearest, "display form does not read back as its 15-digit rounding");
    require(display_form(back) == shown, "display form changes when shown again");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // nearbyint is only the oracle under round-to-nearest.
    require(std::fegetround() == FE_TONEAREST, "rounding mode is not round-to-nearest");

    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const double x = lenient_parse(text);
    require(!std::isnan(x), "lenient_parse gave NaN");
    check_display(x);
    check_rounding(x);

    // The first bytes as a bit pattern reach what text never gives: NaN,
    // subnormals, every exponent.
    std::uint64_t bits = 0;
    std::memcpy(&bits, data, size < sizeof bits ? size : sizeof bits);
    double raw = 0;
    std::memcpy(&raw, &bits, sizeof raw);
    check_display(raw);
    check_rounding(raw);

    // The box-to-box steps are the rules above applied to the text.
    const auto rounded = round_to_int32(x);
    const auto hex4 = hex4_from_text(text);
    const auto hex6 = hex6_from_text(text);
    require(hex4.has_value() == rounded.has_value() && hex6.has_value() == rounded.has_value(),
            "hex from text disagrees with rounding");
    if (rounded) {
        require(*hex4 == to_hex4(*rounded), "hex4_from_text differs from to_hex4");
        require(*hex6 == to_hex6(*rounded), "hex6_from_text differs from to_hex6");
    }
    require(floored_text(text) == display_form(std::floor(x)),
            "floored_text differs from the display form of the floor");
    return 0;
}
