#include "FFUtils.h"

#include <dirent.h>
#include <fnmatch.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "engine/MainThread.h"
#include "engine/UnicodeProtocol.h"
#include "medialib/LibAV.h"

namespace {

bool statPath(const QString& path, struct stat* st) {
    return !path.isEmpty() && ::stat(NativeFileName(path).constData(), st) == 0;
}

// Days since 1899-12-30 of a broken-down local time.
double toDateTime(const struct tm& t, int ms) {
    // Days from civil (Howard Hinnant's algorithm), relative to 1970-01-01.
    int y = t.tm_year + 1900;
    const unsigned m = static_cast<unsigned>(t.tm_mon + 1);
    const unsigned d = static_cast<unsigned>(t.tm_mday);
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = static_cast<long>(era) * 146097 + static_cast<long>(doe) - 719468;
    const double secs = t.tm_hour * 3600.0 + t.tm_min * 60.0 + t.tm_sec + ms / 1000.0;
    return static_cast<double>(days + 25569) + secs / 86400.0;
}

}  // namespace

QString IncludeTrailingPathDelimiter(const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString ExtractFilePath(const QString& path) {
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ExtractFileName(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

void SplitExtension(const QString& path, QString* base, QString* ext) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const bool has = dot >= path.lastIndexOf(QLatin1Char('/')) + 1;
    *base = has ? path.left(dot) : path;
    *ext = has ? path.mid(dot) : QString{};
}

QString NumberedName(const QString& path, const std::function<bool(const QString&)>& taken) {
    if (!taken(path)) return path;
    QString base, ext;
    SplitExtension(path, &base, &ext);
    for (qint64 n = 1;; ++n) {
        const QString number = QStringLiteral("(New_") + QString::number(n) + QLatin1Char(')');
        const QString name = FitFileName(base, number + ext);
        if (!taken(name)) return name;
    }
}

bool FileExists(const QString& path) {
    struct stat st;
    return statPath(path, &st) && !S_ISDIR(st.st_mode);
}

bool IsRegularFile(const QString& path) {
    struct stat st;
    return statPath(path, &st) && S_ISREG(st.st_mode);
}

bool SameFile(const QString& a, const QString& b) {
    struct stat sa, sb;
    const bool ea = statPath(a, &sa), eb = statPath(b, &sb);
    if (ea && eb) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    // A name not made yet: its folder resolved, and the name itself.
    auto canonical = [](const QString& path) {
        const QFileInfo info(path);
        const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        return folder.isEmpty() ? QDir::cleanPath(info.absoluteFilePath())
                                : folder + QLatin1Char('/') + info.fileName();
    };
    return canonical(a) == canonical(b);
}

int64_t GetFileSize(const QString& path) {
    struct stat st;
    if (!statPath(path, &st) || S_ISDIR(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

QString GetCurrentDir() {
    std::vector<char> buf(PATH_MAX);
    if (!::getcwd(buf.data(), buf.size())) return QDir::currentPath();
    return FileNameFromNative(QByteArray(buf.data()));
}

bool SetCurrentDir(const QString& dir) { return QDir::setCurrent(dir); }

QString GetEnvironmentVariable(const QString& name) {
    return qEnvironmentVariable(name.toUtf8().constData());
}

QString ExpandFileName(const QString& path) {
    // Text only: Qt's file engine would turn a name that is not valid UTF-8 into another name.
    const QString absolute = path.startsWith(QLatin1Char('/'))
                                 ? path
                                 : IncludeTrailingPathDelimiter(GetCurrentDir()) + path;
    return QDir::cleanPath(absolute);
}

QString ExeFileName() {
    std::vector<char> buf(PATH_MAX);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buf.size()) return QString::fromUtf8(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

QString ExePath() { return ExtractFilePath(ExeFileName()); }

int FindFiles(const QString& folder, const QString& pattern, int attrFilter,
              const std::function<void(const TSearchRec&)>& each) {
    const QString dirPath = IncludeTrailingPathDelimiter(folder.isEmpty() ? QStringLiteral(".")
                                                                           : folder);
    DIR* dir = ::opendir(NativeFileName(dirPath).constData());
    if (!dir) return -1;
    std::vector<TSearchRec> found;
    const QByteArray pat = pattern.toUtf8();
    while (const dirent* de = ::readdir(dir)) {
        if (std::strcmp(de->d_name, ".") == 0 || std::strcmp(de->d_name, "..") == 0) continue;
        if (::fnmatch(pat.constData(), de->d_name, 0) != 0) continue;
        const QString name = FileNameFromNative(QByteArray(de->d_name));
        struct stat st;
        if (!statPath(dirPath + name, &st)) continue;
        TSearchRec rec;
        rec.Name = name;
        rec.Size = static_cast<int64_t>(st.st_size);
        if (S_ISDIR(st.st_mode)) rec.Attr |= faDirectory;
        if (name.startsWith(QLatin1Char('.'))) rec.Attr |= faHidden;
        if (::access(NativeFileName(dirPath + name).constData(), W_OK) != 0) rec.Attr |= faReadOnly;
        if (!S_ISDIR(st.st_mode)) rec.Attr |= faArchive;
        if ((rec.Attr & faDirectory) && !(attrFilter & faDirectory)) continue;
        if ((rec.Attr & faHidden) && !(attrFilter & faHidden)) continue;
        rec.Time = UnixToLocalDateTime(static_cast<int64_t>(st.st_mtime));
        found.push_back(std::move(rec));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(),
              [](const TSearchRec& a, const TSearchRec& b) { return a.Name < b.Name; });
    for (const TSearchRec& rec : found) each(rec);
    return static_cast<int>(found.size());
}

std::string SplitText(std::string& source, const std::string& separator, bool remove) {
    const size_t pos = separator.empty() ? std::string::npos : source.find(separator);
    std::string head = source.substr(0, pos);
    if (remove) source.erase(0, pos == std::string::npos ? pos : pos + separator.size());
    return head;
}

std::string SizeToStr(int64_t bytes) {
    char buf[64];
    if (bytes > 1073741824)
        std::snprintf(buf, sizeof buf, "%.2f GB", static_cast<double>(bytes) / 1073741824.0);
    else if (bytes > 1048576)
        std::snprintf(buf, sizeof buf, "%.2f MB", static_cast<double>(bytes) / 1048576.0);
    else if (bytes > 1024)
        std::snprintf(buf, sizeof buf, "%.2f KB", static_cast<double>(bytes) / 1024.0);
    else
        std::snprintf(buf, sizeof buf, "%" PRId64 " Byte", bytes);
    return buf;
}

std::string DurationToStr(int64_t us) {
    if (us == AV_NOPTS_VALUE) return "N/A";
    const bool negative = us < 0;
    const uint64_t v = negative ? 0 - static_cast<uint64_t>(us) : static_cast<uint64_t>(us);
    const uint64_t ms = (v / 1000) % 1000;
    const uint64_t secs = v / 1000000;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%.2" PRIu64 ":%.2" PRIu64 ":%.2" PRIu64 ".%.3" PRIu64,
                  negative ? "-" : "", secs / 3600, (secs / 60) % 60, secs % 60, ms);
    return buf;
}

double UnixToLocalDateTime(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local;
    if (!::localtime_r(&t, &local)) return 25569.0 + static_cast<double>(seconds) / 86400.0;
    return toDateTime(local, 0);
}

std::string FormatDateTime(const std::string& pattern, double dateTime) {
    // Back from days since 1899-12-30 to a civil date.
    const double whole = std::floor(dateTime);
    long z = static_cast<long>(whole) - 25569 + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const long year = static_cast<long>(yoe) + era * 400 + (month <= 2);
    long msOfDay = std::lround((dateTime - whole) * 86400000.0);
    if (msOfDay >= 86400000) msOfDay = 86399999;
    const long hour = msOfDay / 3600000, minute = (msOfDay / 60000) % 60,
               second = (msOfDay / 1000) % 60, milli = msOfDay % 1000;

    std::string out;
    char buf[32];
    bool afterHour = false;
    auto put = [&](long v, int width) {
        std::snprintf(buf, sizeof buf, "%0*ld", width, v);
        out += buf;
    };
    for (size_t i = 0; i < pattern.size();) {
        auto run = [&](char c) {
            size_t n = 0;
            while (i + n < pattern.size() && (pattern[i + n] | 0x20) == c) ++n;
            return n;
        };
        const char c = static_cast<char>(pattern[i] | 0x20);
        size_t n = (c >= 'a' && c <= 'z') ? run(c) : 0;
        if (c == 'y' && n) {
            n >= 4 ? put(year, 4) : put(year % 100, 2);
        } else if (c == 'm' && n) {
            const long v = afterHour ? minute : static_cast<long>(month);
            put(v, n >= 2 ? 2 : 1);
            afterHour = false;
            n = std::min<size_t>(n, 2);
        } else if (c == 'd' && n) {
            put(day, n >= 2 ? 2 : 1);
            n = std::min<size_t>(n, 2);
        } else if (c == 'h' && n) {
            put(hour, n >= 2 ? 2 : 1);
            afterHour = true;
            n = std::min<size_t>(n, 2);
        } else if (c == 'n' && n) {
            put(minute, n >= 2 ? 2 : 1);
            afterHour = false;
            n = std::min<size_t>(n, 2);
        } else if (c == 's' && n) {
            put(second, n >= 2 ? 2 : 1);
            n = std::min<size_t>(n, 2);
        } else if (c == 'z' && n) {
            put(milli, n >= 3 ? 3 : 1);
            n = std::min<size_t>(n, 3);
        } else {
            out += pattern[i];
            n = 1;
        }
        i += n;
    }
    return out;
}

int ScalerLineSize(int width, int bytesPerPixel) {
    const int blocks = (std::max(width, 1) + 15) / 16;
    return (blocks * 16 * bytesPerPixel + 63) & ~63;
}

std::string LibraryErrorText(int errnum) {
    switch (errnum) {
        case AVERROR_PATCHWELCOME: return "Not yet implemented in FFmpeg";
        case AVERROR_PROTOCOL_NOT_FOUND: return "Unsupported network protocol";
        case AVERROR_DEMUXER_NOT_FOUND: return "Unknown format";
        case AVERROR(EDOM): return "Number syntax expected in filename";
        case AVERROR_EOF: return "End of file";
        case AVERROR_INVALIDDATA: return "Invalid data found when processing input";
        case AVERROR(ENOMEM): return "Not enough memory";
        case AVERROR(EIO): return "I/O error";
        case AVERROR(ENOENT): return "No such file or directory";
        case AVERROR(EINVAL): return "Invalid argument";
        default:
            // The library's words for the rest ("No space left on device", "File too large",
            // "Permission denied" …); "Error number %d occurred" where it has none.
            return lav::av_err2str(errnum);
    }
}

void ProcessMessages() { mainthread::Drain(); }

void RunInMainThread(const std::function<void()>& fn) { mainthread::Invoke(fn); }
