#include "numbertext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

namespace calc {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}
bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Exponents beyond this overflow or underflow every double, whatever the
// mantissa: no text a person can type has a billion digits to offset it.
constexpr long kExponentClamp = 1000000000;

constexpr int kDisplayDigits = 15;
// Below 10^-5 the fixed form would be mostly zeros; the exponent form reads
// back the same.
constexpr int kSmallestFixedExponent = -5;

void skip_blanks(std::string_view text, std::size_t &pos)
{
    while (pos < text.size() && is_blank(text[pos]))
        ++pos;
}

char peek(std::string_view text, std::size_t pos)
{
    return pos < text.size() ? text[pos] : '\0';
}

// The exponent after the mantissa, blanks allowed anywhere, moving pos past
// it; 0, with pos left alone, when no digit follows the letter.
long read_exponent(std::string_view text, std::size_t &pos)
{
    skip_blanks(text, pos);
    if (peek(text, pos) != 'E' && peek(text, pos) != 'e')
        return 0;
    const std::size_t mark = pos;
    ++pos;
    skip_blanks(text, pos);
    bool negative = false;
    if (peek(text, pos) == '+' || peek(text, pos) == '-') {
        negative = peek(text, pos) == '-';
        ++pos;
    }
    long exponent = 0;
    bool any = false;
    for (;;) {
        skip_blanks(text, pos);
        if (!is_digit(peek(text, pos)))
            break;
        any = true;
        exponent = std::min(exponent * 10 + (peek(text, pos) - '0'), kExponentClamp);
        ++pos;
    }
    if (!any) {
        pos = mark; // "1E" or "1E+": the letter does not belong to the number
        return 0;
    }
    return negative ? -exponent : exponent;
}

} // namespace

double lenient_parse(std::string_view text)
{
    std::size_t pos = 0;
    skip_blanks(text, pos);
    bool negative = false;
    if (peek(text, pos) == '+' || peek(text, pos) == '-') {
        negative = peek(text, pos) == '-';
        ++pos;
    }

    // Collect the mantissa without blanks, remembering where the point was.
    std::string mantissa;
    bool seen_point = false;
    long point_shift = 0; // digits after the point
    for (;;) {
        skip_blanks(text, pos);
        const char c = peek(text, pos);
        if (is_digit(c)) {
            mantissa.push_back(c);
            if (seen_point)
                ++point_shift;
            ++pos;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
            ++pos;
        } else {
            break;
        }
    }
    if (mantissa.empty())
        return 0.0;
    const long exponent = read_exponent(text, pos);

    // Leading zeros carry no value; dropping them keeps the digit count honest
    // for the overflow test below.
    const auto first_nonzero = mantissa.find_first_not_of('0');
    if (first_nonzero == std::string::npos)
        return negative ? -0.0 : 0.0;
    mantissa.erase(0, first_nonzero);

    const long scale = exponent - point_shift;
    std::string normal = mantissa + "e" + std::to_string(scale);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value,
                                           std::chars_format::scientific);
    if (ec == std::errc::result_out_of_range) {
        // Decimal magnitude of the leading digit decides overflow or underflow.
        const long magnitude = static_cast<long>(mantissa.size()) - 1 + scale;
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

std::string display_form(double value)
{
    if (std::isnan(value))
        return " NaN";
    if (std::isinf(value))
        return value > 0 ? " Infinity" : "-Infinity";

    std::string out(1, std::signbit(value) && value != 0.0 ? '-' : ' ');
    const double magnitude = std::fabs(value);
    if (magnitude == 0.0)
        return out + "0";

    // Fifteen significant digits, correctly rounded: "d.dddddddddddddde±x".
    char buf[40];
    auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                             kDisplayDigits - 1);
    double rounded = 0;
    if (std::from_chars(buf, res.ptr, rounded).ec == std::errc::result_out_of_range) {
        // Next to the largest double, fifteen digits round up past it and
        // would read back as infinity; the shortest exact form does not.
        res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
    }
    const std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    const auto e_pos = sci.find('e');
    std::string digits;
    digits.push_back(sci[0]);
    digits.append(sci.substr(2, e_pos - 2));
    int exponent = 0;
    std::from_chars(sci.data() + e_pos + 1 + (sci[e_pos + 1] == '+'), sci.data() + sci.size(),
                    exponent);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    if (exponent >= 0 && exponent < kDisplayDigits) {
        const auto int_len = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= int_len) {
            out += digits;
            out.append(int_len - digits.size(), '0');
        } else {
            out += digits.substr(0, int_len);
            out += '.';
            out += digits.substr(int_len);
        }
    } else if (exponent < 0 && exponent >= kSmallestFixedExponent) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        out += digits.substr(0, 1);
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        char exp_text[16];
        std::snprintf(exp_text, sizeof exp_text, "E%c%02d", exponent < 0 ? '-' : '+',
                      std::abs(exponent));
        out += exp_text;
    }
    return out;
}

double read_back(std::string_view display)
{
    return lenient_parse(display);
}

std::optional<std::int32_t> round_to_int32(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    // Halfway cases go to the even neighbour whatever the FPU rounding mode.
    // For |value| < 2^52 the difference to the floor is exact.
    double lower = std::floor(value);
    const double fraction = value - lower;
    double rounded = lower;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(lower, 2.0) != 0.0))
        rounded = lower + 1.0;
    if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

double floor_value(double value)
{
    return std::floor(value);
}

namespace {
std::string low_hex(std::int32_t value, int width)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    auto bits = static_cast<std::uint32_t>(value);
    std::string out(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i, bits >>= 4)
        out[static_cast<std::size_t>(i)] = kDigits[bits & 0xFu];
    return out;
}
} // namespace

std::string to_hex4(const std::int32_t &value)
{
    return low_hex(value, 4);
}
std::string to_hex6(const std::int32_t &value)
{
    return low_hex(value, 6);
}

} // namespace calc

namespace calc {

std::optional<std::string> hex4_from_text(std::string_view decimal_text)
{
    const auto rounded = round_to_int32(lenient_parse(decimal_text));
    if (!rounded)
        return std::nullopt;
    return to_hex4(*rounded);
}

std::optional<std::string> hex6_from_text(std::string_view decimal_text)
{
    const auto rounded = round_to_int32(lenient_parse(decimal_text));
    if (!rounded)
        return std::nullopt;
    return to_hex6(*rounded);
}

std::string floored_text(std::string_view decimal_text)
{
    return display_form(floor_value(read_back(decimal_text)));
}

} // namespace calc
