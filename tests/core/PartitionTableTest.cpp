// Whole disks: partition tables laid out byte by byte as fdisk and gdisk write them, then broken
// the way disks break, and what the first sectors of a volume say it holds.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/FlsListing.h"
#include "core/RecordBuilder.h"
#include "core/TestPaths.h"
#include "scan/common/Utf16Text.h"
#include "scan/pipeline/ScanPipeline.h"
#include "scan/source/PartitionTable.h"
#include "scan/source/VolumeSource.h"
#include "scan/volume/SourceDescription.h"
#include "tools/kestrin-scan/source/SourceChoice.h"

namespace kestrin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Put;

DiskReader ReaderOf(const Bytes& disk) {
    return [&disk](std::int64_t offset, std::span<std::uint8_t> out) {
        if (offset < 0 || static_cast<std::uint64_t>(offset) + out.size() > disk.size()) {
            return false;
        }
        std::memcpy(out.data(), disk.data() + offset, out.size());
        return true;
    };
}

void PutMbrEntry(Bytes& disk, std::size_t sector, int slot, std::uint8_t type, std::uint32_t first,
                 std::uint32_t sectors) {
    const std::size_t at = sector + 446 + 16 * static_cast<std::size_t>(slot);
    Put(disk, at + 4, type, 1);
    Put(disk, at + 8, first, 4);
    Put(disk, at + 12, sectors, 4);
    Put(disk, sector + 510, 0xAA55, 2);
}

struct Listed {
    int number;
    std::int64_t start;
    std::int64_t length;
    bool operator==(const Listed&) const = default;
};

std::vector<Listed> Listing(const PartitionTable& table) {
    std::vector<Listed> listed;
    for (const PartitionEntry& p : table.partitions) {
        listed.push_back({p.number, p.start, p.length});
    }
    return listed;
}

// 16 MiB, fdisk's layout: two primaries, an extended partition holding two logical ones.
Bytes MbrDisk() {
    Bytes disk(16 << 20);
    PutMbrEntry(disk, 0, 0, 0x07, 2048, 5120);
    PutMbrEntry(disk, 0, 1, 0x0C, 7168, 2560);
    PutMbrEntry(disk, 0, 2, 0x05, 10240, 16384);
    // Each extended boot record: its partition relative to itself, the next record relative
    // to the extended partition.
    PutMbrEntry(disk, 10240 * 512, 0, 0x07, 2048, 5120);
    PutMbrEntry(disk, 10240 * 512, 1, 0x05, 8192, 8192);
    PutMbrEntry(disk, 18432 * 512, 0, 0x83, 2048, 2560);
    return disk;
}

TEST(PartitionTable, MbrPrimariesAndTheLogicalChainAreNumberedAsLinuxDoes) {
    Bytes disk = MbrDisk();
    PartitionTable table = ReadPartitionTable(ReaderOf(disk), std::ssize(disk));
    EXPECT_EQ(table.scheme, PartitionScheme::Mbr);
    EXPECT_EQ(table.damage, 0u);
    const std::vector<Listed> sound = {{1, 2048 * 512, 5120 * 512},
                                       {2, 7168 * 512, 2560 * 512},
                                       {3, 10240 * 512, 16384 * 512},
                                       {5, 12288 * 512, 5120 * 512},
                                       {6, 20480 * 512, 2560 * 512}};
    EXPECT_EQ(Listing(table), sound);

    // The last logical record names itself as the next: the chain stops, what it found stays.
    PutMbrEntry(disk, 18432 * 512, 1, 0x05, 8192, 8192);
    table = ReadPartitionTable(ReaderOf(disk), std::ssize(disk));
    EXPECT_TRUE(table.Has(TableDamage::ExtendedChainLoop));
    EXPECT_EQ(Listing(table), sound);

    // A primary entry reaching past the disk's end is left out; the others stay.
    disk = MbrDisk();
    PutMbrEntry(disk, 0, 1, 0x0C, 7168, 1u << 30);
    table = ReadPartitionTable(ReaderOf(disk), std::ssize(disk));
    EXPECT_TRUE(table.Has(TableDamage::EntryPastDiskEnd));
    EXPECT_EQ(table.partitions.size(), 4u);
    EXPECT_EQ(table.partitions[1].number, 3);

    // No boot signature, or status bytes a table never has: no table at all.
    disk = MbrDisk();
    disk[446] = 0x33;
    EXPECT_EQ(ReadPartitionTable(ReaderOf(disk), std::ssize(disk)).scheme, PartitionScheme::None);
}

