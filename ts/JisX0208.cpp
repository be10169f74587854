#include "ts/JisX0208.h"

#include <algorithm>
#include <utility>
#include <vector>

extern const uint16_t JisX0208Unicode[94][94];

namespace {

constexpr unsigned Rows = 94;

// (code point, row << 8 | cell), sorted by code point; built on first use.
const std::vector<std::pair<uint16_t, uint16_t>>& ReverseTable() {
    static const std::vector<std::pair<uint16_t, uint16_t>> table = [] {
        std::vector<std::pair<uint16_t, uint16_t>> entries;
        for (unsigned row = 1; row <= Rows; ++row)
            for (unsigned cell = 1; cell <= Rows; ++cell)
                if (const uint16_t point = JisX0208Unicode[row - 1][cell - 1])
                    entries.emplace_back(point, static_cast<uint16_t>(row << 8 | cell));
        std::sort(entries.begin(), entries.end());
        return entries;
    }();
    return table;
}

}  // namespace

uint16_t JisX0208ToUnicode(unsigned row, unsigned cell) {
    if (row < 1 || row > Rows || cell < 1 || cell > Rows) return 0;
    return JisX0208Unicode[row - 1][cell - 1];
}

bool UnicodeToJisX0208(uint32_t codePoint, uint8_t* row, uint8_t* cell) {
    if (codePoint == 0 || codePoint > 0xFFFF) return false;
    const auto& table = ReverseTable();
    const auto found = std::lower_bound(table.begin(), table.end(),
                                        std::make_pair(static_cast<uint16_t>(codePoint), uint16_t{0}));
    if (found == table.end() || found->first != codePoint) return false;
    *row = static_cast<uint8_t>(found->second >> 8);
    *cell = static_cast<uint8_t>(found->second);
    return true;
}
