#include "scan/results/ScanSlice.h"

#include <algorithm>
#include <utility>

#include "render/Format.h"
#include "scan/common/SaturatingAdd.h"

namespace kestrin {

namespace {

constexpr std::size_t kReserveAllFrom = 4096;

void AddDirectory(ScanSlice& slice, const MftEntry& entry) {
    slice.folders.At(entry.recordNumber).dirInfo = DirInfo{
        entry.parentRecord, entry.name.str(), entry.time, entry.attributes, entry.allocated};
    if (entry.recordNumber != kRootRecord) {
        ++slice.dirCount;
    }
}

ExtensionTotals& TotalsOfExtension(ScanSlice& slice, const MftEntry& entry, AddCache& cache) {
    if (entry.extensionId < cache.byId.size()) {
        ExtensionTable::Entry*& found = cache.byId[entry.extensionId];
        if (found == nullptr) {
            found = &slice.extTotals.At(cache.ids->Key(entry.extensionId));
        }
        cache.extension = found;
        return found->totals;
    }
    const ExtensionTable::Units extension = entry.name.ExtensionUnits();
    if (cache.extension == nullptr || cache.extension->key != extension) {
        cache.extension = &slice.extTotals.At(extension);
    }
    return cache.extension->totals;
}

// `Name` is `const NameText&` to share the entry's name or `NameText&&` to take it.
template <typename Name>
void AddFile(ScanSlice& slice, const MftEntry& entry, Name&& name, AddCache& cache) {
    ++slice.fileCount;
    const std::int64_t owner = entry.parentRecord > 0 ? entry.parentRecord : kRootRecord;
    const std::int64_t size = std::max<std::int64_t>(entry.size, 0);
    const std::int64_t allocated = entry.allocated < 0 ? size : entry.allocated;
    if (cache.owner == nullptr || cache.owner->record != owner) {
        cache.owner = &slice.folders.At(owner);
    }
    SizeTotals& own = cache.owner->ownTotals;
    AddSaturating(own.size, size);
    AddSaturating(own.allocated, allocated);
    own.count += 1;
    ExtensionTotals& extension = TotalsOfExtension(slice, entry, cache);
    AddSaturating(extension.size, entry.size);
    extension.count += 1;
    const std::size_t place = cache.extension->index;
    Offer(slice.largest, entry,
          place < ExtensionIds::kNone ? static_cast<std::uint16_t>(place) : ExtensionIds::kNone);
    if (cache.parent == nullptr || cache.parent->record != entry.parentRecord) {
        cache.parent = &slice.folders.At(entry.parentRecord);
        // Taken when the first file comes, not before: the memory of the entries added before it
        // has been given back by then, and serves the list.
        if (cache.parent->childFiles.capacity() == 0) {
            cache.parent->childFiles.reserve(cache.parent->listRoom);
        }
    }
    cache.parent->childFiles.push_back(FileRow{std::forward<Name>(name), SharedText(),
                                               extension.text, entry.size, entry.allocated,
                                               entry.recordNumber, entry.time, entry.attributes});
}

void Trim(LargestFiles& largest) {
    const auto capacity = static_cast<std::size_t>(std::max(largest.capacity, 0));
    auto& kept = largest.kept;
    if (kept.size() <= capacity) {
        return;
    }
    if (capacity == 0) {
        kept.clear();
        return;
    }
    std::vector<std::int64_t> keys(kept.size());
    std::transform(kept.begin(), kept.end(), keys.begin(), largest.key);
    std::vector<std::int64_t> order = keys;
    // The capacity-th largest key: everything above it stays, and of the entries equal to it
    // only as many as there is room left for, the earliest.
    std::nth_element(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(capacity - 1),
                     order.end(), std::greater<>());
    const std::int64_t boundary = order[capacity - 1];
    std::size_t room =
        capacity - static_cast<std::size_t>(std::count_if(
                       keys.begin(), keys.end(), [&](std::int64_t k) { return k > boundary; }));
    std::size_t next = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (keys[i] > boundary || (keys[i] == boundary && room > 0)) {
            room -= keys[i] == boundary ? 1 : 0;
            if (next != i) {
                kept[next] = std::move(kept[i]);
            }
            ++next;
        }
    }
    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(next), kept.end());
    largest.trimmed = true;
    largest.floor = boundary;
}

}  // namespace

void Settle(LargestFiles& largest) {
    Trim(largest);
}

void ExpectAtLeast(LargestFiles& largest, std::int64_t least) {
    if (least > 0 && (!largest.trimmed || largest.floor < least - 1)) {
        largest.trimmed = true;
        largest.floor = least - 1;
    }
}

void Offer(LargestFiles& largest, const MftEntry& entry) {
    Offer(largest, entry, ExtensionIds::kNone);
}

void Offer(LargestFiles& largest, const MftEntry& entry, std::uint16_t extensionId) {
    const auto capacity = static_cast<std::size_t>(std::max(largest.capacity, 0));
    if (capacity == 0 || (largest.trimmed && largest.key(entry) <= largest.floor)) {
        return;
    }
    // The list never holds more than twice the capacity. Once it is long enough to need growing
    // again it takes all of that room at once, sparing the copies of every doubling in between;
    // room never reached is never touched.
    if (largest.kept.size() == largest.kept.capacity() && largest.kept.size() >= kReserveAllFrom) {
        largest.kept.reserve(2 * capacity);
    }
    largest.kept.push_back(entry);  // the name is shared, not copied
    largest.kept.back().extensionId = extensionId;
    if (largest.kept.size() >= 2 * capacity) {
        Trim(largest);
    }
}

