#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "make-image/Rng.h"

namespace kestrin::image {

char16_t Upcase(char16_t c);

std::u16string Upcase(std::u16string_view text);

// Letters mostly, some digits and separators; never '~', so that short names made with it cannot
// meet a long name.
std::u16string RandomStem(Rng& rng, std::size_t length);

std::size_t NameLength(Rng& rng, std::size_t cap);

std::u16string RandomFileName(Rng& rng, std::size_t cap);

// A name is made unique among its folder's by changing the end of its stem, so that its length,
// which decided what fits in its record, stays the same when it can.
void MakeUnique(std::u16string& name, std::unordered_set<std::u16string>& taken);

bool IsShortName(const std::u16string& name);

// The 8.3 name Windows would make: the ordinal, unique in the folder, keeps it unique.
std::u16string DosName(const std::u16string& name, std::int64_t ordinal);

bool IsForeign(const std::u16string& name);

}  // namespace kestrin::image
