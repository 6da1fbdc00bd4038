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

// One stretch of the MFT as its run list places it: `length` bytes from byte `start` of the MFT
// lie at byte `volumeOffset` of the volume.
struct MftExtent {
    std::int64_t start = 0;
    std::int64_t length = 0;
    std::int64_t volumeOffset = 0;
};

// Where the MFT lies: its geometry, its run list, and the stretches the runs place inside the
// MFT's length, in run order (sparse runs and what lies past the valid length left out).
struct MftLayout {
    MftGeometry geometry;
    std::vector<DataRun> runs;
    std::vector<MftExtent> extents;
    // No run list could be decoded: the MFT is taken to lie in one piece from its first cluster.
    bool contiguous = false;
};

// Reads the volume's geometry, record 0 and the MFT's run list (continued in the extension
// records record 0's attribute list names), but not the MFT itself. False when the MFT cannot be
// read: no geometry, impossible geometry, a volume shorter than the MFT, record 0 unreadable.
bool LocateMft(const VolumeHandle& volume, MftLayout& layout);

// The layout of the MFT read in one piece from its first cluster, as when no run list is known.
MftLayout ContiguousLayout(const MftLayout& layout);

// Byte ranges [first, second) of the MFT or of a piece of it.
using ByteRanges = std::vector<std::pair<std::int64_t, std::int64_t>>;

// Zeroes what no range of `filled` (sorted) covers in `bytes`, so that holes hold empty records,
// never stale memory, and gives the number of record slots that are not wholly covered: what they
// held is unknown.
std::int64_t ZeroUnfilled(std::span<std::uint8_t> bytes, const ByteRanges& filled,
                          std::int32_t recordSize);

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
