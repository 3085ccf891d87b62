// Integrity of the profile catalogue: every index the picker can produce has exactly one
// profile, every default is an item of its list, and the texts that are easy to get wrong are
// byte-exact.
#include <QSet>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "formats/FormatCatalog.h"
#include "formats/OptionsModel.h"

using namespace formats;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QStringList ItemsOf(const char* name) {
    const ChoiceList* list = FindChoiceList(name);
    EXPECT_NE(list, nullptr) << name;
    return list ? list->Items() : QStringList{};
}

std::set<int> ValidIndexes() {
    std::set<int> out;
    for (int i = 1; i <= 24; ++i) out.insert(i);
    for (int i = 100; i <= 119; ++i) out.insert(i);
    for (int i = 200; i <= 209; ++i) out.insert(i);
    for (int i = 300; i <= 325; ++i) out.insert(i);
    return out;
}

}  // namespace

TEST(Catalog, ListFamiliesAndNames) {
    std::map<std::string, int> families;
    std::set<std::string_view> names;
    for (const ChoiceList& list : ChoiceLists()) {
        EXPECT_TRUE(names.insert(list.name).second) << list.name;
        EXPECT_GT(list.size(), 0) << list.name;
        std::string family(list.name);
        while (!family.empty() && std::isdigit(static_cast<unsigned char>(family.back())))
            family.pop_back();
        ++families[family];
    }
    EXPECT_EQ(ChoiceLists().size(), 89u);
    const std::map<std::string, int> expected = {{"VC", 21}, {"VB", 13}, {"FS", 11}, {"FR", 6},
                                                 {"AS", 2},  {"AC", 18}, {"AB", 5},  {"SR", 10},
                                                 {"CH", 2},  {"VOL", 1}};
    EXPECT_EQ(families, expected);
    // Every name of a family is present: VC1 … VC21 and so on.
    for (const auto& [family, count] : expected)
        for (int i = 1; i <= count; ++i)
            EXPECT_NE(FindChoiceList(family + std::to_string(i)), nullptr) << family << i;
    EXPECT_EQ(FindChoiceList("VC22"), nullptr);
}

TEST(Catalog, TextsThatAreEasyToGetWrong) {
    // Both spellings of the MPEG-4 item, each in the lists that use it.
    EXPECT_EQ(ItemsOf("VC2").at(1), U("MPEG4视频压缩器"));
    EXPECT_EQ(ItemsOf("VC3").at(2), U("MPEG4 视频压缩器"));
    EXPECT_EQ(ItemsOf("VC10").at(0), U("MPEG4视频压缩器"));
    EXPECT_EQ(ItemsOf("VC13").at(1), U("MPEG4 视频压缩器"));
    EXPECT_EQ(ItemsOf("VC16").at(0), U("MPEG4视频压缩器"));
    EXPECT_FALSE(ItemsOf("VC2").contains(U("MPEG4 视频压缩器")));
    // Spaces inside and before the annotation of the bit-rates differ between lists.
    EXPECT_EQ(ItemsOf("VB2").at(0), U("192 kbps (超低质量)"));
    EXPECT_EQ(ItemsOf("VB2").at(9), U("1800 kbps(极高质量)"));
    EXPECT_EQ(ItemsOf("VB3").at(0), U("128 kbps(超低质量)"));
    EXPECT_EQ(ItemsOf("VB13").at(8), U("3000 kbps(高质量)"));
    // Double spaces before some annotations of the PSP sizes.
    EXPECT_EQ(ItemsOf("FS7").at(2), U("480*272  (PSP 3.03或更高固件版本适用)"));
    EXPECT_EQ(ItemsOf("FS7").at(0), U("320*240 (PSP所有固件版本适用)"));
    EXPECT_EQ(ItemsOf("FS8").at(6), U("1920*1080  (高清晰HD格式)"));
    // Full-width parentheses in the picker caption of the AMR profile.
    EXPECT_EQ(ProfileCaption(209), U("AMR（手机）音频格式"));
    EXPECT_EQ(ProfileCaption(4), U("Sony(索尼) PSP MP4视频"));
    // Duplicated items are kept.
    EXPECT_EQ(ItemsOf("SR5"), QStringList({"11025", "22050", "44100", "44100", "48000"}));
    EXPECT_EQ(ItemsOf("FS4").count(U("2560*1600")), 2);
    EXPECT_EQ(ItemsOf("FS4").size(), 14);
    // The single-item lists of the RM and AMR profiles.
    EXPECT_EQ(ItemsOf("AC13"), QStringList{U("自动音频编码器")});
    EXPECT_EQ(ItemsOf("AB4"), QStringList{U("自动音频比特率")});
    EXPECT_EQ(ItemsOf("SR9"), QStringList{U("自动音频采样率")});
    EXPECT_EQ(ItemsOf("AB5"),
              QStringList({"4.75", "5.15", "5.9", "6.7", "7.4", "7.95", "10.2", "12.2"}));
    EXPECT_EQ(ItemsOf("VOL1").size(), 28);
    EXPECT_EQ(ItemsOf("VOL1").at(10), U("音量保持不变"));
}

