// The accounting of a volume's used space: every committed image against the figures ntfs-3g and
// The Sleuth Kit gave for it when it was made, and hand-made records for what the images lack.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "core/RecordBuilder.h"
#include "core/TestPaths.h"
#include "scan/pipeline/ExtentResolver.h"
#include "scan/pipeline/ParallelParse.h"
#include "scan/pipeline/ScanPipeline.h"
#include "scan/volume/VolumeBitmap.h"

namespace kestrin {
namespace {

using test::RecordBuilder;

// NAME.accounting: "KEY BYTES" lines for the volume, "file RECORD BYTES PATH" for each file with
// a non-resident named stream (its data and all its streams).
struct ExpectedAccounting {
    std::map<std::string, std::int64_t> figures;
    std::map<std::int64_t, std::int64_t> fileBytes;
};

std::optional<ExpectedAccounting> ReadAccounting(const std::string& fixture) {
    std::ifstream in(test::FixtureSource(fixture + ".accounting"));
    if (!in) {
        return std::nullopt;
    }
    ExpectedAccounting expected;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        std::int64_t value = 0;
        if (line.empty() || line[0] == '#' || !(fields >> key >> value)) {
            continue;
        }
        if (key == "file") {
            fields >> expected.fileBytes[value];
        } else {
            expected.figures[key] = value;
        }
    }
    return expected;
}

TEST(SpaceAccounting, EveryFixtureAccountsForEachUsedClusterAsNtfs3gAndTheSleuthKitDo) {
    std::size_t images = 0;
    std::size_t files = 0;
    for (const std::string& fixture : test::FixtureNames()) {
        const std::optional<ExpectedAccounting> expected = ReadAccounting(fixture);
        if (!expected) {
            continue;
        }
        SCOPED_TRACE(fixture);
        ++images;
        const ScanResult result = ScanPathMft(test::FixtureImage(fixture), L"C", {});
        const SpaceAccounting& space = result.space;
        const std::map<std::string, std::int64_t> ours = {
            {"cluster-size", space.clusterSize},
            {"volume-used", space.volumeUsed},
            {"file-data", space.fileData},
            {"named-streams", space.namedStreams},
            {"directory-indexes", space.directoryIndexes},
            {"other-attributes", space.otherAttributes}};
        EXPECT_EQ(ours, expected->figures);
        EXPECT_EQ(space.Unaccounted(), 0);
        EXPECT_EQ(result.unreadMftRecords, 0);
        // Every name of such a file shows all it occupies, its streams included.
        std::map<std::int64_t, std::int64_t> shown;
        for (const auto& [folder, rows] : result.dirFiles) {
            for (const FileRow& row : rows) {
                if (expected->fileBytes.count(row.recordNumber) != 0) {
                    EXPECT_EQ(row.allocated, expected->fileBytes.at(row.recordNumber))
                        << "record " << row.recordNumber;
                    shown[row.recordNumber] = row.allocated;
                }
            }
        }
        EXPECT_EQ(shown, expected->fileBytes);
        files += expected->fileBytes.size();
    }
    EXPECT_GE(images, 7u);
    EXPECT_GE(files, 5u);
}

test::RecordBuilder::NonResident Stream(std::u16string name, std::int64_t bytes,
                                        std::vector<test::Run> runs) {
    RecordBuilder::NonResident data;
    data.name = std::move(name);
    data.dataSize = bytes;
    data.allocated = bytes;
    data.initialized = bytes;
    data.runList = test::EncodeRuns(runs);
    return data;
}

// Records whose attributes place clusters of every kind, in base and extension records, sparse
// and compressed, some of them past the volume's last cluster.
TEST(SpaceAccounting, ClustersAreCountedOncePerExtentAndStreamsBelongToTheirFile) {
    constexpr std::int64_t kCluster = 4096;
    constexpr std::int64_t kVolumeClusters = 1000;
    std::vector<std::vector<std::uint8_t>> r(26);
    // A sparse file with 13 clusters on disk, a named stream of 2 clusters, and one of 3 clusters
    // whose only extent lies in extension record 21.
    RecordBuilder::NonResident sparse =
        Stream(u"", 18 * kCluster, {{10, 100}, {5, 0, true}, {3, 50}});
    sparse.flags = 0x8000;
    sparse.totalAllocated = 13 * kCluster;
    r[20] = RecordBuilder()
                .FileName(5, u"a.bin")
                .NonResidentData(sparse)
                .NonResidentData(Stream(u"s", 2 * kCluster, {{2, 300}}))
                .AttributeList({{0x30, 0, 20}, {0x80, 0, 20}, {0x80, 0, 21, 1}})
                .Build();
    r[21] = RecordBuilder()
                .BaseRecord(20)
                .NonResidentData(Stream(u"t", 3 * kCluster, {{3, 400}}))
                .Build();
    // A folder's index and its bitmap.
    r[22] = RecordBuilder()
                .Flags(0x03)
                .FileName(5, u"folder", 1, true)
                .NonResidentAttribute(0xA0, Stream(u"$I30", 4 * kCluster, {{4, 500}}))
                .NonResidentAttribute(0xB0, Stream(u"$I30", kCluster, {{1, 510}}))
                .Build();
    // Free records place nothing, whatever they still hold.
    r[23] = RecordBuilder()
                .Flags(0)
                .FileName(5, u"gone.bin")
                .NonResidentData(Stream(u"", 7 * kCluster, {{7, 600}}))
                .Build();
    // Half of it past the volume's end: only the half inside counts.
    r[24] = RecordBuilder()
                .FileName(5, u"edge.bin")
                .NonResidentData(Stream(u"", 20 * kCluster, {{20, 990}}))
                .Build();
    const std::vector<std::uint8_t> image = test::MakeImage(r);
    ScanSlice slice;
    ParseSliceRecords(image, 1024, 0, static_cast<std::int32_t>(r.size()), slice, nullptr,
                      VolumeClusters{kCluster, kVolumeClusters});
    EXPECT_EQ(slice.clusters, (ClusterTally{13 + 10, 2 + 3, 4, 1}));

    ApplyExtents(slice);
    std::map<std::int64_t, std::int64_t> allocated;
    for (const FolderRecord& folder : slice.folders) {
        for (const FileRow& file : folder.childFiles) {
            allocated[file.recordNumber] = file.allocated;
        }
    }
    EXPECT_EQ(allocated, (std::map<std::int64_t, std::int64_t>{{20, (13 + 2 + 3) * kCluster},
                                                               {24, 20 * kCluster}}));
    EXPECT_EQ(slice.folders.At(5).ownTotals.allocated, (13 + 2 + 3 + 20) * kCluster);
}

TEST(SpaceAccounting, BitmapBitsAreCountedUpToTheClusterCount) {
    const std::vector<std::uint8_t> bits = {0xFF, 0x0F, 0x80};
    const std::pair<std::int64_t, std::int64_t> cases[] = {
        {0, 0}, {1, 1}, {8, 8}, {12, 12}, {16, 12}, {23, 12}, {24, 13}, {1000, 13}, {-5, 0}};
    for (const auto& [limit, set] : cases) {
        EXPECT_EQ(CountSetBits(bits, limit), set) << limit;
    }
    const std::vector<std::uint8_t> full(17, 0xFF);
    EXPECT_EQ(CountSetBits(full, 130), 130);
    EXPECT_EQ(CountSetBits(full, 136), 136);
    EXPECT_EQ(CountSetBits(full, 200), 136);
}

}  // namespace
}  // namespace kestrin
