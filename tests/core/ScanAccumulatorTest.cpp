// The accumulator the slices are folded into, its largest-files heap, and the pass that finds
// the sizes NTFS moved into extension records.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/RecordBuilder.h"
#include "scan/pipeline/ExtentResolver.h"
#include "scan/pipeline/ParallelParse.h"

namespace kestrin {
namespace {

using test::RecordBuilder;
using Sizes = std::pair<std::int64_t, std::int64_t>;
using SizeCount = std::pair<std::int64_t, std::int32_t>;

MftEntry File(std::int64_t record, std::int64_t parent, const std::wstring& name, std::int64_t size,
              std::int64_t allocated = 0) {
    return MftEntry{record, parent, name, size, allocated, 0, 0, false};
}

std::vector<std::int64_t> Kept(LargestFiles largest) {
    Settle(largest);
    std::vector<std::int64_t> records;
    for (const MftEntry& entry : largest.kept) {
        records.push_back(entry.recordNumber);
    }
    std::sort(records.begin(), records.end());
    return records;
}

TEST(LargestFiles, KeepsTheLargestAndLetsNoTieDisplaceAnEarlierFile) {
    LargestFiles full;
    ASSERT_EQ(full.capacity, 100000);
    for (std::int64_t i = 0; i < 100000; ++i) {
        Offer(full, File(i, 5, L"f", 1000 + (i * 7919) % 100000));  // every size once, shuffled
    }
    Offer(full, File(200000, 5, L"tie", 1000));
    EXPECT_EQ(Kept(full).front(), 0);
    Offer(full, File(200001, 5, L"larger", 1001));
    Settle(full);
    EXPECT_EQ(full.kept.size(), 100000u);
    EXPECT_EQ(Kept(full).front(), 1);
    EXPECT_EQ(Kept(full).back(), 200001);

    // Many ties in a small heap: the four largest, the earliest offered among equal sizes.
    LargestFiles four;
    four.capacity = 4;
    const std::int64_t sizes[] = {5, 9, 5, 1, 9, 7, 5, 9, 2, 7};
    for (std::int64_t i = 0; i < 10; ++i) {
        Offer(four, File(i, 5, L"f", sizes[i]));
    }
    EXPECT_EQ(Kept(four), (std::vector<std::int64_t>{1, 4, 5, 7}));
}

TEST(LargestFiles, KeepsWhatAStableSortOfEverythingOfferedWouldKeep) {
    // Few distinct sizes, so that ties straddle every trim; the reference is the first
    // `capacity` entries of all offers stably sorted by size, largest first.
    std::uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    // 3000: the list takes its whole room in one step on the way, and trims after that.
    for (const std::int32_t capacity : {1, 2, 3, 7, 64, 3000}) {
        for (const std::uint32_t sizes : {2u, 5u, 1000u}) {
            LargestFiles largest;
            largest.capacity = capacity;
            std::vector<MftEntry> offered;
            SizeHistogram counted;
            for (std::int64_t i = 0; i < std::max(1000, 4 * capacity); ++i) {
                // Large sizes too, in classes that span many sizes each.
                const std::int64_t size = (next() >> 8) % sizes * (sizes == 1000u ? 65537 : 1);
                offered.push_back(File(i, 5, L"file " + std::to_wstring(i * i), size));
                Offer(largest, offered.back());
                counted.Count(size);
            }
            // Told up front what size enough of them reach, the list keeps the same entries in
            // the same order.
            LargestFiles told;
            told.capacity = capacity;
            ExpectAtLeast(told, counted.LeastOfRank(capacity));
            for (const MftEntry& entry : offered) {
                Offer(told, entry);
            }
            Settle(told);
            Settle(largest);
            ASSERT_EQ(told.kept.size(), largest.kept.size());
            for (std::size_t i = 0; i < told.kept.size(); ++i) {
                EXPECT_EQ(told.kept[i].recordNumber, largest.kept[i].recordNumber);
            }
            std::stable_sort(offered.begin(), offered.end(),
                             [](const MftEntry& a, const MftEntry& b) { return a.size > b.size; });
            offered.resize(static_cast<std::size_t>(capacity));
            LargestFiles expected;
            expected.kept = offered;
            EXPECT_EQ(Kept(largest), Kept(expected)) << capacity << " " << sizes;
            // Trimmed entries lend their names' memory to later ones; each keeps its own name.
            Settle(largest);
            for (const MftEntry& kept : largest.kept) {
                EXPECT_EQ(kept.name,
                          L"file " + std::to_wstring(kept.recordNumber * kept.recordNumber));
            }
        }
    }
}

TEST(AddEntry, FoldersOnlyDescribeThemselvesAndFilesCountOnce) {
    ScanSlice slice;
    AddEntry(slice, MftEntry{5, 5, L".", 0, 0, 0, 0, true});
    AddEntry(slice, MftEntry{40, 5, L"Users", 0, 0, 77, 0x10, true});
    EXPECT_EQ(slice.dirCount, 1);
    EXPECT_EQ(slice.folders.At(40).dirInfo->time, 77);
    for (const FolderRecord& folder : slice.folders) {
        EXPECT_TRUE(folder.ownTotals.count == 0 && folder.childFiles.empty());
    }
    EXPECT_TRUE(slice.extTotals.empty() && slice.largest.kept.empty() && slice.fileCount == 0);

    for (const MftEntry& file : {File(60, 40, L"a.JPG", 10, 4096), File(61, 40, L"b.jpg", 20, 4096),
                                 File(62, 0, L"README", 3), File(63, 40, L".profile", 4)}) {
        AddEntry(slice, file);
    }
    EXPECT_EQ(slice.fileCount, 4);
    const SizeTotals& own = slice.folders.At(40).ownTotals;
    EXPECT_EQ(std::tie(own.size, own.allocated, own.count), std::make_tuple(34, 8192, 3));
    // No parent: counted at the root, listed under the parent as read until the tree is built.
    EXPECT_EQ(slice.folders.At(5).ownTotals.count, 1);
    EXPECT_EQ(slice.folders.At(0).childFiles.at(0).recordNumber, 62);
    EXPECT_EQ(slice.folders.At(40).childFiles.at(2).name, L".profile");
    // Extensions as written; names without one share the empty key.
    EXPECT_EQ(slice.extTotals.size(), 3u);
    EXPECT_EQ(slice.extTotals[L".JPG"].size + slice.extTotals[L".jpg"].size, 30);
    EXPECT_EQ(SizeCount(slice.extTotals[L""].size, slice.extTotals[L""].count), SizeCount(7, 2));
}

TEST(MergeSlice, FoldsEveryMemberByItsOwnRule) {
    const auto make = [](bool later) {
        ScanSlice slice;
        AddEntry(slice, MftEntry{40, 5, later ? L"new" : L"old", 0, 0, 0, 0, true});
        AddEntry(slice, File(later ? 61 : 60, 40, L"a.txt", later ? 7 : 5, 8));
        slice.extentSizes[90] = later ? ExtentSizes{30, 50} : ExtentSizes{40, 20};
        slice.entries.push_back(File(later ? 71 : 70, 5, L"e", 1));
        return slice;
    };
    for (const bool moving : {false, true}) {
        ScanSlice into = make(false);
        into.largest.capacity = 1;
        ScanSlice from = make(true);
        moving ? MergeSlice(into, std::move(from)) : MergeSlice(into, from);
        const FolderRecord& folder = into.folders.At(40);
        EXPECT_EQ(folder.dirInfo->name, L"new");
        EXPECT_EQ(std::tie(folder.ownTotals.size, folder.ownTotals.allocated), std::tuple(12, 16));
        ASSERT_EQ(folder.childFiles.size(), 2u);
        EXPECT_EQ(folder.childFiles[1].recordNumber, 61);
        EXPECT_EQ(SizeCount(into.extTotals[L".txt"].size, into.extTotals[L".txt"].count),
                  SizeCount(12, 2));
        EXPECT_EQ(Sizes(into.extentSizes[90].size, into.extentSizes[90].allocated), Sizes(40, 50));
        ASSERT_EQ(into.entries.size(), 2u);
        EXPECT_EQ(into.entries[1].recordNumber, 71);
        EXPECT_EQ(std::pair(into.fileCount, into.dirCount), std::pair(2, 2));
        EXPECT_EQ(Kept(into.largest), (std::vector<std::int64_t>{61}));  // by into's own capacity
    }
}

// Parent references read from a damaged record can be any 48-bit number: those past the index
// live in a map, and one found there before the index grew over it is still found there.
TEST(FolderTable, FindsEveryRecordWhereverItLives) {
    FolderTable table;
    const std::vector<std::int64_t> records = {5,     0,       (std::int64_t{1} << 47) + 3,
                                               70000, 3000000, 70000};
    std::vector<FolderRecord*> first;
    for (const std::int64_t record : records) {
        first.push_back(&table.At(record));
        first.back()->ownTotals.count += 1;
    }
    table.ReserveRecords(4000000);
    for (std::size_t i = 0; i < records.size(); ++i) {
        table.At(records[i]).ownTotals.count += 1;
        EXPECT_EQ(table.Find(records[i]), first[i]);  // records keep their place
    }
    EXPECT_EQ(table.size(), 5u);
    EXPECT_EQ(table.Find(70000)->ownTotals.count, 4);
    EXPECT_EQ(table.Find(6), nullptr);
    EXPECT_EQ(table.Find(-1), nullptr);
}

// Enough extensions for the table to grow many times; each is found again as it was counted, and
// its text is the wide text of its units.
TEST(ExtensionTable, FindsEveryExtensionAfterGrowing) {
    ExtensionTable table;
    const auto text = [](int i) {
        return L"." + std::to_wstring(i) + (i % 7 == 0 ? L"\U0001F600" : L"");
    };
    for (int i = 0; i < 5000; ++i) {
        table[text(i)].count += i;
    }
    table[L""].count = -1;
    ASSERT_EQ(table.size(), 5001u);
    for (int i = 0; i < 5000; i += 97) {
        const NameText key(text(i));
        const ExtensionTable::Entry* found = table.Find(key.units());
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(std::pair(found->totals.count, found->totals.text.str()), std::pair(i, text(i)));
    }
    EXPECT_EQ(table.Find(NameText(L".5000").units()), nullptr);
    EXPECT_EQ(table.Find({})->totals.text.str(), kNoExtensionLabel);
}

// Numbered in the order met, the same number again for the same units, and none once every
// number is taken; the slice's files then fall back on their text.
TEST(ExtensionIds, NumbersEachExtensionOnceUntilFull) {
    ExtensionIds ids;
    std::vector<NameText> keys;
    for (int i = 0; i < ExtensionIds::kNone + 10; ++i) {
        keys.emplace_back(L"." + std::to_wstring(i) + (i % 7 == 0 ? L"\U0001F600" : L""));
    }
    for (int i = 0; i < ExtensionIds::kNone; ++i) {
        ASSERT_EQ(ids.IdOf(keys[static_cast<std::size_t>(i)].units()), i);
    }
    EXPECT_EQ(ids.IdOf(keys.back().units()), ExtensionIds::kNone);
    for (int i = 0; i < ExtensionIds::kNone; i += 997) {
        const auto id = static_cast<std::uint16_t>(i);
        EXPECT_EQ(ids.IdOf(keys[id].units()), id);
        EXPECT_TRUE(ids.Key(id) == keys[id].units());
    }
    EXPECT_EQ(ids.size(), std::size_t{ExtensionIds::kNone});
}

RecordBuilder::NonResident Extent(std::int64_t size, std::int64_t allocated, std::int64_t vcn = 0) {
    RecordBuilder::NonResident data;
    data.dataSize = data.initialized = size;
    data.allocated = allocated;
    data.lowestVcn = vcn;
    data.runList = test::EncodeRuns({{allocated / 4096 + 1, 100}});
    return data;
}

std::vector<RecordBuilder::ListEntry> DataIn(std::int64_t record) {
    return {{0x30, 0, 0}, {0x80, 0, record}};
}

// Decodes, resolves and applies the records as a scan does; the sizes noted per base record and
// what each file ended with.
struct Resolved {
    std::map<std::int64_t, ExtentSizes> noted;
    std::map<std::int64_t, FileRow> files;
};

Resolved Resolve(const std::vector<std::vector<std::uint8_t>>& records) {
    const std::vector<std::uint8_t> image = test::MakeImage(records);
    ScanSlice slice;
    ParseSliceRecords(image, 1024, 0, static_cast<std::int32_t>(records.size()), slice);
    ResolveExtents(image, 1024, slice);
    EXPECT_EQ(image, test::MakeImage(records));  // fixups are applied to copies only
    Resolved out{{slice.extentSizes.begin(), slice.extentSizes.end()}, {}};
    ApplyExtents(slice);
    EXPECT_TRUE(slice.entries.empty() && slice.extentSizes.empty());
    for (const FolderRecord& folder : slice.folders) {
        for (const FileRow& file : folder.childFiles) {
            out.files[file.recordNumber] = file;
        }
    }
    return out;
}

constexpr std::int64_t kTenTiB = 10995116277760;

TEST(ExtentResolver, SizesInExtensionRecordsRaiseTheFilesOwn) {
    std::vector<std::vector<std::uint8_t>> r(40);
    // $DATA wholly in extension record 21, whose header names base 20.
    r[20] = RecordBuilder().FileName(5, u"moved.bin").AttributeList(DataIn(21)).Build();
    r[21] = RecordBuilder().BaseRecord(20).NonResidentData(Extent(5000000, 5005312)).Build();
    // Found through the list alone: 23's header has lost its back link.
    r[22] = RecordBuilder().FileName(5, u"listed.bin").AttributeList(DataIn(23)).Build();
    r[23] = RecordBuilder().NonResidentData(Extent(700000, 704512)).Build();
    // Own first extents; what the extension records hold is not larger (26: only its allocated
    // size is). References past the end of the MFT are passed over.
    r[24] = RecordBuilder()
                .FileName(5, u"own.bin")
                .NonResidentData(Extent(90000, 90112))
                .AttributeList(DataIn(25))
                .Build();
    r[25] = RecordBuilder().BaseRecord(24).NonResidentData(Extent(4000, 4096)).Build();
    r[26] = RecordBuilder()
                .FileName(5, u"tiny.txt")
                .ResidentData(600)
                .AttributeList(DataIn(27))
                .Build();
    r[27] = RecordBuilder().NonResidentData(Extent(500, 4096)).Build();
    r[28] = RecordBuilder()
                .FileName(5, u"same.bin")
                .NonResidentData(Extent(90000, 90112))
                .AttributeList({{0x80, 0, 29}, {0x80, 0, 40}, {0x80, 0, std::int64_t{1} << 40}})
                .Build();
    r[29] = RecordBuilder().NonResidentData(Extent(90000, 90112)).Build();
    // 10 TiB is a size; one byte more, logical or allocated, is damage.
    r[30] = RecordBuilder().FileName(5, u"limit.vhd").Build();
    r[31] = RecordBuilder().BaseRecord(30).NonResidentData(Extent(kTenTiB, kTenTiB)).Build();
    r[32] = RecordBuilder().FileName(5, u"over.vhd").ResidentData(1).Build();
    r[33] = RecordBuilder().BaseRecord(32).NonResidentData(Extent(kTenTiB + 1, 4096)).Build();
    r[34] = RecordBuilder().FileName(5, u"overalloc.vhd").ResidentData(1).Build();
    r[35] = RecordBuilder().BaseRecord(34).NonResidentData(Extent(4096, kTenTiB + 1)).Build();
    const Resolved out = Resolve(r);

    const auto sizes = [&](std::int64_t n) {
        return Sizes(out.files.at(n).size, out.files.at(n).allocated);
    };
    EXPECT_EQ(sizes(20), Sizes(5000000, 5005312));
    EXPECT_EQ(sizes(22), Sizes(700000, 704512));
    EXPECT_EQ(sizes(24), Sizes(90000, 90112));
    EXPECT_EQ(sizes(26), Sizes(600, 4096));
    EXPECT_EQ(sizes(28), Sizes(90000, 90112));
    EXPECT_EQ(sizes(30), Sizes(kTenTiB, kTenTiB));
    EXPECT_EQ(sizes(32), Sizes(1, 1));
    EXPECT_EQ(sizes(34), Sizes(1, 1));
    // An extension record always reports to its base; a listed one only when it holds more.
    std::vector<std::int64_t> noted;
    for (const auto& [base, found] : out.noted) {
        noted.push_back(base);
    }
    EXPECT_EQ(noted, (std::vector<std::int64_t>{20, 22, 24, 26, 30}));
    EXPECT_EQ(out.files.size(), 8u);
}

TEST(ExtentResolver, TheMftsOwnRecordsNeverReceiveSizes) {
    std::vector<std::vector<std::uint8_t>> r(17);
    // $MFT lists a larger first extent in record 14 (base route), and its extension record 15
    // names record 0 with sequence number 1, as ntfs-3g writes it, and holds a copy of the name,
    // which must not make it a file of its own. 16 has flag 0x04 and no base at all.
    r[0] = RecordBuilder()
               .FileName(5, u"$MFT")
               .NonResidentData(Extent(17408, 20480))
               .AttributeList({{0x80, 0, 14}, {0x80, 3238, 15}})
               .Build();
    r[14] = RecordBuilder().NonResidentData(Extent(900000, 901120)).Build();
    r[15] = RecordBuilder()
                .BaseRecord(std::int64_t{1} << 48)
                .FileName(5, u"$MFT")
                .NonResidentData(Extent(800000, 802816, 3238))
                .Build();
    r[16] = RecordBuilder().Flags(0x05).NonResidentData(Extent(8000, 8192)).Build();
    const Resolved out = Resolve(r);
    EXPECT_TRUE(out.noted.empty());
    ASSERT_EQ(out.files.size(), 1u);
    EXPECT_EQ(out.files.at(0).size, 17408);
}

}  // namespace
}  // namespace kestrin
