// From the job fields of an addition to the engine's option records, and the output names of a
// batch. One copy of this mapping serves the main window and the command line, so the same
// choices give the same file on both roads.
//
// Pure functions (no widgets, no engine calls); the only outside look is through the `NameTaken`
// predicate a caller passes in. Any thread.
#pragma once

#include <QString>
#include <functional>

#include "engine/FFUtils.h"
#include "engine/FFmpegTypes.h"
#include "formats/OptionsModel.h"

namespace formats {

// One file added through the one-file dialog, or several in one go (no cut range possible, the
// output named from the source and the profile's final extension).
enum class AddMode { OneFile, SeveralFiles };

// The overwrite selector of the main window: item 0 numbers a taken name, item 1 reuses it.
enum class OverwritePolicy { NewName, Overwrite };

// The input record of a row: `FileName` the source; "mpeg" forced for ".dat" sources (any letter
// case); `StartTime` the cut start in microseconds for one file, unscaled for several.
TInputOptions BuildInputRecord(const JobFields& fields, AddMode mode);

// The output record of a row, written to `outputFile`: every job field under its condition
// (strings applied when not empty, "AUTO" meaning the encoder's own choice, -1000/-2000 bit-rates
// not set, volume "256" unchanged), disc target and norm, the cut range as a duration, and the
// codec rule: "libx264" also takes the preset "libx264-default"; "mpeg4" keeps the tag "DX50" or
// "XVID" only in an ".avi" profile. Pictures are 8-bit 4:2:0 ("pix_fmt=yuv420p" in `ExtOptions`)
// in every profile with video.
TOutputOptions BuildOutputRecord(const JobFields& fields, AddMode mode, const QString& outputFile);

// The input format an addition forces on `source` ("mpeg" for ".dat", else empty). The options
// dialog's duration read uses the same rule.
std::string ForcedInputFormat(const QString& source);

// The output name before numbering. One file: `OutputFile` as the options dialog built it.
// Several files: `outputFolder`, "/", the source's file name without its extension, and the
// extension of `OutputFile` (only the last part of a two-dot tag such as ".psp.mp4"). A file name
// longer than the 255 bytes Linux file systems take loses characters from the end of its base.
QString CandidateOutputName(const JobFields& fields, AddMode mode, const QString& outputFolder);

// Whether a name is taken (exists on disk, or belongs to another file of the same batch).
using NameTaken = std::function<bool(const QString& path)>;

// The numbering rule of output names (engine/FFUtils.h).
using ::NumberedName;

// The name a row's output gets when a batch starts: the stored name's file-name part moved into
// `outputFolder`. A name that carries a number — "(New_" + digits + ")" right before its
// extension, nowhere else — is numbered afresh from its plain form (the name without that
// number) when the policy numbers, and otherwise goes back to the plain name; a name without a
// number is numbered on when it exists and the policy numbers (an earlier run's output is never
// replaced), and kept otherwise. Either way a name `claimed` by
// another row of the same batch is numbered on, so two rows never share an output. `exists`
// tells what is on disk; `claimed` may be empty (no other rows).
QString BatchOutputName(const QString& storedName, const QString& outputFolder,
                        OverwritePolicy policy, const NameTaken& exists,
                        const NameTaken& claimed = {});

// The position of a trailing "(New_" + digits + ")" right before the extension of `path`'s
// file-name part, or -1 when it has none.
qsizetype NumberMarker(const QString& path);

}  // namespace formats
