// Whole scans of real images through a volume that fails the way devices and drivers fail: a read
// that errors, a device that refuses large transfers, sectors that come back as zeros, and a
// volume-data reply with geometry no NTFS volume has. Every scan must end in a sane result or in
// one of the two texts the user is shown; run under the sanitizers, nothing may read outside a
// buffer or allocate for sizes the volume cannot hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include "core/RecordBuilder.h"
#include "core/TestPaths.h"
#include "scan/ntfs/MftEntry.h"
#include "scan/pipeline/ScanMessages.h"
#include "scan/pipeline/ScanPipeline.h"
#include "scan/volume/MftReader.h"

namespace kestrin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ReadLog = std::vector<std::pair<std::int64_t, std::size_t>>;

struct Faults {
    std::size_t failRead = 0;  // this read, counting from 1, fails
    std::size_t largestRead = std::numeric_limits<std::size_t>::max();  // larger ones fail
    std::size_t zerosFrom = 0;  // this read and every later one yield zeros, reporting success
    std::optional<VolumeDataReply> reply;
};

// The image's bytes through the faults given; every read is logged, failed ones too.
struct FaultyVolume : VolumeSource {
    const Bytes& bytes;
    Faults faults;
    ReadLog& log;

    FaultyVolume(const Bytes& b, const Faults& f, ReadLog& l) : bytes(b), faults(f), log(l) {}
    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        log.emplace_back(offset, buffer.size());
        if (log.size() == faults.failRead || buffer.size() > faults.largestRead || offset < 0 ||
            static_cast<std::uint64_t>(offset) + buffer.size() > bytes.size()) {
            return false;
        }
        if (faults.zerosFrom != 0 && log.size() >= faults.zerosFrom) {
            std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
        } else {
            std::copy_n(bytes.begin() + offset, buffer.size(), buffer.begin());
        }
        return true;
    }
    bool QueryVolumeData(VolumeDataReply& reply) override {
        reply = faults.reply.value_or(reply);
        return faults.reply.has_value();
    }
};

struct Outcome {
    std::optional<ScanResult> result;
    std::string failure;
    ReadLog reads;
};

Outcome Scan(const std::string& fixture, const Faults& faults) {
    Outcome outcome;
    const Bytes& bytes = test::FixtureImageBytes(fixture);
    try {
        outcome.result = ScanVolumeMft(
            [&](VolumeHandle& volume) {
                return OpenVolumeSource(
                    volume, std::make_unique<FaultyVolume>(bytes, faults, outcome.reads));
            },
            L"C", {}, 2);
    } catch (const std::runtime_error& error) {
        outcome.failure = error.what();
    }
    return outcome;
}

// A result whose numbers can be shown, or one of the user's texts; and no read, so no buffer,
// larger than the volume.
void ExpectSaneOrCleanFailure(const Outcome& outcome, std::size_t volumeBytes) {
    for (const auto& [offset, size] : outcome.reads) {
        EXPECT_LE(size, volumeBytes) << "read at " << offset;
    }
    if (!outcome.result) {
        EXPECT_TRUE(outcome.failure == kOpenVolumeFailedText ||
                    outcome.failure == kReadMftFailedText)
            << outcome.failure;
        return;
    }
    const ScanResult& result = *outcome.result;
    ASSERT_EQ(result.dirs.count(kRootRecord), 1u);
    EXPECT_LE(result.dirs.at(kRootRecord).totalFiles, result.fileCount);
    EXPECT_LE(std::int64_t{result.fileCount} + result.dirCount,
              static_cast<std::int64_t>(volumeBytes / 256));
    for (const auto& [record, node] : result.dirs) {
        EXPECT_GE(node.totalSize, node.ownSize) << record;
        EXPECT_GE(node.ownSize, 0) << record;
        EXPECT_GE(node.totalAllocated, 0) << record;
        EXPECT_EQ(result.dirs.count(node.treeParent), 1u) << record;
    }
}

MftGeometry CleanGeometry(const std::string& fixture) {
    VolumeHandle volume;
    MftBytes image;
    MftGeometry geometry;
    EXPECT_TRUE(OpenVolumePath(volume, test::FixtureImage(fixture)) &&
                ReadMft(volume, image, geometry));
    return geometry;
}

// The reads that opening the volume and reading its MFT make; the scan's reads of the allocation
// bitmap follow them.
std::size_t MftReadCount(const std::string& fixture) {
    ReadLog log;
    VolumeHandle volume;
    MftBytes image;
    MftGeometry geometry;
    EXPECT_TRUE(OpenVolumeSource(volume, std::make_unique<FaultyVolume>(
                                             test::FixtureImageBytes(fixture), Faults{}, log)) &&
                ReadMft(volume, image, geometry));
    return log.size();
}

