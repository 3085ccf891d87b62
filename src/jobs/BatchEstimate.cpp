#include "jobs/BatchEstimate.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace jobs {
namespace {

// The throughput is measured over the last this much measured wall time: long enough to even out
// a codec's bursts and the order in which the rows report, short enough to follow a change of
// files.
constexpr int64_t kHorizonUs = 15'000'000;

}  // namespace

void BatchEstimate::Start(int slots, const std::vector<int64_t>& lengthsUs, int64_t nowUs) {
    slots_ = std::max(1, slots);
    rows_.assign(lengthsUs.size(), Row{});
    for (size_t i = 0; i < rows_.size(); ++i) rows_[i].length = lengthsUs[i];
    lastWall_ = nowUs;
    measured_ = media_ = 0;
    rate_ = 0;
    samples_.clear();
    samples_.push_back({0, 0});
    finishes_.assign(rows_.size(), -1);
}

void BatchEstimate::Step(int64_t nowUs, int64_t mediaUs) {
    const bool converting = std::any_of(rows_.begin(), rows_.end(),
                                        [](const Row& r) { return r.state == State::Running; });
    if (converting && nowUs > lastWall_) measured_ += nowUs - lastWall_;
    lastWall_ = nowUs;
    media_ += mediaUs;
    samples_.push_back({measured_, media_});
    while (samples_.size() > 2 && samples_[1].measured <= measured_ - kHorizonUs)
        samples_.pop_front();
    const Sample& from = samples_.front();
    if (measured_ > from.measured)
        rate_ = static_cast<double>(media_ - from.media) /
                static_cast<double>(measured_ - from.measured);
    finishes_ = Finishes();
}

void BatchEstimate::Progress(int row, int64_t doneUs, int64_t nowUs) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    Row& r = rows_[static_cast<size_t>(row)];
    if (r.state == State::Ended) return;
    // Until this report the row was converting (its first report: since it began).
    if (r.state == State::Pending) r.state = State::Running;
    const int64_t gained = std::max<int64_t>(0, doneUs - r.done);
    r.done = std::max(r.done, doneUs);
    Step(nowUs, gained);
}

void BatchEstimate::SetPaused(int row, bool paused, int64_t nowUs) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    Row& r = rows_[static_cast<size_t>(row)];
    if (r.state == State::Ended || r.state == State::Pending) return;
    Step(nowUs, 0);
    r.state = paused ? State::Paused : State::Running;
    finishes_ = Finishes();
}

void BatchEstimate::Ended(int row, int64_t nowUs) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    Row& r = rows_[static_cast<size_t>(row)];
    if (r.state == State::Ended) return;
    // What it converted since its last report counts, when it ran to its end.
    const int64_t gained =
        r.state == State::Running && r.length > r.done ? r.length - r.done : 0;
    Step(nowUs, gained);
    r.state = State::Ended;
    finishes_ = Finishes();
}

std::vector<int64_t> BatchEstimate::Finishes() const {
    std::vector<int64_t> at(rows_.size(), -1);
    if (measured_ < kFirstEstimateUs || rate_ <= 0) return at;
    // The rows holding places (running or paused: a paused one goes on when resumed), then the
    // pending ones in order; every one shares the throughput equally while it holds a place.
    struct Place {
        size_t row;
        double left;  // media µs
    };
    std::vector<Place> places;
    std::deque<size_t> waiting;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const Row& r = rows_[i];
        if (r.state == State::Ended) continue;
        if (r.length < 0) return at;  // an unknown length hides every end after it
        const double left = static_cast<double>(std::max<int64_t>(0, r.length - r.done));
        if (r.state == State::Pending)
            waiting.push_back(i);
        else
            places.push_back({i, left});
    }
    double t = 0;
    for (;;) {
        while (static_cast<int>(places.size()) < slots_ && !waiting.empty()) {
            const size_t i = waiting.front();
            waiting.pop_front();
            places.push_back({i, static_cast<double>(std::max<int64_t>(0, rows_[i].length))});
        }
        if (places.empty()) break;
        const double share = rate_ / static_cast<double>(places.size());
        const auto first = std::min_element(places.begin(), places.end(),
                                            [](const Place& a, const Place& b) { return a.left < b.left; });
        const double step = first->left / share;
        t += step;
        for (Place& p : places) p.left -= step * share;
        at[first->row] = std::llround(t);
        places.erase(first);
    }
    return at;
}

int64_t BatchEstimate::RowLeft(int row) const {
    if (row < 0 || row >= static_cast<int>(finishes_.size())) return -1;
    return rows_[static_cast<size_t>(row)].state == State::Ended ? 0
                                                                  : finishes_[static_cast<size_t>(row)];
}

int64_t BatchEstimate::BatchLeft() const {
    if (measured_ < kFirstEstimateUs || rate_ <= 0) return -1;
    int64_t last = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].state == State::Ended) continue;
        if (finishes_[i] < 0) return -1;
        last = std::max(last, finishes_[i]);
    }
    return last;
}

}  // namespace jobs
