#pragma once

// One axis's boxes in the window, so that RA and DEC are handled by the
// same lines; and the matching halves of a Calculate's input and output.

#include "calculate.h"

#include <array>
#include <span>

class QLineEdit;
class QProgressBar;

namespace app {

struct AxisBoxes {
    const std::array<QLineEdit *, 5> &train; // Text1 / Text4
    QLineEdit *total;                        // Text2 / Text5
    QLineEdit *reference;                    // Text3 / Text6
    std::span<QLineEdit *const> decimal;     // Text7 / Text9 (RA: and the three rates)
    std::span<QLineEdit *const> hex;         // Text8 / Text10
    QLineEdit *total_hex;                    // Text11 / Text12
    QProgressBar *bar;                       // ProgressBar1 / ProgressBar2
};

inline const calc::DriveTrainTexts &train_of(const calc::CalcInput &input, calc::Axis axis)
{
    return axis == calc::Axis::Ra ? input.ra : input.dec;
}

inline const calc::AxisOutput &output_of(const calc::CalcOutput &output, calc::Axis axis)
{
    return axis == calc::Axis::Ra ? output.ra : output.dec;
}

} // namespace app
