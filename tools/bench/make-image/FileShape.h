#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "make-image/Rng.h"
#include "make-image/TreePlan.h"

namespace kestrin::image {

struct Name {
    std::int64_t parent;
    std::u16string text;
    std::uint8_t nameSpace;
};

enum class Flavour : std::uint8_t { kResident, kPlain, kFragmented, kSparse, kCompressed };

struct FileShape {
    Traits traits;
    std::vector<Name> names;  // its own, its 8.3 name, then its hard links
    std::int64_t size = 0;
    std::int64_t allocated = 0;  // what the $DATA header says
    Flavour flavour = Flavour::kPlain;
    std::int64_t time = 0;
    std::uint32_t attributes = 0x20;
    bool zoneIdentifier = false;
};

std::int64_t PickSize(Rng& rng);

std::size_t NamesSize(const std::vector<Name>& names);

std::uint16_t LinkCount(const std::vector<Name>& names);

}  // namespace kestrin::image
