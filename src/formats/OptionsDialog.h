// TForm8, the options dialog: a thin view over OptionsModel. Created once, reused for every
// addition; UI thread only.
//
// Contract with the picker and the main window:
// - PrepareForAddition before the picker opens (cut box unchecked; enabled only for one file;
//   with several files the source box shows the first and a note says how many there are).
// - RunModal = Open + exec. Open empties and refills every control from the profile of
//   `FormatIndex` and measures `SourceFile` (one file only) through the duration reader.
// - "确定" writes the job fields into the main window's JobFields and accepts, or shows the
//   refusal and stays open. "取消", Escape and the title-bar button reject: nothing is added.
#pragma once

#include <QDialog>
#include <array>

#include "formats/OptionsModel.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace platform {
class IDialogs;
class IShell;
}  // namespace platform

class TForm8 : public QDialog {
    Q_OBJECT

public:
    // `fields` (the main window's), `dialogs` and `shell` must outlive the dialog.
    TForm8(formats::JobFields* fields, platform::IDialogs* dialogs, platform::IShell* shell,
           formats::DurationReader durationReader, QWidget* parent = nullptr);

    void PrepareForAddition(bool oneFile, const QString& outputFolder, int fileCount = 1);
    void Open();
    int RunModal();

    const formats::OptionsModel& Model() const { return model_; }
    QComboBox* Combo(formats::Slot slot) const { return combos_[static_cast<int>(slot)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Applies the saved skin each time the dialog opens.
    void showEvent(QShowEvent* event) override;

private:
    void Refill(formats::Slot slot);
    void RefreshAll();
    void RefreshCutBoxes();
    void Confirm();
    void Preview();

    formats::JobFields* fields_;
    platform::IDialogs* dialogs_;
    platform::IShell* shell_;
    formats::DurationReader durationReader_;
    formats::OptionsModel model_;
    QString outputFolder_;

    QLineEdit* source_ = nullptr;  // suiEdit1
    QLabel* sourceCount_ = nullptr;  // "共 N 个文件" beside it when several are added
    std::array<QComboBox*, formats::kSlotCount> combos_{};
    std::array<QCheckBox*, 3> filters_{};   // suiCheckBox2..4
    std::array<QLineEdit*, 6> cutBoxes_{};  // suiEdit2..7
    QCheckBox* cut_ = nullptr;              // suiCheckBox1
    QPushButton* preview_ = nullptr;        // suiButton3
    QPushButton* ok_ = nullptr;             // suiButton1
    QPushButton* cancel_ = nullptr;         // suiButton2
};
