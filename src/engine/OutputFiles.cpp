#include "engine/OutputFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "engine/FFmpegLogger.h"
#include "engine/FFmpegTypes.h"
#include "engine/UnicodeProtocol.h"
#include "medialib/FFmpegLoader.h"
#include "medialib/LibAV.h"

namespace {

std::atomic<unsigned> gSequence{0};

const QString kMarker = QStringLiteral(".tandrel-");
const QString kSuffix = QStringLiteral(".part");

// A name the library would take as a protocol (pipe:, tcp:, …) rather than a file of ours.
bool isProtocolName(const TPathFileName& name) {
    const int colon = name.indexOf(QLatin1Char(':'));
    if (colon <= 0) return false;
    const QString scheme = name.left(colon);
    if (scheme == QLatin1String("unicode") || scheme == QLatin1String("file")) return false;
    return QString::fromLatin1(kKnownProtocols).contains(QLatin1Char(':') + scheme +
                                                         QLatin1Char(':'));
}

// Writes a file's data to the disk: a rename that lands before the data would leave an empty or
// torn file under the final name after a crash, and a write error the disk reports only now
// must fail the task rather than pass unseen. Returns a negative error number only for errors
// that mean lost data; a file system that cannot sync (or a file we cannot reopen) passes.
int syncFile(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    int rc = 0;
    if (::fdatasync(fd) != 0 && (errno == EIO || errno == ENOSPC || errno == EDQUOT))
        rc = AVERROR(errno);
    ::close(fd);
    return rc;
}

// Makes a rename in `path`'s folder durable; best effort (some file systems refuse it).
void syncFolderOf(const TPathFileName& path) {
    const int fd = ::open(NativeFileName(ExtractFilePath(path)).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool processRunning(long pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

bool WritesThroughTemporary(const TPathFileName& finalName, const AVOutputFormat* ofmt) {
    if (!ofmt || (ofmt->flags & AVFMT_NOFILE)) return false;
    if (finalName.isEmpty() || isProtocolName(finalName)) return false;
    struct stat st;
    if (::stat(NativeFileName(finalName).constData(), &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode);
}

TPathFileName TemporaryOutputName(const TPathFileName& finalName) {
    const QString folder = ExtractFilePath(finalName);
    const QString tail = kMarker + QString::number(::getpid()) + QLatin1Char('-') +
                         QString::number(++gSequence) + kSuffix;
    return FitFileName(folder + QLatin1Char('.') + ExtractFileName(finalName), tail);
}

bool ParseTemporaryName(const QString& fileName, long* pid) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\..+\\.tandrel-([0-9]{1,10})-[0-9]{1,10}\\.part$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = pattern.match(fileName);
    if (!m.hasMatch()) return false;
    if (pid) *pid = m.captured(1).toLong();
    return true;
}

FileIdentity IdentityOf(const TPathFileName& name) {
    FileIdentity id;
    struct stat st;
    if (::lstat(NativeFileName(name).constData(), &st) != 0) return id;
    id.exists = true;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.inode = static_cast<uint64_t>(st.st_ino);
    id.changedNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

namespace {

int renameOutput(const QByteArray& from, TPathFileName* finalName, const RenameChooser& chooser,
                 const FileIdentity& replaceable) {
    if (!chooser) {
        if (::rename(from.constData(), NativeFileName(*finalName).constData()) == 0) return 0;
        return AVERROR(errno);
    }
    TPathFileName name = *finalName;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray to = NativeFileName(name);
        int rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(),
                             RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without the flag: a hard link is refused as well when the name
            // exists, and the temporary name goes once the final one holds the file.
            rc = ::link(from.constData(), to.constData());
            if (rc == 0) ::unlink(from.constData());
        }
        if (rc == 0) {
            *finalName = name;
            return 0;
        }
        if (errno != EEXIST) return AVERROR(errno);
        if (attempt == 0 && replaceable.exists) {
            // The file the caller meant to overwrite, and no other: replaced in one step.
            if (IdentityOf(name) == replaceable) {
                if (::rename(from.constData(), to.constData()) != 0) return AVERROR(errno);
                *finalName = name;
                return 0;
            }
        }
        const TPathFileName next = chooser(name);
        if (next.isEmpty() || next == name) return AVERROR(EEXIST);
        name = next;
    }
    return AVERROR(EEXIST);
}

}  // namespace

int CommitOutput(const TPathFileName& temporary, TPathFileName* finalName,
                 const RenameChooser& chooser, const FileIdentity& replaceable) {
    const QByteArray from = NativeFileName(temporary);
    if (const int synced = syncFile(from); synced < 0) return synced;
    const int rc = renameOutput(from, finalName, chooser, replaceable);
    if (rc == 0) syncFolderOf(*finalName);
    return rc;
}

int RemoveLeftoverOutputs(const TPathFileName& folder) {
    if (folder.isEmpty()) return 0;
    const QString dir = IncludeTrailingPathDelimiter(folder);
    const long self = ::getpid();
    int removed = 0;
    FindFiles(dir, QStringLiteral(".*") + kSuffix, faHidden | faArchive | faReadOnly,
              [&](const TSearchRec& rec) {
                  long pid = 0;
                  if (!ParseTemporaryName(rec.Name, &pid)) return;
                  if (pid != self && processRunning(pid)) return;
                  const QByteArray path = NativeFileName(dir + rec.Name);
                  struct stat st;
                  if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return;
                  if (::unlink(path.constData()) == 0) ++removed;
              });
    return removed;
}

int64_t DurationTolerance(int64_t expectedUs) {
    return std::max<int64_t>(AV_TIME_BASE, expectedUs / 50);
}

std::string VerifyOutput(const TPathFileName& file, const TPathFileName& shownName,
                         const OutputExpectation& expected) {
    const std::string shown = shownName.toStdString();
    // The library's own file protocol: a file our I/O layer would misread still fails here.
    const std::string url = "file:" + NativeFileName(file).toStdString();
    AVFormatContext* ic = nullptr;
    int ret = lav::avformat_open_input(&ic, url.c_str(), nullptr, nullptr);
    if (ret < 0) return shown + ": the written file cannot be read back: " + LibraryErrorText(ret);
    {
        CodecLockGuard lock;
        ret = lav::avformat_find_stream_info(ic, nullptr);
    }
    std::string problem;
    int video = 0, audio = 0;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVMediaType type = ic->streams[i]->codecpar->codec_type;
        video += type == AVMEDIA_TYPE_VIDEO;
        audio += type == AVMEDIA_TYPE_AUDIO;
    }
    if (ret < 0) {
        problem = shown + ": the written file cannot be read back: " + LibraryErrorText(ret);
    } else if (video < expected.videoStreams || audio < expected.audioStreams) {
        problem = Format("%s: the written file has %d video and %d audio streams, expected %d and %d",
                         shown.c_str(), video, audio, expected.videoStreams,
                         expected.audioStreams);
    } else if (expected.durationUs > 0 && ic->duration != AV_NOPTS_VALUE && ic->duration >= 0) {
        const int64_t diff = std::llabs(ic->duration - expected.durationUs);
        if (diff > DurationTolerance(expected.durationUs))
            problem = Format("%s: the written file lasts %s, expected %s", shown.c_str(),
                             DurationToStr(ic->duration).c_str(),
                             DurationToStr(expected.durationUs).c_str());
    }
    // A container that states no length (SWF) is left unchecked there: only its streams are.
    lav::avformat_close_input(&ic);
    return problem;
}
