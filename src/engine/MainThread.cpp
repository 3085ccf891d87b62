#include "MainThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "medialib/FFmpegLoader.h"

namespace mainthread {
namespace {

// A call handed to the UI thread. For Invoke the caller waits on `done`.
struct Call {
    std::function<void()> fn;
    bool waited = false;
    bool done = false;
    std::exception_ptr error;
};

struct State {
    std::mutex mutex;  // guards queue, wakeup, and every Call's done/error
    std::condition_variable queued;   // UI side: something was queued, or Wake()
    std::condition_variable finished;  // callers of Invoke: a call finished
    std::deque<std::shared_ptr<Call>> queue;
    std::function<void()> wakeup;
    std::atomic<std::thread::id> uiThread{};
    bool woken = false;
};

State& state() {
    static State s;
    return s;
}

void enqueue(const std::shared_ptr<Call>& call) {
    State& s = state();
    std::function<void()> wakeup;
    {
        std::lock_guard<std::mutex> lk(s.mutex);
        s.queue.push_back(call);
        wakeup = s.wakeup;
    }
    s.queued.notify_all();
    if (wakeup) wakeup();
}

void pumpOnce() {
    Drain();
    State& s = state();
    std::unique_lock<std::mutex> lk(s.mutex);
    s.queued.wait_for(lk, std::chrono::milliseconds(1), [&] { return !s.queue.empty(); });
}

}  // namespace

void SetUiThread() {
    state().uiThread = std::this_thread::get_id();
    SetCodecLockPump(&IsUiThread, &pumpOnce);
}

bool IsUiThread() { return state().uiThread.load() == std::this_thread::get_id(); }

void SetWakeup(std::function<void()> wakeup) {
    State& s = state();
    std::lock_guard<std::mutex> lk(s.mutex);
    s.wakeup = std::move(wakeup);
}

void Invoke(const std::function<void()>& fn) {
    // Without a UI thread (a tool that never set one) there is nobody to hand the call to.
    if (IsUiThread() || state().uiThread.load() == std::thread::id{}) {
        fn();
        return;
    }
    auto call = std::make_shared<Call>();
    call->fn = fn;
    call->waited = true;
    enqueue(call);
    State& s = state();
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lk(s.mutex);
        s.finished.wait(lk, [&] { return call->done; });
        // Taken out under the lock: from here on only this thread touches the exception.
        error = std::move(call->error);
    }
    if (error) std::rethrow_exception(error);
}

void Post(std::function<void()> fn) {
    auto call = std::make_shared<Call>();
    call->fn = std::move(fn);
    enqueue(call);
}

int Drain() {
    if (!IsUiThread()) return 0;
    State& s = state();
    int ran = 0;
    for (;;) {
        std::shared_ptr<Call> call;
        {
            std::lock_guard<std::mutex> lk(s.mutex);
            if (s.queue.empty()) break;
            call = std::move(s.queue.front());
            s.queue.pop_front();
        }
        std::exception_ptr error;
        try {
            call->fn();
        } catch (...) {
            error = std::current_exception();
        }
        ++ran;
        if (call->waited) {
            {
                std::lock_guard<std::mutex> lk(s.mutex);
                call->error = std::move(error);
                call->done = true;
            }
            s.finished.notify_all();
        }
        // A posted call has nobody to report to: its exception is dropped here so one bad
        // handler cannot stop the queue.
    }
    return ran;
}

void WaitPumping(const std::function<bool()>& pred, std::chrono::milliseconds step) {
    State& s = state();
    for (;;) {
        Drain();
        if (pred()) return;
        std::unique_lock<std::mutex> lk(s.mutex);
        s.queued.wait_for(lk, step, [&] { return !s.queue.empty() || s.woken; });
        s.woken = false;
    }
}

void Wake() {
    State& s = state();
    {
        std::lock_guard<std::mutex> lk(s.mutex);
        s.woken = true;
    }
    s.queued.notify_all();
}

int Pending() {
    State& s = state();
    std::lock_guard<std::mutex> lk(s.mutex);
    return static_cast<int>(s.queue.size());
}

}  // namespace mainthread
