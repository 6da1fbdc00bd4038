#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "scan/common/ByteReader.h"
#include "scan/ntfs/AttributeWalk.h"

namespace kestrin {

// One extent of a non-resident stream: `clusters` clusters from virtual cluster `vcn` of the
// stream lie at logical cluster `lcn` of the volume; lcn is -1 for a sparse run.
struct DataRun {
    std::int64_t vcn = 0;
    std::int64_t lcn = 0;
    std::int64_t clusters = 0;
};

// Calls visit(const DataRun&) for every run of one non-resident attribute's run list whose length
// is above 0. Its first run starts at `startingVcn` (the attribute's lowest VCN); every LCN offset
// is relative to the previous run. A header byte of 0, a length field of 0, a field wider than 8
// bytes or a run that runs past the attribute ends the list.
template <typename Visit>
void ForEachRun(const Attribute& attribute, std::int64_t startingVcn, Visit&& visit);

// Appends the runs of one non-resident attribute's run list. Returns the number appended.
std::size_t DecodeRunList(const Attribute& attribute, std::int64_t startingVcn,
                          std::vector<DataRun>& runs);

// The clusters a non-resident attribute's run list places on the volume, counting only the part
// of each run below `clusterLimit` (the volume's cluster count): sparse runs place none, and a
// damaged list cannot claim more than the volume has.
std::int64_t PlacedClusters(const Attribute& attribute, std::int64_t clusterLimit);

// Replaces `runs` by the runs of the first unnamed non-resident $DATA of one fixed-up record.
// True when at least one run was produced.
bool DecodeDataRuns(std::span<const std::uint8_t> record, std::int32_t recordSize,
                    std::vector<DataRun>& runs);

// --- implementation ---

namespace detail {
// A run field wider than a 64-bit number cannot be meant; such a header ends the list.
inline constexpr unsigned kMaximumRunFieldBytes = 8;
}  // namespace detail

template <typename Visit>
void ForEachRun(const Attribute& attribute, std::int64_t startingVcn, Visit&& visit) {
    const ByteReader& record = attribute.record;
    const std::size_t end = attribute.End();
    std::size_t position = attribute.RunListStart();
    // Running values wrap instead of overflowing on damaged lists; a wrapped run is dropped below.
    auto vcn = static_cast<std::uint64_t>(startingVcn);
    std::uint64_t lcn = 0;
    while (position < end && record.Has(position, 1)) {
        const std::uint8_t header = record.U8(position);
        const unsigned lengthBytes = header & 0x0F;
        const unsigned offsetBytes = header >> 4;
        if (header == 0 || lengthBytes == 0 || lengthBytes > detail::kMaximumRunFieldBytes ||
            offsetBytes > detail::kMaximumRunFieldBytes) {
            return;
        }
        if (position + 1 + lengthBytes + offsetBytes > end) {
            return;
        }
        const std::uint64_t clusters = record.Unsigned(position + 1, lengthBytes);
        DataRun run;
        if (offsetBytes == 0) {
            run.lcn = -1;
        } else {
            lcn +=
                static_cast<std::uint64_t>(record.Signed(position + 1 + lengthBytes, offsetBytes));
            run.lcn = static_cast<std::int64_t>(lcn);
        }
        run.vcn = static_cast<std::int64_t>(vcn);
        run.clusters = static_cast<std::int64_t>(clusters);
        if (run.clusters > 0 && run.vcn >= 0) {
            visit(run);
        }
        vcn += clusters;
        position += 1 + lengthBytes + offsetBytes;
    }
}

}  // namespace kestrin
