// Playback: the source, starting a stream, the panel stop, StopPlay, and what the panel does
// with a worker's result (show "Can not connect" for a busy camera, otherwise restart).
#include "viewer/panel/viewer_panel.h"

#include <QComboBox>
#include <QLabel>

#include <chrono>
#include <thread>

#include "audio/audio_player.h"
#include "core/timings.h"
#include "stream/asf_player.h"
#include "stream/debug_log.h"
#include "stream/mjpeg_player.h"
#include "stream/result_code.h"
#include "viewer/commands/camera_command.h"
#include "viewer/commands/frame_rate_list.h"
#include "viewer/commands/pan_tilt_dlg.h"
#include "viewer/panel/camera_urls.h"
#include "viewer/panel/panel_message_relay.h"
#include "viewer/panel/record_target.h"
#include "viewer/panel/restart_backoff.h"
#include "viewer/resources/string_table.h"
#include "viewer/widgets/panel_button.h"
#include "viewer/widgets/panel_slider.h"
#include "viewer/widgets/password_dlg.h"
#include "viewer/widgets/picture_ctrl.h"

namespace kv::viewer {

namespace {

void SleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The panel whose frame sink the display workers were given last (window thread only).
const CViewerPanel* g_sinkOwner = nullptr;

// Run numbers are unique in the module, so a result can never be taken for another
// panel's run either.
int NextRunNumber()
{
    static int lastRun = 0;  // window thread only
    if (++lastRun <= 0)
        lastRun = 1;
    return lastRun;
}

} // namespace

bool CViewerPanel::SetSource(const std::string& sURL, const std::string& sFrameType, const std::string& sPanTilt,
                             const std::string& sFrameRate, int nColor, int nLanguage)
{
    // A started player of either kind makes the source busy: util.cgi may have chosen the
    // other kind than this call names. Nothing is assigned then, so the playing source,
    // its credentials and StopPlay keep working.
    if (m_workers.mjpegPlayer.IsStarted() || m_workers.asfPlayer.IsStarted()) {
        ShowBigMessage(IDS_CAN_NOT_CONNECT);
        return false;
    }

    m_sFrameType = sFrameType;
    const CameraUrls urls = DeriveCameraUrls(sURL, sFrameType);
    m_sMpegUrl = urls.mpeg;
    m_sMjpegUrl = urls.mjpeg;
    m_sPtzfUrl = urls.ptzf;
    m_sPresetUrl = urls.preset;
    m_sUtilUrl = urls.util;
    m_sProbeUrl = urls.probe;
    m_nLanguage = nLanguage;
    m_sPanTilt = sPanTilt;
    m_nColor = nColor;
    m_sFrameRate = sFrameRate + " fps";
    update();  // the background follows the scheme

    m_sUser.clear();
    m_sPassword.clear();
    std::string answer;
    if (!SendCameraGet(answer, m_sProbeUrl, m_sUser, m_sPassword)) {
        m_bSourceOk = false;
        ShowBigMessage(IDS_CAN_NOT_CONNECT_DOT);
        return true;
    }
    if (answer.find(CPasswordDlg::kUnauthorizedMarker) != std::string::npos) {
        CPasswordDlg dialog(QString::fromStdString(m_sProbeUrl), m_nLanguage, m_bHasWindow ? this : nullptr);
        const bool accepted = dialog.DoModal() == QDialog::Accepted;
        if (accepted) {
            m_sUser = dialog.m_sUser.toStdString();
            m_sPassword = dialog.m_sPassword.toStdString();
        }
        if (!accepted || dialog.m_nFailCount > 2) {
            m_bSourceOk = false;
            ShowBigMessage(IDS_PROTECTED);
            return true;
        }
        if (m_sPanTilt == "on")
            m_sPanTilt = dialog.m_bControlRight ? "on" : "off";
    }

    m_bSourceOk = true;
    // An earlier failure's message would otherwise stay over a working panel.
    m_nPendingBigMessage = 0;
    if (m_pBigMessage)
        m_pBigMessage->hide();
    if (m_bHasWindow) {
        StartPanelTimers();
        LoadControlTexts();
        GiveStreamSources();
    }
    m_workers.audioPlayer.SetSoundOn(true);
    m_workers.mjpegDisplay.SetZoomActive(false);
    m_workers.mpeg4Display.SetZoomActive(false);
    m_bSourceSet = true;
    return true;
}

void CViewerPanel::StartPlay(int bRecord, const std::string& sRecordFilename)
{
    if (!m_bSourceOk || !m_bHasWindow)
        return;
    std::string answer;
    if (!SendCameraGet(answer, m_sUtilUrl, m_sUser, m_sPassword))
        answer.clear();
    // The camera's answer decides the kind from here on, whatever the page said.
    const UtilAnswer util = ParseUtilAnswer(answer);
    m_sFrameType = util.frameType;
    m_sAudio = util.audio;

    if (IsMpeg()) {
        kv::CPlayer& player = m_workers.asfPlayer;
        if (!player.IsFinished())
            return;  // playing already
        m_sRecordFilename = sRecordFilename;
        bool record = bRecord != 0;
        if (record && !IsAcceptableRecordTarget(sRecordFilename)) {
            // The stream still plays; only the recording is refused.
            kv::DebugMessage("record file refused (not a regular file): " + sRecordFilename, 1);
            record = false;
        }
        player.SetRecord(record, sRecordFilename);
        StartRun(m_workers.mpeg4Display, player);
        return;
    }
    kv::CMJpegPlayer& player = m_workers.mjpegPlayer;
    if (!player.IsFinished())
        return;
    m_sRecordFilename = sRecordFilename;
    if (!m_sFrameRate.empty())
        player.SetStream(MjpegStreamUrl(m_sMjpegUrl, m_sFrameRate), m_sUser, m_sPassword);
    StartRun(m_workers.mjpegDisplay, player);
}

void CViewerPanel::StartRun(IPanelDisplay& display, kv::CStreamPlayerBase& player)
{
    CPanelMessageRelay& relay = PanelMessageRelay();
    const int run = NextRunNumber();
    auto report = [run](int code) { PanelMessageRelay().PostMessage(kv::WM_PLAYER_RESULT, code, run); };

    display.SetWindow(&relay);
    display.SetSink(m_pFrameSink);
    g_sinkOwner = this;
    m_bSinkLent = true;
    display.SetExitCallback(report);
    m_workers.audioPlayer.SetWindow(&relay);
    player.SetDisplayConsumer(&display.Consumer());
    player.SetAudioConsumer(&m_workers.audioConsumer);
    player.SetExitCallback(report);
    // The switch outlives runs on a player other panels share: this panel's speaker decides.
    player.SetAudioEnabled(m_bSpeakerOn);

    m_nLiveRun = run;
    m_nPicturesAtRunStart = m_pFrameSink->PresentedCount();
    m_bPlayStarted = true;
    if (!player.Start())
        m_nLiveRun = 0;
}

void CViewerPanel::PanelStop()
{
    if (!m_bSourceOk)
        return;
    if (m_pPanTiltDlg)
        delete m_pPanTiltDlg.data();
    // From here on, whatever the stopped run reports was asked for.
    m_nLiveRun = 0;
    SleepMs(kv::ModuleTimings().panelStopSleepMs.load());
    const int limit = kv::ModuleTimings().playerStopMs.load();
    kv::CWorkerThread& current = CurrentPlayer();
    if (!current.IsFinished())
        current.RequestStop(limit);
    // The other kind runs only if the kind changed under a running stream; it goes too.
    kv::CWorkerThread& other = IsMpeg() ? static_cast<kv::CWorkerThread&>(m_workers.mjpegPlayer)
                                        : static_cast<kv::CWorkerThread&>(m_workers.asfPlayer);
    if (!other.IsFinished())
        other.RequestStop(limit);
}

void CViewerPanel::StopPlay()
{
    m_timers.KillTimer(TIMER_RESTART);
    m_bRestartPending = false;
    m_nLiveRun = 0;  // also when there is no source: a late result must not restart anything
    PanelStop();
    m_workers.asfPlayer.ClearStartedFlag();
    m_workers.mjpegPlayer.ClearStartedFlag();
    m_bPlayStarted = false;
    m_bReconnecting = false;
    m_nFailedRuns = 0;
    update();
}

void CViewerPanel::ForgetFrameSink()
{
    // Only this panel's sink: another panel may be playing on the same workers.
    if (g_sinkOwner != this)
        return;
    m_workers.mjpegDisplay.SetSink(nullptr);
    m_workers.mpeg4Display.SetSink(nullptr);
    g_sinkOwner = nullptr;
}

void CViewerPanel::KeepFrameSinkWhileDrawing()
{
    // A display worker that did not end when it was stopped may be inside Present on the
    // sink it was given. Then the sink outlives the panel, emptied and detached from it,
    // rather than be freed under the worker. It stays reachable for good: nothing tells when
    // such a worker lets go.
    if (!m_bSinkLent || (!m_workers.mjpegDisplay.IsRunning() && !m_workers.mpeg4Display.IsRunning()))
        return;
    static auto* const kept = new std::vector<kv::ui::CQtFrameSink*>;
    m_pFrameSink->setParent(nullptr);
    m_pFrameSink->Clear();
    kept->push_back(m_pFrameSink);
    kv::DebugMessage("a display worker still runs: its frame sink is kept", 1);
}

void CViewerPanel::OnPlayerResult(int code, std::intptr_t run)
{
    // Results of runs that were stopped on purpose, or that StopPlay ended, are over.
    if (!m_bHasWindow || run == 0 || run != m_nLiveRun)
        return;
    if (code == kv::kResultCameraBusy) {
        OnCameraBusy();
        return;
    }
    // A run that showed pictures before it failed starts a new series of failures.
    if (m_pFrameSink->PresentedCount() != m_nPicturesAtRunStart)
        m_nFailedRuns = 0;
    ++m_nFailedRuns;
    m_bReconnecting = true;
    repaint();  // say so now: the stop below holds the window thread for a while
    PanelStop();
    ScheduleRestart();
}

void CViewerPanel::ScheduleRestart()
{
    const int delay = RestartDelayMs(m_nFailedRuns, kv::ModuleTimings().restartBackoffMaxMs.load());
    if (delay > 0) {
        m_bRestartPending = true;
        m_timers.SetTimer(TIMER_RESTART, delay);
        return;
    }
    OnRestartTimer();
}

void CViewerPanel::OnRestartTimer()
{
    m_timers.KillTimer(TIMER_RESTART);
    m_bRestartPending = false;
    StartPlay(0, m_sRecordFilename);
    if (m_nLiveRun == 0 && m_bReconnecting) {
        // Nothing started (the old player has not ended yet): try again a little later.
        ++m_nFailedRuns;
        ScheduleRestart();
    }
}

void CViewerPanel::NotePictures()
{
    if (!m_bReconnecting || m_nLiveRun == 0 || m_pFrameSink->PresentedCount() == m_nPicturesAtRunStart)
        return;
    m_bReconnecting = false;
    m_nFailedRuns = 0;
    update();
}

void CViewerPanel::OnCameraBusy()
{
    PanelStop();  // the started flags stay set: only StopPlay clears them
    m_bReconnecting = false;
    ShowBigMessage(IDS_CAN_NOT_CONNECT);
    const std::initializer_list<QWidget*> others{
        m_pFrameRateLabel, m_pFrameRateList, m_pViewSizeLabel, m_pViewSizeList, m_pZoomButton, m_pCaptureButton,
        m_pControlButton, m_pPanTiltButton, m_pPresetLabel, m_pPresetList, m_pMessageLabel, m_pTimeLabel,
        m_pSpeakerButton, m_pControlIcon, m_pVolumeSlider, m_pBanner};
    for (QWidget* control : others)
        if (control)
            control->hide();
    m_bBezelCleared = true;
    update();
}

void CViewerPanel::ShowBigMessage(int stringId)
{
    if (!m_pBigMessage) {
        m_nPendingBigMessage = stringId;
        return;
    }
    m_pBigMessage->setText(QString::fromUtf8(LoadString(stringId)));
    m_pBigMessage->setGeometry(0, 0, kWidth, 600);
    m_pBigMessage->show();
    m_pBigMessage->raise();
}

void CViewerPanel::SetZoomPercent(int percent) { m_workers.mpeg4Display.SetZoomPercent(percent); }

void CViewerPanel::SetSoundOn(bool on)
{
    if (m_bSourceOk)
        m_workers.audioPlayer.SetSoundOn(on);
}

} // namespace kv::viewer
