// Texts shared by a million file rows: every copy must see the text for as long as it lives, and
// the text must go exactly once, however the copies are made, moved and dropped.
#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "scan/results/SharedText.h"

namespace kestrin {
namespace {

TEST(SharedText, CopiesOutliveTheOriginalAndMovesLeaveItEmpty) {
    std::vector<SharedText> rows;
    {
        const SharedText path(L"C:\\Users\\someone\\Documents");
        rows.assign(1000, path);
    }
    EXPECT_EQ(rows.front(), L"C:\\Users\\someone\\Documents");
    EXPECT_EQ(&rows.front().str(), &rows.back().str()) << "one text, not a copy per row";

    SharedText moved = std::move(rows[0]);
    EXPECT_TRUE(rows[0].empty());  // NOLINT: a moved-from text is empty, as the rows rely on
    EXPECT_EQ(moved, rows[1]);

    rows[2] = rows[2];  // assigning a text to itself keeps it
    EXPECT_EQ(rows[2], L"C:\\Users\\someone\\Documents");
    rows[3] = SharedText(L".jpg");
    EXPECT_EQ(rows[3], L".jpg");
    EXPECT_EQ(rows[4], rows[5]);
    EXPECT_FALSE(rows[3] == rows[4]);
    EXPECT_TRUE(SharedText() == SharedText(L""));
}

// Rows are copied and dropped on the scan thread and the window's thread alike; under the
// sanitizers a count that lost an update shows as a leak or as a text freed twice.
TEST(SharedText, CopiesDroppedOnSeveralThreadsFreeTheTextOnce) {
    const SharedText extension(L".mp4");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&extension] {
            for (int i = 0; i < 20000; ++i) {
                std::vector<SharedText> copies(8, extension);
                SharedText last = std::move(copies.back());
                copies.clear();
                EXPECT_EQ(last, L".mp4");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(extension, L".mp4");
}

}  // namespace
}  // namespace kestrin
