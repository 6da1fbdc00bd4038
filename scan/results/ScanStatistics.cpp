#include "scan/results/ScanStatistics.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "render/Format.h"
#include "scan/results/DirectoryTree.h"

namespace kestrin {

void BuildExtensionStats(ScanResult& result, const ScanSlice& slice) {
    result.extStats.reserve(slice.extTotals.size());
    for (const ExtensionTable::Entry& extension : slice.extTotals) {
        result.extStats.push_back(
            ExtStat{extension.totals.text, extension.totals.size, extension.totals.count});
    }
    std::sort(result.extStats.begin(), result.extStats.end(),
              [](const ExtStat& a, const ExtStat& b) { return a.size > b.size; });
}

namespace {

const SharedText& ExtensionText(const ExtensionTable& extensions, const MftEntry& entry) {
    if (entry.extensionId < extensions.size()) {
        return extensions.EntryAt(entry.extensionId).totals.text;
    }
    static const SharedText none(kNoExtensionLabel);
    const ExtensionTable::Entry* found = extensions.Find(entry.name.ExtensionUnits());
    return found != nullptr ? found->totals.text : none;
}

}  // namespace

void BuildLargestFiles(ScanResult& result, LargestFiles&& settled, const ExtensionTable& extensions,
                       const FolderPathMap& known) {
    Settle(settled);
    std::vector<MftEntry>& largest = settled.kept;
    // The keys are sorted with the places of their entries, not the entries themselves: a
    // hundred thousand entries moved about, names and all, cost several times as much. The
    // sort makes the same moves either way, so equal keys end in the same order.
    std::vector<std::pair<std::int64_t, std::size_t>> order(largest.size());
    for (std::size_t i = 0; i < largest.size(); ++i) {
        order[i] = {settled.key(largest[i]), i};
    }
    std::sort(order.begin(), order.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    result.largestFiles.reserve(largest.size());
    // The largest files crowd into few folders: each folder's path is made once and shared by
    // its rows, instead of a walk up the tree and a text of its own for each of 100000 files.
    std::unordered_map<std::int64_t, SharedText> paths;
    for (const auto& [key, place] : order) {
        MftEntry& entry = largest[place];
        const SharedText& extension = ExtensionText(extensions, entry);
        auto [path, added] = paths.try_emplace(entry.parentRecord);
        if (added) {
            const auto found =
                known.find(entry.parentRecord < 1 ? kRootRecord : entry.parentRecord);
            path->second =
                found != known.end()
                    ? found->second
                    : SharedText(FolderPath(result.dirs, entry.parentRecord, result.drive));
        }
        result.largestFiles.push_back(FileRow{std::move(entry.name), path->second, extension,
                                              entry.size, entry.allocated, entry.recordNumber,
                                              entry.time, entry.attributes});
    }
}

}  // namespace kestrin
