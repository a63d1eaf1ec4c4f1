// The picture display workers: they take video frames from the video chain, decode them and
// hand each finished picture to the window's frame sink, from their own threads. One of each
// per module (ModuleMJpegDisplay, ModuleMpeg4Display); the stream players open and start
// them when the picture size is known and stop them when the stream ends.
//
// The window thread only sets what is drawn (view size, zoom, capture request) and reads
// sizes; every such field is an atomic that the worker reads at its next picture. Nothing
// here knows the window system: pictures go out through IFrameSink, notifications through
// IMessageTarget.
#pragma once

#include "core/messages.h"
#include "core/module_profile.h"
#include "platform/ui/frame_sink.h"
#include "stream/consumers.h"
#include "stream/frame_chain.h"
#include "stream/worker_thread.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

class CxImage;
struct DECODER;

namespace kv {

struct PictureSize {
    int width = 0;
    int height = 0;
};

class CDisplayWorker : public CWorkerThread, public IDisplayConsumer {
public:
    ~CDisplayWorker() override;

    // Where WM_DISPLAY_OPENED goes. Null: nothing is posted.
    void SetWindow(IMessageTarget* window) { m_window = window; }
    // Where pictures go. Null: pictures are decoded but not shown.
    void SetSink(IFrameSink* sink) { m_sink = sink; }

    PictureSize GetPictureSize() const;
    PictureSize GetViewSize() const;
    void SetViewSize(int width, int height);
    // Draw this region of the picture (picture pixels) while zoom is active.
    void SetZoomSource(int x, int y, int width, int height);
    void SetZoomActive(bool active) { m_zoomActive = active; }
    bool ZoomActive() const { return m_zoomActive.load(); }
    // Scales the drawn size; 0 or less draws nothing, values above kMaxZoomPercent are
    // capped. The Motion-JPEG worker applies it only where the profile says so.
    void SetZoomPercent(int percent);
    int ZoomPercent() const { return m_zoomPercent.load(); }
    bool IsOpen() const { return m_open.load(); }

    // Capture: the next drawn picture is also kept as two images, one at picture size and
    // one at 320 by 240. The request is cleared once both exist (a copy that could not be
    // made is empty).
    void RequestCapture();
    bool CaptureRequested() const { return m_captureRequested.load(); }
    // The copies of the last served request; the caller takes ownership. Null before any.
    std::unique_ptr<CxImage> TakeFullCopy();
    std::unique_ptr<CxImage> TakePreviewCopy();

    // IDisplayConsumer: the stream player opens, starts and stops the worker.
    bool Start() override { return CWorkerThread::Start(); }
    bool RequestStop(int timeoutMs) override;

    const ModuleProfile& Profile() const { return m_profile; }
    CFrameChain& Chain() { return m_chain; }

    static constexpr int kMaxZoomPercent = 800;
    static constexpr int kPreviewWidth = 320;
    static constexpr int kPreviewHeight = 240;

protected:
    CDisplayWorker(const ModuleProfile& profile, CFrameChain& chain);

    // Sets picture and view size and marks the worker open.
    void OpenPicture(int width, int height);
    // Posts WM_DISPLAY_OPENED to the window, if any.
    void PostDisplayOpened();
    // Where a picture of width by height goes now: the zoom source (or the whole picture)
    // into the profile's position with the view size, scaled by the zoom percent when
    // applyZoomPercent. Nothing when nothing is drawn (a zoom percent of 0, an empty view).
    struct DrawRects {
        FrameRect source;
        FrameRect destination;
    };
    std::optional<DrawRects> RectsFor(int width, int height, bool applyZoomPercent) const;
    // The draw step for one decoded picture: serves a pending capture from it, then hands it
    // to the sink with RectsFor. fullCopySize: the size the full capture copy is resized to;
    // nothing keeps the picture's own size.
    void DrawPicture(const DibView& dib, int width, int height, bool applyZoomPercent,
                     std::optional<PictureSize> fullCopySize);
    // The sink, when the next picture may be written straight into rows it lends: it lends
    // them, and no capture waits (the copies are made from the bitmap).
    IFrameSink* LendingSink() const;
    // Rows a sink lends for one picture. They go back when this goes, shown only if Show was
    // called: a decode that fails or is left by an exception leaves what was drawn.
    class CLentPicture {
    public:
        explicit CLentPicture(IFrameSink& sink) : m_sink(sink) {}
        CLentPicture(const CLentPicture&) = delete;
        CLentPicture& operator=(const CLentPicture&) = delete;
        ~CLentPicture();
        // Rows for a picture drawn with rects; empty when the sink lends none.
        PixelBuffer32 Borrow(int width, int height, const DrawRects& rects);
        void Show() { GiveBack(true); }

