#pragma once

#include <cstdint>
#include <span>

namespace kestrin {

// Copies bytes of the MFT image into a private buffer of the caller's, exactly as memcpy would.
// Where the image is a private mapping of an image file's cached pages, the copy goes through the
// kernel: in a virtual machine with shadow page tables, the first touch of every mapped page from
// user space costs a trip to the hypervisor, three times the cost of the copy itself, while the
// kernel reaches the same pages through its own long-established mapping.
void CopyImageBytes(const std::uint8_t* from, std::span<std::uint8_t> to);

// Sets up, where the platform can, the page tables of a stretch of the image before it is copied
// from: one call per stretch instead of a fault every few pages in the copies. Each decoding thread
// does so for its own records, so the work is shared among them. Advice only.
void PrefaultImage(std::span<const std::uint8_t> bytes);

}  // namespace kestrin
