// Every committed NTFS image, read and decoded end to end, against The Sleuth Kit's listing of
// the same image (fls -r -l -u, recorded when the fixtures were made).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "core/CapturedOutput.h"
#include "core/FlsListing.h"
#include "core/TestPaths.h"
#include "scan/common/Utf16Text.h"
#include "scan/pipeline/ScanPipeline.h"
#include "scan/volume/Volume.h"
#include "tools/kestrin-scan/exports/RecordListing.h"

namespace kestrin {
namespace {

using test::ReadFls;
using test::SplitTabs;

struct ListedRecord {
    std::int64_t parent = 0;
    bool isDirectory = false;
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    std::string name;
};

// Our own listing, through the same code the command line uses.
std::map<std::int64_t, ListedRecord> ListImage(const std::filesystem::path& image) {
    std::map<std::int64_t, ListedRecord> records;
    DecodedRecords decoded;
    try {
        decoded = DecodeVolumeRecords(
            [&](VolumeHandle& volume) { return OpenVolumePath(volume, image); }, 2);
    } catch (const std::exception& failure) {
        ADD_FAILURE() << "cannot list " << image << ": " << failure.what();
        return records;
    }
    std::stringstream lines(
        test::CaptureOutput([&](std::FILE* out) { WriteRecordListing(decoded.slices, out); }));
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() != 8) {
            ADD_FAILURE() << "malformed line: " << line;
            continue;
        }
        ListedRecord& record = records[std::stoll(fields[0])];
        record.parent = std::stoll(fields[1]);
        record.isDirectory = fields[2] == "d";
        record.size = std::stoll(fields[3]);
        record.allocated = std::stoll(fields[4]);
        record.name = fields[7];
    }
    return records;
}

// Records whose unnamed $DATA lies wholly outside the base record: their size is found by the
// extension-record pass of a full scan, not by decoding the base record alone.
std::set<std::int64_t> SizesOutsideBaseRecord(const std::string& fixture) {
    std::set<std::int64_t> records;
    std::ifstream in(test::FixtureSource(fixture + ".data-outside-base"));
    for (std::int64_t record; in >> record;) {
        records.insert(record);
    }
    return records;
}

// From the fixture notes, made with istat: for each listed non-resident file, the clusters its
// unnamed $DATA occupies ("## path (record N)" ... "K cluster(s) on disk").
std::map<std::int64_t, std::int64_t> OccupiedBytes(const std::string& fixture) {
    std::map<std::int64_t, std::int64_t> occupied;
    std::ifstream in(test::FixtureSource(fixture + ".notes"));
    std::int64_t clusterSize = 0;
    std::int64_t record = -1;
    std::string line;
    while (std::getline(in, line)) {
        std::smatch match;
        if (std::regex_match(line, match, std::regex(R"(Cluster Size: (\d+))"))) {
            clusterSize = std::stoll(match[1]);
        } else if (std::regex_match(line, match, std::regex(R"(## .*\(record (\d+)\))"))) {
            record = std::stoll(match[1]);
        } else if (std::regex_search(line, match, std::regex(R"(, (\d+) cluster\(s\) on disk)")) &&
                   record >= 0 && std::stoll(match[1]) > 0) {
            occupied[record] = std::stoll(match[1]) * clusterSize;
        }
    }
    return occupied;
}

TEST(FixtureScan, AllocatedSizesAreTheClustersOnDiskForSparseAndCompressedFilesToo) {
    std::size_t checked = 0;
    for (const std::string& fixture : test::FixtureNames()) {
        SCOPED_TRACE(fixture);
        const auto occupied = OccupiedBytes(fixture);
        if (occupied.empty()) {
            continue;
        }
        const auto listed = ListImage(test::FixtureImage(fixture));
        for (const auto& [record, bytes] : occupied) {
            ASSERT_TRUE(listed.count(record)) << record;
            EXPECT_EQ(listed.at(record).allocated, bytes)
                << "record " << record << " " << listed.at(record).name;
            ++checked;
        }
    }
    EXPECT_GE(checked, 5u);
}

TEST(FixtureScan, EveryRecordFlsListsIsDecodedWithItsNameParentAndSize) {
    const std::vector<std::string> fixtures = test::FixtureNames();
    ASSERT_FALSE(fixtures.empty());
    for (const std::string& fixture : fixtures) {
        SCOPED_TRACE(fixture);
        const auto expected = ReadFls(test::FixtureListing(fixture));
        const auto listed = ListImage(test::FixtureImage(fixture));
        const auto outside = SizesOutsideBaseRecord(fixture);
        ASSERT_GT(expected.size(), 10u);
        for (const auto& [record, fls] : expected) {
            const auto ours = listed.find(record);
            if (ours == listed.end()) {
                ADD_FAILURE() << "record " << record << " (" << fls.names.begin()->second
                              << ") missing";
                continue;
            }
            const ListedRecord& entry = ours->second;
            EXPECT_TRUE(fls.names.count({entry.parent, entry.name}))
                << "record " << record << ": " << entry.parent << "/" << entry.name
                << " is not a name fls shows, e.g. " << fls.names.begin()->first << "/"
                << fls.names.begin()->second;
            EXPECT_EQ(entry.isDirectory, fls.isDirectory) << "record " << record;
            if (fls.size && !fls.isDirectory && !outside.count(record)) {
                EXPECT_EQ(entry.size, *fls.size) << "record " << record << " " << entry.name;
            }
            EXPECT_GE(entry.allocated, 0);
        }
        // Nothing made up: every entry is a file or folder that fls knows too (fls does not list
        // the root itself).
        for (const auto& [record, entry] : listed) {
            EXPECT_TRUE(record == 5 || expected.count(record))
                << "record " << record << " (" << entry.name << ") is not in fls's listing";
        }
    }
}

}  // namespace
}  // namespace kestrin
