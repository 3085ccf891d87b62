// Catalogue data. Item texts are exact: full-width punctuation, double spaces, annotations and
// duplicated items are part of the data, and the options model matches them byte for byte.
#include "formats/FormatCatalog.h"

#include <algorithm>

namespace formats {
namespace {

// One item per line keeps the texts reviewable.
// clang-format off

// ---- Choice lists ----
constexpr const char* kVC1[] = {"该格式无视频"};
constexpr const char* kVC2[] = {
    "Divx 5 视频压缩器",
    "MPEG4视频压缩器",
    "XviD 视频压缩器1",
    "XviD 视频压缩器2",
    "H264/AVC高清视频压缩器",
};
constexpr const char* kVC3[] = {
    "H264/AVC高清视频压缩器",
    "Divx 5 视频压缩器",
    "MPEG4 视频压缩器",
    "XviD 视频压缩器1",
    "XviD 视频压缩器2",
    "Divx 视频压缩器",
};
constexpr const char* kVC4[] = {"MPEG视频压缩器"};
constexpr const char* kVC5[] = {"QuickTime视频压缩器"};
constexpr const char* kVC6[] = {"FLV格式视频压缩器"};
constexpr const char* kVC7[] = {
    "PAL_DVD视频压缩器",
    "NTSC_DVD视频压缩器",
};
constexpr const char* kVC8[] = {"FLASH格式视频压缩器"};
constexpr const char* kVC9[] = {"VOB视频压缩器"};
constexpr const char* kVC10[] = {
    "MPEG4视频压缩器",
    "XviD 视频压缩器1",
    "XviD 视频压缩器2",
    "Divx 5 视频压缩器",
    "H264/AVC高清视频压缩器",
};
constexpr const char* kVC11[] = {
    "PAL_VCD视频压缩器",
    "NTSC_VCD视频压缩器",
};
constexpr const char* kVC12[] = {"WMV视频压缩器"};
constexpr const char* kVC13[] = {
    "Divx 5 视频压缩器",
    "MPEG4 视频压缩器",
    "XviD 视频压缩器1",
    "XviD 视频压缩器2",
    "Divx 视频压缩器",
    "H264/AVC高清视频压缩器",
};
constexpr const char* kVC14[] = {
    "H264/AVC高清视频压缩器",
    "Divx 5 视频压缩器",
    "MPEG4 视频压缩器",
    "XviD 视频压缩器1",
    "XviD 视频压缩器2",
    "Divx 视频压缩器",
    "Mjpeg 视频压缩器",
};
constexpr const char* kVC15[] = {
    "Divx 5 视频压缩器",
    "MPEG4 视频压缩器",
    "XviD 视频压缩器1",
    "XviD 视频压缩器2",
    "Divx 视频压缩器",
    "Mjpeg 视频压缩器",
    "H264/AVC高清视频压缩器",
};
constexpr const char* kVC16[] = {
    "MPEG4视频压缩器",
    "Divx 5 视频压缩器",
    "XviD 视频压缩器1",
    "XviD 视频压缩器2",
    "H264/AVC高清视频压缩器",
};
constexpr const char* kVC17[] = {
    "MPEG4视频压缩器",
    "XviD 视频压缩器1",
    "XviD 视频压缩器2",
    "H264/AVC高清视频压缩器",
    "Divx 5 视频压缩器",
};
constexpr const char* kVC18[] = {
    "RM视频压缩器1",
    "RM视频压缩器2",
};
constexpr const char* kVC19[] = {
    "PAL_SVCD视频压缩器",
    "NTSC_SVCD视频压缩器",
};
constexpr const char* kVC20[] = {"ASF视频压缩器"};
constexpr const char* kVC21[] = {"Mjpeg 视频压缩器"};
constexpr const char* kVB1[] = {"无"};
constexpr const char* kVB2[] = {
    "192 kbps (超低质量)",
    "384 kbps (低质量)",
    "528 kbps (中等质量)",
    "600 kbps (中等质量)",
    "768 kbps (高质量)",
    "816 kbps (高质量)",
    "1000 kbps (很高质量)",
    "1200 kbps (很高质量)",
    "1500 kbps (很高质量)",
    "1800 kbps(极高质量)",
    "2000 kbps(极高质量)",
    "2500 kbps(极高质量)",
    "3000 kbps(极高质量)",
};
constexpr const char* kVB3[] = {
    "128 kbps(超低质量)",
    "288 kbps(低质量)",
    "528 kbps(中等质量)",
    "816 kbps(高质量)",
    "1000 kbps(高质量)",
    "1200 kbps(很高质量)",
    "1600 kbps(极高质量)",
    "1800 kbps(极高质量)",
    "2000 kbps(极高质量)",
    "2500 kbps(极高质量)",
    "3000 kbps(极高质量)",
};
constexpr const char* kVB4[] = {
    "128 kbps(超低质量)",
    "288 kbps(低质量)",
    "528 kbps(中等质量)",
    "816 kbps(高质量)",
    "1200 kbps(很高质量)",
    "1600 kbps(极高质量)",
    "1800 kbps(极高质量)",
    "2000 kbps(极高质量)",
};
constexpr const char* kVB5[] = {
    "128 kbps(超低质量)",
    "288 kbps(低质量)",
    "528 kbps(中等质量)",
    "816 kbps(高质量)",
    "1200 kbps(很高质量)",
    "1600 kbps(极高质量)",
    "1800 kbps(极高质量)",
    "2000 kbps(极高质量)",
    "2500 kbps(极高质量)",
    "3000 kbps(极高质量)",
};
constexpr const char* kVB6[] = {
    "768 kbps (高质量)",
    "816 kbps (高质量)",
    "1000 kbps (很高质量)",
    "1200 kbps (很高质量)",
    "1500 kbps (很高质量)",
    "1800 kbps(极高质量)",
    "2000 kbps(极高质量)",
    "2500 kbps(极高质量)",
    "3000 kbps(极高质量)",
    "3500 kbps(极高质量)",
};
constexpr const char* kVB7[] = {
    "192 kbps (超低质量)",
    "384 kbps (低质量)",
    "528 kbps (中等质量)",
    "600 kbps (中等质量)",
    "768 kbps (高质量)",
    "816 kbps (高质量)",
    "1000 kbps (很高质量)",
    "1200 kbps (很高质量)",
    "1500 kbps (很高质量)",
    "1800 kbps(极高质量)",
    "2000 kbps(极高质量)",
    "2500 kbps(极高质量)",
    "3000 kbps(极高质量)",
    "3500 kbps(极高质量)",
};
constexpr const char* kVB8[] = {
    "128 kbps(超低质量)",
    "288 kbps(低质量)",
    "528 kbps(中等质量)",
    "816 kbps(高质量)",
    "1000 kbps(高质量)",
    "1200 kbps(很高质量)",
    "1600 kbps(极高质量)",
    "1800 kbps(极高质量)",
    "2000 kbps(极高质量)",
    "2500 kbps(极高质量)",
    "3000 kbps(极高质量)",
    "3500 kbps(极高质量)",
    "4000 kbps(极高质量)",
};
constexpr const char* kVB9[] = {
    "216 kbps(超低质量)",
    "384 kbps(低质量)",
    "512 kbps(中等质量)",
    "768 kbps(高质量)",
    "1500 kbps(很高质量)",
};
constexpr const char* kVB10[] = {
    "216 kbps(超低质量)",
    "384 kbps(低质量)",
    "512 kbps(中等质量)",
    "768 kbps(高质量)",
    "1000 kbps(很高质量)",
    "1200 kbps(很高质量)",
    "1400 kbps(很高质量)",
    "1500 kbps(很高质量)",
    "1600 kbps(极高质量)",
    "1800 kbps(极高质量)",
    "2000 kbps(极高质量)",
    "2500 kbps(极高质量)",
};
constexpr const char* kVB11[] = {
    "192 kbps (超低质量)",
    "384 kbps (低质量)",
    "600 kbps (中等质量)",
    "768 kbps (高质量)",
    "1000 kbps (很高质量)",
    "1200 kbps (很高质量)",
    "1500 kbps (很高质量)",
    "1800 kbps(极高质量)",
    "2000 kbps(极高质量)",
};
constexpr const char* kVB12[] = {
    "192 kbps (超低质量)",
    "384 kbps (低质量)",
    "528 kbps (中等质量)",
    "600 kbps (中等质量)",
    "768 kbps (高质量)",
    "816 kbps (高质量)",
    "1000 kbps (很高质量)",
    "1200 kbps (很高质量)",
    "1500 kbps (很高质量)",
    "1800 kbps(极高质量)",
    "2000 kbps(极高质量)",
};
constexpr const char* kVB13[] = {
    "128 kbps(超低质量)",
    "288 kbps(低质量)",
    "528 kbps(低质量)",
    "816 kbps(低质量)",
    "1200 kbps(一般质量)",
    "1600 kbps(一般质量)",
    "1800 kbps(一般质量)",
    "2000 kbps(中等质量)",
    "3000 kbps(高质量)",
    "4000 kbps(高质量)",
    "5000 kbps(极高质量)",
    "6000 kbps(极高质量)",
    "7000 kbps(极高质量)",
    "8000 kbps(极高质量)",
    "9000 kbps(极高质量)",
};
constexpr const char* kFS1[] = {"无"};
constexpr const char* kFS2[] = {
    "保持原分辨率",
    "176*144",
    "240*176",
    "320*240",
    "352*240",
    "352*288",
    "384*288",
    "480*480",
    "480*576",
    "640*368",
    "640*480",
    "704*480",
    "704*576",
    "720*480",
    "720*576",
    "1024*768",
    "1280*720",
    "1280*1024",
    "1600*1024",
    "1600*1200",
    "1920*1080",
    "1920*1200",
    "1920*1600",
    "2048*1536",
    "2560*1600",
};
constexpr const char* kFS3[] = {
    "保持原分辨率",
    "176*144",
    "240*176",
    "320*240",
    "352*240",
    "352*288",
    "384*288",
    "480*480",
    "480*576",
    "640*368",
    "640*480",
    "704*480",
    "704*576",
    "720*480",
    "720*576",
    "1280*720",
};
constexpr const char* kFS4[] = {
    "保持原分辨率",
    "1024*768",
    "1280*720",
    "1280*1024",
    "1600*1024",
    "1600*1200",
    "1920*1080",
    "1920*1200",
    "1920*1600",
    "2048*1536",
    "2560*1600",
    "2560*1600",
    "3656*2664",
    "4096*3112",
};
constexpr const char* kFS5[] = {
    "保持原分辨率",
    "640*480",
    "704*480",
    "704*576",
    "720*480",
    "720*576",
    "1024*768",
    "1280*720",
    "1280*1024",
    "1600*1024",
    "1600*1200",
    "1920*1080",
    "1920*1200",
    "1920*1600",
    "2048*1536",
    "2560*1600",
};
constexpr const char* kFS6[] = {
    "保持原分辨率",
    "1024*768",
    "1280*720",
    "1280*1024",
    "1600*1024",
    "1600*1200",
    "1920*1080",
    "1920*1200",
    "1920*1600",
    "2048*1536",
    "2560*1600",
};
constexpr const char* kFS7[] = {
    "320*240 (PSP所有固件版本适用)",
    "368*208 (PSP 2.0或更高固件版本适用)",
    "480*272  (PSP 3.03或更高固件版本适用)",
    "720*480  (PSP 3.4或更高固件版本适用)",
};
constexpr const char* kFS8[] = {
    "320*240 (PSP所有固件版本适用)",
    "368*208 (PSP 2.0或更高固件版本适用)",
    "480*272  (PSP 3.03或更高固件版本适用)",
    "640*480  (PSP 3.03或更高固件版本适用)",
    "720*480  (标清SD格式)",
    "1280*720  (高清晰HD格式)",
    "1920*1080  (高清晰HD格式)",
};
constexpr const char* kFS9[] = {
    "128*96",
    "176*144",
    "160*120",
    "320*240",
    "352*288",
    "368*208",
    "640*480",
};
constexpr const char* kFS10[] = {
    "128*96",
    "176*144",
    "352*288",
    "704*576",
};
constexpr const char* kFS11[] = {
    "112*96",
    "128*96",
    "160*112",
    "160*120",
    "176*144",
    "192*144",
    "208*176",
    "220*176",
    "320*208",
    "320*224",
    "320*240",
};
constexpr const char* kFR1[] = {"无"};
constexpr const char* kFR2[] = {
    "10",
    "12",
    "15",
    "20",
    "23.98",
    "24",
    "25",
    "29.97",
    "30",
};
constexpr const char* kFR3[] = {
    "保持原帧速率",
    "10.00",
    "13.00",
    "15.00",
    "18.00",
    "20.00",
    "23.00",
    "23.97",
    "24.00",
    "25.00",
    "29.97",
    "30.00",
};
constexpr const char* kFR4[] = {
    "15.00",
    "23.98",
    "29.97",
};
constexpr const char* kFR5[] = {
    "20.00",
    "23.97",
    "23.98",
    "24.00",
    "25.00",
    "29.97",
    "30.00",
};
constexpr const char* kFR6[] = {
    "保持原帧速率",
    "10.00",
    "13.00",
    "15.00",
    "18.00",
    "20.00",
    "23.00",
    "23.97",
    "24.00",
    "25.00",
    "30.00",
};
constexpr const char* kAS1[] = {"无"};
constexpr const char* kAS2[] = {
    "普通视频4:3模式",
    "宽屏视频16:9模式",
};
constexpr const char* kAC1[] = {"MP3音频编码器"};
constexpr const char* kAC2[] = {"WAVE音频编码器"};
constexpr const char* kAC3[] = {"Flac音频编码器"};
constexpr const char* kAC4[] = {"AAC音频编码器"};
constexpr const char* kAC5[] = {"WMA音频编码器"};
constexpr const char* kAC6[] = {"OGG音频编码器"};
constexpr const char* kAC7[] = {
    "MP3音频编码器",
    "Flac音频编码器",
    "AAC音频编码器",
    "AC3音频编码器",
};
constexpr const char* kAC8[] = {
    "AAC音频编码器",
    "MP3音频编码器",
    "Flac音频编码器",
    "AC3音频编码器",
};
constexpr const char* kAC9[] = {
    "MP2音频编码器",
    "MP3音频编码器",
    "Flac音频编码器",
    "AAC音频编码器",
    "AC3音频编码器",
};
constexpr const char* kAC10[] = {
    "AAC音频编码器",
    "MP3音频编码器",
};
constexpr const char* kAC11[] = {
    "VOB音频编码器",
    "MP3音频编码器",
    "Flac音频编码器",
    "AAC音频编码器",
    "AC3音频编码器",
};
constexpr const char* kAC12[] = {"WMV音频编码器"};
constexpr const char* kAC13[] = {"自动音频编码器"};
constexpr const char* kAC14[] = {
    "ASF音频编码器1",
    "ASF音频编码器2",
};
constexpr const char* kAC15[] = {"AC3音频编码器"};
constexpr const char* kAC16[] = {"MP2音频编码器"};
constexpr const char* kAC17[] = {"RM音频编码器"};
constexpr const char* kAC18[] = {"AMR音频编码器"};
constexpr const char* kAB1[] = {
    "16",
    "24",
    "32",
    "40",
    "48",
    "56",
    "64",
    "80",
    "96",
    "112",
    "128",
    "144",
    "160",
    "192",
    "224",
    "256",
    "320",
};
constexpr const char* kAB2[] = {
    "64",
    "96",
    "128",
};
constexpr const char* kAB3[] = {
    "64",
    "96",
    "128",
    "144",
    "160",
    "192",
    "224",
    "256",
    "320",
};
constexpr const char* kAB4[] = {"自动音频比特率"};
constexpr const char* kAB5[] = {
    "4.75",
    "5.15",
    "5.9",
    "6.7",
    "7.4",
    "7.95",
    "10.2",
    "12.2",
};
constexpr const char* kSR1[] = {
    "11025",
    "22050",
    "44100",
    "48000",
};
constexpr const char* kSR2[] = {
    "11025",
    "16000",
    "22050",
    "32000",
    "44100",
    "48000",
};
constexpr const char* kSR3[] = {
    "11025",
    "22050",
    "32000",
    "44100",
    "48000",
};
constexpr const char* kSR4[] = {
    "11025",
    "22050",
    "44100",
};
constexpr const char* kSR5[] = {
    "11025",
    "22050",
    "44100",
    "44100",
    "48000",
};
constexpr const char* kSR6[] = {"24000"};
constexpr const char* kSR7[] = {
    "24000",
    "32000",
    "44100",
    "48000",
};
constexpr const char* kSR8[] = {
    "44100",
    "48000",
};
constexpr const char* kSR9[] = {"自动音频采样率"};
constexpr const char* kSR10[] = {"8000"};
constexpr const char* kCH1[] = {
    "立体声",
    "单声道",
};
constexpr const char* kCH2[] = {"单声道"};
constexpr const char* kVOL1[] = {
    "无声音",
    "音量降低90%",
    "音量降低80%",
    "音量降低70%",
    "音量降低60%",
    "音量降低50%",
    "音量降低40%",
    "音量降低30%",
    "音量降低20%",
    "音量降低10%",
    "音量保持不变",
    "音量增加10%",
    "音量增加20%",
    "音量增加30%",
    "音量增加40%",
    "音量增加50%",
    "音量增加60%",
    "音量增加70%",
    "音量增加80%",
    "音量增加90%",
    "音量增加1倍",
    "音量增加1.5倍",
    "音量增加2倍",
    "音量增加3倍",
    "音量增加4倍",
    "音量增加5倍",
    "音量增加6倍",
    "音量增加7倍",
};

constexpr ChoiceList kLists[] = {
    {"VC1", kVC1}, {"VC2", kVC2}, {"VC3", kVC3}, {"VC4", kVC4}, {"VC5", kVC5}, {"VC6", kVC6},
    {"VC7", kVC7}, {"VC8", kVC8}, {"VC9", kVC9}, {"VC10", kVC10}, {"VC11", kVC11}, {"VC12", kVC12},
    {"VC13", kVC13}, {"VC14", kVC14}, {"VC15", kVC15}, {"VC16", kVC16}, {"VC17", kVC17},
    {"VC18", kVC18}, {"VC19", kVC19}, {"VC20", kVC20}, {"VC21", kVC21}, {"VB1", kVB1},
    {"VB2", kVB2}, {"VB3", kVB3}, {"VB4", kVB4}, {"VB5", kVB5}, {"VB6", kVB6}, {"VB7", kVB7},
    {"VB8", kVB8}, {"VB9", kVB9}, {"VB10", kVB10}, {"VB11", kVB11}, {"VB12", kVB12},
    {"VB13", kVB13}, {"FS1", kFS1}, {"FS2", kFS2}, {"FS3", kFS3}, {"FS4", kFS4}, {"FS5", kFS5},
    {"FS6", kFS6}, {"FS7", kFS7}, {"FS8", kFS8}, {"FS9", kFS9}, {"FS10", kFS10}, {"FS11", kFS11},
    {"FR1", kFR1}, {"FR2", kFR2}, {"FR3", kFR3}, {"FR4", kFR4}, {"FR5", kFR5}, {"FR6", kFR6},
    {"AS1", kAS1}, {"AS2", kAS2}, {"AC1", kAC1}, {"AC2", kAC2}, {"AC3", kAC3}, {"AC4", kAC4},
    {"AC5", kAC5}, {"AC6", kAC6}, {"AC7", kAC7}, {"AC8", kAC8}, {"AC9", kAC9}, {"AC10", kAC10},
    {"AC11", kAC11}, {"AC12", kAC12}, {"AC13", kAC13}, {"AC14", kAC14}, {"AC15", kAC15},
    {"AC16", kAC16}, {"AC17", kAC17}, {"AC18", kAC18}, {"AB1", kAB1}, {"AB2", kAB2}, {"AB3", kAB3},
    {"AB4", kAB4}, {"AB5", kAB5}, {"SR1", kSR1}, {"SR2", kSR2}, {"SR3", kSR3}, {"SR4", kSR4},
    {"SR5", kSR5}, {"SR6", kSR6}, {"SR7", kSR7}, {"SR8", kSR8}, {"SR9", kSR9}, {"SR10", kSR10},
    {"CH1", kCH1}, {"CH2", kCH2}, {"VOL1", kVOL1},
};

// ---- Profiles ----
constexpr int kIdx312[] = {312};
constexpr int kIdx313[] = {313};
constexpr int kIdx314[] = {314};
constexpr int kIdx315[] = {315};
constexpr int kIdx316[] = {316};
constexpr int kIdx317[] = {317};
constexpr int kIdx318[] = {318};
constexpr int kIdx319[] = {319};
constexpr int kIdx320[] = {320};
constexpr int kIdx321[] = {321};
constexpr int kIdx322[] = {322};
constexpr int kIdx323[] = {323};
constexpr int kIdx324[] = {324};
constexpr int kIdx325[] = {325};
constexpr int kIdx300[] = {300};
constexpr int kIdx301[] = {301};
constexpr int kIdx302[] = {302};
constexpr int kIdx303[] = {303};
constexpr int kIdx304[] = {304};
constexpr int kIdx305[] = {305};
constexpr int kIdx306[] = {306};
constexpr int kIdx307[] = {307};
constexpr int kIdx308[] = {308};
constexpr int kIdx309[] = {309};
constexpr int kIdx310[] = {310};
constexpr int kIdx311[] = {311};
constexpr int kIdx100[] = {100};
constexpr int kIdx101[] = {101};
constexpr int kIdx102[] = {102};
constexpr int kIdx103[] = {103};
constexpr int kIdx104[] = {104};
constexpr int kIdx105[] = {105};
constexpr int kIdx106[] = {106};
constexpr int kIdx107[] = {107};
constexpr int kIdx108[] = {108};
constexpr int kIdx109[] = {109};
constexpr int kIdx110[] = {110};
constexpr int kIdx111[] = {111};
constexpr int kIdx112[] = {112};
constexpr int kIdx113[] = {113};
constexpr int kIdx114[] = {114};
constexpr int kIdx115[] = {115};
constexpr int kIdx116[] = {116};
constexpr int kIdx117[] = {117};
constexpr int kIdx118[] = {118};
constexpr int kIdx119[] = {119};
constexpr int kIdx1_2_3[] = {1, 2, 3};
constexpr int kIdx4[] = {4};
constexpr int kIdx5[] = {5};
constexpr int kIdx6_7_8_9[] = {6, 7, 8, 9};
constexpr int kIdx10[] = {10};
constexpr int kIdx11[] = {11};
constexpr int kIdx12[] = {12};
constexpr int kIdx13[] = {13};
constexpr int kIdx14[] = {14};
constexpr int kIdx15[] = {15};
constexpr int kIdx16[] = {16};
constexpr int kIdx17[] = {17};
constexpr int kIdx18[] = {18};
constexpr int kIdx19[] = {19};
constexpr int kIdx20[] = {20};
constexpr int kIdx21[] = {21};
constexpr int kIdx22[] = {22};
constexpr int kIdx23[] = {23};
constexpr int kIdx24[] = {24};
constexpr int kIdx200[] = {200};
constexpr int kIdx201[] = {201};
constexpr int kIdx202[] = {202};
constexpr int kIdx203[] = {203};
constexpr int kIdx204[] = {204};
constexpr int kIdx205[] = {205};
constexpr int kIdx206[] = {206};
constexpr int kIdx207[] = {207};
constexpr int kIdx208[] = {208};
constexpr int kIdx209[] = {209};

// Slots in Slot order: video codec, video bit-rate, frame size, frame rate, scaling mode,
// audio codec, audio bit-rate, sample rate, channels, volume.
constexpr FormatProfile kProfiles[] = {
    // 312: MP4视频格式
    {kIdx312, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 1}, {"VB2", 8}, {"FS2", 0}, {"FR2", 6}, {"AS2", 1},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 313: 通用AVI视频格式
    {kIdx313, ".avi", ".avi", false, "", "",
     {{{"VC3", 0}, {"VB3", 6}, {"FS2", 0}, {"FR3", 0}, {"AS2", 1},
       {"AC8", 0}, {"AB1", 13}, {"SR2", 5}, {"CH1", 0}, {"VOL1", 10}}}},
    // 314: MPG视频格式
    {kIdx314, ".mpg", ".mpg", false, "", "",
     {{{"VC4", 0}, {"VB2", 7}, {"FS2", 0}, {"FR3", 9}, {"AS2", 0},
       {"AC9", 0}, {"AB1", 10}, {"SR3", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 315: MOV视频格式
    {kIdx315, ".mov", ".mov", false, "mov", "",
     {{{"VC5", 0}, {"VB3", 5}, {"FS2", 0}, {"FR3", 0}, {"AS2", 1},
       {"AC10", 0}, {"AB1", 10}, {"SR1", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 316: FLV视频格式
    {kIdx316, ".flv", ".flv", false, "", "",
     {{{"VC6", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR4", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 317: MPEG4视频格式
    {kIdx317, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 1}, {"VB2", 7}, {"FS2", 0}, {"FR2", 6}, {"AS2", 1},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 318: DVD视频格式
    {kIdx318, ".mpg", ".mpg", false, "", "dvd",
     {{{"VC7", 0}, {"VB4", 3}, {"FS3", 13}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR5", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 319: 高清晰AVI视频格式(H264)
    {kIdx319, ".avi", ".avi", false, "", "",
     {{{"VC3", 0}, {"VB3", 6}, {"FS2", 0}, {"FR3", 0}, {"AS2", 1},
       {"AC8", 0}, {"AB1", 13}, {"SR2", 5}, {"CH1", 0}, {"VOL1", 10}}}},
    // 320: SWF视频格式
    {kIdx320, ".swf", ".swf", false, "", "",
     {{{"VC8", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR4", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 321: VOB视频格式
    {kIdx321, ".vob", ".vob", false, "", "",
     {{{"VC9", 0}, {"VB5", 5}, {"FS2", 17}, {"FR3", 10}, {"AS2", 0},
       {"AC11", 0}, {"AB1", 10}, {"SR3", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 322: 高清MKV视频格式
    {kIdx322, ".mkv", ".mkv", false, "", "",
     {{{"VC10", 0}, {"VB5", 4}, {"FS2", 0}, {"FR3", 0}, {"AS2", 1},
       {"AC7", 2}, {"AB1", 10}, {"SR4", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 323: VCD视频格式
    {kIdx323, ".mpg", ".mpg", false, "", "vcd",
     {{{"VC11", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 324: WMV视频格式
    {kIdx324, ".wmv", ".wmv", false, "", "",
     {{{"VC12", 0}, {"VB2", 8}, {"FS2", 0}, {"FR3", 9}, {"AS2", 0},
       {"AC12", 0}, {"AB1", 10}, {"SR3", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 325: 移动设备MP4格式
    {kIdx325, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 1}, {"VB2", 6}, {"FS2", 11}, {"FR2", 6}, {"AS2", 1},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 300: 标准MP3格式音频
    {kIdx300, ".mp3", ".mp3", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC1", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 301: 优化MP3格式音频
    {kIdx301, ".mp3", ".mp3", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC1", 0}, {"AB1", 11}, {"SR1", 2}, {"CH1", 0}, {"VOL1", 10}}}},
    // 302: 高清MP3格式音频
    {kIdx302, ".mp3", ".mp3", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC1", 0}, {"AB1", 13}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 303: 高压缩MP3格式音频
    {kIdx303, ".mp3", ".mp3", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC1", 0}, {"AB1", 6}, {"SR1", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 304: 超清晰MP3格式音频
    {kIdx304, ".mp3", ".mp3", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC1", 0}, {"AB1", 16}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 305: WAV无损格式音频
    {kIdx305, ".wav", ".wav", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC2", 0}, {"AB1", 12}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 306: FLAC无损格式音频
    {kIdx306, ".flac", ".flac", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC3", 0}, {"AB1", 11}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 307: 高清WAV音频格式
    {kIdx307, ".wav", ".wav", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC2", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 308: AAC音频格式
    {kIdx308, ".m4a", ".m4a", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC4", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 309: 手机MP3音频格式
    {kIdx309, ".mp3", ".mp3", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC1", 0}, {"AB1", 10}, {"SR1", 2}, {"CH1", 0}, {"VOL1", 10}}}},
    // 310: WMA高清格式音频
    {kIdx310, ".wma", ".wma", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC5", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 311: OGG高清音频格式
    {kIdx311, ".ogg", ".ogg", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC6", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 100: 智能手机视频格式
    {kIdx100, ".avi", ".avi", false, "", "",
     {{{"VC13", 0}, {"VB3", 4}, {"FS2", 0}, {"FR3", 9}, {"AS2", 1},
       {"AC8", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 101: H.264编码手机视频格式
    {kIdx101, ".avi", ".avi", false, "", "",
     {{{"VC3", 0}, {"VB3", 6}, {"FS2", 0}, {"FR3", 0}, {"AS2", 1},
       {"AC8", 0}, {"AB1", 13}, {"SR2", 5}, {"CH1", 0}, {"VOL1", 10}}}},
    // 102: 安卓MP4手机视频格式
    {kIdx102, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 1}, {"VB2", 6}, {"FS2", 11}, {"FR2", 6}, {"AS2", 1},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 103: 手机AVI视频格式
    {kIdx103, ".avi", ".avi", false, "", "",
     {{{"VC13", 1}, {"VB3", 5}, {"FS2", 0}, {"FR3", 9}, {"AS2", 1},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 104: 智能手机常用视频格式
    {kIdx104, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 1}, {"VB2", 7}, {"FS2", 15}, {"FR2", 6}, {"AS2", 1},
       {"AC7", 2}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 105: HD高清手机视频格式
    {kIdx105, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 1}, {"VB6", 5}, {"FS2", 20}, {"FR2", 7}, {"AS2", 1},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 106: 手机MOV视频格式
    {kIdx106, ".mov", ".mov", false, "mov", "",
     {{{"VC5", 0}, {"VB3", 4}, {"FS2", 0}, {"FR3", 0}, {"AS2", 1},
       {"AC10", 0}, {"AB1", 10}, {"SR1", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 107: 手机MKV视频格式
    {kIdx107, ".mkv", ".mkv", false, "", "",
     {{{"VC10", 0}, {"VB5", 4}, {"FS2", 0}, {"FR3", 0}, {"AS2", 1},
       {"AC7", 2}, {"AB1", 10}, {"SR4", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 108: 平板电脑H.264视频格式
    {kIdx108, ".avi", ".avi", false, "", "",
     {{{"VC3", 0}, {"VB3", 6}, {"FS2", 0}, {"FR3", 0}, {"AS2", 1},
       {"AC7", 2}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 109: 平板电脑MPEG-4视频格式
    {kIdx109, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 1}, {"VB2", 7}, {"FS2", 0}, {"FR2", 6}, {"AS2", 1},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 110: 平板AVI视频格式
    {kIdx110, ".avi", ".avi", false, "", "",
     {{{"VC3", 3}, {"VB3", 7}, {"FS2", 17}, {"FR3", 11}, {"AS2", 1},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 111: 平板电脑常用MP4视频
    {kIdx111, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 4}, {"VB2", 7}, {"FS2", 15}, {"FR2", 6}, {"AS2", 0},
       {"AC8", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 112: 其他设备MP4视频格式
    {kIdx112, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 1}, {"VB2", 7}, {"FS2", 15}, {"FR2", 6}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 113: 高清电视H.264视频格式
    {kIdx113, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 4}, {"VB7", 9}, {"FS2", 20}, {"FR2", 8}, {"AS2", 1},
       {"AC8", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 114: 智能电视AVI视频格式
    {kIdx114, ".avi", ".avi", false, "", "",
     {{{"VC3", 1}, {"VB3", 6}, {"FS2", 20}, {"FR3", 10}, {"AS2", 1},
       {"AC8", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 115: 4K高清智能电视视频格式
    {kIdx115, ".avi", ".avi", false, "", "",
     {{{"VC3", 2}, {"VB8", 6}, {"FS4", 13}, {"FR3", 10}, {"AS2", 1},
       {"AC8", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 116: 智能电视MP4视频格式
    {kIdx116, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 1}, {"VB2", 8}, {"FS5", 0}, {"FR2", 6}, {"AS2", 1},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 117: FHD全高清视频格式
    {kIdx117, ".mkv", ".mkv", false, "", "",
     {{{"VC10", 4}, {"VB5", 5}, {"FS6", 6}, {"FR3", 0}, {"AS2", 1},
       {"AC8", 0}, {"AB1", 10}, {"SR4", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 118: 网络机顶盒MP4视频格式
    {kIdx118, ".mp4", ".mp4", false, "", "",
     {{{"VC2", 2}, {"VB2", 7}, {"FS2", 15}, {"FR2", 7}, {"AS2", 1},
       {"AC7", 2}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 119: 网络机顶盒AVI视频格式
    {kIdx119, ".avi", ".avi", false, "", "",
     {{{"VC14", 4}, {"VB3", 6}, {"FS2", 17}, {"FR3", 10}, {"AS2", 1},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 1, 2, 3: 电脑上使用的AVI/MPEG视频 …
    {kIdx1_2_3, ".avi", ".avi", false, "", "",
     {{{"VC15", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 4: Sony(索尼) PSP MP4视频
    {kIdx4, ".mp4", ".psp.mp4", false, "", "",
     {{{"VC16", 0}, {"VB9", 2}, {"FS7", 0}, {"FR4", 2}, {"AS2", 0},
       {"AC4", 0}, {"AB2", 2}, {"SR6", 0}, {"CH1", 0}, {"VOL1", 10}}}},
    // 5: Sony(索尼) PS3 MP4视频
    {kIdx5, ".mp4", ".psp.mp4", false, "", "",
     {{{"VC17", 0}, {"VB10", 3}, {"FS8", 4}, {"FR5", 5}, {"AS2", 0},
       {"AC4", 0}, {"AB2", 2}, {"SR7", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 6, 7, 8, 9: Apple(苹果) ipod video MP4视频 …
    {kIdx6_7_8_9, ".mp4", ".ipod.mp4", false, "", "",
     {{{"VC10", 0}, {"VB11", 2}, {"FS9", 3}, {"FR2", 6}, {"AS2", 0},
       {"AC4", 0}, {"AB2", 2}, {"SR7", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 10: SONY(索尼)M70/U50系列普通MPEG4视频
    {kIdx10, ".mp4", ".mp4", false, "", "",
     {{{"VC10", 0}, {"VB12", 3}, {"FS9", 3}, {"FR2", 6}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 11: SONY(索尼)A800/M70/U50系列高清MPEG4视频
    {kIdx11, ".mp4", ".mp4", false, "", "",
     {{{"VC10", 4}, {"VB11", 2}, {"FS9", 3}, {"FR2", 6}, {"AS2", 0},
       {"AC7", 0}, {"AB3", 2}, {"SR8", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 12: 电脑上使用的MP4视频
    {kIdx12, ".mp4", ".mp4", false, "", "",
     {{{"VC10", 0}, {"VB12", 3}, {"FS9", 3}, {"FR2", 6}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 13: SWF视频格式(Flash视频文件)
    {kIdx13, ".swf", ".swf", false, "", "",
     {{{"VC8", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR4", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 14: FLV视频格式(视频网站专用的FLV文件)(如土豆网)
    {kIdx14, ".flv", ".flv", false, "", "",
     {{{"VC6", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR4", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 15: RM/RMVB视频格式
    {kIdx15, ".rm", ".rm", false, "", "",
     {{{"VC18", 0}, {"VB4", 2}, {"FS3", 0}, {"FR3", 0}, {"AS2", 0},
       {"AC13", 0}, {"AB4", 0}, {"SR9", 0}, {"CH1", 0}, {"VOL1", 10}}}},
    // 16: MKV网络视频格式
    {kIdx16, ".mkv", ".mkv", false, "", "",
     {{{"VC10", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR4", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 17: MOV视频格式
    {kIdx17, ".mov", ".mov", false, "mov", "",
     {{{"VC5", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC8", 0}, {"AB1", 10}, {"SR1", 1}, {"CH1", 0}, {"VOL1", 10}}}},
    // 18: MPEG/MPG视频格式
    {kIdx18, ".mpg", ".mpg", false, "", "",
     {{{"VC4", 0}, {"VB4", 2}, {"FS3", 3}, {"FR6", 9}, {"AS2", 0},
       {"AC9", 0}, {"AB1", 10}, {"SR3", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 19: DVD影碟视频格式
    {kIdx19, ".mpg", ".mpg", false, "", "dvd",
     {{{"VC7", 0}, {"VB4", 2}, {"FS3", 13}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR5", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 20: SVCD影碟视频格式
    {kIdx20, ".mpg", ".mpg", false, "", "svcd",
     {{{"VC19", 0}, {"VB4", 2}, {"FS3", 7}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 21: VCD影碟视频格式
    {kIdx21, ".mpg", ".mpg", false, "", "vcd",
     {{{"VC11", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC7", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 22: WMV微软视频格式
    {kIdx22, ".wmv", ".wmv", false, "", "",
     {{{"VC12", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC12", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 23: ASF视频格式
    {kIdx23, ".asf", ".asf", false, "", "",
     {{{"VC20", 0}, {"VB4", 2}, {"FS3", 3}, {"FR3", 9}, {"AS2", 0},
       {"AC14", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 24: Motion Jpeg(MJpeg)视频格式
    {kIdx24, ".avi", ".avi", false, "", "",
     {{{"VC21", 0}, {"VB13", 8}, {"FS3", 3}, {"FR3", 0}, {"AS2", 0},
       {"AC1", 0}, {"AB1", 10}, {"SR2", 4}, {"CH1", 0}, {"VOL1", 10}}}},
    // 200: MP3音频格式
    {kIdx200, ".mp3", ".mp3", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC1", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 201: WMA音频格式
    {kIdx201, ".wma", ".wma", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC5", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 202: CD/WAV音频格式
    {kIdx202, ".wav", ".wav", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC2", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 203: AAC音频格式
    {kIdx203, ".m4a", ".m4a", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC4", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 204: AC3音频格式
    {kIdx204, ".ac3", ".ac3", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC15", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 205: OGG音频格式
    {kIdx205, ".ogg", ".ogg", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC6", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 206: MP2音频格式
    {kIdx206, ".mp2", ".mp2", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC16", 0}, {"AB1", 10}, {"SR3", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 207: FLAC音频格式
    {kIdx207, ".flac", ".flac", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC3", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 208: RM音频格式
    {kIdx208, ".rm", ".rm", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC17", 0}, {"AB1", 10}, {"SR1", 3}, {"CH1", 0}, {"VOL1", 10}}}},
    // 209: AMR（手机）音频格式
    {kIdx209, ".amr", ".amr", true, "", "",
     {{{"VC1", 0}, {"VB1", 0}, {"FS1", 0}, {"FR1", 0}, {"AS1", 0},
       {"AC18", 0}, {"AB5", 4}, {"SR10", 0}, {"CH2", 0}, {"VOL1", 10}}}},
};

// ---- Picker tabs ----
constexpr PickerItem kTabCommon[] = {
    {"标准MP3格式音频", 0},
    {"优化MP3格式音频", 1},
    {"高清MP3格式音频", 2},
    {"高压缩MP3格式音频", 3},
    {"超清晰MP3格式音频", 4},
    {"WAV无损格式音频", 5},
    {"FLAC无损格式音频", 6},
    {"高清WAV音频格式", 7},
    {"AAC音频格式", 8},
    {"手机MP3音频格式", 9},
    {"WMA高清格式音频", 10},
    {"OGG高清音频格式", 11},
    {"MP4视频格式", 12},
    {"通用AVI视频格式", 13},
    {"MPG视频格式", 14},
    {"MOV视频格式", 15},
    {"FLV视频格式", 16},
    {"MPEG4视频格式", 17},
    {"DVD视频格式", 18},
    {"高清晰AVI视频格式(H264)", 19},
    {"SWF视频格式", 20},
    {"VOB视频格式", 21},
    {"高清MKV视频格式", 22},
    {"VCD视频格式", 23},
    {"WMV视频格式", 24},
    {"移动设备MP4格式", 25},
};
constexpr PickerItem kTabDevices[] = {
    {"智能手机视频格式", 0},
    {"H.264编码手机视频格式", 1},
    {"安卓MP4手机视频格式", 2},
    {"手机AVI视频格式", 3},
    {"智能手机常用视频格式", 4},
    {"HD高清手机视频格式", 5},
    {"手机MOV视频格式", 6},
    {"手机MKV视频格式", 7},
    {"平板电脑H.264视频格式", 8},
    {"平板电脑MPEG-4视频格式", 9},
    {"平板AVI视频格式", 10},
    {"平板电脑常用MP4视频", 11},
    {"其他设备MP4视频格式", 12},
    {"高清电视H.264视频格式", 13},
    {"智能电视AVI视频格式", 14},
    {"4K高清智能电视视频格式", 15},
    {"智能电视MP4视频格式", 16},
    {"FHD全高清视频格式", 17},
    {"网络机顶盒MP4视频格式", 18},
    {"网络机顶盒AVI视频格式", 19},
};
constexpr PickerItem kTabComputer[] = {
    {"电脑上使用的AVI/MPEG视频", 0},
    {"MP4机上使用的AVI/MPEG视频", 1},
    {"支持MPEG4的DVD影碟机使用的AVI/MPEG视频", 2},
    {"Sony(索尼) PSP MP4视频", 3},
    {"Sony(索尼) PS3 MP4视频", 4},
    {"Apple(苹果) ipod video MP4视频", 5},
    {"Apple(苹果) iPod Touch/Classic/Nano MP4视频", 6},
    {"Apple(苹果) iPhone MP4视频", 7},
    {"Apple(苹果) TV MP4视频", 8},
    {"SONY(索尼)M70/U50系列普通MPEG4视频", 12},
    {"SONY(索尼)A800/M70/U50系列高清MPEG4视频", 13},
    {"电脑上使用的MP4视频", 14},
    {"SWF视频格式(Flash视频文件)", 15},
    {"FLV视频格式(视频网站专用的FLV文件)(如土豆网)", 16},
    {"RM/RMVB视频格式", 17},
    {"MKV网络视频格式", 18},
    {"MOV视频格式", 19},
    {"MPEG/MPG视频格式", 20},
    {"DVD影碟视频格式", 21},
    {"SVCD影碟视频格式", 22},
    {"VCD影碟视频格式", 23},
    {"WMV微软视频格式", 24},
    {"ASF视频格式", 37},
    {"Motion Jpeg(MJpeg)视频格式", 36},
};
constexpr PickerItem kTabAudio[] = {
    {"MP3音频格式", 0},
    {"WMA音频格式", 1},
    {"CD/WAV音频格式", 2},
    {"AAC音频格式", 3},
    {"AC3音频格式", 4},
    {"OGG音频格式", 5},
    {"MP2音频格式", 6},
    {"FLAC音频格式", 7},
    {"RM音频格式", 8},
    {"AMR（手机）音频格式", 9},
};

constexpr PickerTab kTabs[] = {
    {"MP3格式及常用格式", "suiListView4", 300, kTabCommon, 26},
    {"智能设备常用视频格式", "suiListView2", 100, kTabDevices, 20},
    {"更多电脑常用视频格式", "suiListView1", 1, kTabComputer, 39},
    {"更多音频格式", "suiListView3", 200, kTabAudio, 15},
};

// clang-format on

}  // namespace

QString ChoiceList::Item(int position) const {
    if (position < 0 || position >= size()) return {};
    return QString::fromUtf8(items[static_cast<size_t>(position)]);
}

QStringList ChoiceList::Items() const {
    QStringList out;
    out.reserve(size());
    for (const char* item : items) out << QString::fromUtf8(item);
    return out;
}

namespace {
constexpr const char* kSlotKeys[kSlotCount] = {"vcodec",   "vbitrate", "size",     "rate",
                                               "aspect",   "acodec",   "abitrate", "samplerate",
                                               "channels", "volume"};
}  // namespace

const char* SlotKey(Slot slot) { return kSlotKeys[static_cast<int>(slot)]; }

std::optional<Slot> SlotFromKey(std::string_view key) {
    for (int i = 0; i < kSlotCount; ++i)
        if (key == kSlotKeys[i]) return static_cast<Slot>(i);
    return std::nullopt;
}

std::span<const ChoiceList> ChoiceLists() { return kLists; }
std::span<const FormatProfile> Profiles() { return kProfiles; }
std::span<const PickerTab> PickerTabs() { return kTabs; }

const ChoiceList* FindChoiceList(std::string_view name) {
    for (const ChoiceList& list : kLists)
        if (list.name == name) return &list;
    return nullptr;
}

const FormatProfile* FindProfile(int formatIndex) {
    for (const FormatProfile& profile : kProfiles)
        if (std::find(profile.indexes.begin(), profile.indexes.end(), formatIndex) !=
            profile.indexes.end())
            return &profile;
    return nullptr;
}

QString ProfileCaption(int formatIndex) {
    for (const PickerTab& tab : kTabs) {
        const int position = formatIndex - tab.base;
        if (position >= 0 && position < static_cast<int>(tab.items.size()))
            return QString::fromUtf8(tab.items[static_cast<size_t>(position)].caption);
    }
    return {};
}

std::optional<ListReplacement> CodecDependentList(int formatIndex, const QString& item) {
    auto is = [&item](std::initializer_list<const char*> texts) {
        for (const char* text : texts)
            if (item == QString::fromUtf8(text)) return true;
        return false;
    };
    if (formatIndex >= 1 && formatIndex <= 3) {
        if (is({"Mjpeg 视频压缩器"})) return ListReplacement{Slot::VideoBitRate, {"VB13", 8}};
        if (is({"MPEG4 视频压缩器", "XviD 视频压缩器1", "XviD 视频压缩器2", "Divx 视频压缩器",
                "Divx 5 视频压缩器", "H264/AVC高清视频压缩器"}))
            return ListReplacement{Slot::VideoBitRate, {"VB4", 2}};
    } else if (formatIndex == 100 || formatIndex == 101) {
        if (is({"Divx 视频压缩器"})) return ListReplacement{Slot::FrameSize, {"FS10", 1}};
        if (is({"XviD 视频压缩器1", "XviD 视频压缩器2", "Divx 5 视频压缩器"}))
            return ListReplacement{Slot::FrameSize, {"FS11", 4}};
    }
    return std::nullopt;
}

}  // namespace formats
