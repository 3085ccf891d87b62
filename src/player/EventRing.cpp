#include "player/EventRing.h"

namespace player {

bool EventRing::Push(const PlayerEvent& event) {
    std::lock_guard<std::mutex> lk(mutex_);
    const bool wasEmpty = count_ == 0;
    if (count_ > 0) {
        const int last = (read_ + count_ - 1) % kSlots;
        if (slots_[last].kind == event.kind && !isStop(last)) {
            slots_[last] = event;
            return false;
        }
    }
    if (count_ == kSlots) {
        // Full: drop the oldest event that is not a psStop (all ten being psStop cannot
        // happen: each playback posts one and is delivered before the next one ends).
        int victim = 0;
        while (victim < kSlots && isStop((read_ + victim) % kSlots)) ++victim;
        if (victim == kSlots) victim = 0;
        for (int i = victim; i > 0; --i)
            slots_[(read_ + i) % kSlots] = slots_[(read_ + i - 1) % kSlots];
        read_ = (read_ + 1) % kSlots;
        --count_;
    }
    slots_[(read_ + count_) % kSlots] = event;
    ++count_;
    return wasEmpty;
}

bool EventRing::Pop(PlayerEvent* event) {
    std::lock_guard<std::mutex> lk(mutex_);
    if (count_ == 0) return false;
    *event = slots_[read_];
    read_ = (read_ + 1) % kSlots;
    --count_;
    return true;
}

int EventRing::Size() const {
    std::lock_guard<std::mutex> lk(mutex_);
    return count_;
}

}  // namespace player
