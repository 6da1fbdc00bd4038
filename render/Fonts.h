#pragma once

#include <windows.h>

#include "render/GdiObjects.h"

namespace kestrin {

// The main window's DPI and the four fonts made for it; the only long-lived drawing objects.
struct FontState {
    int currentDpi = 96;
    UniqueFont uiFont;
    UniqueFont headingFont;
    UniqueFont buttonFont;
    UniqueFont smallFont;
};

extern FontState fonts;

// Replaces the four fonts with ones made for fonts.currentDpi.
void CreateFonts();
void DeleteFonts();

}  // namespace kestrin
