#include "drivetrain.h"

#include "numbertext.h"

namespace calc {

double axis_total(const DriveTrainTexts &inputs)
{
    double total = lenient_parse(inputs[kWorm]);
    total *= lenient_parse(inputs[kIntermediateGear]);
    total *= lenient_parse(inputs[kMotor]);
    total *= lenient_parse(inputs[kReductionGear]);
    total *= lenient_parse(inputs[kMicrostep]);
    return total;
}

double rate_divisor(std::int32_t base_clock, double total, double day, double multiplier)
{
    const double per_second = total / day;
    const double frequency = per_second * multiplier;
    return static_cast<double>(base_clock) / frequency;
}

} // namespace calc
