#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "scan/source/VolumeSource.h"

namespace kestrin {

// Forensic and collection tools save a volume's $MFT as a file of its own: record 0 at offset 0,
// every record at its number times the record size.

// The record size a file that starts with record 0 of an MFT states in that record's header: the
// "FILE" magic, an update sequence array that fits the record, attributes inside it, no base
// record. 0 when `bytes` start with no such record.
std::int32_t BareMftRecordSize(std::span<const std::uint8_t> bytes);

// The cluster size an $MFT file is read with when the user names none; the file does not say.
inline constexpr std::int64_t kDefaultMftFileClusterSize = 4096;

// True for a cluster size an NTFS volume can have: a power of two from 512 bytes to 2 MiB.
bool IsUsableClusterSize(std::int64_t clusterSize);

// The cluster size record 0 of the $MFT file implies: the bytes its $DATA allocates over the
// clusters its run list covers, the extension records' included. 0 when it cannot tell: no run
// list, or one that does not add up.
std::int64_t ImpliedMftClusterSize(VolumeSource& file);

// The $MFT file `file` as the volume it came from, so that the scan reads it as it reads any
// volume: the boot sector is made from record 0 and `clusterSize`; the clusters the MFT's run
// list names (record 0's, and those of the extension records its resident attribute list names)
// hold the file's bytes in VCN order; the allocation bitmap's clusters cannot be read, so the
// volume's used space stays unknown; every other cluster reads as zeros. A record 0 without a
// usable run list makes the whole file one extent. Null when record 0 cannot be read.
std::unique_ptr<VolumeSource> MakeMftFileVolume(std::unique_ptr<VolumeSource> file,
                                                std::int64_t clusterSize);

}  // namespace kestrin