// `sample` keeps its MFT in one extent, `fragmented-mft` in 294 with the later ones listed in an
// extension record: together every read the scan makes, from the boot sector to the last extent
// and the allocation bitmap.
TEST(VolumeFaults, AnyOneReadFailingOrTurningToZerosEndsSanely) {
    for (const std::string fixture : {"sample", "fragmented-mft"}) {
        SCOPED_TRACE(fixture);
        const std::size_t volumeBytes = test::FixtureImageBytes(fixture).size();
        const Outcome clean = Scan(fixture, {});
        ASSERT_TRUE(clean.result);
        EXPECT_EQ(clean.result->unreadMftRecords, 0);
        EXPECT_EQ(clean.result->space.Unaccounted(), 0);
        const std::size_t mftReads = MftReadCount(fixture);
        ASSERT_LT(mftReads, clean.reads.size());
        const MftGeometry geometry = CleanGeometry(fixture);
        const std::pair<std::int64_t, std::size_t> contiguous(
            geometry.mftOffset, static_cast<std::size_t>(geometry.mftLength));
        std::set<std::string> failures;
        bool bitmapLost = false;
        for (std::size_t n = 1; n <= clean.reads.size(); ++n) {
            SCOPED_TRACE(n);
            Faults failing;
            failing.failRead = n;
            const Outcome failed = Scan(fixture, failing);
            ExpectSaneOrCleanFailure(failed, volumeBytes);
            failures.insert(failed.failure);
            // The MFT's last read fetches its last extent. In `fragmented-mft` that loses the
            // extent's records alone; `sample` has no other, and with no extent read the MFT is
            // read in one piece from its first cluster, which holds that same extent.
            if (n == mftReads) {
                ASSERT_TRUE(failed.result);
                if (fixture == "sample") {
                    EXPECT_EQ(failed.reads[n], contiguous);
                    EXPECT_EQ(failed.result->fileCount, clean.result->fileCount);
                } else {
                    EXPECT_NE(failed.reads[n], contiguous);
                    EXPECT_GT(failed.result->unreadMftRecords, 0);
                    EXPECT_LE(failed.result->fileCount, clean.result->fileCount);
                }
            }
            // Reads 7 and 8 of `fragmented-mft` fetch record 0's attribute list and the
            // extension record that continues the MFT's run list: the records the rest of the
            // list would have placed are missing, and the result says so.
            if (fixture == "fragmented-mft" && (n == 7 || n == 8)) {
                ASSERT_TRUE(failed.result);
                EXPECT_GT(failed.result->unreadMftRecords, 0);
                EXPECT_LT(failed.result->fileCount, clean.result->fileCount);
            }
            // After the MFT come the records needed out of order, then the allocation bitmap. A
            // record that cannot be read costs at most its own entry; an unreadable bitmap leaves
            // the volume's used space unknown; nothing else changes.
            if (n > mftReads) {
                ASSERT_TRUE(failed.result);
                EXPECT_GE(failed.result->fileCount + clean.result->mftReading.lateRecords,
                          clean.result->fileCount);
                EXPECT_EQ(failed.result->space.fileData, clean.result->space.fileData);
                if (failed.result->space.HasVolumeUsed()) {
                    EXPECT_EQ(failed.result->space.volumeUsed, clean.result->space.volumeUsed);
                } else {
                    bitmapLost = true;
                }
            }
            // Every read from the n-th on yields zeros: each n among the first reads, then some.
            if (n <= 12 || n % 16 == 0) {
                Faults zeros;
                zeros.zerosFrom = n;
                ExpectSaneOrCleanFailure(Scan(fixture, zeros), volumeBytes);
            }
        }
        // The boot sector is read first, so the volume does not open; the reader's own failure
        // is reached too, by the reads that follow.
        EXPECT_EQ(failures.count(kOpenVolumeFailedText), 1u);
        EXPECT_EQ(failures.count(kReadMftFailedText), 1u);
        EXPECT_TRUE(bitmapLost);
    }
}

