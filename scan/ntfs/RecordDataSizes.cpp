#include "scan/ntfs/RecordDataSizes.h"

#include <algorithm>
#include <cstdint>

#include "scan/common/SaturatingAdd.h"
#include "scan/ntfs/AttributeWalk.h"

namespace kestrin {

bool RecordDataSizes(const ByteReader& record, std::int64_t& size, std::int64_t& allocated) {
    size = 0;
    allocated = 0;
    if (record.Size() < kRecordMinimumSize || !HasRecordMagic(record)) {
        return false;
    }
    const std::uint8_t flags = RecordFlags(record);
    if ((flags & kRecordInUse) == 0 || (flags & kRecordIsDirectory) != 0 ||
        record.U16(kRecordFirstAttributeOffset) >= record.Size()) {
        return false;
    }
    ForEachAttribute(record, [&](const Attribute& attribute) {
        if (!attribute.IsUnnamedData()) {
            return true;
        }
        if (!attribute.IsNonResident()) {
            AddSaturating(size, attribute.ValueLength());
            AddSaturating(allocated, attribute.ValueLength());
            return true;
        }
        if (attribute.length < kNonResidentHeaderSize) {
            return true;
        }
        const std::int64_t dataSize = attribute.DataSize();
        const std::int64_t occupied = attribute.OccupiedSize();
        const std::int64_t logical =
            std::max<std::int64_t>(dataSize > 0 ? dataSize : attribute.AllocatedSize(), 0);
        AddSaturating(size, logical);
        if (attribute.HasTotalAllocated()) {
            AddSaturating(allocated, std::max<std::int64_t>(occupied, 0));
        } else {
            AddSaturating(allocated, occupied > 0 ? occupied : logical);
        }
        return true;
    });
    return size > 0 || allocated > 0;
}

}  // namespace kestrin
