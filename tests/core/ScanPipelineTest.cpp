// Whole scans: the committed images against The Sleuth Kit's listings, a volume laid out in
// memory for what the images lack, and the texts the status line shows on the way.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

#include "core/FlsListing.h"
#include "core/RecordBuilder.h"
#include "core/TestPaths.h"
#include "scan/common/Trace.h"
#include "scan/common/Utf16Text.h"
#include "scan/pipeline/ScanPipeline.h"
#include "scan/results/DirectoryTree.h"

namespace kestrin {
namespace {

using Reports = std::vector<std::pair<std::int32_t, std::wstring>>;
using Sums = std::array<std::int64_t, 4>;  // size, allocated, files, subdirectories

ProgressCallback RecordInto(Reports& reports) {
    return [&reports](std::int32_t percent, const std::wstring& text) {
        reports.emplace_back(percent, text);
    };
}

// The path that fls's nesting gives a directory.
std::wstring FlsPath(const std::map<std::int64_t, test::FlsRecord>& fls, std::int64_t record) {
    std::wstring path;
    for (; record != 5; record = fls.at(record).names.begin()->first) {
        path = L"\\" + WideFromUtf8(fls.at(record).names.begin()->second) + path;
    }
    return L"C:" + (path.empty() ? L"\\" : path);
}

// Subtree sums recomputed from the file rows alone, down the children lists.
Sums Recount(const ScanResult& result, std::int64_t dir) {
    Sums sums{};
    if (result.dirFiles.count(dir) != 0) {
        for (const FileRow& row : result.dirFiles.at(dir)) {
            sums[0] += row.size;
            sums[1] += row.allocated;
            sums[2] += 1;
        }
    }
    for (const std::int64_t child : result.dirs.at(dir).children) {
        const Sums below = Recount(result, child);
        for (std::size_t i = 0; i < 4; ++i) {
            sums[i] += below[i];
        }
        sums[3] += 1;
    }
    return sums;
}

TEST(ScanPipeline, EveryFixtureImageAgreesWithTheSleuthKit) {
    for (const std::string& fixture : test::FixtureNames()) {
        SCOPED_TRACE(fixture);
        const auto fls = test::ReadFls(test::FixtureListing(fixture));
        const ScanResult result = ScanPathMft(test::FixtureImage(fixture), L"C", {});
        std::int32_t files = 0;
        for (const auto& [record, listed] : fls) {
            if (!listed.isDirectory) {
                ++files;
                continue;
            }
            ASSERT_TRUE(result.dirs.count(record)) << record;
            EXPECT_EQ(result.dirs.at(record).treeParent, listed.names.begin()->first) << record;
            EXPECT_EQ(FolderPath(result.dirs, record, L"C"), FlsPath(fls, record));
        }
        // Each file record once whatever its number of names; nothing but the root that fls does
        // not know.
        EXPECT_EQ(result.fileCount, files);
        EXPECT_EQ(result.dirCount, static_cast<std::int32_t>(fls.size()) - files);
        EXPECT_EQ(result.dirs.size(), fls.size() - files + 1);

        std::map<std::int64_t, const FileRow*> rows;
        std::map<std::wstring, std::pair<std::int64_t, std::int32_t>> extensions;
        for (const auto& [dir, list] : result.dirFiles) {
            for (const FileRow& row : list) {
                const test::FlsRecord& listed = fls.at(row.recordNumber);
                EXPECT_TRUE(rows.emplace(row.recordNumber, &row).second) << row.recordNumber;
                EXPECT_TRUE(!listed.isDirectory &&
                            listed.names.count({dir, Utf8FromWide(row.name.str())}))
                    << row.recordNumber << " " << Utf8FromWide(row.name.str()) << " in " << dir;
                EXPECT_EQ(row.size, listed.size.value_or(row.size)) << row.recordNumber;
                EXPECT_EQ(row.folderPath, FlsPath(fls, dir));
                extensions[row.extension].first += row.size;
                extensions[row.extension].second += 1;
            }
        }
        EXPECT_EQ(rows.size(), static_cast<std::size_t>(files));

        for (const auto& [record, node] : result.dirs) {
            EXPECT_EQ(Recount(result, record), (Sums{node.totalSize, node.totalAllocated,
                                                     node.totalFiles, node.subdirCount}))
                << record;
        }
        const DirNode& root = result.dirs.at(5);
        EXPECT_EQ(root.name, L"[C:]");
        EXPECT_EQ(result.rootTotalSize, root.totalSize);
        EXPECT_EQ(root.totalFiles, result.fileCount);  // nothing unreachable on a sound volume
        EXPECT_EQ(root.subdirCount, result.dirCount);

        // Fewer than 100000 files: every one of them, largest first.
        std::set<std::int64_t> largest;
        for (std::size_t i = 0; i < result.largestFiles.size(); ++i) {
            const FileRow& row = result.largestFiles[i];
            EXPECT_TRUE(i == 0 || result.largestFiles[i - 1].size >= row.size) << i;
            largest.insert(row.recordNumber);
            ASSERT_TRUE(rows.count(row.recordNumber));
            EXPECT_EQ(row.folderPath, rows.at(row.recordNumber)->folderPath);
        }
        EXPECT_EQ(largest.size(), rows.size());

        ASSERT_EQ(result.extStats.size(), extensions.size());
        for (std::size_t i = 0; i < result.extStats.size(); ++i) {
            const ExtStat& stat = result.extStats[i];
            EXPECT_TRUE(i == 0 || result.extStats[i - 1].size >= stat.size) << i;
            EXPECT_EQ(std::pair(stat.size, stat.files), extensions[stat.extension]);
        }
        if (fixture == "sample") {
            EXPECT_EQ(FolderPath(result.dirs, 75, L"C"),
                      L"C:\\Program Files\\Kestrel Demo\\lang\\中文");
        }
    }
}

TEST(ScanPipeline, ReportsTheSameStepsWhateverTheThreadCountAndTracesTheRecordCount) {
    // 1929 records of 1 KiB: 1 MB in the opening text, one slice, one decoding report.
    const std::filesystem::path image = test::FixtureImage("fragmented-mft");
    const auto open = [&](VolumeHandle& volume) { return OpenVolumePath(volume, image); };
    std::vector<std::wstring> lines;
    const TraceSink previous =
        SetTraceSink([&](const std::wstring& line) { lines.push_back(line); });
    const ScanResult silent = ScanVolumeMft(open, L"E", {}, 4);
    SetTraceSink(previous);
    // The closing line counts all 1929 record slots, not the entries they decoded to.
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"ScanDriveMft: start drive=E");
    EXPECT_EQ(lines[1].rfind(L"ScanDriveMft: done drive=E records=1929 dirs=" +
                                 std::to_wstring(silent.dirs.size()) + L" files=" +
                                 std::to_wstring(silent.fileCount) + L" time=",
                             0),
              0u)
        << Utf8FromWide(lines[1]);

