// A panel on real workers (players, picture display workers, audio worker) against the camera
// emulator, for the tests that look at what is drawn: the pictures camsim sent, decoded by
// the test itself, and the panel as grabbed from the screen.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QRect>
#include <QWidget>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "camsim_process.h"

#include "audio/audio_consumer.h"
#include "audio/audio_player.h"
#include "display/display_worker.h"
#include "stream/asf_player.h"
#include "stream/frame_chain.h"
#include "stream/mjpeg_player.h"
#include "viewer/panel/display_worker_view.h"
#include "viewer/panel/panel_workers.h"

namespace kv::ui {
class CQtFrameSink;
}
namespace kv::viewer {
class CViewerPanel;
}

namespace kvtest {

// One of each worker a viewer module has, of the test's own, on the module's chains.
struct LiveWorkers {
    kv::CMJpegPlayer mjpegPlayer{kv::kKavaroProfile, kv::VideoChain(), kv::AudioChain()};
    kv::CPlayer asfPlayer{kv::kKavaroProfile, kv::VideoChain(), kv::AudioChain()};
    kv::CMJpegDisplay mjpegDisplay{kv::kKavaroProfile, kv::VideoChain()};
    kv::CMpeg4Display mpeg4Display{kv::kKavaroProfile, kv::VideoChain()};
    kv::viewer::CDisplayWorkerView mjpegView{mjpegDisplay};
    kv::viewer::CDisplayWorkerView mpeg4View{mpeg4Display};
    kv::CAudioPlayer audioPlayer;
    kv::CAudioConsumer audioConsumer{audioPlayer};

    kv::viewer::PanelWorkers Workers()
    {
        return {mjpegPlayer, asfPlayer, mjpegView, mpeg4View, audioPlayer, audioConsumer};
    }
};

// How much two pictures of one size agree: the share of pixels whose channels all lie within
// tolerance of each other (0 when the sizes differ).
double Agreement(const QImage& a, const QImage& b, int tolerance = 0);

class LivePanel : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // camsim with reproducible streams, each body recorded for SentPictures().
    void StartCamera(std::vector<std::string> flags = {});
    bool SetSource(const std::string& frameType = "jpeg", int color = 1);
    // Window, source, StartPlay; then waits for the layout and `pictures` drawn pictures.
    void Play(const std::string& frameType = "jpeg", int color = 1, int pictures = 2);
    // Waits until `more` pictures beyond the ones presented so far reach the panel.
    bool WaitForMorePictures(int more = 2, int timeoutMs = 10000);
    void SelectViewSize(int index);
    void ClickZoomButton();
    void ClickPanel(int x, int y);

    // Every picture camsim sent on the streams so far, decoded as the viewer decodes them.
    std::vector<QImage> SentPictures() const;
    // The panel as a person sees it, or a part of it.
    QImage Grab(const QRect& area = {}) const;
    kv::ui::CQtFrameSink& Sink() const;
    kv::CDisplayWorker& CurrentDisplay() const;
    kv::CStreamPlayerBase& CurrentPlayer() const;

    std::filesystem::path dir;
    std::unique_ptr<camsim::CamsimProcess> cam;
    std::unique_ptr<QWidget> host;
    std::unique_ptr<LiveWorkers> workers;
    std::unique_ptr<kv::viewer::CViewerPanel> panel;
};

} // namespace kvtest
