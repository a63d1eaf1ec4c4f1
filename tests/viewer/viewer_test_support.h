// Shared pieces of the panel tests: the application, a set of workers of the test's own
// (real players and audio worker, display workers that only report sizes), waiting while
// the window thread runs, and answering the password dialog.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "camsim_process.h"
#include "ui/ui_test_support.h"  // App()

#include "audio/audio_consumer.h"
#include "audio/audio_player.h"
#include "stream/asf_player.h"
#include "stream/frame_chain.h"
#include "stream/mjpeg_player.h"
#include "viewer/panel/panel_workers.h"
#include "ximage.h"

namespace kv::viewer {
class CViewerPanel;
}

namespace kvtest {

// Runs the window thread's events until condition holds or timeoutMs pass.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
// Runs the window thread's events for a while.
void Pump(int ms);

// A display worker that decodes nothing: opening sets its sizes and posts
// WM_DISPLAY_OPENED as a real one does; starting may hand one grey picture to the sink, so
// the panel sees a picture arrive. A capture request is served at once with copies of that
// picture while the display is open (or left waiting, as by a stalled stream).
class FakeDisplay final : public kv::viewer::IPanelDisplay, public kv::IDisplayConsumer {
public:
    // IDisplayConsumer
    bool Open(int width, int height, std::span<const std::uint8_t> config) override;
    bool Start() override;
    bool RequestStop(int) override;
    void Release() override { m_open = false; }

    // IPanelDisplay
    kv::IDisplayConsumer& Consumer() override { return *this; }
    void SetWindow(kv::IMessageTarget* window) override { m_window = window; }
    void SetSink(kv::IFrameSink* sink) override { m_sink = sink; }
    void SetExitCallback(kv::CWorkerThread::ExitCallback callback) override;
    bool IsOpen() const override { return m_open; }
    bool IsRunning() const override { return m_running; }
    kv::PictureSize GetPictureSize() const override;
    kv::PictureSize GetViewSize() const override;
    void SetViewSize(int width, int height) override;
    void SetZoomSource(int x, int y, int width, int height) override;
    void SetZoomActive(bool active) override { m_zoomActive = active; }
    void SetZoomPercent(int percent) override { m_zoomPercent = percent; }
    void RequestCapture() override;
    bool CaptureRequested() const override { return m_captureRequested; }
    std::unique_ptr<CxImage> TakeFullCopy() override;
    std::unique_ptr<CxImage> TakePreviewCopy() override;

    // Test side.
    void OpenAs(int width, int height) { Open(width, height, {}); }
    void Present();  // one grey picture at the view size
    void Exit(int code);  // as if the worker's thread ended with code
    bool ZoomActive() const { return m_zoomActive; }
    int ZoomPercent() const { return m_zoomPercent; }
    std::array<int, 4> ZoomSource() const;
    int Starts() const { return m_starts; }
    bool HasSink() const { return m_sink.load() != nullptr; }
    // Changes the picture size without opening (a size not known yet, or one no camera sends).
    void SetPictureSize(int width, int height);

    std::atomic<bool> presentOnStart{true};
    std::atomic<bool> serveCaptures{true};
    std::atomic<bool> ignoreStop{false};  // as a worker that does not end when asked

private:
    mutable std::mutex m_lock;
    kv::PictureSize m_picture;
    kv::PictureSize m_view;
    std::array<int, 4> m_zoomSource{};
    kv::CWorkerThread::ExitCallback m_exit;
    std::atomic<kv::IMessageTarget*> m_window{nullptr};
    std::atomic<kv::IFrameSink*> m_sink{nullptr};
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_zoomActive{false};
    std::atomic<int> m_zoomPercent{100};
    std::atomic<int> m_starts{0};
    std::atomic<bool> m_captureRequested{false};
    std::unique_ptr<CxImage> m_fullCopy;  // guarded by m_lock
    std::unique_ptr<CxImage> m_previewCopy;
};

// The workers one panel drives, all of the test's own. The audio worker takes its frames
// from the module's audio chain, so the players use the module's chains.
struct TestWorkers {
    kv::CMJpegPlayer mjpegPlayer{kv::kKavaroProfile, kv::VideoChain(), kv::AudioChain()};
    kv::CPlayer asfPlayer{kv::kKavaroProfile, kv::VideoChain(), kv::AudioChain()};
    FakeDisplay mjpegDisplay;
    FakeDisplay mpeg4Display;
    kv::CAudioPlayer audioPlayer;
    kv::CAudioConsumer audioConsumer{audioPlayer};

    kv::viewer::PanelWorkers Workers()
    {
        return {mjpegPlayer, asfPlayer, mjpegDisplay, mpeg4Display, audioPlayer, audioConsumer};
    }
};

// Answers password dialogs as they come: each step either enters a user name and password
// and presses OK, or presses Cancel.
class PasswordAnswers {
public:
    struct Step {
        std::string user;
        std::string password;
        bool cancel = false;
    };
    explicit PasswordAnswers(std::initializer_list<Step> steps);
    PasswordAnswers(const PasswordAnswers&) = delete;
    PasswordAnswers& operator=(const PasswordAnswers&) = delete;
    ~PasswordAnswers();
    int Answered() const { return m_next; }

private:
    void Poll();
    std::vector<Step> m_steps;
    int m_next = 0;
    std::unique_ptr<QObject> m_timer;
};

// A panel on workers of its own, with a camera emulator when the test starts one.
class PanelFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void StartCamera(std::vector<std::string> flags = {});
    // SetSource with the camera's stream address for the kind.
    bool SetSource(const std::string& frameType = "jpeg", const std::string& panTilt = "on",
                   const std::string& frameRate = "15", int color = 1, int language = 1);
    // SetSource, StartPlay and wait until the display opened and the layout ran.
    void PlayUntilLaidOut(const std::string& frameType = "jpeg", int color = 1);
    void WaitForLayout();
    FakeDisplay& CurrentFake();
    QWidget* C(int id) const;
    bool Visible(int id) const;
    int RequestCount(const std::string& path) const;

    std::unique_ptr<camsim::CamsimProcess> cam;
    std::unique_ptr<QWidget> host;
    std::unique_ptr<TestWorkers> workers;
    std::unique_ptr<kv::viewer::CViewerPanel> panel;
};

// Short waits for every test, restored afterwards.
void ShortenTimings();
void RestoreTimings();

// The text of a panel control (label or button).
std::string TextOf(const QWidget* control);

} // namespace kvtest
