#include "make-image/TreePlan.h"

#include <algorithm>

#include "make-image/FileNames.h"
#include "make-image/Rng.h"

namespace kestrin::image {

namespace {

constexpr std::array<std::u16string_view, 14> kTopFolders = {u"Windows",
                                                             u"Program Files",
                                                             u"Program Files (x86)",
                                                             u"ProgramData",
                                                             u"Users",
                                                             u"$Recycle.Bin",
                                                             u"System Volume Information",
                                                             u"Recovery",
                                                             u"PerfLogs",
                                                             u"Intel",
                                                             u"Drivers",
                                                             u"Temp",
                                                             u"Games",
                                                             u"Projects"};

std::int32_t FilesInFolder(Rng& rng) {
    const double u = rng.Unit();
    return static_cast<std::int32_t>(u < 0.25   ? rng.Range(0, 8)
                                     : u < 0.85 ? rng.Range(20, 100)
                                     : u < 0.98 ? rng.Range(100, 250)
                                                : rng.Range(250, 1500));
}

}  // namespace

Traits TraitsOf(std::int32_t folder, std::int32_t file) {
    Traits t;
    if (folder == 0) {
        return t;
    }
    Rng rng(1, static_cast<std::uint64_t>(folder), static_cast<std::uint64_t>(file));
    t.deletedBefore = rng.Chance(0.02);
    const double u = rng.Unit();
    if (u < 0.0025) {
        t.layout = Layout::kNamesOutside;
        t.links = static_cast<std::int32_t>(rng.Range(3, 5));
    } else if (u < 0.0045) {
        t.layout = Layout::kDataOutside;
    } else if (u < 0.0055) {
        t.layout = Layout::kAllOutside;
        t.links = static_cast<std::int32_t>(rng.Range(1, 2));
    } else if (rng.Chance(0.015)) {
        t.links = 1;
    }
    return t;
}

std::int64_t SlotsOf(const Traits& t) {
    const std::int64_t extensions = t.layout == Layout::kOneRecord     ? 0
                                    : t.layout == Layout::kDataOutside ? 2
                                                                       : 1;
    return (t.deletedBefore ? 1 : 0) + 1 + extensions;
}

std::size_t PrimaryNameCap(Layout layout) {
    return layout == Layout::kNamesOutside ? 30 : layout == Layout::kAllOutside ? 40 : 60;
}

std::size_t LinkNameCap(Layout layout) {
    return layout == Layout::kNamesOutside ? 20 : layout == Layout::kAllOutside ? 30 : 60;
}

Plan MakePlan(std::int64_t records) {
    Plan plan;
    // Some free records at the end, as an MFT keeps after its last file.
    const std::int64_t limit = records - std::max<std::int64_t>(4, records / 2000);
    Folder root;
    root.files = static_cast<std::int32_t>(kRootFiles.size());
    root.firstFileSlot = kFirstUserRecord;
    plan.folders.push_back(root);
    std::int64_t slot = kFirstUserRecord + root.files;
    std::array<std::vector<std::int32_t>, 13> byDepth;
    byDepth[0].push_back(0);
    static constexpr std::array<double, 12> kDepthWeights = {0,  4,  8, 12, 14, 14,
                                                             12, 10, 8, 6,  4,  3};
    double weightSum = 0;
    for (const double w : kDepthWeights) {
        weightSum += w;
    }
    for (std::int32_t f = 1;; ++f) {
        Rng rng(2, static_cast<std::uint64_t>(f));
        std::int32_t depth = 1;
        const bool top = byDepth[1].size() < kTopFolders.size() ||
                         (byDepth[1].size() < 24 && rng.Chance(0.0005));
        if (!top) {
            double pick = rng.Unit() * weightSum;
            depth = 1;
            while (depth < 12 && pick >= kDepthWeights[static_cast<std::size_t>(depth - 1)]) {
                pick -= kDepthWeights[static_cast<std::size_t>(depth - 1)];
                ++depth;
            }
            depth = std::max(depth, 2);
            while (byDepth[static_cast<std::size_t>(depth - 1)].empty()) {
                --depth;
            }
        }
        const auto& candidates = byDepth[static_cast<std::size_t>(depth - 1)];
        const std::int32_t parent =
            candidates[static_cast<std::size_t>(rng.Range(0, candidates.size() - 1))];
        std::int32_t files = FilesInFolder(rng);
        std::int64_t span = 1;
        std::int32_t fit = 0;
        for (; fit < files; ++fit) {
            const std::int64_t more = SlotsOf(TraitsOf(f, fit));
            if (slot + span + more > limit) {
                break;
            }
            span += more;
        }
        if (slot + span > limit) {
            break;
        }
        files = fit;
        Folder folder;
        folder.record = slot;
        folder.parent = parent;
        folder.depth = depth;
        folder.files = files;
        folder.firstFileSlot = slot + 1;
        folder.firstLink = plan.links.size();
        Rng names(3, static_cast<std::uint64_t>(f));
        folder.name = top && byDepth[1].size() < kTopFolders.size()
                          ? std::u16string(kTopFolders[byDepth[1].size()])
                          : RandomStem(names, NameLength(names, 60));
        for (std::int32_t i = 0; i < files; ++i) {
            const Traits t = TraitsOf(f, i);
            for (std::int32_t k = 0; k < t.links; ++k) {
                Rng link(4, static_cast<std::uint64_t>(f),
                         static_cast<std::uint64_t>(i) * 8 + static_cast<std::uint64_t>(k));
                const std::int32_t target =
                    link.Chance(0.3) ? f : static_cast<std::int32_t>(link.Range(0, f - 1));
                const auto index = static_cast<std::uint32_t>(plan.links.size());
                plan.links.push_back({f, i, target, RandomFileName(link, LinkNameCap(t.layout))});
                if (target == f) {
                    folder.linksIn.push_back(index);
                } else {
                    plan.folders[static_cast<std::size_t>(target)].linksIn.push_back(index);
                }
            }
        }
        plan.folders[static_cast<std::size_t>(parent)].subfolders.push_back(f);
        byDepth[static_cast<std::size_t>(depth)].push_back(f);
        plan.folders.push_back(std::move(folder));
        slot += span;
    }
    return plan;
}

}  // namespace kestrin::image
