// What the panel drives: the two stream players, the two picture display workers and the
// audio worker. A viewer module has one of each (ModulePanelWorkers); tests hand a panel
// their own, so playback, layout and zoom can be checked without decoding pictures.
#pragma once

#include <memory>

#include "core/messages.h"
#include "display/display_worker.h"
#include "platform/ui/frame_sink.h"
#include "stream/consumers.h"
#include "stream/worker_thread.h"

class CxImage;

namespace kv {
class CAudioPlayer;
class CMJpegPlayer;
class CPlayer;
} // namespace kv

namespace kv::viewer {

// The part of a picture display worker the panel uses: what it hands to the stream player,
// where pictures and messages go, the sizes, zoom and open flag it sets and reads, and the
// capture of the next picture it draws.
class IPanelDisplay {
public:
    virtual ~IPanelDisplay() = default;
    virtual kv::IDisplayConsumer& Consumer() = 0;
    virtual void SetWindow(kv::IMessageTarget* window) = 0;
    virtual void SetSink(kv::IFrameSink* sink) = 0;
    virtual void SetExitCallback(kv::CWorkerThread::ExitCallback callback) = 0;
    virtual bool IsOpen() const = 0;
    // Its thread runs, so it may be handing a picture to its sink right now.
    virtual bool IsRunning() const = 0;
    virtual kv::PictureSize GetPictureSize() const = 0;
    virtual kv::PictureSize GetViewSize() const = 0;
    virtual void SetViewSize(int width, int height) = 0;
    virtual void SetZoomSource(int x, int y, int width, int height) = 0;
    virtual void SetZoomActive(bool active) = 0;
    virtual void SetZoomPercent(int percent) = 0;
    virtual void RequestCapture() = 0;
    virtual bool CaptureRequested() const = 0;
    virtual std::unique_ptr<CxImage> TakeFullCopy() = 0;
    virtual std::unique_ptr<CxImage> TakePreviewCopy() = 0;
};

struct PanelWorkers {
    kv::CMJpegPlayer& mjpegPlayer;
    kv::CPlayer& asfPlayer;
    IPanelDisplay& mjpegDisplay;
    IPanelDisplay& mpeg4Display;
    kv::CAudioPlayer& audioPlayer;
    kv::IAudioConsumer& audioConsumer;
};

// The module-wide workers.
PanelWorkers ModulePanelWorkers();

} // namespace kv::viewer
