// A program with a deliberate data race in our own code, for the ThreadSanitizer build: a counter
// that two threads increment without a lock from inside callbacks the media libraries call (the
// log callback, or the read callback of our own AVIOContext). ThreadSanitizer must report it
// whatever the suppression file says; with "locked" the same run is race-free and must be clean.
//
// Usage: tsan_canary_child log|io [locked]
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SanitizerDefaults.h"
#include "engine/MediaLibraries.h"
#include "medialib/LibAV.h"

namespace {

std::mutex gLock;
bool gLocked = false;
long gCounter = 0;

void Count() {
    if (gLocked) {
        std::lock_guard<std::mutex> hold(gLock);
        ++gCounter;
    } else {
        ++gCounter;  // the race
    }
}

void CanaryLogCallback(void*, int, const char*, va_list) { Count(); }

// One second of 8 kHz mono silence as a WAV file.
std::vector<uint8_t> MakeWav() {
    const uint32_t dataBytes = 16000;
    std::vector<uint8_t> wav(44 + dataBytes, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) wav[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    auto put16 = [&](size_t at, uint16_t v) {
        wav[at] = static_cast<uint8_t>(v);
        wav[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    std::memcpy(&wav[0], "RIFF", 4);
    put32(4, 36 + dataBytes);
    std::memcpy(&wav[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);      // PCM
    put16(22, 1);      // mono
    put32(24, 8000);   // sample rate
    put32(28, 16000);  // byte rate
    put16(32, 2);      // block align
    put16(34, 16);     // bits per sample
    std::memcpy(&wav[36], "data", 4);
    put32(40, dataBytes);
    return wav;
}

struct Source {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
};

int CanaryReadCallback(void* opaque, uint8_t* buf, int size) {
    Count();
    auto* s = static_cast<Source*>(opaque);
    const size_t left = s->bytes->size() - s->pos;
    if (left == 0) return AVERROR_EOF;
    const size_t n = std::min(left, static_cast<size_t>(size));
    std::memcpy(buf, s->bytes->data() + s->pos, n);
    s->pos += n;
    return static_cast<int>(n);
}

// Opens the WAV image through our read callback and reads it to the end.
bool ReadThroughCallback(const std::vector<uint8_t>* wav) {
    Source source{wav};
    const int bufferSize = 512;
    auto* buffer = static_cast<uint8_t*>(lav::av_malloc(bufferSize));
    AVIOContext* pb = lav::avio_alloc_context(buffer, bufferSize, 0, &source, CanaryReadCallback,
                                              nullptr, nullptr);
    AVFormatContext* ic = lav::avformat_alloc_context();
    if (!pb || !ic) return false;
    ic->pb = pb;
    ic->flags |= AVFMT_FLAG_CUSTOM_IO;
    bool ok = lav::avformat_open_input(&ic, "", nullptr, nullptr) >= 0;
    if (ok) {
        AVPacket* pkt = lav::av_packet_alloc();
        while (lav::av_read_frame(ic, pkt) >= 0) lav::av_packet_unref(pkt);
        lav::av_packet_free(&pkt);
        lav::avformat_close_input(&ic);
    }
    lav::av_freep(&pb->buffer);
    lav::avio_context_free(&pb);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    gLocked = argc > 2 && std::string(argv[2]) == "locked";
    if (mode != "log" && mode != "io") {
        std::fprintf(stderr, "usage: tsan_canary_child log|io [locked]\n");
        return 2;
    }
    std::string error;
    if (!LoadMediaLibraries(kConversionSet, QString(), &error)) {
        std::fprintf(stderr, "cannot bind the media libraries: %s\n", error.c_str());
        return 3;
    }
    const std::vector<uint8_t> wav = MakeWav();
    bool ok = true;
    std::mutex okLock;
    auto work = [&] {
        if (mode == "log") {
            for (int i = 0; i < 200; ++i) lav::av_log(nullptr, AV_LOG_ERROR, "canary %d\n", i);
        } else if (!ReadThroughCallback(&wav)) {
            std::lock_guard<std::mutex> hold(okLock);
            ok = false;
        }
    };
    if (mode == "log") lav::av_log_set_callback(CanaryLogCallback);
    std::thread a(work), b(work);
    a.join();
    b.join();
    if (mode == "log") lav::av_log_set_callback(lav::av_log_default_callback);
    std::printf("%ld calls\n", gCounter);
    return ok ? 0 : 4;
}
