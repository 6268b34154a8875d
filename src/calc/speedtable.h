#pragma once

// The in-memory copy of the hexadecimal speed-table rows that the listing
// reads: 3 columns × 51 rows of optional texts. Column 0 holds RA, column 1
// DEC, rows 0–49; column 2 and row 50 exist but are never written.

#include <array>
#include <optional>
#include <string>

namespace calc {

class SpeedTable {
public:
    static constexpr int kColumns = 3;
    static constexpr int kRows = 51;
    static constexpr int kRaColumn = 0;
    static constexpr int kDecColumn = 1;

    // Out-of-range indices are a programming error and throw std::out_of_range.
    const std::optional<std::string> &cell(int column, int row) const;
    void set_cell(int column, int row, std::string text);

    friend bool operator==(const SpeedTable &, const SpeedTable &) = default;

private:
    std::array<std::array<std::optional<std::string>, kRows>, kColumns> m_cells{};
};

} // namespace calc
