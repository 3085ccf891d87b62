#include "formats/OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "platform/Skins.h"

using formats::CutBox;
using formats::Filter;
using formats::OptionsModel;
using formats::Slot;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Object names of the lists, indexed by Slot.
constexpr const char* kComboNames[formats::kSlotCount] = {
    "suiComboBox1", "suiComboBox2", "suiComboBox3", "suiComboBox4",  "suiComboBox8",
    "suiComboBox5", "suiComboBox6", "suiComboBox7", "suiComboBox10", "suiComboBox9"};

// Time boxes take digits, Backspace and Enter. Keys that type nothing (arrows, Delete) and
// control characters (Tab, Escape, Ctrl+V) keep their usual meaning.
bool IsRefusedTimeKey(const QKeyEvent* key) {
    const QString text = key->text();
    if (text.isEmpty()) return false;
    const QChar c = text.at(0);
    if (c.category() == QChar::Other_Control) return false;
    return !(c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

}  // namespace

TForm8::TForm8(formats::JobFields* fields, platform::IDialogs* dialogs, platform::IShell* shell,
               formats::DurationReader durationReader, QWidget* parent)
    : QDialog(parent),
      fields_(fields),
      dialogs_(dialogs),
      shell_(shell),
      durationReader_(std::move(durationReader)) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(U("选项设置"));
    setFixedSize(613, 647);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    for (int i = 0; i < formats::kSlotCount; ++i) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(QString::fromLatin1(kComboNames[i]));
        combo->setEditable(false);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combos_[static_cast<size_t>(i)] = combo;
        const Slot slot = static_cast<Slot>(i);
        connect(combo, &QComboBox::currentIndexChanged, this, [this, slot](int position) {
            if (const auto replaced = model_.Select(slot, position)) Refill(*replaced);
        });
    }
    auto combo = [this](Slot slot) { return Combo(slot); };

    auto* outer = new QVBoxLayout(this);

    auto* top = new QGridLayout;
    source_ = new QLineEdit(this);
    source_->setObjectName(QStringLiteral("suiEdit1"));
    source_->setReadOnly(true);
    preview_ = new QPushButton(U("预览视频"), this);
    preview_->setObjectName(QStringLiteral("suiButton3"));
    auto* sourceLabel = new QLabel(U("视频源："), this);
    sourceLabel->setBuddy(source_);
    sourceCount_ = new QLabel(this);
    sourceCount_->setObjectName(QStringLiteral("SourceCount"));
    sourceCount_->hide();
    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(source_, 1);
    sourceRow->addWidget(sourceCount_);
    top->addWidget(sourceLabel, 0, 0);
    top->addLayout(sourceRow, 0, 1);
    top->addWidget(preview_, 0, 2);
    top->addWidget(new QLabel(U("视频编码器："), this), 1, 0);
    top->addWidget(combo(Slot::VideoCodec), 1, 1, 1, 2);
    outer->addLayout(top);

    auto* video = new QGroupBox(U("视频编码详细设置"), this);
    auto* videoGrid = new QGridLayout(video);
    videoGrid->addWidget(new QLabel(U("视频比特率："), video), 0, 0);
    videoGrid->addWidget(combo(Slot::VideoBitRate), 0, 1, 1, 3);
    videoGrid->addWidget(new QLabel(U("视频分辨率："), video), 1, 0);
    videoGrid->addWidget(combo(Slot::FrameSize), 1, 1, 1, 3);
    videoGrid->addWidget(new QLabel(U("视频帧率："), video), 2, 0);
    videoGrid->addWidget(combo(Slot::FrameRate), 2, 1, 1, 3);
    videoGrid->addWidget(new QLabel(U("视频滤镜："), video), 3, 0);
    const char* filterTexts[] = {"视频图像水平翻转", "视频图像垂直翻转", "视频显示底片效果"};
    for (int i = 0; i < 3; ++i) {
        auto* box = new QCheckBox(U(filterTexts[i]), video);
        box->setObjectName(QStringLiteral("suiCheckBox%1").arg(i + 2));
        const Filter filter = static_cast<Filter>(i);
        connect(box, &QCheckBox::toggled, this,
                [this, filter](bool checked) { model_.SetFilter(filter, checked); });
        filters_[static_cast<size_t>(i)] = box;
        videoGrid->addWidget(box, 3, i + 1);
    }
    outer->addWidget(video);

    auto* audioRow = new QHBoxLayout;
    audioRow->addWidget(new QLabel(U("音频编码器："), this));
    audioRow->addWidget(combo(Slot::AudioCodec), 1);
    outer->addLayout(audioRow);

    auto* audio = new QGroupBox(U("音频编码详细设置"), this);
    auto* audioGrid = new QGridLayout(audio);
    audioGrid->addWidget(new QLabel(U("音频比特率："), audio), 0, 0);
    audioGrid->addWidget(new QLabel(U("音频采样率："), audio), 0, 1);
    audioGrid->addWidget(new QLabel(U("声道设置："), audio), 0, 2);
    audioGrid->addWidget(combo(Slot::AudioBitRate), 1, 0);
    audioGrid->addWidget(combo(Slot::SampleRate), 1, 1);
    audioGrid->addWidget(combo(Slot::Channels), 1, 2);
    outer->addWidget(audio);

    auto* more = new QGridLayout;
    more->addWidget(new QLabel(U("视频缩放模式："), this), 0, 0);
    more->addWidget(combo(Slot::Aspect), 0, 1);
    more->addWidget(new QLabel(U("音量调节："), this), 1, 0);
    more->addWidget(combo(Slot::Volume), 1, 1);
    more->setColumnStretch(1, 1);
    outer->addLayout(more);

    auto* cutGroup = new QGroupBox(U("分割截取视频"), this);
    auto* cutGrid = new QGridLayout(cutGroup);
    const char* units[] = {"时", "分", "秒"};
    for (int row = 0; row < 2; ++row) {
        cutGrid->addWidget(new QLabel(U(row == 0 ? "转换起始时间：" : "转换停止时间："), cutGroup),
                           row, 0);
        for (int k = 0; k < 3; ++k) {
            const int i = row * 3 + k;
            auto* box = new QLineEdit(cutGroup);
            box->setObjectName(QStringLiteral("suiEdit%1").arg(i + 2));
            box->setEnabled(false);
            box->setMaxLength(10);
            box->installEventFilter(this);
            const CutBox which = static_cast<CutBox>(i);
            connect(box, &QLineEdit::textChanged, this,
                    [this, which](const QString& text) { model_.SetCutText(which, text); });
            cutBoxes_[static_cast<size_t>(i)] = box;
            cutGrid->addWidget(box, row, 1 + 2 * k);
            cutGrid->addWidget(new QLabel(U(units[k]), cutGroup), row, 2 + 2 * k);
        }
    }
    cut_ = new QCheckBox(U("允许截取视频"), cutGroup);
    cut_->setObjectName(QStringLiteral("suiCheckBox1"));
    connect(cut_, &QCheckBox::toggled, this, [this](bool checked) {
        model_.SetCutChecked(checked);
        for (QLineEdit* box : cutBoxes_) box->setEnabled(checked);
    });
    cutGrid->addWidget(cut_, 2, 0, 1, 7);
    outer->addWidget(cutGroup);

    outer->addStretch(1);
    auto* buttons = new QHBoxLayout;
    ok_ = new QPushButton(U("确定"), this);
    ok_->setObjectName(QStringLiteral("suiButton1"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(U("取消"), this);
    cancel_->setObjectName(QStringLiteral("suiButton2"));
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    outer->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, &TForm8::Confirm);
    connect(cancel_, &QPushButton::clicked, this, &TForm8::reject);
    connect(preview_, &QPushButton::clicked, this, &TForm8::Preview);

    PrepareForAddition(true, QString());
}

