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
    // A file's extension by its number among its slice's (ExtensionIds), where the decoding
    // numbered it; 0xFFFF where not.
    std::uint16_t extensionId = 0xFFFF;
};

}  // namespace kestrin
