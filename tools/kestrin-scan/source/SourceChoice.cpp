#include "tools/kestrin-scan/source/SourceChoice.h"

#include <cstdio>
#include <string_view>

#include "render/Format.h"
#include "scan/common/Utf16Text.h"

namespace kestrin {

namespace {

std::string Size(std::int64_t bytes) {
    return Utf8FromWide(FormatSize(bytes));
}

std::string ContentOf(VolumeContent content) {
    const std::string name = VolumeContentName(content);
    return name.empty() ? "未知" : name;
}

std::string SchemeName(PartitionScheme scheme) {
    return scheme == PartitionScheme::Gpt ? "GPT" : "MBR";
}

// What a partition holds, and where no volume can be identified what its table says of it.
std::string PartitionContentOf(const PartitionEntry& partition, VolumeContent content) {
    if (content != VolumeContent::Unknown) {
        return ContentOf(content);
    }
    if (partition.mbrType == 0x05 || partition.mbrType == 0x0F || partition.mbrType == 0x85) {
        return "扩展分区";
    }
    if (!partition.name.empty()) {
        return "未知（" + partition.name + "）";
    }
    char type[32];
    std::snprintf(type, sizeof type, "未知（类型 0x%02X）", partition.mbrType);
    return partition.mbrType != 0 ? type : "未知";
}

// One line per partition: number, start and size in bytes, size, what it holds.
std::string PartitionList(const SourceDescription& source) {
    std::string text = "  分区        起始字节          大小字节  大小        内容\n";
    for (std::size_t i = 0; i < source.table.partitions.size(); ++i) {
        const PartitionEntry& partition = source.table.partitions[i];
        char line[160];
        std::snprintf(line, sizeof line, "  %4d  %14lld  %16lld  %-10s  ", partition.number,
                      static_cast<long long>(partition.start),
                      static_cast<long long>(partition.length), Size(partition.length).c_str());
        text += line + PartitionContentOf(partition, source.partitionContents[i]) + "\n";
    }
    return text;
}

const PartitionEntry* FindPartition(const SourceDescription& source, int number,
                                    std::size_t& index) {
    for (std::size_t i = 0; i < source.table.partitions.size(); ++i) {
        if (source.table.partitions[i].number == number) {
            index = i;
            return &source.table.partitions[i];
        }
    }
    return nullptr;
}

std::string DiskHeading(const SourceDescription& source) {
    std::string text = "这是一块磁盘（" + SchemeName(source.table.scheme) + " 分区表）";
    if (source.table.Has(TableDamage::PrimaryGptDamaged) &&
        !source.table.Has(TableDamage::BackupGptDamaged)) {
        text += "，主 GPT 已损坏，使用了磁盘末尾的备份 GPT";
    }
    return text;
}

SourceChoice Take(const SourceDescription& source, std::size_t index, std::string_view how) {
    const PartitionEntry& partition = source.table.partitions[index];
    SourceChoice choice;
    choice.scan = true;
    choice.offset = partition.start;
    choice.length = partition.length;
    choice.notice = "kestrin-scan: " + std::string(how) + "分区 " +
                    std::to_string(partition.number) + "（起始 " + std::to_string(partition.start) +
                    " 字节，大小 " + std::to_string(partition.length) + " 字节，" +
                    Size(partition.length) + "）\n";
    return choice;
}

SourceChoice Refuse(std::string reason) {
    SourceChoice choice;
    choice.reason = "原因: " + std::move(reason);
    return choice;
}

SourceChoice ChooseFromDisk(const SourceDescription& source, std::optional<int> partition) {
    const std::string heading = DiskHeading(source);
    if (source.table.partitions.empty()) {
        return Refuse(heading + "，但分区表中没有可读的分区。\n");
    }
    const std::vector<std::size_t> ntfs = source.NtfsPartitions();
    if (partition) {
        std::size_t index = 0;
        if (FindPartition(source, *partition, index) == nullptr) {
            return Refuse(heading + "，没有分区 " + std::to_string(*partition) + "。它的分区:\n" +
                          PartitionList(source));
        }
        if (source.partitionContents[index] != VolumeContent::Ntfs &&
            source.partitionContents[index] != VolumeContent::NtfsDamaged) {
            return Refuse("分区 " + std::to_string(*partition) + " 不是 NTFS 卷（" +
                          ContentOf(source.partitionContents[index]) +
                          "），只能扫描 NTFS 卷。它的分区:\n" + PartitionList(source));
        }
        return Take(source, index, "扫描");
    }
    if (ntfs.size() == 1) {
        return Take(source, ntfs.front(), "磁盘上只有一个 NTFS 分区，扫描");
    }
    if (ntfs.empty()) {
        return Refuse(heading + "，其中没有 NTFS 分区，只能扫描 NTFS 卷。它的分区:\n" +
                      PartitionList(source));
    }
    return Refuse(heading + "，有 " + std::to_string(ntfs.size()) +
                  " 个 NTFS 分区，请用 --partition N 选择其一:\n" + PartitionList(source));
}

// Another file system's structures beside a valid NTFS: one of the two was made over the other
// without clearing it. The NTFS is scanned; the user hears of the other.
std::string OtherFileSystemsNotice(const SourceDescription& source) {
    if (source.alsoFound.empty()) {
        return "";
    }
    std::string names;
    for (const VolumeContent content : source.alsoFound) {
        names += (names.empty() ? "" : "、") + ContentOf(content);
    }
    return "警告: 这个卷的开头除了有效的 NTFS 之外，还有 " + names +
           " 文件系统的结构（在同一分区上先后格式化而未清除）。按 NTFS 扫描；请确认要看的是 "
           "NTFS。\n";
}

}  // namespace

SourceChoice ChooseVolume(const SourceDescription& source, std::optional<int> partition) {
    if (source.IsDisk()) {
        return ChooseFromDisk(source, partition);
    }
    if (partition) {
        return Refuse("这不是一块有分区表的磁盘，不能用 --partition 选择分区。\n");
    }
    switch (source.content) {
        case VolumeContent::Ntfs:
        case VolumeContent::NtfsDamaged: {
            SourceChoice choice;
            choice.scan = true;
            choice.notice = OtherFileSystemsNotice(source);
            return choice;
        }
        case VolumeContent::MftFile: {
            SourceChoice choice;
            choice.scan = true;
            choice.mftFile = true;
            return choice;
        }
        case VolumeContent::BitLocker:
            return Refuse(
                "这是 BitLocker 加密卷，请先解锁再扫描解锁后的卷（在 Linux 上，用 dislocker 或 "
                "cryptsetup 解锁后的卷是一个单独的设备）。\n");
        case VolumeContent::Unknown:
            return Refuse("开头既没有 NTFS 引导扇区，也没有分区表（MBR 或 GPT）。\n");
        default:
            return Refuse("这是 " + ContentOf(source.content) + " 卷，只能扫描 NTFS 卷。\n");
    }
}

std::string MissingPathReason(const std::string& path) {
    return "原因: " + path + " 不存在，请检查路径。\n";
}

std::string PermissionReason(const std::string& path) {
    return "原因: 没有读取 " + path +
           " 的权限，请以 root 身份运行（Windows 上以管理员身份运行）。\n";
}

std::string DamagedNtfsReason() {
    return "原因: 开头是 NTFS 引导扇区，但卷的参数或 MFT 的第一条记录已损坏。\n";
}

}  // namespace kestrin
