// What reaches the output folder, and what a task reports, when conversions go wrong: files
// appear under their final name only whole and checked, a failure leaves the folder as it was,
// a name taken meanwhile is never overwritten, stalls end, and errors say what the system said.
// Outputs and inputs are judged with the ffprobe program, never with our own reading code.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>

#include "TestMedia.h"
#include "TestSupport.h"
#include "engine/CommandLine.h"
#include "engine/FFUtils.h"
#include "engine/FFmpeg.h"
#include "engine/MainThread.h"
#include "engine/OutputFiles.h"
#include "engine/UnicodeProtocol.h"
#include "formats/RecordBuilder.h"
#include "medialib/LibAV.h"

namespace fs = std::filesystem;

namespace {

// The container's duration ffprobe reads, in seconds; -1 when it cannot read the file.
double probedDuration(const std::string& path) {
    const QJsonObject f = testsupport::FfprobeJson(path)["format"].toObject();
    return f.contains("duration") ? f["duration"].toString().toDouble() : -1;
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

int temporariesIn(const std::string& dir) {
    int n = 0;
    for (const std::string& name : namesIn(dir)) n += ParseTemporaryName(QString::fromStdString(name), nullptr);
    return n;
}

class OutputSafety : public ::testing::Test {
protected:
    void SetUp() override {
        mainthread::SetUiThread();
        testsupport::LoadLibrariesOrFail();
        dir = testsupport::ScratchDir("outputs");
    }
    std::string out(const std::string& name) const { return dir + "/" + name; }
    // A task built from a command line, not run yet.
    std::unique_ptr<TCustomFFmpeg> build(const std::vector<std::string>& words) {
        auto task = std::make_unique<TCustomFFmpeg>();
        task->SetOption("v", "-1");
        std::string message;
        EXPECT_EQ(ApplyCommandLine(*task, words, false, &message), CommandLineResult::Ok)
            << message;
        task->SetProgressInterval(0);
        return task;
    }
    std::string dir;
};

}  // namespace

TEST_F(OutputSafety, TheFileAppearsUnderItsNameOnlyWhenWhole) {
    const std::string o = out("whole.mkv");
    auto task = build({"-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-acodec", "mp2", o});
    int reports = 0, hiddenWhileRunning = 0;
    bool finalSeenWhileRunning = false;
    task->SetOnProgress([&](TCustomFFmpeg&, const TProgressInfo&) {
        ++reports;
        finalSeenWhileRunning |= fs::exists(o);
        hiddenWhileRunning = std::max(hiddenWhileRunning, temporariesIn(dir));
    });
    task->RunConversion();
    ASSERT_TRUE(task->Finished()) << task->ErrorMessage();
    ASSERT_GT(reports, 1);
    EXPECT_FALSE(finalSeenWhileRunning);
    EXPECT_EQ(hiddenWhileRunning, 1) << "one hidden temporary file while converting";
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"whole.mkv"});
    EXPECT_NEAR(probedDuration(o), 10.0, 0.2);
}

TEST_F(OutputSafety, ATaskWhoseSecondOutputFailsLeavesEveryFileAsItWas) {
    fs::create_directories(out("a"));
    fs::create_directories(out("b"));
    const std::string first = out("a/kept.mkv");
    testsupport::WriteFile(first, "precious bytes");
    // The second output's folder is moved away while the task runs: its file cannot be finished,
    // so the first (which would replace a file) must not be either.
    auto task = build({"-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-acodec", "mp2",
                       first, "-vcodec", "mpeg4", "-an", out("b/second.mkv")});
    task->SetOnProgress([&](TCustomFFmpeg&, const TProgressInfo&) {
        if (fs::exists(out("b"))) fs::rename(out("b"), out("moved"));
    });
    task->RunConversion();
    EXPECT_FALSE(task->Finished());
    EXPECT_TRUE(task->HasError());
    EXPECT_EQ(task->ErrorMessage().rfind(out("b/second.mkv") + ": ", 0), 0u) << task->ErrorMessage();
    EXPECT_TRUE(testsupport::ReadFile(first) == "precious bytes");
    EXPECT_EQ(namesIn(out("a")), std::vector<std::string>{"kept.mkv"});
    EXPECT_EQ(namesIn(out("moved")), std::vector<std::string>{}) << "no temporary file left";
}