// A GPT disk as gdisk writes it: protective MBR, header and 128 entries of 128 bytes after it,
// the same entries and a backup header at the end.
struct GptPartition {
    std::uint8_t typeByte;  // stands for the type GUID
    std::int64_t first;
    std::int64_t last;
    std::u16string name;
};

void PutGptHeader(Bytes& disk, std::int64_t sectorSize, std::int64_t lba, std::int64_t other,
                  std::int64_t entriesLba, std::uint32_t entriesCrc) {
    const std::size_t at = static_cast<std::size_t>(lba * sectorSize);
    std::memcpy(disk.data() + at, "EFI PART", 8);
    Put(disk, at + 8, 0x00010000, 4);
    Put(disk, at + 12, 92, 4);
    Put(disk, at + 16, 0, 4);
    Put(disk, at + 24, static_cast<std::uint64_t>(lba), 8);
    Put(disk, at + 32, static_cast<std::uint64_t>(other), 8);
    Put(disk, at + 72, static_cast<std::uint64_t>(entriesLba), 8);
    Put(disk, at + 80, 128, 4);
    Put(disk, at + 84, 128, 4);
    Put(disk, at + 88, entriesCrc, 4);
    Put(disk, at + 16, Crc32(std::span(disk).subspan(at, 92)), 4);
}

Bytes GptDisk(std::int64_t sectorSize, std::int64_t sectors,
              const std::vector<GptPartition>& partitions) {
    Bytes disk(static_cast<std::size_t>(sectorSize * sectors));
    PutMbrEntry(disk, 0, 0, 0xEE, 1, 0xFFFFFFFF);
    Bytes entries(128 * 128);
    for (std::size_t i = 0; i < partitions.size(); ++i) {
        const GptPartition& p = partitions[i];
        if (p.typeByte == 0) {
            continue;
        }
        entries[i * 128] = p.typeByte;
        Put(entries, i * 128 + 32, static_cast<std::uint64_t>(p.first), 8);
        Put(entries, i * 128 + 40, static_cast<std::uint64_t>(p.last), 8);
        for (std::size_t c = 0; c < p.name.size(); ++c) {
            Put(entries, i * 128 + 56 + 2 * c, p.name[c], 2);
        }
    }
    const std::uint32_t crc = Crc32(entries);
    const std::int64_t entrySectors = (128 * 128) / sectorSize;
    std::copy(entries.begin(), entries.end(), disk.begin() + 2 * sectorSize);
    std::copy(entries.begin(), entries.end(),
              disk.begin() + (sectors - 1 - entrySectors) * sectorSize);
    PutGptHeader(disk, sectorSize, 1, sectors - 1, 2, crc);
    PutGptHeader(disk, sectorSize, sectors - 1, 1, sectors - 1 - entrySectors, crc);
    return disk;
}

TEST(PartitionTable, GptEntriesInEntryOrderWithTheBackupStandingInForADamagedPrimary) {
    // An EFI system partition, a Microsoft reserved one, an empty entry, a basic data one.
    const std::vector<GptPartition> layout = {{0x28, 2048, 4095, u"EFI system partition"},
                                              {0x16, 4096, 6143, u"Microsoft reserved partition"},
                                              {0, 0, 0, u""},
                                              {0xA2, 6144, 15999, u"数据"}};
    Bytes disk = GptDisk(512, 16384, layout);
    PartitionTable table = ReadPartitionTable(ReaderOf(disk), std::ssize(disk));
    const std::vector<Listed> sound = {
        {1, 2048 * 512, 2048 * 512}, {2, 4096 * 512, 2048 * 512}, {4, 6144 * 512, 9856 * 512}};
    EXPECT_EQ(table.scheme, PartitionScheme::Gpt);
    EXPECT_EQ(table.damage, 0u);
    EXPECT_EQ(Listing(table), sound);
    EXPECT_EQ(table.partitions[2].name, "数据");

    // A flipped byte in the primary entries: the backup at the disk's end gives the same table.
    disk[2 * 512 + 3 * 128 + 33] ^= 0x01;
    table = ReadPartitionTable(ReaderOf(disk), std::ssize(disk));
    EXPECT_TRUE(table.Has(TableDamage::PrimaryGptDamaged));
    EXPECT_EQ(Listing(table), sound);
    // And in the backup header too: no table can be trusted.
    disk[disk.size() - 512 + 40] ^= 0x01;
    table = ReadPartitionTable(ReaderOf(disk), std::ssize(disk));
    EXPECT_EQ(table.scheme, PartitionScheme::Gpt);
    EXPECT_TRUE(table.Has(TableDamage::BackupGptDamaged));
    EXPECT_TRUE(table.partitions.empty());

    // A disk cut short: the entry past its end is left out, the backup is gone with the end.
    disk = GptDisk(512, 16384, layout);
    disk.resize(10000 * 512);
    table = ReadPartitionTable(ReaderOf(disk), std::ssize(disk));
    EXPECT_TRUE(table.Has(TableDamage::EntryPastDiskEnd));
    EXPECT_EQ(table.partitions.size(), 2u);

    // 4096-byte sectors: the header is the second 4 KiB sector.
    disk = GptDisk(4096, 1024, {{0xA2, 256, 1000, u"data"}});
    table = ReadPartitionTable(ReaderOf(disk), std::ssize(disk));
    EXPECT_EQ(table.sectorSize, 4096);
    EXPECT_EQ(Listing(table), (std::vector<Listed>{{1, 256 * 4096, 745 * 4096}}));
}

