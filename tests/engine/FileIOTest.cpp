#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/resource.h>


#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "TestMedia.h"
#include "TestSupport.h"
#include "engine/FFUtils.h"
#include "engine/UnicodeProtocol.h"
#include "medialib/LibAV.h"

namespace {

// A code page that holds only Latin-1, as a narrow 8-bit locale would.
CodePage latin1() {
    return {[](const QString& s, QByteArray* out) {
                for (QChar c : s)
                    if (c.unicode() > 0xff) return false;
                *out = s.toLatin1();
                return true;
            },
            [](const QByteArray& b) { return QString::fromLatin1(b); }};
}

class FileLayer : public ::testing::Test {
protected:
    void SetUp() override { testsupport::LoadLibrariesOrFail(); }
    void TearDown() override { SetCodePage({}); }
};

// Every byte read back through the layer.
std::string readAll(const QString& name, int* error) {
    AVIOContext* pb = OpenFileIO(name, FileMode::Read, error);
    if (!pb) return {};
    std::string bytes;
    unsigned char buf[4096];
    for (int n; (n = lav::avio_read(pb, buf, sizeof buf)) > 0;)
        bytes.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
    *error = pb->eof_reached ? 0 : pb->error;
    CloseFileIO(&pb);
    return bytes;
}

}  // namespace

TEST(FileNames, Utf8NamesPassAndNarrowCodePagesUseTheUnicodeForm) {
    const QString cjk = QString::fromUtf8("/tmp/测试 视频 🎬.mp4");
    EXPECT_EQ(FileNameToUrl(cjk), "/tmp/测试 视频 🎬.mp4");
    EXPECT_EQ(FileNameToUrl("/music/a.mp3"), "/music/a.mp3");
    EXPECT_EQ(FileNameToUrl("http://host/a.mp4"), "http://host/a.mp4");
    EXPECT_EQ(FileNameToUrl("HTTP://host/a.mp4"), "HTTP://host/a.mp4");  // round trip, unchanged

    SetCodePage(latin1());
    EXPECT_EQ(FileNameToUrl(cjk), "unicode:utf8:/tmp/测试 视频 🎬.mp4");
    EXPECT_EQ(UrlToFileName(FileNameToUrl(cjk)), cjk);
    EXPECT_EQ(FileNameToUrl(QString::fromUtf8("/tmp/café.mp3")), "/tmp/caf\xe9.mp3");
    EXPECT_EQ(UrlToFileName("/tmp/caf\xe9.mp3"), QString::fromUtf8("/tmp/café.mp3"));
    // Exactly the prefix is a plain name, not the unicode form.
    EXPECT_EQ(UrlToFileName("unicode:utf8:"), "unicode:utf8:");
    SetCodePage({});
}