TEST_F(OutputSafety, CommitIsAllOrNoneAndNumbersPastTakenNames) {
    const QString folder = QString::fromStdString(dir);
    testsupport::WriteFile(out("a.mp4"), "old a");
    testsupport::WriteFile(out("b.mp4"), "old b");
    testsupport::WriteFile(out("b(New_1).mp4"), "old b1");
    std::vector<PendingOutput> pending = {
        {TemporaryOutputName(folder + "/a.mp4"), folder + "/a.mp4", ExistingOutput::Replace},
        {TemporaryOutputName(folder + "/b.mp4"), folder + "/b.mp4", ExistingOutput::Number},
        // Its file is gone: the third rename fails, and the first two are taken back.
        {TemporaryOutputName(folder + "/c.mp4"), folder + "/c.mp4", ExistingOutput::Replace},
    };
    testsupport::WriteFile(pending[0].temporary.toStdString(), "new a");
    testsupport::WriteFile(pending[1].temporary.toStdString(), "new b");
    size_t failed = 99;
    EXPECT_EQ(CommitOutputs(pending, &failed), AVERROR(ENOENT));
    EXPECT_EQ(failed, 2u);
    EXPECT_EQ(testsupport::ReadFile(out("a.mp4")), "old a");
    EXPECT_EQ(testsupport::ReadFile(out("b.mp4")), "old b");
    EXPECT_EQ(testsupport::ReadFile(pending[0].temporary.toStdString()), "new a");
    EXPECT_EQ(testsupport::ReadFile(pending[1].temporary.toStdString()), "new b");
    EXPECT_FALSE(fs::exists(out("b(New_2).mp4")));

    EXPECT_EQ(pending[1].finalName, folder + "/b.mp4");
    pending.pop_back();
    ASSERT_EQ(CommitOutputs(pending, &failed), 0);
    EXPECT_EQ(pending[0].finalName, folder + "/a.mp4");
    EXPECT_EQ(pending[1].finalName, folder + "/b(New_2).mp4");
    EXPECT_EQ(testsupport::ReadFile(out("a.mp4")), "new a");
    EXPECT_EQ(testsupport::ReadFile(out("b.mp4")), "old b");
    EXPECT_EQ(testsupport::ReadFile(out("b(New_1).mp4")), "old b1");
    EXPECT_EQ(testsupport::ReadFile(out("b(New_2).mp4")), "new b");
    EXPECT_EQ(temporariesIn(dir), 0) << "the replaced file goes once all are in place";
}

TEST_F(OutputSafety, ASourceShorterThanItStatesIsConvertedAsFarAsItGoesAndSaysSo) {
    // The mp3's header says 3.03 s, its frames hold 1.8 s (an incomplete download).
    const std::string o = out("short.mka");
    testsupport::WriteFile(o, "replaced");
    auto task = build({"-i", testmedia::Path("mp3_truncated"), "-acodec", "mp2", o});
    task->RunConversion();
    ASSERT_TRUE(task->Finished()) << task->ErrorMessage();
    EXPECT_FALSE(task->HasError());
    EXPECT_EQ(task->Warning(), testmedia::Path("mp3_truncated") +
                                   ": what can be read ends at 00:00:01.803, before the "
                                   "00:00:03.030 the file states (incomplete or damaged); "
                                   "converted as far as it goes");
    EXPECT_NEAR(probedDuration(o), 1.8, 0.1);

    // A whole file says nothing.
    auto whole = build({"-i", testmedia::Path("mp3_tags"), "-acodec", "mp2", out("whole.mka")});
    whole->RunConversion();
    ASSERT_TRUE(whole->Finished()) << whole->ErrorMessage();
    EXPECT_EQ(whole->Warning(), "");
}

