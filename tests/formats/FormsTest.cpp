// The picker (TForm7) and the options dialog (TForm8) offscreen, with scripted message boxes and
// a recording shell. Modal loops are driven by steps that wait for the expected window.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "ModalScript.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"
#include "formats/OptionsDialog.h"
#include "formats/PickerDialog.h"

using formats::JobFields;
using formats::Slot;

namespace {

using widgettest::Button;
using widgettest::U;

void EnsureApp() { widgettest::EnsureApp("formats_window_tests"); }

using testsupport::Script;

template <typename T>
T* Find(QWidget* parent, const char* name) {
    T* w = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

class Forms : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        fields_.SourceFile = QStringLiteral("/clips/clip.avi");
        options_ =
            std::make_unique<TForm8>(&fields_, &dialogs_, &shell_, [this](const QString& path) {
                reads_.push_back(path);
                return duration_;
            });
        picker_ = std::make_unique<TForm7>(&fields_, options_.get(), &dialogs_);
        options_->PrepareForAddition(true, QStringLiteral("/out"));
    }

    QPushButton* PickerButton(const char* text) { return Button(picker_.get(), text); }
    QPushButton* OptionsButton(const char* text) { return Button(options_.get(), text); }
    bool PickerShown() const { return picker_->isVisible() && !options_->isVisible(); }
    bool OptionsShown() const { return options_->isVisible() && !picker_->isVisible(); }

    // Runs the picker modally with the steps; returns exec's result.
    int RunPicker(std::vector<Script::Step> steps) {
        Script script(std::move(steps));
        const int result = picker_->exec();
        EXPECT_TRUE(script.Finished());
        EXPECT_FALSE(script.TimedOut());
        return result;
    }

    JobFields fields_;
    platform::FakeDialogs dialogs_;
    platform::FakeShell shell_;
    std::vector<QString> reads_;
    int64_t duration_ = 90 * int64_t{1000000};
    std::unique_ptr<TForm8> options_;
    std::unique_ptr<TForm7> picker_;
};

const char* kNoSelection = "请选择一个要转换的类型,然后点击“下一步”按钮！";

}  // namespace

TEST_F(Forms, PickerAfterCreation) {
    EXPECT_EQ(fields_.FormatIndex, 300);
    EXPECT_EQ(picker_->windowTitle(), U("选择转换格式"));
    EXPECT_EQ(picker_->size(), QSize(834, 599));
    EXPECT_EQ(picker_->Pages()->size(), QSize(785, 441));
    EXPECT_EQ(picker_->Pages()->currentIndex(), 0);
    const char* captions[] = {"MP3格式及常用格式", "智能设备常用视频格式", "更多电脑常用视频格式",
                              "更多音频格式"};
    const char* names[] = {"suiListView4", "suiListView2", "suiListView1", "suiListView3"};
    const int counts[] = {26, 20, 24, 10};
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(picker_->Pages()->tabText(t), U(captions[t]));
        EXPECT_EQ(picker_->List(t)->objectName(), names[t]);
        EXPECT_EQ(picker_->List(t)->count(), counts[t]);
        EXPECT_EQ(picker_->List(t)->selectedItems().size(), t == 3 ? 0 : 1) << t;
    }
    EXPECT_EQ(picker_->List(2)->item(13)->text(),
              U("FLV视频格式(视频网站专用的FLV文件)(如土豆网)"));
    EXPECT_EQ(picker_->List(3)->item(9)->text(), U("AMR（手机）音频格式"));
    EXPECT_EQ(PickerButton("下一步")->size(), QSize(80, 27));
    EXPECT_EQ(PickerButton("取消")->size(), QSize(80, 27));
    bool label = false;
    for (QLabel* l : picker_->findChildren<QLabel*>())
        label |= l->text() == U("请选择您要转换的影片格式：");
    EXPECT_TRUE(label);
}

