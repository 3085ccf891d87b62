// TForm7, the output-format picker: four tabs of profile icons. Every selection change writes
// `FormatIndex` (page base + position, base - 1 without a selection) into the main window's job
// fields. Created once, reused for every addition; UI thread only.
//
// exec() runs one use: "下一步" (or a double-click) with a selected item hides the picker and
// runs the options dialog; its "确定" ends the picker with Accepted, its cancel shows the picker
// again. "取消", Escape and the title-bar button end it with Rejected and `PickerResult` "2":
// the main window then adds nothing.
#pragma once

#include <QDialog>
#include <array>

#include "formats/OptionsModel.h"

class QListWidget;
class QPushButton;
class QTabWidget;
class TForm8;

namespace platform {
class IDialogs;
}

class TForm7 : public QDialog {
    Q_OBJECT

public:
    // `fields`, `options` and `dialogs` must outlive the picker.
    TForm7(formats::JobFields* fields, TForm8* options, platform::IDialogs* dialogs,
           QWidget* parent = nullptr);

    int exec() override;
    // "1" while open or after confirmation, "2" after a cancel.
    const QString& PickerResult() const { return pickerResult_; }

    QTabWidget* Pages() const { return pages_; }
    QListWidget* List(int tab) const { return lists_[static_cast<size_t>(tab)]; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateIndex(int tab);
    void Next();
    bool HasSelection(int tab) const;
    void ShowNoSelection();

    formats::JobFields* fields_;
    TForm8* options_;
    platform::IDialogs* dialogs_;
    QString pickerResult_ = QStringLiteral("1");
    QTabWidget* pages_ = nullptr;
    std::array<QListWidget*, 4> lists_{};
    QPushButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool skipRelease_ = false;  // the release that ends a double-click
};
