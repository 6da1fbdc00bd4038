#include "scan/ntfs/AttributeWalk.h"

namespace kestrin {

namespace {
constexpr std::uint16_t kCompressionMask = 0x00FF;
constexpr std::uint16_t kSparseFlag = 0x8000;
}  // namespace

bool HasRecordMagic(const ByteReader& record) {
    constexpr std::uint32_t kFileMagic = 0x454C4946;  // "FILE", read as a little-endian number
    return record.Has(0, 4) && record.U32(0) == kFileMagic;
}

std::uint8_t RecordFlags(const ByteReader& record) {
    return record.U8(kRecordFlagsOffset);
}

std::int64_t RecordBaseReference(const ByteReader& record) {
    return record.U48(kRecordBaseReferenceOffset);
}

bool Attribute::HasTotalAllocated() const {
    return IsNonResident() && (Flags() & (kCompressionMask | kSparseFlag)) != 0 &&
           length >= kCompressedHeaderSize;
}

std::int64_t Attribute::OccupiedSize() const {
    return HasTotalAllocated() ? record.I64(offset + 0x40) : AllocatedSize();
}

}  // namespace kestrin
