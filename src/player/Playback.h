// The playback pipeline of one opened file (internal to the player).
//
// Reading and decoding (PlaybackRead.cpp): a read thread demultiplexes packets into three packet
// queues; a video thread decodes pictures into a two-slot picture queue; a subtitle thread
// decodes bitmap subtitles into a four-slot queue. Output (PlaybackOutput.cpp): SDL's audio
// thread decodes and mixes sound in the device callback and keeps the audio clock, the master
// clock; a refresh thread asks the play thread for refreshes; the play thread's event loop
// shows each picture when the master clock reaches it, and draws into the caller's widget.
//
// Seeks are numbered: every carried-out seek raises `serial`, puts a flush marker carrying the
// new number into each packet queue, and every decoded picture carries the number it was
// decoded under, so pictures from before a seek are recognised and dropped wherever they are.
//
// Every wait is on a condition variable that an abort wakes, so closing never waits for more
// than one library call per thread.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "medialib/LibAV.h"

class TCustomPlayer;
class QWidget;

namespace player {

// Monotonic time in seconds.
double Now();
// Names the calling thread (shown in /proc and debuggers) and marks it as a player thread.
void NameThread(const char* name);
// True on the threads named by NameThread.
bool OnPlayerThread();
// `frame` through the cached bicubic scaler `sws` into a new image of `size` in `format`
// (Format_RGB888 or Format_RGB32), every pixel written up to the last column and row. With
// `frameColors` the frame's colour matrix and range are honoured. A null image when no scaler
// converts the frame's pixel format. Any thread; `sws` belongs to the caller.
QImage ScaleToImage(SwsContext*& sws, const AVFrame* frame, QSize size, QImage::Format format,
                    bool frameColors);
// While one lives on a thread, events that thread raises are not delivered on it at once (see
// TCustomPlayer::deliverDeferred).
struct DeferDelivery {
    DeferDelivery();
    ~DeferDelivery();
    DeferDelivery(const DeferDelivery&) = delete;
    DeferDelivery& operator=(const DeferDelivery&) = delete;
    static bool Active();
};

// ---------------------------------------------------------------------------------------------
// Packet queue.

struct QueueItem {
    enum Kind { Data, Flush, Drain };
    Kind kind = Data;
    AVPacket* pkt = nullptr;  // owned, Data only
    int serial = 0;           // Flush: the serial that starts with it
};

class PacketQueue {
public:
    ~PacketQueue() { Clear(); }
    // Opens the queue (clears the abort mark) and queues a flush marker.
    void Start(int serial);
    // Takes over the packet's reference (the packet is left blank). False when aborted.
    bool Put(AVPacket* pkt);
    void PutFlush(int serial);
    // An empty packet: tells the decoder that no more data follows.
    void PutDrain();
    // 1: an item; 0: none (non-blocking only); -1: aborted.
    int Get(QueueItem* item, bool block);
    void Abort();
    // Frees every queued packet.
    void Clear();
    int Count() const;
    int64_t Bytes() const;
    bool Empty() const { return Count() == 0; }

private:
    void push(QueueItem item, int64_t size);

    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable cv_;
    std::deque<QueueItem> items_;
    int count_ = 0;      // data packets
    int64_t bytes_ = 0;  // payload bytes plus one node size per item
    bool abort_ = true;
};

// ---------------------------------------------------------------------------------------------
// Decoded pictures and subtitles.

struct Picture {
    AVFrame* frame = nullptr;  // a reference to the decoded picture; null when the slot is free
    double pts = 0;            // seconds
    double duration = 0;       // seconds, 0 when unknown
    int64_t pos = -1;          // byte position of its packet
    int serial = 0;
    void Reset();
};

struct Subpicture {
    AVSubtitle sub{};
    bool valid = false;
    double pts = 0;  // seconds
    int serial = 0;
    void Reset();
};

// A fixed ring of N slots shared by one writer and one reader. The reader looks at queued slots
// without the lock (the writer only touches the free slot it is filling).
template <typename T, int N>
class SlotQueue {
public:
    ~SlotQueue() {
        for (T& s : slots_) s.Reset();
    }
    // Writer: waits for a free slot. False when aborted. *waited tells whether it had to wait.
    bool WaitWritable(bool* waited = nullptr) {
        std::unique_lock<std::mutex> lk(mutex_);
        if (waited) *waited = size_ >= N && !abort_;
        cv_.wait(lk, [&] { return size_ < N || abort_; });
        return !abort_;
    }
    T& WriteSlot() { return slots_[windex_]; }
    void Push() {
        std::lock_guard<std::mutex> lk(mutex_);
        windex_ = (windex_ + 1) % N;
        ++size_;
        cv_.notify_all();
    }
    // Reader.
    int Size() const {
        std::lock_guard<std::mutex> lk(mutex_);
        return size_;
    }
    T& Peek(int offset = 0) { return slots_[(rindex_ + offset) % N]; }
    void Pop() {
        slots_[rindex_].Reset();
        std::lock_guard<std::mutex> lk(mutex_);
        rindex_ = (rindex_ + 1) % N;
        --size_;
        cv_.notify_all();
    }
    void Abort() {
        std::lock_guard<std::mutex> lk(mutex_);
        abort_ = true;
        cv_.notify_all();
    }
    std::mutex& Mutex() { return mutex_; }

private:
    mutable std::mutex mutex_;  // guards rindex_, windex_, size_, abort_
    std::condition_variable cv_;
    T slots_[N];
    int rindex_ = 0, windex_ = 0, size_ = 0;
    bool abort_ = false;
};

// ---------------------------------------------------------------------------------------------
// Where pictures go: the caller's widget (VideoWidget.cpp). All calls from the play thread,
// except construction and destruction (UI thread).
class VideoOutput {
public:
    virtual ~VideoOutput() = default;
    // The widget's current size (its client area).
    virtual QSize SurfaceSize() const = 0;
    // Shows `image` at `rect` on black (a copy is kept for repaints).
    virtual void Present(const QImage& image, const QRect& rect) = 0;
};
// Installs the player's event filter on `widget`. `onResize` and `onExpose` run on the UI
// thread when the widget is resized or shown again.
std::unique_ptr<VideoOutput> CreateWidgetOutput(QWidget* widget, std::function<void()> onResize,
                                                std::function<void()> onExpose);

// ---------------------------------------------------------------------------------------------
// The playback state of one opened file.

struct Playback {
    // Events of the play thread's loop.
    enum Event { evQuit, evResized, evExposed, evRefresh, evReopen };
    static constexpr int kPictureSlots = 2;
    static constexpr int kSubpictureSlots = 4;
    static constexpr int64_t kMaxQueueBytes = 15728640;
    static constexpr int64_t kMaxAudioQueueBytes = 327680;
    static constexpr int kMinPackets = 5;
    static constexpr int kAudioSamples = 1024;
    static constexpr int kVizSamples = 131072;

