// The player's event ring: positions and states waiting for delivery.
//
// Ten slots of (kind, state, value) with a read and a write index. A new event overwrites the
// most recently written unread slot when that holds an event of the same kind (a newer position
// replaces an unread older one, a newer state an unread older state), otherwise it takes the
// next slot; when the ring is full the oldest event is dropped. psStop is never overwritten
// and never dropped: a playback's end always reaches the handler, also when the next
// playback's first events follow at once. Any thread; one lock, held only to copy a slot.
#pragma once

#include <cstdint>
#include <mutex>

namespace player {

struct PlayerEvent {
    enum Kind { Position = 1, State = 2 };
    Kind kind = Position;
    int state = 0;      // a TPlayState for State events
    int64_t value = 0;  // µs for Position events
};

class EventRing {
public:
    static constexpr int kSlots = 10;
    static constexpr int kStopState = 4;  // psStop

    // Adds an event; returns true when the ring was empty before (a delivery is due).
    bool Push(const PlayerEvent& event);
    // Takes the oldest event; false when the ring is empty.
    bool Pop(PlayerEvent* event);
    int Size() const;

private:
    bool isStop(int index) const {
        return slots_[index].kind == PlayerEvent::State && slots_[index].state == kStopState;
    }

    mutable std::mutex mutex_;  // guards everything below
    PlayerEvent slots_[kSlots];
    int read_ = 0;   // oldest unread slot
    int count_ = 0;  // unread slots, read_ … read_ + count_ - 1 (mod kSlots)
};

}  // namespace player
