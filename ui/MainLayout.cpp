#include "ui/MainLayout.h"

#include <algorithm>

#include "render/Dpi.h"

namespace kestrin {

namespace {

struct Scaler {
    int dpi;
    int operator()(int value) const { return ScaleForDpi(value, dpi); }
};

void PlaceTopBand(MainLayout& layout, int width, const Scaler& S) {
    const int m = S(12);
    layout.driveLabel = {m, S(12), S(48), S(22)};
    layout.driveCombo = {m + S(52), S(10), S(220), S(300)};
    layout.scanButton = {m + S(284), S(8), S(96), S(34)};
    const int panelX = m + S(420);
    for (int i = 0; i < 3; ++i) {
        layout.spaceLabels[i] = {panelX, S(8) + i * S(22), width - panelX - m, S(22)};
    }
    layout.tabControl = {m, S(78), width - 2 * m, S(30)};
}

// Tab 0: the tree on the left 62 %, the treemap above the extension list on the right, each
// under its heading, which sits in the gap above the content's top.
void PlaceTreeTab(MainLayout& layout, int width, int contentTop, int contentHeight,
                  const Scaler& S) {
    const int m = S(12);
    const int g = S(8);
    const int h = S(22);
    const int headingTop = contentTop - (h + S(6));
    const int split = static_cast<int>(width * 0.62);
    layout.treeHeading = {m, headingTop, split - m, h};
    layout.treeList = {m, contentTop, split - g / 2 - m, contentHeight};
    const int r = split + g / 2;
    const int rw = width - r - m;
    layout.treemapHeading = {r, headingTop, rw, h};
    layout.treemapWindow = {r, contentTop, rw, S(200)};
    const int extensionTop = contentTop + S(200) + g;
    layout.extensionHeading = {r, extensionTop - (h + S(6)), rw, h};
    layout.extensionList = {r, extensionTop, rw, std::max(S(80), contentHeight - S(200) - g)};
}

}  // namespace

int TopBandHeight(int dpi) {
    return ScaleForDpi(78, dpi);
}
int BottomBandHeight(int dpi) {
    return ScaleForDpi(30, dpi);
}

MainLayout ComputeMainLayout(int width, int height, int dpi) {
    const Scaler S{UsableDpi(dpi)};
    const int m = S(12);
    const int b = S(30);
    const int contentTop = S(28) + S(30) + S(78);
    const int contentHeight = height - contentTop - b - m;
    MainLayout layout;
    PlaceTopBand(layout, width, S);
    layout.fileList = {m, contentTop, width - 2 * m, contentHeight};
    PlaceTreeTab(layout, width, contentTop, contentHeight, S);
    layout.statusLine = {m, height - b + S(5), (width - 2 * m) - S(240), S(22)};
    layout.progressBar = {width - m - S(220), height - b + S(5) - S(2), S(220), S(20)};
    return layout;
}

WindowSize MainWindowMinimumSize(int dpi) {
    return {ScaleForDpi(1000, UsableDpi(dpi)), ScaleForDpi(680, UsableDpi(dpi))};
}

WindowSize MainWindowInitialSize(int dpi) {
    return {ScaleForDpi(1320, UsableDpi(dpi)), ScaleForDpi(840, UsableDpi(dpi))};
}

}  // namespace kestrin
