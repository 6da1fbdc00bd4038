#include "scan/ntfs/AttributeListRefs.h"

#include <algorithm>

#include "scan/ntfs/AttributeWalk.h"

namespace kestrin {

namespace {

// The resident value of an attribute, cut to the part that lies inside the record.
ByteReader ResidentValue(const Attribute& attribute) {
    const std::size_t start = attribute.ValueStart();
    if (start >= attribute.record.Size()) {
        return ByteReader();
    }
    const std::size_t length =
        std::min<std::size_t>(attribute.ValueLength(), attribute.record.Size() - start);
    return attribute.record.Sub(start, length);
}

template <typename Wanted>
void CollectRefs(const ByteReader& record, std::int64_t recordNumber, Wanted&& wanted,
                 std::vector<std::int64_t>& refs) {
    if (record.Size() < kRecordMinimumSize) {
        return;
    }
    ForEachAttribute(record, [&](const Attribute& attribute) {
        // A non-resident list lives in clusters outside the MFT image and is not read here.
        if (attribute.type != kAttributeList || attribute.IsNonResident()) {
            return true;
        }
        ForEachListEntry(ResidentValue(attribute), [&](const AttributeListEntry& entry) {
            if (wanted(entry) && entry.recordNumber != 0 && entry.recordNumber != recordNumber &&
                std::find(refs.begin(), refs.end(), entry.recordNumber) == refs.end()) {
                refs.push_back(entry.recordNumber);
            }
            return true;
        });
        return true;
    });
}

}  // namespace

void NameExtensionRefs(const ByteReader& record, std::int64_t recordNumber,
                       std::vector<std::int64_t>& refs) {
    CollectRefs(
        record, recordNumber,
        [](const AttributeListEntry& entry) { return entry.startingVcn == 0; }, refs);
}

void DataExtensionRefs(const ByteReader& record, std::int64_t recordNumber,
                       std::vector<std::int64_t>& refs) {
    CollectRefs(
        record, recordNumber,
        [](const AttributeListEntry& entry) {
            return entry.type == kAttributeData && entry.nameLength == 0 && entry.startingVcn == 0;
        },
        refs);
}

}  // namespace kestrin
