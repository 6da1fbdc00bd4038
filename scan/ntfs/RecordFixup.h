#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kestrin {

// Undoes the update sequence protection of one private record copy: NTFS stores a sequence value
// in the last two bytes of every 512-byte stride and keeps the original bytes in the update
// sequence array. Strides whose value does not match (a torn write) are left as they are; the
// record is then decoded from the bytes as found. False only when the array does not fit.
bool ApplyFixup(std::span<std::uint8_t> record);

// Copies record slot n of an MFT image into `copy` (resized to the record size) and fixes the
// copy up, so the image itself, shared by every thread, is never modified. False when the image
// does not hold the whole slot.
bool CopyFixedUpRecord(std::span<const std::uint8_t> image, std::int32_t recordSize, std::int64_t n,
                       std::vector<std::uint8_t>& copy);

}  // namespace kestrin
