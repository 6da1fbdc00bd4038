#include "render/Fonts.h"

#include "render/FontSpecs.h"

namespace kestrin {

FontState fonts;

namespace {

HFONT MakeFont(FontSpec spec, int dpi) {
    return ::CreateFontW(FontHeight(spec, dpi), 0, 0, 0, spec.weight, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, kFontFace);
}

}  // namespace

void CreateFonts() {
    DeleteFonts();
    const int dpi = UsableDpi(fonts.currentDpi);
    fonts.uiFont.Reset(MakeFont(kUiFontSpec, dpi));
    fonts.headingFont.Reset(MakeFont(kHeadingFontSpec, dpi));
    fonts.buttonFont.Reset(MakeFont(kButtonFontSpec, dpi));
    fonts.smallFont.Reset(MakeFont(kSmallFontSpec, dpi));
}

void DeleteFonts() {
    fonts.uiFont.Reset();
    fonts.headingFont.Reset();
    fonts.buttonFont.Reset();
    fonts.smallFont.Reset();
}

}  // namespace kestrin
