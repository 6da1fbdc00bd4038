#include "ui/ListNotify.h"

#include <algorithm>

#include "render/CellDrawing.h"

namespace kestrin {

void CopyDisplayText(NMLVDISPINFOW& request, const std::wstring& text) {
    if ((request.item.mask & LVIF_TEXT) == 0 || request.item.pszText == nullptr ||
        request.item.cchTextMax <= 0) {
        return;
    }
    const std::size_t room = static_cast<std::size_t>(request.item.cchTextMax) - 1;
    const std::size_t count = std::min(room, text.size());
    std::copy_n(text.data(), count, request.item.pszText);
    request.item.pszText[count] = L'\0';
}

void RedrawRow(HWND list, int row) {
    if (row >= 0) {
        ::SendMessageW(list, LVM_REDRAWITEMS, row, row);
    }
}

void SetRowCountAndRedraw(HWND list, std::size_t rows) {
    ::SendMessageW(list, LVM_SETITEMCOUNT, rows, 0);
    ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

bool IsRowSelected(HWND list, int row) {
    return (::SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

void SelectAndFocusRow(HWND list, int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

LRESULT CustomDrawRows(NMLVCUSTOMDRAW& draw, RowPainter paintRow) {
    const HWND list = draw.nmcd.hdr.hwndFrom;
    const int row = static_cast<int>(draw.nmcd.dwItemSpec);
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            const bool selected = IsRowSelected(list, row);
            const COLORREF background = selected ? kAccentColour : RGB(255, 255, 255);
            draw.clrText = selected ? RGB(255, 255, 255) : RGB(0, 0, 0);
            draw.clrTextBk = background;
            paintRow(draw.nmcd.hdc, list, row, draw.nmcd.rc, background);
            return CDRF_SKIPDEFAULT | CDRF_NOTIFYPOSTPAINT;
        }
        case CDDS_ITEMPOSTPAINT: {
            RECT rect = draw.nmcd.rc;
            if (rect.left >= rect.right || rect.top >= rect.bottom) {
                RowBounds(list, row, rect);
            }
            DrawColumnLines(list, draw.nmcd.hdc, rect);
            return 0;
        }
        default:
            return 0;
    }
}

}  // namespace kestrin
