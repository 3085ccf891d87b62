// tandrel-cli killed with SIGKILL at random moments (seeded, so a failure can be replayed):
// whatever the moment, no file under a final name fails to probe, each killed run leaves at most
// one temporary file, and the next start removes them. Half the runs go through `convert` (the
// batch component), the others through `transcode` (the task core alone).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "CliTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Starts `program` with `args`, its output thrown away.
pid_t spawnProgram(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

pid_t spawnCli(const std::vector<std::string>& args) { return spawnProgram(TANDREL_CLI, args); }

// Lets the child run for `delay`, then kills it unless it has ended. True when it was killed.
bool killAfter(pid_t pid, std::chrono::milliseconds delay) {
    const auto deadline = std::chrono::steady_clock::now() + delay;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status);
}

bool isTemporary(const std::string& name) {
    return name.size() > 1 && name[0] == '.' && name.find(".tandrel-") != std::string::npos &&
           name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0;
}

// ffprobe reads the container and finds at least one stream.
bool probes(const std::string& path) {
    std::string out;
    const int rc = testsupport::Run("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " +
                                        testmedia::Quote(path) + " 2>/dev/null",
                                    &out);
    return rc == 0 && !out.empty();
}

}  // namespace

TEST(KillCli, AKilledConversionNeverLeavesABrokenFileUnderAFinalName) {
    const std::string dir = testsupport::ScratchDir("killed");
    const std::string src = testmedia::Path("clip10s");
    // Through the component: one profile of each container family.
    const std::vector<const char*> profiles = {"312", "313", "322", "315", "316", "314", "324",
                                               "23",  "300", "308", "306", "311", "305", "310"};
    // Through the task core.
    const std::vector<std::vector<std::string>> transcodes = {
        {"-vcodec", "mpeg4", "-acodec", "mp2", "t.mkv"},
        {"-vcodec", "mpeg4", "-acodec", "aac", "t.mp4"},
        {"-vcodec", "mpeg4", "-acodec", "libmp3lame", "t.avi"},
        {"-vcodec", "mpeg2video", "-acodec", "mp2", "t.ts"},
        {"-vcodec", "mpeg4", "-acodec", "aac", "t.mov"},
        {"-vn", "-acodec", "mp2", "t.mka"},
    };
    // How long one whole run takes here (a loaded machine, a sanitizer build): kills are drawn
    // from that span and a little past it.
    const std::string calibration = testsupport::ScratchDir("killed-calibration");
    const auto started = std::chrono::steady_clock::now();
    const testsupport::CommandResult whole = testsupport::Cli(
        "convert --profile 312 --progress none --out " + testmedia::Quote(calibration) + " " +
        testmedia::Quote(src));
    ASSERT_EQ(whole.status, 0) << whole.out << whole.err;
    const auto span = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    std::mt19937 rng(15);
    std::uniform_int_distribution<int> delayMs(0, static_cast<int>(span.count() * 6 / 5));
    int runs = 0, killed = 0, leftBehind = 0;
    auto check = [&](const std::string& what) {
        std::map<std::string, int> perRun;  // temporary files by the pid in their name
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string name = e.path().filename();
            if (isTemporary(name)) {
                const size_t at = name.rfind(".tandrel-") + 9;
                ++perRun[name.substr(at, name.find('-', at) - at)];
                continue;
            }
            EXPECT_TRUE(probes(e.path())) << what << ": " << name << " under a final name";
        }
        for (const auto& [pid, count] : perRun) EXPECT_EQ(count, 1) << what << ": pid " << pid;
        // A start removes what killed runs before it left (unless it is killed before that).
        EXPECT_LE(perRun.size(), 2u) << what;
        leftBehind = std::max(leftBehind, static_cast<int>(perRun.size()));
    };
    for (size_t i = 0; i < profiles.size() + transcodes.size(); ++i) {
        std::vector<std::string> args;
        std::string what;
        if (i < profiles.size()) {
            args = {"convert", "--profile", profiles[i], "--progress", "none", "--out", dir, src};
            what = std::string("convert --profile ") + profiles[i];
        } else {
            std::vector<std::string> t = transcodes[i - profiles.size()];
            t.back() = dir + "/" + t.back();
            args = {"transcode", "--progress", "none", "-i", src};
            args.insert(args.end(), t.begin(), t.end());
            what = "transcode " + t.back();
        }
        const int delay = delayMs(rng);
        const pid_t pid = spawnCli(args);
        ASSERT_GT(pid, 0);
        ++runs;
        killed += killAfter(pid, std::chrono::milliseconds(delay));
        check(what + " killed after " + std::to_string(delay) + " ms");
    }
    EXPECT_EQ(runs, 20);
    // The seed must give kills in the middle of conversions, not only before or after them.
    EXPECT_GE(killed, 10);
    EXPECT_GE(leftBehind, 1) << "killed while writing: temporary files left";

    // One more, killed once its temporary file is there: the next start has one to remove.
    const pid_t last = spawnCli({"convert", "--profile", "313", "--progress", "none", "--out", dir,
                                 src});
    ASSERT_GT(last, 0);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto hasTemporary = [&] {
        for (const auto& e : fs::directory_iterator(dir))
            if (isTemporary(e.path().filename()) &&
                e.path().filename().string().find(std::to_string(last)) != std::string::npos)
                return true;
        return false;
    };
    while (!hasTemporary() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ::kill(last, SIGKILL);
    int status = 0;
    ::waitpid(last, &status, 0);
    ASSERT_TRUE(hasTemporary());
    ++runs;
    check("convert --profile 313 killed while writing");

    // The next start removes them, and only them.
    std::map<std::string, uintmax_t> finals;
    for (const auto& e : fs::directory_iterator(dir))
        if (!isTemporary(e.path().filename())) finals[e.path().filename()] = e.file_size();
    const testsupport::CommandResult next = testsupport::Cli(
        "convert --profile 305 --progress none --out " + testmedia::Quote(dir) + " " +
        testmedia::Quote(testmedia::Path("wav_pcm")));
    EXPECT_EQ(next.status, 0) << next.out << next.err;
    int temporaries = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename();
        temporaries += isTemporary(name);
        if (finals.count(name)) {
            EXPECT_EQ(e.file_size(), finals[name]) << name;
        }
    }
    EXPECT_EQ(temporaries, 0);
}

