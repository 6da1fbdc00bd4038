#include <gtest/gtest.h>

#include "core/RecordBuilder.h"
#include "scan/ntfs/DataRuns.h"
#include "scan/ntfs/RecordFixup.h"

namespace kestrin {

bool operator==(const DataRun& a, const DataRun& b) {
    return a.vcn == b.vcn && a.lcn == b.lcn && a.clusters == b.clusters;
}
void PrintTo(const DataRun& run, std::ostream* out) {
    *out << "{vcn " << run.vcn << ", lcn " << run.lcn << ", clusters " << run.clusters << "}";
}

namespace {

using test::EncodeRuns;
using test::Put;
using test::RecordBuilder;

std::vector<DataRun> RunsOf(std::vector<std::uint8_t> record) {
    ApplyFixup(record);
    std::vector<DataRun> runs = {{1, 2, 3}};
    DecodeDataRuns(record, 1024, runs);
    return runs;
}

std::vector<std::uint8_t> WithRunList(const std::vector<std::uint8_t>& runList) {
    RecordBuilder::NonResident data;
    data.dataSize = 1 << 20;
    data.allocated = 1 << 20;
    data.runList = runList;
    return RecordBuilder().FileName(5, u"$MFT").NonResidentData(data).Build();
}

DataRun IsRun(std::int64_t vcn, std::int64_t lcn, std::int64_t clusters) {
    return DataRun{vcn, lcn, clusters};
}

TEST(DecodeDataRuns, RelativeOffsetsMoveBothWaysAndSparseRunsKeepTheLcn) {
    const auto runs =
        RunsOf(WithRunList(EncodeRuns({{16, 0x1000}, {8, -0x800}, {4, 0, true}, {2, 0x10}})));
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0], IsRun(0, 0x1000, 16));
    EXPECT_EQ(runs[1], IsRun(16, 0x800, 8));
    EXPECT_EQ(runs[2], IsRun(24, -1, 4));
    EXPECT_EQ(runs[3], IsRun(28, 0x810, 2));
}

TEST(DecodeDataRuns, OneByteOffsetWithTopBitSetGoesBackwards) {
    // 0x11: one length byte, one offset byte; 0xF0 is -16.
    const auto runs = RunsOf(WithRunList({0x11, 0x04, 0x40, 0x11, 0x02, 0xF0}));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].lcn, 0x30);
}

TEST(DecodeDataRuns, DamagedHeadersEndTheList) {
    // A field wider than eight bytes cannot be meant.
    auto runs = RunsOf(WithRunList({0x11, 0x04, 0x40, 0x19, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(runs.size(), 1u);
    runs = RunsOf(WithRunList({0x11, 0x04, 0x40, 0x91, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(runs.size(), 1u);
    // A length nibble of 0 ends it too.
    runs = RunsOf(WithRunList({0x11, 0x04, 0x40, 0x10, 0x05}));
    EXPECT_EQ(runs.size(), 1u);
    // Zero-length runs are not appended but the list goes on.
    runs = RunsOf(WithRunList({0x11, 0x00, 0x40, 0x11, 0x03, 0x10}));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], IsRun(0, 0x50, 3));
}

TEST(DecodeDataRuns, RunListCutOffByTheAttributeEnd) {
    std::vector<std::uint8_t> record = WithRunList(EncodeRuns({{16, 0x1000}, {8, 0x200000}}));
    ApplyFixup(record);
    // Shrink the attribute so that the second run's fields no longer fit.
    const std::size_t dataAttribute = 0x38 + 0x68;
    const std::uint32_t length = 0x40 + 4 + 3;
    Put(record, dataAttribute + 4, length, 4);
    Put(record, dataAttribute + length, 0xFFFFFFFF, 4);
    std::vector<DataRun> runs;
    ASSERT_TRUE(DecodeDataRuns(record, 1024, runs));
    EXPECT_EQ(runs.size(), 1u);
}

TEST(DecodeDataRuns, TakesTheFirstUnnamedNonResidentData) {
    RecordBuilder::NonResident named;
    named.name = u"$Bad";
    named.runList = EncodeRuns({{5, 900}});
    RecordBuilder::NonResident unnamed;
    unnamed.runList = EncodeRuns({{7, 300}});
    auto runs = RunsOf(RecordBuilder()
                           .ResidentData(4, u"x")
                           .NonResidentData(named)
                           .NonResidentData(unnamed)
                           .Build());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], IsRun(0, 300, 7));

    EXPECT_TRUE(RunsOf(RecordBuilder().ResidentData(40).Build()).empty());
    std::vector<std::uint8_t> notARecord = WithRunList(EncodeRuns({{1, 1}}));
    notARecord[0] = 'X';
    EXPECT_TRUE(RunsOf(notARecord).empty());
    std::vector<DataRun> out;
    EXPECT_FALSE(DecodeDataRuns(std::vector<std::uint8_t>(100), 1024, out));
}

}  // namespace
}  // namespace kestrin
