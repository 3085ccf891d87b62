// The options dialog without widgets: the lists a profile offers, the user's selections, the
// codec-dependent list rules, the cut range, and the translation of every selection into the job
// fields that the main window turns into engine option records.
//
// Not thread-safe; used on the UI thread by the dialog and by the command line.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "formats/FormatCatalog.h"

namespace formats {

// The settings of the file being added, as the main window holds them. Strings: empty means
// "not set" (the container or the source decides). Bit-rates in bits per second, -1000 = not set.
struct JobFields {
    int FormatIndex = 0;
    QString SourceFile;
    QString OutputFile;       // full output path
    QString OutputExtension;  // the profile's extension tag (".avi", ".psp.mp4")
    QString JobVideoCodec;    // encoder name
    QString JobVideoTag;      // "DX50", "XVID"
    int JobVideoBitRate = -1;
    QString JobFrameSize;     // item text verbatim, annotation included
    QString JobFrameRate;     // item text verbatim
    QString JobAspect;        // "4:3", "16:9"
    QString JobVideoFilters;  // "hflip,vflip,negate" subset, in that order
    QString JobFormat;        // forced container: "mov", "asf"
    QString JobTarget;        // "vcd", "svcd", "dvd"
    QString JobTVStandard;    // "PAL", "NTSC"
    QString JobAudioCodec;    // encoder name or "AUTO"
    int JobAudioBitRate = -1;
    QString JobSampleRate;                      // "44100", "AUTO"
    QString JobAudioChannels;                   // "2", "1"
    QString JobVolume = QStringLiteral("256");  // volume scale, 256 = unchanged
    bool JobAudioOnly = false;
    int64_t JobCutStart = -1;     // milliseconds
    int64_t JobCutDuration = -1;  // milliseconds
    QString JobCutMode;           // "Select" or "NoSelect"

    // The reset before every addition: option fields back to their start values;
    // FormatIndex, SourceFile and JobCutMode keep theirs.
    void ResetOptions();

    bool operator==(const JobFields&) const = default;
};

// "Name=value" lines of every field, in declaration order (for logs, tests and `--json`).
QString ToText(const JobFields& fields);

// The source's duration in microseconds, negative when the file cannot be opened or its
// container reports none. The main window plugs in the engine component's read.
using DurationReader = std::function<int64_t(const QString& path)>;

enum class Filter : int { HFlip, VFlip, Negate };
enum class CutBox : int {
    StartHours,
    StartMinutes,
    StartSeconds,
    StopHours,
    StopMinutes,
    StopSeconds
};

// The volume scale of a volume item ("音量增加10%" → "282"); nullopt for an unknown item.
std::optional<QString> VolumeOf(const QString& item);
// The output path for `source`: folder, "/", the source's file name with its extension replaced
// by `extension` (appended when the name has none; a leading dot does not start an extension).
QString OutputPathFor(const QString& folder, const QString& source, const QString& extension);

class OptionsModel {
public:
    struct Outcome {
        enum Kind { Accepted, CutRefused, InvalidNumber } kind = Accepted;
        QString message;  // the message box text when not accepted
    };

    // Before the picker opens for an addition: the cut box unchecked; it may be checked only for
    // one file, and only then is the source's duration measured.
    void PrepareForAddition(bool oneFile);

    // Opening the dialog: empties every list, the filters, JobVideoFilters and JobVideoTag,
    // applies the profile of `current.FormatIndex`, and prepares the cut range (duration of
    // `current.SourceFile` through `reader`, cleared first). `current` are the main window's
    // fields; the result is in Fields().
    void Open(const JobFields& current, const QString& outputFolder, const DurationReader& reader);

    bool HasProfile() const { return profile_ != nullptr; }
    const FormatProfile* Profile() const { return profile_; }

    // Lists. Items() is empty while the slot has no list (no profile).
    QStringList Items(Slot slot) const;
    QString ListName(Slot slot) const;
    int Selected(Slot slot) const;  // -1 when nothing is selected
    QString SelectedText(Slot slot) const;
    // Selects an item as the user does. For the video codec it runs the codec-dependent rules and
    // returns the slot whose list they replaced. Out-of-range positions are ignored.
    std::optional<Slot> Select(Slot slot, int position);
    // Selects the first item with exactly this text; false when the list has none.
    bool SelectText(Slot slot, const QString& text, std::optional<Slot>* replaced = nullptr);

    bool VideoEnabled() const { return mediaKind_ == QLatin1String("Vedio"); }
    const QString& MediaKind() const { return mediaKind_; }  // "Vedio" or "Music"
    const QString& DiscTarget() const { return discTarget_; }
    const QString& SourceDuration() const { return sourceDuration_; }  // whole seconds or empty

    bool FilterChecked(Filter filter) const { return filters_[static_cast<int>(filter)]; }
    void SetFilter(Filter filter, bool checked) { filters_[static_cast<int>(filter)] = checked; }

    bool CutAllowed() const { return cutAllowed_; }
    bool CutChecked() const { return cutChecked_; }
    void SetCutChecked(bool checked) { cutChecked_ = checked; }
    const QString& CutText(CutBox box) const { return cut_[static_cast<int>(box)]; }
    void SetCutText(CutBox box, const QString& text) { cut_[static_cast<int>(box)] = text; }

    // "确定": recomputes every job field from the selections, starting from the fields as they
    // stood after Open (so pressing it again after a refusal never compounds anything). The
    // fields are updated even when the result is not Accepted; a refused cut range leaves the
    // cut fields as Open left them. Empty cut boxes are set to "00" when the cut is checked.
    Outcome Confirm();

    const JobFields& Fields() const { return fields_; }

private:
    struct List {
        const ChoiceList* list = nullptr;
        int selected = -1;
    };
    void SetList(Slot slot, const SlotChoice& choice);
    List& At(Slot slot) { return lists_[static_cast<int>(slot)]; }
    const List& At(Slot slot) const { return lists_[static_cast<int>(slot)]; }

    JobFields opened_;  // the fields as Open left them: the base of every confirmation
    JobFields fields_;
    QString outputFolder_;
    const FormatProfile* profile_ = nullptr;
    std::array<List, kSlotCount> lists_{};
    QString mediaKind_ = QStringLiteral("Vedio");
    QString discTarget_;
    QString sourceDuration_;
    std::array<bool, 3> filters_{};
    bool cutAllowed_ = true;
    bool cutChecked_ = false;
    std::array<QString, 6> cut_;
};

// The job fields of a profile's first choices, no filters, no cut, as "确定" yields them for one
// file without a duration read. nullopt for an index without a profile.
std::optional<JobFields> DefaultJobFields(int formatIndex, const QString& sourceFile,
                                          const QString& outputFolder);

}  // namespace formats