TEST(Catalog, EveryPickerIndexHasExactlyOneProfile) {
    std::map<int, int> served;
    int total = 0;
    for (const FormatProfile& profile : Profiles())
        for (int index : profile.indexes) {
            ++served[index];
            ++total;
        }
    EXPECT_EQ(total, 80);
    EXPECT_EQ(Profiles().size(), 75u);
    std::set<int> indexes;
    for (const auto& [index, count] : served) {
        EXPECT_EQ(count, 1) << index;
        indexes.insert(index);
    }
    EXPECT_EQ(indexes, ValidIndexes());
    for (int missing : {0, 25, 99, 120, 199, 210, 299, 326, -1})
        EXPECT_EQ(FindProfile(missing), nullptr) << missing;
    // Shared rows.
    EXPECT_EQ(FindProfile(2), FindProfile(1));
    EXPECT_EQ(FindProfile(3), FindProfile(1));
    for (int i : {7, 8, 9}) EXPECT_EQ(FindProfile(i), FindProfile(6)) << i;
    EXPECT_NE(FindProfile(4), FindProfile(5));
}

TEST(Catalog, PickerTabs) {
    const auto tabs = PickerTabs();
    ASSERT_EQ(tabs.size(), 4u);
    struct Expected {
        const char* caption;
        const char* list;
        int base, items, images;
    };
    const Expected expected[] = {{"MP3格式及常用格式", "suiListView4", 300, 26, 26},
                                 {"智能设备常用视频格式", "suiListView2", 100, 20, 20},
                                 {"更多电脑常用视频格式", "suiListView1", 1, 24, 39},
                                 {"更多音频格式", "suiListView3", 200, 10, 15}};
    std::set<int> indexes;
    for (size_t t = 0; t < 4; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(U(tabs[t].caption), U(expected[t].caption));
        EXPECT_STREQ(tabs[t].listName, expected[t].list);
        EXPECT_EQ(tabs[t].base, expected[t].base);
        ASSERT_EQ(static_cast<int>(tabs[t].items.size()), expected[t].items);
        EXPECT_EQ(tabs[t].imageCount, expected[t].images);
        std::set<int> images;
        for (size_t i = 0; i < tabs[t].items.size(); ++i) {
            const int index = tabs[t].base + static_cast<int>(i);
            indexes.insert(index);
            EXPECT_NE(FindProfile(index), nullptr) << index;
            EXPECT_EQ(ProfileCaption(index), U(tabs[t].items[i].caption));
            EXPECT_GE(tabs[t].items[i].image, 0);
            EXPECT_LT(tabs[t].items[i].image, tabs[t].imageCount);
            EXPECT_TRUE(images.insert(tabs[t].items[i].image).second) << index;
            // Only the third tab's images differ from the positions (from position 9 on).
            if (t != 2 || i < 9) {
                EXPECT_EQ(tabs[t].items[i].image, static_cast<int>(i));
            }
        }
    }
    EXPECT_EQ(indexes, ValidIndexes());
    EXPECT_EQ(tabs[2].items[9].image, 12);
    EXPECT_EQ(tabs[2].items[22].image, 37);
    EXPECT_EQ(tabs[2].items[23].image, 36);
    EXPECT_EQ(ProfileCaption(300), U("标准MP3格式音频"));
    EXPECT_EQ(ProfileCaption(24), U("Motion Jpeg(MJpeg)视频格式"));
    EXPECT_TRUE(ProfileCaption(25).isEmpty());
}

TEST(Catalog, DefaultsAreItemsOfTheirLists) {
    for (const FormatProfile& profile : Profiles()) {
        const int index = profile.indexes[0];
        SCOPED_TRACE(index);
        for (Slot slot : kAllSlots) {
            const SlotChoice& choice = profile.Choice(slot);
            const ChoiceList* list = FindChoiceList(choice.list);
            ASSERT_NE(list, nullptr) << choice.list;
            EXPECT_GE(choice.position, 0);
            EXPECT_LT(choice.position, list->size());
        }
        // The list families fit their slots.
        const char* families[kSlotCount] = {"VC", "VB", "FS", "FR", "AS",
                                            "AC", "AB", "SR", "CH", "VOL"};
        for (int s = 0; s < kSlotCount; ++s) {
            const std::string_view name = profile.choices[static_cast<size_t>(s)].list;
            EXPECT_TRUE(name.starts_with(families[s])) << name;
            // No profile starts with a list that only the codec rules hand out.
            EXPECT_NE(name, "FS10");
            EXPECT_NE(name, "FS11");
        }
        EXPECT_EQ(profile.Choice(Slot::Volume).list, "VOL1");
        EXPECT_EQ(profile.Choice(Slot::Volume).position, 10);
        if (profile.audioOnly) {
            for (Slot slot : {Slot::VideoCodec, Slot::VideoBitRate, Slot::FrameSize,
                              Slot::FrameRate, Slot::Aspect}) {
                const ChoiceList* list = FindChoiceList(profile.Choice(slot).list);
                EXPECT_EQ(list->size(), 1);
                EXPECT_TRUE(list->Item(0) == U("该格式无视频") || list->Item(0) == U("无"));
            }
        } else {
            EXPECT_NE(profile.Choice(Slot::VideoCodec).list, "VC1");
        }
    }
}

