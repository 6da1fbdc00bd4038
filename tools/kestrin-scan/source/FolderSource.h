#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrin {

// A folder given as SOURCE: the volume that holds it, and where the folder lies in that volume.
struct FolderSource {
    bool found = false;
    // The volume: a drive letter ("C") where it has one, else the device or image file to open.
    std::wstring drive;
    std::filesystem::path device;
    std::string deviceText;  // the device as the user is told of it
    // The folder's record as the file system reports it (the inode number of ntfs-3g and ntfs3,
    // the file ID on Windows); -1 when it did not tell.
    std::int64_t record = -1;
    std::vector<std::wstring> names;  // its path from the volume's root, name by name
    std::wstring shownPath;           // the folder as the user named it
    wchar_t separator = L'/';         // between the names of the paths shown under it
    std::string reason;               // without a volume: the cause, "原因: ..." lines
};

// Finds the volume of the folder `folder`, which the user wrote as `shown`.
FolderSource LocateFolder(const std::filesystem::path& folder, const std::string& shown);

// `shown` without the separators that end it, the root of a drive or of the file system aside.
std::string TrimmedFolderText(const std::string& shown, char separator);

}  // namespace kestrin