    for (const unsigned threads : {0u, 1u, 4u}) {
        Reports reports;
        const ScanResult result = ScanVolumeMft(open, L"C", RecordInto(reports), threads);
        EXPECT_EQ(reports,
                  (Reports{
                      {1, L"正在打开 NTFS 卷..."},
                      {5, L"正在读取 MFT..."},
                      {10, L"MFT 1 MB \u00B7 " + std::to_wstring(threads) + L" 线程并行解析"},
                      {88, L"并行解析: 1929 / 1929"},
                      {90, L"解析 ATTRIBUTE_LIST 溢出属性..."},
                      {91, L"合并扩展 MFT 记录..."},
                      {92, L"构建目录树..."},
                  }))
            << threads;
        EXPECT_EQ(std::tie(result.fileCount, result.dirCount, result.rootTotalSize),
                  std::tie(silent.fileCount, silent.dirCount, silent.rootTotalSize));
    }
}

test::RecordBuilder::NonResident Stream(std::int64_t size, std::int64_t allocated,
                                        std::int64_t clusters, std::int64_t lcn) {
    test::RecordBuilder::NonResident data;
    data.dataSize = data.initialized = size;
    data.allocated = allocated;
    data.runList = test::EncodeRuns({{clusters, lcn}});
    return data;
}

// A 64 KiB volume in memory: 4 KiB clusters, 1 KiB records, an MFT of 32 records at cluster 4
// holding $MFT and the root, for layouts that none of the committed images has.
class MemoryVolume : public VolumeSource {
public:
    MemoryVolume() {
        std::memcpy(bytes_.data() + 3, "NTFS    ", 8);
        test::Put(bytes_, 0x0B, 512, 2);
        test::Put(bytes_, 0x0D, 8, 1);
        test::Put(bytes_, 0x28, 127, 8);
        test::Put(bytes_, 0x30, 4, 8);
        test::Put(bytes_, 0x40, 0xF6, 1);
        test::Put(bytes_, 0x1FE, 0xAA55, 2);
        const auto mft = Stream(32768, 32768, 8, 4);
        Record(0, test::RecordBuilder().FileName(5, u"$MFT").NonResidentData(mft).Build());
        Record(5, test::RecordBuilder().Flags(0x03).FileName(5, u".", 3, true).Build());
    }
    void Record(std::int64_t n, const std::vector<std::uint8_t>& record) {
        std::copy(record.begin(), record.end(), bytes_.begin() + 16384 + n * 1024);
    }
    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        if (offset < 0 || static_cast<std::size_t>(offset) + buffer.size() > bytes_.size()) {
            return false;
        }
        std::copy_n(bytes_.begin() + offset, buffer.size(), buffer.begin());
        return true;
    }
    bool QueryVolumeData(VolumeDataReply&) override { return false; }
    ScanResult Scan(Reports& reports) const {
        return ScanVolumeMft(
            [this](VolumeHandle& volume) {
                return OpenVolumeSource(volume, std::make_unique<MemoryVolume>(*this));
            },
            L"C", RecordInto(reports), 4);
    }

private:
    std::vector<std::uint8_t> bytes_ = std::vector<std::uint8_t>(65536);
};

