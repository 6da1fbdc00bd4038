#include "ui/TextOrder.h"

#include <cstddef>

namespace kestrin {

namespace {

// Walks a wide text as UTF-16 code units. With a 16-bit wchar_t that is the text itself; with a
// 32-bit one, a character above U+FFFF stands for the two units of its surrogate pair.
class Utf16Units {
public:
    explicit Utf16Units(std::wstring_view text) : text_(text) {}

    bool AtEnd() const { return index_ >= text_.size(); }

    std::uint32_t Next() {
        const auto value = static_cast<std::uint32_t>(text_[index_]);
        if constexpr (sizeof(wchar_t) > 2) {
            if (value >= 0x10000 && value <= 0x10FFFF) {
                const std::uint32_t offset = value - 0x10000;
                if (!inLowHalf_) {
                    inLowHalf_ = true;
                    return 0xD800 + (offset >> 10);
                }
                inLowHalf_ = false;
                ++index_;
                return 0xDC00 + (offset & 0x3FF);
            }
        }
        ++index_;
        return value;
    }

private:
    std::wstring_view text_;
    std::size_t index_ = 0;
    bool inLowHalf_ = false;
};

constexpr std::uint32_t FoldAsciiUpper(std::uint32_t unit) {
    return unit >= L'A' && unit <= L'Z' ? unit + (L'a' - L'A') : unit;
}

}  // namespace

int CompareTextNoCase(std::wstring_view a, std::wstring_view b) {
    Utf16Units left(a);
    Utf16Units right(b);
    while (!left.AtEnd() && !right.AtEnd()) {
        const std::uint32_t x = FoldAsciiUpper(left.Next());
        const std::uint32_t y = FoldAsciiUpper(right.Next());
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (left.AtEnd() == right.AtEnd()) {
        return 0;
    }
    return left.AtEnd() ? -1 : 1;
}

}  // namespace kestrin