TEST_F(OutputSafety, AWrittenFileHoldingLessThanWasWrittenNamesBothLengths) {
    // What a conversion checks its finished file against (here a 2 s WAV said to hold 3.03 s).
    OutputExpectation expected;
    expected.audioStreams = 1;
    expected.writtenUs = 3030204;
    const QString file = QString::fromStdString(testmedia::Path("wav_pcm"));
    int64_t length = 0;
    EXPECT_EQ(VerifyOutput(file, QStringLiteral("shown.wav"), expected, &length),
              "shown.wav: the written file lasts 00:00:02.000, less than the 00:00:03.030 written "
              "into it");
    EXPECT_EQ(length, 2000000);
    expected.writtenUs = 2500000;  // within a second
    EXPECT_EQ(VerifyOutput(file, QStringLiteral("shown.wav"), expected), "");
    expected.writtenUs = 1000000;  // more than was written is no fault
    EXPECT_EQ(VerifyOutput(file, QStringLiteral("shown.wav"), expected), "");
    expected.videoStreams = 1;
    EXPECT_NE(VerifyOutput(file, QStringLiteral("shown.wav"), expected), "");
}

TEST_F(OutputSafety, NumberedNamesNeverReplaceAFileWheneverItAppeared) {
    for (const bool beforeStart : {true, false}) {
        SCOPED_TRACE(beforeStart ? "there before the task" : "appeared during the task");
        const std::string o = out(beforeStart ? "before.mkv" : "during.mkv");
        if (beforeStart) testsupport::WriteFile(o, "someone else's file");
        auto task =
            build({"-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-acodec", "mp2", o});
        task->SetExistingOutput(ExistingOutput::Number);
        task->SetOnProgress([&](TCustomFFmpeg&, const TProgressInfo&) {
            if (!fs::exists(o)) testsupport::WriteFile(o, "someone else's file");
        });
        task->RunConversion();
        ASSERT_TRUE(task->Finished()) << task->ErrorMessage();
        EXPECT_EQ(testsupport::ReadFile(o), "someone else's file");
        const std::string numbered = o.substr(0, o.size() - 4) + "(New_1).mkv";
        EXPECT_EQ(task->OutputFileName(0).toStdString(), numbered);
        EXPECT_NEAR(probedDuration(numbered), 10.0, 0.2);
    }
    EXPECT_EQ(temporariesIn(dir), 0);

    // Overwriting is what the other policy asks for: the file under the name is replaced.
    const std::string o2 = out("replaced.mkv");
    testsupport::WriteFile(o2, "old");
    auto task2 =
        build({"-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-acodec", "mp2", o2});
    task2->RunConversion();
    ASSERT_TRUE(task2->Finished()) << task2->ErrorMessage();
    EXPECT_EQ(task2->OutputFileName(0).toStdString(), o2);
    EXPECT_NEAR(probedDuration(o2), 10.0, 0.2);
}

TEST_F(OutputSafety, AStopNeverPutsAPartialFileInPlaceOfAWholeOne) {
    const std::string o = out("complete.mkv");
    testsupport::WriteFile(o, "a complete file");
    auto task = build({"-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-acodec", "mp2", o});
    task->SetExistingOutput(ExistingOutput::Replace);  // the user chose to overwrite
    task->SetOnProgress([](TCustomFFmpeg& t, const TProgressInfo&) { t.RequestStop(); });
    task->RunConversion();
    EXPECT_FALSE(task->Finished());
    EXPECT_FALSE(task->HasError()) << task->ErrorMessage();
    EXPECT_EQ(testsupport::ReadFile(o), "a complete file");
    const std::string partial = out("complete(New_1).mkv");
    EXPECT_EQ(task->OutputFileName(0).toStdString(), partial);
    const double kept = probedDuration(partial);
    EXPECT_GT(kept, 0.0);
    EXPECT_LT(kept, 9.0);
    EXPECT_EQ(temporariesIn(dir), 0);
}

TEST_F(OutputSafety, OnlyLeftoversOfGoneProcessesAreRemoved) {
    // A process that has ended: its pid is free (until reused, which the check tolerates).
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::string gone = std::to_string(child), alive = std::to_string(::getppid()),
                      self = std::to_string(::getpid());
    const std::vector<std::string> removed = {
        ".movie.mp4.tandrel-" + gone + "-1.part",
        ".其他 name.mkv.tandrel-" + self + "-7.part",  // this process has not converted yet
    };
    const std::vector<std::string> kept = {
        ".movie.mp4.tandrel-" + alive + "-1.part",  // a conversion that is running
        "movie.mp4.tandrel-" + gone + "-1.part",    // not hidden: not ours
        ".movie.mp4.tandrel-x-1.part",
        ".movie.mp4.part",
        "movie.mp4",
    };
    for (const auto& n : removed) testsupport::WriteFile(out(n), "x");
    for (const auto& n : kept) testsupport::WriteFile(out(n), "x");
    fs::create_directory(out(".folder.tandrel-" + gone + "-2.part"));
    EXPECT_EQ(RemoveLeftoverOutputs(QString::fromStdString(dir)), 2);
    std::vector<std::string> expected = kept;
    expected.push_back(".folder.tandrel-" + gone + "-2.part");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(dir), expected);
}

