// How the record range is cut into slices, when decoding reports progress, and the parallel
// for-each that runs the slices.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "core/RecordBuilder.h"
#include "scan/ntfs/RecordDecoder.h"
#include "scan/pipeline/ParallelParse.h"
#include "scan/platform/ParallelForEach.h"

namespace kestrin {
namespace {

using Reports = std::vector<std::pair<std::int32_t, std::wstring>>;
using test::RecordBuilder;

TEST(Slices, HoldAtLeast16384RecordsAndAboutOnePerThread) {
    EXPECT_TRUE(MakeSlices(0, SliceSizeFor(0, 8)).empty());
    const auto one = MakeSlices(16383, SliceSizeFor(16383, 8));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(std::pair(one[0].begin, one[0].end), std::pair(0, 16383));
    EXPECT_EQ(SliceSizeFor(1000000, 8), 125000);
    EXPECT_EQ(SliceSizeFor(100000, 0), 100000);  // a thread count of 0 divides by one
    EXPECT_EQ(SliceSizeFor(100000, 64), 16384);
    const auto five = MakeSlices(100001, SliceSizeFor(100001, 4));
    ASSERT_EQ(five.size(), 5u);
    for (std::size_t i = 1; i < five.size(); ++i) {
        EXPECT_EQ(five[i].begin, five[i - 1].end);
    }
    EXPECT_EQ(std::pair(five[4].begin, five[4].end), std::pair(100000, 100001));
}

// Decodes `records` blank slots (none yields an entry, so only the counting shows) in slices cut
// for `sliceThreads` threads and run on `threads`; the reports in sorted order, since pool threads
// may take the progress lock in another order than the counter's.
Reports DecodeBlank(std::int32_t records, unsigned threads, unsigned sliceThreads,
                    std::size_t slices) {
    const std::vector<std::uint8_t> image(static_cast<std::size_t>(records) * 8);
    Reports reports;
    const ProgressCallback progress = [&](std::int32_t percent, const std::wstring& text) {
        reports.emplace_back(percent, text);
    };
    const ParseContext context{.image = image,
                               .recordSize = 8,
                               .recordCount = records,
                               .sliceSize = SliceSizeFor(records, sliceThreads),
                               .hardwareThreads = threads,
                               .progress = &progress};
    EXPECT_EQ(ParseAllSlices(context).size(), slices);
    std::sort(reports.begin(), reports.end());
    return reports;
}

TEST(DecodingProgress, ReportsOnlyAsTheCounterPassesAMultipleOf300000) {
    // Eight slices of 125000 pass 300000, 600000 and 900000 as the 3rd, 5th and 8th finish,
    // whichever slices those are.
    const Reports million = {{39, L"并行解析: 375000 / 1000000"},
                             {58, L"并行解析: 625000 / 1000000"},
                             {88, L"并行解析: 1000000 / 1000000"}};
    EXPECT_EQ(DecodeBlank(1000000, 1, 8, 8), million);
    EXPECT_EQ(DecodeBlank(1000000, 8, 8, 8), million);
    // Four slices of 25000 end 25000, 50000, 75000 and 100000 past a multiple: no report at all.
    EXPECT_TRUE(DecodeBlank(100000, 4, 4, 4).empty());
    EXPECT_TRUE(DecodeBlank(0, 4, 4, 0).empty());
    EXPECT_EQ(DecodeBlank(1000, 0, 0, 1), (Reports{{88, L"并行解析: 1000 / 1000"}}));
}

TEST(ParallelForEach, RunsEveryTaskExactlyOnce) {
    for (const unsigned threads : {0u, 1u, 2u, 8u}) {
        for (const std::size_t count : {0u, 1u, 2u, 1000u}) {
            std::vector<std::atomic<int>> runs(count);
            ParallelForEach(count, threads, [&](std::size_t i) { runs[i] += 1; });
            EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](auto& n) { return n == 1; }))
                << threads << " threads, " << count << " tasks";
        }
    }
}

TEST(ParallelForEach, AFailingTaskReachesTheCallerAfterAllOthersRan) {
    for (const unsigned threads : {1u, 8u}) {
        std::vector<std::atomic<int>> runs(200);
        try {
            ParallelForEach(runs.size(), threads, [&](std::size_t i) {
                runs[i] += 1;
                if (i == 7) {
                    throw std::length_error("task 7");
                }
            });
            ADD_FAILURE() << "no exception with " << threads << " threads";
        } catch (const std::length_error& error) {
            EXPECT_STREQ(error.what(), "task 7");
        }
        EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](auto& n) { return n == 1; }));
    }
}

