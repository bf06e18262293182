// Bands of a picture shared between threads: every band runs once, and none
// starts before the bands it waits for have finished, however the threads
// are scheduled.
#include "RowTeam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace zk;

TEST(RowTeam, EveryBandRunsOnceAfterTheBandsItWaitsFor)
{
    constexpr std::size_t kLarge = std::size_t(8) << 20; // worth sharing
    struct Case
    {
        const char *name;
        int count;
        std::pair<int, int> (*needs)(int);
    };
    const Case cases[] = {
        // Widening in place: band b's new rows lie over the old rows of the
        // bands from 4b/3 to (4b + 3)/3.
        {"widening", 135, [](int b) { return std::pair((4 * b) / 3, (4 * b + 3) / 3); }},
        {"independent", 64, [](int) { return std::pair(0, -1); }},
        {"each after the one above", 40, [](int b) { return std::pair(b + 1, b + 1); }},
        {"range beyond the last band", 9, [](int b) { return std::pair(b, 1000); }},
    };
    for (const Case &c : cases)
        for (int round = 0; round < 30; ++round) {
            auto finished = std::make_unique<std::atomic<bool>[]>(std::size_t(c.count));
            auto runs = std::make_unique<std::atomic<int>[]>(std::size_t(c.count));
            std::atomic<int> early{0};
            RunBandsDescending(c.count, kLarge, c.needs, [&](int band) {
                const auto [first, last] = c.needs(band);
                for (int b = std::max(first, band + 1); b <= std::min(last, c.count - 1); ++b)
                    if (!finished[std::size_t(b)])
                        ++early;
                // Some work, so that bands overlap where helpers take part.
                for (int spin = 0; spin < 2000; ++spin)
                    std::atomic_signal_fence(std::memory_order_seq_cst);
                ++runs[std::size_t(band)];
                finished[std::size_t(band)] = true;
            });
            ASSERT_EQ(early.load(), 0) << c.name << " round " << round;
            for (int b = 0; b < c.count; ++b) {
                ASSERT_EQ(runs[std::size_t(b)].load(), 1) << c.name << " band " << b;
            }
        }
}

TEST(RowTeam, HelpersTakeBandsOnMachinesWithSeveralCores)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one core: no helpers";
    // The first band taken holds on until a band runs on another thread (a
    // helper has no time limit to wake up in; ten seconds only end the wait
    // when none ever comes).
    std::atomic<bool> first{true}, elsewhere{false};
    const std::thread::id me = std::this_thread::get_id();
    std::atomic<int> bands{0};
    RunBandsDescending(64, std::size_t(8) << 20, [](int) { return std::pair(0, -1); }, [&](int) {
        ++bands;
        if (std::this_thread::get_id() != me)
            elsewhere = true;
        if (first.exchange(false)) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!elsewhere && std::chrono::steady_clock::now() < until)
                std::this_thread::yield();
        }
    });
    EXPECT_TRUE(elsewhere) << "no helper took a band";
    EXPECT_EQ(bands.load(), 64);
}

TEST(RowTeam, SmallWorkAndSwitchedOffSharingStayOnTheCallingThread)
{
    const auto onlyHere = [](std::size_t bytes) {
        std::atomic<bool> elsewhere{false};
        std::atomic<int> next{99};
        bool inOrder = true;
        const std::thread::id me = std::this_thread::get_id();
        RunBandsDescending(100, bytes, [](int) { return std::pair(0, -1); }, [&](int band) {
            elsewhere = elsewhere || std::this_thread::get_id() != me;
            inOrder = inOrder && next.exchange(band - 1) == band; // from the last band down
        });
        return !elsewhere && inOrder;
    };
    EXPECT_TRUE(onlyHere(4096));
    ShareRowsWithHelpers(false);
    EXPECT_TRUE(onlyHere(std::size_t(64) << 20));
    ShareRowsWithHelpers(true);
}
