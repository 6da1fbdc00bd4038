#pragma once

#include "render/Dpi.h"

namespace kestrin {

// The four fonts of the interface, all "Segoe UI": em height in pixels at 96 DPI and weight.
struct FontStyle {
    int size;
    int weight;
};

inline constexpr const wchar_t* kFontFace = L"Segoe UI";
inline constexpr FontStyle kUiFontStyle{14, 400};
inline constexpr FontStyle kHeadingFontStyle{14, 600};
inline constexpr FontStyle kButtonFontStyle{16, 600};
inline constexpr FontStyle kSmallFontStyle{13, 400};

// The height CreateFontW is given: negative, so it is the character (em) height rather than the
// cell height.
constexpr int FontHeight(FontStyle style, int dpi) {
    return -ScaleForDpi(style.size, UsableDpi(dpi));
}

}  // namespace kestrin
