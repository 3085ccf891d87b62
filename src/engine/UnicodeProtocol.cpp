#include "UnicodeProtocol.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "medialib/LibAV.h"

namespace {

// A lone surrogate U+DC80..U+DCFF stands for one byte of an invalid UTF-8 sequence.
constexpr char16_t kByteEscape = 0xDC00;

// The length of the valid UTF-8 sequence at `p` (RFC 3629: no overlong forms, no surrogates,
// nothing above U+10FFFF), 0 when there is none; its code point in *cp.
int validSequence(const unsigned char* p, const unsigned char* end, char32_t* cp) {
    const unsigned char b = p[0];
    int len;
    char32_t min;
    if (b < 0x80) {
        *cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        len = 2, min = 0x80, *cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, min = 0x800, *cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4, min = 0x10000, *cp = b & 0x07;
    } else {
        return 0;
    }
    if (end - p < len) return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        *cp = (*cp << 6) | (p[i] & 0x3F);
    }
    if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
    return len;
}

std::mutex gCodePageMutex;
CodePage gCodePage;  // empty: UTF-8

bool encodeLocal(const QString& name, QByteArray* out) {
    std::function<bool(const QString&, QByteArray*)> encode;
    {
        std::lock_guard<std::mutex> lk(gCodePageMutex);
        encode = gCodePage.encode;
    }
    if (encode) return encode(name, out);
    *out = NativeFileName(name);
    return true;
}

QString decodeLocal(const QByteArray& bytes) {
    std::function<QString(const QByteArray&)> decode;
    {
        std::lock_guard<std::mutex> lk(gCodePageMutex);
        decode = gCodePage.decode;
    }
    return decode ? decode(bytes) : FileNameFromNative(bytes);
}

constexpr int kBufferSize = 1 << 16;

// One open file behind an AVIOContext.
struct FileConn {
    int fd = -1;  // -1 while parked
    bool seekable = false;
    const std::atomic<bool>* cancel = nullptr;  // the owner's give-up flag, may be null
    // A parked input: its name, the file it was (so that another file now under the name is
    // never read in its place) and where reading stood.
    QByteArray path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t parkedAt = 0;
};

// Opens a parked file again where it was left; 0 or an AVERROR code.
int unpark(FileConn* c) {
    if (c->fd >= 0) return 0;
    int fd;
    do {
        fd = ::open(c->path.constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return AVERROR(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_dev != c->device || st.st_ino != c->inode) {
        ::close(fd);
        return AVERROR(ESTALE);  // another file has taken the name meanwhile
    }
    if (::lseek(fd, c->parkedAt, SEEK_SET) < 0) {
        const int error = AVERROR(errno);
        ::close(fd);
        return error;
    }
    c->fd = fd;
    return 0;
}

// Waits until `fd` is ready for `events`, in steps short enough to notice the give-up flag:
// 0 when ready, AVERROR_EXIT when given up. Without a flag, or on a regular file, at once.
int waitReady(const FileConn* c, short events) {
    if (!c->cancel || c->seekable) return 0;
    for (;;) {
        if (c->cancel->load()) return AVERROR_EXIT;
        pollfd p{c->fd, events, 0};
        const int n = ::poll(&p, 1, 100);
        if (n > 0) return 0;
        if (n < 0 && errno != EINTR) return AVERROR(errno);
    }
}

int readPacket(void* opaque, uint8_t* buf, int size) {
    auto* c = static_cast<FileConn*>(opaque);
    if (const int ret = unpark(c); ret < 0) return ret;
    for (;;) {
        if (const int w = waitReady(c, POLLIN); w < 0) return w;
        const ssize_t n = ::read(c->fd, buf, static_cast<size_t>(size));
        if (n > 0) return static_cast<int>(n);
        if (n == 0) return AVERROR_EOF;
        if (errno != EINTR && errno != EAGAIN) return AVERROR(errno);
    }
}

int writePacket(void* opaque, uint8_t* buf, int size) {
    auto* c = static_cast<FileConn*>(opaque);
    int done = 0;
    while (done < size) {
        if (const int w = waitReady(c, POLLOUT); w < 0) return w;
        const ssize_t n = ::write(c->fd, buf + done, static_cast<size_t>(size - done));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return AVERROR(errno);
        }
        if (n == 0) return AVERROR(EIO);
        done += static_cast<int>(n);
    }
    return done;
}

int64_t seekFile(void* opaque, int64_t offset, int whence) {
    auto* c = static_cast<FileConn*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) {
        // Asked of queued inputs too (their facts): a parked file stays closed for it.
        struct stat st;
        if (c->fd >= 0 ? ::fstat(c->fd, &st) != 0 : ::stat(c->path.constData(), &st) != 0)
            return AVERROR(errno);
        if (c->fd < 0 && (st.st_dev != c->device || st.st_ino != c->inode)) return AVERROR(ESTALE);
        return S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : AVERROR(ENOSYS);
    }
    if (const int ret = unpark(c); ret < 0) return ret;
    if (!c->seekable) return AVERROR(ESPIPE);
    const off_t pos = ::lseek(c->fd, static_cast<off_t>(offset), whence);
    return pos < 0 ? AVERROR(errno) : static_cast<int64_t>(pos);
}

