#include "scan/source/PartitionTable.h"

#include <algorithm>
#include <array>
#include <limits>
#include <set>

#include "scan/common/ByteReader.h"
#include "scan/common/Utf16Text.h"

namespace kestrin {

namespace {

constexpr std::int64_t kMbrSectorSize = 512;
constexpr std::size_t kMbrEntries = 446;
constexpr std::size_t kMbrEntrySize = 16;
constexpr std::uint8_t kProtectiveMbrType = 0xEE;
// A chain longer than this is taken for damage; Linux itself stops well before.
constexpr int kMaxLogicalPartitions = 256;
// GPT entry arrays are 16 KiB on every disk formatted today; a megabyte is plenty.
constexpr std::int64_t kMaxGptEntryBytes = std::int64_t{1} << 20;

void Mark(PartitionTable& table, TableDamage what) {
    table.damage |= static_cast<std::uint32_t>(what);
}

bool HasBootSignature(const ByteReader& sector) {
    return sector.Has(510, 2) && sector.U8(510) == 0x55 && sector.U8(511) == 0xAA;
}

bool IsExtendedType(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

struct MbrSlot {
    std::uint8_t status = 0;
    std::uint8_t type = 0;
    std::int64_t firstSector = 0;
    std::int64_t sectors = 0;
};

MbrSlot SlotAt(const ByteReader& sector, int index) {
    const std::size_t at = kMbrEntries + static_cast<std::size_t>(index) * kMbrEntrySize;
    return MbrSlot{sector.U8(at), sector.U8(at + 4), sector.U32(at + 8), sector.U32(at + 12)};
}

// The four entries of a master boot record are valid when every status byte is 0x00 or 0x80:
// a boot sector of a file system has code or parameters there.
bool LooksLikeMbr(const ByteReader& sector) {
    if (!HasBootSignature(sector)) {
        return false;
    }
    bool any = false;
    for (int i = 0; i < 4; ++i) {
        const MbrSlot slot = SlotAt(sector, i);
        if (slot.status != 0x00 && slot.status != 0x80) {
            return false;
        }
        any |= slot.type != 0 && slot.sectors > 0;
    }
    return any;
}

// Adds a partition of `sectors` sectors at sector `first`, unless it does not fit in the disk.
void AddPartition(PartitionTable& table, std::int64_t diskSize, PartitionEntry entry,
                  std::int64_t first, std::int64_t sectors) {
    const std::int64_t diskSectors = diskSize / table.sectorSize;
    if (first <= 0 || sectors <= 0 || first >= diskSectors || sectors > diskSectors - first) {
        Mark(table, TableDamage::EntryPastDiskEnd);
        return;
    }
    entry.start = first * table.sectorSize;
    entry.length = sectors * table.sectorSize;
    table.partitions.push_back(std::move(entry));
}

// Logical partitions: each extended boot record holds the partition (relative to itself) and the
// next record (relative to the extended partition's start).
void ReadLogicalPartitions(const DiskReader& read, std::int64_t diskSize,
                           std::int64_t extendedStart, std::int64_t extendedSectors,
                           PartitionTable& table) {
    std::set<std::int64_t> visited;
    std::int64_t record = extendedStart;
    int number = 5;
    std::vector<std::uint8_t> bytes(kMbrSectorSize);
    while (number < 5 + kMaxLogicalPartitions) {
        if (!visited.insert(record).second) {
            Mark(table, TableDamage::ExtendedChainLoop);
            return;
        }
        if (record - extendedStart >= extendedSectors || !read(record * kMbrSectorSize, bytes)) {
            Mark(table, TableDamage::EntryPastDiskEnd);
            return;
        }
        const ByteReader sector(bytes);
        if (!HasBootSignature(sector)) {
            return;
        }
        const MbrSlot logical = SlotAt(sector, 0);
        const MbrSlot next = SlotAt(sector, 1);
        if (logical.type != 0 && logical.sectors > 0) {
            PartitionEntry entry;
            entry.number = number++;
            entry.mbrType = logical.type;
            AddPartition(table, diskSize, entry, record + logical.firstSector, logical.sectors);
        }
        if (!IsExtendedType(next.type) || next.firstSector == 0) {
            return;
        }
        record = extendedStart + next.firstSector;
    }
    Mark(table, TableDamage::ExtendedChainLoop);
}

void ReadMbr(const DiskReader& read, const ByteReader& sector, std::int64_t diskSize,
             PartitionTable& table) {
    table.scheme = PartitionScheme::Mbr;
    table.sectorSize = kMbrSectorSize;
    for (int i = 0; i < 4; ++i) {
        const MbrSlot slot = SlotAt(sector, i);
        if (slot.type == 0 || slot.sectors == 0) {
            continue;
        }
        PartitionEntry entry;
        entry.number = i + 1;
        entry.mbrType = slot.type;
        AddPartition(table, diskSize, entry, slot.firstSector, slot.sectors);
    }
    // Only the first extended partition holds logical ones, as in every tool that reads them.
    for (int i = 0; i < 4; ++i) {
        const MbrSlot slot = SlotAt(sector, i);
        if (IsExtendedType(slot.type) && slot.firstSector > 0 && slot.sectors > 0) {
            ReadLogicalPartitions(read, diskSize, slot.firstSector, slot.sectors, table);
            return;
        }
    }
}

bool HasProtectiveEntry(const ByteReader& sector) {
    for (int i = 0; i < 4; ++i) {
        if (SlotAt(sector, i).type == kProtectiveMbrType) {
            return true;
        }
    }
    return false;
}

struct GptHeader {
    std::int64_t entriesLba = 0;
    std::uint32_t entryCount = 0;
    std::uint32_t entrySize = 0;
    std::uint32_t entriesCrc = 0;
};

// A header at `lba` whose own CRC, position and entry array are sound.
bool ReadGptHeader(const DiskReader& read, std::int64_t sectorSize, std::int64_t lba,
                   std::int64_t diskSectors, GptHeader& header) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sectorSize));
    if (lba <= 0 || lba >= diskSectors || !read(lba * sectorSize, bytes)) {
        return false;
    }
    const ByteReader sector(bytes);
    static constexpr std::array<std::uint8_t, 8> kSignature = {'E', 'F', 'I', ' ',
                                                               'P', 'A', 'R', 'T'};
    if (!std::equal(kSignature.begin(), kSignature.end(), bytes.begin())) {
        return false;
    }
    const std::uint32_t headerSize = sector.U32(12);
    if (headerSize < 92 || headerSize > bytes.size()) {
        return false;
    }
    std::vector<std::uint8_t> checked(bytes.begin(), bytes.begin() + headerSize);
    std::fill_n(checked.begin() + 16, 4, std::uint8_t{0});
    if (Crc32(checked) != sector.U32(16) || sector.I64(24) != lba) {
        return false;
    }
    header.entriesLba = sector.I64(72);
    header.entryCount = sector.U32(80);
    header.entrySize = sector.U32(84);
    header.entriesCrc = sector.U32(88);
    const std::int64_t arrayBytes = std::int64_t{header.entryCount} * header.entrySize;
    return header.entrySize >= 128 && header.entrySize % 8 == 0 && arrayBytes > 0 &&
           arrayBytes <= kMaxGptEntryBytes && header.entriesLba > 0 &&
           header.entriesLba < diskSectors &&
           (arrayBytes + sectorSize - 1) / sectorSize <= diskSectors - header.entriesLba;
}

