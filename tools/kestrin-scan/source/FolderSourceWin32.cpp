#include <windows.h>

#include "scan/common/Utf16Text.h"
#include "tools/kestrin-scan/source/FolderSource.h"

namespace kestrin {

namespace {

FolderSource Refused(std::string reason) {
    FolderSource source;
    source.reason = "原因: " + std::move(reason);
    return source;
}

std::wstring FullPathOf(const std::filesystem::path& folder) {
    const DWORD needed = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(folder.c_str(), needed, full.data(), nullptr);
    full.resize(written < needed ? written : 0);
    return full;
}

// The low 48 bits of an NTFS file ID are the file's record number.
std::int64_t RecordOf(const std::wstring& full) {
    const HANDLE opened =
        CreateFileW(full.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const BOOL known = GetFileInformationByHandle(opened, &information);
    CloseHandle(opened);
    if (!known) {
        return -1;
    }
    const std::uint64_t id =
        (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return static_cast<std::int64_t>(id & 0xFFFFFFFFFFFFull);
}

std::vector<std::wstring> NamesBelow(const std::wstring& full, const std::wstring& volumePath) {
    std::vector<std::wstring> names;
    std::size_t at = volumePath.size();
    while (at < full.size()) {
        const std::size_t end = std::min(full.find(L'\\', at), full.size());
        if (end > at) {
            names.push_back(full.substr(at, end - at));
        }
        at = end + 1;
    }
    return names;
}

}  // namespace

FolderSource LocateFolder(const std::filesystem::path& folder, const std::string& shown) {
    const std::wstring full = FullPathOf(folder);
    wchar_t volumePath[MAX_PATH + 1] = {};
    if (full.empty() || !GetVolumePathNameW(full.c_str(), volumePath, MAX_PATH)) {
        return Refused("无法找到 " + shown + " 所在的卷。\n");
    }
    const std::wstring volume = volumePath;
    wchar_t fileSystem[MAX_PATH + 1] = {};
    if (GetVolumeInformationW(volume.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                              MAX_PATH) &&
        std::wstring(fileSystem) != L"NTFS") {
        return Refused(shown + " 所在的卷 " + Utf8FromWide(volume) + " 是 " +
                       Utf8FromWide(fileSystem) + " 文件系统，只能扫描 NTFS 卷。\n");
    }
    FolderSource source;
    if (volume.size() == 3 && volume[1] == L':') {
        source.drive = volume.substr(0, 1);
        source.deviceText = "\\\\.\\" + Utf8FromWide(volume.substr(0, 2));
    } else {
        // A volume mounted in a folder: opened by its volume name, \\.\Volume{...}.
        wchar_t name[MAX_PATH + 1] = {};
        if (!GetVolumeNameForVolumeMountPointW(volume.c_str(), name, MAX_PATH)) {
            return Refused("无法找到 " + shown + " 所在的卷。\n");
        }
        std::wstring device = name;
        if (device.rfind(L"\\\\?\\", 0) == 0) {
            device[2] = L'.';
        }
        while (!device.empty() && device.back() == L'\\') {
            device.pop_back();
        }
        source.device = device;
        source.deviceText = Utf8FromWide(device);
    }
    source.found = true;
    source.record = RecordOf(full);
    source.names = NamesBelow(full, volume);
    source.shownPath = WideFromUtf8(TrimmedFolderText(shown, '\\'));
    source.separator = L'\\';
    return source;
}

}  // namespace kestrin
