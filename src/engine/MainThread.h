// The main-thread dispatcher: how worker threads hand calls to the UI thread.
//
// The UI thread is the thread that called `SetUiThread()` (the program's main thread; a test's
// own thread). Any thread may call `Invoke` and `Post`; `Drain` and `WaitPumping` run on the UI
// thread only. In the application the UI side is woken through `SetWakeup` (a queued Qt call
// that runs `Drain`); tests drive it by hand without a QApplication.
#pragma once

#include <chrono>
#include <functional>

namespace mainthread {

// Makes the calling thread the UI thread and installs the codec-lock pump.
void SetUiThread();
bool IsUiThread();

// Called (from any thread) after a call was queued, so the UI side can schedule a Drain.
void SetWakeup(std::function<void()> wakeup);

// Runs fn on the UI thread and blocks until it has returned: inline when called on the UI
// thread. An exception thrown by fn is caught on the UI side and rethrown to the caller.
void Invoke(const std::function<void()>& fn);

// Queues fn for the UI thread without waiting.
void Post(std::function<void()> fn);

// Runs every queued call (also those queued while draining); returns how many ran.
// Only on the UI thread; elsewhere it does nothing and returns 0.
int Drain();

// Waits on the UI thread until pred() is true, running queued calls meanwhile; pred is checked
// at least every `step`. Workers that change what pred reads may call Wake() to end a wait early.
void WaitPumping(const std::function<bool()>& pred,
                 std::chrono::milliseconds step = std::chrono::milliseconds(5));

// Ends the current wait step of WaitPumping early.
void Wake();

// Number of calls queued and not yet run.
int Pending();

}  // namespace mainthread
