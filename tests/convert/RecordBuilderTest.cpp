// Job fields → engine records and output names, checked on the fields the options model really
// produces for a sample of profiles and choices.
#include <QSet>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "formats/OptionsModel.h"
#include "formats/RecordBuilder.h"
#include "engine/UnicodeProtocol.h"

using namespace formats;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// The fields "确定" gives for `index` after the given selections (slot, exact item text).
JobFields Confirmed(int index, std::initializer_list<std::pair<Slot, const char*>> picks = {},
                    const QString& source = QStringLiteral("/src/clip.avi")) {
    JobFields current;
    current.ResetOptions();
    current.FormatIndex = index;
    current.SourceFile = source;
    OptionsModel model;
    model.PrepareForAddition(true);
    model.Open(current, QStringLiteral("/out"), {});
    for (const auto& [slot, text] : picks) EXPECT_TRUE(model.SelectText(slot, U(text))) << text;
    EXPECT_EQ(model.Confirm().kind, OptionsModel::Outcome::Accepted);
    return model.Fields();
}

TEST(OutputRecord, ProfileOneDefaultsBecomeTheEncoderOptions) {
    const JobFields f = Confirmed(1);
    const TOutputOptions o = BuildOutputRecord(f, AddMode::OneFile, QStringLiteral("/out/x.avi"));
    EXPECT_EQ(o.FileName, QStringLiteral("/out/x.avi"));
    EXPECT_EQ(o.FileFormat, "");
    EXPECT_EQ(o.VideoCodec, "mpeg4");
    EXPECT_EQ(o.VideoTag, "DX50");
    EXPECT_EQ(o.VideoPreset, "");
    EXPECT_EQ(o.VideoBitRate, 528000);
    EXPECT_EQ(o.FrameSize, "320*240");
    EXPECT_EQ(o.FrameRate, "25.00");
    EXPECT_EQ(o.AspectRatio, "4:3");
    EXPECT_EQ(o.AudioCodec, "libmp3lame");
    EXPECT_EQ(o.AudioBitRate, 128000);
    EXPECT_EQ(o.AudioSampleRate, 44100);
    EXPECT_EQ(o.AudioChannels, 2);
    EXPECT_EQ(o.AudioVolume, -1);  // "256" is the unchanged level: not applied
    EXPECT_FALSE(o.DisableVideo);
    EXPECT_EQ(o.Target, 0);
    EXPECT_EQ(o.TargetNorm, 0);
    EXPECT_EQ(o.StartTime, 0);
    EXPECT_EQ(o.Duration, kNoTimeSet);
    EXPECT_EQ(o.VideoFilters, "");
}

TEST(OutputRecord, Mpeg4KeepsItsDivxOrXvidTagOnlyInAvi) {
    // 110: "XviD 视频压缩器1" in an AVI profile; 118: the same item in an MP4 profile.
    EXPECT_EQ(BuildOutputRecord(Confirmed(110), AddMode::OneFile, "a.avi").VideoTag, "XVID");
    const JobFields mp4 = Confirmed(118);
    ASSERT_EQ(mp4.JobVideoTag, QStringLiteral("XVID"));
    const TOutputOptions o = BuildOutputRecord(mp4, AddMode::OneFile, "a.mp4");
    EXPECT_EQ(o.VideoCodec, "mpeg4");
    EXPECT_EQ(o.VideoTag, "");

    // The extension tag is compared exactly.
    JobFields upper = Confirmed(1);
    upper.OutputExtension = QStringLiteral(".AVI");
    EXPECT_EQ(BuildOutputRecord(upper, AddMode::OneFile, "a.AVI").VideoTag, "");
    // Only the two tags survive, even in AVI.
    JobFields other = Confirmed(1);
    other.JobVideoTag = QStringLiteral("FMP4");
    EXPECT_EQ(BuildOutputRecord(other, AddMode::OneFile, "a.avi").VideoTag, "");
    // Without a codec the rule does not run and the tag is applied as it is.
    JobFields noCodec = Confirmed(1);
    noCodec.JobVideoCodec.clear();
    noCodec.OutputExtension = QStringLiteral(".mp4");
    const TOutputOptions n = BuildOutputRecord(noCodec, AddMode::OneFile, "a.mp4");
    EXPECT_EQ(n.VideoCodec, "");
    EXPECT_EQ(n.VideoTag, "DX50");
}

