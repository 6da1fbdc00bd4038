#pragma once

#include <array>

namespace kestrin {

// Position and size of one child window in the main window's client area.
struct ControlRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const ControlRect&) const = default;
};

// Where every child of the main window goes for a client area and a DPI. The controls of the
// hidden tab are placed too; the window decides which ones it moves.
struct MainLayout {
    ControlRect driveLabel;
    ControlRect driveCombo;  // height is that of the dropped list
    ControlRect scanButton;
    std::array<ControlRect, 3> spaceLabels;
    ControlRect tabControl;
    ControlRect fileList;  // tab 1
    // tab 0
    ControlRect treeHeading;
    ControlRect treeList;
    ControlRect treemapHeading;
    ControlRect treemapWindow;
    ControlRect extensionHeading;
    ControlRect extensionList;
    // bottom band
    ControlRect statusLine;
    ControlRect progressBar;
};

MainLayout ComputeMainLayout(int clientWidth, int clientHeight, int dpi);

// Heights of the grey bands above the tab control and below the content.
int TopBandHeight(int dpi);
int BottomBandHeight(int dpi);

// A window size in pixels.
struct WindowSize {
    int width = 0;
    int height = 0;
};

// The smallest size the main window may be dragged to.
WindowSize MainWindowMinimumSize(int dpi);

// The main window's size when it is created, for the screen's DPI.
WindowSize MainWindowInitialSize(int dpi);

}  // namespace kestrin
