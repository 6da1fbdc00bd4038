#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/TestPaths.h"
#include "scan/platform/Win32Handle.h"
#include "scan/source/VolumeSource.h"

namespace kestrin {
namespace {

namespace fs = std::filesystem;

// Raw volume reads on Windows must start and end on sector boundaries.
constexpr std::size_t kSectorSize = 512;
constexpr std::size_t kBlockSize = 8 * kSectorSize;
constexpr auto kSector = static_cast<std::int64_t>(kSectorSize);
constexpr auto kBlock = static_cast<std::int64_t>(kBlockSize);

fs::path SampleImage() {
    return test::FixtureImage("sample");
}

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::vector<std::uint8_t> ReadWithStream(const fs::path& path, std::int64_t offset,
                                         std::size_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    std::vector<std::uint8_t> bytes(length);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    if (!in) {
        bytes.clear();
    }
    return bytes;
}

std::vector<std::uint8_t> ReadWithSource(VolumeSource& source, std::int64_t offset,
                                         std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    if (!source.ReadAt(offset, bytes)) {
        bytes.clear();
    }
    return bytes;
}

// Opening with FILE_SHARE_READ alone fails while any other handle to the file can write, so
// this succeeds only if every handle already open is read-only.
bool NoOtherHandleCanWrite(const wchar_t* name) {
    const FileHandle probe(::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe.Valid();
}

// Drive D: exists only in the Wine prefix of cmake/wine-run.sh, where the dosdevices entry "d::"
// is a link to the sample image: \\.\D: is then the image as a raw volume.
class Win32DriveSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!RunningUnderWine()) {
            GTEST_SKIP() << "drive D: is the sample image only under cmake/wine-run.sh";
        }
        ASSERT_TRUE(fs::exists(SampleImage())) << SampleImage();
        imageSize_ = static_cast<std::int64_t>(fs::file_size(SampleImage()));
        drive_ = OpenDriveSource(L"D");
        ASSERT_NE(drive_, nullptr) << "\\\\.\\D: did not open";
    }

    std::int64_t imageSize_ = 0;
    std::unique_ptr<VolumeSource> drive_;
};

TEST_F(Win32DriveSourceTest, BootSectorMatchesTheImageReadEveryWay) {
    const std::vector<std::uint8_t> fromDrive = ReadWithSource(*drive_, 0, kSectorSize);
    ASSERT_EQ(fromDrive.size(), kSectorSize);

    auto image = OpenPathSource(SampleImage());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(fromDrive, ReadWithSource(*image, 0, kSectorSize));
    EXPECT_EQ(fromDrive, ReadWithStream(SampleImage(), 0, kSectorSize));

    // An NTFS boot sector, so D: is not some other file or an empty folder read as a device.
    EXPECT_EQ(std::string(fromDrive.begin() + 3, fromDrive.begin() + 11), "NTFS    ");
    EXPECT_EQ(fromDrive[510], 0x55);
    EXPECT_EQ(fromDrive[511], 0xAA);
}

TEST_F(Win32DriveSourceTest, ReadsAtOffsetsMatchTheImage) {
    // Last block first, then backwards: each read must seek, not continue from the last one.
    const std::int64_t lastBlock = imageSize_ - kBlock;
    const std::int64_t middleBlock = lastBlock / 2 / kBlock * kBlock;
    const std::int64_t offsets[] = {lastBlock, middleBlock, 3 * kBlock, kBlock, 0};
    for (const std::int64_t offset : offsets) {
        const std::vector<std::uint8_t> fromDrive = ReadWithSource(*drive_, offset, kBlockSize);
        ASSERT_EQ(fromDrive.size(), kBlockSize) << "offset " << offset;
        EXPECT_EQ(fromDrive, ReadWithStream(SampleImage(), offset, kBlockSize))
            << "offset " << offset;
    }
}

