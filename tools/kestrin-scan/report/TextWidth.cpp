#include "tools/kestrin-scan/report/TextWidth.h"

namespace kestrin {

std::size_t DisplayWidth(std::wstring_view text) {
    std::size_t width = 0;
    for (const wchar_t c : text) {
        const auto u = static_cast<char32_t>(c);
        if (u >= 0xDC00 && u <= 0xDFFF) {
            continue;  // the second half of a pair, counted with the first
        }
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                          (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                          (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                          (u >= 0xFFE0 && u <= 0xFFE6) || (u >= 0xD800 && u <= 0xDBFF) ||
                          u >= 0x1F300;
        width += wide ? 2 : 1;
    }
    return width;
}

}  // namespace kestrin
