// The main window's own drawing: the two grey bands, the owner-drawn tabs and scan button.
#include "ui/MainWindowPaint.h"

#include <commctrl.h>

#include "app/WindowMessages.h"
#include "render/CellDrawing.h"
#include "render/Dpi.h"
#include "render/Fonts.h"
#include "render/GdiObjects.h"
#include "ui/MainLayout.h"
#include "ui/MainWindow.h"

namespace kestrin {

namespace {

constexpr COLORREF kBandLineColour = RGB(200, 200, 200);
constexpr COLORREF kGreyTextColour = RGB(96, 96, 96);

void HorizontalLine(HDC dc, int y, int width) {
    UniquePen pen(::CreatePen(PS_SOLID, 1, kBandLineColour));
    SelectionGuard selected(dc, pen.Get());
    ::MoveToEx(dc, 0, y, nullptr);
    ::LineTo(dc, width, y);
}

void DrawCentredText(HDC dc, RECT rect, const wchar_t* text, HFONT font, COLORREF colour) {
    SelectionGuard fontSelected(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void DrawTabItem(const DRAWITEMSTRUCT& item) {
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    if (selected) {
        FillSolid(item.hDC, item.rcItem, RGB(235, 235, 235));
        RECT underline = item.rcItem;
        underline.top = underline.bottom - ScaleForDpi(2, UsableDpi(fonts.currentDpi));
        FillSolid(item.hDC, underline, kAccentColour);
    } else {
        FillSolid(item.hDC, item.rcItem, RGB(245, 245, 245));
    }
    wchar_t title[64] = {};
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = title;
    tab.cchTextMax = 64;
    ::SendMessageW(item.hwndItem, TCM_GETITEMW, item.itemID, reinterpret_cast<LPARAM>(&tab));
    DrawCentredText(item.hDC, item.rcItem, title, fonts.uiFont.Get(),
                    selected ? RGB(0, 0, 0) : kGreyTextColour);
}

void DrawScanButton(const DRAWITEMSTRUCT& item) {
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    COLORREF fill = kAccentColour;
    if (disabled) {
        fill = kBandLineColour;
    } else if (pressed) {
        fill = RGB(40, 150, 235);
    }
    FillSolid(item.hDC, item.rcItem, fill);
    {
        UniquePen pen(::CreatePen(PS_SOLID, 1, disabled ? kBandLineColour : RGB(40, 150, 235)));
        SelectionGuard penSelected(item.hDC, pen.Get());
        SelectionGuard brushSelected(item.hDC, ::GetStockObject(NULL_BRUSH));
        ::RoundRect(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right,
                    item.rcItem.bottom, 6, 6);
    }
    DrawCentredText(item.hDC, item.rcItem, L"扫描", fonts.buttonFont.Get(),
                    disabled ? kGreyTextColour : RGB(255, 255, 255));
}

}  // namespace

LRESULT OnEraseBackground(HWND window, HDC dc) {
    RECT client{};
    ::GetClientRect(window, &client);
    const int dpi = UsableDpi(fonts.currentDpi);
    ::FillRect(dc, &client, mainWindowState.whiteBrush.Get());
    const RECT top{0, 0, client.right, TopBandHeight(dpi)};
    ::FillRect(dc, &top, mainWindowState.bandBrush.Get());
    HorizontalLine(dc, top.bottom - 1, client.right);
    const RECT bottom{0, client.bottom - BottomBandHeight(dpi), client.right, client.bottom};
    ::FillRect(dc, &bottom, mainWindowState.bandBrush.Get());
    HorizontalLine(dc, bottom.top, client.right);
    return 1;
}

bool OnDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlID == static_cast<UINT>(ID_TAB_CONTROL)) {
        DrawTabItem(item);
        return true;
    }
    if (item.CtlID == static_cast<UINT>(ID_SCAN_BUTTON)) {
        DrawScanButton(item);
        return true;
    }
    return false;
}

}  // namespace kestrin
