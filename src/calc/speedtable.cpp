#include "speedtable.h"

#include <stdexcept>

namespace calc {

namespace {
void check_index(int column, int row)
{
    if (column < 0 || column >= SpeedTable::kColumns || row < 0 || row >= SpeedTable::kRows)
        throw std::out_of_range("SpeedTable cell (" + std::to_string(column) + ", " +
                                std::to_string(row) + ")");
}
} // namespace

const std::optional<std::string> &SpeedTable::cell(int column, int row) const
{
    check_index(column, row);
    return m_cells[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)];
}

void SpeedTable::set_cell(int column, int row, std::string text)
{
    check_index(column, row);
    m_cells[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)] = std::move(text);
}

} // namespace calc