TEST(ScanPipeline, ASizeHeldOnlyByAnExtensionRecordReachesTheFile) {
    MemoryVolume volume;
    volume.Record(30, test::RecordBuilder()
                          .FileName(5, u"moved.bin")
                          .AttributeList({{0x30, 0, 30}, {0x80, 0, 31}})
                          .Build());
    const auto data = Stream(5000000, 5001216, 1221, 100);
    volume.Record(31, test::RecordBuilder().BaseRecord(30).NonResidentData(data).Build());
    Reports reports;
    const ScanResult result = volume.Scan(reports);
    EXPECT_EQ(result.fileCount, 2);
    ASSERT_EQ(result.largestFiles.size(), 2u);
    EXPECT_EQ(result.largestFiles[0].name, L"moved.bin");
    EXPECT_EQ(result.largestFiles[0].size, 5000000);
    EXPECT_EQ(result.largestFiles[0].allocated, 5001216);
    EXPECT_EQ(result.rootTotalSize, 5000000 + 32768);
}

TEST(ScanPipeline, AnExtensionRecordNoListNamesStillRaisesItsFileEverywhere) {
    // Record 21 names base 20, whose own record has no attribute list: the file was added with
    // its resident byte while decoding and is raised afterwards, in every view of the result.
    MemoryVolume volume;
    volume.Record(20, test::RecordBuilder().FileName(5, u"disk.vhd").ResidentData(1).Build());
    const auto data = Stream(8000000, 8003584, 1954, 100);
    volume.Record(21, test::RecordBuilder().BaseRecord(20).NonResidentData(data).Build());
    volume.Record(22, test::RecordBuilder().FileName(5, u"notes.vhd").ResidentData(10).Build());
    Reports reports;
    const ScanResult result = volume.Scan(reports);
    ASSERT_EQ(result.largestFiles.size(), 3u);
    EXPECT_EQ(std::tie(result.largestFiles[0].name, result.largestFiles[0].size,
                       result.largestFiles[0].allocated),
              std::make_tuple(std::wstring(L"disk.vhd"), 8000000, 8003584));
    const auto& root = result.dirFiles.at(kRootRecord);
    const auto row = std::find_if(root.begin(), root.end(),
                                  [](const FileRow& r) { return r.recordNumber == 20; });
    ASSERT_NE(row, root.end());
    EXPECT_EQ(row->size, 8000000);
    ASSERT_FALSE(result.extStats.empty());
    EXPECT_EQ(
        std::tie(result.extStats[0].extension, result.extStats[0].size, result.extStats[0].files),
        std::make_tuple(std::wstring(L".vhd"), 8000010, 2));
    EXPECT_EQ(result.rootTotalSize, 8000010 + 32768);
    EXPECT_EQ(result.dirs.at(kRootRecord).ownAllocated, 8003584 + 10 + 32768);
}

std::string FailureOf(const std::filesystem::path& source, Reports& reports) {
    try {
        ScanPathMft(source, L"C", RecordInto(reports));
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no failure";
}

TEST(ScanPipeline, AFailedScanEndsWithTheUsersTextAfterTheReportsMadeSoFar) {
    const std::string cannotOpen = "无法打开卷，请确认以管理员身份运行。";
    const Reports opening = {{1, L"正在打开 NTFS 卷..."}};
    Reports missing;
    EXPECT_EQ(FailureOf(test::FixtureImage("no-such-image"), missing), cannotOpen);
    EXPECT_EQ(missing, opening);

    // An image copied only in part: the boot sector and the MFT's first record are there, so the
    // volume opens, but the MFT runs past the end.
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "kestrin-failed-scan.img";
    std::vector<char> bytes(16384 + 1024);
    std::ifstream(test::FixtureImage("sample"), std::ios::binary)
        .read(bytes.data(), std::streamsize(bytes.size()));
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    Reports truncated;
    EXPECT_EQ(FailureOf(path, truncated), "无法读取 MFT。");
    EXPECT_EQ(truncated, (Reports{opening[0], {5, L"正在读取 MFT..."}}));

    std::fill(bytes.begin(), bytes.end(), 'x');
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    Reports foreign;
    EXPECT_EQ(FailureOf(path, foreign), cannotOpen);
    EXPECT_EQ(foreign, opening);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace kestrin