TEST(KillCli, WriteFailuresReadAsTheSystemSaysThemAndLeaveNothing) {
    const std::string dir = testsupport::ScratchDir("limits");
    const std::string src = testmedia::Quote(testmedia::Path("clip10s"));
    // A file size limit of 100 KiB: writes past it fail with EFBIG, and the signal the system
    // sends with it kills neither command.
    for (const bool batch : {false, true}) {
        const std::string big = dir + "/clip10s.mkv";
        const testsupport::CommandResult limited = testsupport::RunCapturing(
            "ulimit -f 200; exec " + std::string(TANDREL_CLI) +
            (batch ? " convert --profile 16 --progress none --out " + testmedia::Quote(dir) + " " +
                         src
                   : " transcode --progress none -i " + src + " -vcodec mpeg4 -acodec mp2 " +
                         testmedia::Quote(big)));
        SCOPED_TRACE(batch ? "convert" : "transcode");
        EXPECT_EQ(limited.status, 1);
        EXPECT_NE((limited.out + limited.err).find(big + ": File too large"), std::string::npos)
            << limited.out << limited.err;
        EXPECT_EQ(limited.err.find("Error number"), std::string::npos) << limited.err;
        EXPECT_TRUE(fs::is_empty(dir)) << "neither the file nor its temporary stays";
    }

    const testsupport::CommandResult full = testsupport::Cli(
        "transcode --progress none -i " + src + " -vcodec mpeg4 -f avi /dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("/dev/full: No space left on device"), std::string::npos) << full.err;
    EXPECT_EQ(full.err.find("Error number"), std::string::npos) << full.err;
}

TEST(KillCli, ABatchLongerThanTheDescriptorLimitConvertsEveryFile) {
    // Queued files hold no descriptor: 80 sources under a limit of 40 open files.
    const std::string dir = testsupport::ScratchDir("descriptors");
    std::string error;
    ASSERT_TRUE(testmedia::RunFfmpeg("-f lavfi -i sine=duration=0.2 -c:a pcm_s16le " +
                                         testmedia::Quote(dir + "/s.wav"),
                                     &error))
        << error;
    std::string files;
    for (int i = 0; i < 80; ++i) {
        fs::copy_file(dir + "/s.wav", dir + "/s" + std::to_string(i) + ".wav");
        files += " " + testmedia::Quote(dir + "/s" + std::to_string(i) + ".wav");
    }
    const testsupport::CommandResult r = testsupport::RunCapturing(
        "ulimit -n 40; exec " + std::string(TANDREL_CLI) + " convert --profile 300 --jobs 2 " +
        "--progress none --out " + testmedia::Quote(dir + "/out") + files);
    EXPECT_EQ(r.status, 0) << r.out.substr(0, 2000) << r.err.substr(0, 2000);
    EXPECT_NE(r.out.find("80 passed, 0 failed"), std::string::npos) << r.out.substr(r.out.size() > 300 ? r.out.size() - 300 : 0);
    EXPECT_EQ(clitest::FilesIn(dir + "/out").size(), 80u);
}

namespace {

// Whether one of `pid`'s threads has a name that starts with `prefix`.
bool hasThread(pid_t pid, const std::string& prefix) {
    std::error_code ec;
    for (const auto& t : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec))
        if (testsupport::ReadFile(t.path() / "comm").rfind(prefix, 0) == 0) return true;
    return false;
}

// Sends `signal` and waits up to 2 s for the end: the exit status, or -1 when it did not end
// (it is killed then) or ended by the signal itself.
int endsBy(pid_t pid, int signal) {
    ::kill(pid, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

}  // namespace

TEST(KillCli, TerminationSignalsEndPlayAndTheWindowWithinTwoSeconds) {
    // Playing, with its sound device open (SDL's audio thread runs): SIGTERM and Ctrl-C end it.
    for (const int signal : {SIGTERM, SIGINT}) {
        const pid_t play = spawnProgram(TANDREL_CLI, {"play", testmedia::Path("clip10s")});
        ASSERT_GT(play, 0);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!hasThread(play, "SDLAudio") && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(hasThread(play, "SDLAudio"));
        EXPECT_EQ(endsBy(play, signal), 1) << "signal " << signal;
    }
    // The window with a file named on its command line (its format picker open): it closes as
    // when the user closes it, once it has written its settings at start.
    const std::string config = testsupport::ScratchDir("window-config");
    ::setenv("TANDREL_CONFIG_DIR", config.c_str(), 1);
    const pid_t window = spawnProgram(TANDREL_APP, {testmedia::Path("clip10s")});
    ::unsetenv("TANDREL_CONFIG_DIR");
    ASSERT_GT(window, 0);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(config + "/system.ini") && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(fs::exists(config + "/system.ini"));
    EXPECT_EQ(endsBy(window, SIGTERM), 0);
}