TEST_F(Forms, EveryItemGivesBasePlusPosition) {
    const int bases[] = {300, 100, 1, 200};
    int seen = 0;
    for (int t = 0; t < 4; ++t) {
        picker_->Pages()->setCurrentIndex(t);
        EXPECT_EQ(fields_.FormatIndex, bases[t]) << "changing tab selects the first item";
        QListWidget* list = picker_->List(t);
        for (int r = list->count() - 1; r >= 0; --r) {
            list->setCurrentRow(r);
            EXPECT_EQ(fields_.FormatIndex, bases[t] + r);
            EXPECT_NE(formats::FindProfile(fields_.FormatIndex), nullptr);
            ++seen;
        }
        list->clearSelection();
        EXPECT_EQ(fields_.FormatIndex, bases[t] - 1);
    }
    EXPECT_EQ(seen, 80);
}

TEST_F(Forms, CancelInThePicker) {
    const int result =
        RunPicker({{[this] { return PickerShown(); }, [this] { PickerButton("取消")->click(); }}});
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(picker_->PickerResult(), "2");
    EXPECT_TRUE(reads_.empty());
}

TEST_F(Forms, TitleBarCloseOfThePickerIsACancel) {
    const int result =
        RunPicker({{[this] { return PickerShown(); }, [this] { picker_->close(); }}});
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(picker_->PickerResult(), "2");
    // A later use starts again at "1".
    const int again = RunPicker({{[this] { return PickerShown(); },
                                  [this] {
                                      EXPECT_EQ(picker_->PickerResult(), "1");
                                      picker_->close();
                                  }}});
    EXPECT_EQ(again, QDialog::Rejected);
}

TEST_F(Forms, CancelAndCloseInTheOptionsDialogReturnToThePicker) {
    int optionsRuns = 0;
    const int result = RunPicker({
        {[this] { return PickerShown(); }, [this] { PickerButton("下一步")->click(); }},
        {[this] { return OptionsShown(); },
         [&, this] {
             ++optionsRuns;
             OptionsButton("取消")->click();
         }},
        // Back in the picker with the same tab and item; choose another profile.
        {[this] { return PickerShown(); },
         [this] {
             EXPECT_EQ(fields_.FormatIndex, 300);
             picker_->Pages()->setCurrentIndex(2);
             picker_->List(2)->setCurrentRow(14);
             PickerButton("下一步")->click();
         }},
        {[this] { return OptionsShown(); },
         [&, this] {
             ++optionsRuns;
             // The lists were rebuilt from profile 15.
             EXPECT_EQ(options_->Combo(Slot::VideoCodec)->itemText(0), U("RM视频压缩器1"));
             options_->close();  // title-bar button
         }},
        {[this] { return PickerShown(); },
         [this] {
             EXPECT_EQ(picker_->Pages()->currentIndex(), 2);
             EXPECT_EQ(fields_.FormatIndex, 15);
             PickerButton("取消")->click();
         }},
    });
    EXPECT_EQ(optionsRuns, 2);
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(picker_->PickerResult(), "2");
}

