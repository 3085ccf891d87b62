#include <dlfcn.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <set>
#include <string>

#include "TestSupport.h"
#include "engine/MediaLibraries.h"
#include "medialib/FFmpegLoader.h"
#include "medialib/LibAV.h"

namespace fs = std::filesystem;

namespace {

const TLibraryKind kConversionKinds[] = {TLibraryKind::avutil,  TLibraryKind::swresample,
                                         TLibraryKind::swscale, TLibraryKind::avcodec,
                                         TLibraryKind::avformat, TLibraryKind::avfilter};

// The ELF class, data encoding and machine of a file (bytes 4, 5 and 18-19 of its header): what
// decides whether this process could load it. Empty when the file is not ELF.
std::string elfKind(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char header[20] = {};
    if (!in.read(header, sizeof header) || std::string(header, 4) != "\x7f" "ELF") return {};
    return std::string(header + 4, 2) + std::string(header + 18, 2);
}

// Where the system keeps a library for this process's architecture, asked of the dynamic
// loader's cache (nothing is loaded). The cache may also list other architectures' copies.
std::string systemLibrary(const std::string& file) {
    const std::string ours = elfKind("/proc/self/exe");
    std::string out;
    testsupport::Run("/sbin/ldconfig -p", &out);
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const size_t arrow = line.find("=> ");
        if (line.find(file + " (") == std::string::npos || arrow == std::string::npos) continue;
        const std::string path = line.substr(arrow + 3);
        if (!ours.empty() && elfKind(path) == ours) return path;
    }
    return {};
}

// Distinct mapped files whose name contains `needle`.
std::set<std::string> mappedFiles(const std::string& needle) {
    std::ifstream maps("/proc/self/maps");
    std::set<std::string> files;
    for (std::string line; std::getline(maps, line);) {
        const size_t slash = line.find('/');
        if (slash != std::string::npos && line.find(needle) != std::string::npos)
            files.insert(line.substr(slash));
    }
    return files;
}

std::string libraryOf(const void* address) {
    Dl_info info{};
    if (!::dladdr(address, &info) || !info.dli_fname) return {};
    return info.dli_fname;
}

template <typename Fn>
const void* addressOf(Fn fn) {
    return reinterpret_cast<const void*>(fn);
}

}  // namespace

TEST(Loader, BindsEveryKindFromTheSystemPath) {
    TFFmpegLoader& loader = FFLoader();
    loader.SetLibraryPath(QString());
    ASSERT_TRUE(loader.LoadLibs(kPlayerSet)) << loader.LastError();
    EXPECT_TRUE(loader.AllLoaded(kConversionSet));
    EXPECT_TRUE(loader.AllLoaded(kPlayerSet));
    EXPECT_FALSE(loader.IsLoaded(TLibraryKind::avdevice));  // in neither set

    EXPECT_EQ(loader.LibraryFileName(TLibraryKind::avutil), "libavutil.so.57");
    EXPECT_EQ(loader.LibraryFileName(TLibraryKind::swresample), "libswresample.so.4");
    EXPECT_EQ(loader.LibraryFileName(TLibraryKind::swscale), "libswscale.so.6");
    EXPECT_EQ(loader.LibraryFileName(TLibraryKind::avcodec), "libavcodec.so.59");
    EXPECT_EQ(loader.LibraryFileName(TLibraryKind::avformat), "libavformat.so.59");
    EXPECT_EQ(loader.LibraryFileName(TLibraryKind::avfilter), "libavfilter.so.8");
    EXPECT_EQ(loader.LibraryFileName(TLibraryKind::avdevice), "libavdevice.so.59");
    EXPECT_EQ(loader.LibraryFileName(TLibraryKind::SDL), "libSDL2-2.0.so.0");

    // The run-time majors are the ones the structs were compiled for.
    EXPECT_EQ(lav::avutil_version() >> 16, 57u);
    EXPECT_EQ(lav::swresample_version() >> 16, 4u);
    EXPECT_EQ(lav::swscale_version() >> 16, 6u);
    EXPECT_EQ(lav::avcodec_version() >> 16, 59u);
    EXPECT_EQ(lav::avformat_version() >> 16, 59u);
    EXPECT_EQ(lav::avfilter_version() >> 16, 8u);
    SDL_version v{};
    lav::SDL_GetVersion(&v);
    EXPECT_EQ(v.major, 2);

    // Bound entries work.
    EXPECT_NE(lav::avcodec_find_encoder_by_name("mpeg4"), nullptr);
    EXPECT_NE(lav::avfilter_get_by_name("scale"), nullptr);
    EXPECT_EQ(lav::av_err2str(AVERROR_EOF), "End of file");

    // Loading again binds nothing new and still runs the hook.
    int hookRuns = 0;
    loader.SetBoundHook(TLibraryKind::avformat, [&] { ++hookRuns; });
    EXPECT_TRUE(loader.LoadLib(TLibraryKind::avformat));
    EXPECT_TRUE(loader.LoadLibs(kConversionSet));
    EXPECT_EQ(hookRuns, 2);
    loader.SetBoundHook(TLibraryKind::avformat, nullptr);

    EXPECT_THROW(loader.LoadLibs(0), std::logic_error);
    EXPECT_THROW(loader.AllLoaded(0), std::logic_error);
}

