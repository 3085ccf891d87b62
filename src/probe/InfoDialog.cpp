#include "probe/InfoDialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "engine/FFUtils.h"
#include "platform/Skins.h"
#include "probe/AVProbe.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

TForm9::TForm9(QWidget* parent) : QDialog(parent) {
    setWindowTitle(U("视频信息提示"));
    setAccessibleName(windowTitle());
    setFixedSize(650, 455);

    // A caption with its value label. Assistive tools read the value as the label's name (its
    // text) and the caption as its label (the buddy relation), so "视频分辨率：" is heard with
    // "480*270". A wide value spans the rest of its row and keeps room for `lines` wrapped lines.
    auto addRow = [this](QGridLayout* grid, int row, int column, const char* caption,
                         bool wide = false, int lines = 1) {
        auto* label = new QLabel(U(caption));
        label->setAccessibleName(label->text());
        auto* value = new QLabel;
        value->setObjectName(label->text());
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setTextFormat(Qt::PlainText);
        value->setWordWrap(wide);
        value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        value->setMinimumWidth(wide ? 480 : 90);
        value->setMinimumHeight(value->fontMetrics().lineSpacing() * lines);
        label->setBuddy(value);
        grid->addWidget(label, row, column, Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(value, row, column + 1, 1, wide ? 5 : 1, Qt::AlignLeft | Qt::AlignTop);
        values_.insert(label->text(), value);
    };
    auto group = [](const char* title) {
        auto* box = new QGroupBox(U(title));
        box->setAccessibleName(box->title());
        return box;
    };

    QGroupBox* file = group("文件格式信息");
    auto* fileGrid = new QGridLayout(file);
    addRow(fileGrid, 0, 0, "文件名：", true);
    addRow(fileGrid, 1, 0, "文件格式：");
    addRow(fileGrid, 1, 2, "播放时长：");
    addRow(fileGrid, 1, 4, "文件大小：");
    addRow(fileGrid, 2, 0, "比特率：");
    addRow(fileGrid, 2, 2, "文件扩展名：");
    addRow(fileGrid, 3, 0, "文件格式全名：", true);

    QGroupBox* video = group("视频格式信息");
    auto* videoGrid = new QGridLayout(video);
    addRow(videoGrid, 0, 0, "视频分辨率：");
    addRow(videoGrid, 0, 2, "视频帧率：");
    addRow(videoGrid, 0, 4, "视频比特率：");
    addRow(videoGrid, 1, 0, "视频流信息：", true, 3);

    QGroupBox* audio = group("音频格式信息");
    auto* audioGrid = new QGridLayout(audio);
    addRow(audioGrid, 0, 0, "音频采样率：");
    addRow(audioGrid, 0, 2, "音频声道：");
    addRow(audioGrid, 0, 4, "音频比特率：");
    addRow(audioGrid, 1, 0, "音频流信息：", true, 3);

    for (QGridLayout* grid : {fileGrid, videoGrid, audioGrid}) {
        grid->setColumnStretch(5, 1);
        grid->setRowStretch(grid->rowCount(), 1);
    }

    auto* ok = new QPushButton(U("确定"));
    ok->setAccessibleName(ok->text());
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    // Each group takes the height its texts need (a long stream text wraps onto more lines);
    // what is left goes below them.
    layout->addWidget(file);
    layout->addWidget(video);
    layout->addWidget(audio);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

bool TForm9::Load(TCustomAVProbe& probe, const QString& path) {
    if (path.isEmpty() || !IsRegularFile(path)) return false;
    try {
        probe.LoadFile(path);  // a failure leaves the probe closed: empty texts, -1 values
        texts_ = MediaInfoTexts(probe);
    } catch (const std::exception&) {
        return false;  // the media libraries are not bound
    }
    return true;
}

bool TForm9::ShowFor(TCustomAVProbe& probe, const QString& path) {
    if (!Load(probe, path)) return false;
    exec();
    return true;
}

void TForm9::showEvent(QShowEvent* event) {
    platform::skins::ApplySavedSkin(this);  // Button1Click
    Button2Click();
    QDialog::showEvent(event);
}

void TForm9::Button2Click() {
    const TMediaInfoLabels l = MediaInfoLabels(texts_);
    const std::pair<const char*, const QString*> rows[] = {
        {"文件名：", &l.FileName},        {"文件格式：", &l.Format},
        {"播放时长：", &l.Duration},      {"文件大小：", &l.Size},
        {"比特率：", &l.BitRate},         {"文件格式全名：", &l.FormatLongName},
        {"文件扩展名：", &l.Extension},   {"视频分辨率：", &l.Resolution},
        {"视频帧率：", &l.FrameRate},     {"视频比特率：", &l.VideoKbps},
        {"视频流信息：", &l.VideoStream}, {"音频采样率：", &l.SampleRate},
        {"音频声道：", &l.Channels},      {"音频比特率：", &l.AudioKbps},
        {"音频流信息：", &l.AudioStream},
    };
    for (const auto& [caption, value] : rows)
        if (QLabel* label = values_.value(U(caption))) label->setText(*value);
}
