// The standard dialogs every control offers besides its own face: the About box (dispatch
// id -552) and the property page that the Properties verb shows in a property frame.
#pragma once

#include <QPixmap>
#include <QString>
#include <QDialog>
#include <QWidget>

class QLabel;

namespace kv::com {

inline constexpr int DISPID_ABOUTBOX = -552;

// Dialogs take the font of the control they belong to (the control's dialog font).
//
// A property page: a caption (the tab's name in the frame) and its texts, laid out in
// dialog units. The controls' pages hold one static text and exchange no properties.
class CPropertyPage : public QWidget {
    Q_OBJECT
public:
    CPropertyPage(int templateId, const QString& caption, const QString& staticText, QWidget* parent = nullptr);

    int TemplateId() const { return m_templateId; }
    QString Caption() const { return windowTitle(); }
    QLabel* StaticText() const { return m_text; }

private:
    int m_templateId;
    QLabel* m_text;
};

// The About box: title, the control's icon, the name-and-version line, a second line and OK.
class CAboutBox : public QDialog {
    Q_OBJECT
public:
    CAboutBox(const QString& title, const QPixmap& icon, const QString& nameLine, const QString& secondLine,
              QWidget* parent = nullptr);
};

// Shows the page modally in a frame titled "<type name> Properties" with OK and Cancel.
void ShowPropertyFrame(QWidget* control, const QString& typeName, CPropertyPage* page);

} // namespace kv::com
