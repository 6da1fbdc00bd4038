#include "scan/ntfs/RecordFixup.h"

#include "scan/common/ByteReader.h"
#include "scan/platform/ImageCopy.h"

namespace kestrin {

namespace {
// The stride is 512 bytes whatever the sector size of the volume.
constexpr std::size_t kFixupStride = 512;
}  // namespace

bool ApplyFixup(std::span<std::uint8_t> record) {
    const ByteReader reader(record);
    if (record.size() < 8) {
        return false;
    }
    const std::size_t offset = reader.U16(0x04);
    const std::size_t count = reader.U16(0x06);
    if (count < 2 || !reader.Has(offset, 2 * count)) {
        return false;
    }
    const std::uint16_t sequence = reader.U16(offset);
    for (std::size_t i = 0; i + 1 < count && (i + 1) * kFixupStride <= record.size(); ++i) {
        const std::size_t tail = i * kFixupStride + kFixupStride - 2;
        if (reader.U16(tail) == sequence) {
            record[tail] = record[offset + 2 + 2 * i];
            record[tail + 1] = record[offset + 3 + 2 * i];
        }
    }
    return true;
}

bool CopyFixedUpRecord(std::span<const std::uint8_t> image, std::int32_t recordSize, std::int64_t n,
                       std::vector<std::uint8_t>& copy) {
    if (recordSize <= 0 || n < 0) {
        return false;
    }
    const auto size = static_cast<std::uint64_t>(recordSize);
    const auto index = static_cast<std::uint64_t>(n);
    if (index >= image.size() / size) {
        return false;
    }
    copy.resize(size);
    CopyImageBytes(image.data() + index * size, copy);
    ApplyFixup(copy);
    return true;
}

}  // namespace kestrin
