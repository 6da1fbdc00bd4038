// Sources as users name them: a folder on a mounted volume (where mountinfo says it lies, and the
// scan cut to it), a volume's $MFT saved as a file, and the signatures of other file systems
// beside an NTFS boot sector.
#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

#include "core/TestPaths.h"
#include "scan/pipeline/ScanPipeline.h"
#include "scan/volume/FileSystemProbe.h"
#include "scan/volume/MftFileRecords.h"
#include "tools/kestrin-scan/report/ShownPaths.h"
#include "tools/kestrin-scan/source/FolderSubtree.h"
#include "tools/kestrin-scan/source/MountInfo.h"

namespace kestrin {
namespace {

std::vector<std::uint8_t> ImageBytes(const std::string& name, std::int64_t offset,
                                     std::size_t length) {
    std::ifstream in(test::FixtureImage(name), std::ios::binary);
    in.seekg(offset);
    std::vector<std::uint8_t> bytes(length);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    return bytes;
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, bool big) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + (big ? 3 - i : i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

TEST(MountInfoTest, FindsTheMountOfAPathThroughEscapesMountsOverMountsAndBindRoots) {
    const std::vector<MountEntry> mounts = ParseMountInfo(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 0:39 / /mnt/win\\040disk rw,relatime shared:7 master:2 - fuseblk /dev/sdb1 rw\n"
        "41 22 0:40 /Users /home/me/users ro - ntfs3 /dev/sdc1 ro\n"
        "a line cut short\n"
        "42 22 0:41 / /mnt rw - tmpfs tmpfs rw\n"
        "43 40 0:42 / /mnt/win\\040disk ro - fuse /images/a\\134b\\011c.img ro");
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[1].mountPoint, "/mnt/win disk");

    // The later of two mounts at one place hides the earlier.
    const MountEntry* image = MountHolding(mounts, "/mnt/win disk/Users/Bob");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->source, "/images/a\\b\tc.img");
    EXPECT_TRUE(MayBeNtfsMount(*image));
    EXPECT_EQ(PathInMount(*image, "/mnt/win disk/Users/Bob"), "/Users/Bob");
    EXPECT_EQ(PathInMount(*image, "/mnt/win disk"), "/");

    // A bind mount shows a folder of its volume: paths inside start there.
    const MountEntry* bound = MountHolding(mounts, "/home/me/users/Public");
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->fsType, "ntfs3");
    EXPECT_EQ(PathInMount(*bound, "/home/me/users/Public"), "/Users/Public");

    // A name that only starts like a mount point is not inside it.
    const MountEntry* other = MountHolding(mounts, "/mnt/win diskette");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->fsType, "tmpfs");
    EXPECT_FALSE(MayBeNtfsMount(*other));
    EXPECT_EQ(MountHolding(mounts, "/etc")->source, "/dev/sda1");
}

TEST(SourceProbeTest, NamesOtherFileSystemsBesideNtfsAndKnowsAnMftFileByItsFirstRecord) {
    std::vector<std::uint8_t> start = ImageBytes("sample", 0, kProbeBytes);
    ASSERT_EQ(IdentifyVolume(start), VolumeContent::Ntfs);
    EXPECT_TRUE(OtherSignatures(start).empty());

    // ext2 written over the start without its boot sector, UFS magics in either byte order.
    start[1024 + 0x38] = 0x53;
    start[1024 + 0x39] = 0xEF;
    Put32(start, 8192 + 1372, 0x00011954, false);
    Put32(start, 65536 + 1372, 0x19540119, true);
    EXPECT_EQ(IdentifyVolume(start), VolumeContent::Ntfs);
    EXPECT_EQ(OtherSignatures(start),
              (std::vector{VolumeContent::Ext2, VolumeContent::Ufs1, VolumeContent::Ufs2}));
    std::fill(start.begin(), start.begin() + 512, std::uint8_t{0});
    EXPECT_EQ(IdentifyVolume(start), VolumeContent::Ext2);
    std::vector<std::uint8_t> ufs(kProbeBytes);
    Put32(ufs, 65536 + 1372, 0x19540119, false);
    EXPECT_EQ(IdentifyVolume(ufs), VolumeContent::Ufs2);

    // sample's MFT starts at cluster 4 of 4096 bytes; its records are 1024 bytes.
    std::vector<std::uint8_t> mft = ImageBytes("sample", 4 * 4096, 4096);
    EXPECT_EQ(BareMftRecordSize(mft), 1024);
    EXPECT_EQ(IdentifyVolume(mft), VolumeContent::MftFile);
    std::vector<std::uint8_t> torn = mft;
    torn[6] = 9;  // an update sequence array that does not fit a 1024-byte record
    EXPECT_EQ(BareMftRecordSize(torn), 0);
    std::vector<std::uint8_t> extension = mft;
    extension[0x20] = 7;  // an extension record starts no MFT
    EXPECT_EQ(BareMftRecordSize(extension), 0);
    EXPECT_EQ(BareMftRecordSize(std::span(mft).first(40)), 0);
}

