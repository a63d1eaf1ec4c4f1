// Small services of the window system used by the controls: the wait cursor, message
// boxes, the desktop's "open" of links, control ids, beeps and colour values.
#pragma once

#include <QColor>
#include <QString>

#include <cstdint>
#include <functional>

class QWidget;
class QObject;

namespace kv::ui {

// A colour as the controls' interfaces take it: 0x00BBGGRR. The value 0xFF000000 is not a
// colour; setters that accept it read the colour from a point of the bitmap instead.
using ColorRef = std::uint32_t;
inline constexpr ColorRef kColorFromPoint = 0xFF000000u;

constexpr ColorRef MakeColorRef(int r, int g, int b)
{
    return static_cast<ColorRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
inline QColor ToQColor(ColorRef c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
inline ColorRef FromQColor(const QColor& c) { return MakeColorRef(c.red(), c.green(), c.blue()); }

// Shows the busy cursor over the whole application while it lives. Restore() ends it
// early (for instance before a message box), and it is never restored twice.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore();
    bool IsActive() const { return m_active; }

private:
    bool m_active = false;
};

// A modal message box with an OK button; the caption is the module's name.
void ShowMessageBox(QWidget* parent, const QString& text);

// Opens a link with the desktop's handler (never through a shell). True on success.
bool ShellOpen(const QString& link);
// Tests replace the opener to see what would be opened; an empty function restores it.
void SetShellOpenForTesting(std::function<bool(const QString&)> opener);

// Beep of the window system (failed link, and the like).
void Beep();
void SetBeepForTesting(std::function<void()> beeper);

// Control ids: widgets carry the number their dialog template gives them.
void SetControlId(QObject* widget, int id);
int ControlId(const QObject* widget);  // 0 when none was set

} // namespace kv::ui
