// How a conversion's file reaches its final name: written under a hidden temporary name in the
// output folder, checked, then moved to the final name in one step. A process killed at any
// moment therefore leaves either the old state or the whole new file under the final name, and
// at most a temporary file beside it, which the next start of the program removes.
//
// Temporary names: "." + the final file name + ".tandrel-" + pid + "-" + sequence + ".part",
// the file-name part shortened from the end of the final name when the whole would pass 255
// bytes. The pid says which process owns it: a leftover is a temporary file whose process is
// gone. Any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/FFUtils.h"

struct AVOutputFormat;

// Whether an output named `finalName` in the format `ofmt` goes through a temporary file: a
// local name (no protocol such as "pipe:") of a format that writes one file itself, which is
// either missing or a regular file. Devices, FIFOs and protocols are written directly.
bool WritesThroughTemporary(const TPathFileName& finalName, const AVOutputFormat* ofmt);

// A fresh temporary name for `finalName`, in the same folder (see above).
TPathFileName TemporaryOutputName(const TPathFileName& finalName);

// Whether `fileName` (a name without folder) has the form of a temporary name; its pid in *pid.
bool ParseTemporaryName(const QString& fileName, long* pid);

// Gives a name another try when the final name is taken (the caller's numbering rule); null
// replaces whatever is there.
using RenameChooser = std::function<TPathFileName(const TPathFileName& taken)>;

// Which file a name stood for (device, inode and its last change, so that a new file on a
// reused inode differs); `exists` false when it named none.
struct FileIdentity {
    bool exists = false;
    uint64_t device = 0, inode = 0;
    int64_t changedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentityOf(const TPathFileName& name);

// Moves `temporary` to *finalName. Without a chooser an existing file is replaced (in one step).
// With one, a file that exists under the name is never replaced, unless it is still `replaceable`
// (the file that was there when the conversion started, which the caller chose to overwrite):
// the chooser's name is tried instead (and so on, a bounded number of times) and *finalName
// becomes the name used. The data is on the disk before the rename (a write error the disk
// reports only then fails the commit and leaves the temporary file). Returns 0 or an AVERROR code.
int CommitOutput(const TPathFileName& temporary, TPathFileName* finalName,
                 const RenameChooser& chooser, const FileIdentity& replaceable = {});

// Removes this program's leftover temporary files in `folder`: those whose owning process is
// no longer running, or is this process (call before it starts converting). Returns how many
// went; other files are never touched.
int RemoveLeftoverOutputs(const TPathFileName& folder);

// What a written file must hold.
struct OutputExpectation {
    int videoStreams = 0;
    int audioStreams = 0;
    int64_t durationUs = -1;  // -1: not checked
};

// The allowed distance from the expected duration: 1 s, or 2 % of it when that is more.
int64_t DurationTolerance(int64_t expectedUs);

// Opens `file` with the library's own file access (not our I/O layer) and checks it against
// `expected`. Empty when it matches, else the reason (naming `shownName` and both durations).
std::string VerifyOutput(const TPathFileName& file, const TPathFileName& shownName,
                         const OutputExpectation& expected);
