// The window's latest-frame slot: display workers present pictures from their threads,
// the window paints the newest one on the GUI thread. Pictures that arrive faster than
// the window paints replace each other; only the newest is ever drawn, so a slow window
// never makes pictures wait in line, and a worker never waits for a paint.
#pragma once

#include <QImage>
#include <QObject>
#include <QRect>

#include <atomic>
#include <mutex>

#include "platform/ui/frame_sink.h"

class QPainter;
class QWidget;

namespace kv::ui {

// Converts a DIB (24-bit, or 1/4/8-bit with its palette) into a top-down RGB32 image, the
// format the raster painter draws without converting again. target is reused when it has
// the right size and nobody else holds it. False (target untouched) when DescribeDib
// refuses the view.
bool ConvertDib(const DibView& dib, QImage& target);
QImage ImageFromDib(const DibView& dib);

class CQtFrameSink final : public QObject, public kv::IFrameSink {
    Q_OBJECT
public:
    // widget: where the pictures are painted; it must call Paint from its paintEvent. The
    // sink is the widget's child, so whoever presents must be stopped before the widget goes.
    explicit CQtFrameSink(QWidget* widget);
    ~CQtFrameSink() override;

    bool Present(const DibView& dib, FrameRect source, FrameRect destination) override;
    void Clear() override;
    PixelBuffer32 BeginPicture(int width, int height) override;
    bool EndPicture(bool show, FrameRect source, FrameRect destination) override;

    // The newest picture with the rectangles it is drawn with, taken together (a shared copy
    // of the picture: the worker can present the next one meanwhile).
    struct Frame {
        QImage image;
        QRect source;
        QRect destination;  // fully covered once the picture is drawn
    };
    Frame LastFrame() const;

    // GUI thread: draws the newest picture, if any. True when something was drawn.
    bool Paint(QPainter& painter);
    // GUI thread: draws a picture taken with LastFrame. True when something was drawn.
    bool Paint(QPainter& painter, const Frame& frame);
    bool HasFrame() const;
    QRect LastDestination() const;
    QRect LastSource() const;
    // The newest picture as converted (a shared copy).
    QImage LastImage() const;
    int PresentedCount() const { return m_presented.load(); }
    int PaintedCount() const { return m_painted.load(); }

protected:
    bool event(QEvent* event) override;

private:
    // The picture before, to be written again when nobody holds it any more (may be null).
    QImage TakeSpare();
    // Makes image the newest picture and asks the window to paint it.
    bool Publish(QImage image, FrameRect source, FrameRect destination);

    mutable std::mutex m_lock;
    QWidget* m_widget;                   // cleared when the widget is destroyed
    QImage m_image;
    QImage m_spare;                      // the picture before, reused for the next conversion
    QImage m_lent;                       // the buffer a worker is writing (BeginPicture)
    std::atomic<bool> m_lentOut{false};  // m_lent belongs to that worker until EndPicture
    QRect m_source;
    QRect m_destination;
    QRect m_dirty;                       // destination of pictures not painted yet
    std::atomic<bool> m_updatePosted{false};
    std::atomic<int> m_presented{0};
    std::atomic<int> m_painted{0};
};

} // namespace kv::ui