TEST(OutputRecord, X264TakesItsPresetOtherCodecsNone) {
    const TOutputOptions h264 = BuildOutputRecord(Confirmed(313), AddMode::OneFile, "a.avi");
    EXPECT_EQ(h264.VideoCodec, "libx264");
    EXPECT_EQ(h264.VideoPreset, "libx264-default");
    EXPECT_EQ(h264.AudioCodec, "libfaac");
    const TOutputOptions divx = BuildOutputRecord(
        Confirmed(1, {{Slot::VideoCodec, "Divx 视频压缩器"}}), AddMode::OneFile, "a.avi");
    EXPECT_EQ(divx.VideoCodec, "msmpeg4");
    EXPECT_EQ(divx.VideoPreset, "");
    EXPECT_EQ(divx.VideoTag, "");
}

TEST(OutputRecord, DiscTargetsLeaveEverythingToThePreset) {
    const TOutputOptions dvd = BuildOutputRecord(Confirmed(19), AddMode::OneFile, "a_PAL.mpg");
    EXPECT_EQ(dvd.Target, 3);
    EXPECT_EQ(dvd.TargetNorm, 1);
    EXPECT_EQ(dvd.VideoCodec, "");
    EXPECT_EQ(dvd.VideoBitRate, -1);
    EXPECT_EQ(dvd.AudioBitRate, -1);
    EXPECT_EQ(dvd.AudioSampleRate, -1);
    EXPECT_EQ(dvd.AudioChannels, -1);
    EXPECT_EQ(dvd.FrameSize, "");
    EXPECT_EQ(dvd.FrameRate, "");
    EXPECT_EQ(dvd.AspectRatio, "");
    EXPECT_EQ(dvd.AudioCodec, "libmp3lame");  // the audio list still applies

    const TOutputOptions ntsc = BuildOutputRecord(
        Confirmed(19, {{Slot::VideoCodec, "NTSC_DVD视频压缩器"}}), AddMode::OneFile, "a.mpg");
    EXPECT_EQ(ntsc.Target, 3);
    EXPECT_EQ(ntsc.TargetNorm, 2);
    EXPECT_EQ(BuildOutputRecord(Confirmed(20), AddMode::OneFile, "a.mpg").Target, 2);
    EXPECT_EQ(BuildOutputRecord(Confirmed(21), AddMode::OneFile, "a.mpg").Target, 1);
    EXPECT_EQ(BuildOutputRecord(Confirmed(323), AddMode::OneFile, "a.mpg").Target, 1);

    JobFields odd = Confirmed(19);
    odd.JobTarget = QStringLiteral("DVD");  // exact comparison: not a known target
    odd.JobTVStandard = QStringLiteral("pal");
    const TOutputOptions o = BuildOutputRecord(odd, AddMode::OneFile, "a.mpg");
    EXPECT_EQ(o.Target, 0);
    EXPECT_EQ(o.TargetNorm, 0);
}

TEST(OutputRecord, AudioProfilesAndAutomaticItems) {
    const TOutputOptions mp3 = BuildOutputRecord(Confirmed(300), AddMode::OneFile, "a.mp3");
    EXPECT_TRUE(mp3.DisableVideo);
    EXPECT_EQ(mp3.VideoBitRate, -1);
    EXPECT_EQ(mp3.FrameSize, "");
    EXPECT_EQ(mp3.FrameRate, "");
    EXPECT_EQ(mp3.AspectRatio, "");
    EXPECT_EQ(mp3.AudioSampleRate, 48000);
    EXPECT_EQ(mp3.AudioCodec, "libmp3lame");

    // 15: "AUTO" codec and sample rate, -1000 bit-rate: the container and source decide.
    const TOutputOptions rm = BuildOutputRecord(Confirmed(15), AddMode::OneFile, "a.rm");
    EXPECT_EQ(rm.AudioCodec, "");
    EXPECT_EQ(rm.AudioSampleRate, -1);
    EXPECT_EQ(rm.AudioBitRate, -1);
    EXPECT_EQ(rm.VideoCodec, "rv10");
    EXPECT_EQ(rm.FrameSize, "");  // keep the source size

    const TOutputOptions amr = BuildOutputRecord(Confirmed(209), AddMode::OneFile, "a.amr");
    EXPECT_EQ(amr.AudioCodec, "libopencore_amrnb");
    EXPECT_EQ(amr.AudioBitRate, 7400);
    EXPECT_EQ(amr.AudioSampleRate, 8000);
    EXPECT_EQ(amr.AudioChannels, 1);

    // WAV and the items that name no encoder leave the container's default.
    EXPECT_EQ(BuildOutputRecord(Confirmed(305), AddMode::OneFile, "a.wav").AudioCodec, "");
    EXPECT_EQ(BuildOutputRecord(Confirmed(206), AddMode::OneFile, "a.mp2").AudioCodec, "");

    JobFields unset = Confirmed(300);
    unset.JobAudioBitRate = -2000;
    EXPECT_EQ(BuildOutputRecord(unset, AddMode::OneFile, "a.mp3").AudioBitRate, -1);
}

