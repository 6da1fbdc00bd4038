#pragma once

#include <cstdint>

#include "scan/SaturatingAdd.h"

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

}  // namespace kestrin
