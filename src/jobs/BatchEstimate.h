// How long a batch and each of its rows still need, from what the running conversions measure.
//
// The rows share the machine: what is measured is the batch's throughput, the seconds of media
// converted per second of wall time by all running rows together, smoothed over the reports.
// The work left (the media still to convert, every row's length less what it has done) goes at
// that throughput; a row gets an equal share of it while it runs, and a pending row starts when
// a place frees. So the batch ends when the work left is done, whatever the number of places,
// and a row's time left includes its wait. Time during which nothing converts (every running row
// paused, the batch paused) is not measured: a pause never lowers the rate. The throughput is
// taken over the last seconds of measured time.
//
// Nothing is said ("—", -1) before `kFirstEstimateUs` of measured work, nor for a row or a batch
// whose length is unknown. One thread (the one that receives the reports).
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace jobs {

class BatchEstimate {
public:
    static constexpr int64_t kFirstEstimateUs = 3'000'000;

    // A batch of rows in the order they run, `slots` of them at once; `lengthsUs`: each row's
    // media length, -1 when unknown.
    void Start(int slots, const std::vector<int64_t>& lengthsUs, int64_t nowUs);
    // A progress report of a row: `doneUs` of its media converted at wall time `nowUs`.
    void Progress(int row, int64_t doneUs, int64_t nowUs);
    // A row that paused or went on (`paused`), or ended (it leaves the work and its place).
    void SetPaused(int row, bool paused, int64_t nowUs);
    void Ended(int row, int64_t nowUs);

    // Wall time (µs) until a row, and the batch, are done; -1 when it cannot be said yet.
    int64_t RowLeft(int row) const;
    int64_t BatchLeft() const;
    // The measured throughput (media µs per wall µs of all running rows); 0 before it is known.
    double Throughput() const { return measured_ >= kFirstEstimateUs ? rate_ : 0; }

private:
    enum class State { Pending, Running, Paused, Ended };
    struct Row {
        int64_t length = -1;
        int64_t done = 0;
        State state = State::Pending;
    };
    // Counts the wall time since the last step as measured when some row converted in it.
    void Step(int64_t nowUs, int64_t mediaUs);
    // The simulated ends of every row from now (µs), -1 where unknown.
    std::vector<int64_t> Finishes() const;

    int slots_ = 1;
    std::vector<Row> rows_;
    int64_t lastWall_ = 0;
    int64_t measured_ = 0;  // wall time during which some row converted
    int64_t media_ = 0;     // media converted by all rows
    struct Sample {
        int64_t measured, media;
    };
    std::deque<Sample> samples_;  // over the last horizon
    double rate_ = 0;
    std::vector<int64_t> finishes_;
};

}  // namespace jobs
