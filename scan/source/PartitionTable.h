#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kestrin {

// Reads exactly out.size() bytes of a disk at `offset`; false when it cannot (past the end, or a
// failed read).
using DiskReader = std::function<bool(std::int64_t offset, std::span<std::uint8_t> out)>;

enum class PartitionScheme { None, Mbr, Gpt };

struct PartitionEntry {
    // As Linux numbers it: MBR primaries 1-4, logical partitions from 5 in chain order; GPT
    // entries from 1 in entry order.
    int number = 0;
    std::int64_t start = 0;   // bytes from the start of the disk
    std::int64_t length = 0;  // bytes
    std::uint8_t mbrType = 0;
    std::array<std::uint8_t, 16> gptType{};  // the type GUID as stored
    std::string name;                        // a GPT entry's name, UTF-8
};

// What is wrong with a table that was read all the same.
enum class TableDamage : std::uint32_t {
    None = 0,
    EntryPastDiskEnd = 1,   // an entry that does not fit in the disk was left out
    ExtendedChainLoop = 2,  // the chain of logical partitions came back to itself, or ran long
    PrimaryGptDamaged = 4,  // the primary GPT header or its entries failed their checks
    BackupGptDamaged = 8,
};

struct PartitionTable {
    PartitionScheme scheme = PartitionScheme::None;
    std::int64_t sectorSize = 512;
    std::vector<PartitionEntry> partitions;
    std::uint32_t damage = 0;  // TableDamage bits
    bool Has(TableDamage what) const { return (damage & static_cast<std::uint32_t>(what)) != 0; }
};

// Reads the partition table of a disk of `diskSize` bytes: an MBR with its chain of logical
// partitions, or a GPT behind its protective MBR (512-byte sectors, or 4096-byte ones for GPT),
// the backup GPT at the disk's end standing in for a damaged primary one. Scheme None when the
// first sector holds neither.
PartitionTable ReadPartitionTable(const DiskReader& read, std::int64_t diskSize);

// The CRC-32 (IEEE 802.3, as zlib and the GPT use it) of `bytes`.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace kestrin