TEST(ParallelForEach, TheCallingThreadTakesTasksToo) {
    const std::thread::id caller = std::this_thread::get_id();
    for (const auto& [threads, count] : {std::pair{1u, 5u}, std::pair{8u, 1u}}) {
        std::vector<std::size_t> order;
        ParallelForEach(count, threads, [&](std::size_t i) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            order.push_back(i);
        });
        EXPECT_EQ(order.size(), count);
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    }

    // Two tasks on two threads, each waiting for the other to start: with one helper started,
    // one of them must run on the caller. The wait is bounded so that a caller which only waits
    // fails the test instead of hanging it.
    std::mutex lock;
    std::condition_variable started;
    std::vector<std::thread::id> runners;
    ParallelForEach(2, 2, [&](std::size_t) {
        std::unique_lock<std::mutex> guard(lock);
        runners.push_back(std::this_thread::get_id());
        started.notify_all();
        EXPECT_TRUE(
            started.wait_for(guard, std::chrono::seconds(30), [&] { return runners.size() == 2; }));
    });
    ASSERT_EQ(runners.size(), 2u);
    EXPECT_NE(runners[0], runners[1]);
    EXPECT_TRUE(runners[0] == caller || runners[1] == caller);
}

// Slices are decoded from copies made a batch at a time: every record, wherever a slice or a batch
// starts or ends, decodes exactly as a copy of its own slot does, and a partial record at the end
// of the image is not decoded.
TEST(ParseSliceRecords, EveryRecordDecodesOnceWhateverTheSliceAndBatchBounds) {
    for (const std::size_t recordSize : {std::size_t{1024}, std::size_t{4096}}) {
        std::vector<std::vector<std::uint8_t>> records(700);
        for (std::size_t n = 0; n < records.size(); ++n) {
            if (n % 7 == 3) {
                continue;  // a free slot
            }
            const std::u16string name = u"f" + std::u16string(1 + n % 40, u'a' + n % 26);
            records[n] = RecordBuilder(recordSize)
                             .FileName(5, u"F~" + std::u16string(1, u'0' + n % 10), 2)
                             .FileName(5 + n % 3, name, 1)
                             .ResidentData(static_cast<std::uint32_t>(n % 200))
                             .Build();
        }
        auto image = test::MakeImage(records, recordSize);
        image.resize(image.size() - recordSize / 2);  // the last record is cut short

        std::vector<MftEntry> expected;
        std::vector<std::uint8_t> scratch;
        for (std::int64_t n = 0; n + 1 < static_cast<std::int64_t>(records.size()); ++n) {
            MftEntry entry;
            if (DecodeRecordSlot(image, static_cast<std::int32_t>(recordSize), n, scratch, entry)) {
                expected.push_back(std::move(entry));
            }
        }
        ASSERT_EQ(expected.size(), 599u);  // 699 whole records, 100 of them free

        for (const std::int32_t cut : {1, 255, 256, 257, 333, 699}) {
            ScanSlice first;
            ScanSlice second;
            ParseSliceRecords(image, static_cast<std::int32_t>(recordSize), 0, cut, first);
            ParseSliceRecords(image, static_cast<std::int32_t>(recordSize), cut, 700, second);
            std::vector<MftEntry> all = std::move(first.entries);
            all.insert(all.end(), second.entries.begin(), second.entries.end());
            ASSERT_EQ(all.size(), expected.size()) << recordSize << " cut at " << cut;
            for (std::size_t i = 0; i < all.size(); ++i) {
                EXPECT_EQ(all[i].recordNumber, expected[i].recordNumber);
                EXPECT_EQ(all[i].name, expected[i].name) << all[i].recordNumber;
                EXPECT_EQ(all[i].parentRecord, expected[i].parentRecord);
                EXPECT_EQ(all[i].size, expected[i].size);
            }
        }
    }
}

TEST(DecodeUnnamedRecords, FoldersNamedOnlyInExtensionRecordsJoinTheirSliceInRecordOrder) {
    // Folders 2, 5 and 9 keep their only name in an extension record and no list names it: the
    // first decode passes them by, the second places them between the entries around them.
    constexpr std::uint16_t kDirectory = 0x03;
    std::vector<std::vector<std::uint8_t>> records(12);
    for (const int n : {1, 3, 4, 6, 8, 10}) {
        records[n] = RecordBuilder().FileName(5, u"file", 1).Build();
    }
    for (const auto& [folder, extension] : {std::pair{2, 7}, {5, 11}, {9, 0}}) {
        records[folder] = RecordBuilder().Flags(kDirectory).StandardInformation(9, 0x10).Build();
        if (extension != 0) {
            records[extension] =
                RecordBuilder().BaseRecord(folder).FileName(5, u"Folder", 3, true).Build();
        }
    }
    const auto image = test::MakeImage(records);
    std::vector<ScanSlice> slices(1);
    ParseSliceRecords(image, 1024, 0, 12, slices[0]);
    DecodeUnnamedRecords(image, 1024, slices);

    std::vector<std::int64_t> numbers;
    for (const MftEntry& entry : slices[0].entries) {
        numbers.push_back(entry.recordNumber);
    }
    EXPECT_EQ(numbers, (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 8, 9, 10}));
    EXPECT_EQ(slices[0].entries[1].name, L"Folder");
    EXPECT_EQ(slices[0].entries[4].name, L"Folder");
    EXPECT_EQ(slices[0].entries[7].name, L"dir_9");  // nothing names it
    EXPECT_TRUE(slices[0].unnamedRecords.empty());
}

}  // namespace
}  // namespace kestrin
