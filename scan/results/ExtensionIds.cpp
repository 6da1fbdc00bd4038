#include "scan/results/ExtensionIds.h"

#include <functional>

namespace kestrin {

namespace {

std::uint32_t HashOf(ExtensionIds::Units extension) {
    return static_cast<std::uint32_t>(std::hash<ExtensionIds::Units>{}(extension));
}

}  // namespace

ExtensionIds::Units ExtensionIds::Key(std::uint16_t id) const {
    const std::size_t start = starts_[id];
    const std::size_t end = id + std::size_t{1} < starts_.size() ? starts_[id + 1] : units_.size();
    return Units(units_.data() + start, end - start);
}

std::size_t ExtensionIds::Probe(Units extension, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const std::uint16_t place = slots_[at];
        if (place == 0 || (hashes_[place - 1] == hash &&
                           Key(static_cast<std::uint16_t>(place - 1)) == extension)) {
            return at;
        }
    }
}

// Doubles the slots once they are half full, so that probes stay short.
void ExtensionIds::Grow() {
    slots_.assign(slots_.empty() ? 64 : 2 * slots_.size(), 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t id = 0; id < hashes_.size(); ++id) {
        std::size_t at = hashes_[id] & mask;
        while (slots_[at] != 0) {
            at = (at + 1) & mask;
        }
        slots_[at] = static_cast<std::uint16_t>(id + 1);
    }
}

std::uint16_t ExtensionIds::IdOf(Units extension) {
    const std::uint32_t hash = HashOf(extension);
    if (!slots_.empty()) {
        if (const std::uint16_t place = slots_[Probe(extension, hash)]; place != 0) {
            return static_cast<std::uint16_t>(place - 1);
        }
    }
    if (starts_.size() >= kNone) {
        return kNone;  // full: the caller looks the extension up by its text instead
    }
    if (2 * (starts_.size() + 1) > slots_.size()) {
        Grow();
    }
    starts_.push_back(static_cast<std::uint32_t>(units_.size()));
    hashes_.push_back(hash);
    units_.insert(units_.end(), extension.begin(), extension.end());
    slots_[Probe(extension, hash)] = static_cast<std::uint16_t>(starts_.size());
    return static_cast<std::uint16_t>(starts_.size() - 1);
}

}  // namespace kestrin
