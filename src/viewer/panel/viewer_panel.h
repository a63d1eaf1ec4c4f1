// The viewer's face: the panel that covers the control's window. It owns all viewer state
// (camera addresses, credentials, stream kind, view size, digital zoom, exclusive control),
// starts, stops and restarts playback, reacts to what the workers post, and lays itself out
// around the video.
//
// The workers never touch the panel: they post WM_PLAYER_RESULT, WM_DISPLAY_OPENED and
// WM_AUDIO_OPENED, and the display workers hand their pictures to the panel's frame sink,
// which the panel paints at (225, 35).
#pragma once

#include <QCursor>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/qt_frame_sink.h"
#include "platform/ui/window_timers.h"
#include "viewer/commands/exclusive_control.h"
#include "viewer/panel/digital_zoom.h"
#include "viewer/panel/panel_layout.h"
#include "viewer/panel/panel_workers.h"

class QComboBox;
class QLabel;

namespace kv {
class CStreamPlayerBase;
}

namespace kv::viewer {

class CFrameRateList;
class CPanelButton;
class CPanelSlider;
class CPanTiltDlg;
class CPictureCtrl;

// Controls of the panel's dialog template.
enum PanelControlId : int {
    IDC_COMBO_FRAMERATE = 201,
    IDC_COMBO_PRESET = 202,
    IDC_BUTTON_CONTROL = 203,
    IDC_BUTTON_PANTILT = 204,
    IDC_STATIC_MESSAGE = 205,
    IDC_STATIC_FRAMERATE = 206,
    IDC_STATIC_BIGMESSAGE = 207,
    IDC_STATIC_PRESET = 208,
    IDC_COMBO_VIEWSIZE = 210,
    IDC_BUTTON_ZOOM = 211,
    IDC_BUTTON_CAPTURE = 212,
    IDC_STATIC_TIME = 213,
    IDC_STATIC_VIEWSIZE = 214,
    IDC_BUTTON_SPEAKER = 229,
    IDC_SLIDER_VOLUME = 231,
    IDC_STATIC_BANNER = 232,
    IDC_STATIC_CONTROL_ICON = 233,
};

// Window timers of the panel.
enum PanelTimerId : int {
    TIMER_CLOCK = 1001,    // time label, every second
    TIMER_WAIT = 1003,     // exclusive control: waiting countdown
    TIMER_REMAIN = 1004,   // exclusive control: remaining-time countdown
    TIMER_LAYOUT = 1005,   // pending re-layout, every 50 ms
    TIMER_RESTART = 1006,  // the wait before a restart after failed ones
};

// Exclusive control runs in CExclusiveControl; the panel is its window side.
class CViewerPanel : public QWidget, private IExclusiveControlPanel {
public:
    static constexpr int IDD = 102;
    static constexpr int kWidth = 870;   // 580 dialog units
    static constexpr int kHeight = 650;  // 400 dialog units
    static constexpr const char kReconnectingText[] = "Reconnecting\u2026";

    // The object only, on the module's workers: no window yet.
    explicit CViewerPanel(QWidget* parent = nullptr);
    // The same on workers of the caller's choosing.
    explicit CViewerPanel(PanelWorkers workers, QWidget* parent = nullptr);
    ~CViewerPanel() override;

    // Window creation: a child of parent at (0, 0), 870 by 650, with its controls. Starts
    // playback when a source was set before.
    bool Create(QWidget* parent);
    bool HasWindow() const { return m_bHasWindow; }
    // Window destruction. Stops playback first when this panel started a stream, so no
    // worker outlives the window it draws into.
    void DestroyWindow();

    bool SetSource(const std::string& sURL, const std::string& sFrameType, const std::string& sPanTilt,
                   const std::string& sFrameRate, int nColor, int nLanguage);
    void StartPlay(int bRecord, const std::string& sRecordFilename);
    // Panel stop, then both players' started flags cleared: a new source is accepted again.
    void StopPlay();
    void SetZoomPercent(int percent);
    bool SourceOk() const { return m_bSourceOk; }
    // The sound-on flag of the audio worker; only once a source was accepted.
    void SetSoundOn(bool on);

