#include "engine/FFmpegVCL.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <stdexcept>

#include "engine/FFmpegLogger.h"
#include "engine/FFmpegRecords.h"
#include "engine/MainThread.h"
#include "engine/MediaLibraries.h"

namespace {

// Per-thread scheduling for a worker, as far as an unprivileged process may go: idle really
// runs only when nothing else wants the CPU; higher priorities may be refused and are then left.
void applyPriority(TThreadPriority p) {
    const pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
    if (p == tpIdle) {
        sched_param param{};
        ::sched_setscheduler(0, SCHED_IDLE, &param);  // 0: the calling thread
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 19);
        return;
    }
    static const int kNice[] = {19, 10, 5, 0, -5, -10, -15};
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), kNice[p]);
}

// Handlers are swapped and read under the handler lock; they run on copies, outside it.
template <typename T>
void storeUnder(std::mutex& mutex, T& slot, T value) {
    std::lock_guard<std::mutex> lk(mutex);
    slot = std::move(value);
}

template <typename T>
T loadUnder(std::mutex& mutex, const T& slot) {
    std::lock_guard<std::mutex> lk(mutex);
    return slot;
}

}  // namespace

TFFmpeg::TFFmpeg() : TCustomFFmpeg(kFilesPerTask) {}

TFFmpeg::~TFFmpeg() {
    RequestStop();
    if (worker_.joinable()) worker_.join();
}

TAVProbe* TFFmpeg::Probe(int index) {
    if (index < 0 || index >= kFilesPerTask) return nullptr;
    if (!probes_[index]) probes_[index] = std::make_unique<TAVProbe>();
    return probes_[index].get();
}

TCustomFFmpegVCL::TCustomFFmpegVCL() = default;

TCustomFFmpegVCL::~TCustomFFmpegVCL() {
    Stop(true);
    joinWorkers();
    {
        std::lock_guard<std::mutex> lk(deliveryMutex_);
        deliveryQuit_ = true;
    }
    deliveryCv_.notify_all();
    if (delivery_.joinable()) delivery_.join();
    // Detach the probes from contexts before the tasks close them.
    for (auto& task : tasks_)
        for (auto& p : task->probes_)
            if (p) p->Close();
    tasks_.clear();
}

bool TCustomFFmpegVCL::LibrariesLoaded() const { return FFLoader().AllLoaded(kConversionSet); }

bool TCustomFFmpegVCL::LoadLibraries(const TPathFileName& folder) {
    std::string error;
    if (LoadMediaLibraries(kConversionSet, folder, &error)) return true;
    std::lock_guard<std::mutex> lk(batchMutex_);
    lastErrorMessage_ = error;
    return false;
}

void TCustomFFmpegVCL::refuseWhileWorking(const char* operation) const {
    std::lock_guard<std::mutex> lk(batchMutex_);
    if (working_) throw std::logic_error(std::string("Cannot ") + operation + " while working.");
}

std::string TCustomFFmpegVCL::LastErrorMessage() const {
    std::lock_guard<std::mutex> lk(batchMutex_);
    return lastErrorMessage_;
}

int TCustomFFmpegVCL::TaskCount() const { return static_cast<int>(tasks_.size()); }

TFFmpeg* TCustomFFmpegVCL::Task(int taskIndex) {
    if (taskIndex < 0 || taskIndex >= TaskCount()) return nullptr;
    return tasks_[static_cast<size_t>(taskIndex)].get();
}

bool TCustomFFmpegVCL::Working() const {
    std::lock_guard<std::mutex> lk(batchMutex_);
    return working_;
}

bool TCustomFFmpegVCL::AllDone() const {
    std::lock_guard<std::mutex> lk(batchMutex_);
    return allDone_;
}

int TCustomFFmpegVCL::previewFlags() const {
    return (preview_ ? kPreviewWindow : 0) | (previewBitmap_ ? kPreviewBitmap : 0);
}

void TCustomFFmpegVCL::SetPreview(bool v) {
    preview_ = v;
    applyPreviewFlags();
}

void TCustomFFmpegVCL::SetPreviewBitmap(bool v) {
    previewBitmap_ = v;
    applyPreviewFlags();
}

