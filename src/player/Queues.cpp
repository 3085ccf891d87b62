// Packet, picture and subtitle queues of the playback pipeline.
#include <chrono>

#include <pthread.h>

#include "player/Playback.h"

namespace player {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

namespace {
thread_local bool tPlayerThread = false;
}

void NameThread(const char* name) {
    ::pthread_setname_np(::pthread_self(), name);
    tPlayerThread = true;
}

bool OnPlayerThread() { return tPlayerThread; }

void Picture::Reset() {
    if (frame) lav::av_frame_free(&frame);
    frame = nullptr;
}

void Subpicture::Reset() {
    if (valid) lav::avsubtitle_free(&sub);
    valid = false;
}

void PacketQueue::push(QueueItem item, int64_t size) {
    {
        std::lock_guard<std::mutex> lk(mutex_);
        items_.push_back(item);
        if (item.kind == QueueItem::Data) ++count_;
        bytes_ += size + static_cast<int64_t>(sizeof(QueueItem));
    }
    cv_.notify_all();
}

void PacketQueue::Start(int serial) {
    {
        std::lock_guard<std::mutex> lk(mutex_);
        abort_ = false;
    }
    PutFlush(serial);
}

bool PacketQueue::Put(AVPacket* pkt) {
    {
        std::lock_guard<std::mutex> lk(mutex_);
        if (abort_) return false;
    }
    AVPacket* owned = lav::av_packet_alloc();
    if (!owned) return false;
    lav::av_packet_move_ref(owned, pkt);
    push({QueueItem::Data, owned, 0}, owned->size);
    return true;
}

void PacketQueue::PutFlush(int serial) { push({QueueItem::Flush, nullptr, serial}, 0); }

void PacketQueue::PutDrain() { push({QueueItem::Drain, nullptr, 0}, 0); }

int PacketQueue::Get(QueueItem* item, bool block) {
    std::unique_lock<std::mutex> lk(mutex_);
    for (;;) {
        if (abort_) return -1;
        if (!items_.empty()) {
            *item = items_.front();
            items_.pop_front();
            if (item->kind == QueueItem::Data) {
                --count_;
                bytes_ -= item->pkt->size;
            }
            bytes_ -= static_cast<int64_t>(sizeof(QueueItem));
            return 1;
        }
        if (!block) return 0;
        cv_.wait(lk);
    }
}

void PacketQueue::Abort() {
    {
        std::lock_guard<std::mutex> lk(mutex_);
        abort_ = true;
    }
    cv_.notify_all();
}

void PacketQueue::Clear() {
    std::deque<QueueItem> items;
    {
        std::lock_guard<std::mutex> lk(mutex_);
        items.swap(items_);
        count_ = 0;
        bytes_ = 0;
    }
    for (QueueItem& it : items)
        if (it.pkt) lav::av_packet_free(&it.pkt);
}

int PacketQueue::Count() const {
    std::lock_guard<std::mutex> lk(mutex_);
    return static_cast<int>(items_.size());
}

int64_t PacketQueue::Bytes() const {
    std::lock_guard<std::mutex> lk(mutex_);
    return bytes_;
}

}  // namespace player