TEST(OutputRecord, VolumeFiltersAndContainer) {
    EXPECT_EQ(
        BuildOutputRecord(Confirmed(1, {{Slot::Volume, "音量增加50%"}}), AddMode::OneFile, "a.avi")
            .AudioVolume,
        384);
    // Silence is a volume too.
    EXPECT_EQ(
        BuildOutputRecord(Confirmed(300, {{Slot::Volume, "无声音"}}), AddMode::OneFile, "a.mp3")
            .AudioVolume,
        0);

    JobFields filtered = Confirmed(1);
    filtered.JobVideoFilters = QStringLiteral("hflip,negate");
    EXPECT_EQ(BuildOutputRecord(filtered, AddMode::OneFile, "a.avi").VideoFilters, "hflip,negate");

    EXPECT_EQ(BuildOutputRecord(Confirmed(17), AddMode::OneFile, "a.mov").FileFormat, "mov");
    const TOutputOptions asf = BuildOutputRecord(Confirmed(23), AddMode::OneFile, "a.asf");
    EXPECT_EQ(asf.FileFormat, "asf");
    EXPECT_EQ(asf.VideoCodec, "msmpeg4");
    EXPECT_EQ(asf.AudioCodec, "wmav2");
}

TEST(Records, CutRangeBecomesSeekAndDurationForOneFileOnly) {
    JobFields f = Confirmed(1);
    f.JobCutStart = 10000;
    f.JobCutDuration = 50000;
    f.JobCutMode = QStringLiteral("Select");
    EXPECT_EQ(BuildInputRecord(f, AddMode::OneFile).StartTime, 10000000);
    TOutputOptions o = BuildOutputRecord(f, AddMode::OneFile, "a.avi");
    EXPECT_EQ(o.Duration, 50000000);
    EXPECT_EQ(o.StartTime, kNoTimeSet);

    // Several files: no cut is possible; the start is taken as it is and nothing is limited.
    f.JobCutStart = 0;
    EXPECT_EQ(BuildInputRecord(f, AddMode::SeveralFiles).StartTime, 0);
    o = BuildOutputRecord(f, AddMode::SeveralFiles, "a.avi");
    EXPECT_EQ(o.Duration, kNoTimeSet);
    EXPECT_EQ(o.StartTime, kNoTimeSet);

    // No cut: the whole source from its start.
    const JobFields whole = Confirmed(1);
    EXPECT_EQ(BuildInputRecord(whole, AddMode::OneFile).StartTime, 0);
    o = BuildOutputRecord(whole, AddMode::OneFile, "a.avi");
    EXPECT_EQ(o.StartTime, 0);
    EXPECT_EQ(o.Duration, kNoTimeSet);
    // Cut arithmetic is 64-bit: 100 hours in milliseconds scaled to microseconds.
    f.JobCutStart = int64_t{360000000};
    EXPECT_EQ(BuildInputRecord(f, AddMode::OneFile).StartTime, int64_t{360000000000});
}

TEST(Records, DatSourcesAreReadAsMpeg) {
    EXPECT_EQ(BuildInputRecord(Confirmed(1, {}, "/v/AVSEQ01.DAT"), AddMode::OneFile).FileFormat,
              "mpeg");
    EXPECT_EQ(BuildInputRecord(Confirmed(1, {}, "/v/a.dat"), AddMode::OneFile).FileFormat, "mpeg");
    const TInputOptions in = BuildInputRecord(Confirmed(1, {}, "/v/a.data"), AddMode::OneFile);
    EXPECT_EQ(in.FileFormat, "");
    EXPECT_EQ(in.FileName, QStringLiteral("/v/a.data"));
    EXPECT_EQ(in.ProgramID, -1);
}

TEST(OutputNames, OneFileUsesTheDialogsNameSeveralFilesTheSourceName) {
    const JobFields psp = Confirmed(4, {}, "/src/movie.rmvb");
    EXPECT_EQ(psp.OutputExtension, QStringLiteral(".psp.mp4"));
    EXPECT_EQ(CandidateOutputName(psp, AddMode::OneFile, "/out"), QStringLiteral("/out/movie.mp4"));
    EXPECT_EQ(CandidateOutputName(psp, AddMode::SeveralFiles, "/elsewhere/"),
              QStringLiteral("/elsewhere/movie.mp4"));

    const JobFields dvd = Confirmed(19, {}, "/src/a.b.avi");
    EXPECT_EQ(CandidateOutputName(dvd, AddMode::OneFile, "/out"),
              QStringLiteral("/out/a.b_PAL.mpg"));
    EXPECT_EQ(CandidateOutputName(dvd, AddMode::SeveralFiles, "/out"),
              QStringLiteral("/out/a.b.mpg"));

    const JobFields bare = Confirmed(1, {}, "/src.d/movie");
    EXPECT_EQ(CandidateOutputName(bare, AddMode::SeveralFiles, "/out"),
              QStringLiteral("/out/movie.avi"));
}

