#include "render/TreemapWindow.h"

#include <windowsx.h>

#include <string>

#include "app/WindowMessages.h"
#include "render/Fonts.h"
#include "render/Format.h"
#include "render/GdiObjects.h"
#include "render/TreemapLayout.h"
#include "ui/MainWindow.h"
#include "ui/TreeView.h"

namespace kestrin {

TreemapWindowState treemap;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

std::vector<TreemapTile> TilesFor(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    return LayoutTreemap({client.left, client.top, client.right, client.bottom},
                         treemap.treemapItems);
}

// The item of the first tile that holds the point, or null over white space.
const TreemapItem* ItemAt(HWND window, POINT point) {
    for (const TreemapTile& tile : TilesFor(window)) {
        if (point.x >= tile.left && point.x < tile.right && point.y >= tile.top &&
            point.y < tile.bottom) {
            if (tile.itemIndex < 0 ||
                tile.itemIndex >= static_cast<std::int64_t>(treemap.treemapItems.size())) {
                return nullptr;
            }
            return &treemap.treemapItems[static_cast<std::size_t>(tile.itemIndex)];
        }
    }
    return nullptr;
}

void DrawLabel(HDC dc, RECT rect, const std::wstring& text) {
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
                DT_SINGLELINE | DT_END_ELLIPSIS | DT_LEFT | DT_TOP);
}

void DrawTile(HDC dc, const RECT& rect, const TreemapItem& item, bool labelAllowed) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return;
    }
    FillSolid(dc, rect, item.color);
    {
        // The outline covers the tile's own outermost pixels, so neighbours are parted by white.
        UniquePen pen(::CreatePen(PS_SOLID, 1, kWhite));
        SelectionGuard penSelected(dc, pen.Get());
        SelectionGuard brushSelected(dc, ::GetStockObject(NULL_BRUSH));
        ::Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
    }
    if (!labelAllowed || width < 24 || height < 14) {
        return;
    }
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, kWhite);
    const RECT text{rect.left + 4, rect.top + 2, rect.right - 4, rect.bottom - 2};
    if (height < 30) {
        DrawLabel(dc, text, item.name + L" (" + FormatSize(item.size) + L")");
        return;
    }
    const int middle = text.top + height / 2;
    DrawLabel(dc, {text.left, text.top, text.right, middle}, item.name);
    DrawLabel(dc, {text.left, middle, text.right, text.bottom}, FormatSize(item.size));
}

LRESULT OnPaint(HWND window) {
    PaintScope paint(window);
    RECT client{};
    ::GetClientRect(window, &client);
    if (fonts.smallFont) {
        ::SelectObject(paint.Get(), fonts.smallFont.Get());
    }
    PaintTreemap(paint.Get(), client, treemap.treemapItems);
    return 0;
}

LRESULT OnSetCursor(HWND window, WPARAM wParam, LPARAM lParam) {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ::ScreenToClient(window, &cursor);
    const TreemapItem* item = ItemAt(window, cursor);
    if (item != nullptr && item->navigable && !item->isFile) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    return ::DefWindowProcW(window, WM_SETCURSOR, wParam, lParam);
}

LRESULT OnDoubleClick(HWND window, LPARAM lParam) {
    const TreemapItem* item = ItemAt(window, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    if (item == nullptr) {
        return 0;
    }
    // Copies: showing a folder rebuilds the items this one points into.
    const std::int64_t record = item->recordNumber;
    if (item->isOwnFiles) {
        ShowDirectoryInTree(record, true);
    } else if (item->navigable && !item->isFile) {
        ShowDirectoryInTree(record, false);
    }
    return 0;
}

}  // namespace

bool RegisterTreemapClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = TreemapWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kTreemapWindowClass;
    return ::RegisterClassExW(&windowClass) != 0;
}

void RebuildTreemapItems() {
    treemap.treemapItems =
        BuildTreemapItems(mainWindowState.currentResult, treemap.state.treemapDirectory,
                          treemap.state.treemapShowsFiles);
    const HWND window = mainWindowState.controls.treemapWindow;
    if (window != nullptr) {
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
}

void PaintTreemap(HDC dc, const RECT& rect, const std::vector<TreemapItem>& items) {
    if (rect.left >= rect.right || rect.top >= rect.bottom) {
        return;
    }
    FillSolid(dc, rect, kWhite);
    const auto tiles = LayoutTreemap({rect.left, rect.top, rect.right, rect.bottom}, items);
    for (const TreemapTile& tile : tiles) {
        if (tile.itemIndex < 0 || tile.itemIndex >= static_cast<std::int64_t>(items.size())) {
            continue;
        }
        const int width = tile.right - tile.left;
        const int height = tile.bottom - tile.top;
        if (width > 0 && height > 0) {
            DrawTile(dc, {tile.left, tile.top, tile.right, tile.bottom},
                     items[static_cast<std::size_t>(tile.itemIndex)], width > 23 && height > 13);
        }
    }
}

LRESULT CALLBACK TreemapWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            return OnPaint(window);
        case WM_ERASEBKGND:
            return 1;
        case WM_SETCURSOR:
            return OnSetCursor(window, wParam, lParam);
        case WM_LBUTTONDBLCLK:
            return OnDoubleClick(window, lParam);
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace kestrin
