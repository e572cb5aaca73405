#include "render/rows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Taken {
    int row;
    bool continues;
};

// Takes every row for `thread` until none is left.
std::vector<Taken> drain(RowScheduler& rows, int thread) {
    std::vector<Taken> taken;
    int row = 0;
    bool continues = false;
    while (rows.next(thread, row, continues)) taken.push_back({row, continues});
    return taken;
}

TEST(RowScheduler, OneThreadWalksItsBandDownInOneRun) {
    const RowBand band{3, 8};
    RowScheduler rows(std::span<const RowBand>(&band, 1));
    const std::vector<Taken> taken = drain(rows, 0);
    ASSERT_EQ(taken.size(), 5u);
    for (std::size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].row, 3 + static_cast<int>(i));
        EXPECT_EQ(taken[i].continues, i > 0) << "only the first row starts a run";
    }
}

// A thread whose band is done takes the lower half of what is left of the fullest band, and
// starts a new run there; the other thread goes on above it.
TEST(RowScheduler, AnIdleThreadTakesTheLowerHalfOfTheFullestBand) {
    const RowBand bands[] = {{0, 2}, {2, 12}};
    RowScheduler rows(bands);
    const auto take = [&](int thread) {
        Taken t{-1, false};
        EXPECT_TRUE(rows.next(thread, t.row, t.continues));
        return t;
    };
    EXPECT_EQ(take(1).row, 2);
    EXPECT_EQ(take(0).row, 0);
    const Taken second = take(0);
    EXPECT_EQ(second.row, 1);
    EXPECT_TRUE(second.continues);
    // Rows 3 to 11 were left to thread 1: the lower half, from row 7, moves to thread 0.
    const Taken stolen = take(0);
    EXPECT_EQ(stolen.row, 7);
    EXPECT_FALSE(stolen.continues);
    const Taken above = take(1);
    EXPECT_EQ(above.row, 3);
    EXPECT_TRUE(above.continues);
    // Rows 4 to 6 and 8 to 11 are left between them.
    EXPECT_EQ(drain(rows, 1).size() + drain(rows, 0).size(), 7u);
}

// However the threads race, every row is handed out exactly once.
TEST(RowScheduler, EveryRowOnceUnderRacingThreads) {
    constexpr int kHeight = 1000;
    for (int threads : {2, 4, 8}) {
        SCOPED_TRACE(threads);
        std::vector<RowBand> bands;
        for (int k = 0; k < threads; ++k) bands.push_back({k * kHeight / threads, (k + 1) * kHeight / threads});
        // The first band is made empty, so that its thread starts by taking over work.
        bands[1].start = bands[0].start;
        bands[0].end = bands[0].start;
        RowScheduler rows(bands);
        std::vector<std::atomic<int>> handed(kHeight);
        std::vector<std::thread> workers;
        for (int k = 0; k < threads; ++k) {
            workers.emplace_back([&, k] {
                for (const Taken& t : drain(rows, k)) ++handed[t.row];
            });
        }
        for (std::thread& worker : workers) worker.join();
        for (int r = 0; r < kHeight; ++r) ASSERT_EQ(handed[r].load(), 1) << "row " << r;
    }
}

}  // namespace
