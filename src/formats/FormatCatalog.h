// The fixed catalogue of output profiles: for every `FormatIndex` the picker can produce, the
// output extension, the extension tag, audio-only, forced container, disc target, and for each of
// the ten choice lists of the options dialog the list offered and the item selected first.
//
// Pure constant data (no widgets, no I/O); every function may be called on any thread. Item texts
// are UTF-8 and are both what the user sees and the key the options model matches, byte for byte.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace formats {

// The ten choice slots of the options dialog, in the column order of the profile table.
enum class Slot : int {
    VideoCodec,    // "视频编码器："   suiComboBox1
    VideoBitRate,  // "视频比特率："   suiComboBox2
    FrameSize,     // "视频分辨率："   suiComboBox3
    FrameRate,     // "视频帧率："     suiComboBox4
    Aspect,        // "视频缩放模式：" suiComboBox8
    AudioCodec,    // "音频编码器："   suiComboBox5
    AudioBitRate,  // "音频比特率："   suiComboBox6
    SampleRate,    // "音频采样率："   suiComboBox7
    Channels,      // "声道设置："     suiComboBox10
    Volume,        // "音量调节："     suiComboBox9
};
inline constexpr int kSlotCount = 10;
inline constexpr std::array<Slot, kSlotCount> kAllSlots = {
    Slot::VideoCodec, Slot::VideoBitRate, Slot::FrameSize,  Slot::FrameRate, Slot::Aspect,
    Slot::AudioCodec, Slot::AudioBitRate, Slot::SampleRate, Slot::Channels,  Slot::Volume};

// Short keys of the slots for command lines: vcodec, vbitrate, size, rate, aspect, acodec,
// abitrate, samplerate, channels, volume. SlotFromKey returns nullopt for an unknown key.
const char* SlotKey(Slot slot);
std::optional<Slot> SlotFromKey(std::string_view key);

// One named choice list ("VC1" … "VOL1"): ordered display texts, duplicates kept.
struct ChoiceList {
    std::string_view name;
    std::span<const char* const> items;

    int size() const { return static_cast<int>(items.size()); }
    QString Item(int position) const;  // empty for a position out of range
    QStringList Items() const;
};

// A slot's list and the zero-based position of the item selected first.
struct SlotChoice {
    std::string_view list;
    int position;
};

struct FormatProfile {
    std::span<const int> indexes;      // the FormatIndex values this profile serves
    std::string_view fileExtension;    // given to the output file, leading dot
    std::string_view extensionTag;     // stored in OutputExtension (".psp.mp4", ".ipod.mp4")
    bool audioOnly;                    // the dialog works in audio mode
    std::string_view forcedContainer;  // "mov" or empty; stored in JobFormat
    std::string_view discTarget;       // "dvd", "svcd", "vcd" or empty
    std::array<SlotChoice, kSlotCount> choices;  // indexed by Slot

    const SlotChoice& Choice(Slot slot) const { return choices[static_cast<int>(slot)]; }
};

// One icon of the picker; `image` indexes the tab's image list (differs from the position on
// the third tab).
struct PickerItem {
    const char* caption;
    int image;
};

struct PickerTab {
    const char* caption;
    const char* listName;  // object name of the tab's icon list
    int base;              // FormatIndex of the first item
    std::span<const PickerItem> items;
    int imageCount;  // size of the tab's image list; images no item names are never shown
};

// The 89 choice lists and the 75 profile rows (80 indexes), in catalogue order.
std::span<const ChoiceList> ChoiceLists();
std::span<const FormatProfile> Profiles();
// The four picker tabs in tab order (bases 300, 100, 1, 200).
std::span<const PickerTab> PickerTabs();

// nullptr for an unknown name.
const ChoiceList* FindChoiceList(std::string_view name);
// nullptr for an index without a profile (0, 99, 25, …).
const FormatProfile* FindProfile(int formatIndex);
// The picker caption of an index; empty when the index has no profile.
QString ProfileCaption(int formatIndex);

// The list that replaces another when the user picks a new video codec in the open dialog.
struct ListReplacement {
    Slot slot;
    SlotChoice choice;
};
// nullopt when this combination of profile and codec item leaves every list as it is.
std::optional<ListReplacement> CodecDependentList(int formatIndex, const QString& videoCodecItem);

}  // namespace formats