// What a file opened through us may open in turn by the library's own protocols.
constexpr const char* kNestedProtocols = "file,crypto,data";

// A library name form that is one of our files (plain path, "file:" or "unicode:utf8:").
bool isLocalName(const char* url) {
    if (!url) return false;
    if (std::strncmp(url, kUnicodePrefix, std::strlen(kUnicodePrefix)) == 0) return true;
    if (std::strncmp(url, "file:", 5) == 0) return true;
    const char* colon = std::strchr(url, ':');
    const char* slash = std::strchr(url, '/');
    return !colon || (slash && slash < colon);
}

int ioOpen(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
           AVDictionary** options) {
    if (!isLocalName(url)) {
        // Opening a local file never reaches the network: what it names beyond itself (the
        // entries of a playlist, a key) may only be local files or inline data.
        AVDictionary* own = nullptr;
        AVDictionary** opts = options ? options : &own;
        lav::av_dict_set(opts, "protocol_whitelist", kNestedProtocols, 0);
        const int ret = lav::avio_open2(pb, url, flags, &s->interrupt_callback, opts);
        lav::av_dict_free(&own);
        return ret;
    }
    std::string name = url;
    if (name.rfind("file:", 0) == 0) name.erase(0, 5);
    FileMode mode = FileMode::Read;
    if ((flags & AVIO_FLAG_READ_WRITE) == AVIO_FLAG_READ_WRITE)
        mode = FileMode::ReadWrite;
    else if (flags & AVIO_FLAG_WRITE)
        mode = FileMode::Write;
    int error = 0;
    *pb = OpenFileIO(UrlToFileName(name), mode, &error);
    return *pb ? 0 : error;
}

int ioClose2(AVFormatContext*, AVIOContext* pb) {
    if (IsFileIO(pb)) return CloseFileIO(&pb);
    return lav::avio_closep(&pb);
}

}  // namespace

TPathFileName FileNameFromNative(const QByteArray& bytes) {
    QString name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const unsigned char* end = p + bytes.size();
    while (p < end) {
        char32_t cp;
        const int len = validSequence(p, end, &cp);
        if (len == 0) {
            name += QChar(static_cast<char16_t>(kByteEscape + *p));
            ++p;
            continue;
        }
        const char32_t one[] = {cp};
        name += QString::fromUcs4(one, 1);
        p += len;
    }
    return name;
}

QByteArray NativeFileName(const TPathFileName& name) {
    QByteArray bytes;
    bytes.reserve(name.size() * 3);
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = name[i].unicode();
        if (u >= kByteEscape + 0x80 && u <= kByteEscape + 0xFF) {
            bytes += static_cast<char>(u - kByteEscape);
            continue;
        }
        // Everything else as UTF-8, a surrogate pair as one character.
        const qsizetype len =
            QChar::isHighSurrogate(u) && i + 1 < n && name[i + 1].isLowSurrogate() ? 2 : 1;
        bytes += name.mid(i, len).toUtf8();
        i += len - 1;
    }
    return bytes;
}

TPathFileName FitFileName(const TPathFileName& base, const QString& tail) {
    constexpr qsizetype kNameMax = 255;
    const qsizetype start = base.lastIndexOf(QLatin1Char('/')) + 1;
    QString kept = base;
    while (kept.size() > start && NativeFileName((kept + tail).mid(start)).size() > kNameMax) {
        const bool pair = kept.size() - start >= 2 && kept.back().isLowSurrogate() &&
                          kept.at(kept.size() - 2).isHighSurrogate();
        kept.chop(pair ? 2 : 1);
    }
    return kept + tail;
}

void SetCodePage(CodePage page) {
    std::lock_guard<std::mutex> lk(gCodePageMutex);
    gCodePage = std::move(page);
}

std::string FileNameToUrl(const TPathFileName& name) {
    const int colon = name.indexOf(QLatin1Char(':'));
    if (colon > 0) {
        const QString scheme = QLatin1Char(':') + name.left(colon) + QLatin1Char(':');
        if (QString::fromLatin1(kKnownProtocols).contains(scheme, Qt::CaseSensitive))
            return name.toStdString();
    }
    QByteArray local;
    if (encodeLocal(name, &local) && decodeLocal(local) == name) return local.toStdString();
    return kUnicodePrefix + NativeFileName(name).toStdString();
}

TPathFileName UrlToFileName(const std::string& url) {
    const size_t prefix = std::strlen(kUnicodePrefix);
    if (url.size() > prefix && url.compare(0, prefix, kUnicodePrefix) == 0)
        return FileNameFromNative(
            QByteArray(url.data() + prefix, static_cast<qsizetype>(url.size() - prefix)));
    return decodeLocal(QByteArray::fromStdString(url));
}

