#pragma once

#include <cstddef>
#include <cstdint>

#include "scan/common/ByteReader.h"

namespace kestrin {

// File record header fields.
inline constexpr std::size_t kRecordMinimumSize = 24;
inline constexpr std::size_t kRecordFirstAttributeOffset = 0x14;
inline constexpr std::size_t kRecordFlagsOffset = 0x16;
inline constexpr std::size_t kRecordBaseReferenceOffset = 0x20;
inline constexpr std::uint8_t kRecordInUse = 0x01;
inline constexpr std::uint8_t kRecordIsDirectory = 0x02;

// Attribute types.
inline constexpr std::uint32_t kAttributeStandardInformation = 0x10;
inline constexpr std::uint32_t kAttributeList = 0x20;
inline constexpr std::uint32_t kAttributeFileName = 0x30;
inline constexpr std::uint32_t kAttributeData = 0x80;
inline constexpr std::uint32_t kAttributeEnd = 0xFFFFFFFF;

// Length of a non-resident attribute header that carries the data and allocated sizes.
inline constexpr std::uint32_t kNonResidentHeaderSize = 64;
// Compressed and sparse streams append the total-allocated field at 0x40.
inline constexpr std::uint32_t kCompressedHeaderSize = 0x48;

bool HasRecordMagic(const ByteReader& record);
std::uint8_t RecordFlags(const ByteReader& record);
std::int64_t RecordBaseReference(const ByteReader& record);

// One attribute of a record, seen through the record: every field offset is relative to `offset`
// and checked against the whole record, as the walk guarantees only that the attribute's declared
// length fits.
struct Attribute {
    ByteReader record;
    std::size_t offset = 0;
    std::uint32_t type = 0;
    std::uint32_t length = 0;

    bool IsNonResident() const { return record.U8(offset + 0x08) != 0; }
    std::uint8_t NameLength() const { return record.U8(offset + 0x09); }
    std::uint16_t Flags() const { return record.U16(offset + 0x0C); }
    // Resident values.
    std::uint32_t ValueLength() const { return record.U32(offset + 0x10); }
    std::size_t ValueStart() const { return offset + record.U16(offset + 0x14); }
    // Non-resident headers.
    std::int64_t LowestVcn() const { return record.I64(offset + 0x10); }
    std::size_t RunListStart() const { return offset + record.U16(offset + 0x20); }
    std::int64_t AllocatedSize() const { return record.I64(offset + 0x28); }
    std::int64_t DataSize() const { return record.I64(offset + 0x30); }
    std::int64_t InitializedSize() const { return record.I64(offset + 0x38); }
    std::size_t End() const { return offset + length; }
    // The bytes the stream occupies on the volume. For compressed and sparse streams the header's
    // allocated size counts the holes too, so their total-allocated field is taken instead.
    std::int64_t OccupiedSize() const;
    bool HasTotalAllocated() const;
    bool IsUnnamedData() const { return type == kAttributeData && NameLength() == 0; }
};

// Calls visit(const Attribute&) for every attribute of the record until it returns false or the
// attribute list ends. An end marker, or a length of 0 or with its top bit set, ends the walk; an
// attribute whose length runs past the record end is stepped over 8 bytes at a time, so one torn
// length does not hide the attributes behind it.
template <typename Visit>
void ForEachAttribute(const ByteReader& record, Visit&& visit) {
    std::size_t offset = record.U16(kRecordFirstAttributeOffset);
    if (offset >= record.Size()) {
        return;
    }
    while (record.Has(offset, 4)) {
        const std::uint32_t type = record.U32(offset);
        if (type == kAttributeEnd) {
            return;
        }
        const std::uint32_t length = record.U32(offset + 4);
        if (length == 0 || (length & 0x80000000u) != 0) {
            return;
        }
        if (!record.Has(offset, length)) {
            offset += 8;
            continue;
        }
        if (!visit(Attribute{record, offset, type, length})) {
            return;
        }
        offset += length;
    }
}

}  // namespace kestrin
