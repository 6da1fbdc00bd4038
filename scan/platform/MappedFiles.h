#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrin {

// Which stretches of memory are private mappings of an image file, and where in the file they
// start. A copy out of such a stretch can then be read from the file instead: in a virtual
// machine with shadow page tables, even the kernel's copy out of the mapping pays for setting
// up its page tables and for taking them down again, and reading the file's cached pages costs
// neither. The image is never written to once it is in place; a read into a noted stretch (the
// fall-back read of the whole MFT, say) forgets it, since it no longer holds the file's bytes.

// Notes [address, address + length) as a mapping of the file `fd` (kept open through a
// duplicate of its own) from byte `offset`. Quietly not noted when no duplicate can be had.
void NoteMappedFile(const std::uint8_t* address, std::size_t length, int fd, std::int64_t offset);

// Forgets every noted mapping that overlaps [address, address + length).
void ForgetMappedFiles(const std::uint8_t* address, std::size_t length);

// Reads the leading bytes of `to` from the file behind the mapping that holds `from`, as many as
// that mapping holds. The count read; 0 when `from` lies in no noted mapping or the read fails.
// `beyond` receives, when 0 is returned, how many bytes from `from` on lie before the next noted
// mapping (all of `to` when none follows).
std::size_t ReadFromMappedFile(const std::uint8_t* from, std::span<std::uint8_t> to,
                               std::size_t& beyond);

}  // namespace kestrin
