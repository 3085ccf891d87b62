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

namespace {

// renameat2 with `flags`; -1 with errno set on failure.
int renameWith(const QByteArray& from, const QByteArray& to, unsigned flags) {
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), flags);
}

// Moves `from` to `to` unless `to` exists: 0, or -1 with errno (EEXIST when it exists).
int renameNoReplace(const QByteArray& from, const QByteArray& to) {
    if (renameWith(from, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without the flag: a hard link is refused as well when the name exists, and
    // the temporary name goes once the final one holds the file.
    if (::link(from.constData(), to.constData()) != 0) return -1;
    ::unlink(from.constData());
    return 0;
}

// How one output went to its name, so that it can be undone.
enum class Done { Nothing, Fresh, Exchanged, Replaced };

// Moves one file to its name as its mode says; the name used in out.finalName.
int commitOne(PendingOutput& out, Done* done) {
    const QByteArray from = NativeFileName(out.temporary);
    TPathFileName name = out.finalName;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QByteArray to = NativeFileName(name);
        struct stat st;
        if (::lstat(to.constData(), &st) == 0 && S_ISDIR(st.st_mode)) return AVERROR(EISDIR);
        if (out.existing == ExistingOutput::Replace) {
            // Exchanged, the old file stays under the temporary name until every output is in
            // place; a file system that cannot exchange replaces it directly.
            if (renameWith(from, to, RENAME_EXCHANGE) == 0) {
                *done = Done::Exchanged;
                return 0;
            }
            if (errno == EINVAL || errno == ENOSYS) {
                if (::rename(from.constData(), to.constData()) != 0) return AVERROR(errno);
                *done = Done::Replaced;
                return 0;
            }
            if (errno != ENOENT) return AVERROR(errno);
            // Nothing under the name (or no temporary file: the move below says which).
            if (renameNoReplace(from, to) == 0) {
                *done = Done::Fresh;
                return 0;
            }
            if (errno != EEXIST) return AVERROR(errno);
            continue;  // a file appeared meanwhile: exchanged with on the next try
        }
        if (renameNoReplace(from, to) == 0) {
            out.finalName = name;
            *done = Done::Fresh;
            return 0;
        }
        if (errno != EEXIST) return AVERROR(errno);
        name = NumberedName(out.finalName, [](const QString& p) {
            struct stat st;
            return ::lstat(NativeFileName(p).constData(), &st) == 0;
        });
    }
    return AVERROR(EEXIST);
}

// Takes one committed output back: its name as before, the new file under its temporary name.
// `asked`: the name it was given before a numbered one was chosen.
void undoOne(PendingOutput& out, Done done, const TPathFileName& asked) {
    const QByteArray temporary = NativeFileName(out.temporary);
    const QByteArray name = NativeFileName(out.finalName);
    if (done == Done::Exchanged) renameWith(temporary, name, RENAME_EXCHANGE);
    else if (done == Done::Fresh) ::rename(name.constData(), temporary.constData());
    out.finalName = asked;
}

}  // namespace

int CommitOutputs(std::vector<PendingOutput>& outputs, size_t* failed) {
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (const int synced = syncFile(NativeFileName(outputs[i].temporary)); synced < 0) {
            *failed = i;
            return synced;
        }
    }
    std::vector<Done> done(outputs.size(), Done::Nothing);
    std::vector<TPathFileName> asked;
    for (const PendingOutput& out : outputs) asked.push_back(out.finalName);
    for (size_t i = 0; i < outputs.size(); ++i) {
        const int rc = commitOne(outputs[i], &done[i]);
        if (rc == 0) continue;
        outputs[i].finalName = asked[i];
        for (size_t k = i; k-- > 0;) undoOne(outputs[k], done[k], asked[k]);
        *failed = i;
        return rc;
    }
    for (size_t i = 0; i < outputs.size(); ++i) {
        // What the exchanges left under the temporary names are the replaced files.
        if (done[i] == Done::Exchanged) ::unlink(NativeFileName(outputs[i].temporary).constData());
        syncFolderOf(outputs[i].finalName);
    }
    return 0;
}

int OpenFolderOf(const TPathFileName& path) {
    const QString folder = ExtractFilePath(path);
    return ::open(folder.isEmpty() ? "." : NativeFileName(folder).constData(),
                  O_PATH | O_DIRECTORY | O_CLOEXEC);
}

void RemoveTemporary(int folderFd, const TPathFileName& path) {
    if (folderFd >= 0)
        ::unlinkat(folderFd, NativeFileName(ExtractFileName(path)).constData(), 0);
    else
        ::unlink(NativeFileName(path).constData());
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

int64_t DurationTolerance(int64_t lengthUs) {
    return std::max<int64_t>(AV_TIME_BASE, lengthUs / 50);
}

std::string VerifyOutput(const TPathFileName& file, const TPathFileName& shownName,
                         const OutputExpectation& expected, int64_t* durationUs) {
    if (durationUs) *durationUs = -1;
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
    // A container that states no length (SWF), or only guesses it from its bit rate, is judged
    // by its streams alone.
    const int64_t length = ic->duration != AV_NOPTS_VALUE && ic->duration >= 0 &&
                                   ic->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE
                               ? ic->duration
                               : -1;
    if (durationUs) *durationUs = length;
    if (ret < 0) {
        problem = shown + ": the written file cannot be read back: " + LibraryErrorText(ret);
    } else if (video < expected.videoStreams || audio < expected.audioStreams) {
        problem = Format("%s: the written file has %d video and %d audio streams, expected %d and %d",
                         shown.c_str(), video, audio, expected.videoStreams,
                         expected.audioStreams);
    } else if (expected.writtenUs > 0 && length >= 0 &&
               length + DurationTolerance(expected.writtenUs) < expected.writtenUs) {
        problem = Format("%s: the written file lasts %s, less than the %s written into it",
                         shown.c_str(), DurationToStr(length).c_str(),
                         DurationToStr(expected.writtenUs).c_str());
    }
    lav::avformat_close_input(&ic);
    return problem;
}
