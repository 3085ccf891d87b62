// The engine component: a list of conversion tasks, run as a batch on the calling thread or on
// worker threads with a bounded number of tasks at once, with progress and termination events.
//
// Threads:
// - Every operation is for the UI thread (the thread that called mainthread::SetUiThread), except
//   that `ClearTasks` may also be called from an `OnTerminate` handler on the delivery thread:
//   it is checked there (raising the refusal at once) and carried out on the UI thread, which
//   alone changes the task list, at its next pending-call run (dropped when a new batch has
//   started by then). Called from a handler while `Stop` walks the list, it is carried out when
//   `Stop` returns. `Pause` lasts until `Resume`, `Stop` or the next `StartTask`.
// - Each running task in thread mode has its own worker thread ("task-N"), owned by the task and
//   joined, never self-freeing. Pause is cooperative: a paused worker waits at its next packet or
//   duplicated picture, never holding the codec lock or a main-thread call, and uses no CPU.
// - `OnProgress` and `OnPreviewBitmap` run on the UI thread while the worker waits, when
//   `TriggerEventInMainThread` is true; otherwise on the worker. `OnCustomHook` always runs on
//   the worker, one handler call at a time across all tasks.
// - `Preview`/`PreviewBitmap` may be switched at any time, also during a conversion: every
//   task's preview flags change at once. A preview window needs a factory
//   (`SetPreviewWindowFactory`, the program's widget); without one `Preview` shows nothing.
// - `OnTerminate` runs on the calling thread in a batch started with a thread count <= 0; in thread
//   mode every termination goes, in order, through one delivery thread per component
//   ("terminate"); a receiver that updates widgets posts the work to the UI thread itself.
// - `Stop(true)` and the destructor wait with mainthread::WaitPumping, so workers blocked on a
//   main-thread call can always finish.
// Batch accounting: every task ends exactly once (one termination each, Ready → Running →
// Terminated or Ready → Terminated), and every batch ends with exactly one end-of-batch event
// (`TaskIndex` -1, `Finished` true) — also a batch started with no tasks. `AllDone` is set before
// that event is raised.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/FFBaseComponent.h"
#include "engine/FFmpeg.h"
#include "engine/FFmpegTypes.h"
#include "engine/FrameHook.h"
#include "probe/AVProbe.h"

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TCustomFFmpegVCL;

// A task as the component manages it: the task core, a probe per input, and private copies of
// the records it was given.
class TFFmpeg : public TCustomFFmpeg {
public:
    enum class TRunState { Ready, Running, Terminated };
    static constexpr int kFilesPerTask = 20;

    TFFmpeg();
    ~TFFmpeg() override;

    // The probe of input `index` (created on first use); null when out of range.
    TAVProbe* Probe(int index);
    TInputOptions InputOptions[kFilesPerTask];
    TOutputOptions OutputOptions[kFilesPerTask];

private:
    friend class TCustomFFmpegVCL;
    std::unique_ptr<TAVProbe> probes_[kFilesPerTask];
    // Guarded by the component's batch lock.
    TRunState state_ = TRunState::Ready;
    std::thread worker_;
    std::atomic<bool> workerDone_{false};
    std::atomic<bool> paused_{false};  // this task alone (PauseTask); changed under the pause lock
};

class TCustomFFmpegVCL : public TFFBaseComponent {
public:
    using TProgressEvent = std::function<void(void* sender, PProgressInfo info)>;
    using TTerminateEvent = std::function<void(void* sender, const TTerminateInfo& info)>;
    using TCustomHookEvent = std::function<void(void* sender, PHookInfo info)>;
    using TPreviewBitmapEvent = std::function<void(void* sender, const TPreviewInfo& info)>;

    TCustomFFmpegVCL();
    ~TCustomFFmpegVCL() override;

    std::string About;
    static std::string Version() { return "3.3"; }

    // Library binding (the conversion set).
    bool LibrariesLoaded() const;
    bool LoadLibraries(const TPathFileName& folder);

    // Task list. "Cannot %s while working." (std::logic_error) while a batch is on.
    int AddTask(const TPathFileName& fileName, const TInputOptions* options = nullptr);
    bool SetOutputFile(int taskIndex, const TPathFileName& fileName,
                       const TOutputOptions* options = nullptr);
    // When the task's last output holds no stream (a file without sound for a sound-only
    // format), closes it, keeps the reason as LastErrorMessage and returns true: a batch
    // refuses such a file before it starts rather than failing on it.
    bool RefuseEmptyOutput(int taskIndex);
    void RemoveTask(int taskIndex);
    void ClearTasks();
    int TaskCount() const;
    // The opened container of an input of a task; null (with LastErrorMessage) when out of range.
    AVFormatContext* InputContext(int taskIndex, int inputIndex);
    TFFmpeg* Task(int taskIndex);
    std::string LastErrorMessage() const;

    // Batch.
    void StartTask(int threadCount);
    void Pause();
    void Resume();
    void Stop(bool wait = true);
    // One task of the running batch, the others going on: it waits at its next checkpoint (using
    // no CPU) until ResumeTask, the batch's Resume or a stop; StopTask ends it as Stop ends every
    // task (a running one keeps its file, a pending one never runs) and its slot goes to the
    // next pending task. Each still ends exactly once, and the batch with one end-of-batch event.
    // False (with LastErrorMessage) for an index out of range or a task that has ended.
    bool PauseTask(int taskIndex);
    bool ResumeTask(int taskIndex);
    bool StopTask(int taskIndex, bool wait = true);
    bool TaskPaused(int taskIndex) const;
    bool Working() const;
    bool AllDone() const;
    bool Paused() const { return paused_.load(); }

