#include "scan/volume/FileSystemProbe.h"

#include <cstring>
#include <string_view>

#include "scan/common/ByteReader.h"
#include "scan/ntfs/NtfsVolumeData.h"
#include "scan/volume/MftFileRecords.h"

namespace kestrin {

namespace {

bool HasText(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view text) {
    return offset <= bytes.size() && text.size() <= bytes.size() - offset &&
           std::memcmp(bytes.data() + offset, text.data(), text.size()) == 0;
}

// ext2, ext3 and ext4 share the superblock at 1 KiB; their features tell them apart.
VolumeContent ExtVariant(const ByteReader& reader) {
    constexpr std::size_t kSuperblock = 1024;
    constexpr std::uint32_t kHasJournal = 0x4;
    constexpr std::uint32_t kExt4Features = 0x40 | 0x80 | 0x200;  // extents, 64-bit, flex_bg
    if (reader.U16(kSuperblock + 0x38) != 0xEF53) {
        return VolumeContent::Unknown;
    }
    if ((reader.U32(kSuperblock + 0x60) & kExt4Features) != 0) {
        return VolumeContent::Ext4;
    }
    return (reader.U32(kSuperblock + 0x5C) & kHasJournal) != 0 ? VolumeContent::Ext3
                                                               : VolumeContent::Ext2;
}

// A FAT boot sector: the boot signature, a sector size FAT allows, and the type text where the
// extended parameter block keeps it (FAT12/16 at 0x36, FAT32 at 0x52).
VolumeContent FatVariant(std::span<const std::uint8_t> bytes, const ByteReader& reader) {
    const std::uint16_t sectorSize = reader.U16(0x0B);
    const std::uint8_t sectorsPerCluster = reader.U8(0x0D);
    const bool sound =
        reader.U8(510) == 0x55 && reader.U8(511) == 0xAA &&
        (sectorSize == 512 || sectorSize == 1024 || sectorSize == 2048 || sectorSize == 4096) &&
        sectorsPerCluster != 0 && (sectorsPerCluster & (sectorsPerCluster - 1)) == 0;
    if (!sound) {
        return VolumeContent::Unknown;
    }
    if (HasText(bytes, 0x52, "FAT32   ")) {
        return VolumeContent::Fat32;
    }
    if (HasText(bytes, 0x36, "FAT12   ")) {
        return VolumeContent::Fat12;
    }
    if (HasText(bytes, 0x36, "FAT16   ") || HasText(bytes, 0x36, "FAT     ")) {
        return VolumeContent::Fat16;
    }
    return VolumeContent::Unknown;
}

// The UFS superblock keeps its magic 1372 bytes in, in the byte order of the machine that made
// it: UFS1's superblock lies at 8 KiB, UFS2's at 64 KiB.
constexpr std::size_t kUfsMagicOffset = 1372;

bool HasUfsMagic(const ByteReader& reader, std::size_t superblock, std::uint32_t magic) {
    const std::uint32_t stored = reader.U32(superblock + kUfsMagicOffset);
    const std::uint32_t swapped =
        (stored >> 24) | ((stored >> 8) & 0xFF00) | ((stored << 8) & 0xFF0000) | (stored << 24);
    return reader.Has(superblock + kUfsMagicOffset, 4) && (stored == magic || swapped == magic);
}

}  // namespace

std::vector<VolumeContent> OtherSignatures(std::span<const std::uint8_t> bytes) {
    const ByteReader reader(bytes);
    std::vector<VolumeContent> found;
    const auto note = [&](VolumeContent content) {
        if (content != VolumeContent::Unknown) {
            found.push_back(content);
        }
    };
    if (HasText(bytes, 3, "-FVE-FS-")) {
        note(VolumeContent::BitLocker);
    }
    if (HasText(bytes, 3, "EXFAT   ")) {
        note(VolumeContent::ExFat);
    }
    if (HasText(bytes, 3, "ReFS")) {
        note(VolumeContent::ReFs);
    }
    if (HasText(bytes, 0, "XFSB")) {
        note(VolumeContent::Xfs);
    }
    if (HasText(bytes, 0x10040, "_BHRfS_M")) {
        note(VolumeContent::Btrfs);
    }
    note(ExtVariant(reader));
    note(HasUfsMagic(reader, 8192, 0x00011954) ? VolumeContent::Ufs1 : VolumeContent::Unknown);
    note(HasUfsMagic(reader, 65536, 0x19540119) ? VolumeContent::Ufs2 : VolumeContent::Unknown);
    if (!HasText(bytes, 3, "NTFS    ")) {
        note(FatVariant(bytes, reader));
    }
    return found;
}

VolumeContent IdentifyVolume(std::span<const std::uint8_t> bytes) {
    if (HasText(bytes, 3, "NTFS    ")) {
        return ParseBootSector(bytes) ? VolumeContent::Ntfs : VolumeContent::NtfsDamaged;
    }
    if (BareMftRecordSize(bytes) > 0) {
        return VolumeContent::MftFile;
    }
    // Without an NTFS boot sector, the first signature found is the volume's.
    const std::vector<VolumeContent> found = OtherSignatures(bytes);
    return found.empty() ? VolumeContent::Unknown : found.front();
}

const char* VolumeContentName(VolumeContent content) {
    switch (content) {
        case VolumeContent::Ntfs:
        case VolumeContent::NtfsDamaged:
            return "NTFS";
        case VolumeContent::BitLocker:
            return "BitLocker";
        case VolumeContent::Ext2:
            return "ext2";
        case VolumeContent::Ext3:
            return "ext3";
        case VolumeContent::Ext4:
            return "ext4";
        case VolumeContent::Fat12:
            return "FAT12";
        case VolumeContent::Fat16:
            return "FAT16";
        case VolumeContent::Fat32:
            return "FAT32";
        case VolumeContent::ExFat:
            return "exFAT";
        case VolumeContent::ReFs:
            return "ReFS";
        case VolumeContent::Xfs:
            return "XFS";
        case VolumeContent::Btrfs:
            return "Btrfs";
        case VolumeContent::Ufs1:
            return "UFS1";
        case VolumeContent::Ufs2:
            return "UFS2";
        case VolumeContent::MftFile:
            return "$MFT";
        case VolumeContent::Unknown:
            break;
    }
    return "";
}

}  // namespace kestrin
