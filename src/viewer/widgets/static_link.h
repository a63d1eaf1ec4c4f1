// A static text that behaves as a hyperlink: underlined, blue until visited and purple
// after, opened with the desktop's handler on click. A link that cannot be opened beeps
// once and is marked broken; from then on it is a plain static. Every click and move is
// passed on to the parent window (the panel), in the parent's coordinates.
#pragma once

#include <QColor>
#include <QLabel>

namespace kv::viewer {

class CStaticLink : public QLabel {
    Q_OBJECT
public:
    static constexpr QRgb kUnvisitedColour = 0xFF0000FF;  // RGB(0, 0, 255)
    static constexpr QRgb kVisitedColour = 0xFF800080;    // RGB(128, 0, 128)

    explicit CStaticLink(QWidget* parent = nullptr, const QString& link = QString());
    ~CStaticLink() override;

    void SetLink(const QString& link) { m_link = link; }
    QString Link() const { return m_link; }
    bool IsVisited() const { return m_visited; }
    bool IsBroken() const { return m_broken; }
    QColor LinkColour() const { return QColor::fromRgb(m_visited ? kVisitedColour : kUnvisitedColour); }
    // The colour the text is drawn in now.
    QColor TextColour() const;

protected:
    // Only text statics get the link look; a picture static keeps its own.
    virtual bool IsTextStatic() const { return true; }
    void UpdateLinkStyle();

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool TryOpen();
    void Forward(QMouseEvent* event);

    QString m_link;
    bool m_visited = false;
    bool m_broken = false;
    QFont m_plainFont;
    QPalette m_plainPalette;
};

} // namespace kv::viewer
