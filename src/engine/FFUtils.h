// Small file, text and time helpers shared by the engine, the probe and the player.
// All functions are safe on any thread unless stated otherwise.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

using TPathFileName = QString;

// Paths ("/" is the separator).
QString IncludeTrailingPathDelimiter(const QString& path);
QString ExtractFilePath(const QString& path);  // up to and including the last "/"
QString ExtractFileName(const QString& path);  // after the last "/"
// `path` before its extension, and the extension: from the last dot of the file-name part, dot
// included (empty when that part has no dot).
void SplitExtension(const QString& path, QString* base, QString* ext);
bool FileExists(const QString& path);          // exists and is not a folder
// The numbering rule of output names: `path` itself when it is not taken; else base + "(New_" +
// n + ")" + ext (SplitExtension) for the smallest n >= 1 whose name is not taken. The base loses
// characters from its end where the number would make the file name longer than 255 bytes.
QString NumberedName(const QString& path, const std::function<bool(const QString&)>& taken);
int64_t GetFileSize(const QString& path);      // bytes; -1 when missing or a folder
bool IsRegularFile(const QString& path);       // a plain file (not a FIFO, device or folder)
// Both names reach the same file: the same device and inode (links followed), or, when either
// does not exist yet, the same absolute path once links in its folders are resolved.
bool SameFile(const QString& a, const QString& b);
QString GetCurrentDir();
bool SetCurrentDir(const QString& dir);
QString GetEnvironmentVariable(const QString& name);
QString ExpandFileName(const QString& path);  // absolute, with "." and ".." removed
QString ExeFileName();                       // the running program
QString ExePath();                           // its folder, with a trailing "/"

// Directory search: entries of `folder` whose names match the shell pattern, in name order.
enum : int { faReadOnly = 0x01, faHidden = 0x02, faDirectory = 0x10, faArchive = 0x20 };
struct TSearchRec {
    QString Name;
    int64_t Size = 0;
    int Attr = 0;
    double Time = 0;  // local time, days since 1899-12-30
};
// Calls `each` for every match whose attributes pass `attrFilter` (folders only when
// faDirectory is in the filter); returns the number of matches, -1 when the folder is unreadable.
int FindFiles(const QString& folder, const QString& pattern, int attrFilter,
              const std::function<void(const TSearchRec&)>& each);

// Cuts `source` at the first `separator`: returns the part before it; when `remove` is true the
// part and the separator are taken off `source` (all of it when there is no separator).
std::string SplitText(std::string& source, const std::string& separator, bool remove = true);

// "%.2f GB" above 2^30, "%.2f MB" above 2^20, "%.2f KB" above 2^10, else "%d Byte".
std::string SizeToStr(int64_t bytes);
// "%.2d:%.2d:%.2d.%.3d" of microseconds; "N/A" for no time (the library's unset marker).
std::string DurationToStr(int64_t microseconds);

// Local time (daylight saving applied) of seconds since 1970, as days since 1899-12-30.
double UnixToLocalDateTime(int64_t seconds);
// Date formatting with the patterns yyyy yy mm m dd d hh h nn n ss s zzz ("mm" right after an
// hour means minutes); other text is copied.
std::string FormatDateTime(const std::string& pattern, double dateTime);

// The library's error text for a negative result: "Invalid data found when processing input",
// "No such file or directory", "No space left on device", …; "Error number %d occurred" for
// codes without a text.
std::string LibraryErrorText(int errnum);

// Bytes per row of a packed picture (RGB24, BGRA …) `width` pixels wide that the scaler writes
// into. Its vector code converts whole blocks of eight pixels and, when a row has no room for
// the last block, leaves that block unwritten (black columns at the right) or, at some widths,
// writes past the buffer's end. Rows of whole 16-pixel blocks, rounded up to 64 bytes, hold
// every block at every width; a buffer of `height` such rows needs nothing more after them.
int ScalerLineSize(int width, int bytesPerPixel);

// UI-thread helpers: run pending main-thread calls; run a call on the UI thread and wait.
void ProcessMessages();
void RunInMainThread(const std::function<void()>& fn);
