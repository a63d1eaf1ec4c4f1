// The panel's slider: a channel bitmap and a thumb bitmap, moved by mouse or keyboard. It
// tells its parent about every change by posting two messages with its control id and the
// position: WM_SLIDER_MOVING while the thumb is dragged, WM_SLIDER_POSITION when the mouse
// button is released or a key moved it.
#pragma once

#include <QPixmap>
#include <QWidget>

#include "platform/ui/ui_helpers.h"

namespace kv::viewer {

class CPanelSlider : public QWidget {
    Q_OBJECT
public:
    explicit CPanelSlider(QWidget* parent = nullptr);
    ~CPanelSlider() override;

    void SetRange(int minimum, int maximum, bool repaint = false);
    void SetRangeMin(int minimum, bool repaint = false);
    void SetRangeMax(int maximum, bool repaint = false);
    int GetRangeMin() const { return m_min; }
    int GetRangeMax() const { return m_max; }

    void SetPos(int position);  // clamped to the range
    int GetPos() const { return m_pos; }
    void SetPageSize(int page) { m_page = page; }
    int GetPageSize() const { return m_page; }

    void SetMargin(int left, int top, int right, int bottom);
    void SetVertical(bool vertical);
    bool IsVertical() const { return m_vertical; }

    // Bitmaps by resource number (0 removes them). The channel sets the control's size.
    // transparent: mask out the colour (kColorFromPoint: the colour of pixel (x, y)).
    bool SetChannelBitmaps(int id, int activeId, bool transparent = false,
                           kv::ui::ColorRef transparentColour = kv::ui::kColorFromPoint, int x = 0, int y = 0);
    bool SetThumbBitmaps(int id, int activeId, bool transparent = false,
                         kv::ui::ColorRef transparentColour = kv::ui::kColorFromPoint, int x = 0, int y = 0);
    // The same with pictures in hand; a null image removes them.
    bool SetChannelImages(const QImage& channel, const QImage& active, bool transparent,
                          kv::ui::ColorRef transparentColour, int x, int y);
    bool SetThumbImages(const QImage& thumb, const QImage& active, bool transparent,
                        kv::ui::ColorRef transparentColour, int x, int y);

    void Enable(bool enable = true) { setEnabled(enable); update(); }
    void DrawFocusRect(bool draw, bool repaint = false);
    bool SetSliderCursor(int cursorId);  // 0 removes it

    // Geometry along the slider's axis.
    int ThumbLength() const;
    int PixelOfValue(int value) const;
    int ValueOfPixel(int pixel) const;  // clamped to the range
    QRect ThumbRect() const;
    bool IsDragging() const { return m_dragging; }
    int GrabOffset() const { return m_grabOffset; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int Along(QPointF point) const;   // the coordinate along the axis
    int Length() const;               // the control's size along the axis
    int MarginStart() const { return m_vertical ? m_marginTop : m_marginLeft; }
    int MarginEnd() const { return m_vertical ? m_marginBottom : m_marginRight; }
    void DragTo(int along);
    void Notify(int message);

    int m_min = 0;
    int m_max = 100;
    int m_pos = 0;
    int m_page = 20;
    int m_marginLeft = 0;
    int m_marginTop = 0;
    int m_marginRight = 0;
    int m_marginBottom = 0;
    bool m_vertical = false;
    bool m_drawFocus = true;
    bool m_dragging = false;
    int m_grabOffset = 0;
    QPixmap m_channel;
    QPixmap m_activeChannel;
    QPixmap m_thumb;
    QPixmap m_activeThumb;
};

} // namespace kv::viewer
