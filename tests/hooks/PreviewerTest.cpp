// The preview window (`TPreviewer`) offscreen, fed by real conversions of the component.
#include <QApplication>
#include <QRegularExpression>
#include <QWidget>
#include <chrono>

#include <gtest/gtest.h>

#include "ComponentTestSupport.h"
#include "HookTestSupport.h"
#include "app/Previewer.h"

using Clock = std::chrono::steady_clock;

namespace {

void ensureApp() {
    static int argc = 1;
    static char name[] = "previewer_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

// Runs main-thread calls and window events until `pred` holds (or the limit passes).
bool pumpUntil(const std::function<bool()>& pred,
               std::chrono::seconds limit = std::chrono::seconds(120)) {
    const auto until = Clock::now() + limit;
    mainthread::WaitPumping(
        [&] {
            QCoreApplication::processEvents();
            return pred() || Clock::now() > until;
        },
        std::chrono::milliseconds(2));
    return pred();
}

std::vector<QWidget*> previewWindows() {
    std::vector<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(TPreviewer::kObjectName)) found.push_back(w);
    return found;
}

QWidget* visiblePreview() {
    for (QWidget* w : previewWindows())
        if (w->isVisible()) return w;
    return nullptr;
}

}  // namespace

TEST(Previewer, TheWindowShowsTheTimeAndClosingItLetsTheConversionFinish) {
    ensureApp();
    RecordingComponent c;
    InstallPreviewer(c.vcl);
    c.vcl.SetPreview(true);
    const std::string dir = testsupport::ScratchDir("previewer");
    ASSERT_EQ(c.Add(testmedia::Path("clip10s"), dir + "/o.mp4", "vcodec=libx264\nacodec=aac"), 0)
        << c.vcl.LastErrorMessage();
    c.vcl.StartTask(1);
    ASSERT_TRUE(pumpUntil([] { return visiblePreview() != nullptr; }) || c.batchEnds.load())
        << "no preview window";
    QWidget* w = visiblePreview();
    ASSERT_NE(w, nullptr) << "the conversion ended before its first preview";
    const Qt::WindowFlags flags = w->windowFlags();
    EXPECT_TRUE(flags & Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(w->size(), QSize(320, 240));
    const QRegularExpression timeText(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$"));
    EXPECT_TRUE(timeText.match(w->windowTitle()).hasMatch()) << w->windowTitle().toStdString();
    EXPECT_EQ(w->accessibleName(), w->windowTitle());
    // The caption follows the pictures.
    const QString first = w->windowTitle();
    pumpUntil([&] {
        return c.batchEnds.load() > 0 || visiblePreview() != w || w->windowTitle() != first;
    });
    if (!c.batchEnds.load()) {
        EXPECT_NE(w->windowTitle(), first);
        EXPECT_GT(w->windowTitle(), first) << "times only grow";
    }

    w->close();  // the user's close box
    ASSERT_TRUE(c.WaitForBatchEnd());
    const auto t = c.Terminates();
    ASSERT_TRUE(t.at(0).info.Finished) << t.at(0).info.ErrorMessage;
    EXPECT_FALSE(t.at(0).info.HasError);
    pumpUntil([] { return previewWindows().empty(); }, std::chrono::seconds(10));
    EXPECT_TRUE(previewWindows().empty()) << "the closed window is freed";
    c.vcl.ClearTasks();
}

TEST(Previewer, SwitchingPreviewFiftyTimesDuringAConversionNeverDeadlocks) {
    ensureApp();
    RecordingComponent c;
    InstallPreviewer(c.vcl);
    const std::string dir = testsupport::ScratchDir("toggle");
    ASSERT_EQ(c.Add(testmedia::Path("clip10s"), dir + "/o.mp4", "vcodec=libx264\nacodec=aac"), 0);
    c.vcl.Task(0)->FrameHooks().SetPreviewInterval(-1);  // a picture at every chance
    int toggles = 0;
    // Switched on at once, off again as soon as the window shows a picture.
    auto toggle = [&] {
        if (toggles >= 50) return;
        if (!c.vcl.Preview()) {
            c.vcl.SetPreview(true);
            ++toggles;
        } else if (visiblePreview()) {
            c.vcl.SetPreview(false);
            ++toggles;
        }
    };
    c.vcl.SetProgressInterval(100);
    c.vcl.SetOnProgress([&](void*, PProgressInfo) { toggle(); });
    c.vcl.StartTask(1);
    pumpUntil([&] {
        toggle();
        return c.batchEnds.load() > 0;
    });
    ASSERT_EQ(c.batchEnds.load(), 1) << "the batch did not end";
    ASSERT_TRUE(c.Terminates().at(0).info.Finished) << c.Terminates().at(0).info.ErrorMessage;
    EXPECT_EQ(toggles, 50);
    pumpUntil([] { return previewWindows().empty(); }, std::chrono::seconds(10));
    EXPECT_TRUE(previewWindows().empty()) << "every window is freed with its task's run";
    c.vcl.ClearTasks();
}

TEST(Previewer, BitmapsBecomeImagesOfTheSameLayout) {
    TRGBConverter conv;
    testsupport::LoadLibrariesOrFail();
    AVFrame* f = hooktest::MakePicture(AV_PIX_FMT_BGR24, 5, 3, {0});
    f->data[0][3 * 4 + 2] = 200;              // red of the last pixel of the first row
    f->data[0][2 * f->linesize[0] + 0] = 90;  // blue of the first pixel of the last row
    ASSERT_TRUE(conv.ToBitmap(f));
    const QImage image = BitmapToImage(conv.Bitmap());
    EXPECT_EQ(image.size(), QSize(5, 3));
    EXPECT_EQ(image.format(), QImage::Format_BGR888);
    EXPECT_EQ(image.pixel(4, 0), qRgb(200, 0, 0));
    EXPECT_EQ(image.pixel(0, 2), qRgb(0, 0, 90));
    EXPECT_EQ(image.pixel(2, 1), qRgb(0, 0, 0));
    lav::av_frame_free(&f);
}
