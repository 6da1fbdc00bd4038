#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "scan/common/NameText.h"
#include "scan/results/FolderTable.h"
#include "scan/results/SharedText.h"

namespace kestrin {

// An extension's totals, and the text its files' rows show in the extension column.
struct ExtensionTotals : SizeTotals {
    SharedText text;
};

// The totals of each extension text (case kept; empty for names without one), keyed by the
// name's own code units: every file of a volume looks its extension up, and a hash map of wide
// texts cost a conversion of the extension, a hash over it and a miss or two in nodes scattered
// over the heap for each, on volumes that hold hundreds of thousands of extensions. Here a lookup
// is one slot of a flat table, which holds part of the hash beside the place of the entry.
// Entries keep their place, in the order they were added.
class ExtensionTable {
public:
    using Units = std::basic_string_view<NameUnit>;

    struct Entry {
        std::basic_string<NameUnit> key;
        std::size_t hash = 0;
        ExtensionTotals totals;
        std::size_t index = 0;  // in the order added
    };

    // The entry of an extension as NameText::ExtensionUnits gives it, made with its text when
    // missing.
    Entry& At(Units extension);
    // The same by wide text.
    ExtensionTotals& operator[](std::wstring_view extension);
    const Entry* Find(Units extension) const;
    const Entry& EntryAt(std::size_t index) const { return entries_[index]; }

    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    std::deque<Entry>::const_iterator begin() const { return entries_.begin(); }
    std::deque<Entry>::const_iterator end() const { return entries_.end(); }

private:
    struct Slot {
        std::uint32_t tag = 0;
        std::uint32_t place = 0;  // the entry's index plus one; 0 for an empty slot
    };

    // The slot holding `extension`, or the empty slot where it would go.
    std::size_t Probe(Units extension, std::size_t hash) const;
    void Grow();

    std::vector<Slot> slots_;
    std::deque<Entry> entries_;
};

}  // namespace kestrin