TEST(Loader, CopiesInTheLibAVFolderAreTheOnesUsed) {
    const fs::path libav = fs::path(testsupport::ScratchDir("app")) / "LibAV";
    fs::create_directories(libav);
    for (TLibraryKind kind : kConversionKinds) {
        const std::string file = FFLoader().LibraryFileName(kind).toStdString();
        const std::string from = systemLibrary(file);
        ASSERT_FALSE(from.empty()) << file;
        fs::copy_file(from, libav / file);
    }
    std::string error;
    ASSERT_TRUE(LoadMediaLibraries(kConversionSet, QString::fromStdString(libav.string()), &error))
        << error;
    EXPECT_EQ(libraryOf(addressOf(lav::av_log)), (libav / "libavutil.so.57").string());
    EXPECT_EQ(libraryOf(addressOf(lav::swr_convert)), (libav / "libswresample.so.4").string());
    EXPECT_EQ(libraryOf(addressOf(lav::avcodec_open2)), (libav / "libavcodec.so.59").string());
    EXPECT_EQ(libraryOf(addressOf(lav::av_read_frame)), (libav / "libavformat.so.59").string());
    EXPECT_EQ(libraryOf(addressOf(lav::avfilter_graph_alloc)),
              (libav / "libavfilter.so.8").string());
    // The copies satisfied each other's dependencies: one avutil, one avcodec in the process.
    EXPECT_EQ(mappedFiles("libavutil.so").size(), 1u);
    EXPECT_EQ(mappedFiles("libavcodec.so").size(), 1u);
    // And they work together.
    EXPECT_NE(lav::avcodec_find_decoder(AV_CODEC_ID_H264), nullptr);
}

