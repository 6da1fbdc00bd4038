#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "scan/platform/ImageCopy.h"
#include "scan/platform/MftBytes.h"
#include "scan/source/VolumeSource.h"

#if defined(__linux__)
#include <fcntl.h>
#endif

namespace kestrin {
namespace {

namespace fs = std::filesystem;

// Three and a bit 4 KiB blocks, so reads can straddle block boundaries and the end.
constexpr std::size_t kImageSize = 3 * 4096 + 100;

// A byte that differs between neighbouring offsets and between blocks, so a read from the wrong
// place never matches by accident.
std::uint8_t PatternAt(std::size_t offset) {
    return static_cast<std::uint8_t>(offset * 7 + (offset >> 12) * 31 + 1);
}

std::vector<std::uint8_t> PatternSlice(std::size_t offset, std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = PatternAt(offset + i);
    }
    return bytes;
}

fs::path UniqueTempPath() {
    std::random_device random;
    return fs::temp_directory_path() / ("kestrin-path-source-" + std::to_string(random()) + "-" +
                                        std::to_string(random()) + ".img");
}

void WriteImage(const fs::path& path, std::size_t size) {
    const std::vector<std::uint8_t> bytes = PatternSlice(0, size);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    ASSERT_TRUE(out.good()) << path;
}

class PathVolumeSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        image_ = UniqueTempPath();
        WriteImage(image_, kImageSize);
    }

    void TearDown() override {
        std::error_code ignored;
        // A read-only file cannot be deleted on Windows.
        fs::permissions(image_, fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove(image_, ignored);
    }

    std::unique_ptr<VolumeSource> Open() const { return OpenPathSource(image_); }

    fs::path image_;
};

TEST_F(PathVolumeSourceTest, OpensAnImageWithoutWritePermission) {
    fs::permissions(image_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::replace);
    auto source = Open();
    ASSERT_NE(source, nullptr);
    std::vector<std::uint8_t> bytes(16);
    ASSERT_TRUE(source->ReadAt(0, bytes));
    EXPECT_EQ(bytes, PatternSlice(0, 16));
}

#if defined(__linux__)
// Access modes and close-on-exec flags of this process's descriptors that refer to `file`.
std::vector<long> DescriptorFlagsOf(const fs::path& file) {
    const fs::path target = fs::canonical(file);
    std::vector<long> flags;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const fs::path link = fs::read_symlink(entry.path(), error);
        if (error || link != target) {
            continue;
        }
        std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
        std::string key;
        std::string value;
        while (info >> key >> value) {
            if (key == "flags:") {
                flags.push_back(std::stol(value, nullptr, 8));
            }
        }
    }
    return flags;
}

// Root may open a file without write permission for writing, so the permission test above proves
// nothing under CI; the kernel's own record of the descriptor does.
TEST_F(PathVolumeSourceTest, HoldsOneReadOnlyDescriptorNotInheritedByChildren) {
    auto source = Open();
    ASSERT_NE(source, nullptr);
    const std::vector<long> flags = DescriptorFlagsOf(image_);
    ASSERT_EQ(flags.size(), 1u);
    EXPECT_EQ(flags[0] & O_ACCMODE, O_RDONLY);
    EXPECT_NE(flags[0] & O_CLOEXEC, 0);
}
#endif

TEST_F(PathVolumeSourceTest, ReadAtReturnsTheBytesAtThatOffsetInAnyOrder) {
    auto source = Open();
    ASSERT_NE(source, nullptr);
    struct Slice {
        std::int64_t offset;
        std::size_t length;
    };
    // Backwards and across block boundaries: each read must be positioned by its own offset,
    // not continue from where the one before it stopped.
    const Slice slices[] = {{4096 + 13, 700}, {1, 1}, {4095, 2}, {0, 4096}, {2 * 4096, 4096 + 100}};
    for (const Slice& slice : slices) {
        std::vector<std::uint8_t> bytes(slice.length);
        ASSERT_TRUE(source->ReadAt(slice.offset, bytes)) << "offset " << slice.offset;
        EXPECT_EQ(bytes, PatternSlice(static_cast<std::size_t>(slice.offset), slice.length))
            << "offset " << slice.offset;
    }
}

TEST_F(PathVolumeSourceTest, ReadsThatEndBeyondTheImageFail) {
    auto source = Open();
    ASSERT_NE(source, nullptr);
    const auto end = static_cast<std::int64_t>(kImageSize);
    std::vector<std::uint8_t> bytes(200);
    EXPECT_FALSE(source->ReadAt(end - 100, bytes)) << "crosses the end";
    EXPECT_FALSE(source->ReadAt(end, bytes)) << "starts at the end";
    EXPECT_FALSE(source->ReadAt(end + 4096, bytes)) << "starts past the end";
    EXPECT_FALSE(source->ReadAt(-1, bytes)) << "negative offset";

    // A failed read leaves the source usable.
    std::vector<std::uint8_t> tail(100);
    ASSERT_TRUE(source->ReadAt(end - 100, tail));
    EXPECT_EQ(tail, PatternSlice(kImageSize - 100, 100));
}