TEST(VolumeFaults, ADeviceThatRefusesLargeReadsLosesTheRecordsOfTheReadsItRefused) {
    const std::string fixture = "fragmented-mft";
    const MftGeometry geometry = CleanGeometry(fixture);
    const Outcome clean = Scan(fixture, {});
    ASSERT_TRUE(clean.result);
    std::size_t largestExtent = 0;
    for (const auto& [offset, size] : clean.reads) {
        largestExtent =
            offset >= geometry.mftOffset ? std::max(largestExtent, size) : largestExtent;
    }
    // Larger than the boot sector and record 0, which must still be read.
    ASSERT_GT(largestExtent, 4096u);
    ASSERT_LT(largestExtent, static_cast<std::size_t>(geometry.mftLength));

    Faults limited;
    limited.largestRead = largestExtent - 1;
    const Outcome refused = Scan(fixture, limited);
    ASSERT_TRUE(refused.result) << refused.failure;
    EXPECT_GT(refused.result->unreadMftRecords, 0);
    EXPECT_LE(refused.result->unreadMftRecords,
              static_cast<std::int64_t>(largestExtent) / geometry.recordSize + 1);
    EXPECT_LT(refused.result->fileCount, clean.result->fileCount);
    EXPECT_EQ(std::count(
                  refused.reads.begin(), refused.reads.end(),
                  std::make_pair(geometry.mftOffset, static_cast<std::size_t>(geometry.mftLength))),
              0);

    limited.largestRead = static_cast<std::size_t>(geometry.mftLength);
    const Outcome served = Scan(fixture, limited);
    ASSERT_TRUE(served.result);
    EXPECT_EQ(served.result->unreadMftRecords, 0);
}

VolumeDataReply Reply(std::int64_t cluster, std::int64_t record, std::int64_t validLength,
                      std::int64_t mftLcn) {
    Bytes bytes(kVolumeDataReplySize);
    test::Put(bytes, 0x2C, static_cast<std::uint64_t>(cluster), 4);
    test::Put(bytes, 0x30, static_cast<std::uint64_t>(record), 4);
    test::Put(bytes, 0x38, static_cast<std::uint64_t>(validLength), 8);
    test::Put(bytes, 0x40, static_cast<std::uint64_t>(mftLcn), 8);
    VolumeDataReply reply{};
    std::copy(bytes.begin(), bytes.end(), reply.begin());
    return reply;
}

TEST(VolumeFaults, ImpossibleGeometryFromTheVolumeDataQuery) {
    const std::string fixture = "sample";
    const auto volumeBytes = static_cast<std::int64_t>(test::FixtureImageBytes(fixture).size());
    const MftGeometry geometry = CleanGeometry(fixture);
    const std::int64_t c = 4096;
    const std::int64_t r = geometry.recordSize;
    const std::int64_t l = geometry.mftLength;
    const std::int64_t m = geometry.mftOffset / c;
    const std::int64_t huge = std::numeric_limits<std::int64_t>::max();
    const auto scan = [&](const VolumeDataReply& reply) {
        return Scan(fixture, Faults{0, SIZE_MAX, 0, reply});
    };
    const Outcome sound = scan(Reply(c, r, l, m));
    ASSERT_TRUE(sound.result);
    EXPECT_EQ(sound.result->fileCount, Scan(fixture, {}).result->fileCount);
    // A cluster size that is possible but not this volume's reads the wrong clusters.
    ExpectSaneOrCleanFailure(scan(Reply(512, r, l, m)), static_cast<std::size_t>(volumeBytes));

    const VolumeDataReply impossible[] = {
        // record size: none, negative, not a power of two, one byte, more than the volume
        Reply(c, 0, l, m), Reply(c, -1024, l, m), Reply(c, 1000, l, m), Reply(c, 1, l, m),
        Reply(c, std::int64_t{1} << 30, l, m),
        // cluster size: none, not a power of two, more than the volume
        Reply(0, r, l, m), Reply(3, r, l, m), Reply(std::int64_t{1} << 31, r, l, m),
        Reply(0xFFFFFFFF, r, l, m),
        // MFT start: past the end, negative, overflowing when turned into bytes
        Reply(c, r, l, volumeBytes / c + 1), Reply(c, r, l, -1), Reply(c, r, l, huge / c + 1),
        // valid data length: none, negative, longer than the volume, the largest there is
        Reply(c, r, 0, m), Reply(c, r, -l, m), Reply(c, r, 2 * volumeBytes, m),
        Reply(c, r, huge, m)};
    for (std::size_t i = 0; i < std::size(impossible); ++i) {
        SCOPED_TRACE(i);
        const Outcome outcome = scan(impossible[i]);
        EXPECT_EQ(outcome.failure, kReadMftFailedText);
        ExpectSaneOrCleanFailure(outcome, static_cast<std::size_t>(volumeBytes));
    }
}

}  // namespace
}  // namespace kestrin
