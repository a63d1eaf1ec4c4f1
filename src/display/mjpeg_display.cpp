#include "display/display_worker.h"

#include "stream/debug_log.h"
#include "stream/result_code.h"
#include "video/image/jpeg_direct.h"
#include "ximage.h"

#include <limits>

namespace kv {
namespace {

// The image's DIB block as the sink takes it: header and palette, then the rows.
DibView ViewOf(const CxImage& image)
{
    const auto* block = static_cast<const std::uint8_t*>(image.GetDIB());
    const std::size_t headerBytes = 40 + image.PaletteSize();
    const std::size_t total = image.TotalSize();
    if (!block || total < headerBytes)
        return {};
    return {{block, headerBytes}, {block + headerBytes, total - headerBytes}};
}

} // namespace

// Lends the decoder the sink's rows for a picture that is drawn, and rows of its own for one
// that is not (zoom percent 0, an empty view): such a picture is still decoded, since a frame
// that does not decode ends the run either way.
class CMJpegDisplay::Lender final : public IPixelLender {
public:
    Lender(const CMJpegDisplay& worker, IFrameSink& sink, std::vector<std::uint32_t>& scratch)
        : m_worker(worker), m_picture(sink), m_scratch(scratch) {}

    PixelBuffer32 Lend(int width, int height) override
    {
        if (const std::optional<DrawRects> rects = m_worker.RectsFor(width, height, m_worker.m_profile.mjpegDisplayZooms))
            return m_picture.Borrow(width, height, *rects);
        const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        if (m_scratch.size() < pixels)
            m_scratch.resize(pixels);
        return {reinterpret_cast<std::uint8_t*>(m_scratch.data()), static_cast<std::size_t>(width) * 4, width, height};
    }
    // Shows the sink's rows, if any were lent.
    void Show() { m_picture.Show(); }

private:
    const CMJpegDisplay& m_worker;
    CLentPicture m_picture;
    std::vector<std::uint32_t>& m_scratch;
};

CMJpegDisplay::CMJpegDisplay(const ModuleProfile& profile, CFrameChain& chain) : CDisplayWorker(profile, chain) {}

CMJpegDisplay::~CMJpegDisplay()
{
    StopAndJoin();
}

bool CMJpegDisplay::Open(int width, int height, std::span<const std::uint8_t> /*config*/)
{
    OpenPicture(width, height);
    PostDisplayOpened();
    return true;
}

void CMJpegDisplay::Release()
{
    // Nothing is held between runs: the image lives inside Run.
}

int CMJpegDisplay::Run()
{
    int result = kResultStopped;
    try {
        CxImage image;  // reused for every frame of the run
        while (!StopRequested()) {
            std::optional<FrameRecord> frame = m_chain.PopFront();
            if (!frame) {
                WaitForFrame();
                continue;
            }
            if (IFrameSink* sink = LendingSink()) {
                // Straight into the window's rows; pictures the rows cannot take go the way
                // of the bitmap below.
                Lender lender(*this, *sink, m_scratch);
                const JpegDirectResult direct = DecodeJpegTo32(frame->data.data(), frame->data.size(), lender);
                if (direct == JpegDirectResult::Failed) {
                    result = kResultMalformed;
                    break;
                }
                if (direct == JpegDirectResult::Decoded) {
                    lender.Show();
                    if (m_profile.writesLog)
                        DebugMessage("motion-jpeg display Video Frame finished", 1);
                    continue;  // the frame is freed with its record
                }
            }
            if (frame->data.size() > std::numeric_limits<std::uint32_t>::max() ||
                !image.Decode(frame->data.data(), frame->Size(), CXIMAGE_FORMAT_JPG)) {
                result = kResultMalformed;
                break;
            }
            frame.reset();  // the compressed bytes are done with
            const PictureSize picture = GetPictureSize();
            std::optional<PictureSize> fullCopySize;
            if (picture.width > 0 && picture.height > 0)
                fullCopySize = picture;
            DrawPicture(ViewOf(image), static_cast<int>(image.GetWidth()), static_cast<int>(image.GetHeight()),
                        m_profile.mjpegDisplayZooms, fullCopySize);
            if (m_profile.writesLog)
                DebugMessage("motion-jpeg display Video Frame finished", 1);
            image.Free();
        }
    } catch (...) {
        result = ResultOfCurrentException();
    }
    m_open = false;
    std::vector<std::uint32_t>().swap(m_scratch);
    return result;
}

} // namespace kv