TEST_F(PathVolumeSourceTest, ZeroLengthReadsSucceedUpToTheEnd) {
    auto source = Open();
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(source->ReadAt(0, {}));
    EXPECT_TRUE(source->ReadAt(static_cast<std::int64_t>(kImageSize), {}));
}

TEST_F(PathVolumeSourceTest, AnImageFileHasNoVolumeData) {
    auto source = Open();
    ASSERT_NE(source, nullptr);
    VolumeDataReply reply{};
    EXPECT_FALSE(source->QueryVolumeData(reply));
}

// A mapped range reads as the file does and stays private when written; where mapping would not
// be sound (unaligned, or past the end of the file, where a touch raises SIGBUS instead of
// failing a read) it is refused and the buffer stays ordinary memory.
TEST_F(PathVolumeSourceTest, MappedRangesMatchTheFileAndStayPrivate) {
    constexpr std::size_t kBuffer = std::size_t{64} << 20;
    if (!LargeBufferIsRemappable(kBuffer)) {
        GTEST_SKIP() << "this platform reads instead of mapping";
    }
    auto source = Open();
    ASSERT_NE(source, nullptr);
    auto* memory = static_cast<std::uint8_t*>(AllocateLargeBuffer(kBuffer));
    const std::span<std::uint8_t> buffer(memory, kBuffer);

    const auto mapped = buffer.subspan(65536, 2 * 4096);
    ASSERT_TRUE(source->MapAt(4096, mapped));
    EXPECT_EQ(std::vector<std::uint8_t>(mapped.begin(), mapped.end()), PatternSlice(4096, 8192));

    // Copies out of the mapping hold the file's bytes, across the page boundary, from an odd
    // start, and running on past the mapping's end into ordinary memory.
    std::vector<std::uint8_t> copied(5000);
    CopyImageBytes(mapped.data() + 1, copied);
    EXPECT_EQ(copied, PatternSlice(4097, 5000));
    buffer[65536 + 8192] = 0x5A;
    CopyImageBytes(mapped.data() + 8190, std::span(copied).first(3));
    EXPECT_EQ(copied[0], PatternAt(4096 + 8190));
    EXPECT_EQ(copied[1], PatternAt(4096 + 8191));
    EXPECT_EQ(copied[2], 0x5A);

    // A read into part of a mapped range replaces its bytes there, and copies follow the read.
    ASSERT_TRUE(source->ReadAt(0, mapped.subspan(4096, 100)));
    CopyImageBytes(mapped.data() + 4090, std::span(copied).first(110));
    EXPECT_TRUE(
        std::equal(copied.begin(), copied.begin() + 6, PatternSlice(4096 + 4090, 6).begin()));
    EXPECT_TRUE(std::equal(copied.begin() + 6, copied.begin() + 106, PatternSlice(0, 100).begin()));

    // Writing to the mapping never reaches the file.
    mapped[0] ^= 0xFF;
    std::vector<std::uint8_t> onDisk(1);
    ASSERT_TRUE(source->ReadAt(4096, onDisk));
    EXPECT_EQ(onDisk[0], PatternAt(4096));

    EXPECT_FALSE(source->MapAt(100, buffer.subspan(0, 4096))) << "unaligned offset";
    EXPECT_FALSE(source->MapAt(0, buffer.subspan(100, 4096))) << "unaligned target";
    EXPECT_FALSE(source->MapAt(0, buffer.subspan(0, 4096 + 100))) << "partial page";
    EXPECT_FALSE(source->MapAt(2 * 4096, buffer.subspan(0, 2 * 4096))) << "past the end";
    buffer[0] = 1;
    buffer[4096] = 2;
    EXPECT_EQ(buffer[0] + buffer[4096], 3);
    FreeLargeBuffer(memory, kBuffer);
}

TEST(PathVolumeSourceOpen, MissingPathGivesNull) {
    const fs::path missing = UniqueTempPath();
    ASSERT_FALSE(fs::exists(missing));
    EXPECT_EQ(OpenPathSource(missing), nullptr);
    EXPECT_EQ(OpenPathSource(missing / "child.img"), nullptr);
}

#if !defined(_WIN32)
TEST(PathVolumeSourceOpen, DriveLettersDoNotExistHere) {
    EXPECT_EQ(OpenDriveSource(L"C"), nullptr);
    EXPECT_EQ(OpenDriveSource(L""), nullptr);
}
#endif

}  // namespace
}  // namespace kestrin
