#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kestrin {

// Hashes wide texts by their characters, so that maps keyed by std::wstring can be searched with
// a view (std::equal_to<> beside it) and a lookup per file allocates nothing.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::wstring_view text) const {
        return std::hash<std::wstring_view>{}(text);
    }
};

}  // namespace kestrin
