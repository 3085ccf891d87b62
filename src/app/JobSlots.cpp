#include "app/JobSlots.h"

#include <algorithm>

namespace app {

void JobSlots::FreeAll() {
    for (JobSlot& slot : slots_) slot = JobSlot{};
}

int JobSlots::firstFree() const {
    for (int i = 0; i < kCount; ++i)
        if (slots_[static_cast<size_t>(i)].State == SlotState::Free) return i;
    return -1;
}

int JobSlots::InUseCount() const {
    return static_cast<int>(std::count_if(slots_.begin(), slots_.end(), [](const JobSlot& s) {
        return s.State == SlotState::InUse;
    }));
}

int JobSlots::Add(const TInputOptions& input, const TOutputOptions& output) {
    const int index = firstFree();
    if (index < 0) return -1;
    JobSlot& slot = slots_[static_cast<size_t>(index)];
    slot.State = SlotState::InUse;
    slot.InputOptions = input;
    slot.OutputOptions = output;
    return index;
}

void JobSlots::Retire(int row) {
    if (row < 0 || row >= kCount || slots_[static_cast<size_t>(row)].State != SlotState::InUse)
        return;
    JobSlot retired{};
    retired.State = SlotState::Retired;
    slots_.erase(slots_.begin() + row);
    slots_.push_back(std::move(retired));
}

void JobSlots::Swap(int a, int b) {
    if (a < 0 || b < 0 || a >= kCount || b >= kCount) return;
    std::swap(slots_[static_cast<size_t>(a)], slots_[static_cast<size_t>(b)]);
}

}  // namespace app
