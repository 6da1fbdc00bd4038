#pragma once

#include <cstdint>

namespace kestrin {

// How a list is sorted: the sub-item number of the column and the direction (false: largest or
// last first).
struct SortState {
    std::int32_t column = 0;
    bool ascending = false;

    bool operator==(const SortState&) const = default;
};

// A header click: a new column starts descending, a second click on the same column toggles.
constexpr SortState NextSortState(SortState current, std::int32_t clickedColumn) {
    return {clickedColumn, clickedColumn == current.column && !current.ascending};
}

enum class SortArrow { None, Up, Down };

// The arrow a header item shows: only on the sorted column, up when ascending.
constexpr SortArrow ArrowForColumn(SortState state, std::int32_t column) {
    if (column != state.column) {
        return SortArrow::None;
    }
    return state.ascending ? SortArrow::Up : SortArrow::Down;
}

}  // namespace kestrin
