#include "display/display_worker.h"

#include "display/packed_dib.h"
#include "stream/errors.h"
#include "stream/result_code.h"
#include "ximage.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>

namespace kv {
namespace {

std::uint64_t Pack(int high, int low)
{
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) | static_cast<std::uint32_t>(low);
}

PictureSize Unpack(std::uint64_t packed)
{
    return {static_cast<int>(static_cast<std::uint32_t>(packed >> 32)), static_cast<int>(static_cast<std::uint32_t>(packed))};
}

// zoom% x side / 100, kept within what a window can show.
int Scaled(int percent, int side)
{
    const std::int64_t scaled = static_cast<std::int64_t>(percent) * side / 100;
    return static_cast<int>(std::clamp<std::int64_t>(scaled, 0, kMaxDibSide * 8));
}

// A copy decoded from a packed bitmap; empty (no picture) when the bitmap is unusable.
std::unique_ptr<CxImage> DecodeCopy(const std::vector<std::uint8_t>& packed)
{
    auto image = std::make_unique<CxImage>();
    if (packed.empty() || packed.size() > std::numeric_limits<std::uint32_t>::max() ||
        !image->Decode(packed.data(), static_cast<std::uint32_t>(packed.size()), CXIMAGE_FORMAT_BMP))
        image->Free();
    return image;
}

} // namespace

CDisplayWorker::CDisplayWorker(const ModuleProfile& profile, CFrameChain& chain) : m_profile(profile), m_chain(chain) {}

CDisplayWorker::~CDisplayWorker() = default;

PictureSize CDisplayWorker::GetPictureSize() const { return Unpack(m_pictureSize.load()); }

PictureSize CDisplayWorker::GetViewSize() const { return Unpack(m_viewSize.load()); }

void CDisplayWorker::SetViewSize(int width, int height)
{
    m_viewSize = Pack(std::max(width, 0), std::max(height, 0));
}

void CDisplayWorker::SetZoomSource(int x, int y, int width, int height)
{
    m_zoomOrigin = Pack(x, y);
    m_zoomExtent = Pack(width, height);
}

void CDisplayWorker::SetZoomPercent(int percent)
{
    m_zoomPercent = std::clamp(percent, 0, kMaxZoomPercent);
}

void CDisplayWorker::RequestCapture()
{
    m_captureRequested = true;
}

std::unique_ptr<CxImage> CDisplayWorker::TakeFullCopy()
{
    std::lock_guard<std::mutex> guard(m_captureLock);
    return std::move(m_fullCopy);
}

std::unique_ptr<CxImage> CDisplayWorker::TakePreviewCopy()
{
    std::lock_guard<std::mutex> guard(m_captureLock);
    return std::move(m_previewCopy);
}

void CDisplayWorker::OpenPicture(int width, int height)
{
    m_pictureSize = Pack(width, height);
    m_viewSize = Pack(width, height);
    m_open = true;
}

void CDisplayWorker::PostDisplayOpened()
{
    if (IMessageTarget* window = m_window.load())
        window->PostMessage(WM_DISPLAY_OPENED, 0, 0);
}

void CDisplayWorker::DrawPicture(const DibView& dib, int width, int height, bool applyZoomPercent,
                                 std::optional<PictureSize> fullCopySize)
{
    if (m_captureRequested.load())
        ServeCapture(dib, fullCopySize);
    const std::optional<DrawRects> rects = RectsFor(width, height, applyZoomPercent);
    if (!rects)
        return;
    if (IFrameSink* sink = m_sink.load())
        sink->Present(dib, rects->source, rects->destination);
}

std::optional<CDisplayWorker::DrawRects> CDisplayWorker::RectsFor(int width, int height, bool applyZoomPercent) const
{
    FrameRect source{0, 0, width, height};
    if (m_zoomActive.load()) {
        const PictureSize origin = Unpack(m_zoomOrigin.load());
        const PictureSize extent = Unpack(m_zoomExtent.load());
        source = {origin.width, origin.height, extent.width, extent.height};
    }
    const int percent = applyZoomPercent ? m_zoomPercent.load() : 100;
    const PictureSize view = GetViewSize();
    const FrameRect destination{m_profile.displayX, m_profile.displayY, Scaled(percent, view.width),
                                Scaled(percent, view.height)};
    if (destination.width <= 0 || destination.height <= 0)
        return std::nullopt;  // a zoom percent of 0 or an empty view draws nothing
    return DrawRects{source, destination};
}

IFrameSink* CDisplayWorker::LendingSink() const
{
    return m_captureRequested.load() ? nullptr : m_sink.load();
}

CDisplayWorker::CLentPicture::~CLentPicture()
{
    try {
        GiveBack(false);
    } catch (...) {
        // a destructor lets nothing out; the sink's hand-back does not fail
    }
}

PixelBuffer32 CDisplayWorker::CLentPicture::Borrow(int width, int height, const DrawRects& rects)
{
    const PixelBuffer32 rows = m_sink.BeginPicture(width, height);
    if (rows)
        m_rects = rects;
    return rows;
}

void CDisplayWorker::CLentPicture::GiveBack(bool show)
{
    if (!m_rects)
        return;
    const DrawRects rects = *m_rects;
    m_rects.reset();
    m_sink.EndPicture(show, rects.source, rects.destination);
}

void CDisplayWorker::ServeCapture(const DibView& dib, std::optional<PictureSize> fullCopySize)
{
    // The only copies made of a picture on its way: one packed 24-bit block, the full copy
    // resized from it only when it is not already of the wanted size, and the preview.
    const std::vector<std::uint8_t> packed = PackDib24(dib);
    std::unique_ptr<CxImage> full;
    if (const auto layout = DescribeDib(dib);
        fullCopySize && layout && (fullCopySize->width != layout->width || fullCopySize->height != layout->height))
        full = DecodeCopy(ResizePackedDib24(packed, fullCopySize->width, fullCopySize->height));
    else
        full = DecodeCopy(packed);
    std::unique_ptr<CxImage> preview = DecodeCopy(ResizePackedDib24(packed, kPreviewWidth, kPreviewHeight));
    {
        std::lock_guard<std::mutex> guard(m_captureLock);
        m_fullCopy = std::move(full);
        m_previewCopy = std::move(preview);
    }
    m_captureRequested = false;  // after the copies are in place: the panel reads them next
}

int CDisplayWorker::ResultOfCurrentException()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return kResultOutOfMemory;
    } catch (const CFileException&) {
        return kResultReadFailed;
    } catch (...) {
        return kResultOtherFailure;
    }
}

bool CDisplayWorker::RequestStop(int timeoutMs)
{
    m_stopRequested = true;
    m_chain.Wake();  // a worker waiting for a frame looks at the flag now
    return CWorkerThread::RequestStop(timeoutMs);
}

void CDisplayWorker::WaitForFrame()
{
    constexpr std::chrono::milliseconds kLongestWait{20};
    m_chain.WaitForRecord(kLongestWait, m_stopRequested);
}

} // namespace kv

namespace kv {

CMJpegDisplay& ModuleMJpegDisplay()
{
    static CMJpegDisplay display(ActiveProfile(), VideoChain());
    return display;
}

CMpeg4Display& ModuleMpeg4Display()
{
    static CMpeg4Display display(ActiveProfile(), VideoChain());
    return display;
}

} // namespace kv
