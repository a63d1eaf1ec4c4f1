#include "display/display_worker.h"

#include "stream/debug_log.h"
#include "stream/result_code.h"
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
    return result;
}

} // namespace kv
