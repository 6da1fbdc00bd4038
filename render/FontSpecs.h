#pragma once

#include "render/Dpi.h"

namespace kestrin {

// The four fonts of the interface, all "Segoe UI": em height in pixels at 96 DPI and weight.
struct FontSpec {
    int size;
    int weight;
};

inline constexpr const wchar_t* kFontFace = L"Segoe UI";
inline constexpr FontSpec kUiFontSpec{14, 400};
inline constexpr FontSpec kHeadingFontSpec{14, 600};
inline constexpr FontSpec kButtonFontSpec{16, 600};
inline constexpr FontSpec kSmallFontSpec{13, 400};

// The height CreateFontW is given: negative, so it is the character (em) height rather than the
// cell height.
constexpr int FontHeight(FontSpec spec, int dpi) {
    return -ScaleForDpi(spec.size, UsableDpi(dpi));
}

}  // namespace kestrin
