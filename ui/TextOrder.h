#pragma once

#include <cstdint>
#include <string_view>

namespace kestrin {

// Orders two names the way every list of the program sorts text: letters A to Z fold to a to z
// and nothing else folds, and characters compare by their UTF-16 code units as unsigned numbers.
// Where wchar_t holds whole code points, a character above U+FFFF therefore compares as its
// surrogate pair would (so it sorts below U+E000..U+FFFF), keeping the order identical on every
// platform. Returns <0, 0 or >0.
int CompareTextNoCase(std::wstring_view a, std::wstring_view b);

}  // namespace kestrin