TEST(OutputNames, TakenNamesAreNumberedFromOne) {
    QSet<QString> taken{"/out/clip.mp3", "/out/clip(New_1).mp3", "/out/clip(New_3).mp3"};
    const NameTaken isTaken = [&](const QString& p) { return taken.contains(p); };
    EXPECT_EQ(NumberedName("/out/clip.mp3", isTaken), QStringLiteral("/out/clip(New_2).mp3"));
    EXPECT_EQ(NumberedName("/out/other.mp3", isTaken), QStringLiteral("/out/other.mp3"));
    taken.insert("/out/clip(New_2).mp3");
    EXPECT_EQ(NumberedName("/out/clip.mp3", isTaken), QStringLiteral("/out/clip(New_4).mp3"));

    // The extension is the file name's: a dotted folder does not count, no dot means none.
    QSet<QString> bare{"/a.b/clip"};
    EXPECT_EQ(NumberedName("/a.b/clip", [&](const QString& p) { return bare.contains(p); }),
              QStringLiteral("/a.b/clip(New_1)"));
    QSet<QString> psp{"/o/m.psp.mp4"};
    EXPECT_EQ(NumberedName("/o/m.psp.mp4", [&](const QString& p) { return psp.contains(p); }),
              QStringLiteral("/o/m.psp(New_1).mp4"));
}

