// The task core: one conversion task with its inputs, outputs and option state, the set-up that
// opens them, and the loop that converts them.
//
// Contract:
// - A task is built on the UI thread (`SetOption`, `OpenInput`, `OpenOutput`, the option
//   records of the component) and then run once, by `RunConversion`, on one thread (its worker,
//   or the caller's). After that it is terminated and cannot run again.
// - `OpenInput`/`OpenOutput` never raise: they return false / -1 and keep the reason in
//   `ErrorText()`. Opening an output only checks that the file could be written; the file is
//   created when the conversion starts, just before its header is written. Inputs are only read.
// - `RunConversion` never raises: an error ends the task with `HasError()` and
//   `ErrorMessage()`. Every codec it opened is closed exactly once, under the codec lock.
// - Any thread may call `RequestStop()`; the loop stops at the next packet or picture.
// - Callbacks run on the converting thread.
// - A file output is written under a hidden temporary name beside the final one and moved to
//   the final name only when the task has finished and the file was read back with the streams
//   and the length it wrote (or when a stopped task has written its trailer); the outputs of a
//   task go to their names together or not at all, and otherwise every temporary file is removed
//   and every file under a final name is left as it was (engine/OutputFiles.h). Devices, FIFOs
//   and protocols are written directly.
// - A watchdog ends a running task that is not paused at a checkpoint and has neither read a
//   packet nor written one for `StallLimit()` with HasError ("…: no progress for 60 s").
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FFmpegLogger.h"
#include "engine/FFmpegOptions.h"
#include "engine/FFmpegTypes.h"
#include "engine/OutputFiles.h"
#include "medialib/LibAV.h"

class TFrameHooks;
struct InputFile;
struct InputStream;
struct OutputFile;
struct OutputStream;

class TCustomFFmpeg : public IOptionHost {
public:
    // `maxFiles`: inputs and outputs per task, 1 to 512 (std::invalid_argument otherwise).
    explicit TCustomFFmpeg(int maxFiles = 20);
    ~TCustomFFmpeg() override;
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    TFFmpegOptions& Options() { return *options_; }
    // The dispatcher of the option state; raises FFmpegException.
    void SetOption(const std::string& name, const std::string& value);
    void ResetOptions();

    // Opens the next input with the current option state.
    bool OpenInput(const TPathFileName& fileName);
    // Opens the next output and creates its streams; the new number of outputs, or -1.
    int OpenOutput(const TPathFileName& fileName, bool join);
    const std::string& ErrorText() const { return errorText_; }
    // When the last output opened holds no stream (nothing of the inputs fits its format, as a
    // file without sound for a sound-only format), closes it and returns why; "" otherwise.
    std::string CloseEmptyLastOutput();

    int InputCount() const;
    int OutputCount() const;  // in join mode the one file counts once per input
    AVFormatContext* InputContext(int index) const;
    const TPathFileName& InputFileName(int index) const;
    const TPathFileName& OutputFileName(int index) const;
    // Expected length of the output in microseconds, -1 when unknown: the longest input (the
    // sum of the inputs when joining), or the recording length when that is shorter.
    int64_t TotalDuration() const;

    // Running.
    void SetProgressInterval(int64_t microseconds) { progressInterval_ = microseconds; }
    // The report's TaskIndex is left at -1: the component knows the task's position.
    using ProgressCallback = std::function<void(TCustomFFmpeg&, const TProgressInfo&)>;
    void SetOnProgress(ProgressCallback cb) { onProgress_ = std::move(cb); }
    // Called at every packet boundary and duplicated picture, outside the codec lock: the place
    // where a paused task waits.
    void SetCheckpoint(std::function<void()> cb) { checkpoint_ = std::move(cb); }
    // What happens to a file that is under an output's name when the output is moved there
    // (engine/OutputFiles.h): replaced (the default), or kept with the output numbered on (and the
    // log says so). A stopped task's output never replaces a file.
    void SetExistingOutput(ExistingOutput mode) { existing_ = mode; }
    // How long a running task may go without reading or writing a packet. The default is 60 s,
    // or the milliseconds in the environment variable TANDREL_STALL_LIMIT_MS.
    void SetStallLimit(std::chrono::milliseconds limit) { stallLimit_ = limit; }
    std::chrono::milliseconds StallLimit() const { return stallLimit_; }
    // Frame hooks, external hooks ("vhook") and previews of this task (engine/FrameHook.h).
    TFrameHooks& FrameHooks() { return *hooks_; }

