// The MFT read a few pieces at a time into buffers of a fixed size. Whatever the size of the
// pieces, every fixture scans to the same result while holding no more of its MFT than the
// buffers and the cache of records read out of order; a read that fails loses its own records
// and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>

#include "core/TestPaths.h"
#include "scan/pipeline/ScanMessages.h"
#include "scan/pipeline/ScanPipeline.h"
#include "scan/volume/MftReader.h"
#include "tools/kestrin-scan/exports/CsvExport.h"

namespace kestrin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Range = std::pair<std::int64_t, std::int64_t>;  // [first, second)

// The volume images among the fixtures; the disks hold the same kinds of volume.
const std::vector<std::string> kVolumes = {"bigsector", "empty",  "fragmented",   "fragmented-mft",
                                           "hardlinks", "sample", "sample-later", "streams"};

// Where the MFT lies on the volume, as a clean read of it finds.
std::vector<Range> MftOnVolume(const std::string& fixture, MftGeometry& geometry) {
    VolumeHandle volume;
    MftLayout layout;
    EXPECT_TRUE(OpenVolumePath(volume, test::FixtureImage(fixture)) && LocateMft(volume, layout));
    geometry = layout.geometry;
    std::vector<Range> ranges;
    for (const MftExtent& extent : layout.extents) {
        ranges.emplace_back(extent.volumeOffset, extent.volumeOffset + extent.length);
    }
    return ranges;
}

// An image's bytes as a volume that notes the memory each read of the MFT lands in, and fails
// the reads `fails` picks (by volume offset and length) as a device does.
class RecordingVolume final : public VolumeSource {
public:
    RecordingVolume(const Bytes& bytes, std::vector<Range> mft,
                    std::function<bool(std::int64_t, std::size_t)> fails,
                    std::vector<Range>& memory)
        : bytes_(bytes), mft_(std::move(mft)), fails_(std::move(fails)), memory_(memory) {}

    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) override {
        const std::int64_t end = offset + static_cast<std::int64_t>(buffer.size());
        if (std::any_of(mft_.begin(), mft_.end(),
                        [&](const Range& r) { return offset < r.second && end > r.first; })) {
            const auto at = reinterpret_cast<std::intptr_t>(buffer.data());
            memory_.emplace_back(at, at + static_cast<std::intptr_t>(buffer.size()));
        }
        if (offset < 0 || end > static_cast<std::int64_t>(bytes_.size()) ||
            (fails_ && fails_(offset, buffer.size()))) {
            return false;
        }
        std::copy_n(bytes_.begin() + offset, buffer.size(), buffer.begin());
        return true;
    }
    bool QueryVolumeData(VolumeDataReply&) override { return false; }

private:
    const Bytes& bytes_;
    std::vector<Range> mft_;
    std::function<bool(std::int64_t, std::size_t)> fails_;
    std::vector<Range>& memory_;
};

// The bytes of memory that reads of the MFT landed in, over the whole scan: buffers that are
// reused count once, so this is the most of the MFT the scan held at once.
std::int64_t DistinctBytes(std::vector<Range> ranges) {
    std::sort(ranges.begin(), ranges.end());
    std::int64_t total = 0;
    std::int64_t reached = std::numeric_limits<std::int64_t>::min();
    for (const auto& [first, second] : ranges) {
        const std::int64_t from = std::max(first, reached);
        total += std::max<std::int64_t>(second - from, 0);
        reached = std::max(reached, second);
    }
    return total;
}

// Pieces of 8 records and a cache of 8 blocks of 4 records: every fixture's MFT spans many
// pieces, and records out of order come from outside the piece in hand.
MftReadSettings SmallPieces(std::int64_t mftLength = 0) {
    MftReadSettings settings;
    // Larger MFTs in a dozen pieces or so, which is several all the same: a piece of eight
    // records is a task per record, which the sanitizers' trees pay dearly for.
    settings.pieceBytes = std::max<std::size_t>(
        8 << 10, static_cast<std::size_t>(mftLength / 12) & ~std::size_t{1023});
    settings.pieceBuffers = 4;
    settings.cacheBlockBytes = 4 << 10;
    settings.cacheBlocks = 8;
    settings.keptBytes = 16 << 10;
    return settings;
}

struct Scanned {
    std::optional<ScanResult> result;
    std::string failure;
    std::int64_t heldBytes = 0;
};

Scanned Scan(const std::string& fixture, const MftReadSettings& settings,
             std::function<bool(std::int64_t, std::size_t)> fails = {}) {
    const Bytes& bytes = test::FixtureImageBytes(fixture);
    MftGeometry geometry;
    const std::vector<Range> mft = MftOnVolume(fixture, geometry);
    std::vector<Range> memory;
    Scanned scanned;
    try {
        scanned.result = ScanVolumeMft(
            [&](VolumeHandle& volume) {
                return OpenVolumeSource(
                    volume, std::make_unique<RecordingVolume>(bytes, mft, fails, memory));
            },
            L"C", {}, 2, settings);
    } catch (const std::runtime_error& error) {
        scanned.failure = error.what();
    }
    scanned.heldBytes = DistinctBytes(memory);
    return scanned;
}