TEST(OutputNames, BatchStartMovesAndRenumbersOnlyATrailingNumber) {
    const QSet<QString> onDisk{"/new/clip.mp3", "/new/clip(New_1).mp3", "/o/a(New_1) b.mp3",
                               "/o/a(New_2).mp3", "/o/x(New_y).mp3"};
    const NameTaken exists = [&](const QString& p) { return onDisk.contains(p); };
    const auto N = OverwritePolicy::NewName, O = OverwritePolicy::Overwrite;
    struct Case {
        const char* why;
        const char *source, *folder;
        OverwritePolicy policy;
        const char* expected;
    };
    const Case cases[] = {
        {"the next free number", "/old/clip(New_1).mp3", "/new", N, "/new/clip(New_2).mp3"},
        {"overwritten: no number", "/old/clip(New_1).mp3", "/new/", O, "/new/clip.mp3"},
        {"the plain name is free: used again", "/old/song(New_4).mp3", "/new", N, "/new/song.mp3"},
        {"never numbered, taken: numbered on (an earlier run's file stays)", "/old/clip.mp3",
         "/new", N, "/new/clip(New_2).mp3"},
        {"never numbered, overwritten", "/old/clip.mp3", "/new", O, "/new/clip.mp3"},
        {"only the file name holds a number", "/old/clip.mp3", "/x(New_1)", N,
         "/x(New_1)/clip.mp3"},
        {"\"(New_\" in the middle is part of the name", "/s/a(New_1) b.mp3", "/o", N,
         "/o/a(New_1) b(New_1).mp3"},
        {"only the last number goes", "/s/a(New_2)(New_7).mp3", "/o", N, "/o/a(New_2)(New_1).mp3"},
        {"only the last number goes, overwritten", "/s/a(New_2)(New_7).mp3", "/o", O,
         "/o/a(New_2).mp3"},
        {"not digits: no number", "/s/x(New_y).mp3", "/o", N, "/o/x(New_y)(New_1).mp3"},
        {"no digits: no number", "/s/x(New_).mp3", "/o", N, "/o/x(New_).mp3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BatchOutputName(c.source, c.folder, c.policy, exists), QString(c.expected))
            << c.why;
    // Not right before the extension: no number.
    EXPECT_EQ(NumberMarker("/o/x(New_3).tar.gz"), -1);
    EXPECT_EQ(NumberMarker("/o/x(New_3)"), 4);
    EXPECT_EQ(NumberMarker("/o/x(New_١).mp3"), -1) << "only ASCII digits";
}

TEST(OutputNames, LongNamesAreShortenedToWholeCharactersWithinTheFileSystemsLimit) {
    // Linux file systems take 255 bytes per file name. "長" is 3 bytes in UTF-8, "🎬" 4, and a
    // byte of a name that is not UTF-8 (kept as one escape character) 1.
    const QString cjk = QString(80, QChar(0x9577));  // 240 bytes
    const JobFields source = Confirmed(300, {}, "/src/" + cjk + "abcdefghijklmno.avi");
    const QString name = CandidateOutputName(source, AddMode::SeveralFiles, "/out");
    EXPECT_EQ(name, "/out/" + cjk + "abcdefghijk.mp3");  // 240 + 15 + 4 bytes: four letters go

    // The number costs seven bytes more: seven more letters go.
    const QSet<QString> taken{name};
    const NameTaken isTaken = [&](const QString& p) { return taken.contains(p); };
    EXPECT_EQ(NumberedName(name, isTaken), "/out/" + cjk + "abcd(New_1).mp3");

    // Whole characters only: a 4-byte character goes as a whole, never half of it.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xAC");
    const QString mixed = QString(62, QChar(0x9577)) + emoji + emoji;  // 186 + 8 bytes
    const JobFields wide = Confirmed(300, {}, "/src/" + mixed + QString(57, 'x') + ".avi");
    const QString fitted = CandidateOutputName(wide, AddMode::SeveralFiles, "/out");
    EXPECT_EQ(fitted, "/out/" + mixed + QString(57, 'x') + ".mp3");  // 194 + 57 + 4 = 255
    EXPECT_EQ(NumberedName(fitted, [&](const QString& p) { return p == fitted; }),
              "/out/" + mixed + QString(50, 'x') + "(New_1).mp3");  // 194 + 50 + 11
    const QString endsInEmoji = "/out/" + QString(81, QChar(0x9577)) + emoji + ".mp3";  // 251
    EXPECT_EQ(NumberedName(endsInEmoji, [&](const QString& p) { return p == endsInEmoji; }),
              "/out/" + QString(81, QChar(0x9577)) + "(New_1).mp3");  // 243 + 11

    // A name that is not UTF-8 counts its bytes, one per escaped byte.
    const QString gbk = FileNameFromNative(QByteArray(251, '\xB3'));
    const QString gbkOut = CandidateOutputName(Confirmed(300, {}, "/src/" + gbk + ".avi"),
                                               AddMode::SeveralFiles, "/out");
    EXPECT_EQ(NativeFileName(gbkOut), "/out/" + QByteArray(251, '\xB3') + ".mp3");
    EXPECT_EQ(NativeFileName(NumberedName(gbkOut, [&](const QString& p) { return p == gbkOut; })),
              "/out/" + QByteArray(244, '\xB3') + "(New_1).mp3");

    // The name the options dialog made for one file is fitted the same way.
    const JobFields one = Confirmed(300, {}, "/src/" + cjk + "abcdefghijklmno.avi");
    EXPECT_EQ(CandidateOutputName(one, AddMode::OneFile, "/out"),
              "/out/" + cjk + "abcdefghijk.mp3");

    // The folder never counts, and is never cut.
    const QString deep = "/" + QString(300, 'd');
    EXPECT_EQ(CandidateOutputName(Confirmed(300, {}, "/src/a.avi"), AddMode::SeveralFiles, deep),
              deep + "/a.mp3");
}

TEST(OutputNames, BatchNamesNeverShareAnOutputWithEarlierRows) {
    QSet<QString> onDisk{"/o/clip.mp3"};
    QSet<QString> rows{"/o/clip(New_1).mp3", "/o/song.mp3"};
    const NameTaken exists = [&](const QString& p) { return onDisk.contains(p); };
    const NameTaken claimed = [&](const QString& p) { return rows.contains(p); };
    // Numbered against the disk and the earlier rows together.
    EXPECT_EQ(
        BatchOutputName("/s/clip(New_1).mp3", "/o", OverwritePolicy::NewName, exists, claimed),
        QStringLiteral("/o/clip(New_2).mp3"));
    // Overwriting files on disk is allowed, writing another row's output is not.
    EXPECT_EQ(
        BatchOutputName("/s/clip(New_1).mp3", "/o", OverwritePolicy::Overwrite, exists, claimed),
        QStringLiteral("/o/clip.mp3"));
    EXPECT_EQ(BatchOutputName("/s/song.mp3", "/o", OverwritePolicy::Overwrite, exists, claimed),
              QStringLiteral("/o/song(New_1).mp3"));
    rows.insert("/o/clip.mp3");
    EXPECT_EQ(
        BatchOutputName("/s/clip(New_1).mp3", "/o", OverwritePolicy::Overwrite, exists, claimed),
        QStringLiteral("/o/clip(New_2).mp3"));
}

}  // namespace