    explicit Playback(TCustomPlayer* owner);
    ~Playback();

    // --- Fixed before the read thread starts (UI thread) ---
    TCustomPlayer* owner;
    QString fileName;
    bool startPaused = false;
    bool disableAudio = false, disableVideo = false, disableDisplay = false;
    bool exactPausedSeek = false;
    int requestedWidth = 0, requestedHeight = 0;
    std::unique_ptr<VideoOutput> output;  // null: no picture is drawn

    // --- Written by the read thread while opening; read-only once `opened` is 1 ---
    AVFormatContext* ic = nullptr;
    AVStream* audioSt = nullptr;
    AVStream* videoSt = nullptr;
    AVStream* subtitleSt = nullptr;
    AVCodecContext* adec = nullptr;
    AVCodecContext* vdec = nullptr;
    AVCodecContext* sdec = nullptr;
    int64_t containerStart = 0;      // µs, 0 when unknown
    int64_t containerDuration = -1;  // µs, -1 when unknown
    int64_t audioStreamDuration = -1;
    bool realtime = false;
    bool imageSequence = false;
    int vizMode = 0;  // 0 none, 1 waveform (files without pictures, when drawing)
    SDL_AudioDeviceID audioDevice = 0;
    int audioRate = 0, audioChannels = 0;
    int videoWidth = 0, videoHeight = 0;  // the video decoder's picture size
    int bytesPerSecond = 0;               // of the device's signed 16-bit stream
    int deviceBufferBytes = 0;

