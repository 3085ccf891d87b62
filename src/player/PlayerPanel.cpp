#include "player/PlayerPanel.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "platform/Shell.h"
#include "player/SdlAudio.h"

const QString TPlayerPanel::kSnapshotStatus =
    QString::fromUtf8("已经为您捕获视频快照，您可以点击“快照设置”按钮打开快照目录查看图片。");

namespace {

enum Glyph { gPlay, gPause, gStop, gSound, gMuted, gCamera, gSettings };

// A click on the seek bar's groove moves the handle there (as a track bar does), not by a page.
class AbsoluteSliderStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

QPixmap glyphPixmap(int glyph, const QColor& color) {
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 2));
    p.setBrush(color);
    switch (glyph) {
        case gPlay: {
            QPainterPath path;
            path.moveTo(7, 4);
            path.lineTo(19, 12);
            path.lineTo(7, 20);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case gPause:
            p.drawRect(6, 5, 4, 14);
            p.drawRect(14, 5, 4, 14);
            break;
        case gStop:
            p.drawRect(6, 6, 12, 12);
            break;
        case gSound:
        case gMuted: {
            QPainterPath path;
            path.moveTo(3, 9);
            path.lineTo(7, 9);
            path.lineTo(12, 4);
            path.lineTo(12, 20);
            path.lineTo(7, 15);
            path.lineTo(3, 15);
            path.closeSubpath();
            p.drawPath(path);
            p.setBrush(Qt::NoBrush);
            if (glyph == gSound) {
                p.drawArc(QRectF(10, 7, 8, 10), -60 * 16, 120 * 16);
                p.drawArc(QRectF(10, 3, 12, 18), -60 * 16, 120 * 16);
            } else {
                p.drawLine(15, 8, 21, 16);
                p.drawLine(21, 8, 15, 16);
            }
            break;
        }
        case gCamera:
            p.drawRoundedRect(QRectF(3, 7, 18, 13), 2, 2);
            p.drawRect(8, 4, 8, 3);
            p.setBrush(Qt::black);
            p.drawEllipse(QPointF(12, 13.5), 3.5, 3.5);
            break;
        case gSettings:
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(12, 12), 6, 6);
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(12, 12);
                p.rotate(45.0 * i);
                p.drawLine(0, 7, 0, 10);
                p.restore();
            }
            break;
        default:
            break;
    }
    return pm;
}

// The normal picture and the brighter one shown while the mouse is over the button.
QIcon glyphIcon(int glyph) {
    QIcon icon;
    icon.addPixmap(glyphPixmap(glyph, QColor(0xb0, 0xb0, 0xb0)), QIcon::Normal);
    icon.addPixmap(glyphPixmap(glyph, QColor(0x4f, 0xc3, 0xf7)), QIcon::Active);
    return icon;
}

}  // namespace