TEST_F(OutputSafety, TemporaryNamesStayWithinTheNameLimit) {
    const QString longName = QString::fromStdString(dir) + "/" + QString(120, QChar(0x6587)) +
                             ".mp4";  // 360 bytes of UTF-8: longer than a file system takes
    const QString temp = TemporaryOutputName(longName);
    EXPECT_LE(NativeFileName(ExtractFileName(temp)).size(), 255);
    EXPECT_TRUE(ParseTemporaryName(ExtractFileName(temp), nullptr));
    EXPECT_EQ(ExtractFilePath(temp), ExtractFilePath(longName));
    EXPECT_NE(TemporaryOutputName(longName), temp) << "every conversion its own";
}

namespace {

struct BrokenInput {
    std::string name;
    double claimed;  // what ffprobe says the input lasts
};

// A 3 s clip in each of ten containers, then cut short (`damage` false) or with its middle
// third overwritten by noise.
std::vector<BrokenInput> makeBrokenInputs(const std::string& dir, bool damage) {
    const std::vector<std::pair<std::string, std::string>> kinds = {
        {"mkv", "-c:v mpeg4 -c:a mp2"},           {"avi", "-c:v mpeg4 -c:a libmp3lame"},
        {"mp4", "-c:v mpeg4 -c:a aac -movflags +faststart"},
        {"wav", "-vn -c:a pcm_s16le"},           {"mp3", "-vn -c:a libmp3lame"},
        {"flv", "-c:v flv1 -c:a libmp3lame"},    {"asf", "-c:v wmv2 -c:a wmav2"},
        {"flac", "-vn -c:a flac"},               {"webm", "-c:v libvpx -deadline realtime -c:a libvorbis"},
        {"mpg", "-c:v mpeg2video -c:a mp2"},
    };
    std::mt19937 rng(damage ? 20261209 : 1209);
    std::vector<BrokenInput> inputs;
    for (const auto& [ext, codecs] : kinds) {
        const std::string whole = dir + "/whole." + ext;
        std::string error;
        EXPECT_TRUE(testmedia::RunFfmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=3 "
                                         "-f lavfi -i sine=frequency=440:duration=3 " +
                                             codecs + " " + testmedia::Quote(whole),
                                         &error))
            << error;
        std::string bytes = testsupport::ReadFile(whole);
        if (damage) {
            for (size_t i = bytes.size() / 3; i < bytes.size() * 2 / 3; ++i)
                bytes[i] = static_cast<char>(rng());
        } else {
            bytes.resize(bytes.size() * 11 / 20);
        }
        const std::string name = dir + (damage ? "/damaged." : "/truncated.") + ext;
        testsupport::WriteFile(name, bytes);
        fs::remove(whole);
        inputs.push_back({name, probedDuration(name)});
    }
    return inputs;
}

}  // namespace

