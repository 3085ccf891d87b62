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
#include <vector>

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

// What a commit does when a file already has an output's name at that moment.
enum class ExistingOutput {
    Number,   // the file stays as it is; the output takes the next free name (NumberedName)
    Replace,  // the output replaces it, in one step
};

// A finished file on its way to its name.
struct PendingOutput {
    TPathFileName temporary;  // where it was written (closed)
    TPathFileName finalName;  // the name asked for; after the commit, the name it went under
    ExistingOutput existing = ExistingOutput::Replace;
};

// Moves every file of `outputs` to its name, all or none. Each file's data is on the disk
// before any rename (a write error the disk reports only then fails the commit). A taken name
// is numbered on or replaced as each output says, decided at the rename itself with
// no-replace renames, so a file that appeared at any moment before (even from another process)
// is never replaced in Number mode. Replacing exchanges the two files, so that the old one can
// come back. Returns 0; or the AVERROR code of the first failure, with *failed its index, and
// then every name on disk and in `outputs` is as it was before the call (replaced files back,
// numbered names gone) and every temporary file is still there for the caller to remove.
int CommitOutputs(std::vector<PendingOutput>& outputs, size_t* failed);

// The folder of `path`, held open (O_PATH), so that a temporary file in it can be removed even
// after the folder was moved or renamed; -1 when it cannot be opened.
int OpenFolderOf(const TPathFileName& path);
// Removes the temporary file `path` through the held folder (by its path when `folderFd` < 0).
void RemoveTemporary(int folderFd, const TPathFileName& path);

// Removes this program's leftover temporary files in `folder`: those whose owning process is
// no longer running, or is this process (call before it starts converting). Returns how many
// went; other files are never touched.
int RemoveLeftoverOutputs(const TPathFileName& folder);

// What a written file must hold: the picture and sound streams a task wrote into, and at least
// the length it wrote (from its first time stamp to the end of its last, over all streams).
struct OutputExpectation {
    int videoStreams = 0;
    int audioStreams = 0;
    int64_t writtenUs = -1;  // -1: not checked
};

// The allowed shortfall: 1 s, or 2 % of the length when that is more.
int64_t DurationTolerance(int64_t lengthUs);

// Opens `file` with the library's own file access (not our I/O layer) and checks it against
// `expected`. Empty when it holds what it must, else the reason (naming `shownName`). A length
// the container only estimates from its bit rate is never held against it. *durationUs (when
// given) receives the length the file states, -1 when it states none it can be trusted on.
std::string VerifyOutput(const TPathFileName& file, const TPathFileName& shownName,
                         const OutputExpectation& expected, int64_t* durationUs = nullptr);