TEST_F(Forms, NextWithoutSelectionShowsTheMessageAndStays) {
    const int result = RunPicker({
        {[this] { return PickerShown(); },
         [this] {
             picker_->List(0)->clearSelection();
             EXPECT_EQ(fields_.FormatIndex, 299);
             PickerButton("下一步")->click();
         }},
        {[this] { return PickerShown(); },
         [this] {
             ASSERT_EQ(dialogs_.messages.size(), 1u);
             EXPECT_EQ(dialogs_.messages[0].text, U(kNoSelection));
             EXPECT_EQ(dialogs_.messages[0].caption, U("提示"));
             EXPECT_EQ(dialogs_.messages[0].icon, platform::MessageIcon::Information);
             EXPECT_TRUE(dialogs_.messages[0].buttons.testFlag(platform::MessageButton::Ok));
             EXPECT_FALSE(options_->isVisible());
             PickerButton("取消")->click();
         }},
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(reads_.empty());
}

TEST_F(Forms, ConfirmedAddition) {
    const int result = RunPicker({
        {[this] { return PickerShown(); },
         [this] {
             picker_->Pages()->setCurrentIndex(2);
             picker_->List(2)->setCurrentRow(5);  // profile 6
             PickerButton("下一步")->click();
         }},
        {[this] { return OptionsShown(); }, [this] { OptionsButton("确定")->click(); }},
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(picker_->PickerResult(), "1");
    EXPECT_FALSE(picker_->isVisible());
    EXPECT_FALSE(options_->isVisible());
    EXPECT_EQ(fields_.FormatIndex, 6);
    EXPECT_EQ(fields_.OutputFile, "/out/clip.mp4");
    EXPECT_EQ(fields_.OutputExtension, ".ipod.mp4");
    EXPECT_EQ(fields_.JobVideoCodec, "mpeg4");
    EXPECT_EQ(fields_.JobVideoBitRate, 600000);
    EXPECT_EQ(fields_.JobAudioCodec, "libfaac");
    EXPECT_EQ(fields_.JobCutMode, "NoSelect");
    EXPECT_EQ(reads_, std::vector<QString>{"/clips/clip.avi"});
}

TEST_F(Forms, DoubleClick) {
    auto doubleClick = [this](int tab) {
        QWidget* viewport = picker_->List(tab)->viewport();
        QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(400, 400), QPointF(400, 400),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    const int result = RunPicker({
        {[this] { return PickerShown(); },
         [&, this] {
             picker_->List(0)->clearSelection();
             doubleClick(0);  // nothing selected: no options dialog
             EXPECT_FALSE(options_->isVisible());
             picker_->List(0)->setCurrentRow(12);
             doubleClick(0);
         }},
        {[this] { return OptionsShown(); },
         [this] {
             EXPECT_EQ(fields_.FormatIndex, 312);
             OptionsButton("确定")->click();
         }},
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(fields_.OutputFile, "/out/clip.mp4");
}

TEST_F(Forms, ClickThatLeavesNoSelectionShowsTheMessage) {
    QListWidget* list = picker_->List(0);
    list->clearSelection();
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(700, 400), QPointF(700, 400),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &release);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].text, U(kNoSelection));
    // With a selection a click says nothing.
    list->setCurrentRow(3);
    QApplication::sendEvent(list->viewport(), &release);
    EXPECT_EQ(dialogs_.messages.size(), 1u);
}

TEST_F(Forms, OptionsDialogControls) {
    fields_.FormatIndex = 1;
    options_->Open();
    EXPECT_EQ(options_->windowTitle(), U("选项设置"));
    EXPECT_EQ(options_->size(), QSize(613, 647));
    for (int i = 1; i <= 10; ++i)
        EXPECT_NE(options_->findChild<QComboBox*>(QStringLiteral("suiComboBox%1").arg(i)), nullptr)
            << i;
    for (int i = 1; i <= 7; ++i)
        EXPECT_NE(options_->findChild<QLineEdit*>(QStringLiteral("suiEdit%1").arg(i)), nullptr)
            << i;
    for (int i = 1; i <= 4; ++i)
        EXPECT_NE(options_->findChild<QCheckBox*>(QStringLiteral("suiCheckBox%1").arg(i)), nullptr)
            << i;
    for (int i = 1; i <= 3; ++i)
        EXPECT_NE(options_->findChild<QPushButton*>(QStringLiteral("suiButton%1").arg(i)), nullptr)
            << i;
    EXPECT_EQ(Find<QLineEdit>(options_.get(), "suiEdit1")->text(), "/clips/clip.avi");
    EXPECT_TRUE(Find<QLineEdit>(options_.get(), "suiEdit1")->isReadOnly());
    EXPECT_EQ(Find<QPushButton>(options_.get(), "suiButton3")->text(), U("预览视频"));
    EXPECT_EQ(Find<QCheckBox>(options_.get(), "suiCheckBox1")->text(), U("允许截取视频"));
    EXPECT_EQ(Find<QCheckBox>(options_.get(), "suiCheckBox4")->text(), U("视频显示底片效果"));

    QComboBox* codec = Find<QComboBox>(options_.get(), "suiComboBox1");
    QComboBox* rate = Find<QComboBox>(options_.get(), "suiComboBox2");
    EXPECT_FALSE(codec->isEditable());
    EXPECT_EQ(codec->count(), 7);
    EXPECT_EQ(codec->currentText(), U("Divx 5 视频压缩器"));
    EXPECT_EQ(rate->currentText(), U("528 kbps(中等质量)"));
    EXPECT_EQ(Find<QComboBox>(options_.get(), "suiComboBox9")->currentText(), U("音量保持不变"));
    EXPECT_EQ(Find<QComboBox>(options_.get(), "suiComboBox10")->currentText(), U("立体声"));
    EXPECT_EQ(Find<QComboBox>(options_.get(), "suiComboBox8")->currentText(), U("普通视频4:3模式"));

    // A user's codec change runs the list rule and the view follows.
    codec->setCurrentIndex(codec->findText(U("Mjpeg 视频压缩器")));
    EXPECT_EQ(rate->count(), 15);
    EXPECT_EQ(rate->currentText(), U("3000 kbps(高质量)"));

    // Audio-only: the five video lists and the filters are disabled.
    fields_.FormatIndex = 209;
    options_->Open();
    for (const char* name :
         {"suiComboBox1", "suiComboBox2", "suiComboBox3", "suiComboBox4", "suiComboBox8"})
        EXPECT_FALSE(Find<QComboBox>(options_.get(), name)->isEnabled()) << name;
    for (const char* name : {"suiCheckBox2", "suiCheckBox3", "suiCheckBox4"})
        EXPECT_FALSE(Find<QCheckBox>(options_.get(), name)->isEnabled()) << name;
    for (const char* name :
         {"suiComboBox5", "suiComboBox6", "suiComboBox7", "suiComboBox9", "suiComboBox10"})
        EXPECT_TRUE(Find<QComboBox>(options_.get(), name)->isEnabled()) << name;
    EXPECT_EQ(Find<QComboBox>(options_.get(), "suiComboBox6")->currentText(), "7.4");
    // And back to video.
    fields_.FormatIndex = 312;
    options_->Open();
    EXPECT_TRUE(codec->isEnabled());
    EXPECT_TRUE(Find<QCheckBox>(options_.get(), "suiCheckBox2")->isEnabled());
}

TEST_F(Forms, CutBoxesAndKeys) {
    fields_.FormatIndex = 19;
    options_->Open();
    QCheckBox* cut = Find<QCheckBox>(options_.get(), "suiCheckBox1");
    QLineEdit* startSeconds = Find<QLineEdit>(options_.get(), "suiEdit4");
    QLineEdit* stopMinutes = Find<QLineEdit>(options_.get(), "suiEdit6");
    EXPECT_TRUE(cut->isEnabled());
    EXPECT_FALSE(cut->isChecked());
    EXPECT_FALSE(startSeconds->isEnabled());
    EXPECT_EQ(stopMinutes->text(), "01");
    EXPECT_EQ(Find<QLineEdit>(options_.get(), "suiEdit7")->text(), "30");
    cut->setChecked(true);
    EXPECT_TRUE(startSeconds->isEnabled());

    // Only digits, Backspace and Enter are typed; anything else is refused with a message.
    startSeconds->setText(QString());
    auto type = [&](int key, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(startSeconds, &press);
    };
    type(Qt::Key_1, "1");
    type(Qt::Key_A, "a");
    type(Qt::Key_Minus, "-");
    type(Qt::Key_0, "0");
    EXPECT_EQ(startSeconds->text(), "10");
    ASSERT_EQ(dialogs_.messages.size(), 2u);
    EXPECT_EQ(dialogs_.messages[0].text, U("对不起，这里只能输入数字！"));
    EXPECT_EQ(dialogs_.messages[0].caption, U("提示"));
    type(Qt::Key_Backspace, "\b");
    EXPECT_EQ(startSeconds->text(), "1");
    EXPECT_EQ(dialogs_.messages.size(), 2u);
    startSeconds->setText("10");

    // A refused range keeps the dialog open; the second "确定" recomputes from scratch.
    Find<QCheckBox>(options_.get(), "suiCheckBox2")->setChecked(true);
    stopMinutes->setText("02");
    options_->show();
    OptionsButton("确定")->click();
    EXPECT_TRUE(options_->isVisible());
    ASSERT_EQ(dialogs_.messages.size(), 3u);
    EXPECT_EQ(dialogs_.messages[2].text, U("截取时间设置错误，不允许停止时间大于时间长度！"));
    EXPECT_EQ(dialogs_.messages[2].icon, platform::MessageIcon::Information);
    OptionsButton("确定")->click();
    stopMinutes->setText("01");
    Find<QLineEdit>(options_.get(), "suiEdit7")->setText("00");
    OptionsButton("确定")->click();
    EXPECT_FALSE(options_->isVisible());
    EXPECT_EQ(options_->result(), QDialog::Accepted);
    EXPECT_EQ(fields_.JobVideoFilters, "hflip");
    EXPECT_EQ(fields_.OutputFile, "/out/clip_PAL.mpg");
    EXPECT_EQ(fields_.JobCutStart, 10000);
    EXPECT_EQ(fields_.JobCutDuration, 50000);
    EXPECT_EQ(fields_.JobCutMode, "Select");
}

TEST_F(Forms, NonDigitsPastedIntoATimeBox) {
    fields_.FormatIndex = 1;
    options_->Open();
    Find<QCheckBox>(options_.get(), "suiCheckBox1")->setChecked(true);
    Find<QLineEdit>(options_.get(), "suiEdit3")->setText("1o");
    options_->show();
    OptionsButton("确定")->click();
    EXPECT_TRUE(options_->isVisible());
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].text, "'1o' is not a valid integer value");
    options_->reject();
}

TEST_F(Forms, SeveralFilesAndUnknownDuration) {
    options_->PrepareForAddition(false, "/out");
    fields_.FormatIndex = 1;
    options_->Open();
    EXPECT_TRUE(reads_.empty());
    EXPECT_FALSE(Find<QCheckBox>(options_.get(), "suiCheckBox1")->isEnabled());

    options_->PrepareForAddition(true, "/out");
    duration_ = -1;
    options_->Open();
    EXPECT_EQ(reads_.size(), 1u);
    EXPECT_TRUE(Find<QCheckBox>(options_.get(), "suiCheckBox1")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>(options_.get(), "suiEdit2")->text(), "00");
    EXPECT_EQ(Find<QLineEdit>(options_.get(), "suiEdit5")->text(), "");
    EXPECT_EQ(options_->Model().SourceDuration(), "");
}

TEST_F(Forms, PreviewOpensOnlyAnExistingSource) {
    fields_.SourceFile = "/nonexistent/clip.avi";
    fields_.FormatIndex = 1;
    options_->Open();
    Find<QPushButton>(options_.get(), "suiButton3")->click();
    EXPECT_TRUE(shell_.paths.empty());

    const std::string dir = testsupport::ScratchDir("preview");
    const std::string path = dir + "/片 1.avi";
    testsupport::WriteFile(path, "x");
    fields_.SourceFile = QString::fromStdString(path);
    options_->Open();
    Find<QPushButton>(options_.get(), "suiButton3")->click();
    ASSERT_EQ(shell_.paths.size(), 1u);
    EXPECT_EQ(shell_.paths[0], QString::fromStdString(path));
}
