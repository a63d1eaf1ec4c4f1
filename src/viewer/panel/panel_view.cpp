// What the panel sets on the display worker and shows around it: the controls once a
// display has opened, the view size, the re-layout and clock timers, digital zoom, the
// speaker, the volume and the cursor.
#include "viewer/panel/viewer_panel.h"

#include <QComboBox>
#include <QLabel>

#include <array>
#include <chrono>
#include <thread>

#include "audio/audio_player.h"
#include "core/timings.h"
#include "stream/asf_player.h"
#include "stream/mjpeg_player.h"
#include "viewer/commands/frame_rate_list.h"
#include "viewer/resources/resources.h"
#include "viewer/widgets/panel_button.h"
#include "viewer/widgets/panel_slider.h"
#include "viewer/widgets/picture_ctrl.h"

namespace kv::viewer {

namespace {

// The fixed choices of the view-size list after "AUTO".
constexpr std::array<kv::PictureSize, 3> kFixedViewSizes{{{640, 480}, {320, 240}, {160, 120}}};

// Volume in hundredths of a decibel: -50 dB at 0, full volume at 100.
long VolumeOf(int position) { return static_cast<long>(position) * 50 - 5000; }

} // namespace

void CViewerPanel::OnDisplayOpened()
{
    if (!m_bHasWindow || (!m_workers.mjpegDisplay.IsOpen() && !m_workers.mpeg4Display.IsOpen()))
        return;
    // A picture is coming: an earlier failure's message must not hide it.
    m_pBigMessage->hide();
    for (QWidget* control : std::initializer_list<QWidget*>{m_pViewSizeLabel, m_pViewSizeList, m_pZoomButton,
                                                            m_pCaptureButton, m_pMessageLabel})
        control->show();
    if (!m_sFrameRate.empty()) {
        m_pFrameRateList->clear();
        m_pFrameRateList->addItem(QString::fromStdString(m_sFrameRate));
        m_pFrameRateList->setCurrentIndex(0);
    }
    ApplyViewSize();
    if (m_bZoomMode && m_bZoomed) {
        IPanelDisplay& display = CurrentDisplay();
        const kv::PictureSize picture = display.GetPictureSize();
        display.SetZoomSource(m_ptZoomSrc.x(), m_ptZoomSrc.y(), picture.width / 2, picture.height / 2);
        display.SetZoomActive(true);
    }
    const bool audio = m_sAudio == "on";
    m_pSpeakerButton->setVisible(audio);
    m_pVolumeSlider->setVisible(audio);
    PlaceLeftColumn();
    if (m_exclusive.m_nRemainTime == 0 && m_exclusive.m_nWaitingTime == 0) {
        m_pMessageLabel->clear();
        if (m_sPanTilt == "on") {
            // After a restart the camera no longer counts this viewer as its controller:
            // offer Control again and drop what holding it showed.
            m_pControlButton->show();
            m_pPanTiltButton->hide();
            m_pPresetLabel->hide();
            m_pPresetList->hide();
            m_exclusive.m_bControl = false;
            m_bOverVideo = false;
            m_pControlIcon->hide();
            UpdateCursor();
        } else {
            for (QWidget* control : std::initializer_list<QWidget*>{m_pControlButton, m_pPanTiltButton, m_pPresetLabel,
                                                                    m_pPresetList, m_pMessageLabel})
                control->hide();
        }
    }
    ApplyColours();
    m_bRelayout = true;
    update();
}

void CViewerPanel::OnSelchangeViewSize() { ApplyViewSize(); }

void CViewerPanel::ApplyViewSize()
{
    IPanelDisplay& display = CurrentDisplay();
    const int selection = m_pViewSizeList ? m_pViewSizeList->currentIndex() : 0;
    if (selection >= 1 && selection <= static_cast<int>(kFixedViewSizes.size())) {
        const kv::PictureSize size = kFixedViewSizes[static_cast<std::size_t>(selection - 1)];
        display.SetViewSize(size.width, size.height);
    } else {
        const kv::PictureSize picture = display.GetPictureSize();
        display.SetViewSize(picture.width, picture.height);
    }
    m_bRelayout = true;
    if (const int pause = kv::ModuleTimings().viewSizeSleepMs.load(); pause > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    update();
}

void CViewerPanel::OnLayoutTimer()
{
    if (!m_bRelayout || !CurrentDisplay().IsOpen())
        return;
    m_bRelayout = false;
    const kv::PictureSize view = CurrentDisplay().GetViewSize();
    ApplyVideoLayout(view.width, view.height);
    m_pTimeLabel->show();
    update();
}

void CViewerPanel::OnClockTimer()
{
    if (m_pTimeLabel)
        m_pTimeLabel->setText(QString::fromStdString(CurrentFrameText()));
    NotePictures();
}

void CViewerPanel::OnDigitalZoom()
{
    if (!m_bZoomMode) {
        m_hZoomCursor = LoadCursorResource(IDC_ZOOM);
        m_bZoomMode = true;
    } else {
        m_bZoomMode = false;
        m_bZoomed = false;
        CurrentDisplay().SetZoomActive(false);
        const int width = m_rcZoom.right - m_rcZoom.left;
        const int height = m_rcZoom.bottom - m_rcZoom.top;
        m_rcZoom = {-1, -1, width - 1, height - 1};
        // Destroyed and forgotten, so the cursor setting never reaches a stale cursor.
        m_hZoomCursor.reset();
    }
    ApplyButtonImages();
    UpdateCursor();
}

void CViewerPanel::OnLButtonDown(int x, int y)
{
    if (m_bZoomMode && !m_bZoomed)
        OnZoomClick(x, y);
    else
        OnVideoClick(x, y);
}

void CViewerPanel::OnZoomClick(int x, int y)
{
    IPanelDisplay& display = CurrentDisplay();
    const kv::PictureSize picture = display.GetPictureSize();
    const kv::PictureSize view = display.GetViewSize();
    const std::optional<ZoomClick> zoom =
        ComputeZoomClick(x, y, picture.width, picture.height, view.width, view.height, kVideoLeft, kVideoTop);
    if (!zoom)
        return;  // outside the view: zoom stays armed
    m_rcZoom = zoom->view;
    display.SetZoomSource(zoom->sourceX, zoom->sourceY, zoom->sourceWidth, zoom->sourceHeight);
    display.SetZoomActive(true);
    m_ptZoomSrc = QPoint(zoom->sourceX, zoom->sourceY);
    m_bZoomed = true;
    ApplyButtonImages();
    m_hZoomCursor.reset();
    UpdateCursor();
}

void CViewerPanel::OnSpeaker()
{
    kv::CAudioPlayer& audio = m_workers.audioPlayer;
    if (!audio.IsInitialised())
        return;
    m_bSpeakerOn = !m_bSpeakerOn;
    audio.SetSoundOn(m_bSpeakerOn);
    // The stream stops delivering sound nobody hears (and delivers it again).
    kv::CStreamPlayerBase& player = IsMpeg() ? static_cast<kv::CStreamPlayerBase&>(m_workers.asfPlayer)
                                             : static_cast<kv::CStreamPlayerBase&>(m_workers.mjpegPlayer);
    player.SetAudioEnabled(m_bSpeakerOn);
    ApplyButtonImages();
}

void CViewerPanel::OnSliderPosition(int controlId, int position)
{
    if (controlId != IDC_SLIDER_VOLUME || !m_pVolumeSlider)
        return;
    if (m_workers.audioPlayer.IsInitialised())
        m_workers.audioPlayer.SetVolume(VolumeOf(position));
    else
        m_pVolumeSlider->SetPos(100);
}

void CViewerPanel::OnAudioOpened()
{
    if (m_pVolumeSlider && m_workers.audioPlayer.IsInitialised())
        m_workers.audioPlayer.SetVolume(VolumeOf(m_pVolumeSlider->GetPos()));
}

void CViewerPanel::UpdateCursor()
{
    if (m_hZoomCursor) {
        setCursor(m_bZoomMode && !m_bZoomed ? *m_hZoomCursor : QCursor(Qt::ArrowCursor));
    } else if (m_hControlCursor) {
        setCursor(m_exclusive.m_bControl && m_bOverVideo ? *m_hControlCursor : QCursor(Qt::ArrowCursor));
    } else {
        setCursor(Qt::ArrowCursor);
    }
}

} // namespace kv::viewer
