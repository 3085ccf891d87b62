// TForm9, the media information window ("视频信息提示"): file, video and audio facts of one
// listed file in three groups. Created once, reused for every showing; UI thread only.
//
// The info action (the main window's "信息" and a double-click on a row) calls ShowFor: the
// file is opened with the given probe, the texts are rebuilt from its facts and the window is
// shown modally. At each showing the window applies the saved skin, then copies the texts into
// its value labels. The texts stay until the next info action replaces them.
#pragma once

#include <QDialog>
#include <QMap>

#include "probe/MediaInfo.h"

class QLabel;
class TCustomAVProbe;

class TForm9 : public QDialog {
    Q_OBJECT

public:
    explicit TForm9(QWidget* parent = nullptr);

    // Does nothing and returns false unless `path` names a regular file (a FIFO or a device
    // would block the window). Otherwise opens it with `probe` (a file the probe cannot open
    // gives empty texts and -1 values), fills the texts and runs the window modally; a probe
    // whose libraries are not bound leaves the window unshown and returns false.
    bool ShowFor(TCustomAVProbe& probe, const QString& path);
    // ShowFor without showing: true when the texts were rebuilt.
    bool Load(TCustomAVProbe& probe, const QString& path);

    const TMediaInfoTexts& Texts() const { return texts_; }
    void SetTexts(const TMediaInfoTexts& texts) { texts_ = texts; }

    // The value label beside a caption ("文件名：" …); nullptr for an unknown caption.
    QLabel* Value(const QString& caption) const { return values_.value(caption); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Copies the texts into the value labels.
    void Button2Click();

    TMediaInfoTexts texts_;
    QMap<QString, QLabel*> values_;
};
