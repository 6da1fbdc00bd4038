#include "scan/SpaceAccounting.h"

#include <limits>

#include "scan/SaturatingAdd.h"

namespace kestrin {

namespace {

std::int64_t BytesOf(std::int64_t clusters, std::int64_t clusterSize) {
    if (clusters <= 0 || clusterSize <= 0) {
        return 0;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    return clusters > kMax / clusterSize ? kMax : clusters * clusterSize;
}

}  // namespace

std::int64_t SpaceAccounting::Unaccounted() const {
    if (!HasVolumeUsed()) {
        return 0;
    }
    std::int64_t rest = volumeUsed;
    for (const std::int64_t claimed : {fileData, namedStreams, directoryIndexes, otherAttributes}) {
        AddSaturating(rest, -claimed);
    }
    return rest;
}

SpaceAccounting AccountSpace(const ClusterTally& clusters, std::int64_t clusterSize,
                             std::optional<std::int64_t> usedClusters) {
    SpaceAccounting space;
    space.clusterSize = clusterSize;
    space.volumeUsed = usedClusters ? BytesOf(*usedClusters, clusterSize) : -1;
    space.fileData = BytesOf(clusters.fileData, clusterSize);
    space.namedStreams = BytesOf(clusters.namedStreams, clusterSize);
    space.directoryIndexes = BytesOf(clusters.directoryIndexes, clusterSize);
    space.otherAttributes = BytesOf(clusters.otherAttributes, clusterSize);
    return space;
}

}  // namespace kestrin