    // Opening handshake: openMutex guards `opened` (0 opening, 1 open, -1 failed).
    std::mutex openMutex;
    std::condition_variable openCv;
    int opened = 0;

    // --- Threads: read/video/subtitle started by the read thread, refresh by Open; all joined
    // by Close (play thread, or the UI thread when the play thread never started) ---
    std::thread readThread, videoThread, subtitleThread, refreshThread;

    // --- Flags, any thread ---
    std::atomic<bool> abort{false};
    std::atomic<bool> paused{false};
    std::atomic<bool> readEof{false};        // the read thread met the end of the file
    std::atomic<bool> audioFinished{false};  // the audio decoder's last sample was handed over
    std::atomic<bool> endSignalled{false};   // psEnd reported for the current end
    std::atomic<int> serial{0};              // raised by each carried-out seek
    // The video thread passes over pictures before a paused seek's target: the read thread
    // feeds it without waiting for the queues to empty.
    std::atomic<bool> videoCatchingUp{false};
    std::atomic<bool> closed{false};
    // The audio device's handle: deviceMutex guards opening, pausing and closing it.
    std::mutex deviceMutex;

    // --- Seek request and its completion: seekMutex guards these; seekCv announces changes ---
    std::mutex seekMutex;
    std::condition_variable seekCv;
    bool seekRequested = false;
    int64_t seekTarget = 0;
    int seekFlags = 0;
    bool seekDone = true;     // the read thread carried the last request out
    int seekSerial = 0;       // the serial that the last carried-out seek started
    int shownSerial = -1;     // the serial of the picture on screen
    int videoEofSerial = -1;  // the serial under which the video decoder gave its last picture
    int queuedSerial = -1;    // the serial of the last picture put in the picture queue
    bool seekFailed = false;
    // With exactPausedSeek, a seek made while paused shows the picture at its target, not the
    // key frame before it: the pictures of `accurateSerial` ending before `accurateFrom` (s) are
    // passed over.
    int accurateSerial = -1;
    double accurateFrom = 0;

    // Read thread's sleeps: readMutex/readCv, woken by seek requests, pause changes and abort.
    std::mutex readMutex;
    std::condition_variable readCv;

    PacketQueue audioq, videoq, subtitleq;
    SlotQueue<Picture, kPictureSlots> pictq;
    SlotQueue<Subpicture, kSubpictureSlots> subpq;

    // --- Video thread only ---
    double videoClock = 0;           // time of the next expected picture (s)
    int videoDecoderSerial = 0;      // the serial of the packets the decoder is working on
    bool videoDraining = false;      // the decoder was told that no more data follows
    double videoShowFrom = NAN;      // pictures ending before this time are passed over (s)
    AVFrame* videoPassed = nullptr;  // the last one passed over: shown if the file ends first
    SwsContext* hookToRgb = nullptr;
    SwsContext* hookFromRgb = nullptr;
    // SkipFrames and SkipFramesIndex: guarded by pictq.Mutex() (the play thread grows the factor).
    double skipFrames = 1.0;
    double skipFramesIndex = 0.0;

    // --- Play thread; the pause switch (UI thread) changes the timing fields under playLock,
    // which the play thread holds while it handles one event ---
    std::mutex playLock;
    double frameTimer = 0;
    double frameLastPts = NAN;
    double frameLastDelay = 0;
    double videoCurrentPts = NAN;  // time of the picture on screen (s)
    double videoCurrentTime = 0;   // when it was put on screen (monotonic s)
    int64_t videoCurrentPos = -1;
    int playedSerial = -1;
    bool pausePending = false;  // post psPause once the first picture is on screen
    SwsContext* displaySws = nullptr;

    // The picture on screen: displayMutex guards lastShown, lastShownPts and frameSws.
    std::mutex displayMutex;
    AVFrame* lastShown = nullptr;
    double lastShownPts = NAN;
    SwsContext* frameSws = nullptr;  // for CurrentFrame

