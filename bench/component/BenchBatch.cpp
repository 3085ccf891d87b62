// A batch of four conversions with two at once against one at a time, on this machine, and the
// UI thread's longest stalls while two tasks report progress (the worker waits for the UI thread
// on every report). Prints a small table; run it from the build tree:
//   build/bench/component/bench_batch [clip-seconds]
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/FFmpegVCL.h"
#include "engine/MainThread.h"
#include "engine/MediaLibraries.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Result {
    double seconds = 0;
    std::vector<double> stallsMs;  // gaps between two turns of the UI thread's loop
};

Result runBatch(const std::string& source, const std::string& dir, int atOnce) {
    TFFmpegVCL vcl;
    vcl.SetProgressInterval(100);
    std::atomic<bool> done{false};
    vcl.SetOnTerminate([&](void*, const TTerminateInfo& info) {
        if (info.TaskIndex == -1) done = true;
    });
    vcl.SetOnProgress([](void*, PProgressInfo) {});
    for (int i = 0; i < 4; ++i) {
        const int t = vcl.AddTask(QString::fromStdString(source));
        TOutputOptions o;
        o.ExtOptions = "vcodec=libx264\nvpre=veryfast\nacodec=aac";
        vcl.SetOutputFile(t, QString::fromStdString(dir + "/b" + std::to_string(i) + ".mp4"), &o);
    }
    Result r;
    const auto start = Clock::now();
    vcl.StartTask(atOnce);
    auto last = Clock::now();
    // The UI thread's loop: run what workers handed over, then idle briefly, as an event loop does.
    mainthread::WaitPumping(
        [&] {
            const auto now = Clock::now();
            r.stallsMs.push_back(std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
            return done.load();
        },
        std::chrono::milliseconds(5));
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    vcl.ClearTasks();
    return r;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    mainthread::SetUiThread();
    std::string error;
    if (!LoadMediaLibraries(kConversionSet, DefaultLibraryPath(), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    char tmpl[] = "/tmp/tandrel-bench-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string source = dir + "/source.mp4";
    const std::string make =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=" +
        std::to_string(seconds) + " -f lavfi -i sine=duration=" + std::to_string(seconds) +
        " -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac '" + source + "'";
    if (std::system(make.c_str()) != 0) return 1;

    const Result one = runBatch(source, dir, 1);
    const Result two = runBatch(source, dir, 2);
    std::printf("batch of 4 x %d s clips (640x360 h264+aac -> h264 veryfast + aac)\n", seconds);
    std::printf("  one at a time : %7.2f s\n", one.seconds);
    std::printf("  two at once   : %7.2f s  (%.3f of one at a time)\n", two.seconds,
                two.seconds / one.seconds);
    std::printf("  UI thread turns while two run: %zu, p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                two.stallsMs.size(), percentile(two.stallsMs, 0.5), percentile(two.stallsMs, 0.99),
                percentile(two.stallsMs, 1.0));
    std::system(("rm -rf '" + dir + "'").c_str());
    return 0;
}
