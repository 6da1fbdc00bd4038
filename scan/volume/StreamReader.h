#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "scan/ntfs/AttributeWalk.h"
#include "scan/ntfs/DataRuns.h"
#include "scan/ntfs/MftRecords.h"
#include "scan/volume/Volume.h"

namespace kestrin {

// a × b for non-negative values, false on overflow (damaged run lists hold any number).
bool MultiplyNonNegative(std::int64_t a, std::int64_t b, std::int64_t& product);

// True when one of the runs, sparse or not, holds virtual cluster `vcn`.
bool RunsCoverVcn(const std::vector<DataRun>& runs, std::int64_t vcn);

// Reads `out.size()` bytes of a non-resident stream, starting `streamOffset` bytes into it,
// through its runs. False when a part of that range is sparse, unmapped or unreadable.
bool ReadThroughRuns(const VolumeHandle& volume, const std::vector<DataRun>& runs,
                     std::int64_t clusterSize, std::int64_t streamOffset,
                     std::span<std::uint8_t> out);

// The value of an attribute list, read from the volume when it is non-resident. Empty when it
// cannot be read or is larger than any attribute list is.
std::vector<std::uint8_t> ReadAttributeListValue(const VolumeHandle& volume,
                                                 const Attribute& attribute,
                                                 std::int64_t clusterSize);

// The value of a record's first attribute list, read as above; empty when it has none.
std::vector<std::uint8_t> ReadRecordAttributeList(const VolumeHandle& volume,
                                                  const ByteReader& record,
                                                  std::int64_t clusterSize);

// The unnamed $DATA of one base record of the MFT: its runs, from the record and from the
// extension records that its attribute list names (read from the volume when the list is
// non-resident), and its data size.
struct UnnamedStream {
    std::vector<DataRun> runs;
    std::int64_t dataSize = 0;
};

// False when the record is not an in-use base record with a non-resident unnamed $DATA.
bool FindUnnamedStream(const VolumeHandle& volume, const MftRecords& records,
                       std::int64_t clusterSize, std::int64_t record, UnnamedStream& stream);

}  // namespace kestrin
