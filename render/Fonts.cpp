#include "render/Fonts.h"

#include "render/FontStyles.h"

namespace kestrin {

FontState fonts;

namespace {

HFONT MakeFont(FontStyle style, int dpi) {
    return ::CreateFontW(FontHeight(style, dpi), 0, 0, 0, style.weight, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, kFontFace);
}

}  // namespace

void CreateFonts() {
    DeleteFonts();
    const int dpi = UsableDpi(fonts.currentDpi);
    fonts.uiFont.Reset(MakeFont(kUiFontStyle, dpi));
    fonts.headingFont.Reset(MakeFont(kHeadingFontStyle, dpi));
    fonts.buttonFont.Reset(MakeFont(kButtonFontStyle, dpi));
    fonts.smallFont.Reset(MakeFont(kSmallFontStyle, dpi));
}

void DeleteFonts() {
    fonts.uiFont.Reset();
    fonts.headingFont.Reset();
    fonts.buttonFont.Reset();
    fonts.smallFont.Reset();
}

}  // namespace kestrin
