#include "scan/results/ExtensionTable.h"

#include <functional>

#include "scan/results/ScanResult.h"

namespace kestrin {

namespace {

std::size_t HashOf(ExtensionTable::Units extension) {
    return std::hash<ExtensionTable::Units>{}(extension);
}

std::uint32_t TagOf(std::size_t hash) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(hash) >> 32);
}

}  // namespace

std::size_t ExtensionTable::Probe(Units extension, std::size_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    const std::uint32_t tag = TagOf(hash);
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.place == 0 || (slot.tag == tag && entries_[slot.place - 1].key == extension)) {
            return at;
        }
    }
}

// Doubles the slots once they are half full, so that probes stay short.
void ExtensionTable::Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.place == 0) {
            continue;
        }
        const std::size_t hash = entries_[slot.place - 1].hash;
        std::size_t at = hash & mask;
        while (slots_[at].place != 0) {
            at = (at + 1) & mask;
        }
        slots_[at] = slot;
    }
}

ExtensionTable::Entry& ExtensionTable::At(Units extension) {
    if (2 * (entries_.size() + 1) > slots_.size()) {
        Grow();
    }
    const std::size_t hash = HashOf(extension);
    Slot& slot = slots_[Probe(extension, hash)];
    if (slot.place != 0) {
        return entries_[slot.place - 1];
    }
    Entry& entry = entries_.emplace_back();
    entry.key = std::basic_string<NameUnit>(extension);
    entry.hash = hash;
    entry.index = entries_.size() - 1;
    entry.totals.text =
        extension.empty() ? SharedText(kNoExtensionLabel) : SharedText(WideFromUnits(extension));
    slot = Slot{TagOf(hash), static_cast<std::uint32_t>(entries_.size())};
    return entry;
}

ExtensionTotals& ExtensionTable::operator[](std::wstring_view extension) {
    const NameText units(extension);
    return At(units.units()).totals;
}

const ExtensionTable::Entry* ExtensionTable::Find(Units extension) const {
    if (slots_.empty()) {
        return nullptr;
    }
    const Slot& slot = slots_[Probe(extension, HashOf(extension))];
    return slot.place == 0 ? nullptr : &entries_[slot.place - 1];
}

}  // namespace kestrin
