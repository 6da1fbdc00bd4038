#include "scan/ntfs/RecordSpace.h"

#include "scan/ntfs/DataRuns.h"

namespace kestrin {

namespace {

constexpr std::uint32_t kAttributeIndexAllocation = 0xA0;

std::int64_t& TallyFor(const Attribute& attribute, ClusterTally& tally) {
    if (attribute.type == kAttributeData) {
        return attribute.NameLength() == 0 ? tally.fileData : tally.namedStreams;
    }
    return attribute.type == kAttributeIndexAllocation ? tally.directoryIndexes
                                                       : tally.otherAttributes;
}

}  // namespace

void MeasureAttribute(const Attribute& attribute, const VolumeClusters& volume,
                      ClusterTally& clusters, RecordSpace& space) {
    if (!attribute.IsNonResident()) {
        space.hasResidentAttributeList |= attribute.type == kAttributeList;
        return;
    }
    // Shorter headers have no room for the sizes, and their run list offset is not to be trusted.
    if (attribute.length < kNonResidentHeaderSize) {
        return;
    }
    const std::int64_t placed = PlacedClusters(attribute, volume.count);
    AddSaturating(TallyFor(attribute, clusters), placed);
    if (attribute.type == kAttributeData && attribute.NameLength() != 0) {
        AddSaturating(space.namedStreamBytes, ClusterBytes(placed, volume.size));
    } else if (attribute.type == kAttributeIndexAllocation) {
        AddSaturating(space.indexBytes, ClusterBytes(placed, volume.size));
    }
}

RecordSpace MeasureRecordSpace(const ByteReader& record, const VolumeClusters& volume,
                               ClusterTally& clusters) {
    RecordSpace space;
    if (record.Size() < kRecordMinimumSize) {
        return space;
    }
    ForEachAttribute(record, [&](const Attribute& attribute) {
        MeasureAttribute(attribute, volume, clusters, space);
        return true;
    });
    return space;
}

}  // namespace kestrin
