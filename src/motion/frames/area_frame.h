// One area frame over the setup's picture: a small child window with a caption bar and
// sizing borders, whose inside is cut away so the picture shows through. Child widgets get
// no frame from the window manager, so the frame draws its caption and borders itself and
// handles the gestures: drag the caption to move, drag a border or corner to resize. Both
// gestures are kept inside the picture area, and the size stays within the tracking limits.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

namespace kv::motion {

class AreaFrame : public QWidget {
    Q_OBJECT
public:
    // Frame metrics: a thin tool-window caption under a sizing border. They are part of the
    // measured rectangles, as the caption and borders are part of the frame.
    static constexpr int kBorder = 4;
    static constexpr int kCaptionHeight = 16;
    // How far along an edge from a corner a drag still takes both edges.
    static constexpr int kCornerReach = 16;
    static constexpr int kMinimumWidth = 70;
    static constexpr int kMinimumHeight = 90;
    static constexpr int kMaximumWidth = 640;
    static constexpr int kMaximumHeight = 480;

    // pictureArea: the sibling the frame must stay over (the picture control).
    AreaFrame(int index, const QString& caption, QWidget* pictureArea, QWidget* parent);
    ~AreaFrame() override;

    int Index() const { return m_index; }
    QString Caption() const { return m_caption; }

    // Places the frame at rect (parent coordinates), its size brought within the tracking
    // limits; the place itself is not constrained.
    void Place(const QRect& rect);
    // The client area in frame coordinates: inside the borders, below the caption.
    QRect ClientRect() const;

    enum class Part { None, Caption, Left, Top, Right, Bottom, TopLeft, TopRight, BottomLeft, BottomRight };
    // What a point (frame coordinates) would grab.
    Part HitTest(QPoint point) const;

    // The constraints, on rectangles in parent coordinates against the picture rectangle.
    static QRect ConstrainMove(QRect proposed, const QRect& picture);
    static QRect ConstrainResize(QRect proposed, const QRect& picture);
    static QSize BoundedSize(QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect PictureRect() const;
    void ApplyShape();
    void UpdateCursor(Part part);
    QRect ResizedGeometry(QPoint delta) const;

    int m_index;
    QString m_caption;
    QPointer<QWidget> m_pictureArea;
    Part m_dragPart = Part::None;
    QPoint m_dragStart;      // parent coordinates of the press
    QRect m_dragGeometry;    // geometry at the press
};

} // namespace kv::motion
