#include "viewer/control/kavaro_ctrl.h"

#include "audio/audio_player.h"
#include "platform/com/control_dialogs.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/qt_frame_sink.h"
#include "platform/ui/ui_helpers.h"
#include "viewer/control/kavaro_identity.h"
#include "viewer/control/kavaro_prop_page.h"
#include "viewer/control/kavaro_server.h"
#include "viewer/resources/resources.h"
#include "viewer/resources/string_table.h"

#include <QResizeEvent>
#include <QUrl>

#include <array>

namespace kv::viewer {

namespace {

constexpr int kPanelWidth = 870;
constexpr int kPanelHeight = 650;

constexpr std::array<com::DispatchEntry, 9> kDispatch{{
    {DISPID_SetZoomPercent, "SetZoomPercent"},
    {DISPID_StartPlay, "StartPlay"},
    {DISPID_StopPlay, "StopPlay"},
    {DISPID_TestPlay, "TestPlay"},
    {DISPID_SetPlayAudio, "SetPlayAudio"},
    {DISPID_StopPlayAudio, "StopPlayAudio"},
    {DISPID_OpenSettingPage, "OpenSettingPage"},
    {DISPID_SetSource, "SetSource"},
    {DISPID_ABOUTBOX, "AboutBox"},
}};

// Automation strings arrive in the page's narrow code page; the panel works on bytes.
std::string Narrow(const QString& text) { return text.toStdString(); }

} // namespace

CKavaroCtrl::CKavaroCtrl(QWidget* parent) : com::CControlBase(KavaroServer().Usage(), DispatchTable(), parent)
{
    setFont(ui::DialogFont());
    // A new control starts with the audio worker's initialised state clear. Only an idle
    // worker is cleared: another control of this process may be playing through it, and
    // taking its device away would leave that control's player to shut down nothing.
    CAudioPlayer& audio = AudioPlayer();
    if (audio.IsFinished() && audio.IsInitialised())
        audio.Shutdown();
}

CKavaroCtrl::~CKavaroCtrl()
{
    // The panel's window goes with the control's. Destroying it stops the playback this
    // panel started, whether or not the host called StopPlay: a worker left running would
    // post to, and draw into, a window that no longer exists.
    if (m_panel.HasWindow())
        m_panel.DestroyWindow();
}

const com::CDispatchTable& CKavaroCtrl::DispatchTable()
{
    static const com::CDispatchTable table(kDispatch);
    return table;
}

void CKavaroCtrl::SetZoomPercent(int percent) { m_panel.SetZoomPercent(percent); }

void CKavaroCtrl::StartPlay(int bRecord, const QString& sRecordFilename)
{
    m_panel.StartPlay(bRecord, Narrow(sRecordFilename));
}

void CKavaroCtrl::StopPlay() { m_panel.StopPlay(); }

void CKavaroCtrl::TestPlay() {}

void CKavaroCtrl::SetPlayAudio()
{
    if (m_panel.SourceOk())
        m_panel.SetSoundOn(true);
}

void CKavaroCtrl::StopPlayAudio()
{
    if (m_panel.SourceOk())
        m_panel.SetSoundOn(false);
}

void CKavaroCtrl::OpenSettingPage(const QString& sURL)
{
    // The camera's settings page opens in the desktop's browser. Only a web address is
    // handed on, and never through a command line: anything else (another scheme, a
    // relative or empty text, options in disguise) does nothing.
    const QUrl url(sURL.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return;
    ui::ShellOpen(url.toString(QUrl::FullyEncoded));
}

bool CKavaroCtrl::SetSource(const QString& sURL, const QString& sFrameType, const QString& sPanTilt,
                            const QString& sFrameRate, int nColor, int nLanguage)
{
    return m_panel.SetSource(Narrow(sURL), Narrow(sFrameType), Narrow(sPanTilt), Narrow(sFrameRate), nColor,
                             nLanguage);
}

void CKavaroCtrl::AboutBox()
{
    const QImage bitmap = LoadBitmapResource(IDB_TOOLBOX);
    QPixmap icon = QPixmap::fromImage(bitmap).scaled(bitmap.size() * 2);
    com::CAboutBox box(QStringLiteral("About Kavaro Control"), icon, QStringLiteral("Kavaro Control, Version 1.0"),
                       QStringLiteral("Live network camera viewer"), this);
    box.exec();
}

QVariantMap CKavaroCtrl::Statistics()
{
    const ui::CQtFrameSink& sink = m_panel.FrameSink();
    const CAudioPlayer& audio = AudioPlayer();
    const auto bytes = static_cast<qulonglong>(audio.PlayedBytes());
    const std::size_t frameBytes = audio.HalfSize();
    QVariantMap stats;
    stats.insert(QStringLiteral("picturesDrawn"), sink.PaintedCount());
    stats.insert(QStringLiteral("picturesPresented"), sink.PresentedCount());
    stats.insert(QStringLiteral("audioBytesPlayed"), bytes);
    stats.insert(QStringLiteral("audioFramesPlayed"), frameBytes ? static_cast<qulonglong>(bytes / frameBytes) : 0ull);
    return stats;
}

void CKavaroCtrl::ShowProperties()
{
    com::ShowPropertyFrame(this, QString::fromLatin1(LoadString(IDS_KAVARO_TYPE_NAME)), new CKavaroPropPage);
}

QSize CKavaroCtrl::sizeHint() const { return QSize(kPanelWidth, kPanelHeight); }

void CKavaroCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    OnDraw(rect());
}

void CKavaroCtrl::OnCreate() { m_panel.Create(this); }

void CKavaroCtrl::OnDraw(const QRect& bounds)
{
    // Qt paints the panel after the control by itself; only its place follows the
    // container's rectangle.
    if (m_panel.HasWindow() && m_panel.geometry() != bounds)
        m_panel.setGeometry(bounds);
}

} // namespace kv::viewer
