// The batch estimate against batches whose true course is known: a machine that converts a
// fixed number of media seconds per second, shared by the rows that run.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "jobs/BatchEstimate.h"

namespace {

constexpr int64_t kSecond = 1'000'000;

// Runs rows of `lengths` (s), `slots` at once, on a machine converting `throughput` media
// seconds per second shared equally among the running rows; reports every half second per row.
// `at(t, estimate)` is called at every report time t (s) with the estimate as it stands;
// `pauseFrom`..`pauseTo` (s): every row paused. Returns when the batch really ended (s).
template <typename Watch>
double simulate(const std::vector<double>& lengths, int slots, double throughput, Watch at,
                double pauseFrom = -1, double pauseTo = -1) {
    jobs::BatchEstimate e;
    std::vector<int64_t> lengthsUs;
    for (double l : lengths) lengthsUs.push_back(std::llround(l * kSecond));
    e.Start(slots, lengthsUs, 0);
    std::vector<double> done(lengths.size(), 0);
    std::vector<int> state(lengths.size(), 0);  // 0 pending, 1 running, 2 ended
    const double dt = 0.01;
    bool paused = false;
    for (int step = 1;; ++step) {
        const double t = step * dt;
        const int64_t now = std::llround(t * kSecond);
        int running = 0;
        for (size_t i = 0; i < lengths.size(); ++i) {
            if (state[i] == 0 && running < slots) state[i] = 1;
            running += state[i] == 1;
        }
        if (running == 0) return t;
        const bool pause = t >= pauseFrom && t < pauseTo;
        if (pause != paused) {
            for (size_t i = 0; i < lengths.size(); ++i)
                if (state[i] == 1) e.SetPaused(static_cast<int>(i), pause, now);
            paused = pause;
        }
        for (size_t i = 0; i < lengths.size(); ++i) {
            if (state[i] != 1) continue;
            if (!paused) done[i] += throughput / running * dt;
            if (done[i] >= lengths[i]) {
                state[i] = 2;
                e.Ended(static_cast<int>(i), now);
            } else if (step % 50 == 0) {
                e.Progress(static_cast<int>(i), std::llround(done[i] * kSecond), now);
            }
        }
        if (step % 50 == 0) at(t, e);
    }
}

}  // namespace

TEST(BatchEstimate, SaysNothingFirstThenFollowsTheBatchAndIgnoresPauses) {
    // Eight rows of different lengths, two at a time, 4 media seconds a second in all: the batch
    // lasts 280 / 4 = 70 s.
    const std::vector<double> lengths = {10, 60, 20, 40, 30, 50, 25, 45};
    std::vector<std::pair<double, int64_t>> batch;  // (t, estimate left)
    int64_t rowThreeAt10 = -2;
    const double end = simulate(lengths, 2, 4.0, [&](double t, const jobs::BatchEstimate& e) {
        batch.push_back({t, e.BatchLeft()});
        if (std::fabs(t - 10) < 1e-6) rowThreeAt10 = e.RowLeft(3);
    });
    EXPECT_NEAR(end, 70.0, 0.1);
    for (const auto& [t, left] : batch) {
        if (t < 3) {
            EXPECT_EQ(left, -1) << "nothing before three seconds of work, at " << t;
            continue;
        }
        ASSERT_GE(left, 0) << t;
        EXPECT_NEAR(static_cast<double>(left) / kSecond, end - t, 0.05 * (end - t) + 0.6) << t;
    }
    // Rows 0 and 1 start; row 0 ends at 5 s, row 2 runs from 5 to 15 s, row 3 (pending at 10 s)
    // from 15 s, beside row 1 until 30 s and row 4 after it: it ends at 35 s, 25 s after 10 s.
    EXPECT_NEAR(static_cast<double>(rowThreeAt10) / kSecond, 25.0, 1.0);

    // Every row paused for 20 s: the estimate stands still meanwhile and the rate is not lowered.
    std::vector<std::pair<double, int64_t>> paused;
    const double endPaused = simulate(
        lengths, 2, 4.0, [&](double t, const jobs::BatchEstimate& e) { paused.push_back({t, e.BatchLeft()}); },
        20, 40);
    EXPECT_NEAR(endPaused, 90.0, 0.1);
    for (const auto& [t, left] : paused)
        if (t >= 41) {
            EXPECT_NEAR(static_cast<double>(left) / kSecond, endPaused - t, 0.05 * (endPaused - t) + 0.6) << t;
        }
}
