#include "player/Snapshot.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE declared
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jpeglib.h>

#include "engine/FFUtils.h"
#include "engine/FFmpegLogger.h"
#include "engine/UnicodeProtocol.h"
#include "medialib/LibAV.h"
#include "platform/AppPaths.h"
#include "platform/IniFile.h"

namespace player {
namespace {

const QString kSection = QStringLiteral("SnapShot");

QString libraryError(int code) { return QString::fromStdString(LibraryErrorText(code)); }

// One picture through palettegen/paletteuse into the gif encoder and muxer, written to `path`.
bool writeGif(const QImage& rgb, const QString& path, QString* error) {
    const int w = rgb.width(), h = rgb.height();
    AVFilterGraph* graph = lav::avfilter_graph_alloc();
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    AVFrame* in = lav::av_frame_alloc();
    AVFrame* pal = lav::av_frame_alloc();
    AVPacket* pkt = lav::av_packet_alloc();
    AVCodecContext* enc = nullptr;
    AVFormatContext* oc = nullptr;
    bool outputOpen = false;
    int ret = graph && in && pal && pkt ? 0 : AVERROR(ENOMEM);

    const auto step = [&](int r, const char* what) {
        if (ret >= 0 && r < 0) {
            ret = r;
            if (error) *error = QStringLiteral("%1: %2").arg(QLatin1String(what), libraryError(r));
        }
        return ret >= 0;
    };

    if (ret >= 0) {
        const std::string args =
            Format("video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", w, h,
                   static_cast<int>(AV_PIX_FMT_RGB24));
        step(lav::avfilter_graph_create_filter(&src, lav::avfilter_get_by_name("buffer"), "in",
                                               args.c_str(), nullptr, graph),
             "buffer");
    }
    if (ret >= 0)
        step(lav::avfilter_graph_create_filter(&sink, lav::avfilter_get_by_name("buffersink"),
                                               "out", nullptr, nullptr, graph),
             "buffersink");
    if (ret >= 0) {
        AVFilterInOut* outputs = lav::avfilter_inout_alloc();
        AVFilterInOut* inputs = lav::avfilter_inout_alloc();
        outputs->name = lav::av_strdup("in");
        outputs->filter_ctx = src;
        inputs->name = lav::av_strdup("out");
        inputs->filter_ctx = sink;
        step(lav::avfilter_graph_parse_ptr(
                 graph,
                 "split[a][b];[a]palettegen=max_colors=256:stats_mode=full[p];"
                 "[b][p]paletteuse=dither=sierra2_4a",
                 &inputs, &outputs, nullptr),
             "palettegen");
        lav::avfilter_inout_free(&inputs);
        lav::avfilter_inout_free(&outputs);
    }
    if (ret >= 0) step(lav::avfilter_graph_config(graph, nullptr), "filter graph");
    if (ret >= 0) {
        in->format = AV_PIX_FMT_RGB24;
        in->width = w;
        in->height = h;
        in->pts = 0;
        step(lav::av_frame_get_buffer(in, 0), "frame");
    }
    if (ret >= 0) {
        for (int y = 0; y < h; ++y)
            std::memcpy(in->data[0] + static_cast<ptrdiff_t>(y) * in->linesize[0],
                        rgb.constScanLine(y), static_cast<size_t>(w) * 3);
        step(lav::av_buffersrc_add_frame(src, in), "buffer");
    }
    if (ret >= 0) step(lav::av_buffersrc_add_frame(src, nullptr), "buffer");
    if (ret >= 0) step(lav::av_buffersink_get_frame(sink, pal), "paletteuse");

    const AVCodec* codec = lav::avcodec_find_encoder(AV_CODEC_ID_GIF);
    if (ret >= 0 && !codec) step(AVERROR_ENCODER_NOT_FOUND, "gif");
    if (ret >= 0) {
        enc = lav::avcodec_alloc_context3(codec);
        if (!enc) step(AVERROR(ENOMEM), "gif");
    }
    if (ret >= 0) {
        enc->width = w;
        enc->height = h;
        enc->pix_fmt = AV_PIX_FMT_PAL8;
        enc->time_base = AVRational{1, 25};
        CodecLockGuard lock;
        step(lav::avcodec_open2(enc, codec, nullptr), "gif");
    }
    if (ret >= 0) step(lav::avformat_alloc_output_context2(&oc, nullptr, "gif", nullptr), "gif");
    AVStream* st = ret >= 0 ? lav::avformat_new_stream(oc, nullptr) : nullptr;
    if (ret >= 0 && !st) step(AVERROR(ENOMEM), "gif");
    if (ret >= 0) {
        st->time_base = enc->time_base;
        step(lav::avcodec_parameters_from_context(st->codecpar, enc), "gif");
    }
    if (ret >= 0 && step(OpenMediaOutput(oc, path), "open")) outputOpen = true;
    if (ret >= 0) step(lav::avformat_write_header(oc, nullptr), "gif");
    if (ret >= 0) {
        pal->pts = 0;
        step(lav::avcodec_send_frame(enc, pal), "gif");
    }
    if (ret >= 0) step(lav::avcodec_send_frame(enc, nullptr), "gif");
    while (ret >= 0) {
        const int r = lav::avcodec_receive_packet(enc, pkt);
        if (r == AVERROR_EOF) break;
        if (!step(r, "gif")) break;
        lav::av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
        pkt->stream_index = st->index;
        step(lav::av_interleaved_write_frame(oc, pkt), "write");
    }
    if (ret >= 0) step(lav::av_write_trailer(oc), "write");
    if (outputOpen) {
        const int closeResult = CloseMediaOutput(oc);
        step(closeResult, "write");
    }
    if (oc) lav::avformat_free_context(oc);
    if (enc) {
        CodecLockGuard lock;
        lav::avcodec_free_context(&enc);
    }
    lav::av_packet_free(&pkt);
    lav::av_frame_free(&pal);
    lav::av_frame_free(&in);
    lav::avfilter_graph_free(&graph);
    return ret >= 0;
}

struct JpegFailure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onJpegError(j_common_ptr cinfo) {
    auto* failure = reinterpret_cast<JpegFailure*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, failure->message);
    std::longjmp(failure->jump, 1);
}

// The state one encoding shares with its error exit: kept out of registers, so that what the
// library stored before a failure is still there after the jump back.
struct JpegEncoding {
    jpeg_compress_struct cinfo{};
    JpegFailure failure{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

// Baseline JPEG at quality 90 with every colour plane at full resolution (4:4:4). The common
// writers halve the colour planes, which smears the saturated edges of video pictures.
bool encodeJpeg(const QImage& rgb, QByteArray* out, QString* error) {
    const auto e = std::make_unique<JpegEncoding>();
    jpeg_compress_struct& cinfo = e->cinfo;
    cinfo.err = jpeg_std_error(&e->failure.manager);
    e->failure.manager.error_exit = onJpegError;
    if (setjmp(e->failure.jump)) {
        jpeg_destroy_compress(&e->cinfo);
        std::free(e->buffer);
        if (error) *error = QString::fromLocal8Bit(e->failure.message);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &e->buffer, &e->size);
    cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    for (int c = 0; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    *out = QByteArray(reinterpret_cast<const char*>(e->buffer), static_cast<qsizetype>(e->size));
    std::free(e->buffer);
    return true;
}

}  // namespace

QString SnapshotFormatKey(SnapshotFormat format) {
    switch (format) {
        case SnapshotFormat::Jpg:
            return QStringLiteral("JPG");
        case SnapshotFormat::Gif:
            return QStringLiteral("GIF");
        case SnapshotFormat::Png:
            return QStringLiteral("PNG");
        default:
            return QStringLiteral("BMP");
    }
}

std::optional<SnapshotFormat> SnapshotFormatFromKey(const QString& key) {
    for (SnapshotFormat f :
         {SnapshotFormat::Bmp, SnapshotFormat::Jpg, SnapshotFormat::Gif, SnapshotFormat::Png})
        if (key == SnapshotFormatKey(f)) return f;
    return std::nullopt;
}

QString SnapshotExtension(SnapshotFormat format) {
    return QLatin1Char('.') + SnapshotFormatKey(format).toLower();
}

QString NextSnapshotPath(const QString& folder, const QString& sourceFile, SnapshotFormat format) {
    const QString base = QFileInfo(sourceFile).completeBaseName();
    const QString dir = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (int n = 1;; ++n) {
        const QString path = FitFileName(
            dir + base, QLatin1Char('_') + QString::number(n) + SnapshotExtension(format));
        if (!QFileInfo::exists(path)) return path;
    }
}

bool WriteSnapshot(const QImage& image, const QString& path, SnapshotFormat format,
                   QString* error) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) {
        if (error) *error = QStringLiteral("empty picture");
        return false;
    }
    if (format == SnapshotFormat::Gif) {
        // Written under a temporary name in the same folder, then renamed into place.
        const QString partial = path + QStringLiteral(".part");
        QString reason;
        bool ok = writeGif(rgb, partial, &reason);
        if (ok && !QFile::rename(partial, path)) {
            ok = false;
            reason = QStringLiteral("cannot rename %1").arg(partial);
        }
        if (!ok) {
            QFile::remove(partial);
            if (error) *error = reason;
        }
        return ok;
    }
    QByteArray bytes;
    if (format == SnapshotFormat::Jpg) {
        if (!encodeJpeg(rgb, &bytes, error)) return false;
    } else {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer,
                            format == SnapshotFormat::Png ? QByteArray("png") : QByteArray("bmp"));
        if (!writer.write(rgb)) {
            if (error) *error = writer.errorString();
            return false;
        }
    }
    // Unbuffered: a buffered file device takes a short write at its flush (the disk filled up,
    // a size limit) for success. Here a short write is seen, and the attempt at the rest fails
    // with the system's reason.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error) *error = file.errorString();
        return false;
    }
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            if (error) *error = file.errorString();
            file.cancelWriting();
            return false;
        }
        done += n;
    }
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