TPlayerPanel::TPlayerPanel(TPlayerPanelServices services, QWidget* parent)
    : QGroupBox(parent), services_(std::move(services)) {
    setObjectName(QStringLiteral("suiRadioGroup3"));
    setAccessibleName(QString::fromUtf8("播放器"));
    if (!services_.sound) {
        ownSound_ = std::make_unique<player::SdlSoundPlayer>();
        services_.sound = ownSound_.get();
    }

    panel2_ = new QWidget(this);
    panel2_->setObjectName(QStringLiteral("Panel2"));
    panel2_->setAccessibleName(QString::fromUtf8("视频画面"));
    panel2_->setAutoFillBackground(true);
    QPalette black = panel2_->palette();
    black.setColor(QPalette::Window, Qt::black);
    panel2_->setPalette(black);
    panel2_->setFocusPolicy(Qt::ClickFocus);
    panel2_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    seekBar_ = new QSlider(Qt::Horizontal, this);
    seekBar_->setObjectName(QStringLiteral("suiTrackBar1"));
    seekBar_->setAccessibleName(QString::fromUtf8("播放进度"));
    // Without a base the proxy makes its own copy of the application's style (a base given to
    // it would become its property, and the application's style must not be).
    auto* style = new AbsoluteSliderStyle();
    style->setParent(seekBar_);
    seekBar_->setStyle(style);
    seekBar_->setTickInterval(5);
    seekBar_->setRange(0, 10);
    // A press anywhere on the bar moves the handle there and starts a drag (see the style).
    connect(seekBar_, &QSlider::sliderPressed, this, &TPlayerPanel::SeekBarMouseDown);
    connect(seekBar_, &QSlider::sliderReleased, this, &TPlayerPanel::SeekBarMouseUp);

    positionLabel_ = new QLabel(QStringLiteral("0.0"), this);
    positionLabel_->setObjectName(QStringLiteral("PositionLabel"));
    positionLabel_->setVisible(false);
    durationLabel_ = new QLabel(this);
    durationLabel_->setObjectName(QStringLiteral("DurationLabel"));
    durationLabel_->setVisible(false);

    image3_ = makeButton(QStringLiteral("Image3"), QString::fromUtf8("播放"), gPlay);
    image4_ = makeButton(QStringLiteral("Image4"), QString::fromUtf8("暂停"), gPause);
    image5_ = makeButton(QStringLiteral("Image5"), QString::fromUtf8("停止"), gStop);
    image14_ = makeButton(QStringLiteral("Image14"), QString::fromUtf8("声音/静音"), gSound);
    image24_ = makeButton(QStringLiteral("Image24"), QString::fromUtf8("捕捉快照"), gCamera);
    image26_ = makeButton(QStringLiteral("Image26"), QString::fromUtf8("快照设置"), gSettings);
    connect(image3_, &QToolButton::clicked, this, &TPlayerPanel::Image3Click);
    connect(image4_, &QToolButton::clicked, this, &TPlayerPanel::Image4Click);
    connect(image5_, &QToolButton::clicked, this, &TPlayerPanel::Image5Click);
    connect(image14_, &QToolButton::clicked, this, &TPlayerPanel::Image14Click);
    connect(image24_, &QToolButton::clicked, this, &TPlayerPanel::Image24Click);
    connect(image26_, &QToolButton::pressed, this, &TPlayerPanel::Image26MouseDown);

    snapshotMenu_ = new QMenu(this);
    snapshotMenu_->setObjectName(QStringLiteral("SnapshotMenu"));
    QAction* open = snapshotMenu_->addAction(QString::fromUtf8("打开快照目录"));
    QAction* choose = snapshotMenu_->addAction(QString::fromUtf8("设置快照目录"));
    connect(open, &QAction::triggered, this, &TPlayerPanel::OpenSnapshotFolder);
    connect(choose, &QAction::triggered, this, &TPlayerPanel::ChooseSnapshotFolder);
    snapshotMenu_->addSeparator();
    QMenu* types = snapshotMenu_->addMenu(QString::fromUtf8("快照保存类型"));
    formatGroup_ = new QActionGroup(this);
    formatGroup_->setExclusive(true);
    const char* texts[4] = {"BMP图片", "JPG图片", "GIF图片", "PNG图片"};
    const player::SnapshotFormat formats[4] = {
        player::SnapshotFormat::Bmp, player::SnapshotFormat::Jpg, player::SnapshotFormat::Gif,
        player::SnapshotFormat::Png};
    for (int i = 0; i < 4; ++i) {
        QAction* a = types->addAction(QString::fromUtf8(texts[i]));
        a->setCheckable(true);
        formatGroup_->addAction(a);
        formatActions_[i] = a;
        const player::SnapshotFormat f = formats[i];
        connect(a, &QAction::triggered, this, [this, f] { ChooseSnapshotFormat(f); });
    }
    formatActions_[0]->setChecked(true);
    connect(snapshotMenu_, &QMenu::aboutToShow, this, &TPlayerPanel::Button55Click);
    connect(snapshotMenu_, &QMenu::aboutToHide, this, [this] { image26_->setDown(false); });

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 0, 4, 0);
    buttons->setSpacing(2);
    for (QToolButton* b : {image3_, image4_, image5_, image14_}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(image24_);
    buttons->addWidget(image26_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 16, 8, 4);
    layout->setSpacing(2);
    layout->addWidget(panel2_, 1);
    layout->addWidget(seekBar_);
    layout->addLayout(buttons);

    connectPlayerHandlers();
    player_.SetOnFileOpen([this](void*, int64_t duration, int w, int h, int& sw, int& sh) {
        FFPlayer2FileOpen(duration, w, h, sw, sh);
    });
}

TPlayerPanel::~TPlayerPanel() {
    DetachPlayerHandlers();
    player_.SetOnFileOpen(nullptr);
    player_.Stop(true);
}