    // What tests look at.
    QWidget* Control(int id) const;
    const VideoLayout& Layout() const { return m_layout; }
    bool BezelCleared() const { return m_bBezelCleared; }
    bool Reconnecting() const { return m_bReconnecting; }
    bool RestartPending() const;
    int FailedRuns() const { return m_nFailedRuns; }
    int CurrentRun() const { return m_nLiveRun; }
    bool ZoomMode() const { return m_bZoomMode; }
    bool Zoomed() const { return m_bZoomed; }
    ZoomRect ZoomRectangle() const { return m_rcZoom; }
    QPoint ZoomSourceOrigin() const { return m_ptZoomSrc; }
    bool HasZoomCursor() const { return m_hZoomCursor.has_value(); }
    bool SpeakerOn() const { return m_bSpeakerOn; }
    bool ControlHeld() const { return m_exclusive.m_bControl; }
    const ExclusiveControlState& ExclusiveControl() const { return m_exclusive; }
    bool TimerRunning(int id) const { return m_timers.IsRunning(id); }
    CPanTiltDlg* PanTiltDlg() const;  // the open pad, or null
    const std::string& FrameType() const { return m_sFrameType; }
    const std::string& Audio() const { return m_sAudio; }
    const std::string& FrameRate() const { return m_sFrameRate; }
    const std::string& PanTilt() const { return m_sPanTilt; }
    const std::string& User() const { return m_sUser; }
    const std::string& Password() const { return m_sPassword; }
    const std::string& RecordFilename() const { return m_sRecordFilename; }
    const std::string& CurrentDirectory() const { return m_szCurDir; }
    std::string PtzfUrl() const { return m_sPtzfUrl; }
    std::string PresetUrl() const { return m_sPresetUrl; }
    std::string UtilUrl() const { return m_sUtilUrl; }
    std::string MjpegUrl() const { return m_sMjpegUrl; }
    std::string MpegUrl() const { return m_sMpegUrl; }
    kv::ui::CQtFrameSink& FrameSink() { return *m_pFrameSink; }

    // A tick of the panel's window timer id (the timers call it; tests may too, to count
    // down second by second).
    void OnTimer(int id);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // Creation (the dialog initialisation).
    void OnInitDialog();
    void CreateControls();
    void LoadControlTexts();
    void DestroyControls();
    void StartPanelTimers();
    void GiveStreamSources();

    // Playback.
    void PanelStop();
    void ForgetFrameSink();
    void KeepFrameSinkWhileDrawing();
    void StartRun(IPanelDisplay& display, kv::CStreamPlayerBase& player);
    void OnPlayerResult(int code, std::intptr_t run);
    void OnCameraBusy();
    void ScheduleRestart();
    void OnRestartTimer();
    void NotePictures();
    void ShowBigMessage(int stringId);

    // Worker messages and timers.
    void OnDisplayOpened();
    void OnAudioOpened();
    void OnSliderPosition(int controlId, int position);
    void OnClockTimer();
    void OnLayoutTimer();

    // View size and zoom.
    void OnSelchangeViewSize();
    void ApplyViewSize();
    void OnDigitalZoom();
    void OnLButtonDown(int x, int y);
    void OnZoomClick(int x, int y);
    // A left click that is not a digital-zoom click: the area-zoom request.
    void OnVideoClick(int x, int y);

    // Camera commands, exclusive control and capture.
    void ConnectCommandControls();
    void OnControl();
    void AfterControlChange();
    void OnPanTilt();
    void OnSelchangePreset(int index);
    void OnDropdownFrameRate();
    void OnSelchangeFrameRate(int index);
    void OnCapture();

    // IExclusiveControlPanel
    void ShowItem(int controlId, bool show) override;
    void SetMessageText(const QString& text) override;
    void SetMessageGeometry(const QRect& rect) override;
    void ClearPresetList() override;
    void AddPresetItem(const QString& text) override;
    void SetTimer(int id, int intervalMs) override;
    void KillTimer(int id) override;
    void LoadControlCursor() override;
    PasswordAnswer AskPassword(const std::string& testUrl, int language) override;

