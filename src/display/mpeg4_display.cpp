#include "display/display_worker.h"

#include "display/packed_dib.h"
#include "mpeg4dec.h"
#include "stream/keeping_rules.h"
#include "stream/result_code.h"
#include "video/mpeg4/decoder.h"
#include "video/yuv2rgb32.h"
#include "yuv2rgb.h"

#include <cstring>
#include <limits>

namespace kv {

void CMpeg4Display::DecoderDeleter::operator()(DECODER* decoder) const
{
    decoder_destroy(decoder);
}

CMpeg4Display::CMpeg4Display(const ModuleProfile& profile, CFrameChain& chain) : CDisplayWorker(profile, chain) {}

CMpeg4Display::~CMpeg4Display()
{
    StopAndJoin();
    Release();
}

bool CMpeg4Display::Open(int width, int height, std::span<const std::uint8_t> config)
{
    // A worker that never stopped still decodes with the old decoder; it cannot be replaced
    // under it.
    if (!IsFinished())
        return false;
    m_decoder.reset();
    m_config.assign(config.begin(), config.end());
    m_configPending = !m_config.empty();
    init_YUV2RGB_tab();
    m_tablesHeld = true;
    m_decoder.reset(CreateDecoder(m_profile));
    if (!m_decoder)
        return false;
    // Until a layer header is accepted the decoder puts out its largest picture enlarged,
    // six times its width by height in all.
    const std::size_t yuvBytes = 6 * static_cast<std::size_t>(m_decoder->width) * static_cast<std::size_t>(m_decoder->height);
    m_yuv = std::make_unique_for_overwrite<std::uint8_t[]>(yuvBytes);
    OpenPicture(width, height);
    if (m_profile.mpeg4PostsDisplayOpened)
        PostDisplayOpened();
    return true;
}

void CMpeg4Display::Release()
{
    if (!IsFinished())
        return;  // the decoder is still in use
    m_decoder.reset();
    if (m_tablesHeld)
        delete_YUV2RGB_tab();  // only tables this worker asked for
    m_tablesHeld = false;
    m_yuv.reset();
    std::vector<std::uint8_t>().swap(m_rgb);
    std::vector<std::uint8_t>().swap(m_input);
    m_configPending = false;
    m_open = false;
}

int CMpeg4Display::Run()
{
    try {
        int decodedInRun = 0;
        while (!StopRequested()) {
            std::optional<FrameRecord> frame = m_chain.PopFront();
            if (!frame) {
                WaitForFrame();
                continue;
            }
            DecodeAndDraw(frame->data, decodedInRun);
        }
    } catch (...) {
        return ResultOfCurrentException();
    }
    return kResultStopped;
}

void CMpeg4Display::DecodeAndDraw(const std::vector<std::uint8_t>& frame, int& decodedInRun)
{
    if (!m_decoder || !m_yuv)
        return;  // not opened: nothing can be decoded
    const std::uint8_t* input = frame.data();
    std::size_t size = frame.size();
    if (m_configPending) {
        // The configuration goes in front of frames until one decodes: a first picture that
        // fails must not leave the decoder without its layer header.
        m_input.assign(m_config.begin(), m_config.end());
        m_input.insert(m_input.end(), frame.begin(), frame.end());
        input = m_input.data();
        size = m_input.size();
    }
    if (size == 0 || size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return;
    int length = static_cast<int>(size);
    const int failed = decoder_decode(m_decoder.get(), m_yuv.get(), input, &length);
    m_decoder->postFilter = 0;
    if (failed)
        return;  // the picture is skipped; the next one may decode
    m_configPending = false;

    int width = m_decoder->width;
    int height = m_decoder->height;
    if (m_decoder->upscaleOutput) {
        width *= 2;
        height *= 2;
    }
    if (width <= 0 || height <= 0)
        return;
    if (decodedInRun == 0)
        SetAsfVideoKeepFactor(width <= 400 ? m_profile.asfKeepFactorSmall : m_profile.asfKeepFactorLarge);
    const int every = std::max(m_profile.mpeg4DrawEvery, 1);
    const bool draw = decodedInRun % every == 0;
    ++decodedInRun;
    if (!draw)
        return;

    if (IFrameSink* sink = LendingSink()) {
        // Converted straight into the window's rows; the bitmap below is made only when the
        // sink lends none or a capture needs it.
        const std::optional<DrawRects> rects = RectsFor(width, height, true);
        if (!rects)
            return;  // nothing is drawn
        CLentPicture lent(*sink);
        if (const PixelBuffer32 rows = lent.Borrow(width, height, *rects)) {
            if (ConvertYUVtoRows32(m_yuv.get(), width, height, rows))
                lent.Show();
            return;
        }
    }
    ConvertToRgb(width, height);
    const std::size_t imageBytes = RowBytes24(width) * static_cast<std::size_t>(height);
    m_header.fill(0);
    WriteInfoHeader24(m_header.data(), width, height);  // the size decoded, not the one opened
    const DibView dib{m_header, std::span<const std::uint8_t>(m_rgb.data(), imageBytes)};
    DrawPicture(dib, width, height, true, std::nullopt);
}

void CMpeg4Display::ConvertToRgb(int width, int height)
{
    const std::size_t packedRow = static_cast<std::size_t>(width) * 3;
    const std::size_t stride = RowBytes24(width);
    const std::size_t needed = stride * static_cast<std::size_t>(height);
    if (m_rgb.size() < needed)
        m_rgb.resize(needed);
    ConvertYUVtoRGB(m_yuv.get(), m_rgb.data(), width, height);
    if (stride == packedRow)
        return;
    // The converter writes rows without padding; a bitmap's rows are 4-byte aligned. Spread
    // them out from the last, which never overwrites a row not yet moved.
    for (std::size_t row = static_cast<std::size_t>(height); row-- > 1;) {
        std::uint8_t* destination = m_rgb.data() + row * stride;
        std::memmove(destination, m_rgb.data() + row * packedRow, packedRow);
        std::memset(destination + packedRow, 0, stride - packedRow);
    }
    std::memset(m_rgb.data() + packedRow, 0, stride - packedRow);
}

} // namespace kv
