#include "ui/ListViewLook.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <windowsx.h>

#include <vector>

#include "render/CellDrawing.h"
#include "render/Dpi.h"
#include "render/Fonts.h"
#include "render/GdiObjects.h"
#include "ui/HeaderGeometry.h"
#include "ui/ListNotify.h"

namespace kestrin {

namespace {

constexpr UINT_PTR kHeaderSubclassId = 1;
constexpr COLORREF kHeaderColour = RGB(240, 240, 240);
constexpr COLORREF kArrowColour = RGB(96, 96, 96);

int S(int value) {
    return ScaleForDpi(value, UsableDpi(fonts.currentDpi));
}

PixelRect ToPixelRect(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

void PaintSortArrow(HDC dc, const HeaderItemGeometry& geometry) {
    UniqueBrush brush(::CreateSolidBrush(kArrowColour));
    UniquePen pen(::CreatePen(PS_SOLID, 1, kArrowColour));
    SelectionGuard brushSelected(dc, brush.Get());
    SelectionGuard penSelected(dc, pen.Get());
    POINT points[3];
    for (int i = 0; i < 3; ++i) {
        points[i] = {geometry.arrow[i].x, geometry.arrow[i].y};
    }
    ::Polygon(dc, points, 3);
}

void PaintHeaderItem(HWND header, HDC dc, int index) {
    RECT item{};
    if (!::SendMessageW(header, HDM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item))) {
        return;
    }
    wchar_t title[128] = {};
    HDITEMW info{};
    info.mask = HDI_FORMAT | HDI_TEXT;
    info.pszText = title;
    info.cchTextMax = 128;
    ::SendMessageW(header, HDM_GETITEMW, index, reinterpret_cast<LPARAM>(&info));

    {
        UniquePen line(::CreatePen(PS_SOLID, 1, kColumnLineColour));
        SelectionGuard selected(dc, line.Get());
        ::MoveToEx(dc, item.right - 1, item.top + S(5), nullptr);
        ::LineTo(dc, item.right - 1, item.bottom - S(5));
    }
    const bool rightAligned = (info.fmt & HDF_RIGHT) != 0;
    SortArrow arrow = SortArrow::None;
    if (info.fmt & HDF_SORTUP) {
        arrow = SortArrow::Up;
    } else if (info.fmt & HDF_SORTDOWN) {
        arrow = SortArrow::Down;
    }
    const HeaderItemGeometry geometry =
        LayoutHeaderItem(ToPixelRect(item), rightAligned, arrow, fonts.currentDpi);
    if (geometry.hasArrow) {
        PaintSortArrow(dc, geometry);
    }
    RECT text{geometry.text.left, geometry.text.top, geometry.text.right, geometry.text.bottom};
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::DrawTextW(dc, title, -1, &text,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS |
                    (rightAligned ? DT_RIGHT : DT_LEFT));
}

void PaintHeader(HWND header, HDC target) {
    RECT client{};
    ::GetClientRect(header, &client);
    // Painting off screen and copying once keeps the header from flickering while columns are
    // dragged.
    MemoryDc buffer(target);
    UniqueBitmap bitmap(::CreateCompatibleBitmap(target, client.right, client.bottom));
    SelectionGuard bitmapSelected(buffer.Get(), bitmap.Get());
    const HDC dc = buffer.Get();
    FillSolid(dc, client, kHeaderColour);
    SelectionGuard fontSelected(dc, fonts.uiFont.Get());
    ::SetBkMode(dc, TRANSPARENT);
    const int count = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        PaintHeaderItem(header, dc, i);
    }
    ::BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
}

LRESULT CALLBACK HeaderSubclassProc(HWND header, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PaintScope paint(header);
            PaintHeader(header, paint.Get());
            return 0;
        }
        default:
            return ::DefSubclassProc(header, message, wParam, lParam);
    }
}

LRESULT OnHoverMouseMove(HWND list, LPARAM lParam, int* hoverRow) {
    LVHITTESTINFO hit{};
    hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const int row =
        static_cast<int>(::SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row != *hoverRow) {
        const int previous = *hoverRow;
        *hoverRow = row;
        RedrawRow(list, previous);
        RedrawRow(list, row);
    }
    ::SendMessageW(list, LVM_SETHOTITEM, static_cast<WPARAM>(-1), 0);
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, list, 0};
    ::TrackMouseEvent(&track);
    return 0;
}

LRESULT CALLBACK HoverSubclassProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR reference) {
    int* hoverRow = reinterpret_cast<int*>(reference);
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE:
            return OnHoverMouseMove(list, lParam, hoverRow);
        case WM_MOUSELEAVE:
            if (*hoverRow >= 0) {
                const int previous = *hoverRow;
                *hoverRow = -1;
                RedrawRow(list, previous);
            }
            return 0;
        default:
            return ::DefSubclassProc(list, message, wParam, lParam);
    }
}

}  // namespace

void SetupListControl(HWND list) {
    ::SetWindowTheme(list, L"", L"");
    ::SendMessageW(list, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
    ::SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
    ::SendMessageW(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
    // The row height follows the small image list, so a 1-pixel-wide list sets it.
    const HIMAGELIST rowHeight = ::ImageList_Create(1, S(24), ILC_COLOR32 | ILC_MASK, 0, 1);
    const HIMAGELIST previous = reinterpret_cast<HIMAGELIST>(
        ::SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(rowHeight)));
    if (previous != nullptr && previous != rowHeight) {
        ::ImageList_Destroy(previous);
    }
    ::SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.uiFont.Get()), TRUE);
    ::SendMessageW(list, LVM_SETHOTITEM, static_cast<WPARAM>(-1), 0);
    ::SendMessageW(list, LVM_SETHOVERTIME, 0, static_cast<LPARAM>(HOVER_DEFAULT));
    const HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (header != nullptr) {
        ::SetWindowSubclass(header, HeaderSubclassProc, kHeaderSubclassId, 0);
    }
}

void ApplySortArrow(HWND list, SortState sort) {
    const HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (header == nullptr) {
        return;
    }
    const int count = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        ::SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        switch (ArrowForColumn(sort, i)) {
            case SortArrow::Up:
                item.fmt |= HDF_SORTUP;
                break;
            case SortArrow::Down:
                item.fmt |= HDF_SORTDOWN;
                break;
            case SortArrow::None:
                break;
        }
        ::SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

void AttachHoverTracker(HWND list, UINT_PTR subclassId, int* hoverRow) {
    ::SetWindowSubclass(list, HoverSubclassProc, subclassId, reinterpret_cast<DWORD_PTR>(hoverRow));
}

}  // namespace kestrin
