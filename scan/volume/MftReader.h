#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "scan/ntfs/DataRuns.h"
#include "scan/ntfs/NtfsVolumeData.h"
#include "scan/platform/MftBytes.h"
#include "scan/volume/Volume.h"

namespace kestrin {

struct MftGeometry {
    std::int32_t recordSize = 0;
    std::int64_t mftOffset = 0;  // byte offset of the MFT's first cluster on the volume
    std::int64_t mftLength = 0;  // bytes of the MFT image
    std::int64_t clusterSize = 0;
    std::int64_t clusterCount = 0;  // clusters of the volume; 0 when not known
    // Record slots of the image that the MFT's run list does not reach, left zero: their records
    // are missing from the scan.
    std::int64_t unreadRecords = 0;
};

// Reads the whole MFT into `image` (exactly mftLength bytes, zero where nothing was read), each
// extent at its place inside the MFT. Falls back to one contiguous read from the MFT's first
// cluster when the MFT's run list cannot be decoded or an extent cannot be read.
bool ReadMft(const VolumeHandle& volume, MftBytes& image, MftGeometry& geometry);

// A large MFT's run list outgrows record 0 and continues in extension records that record 0's
// attribute list names; appends the runs found there (each list starts at its own lowest VCN), so
// the records past the first extents are read too. `runs` holds record 0's own runs on entry.
void AppendMftExtensionRuns(const VolumeHandle& volume, std::span<const std::uint8_t> record0,
                            const NtfsVolumeData& data, std::vector<DataRun>& runs);

}  // namespace kestrin
