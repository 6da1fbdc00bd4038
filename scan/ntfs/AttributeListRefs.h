#pragma once

#include <cstdint>
#include <vector>

#include "scan/common/ByteReader.h"

namespace kestrin {

// One entry of an ATTRIBUTE_LIST: where one attribute (or one extent of it) of a file lives.
struct AttributeListEntry {
    std::uint32_t type = 0;
    std::uint16_t length = 0;
    std::uint8_t nameLength = 0;
    std::int64_t startingVcn = 0;
    std::int64_t recordNumber = 0;
};

// Calls visit(const AttributeListEntry&) for each entry of an attribute list value. Reading stops
// at the first entry that is short, ends the list or declares a length that does not fit.
template <typename Visit>
void ForEachListEntry(const ByteReader& value, Visit&& visit);

// Records that a record's resident attribute lists name for attributes starting at VCN 0, in list
// order, each once, neither 0 nor the record itself.
void NameExtensionRefs(const ByteReader& record, std::int64_t recordNumber,
                       std::vector<std::int64_t>& refs);

// The same for the first extent of the unnamed $DATA only.
void DataExtensionRefs(const ByteReader& record, std::int64_t recordNumber,
                       std::vector<std::int64_t>& refs);

// --- implementation ---

inline constexpr std::size_t kListEntryMinimumSize = 26;

template <typename Visit>
void ForEachListEntry(const ByteReader& value, Visit&& visit) {
    std::size_t position = 0;
    while (value.Has(position, kListEntryMinimumSize)) {
        AttributeListEntry entry;
        entry.type = value.U32(position);
        entry.length = value.U16(position + 0x04);
        if (entry.type == 0xFFFFFFFF || entry.length < kListEntryMinimumSize ||
            !value.Has(position, entry.length)) {
            return;
        }
        entry.nameLength = value.U8(position + 0x06);
        entry.startingVcn = value.I64(position + 0x08);
        entry.recordNumber = value.U48(position + 0x10);
        if (!visit(entry)) {
            return;
        }
        // Entries are aligned to 8 bytes.
        position += (static_cast<std::size_t>(entry.length) + 7) & ~std::size_t{7};
    }
}

}  // namespace kestrin
