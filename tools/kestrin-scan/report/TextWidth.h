#pragma once

#include <cstddef>
#include <string_view>

namespace kestrin {

// Columns a text takes in a terminal: CJK and most emoji take two.
std::size_t DisplayWidth(std::wstring_view text);

}  // namespace kestrin