Bytes FirstBytesOf(const std::string& fixture) {
    Bytes bytes(kProbeBytes);
    std::ifstream(test::FixtureImage(fixture), std::ios::binary)
        .read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

TEST(SourceDescription, FirstSectorsSayWhatAVolumeIsAndADiskWhatItsPartitionsHold) {
    const Bytes ntfs = FirstBytesOf("sample");
    EXPECT_EQ(IdentifyVolume(ntfs), VolumeContent::Ntfs);
    Bytes damaged = ntfs;
    Put(damaged, 0x0B, 1000, 2);  // a sector size no disk has
    EXPECT_EQ(IdentifyVolume(damaged), VolumeContent::NtfsDamaged);

    const auto with = [](std::size_t offset, const std::string& text,
                         Bytes bytes = Bytes(kProbeBytes)) {
        std::memcpy(bytes.data() + offset, text.data(), text.size());
        return bytes;
    };
    EXPECT_EQ(IdentifyVolume(with(3, "-FVE-FS-")), VolumeContent::BitLocker);
    EXPECT_EQ(IdentifyVolume(with(3, "EXFAT   ")), VolumeContent::ExFat);
    EXPECT_EQ(IdentifyVolume(with(3, "ReFS")), VolumeContent::ReFs);
    EXPECT_EQ(IdentifyVolume(with(0, "XFSB")), VolumeContent::Xfs);
    EXPECT_EQ(IdentifyVolume(with(0x10040, "_BHRfS_M")), VolumeContent::Btrfs);
    Bytes ext(kProbeBytes);
    Put(ext, 0x438, 0xEF53, 2);
    EXPECT_EQ(IdentifyVolume(ext), VolumeContent::Ext2);
    Put(ext, 0x45C, 0x4, 4);
    EXPECT_EQ(IdentifyVolume(ext), VolumeContent::Ext3);
    Put(ext, 0x460, 0x40, 4);
    EXPECT_EQ(IdentifyVolume(ext), VolumeContent::Ext4);
    Bytes fat(kProbeBytes);
    Put(fat, 0x0B, 512, 2);
    Put(fat, 0x0D, 4, 1);
    Put(fat, 510, 0xAA55, 2);
    EXPECT_EQ(IdentifyVolume(with(0x36, "FAT12   ", fat)), VolumeContent::Fat12);
    EXPECT_EQ(IdentifyVolume(with(0x36, "FAT16   ", fat)), VolumeContent::Fat16);
    EXPECT_EQ(IdentifyVolume(with(0x52, "FAT32   ", fat)), VolumeContent::Fat32);
    EXPECT_EQ(IdentifyVolume(Bytes(kProbeBytes)), VolumeContent::Unknown);

    // A disk with NTFS in partitions 1 and 5 and FAT in 2: the choice needs --partition.
    Bytes disk = MbrDisk();
    const Bytes fat16 = with(0x36, "FAT16   ", fat);
    std::copy(ntfs.begin(), ntfs.end(), disk.begin() + 2048 * 512);
    std::copy(fat16.begin(), fat16.begin() + 4096, disk.begin() + 7168 * 512);
    std::copy(ntfs.begin(), ntfs.end(), disk.begin() + 12288 * 512);
    const SourceDescription description = DescribeSource(ReaderOf(disk), std::ssize(disk));
    ASSERT_TRUE(description.IsDisk());
    EXPECT_EQ(description.partitionContents,
              (std::vector<VolumeContent>{VolumeContent::Ntfs, VolumeContent::Fat16,
                                          VolumeContent::Unknown, VolumeContent::Ntfs,
                                          VolumeContent::Unknown}));
    SourceChoice choice = ChooseVolume(description, std::nullopt);
    EXPECT_FALSE(choice.scan);
    EXPECT_NE(choice.reason.find("--partition N"), std::string::npos) << choice.reason;
    EXPECT_NE(choice.reason.find("FAT16"), std::string::npos) << choice.reason;
    choice = ChooseVolume(description, 5);
    EXPECT_TRUE(choice.scan);
    EXPECT_EQ(choice.offset, 12288 * 512);
    EXPECT_EQ(choice.length, 5120 * 512);
    EXPECT_FALSE(ChooseVolume(description, 2).scan);
    EXPECT_FALSE(ChooseVolume(description, 7).scan);
}

// The disks made with sfdisk and sgdisk: the table read as The Sleuth Kit's mmls reads it, and
// each NTFS partition scanned through its window of the disk, every file and folder fls lists
// of that partition found with its name and size.
TEST(WholeDisk, EachNtfsPartitionScansAsTheSleuthKitListsIt) {
    struct Case {
        std::string disk;
        std::vector<int> ntfs;
        std::vector<int> numbers;
    };
    for (const Case& c :
         {Case{"disk-mbr", {1, 5}, {1, 2, 3, 5, 6}}, Case{"disk-gpt", {3}, {1, 2, 3}}}) {
        SCOPED_TRACE(c.disk);
        const std::filesystem::path path = test::FixtureImage(c.disk);
        std::unique_ptr<VolumeSource> probe = OpenPathSource(path);
        ASSERT_NE(probe, nullptr);
        const SourceDescription description =
            DescribeSource([&](std::int64_t offset,
                               std::span<std::uint8_t> out) { return probe->ReadAt(offset, out); },
                           probe->Size());
        ASSERT_TRUE(description.IsDisk());
        EXPECT_EQ(description.table.damage, 0u);
        std::vector<int> numbers;
        for (const PartitionEntry& partition : description.table.partitions) {
            numbers.push_back(partition.number);
        }
        EXPECT_EQ(numbers, c.numbers);
        std::vector<int> ntfs;
        for (const std::size_t index : description.NtfsPartitions()) {
            ntfs.push_back(description.table.partitions[index].number);
        }
        EXPECT_EQ(ntfs, c.ntfs);

        for (const int number : c.ntfs) {
            SCOPED_TRACE(number);
            const SourceChoice choice = ChooseVolume(description, number);
            ASSERT_TRUE(choice.scan);
            // The window ends with the partition, though the disk goes on.
            const std::unique_ptr<VolumeSource> window =
                MakeVolumeWindow(OpenPathSource(path), choice.offset, choice.length);
            std::vector<std::uint8_t> sector(512);
            EXPECT_TRUE(window->ReadAt(choice.length - 512, sector));
            EXPECT_FALSE(window->ReadAt(choice.length - 256, sector));
            EXPECT_EQ(window->Size(), choice.length);
            const ScanResult result = ScanVolumeMft(
                [&](VolumeHandle& volume) {
                    return OpenVolumeSource(volume, MakeVolumeWindow(OpenPathSource(path),
                                                                     choice.offset, choice.length));
                },
                L"C", {}, 2);
            EXPECT_EQ(result.space.Unaccounted(), 0);
            std::map<std::int64_t, const FileRow*> files;
            for (const auto& [folder, rows] : result.dirFiles) {
                for (const FileRow& row : rows) {
                    files[row.recordNumber] = &row;
                }
            }
            const auto listed =
                test::ReadFls(test::FixtureSource(c.disk + ".p" + std::to_string(number) + ".fls"));
            ASSERT_GT(listed.size(), 10u);
            for (const auto& [record, fls] : listed) {
                if (fls.isDirectory) {
                    EXPECT_EQ(result.dirs.count(record), 1u) << record;
                    continue;
                }
                ASSERT_EQ(files.count(record), 1u) << record;
                const FileRow& row = *files.at(record);
                bool named = false;
                for (const auto& [parent, name] : fls.names) {
                    named |= name == Utf8FromWide(row.name.str());
                }
                EXPECT_TRUE(named) << record;
                if (fls.size) {
                    EXPECT_EQ(row.size, *fls.size) << record;
                }
            }
        }
    }
}

}  // namespace
}  // namespace kestrin
