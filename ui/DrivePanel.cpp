#include "ui/DrivePanel.h"

#include "ui/MainWindow.h"

namespace kestrin {

namespace {

std::wstring VolumeLabel(const std::wstring& root) {
    wchar_t label[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                 nullptr, 0)) {
        return {};
    }
    return label;
}

}  // namespace

void FillDriveList(HWND combo) {
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    const DWORD drives = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if ((drives & (1u << i)) == 0) {
            continue;
        }
        const wchar_t letter = static_cast<wchar_t>(L'A' + i);
        const std::wstring root = std::wstring(1, letter) + L":\\";
        // Only fixed drives have an MFT worth reading; the file system is checked by the scan.
        if (::GetDriveTypeW(root.c_str()) != DRIVE_FIXED) {
            continue;
        }
        const std::wstring entry = DriveEntryText(letter, VolumeLabel(root));
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    }
    ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

std::wstring SelectedDriveLetter() {
    const HWND combo = mainWindowState.controls.driveCombo;
    const LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index < 0 || ::SendMessageW(combo, CB_GETLBTEXTLEN, index, 0) >= 256) {
        return DriveLetterOfEntry({});
    }
    wchar_t entry[256] = {};
    ::SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(entry));
    return DriveLetterOfEntry(entry);
}

DiskSpace QueryDiskSpace(const std::wstring& letter) {
    const std::wstring root = letter + L":\\";
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER totalFree{};
    if (!::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &totalFree)) {
        return {};
    }
    DiskSpace space;
    space.total = static_cast<std::int64_t>(total.QuadPart);
    space.free = static_cast<std::int64_t>(available.QuadPart);
    space.used = space.total - space.free;
    return space;
}

void UpdateSpacePanel() {
    const auto texts = SpacePanelTexts(QueryDiskSpace(SelectedDriveLetter()));
    for (int i = 0; i < 3; ++i) {
        ::SetWindowTextW(mainWindowState.controls.spaceLabels[i], texts[i].c_str());
    }
}

}  // namespace kestrin