void TCustomFFmpegVCL::applyPreviewFlags() {
    std::lock_guard<std::mutex> lk(batchMutex_);  // an OnTerminate handler may clear the list
    for (auto& task : tasks_) task->FrameHooks().SetPreviewFlags(previewFlags());
}

void TCustomFFmpegVCL::SetOnCustomHook(TCustomHookEvent e) {
    storeUnder(handlerMutex_, onCustomHook_, std::move(e));
}

void TCustomFFmpegVCL::SetOnPreviewBitmap(TPreviewBitmapEvent e) {
    storeUnder(handlerMutex_, onPreviewBitmap_, std::move(e));
}

void TCustomFFmpegVCL::SetPreviewWindowFactory(TPreviewWindowFactory factory) {
    storeUnder(handlerMutex_, previewFactory_, std::move(factory));
}

void TCustomFFmpegVCL::SetOnProgress(TProgressEvent e) {
    storeUnder(handlerMutex_, onProgress_, std::move(e));
}

void TCustomFFmpegVCL::SetOnTerminate(TTerminateEvent e) {
    storeUnder(handlerMutex_, onTerminate_, std::move(e));
}

int TCustomFFmpegVCL::AddTask(const TPathFileName& fileName, const TInputOptions* options) {
    refuseWhileWorking("AddTask");
    auto setError = [this](const std::string& text) {
        std::lock_guard<std::mutex> lk(batchMutex_);
        lastErrorMessage_ = text;
    };
    if (!LibrariesLoaded()) {
        setError("The media libraries are not loaded.");
        return -1;
    }
    try {
        auto task = std::make_unique<TFFmpeg>();
        TFFmpeg* raw = task.get();
        task->SetOption("v", "1");
        TFrameHooks& hooks = task->FrameHooks();
        hooks.SetPreviewFlags(previewFlags());
        hooks.SetPreviewBitmapCallback(
            [this, raw](const TPreviewInfo& info) { return DoPreviewBitmap(*raw, info); });
        hooks.SetPreviewWindowFactory([this]() -> std::shared_ptr<IPreviewWindow> {
            const TPreviewWindowFactory factory = loadUnder(handlerMutex_, previewFactory_);
            return factory ? factory() : nullptr;
        });
        const int input = task->InputCount();
        if (options) {
            TInputOptions& copy = task->InputOptions[input];
            copy = *options;
            if (copy.FileName.isEmpty()) copy.FileName = fileName;
            ApplyInputOptions(task->Options(), copy);
        }
        if (!task->OpenInput(fileName)) {
            setError(task->ErrorText());
            return -1;
        }
        if (TAVProbe* probe = task->Probe(input)) probe->AttachContext(task->InputContext(input));
        raw->SetOnProgress([this](TCustomFFmpeg& t, const TProgressInfo& p) {
            DoProgress(static_cast<TFFmpeg&>(t), p);
        });
        raw->SetCheckpoint([this, raw] { checkpoint(raw); });
        raw->SetExistingOutput(existing_);
        tasks_.push_back(std::move(task));
        return TaskCount() - 1;
    } catch (const std::exception& e) {
        setError(e.what());
        return -1;
    }
}

bool TCustomFFmpegVCL::SetOutputFile(int taskIndex, const TPathFileName& fileName,
                                     const TOutputOptions* options) {
    refuseWhileWorking("SetOutputFile");
    auto setError = [this](const std::string& text) {
        std::lock_guard<std::mutex> lk(batchMutex_);
        lastErrorMessage_ = text;
    };
    TFFmpeg* task = Task(taskIndex);
    if (!task) {
        setError(Format("Task index %d out of range", taskIndex));
        return false;
    }
    const int output = task->OutputCount();
    if (output >= TFFmpeg::kFilesPerTask) {
        setError(Format("max output files %d reached", TFFmpeg::kFilesPerTask));
        return false;
    }
    try {
        TOutputStreamSettings settings;
        bool join = false;
        if (options) {
            TOutputOptions& copy = task->OutputOptions[output];
            copy = *options;
            if (copy.FileName.isEmpty()) copy.FileName = fileName;
            settings = CollectOutputStreamSettings(copy);
            ApplyOutputOptions(task->Options(), copy, settings);
            join = copy.Join;
            if (copy.VideoHook)
                task->FrameHooks().SetCustomHook(
                    [this, task](THookInfo& info) { DoCustomHook(*task, info); });
        }
        if (task->OpenOutput(fileName, join) < 0) {
            task->OutputOptions[output] = TOutputOptions();
            setError(task->ErrorText());
            return false;
        }
        if (options) ApplyNewStreamOptions(task->Options(), task->OutputOptions[output], settings);
        return true;
    } catch (const std::exception& e) {
        setError(e.what());
        return false;
    }
}