TEST(FolderSubtreeTest, CutsTheScanToOneFolderFoundByRecordOrByNames) {
    const ScanResult whole = ScanPathMft(test::FixtureImage("sample"), L"C", {});
    const std::int64_t users = FindFolder(whole, -1, {L"users"});
    ASSERT_GT(users, 0);
    EXPECT_EQ(whole.dirs.at(users).name, L"Users");
    EXPECT_EQ(FindFolder(whole, users, {L"Users"}), users);
    // A record that is another folder (numbers reused, a file system that numbers otherwise) is
    // not taken: the names lead.
    const std::int64_t alice = whole.dirs.at(users).children.front();
    EXPECT_EQ(FindFolder(whole, alice, {L"Users"}), users);
    EXPECT_EQ(FindFolder(whole, alice, {L"Users", L"Nobody"}), -1);
    EXPECT_EQ(FindFolder(whole, 5, {}), 5);

    const ScanResult cut = SubtreeOf(ScanResult(whole), users, L"/mnt/w/Users", L'/');
    const DirNode& root = cut.dirs.at(users);
    EXPECT_EQ(cut.dirs.count(5), 0u);
    EXPECT_EQ(cut.rootTotalSize, root.totalSize);
    EXPECT_EQ(cut.dirCount, static_cast<std::int32_t>(cut.dirs.size() - 1));
    std::int64_t extensionBytes = 0;
    std::int32_t extensionFiles = 0;
    for (const ExtStat& stat : cut.extStats) {
        extensionBytes += stat.size;
        extensionFiles += stat.files;
    }
    EXPECT_EQ(extensionBytes, root.totalSize);
    EXPECT_EQ(extensionFiles, root.totalFiles);
    ASSERT_EQ(cut.largestFiles.size(), static_cast<std::size_t>(root.totalFiles));
    for (std::size_t i = 0; i < cut.largestFiles.size(); ++i) {
        const std::wstring path = ShownFilePath(cut, cut.largestFiles[i]);
        EXPECT_EQ(path.rfind(L"/mnt/w/Users/", 0), 0u) << i;
        EXPECT_EQ(path.find(L'\\'), std::wstring::npos);
        if (i > 0) {
            EXPECT_GE(cut.largestFiles[i - 1].size, cut.largestFiles[i].size);
        }
    }
    EXPECT_EQ(ShownFolderPath(cut, users), L"/mnt/w/Users");
    EXPECT_EQ(ShownFolderPath(cut, alice), L"/mnt/w/Users/" + whole.dirs.at(alice).name);

    // The mount point itself: the volume's root, shown as the user named it.
    const ScanResult top = SubtreeOf(ScanResult(whole), 5, L"/mnt/w", L'/');
    EXPECT_EQ(ShownFolderPath(top, users), L"/mnt/w/Users");
    EXPECT_EQ(top.rootTotalSize, whole.rootTotalSize);
}

}  // namespace
}  // namespace kestrin