    private:
        void GiveBack(bool show);

        IFrameSink& m_sink;
        std::optional<DrawRects> m_rects;  // while rows are out
    };
    // The result code of an exception that ended Run: memory 100, file 400, other 800.
    static int ResultOfCurrentException();
    // Waits for the next frame while the chain is empty: until one is appended, a stop is
    // requested, or a short bound passes (a stop that comes without waking the chain).
    void WaitForFrame();

    const ModuleProfile& m_profile;
    CFrameChain& m_chain;
    std::atomic<IMessageTarget*> m_window{nullptr};
    std::atomic<IFrameSink*> m_sink{nullptr};
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_zoomActive{false};
    std::atomic<int> m_zoomPercent{100};
    std::atomic<bool> m_captureRequested{false};
    // Picture size, view size and zoom source, each packed so a reader never sees half of
    // an update (width in the high half).
    std::atomic<std::uint64_t> m_pictureSize{0};
    std::atomic<std::uint64_t> m_viewSize{0};
    std::atomic<std::uint64_t> m_zoomOrigin{0};
    std::atomic<std::uint64_t> m_zoomExtent{0};

    std::mutex m_captureLock;  // guards the two copies
    std::unique_ptr<CxImage> m_fullCopy;
    std::unique_ptr<CxImage> m_previewCopy;

private:
    void ServeCapture(const DibView& dib, std::optional<PictureSize> fullCopySize);
};

// Decodes Motion-JPEG frames; ends with 430 on a frame that does not decode.
class CMJpegDisplay final : public CDisplayWorker {
public:
    explicit CMJpegDisplay(const ModuleProfile& profile = ActiveProfile(), CFrameChain& chain = VideoChain());
    ~CMJpegDisplay() override;
    bool Open(int width, int height, std::span<const std::uint8_t> config) override;
    void Release() override;
    int Run() override;

private:
    class Lender;
    std::vector<std::uint32_t> m_scratch;  // rows for pictures decoded but not drawn
};

// Decodes MPEG-4 frames (the configuration header from the stream header first) and
// converts them to RGB; a frame that does not decode is skipped.
//
// The configuration header is fed in front of frames until a decode succeeds. The buffers
// follow the picture the decoder reports, and the drawn header carries that size.
class CMpeg4Display final : public CDisplayWorker {
public:
    explicit CMpeg4Display(const ModuleProfile& profile = ActiveProfile(), CFrameChain& chain = VideoChain());
    ~CMpeg4Display() override;
    // False when the worker is still running from before (its decoder is in use) or the
    // decoder cannot be made.
    bool Open(int width, int height, std::span<const std::uint8_t> config) override;
    void Release() override;
    int Run() override;

private:
    struct DecoderDeleter {
        void operator()(DECODER* decoder) const;
    };
    // Decodes one frame and draws it when this picture of the run is to be drawn.
    void DecodeAndDraw(const std::vector<std::uint8_t>& frame, int& decodedInRun);
    // Converts the decoded YUV picture into m_rgb as 4-byte-aligned bottom-up rows.
    void ConvertToRgb(int width, int height);

    std::unique_ptr<DECODER, DecoderDeleter> m_decoder;
    std::vector<std::uint8_t> m_config;   // decoder configuration bytes from the stream header
    bool m_configPending = false;         // fed in front of frames until a decode succeeds
    bool m_tablesHeld = false;            // opened the colour tables, so releases them
    std::vector<std::uint8_t> m_input;    // configuration plus frame, while the former is pending
    std::unique_ptr<std::uint8_t[]> m_yuv;  // the decoder's largest output, enlarged
    std::vector<std::uint8_t> m_rgb;      // the converted picture, grown as pictures grow
    std::array<std::uint8_t, 40> m_header{};
};

// The module-wide workers, on the module-wide video chain and the module's own profile.
CMJpegDisplay& ModuleMJpegDisplay();
CMpeg4Display& ModuleMpeg4Display();

} // namespace kv
