#include "commands.h"

namespace calc {

std::string framed(std::string_view body)
{
    std::string frame(kFrameOpen);
    frame.append(body);
    frame.push_back(kFrameClose);
    return frame;
}

std::string port_name(int number)
{
    return "Com" + std::to_string(number);
}

std::optional<int> port_number(std::string_view name)
{
    for (int n = 1; n <= kPortCount; ++n) {
        if (name == port_name(n))
            return n;
    }
    return std::nullopt;
}

std::optional<std::string_view> clock_body(std::int32_t base_clock)
{
    if (base_clock == kClock2MHz)
        return kClock2MHzBody;
    if (base_clock == kClock250kHz)
        return kClock250kHzBody;
    return std::nullopt;
}

std::string_view row_prefix(Axis axis)
{
    return axis == Axis::Ra ? "&RA" : "&DEC";
}

std::string row_number(int row)
{
    const std::string digits = std::string(kRowNumberDigits, '0') + std::to_string(row);
    return digits.substr(digits.size() - kRowNumberDigits);
}

std::string row_head(Axis axis, int row)
{
    return std::string(row_prefix(axis)) + row_number(row) + kRowValueSeparator;
}

std::string_view total_prefix(Axis axis)
{
    return axis == Axis::Ra ? "&XRA00" : "&XDEC00";
}

std::string rate_prefix()
{
    return std::string(row_prefix(Axis::Ra)) + row_number(kRateRow);
}

} // namespace calc
