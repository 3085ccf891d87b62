// Drawing into the caller's widget: an event filter replaces the widget's own painting with black
// plus the last picture in its rectangle, gives the widget the focus on mouse clicks, ignores
// close requests, and tells the playback about resizes and exposures.
#include <QCloseEvent>
#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <mutex>

#include "player/Playback.h"

namespace player {
namespace {

class WidgetOutput final : public QObject, public VideoOutput {
    Q_OBJECT
public:
    WidgetOutput(QWidget* widget, std::function<void()> onResize, std::function<void()> onExpose)
        : widget_(widget), onResize_(std::move(onResize)), onExpose_(std::move(onExpose)) {
        size_ = widget->size();
        widget->installEventFilter(this);
        wasOpaque_ = widget->testAttribute(Qt::WA_OpaquePaintEvent);
        widget->setAttribute(Qt::WA_OpaquePaintEvent);
        widget->update();
    }
    ~WidgetOutput() override {
        if (widget_) {
            widget_->removeEventFilter(this);
            // The widget paints itself again: with the attribute left on, its background would
            // not be drawn and the last picture would stay on the screen.
            widget_->setAttribute(Qt::WA_OpaquePaintEvent, wasOpaque_);
            widget_->update();
        }
    }

    QSize SurfaceSize() const override {
        std::lock_guard<std::mutex> lk(mutex_);
        return size_;
    }

    void Present(const QImage& image, const QRect& rect) override {
        {
            std::lock_guard<std::mutex> lk(mutex_);
            image_ = image;
            rect_ = rect;
        }
        // Queued to the UI thread by name, so that the call carries nothing written on this
        // thread (a closure would be); dropped by Qt when this filter is gone by then.
        QMetaObject::invokeMethod(this, "Repaint", Qt::QueuedConnection);
    }

    Q_INVOKABLE void Repaint() {
        if (widget_) widget_->update();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != widget_) return false;
        switch (event->type()) {
            case QEvent::Paint: {
                QPainter painter(widget_);
                painter.fillRect(widget_->rect(), Qt::black);
                std::lock_guard<std::mutex> lk(mutex_);
                if (!image_.isNull()) painter.drawImage(rect_.topLeft(), image_);
                return true;
            }
            case QEvent::Resize: {
                {
                    std::lock_guard<std::mutex> lk(mutex_);
                    size_ = widget_->size();
                }
                if (onResize_) onResize_();
                return false;
            }
            case QEvent::Show:
            case QEvent::WindowActivate:
                if (onExpose_) onExpose_();
                return false;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
                widget_->setFocus(Qt::MouseFocusReason);
                return false;
            case QEvent::Close:
                event->ignore();
                return true;
            default:
                return false;
        }
    }

private:
    QPointer<QWidget> widget_;
    bool wasOpaque_ = false;
    std::function<void()> onResize_, onExpose_;
    mutable std::mutex mutex_;  // guards size_, image_, rect_ (play thread and UI thread)
    QSize size_;
    QImage image_;
    QRect rect_;
};

}  // namespace

std::unique_ptr<VideoOutput> CreateWidgetOutput(QWidget* widget, std::function<void()> onResize,
                                                std::function<void()> onExpose) {
    return std::make_unique<WidgetOutput>(widget, std::move(onResize), std::move(onExpose));
}

}  // namespace player

#include "VideoWidget.moc"