    // The whole conversion: set-up, loop, clean-up. Never raises.
    void RunConversion();
    void RequestStop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_.load(); }

    // Whether RunConversion began (the task was not stopped before it started).
    bool Ran() const { return ran_; }
    bool Finished() const { return finished_; }
    // Whether its files went to their names: a finished task's, or a stopped one's partial files.
    bool Kept() const { return kept_; }
    bool HasError() const { return hasError_; }
    const std::string& ErrorMessage() const { return errorMessage_; }
    // What the user should know of a finished task: a source that ends before the length it
    // states (an incomplete download) was converted as far as it goes. Empty otherwise.
    const std::string& Warning() const { return warning_; }
    // Codec contexts currently open (for tests and the worker's bookkeeping).
    int OpenCodecCount() const { return openCodecs_.load(); }

    // The task's log sender (its address) and the verbosity ("v").
    void Log(TLogLevel level, const std::string& text) const;

    // IOptionHost.
    void NewStream(AVMediaType type) override;
    int AddFrameHook(const std::string& value) override;
    std::vector<AVRational> InputVideoFrameRates() const override;

private:
    friend struct Transcoder;

    [[noreturn]] void fail(const std::string& message) const;
    const AVCodec* findCodec(const std::string& name, AVMediaType type, bool encoder,
                             int strict) const;
    const AVCodec* encoderFor(const OutputFile& of, const OutputStream& ost,
                              const std::string& name, bool required = true) const;
    void newVideoStream(OutputFile& of);
    void newAudioStream(OutputFile& of);
    void newSubtitleStream(OutputFile& of);
    OutputStream& newOutputStream(OutputFile& of, AVMediaType type);
    void releaseOutput(OutputFile& of, bool deleteIfEmptyAndOurs);
    // The place where a paused task waits: the watchdog does not count that time.
    void pausePoint();
    void markActivity();
    // The end of a run, told to its watchdog.
    struct WatchdogStop {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;  // guarded by `mutex`
    };
    void watch(WatchdogStop& stop);
    // The final step of a task whose trailers were written: check every output (not when
    // stopped), then move them all to their names, or none.
    void commitOutputs();

    int maxFiles_;
    std::unique_ptr<TFFmpegOptions> options_;
    std::vector<std::unique_ptr<InputFile>> inputs_;
    std::vector<std::unique_ptr<OutputFile>> outputs_;
    bool joinMode_ = false;
    int64_t totalDuration_ = 0;
    std::string errorText_;

    int64_t progressInterval_ = 500000;
    ProgressCallback onProgress_;
    std::function<void()> checkpoint_;
    std::unique_ptr<TFrameHooks> hooks_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<int> openCodecs_{0};
    ExistingOutput existing_ = ExistingOutput::Replace;
    std::chrono::milliseconds stallLimit_;
    // Shared by the converting thread and its watchdog.
    std::atomic<int64_t> lastActivity_{0};  // steady clock, ns
    std::atomic<bool> waitingAtPause_{false};
    std::atomic<bool> stalled_{false};
    std::atomic<bool> ioCancel_{false};  // outputs that can block give up their waits
    bool ran_ = false;
    bool finished_ = false;
    bool kept_ = false;
    bool hasError_ = false;
    std::string errorMessage_;
    std::string warning_;
};

// Media type names used in messages: "Video", "Audio", "Data", "Subtitle", "Attachment",
// "Unknown".
const char* MediaTypeName(AVMediaType type);