void TForm8::PrepareForAddition(bool oneFile, const QString& outputFolder, int fileCount) {
    outputFolder_ = outputFolder;
    sourceCount_->setText(U("（共 %1 个文件，此处显示第一个）").arg(fileCount));
    sourceCount_->setAccessibleName(sourceCount_->text());
    sourceCount_->setVisible(fileCount > 1);
    model_.PrepareForAddition(oneFile);
    const QSignalBlocker blocker(cut_);
    cut_->setChecked(false);
    cut_->setEnabled(oneFile);
    for (QLineEdit* box : cutBoxes_) box->setEnabled(false);
}

void TForm8::Open() {
    model_.Open(*fields_, outputFolder_, durationReader_);
    *fields_ = model_.Fields();
    RefreshAll();
}

void TForm8::showEvent(QShowEvent* event) {
    platform::skins::ApplySavedSkin(this);  // Button1Click
    QDialog::showEvent(event);
}

int TForm8::RunModal() {
    Open();
    return exec();
}

void TForm8::Refill(Slot slot) {
    QComboBox* combo = Combo(slot);
    const QSignalBlocker blocker(combo);
    combo->clear();
    combo->addItems(model_.Items(slot));
    combo->setCurrentIndex(model_.Selected(slot));
}

void TForm8::RefreshAll() {
    source_->setText(model_.Fields().SourceFile);
    for (Slot slot : formats::kAllSlots) Refill(slot);
    const bool video = model_.VideoEnabled();
    for (Slot slot :
         {Slot::VideoCodec, Slot::VideoBitRate, Slot::FrameSize, Slot::FrameRate, Slot::Aspect})
        Combo(slot)->setEnabled(video);
    for (int i = 0; i < 3; ++i) {
        QCheckBox* box = filters_[static_cast<size_t>(i)];
        const QSignalBlocker blocker(box);
        box->setChecked(model_.FilterChecked(static_cast<Filter>(i)));
        box->setEnabled(video);
    }
    {
        const QSignalBlocker blocker(cut_);
        cut_->setChecked(model_.CutChecked());
        cut_->setEnabled(model_.CutAllowed());
    }
    RefreshCutBoxes();
}

