#include "scan/ntfs/DataRuns.h"

#include <algorithm>

#include "scan/common/SaturatingAdd.h"

namespace kestrin {

std::size_t DecodeRunList(const Attribute& attribute, std::int64_t startingVcn,
                          std::vector<DataRun>& runs) {
    std::size_t appended = 0;
    ForEachRun(attribute, startingVcn, [&](const DataRun& run) {
        runs.push_back(run);
        ++appended;
    });
    return appended;
}

std::int64_t PlacedClusters(const Attribute& attribute, std::int64_t clusterLimit) {
    std::int64_t placed = 0;
    ForEachRun(attribute, 0, [&](const DataRun& run) {
        if (run.lcn < 0 || run.lcn >= clusterLimit) {
            return;
        }
        AddSaturating(placed, std::min(run.clusters, clusterLimit - run.lcn));
    });
    return placed;
}

bool DecodeDataRuns(std::span<const std::uint8_t> record, std::int32_t recordSize,
                    std::vector<DataRun>& runs) {
    runs.clear();
    if (recordSize < static_cast<std::int32_t>(kRecordMinimumSize) ||
        record.size() < static_cast<std::size_t>(recordSize)) {
        return false;
    }
    const ByteReader reader(record.first(static_cast<std::size_t>(recordSize)));
    if (!HasRecordMagic(reader)) {
        return false;
    }
    std::size_t offset = reader.U16(kRecordFirstAttributeOffset);
    if (offset >= reader.Size()) {
        return false;
    }
    // Unlike the decoders' walk, a damaged length here ends the search: the MFT is then read in
    // one piece instead.
    while (reader.Has(offset, 8)) {
        const std::uint32_t type = reader.U32(offset);
        const auto length = static_cast<std::int32_t>(reader.U32(offset + 4));
        if (type == kAttributeEnd || length <= 0 || !reader.Has(offset, length)) {
            return false;
        }
        const Attribute attribute{reader, offset, type, static_cast<std::uint32_t>(length)};
        if (attribute.IsUnnamedData() && attribute.IsNonResident()) {
            return DecodeRunList(attribute, 0, runs) > 0;
        }
        offset += static_cast<std::size_t>(length);
    }
    return false;
}

}  // namespace kestrin
