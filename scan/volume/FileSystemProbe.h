#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrin {

// What the first bytes of a volume say it holds.
enum class VolumeContent {
    Unknown,
    Ntfs,
    NtfsDamaged,  // an NTFS boot sector whose geometry no volume has
    BitLocker,
    Ext2,
    Ext3,
    Ext4,
    Fat12,
    Fat16,
    Fat32,
    ExFat,
    ReFs,
    Xfs,
    Btrfs,
    Ufs1,
    Ufs2,
    MftFile,  // no volume: a volume's $MFT saved as a file, record 0 first
};

// Enough of a volume's start for every signature below; Btrfs keeps its superblock at 64 KiB.
inline constexpr std::size_t kProbeBytes = 0x11000;

// Identifies the file system whose start `bytes` holds; fewer bytes than kProbeBytes only rule
// out the signatures that lie further in.
VolumeContent IdentifyVolume(std::span<const std::uint8_t> bytes);

// Every file system other than NTFS whose signature `bytes` holds, whatever lies at the start:
// a volume formatted anew without being cleared keeps the structures of the old one.
std::vector<VolumeContent> OtherSignatures(std::span<const std::uint8_t> bytes);

// The file system's usual name: "NTFS", "ext4", "FAT32", "exFAT", "BitLocker", ...
const char* VolumeContentName(VolumeContent content);

}  // namespace kestrin
