// Files the probe cannot open, names it must not open, and what a failure leaves behind.
#include <QJsonObject>
#include <chrono>
#include <future>
#include <stdexcept>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ProbeTestUtil.h"
#include "TestMedia.h"
#include "TestSupport.h"
#include "engine/UnicodeProtocol.h"
#include "medialib/LibAV.h"
#include "probe/AVProbe.h"

namespace {

void expectClosed(const TCustomAVProbe& probe) {
    EXPECT_EQ(probe.Context(), nullptr);
    EXPECT_EQ(probe.FileSize(), -1);
    EXPECT_EQ(probe.StreamCount(), -1);
    EXPECT_EQ(probe.ProgramCount(), -1);
    EXPECT_EQ(probe.AudioStreamCount(), -1);
    EXPECT_EQ(probe.VideoStreamCount(), -1);
    EXPECT_EQ(probe.SubtitleStreamCount(), -1);
    EXPECT_EQ(probe.FirstAudioStream(), -1);
    EXPECT_EQ(probe.FirstVideoStream(), -1);
    EXPECT_EQ(probe.FirstSubtitleStream(), -1);
}

// The last non-empty line of a command's output, without its line end.
std::string lastLine(const std::string& text) {
    const size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos) return {};
    const size_t newline = text.rfind('\n', end);
    const size_t start = newline == std::string::npos ? 0 : newline + 1;
    return text.substr(start, end + 1 - start);
}

class ProbeFailure : public ::testing::Test {
protected:
    void SetUp() override { testsupport::LoadLibrariesOrFail(); }

    // Loads a good clip first, so that each failure must also undo an open probe.
    void loadGood() {
        ASSERT_TRUE(probe_.LoadFile(QString::fromStdString(testmedia::Path("mp4_h264_aac"))));
        ASSERT_EQ(probe_.StreamCount(), 2);
    }

    // LoadFile on another thread, so that a name which blocks fails the test instead of
    // hanging it; the blocked open is released through `unblock`.
    bool loadWithin(const std::string& path, std::chrono::seconds limit,
                    const std::function<void()>& unblock) {
        auto result = std::async(std::launch::async,
                                 [&] { return probe_.LoadFile(QString::fromStdString(path)); });
        if (result.wait_for(limit) != std::future_status::ready) {
            unblock();
            result.wait();
            ADD_FAILURE() << path << " blocked the probe";
        }
        return result.get();
    }

    TAVProbe probe_;
};

TEST_F(ProbeFailure, MissingFileNamesTheSystemError) {
    loadGood();
    const std::string path = testsupport::ScratchDir("missing") + "/none.mp4";
    EXPECT_FALSE(probe_.LoadFile(QString::fromStdString(path)));
    EXPECT_EQ(probe_.LastErrorMessage(), path + ": No such file or directory");
    expectClosed(probe_);
}

TEST_F(ProbeFailure, UnreadableContentIsInvalidData) {
    for (const char* id : {"empty", "text_mp4", "truncated"}) {
        SCOPED_TRACE(id);
        loadGood();
        const std::string path = testmedia::Path(id);
        EXPECT_FALSE(probe_.LoadFile(QString::fromStdString(path)));
        EXPECT_EQ(probe_.LastErrorMessage(), path + ": Invalid data found when processing input");
        expectClosed(probe_);
        TFileStreamInfo info;
        EXPECT_FALSE(probe_.GetFileInfo(&info));
        EXPECT_EQ(info.Duration, -1);
        EXPECT_EQ(probe_.InfoText(), "");
        EXPECT_EQ(probe_.LastErrorMessage(), "file not loaded.");
    }
}

TEST_F(ProbeFailure, ReferenceToolAgreesOnTheBrokenFixtures) {
    for (const char* id : {"empty", "text_mp4", "truncated", "random"}) {
        SCOPED_TRACE(id);
        const std::string path = testmedia::Path(id);
        const bool opened = probe_.LoadFile(QString::fromStdString(path));
        const testsupport::CommandResult tool =
            testsupport::RunCapturing("ffprobe -v error -show_format " + testmedia::Quote(path));
        // The tool's verdict is its exit status; its last line of errors names the reason.
        EXPECT_EQ(tool.status == 0, opened) << tool.err;
        if (opened) {
            EXPECT_TRUE(probetest::ReferenceFacts(path).contains("format")) << tool.err;
        } else {
            EXPECT_EQ(probe_.LastErrorMessage(), lastLine(tool.err));
        }
    }
}

TEST_F(ProbeFailure, DirectoryIsRefusedWithoutOpening) {
    const std::string dir = testsupport::ScratchDir("a folder");
    EXPECT_FALSE(loadWithin(dir, std::chrono::seconds(10), [] {}));
    EXPECT_EQ(probe_.LastErrorMessage(), dir + ": Is a directory");
    expectClosed(probe_);
}