    // Play thread's event queue: eventMutex guards events and refreshPending.
    std::mutex eventMutex;
    std::condition_variable eventCv;
    std::deque<Event> events;
    bool refreshPending = false;

    // Refresh thread's sleep: refreshMutex guards refreshWakeups and refreshDelay.
    std::mutex refreshMutex;
    std::condition_variable refreshCv;
    uint64_t refreshWakeups = 0;
    double refreshDelay = 0.005;

    // --- Audio callback (SDL's audio thread) only ---
    AVFrame* aframe = nullptr;
    SwrContext* swr = nullptr;
    int swrFormat = -1, swrRate = 0;
    AVChannelLayout swrLayout{};
    std::vector<uint8_t> audioBuf;  // decoded signed 16-bit samples
    size_t audioBufSize = 0;        // valid bytes in audioBuf
    size_t audioBufIndex = 0;       // bytes already handed to the device
    bool audioBufIsData = false;
    bool audioDecoderDraining = false;

    // The audio clock: clockMutex guards these.
    mutable std::mutex clockMutex;
    double audioPtsEnd = NAN;  // time at the end of the samples decoded so far (s)
    double clockBase = NAN;    // audio clock at clockTime
    double clockTime = 0;      // when the device callback last ran (monotonic s)
    double pausedClock = NAN;  // the clock's value while paused
    bool clockPaused = false;
    double pausedAt = 0;  // when the playback was paused (monotonic s)
    double audioCallbackTime = 0;

    // The waveform ring: vizMutex guards these.
    std::mutex vizMutex;
    std::vector<int16_t> vizSamples;
    int vizIndex = 0;
    int vizLastStart = 0;

    // ---- Reading and decoding (PlaybackRead.cpp) ----
    // Starts the read thread and waits until it opened the streams (or failed). UI thread.
    bool StreamOpen();
    // Ends every thread, closes streams and the file. Play thread (or UI thread when the play
    // thread never ran). Idempotent.
    void Close();
    void RequestSeek(int64_t target, int flags);
    void readThreadMain();
    bool openFile();
    int openComponent(int streamIndex);
    void closeComponent(AVStream*& st, AVCodecContext*& dec);
    void carryOutSeek();
    void videoThreadMain();
    void subtitleThreadMain();
    // 1 a picture, 0 none (flush or a picture skipped), -1 ended.
    int getVideoFrame(AVFrame* frame, int* frameSerial);
    bool queuePicture(AVFrame* frame, double pts, double duration, int64_t pos, int frameSerial);
    void runHook(AVFrame*& frame, double pts);
    // Sleeps up to `seconds` unless woken (seek, pause change, abort).
    void readSleep(double seconds);
    void wakeRead();
    // The video decoder has given its last picture for the current serial.
    bool VideoFinished();
    bool queuesFull() const;

    // ---- Timing, display and sound (PlaybackOutput.cpp) ----
    void StartRefresh();
    void PostEvent(Event e);
    // The play thread's loop: returns when a quit event arrives (after closing).
    void EventLoop();
    void WakeRefresh();
    void refreshThreadMain();
    // One refresh: shows the picture that is due; returns the time until the next one (s).
    double refresh();
    void display();
    void drawWaveform(const QSize& size);
    QRect pictureRect(const AVFrame* frame, const QSize& surface) const;
    void showPicture(Picture& vp, double now, bool playing);
    void checkEnd();
    double targetDelay(double pts, double now) const;
    // Clocks (any thread).
    double AudioClock(double now) const;
    double VideoClock(double now) const;
    double MasterClock(double now);
    bool AudioMaster();
    // The pause switch (UI thread, playLock held by the caller).
    void SetPaused(bool pause);
    // SDL's audio callback.
    static void audioCallback(void* opaque, Uint8* stream, int len);
    void fillAudio(Uint8* stream, int len);
    int decodeAudio();
    // The picture on screen as a 24-bit image at its own size (UI thread).
    QImage CurrentImage(int64_t* pts);
};

}  // namespace player
