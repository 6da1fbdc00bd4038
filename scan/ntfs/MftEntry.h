#pragma once

#include <cstdint>

#include "scan/common/NameText.h"

namespace kestrin {

// NTFS places the root directory in file record 5.
inline constexpr std::int64_t kRootRecord = 5;

// One decoded file record: the name chosen among its $FILE_NAME attributes with that name's
// parent, and the sizes, time and attribute flags of the file or folder.
struct MftEntry {
    std::int64_t recordNumber = 0;
    std::int64_t parentRecord = 0;
    NameText name;
    std::int64_t size = 0;       // logical bytes, never negative; 0 for directories
    std::int64_t allocated = 0;  // allocated bytes, never negative; 0 for directories
    std::int64_t time = 0;       // last modification, FILETIME; 0 when unknown
    std::uint32_t attributes = 0;
    // Last, beside the attributes: between the name and the sizes it padded every entry of a
    // scan by 8 bytes.
    bool isDirectory = false;
    // A file's extension by its number, where one was given: among its slice's extensions
    // (ExtensionIds) from the decode until the file is added, and for a largest file kept, among
    // the extension totals it was added to (ExtensionTable). 0xFFFF where none was given.
    std::uint16_t extensionId = 0xFFFF;
};

}  // namespace kestrin
