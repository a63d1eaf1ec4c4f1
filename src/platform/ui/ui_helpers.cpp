#include "platform/ui/ui_helpers.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <QVariant>

#include <mutex>

#include "core/module_profile.h"

namespace kv::ui {

namespace {

const char kControlIdProperty[] = "kvControlId";

std::mutex g_hookLock;
std::function<bool(const QString&)> g_shellOpen;
std::function<void()> g_beep;

} // namespace

CWaitCursor::CWaitCursor()
{
    if (QGuiApplication::instance()) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_active = true;
    }
}

CWaitCursor::~CWaitCursor() { Restore(); }

void CWaitCursor::Restore()
{
    if (m_active) {
        QGuiApplication::restoreOverrideCursor();
        m_active = false;
    }
}

void ShowMessageBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(ActiveProfile().name), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

bool ShellOpen(const QString& link)
{
    std::function<bool(const QString&)> opener;
    {
        std::lock_guard lock(g_hookLock);
        opener = g_shellOpen;
    }
    if (opener)
        return opener(link);
    if (link.trimmed().isEmpty())
        return false;
    const QUrl url = QUrl::fromUserInput(link);
    if (!url.isValid())
        return false;
    return QDesktopServices::openUrl(url);
}

void SetShellOpenForTesting(std::function<bool(const QString&)> opener)
{
    std::lock_guard lock(g_hookLock);
    g_shellOpen = std::move(opener);
}

void Beep()
{
    std::function<void()> beeper;
    {
        std::lock_guard lock(g_hookLock);
        beeper = g_beep;
    }
    if (beeper)
        beeper();
    else
        QApplication::beep();
}

void SetBeepForTesting(std::function<void()> beeper)
{
    std::lock_guard lock(g_hookLock);
    g_beep = std::move(beeper);
}

void SetControlId(QObject* widget, int id)
{
    if (widget)
        widget->setProperty(kControlIdProperty, id);
}

int ControlId(const QObject* widget)
{
    if (!widget)
        return 0;
    const QVariant value = widget->property(kControlIdProperty);
    return value.isValid() ? value.toInt() : 0;
}

} // namespace kv::ui