QToolButton* TPlayerPanel::makeButton(const QString& objectName, const QString& hint, int glyph) {
    auto* b = new QToolButton(this);
    b->setObjectName(objectName);
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    b->setIcon(glyphIcon(glyph));
    b->setIconSize(QSize(24, 24));
    b->setAutoRaise(true);  // the hover picture while the mouse is over it
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QToolButton* TPlayerPanel::Button(const QString& objectName) const {
    return findChild<QToolButton*>(objectName);
}

QString TPlayerPanel::settingsPath() const {
    return services_.settingsFile.isEmpty() ? platform::AppPaths::SettingsFile()
                                            : services_.settingsFile;
}

void TPlayerPanel::connectPlayerHandlers() {
    player_.SetOnPosition([this](void*, int64_t pts) { FFPlayer2Position(pts); });
    player_.SetOnState([this](void*, TPlayState state) { FFPlayer2State(state); });
}

void TPlayerPanel::DetachPlayerHandlers() {
    player_.SetOnPosition(nullptr);
    player_.SetOnState(nullptr);
    player_.SetOnHook(nullptr);
}

void TPlayerPanel::SetSelectedSourceFile(const QString& path) {
    selectedSourceFile_ = path;
    ResetSeekBar();
}

void TPlayerPanel::ResetSeekBar() {
    seekBarUpdating_ = true;
    seekBar_->setValue(0);
    seekBarUpdating_ = false;
}

void TPlayerPanel::Button31Click() {
    // The events of the file open now end with it, unheard.
    DetachPlayerHandlers();
    if (!player_.LibrariesLoaded()) {
        const QString path = services_.libraryPath.isEmpty() ? platform::AppPaths::LibAVDir()
                                                             : services_.libraryPath;
        if (!player_.LoadLibraries(path)) return;
    }
    if (player_.State() != psPause) player_.Pause();
    openSelected();
}

void TPlayerPanel::openSelected() {
    player_.Stop(true);
    // Every file opened here is followed: its position moves the seek bar, its end brings it
    // back to the start.
    connectPlayerHandlers();
    seekTarget_ = -1;
    if (!player_.Open(selectedSourceFile_, panel2_, true) && services_.logLine)
        services_.logLine(QString::fromStdString(player_.LastErrorMessage()));
}

void TPlayerPanel::StopPlayer() {
    player_.Stop(true);
    panel2_->update();
}

// ---------------------------------------------------------------------------------------------
// Buttons.

void TPlayerPanel::Image3Click() {
    player_.Resume();
    if (services_.focusJobList) services_.focusJobList();
}

void TPlayerPanel::Image4Click() {
    player_.Pause();
    if (services_.focusJobList) services_.focusJobList();
}

void TPlayerPanel::Image5Click() {
    if (selectedSourceFile_.isEmpty()) return;
    openSelected();
}

void TPlayerPanel::Image14Click() {
    player_.SetMute(!player_.Mute());
    updateMuteIcon();
}

void TPlayerPanel::updateMuteIcon() {
    image14_->setIcon(glyphIcon(player_.Mute() ? gMuted : gSound));
}

void TPlayerPanel::Image26MouseDown() {
    image26_->setDown(true);
    snapshotMenu_->popup(image26_->mapToGlobal(QPoint(0, image26_->height())));
}

// ---------------------------------------------------------------------------------------------
// Snapshots.

void TPlayerPanel::Button55Click() {
    platform::IniFile ini(settingsPath());
    const player::SnapshotFormat format = player::ReadSnapshotFormat(ini);
    formatActions_[static_cast<int>(format)]->setChecked(true);
}

player::SnapshotFormat TPlayerPanel::CheckedSnapshotFormat() const {
    for (int i = 0; i < 4; ++i)
        if (formatActions_[i]->isChecked()) return static_cast<player::SnapshotFormat>(i);
    return player::SnapshotFormat::Bmp;
}

void TPlayerPanel::ChooseSnapshotFormat(player::SnapshotFormat format) {
    platform::IniFile ini(settingsPath());
    player::WriteSnapshotFormat(ini, format);
    formatActions_[static_cast<int>(format)]->setChecked(true);
}

QString TPlayerPanel::SnapshotFolder() {
    platform::IniFile ini(settingsPath());
    return player::SnapshotFolder(ini);
}

void TPlayerPanel::OpenSnapshotFolder() {
    const QString folder = SnapshotFolder();
    if (services_.shell) services_.shell->OpenPath(folder);
}

void TPlayerPanel::ChooseSnapshotFolder() {
    if (!services_.dialogs) return;
    const QString folder = services_.dialogs->BrowseFolder(
        this, QString::fromUtf8("选择快照文件存放目录"), SnapshotFolder());
    if (folder.isEmpty() || !QDir(folder).exists()) return;
    platform::IniFile ini(settingsPath());
    ini.WriteString(QStringLiteral("SnapShot"), QStringLiteral("Dir"), QDir::cleanPath(folder));
}

void TPlayerPanel::Image24Click() {
    const QImage frame = player_.CurrentFrame();
    const QString folder = SnapshotFolder();
    Button55Click();
    const player::SnapshotFormat format = CheckedSnapshotFormat();
    if (frame.isNull() || frame.width() == 0) return;
    const QString path = player::NextSnapshotPath(folder, selectedSourceFile_, format);
    QString reason;
    if (!player::WriteSnapshot(frame, path, format, &reason)) {
        if (services_.dialogs) {
            const QString title = window() && !window()->windowTitle().isEmpty()
                                      ? window()->windowTitle()
                                      : QStringLiteral("Tandrel");
            services_.dialogs->ShowMessage(
                this, title, QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason),
                platform::MessageIcon::Warning);
        }
        return;
    }
    const QString sound = services_.captureSound.isEmpty()
                              ? platform::AppPaths::DataFile(QStringLiteral("sounds/cam.wav"))
                              : services_.captureSound;
    if (QFileInfo::exists(sound) && services_.sound) services_.sound->PlayFile(sound);
    if (services_.statusText) services_.statusText(kSnapshotStatus);
}

