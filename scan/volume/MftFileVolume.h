#pragma once

#include <cstdint>
#include <memory>

#include "scan/source/VolumeSource.h"

namespace kestrin {

// A volume's $MFT saved as a file (scan/volume/MftFileRecords.h), read as the volume it came from.

// The cluster size an $MFT file is read with when the user names none; the file does not say.
inline constexpr std::int64_t kDefaultMftFileClusterSize = 4096;

// The $MFT file `file` as the volume it came from, so that the scan reads it as it reads any
// volume: the boot sector is made from record 0 and `clusterSize`; the clusters the MFT's run
// list names (record 0's, and its extension records': those its attribute list names, or where
// that list is not resident, those found in the file, for which a list is made in its place)
// hold the file's bytes in VCN order; the allocation bitmap's clusters cannot be read, so the
// volume's used space stays unknown; every other cluster reads as zeros. A record 0 without a
// usable run list makes the whole file one extent. Null when record 0 cannot be read.
std::unique_ptr<VolumeSource> MakeMftFileVolume(std::unique_ptr<VolumeSource> file,
                                                std::int64_t clusterSize);

}  // namespace kestrin