bool ReadGptEntries(const DiskReader& read, std::int64_t diskSize, const GptHeader& header,
                    PartitionTable& table) {
    const std::int64_t arrayBytes = std::int64_t{header.entryCount} * header.entrySize;
    std::vector<std::uint8_t> entries(static_cast<std::size_t>(
        (arrayBytes + table.sectorSize - 1) / table.sectorSize * table.sectorSize));
    if (!read(header.entriesLba * table.sectorSize, entries)) {
        return false;
    }
    const std::span<const std::uint8_t> array(entries.data(), static_cast<std::size_t>(arrayBytes));
    if (Crc32(array) != header.entriesCrc) {
        return false;
    }
    const ByteReader reader(array);
    for (std::uint32_t i = 0; i < header.entryCount; ++i) {
        const std::size_t at = std::size_t{i} * header.entrySize;
        PartitionEntry entry;
        std::copy_n(array.begin() + static_cast<std::ptrdiff_t>(at), 16, entry.gptType.begin());
        if (std::all_of(entry.gptType.begin(), entry.gptType.end(),
                        [](std::uint8_t b) { return b == 0; })) {
            continue;
        }
        const std::int64_t first = reader.I64(at + 32);
        const std::int64_t last = reader.I64(at + 40);
        entry.number = static_cast<int>(i) + 1;
        std::size_t units = 0;
        while (units < 36 && reader.U16(at + 56 + 2 * units) != 0) {
            ++units;
        }
        entry.name = Utf8FromWide(WideFromUtf16Le(reader, at + 56, units));
        const std::int64_t sectors =
            last >= first && first > 0 && last < std::numeric_limits<std::int64_t>::max()
                ? last - first + 1
                : 0;
        AddPartition(table, diskSize, std::move(entry), first, sectors);
    }
    return true;
}

// The primary header follows the protective MBR; the backup one is the disk's last sector.
bool ReadGpt(const DiskReader& read, std::int64_t diskSize, std::int64_t sectorSize,
             PartitionTable& table) {
    const std::int64_t diskSectors = diskSize / sectorSize;
    PartitionTable found;
    found.scheme = PartitionScheme::Gpt;
    found.sectorSize = sectorSize;
    GptHeader header;
    if (ReadGptHeader(read, sectorSize, 1, diskSectors, header) &&
        ReadGptEntries(read, diskSize, header, found)) {
        table = std::move(found);
        return true;
    }
    found.partitions.clear();
    found.damage = 0;
    Mark(found, TableDamage::PrimaryGptDamaged);
    if (ReadGptHeader(read, sectorSize, diskSectors - 1, diskSectors, header) &&
        ReadGptEntries(read, diskSize, header, found)) {
        table = std::move(found);
        return true;
    }
    return false;
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    static const std::array<std::uint32_t, 256> kTable = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            table[n] = c;
        }
        return table;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const std::uint8_t byte : bytes) {
        crc = kTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

PartitionTable ReadPartitionTable(const DiskReader& read, std::int64_t diskSize) {
    PartitionTable table;
    std::vector<std::uint8_t> first(kMbrSectorSize);
    if (diskSize < 2 * kMbrSectorSize || !read(0, first)) {
        return table;
    }
    const ByteReader sector(first);
    if (!LooksLikeMbr(sector)) {
        return table;
    }
    if (HasProtectiveEntry(sector)) {
        for (const std::int64_t sectorSize : {std::int64_t{512}, std::int64_t{4096}}) {
            if (ReadGpt(read, diskSize, sectorSize, table)) {
                return table;
            }
        }
        // Neither header is sound: the protective entry itself is all there is.
        table = PartitionTable{};
        table.scheme = PartitionScheme::Gpt;
        Mark(table, TableDamage::PrimaryGptDamaged);
        Mark(table, TableDamage::BackupGptDamaged);
        return table;
    }
    ReadMbr(read, sector, diskSize, table);
    return table;
}

}  // namespace kestrin
