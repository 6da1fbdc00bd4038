#pragma once

#include <cstdint>
#include <limits>

#include "scan/common/ByteReader.h"
#include "scan/ntfs/AttributeWalk.h"
#include "scan/ntfs/ClusterTally.h"

namespace kestrin {

// The volume's clusters, which the records' run lists are measured against.
struct VolumeClusters {
    std::int64_t size = 0;  // bytes per cluster; 0 when not known
    // Clusters of the volume: run-list clusters at or past it lie outside the volume and are not
    // counted. The largest number when not known.
    std::int64_t count = std::numeric_limits<std::int64_t>::max();
};

// What one in-use record holds outside its own slot of the MFT, beside its clusters.
struct RecordSpace {
    // The bytes of the named $DATA extents stored here: the clusters their run lists place on
    // the volume, which for compressed and sparse streams is what their total-allocated field
    // states, and for $BadClus:$Bad (a sparse run as long as the volume, without the sparse flag)
    // is nothing.
    std::int64_t namedStreamBytes = 0;
    // The bytes of the $INDEX_ALLOCATION extents stored here, as their run lists place them.
    std::int64_t indexBytes = 0;
    bool hasResidentAttributeList = false;
};

// One walk over the attributes of a fixed-up record that is in use: the clusters its attribute
// extents place on the volume are added to `clusters`.
RecordSpace MeasureRecordSpace(const ByteReader& record, const VolumeClusters& volume,
                               ClusterTally& clusters);

// Lets the decoder's own walk over a base record measure its space on the way, sparing a second
// walk over every record of the volume: the clusters go to `clusters`, the rest to `space`, and
// `measured` says that the walk ran.
struct SpaceProbe {
    VolumeClusters volume;
    ClusterTally* clusters = nullptr;
    RecordSpace space;
    bool measured = false;
};

// Adds one attribute of a record to what the record places, as MeasureRecordSpace does.
void MeasureAttribute(const Attribute& attribute, const VolumeClusters& volume,
                      ClusterTally& clusters, RecordSpace& space);

}  // namespace kestrin
