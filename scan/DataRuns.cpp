#include "scan/DataRuns.h"

namespace kestrin {

namespace {
// A run field wider than a 64-bit number cannot be meant; such a header ends the list.
constexpr unsigned kMaximumFieldBytes = 8;
}  // namespace

std::size_t DecodeRunList(const Attribute& attribute, std::int64_t startingVcn,
                          std::vector<DataRun>& runs) {
    const ByteReader& record = attribute.record;
    const std::size_t end = attribute.End();
    std::size_t position = attribute.RunListStart();
    // Running values wrap instead of overflowing on damaged lists; a wrapped run is dropped below.
    auto vcn = static_cast<std::uint64_t>(startingVcn);
    std::uint64_t lcn = 0;
    std::size_t appended = 0;
    while (position < end && record.Has(position, 1)) {
        const std::uint8_t header = record.U8(position);
        const unsigned lengthBytes = header & 0x0F;
        const unsigned offsetBytes = header >> 4;
        if (header == 0 || lengthBytes == 0 || lengthBytes > kMaximumFieldBytes ||
            offsetBytes > kMaximumFieldBytes) {
            break;
        }
        if (position + 1 + lengthBytes + offsetBytes > end) {
            break;
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
            runs.push_back(run);
            ++appended;
        }
        vcn += clusters;
        position += 1 + lengthBytes + offsetBytes;
    }
    return appended;
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
