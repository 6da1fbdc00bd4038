// ReadMft over synthetic volumes held in memory: the MFT's extents, their limits and the
// fallbacks when they cannot be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/RecordBuilder.h"
#include "scan/ntfs/RecordDecoder.h"
#include "scan/pipeline/ParallelParse.h"
#include "scan/volume/MftReader.h"

namespace kestrin {
namespace {

using test::EncodeRuns;
using test::Put;
using test::RecordBuilder;
using test::Run;

constexpr std::int64_t kCluster = 4096;
constexpr std::int64_t kRecord = 1024;
constexpr std::int64_t kRecordsPerCluster = kCluster / kRecord;
constexpr std::int64_t kVolumeClusters = 256;
constexpr std::int64_t kMftLcn = 10;

class MemoryVolume : public VolumeSource {
public:
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kVolumeClusters * kCluster);
    std::int64_t failFrom = INT64_MAX;  // reads touching this offset or beyond fail
    std::optional<VolumeDataReply> reply;
    std::vector<std::pair<std::int64_t, std::size_t>>* log = nullptr;

    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        if (log != nullptr) {
            log->emplace_back(offset, buffer.size());
        }
        // Raw volumes on Windows read whole sectors only.
        if (offset % 512 != 0 || buffer.size() % 512 != 0) {
            ADD_FAILURE() << "read of " << buffer.size() << " bytes at " << offset
                          << " is not sector-aligned";
            return false;
        }
        if (offset < 0 || static_cast<std::uint64_t>(offset) + buffer.size() > bytes.size() ||
            (!buffer.empty() && offset + static_cast<std::int64_t>(buffer.size()) > failFrom)) {
            return false;
        }
        std::copy_n(bytes.begin() + offset, buffer.size(), buffer.begin());
        return true;
    }
    bool QueryVolumeData(VolumeDataReply& out) override {
        if (reply) {
            out = *reply;
        }
        return reply.has_value();
    }
};

void WriteBootSector(std::vector<std::uint8_t>& bytes) {
    std::memcpy(bytes.data() + 3, "NTFS    ", 8);
    Put(bytes, 0x0B, 512, 2);
    Put(bytes, 0x0D, kCluster / 512, 1);
    Put(bytes, 0x28, kVolumeClusters * kCluster / 512 - 1, 8);
    Put(bytes, 0x30, kMftLcn, 8);
    Put(bytes, 0x40, 0xF6, 1);  // 2^10-byte records
    Put(bytes, 0x1FE, 0xAA55, 2);
}

std::vector<std::uint8_t> FileRecord(std::int64_t number) {
    return RecordBuilder()
        .FileName(5, u"f" + std::u16string(1, char16_t(u'a' + number % 26)) +
                         std::u16string(1, char16_t(u'a' + number / 26)))
        .ResidentData(static_cast<std::uint32_t>(number))
        .Build();
}

// Places MFT record `number` at the volume position the caller's layout gives it.
void PutRecord(MemoryVolume& volume, std::int64_t volumeOffset,
               const std::vector<std::uint8_t>& record) {
    std::copy(record.begin(), record.end(), volume.bytes.begin() + volumeOffset);
}

std::vector<std::uint8_t> MftRecord0(const std::vector<Run>& runs, std::int64_t validLength,
                                     RecordBuilder builder = RecordBuilder()) {
    RecordBuilder::NonResident data;
    data.runList = EncodeRuns(runs);
    data.dataSize = validLength;
    data.allocated = validLength;
    data.initialized = validLength;
    return builder.FileName(5, u"$MFT").NonResidentData(data).Build();
}

struct Layout {
    std::int64_t vcn;
    std::int64_t lcn;
    std::int64_t clusters;
};

// Fills the clusters of each extent with the records that belong there.
void PutExtents(MemoryVolume& volume, const std::vector<Layout>& extents) {
    for (const Layout& extent : extents) {
        for (std::int64_t i = 0; i < extent.clusters * kRecordsPerCluster; ++i) {
            const std::int64_t number = extent.vcn * kRecordsPerCluster + i;
            if (number != 0) {
                PutRecord(volume, extent.lcn * kCluster + i * kRecord, FileRecord(number));
            }
        }
    }
}

