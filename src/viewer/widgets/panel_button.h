// The panel's push button: drawn by itself from a hover and a normal bitmap (or icon), with
// hover highlighting, four themed colours, its own cursor, optional auto-repeat while held,
// and an optional link opened on click. It can also act as a check button.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include "platform/ui/ui_helpers.h"

namespace kv::viewer {

class CPanelButton : public QPushButton {
    Q_OBJECT
public:
    enum ColourIndex { BTNST_COLOR_BK_IN = 0, BTNST_COLOR_FG_IN = 1, BTNST_COLOR_BK_OUT = 2, BTNST_COLOR_FG_OUT = 3 };
    enum Alignment { ST_ALIGN_HORIZ = 0, ST_ALIGN_VERT = 1, ST_ALIGN_HORIZ_RIGHT = 2 };
    enum Result { BTNST_OK = 0, BTNST_INVALIDRESOURCE = 1, BTNST_FAILEDMASK = 2, BTNST_INVALIDINDEX = 3 };

    static constexpr int kMaxLinkLength = 259;
    static constexpr int kDefaultRepeatMs = 100;
    static constexpr int kMaxTipWidth = 400;  // pixels; longer tips wrap

    explicit CPanelButton(QWidget* parent = nullptr);
    ~CPanelButton() override;

    // Bitmap resources by number; a normal id of 0 means "no normal image" (the hover image
    // stands in). Returns 0, 1 when a bitmap cannot be read, 2 when a mask cannot be made;
    // on failure the button has no images at all.
    int SetBitmaps(int hoverId, kv::ui::ColorRef hoverTransparent, int normalId = 0,
                   kv::ui::ColorRef normalTransparent = 0);
    int SetBitmaps(const QImage& hover, kv::ui::ColorRef hoverTransparent, const QImage& normal,
                   kv::ui::ColorRef normalTransparent);
    void SetIcons(const QIcon& hover, QSize hoverSize, const QIcon& normal = QIcon(), QSize normalSize = QSize());
    void ClearImages();

    int SetColor(int index, kv::ui::ColorRef colour, bool repaint = true);
    QColor GetColor(int index) const;
    void SetDefaultColors(bool repaint = true);

    void SetDrawBorder(bool draw, bool repaint = true);
    void SetFlat(bool flat, bool repaint = true);
    void SetAlign(int alignment, bool repaint = true);
    void SetFlatFocus(bool drawFocus, bool repaint = true);
    bool SetBtnCursor(int cursorId);  // 0 removes the cursor; false when the id is unknown
    void SetTransparent(bool transparent);
    void SetLink(const QString& link);
    void SetTooltipText(const QString& text);
    void SetAutoRepeat(bool repeat, int intervalMs = kDefaultRepeatMs);

    // Check-button style: clicks toggle the checked state.
    void SetCheckBox(bool isCheckBox);
    bool IsCheckBox() const { return isCheckable(); }
    void SetCheck(bool checked) { setChecked(checked); }
    bool GetCheck() const { return isChecked(); }

    // Drops the hover mark and repaints (the pad does this before it sends "stop").
    void ResetHover();

    bool IsHovered() const { return m_hovered; }
    bool IsFlat() const { return m_flat; }
    bool DrawsBorder() const { return m_drawBorder; }
    bool IsTransparent() const { return m_transparent; }
    bool HasHoverImage() const { return !m_hoverImage.isNull() || !m_hoverIcon.isNull(); }
    bool HasNormalImage() const { return !m_normalImage.isNull() || !m_normalIcon.isNull(); }
    bool AutoRepeat() const { return m_autoRepeat; }
    int RepeatInterval() const { return m_repeatMs; }
    QString Link() const { return m_link; }
    // True when a paint now would draw the hover image (rather than the normal one).
    bool ShowsHoverImage() const;
    QRect ImageRect() const;  // where the image goes in the current state

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool IsPressedState() const;
    QRect RestingImageRect() const;  // where the image goes when not pressed
    bool StillHeld() const;          // the left button still holds this button down
    void EndRepeat(QPoint pointer);
    QSize ImageSize(bool hoverImage) const;
    void SendRepeatCommand();
    void OnClicked();
    void SetHovered(bool hovered);

    QPixmap m_hoverImage;
    QPixmap m_normalImage;
    QIcon m_hoverIcon;
    QIcon m_normalIcon;
    QSize m_hoverIconSize;
    QSize m_normalIconSize;
    QColor m_colors[4];
    int m_align = ST_ALIGN_HORIZ;
    bool m_flat = true;
    bool m_drawBorder = true;
    bool m_flatFocus = false;
    bool m_transparent = false;
    bool m_hovered = false;
    QString m_link;

    bool m_autoRepeat = false;
    int m_repeatMs = kDefaultRepeatMs;
    bool m_repeatHeld = false;
    bool m_sendingRepeat = false;
    int m_repeatCount = 0;
    QTimer m_repeatTimer;
};

} // namespace kv::viewer