TEST_F(ProbeFailure, FifoIsRefusedWithoutBlocking) {
    const std::string fifo = testsupport::ScratchDir("fifo") + "/pipe.mp4";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const bool ok = loadWithin(fifo, std::chrono::seconds(10), [&] {
        // A reader blocked in open() goes on once a writer appears; closing gives it EOF.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(probe_.LastErrorMessage(), fifo + ": Not a regular file");
    expectClosed(probe_);
}

TEST_F(ProbeFailure, DeviceIsRefused) {
    EXPECT_FALSE(loadWithin("/dev/zero", std::chrono::seconds(10), [] {}));
    EXPECT_EQ(probe_.LastErrorMessage(), "/dev/zero: Not a regular file");
}

TEST_F(ProbeFailure, FailureIsReportedThroughTheLogRelay) {
    std::vector<std::pair<TLogLevel, std::string>> lines;
    TFFLogger* logger = GetLogger();
    logger->SetTriggerEventInMainThread(false);
    logger->SetLogLevel(llError);
    logger->SetOnLog([&](void* sender, uint32_t, TLogLevel level, const std::string& msg) {
        if (sender == &probe_) lines.emplace_back(level, msg);
    });
    const std::string path = testmedia::Path("text_mp4");
    EXPECT_FALSE(probe_.LoadFile(QString::fromStdString(path)));
    logger->SetOnLog(nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].first, llError);
    EXPECT_EQ(lines[0].second, path + ": Invalid data found when processing input");
}

TEST_F(ProbeFailure, UnknownForcedFormatIsStoredOnly) {
    const std::string path = testmedia::Path("audio_mp3");
    EXPECT_FALSE(probe_.LoadFile(QString::fromStdString(path), "no-such-format"));
    EXPECT_EQ(probe_.LastErrorMessage(), "Unknown input format: no-such-format");
    expectClosed(probe_);
    ASSERT_TRUE(probe_.LoadFile(QString::fromStdString(path), "mp3"));
    EXPECT_EQ(probe_.ForcedFormat(), "mp3");
    probe_.Close();
    EXPECT_EQ(probe_.ForcedFormat(), "");
    // A forced format that does not fit the content fails like any unreadable file.
    EXPECT_FALSE(probe_.LoadFile(QString::fromStdString(testmedia::Path("text_mp4")), "mpegts"));
    EXPECT_EQ(probe_.ForcedFormat(), "");
}

TEST_F(ProbeFailure, TruncatedStreamsStillOpenWithTheReferenceDuration) {
    for (const char* id : {"mp3_truncated", "ts_truncated"}) {
        SCOPED_TRACE(id);
        const std::string path = testmedia::Path(id);
        ASSERT_TRUE(probe_.LoadFile(QString::fromStdString(path))) << probe_.LastErrorMessage();
        TFileStreamInfo info;
        ASSERT_TRUE(probe_.GetFileInfo(&info));
        const QJsonObject format = probetest::ReferenceFacts(path)["format"].toObject();
        EXPECT_GT(info.Duration, 0);
        EXPECT_EQ(info.Duration, probetest::SecondsToMicro(format["duration"].toString()));
    }
}

TEST_F(ProbeFailure, AttachedContextStaysWithItsOwner) {
    AVFormatContext* ic = nullptr;
    ASSERT_EQ(OpenMediaInput(&ic, QString::fromStdString(testmedia::Path("avi_mpeg4_mp3"))), 0);
    ASSERT_GE(lav::avformat_find_stream_info(ic, nullptr), 0);
    {
        TAVProbe attached;
        attached.AttachContext(ic);
        EXPECT_FALSE(attached.OwnsContext());
        EXPECT_EQ(attached.StreamCount(), 2);
        EXPECT_EQ(attached.FirstVideoStream(), 0);
        EXPECT_EQ(attached.FirstAudioStream(), 1);
        attached.Close();
        expectClosed(attached);
        attached.AttachContext(ic);
        // Destroyed while attached: the context must survive.
    }
    AVPacket* pkt = lav::av_packet_alloc();
    EXPECT_GE(lav::av_read_frame(ic, pkt), 0);
    lav::av_packet_free(&pkt);
    CloseMediaInput(&ic);
}

TEST(ProbeWithoutLibraries, LoadAndAttachRaise) {
    if (FFLoader().IsLoaded(TLibraryKind::avcodec))
        GTEST_SKIP() << "another test of this process bound the libraries";
    TAVProbe probe;
    try {
        probe.LoadFile(QStringLiteral("/nonexistent.mp4"));
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
    }
    EXPECT_THROW(probe.AttachContext(nullptr), std::runtime_error);
    expectClosed(probe);
}

}  // namespace
