#include "PlayerTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include <dirent.h>
#include <unistd.h>

#include "TestMedia.h"
#include "TestSupport.h"
#include "engine/MainThread.h"

namespace playertest {

bool WaitUntil(const std::function<bool()>& done, double limit) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
    mainthread::WaitPumping([&] { return done() || std::chrono::steady_clock::now() > until; },
                            std::chrono::milliseconds(2));
    return done();
}

int FrameNumber(const QImage& picture) {
    if (picture.width() < 320 || picture.height() < 40) return -1;
    int n = 0;
    for (int k = 0; k < 10; ++k) {
        const QRgb c = picture.pixel(32 * k + 16, 20);
        const int luma = (qRed(c) + qGreen(c) + qBlue(c)) / 3;
        if (luma > 170)
            n |= 1 << k;
        else if (luma > 85)
            return -1;  // neither black nor white: not a numbered picture
    }
    return n;
}

namespace {

// ffmpeg's decode of `input` (with `filters`) as one rgb24 picture of the given size.
QImage decodeRaw(const std::string& inputArgs, int width, int height) {
    std::string bytes;
    const int rc = testsupport::Run(
        "ffmpeg -nostdin -v error " + inputArgs + " -frames:v 1 -pix_fmt rgb24 -f rawvideo -",
        &bytes);
    if (rc != 0 || bytes.size() != static_cast<size_t>(width) * height * 3) return QImage();
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        std::copy_n(bytes.data() + static_cast<size_t>(y) * width * 3, width * 3,
                    reinterpret_cast<char*>(image.scanLine(y)));
    return image;
}

std::pair<int, int> frameSize(const std::string& path) {
    std::string out;
    testsupport::Run(
        "ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
        "-of csv=p=0:s=x " +
            testmedia::Quote(path),
        &out);
    int w = 0, h = 0;
    std::sscanf(out.c_str(), "%dx%d", &w, &h);
    return {w, h};
}

}  // namespace

QImage ReferenceFrame(const std::string& path, int index) {
    const auto [w, h] = frameSize(path);
    return decodeRaw("-i " + testmedia::Quote(path) + " -vf \"select=eq(n\\," +
                         std::to_string(index) + ")\" -fps_mode passthrough",
                     w, h);
}

QImage DecodeImageFile(const std::string& path) {
    const auto [w, h] = frameSize(path);
    return decodeRaw("-i " + testmedia::Quote(path), w, h);
}

namespace {

// Calls fn with the red, green and blue differences of every pixel; false (and no call) when the
// pictures differ in size or are empty.
bool forEachDifference(const QImage& a, const QImage& b,
                       const std::function<void(int, int, int)>& fn) {
    if (a.size() != b.size() || a.isNull()) return false;
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; i += 3)
            fn(p[i] - q[i], p[i + 1] - q[i + 1], p[i + 2] - q[i + 2]);
    }
    return true;
}

