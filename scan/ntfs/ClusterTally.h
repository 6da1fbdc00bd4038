#pragma once

#include <cstdint>
#include <limits>

#include "scan/common/SaturatingAdd.h"

namespace kestrin {

// Clusters of the volume by the kind of attribute whose run lists place them there, summed over
// records. Each extent of an attribute lies in exactly one record, so the sum over every in-use
// record counts each attribute's clusters once.
struct ClusterTally {
    std::int64_t fileData = 0;          // unnamed $DATA
    std::int64_t namedStreams = 0;      // named $DATA
    std::int64_t directoryIndexes = 0;  // $INDEX_ALLOCATION
    std::int64_t otherAttributes = 0;   // every other non-resident attribute

    ClusterTally& operator+=(const ClusterTally& other) {
        AddSaturating(fileData, other.fileData);
        AddSaturating(namedStreams, other.namedStreams);
        AddSaturating(directoryIndexes, other.directoryIndexes);
        AddSaturating(otherAttributes, other.otherAttributes);
        return *this;
    }
    bool operator==(const ClusterTally&) const = default;
};

// Clusters as bytes, stopping at the largest value; 0 for no clusters or no known cluster size.
inline std::int64_t ClusterBytes(std::int64_t clusters, std::int64_t clusterSize) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    if (clusters <= 0 || clusterSize <= 0) {
        return 0;
    }
    return clusters > kMax / clusterSize ? kMax : clusters * clusterSize;
}

}  // namespace kestrin
