#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "scan/common/NameText.h"

namespace kestrin {

// The extensions of one slice's files, each numbered in the order it was first met. A decoding
// thread numbers each file's extension while the name it has just written is still in the
// cache; the files are added long after, when that name would be a miss for every file of the
// volume, and then look up each number's extension once per slice instead of each file's
// extension once.
class ExtensionIds {
public:
    using Units = std::basic_string_view<NameUnit>;
    static constexpr std::uint16_t kNone = 0xFFFF;

    // The number of `extension`, numbered now when new; kNone once kNone extensions are known.
    std::uint16_t IdOf(Units extension);
    Units Key(std::uint16_t id) const;
    std::size_t size() const { return starts_.size(); }

private:
    std::size_t Probe(Units extension, std::uint32_t hash) const;
    void Grow();

    std::vector<NameUnit> units_;        // every key, one after another
    std::vector<std::uint32_t> starts_;  // by number: where its key starts in `units_`
    std::vector<std::uint32_t> hashes_;  // by number
    std::vector<std::uint16_t> slots_;   // number plus one; 0 for an empty slot
};

}  // namespace kestrin