TEST(Loader, MissingLibraryFailsAndReleasesOnlyWhatThatCallLoaded) {
    TFFmpegLoader& loader = FFLoader();
    loader.SetLibraryPath(QString());
    ASSERT_TRUE(loader.LoadLib(TLibraryKind::avutil)) << loader.LastError();  // an earlier user

    loader.SetLibraryFileName(TLibraryKind::avcodec, "/nonexistent/libnosuchcodec.so.59");
    EXPECT_FALSE(loader.LoadLibs(kConversionSet));
    const std::string prefix = "Load library /nonexistent/libnosuchcodec.so.59 error: ";
    EXPECT_EQ(loader.LastError().substr(0, prefix.size()), prefix) << loader.LastError();
    EXPECT_NE(loader.LastError().find("No such file or directory"), std::string::npos);
    EXPECT_FALSE(loader.AllLoaded(kConversionSet));
    // swresample and swscale were loaded by the failing call: released, slots cleared.
    EXPECT_FALSE(loader.IsLoaded(TLibraryKind::swresample));
    EXPECT_FALSE(loader.IsLoaded(TLibraryKind::swscale));
    EXPECT_EQ(lav::swr_alloc, nullptr);
    EXPECT_EQ(lav::sws_scale, nullptr);
    EXPECT_EQ(lav::avcodec_open2, nullptr);
    // avutil was there before the call and stays usable.
    EXPECT_TRUE(loader.IsLoaded(TLibraryKind::avutil));
    ASSERT_NE(lav::av_get_sample_fmt_name, nullptr);
    EXPECT_STREQ(lav::av_get_sample_fmt_name(AV_SAMPLE_FMT_S16), "s16");
    loader.SetLibraryFileName(TLibraryKind::avcodec, QString());
}

TEST(Loader, MissingEntryNamesTheEntryAndTheFile) {
    TFFmpegLoader& loader = FFLoader();
    loader.SetLibraryPath(QStringLiteral(FAKELIBS_DIR "/noentries"));
    EXPECT_FALSE(loader.LoadLib(TLibraryKind::avutil));
    const std::string prefix = "Load function av_version_info@libavutil.so.57 error: ";
    EXPECT_EQ(loader.LastError().substr(0, prefix.size()), prefix) << loader.LastError();
    EXPECT_FALSE(loader.IsLoaded(TLibraryKind::avutil));
    EXPECT_EQ(lav::avutil_version, nullptr);  // the entry bound before the failing one is cleared
    EXPECT_TRUE(mappedFiles("fakelibs/noentries").empty());
}

TEST(Loader, TooOldMinorVersionIsRefused) {
    TFFmpegLoader& loader = FFLoader();
    loader.SetLibraryPath(QStringLiteral(FAKELIBS_DIR "/old"));
    EXPECT_FALSE(loader.LoadLibs(kConversionSet));
    EXPECT_EQ(loader.LastError(), "Load library " FAKELIBS_DIR
                                  "/old/libavutil.so.57 error: version 57.0.100 found, " +
                                      TFFmpegLoader::HeaderVersion(TLibraryKind::avutil) +
                                      " or a later 57.x required");
    EXPECT_FALSE(loader.IsLoaded(TLibraryKind::avutil));
    EXPECT_TRUE(mappedFiles("fakelibs/old").empty());
}

TEST(Loader, FailedPlayerSetKeepsTheConversionSetUsable) {
    TFFmpegLoader& loader = FFLoader();
    loader.SetLibraryPath(QString());
    ASSERT_TRUE(loader.LoadLibs(kConversionSet)) << loader.LastError();
    loader.SetLibraryFileName(TLibraryKind::SDL, "/nonexistent/libnosuchSDL2-2.0.so.0");
    EXPECT_FALSE(loader.LoadLibs(kPlayerSet));
    EXPECT_EQ(loader.LastError().rfind("Load library /nonexistent/libnosuchSDL2-2.0.so.0 error: ", 0),
              0u);
    EXPECT_TRUE(loader.AllLoaded(kConversionSet));
    EXPECT_FALSE(loader.IsLoaded(TLibraryKind::SDL));
    // A conversion in progress could go on calling the libraries.
    const AVCodec* enc = lav::avcodec_find_encoder_by_name("mpeg4");
    ASSERT_NE(enc, nullptr);
    AVCodecContext* ctx = lav::avcodec_alloc_context3(enc);
    ASSERT_NE(ctx, nullptr);
    lav::avcodec_free_context(&ctx);
    loader.SetLibraryFileName(TLibraryKind::SDL, QString());
    EXPECT_TRUE(loader.LoadLibs(kPlayerSet)) << loader.LastError();
}
