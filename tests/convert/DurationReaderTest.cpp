// The options dialog's duration read through an engine component of its own.
#include <filesystem>

#include <gtest/gtest.h>

#include "TestMedia.h"
#include "TestSupport.h"
#include "engine/FFmpegVCL.h"
#include "engine/MainThread.h"
#include "formats/EngineDurationReader.h"
#include "formats/OptionsModel.h"

using namespace formats;

namespace {

class DurationReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        mainthread::SetUiThread();
        testsupport::LoadLibrariesOrFail();
    }
};

TEST_F(DurationReaderTest, ReadsTheContainerDurationAndLeavesNoTask) {
    TFFmpegVCL component;
    const int64_t d = ReadDuration(component, QString::fromStdString(testmedia::Path("clip10s")));
    EXPECT_NEAR(static_cast<double>(d), 10e6, 0.1e6);
    EXPECT_EQ(component.TaskCount(), 0);

    // Unreadable files: unknown, and the list is cleared all the same.
    EXPECT_EQ(ReadDuration(component, QString::fromStdString(testmedia::Path("text_mp4"))), -1);
    EXPECT_EQ(ReadDuration(component, QStringLiteral("/nonexistent/clip.avi")), -1);
    EXPECT_EQ(component.TaskCount(), 0);
    EXPECT_EQ(component.LastErrorMessage(), "");
    // Still usable after failures.
    EXPECT_NEAR(static_cast<double>(
                    ReadDuration(component, QString::fromStdString(testmedia::Path("clip2s_640")))),
                2e6, 0.1e6);
}

TEST_F(DurationReaderTest, DatFilesAreReadAsMpegProgramStreams) {
    const std::string dir = testsupport::ScratchDir("duration-dat");
    // An MPEG program stream named like a video CD track.
    std::string error;
    ASSERT_TRUE(
        testmedia::RunFfmpeg("-nostdin -v error -y -f lavfi -i "
                             "testsrc2=size=160x120:rate=25:duration=1 -c:v mpeg1video "
                             "-f mpeg " +
                                 testmedia::Quote(dir + "/AVSEQ01.DAT"),
                             &error))
        << error;
    // An MP4 under a .dat name: only forcing the MPEG demuxer makes it unreadable.
    std::filesystem::copy_file(testmedia::Path("clip2s_640"), dir + "/movie.dat");

    TFFmpegVCL component;
    EXPECT_NEAR(
        static_cast<double>(ReadDuration(component, QString::fromStdString(dir + "/AVSEQ01.DAT"))),
        1e6, 0.1e6);
    EXPECT_EQ(ReadDuration(component, QString::fromStdString(dir + "/movie.dat")), -1);
    std::filesystem::copy_file(dir + "/movie.dat", dir + "/movie.mp4");
    EXPECT_NEAR(
        static_cast<double>(ReadDuration(component, QString::fromStdString(dir + "/movie.mp4"))),
        2e6, 0.1e6);
}

TEST_F(DurationReaderTest, FillsTheOptionsModelsCutRange) {
    const DurationReader reader = MakeEngineDurationReader();
    JobFields fields;
    fields.FormatIndex = 1;
    fields.SourceFile = QString::fromStdString(testmedia::Path("clip10s"));
    OptionsModel model;
    model.PrepareForAddition(true);
    model.Open(fields, QStringLiteral("/out"), reader);
    EXPECT_EQ(model.SourceDuration(), QStringLiteral("10"));
    EXPECT_EQ(model.CutText(CutBox::StopHours), QStringLiteral("00"));
    EXPECT_EQ(model.CutText(CutBox::StopMinutes), QStringLiteral("00"));
    EXPECT_EQ(model.CutText(CutBox::StopSeconds), QStringLiteral("10"));

    model.SetCutChecked(true);
    model.SetCutText(CutBox::StartSeconds, QStringLiteral("2"));
    model.SetCutText(CutBox::StopSeconds, QStringLiteral("11"));
    EXPECT_EQ(model.Confirm().kind, OptionsModel::Outcome::CutRefused);
    model.SetCutText(CutBox::StopSeconds, QStringLiteral("10"));
    ASSERT_EQ(model.Confirm().kind, OptionsModel::Outcome::Accepted);
    EXPECT_EQ(model.Fields().JobCutStart, 2000);
    EXPECT_EQ(model.Fields().JobCutDuration, 8000);

    // The next file cannot be opened: no duration, empty stop boxes, no limit from the last one.
    fields.SourceFile = QString::fromStdString(testmedia::Path("random"));
    model.PrepareForAddition(true);
    model.Open(fields, QStringLiteral("/out"), reader);
    EXPECT_EQ(model.SourceDuration(), QString());
    EXPECT_EQ(model.CutText(CutBox::StopSeconds), QString());
}

}  // namespace