bool TCustomFFmpegVCL::RefuseEmptyOutput(int taskIndex) {
    TFFmpeg* task = Task(taskIndex);
    if (!task) return false;
    const std::string reason = task->CloseEmptyLastOutput();
    if (reason.empty()) return false;
    std::lock_guard<std::mutex> lk(batchMutex_);
    lastErrorMessage_ = reason;
    return true;
}

void TCustomFFmpegVCL::RemoveTask(int taskIndex) {
    refuseWhileWorking("RemoveTask");
    if (taskIndex < 0 || taskIndex >= TaskCount()) {
        std::lock_guard<std::mutex> lk(batchMutex_);
        lastErrorMessage_ = Format("Task index %d out of range", taskIndex);
        return;
    }
    tasks_.erase(tasks_.begin() + taskIndex);
}

void TCustomFFmpegVCL::joinWorkers() {
    std::vector<std::thread*> workers;
    {
        std::lock_guard<std::mutex> lk(batchMutex_);
        for (auto& task : tasks_)
            if (task->worker_.joinable() && task->worker_.get_id() != std::this_thread::get_id())
                workers.push_back(&task->worker_);
    }
    for (std::thread* w : workers) w->join();
}

void TCustomFFmpegVCL::ClearTasks() {
    uint64_t batch;
    {
        std::lock_guard<std::mutex> lk(batchMutex_);
        if (working_ && !allDone_) throw std::logic_error("Cannot ClearTasks while working.");
        batch = batchNumber_;
    }
    if (!mainthread::IsUiThread()) {
        // The task list belongs to the UI thread, which reads it without a lock: a clear asked
        // for elsewhere (an OnTerminate handler on the delivery thread) runs there, unless a
        // new batch has been started by then.
        std::weak_ptr<bool> alive = alive_;
        mainthread::Post([this, alive, batch] {
            if (alive.expired()) return;
            {
                std::lock_guard<std::mutex> lk(batchMutex_);
                if (batch != batchNumber_ || (working_ && !allDone_)) return;
            }
            clearOnUiThread();
        });
        return;
    }
    clearOnUiThread();
}

void TCustomFFmpegVCL::clearOnUiThread() {
    if (stopping_.load()) {
        // A Stop is walking the list (this is one of its handlers): it clears when it is done.
        clearAfterStop_ = true;
        return;
    }
    // Every task has delivered its termination: its worker is ending or gone.
    joinWorkers();
    std::lock_guard<std::mutex> lk(batchMutex_);
    tasks_.clear();
    lastErrorMessage_.clear();
    finishedCount_ = 0;
    nextTaskIndex_ = -1;
    pendingCount_ = 0;
    allDone_ = false;
    threadMode_ = false;
    working_ = false;
    ++batchNumber_;
}

AVFormatContext* TCustomFFmpegVCL::InputContext(int taskIndex, int inputIndex) {
    TFFmpeg* task = Task(taskIndex);
    AVFormatContext* ctx = task ? task->InputContext(inputIndex) : nullptr;
    if (!ctx) {
        std::lock_guard<std::mutex> lk(batchMutex_);
        lastErrorMessage_ = Format("Input %d of task %d does not exist", inputIndex, taskIndex);
    }
    return ctx;
}

int TCustomFFmpegVCL::indexOf(const TFFmpeg* task) const {
    for (size_t i = 0; i < tasks_.size(); ++i)
        if (tasks_[i].get() == task) return static_cast<int>(i);
    return -1;
}

