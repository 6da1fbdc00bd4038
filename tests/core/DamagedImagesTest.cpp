// Whole images damaged the way copies and disks get damaged: cut short, overwritten, not NTFS at
// all, record 0 broken, directories whose parents loop, a many-named file's base record lost. Each
// is written to a file and scanned as the user scans one: the scan ends with a sane result or with
// one of the user's texts, and never holds an MFT buffer larger than the image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <stdexcept>

#include "core/FlsListing.h"
#include "core/TestPaths.h"
#include "scan/ntfs/MftEntry.h"
#include "scan/pipeline/ScanMessages.h"
#include "scan/pipeline/ScanPipeline.h"
#include "scan/results/DirectoryTree.h"
#include "scan/volume/MftReader.h"

namespace kestrin {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadBytes(const fs::path& path) {
    Bytes bytes(static_cast<std::size_t>(fs::file_size(path)));
    std::ifstream(path, std::ios::binary)
        .read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

struct Outcome {
    std::optional<ScanResult> result;
    std::string failure;
    std::size_t mftCapacity = 0;  // of the reader's buffer after reading the MFT alone
};

Outcome ScanImage(const Bytes& bytes) {
    // CTest runs the cases of this file side by side, each in its own process.
    const fs::path path =
        fs::temp_directory_path() /
        ("kestrin-damaged-" +
         std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + ".img");
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    Outcome outcome;
    try {
        outcome.result = ScanPathMft(path, L"C", {});
    } catch (const std::runtime_error& error) {
        outcome.failure = error.what();
    }
    {
        VolumeHandle volume;
        MftBytes mft;
        MftGeometry geometry;
        if (OpenVolumePath(volume, path)) {
            ReadMft(volume, mft, geometry);
        }
        outcome.mftCapacity = mft.capacity();
    }
    fs::remove(path);
    return outcome;
}

// A result with its root, or one of the user's texts; never an MFT buffer larger than the image.
void ExpectSaneOrCleanFailure(const Outcome& outcome, std::size_t imageBytes) {
    EXPECT_LE(outcome.mftCapacity, imageBytes);
    if (outcome.result) {
        EXPECT_EQ(outcome.result->dirs.count(kRootRecord), 1u);
        EXPECT_LE(outcome.result->fileCount, static_cast<std::int64_t>(imageBytes / 256));
    } else {
        EXPECT_TRUE(outcome.failure == kOpenVolumeFailedText ||
                    outcome.failure == kReadMftFailedText)
            << outcome.failure;
    }
}

MftGeometry GeometryOf(const fs::path& image) {
    VolumeHandle volume;
    MftBytes mft;
    MftGeometry geometry;
    EXPECT_TRUE(OpenVolumePath(volume, image) && ReadMft(volume, mft, geometry));
    return geometry;
}

std::size_t MftOffsetOf(const fs::path& image) {
    return static_cast<std::size_t>(GeometryOf(image).mftOffset);
}

std::size_t U16At(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8;
}

// Offset of the first attribute of `type` in the record at `record`, as it lies on disk.
std::size_t AttributeAt(const Bytes& image, std::size_t record, std::uint32_t type) {
    std::size_t at = record + U16At(image, record + 0x14);
    while (image[at] != type && image[at] != 0xFF && U16At(image, at + 4) != 0) {
        at += U16At(image, at + 4);
    }
    return at;
}

TEST(DamagedImages, AnImageCutShortFailsUntilItsMftIsWhole) {
    const fs::path fixture = test::FixtureImage("sample");
    const Bytes whole = ReadBytes(fixture);
    const MftGeometry mft = GeometryOf(fixture);
    const auto start = static_cast<std::size_t>(mft.mftOffset);
    const std::size_t end = start + static_cast<std::size_t>(mft.mftLength);
    const std::string open = kOpenVolumeFailedText;
    const std::string read = kReadMftFailedText;
    const std::pair<std::size_t, std::string> cuts[] = {
        {100, open},                // inside the boot sector
        {512, open},                // just after it, short of the 4 KiB the reader asks for
        {start + 100, open},        // inside record 0, so the MFT's length is unknown
        {start + 1024, read},       // just after record 0
        {(start + end) / 2, read},  // in the middle of the MFT
        {end - 1, read},            // one byte short of the MFT's end
        {whole.size() - 1, ""},     // only the backup boot sector is lost
    };
    const std::int32_t files = ScanPathMft(fixture, L"C", {}).fileCount;
    for (const auto& [size, expected] : cuts) {
        SCOPED_TRACE(size);
        const Outcome outcome = ScanImage(Bytes(whole.begin(), whole.begin() + size));
        EXPECT_EQ(outcome.failure, expected);
        EXPECT_LE(outcome.mftCapacity, size);
        EXPECT_EQ(outcome.result ? outcome.result->fileCount : files, files);
    }
}

TEST(DamagedImages, FilesThatAreNoNtfsVolumeAreRefused) {
    Bytes zeros(1 << 16);
    Bytes random(1 << 16);
    std::mt19937 generator(20261208);
    std::generate(random.begin(), random.end(), [&] { return std::uint8_t(generator()); });
    // A FAT16 boot sector as mkfs.fat writes it, and an ext superblock's magic at 1 KiB.
    Bytes fat(1 << 16);
    const char fatBoot[] = "\xEB\x3C\x90mkfs.fat\x00\x02\x04\x04\x00\x02\x00\x02\x00\x08";
    std::copy(std::begin(fatBoot), std::end(fatBoot), fat.begin());
    std::memcpy(fat.data() + 0x36, "FAT16   ", 8);
    fat[0x1FE] = 0x55;
    fat[0x1FF] = 0xAA;
    Bytes ext(1 << 16);
    ext[1024 + 0x38] = 0x53;
    ext[1024 + 0x39] = 0xEF;
    for (const Bytes* bytes : {&zeros, &random, &fat, &ext}) {
        EXPECT_EQ(ScanImage(*bytes).failure, kOpenVolumeFailedText);
    }
}

TEST(DamagedImages, DamagedRecordZero) {
    const fs::path fixture = test::FixtureImage("sample");
    const Bytes whole = ReadBytes(fixture);
    const std::size_t zero = MftOffsetOf(fixture);
    const std::size_t data = AttributeAt(whole, zero, 0x80);
    const std::int32_t files = ScanPathMft(fixture, L"C", {}).fileCount;

    Bytes bad = whole;
    std::memcpy(bad.data() + zero, "BAAD", 4);  // what chkdsk marks an unreadable record with
    EXPECT_EQ(ScanImage(bad).failure, kOpenVolumeFailedText);

    bad = whole;
    bad[data + 5] = 0xF0;  // $DATA's length runs past the end of the record
    EXPECT_EQ(ScanImage(bad).failure, kOpenVolumeFailedText);

    // A torn write: the update sequence no longer matches the sectors' last two bytes, which
    // therefore stay as they are. The record is used as it stands.
    bad = whole;
    bad[zero + U16At(whole, zero + 4)] ^= 0xFF;
    ExpectSaneOrCleanFailure(ScanImage(bad), bad.size());

    // The run list sends the MFT's only extent far past the end of the volume: the contiguous
    // read from the MFT's first cluster finds every record.
    bad = whole;
    const std::size_t runs = data + U16At(whole, data + 0x20);
    const std::size_t lengthBytes = whole[runs] & 0x0F;
    ASSERT_LE(runs + lengthBytes + 6, data + U16At(whole, data + 4));
    bad[runs] = static_cast<std::uint8_t>(0x40 | lengthBytes);
    const std::size_t lcn = runs + 1 + lengthBytes;
    std::fill_n(bad.begin() + lcn, 5, std::uint8_t{0});
    bad[lcn + 3] = 0x10;  // cluster 2^28
    Outcome outcome = ScanImage(bad);
    ASSERT_TRUE(outcome.result) << outcome.failure;
    EXPECT_EQ(outcome.result->fileCount, files);

    // A negative cluster number reads as a sparse run, which the MFT never has: its records are
    // unknown, the volume shows its root alone, and the result says that the MFT was not read.
    bad[lcn + 3] = 0xF0;
    outcome = ScanImage(bad);
    ASSERT_TRUE(outcome.result) << outcome.failure;
    EXPECT_EQ(outcome.result->fileCount, 0);
    EXPECT_GT(outcome.result->unreadMftRecords, files);

    // Boot sector and record 0 agree on a 1 TiB MFT in a 16 MiB image.
    bad = whole;
    const std::uint64_t claim = std::uint64_t{1} << 40;
    for (const std::size_t at : {std::size_t{0x28}, data + 0x28, data + 0x30, data + 0x38}) {
        std::memcpy(bad.data() + at, &claim, 8);
    }
    outcome = ScanImage(bad);
    EXPECT_EQ(outcome.failure, kReadMftFailedText);
    EXPECT_EQ(outcome.mftCapacity, 0u);
}

// Points every $FILE_NAME of directory `dir` at `parent`.
void SetParent(Bytes& image, std::size_t mft, std::int64_t dir, std::int64_t parent) {
    const std::size_t record = mft + static_cast<std::size_t>(dir) * 1024;
    for (std::size_t at = AttributeAt(image, record, 0x30); image[at] == 0x30;
         at += U16At(image, at + 4)) {
        std::memcpy(image.data() + at + U16At(image, at + 0x14), &parent, 6);
    }
}

TEST(DamagedImages, DirectoriesWhoseParentsLoopLeaveATree) {
    const fs::path fixture = test::FixtureImage("sample");
    const ScanResult clean = ScanPathMft(fixture, L"C", {});
    std::map<std::wstring, std::int64_t> dir;
    for (const auto& [record, node] : clean.dirs) {
        dir[FolderPath(clean.dirs, record, L"C")] = record;
    }
    // Three folders naming each other as parent, two, and one its own parent.
    Bytes bad = ReadBytes(fixture);
    const std::size_t mft = MftOffsetOf(fixture);
    SetParent(bad, mft, dir.at(L"C:\\Users"), dir.at(L"C:\\Users\\Alice\\Documents"));
    SetParent(bad, mft, dir.at(L"C:\\Windows"), dir.at(L"C:\\Windows\\System32"));
    SetParent(bad, mft, dir.at(L"C:\\Windows\\Logs"), dir.at(L"C:\\Windows\\Logs"));
    const Outcome outcome = ScanImage(bad);
    ASSERT_TRUE(outcome.result) << outcome.failure;
    const ScanResult& result = *outcome.result;
    EXPECT_EQ(std::pair(result.fileCount, result.dirCount),
              std::pair(clean.fileCount, clean.dirCount));
    EXPECT_EQ(result.dirs.at(dir.at(L"C:\\Windows")).parentRecord,
              dir.at(L"C:\\Windows\\System32"));

    // From the root every folder is met once at most, so what hangs there is a tree; its files
    // are the root's total, and the others are listed with the folders a loop cut off.
    std::set<std::int64_t> reached;
    std::vector<std::int64_t> stack = {kRootRecord};
    std::int32_t reachedRows = 0;
    while (!stack.empty()) {
        const std::int64_t record = stack.back();
        stack.pop_back();
        ASSERT_TRUE(reached.insert(record).second) << record;
        const auto rows = result.dirFiles.find(record);
        reachedRows += rows == result.dirFiles.end() ? 0 : std::int32_t(rows->second.size());
        for (const std::int64_t child : result.dirs.at(record).children) {
            EXPECT_EQ(result.dirs.at(child).treeParent, record);
            stack.push_back(child);
        }
    }
    EXPECT_EQ(result.dirs.at(kRootRecord).totalFiles, reachedRows);
    std::int32_t rows = 0;
    for (const auto& [record, list] : result.dirFiles) {
        rows += std::int32_t(list.size());
        EXPECT_EQ(FolderPath(result.dirs, record, L"C").rfind(L"C:\\", 0), 0u);
    }
    EXPECT_EQ(rows, result.fileCount);
}

// `hardlinks` holds a file of 400 names, 395 of them in the 50 extension records after its base
// record. With the base record freed or lost while those still say they are in use, none of the
// names may become a file of its own.
TEST(DamagedImages, TheExtensionRecordsOfALostManyNamedFileAreNoFiles) {
    const fs::path fixture = test::FixtureImage("hardlinks");
    const std::int32_t files = ScanPathMft(fixture, L"C", {}).fileCount;
    std::int64_t target = 0;
    for (const auto& [record, listed] : test::ReadFls(test::FixtureListing("hardlinks"))) {
        target = listed.names.size() == 400 ? record : target;
    }
    ASSERT_NE(target, 0);
    const std::size_t record = MftOffsetOf(fixture) + static_cast<std::size_t>(target) * 1024;
    for (const bool erase : {false, true}) {
        Bytes bad = ReadBytes(fixture);
        if (erase) {
            std::fill_n(bad.begin() + record, 1024, std::uint8_t{0});
        } else {
            bad[record + 0x16] &= 0xFE;  // no longer in use
        }
        const Outcome outcome = ScanImage(bad);
        ASSERT_TRUE(outcome.result) << outcome.failure;
        EXPECT_EQ(outcome.result->fileCount, files - 1);
        for (const auto& [dir, list] : outcome.result->dirFiles) {
            for (const FileRow& row : list) {
                EXPECT_FALSE(row.recordNumber >= target && row.recordNumber <= target + 50)
                    << row.recordNumber;
            }
        }
    }
}

std::uint64_t Fnv1a(const Bytes& bytes) {
    std::uint64_t hash = 0xCBF29CE484222325;
    for (const std::uint8_t byte : bytes) {
        hash = (hash ^ byte) * 0x100000001B3;
    }
    return hash;
}

TEST(DamagedImages, ScanningNeverWritesToTheImage) {
    std::int32_t sampleFiles = -1;
    for (const std::string& name : test::FixtureNames()) {
        SCOPED_TRACE(name);
        const fs::path image = test::FixtureImage(name);
        const std::uint64_t before = Fnv1a(ReadBytes(image));
        const fs::file_time_type modified = fs::last_write_time(image);
        const std::int32_t files = ScanPathMft(image, L"C", {}).fileCount;
        sampleFiles = name == "sample" ? files : sampleFiles;
        EXPECT_EQ(Fnv1a(ReadBytes(image)), before);
        EXPECT_EQ(fs::last_write_time(image), modified);
    }

    // A copy without write permission scans the same. Run as root, opening it proves little; the
    // checksums above are what show that nothing was written.
    const fs::path copy = fs::temp_directory_path() / "kestrin-read-only.img";
    fs::copy_file(test::FixtureImage("sample"), copy, fs::copy_options::overwrite_existing);
    const auto writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(copy, writable, fs::perm_options::remove);
    EXPECT_EQ(ScanPathMft(copy, L"C", {}).fileCount, sampleFiles);
    fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
    fs::remove(copy);
}

}  // namespace
}  // namespace kestrin