TEST(FileNames, BytesThatAreNotUtf8SurviveTheRoundTrip) {
    // Valid UTF-8 (RFC 3629) reads as usual, up to U+10FFFF.
    const QByteArray valid("/tmp/\xE6\xB5\x8B\xE8\xAF\x95 \xF0\x9F\x8E\xAC \xF4\x8F\xBF\xBF.mp4");
    EXPECT_EQ(FileNameFromNative(valid), QString::fromUtf8(valid));
    EXPECT_EQ(NativeFileName(FileNameFromNative(valid)), valid);

    // Each byte of what is not valid becomes U+DC80 + (byte - 0x80): GBK bytes, a lone
    // continuation byte, an overlong "/", an encoded surrogate, a code point above U+10FFFF and
    // a sequence cut short by the end of the name.
    const struct {
        QByteArray bytes;
        std::u16string expected;
    } cases[] = {
        {"\xB2\xE2\xCA\xD4.avi", u"\xDCB2\xDCE2\xDCCA\xDCD4.avi"},
        {"a\x80z", u"a\xDC80z"},
        {"\xC0\xAF", u"\xDCC0\xDCAF"},
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
        {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
        {"x\xE6\xB5", u"x\xDCE6\xDCB5"},
        {"\xFF\xFEok", u"\xDCFF\xDCFEok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        const QString name = FileNameFromNative(c.bytes);
        EXPECT_EQ(name, QString::fromStdU16String(c.expected));
        EXPECT_EQ(NativeFileName(name), c.bytes);
    }
    // Every byte value after a valid character, and a mix with valid characters around it.
    for (int b = 1; b < 256; ++b) {
        const QByteArray bytes = QByteArray("\xE6\xB5\x8B") + char(b) + "\xF0\x9F\x8E\xAC";
        EXPECT_EQ(NativeFileName(FileNameFromNative(bytes)), bytes) << b;
    }

    // The library sees the name as it is on disk, in both forms.
    const QString gbk = FileNameFromNative("/tmp/\xB2\xE2\xCA\xD4.avi");
    EXPECT_EQ(FileNameToUrl(gbk), "/tmp/\xB2\xE2\xCA\xD4.avi");
    EXPECT_EQ(UrlToFileName(FileNameToUrl(gbk)), gbk);
    SetCodePage(latin1());
    EXPECT_EQ(FileNameToUrl(gbk), "unicode:utf8:/tmp/\xB2\xE2\xCA\xD4.avi");
    EXPECT_EQ(UrlToFileName(FileNameToUrl(gbk)), gbk);
    SetCodePage({});
}

TEST_F(FileLayer, NameThatIsNotUtf8IsReadWrittenAndListed) {
    const std::string dir = testsupport::ScratchDir("not utf8");
    const std::string raw = dir + "/\xB2\xE2\xCA\xD4 \xFF.bin";
    testsupport::WriteFile(raw, "payload");
    const QString name = FileNameFromNative(QByteArray::fromStdString(raw));
    int error = -1;
    EXPECT_EQ(readAll(name, &error), "payload");
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(FileExists(name));
    EXPECT_EQ(GetFileSize(name), 7);

    const QString written = FileNameFromNative(QByteArray::fromStdString(dir + "/out\xC0.bin"));
    AVIOContext* pb = OpenFileIO(written, FileMode::Write, &error);
    ASSERT_NE(pb, nullptr) << error;
    lav::avio_write(pb, reinterpret_cast<const unsigned char*>("abc"), 3);
    EXPECT_EQ(CloseFileIO(&pb), 0);
    EXPECT_EQ(testsupport::ReadFile(dir + "/out\xC0.bin"), "abc");

    std::vector<QString> listed;
    FindFiles(QString::fromStdString(dir), "*", 0,
              [&](const TSearchRec& r) { listed.push_back(r.Name); });
    std::sort(listed.begin(), listed.end());
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(NativeFileName(listed[0]), "out\xC0.bin");
    EXPECT_EQ(NativeFileName(listed[1]), "\xB2\xE2\xCA\xD4 \xFF.bin");
}

TEST_F(FileLayer, NonAsciiNameIsReadByteForByteAndLeftUntouched) {
    const std::string path = testmedia::Path("nonascii");
    const std::string before = testsupport::ReadFile(path);
    const int64_t mtime = testsupport::MTimeNs(path);
    ASSERT_FALSE(before.empty());

    int error = -1;
    EXPECT_EQ(readAll(QString::fromStdString(path), &error), before);
    EXPECT_EQ(error, 0);

    // The library opens it through the layer, also in the unicode form of a narrow code page.
    SetCodePage(latin1());
    AVFormatContext* ic = nullptr;
    ASSERT_EQ(OpenMediaInput(&ic, QString::fromStdString(path)), 0);
    ASSERT_GE(lav::avformat_find_stream_info(ic, nullptr), 0);
    EXPECT_EQ(std::string(ic->url), "unicode:utf8:" + path);
    EXPECT_EQ(ic->nb_streams, 2u);
    AVPacket* pkt = lav::av_packet_alloc();
    int packets = 0;
    while (lav::av_read_frame(ic, pkt) >= 0) {
        ++packets;
        lav::av_packet_unref(pkt);
    }
    lav::av_packet_free(&pkt);
    CloseMediaInput(&ic);
    EXPECT_EQ(ic, nullptr);
    EXPECT_GT(packets, 50);

    EXPECT_EQ(testsupport::ReadFile(path), before);
    EXPECT_EQ(testsupport::MTimeNs(path), mtime);
}

TEST_F(FileLayer, OpenFailuresCarryTheLibraryCodes) {
    AVFormatContext* ic = nullptr;
    const std::string dir = testsupport::ScratchDir("open");
    EXPECT_EQ(OpenMediaInput(&ic, QString::fromStdString(dir + "/missing.mp4")), AVERROR(ENOENT));
    EXPECT_EQ(LibraryErrorText(AVERROR(ENOENT)), "No such file or directory");
    EXPECT_EQ(ic, nullptr);
    EXPECT_EQ(OpenMediaInput(&ic, QString::fromStdString(testmedia::Path("empty"))),
              AVERROR_INVALIDDATA);
    EXPECT_EQ(OpenMediaInput(&ic, QString::fromStdString(testmedia::Path("text_mp4"))),
              AVERROR_INVALIDDATA);
    EXPECT_EQ(ic, nullptr);
}

TEST_F(FileLayer, SeekSizeQueryAndEndOfFile) {
    const std::string dir = testsupport::ScratchDir("seek");
    const std::string path = dir + "/ten.bin";
    testsupport::WriteFile(path, "0123456789");
    int error = 0;
    AVIOContext* pb = OpenFileIO(QString::fromStdString(path), FileMode::Read, &error);
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(pb->write_flag, 0);
    EXPECT_EQ(lav::avio_size(pb), 10);
    unsigned char buf[4];
    ASSERT_EQ(lav::avio_read(pb, buf, 3), 3);
    EXPECT_EQ(lav::avio_size(pb), 10);  // the size query does not move the position
    EXPECT_EQ(lav::avio_tell(pb), 3);
    EXPECT_EQ(lav::avio_seek(pb, 8, SEEK_SET | AVSEEK_FORCE), 8);
    EXPECT_EQ(lav::avio_read(pb, buf, 4), 2);
    EXPECT_EQ(lav::avio_read(pb, buf, 4), AVERROR_EOF);
    EXPECT_TRUE(lav::avio_feof(pb));
    EXPECT_EQ(CloseFileIO(&pb), 0);
    EXPECT_EQ(pb, nullptr);
}

TEST_F(FileLayer, WritesToAFullDeviceAreReported) {
    int error = 0;
    AVIOContext* pb = OpenFileIO("/dev/full", FileMode::Write, &error);
    ASSERT_NE(pb, nullptr);
    const std::string block(256 * 1024, 'a');
    lav::avio_write(pb, reinterpret_cast<const unsigned char*>(block.data()),
                    static_cast<int>(block.size()));
    EXPECT_EQ(CloseFileIO(&pb), AVERROR(ENOSPC));
}

TEST_F(FileLayer, WritesPastTheFileSizeLimitAreReported) {
    const std::string path = testsupport::ScratchDir("limit") + "/out.bin";
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int error = 0;
    AVIOContext* pb = OpenFileIO(QString::fromStdString(path), FileMode::Write, &error);
    ASSERT_NE(pb, nullptr);
    const std::string block(300 * 1024, 'b');
    lav::avio_write(pb, reinterpret_cast<const unsigned char*>(block.data()),
                    static_cast<int>(block.size()));
    const int result = CloseFileIO(&pb);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(result, AVERROR(EFBIG));
    EXPECT_EQ(GetFileSize(QString::fromStdString(path)), 100000);
}

TEST_F(FileLayer, MuxerWritesThroughTheLayer) {
    const std::string path = testsupport::ScratchDir("mux") + "/出力 🎵.wav";
    AVFormatContext* oc = nullptr;
    ASSERT_GE(lav::avformat_alloc_output_context2(&oc, nullptr, "wav", path.c_str()), 0);
    oc->flags |= AVFMT_FLAG_BITEXACT;  // no encoder tag chunk: the size is exact
    AVStream* st = lav::avformat_new_stream(oc, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    st->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    st->codecpar->sample_rate = 8000;
    lav::av_channel_layout_default(&st->codecpar->ch_layout, 1);
    st->time_base = {1, 8000};
    ASSERT_EQ(OpenMediaOutput(oc, QString::fromStdString(path)), 0);
    ASSERT_GE(lav::avformat_write_header(oc, nullptr), 0);
    AVPacket* pkt = lav::av_packet_alloc();
    ASSERT_EQ(lav::av_new_packet(pkt, 1600), 0);
    std::memset(pkt->data, 0, 1600);
    pkt->stream_index = 0;
    pkt->pts = pkt->dts = 0;
    pkt->duration = 800;
    EXPECT_EQ(lav::av_interleaved_write_frame(oc, pkt), 0);
    lav::av_packet_free(&pkt);
    EXPECT_EQ(lav::av_write_trailer(oc), 0);
    EXPECT_EQ(CloseMediaOutput(oc), 0);
    lav::avformat_free_context(oc);
    EXPECT_EQ(GetFileSize(QString::fromStdString(path)), 44 + 1600);
}

TEST_F(FileLayer, AFileNeverMakesTheLibraryReachTheNetwork) {
    // A listener on the loopback address that counts whoever connects (and hangs up on them).
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    std::atomic<int> connections{0};
    std::atomic<bool> done{false};
    std::thread counter([&] {
        while (!done) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                const int c = ::accept(listener, nullptr, nullptr);
                if (c >= 0) {
                    ++connections;
                    ::close(c);
                }
            }
        }
    });

    // A playlist under a video's name: what it lists is opened by the library itself.
    const std::string dir = testsupport::ScratchDir("playlist");
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/a.ts";
    testsupport::WriteFile(dir + "/film.avi",
                           "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\n" + url +
                               "\n#EXT-X-ENDLIST\n");
    AVFormatContext* ic = nullptr;
    EXPECT_LT(OpenMediaInput(&ic, QString::fromStdString(dir + "/film.avi"), nullptr, nullptr), 0);
    CloseMediaInput(&ic);
    done = true;
    counter.join();
    ::close(listener);
    EXPECT_EQ(connections.load(), 0) << "the library went to " << url;

    // A playlist of local files still plays.
    std::filesystem::copy_file(testmedia::Path("ts_mpeg2"), dir + "/part.ts");
    testsupport::WriteFile(dir + "/local.m3u8",
                           "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\npart.ts\n"
                           "#EXT-X-ENDLIST\n");
    ASSERT_EQ(OpenMediaInput(&ic, QString::fromStdString(dir + "/local.m3u8"), nullptr, nullptr), 0);
    EXPECT_EQ(lav::avformat_find_stream_info(ic, nullptr) >= 0, true);
    EXPECT_GE(ic->nb_streams, 1u);
    CloseMediaInput(&ic);
}
