#include "ui/DrivePanelTexts.h"

#include "render/Format.h"

namespace kestrin {

std::wstring DriveEntryText(wchar_t letter, std::wstring_view label) {
    std::wstring text = L"[";
    text += letter;
    text += L":]";
    if (!label.empty()) {
        text += L' ';
        text += label;
    }
    return text;
}

std::wstring DriveLetterOfEntry(std::wstring_view entry) {
    if (entry.size() >= 2 && entry[0] == L'[') {
        return std::wstring(1, entry[1]);
    }
    return L"C";
}

std::array<std::wstring, 3> SpacePanelTexts(const DiskSpace& space) {
    if (space.total <= 0) {
        return {L"总空间 —", L"已用 —", L"可用 —"};
    }
    const double usedPercent =
        static_cast<double>(space.used) * 100.0 / static_cast<double>(space.total);
    // The free share is the complement of the unrounded used share, not a second division.
    return {
        L"总空间  " + FormatSize(space.total),
        L"已用  " + FormatSize(space.used) + L"  (" + FormatPercent(usedPercent) + L")",
        L"可用  " + FormatSize(space.free) + L"  (" + FormatPercent(100.0 - usedPercent) + L")"};
}

}  // namespace kestrin