double psnrOf(double squaredSum, double count) {
    const double mse = squaredSum / count;
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace

double MeanAbsError(const QImage& a, const QImage& b) {
    double sum = 0;
    if (!forEachDifference(
            a, b, [&](int r, int g, int bl) { sum += std::abs(r) + std::abs(g) + std::abs(bl); }))
        return 1e9;
    return sum / (static_cast<double>(a.width()) * a.height() * 3);
}

int MaxAbsError(const QImage& a, const QImage& b) {
    int worst = 0;
    if (!forEachDifference(a, b, [&](int r, int g, int bl) {
            worst = std::max({worst, std::abs(r), std::abs(g), std::abs(bl)});
        }))
        return 256;
    return worst;
}

double Psnr(const QImage& a, const QImage& b) {
    double sum = 0;
    if (!forEachDifference(a, b, [&](int r, int g, int bl) { sum += r * r + g * g + bl * bl; }))
        return 0;
    return psnrOf(sum, static_cast<double>(a.width()) * a.height() * 3);
}

int ColourCount(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

namespace {

std::vector<std::pair<std::string, std::string>> tasks() {  // (tid, name)
    std::vector<std::pair<std::string, std::string>> out;
    DIR* dir = ::opendir("/proc/self/task");
    if (!dir) return out;
    while (dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        out.emplace_back(e->d_name, name);
    }
    ::closedir(dir);
    return out;
}

bool isPlaybackThread(const std::string& name) {
    return name.rfind("player-", 0) == 0 || name.rfind("SDLAudio", 0) == 0;
}

}  // namespace

std::map<std::string, int> ThreadNames() {
    std::map<std::string, int> names;
    for (const auto& t : tasks()) ++names[t.second];
    return names;
}

std::vector<std::string> PlaybackThreads() {
    std::vector<std::string> names;
    for (const auto& t : tasks())
        if (isPlaybackThread(t.second)) names.push_back(t.second);
    return names;
}

double PlaybackThreadsWaitForCpu() {
    double total = 0;
    for (const auto& t : tasks()) {
        if (!isPlaybackThread(t.second)) continue;
        // schedstat: nanoseconds on a processor, nanoseconds runnable but waiting for one.
        std::ifstream stat("/proc/self/task/" + t.first + "/schedstat");
        double running = 0, waiting = 0;
        if (stat >> running >> waiting) total += waiting / 1e9;
    }
    return total;
}

double PlaybackThreadsCpu() {
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    double total = 0;
    for (const auto& t : tasks()) {
        if (!isPlaybackThread(t.second)) continue;
        std::ifstream stat("/proc/self/task/" + t.first + "/stat");
        std::string line;
        std::getline(stat, line);
        // Fields after the parenthesised name: state is field 3; utime 14, stime 15.
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        for (int i = 3; i <= 15 && rest >> field; ++i)
            if (i == 14 || i == 15) total += std::stod(field) / tick;
    }
    return total;
}

void Recorder::Attach(TCustomPlayer& player) {
    player.SetOnFileOpen([this](void*, int64_t d, int w, int h, int&, int&) {
        duration = d;
        frameWidth = w;
        frameHeight = h;
        log.push_back("open:" + std::to_string(d) + ":" + std::to_string(w) + "x" +
                      std::to_string(h));
    });
    player.SetOnState([this](void*, TPlayState s) {
        states.push_back(s);
        log.push_back("state:" + std::to_string(static_cast<int>(s)));
    });
    player.SetOnPosition([this](void*, int64_t pts) {
        positions.push_back(pts);
        log.push_back("pos");
    });
}

int Recorder::Count(TPlayState s) const {
    return static_cast<int>(std::count(states.begin(), states.end(), s));
}

::testing::AssertionResult OpenClip(TCustomPlayer& player, const std::string& id, bool paused) {
    if (player.Open(QString::fromStdString(testmedia::Path(id)), nullptr, paused))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << id << ": " << player.LastErrorMessage();
}

void PlayerTest::SetUp() {
    mainthread::SetUiThread();
    testsupport::LoadLibrariesOrFail(kPlayerSet);
}

SyncFigures Figures(const TPlaybackStats& stats, double from, double to) {
    std::vector<double> errors;
    for (const auto& s : stats.shown)
        if (s.pts >= from && s.pts <= to && !std::isnan(s.error))
            errors.push_back(std::fabs(s.error) * 1000);
    SyncFigures f;
    f.count = errors.size();
    if (errors.empty()) return f;
    std::sort(errors.begin(), errors.end());
    const auto rank = [&](double q) {
        size_t k = static_cast<size_t>(std::ceil(q * static_cast<double>(errors.size())));
        return errors[std::clamp<size_t>(k, 1, errors.size()) - 1];
    };
    f.median = rank(0.5);
    f.p95 = rank(0.95);
    f.max = errors.back();
    return f;
}

}  // namespace playertest