SnapshotFormat ReadSnapshotFormat(platform::IniFile& ini) {
    const std::optional<SnapshotFormat> stored =
        ini.Exists() ? SnapshotFormatFromKey(ini.ReadString(kSection, QStringLiteral("Picture"),
                                                            QStringLiteral("Error")))
                     : std::nullopt;
    if (stored) return *stored;
    WriteSnapshotFormat(ini, SnapshotFormat::Bmp);
    return SnapshotFormat::Bmp;
}

void WriteSnapshotFormat(platform::IniFile& ini, SnapshotFormat format) {
    ini.WriteString(kSection, QStringLiteral("Picture"), SnapshotFormatKey(format));
}

QString StoredSnapshotFolder(const platform::IniFile& ini) {
    if (ini.Exists()) {
        const QString dir =
            ini.ReadString(kSection, QStringLiteral("Dir"), QStringLiteral("Error"));
        if (platform::AppPaths::IsUsableStoredFolder(dir)) return QDir::cleanPath(dir);
    }
    return platform::AppPaths::DefaultSnapshotFolder();
}

QString SnapshotFolder(platform::IniFile& ini) {
    if (ini.Exists()) {
        const QString dir =
            ini.ReadString(kSection, QStringLiteral("Dir"), QStringLiteral("Error"));
        if (platform::AppPaths::IsUsableStoredFolder(dir)) {
            QDir().mkpath(dir);
            return QDir::cleanPath(dir);
        }
    }
    const QString folder = platform::AppPaths::DefaultSnapshotFolder();
    QDir().mkpath(folder);
    ini.WriteString(kSection, QStringLiteral("Dir"), folder);
    return folder;
}

}  // namespace player