TFFmpeg* TCustomFFmpegVCL::takeNextLocked() {
    while (pendingCount_ > 0 && nextTaskIndex_ >= 0 && nextTaskIndex_ < TaskCount()) {
        --pendingCount_;
        TFFmpeg* task = tasks_[static_cast<size_t>(nextTaskIndex_++)].get();
        if (task->state_ != TFFmpeg::TRunState::Ready) continue;
        task->state_ = TFFmpeg::TRunState::Running;
        task->SetProgressInterval(static_cast<int64_t>(progressInterval_) * 1000);
        return task;
    }
    return nullptr;
}

void TCustomFFmpegVCL::launch(TFFmpeg* task) {
    // The run closes the task's inputs: its probes must not keep them.
    for (auto& probe : task->probes_)
        if (probe) probe->Close();
    if (!threadMode_) {
        task->RunConversion();
        DoTerminate(*task);
        return;
    }
    // Called with the batch lock held: a task seen Running under the lock always has its worker.
    task->workerDone_ = false;
    task->worker_ = std::thread([this, task] { runWorker(task); });
}

void TCustomFFmpegVCL::runWorker(TFFmpeg* task) {
    int index;
    {
        std::lock_guard<std::mutex> lk(batchMutex_);
        index = indexOf(task);
    }
    ::pthread_setname_np(::pthread_self(), Format("task-%d", index).c_str());
    applyPriority(priority_);
    task->RunConversion();
    DoTerminate(*task);
    task->workerDone_ = true;
    mainthread::Wake();
}

void TCustomFFmpegVCL::StartTask(int threadCount) {
    bool emptyBatch = false;
    Resume();  // a pause belongs to the batch it was given in
    {
        std::lock_guard<std::mutex> lk(batchMutex_);
        if (working_) throw std::logic_error("Cannot StartTask while working.");
        finishedCount_ = 0;
        nextTaskIndex_ = 0;
        pendingCount_ = TaskCount();
        allDone_ = false;
        threadMode_ = threadCount > 0;
        working_ = true;
        if (tasks_.empty()) {
            // Nothing to run: the batch is over at once.
            emptyBatch = true;
            allDone_ = true;
            if (threadMode_) raiseTerminate(TTerminateInfo{-1, true, false, {}});
        } else if (threadMode_) {
            for (int n = threadCount; n > 0; --n) {
                TFFmpeg* task = takeNextLocked();
                if (!task) break;
                launch(task);
            }
        }
    }
    if (emptyBatch) {
        if (!threadMode_) raiseTerminate(TTerminateInfo{-1, true, false, {}});
        return;
    }
    if (threadMode_) return;
    for (;;) {
        TFFmpeg* task;
        bool endOfBatch = false;
        {
            std::lock_guard<std::mutex> lk(batchMutex_);
            task = takeNextLocked();
            if (!task) endOfBatch = batchEndsLocked();  // the last ones never ran
        }
        if (endOfBatch) raiseTerminate(TTerminateInfo{-1, true, false, {}});
        if (!task) break;
        launch(task);
    }
}

void TCustomFFmpegVCL::checkpoint(TFFmpeg* task) {
    if (!paused_.load() && !task->paused_.load()) return;
    {
        std::lock_guard<std::mutex> lk(batchMutex_);
        if (!threadMode_) return;  // a batch on the calling thread cannot be paused
    }
    std::unique_lock<std::mutex> lk(pauseMutex_);
    pauseCv_.wait(lk, [&] {
        return (!paused_.load() && !task->paused_.load()) || task->StopRequested();
    });
}

TFFmpeg* TCustomFFmpegVCL::liveTask(int taskIndex, const char* operation) {
    std::lock_guard<std::mutex> lk(batchMutex_);
    if (taskIndex < 0 || taskIndex >= TaskCount()) {
        lastErrorMessage_ = Format("%s: task index %d out of range", operation, taskIndex);
        return nullptr;
    }
    TFFmpeg* task = tasks_[static_cast<size_t>(taskIndex)].get();
    if (task->state_ == TFFmpeg::TRunState::Terminated) {
        lastErrorMessage_ = Format("%s: task %d has ended", operation, taskIndex);
        return nullptr;
    }
    return task;
}

bool TCustomFFmpegVCL::PauseTask(int taskIndex) {
    TFFmpeg* task = liveTask(taskIndex, "PauseTask");
    if (!task) return false;
    std::lock_guard<std::mutex> lk(pauseMutex_);
    task->paused_ = true;
    return true;
}

