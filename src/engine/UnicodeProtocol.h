// File names for the media libraries, and the file I/O layer every media open goes through.
//
// Names: on Linux the "code page" is the file system's own bytes (NativeFileName), so
// `FileNameToUrl` passes names as they are on disk; a name a narrower code page cannot hold
// becomes "unicode:utf8:" + its bytes, and `UrlToFileName` reads both forms back. Results are
// returned by value (no shared buffer): any thread.
//
// I/O layer: the library never opens a local file by itself. We open the file (by its real
// name), hand the library an AVIOContext with our read/write/seek callbacks, and route the
// library's nested opens (`io_open`/`io_close2`) through the same layer. Inputs are opened
// read-only; writes loop over short writes; every failure is reported as an AVERROR code.
// Each connection owns its descriptor and nothing else is shared: any thread.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "medialib/FFmpegLoader.h"

struct AVFormatContext;
struct AVIOContext;
struct AVInputFormat;
struct AVDictionary;

// File names as the system keeps them: bytes, usually UTF-8 but not always (names from an old
// archive or a FAT disk in GBK, say). Such a name keeps every byte through a QString: each byte
// of an invalid UTF-8 sequence becomes the lone surrogate U+DC80 + (byte - 0x80), which no valid
// UTF-8 decodes to, and turns back into that byte when the name goes to the system. Valid UTF-8
// reads as usual. Every name handed to the system (open, stat, access, unlink, opendir) goes
// through NativeFileName; names read from it (command lines, folder listings) through
// FileNameFromNative. Any thread.
TPathFileName FileNameFromNative(const QByteArray& bytes);
QByteArray NativeFileName(const TPathFileName& name);

// `base` + `tail` (a made-up name: a number, an extension), with whole characters dropped from
// the end of `base`'s file-name part until the file name fits the 255 bytes the usual Linux file
// systems take. The folder is never shortened.
TPathFileName FitFileName(const TPathFileName& base, const QString& tail);

// Passed through unchanged when a name starts with one of these followed by ':'.
inline constexpr const char* kKnownProtocols = ":unicode:stream:gopher:http:pipe:rtp:tcp:udp:";
inline constexpr const char* kUnicodePrefix = "unicode:utf8:";

std::string FileNameToUrl(const TPathFileName& name);
TPathFileName UrlToFileName(const std::string& url);

// Replaces the UTF-8 code page (tests exercise the "unicode:utf8:" form with a narrow one).
// `encode` returns false when the name cannot be represented. Null functions restore UTF-8.
struct CodePage {
    std::function<bool(const QString&, QByteArray*)> encode;
    std::function<QString(const QByteArray&)> decode;
};
void SetCodePage(CodePage page);

// Open modes, by meaning.
enum class FileMode { Read, Write, ReadWrite };

// Opens `name` (a file name or a library name form) as an AVIOContext of our own.
// Returns null and sets *error to an AVERROR code on failure. With `cancel`, reads and writes on
// a descriptor that can block (a FIFO, a device) wait in short steps and give up with
// AVERROR_EXIT once *cancel is true; regular files are read and written directly.
AVIOContext* OpenFileIO(const TPathFileName& name, FileMode mode, int* error,
                        const std::atomic<bool>* cancel = nullptr);
// True for contexts made by OpenFileIO.
bool IsFileIO(const AVIOContext* pb);
// Flushes, closes and frees; returns 0, or the first write/flush/close error.
int CloseFileIO(AVIOContext** pb);

// avformat_open_input through the layer. On failure *ps is null, nothing stays open, and the
// result is the library's error code.
int OpenMediaInput(AVFormatContext** ps, const TPathFileName& fileName,
                   const AVInputFormat* fmt = nullptr, AVDictionary** options = nullptr);
// Closes the file of an input opened by OpenMediaInput and keeps the rest: the next read or seek
// opens it again where it was, provided it is still the same file (else the read fails with
// AVERROR(ESTALE), or the error of the open). A list of queued inputs thus holds no descriptors.
// Regular files only; anything else is left open. For the thread that uses the context.
void ParkMediaInput(AVFormatContext* ic);
// Closes what OpenMediaInput opened (the format context and its file).
void CloseMediaInput(AVFormatContext** ps);

// Gives an output context our file (created or truncated) and our nested-open callbacks.
// `cancel` as for OpenFileIO.
int OpenMediaOutput(AVFormatContext* oc, const TPathFileName& fileName,
                    const std::atomic<bool>* cancel = nullptr);
// Closes the output's file; returns 0 or the first write error seen on it.
int CloseMediaOutput(AVFormatContext* oc);

// Installs our io_open/io_close2 on a context (OpenMediaInput/Output do this themselves).
void RouteNestedOpens(AVFormatContext* s);
