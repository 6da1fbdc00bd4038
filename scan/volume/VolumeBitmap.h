#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "scan/ntfs/MftRecords.h"
#include "scan/volume/MftReader.h"
#include "scan/volume/Volume.h"

namespace kestrin {

// NTFS keeps the volume's allocation bitmap in the unnamed $DATA of record 6 ($Bitmap): bit n
// (bit n % 8 of byte n / 8) is set when cluster n is in use.
inline constexpr std::int64_t kBitmapRecord = 6;

// The set bits among the first `bitLimit` bits of `bytes`; bits past the end of `bytes` count as
// clear.
std::int64_t CountSetBits(std::span<const std::uint8_t> bytes, std::int64_t bitLimit);

// The clusters that $Bitmap marks as in use below the volume's cluster count. Its runs come from
// record 6 of the MFT and the extension records that its attribute list names; its bytes are
// read from the volume. Nothing when the cluster count is not known, the runs do not cover the
// bitmap, or a read fails.
std::optional<std::int64_t> CountUsedClusters(const VolumeHandle& volume, const MftRecords& records,
                                              const MftGeometry& geometry);

}  // namespace kestrin
