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

const SharedText& ExtensionText(const ExtensionTable& extensions, const NameText& name) {
    static const SharedText none(kNoExtensionLabel);
    const ExtensionTable::Entry* found = extensions.Find(name.ExtensionUnits());
    return found != nullptr ? found->totals.text : none;
}

}  // namespace

void BuildLargestFiles(ScanResult& result, LargestFiles&& settled, const ExtensionTable& extensions,
                       const FolderPathMap& known) {
    Settle(settled);
    std::vector<MftEntry>& largest = settled.kept;
    const auto& key = settled.key;
    std::sort(largest.begin(), largest.end(),
              [&](const MftEntry& a, const MftEntry& b) { return key(a) > key(b); });
    result.largestFiles.reserve(largest.size());
    // The largest files crowd into few folders: each folder's path is made once and shared by
    // its rows, instead of a walk up the tree and a text of its own for each of 100000 files.
    std::unordered_map<std::int64_t, SharedText> paths;
    for (MftEntry& entry : largest) {
        const SharedText& extension = ExtensionText(extensions, entry.name);
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
