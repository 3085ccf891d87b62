// Damaged copies of good clips through every probe query: no crash, hang or leak (run it under
// the sanitizers), and each file either opens with sane facts or fails with a named reason.
//
// TANDREL_PROBE_FUZZ_COUNT sets the number of copies (default 200; the sanitizer run uses 1000).
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "TestMedia.h"
#include "TestSupport.h"
#include "probe/AVProbe.h"

namespace {

int copyCount() {
    const char* env = std::getenv("TANDREL_PROBE_FUZZ_COUNT");
    const int n = env ? std::atoi(env) : 0;
    return n > 0 ? n : 200;
}

// One to three kinds of damage per copy: flipped bytes (anywhere, or in the headers), a run of
// garbage, a cut, a zeroed block, or a block copied elsewhere.
std::string damageOnce(std::string bytes, std::mt19937& rng) {
    auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    switch (rng() % 6) {
        case 5:
            for (int i = 0, n = 1 + static_cast<int>(rng() % 16); i < n; ++i)
                bytes[pick(std::min<size_t>(bytes.size(), 2048))] = static_cast<char>(rng());
            break;
        case 0:
            for (int i = 0, n = 1 + static_cast<int>(rng() % 64); i < n; ++i)
                bytes[pick(bytes.size())] = static_cast<char>(rng());
            break;
        case 1: {
            const size_t at = pick(bytes.size()), len = std::min(bytes.size() - at, pick(4096) + 1);
            for (size_t i = 0; i < len; ++i) bytes[at + i] = static_cast<char>(rng());
            break;
        }
        case 2:
            bytes.resize(pick(bytes.size()));
            break;
        case 3: {
            const size_t at = pick(bytes.size()),
                         len = std::min(bytes.size() - at, pick(65536) + 1);
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), len, '\0');
            break;
        }
        default: {
            const size_t from = pick(bytes.size()), to = pick(bytes.size());
            const size_t len = std::min({pick(8192) + 1, bytes.size() - from, bytes.size() - to});
            std::string block = bytes.substr(from, len);
            bytes.replace(to, len, block);
        }
    }
    return bytes;
}

std::string damage(std::string bytes, std::mt19937& rng) {
    for (int i = 0, n = 1 + static_cast<int>(rng() % 3); i < n && !bytes.empty(); ++i)
        bytes = damageOnce(std::move(bytes), rng);
    return bytes;
}

// Every query on whatever the probe made of `path`; true when it opened.
bool probeEverything(TAVProbe& probe, const std::string& path) {
    const auto started = std::chrono::steady_clock::now();
    const bool ok = probe.LoadFile(QString::fromStdString(path));
    TFileStreamInfo file;
    TAudioStreamInfo audio;
    TVideoStreamInfo video;
    if (!ok) {
        EXPECT_EQ(probe.StreamCount(), -1);
        EXPECT_EQ(probe.LastErrorMessage().rfind(path + ": ", 0), 0u) << probe.LastErrorMessage();
        EXPECT_FALSE(probe.GetFileInfo(&file));
        return false;
    }
    EXPECT_GE(probe.StreamCount(), 0);
    EXPECT_GE(probe.FileSize(), 0);
    EXPECT_LE(probe.AudioStreamCount() + probe.VideoStreamCount() + probe.SubtitleStreamCount(),
              probe.StreamCount());
    EXPECT_TRUE(probe.GetFileInfo(&file));
    const std::string text = probe.InfoText();
    EXPECT_EQ(text.rfind("File Name: ", 0), 0u);
    EXPECT_EQ(probe.GetAudioStreamInfo(-1, &audio), probe.FirstAudioStream() >= 0);
    EXPECT_EQ(probe.GetVideoStreamInfo(-1, &video), probe.FirstVideoStream() >= 0);
    for (int i = 0; i <= probe.StreamCount(); ++i) {
        probe.GetAudioStreamInfo(i, &audio);
        probe.GetVideoStreamInfo(i, &video);
    }
    probe.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)) << path;
    return true;
}

TEST(ProbeFuzz, BrokenFixtures) {
    testsupport::LoadLibrariesOrFail();
    TAVProbe probe;
    for (const char* id :
         {"empty", "truncated", "random", "text_mp4", "mp3_truncated", "ts_truncated"}) {
        SCOPED_TRACE(id);
        probeEverything(probe, testmedia::Path(id));
    }
}

TEST(ProbeFuzz, DamagedCopiesOfGoodClips) {
    testsupport::LoadLibrariesOrFail();
    GetLogger()->SetLogLevel(llQuiet);
    const char* const sources[] = {"mp4_h264_aac", "avi_mpeg4_mp3", "mp3_tags",    "ts_mpeg2",
                                   "mkv_51",       "raw_h264",      "m4a_created", "mp3_cover",
                                   "webm_opus",    "wav_pcm"};
    std::vector<std::string> originals;
    for (const char* id : sources) originals.push_back(testsupport::ReadFile(testmedia::Path(id)));
    const std::string dir = testsupport::ScratchDir("damaged");
    const int count = copyCount();
    std::mt19937 rng(4242);
    TAVProbe probe;
    int opened = 0;
    for (int i = 0; i < count; ++i) {
        const size_t which = static_cast<size_t>(i) % originals.size();
        const std::string path = dir + "/copy-" + std::to_string(i) + "-" + sources[which];
        testsupport::WriteFile(path, damage(originals[which], rng));
        SCOPED_TRACE(path);
        opened += probeEverything(probe, path) ? 1 : 0;
        std::remove(path.c_str());
    }
    std::printf("%d damaged copies, %d opened\n", count, opened);
}

}  // namespace
