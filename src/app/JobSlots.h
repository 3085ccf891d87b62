// The per-row conversion settings of the job list: exactly 501 slots. With n rows, row i uses
// slot i (InUse slots 0 … n-1), Free slots follow, Retired slots fill the end. A retired slot is
// not used again before the list is cleared, so rows plus removals since the last clear never
// exceed 501. Pure data; UI thread.
#pragma once

#include <vector>

#include "engine/FFmpegTypes.h"

namespace app {

enum class SlotState { Free, InUse, Retired };

struct JobSlot {
    SlotState State = SlotState::Free;
    TInputOptions InputOptions;
    TOutputOptions OutputOptions;
};

class JobSlots {
public:
    static constexpr int kCount = 501;

    JobSlots() : slots_(kCount) {}

    // Button15Click: every slot Free (start-up, clearing the list).
    void FreeAll();
    // Whether an addition can take a slot.
    bool HasFree() const { return firstFree() >= 0; }
    // Number of InUse slots (= rows).
    int InUseCount() const;
    // Fills the lowest Free slot and marks it InUse; its index (= the new row), or -1 when none
    // is free (nothing changes).
    int Add(const TInputOptions& input, const TOutputOptions& output);
    // Removing row `row`: its slot is retired and moves to the end; later slots move down one.
    void Retire(int row);
    // Moving a row: the two slots exchange places.
    void Swap(int a, int b);

    const JobSlot& operator[](int index) const { return slots_[static_cast<size_t>(index)]; }

private:
    int firstFree() const;
    std::vector<JobSlot> slots_;
};

}  // namespace app