void TForm8::RefreshCutBoxes() {
    for (int i = 0; i < 6; ++i) {
        QLineEdit* box = cutBoxes_[static_cast<size_t>(i)];
        const QSignalBlocker blocker(box);
        box->setText(model_.CutText(static_cast<CutBox>(i)));
        box->setEnabled(model_.CutChecked());
    }
}

void TForm8::Confirm() {
    const OptionsModel::Outcome outcome = model_.Confirm();
    *fields_ = model_.Fields();
    RefreshCutBoxes();
    switch (outcome.kind) {
        case OptionsModel::Outcome::Accepted:
            accept();
            return;
        case OptionsModel::Outcome::CutRefused:
            dialogs_->ShowMessage(this, U("提示"), outcome.message,
                                  platform::MessageIcon::Information);
            return;
        case OptionsModel::Outcome::InvalidNumber:
            dialogs_->ShowMessage(this, QCoreApplication::applicationName(), outcome.message,
                                  platform::MessageIcon::Error);
            return;
    }
}

void TForm8::Preview() {
    const QString path = model_.Fields().SourceFile;
    if (path.isEmpty() || !QFileInfo(path).isFile()) return;
    shell_->OpenPath(path);
}

bool TForm8::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        for (QLineEdit* box : cutBoxes_) {
            if (watched != box) continue;
            if (IsRefusedTimeKey(static_cast<QKeyEvent*>(event))) {
                dialogs_->ShowMessage(this, U("提示"), U("对不起，这里只能输入数字！"),
                                      platform::MessageIcon::Information);
                return true;
            }
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