    // Look.
    void ApplyColours();
    void ApplyButtonImages();
    void PlaceLeftColumn();
    void ApplyVideoLayout(int viewWidth, int viewHeight);
    void PaintBezel(QPainter& painter) const;
    QRegion BezelArea() const;
    void PaintReconnecting(QPainter& painter) const;
    void OnSpeaker();
    void UpdateCursor();

    bool IsMpeg() const override;
    IPanelDisplay& CurrentDisplay() const;
    kv::CWorkerThread& CurrentPlayer() const;
    std::string CurrentFrameText() const;
    QColor SchemeText() const;

    PanelWorkers m_workers;
    kv::ui::CWindowTimers m_timers;
    kv::ui::CQtFrameSink* m_pFrameSink;  // child object; lives as long as the panel
    bool m_bHasWindow = false;

    // Viewer state.
    std::string m_sFrameType;
    std::string m_sPanTilt;
    std::string m_sPtzfUrl;
    std::string m_sPresetUrl;
    std::string m_sUtilUrl;
    std::string m_sMjpegUrl;
    std::string m_sMpegUrl;
    std::string m_sProbeUrl;
    std::string m_sAudio;
    std::string m_sFrameRate;
    int m_nColor = 0;
    int m_nLanguage = 0;
    std::string m_sUser;
    std::string m_sPassword;
    bool m_bRelayout = true;
    QPointer<CPanTiltDlg> m_pPanTiltDlg;  // the open pan/tilt pad
    bool m_bZoomMode = false;
    bool m_bZoomed = false;
    bool m_bSpeakerOn = true;
    bool m_bSourceOk = false;
    bool m_bSourceSet = false;
    std::string m_szCurDir;
    ZoomRect m_rcZoom;
    QPoint m_ptZoomSrc;
    std::string m_sRecordFilename;
    std::optional<QCursor> m_hZoomCursor;
    std::optional<QCursor> m_hControlCursor;
    bool m_bOverVideo = false;

    // Exclusive control: m_sExclusiveMode, m_nRemainTime, m_nWaitingTime, the preset lists
    // and m_bControl.
    CExclusiveControl m_exclusive{*this};

    // Runs: every start of a stream worker is numbered, and its workers report with that
    // number. Only the live run's results count; a run stopped on purpose is no longer live.
    int m_nLiveRun = 0;
    bool m_bPlayStarted = false;  // this panel started a stream worker since the last StopPlay
    bool m_bSinkLent = false;     // the display workers were given this panel's frame sink
    // Restarts.
    bool m_bReconnecting = false;
    bool m_bRestartPending = false;
    int m_nFailedRuns = 0;
    int m_nPicturesAtRunStart = 0;
    int m_nPendingBigMessage = 0;  // a failure seen before the window existed

    // Look.
    VideoLayout m_layout;
    bool m_bLayoutDone = false;
    bool m_bBezelCleared = false;

    // Controls (none while there is no window).
    QLabel* m_pBigMessage = nullptr;
    QLabel* m_pFrameRateLabel = nullptr;
    CFrameRateList* m_pFrameRateList = nullptr;
    QLabel* m_pViewSizeLabel = nullptr;
    QComboBox* m_pViewSizeList = nullptr;
    CPanelButton* m_pZoomButton = nullptr;
    CPanelButton* m_pCaptureButton = nullptr;
    CPanelButton* m_pControlButton = nullptr;
    CPanelButton* m_pPanTiltButton = nullptr;
    QLabel* m_pPresetLabel = nullptr;
    QComboBox* m_pPresetList = nullptr;
    QLabel* m_pMessageLabel = nullptr;
    QLabel* m_pTimeLabel = nullptr;
    CPanelButton* m_pSpeakerButton = nullptr;
    CPanelSlider* m_pVolumeSlider = nullptr;
    QLabel* m_pControlIcon = nullptr;
    CPictureCtrl* m_pBanner = nullptr;
};

} // namespace kv::viewer