namespace {

// The sums and counts of two slices, which merge the same whether `from` is kept or not.
void MergeTotals(ScanSlice& into, const ScanSlice& from) {
    for (const ExtensionTable::Entry& extension : from.extTotals) {
        ExtensionTotals& target = into.extTotals.At(extension.key).totals;
        AddSaturating(target.size, extension.totals.size);
        target.count += extension.totals.count;
    }
    for (const auto& [record, sizes] : from.extentSizes) {
        ExtentSizes& target = into.extentSizes[record];
        target.size = std::max(target.size, sizes.size);
        target.allocated = std::max(target.allocated, sizes.allocated);
        AddSaturating(target.namedStreams, sizes.namedStreams);
        AddSaturating(target.indexBytes, sizes.indexBytes);
    }
    into.clusters += from.clusters;
    into.fileSizes.Add(from.fileSizes);
    // The same number means different extensions in two slices: merged entries are looked up
    // by their text.
    into.extensionIds = ExtensionIds{};
    into.fileCount += from.fileCount;
    into.dirCount += from.dirCount;
    for (const MftEntry& entry : from.largest.kept) {
        Offer(into.largest, entry);
    }
}

// A folder record's own totals, which merge the same whether `from` is kept or not.
void MergeOwnTotals(FolderRecord& into, const FolderRecord& from) {
    AddSaturating(into.ownTotals.size, from.ownTotals.size);
    AddSaturating(into.ownTotals.allocated, from.ownTotals.allocated);
    into.ownTotals.count += from.ownTotals.count;
    into.listRoom += from.listRoom;
}

}  // namespace

void MergeSlice(ScanSlice& into, const ScanSlice& from) {
    for (const FolderRecord& folder : from.folders) {
        FolderRecord& target = into.folders.At(folder.record);
        if (folder.dirInfo) {
            target.dirInfo = folder.dirInfo;
        }
        MergeOwnTotals(target, folder);
        target.childFiles.insert(target.childFiles.end(), folder.childFiles.begin(),
                                 folder.childFiles.end());
    }
    into.entries.insert(into.entries.end(), from.entries.begin(), from.entries.end());
    MergeTotals(into, from);
}

namespace {

template <typename T>
void AppendMoved(std::vector<T>& into, std::vector<T>& from) {
    if (into.empty()) {
        into = std::move(from);
    } else {
        into.insert(into.end(), std::make_move_iterator(from.begin()),
                    std::make_move_iterator(from.end()));
    }
    from.clear();  // a moved-from vector is only valid, not necessarily empty
}

bool IsEmpty(const ScanSlice& slice) {
    return slice.folders.empty() && slice.extTotals.empty() && slice.extentSizes.empty() &&
           slice.entries.empty() && slice.largest.kept.empty() && !slice.largest.trimmed &&
           slice.fileCount == 0 && slice.dirCount == 0 && slice.clusters == ClusterTally{};
}

}  // namespace

// Moves names and file lists instead of copying them: a slice of a large volume holds hundreds
// of thousands of each.
void MergeSlice(ScanSlice& into, ScanSlice&& from) {
    if (IsEmpty(into) && into.largest.capacity == from.largest.capacity &&
        into.largest.key == from.largest.key) {
        into = std::move(from);
        from = ScanSlice{};
        return;
    }
    for (FolderRecord& folder : from.folders) {
        FolderRecord& target = into.folders.At(folder.record);
        if (folder.dirInfo) {
            target.dirInfo = std::move(folder.dirInfo);
        }
        MergeOwnTotals(target, folder);
        AppendMoved(target.childFiles, folder.childFiles);
    }
    AppendMoved(into.entries, from.entries);
    MergeTotals(into, from);
    from = ScanSlice{};
}

void CountFileLists(ScanSlice& into, const std::vector<ScanSlice>& slices) {
    FolderRecord* parent = nullptr;
    for (const ScanSlice& slice : slices) {
        for (const MftEntry& entry : slice.entries) {
            if (entry.isDirectory) {
                continue;
            }
            // Files of one folder mostly follow one another.
            if (parent == nullptr || parent->record != entry.parentRecord) {
                parent = &into.folders.At(entry.parentRecord);
            }
            ++parent->listRoom;
        }
    }
}

void AddEntry(ScanSlice& slice, const MftEntry& entry) {
    AddCache cache;
    if (entry.isDirectory) {
        AddDirectory(slice, entry);
    } else {
        AddFile(slice, entry, entry.name, cache);
    }
}

void AddEntry(ScanSlice& slice, MftEntry&& entry) {
    AddCache cache;
    AddEntry(slice, std::move(entry), cache);
}

void AddEntry(ScanSlice& slice, MftEntry&& entry, AddCache& cache) {
    if (entry.isDirectory) {
        AddDirectory(slice, entry);
    } else {
        AddFile(slice, entry, std::move(entry.name), cache);
    }
}

}  // namespace kestrin