bool TCustomFFmpegVCL::ResumeTask(int taskIndex) {
    TFFmpeg* task = liveTask(taskIndex, "ResumeTask");
    if (!task) return false;
    {
        std::lock_guard<std::mutex> lk(pauseMutex_);
        task->paused_ = false;
    }
    pauseCv_.notify_all();
    return true;
}

bool TCustomFFmpegVCL::TaskPaused(int taskIndex) const {
    std::lock_guard<std::mutex> lk(batchMutex_);
    return taskIndex >= 0 && taskIndex < TaskCount() &&
           tasks_[static_cast<size_t>(taskIndex)]->paused_.load();
}

bool TCustomFFmpegVCL::StopTask(int taskIndex, bool wait) {
    TFFmpeg* task = liveTask(taskIndex, "StopTask");
    if (!task) return false;
    stopTask(task, wait);
    return true;
}

void TCustomFFmpegVCL::Pause() { paused_ = true; }

void TCustomFFmpegVCL::Resume() {
    {
        std::lock_guard<std::mutex> lk(pauseMutex_);
        paused_ = false;
    }
    pauseCv_.notify_all();
}

void TCustomFFmpegVCL::stopTask(TFFmpeg* task, bool wait) {
    bool deliverNow = false;
    bool running = false;
    bool hasWorker = false;
    {
        std::lock_guard<std::mutex> lk(batchMutex_);
        hasWorker = task->worker_.joinable();
        if (task->state_ == TFFmpeg::TRunState::Running) {
            running = true;
        } else if (task->state_ == TFFmpeg::TRunState::Ready) {
            task->state_ = TFFmpeg::TRunState::Terminated;
            deliverNow = true;
        }
    }
    if (running) {
        task->RequestStop();
        {
            std::lock_guard<std::mutex> lk(pauseMutex_);  // a paused worker must see it
            task->paused_ = false;
        }
        pauseCv_.notify_all();
        if (wait && hasWorker) {
            if (mainthread::IsUiThread())
                mainthread::WaitPumping([task] { return task->workerDone_.load(); },
                                        std::chrono::milliseconds(20));
            else
                while (!task->workerDone_.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            // The finished worker is joined with the list (ClearTasks, destruction).
        }
    } else if (deliverNow) {
        // A task that never ran ends without running: Finished and HasError false.
        DoTerminate(*task, false);
    }
}

void TCustomFFmpegVCL::Stop(bool wait) {
    if (stopping_.exchange(true)) return;  // a Stop from inside a handler during our wait
    {
        std::lock_guard<std::mutex> lk(batchMutex_);
        pendingCount_ = 0;
    }
    Resume();  // a stop ends any pause: a paused worker must run to its end
    for (size_t i = 0; i < tasks_.size(); ++i) stopTask(tasks_[i].get(), wait);
    stopping_ = false;
    if (clearAfterStop_) {
        clearAfterStop_ = false;
        clearOnUiThread();
    }
}

void TCustomFFmpegVCL::DoProgress(TFFmpeg& task, const TProgressInfo& p) {
    const TProgressEvent handler = loadUnder(handlerMutex_, onProgress_);
    if (!handler) return;
    std::lock_guard<std::mutex> lk(progressMutex_);
    progressInfo_ = p;
    {
        std::lock_guard<std::mutex> blk(batchMutex_);
        progressInfo_.TaskIndex = indexOf(&task);
    }
    raiseFromTask(task, "OnProgress", [&] { handler(this, &progressInfo_); });
}

void TCustomFFmpegVCL::raiseFromTask(TFFmpeg& task, const char* event,
                                     const std::function<void()>& call) {
    try {
        if (triggerInMainThread_.load() && !mainthread::IsUiThread())
            mainthread::Invoke(call);
        else
            call();
    } catch (const std::exception& e) {
        // A failing handler must not end the conversion it watches.
        task.Log(llError, std::string(event) + ": " + e.what());
    }
}

bool TCustomFFmpegVCL::DoPreviewBitmap(TFFmpeg& task, const TPreviewInfo& info) {
    const TPreviewBitmapEvent handler = loadUnder(handlerMutex_, onPreviewBitmap_);
    if (!handler) return false;
    std::lock_guard<std::mutex> lk(previewBitmapMutex_);
    previewInfo_ = info;
    {
        std::lock_guard<std::mutex> blk(batchMutex_);
        previewInfo_.TaskIndex = indexOf(&task);
    }
    raiseFromTask(task, "OnPreviewBitmap", [&] { handler(this, previewInfo_); });
    return true;
}

void TCustomFFmpegVCL::DoCustomHook(TFFmpeg& task, THookInfo& info) {
    const TCustomHookEvent handler = loadUnder(handlerMutex_, onCustomHook_);
    if (!handler) {
        info.Update = false;  // nobody looked: the picture stays as decoded
        return;
    }
    std::lock_guard<std::mutex> lk(hookMutex_);
    hookInfo_ = info;
    {
        std::lock_guard<std::mutex> blk(batchMutex_);
        hookInfo_.TaskIndex = indexOf(&task);
    }
    // On the worker; an exception goes back to the task, which logs it.
    handler(this, &hookInfo_);
    info.Update = hookInfo_.Update;
    info.StopHook = hookInfo_.StopHook;
}

void TCustomFFmpegVCL::raiseTerminate(const TTerminateInfo& info) {
    if (threadMode_) {
        // Called with the batch lock held, so the queue keeps the order of the accounting.
        {
            std::lock_guard<std::mutex> lk(deliveryMutex_);
            if (!delivery_.joinable()) delivery_ = std::thread([this] { deliveryLoop(); });
            deliveryQueue_.push_back(info);
        }
        deliveryCv_.notify_one();
        return;
    }
    TTerminateEvent handler;
    {
        std::lock_guard<std::mutex> lk(handlerMutex_);
        handler = onTerminate_;
    }
    if (handler) handler(this, info);
}

void TCustomFFmpegVCL::deliveryLoop() {
    ::pthread_setname_np(::pthread_self(), "terminate");
    std::unique_lock<std::mutex> lk(deliveryMutex_);
    for (;;) {
        deliveryCv_.wait(lk, [this] { return deliveryQuit_ || !deliveryQueue_.empty(); });
        if (deliveryQueue_.empty()) return;  // quit with nothing left
        TTerminateInfo info = std::move(deliveryQueue_.front());
        deliveryQueue_.pop_front();
        lk.unlock();
        TTerminateEvent handler;
        {
            std::lock_guard<std::mutex> hk(handlerMutex_);
            handler = onTerminate_;
        }
        if (handler) {
            try {
                handler(this, info);
            } catch (const std::exception& e) {
                // Nobody to report to on this thread: the delivery of later events goes on.
                if (TFFLogger* logger = CurrentLogger())
                    logger->LogMessage(this, llError, std::string("OnTerminate: ") + e.what());
            }
        }
        lk.lock();
    }
}

bool TCustomFFmpegVCL::batchEndsLocked() {
    // (A batch cleared meanwhile, from a handler, is over already.)
    if (!working_ || pendingCount_ > 0 || finishedCount_ < TaskCount() || allDone_) return false;
    allDone_ = true;  // before the event: its handler may clear the list
    return true;
}

void TCustomFFmpegVCL::DoTerminate(TFFmpeg& task, bool heldSlot) {
    bool endOfBatch = false;
    TTerminateInfo info;
    {
        std::lock_guard<std::mutex> lk(batchMutex_);
        task.state_ = TFFmpeg::TRunState::Terminated;
        info.TaskIndex = indexOf(&task);
        info.Finished = task.Finished();
        info.HasError = task.HasError();
        info.ErrorMessage = task.HasError() ? task.ErrorMessage() : std::string();
        ++finishedCount_;
        // This worker's slot goes to the next pending task (tasks stopped before they ran are
        // passed over, and their ends counted, on the way).
        if (threadMode_ && heldSlot && pendingCount_ > 0)
            if (TFFmpeg* next = takeNextLocked()) launch(next);
        endOfBatch = batchEndsLocked();
        if (threadMode_) {
            raiseTerminate(info);
            if (endOfBatch) raiseTerminate(TTerminateInfo{-1, true, false, {}});
        }
    }
    if (!threadMode_) {
        raiseTerminate(info);
        if (endOfBatch) raiseTerminate(TTerminateInfo{-1, true, false, {}});
    }
}
