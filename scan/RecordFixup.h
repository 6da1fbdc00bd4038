#pragma once

#include <cstdint>
#include <span>

namespace kestrin {

// Undoes the update sequence protection of one private record copy: NTFS stores a sequence value
// in the last two bytes of every 512-byte stride and keeps the original bytes in the update
// sequence array. Strides whose value does not match (a torn write) are left as they are; the
// record is then decoded from the bytes as found. False only when the array does not fit.
bool ApplyFixup(std::span<std::uint8_t> record);

}  // namespace kestrin
