// The panel's life: construction, window creation and destruction, and the dispatch of
// posted messages, timers and mouse input to the handlers in the other panel files.
#include "viewer/panel/viewer_panel.h"

#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>

#include <filesystem>

#include "audio/audio_player.h"
#include "platform/ui/posted_message.h"
#include "platform/ui/ui_helpers.h"
#include "stream/asf_player.h"
#include "stream/mjpeg_player.h"
#include "viewer/panel/camera_urls.h"
#include "viewer/panel/panel_message_relay.h"
#include "viewer/widgets/panel_button.h"
#include "viewer/widgets/panel_slider.h"
#include "viewer/widgets/picture_ctrl.h"

namespace kv::viewer {

namespace {

// The current directory, cut to the 255 characters the panel keeps of it.
std::string CurrentDirectoryText()
{
    std::error_code error;
    std::string dir = std::filesystem::current_path(error).string();
    if (error)
        dir.clear();
    if (dir.size() > 255)
        dir.resize(255);
    return dir;
}

} // namespace

CViewerPanel::CViewerPanel(PanelWorkers workers, QWidget* parent)
    : QWidget(parent), m_workers(workers), m_timers(this, [this](int id) { OnTimer(id); }),
      m_pFrameSink(new kv::ui::CQtFrameSink(this))
{
    m_rcZoom = {-1, -1, -1, -1};
    // paintEvent covers every pixel it is asked for, so nothing below need be painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    hide();
}

CViewerPanel::~CViewerPanel()
{
    DestroyWindow();
    PanelMessageRelay().ClearReceiver(this);
    KeepFrameSinkWhileDrawing();
}

bool CViewerPanel::Create(QWidget* parent)
{
    if (m_bHasWindow)
        return true;
    setParent(parent);
    setGeometry(0, 0, kWidth, kHeight);
    m_bHasWindow = true;
    OnInitDialog();
    show();
    return true;
}

void CViewerPanel::OnInitDialog()
{
    // Workers post to the panel created last, as they post to one window per module.
    PanelMessageRelay().SetReceiver(this);
    m_szCurDir = CurrentDirectoryText();
    m_bRelayout = true;
    m_bLayoutDone = false;
    m_bBezelCleared = false;
    CreateControls();

    if (m_nPendingBigMessage) {
        // SetSource failed before there was a window to say so in.
        ShowBigMessage(m_nPendingBigMessage);
        m_nPendingBigMessage = 0;
    }
    if (m_bSourceSet) {
        // SetSource came first and could not do its window part; do it now and play.
        StartPanelTimers();
        LoadControlTexts();
        GiveStreamSources();
        StartPlay(0, std::string());
    }
}

void CViewerPanel::DestroyWindow()
{
    if (!m_bHasWindow)
        return;
    if (m_bPlayStarted)
        StopPlay();
    // Pictures have nowhere to go without a window.
    ForgetFrameSink();
    m_timers.KillAll();
    m_bRestartPending = false;
    m_hControlCursor.reset();
    m_hZoomCursor.reset();
    PanelMessageRelay().ClearReceiver(this);
    DestroyControls();
    hide();
    m_bHasWindow = false;
}

void CViewerPanel::StartPanelTimers()
{
    m_timers.SetTimer(TIMER_CLOCK, 1000);
    m_timers.SetTimer(TIMER_LAYOUT, 50);
}

void CViewerPanel::GiveStreamSources()
{
    m_workers.asfPlayer.SetStream(m_sMpegUrl, m_sUser, m_sPassword);
    m_workers.mjpegPlayer.SetStream(m_sMjpegUrl, m_sUser, m_sPassword);
}

bool CViewerPanel::event(QEvent* event)
{
    auto* posted = dynamic_cast<kv::ui::CPostedMessage*>(event);
    if (!posted)
        return QWidget::event(event);
    switch (posted->Message()) {
    case kv::WM_PLAYER_RESULT:
        OnPlayerResult(static_cast<int>(posted->WParam()), posted->LParam());
        break;
    case kv::WM_DISPLAY_OPENED:
        OnDisplayOpened();
        break;
    case kv::WM_AUDIO_OPENED:
        OnAudioOpened();
        break;
    case kv::ui::WM_SLIDER_POSITION:
        OnSliderPosition(static_cast<int>(posted->WParam()), static_cast<int>(posted->LParam()));
        break;
    default:  // the slider's drag notifications, among others
        break;
    }
    return true;
}

void CViewerPanel::OnTimer(int id)
{
    switch (id) {
    case TIMER_CLOCK:
        OnClockTimer();
        break;
    case TIMER_LAYOUT:
        OnLayoutTimer();
        break;
    case TIMER_RESTART:
        OnRestartTimer();
        break;
    case TIMER_WAIT:
    case TIMER_REMAIN:
        m_exclusive.OnTimer(id);
        AfterControlChange();
        break;
    default:
        break;
    }
}

void CViewerPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        OnLButtonDown(at.x(), at.y());
    }
    QWidget::mousePressEvent(event);
}

void CViewerPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (m_exclusive.m_bControl) {
        const QPoint at = event->position().toPoint();
        const kv::PictureSize view = CurrentDisplay().GetViewSize();
        const bool over = at.x() >= kVideoLeft && at.x() <= kVideoLeft + view.width && at.y() >= kVideoTop &&
                          at.y() <= kVideoTop + view.height;
        if (over != m_bOverVideo) {
            m_bOverVideo = over;
            UpdateCursor();
        }
    }
    QWidget::mouseMoveEvent(event);
}

QWidget* CViewerPanel::Control(int id) const
{
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (kv::ui::ControlId(child) == id)
            return child;
    return nullptr;
}

bool CViewerPanel::RestartPending() const { return m_bRestartPending; }

bool CViewerPanel::IsMpeg() const { return IsMpegKind(m_sFrameType); }

IPanelDisplay& CViewerPanel::CurrentDisplay() const
{
    return IsMpeg() ? m_workers.mpeg4Display : m_workers.mjpegDisplay;
}

kv::CWorkerThread& CViewerPanel::CurrentPlayer() const
{
    if (IsMpeg())
        return m_workers.asfPlayer;
    return m_workers.mjpegPlayer;
}

std::string CViewerPanel::CurrentFrameText() const
{
    return IsMpeg() ? m_workers.asfPlayer.FrameText() : m_workers.mjpegPlayer.FrameText();
}

} // namespace kv::viewer
