// The player group in the main window: the real panel behind TForm1's seam, driven by the job list.
#include <QTableView>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "PlayerTestSupport.h"
#include "TestMedia.h"
#include "app/JobListModel.h"
#include "player/PlayerPanel.h"

namespace {

class PlayerWindow : public apptest::WindowTest {
protected:
    void CreateWithPlayer() {
        app::PartFactories parts = apptest::RecordingParts(parts_);
        parts.player = &app::MakePlayerPanel;  // the program's own choice
        form_ = std::make_unique<TForm1>(app::Services{&dialogs_, &shell_, &power_}, parts);
        form_->show();
    }
    TPlayerPanel* Panel() { return form_->findChild<TPlayerPanel*>("suiRadioGroup3"); }
};

TEST_F(PlayerWindow, SelectingAJobRowLoadsItsFilePausedOnItsFirstPicture) {
    CreateWithPlayer();
    TPlayerPanel* panel = Panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(16, 144, 329, 289));
    EXPECT_EQ(panel->accessibleName(), apptest::U("播放器"));

    const QString first = QString::fromStdString(testmedia::Path("frames10s"));
    const QString second = QString::fromStdString(testmedia::Path("intra25"));
    AddOne(first);
    AddOne(second);
    ASSERT_EQ(form_->Model()->rowCount(), 2);
    form_->AdvListView1()->clearSelection();
    panel->Player().Stop(true);

    form_->AdvListView1()->selectRow(1);
    ASSERT_TRUE(apptest::WaitFor([&] { return panel->Player().State() == psPause; }));
    EXPECT_EQ(panel->SelectedSourceFile(), second);
    EXPECT_EQ(panel->Player().FileName(), second);
    EXPECT_EQ(playertest::FrameNumber(panel->Player().CurrentFrame()), 0);
    EXPECT_EQ(panel->PlayDuration(), 8000000);

    // Another row: its file replaces the first one, again paused on its first picture.
    panel->Image3Click();
    ASSERT_TRUE(apptest::WaitFor(
        [&] { return playertest::FrameNumber(panel->Player().CurrentFrame()) >= 3; }));
    form_->AdvListView1()->selectRow(0);
    ASSERT_TRUE(apptest::WaitFor(
        [&] { return panel->Player().FileName() == first && panel->Player().State() == psPause; }));
    EXPECT_EQ(playertest::FrameNumber(panel->Player().CurrentFrame()), 0);
    EXPECT_EQ(panel->PlayDuration(), 10000000);

    // A click that leaves no row selected stops the player.
    form_->AdvListView1()->clearSelection();
    form_->AdvListView1Click();
    EXPECT_FALSE(panel->Player().Active());
}

}  // namespace
