// Real records from the fixtures, damaged at random the way failing disks and torn writes damage
// them, through every decoder. Run under the sanitizers, this finds reads outside a record.
#include <gtest/gtest.h>

#include <random>

#include "core/TestPaths.h"
#include "scan/ntfs/AttributeListRefs.h"
#include "scan/ntfs/DataRuns.h"
#include "scan/ntfs/RecordDataSizes.h"
#include "scan/ntfs/RecordDecoder.h"
#include "scan/pipeline/ExtentResolver.h"
#include "scan/pipeline/ParallelParse.h"
#include "scan/volume/MftReader.h"

namespace kestrin {
namespace {

void Damage(std::vector<std::uint8_t>& record, std::mt19937& random) {
    const std::size_t size = record.size();
    switch (random() % 4) {
        case 0:  // a flipped bit anywhere
            record[random() % size] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            break;
        case 1:  // a header or attribute length field overwritten with an extreme value
            for (std::size_t i = 0, at = random() % (size - 4); i < 4; ++i) {
                record[at + i] = random() % 2 == 0 ? 0xFF : static_cast<std::uint8_t>(random());
            }
            break;
        case 2:  // a sector lost to zeros
            std::fill_n(record.begin() + static_cast<std::ptrdiff_t>(random() % (size / 512) * 512),
                        512, std::uint8_t{0});
            break;
        default:  // a run of garbage
            for (std::size_t i = 0, at = random() % (size - 32); i < 32; ++i) {
                record[at + i] = static_cast<std::uint8_t>(random());
            }
            break;
    }
}

TEST(DamagedRecords, DecodersYieldSaneEntriesOrNothing) {
    std::mt19937 random(20261208);
    for (const char* fixture : {"sample", "hardlinks", "bigsector", "fragmented-mft"}) {
        SCOPED_TRACE(fixture);
        VolumeHandle volume;
        ASSERT_TRUE(OpenVolumePath(volume, test::FixtureImage(fixture)));
        MftBytes image;
        MftGeometry geometry;
        ASSERT_TRUE(ReadMft(volume, image, geometry));
        const auto size = static_cast<std::size_t>(geometry.recordSize);
        for (int round = 0; round < 12; ++round) {
            std::vector<std::uint8_t> damaged(image.begin(), image.end());
            for (std::size_t n = 0; n < damaged.size() / size; ++n) {
                std::vector<std::uint8_t> record(damaged.begin() + n * size,
                                                 damaged.begin() + (n + 1) * size);
                for (int k = 0; k <= round % 4; ++k) {
                    Damage(record, random);
                }
                std::copy(record.begin(), record.end(), damaged.begin() + n * size);
                std::vector<DataRun> runs;
                DecodeDataRuns(record, geometry.recordSize, runs);
                std::vector<std::int64_t> refs;
                DataExtensionRefs(ByteReader(record), static_cast<std::int64_t>(n), refs);
                std::int64_t dataSize = 0;
                std::int64_t allocated = 0;
                RecordDataSizes(ByteReader(record), dataSize, allocated);
            }
            ScanSlice slice;
            const ExtensionIndex extensions = ExtensionIndex::Build(damaged, geometry.recordSize);
            ParseSliceRecords(damaged, geometry.recordSize, 0,
                              static_cast<std::int32_t>(damaged.size() / size), slice, &extensions);
            for (const MftEntry& entry : slice.entries) {
                EXPECT_FALSE(entry.name.empty());
                EXPECT_LE(entry.name.units().size(), 255u);
                EXPECT_GE(entry.size, 0);
                EXPECT_GE(entry.allocated, 0);
            }
            ResolveExtents(damaged, geometry.recordSize, slice);
            ApplyExtents(slice);
        }
    }
}

}  // namespace
}  // namespace kestrin