TEST_F(OutputSafety, BrokenInputsGiveWhatTheyHoldAndSaySoOrFailLeavingNothing) {
    const std::string inputs = testsupport::ScratchDir("broken-inputs");
    int finished = 0, failed = 0, refused = 0;
    int truncatedFinished = 0, truncatedRefused = 0;
    for (bool damage : {false, true}) {
        for (const BrokenInput& in : makeBrokenInputs(inputs, damage)) {
            const std::string o = out(fs::path(in.name).filename().string() + ".mkv");
            auto task = std::make_unique<TCustomFFmpeg>();
            task->SetOption("v", "-1");
            std::string message;
            if (ApplyCommandLine(*task, {"-i", in.name, "-vcodec", "mpeg4", "-acodec", "mp2", o},
                                 false, &message) != CommandLineResult::Ok) {
                ++refused;  // not even opened: nothing to report as finished
                truncatedRefused += !damage;
                EXPECT_FALSE(fs::exists(o));
                continue;
            }
            task->RunConversion();
            SCOPED_TRACE(in.name + " (ffprobe: " + std::to_string(in.claimed) + " s)");
            if (task->Finished()) {
                ++finished;
                truncatedFinished += !damage;
                // An input of no stated length (a cut ASF) has no length to fall short of.
                if (in.claimed <= 0) continue;
                const double d = probedDuration(o);
                const double tolerance = std::max(1.0, in.claimed * 0.02);
                EXPECT_LE(d, in.claimed + tolerance);
                // Short of what the input states only with a word to the user, and then as
                // long as what the ffmpeg program makes of the same input.
                if (d < in.claimed - tolerance) {
                    EXPECT_NE(task->Warning().find(in.name + ": what can be read ends at"),
                              std::string::npos)
                        << "a short file reported finished without a word";
                    const std::string ref = o + ".ref.mkv";
                    std::string error;
                    ASSERT_TRUE(testmedia::RunFfmpeg("-i " + testmedia::Quote(in.name) +
                                                         " -vcodec mpeg4 -acodec mp2 " +
                                                         testmedia::Quote(ref),
                                                     &error))
                        << error;
                    EXPECT_NEAR(d, probedDuration(ref), tolerance);
                    fs::remove(ref);
                }
            } else {
                ++failed;
                EXPECT_TRUE(task->HasError());
                EXPECT_EQ(task->ErrorMessage().find("Error number"), std::string::npos)
                    << task->ErrorMessage();
                EXPECT_FALSE(fs::exists(o)) << "nothing under the final name";
            }
            EXPECT_EQ(temporariesIn(dir), 0);
        }
    }
    EXPECT_EQ(finished + failed + refused, 20);
    // Every input that was only cut short and still opens gives what it holds.
    EXPECT_EQ(truncatedFinished + truncatedRefused, 10) << "a cut-short input failed";
}

TEST_F(OutputSafety, AStalledOutputEndsTheTaskWithAnError) {
    const std::string fifo = out("nobody-reads");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opened for reading and never read: writes fill the pipe, then wait for ever.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    auto task = build({"-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-f", "matroska",
                       fifo});
    task->SetStallLimit(std::chrono::milliseconds(1000));
    const auto start = std::chrono::steady_clock::now();
    task->RunConversion();
    const auto took = std::chrono::steady_clock::now() - start;
    ::close(reader);
    EXPECT_FALSE(task->Finished());
    EXPECT_TRUE(task->HasError());
    EXPECT_EQ(task->ErrorMessage(), fifo + ": no progress for 1 s");
    EXPECT_GE(took, std::chrono::milliseconds(1000));
    EXPECT_EQ(task->OpenCodecCount(), 0);
    EXPECT_TRUE(fs::is_fifo(fifo)) << "a FIFO is written to, never removed";
}

TEST_F(OutputSafety, APausedTaskIsNotAStall) {
    const std::string o = out("paused.mkv");
    auto task = build({"-i", testmedia::Path("mp4_h264_aac"), "-vcodec", "mpeg4", "-acodec",
                       "mp2", o});
    task->SetStallLimit(std::chrono::milliseconds(100));
    bool pausedOnce = false;
    // The component's pause waits in this callback; here it waits ten limits once.
    task->SetCheckpoint([&] {
        if (pausedOnce) return;
        pausedOnce = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    });
    task->RunConversion();
    EXPECT_TRUE(pausedOnce);
    EXPECT_TRUE(task->Finished()) << task->ErrorMessage();
    EXPECT_NEAR(probedDuration(o), 2.0, 0.2);
}

TEST_F(OutputSafety, WriteErrorsReadAsTheSystemSaysThem) {
    auto task = build({"-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-f", "avi",
                       "/dev/full"});
    task->RunConversion();
    EXPECT_TRUE(task->HasError());
    EXPECT_EQ(task->ErrorMessage(), "/dev/full: No space left on device");
    EXPECT_TRUE(fs::exists("/dev/full"));
    // The library's words, not a number.
    EXPECT_EQ(LibraryErrorText(AVERROR(ENOSPC)), "No space left on device");
    EXPECT_EQ(LibraryErrorText(AVERROR(EFBIG)), "File too large");
    EXPECT_EQ(LibraryErrorText(AVERROR(EACCES)), "Permission denied");
    EXPECT_EQ(LibraryErrorText(-1234), "Error number -1234 occurred");
}