std::vector<std::wstring> NamesOf(const MftBytes& image) {
    std::vector<std::wstring> names;
    std::vector<std::uint8_t> scratch;
    for (std::int64_t n = 0; n < static_cast<std::int64_t>(image.size()) / kRecord; ++n) {
        MftEntry entry;
        names.push_back(DecodeRecordSlot(image, kRecord, n, scratch, entry) ? entry.name.str()
                                                                            : L"");
    }
    return names;
}

std::wstring NameOf(std::int64_t number) {
    MftEntry entry;
    const auto record = FileRecord(number);
    std::vector<std::uint8_t> scratch;
    DecodeRecordSlot(record, kRecord, 0, scratch, entry);
    return entry.name.str();
}

struct Scan {
    bool opened = false;
    bool read = false;
    MftBytes image;
    MftGeometry geometry;
};

Scan ReadVolume(std::unique_ptr<MemoryVolume> memory) {
    Scan scan;
    VolumeHandle volume;
    scan.opened = OpenVolumeSource(volume, std::move(memory));
    if (scan.opened) {
        scan.read = ReadMft(volume, scan.image, scan.geometry);
    }
    return scan;
}

std::unique_ptr<MemoryVolume> TwoExtentVolume(std::int64_t validRecords) {
    auto volume = std::make_unique<MemoryVolume>();
    WriteBootSector(volume->bytes);
    PutExtents(*volume, {{0, kMftLcn, 2}, {2, 60, 2}});
    PutRecord(*volume, kMftLcn * kCluster,
              MftRecord0({{2, kMftLcn}, {2, 50}}, validRecords * kRecord));
    return volume;
}

TEST(ReadMft, PlacesEveryExtentAtItsPositionInTheMft) {
    const Scan scan = ReadVolume(TwoExtentVolume(16));
    ASSERT_TRUE(scan.opened);
    ASSERT_TRUE(scan.read);
    EXPECT_EQ(scan.geometry.recordSize, kRecord);
    EXPECT_EQ(scan.geometry.mftOffset, kMftLcn * kCluster);
    EXPECT_EQ(scan.geometry.mftLength, 16 * kRecord);
    const auto names = NamesOf(scan.image);
    ASSERT_EQ(names.size(), 16u);
    EXPECT_EQ(names[0], L"$MFT");
    for (std::int64_t n = 1; n < 16; ++n) {
        EXPECT_EQ(names[n], NameOf(n)) << n;
    }
}

TEST(ReadMft, ExtentsAreCutAtTheValidLengthAndSparseRunsStayZero) {
    std::vector<std::pair<std::int64_t, std::size_t>> log;
    auto volume = std::make_unique<MemoryVolume>();
    WriteBootSector(volume->bytes);
    PutExtents(*volume, {{0, kMftLcn, 2}, {3, 60, 4}});
    // VCN 2 is sparse; the last run reaches past the valid length, a further one lies beyond it.
    PutRecord(*volume, kMftLcn * kCluster,
              MftRecord0({{2, kMftLcn}, {1, 0, true}, {4, 50}, {3, 40}}, 14 * kRecord));
    volume->log = &log;
    const Scan scan = ReadVolume(std::move(volume));
    ASSERT_TRUE(scan.read);
    ASSERT_EQ(scan.image.size(), 14u * kRecord);
    const auto names = NamesOf(scan.image);
    for (std::int64_t n = 8; n < 12; ++n) {
        EXPECT_EQ(names[n], L"") << n;
    }
    EXPECT_EQ(names[12], NameOf(12));
    EXPECT_EQ(names[13], NameOf(13));
    EXPECT_TRUE(std::all_of(scan.image.begin() + 8 * kRecord, scan.image.begin() + 12 * kRecord,
                            [](std::uint8_t b) { return b == 0; }));
    const bool readPastEnd = std::any_of(log.begin(), log.end(), [](const auto& read) {
        return read.first == 60 * kCluster && read.second != 2 * kRecord;
    });
    EXPECT_FALSE(readPastEnd);
    const bool readBeyond = std::any_of(
        log.begin(), log.end(), [](const auto& read) { return read.first == 100 * kCluster; });
    EXPECT_FALSE(readBeyond);
}

