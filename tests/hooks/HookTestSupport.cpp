#include "HookTestSupport.h"

#include <QJsonArray>
#include <QJsonObject>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "TestMedia.h"
#include "TestSupport.h"
#include "medialib/LibAV.h"

namespace hooktest {

std::string HookLibrary(const std::string& name) {
    return std::string(TANDREL_HOOK_DIR) + "/lib" + name + ".so";
}

void* HookSymbol(const std::string& library, const char* name) {
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return nullptr;
    void* symbol = ::dlsym(handle, name);
    ::dlclose(handle);  // only drops the reference RTLD_NOLOAD added
    return symbol;
}

Luma LumaPlanes(const std::string& path) {
    Luma luma;
    const QJsonObject facts = testsupport::FfprobeJson(path);
    QString format;
    for (const auto& s : facts["streams"].toArray()) {
        const QJsonObject o = s.toObject();
        if (o["codec_type"].toString() != "video") continue;
        luma.width = o["width"].toInt();
        luma.height = o["height"].toInt();
        format = o["pix_fmt"].toString();
        break;
    }
    if (luma.width <= 0 || luma.height <= 0) {
        ADD_FAILURE() << "no video in " << path;
        return luma;
    }
    std::string bytes;
    // A YUV picture's own luma plane (a conversion to grey would expand its range); RGB
    // pictures are converted.
    const bool yuv = format.startsWith("yuv") || format.startsWith("nv");
    const int rc =
        testsupport::Run("ffmpeg -nostdin -v error -i " + testmedia::Quote(path) +
                             " -map 0:v:0 -fps_mode passthrough" +
                             (yuv ? " -vf extractplanes=y" : "") + " -f rawvideo -pix_fmt gray -",
                         &bytes);
    EXPECT_EQ(rc, 0) << "ffmpeg could not decode " << path;
    const size_t size = static_cast<size_t>(luma.width) * static_cast<size_t>(luma.height);
    for (size_t at = 0; at + size <= bytes.size(); at += size)
        luma.planes.emplace_back(bytes.begin() + static_cast<ptrdiff_t>(at),
                                 bytes.begin() + static_cast<ptrdiff_t>(at + size));
    return luma;
}

double MeanIn(const std::vector<uint8_t>& plane, int width, int x0, int y0, int w, int h) {
    double sum = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) sum += plane[static_cast<size_t>(y) * width + x];
    return sum / (static_cast<double>(w) * h);
}

double MeanDifferenceIn(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width,
                        int x0, int y0, int w, int h) {
    double sum = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            sum += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
        }
    return sum / (static_cast<double>(w) * h);
}

void PaintSquare(TBitmap& bitmap, int x0, int y0, int size, uint8_t b, uint8_t g, uint8_t r) {
    for (int y = y0; y < y0 + size && y < bitmap.Height(); ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        for (int x = x0; x < x0 + size && x < bitmap.Width(); ++x) {
            row[3 * x] = b;
            row[3 * x + 1] = g;
            row[3 * x + 2] = r;
        }
    }
}

AVFrame* MakePicture(int format, int width, int height, const std::vector<uint8_t>& fill) {
    AVFrame* f = lav::av_frame_alloc();
    f->format = format;
    f->width = width;
    f->height = height;
    if (lav::av_frame_get_buffer(f, 0) < 0) {
        lav::av_frame_free(&f);
        return nullptr;
    }
    const AVPixFmtDescriptor* d = lav::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    for (int p = 0; p < 4 && f->data[p]; ++p) {
        const bool chroma = (p == 1 || p == 2) && !(d->flags & AV_PIX_FMT_FLAG_RGB);
        const int rows = chroma ? AV_CEIL_RSHIFT(height, d->log2_chroma_h) : height;
        const uint8_t value = p < static_cast<int>(fill.size()) ? fill[static_cast<size_t>(p)] : 0;
        for (int y = 0; y < rows; ++y)
            std::memset(f->data[p] + static_cast<ptrdiff_t>(y) * f->linesize[p], value,
                        static_cast<size_t>(f->linesize[p]));
    }
    return f;
}

LogCapture::LogCapture() {
    TFFLogger* logger = GetLogger();
    logger->SetTriggerEventInMainThread(false);
    logger->SetOnLog([this](void*, uint32_t, TLogLevel, const std::string& line) {
        std::lock_guard<std::mutex> lk(mutex_);
        lines_.push_back(line);
    });
}

LogCapture::~LogCapture() { GetLogger()->SetOnLog(nullptr); }

bool LogCapture::Contains(const std::string& text) const {
    std::lock_guard<std::mutex> lk(mutex_);
    for (const std::string& line : lines_)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

std::vector<std::string> LogCapture::Lines() const {
    std::lock_guard<std::mutex> lk(mutex_);
    return lines_;
}

}  // namespace hooktest
