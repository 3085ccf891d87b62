// Scripted steps for window tests: they run one after another from inside whatever modal loop is
// running (a dialog's exec, a message box), each waiting until its condition holds, then acting.
// A script that stalls for `limit` rejects every open dialog so that the test ends.
#pragma once

#include <QTimer>
#include <chrono>
#include <functional>
#include <utility>
#include <vector>

namespace testsupport {

class Script {
public:
    using Step = std::pair<std::function<bool()>, std::function<void()>>;
    explicit Script(std::vector<Step> steps,
                    std::chrono::milliseconds limit = std::chrono::seconds(20));
    bool Finished() const { return next_ == steps_.size(); }
    bool TimedOut() const { return timedOut_; }

private:
    void Tick();
    std::vector<Step> steps_;
    size_t next_ = 0;
    int ticks_ = 0;
    int maxTicks_;
    bool timedOut_ = false;
    QTimer timer_;
};

}  // namespace testsupport