TEST_F(Win32DriveSourceTest, ReadsPastTheEndFail) {
    std::vector<std::uint8_t> bytes(2 * kSectorSize);
    EXPECT_FALSE(drive_->ReadAt(imageSize_ - kSector, bytes)) << "crosses the end";
    EXPECT_FALSE(drive_->ReadAt(imageSize_, bytes)) << "starts at the end";
    EXPECT_FALSE(drive_->ReadAt(-kSector, bytes)) << "negative offset";
    EXPECT_TRUE(drive_->ReadAt(imageSize_, {})) << "zero bytes at the end";
}

// Wine 8 has no NTFS driver behind its volumes: the query fails with ERROR_NOT_SUPPORTED, and the
// scan falls back to the boot sector. On Windows the same call on an NTFS volume succeeds.
TEST_F(Win32DriveSourceTest, VolumeDataIsNotSupportedUnderWine) {
    VolumeDataReply reply;
    reply.fill(0xCC);
    EXPECT_FALSE(drive_->QueryVolumeData(reply));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_TRUE(std::all_of(reply.begin(), reply.end(), [](std::uint8_t b) { return b == 0; }))
        << "a failed query must not leave stale bytes for the caller";
}

TEST_F(Win32DriveSourceTest, DriveAndImageHandlesAreReadOnly) {
    EXPECT_TRUE(NoOtherHandleCanWrite(L"\\\\.\\D:"));
    auto image = OpenPathSource(SampleImage());
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(NoOtherHandleCanWrite(SampleImage().c_str()));
}

TEST_F(Win32DriveSourceTest, UnmappedDriveGivesNull) {
    if ((::GetLogicalDrives() & (1u << ('Q' - 'A'))) != 0) {
        GTEST_SKIP() << "this Wine prefix has a drive Q:";
    }
    EXPECT_EQ(OpenDriveSource(L"Q"), nullptr);
}

TEST(Win32PathSourceTest, ImageFileHasNoVolumeDataAndMissingPathsGiveNull) {
    ASSERT_TRUE(fs::exists(SampleImage())) << SampleImage();
    auto image = OpenPathSource(SampleImage());
    ASSERT_NE(image, nullptr);
    VolumeDataReply reply{};
    EXPECT_FALSE(image->QueryVolumeData(reply));

    EXPECT_EQ(OpenPathSource(SampleImage().parent_path() / "no-such-image.img"), nullptr);
    EXPECT_EQ(OpenPathSource(SampleImage().parent_path() / "no-such-folder" / "x.img"), nullptr);
}

TEST(Win32HandleTest, MovedFileHandleIsClosedOnceByItsLastOwner) {
    const fs::path path = fs::temp_directory_path() / "kestrin-handle-test.tmp";
    HANDLE raw = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(raw, INVALID_HANDLE_VALUE);
    DWORD flags = 0;
    {
        FileHandle first(raw);
        FileHandle second(std::move(first));
        EXPECT_FALSE(first.Valid());
        FileHandle third;
        EXPECT_FALSE(third.Valid());
        third = std::move(second);
        EXPECT_FALSE(second.Valid());
        ASSERT_TRUE(third.Valid());
        EXPECT_EQ(third.Get(), raw);
        EXPECT_NE(::GetHandleInformation(raw, &flags), 0) << "closed while still owned";
    }
    EXPECT_EQ(::GetHandleInformation(raw, &flags), 0) << "left open by its last owner";
    EXPECT_FALSE(fs::exists(path));
}

TEST(Win32HandleTest, TokenHandleTreatsNullAsNoHandle) {
    TokenHandle token;
    EXPECT_FALSE(token.Valid());
    ASSERT_NE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive()), 0);
    EXPECT_TRUE(token.Valid());
    TokenHandle moved(std::move(token));
    EXPECT_FALSE(token.Valid());
    EXPECT_TRUE(moved.Valid());
}

}  // namespace
}  // namespace kestrin
