#include "app/Previewer.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <atomic>
#include <functional>

#include "engine/FFUtils.h"
#include "engine/FFmpegVCL.h"
#include "engine/MainThread.h"

namespace {

class PreviewWidget : public QWidget {
public:
    explicit PreviewWidget(std::function<void()> onClose) : onClose_(std::move(onClose)) {
        setObjectName(QString::fromLatin1(TPreviewer::kObjectName));
        setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                       Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    }
    // Kept in the window surface's own format, so that painting is a plain copy.
    void SetPicture(const TBitmap& bitmap) {
        const int w = bitmap.Width(), h = bitmap.Height();
        if (image_.width() != w || image_.height() != h)
            image_ = QImage(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y) {
            const uint8_t* from = bitmap.ScanLine(y);
            auto* to = reinterpret_cast<QRgb*>(image_.scanLine(y));
            for (int x = 0; x < w; ++x) to[x] = qRgb(from[3 * x + 2], from[3 * x + 1], from[3 * x]);
        }
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, image_);
    }
    void closeEvent(QCloseEvent* event) override {
        onClose_();
        event->accept();
    }
    // A press anywhere moves the window, as its caption would.
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) {
            QWidget::mousePressEvent(event);
            return;
        }
        if (windowHandle() && windowHandle()->startSystemMove()) return;
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (dragging_ && (event->buttons() & Qt::LeftButton))
            move(event->globalPosition().toPoint() - dragOffset_);
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }

private:
    std::function<void()> onClose_;
    QImage image_;
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace

// Shared by the previewer, its widget and the calls queued for the UI thread, so that none of
// them outlives what it touches.
struct TPreviewer::State {
    std::atomic<bool> closed{false};
    QPointer<PreviewWidget> widget;  // UI thread
};

void TPreviewer::draw(const std::shared_ptr<State>& state, const TPreviewInfo& info) {
    if (state->closed || !info.Bitmap || info.Bitmap->Width() <= 0) return;
    if (!state->widget) {
        std::weak_ptr<State> weak = state;
        auto* widget = new PreviewWidget([weak] {
            if (auto s = weak.lock()) s->closed = true;
        });
        const QSize size(info.Bitmap->Width(), info.Bitmap->Height());
        widget->resize(size);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect area(QPoint(), size);
            area.moveCenter(screen->availableGeometry().center());
            widget->move(area.topLeft());
        }
        state->widget = widget;
        widget->show();
    }
    const QString caption = QString::fromStdString(DurationToStr(info.PTS));
    state->widget->setWindowTitle(caption);
    state->widget->setAccessibleName(caption);
    state->widget->SetPicture(*info.Bitmap);
}

TPreviewer::TPreviewer() : state_(std::make_shared<State>()) {}

TPreviewer::~TPreviewer() { Close(); }

bool TPreviewer::Closed() const { return state_->closed; }

bool TPreviewer::Show(const TPreviewInfo& info) {
    if (state_->closed) return false;
    const std::shared_ptr<State> state = state_;
    mainthread::Invoke([&] { draw(state, info); });
    return !state->closed;
}

void TPreviewer::Close() {
    const std::shared_ptr<State> state = state_;
    state->closed = true;
    auto destroy = [state] { delete state->widget.data(); };
    if (mainthread::IsUiThread())
        destroy();
    else
        mainthread::Post(std::move(destroy));
}

void InstallPreviewer(TCustomFFmpegVCL& component) {
    component.SetPreviewWindowFactory([] { return std::make_shared<TPreviewer>(); });
}

QImage BitmapToImage(const TBitmap& bitmap) {
    if (bitmap.Width() <= 0 || bitmap.Height() <= 0) return {};
    return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.BytesPerLine(),
                  QImage::Format_BGR888)
        .copy();
}
