#include "ModalScript.h"

#include <QApplication>
#include <QDialog>

namespace testsupport {

namespace {
constexpr int kTickMs = 5;
}

Script::Script(std::vector<Step> steps, std::chrono::milliseconds limit)
    : steps_(std::move(steps)), maxTicks_(static_cast<int>(limit.count() / kTickMs)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start(kTickMs);
}

void Script::Tick() {
    if (Finished()) {
        timer_.stop();
        return;
    }
    if (++ticks_ > maxTicks_) {
        timedOut_ = true;
        timer_.stop();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
        return;
    }
    if (!steps_[next_].first()) return;
    ++next_;
    ticks_ = 0;
    steps_[next_ - 1].second();
}

}  // namespace testsupport
