#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "scan/volume/SourceDescription.h"

namespace kestrin {

// Which volume of a source given by path to scan, or why none can be.
struct SourceChoice {
    bool scan = false;
    std::int64_t offset = 0;   // the volume's first byte within the source
    std::int64_t length = -1;  // its bytes; -1 for the whole source
    bool mftFile = false;      // the source is a volume's $MFT saved as a file, no volume
    std::string notice;        // said on standard error before the scan (the partition taken)
    std::string reason;        // without a scan: the cause and what to do, "原因: ..." lines
};

// `partition` is the number --partition asked for.
SourceChoice ChooseVolume(const SourceDescription& source, std::optional<int> partition);

// The reasons a path cannot be opened at all, given what the file system says of it.
std::string MissingPathReason(const std::string& path);
std::string PermissionReason(const std::string& path);

// For a source that opened as NTFS and still could not be read as a volume.
std::string DamagedNtfsReason();

}  // namespace kestrin