// Every folder and file with its sizes, and the accounting, as text.
std::string Digest(const ScanResult& result) {
    std::FILE* file = std::tmpfile();
    EXPECT_TRUE(WriteCsv(result, file));
    std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), file), text.size());
    std::fclose(file);
    const SpaceAccounting& s = result.space;
    for (const std::int64_t figure : {s.volumeUsed, s.fileData, s.namedStreams, s.directoryIndexes,
                                      s.otherAttributes, result.unreadMftRecords}) {
        text += " " + std::to_string(figure);
    }
    return text;
}

// Where byte `mftByte` of the MFT lies on the volume, its extents taken in order.
std::int64_t VolumeOffsetOf(const std::vector<Range>& mft, std::int64_t mftByte) {
    for (const auto& [first, second] : mft) {
        if (mftByte < second - first) {
            return first + mftByte;
        }
        mftByte -= second - first;
    }
    return -1;
}

TEST(BoundedMftRead, EveryFixtureScansAlikeInSmallPiecesHoldingOnlyItsBuffers) {
    std::int64_t late = 0;
    std::int64_t outOfOrder = 0;
    std::int64_t rereads = 0;
    for (const std::string& fixture : kVolumes) {
        SCOPED_TRACE(fixture);
        MftGeometry geometry;
        MftOnVolume(fixture, geometry);
        const MftReadSettings small = SmallPieces(geometry.mftLength);
        // The buffers, the cache, the records kept, and record 0 with the records that continue
        // the MFT's run list, which are read before the pieces.
        const auto bound = static_cast<std::int64_t>(small.pieceBuffers * small.pieceBytes +
                                                     small.cacheBlocks * small.cacheBlockBytes +
                                                     small.keptBytes + (std::size_t{16} << 10));
        const Scanned whole = Scan(fixture, MftReadSettings{});
        const Scanned pieces = Scan(fixture, small);
        ASSERT_TRUE(whole.result && pieces.result) << whole.failure << pieces.failure;
        EXPECT_EQ(Digest(*pieces.result), Digest(*whole.result));
        EXPECT_GE(pieces.result->mftReading.pieces, 3);
        EXPECT_LE(pieces.heldBytes, bound);
        EXPECT_LE(pieces.result->mftReading.heldBytes, bound);
        late += pieces.result->mftReading.lateRecords;
        outOfOrder += pieces.result->mftReading.recordReads;
        // Without copies of the records put off, and of those they name, all are read again.
        MftReadSettings readAgain = small;
        readAgain.keptBytes = 0;
        const Scanned reread = Scan(fixture, readAgain);
        ASSERT_TRUE(reread.result) << reread.failure;
        EXPECT_EQ(Digest(*reread.result), Digest(*whole.result));
        rereads += reread.result->mftReading.recordReads;
    }
    // Files whose extension records lie in a piece not read yet, or handed back already, are
    // decoded once every piece has passed, from records kept as their pieces passed or read out
    // of order.
    EXPECT_GT(late, 0);
    EXPECT_LT(outOfOrder, rereads);
}

// `sample` keeps its MFT in one extent: a piece is one read.
TEST(BoundedMftRead, AFailedReadLosesTheRecordsOfItsPieceAndTheRestIsScanned) {
    const MftReadSettings small = SmallPieces();
    MftGeometry geometry;
    const std::vector<Range> mft = MftOnVolume("sample", geometry);
    const std::int64_t perPiece = static_cast<std::int64_t>(small.pieceBytes) / geometry.recordSize;
    const std::int64_t pieces =
        (geometry.mftLength + static_cast<std::int64_t>(small.pieceBytes) - 1) /
        static_cast<std::int64_t>(small.pieceBytes);
    ASSERT_GE(pieces, 4);
    const Scanned clean = Scan("sample", small);
    ASSERT_TRUE(clean.result);
    const std::int32_t found = clean.result->fileCount + clean.result->dirCount;

    // A read error in the middle of the MFT: that piece's records are unread, the rest is there.
    const std::int64_t middle =
        VolumeOffsetOf(mft, pieces / 2 * static_cast<std::int64_t>(small.pieceBytes));
    const Scanned broken =
        Scan("sample", small, [&](std::int64_t offset, std::size_t) { return offset == middle; });
    ASSERT_TRUE(broken.result) << broken.failure;
    EXPECT_EQ(broken.result->unreadMftRecords, perPiece);
    EXPECT_LT(broken.result->fileCount + broken.result->dirCount, found);
    EXPECT_GE(broken.result->fileCount + broken.result->dirCount, found - perPiece);

    // A volume that ends short of the MFT's last sector: the last piece is lost, nothing else.
    const std::int64_t end = mft.back().second - 512;
    const Scanned cut = Scan("sample", small, [&](std::int64_t offset, std::size_t size) {
        return offset + static_cast<std::int64_t>(size) > end && offset < mft.back().second;
    });
    ASSERT_TRUE(cut.result) << cut.failure;
    const std::int64_t lastPiece =
        geometry.mftLength / geometry.recordSize - (pieces - 1) * perPiece;
    EXPECT_EQ(cut.result->unreadMftRecords, lastPiece);
    EXPECT_GE(cut.result->fileCount + cut.result->dirCount, found - lastPiece);
}

}  // namespace
}  // namespace kestrin