AVIOContext* OpenFileIO(const TPathFileName& name, FileMode mode, int* error,
                        const std::atomic<bool>* cancel) {
    // The name may also arrive in the library's "unicode:utf8:" form.
    const QString real = name.startsWith(QLatin1String(kUnicodePrefix))
                             ? UrlToFileName(NativeFileName(name).toStdString())
                             : name;
    const QByteArray path = NativeFileName(real);
    int flags = O_CLOEXEC;
    switch (mode) {
        case FileMode::Read: flags |= O_RDONLY; break;
        case FileMode::Write: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
        case FileMode::ReadWrite: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    int fd;
    do {
        fd = ::open(path.constData(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = AVERROR(errno);
        return nullptr;
    }
    struct stat st;
    auto* conn = new FileConn;
    conn->fd = fd;
    conn->seekable = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    conn->cancel = cancel;
    conn->path = path;
    conn->device = st.st_dev;
    conn->inode = st.st_ino;
    // Waiting is done by poll: the descriptor itself must never block (a pipe write of more
    // than its free space would).
    if (cancel && !conn->seekable) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    auto* buffer = static_cast<unsigned char*>(lav::av_malloc(kBufferSize));
    AVIOContext* pb =
        buffer ? lav::avio_alloc_context(buffer, kBufferSize, mode != FileMode::Read ? 1 : 0,
                                         conn, mode == FileMode::Write ? nullptr : &readPacket,
                                         mode == FileMode::Read ? nullptr : &writePacket,
                                         &seekFile)
               : nullptr;
    if (!pb) {
        lav::av_free(buffer);
        ::close(fd);
        delete conn;
        *error = AVERROR(ENOMEM);
        return nullptr;
    }
    pb->seekable = conn->seekable ? AVIO_SEEKABLE_NORMAL : 0;
    *error = 0;
    return pb;
}

bool IsFileIO(const AVIOContext* pb) {
    return pb && pb->seek == &seekFile;
}

int CloseFileIO(AVIOContext** ppb) {
    AVIOContext* pb = ppb ? *ppb : nullptr;
    if (!pb) return 0;
    auto* conn = static_cast<FileConn*>(pb->opaque);
    int result = 0;
    if (pb->write_flag) {
        lav::avio_flush(pb);
        result = pb->error;
    }
    if (conn) {
        if (conn->fd >= 0 && ::close(conn->fd) != 0 && result == 0) result = AVERROR(errno);
        delete conn;
    }
    lav::av_freep(&pb->buffer);
    lav::avio_context_free(ppb);
    return result;
}

void RouteNestedOpens(AVFormatContext* s) {
    s->io_open = &ioOpen;
    s->io_close2 = &ioClose2;
}

int OpenMediaInput(AVFormatContext** ps, const TPathFileName& fileName, const AVInputFormat* fmt,
                   AVDictionary** options) {
    *ps = nullptr;
    int error = 0;
    AVIOContext* pb = OpenFileIO(fileName, FileMode::Read, &error);
    if (!pb) return error;
    AVFormatContext* ic = lav::avformat_alloc_context();
    if (!ic) {
        CloseFileIO(&pb);
        return AVERROR(ENOMEM);
    }
    ic->pb = pb;
    RouteNestedOpens(ic);
    // On failure the library frees ic (not our pb) and leaves *ps null.
    const int ret = lav::avformat_open_input(&ic, FileNameToUrl(fileName).c_str(), fmt, options);
    if (ret < 0) {
        CloseFileIO(&pb);
        return ret;
    }
    *ps = ic;
    return 0;
}

void ParkMediaInput(AVFormatContext* ic) {
    AVIOContext* pb = ic ? ic->pb : nullptr;
    if (!IsFileIO(pb) || pb->write_flag) return;
    auto* c = static_cast<FileConn*>(pb->opaque);
    if (!c || c->fd < 0 || !c->seekable) return;
    const off_t at = ::lseek(c->fd, 0, SEEK_CUR);
    if (at < 0) return;
    c->parkedAt = at;
    ::close(c->fd);
    c->fd = -1;
}

void CloseMediaInput(AVFormatContext** ps) {
    if (!ps || !*ps) return;
    AVIOContext* pb = (*ps)->pb;
    lav::avformat_close_input(ps);  // a custom pb is left to us
    if (IsFileIO(pb)) CloseFileIO(&pb);
}

int OpenMediaOutput(AVFormatContext* oc, const TPathFileName& fileName,
                    const std::atomic<bool>* cancel) {
    int error = 0;
    AVIOContext* pb = OpenFileIO(fileName, FileMode::Write, &error, cancel);
    if (!pb) return error;
    oc->pb = pb;
    oc->flags |= AVFMT_FLAG_CUSTOM_IO;
    RouteNestedOpens(oc);
    return 0;
}

int CloseMediaOutput(AVFormatContext* oc) {
    if (!oc || !oc->pb) return 0;
    const int result = IsFileIO(oc->pb) ? CloseFileIO(&oc->pb) : lav::avio_closep(&oc->pb);
    oc->pb = nullptr;
    return result;
}
