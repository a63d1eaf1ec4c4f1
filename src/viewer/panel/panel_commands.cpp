// The panel's camera commands: the Control button and the window side of exclusive control,
// the pan/tilt pad, the preset list, area zoom by click, the frame-rate list and capture.
#include "viewer/panel/viewer_panel.h"

#include <QComboBox>
#include <QLabel>

#include <filesystem>
#include <optional>

#include "stream/mjpeg_player.h"
#include "viewer/capture/capture_request.h"
#include "viewer/commands/area_zoom.h"
#include "viewer/commands/camera_command.h"
#include "viewer/commands/command_urls.h"
#include "viewer/commands/frame_rate_answer.h"
#include "viewer/commands/frame_rate_list.h"
#include "viewer/commands/pan_tilt_dlg.h"
#include "viewer/resources/resources.h"
#include "viewer/widgets/panel_button.h"
#include "viewer/widgets/password_dlg.h"
#include "ximage.h"

namespace kv::viewer {

void CViewerPanel::ConnectCommandControls()
{
    connect(m_pControlButton, &QAbstractButton::clicked, this, [this] { OnControl(); });
    connect(m_pPanTiltButton, &QAbstractButton::clicked, this, [this] { OnPanTilt(); });
    connect(m_pCaptureButton, &QAbstractButton::clicked, this, [this] { OnCapture(); });
    // Chosen by the user only: filling the list must not call a preset or change the rate.
    connect(m_pPresetList, &QComboBox::activated, this, [this](int index) { OnSelchangePreset(index); });
    connect(m_pFrameRateList, &QComboBox::activated, this, [this](int index) { OnSelchangeFrameRate(index); });
    m_pFrameRateList->SetOnDropdown([this] { OnDropdownFrameRate(); });
}

CPanTiltDlg* CViewerPanel::PanTiltDlg() const { return m_pPanTiltDlg.data(); }

// Exclusive control.

void CViewerPanel::OnControl()
{
    m_exclusive.OnControl(m_sPtzfUrl, m_sUser, m_sPassword, m_nLanguage);
    AfterControlChange();
}

void CViewerPanel::AfterControlChange()
{
    // Without control the pointer is over nothing that matters; the next move with control
    // finds out again where it is.
    if (!m_exclusive.m_bControl)
        m_bOverVideo = false;
    UpdateCursor();
}

void CViewerPanel::ShowItem(int controlId, bool show)
{
    if (QWidget* control = Control(controlId))
        control->setVisible(show);
}

void CViewerPanel::SetMessageText(const QString& text)
{
    if (m_pMessageLabel)
        m_pMessageLabel->setText(text);
}

void CViewerPanel::SetMessageGeometry(const QRect& rect)
{
    if (m_pMessageLabel)
        m_pMessageLabel->setGeometry(rect);
}

void CViewerPanel::ClearPresetList()
{
    if (m_pPresetList)
        m_pPresetList->clear();
}

void CViewerPanel::AddPresetItem(const QString& text)
{
    if (!m_pPresetList)
        return;
    m_pPresetList->addItem(text);
    // The list shows no choice until the user makes one.
    m_pPresetList->setCurrentIndex(-1);
}

void CViewerPanel::SetTimer(int id, int intervalMs) { m_timers.SetTimer(id, intervalMs); }

void CViewerPanel::KillTimer(int id) { m_timers.KillTimer(id); }

void CViewerPanel::LoadControlCursor() { m_hControlCursor = LoadCursorResource(IDC_HAND); }

PasswordAnswer CViewerPanel::AskPassword(const std::string& testUrl, int language)
{
    CPasswordDlg dialog(QString::fromStdString(testUrl), language, this);
    PasswordAnswer answer;
    answer.ok = dialog.DoModal() == QDialog::Accepted;
    answer.user = dialog.m_sUser.toStdString();
    answer.password = dialog.m_sPassword.toStdString();
    answer.failCount = dialog.m_nFailCount;
    return answer;
}

// The pad.

void CViewerPanel::OnPanTilt()
{
    delete m_pPanTiltDlg.data();
    const int remain = m_exclusive.m_sExclusiveMode == "On" ? m_exclusive.m_nRemainTime : CPanTiltDlg::kNoRemainTime;
    // A child dialog is a window of its own that belongs to the panel and goes with it.
    auto* pad = new CPanTiltDlg(m_sPtzfUrl, m_sPresetUrl, m_sUser, m_sPassword, m_nLanguage, m_nColor, remain, this);
    m_pPanTiltDlg = pad;
    pad->show();
}

// Single commands on the window thread; the camera's answer is not used.

void CViewerPanel::OnSelchangePreset(int index)
{
    const std::optional<std::string> url = PresetSelectionUrl(m_sPresetUrl, m_exclusive.m_presetNumbers, index);
    if (!url)
        return;
    std::string answer;
    SendCameraGet(answer, *url, m_sUser, m_sPassword);
}

void CViewerPanel::OnVideoClick(int x, int y)
{
    if (!m_exclusive.m_bControl)
        return;
    const IPanelDisplay& display = CurrentDisplay();
    const kv::PictureSize view = display.GetViewSize();
    const kv::PictureSize picture = display.GetPictureSize();
    AreaZoomInput click;
    click.x = x;
    click.y = y;
    click.viewWidth = view.width;
    click.viewHeight = view.height;
    click.pictureWidth = picture.width;
    click.pictureHeight = picture.height;
    click.zoomed = m_bZoomed;
    click.zoomSourceX = m_ptZoomSrc.x();
    click.zoomSourceY = m_ptZoomSrc.y();
    const std::optional<AreaZoomOffset> offset = ComputeAreaZoom(click);
    if (!offset)
        return;
    std::string answer;
    SendCameraGet(answer, AreaZoomUrl(m_sPtzfUrl, offset->dx, offset->dy), m_sUser, m_sPassword);
}

// The frame-rate list offers what the camera allows now; choosing a rate reconnects the
// stream with it.

void CViewerPanel::OnDropdownFrameRate()
{
    std::string answer;
    if (!SendCameraGet(answer, m_sUtilUrl, m_sUser, m_sPassword))
        answer.clear();
    m_pFrameRateList->clear();
    for (const std::string& item : FrameRateItems(MaxFrameRateOf(answer)))
        m_pFrameRateList->addItem(QString::fromStdString(item));
    // The rate in use stays marked when it is offered; otherwise nothing is chosen yet.
    m_pFrameRateList->setCurrentIndex(m_pFrameRateList->findText(QString::fromStdString(m_sFrameRate)));
}

void CViewerPanel::OnSelchangeFrameRate(int index)
{
    if (index < 0 || index >= m_pFrameRateList->count())
        return;
    m_sFrameRate = m_pFrameRateList->itemText(index).toStdString();
    // The player ends its run at its next block, and the restart asks for the new rate.
    m_workers.mjpegPlayer.SetFrameRateChanged();
}

// Capture.

void CViewerPanel::OnCapture()
{
    RunCapture(this, CaptureSourceOf(CurrentDisplay()), m_nColor, m_nLanguage);
    // The file dialog may have moved the process elsewhere.
    std::error_code ignored;
    std::filesystem::current_path(m_szCurDir, ignored);
}

} // namespace kv::viewer
