#pragma once

#include <cstdint>
#include <span>

namespace kestrin {

// Copies bytes of the MFT image into a private buffer of the caller's: the bytes memcpy would copy,
// the image being never written to once it is in place. On Linux the user-space copy is avoided:
// in a virtual machine with shadow page tables, the first touch of every mapped page from user
// space costs a trip to the hypervisor, several times the cost of the copy itself. Where the
// image is a mapping of an image file, the bytes are read from the file; elsewhere the kernel
// copies them through its own long-established mapping.
void CopyImageBytes(const std::uint8_t* from, std::span<std::uint8_t> to);

}  // namespace kestrin