TEST(ReadMft, AFailedExtentReadFallsBackToOneContiguousRead) {
    auto volume = TwoExtentVolume(16);
    // The second extent lies in clusters that cannot be read; the MFT's first cluster onwards can.
    volume->failFrom = 60 * kCluster;
    PutExtents(*volume, {{2, kMftLcn + 2, 2}});  // what a contiguous read finds there
    const Scan scan = ReadVolume(std::move(volume));
    ASSERT_TRUE(scan.read);
    const auto names = NamesOf(scan.image);
    EXPECT_EQ(names[9], NameOf(9));
}

VolumeDataReply Reply(std::int64_t validLength, std::int64_t cluster = kCluster) {
    std::vector<std::uint8_t> bytes(kVolumeDataReplySize);
    Put(bytes, 0x2C, static_cast<std::uint64_t>(cluster), 4);
    Put(bytes, 0x30, kRecord, 4);
    Put(bytes, 0x38, static_cast<std::uint64_t>(validLength), 8);
    Put(bytes, 0x40, kMftLcn, 8);
    VolumeDataReply reply{};
    std::copy(bytes.begin(), bytes.end(), reply.begin());
    return reply;
}

TEST(ReadMft, FailuresOfTheVolumeItself) {
    // Without the platform's answer, record 0 must be readable to know the MFT's length.
    auto volume = TwoExtentVolume(16);
    volume->failFrom = kMftLcn * kCluster + 512;
    EXPECT_FALSE(ReadVolume(std::move(volume)).opened);

    // Boot sector and record 0 can both claim any size; an MFT longer than what the source holds
    // would be allocated and cleared in full (a crafted 45 KiB image cost 1.2 GB).
    volume = TwoExtentVolume(std::int64_t{1} << 20);
    Put(volume->bytes, 0x28, std::uint64_t{1} << 40, 8);
    const Scan claimed = ReadVolume(std::move(volume));
    EXPECT_TRUE(claimed.opened);
    EXPECT_FALSE(claimed.read);
    EXPECT_EQ(claimed.image.capacity(), 0u);

    // With it, an unreadable record 0 fails the read.
    volume = TwoExtentVolume(16);
    volume->reply = Reply(16 * kRecord);
    volume->failFrom = kMftLcn * kCluster + 512;
    Scan scan = ReadVolume(std::move(volume));
    EXPECT_TRUE(scan.opened);
    EXPECT_FALSE(scan.read);

    // Geometry that cannot be right.
    for (const VolumeDataReply& reply : {Reply(0), Reply(-4096), Reply(16 * kRecord, 0)}) {
        volume = TwoExtentVolume(16);
        volume->reply = reply;
        scan = ReadVolume(std::move(volume));
        EXPECT_TRUE(scan.opened);
        EXPECT_FALSE(scan.read);
    }

    // A boot sector without the NTFS id is some other file system.
    volume = TwoExtentVolume(16);
    std::memcpy(volume->bytes.data() + 3, "MSDOS5.0", 8);
    EXPECT_FALSE(ReadVolume(std::move(volume)).opened);
}

TEST(ReadMft, RecordZeroWithoutRunsIsReadContiguously) {
    auto volume = std::make_unique<MemoryVolume>();
    WriteBootSector(volume->bytes);
    PutExtents(*volume, {{0, kMftLcn, 4}});
    RecordBuilder::NonResident data;  // no run list at all
    data.initialized = 16 * kRecord;
    PutRecord(*volume, kMftLcn * kCluster,
              RecordBuilder().FileName(5, u"$MFT").NonResidentData(data).Build());
    const Scan scan = ReadVolume(std::move(volume));
    ASSERT_TRUE(scan.read);
    EXPECT_EQ(NamesOf(scan.image)[15], NameOf(15));
}