    // Properties.
    int ProgressInterval() const { return progressInterval_; }
    void SetProgressInterval(int ms) { progressInterval_ = ms <= 100 ? 100 : ms; }
    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority p) { priority_ = p; }
    bool TriggerEventInMainThread() const { return triggerInMainThread_.load(); }
    void SetTriggerEventInMainThread(bool v) { triggerInMainThread_ = v; }
    bool Preview() const { return preview_; }
    void SetPreview(bool v);
    bool PreviewBitmap() const { return previewBitmap_; }
    void SetPreviewBitmap(bool v);

    // Events.
    void SetOnProgress(TProgressEvent e);
    void SetOnTerminate(TTerminateEvent e);
    // Called for every decoded picture of tasks whose output options have `VideoHook`; an
    // exception from the handler is logged and the picture is left unchanged.
    void SetOnCustomHook(TCustomHookEvent e);
    // Snapshots of tasks while `PreviewBitmap` is on, at most one per 100 ms per task.
    void SetOnPreviewBitmap(TPreviewBitmapEvent e);
    // Makes the windows that `Preview` shows (one per converting task, made on its worker).
    void SetPreviewWindowFactory(TPreviewWindowFactory factory);

    // What tasks added from now on do with a file under their output's name when they move the
    // output there (TCustomFFmpeg::SetExistingOutput): replace it (the default) or keep it and
    // number the output on.
    void SetExistingOutput(ExistingOutput mode) { existing_ = mode; }

    // The probe callers use to test-open a file before adding it.
    TAVProbe& Probe() { return probe_; }

protected:
    // Task callbacks (run on the task's thread).
    virtual void DoCustomHook(TFFmpeg& task, THookInfo& info);
    // False when no `OnPreviewBitmap` handler takes the snapshot.
    virtual bool DoPreviewBitmap(TFFmpeg& task, const TPreviewInfo& info);
    virtual void DoProgress(TFFmpeg& task, const TProgressInfo& progress);
    // `heldSlot`: the task ran (its end frees a place for the next pending one).
    virtual void DoTerminate(TFFmpeg& task, bool heldSlot = true);

private:
    void refuseWhileWorking(const char* operation) const;
    int indexOf(const TFFmpeg* task) const;  // batch lock held
    // Under the batch lock: takes the next pending task and marks it Running (null when none).
    TFFmpeg* takeNextLocked();
    void launch(TFFmpeg* task);  // runs it (non-thread mode) or starts its worker
    void runWorker(TFFmpeg* task);
    void checkpoint(TFFmpeg* task);
    void raiseTerminate(const TTerminateInfo& info);  // batch lock held in thread mode
    void deliveryLoop();
    void stopTask(TFFmpeg* task, bool wait);
    // The task at `taskIndex` while it has not ended (null with LastErrorMessage otherwise).
    TFFmpeg* liveTask(int taskIndex, const char* operation);
    // Under the batch lock: whether the batch has just ended (and marks it so).
    bool batchEndsLocked();
    void joinWorkers();
    void clearOnUiThread();
    int previewFlags() const;
    void applyPreviewFlags();  // to every task, running or not
    // Runs `call` on the UI thread (waiting) or here, per TriggerEventInMainThread; a failure is
    // logged as the task's and does not end it.
    void raiseFromTask(TFFmpeg& task, const char* event, const std::function<void()>& call);

    TAVProbe probe_;
    // Changed on the UI thread only, and only while not working; read there without a lock,
    // and by workers under the batch lock.
    std::vector<std::unique_ptr<TFFmpeg>> tasks_;

    // Batch lock: counters, flags and task run states.
    mutable std::mutex batchMutex_;
    int finishedCount_ = 0;
    int nextTaskIndex_ = -1;
    int pendingCount_ = 0;
    bool working_ = false;
    bool allDone_ = false;
    bool threadMode_ = false;
    std::string lastErrorMessage_;
    uint64_t batchNumber_ = 0;  // counts cleared batches; a posted clear checks it

    // UI thread only.
    bool clearAfterStop_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // posted calls check it

    std::atomic<bool> stopping_{false};
    std::atomic<bool> paused_{false};
    std::mutex pauseMutex_;
    std::condition_variable pauseCv_;

    std::mutex progressMutex_;  // one progress event at a time
    TProgressInfo progressInfo_;
    std::mutex hookMutex_;  // one frame hook call at a time
    THookInfo hookInfo_;
    std::mutex previewBitmapMutex_;  // one preview snapshot at a time
    TPreviewInfo previewInfo_;
    mutable std::mutex handlerMutex_;  // guards the handlers and the window factory
    TProgressEvent onProgress_;
    TTerminateEvent onTerminate_;
    TCustomHookEvent onCustomHook_;
    TPreviewBitmapEvent onPreviewBitmap_;
    TPreviewWindowFactory previewFactory_;

    // The delivery thread of terminations in thread mode, first in first out.
    std::mutex deliveryMutex_;
    std::condition_variable deliveryCv_;
    std::deque<TTerminateInfo> deliveryQueue_;
    bool deliveryQuit_ = false;
    std::thread delivery_;

    int progressInterval_ = 500;
    TThreadPriority priority_ = tpNormal;
    std::atomic<bool> triggerInMainThread_{true};
    // UI thread.
    ExistingOutput existing_ = ExistingOutput::Replace;
    bool preview_ = false;
    bool previewBitmap_ = false;
};

class TFFmpegVCL : public TCustomFFmpegVCL {};
