// How the caller records (`TInputOptions`, `TOutputOptions`) become options of a task: the
// `ExtOptions` text format, and the order and conditions in which the records' fields are
// applied by `AddTask` (input) and `SetOutputFile` (output).
//
// Everything here talks to an `IOptionSink`, which the task's option state implements
// (`TFFmpegOptions`); tests use a recording sink. Errors raised by the sink pass through
// unchanged. UI thread (the thread that builds the task).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/FFmpegTypes.h"

// One name=value line of an option text.
struct TExtOption {
    std::string Name;
    std::string Value;
    bool operator==(const TExtOption&) const = default;
};

// The receiver of options: the same operations as the option dispatcher's, plus the typed
// setters that the records' numeric fields use.
class IOptionSink {
public:
    virtual ~IOptionSink() = default;
    // One option by name and text value ("ac", "2").
    virtual void SetOption(const std::string& name, const std::string& value) = 0;
    // "ss" and "t" from microseconds; the not-set marker `kNoTimeSet` is ignored.
    virtual void SetStartTime(int64_t microseconds) = 0;
    virtual void SetRecordingTime(int64_t microseconds) = 0;
    // "timestamp" from seconds since 1970-01-01 UTC.
    virtual void SetRecordingTimestamp(int64_t seconds) = 0;
    // Target preset ("vcd", "pal-dvd", …) with the norm used when detection decides nothing
    // ("pal", "ntsc" or "film").
    virtual void SetTarget(const std::string& target, const std::string& fallbackNorm) = 0;
};

// Splits an `ExtOptions` text: the text is trimmed, CR LF and lone CR become LF, every literal
// "<CRLF>" becomes LF; each line is split at its first "=" (no "=": empty value) and the name is
// lower-cased (ASCII). Empty lines are dropped.
std::vector<TExtOption> ParseExtOptions(const std::string& text);

// What `AddTask` applies before opening the input (after its `FileName` handling): the `ExtOptions`
// lines in order except "newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters"
// and "vf"; then "f" (`FileFormat` when not empty), "ss" (`StartTime` when set), "programid" (when
// >= 0).
void ApplyInputOptions(IOptionSink& sink, const TInputOptions& options);

// The per-stream settings of one output, collected first by `SetOutputFile`: the defaults
// "def_acodec", "def_vcodec", "def_scodec", "def_apre", "def_vpre", "def_spre", "def_s", "def_vf"
// taken from the record's fields (or, when a field is empty, from the first non-empty `ExtOptions`
// line of that name), and the `ExtOptions` lines "acodec", "vcodec", "scodec", "apre", "vpre",
// "spre", "s", "vfilters" and "vf" with non-empty values ("vfilters" stored as "vf"), in text
// order.
struct TOutputStreamSettings {
    std::vector<TExtOption> Defaults;  // names with the "def_" prefix
    std::vector<TExtOption> Entries;   // consumed by `ApplyNewStreamOptions`
    // The value of "def_"+name, empty when unknown.
    std::string Default(const std::string& name) const;
};
TOutputStreamSettings CollectOutputStreamSettings(const TOutputOptions& options);

// What `SetOutputFile` applies before opening the output: the target preset (`Target` 1–3, norm
// from `TargetNorm`, fall-back from `TargetNormDefault`); the encoder names and then the presets
// from the defaults; the `ExtOptions` lines in order except "newvideo", "newaudio", "newsubtitle",
// "apre", "vpre", "spre", "vfilters", "vf", "acodec", "vcodec", "scodec" and "s"; the remaining
// fields in record order under their conditions; the metadata block; then "s" from "def_s" and "vf"
// from "def_vf". (`VideoHook` and `Join` are the component's to act on.)
void ApplyOutputOptions(IOptionSink& sink, const TOutputOptions& options,
                        const TOutputStreamSettings& settings);

// What `SetOutputFile` applies after the output was opened: for each "newaudio", "newvideo" and
// "newsubtitle" line of `ExtOptions` in order, first the stream's settings ("acodec", "apre";
// "vcodec", "vpre", "s", "vf"; "scodec", "spre"), each from the first remaining entry of that
// name (which is removed) or else from its default when that is not empty, then the line itself.
void ApplyNewStreamOptions(IOptionSink& sink, const TOutputOptions& options,
                           TOutputStreamSettings& settings);

// Seconds since 1970-01-01 UTC of a local calendar date-time (days since 1899-12-30), with the
// time-zone offset in force at that date.
int64_t LocalDateTimeToUnix(double dateTime);