TEST(ReadAt, ZeroLengthOnlyPositions) {
    VolumeHandle volume;
    ASSERT_TRUE(OpenVolumeSource(volume, TwoExtentVolume(16)));
    std::vector<std::uint8_t> nothing;
    EXPECT_TRUE(ReadAt(volume, 4096, nothing));
    std::vector<std::uint8_t> sector(512);
    EXPECT_FALSE(ReadAt(volume, kVolumeClusters * kCluster, sector));
    EXPECT_FALSE(ReadAt(volume, -512, sector));
    volume.Close();
    EXPECT_FALSE(ReadAt(volume, 0, sector));
}

// The MFT of a big volume outgrows record 0: its later extents are described by $DATA attributes
// in an extension record that record 0's attribute list names.
std::unique_ptr<MemoryVolume> MftWithExtensionRecord(bool nonResidentList) {
    auto volume = std::make_unique<MemoryVolume>();
    WriteBootSector(volume->bytes);
    PutExtents(*volume, {{0, kMftLcn, 2}, {2, 60, 1}, {3, 90, 1}});
    const std::vector<RecordBuilder::ListEntry> list = {
        {0x10, 0, 0}, {0x30, 0, 0}, {0x80, 0, 0}, {0x80, 2, 3}, {0xB0, 0, 0}};
    RecordBuilder builder;
    if (nonResidentList) {
        const std::vector<std::uint8_t> value = RecordBuilder::ListValue(list);
        std::copy(value.begin(), value.end(), volume->bytes.begin() + 120 * kCluster);
        builder.NonResidentAttributeList(static_cast<std::int64_t>(value.size()),
                                         EncodeRuns({{1, 120}}));
    } else {
        builder.AttributeList(list);
    }
    PutRecord(*volume, kMftLcn * kCluster, MftRecord0({{2, kMftLcn}}, 16 * kRecord, builder));
    RecordBuilder::NonResident extents;
    extents.lowestVcn = 2;
    extents.runList = EncodeRuns({{1, 60}, {1, 30}});
    PutRecord(*volume, kMftLcn * kCluster + 3 * kRecord,
              RecordBuilder().Flags(0x01).NonResidentData(extents).Build());
    return volume;
}

TEST(ReadMft, ExtentsListedInAnExtensionRecordAreReadToo) {
    for (bool nonResidentList : {false, true}) {
        const Scan scan = ReadVolume(MftWithExtensionRecord(nonResidentList));
        ASSERT_TRUE(scan.read);
        const auto names = NamesOf(scan.image);
        for (std::int64_t n : {8, 11, 12, 15}) {
            EXPECT_EQ(names[n], NameOf(n))
                << n << (nonResidentList ? " non-resident" : " resident");
        }
    }
}

TEST(ReadMft, PlatformAnswerIsUsedWhenThereIsOne) {
    auto volume = TwoExtentVolume(16);
    // The platform reports a shorter MFT than record 0 does; its answer wins.
    volume->reply = Reply(8 * kRecord);
    const Scan scan = ReadVolume(std::move(volume));
    ASSERT_TRUE(scan.read);
    EXPECT_EQ(scan.image.size(), 8u * kRecord);
}

// Forwards reads only, so the MFT is copied even where the source could map it.
class ReadingOnly : public VolumeSource {
public:
    explicit ReadingOnly(std::unique_ptr<VolumeSource> inner) : inner_(std::move(inner)) {}
    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        return inner_->ReadAt(offset, buffer);
    }
    bool QueryVolumeData(VolumeDataReply& reply) override { return inner_->QueryVolumeData(reply); }

private:
    std::unique_ptr<VolumeSource> inner_;
};

std::u16string NumberedName(std::int64_t number) {
    std::u16string name = u"n";
    for (const char digit : std::to_string(number)) {
        name.push_back(static_cast<char16_t>(digit));
    }
    return name;
}

std::vector<std::uint8_t> NumberedRecord(std::int64_t number) {
    return RecordBuilder().FileName(5, NumberedName(number)).ResidentData(100).Build();
}