TEST(Catalog, ExtensionsContainersAndDiscs) {
    for (const FormatProfile& profile : Profiles()) {
        const int index = profile.indexes[0];
        SCOPED_TRACE(index);
        EXPECT_TRUE(profile.fileExtension.starts_with("."));
        if (index == 4 || index == 5)
            EXPECT_EQ(profile.extensionTag, ".psp.mp4");
        else if (index == 6)
            EXPECT_EQ(profile.extensionTag, ".ipod.mp4");
        else
            EXPECT_EQ(profile.extensionTag, profile.fileExtension);
        const bool mov = index == 17 || index == 106 || index == 315;
        EXPECT_EQ(profile.forcedContainer, mov ? "mov" : "");
        std::string_view disc;
        if (index == 19 || index == 318) disc = "dvd";
        if (index == 20) disc = "svcd";
        if (index == 21 || index == 323) disc = "vcd";
        EXPECT_EQ(profile.discTarget, disc);
        const bool audioTab = (index >= 200 && index <= 209) || (index >= 300 && index <= 311);
        EXPECT_EQ(profile.audioOnly, audioTab);
    }
    EXPECT_EQ(FindProfile(4)->fileExtension, ".mp4");
    EXPECT_EQ(FindProfile(209)->fileExtension, ".amr");
    EXPECT_EQ(FindProfile(15)->fileExtension, ".rm");
    EXPECT_EQ(FindProfile(306)->fileExtension, ".flac");
    EXPECT_EQ(FindProfile(308)->fileExtension, ".m4a");
    EXPECT_EQ(FindProfile(321)->fileExtension, ".vob");
}

// Every item a profile can show (codec rules included) means something to the model: a codec
// item is either in the codec tables or one of the items documented to change nothing.
TEST(Catalog, EveryItemIsUnderstoodByTheModel) {
    for (const FormatProfile& profile : Profiles()) {
        const int index = profile.indexes[0];
        SCOPED_TRACE(index);
        OptionsModel model;
        JobFields fields;
        fields.FormatIndex = index;
        fields.SourceFile = QStringLiteral("/src/a.avi");
        model.Open(fields, QStringLiteral("/out"), {});
        for (int v = 0; v < model.Items(Slot::VideoCodec).size(); ++v) {
            model.Select(Slot::VideoCodec, v);
            for (Slot slot : kAllSlots) {
                for (int i = 0; i < model.Items(slot).size(); ++i) {
                    OptionsModel copy = model;
                    copy.Select(slot, i);
                    const QString item = copy.SelectedText(slot);
                    const auto outcome = copy.Confirm();
                    EXPECT_EQ(outcome.kind, OptionsModel::Outcome::Accepted)
                        << item.toStdString() << " " << outcome.message.toStdString();
                    const JobFields& f = copy.Fields();
                    if (slot == Slot::VideoCodec && item != U("VOB视频压缩器") &&
                        f.JobTarget.isEmpty() && item != U("该格式无视频") &&
                        !item.contains(U("FLASH")) && !item.contains(U("FLV")) &&
                        !item.contains(U("QuickTime"))) {
                        EXPECT_FALSE(f.JobVideoCodec.isEmpty()) << item.toStdString();
                    }
                    if (slot == Slot::AudioCodec && item != U("VOB音频编码器") &&
                        item != U("WAVE音频编码器") && item != U("RM音频编码器") &&
                        item != U("MP2音频编码器")) {
                        EXPECT_FALSE(f.JobAudioCodec.isEmpty()) << item.toStdString();
                    }
                    if (slot == Slot::Volume) {
                        EXPECT_TRUE(VolumeOf(item).has_value()) << item.toStdString();
                    }
                    if (slot == Slot::VideoBitRate && !profile.audioOnly && f.JobTarget.isEmpty()) {
                        EXPECT_GT(f.JobVideoBitRate, 0) << item.toStdString();
                    }
                    if (slot == Slot::AudioBitRate && item != U("自动音频比特率") &&
                        f.JobTarget.isEmpty()) {
                        EXPECT_GT(f.JobAudioBitRate, 0) << item.toStdString();
                    }
                }
            }
        }
    }
}

TEST(Catalog, SlotKeys) {
    for (Slot slot : kAllSlots) EXPECT_EQ(SlotFromKey(SlotKey(slot)), slot);
    EXPECT_EQ(SlotFromKey("vcodec"), Slot::VideoCodec);
    EXPECT_EQ(SlotFromKey("samplerate"), Slot::SampleRate);
    EXPECT_EQ(SlotFromKey("aspect"), Slot::Aspect);
    EXPECT_FALSE(SlotFromKey("VCODEC").has_value());
    EXPECT_FALSE(SlotFromKey("").has_value());
}