// ---------------------------------------------------------------------------------------------
// Seek bar and player events.

void TPlayerPanel::SeekBarMouseDown() {
    seekBarState_ = QStringLiteral("Down");
    player_.TogglePause();
}

void TPlayerPanel::SeekBarMouseUp() {
    seekBarState_ = QStringLiteral("UP");
    player_.Pause();
    // No target can be computed without a duration or a range: keep playing where it is.
    const int maximum = seekBar_->maximum();
    if (playDuration_ > 0 && maximum > 0) {
        const int64_t target = playDuration_ * seekBar_->value() / maximum;
        player_.Seek(0, false, target);
        holdFor(target);
    }
    player_.Resume();
}

void TPlayerPanel::holdFor(int64_t target) {
    seekTarget_ = target;
    seekClock_.start();
}

void TPlayerPanel::FFPlayer2FileOpen(int64_t duration, int, int, int&, int&) {
    playDuration_ = duration;
    seekBarUpdating_ = true;
    seekBar_->setTickInterval(5);
    seekBar_->setMaximum(std::max(seekBar_->width(), 1));
    seekBar_->setValue(0);
    seekBar_->setValue(0);
    seekBarUpdating_ = false;
    durationLabel_->setText(QString::asprintf("%f", static_cast<double>(duration) / 1e6));
    positionLabel_->setText(QStringLiteral("0.0"));
}

void TPlayerPanel::FFPlayer2Position(int64_t pts) {
    if (seekBarState_ != QLatin1String("UP")) return;  // the user holds the handle
    // After a seek the handle stays where it was put until the playback gets there (or gives
    // up on it): positions from before the seek would pull it back for a moment.
    constexpr int64_t kNear = 1000000;  // µs
    constexpr qint64 kPatience = 1000;  // ms
    if (seekTarget_ >= 0) {
        if (std::llabs(pts - seekTarget_) > kNear && seekClock_.elapsed() < kPatience) return;
        seekTarget_ = -1;
    }
    positionLabel_->setText(QString::asprintf("%f", static_cast<double>(pts) / 1e6));
    if (playDuration_ > 0 && pts >= 0) {
        seekBarUpdating_ = true;
        seekBar_->setValue(static_cast<int>(seekBar_->maximum() * pts / playDuration_));
        seekBarUpdating_ = false;
    }
}

void TPlayerPanel::FFPlayer2State(TPlayState state) {
    switch (state) {
        case psStop:
            panel2_->update();
            break;
        case psEnd:
            // Back to the start, paused: ready to play again.
            player_.Seek(sfAny, false, 0);
            holdFor(0);
            player_.Pause();
            ResetSeekBar();
            break;
        default:
            break;  // topmost changes need the hidden "Stay On Top" box, never checked
    }
}