// An image file whose MFT is large enough to be mapped rather than read where the platform can:
// two extents of 18 MB, neither a multiple of the mapping granule, so each ends in a read tail.
// Only a few records are written; the rest of the file is a hole that reads as zeros.
std::filesystem::path WriteLargeMftImage() {
    constexpr std::int64_t kExtentClusters = 4500;
    constexpr std::int64_t kSecondLcn = 10000;
    constexpr std::int64_t kRecords = 2 * kExtentClusters * kRecordsPerCluster;
    const auto path = std::filesystem::temp_directory_path() / "kestrin-large-mft.img";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto put = [&](std::int64_t offset, const std::vector<std::uint8_t>& bytes) {
        out.seekp(offset);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    std::vector<std::uint8_t> boot(512);
    std::memcpy(boot.data() + 3, "NTFS    ", 8);
    Put(boot, 0x0B, 512, 2);
    Put(boot, 0x0D, kCluster / 512, 1);
    Put(boot, 0x28, (kSecondLcn + kExtentClusters) * kCluster / 512 - 1, 8);
    Put(boot, 0x30, kMftLcn, 8);
    Put(boot, 0x40, 0xF6, 1);
    Put(boot, 0x1FE, 0xAA55, 2);
    put(0, boot);
    put(kMftLcn * kCluster,
        MftRecord0({{kExtentClusters, kMftLcn}, {kExtentClusters, kSecondLcn - kMftLcn}},
                   kRecords * kRecord));
    std::vector<std::int64_t> numbers;
    for (std::int64_t number = 1; number < kRecords; number += 997) {
        numbers.push_back(number);
    }
    numbers.push_back(kRecords - 1);  // in the second extent's read tail
    for (const std::int64_t number : numbers) {
        const std::int64_t vcn = number / kRecordsPerCluster;
        const std::int64_t lcn =
            vcn < kExtentClusters ? kMftLcn + vcn : kSecondLcn + vcn - kExtentClusters;
        put(lcn * kCluster + number % kRecordsPerCluster * kRecord, NumberedRecord(number));
    }
    put((kSecondLcn + kExtentClusters) * kCluster - 1, {0});
    return path;
}

TEST(ReadMft, AMappedImageReadsTheSameAsACopiedOne) {
    const auto path = WriteLargeMftImage();
    VolumeHandle mapped;
    VolumeHandle copied;
    ASSERT_TRUE(OpenVolumePath(mapped, path));
    ASSERT_TRUE(OpenVolumeSource(copied, std::make_unique<ReadingOnly>(OpenPathSource(path))));
    Scan viaMap;
    Scan viaRead;
    ASSERT_TRUE(ReadMft(mapped, viaMap.image, viaMap.geometry));
    ASSERT_TRUE(ReadMft(copied, viaRead.image, viaRead.geometry));
    ASSERT_EQ(viaMap.image.size(), viaRead.image.size());
    EXPECT_TRUE(std::equal(viaMap.image.begin(), viaMap.image.end(), viaRead.image.begin()));
    const auto names = NamesOf(viaMap.image);
    EXPECT_EQ(names[0], L"$MFT");
    for (const std::int64_t number : {1, 35893, 35999}) {
        EXPECT_EQ(names[number], L"n" + std::to_wstring(number));
    }

    // Decoding copies the mapped records out of the file behind the mapping: slices whose
    // batches straddle a mapped piece's read tail and the second extent decode the same records
    // as from the copied image.
    const auto records = static_cast<std::int32_t>(viaMap.image.size() / kRecord);
    for (const std::int32_t cut : {17990, 18000, 18123}) {
        std::vector<std::int64_t> decoded[2];
        std::vector<std::wstring> decodedNames[2];
        for (int which = 0; which < 2; ++which) {
            const MftBytes& image = which == 0 ? viaMap.image : viaRead.image;
            ScanSlice slice;
            ParseSliceRecords(image, kRecord, 0, cut, slice);
            ParseSliceRecords(image, kRecord, cut, records, slice);
            for (const MftEntry& entry : slice.entries) {
                decoded[which].push_back(entry.recordNumber);
                decodedNames[which].push_back(entry.name.str());
            }
        }
        EXPECT_EQ(decoded[0], decoded[1]) << "cut at " << cut;
        EXPECT_EQ(decodedNames[0], decodedNames[1]) << "cut at " << cut;
        ASSERT_EQ(decoded[0].size(), 39u) << "cut at " << cut;  // $MFT and 38 numbered files
        EXPECT_EQ(decoded[0].back(), 35999);
    }
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace kestrin
