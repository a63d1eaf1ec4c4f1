// The window's latest-frame slot: display workers present pictures from their threads,
// the window paints the newest one on the GUI thread. Pictures that arrive faster than
// the window paints replace each other; only the newest is ever drawn.
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

// Converts a 24-bit bottom-up DIB into a top-down image; a null image when the block is
// malformed (short, wrong header size, other bit depth, absurd size).
QImage ImageFromDib24(const std::uint8_t* data, std::size_t size);

class CQtFrameSink final : public QObject, public kv::IFrameSink {
    Q_OBJECT
public:
    // widget: where the pictures are painted; it must call Paint from its paintEvent. The
    // sink is the widget's child, so whoever presents must be stopped before the widget goes.
    explicit CQtFrameSink(QWidget* widget);
    ~CQtFrameSink() override;

    bool Present(const std::vector<std::uint8_t>& dib, FrameRect source,
                 FrameRect destination) override;
    void Clear() override;

    // GUI thread: draws the newest picture, if any. True when something was drawn.
    bool Paint(QPainter& painter);
    bool HasFrame() const;
    QRect LastDestination() const;
    int PresentedCount() const { return m_presented.load(); }

protected:
    bool event(QEvent* event) override;

private:
    mutable std::mutex m_lock;
    QWidget* m_widget;                   // cleared when the widget is destroyed
    QImage m_image;
    QRect m_source;
    QRect m_destination;
    QRect m_dirty;                       // destination of pictures not painted yet
    std::atomic<bool> m_updatePosted{false};
    std::atomic<int> m_presented{0};
};

} // namespace kv::ui
