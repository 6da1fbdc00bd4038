#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "scan/AttributeWalk.h"
#include "scan/ByteReader.h"

namespace kestrin {

// One extent of a non-resident stream: `clusters` clusters from virtual cluster `vcn` of the
// stream lie at logical cluster `lcn` of the volume; lcn is -1 for a sparse run.
struct DataRun {
    std::int64_t vcn = 0;
    std::int64_t lcn = 0;
    std::int64_t clusters = 0;
};

// Appends the runs of one non-resident attribute's run list. Its first run starts at
// `startingVcn` (the attribute's lowest VCN); every LCN offset is relative to the previous run.
// Returns the number of runs appended.
std::size_t DecodeRunList(const Attribute& attribute, std::int64_t startingVcn,
                          std::vector<DataRun>& runs);

// Replaces `runs` by the runs of the first unnamed non-resident $DATA of one fixed-up record.
// True when at least one run was produced.
bool DecodeDataRuns(std::span<const std::uint8_t> record, std::int32_t recordSize,
                    std::vector<DataRun>& runs);

}  // namespace kestrin
