// Recording stand-ins for the window (messages) and its frame sink, and the fixtures the
// display tests feed through the workers.
#pragma once

#include "core/messages.h"
#include "stream/frame_chain.h"
#include "display/packed_dib.h"
#include "platform/ui/frame_sink.h"
#include "mpeg4dec.h"
#include "video/mpeg4/decoder.h"
#include "yuv2rgb.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kv::test {

inline std::vector<std::uint8_t> ReadDataFile(const std::string& relative)
{
    std::ifstream in(std::string(KV_TEST_DATA_DIR) + "/" + relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <class Condition>
bool WaitFor(Condition condition, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// One picture as the sink saw it: the header as given, the picture as a packed 24-bit
// bitmap (palettes resolved), and where it went.
struct PresentedPicture {
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> packed;
    FrameRect source;
    FrameRect destination;

    int Width() const { return static_cast<int>(Le32(header.data() + 4)); }
    int Height() const { return static_cast<int>(Le32(header.data() + 8)); }
    int Bits() const { return Le16(header.data() + 14); }
};

class RecordingSink final : public IFrameSink {
public:
    bool Present(const DibView& dib, FrameRect source, FrameRect destination) override
    {
        if (onPresent)
            onPresent();  // may throw, to end the worker the way a platform failure would
        if (!DescribeDib(dib))
            return false;
        PresentedPicture picture{{dib.header.begin(), dib.header.end()}, {}, source, destination};
        if (keepPixels)
            picture.packed = PackDib24(dib);
        std::lock_guard<std::mutex> guard(m_lock);
        m_pictures.push_back(std::move(picture));
        m_count = static_cast<int>(m_pictures.size());
        return true;
    }
    void Clear() override {}

    // With lendRows, pictures may come as rows written in place: lent with a stride wider
    // than the row, the padding filled with a mark that must survive, and recorded like a
    // presented picture (a 24-bit header) when shown.
    PixelBuffer32 BeginPicture(int width, int height) override
    {
        if (!lendRows)
            return {};
        if (m_lentOut.exchange(true))
            m_misuse = true;  // lent twice without EndPicture
        m_lentWidth = width;
        m_lentHeight = height;
        m_lentStride = static_cast<std::size_t>(width) * 4 + kPadding;
        m_lentRows.assign(m_lentStride * static_cast<std::size_t>(height), kPaddingMark);
        ++m_lent;
        return {m_lentRows.data(), m_lentStride, width, height};
    }
    bool EndPicture(bool show, FrameRect source, FrameRect destination) override
    {
        if (!m_lentOut.exchange(false)) {
            m_misuse = true;  // nothing was lent
            return false;
        }
        const std::size_t rowBytes = RowBytes24(m_lentWidth);
        std::vector<std::uint8_t> header(40, 0);
        WriteInfoHeader24(header.data(), m_lentWidth, m_lentHeight);
        std::vector<std::uint8_t> pixels(rowBytes * static_cast<std::size_t>(m_lentHeight), 0);
        for (int y = 0; y < m_lentHeight; ++y) {
            const std::uint8_t* row = m_lentRows.data() + static_cast<std::size_t>(y) * m_lentStride;
            std::uint8_t* out = pixels.data() + static_cast<std::size_t>(m_lentHeight - 1 - y) * rowBytes;
            for (int x = 0; x < m_lentWidth; ++x) {
                std::uint32_t value;
                std::memcpy(&value, row + 4 * x, 4);
                if (show && (value >> 24) != 0xFF)
                    m_notOpaque = true;
                out[3 * x] = static_cast<std::uint8_t>(value);
                out[3 * x + 1] = static_cast<std::uint8_t>(value >> 8);
                out[3 * x + 2] = static_cast<std::uint8_t>(value >> 16);
            }
            for (std::size_t k = 4 * static_cast<std::size_t>(m_lentWidth); k < m_lentStride; ++k)
                if (row[k] != kPaddingMark)
                    m_misuse = true;  // written past the row
        }
        if (!show) {
            ++m_dropped;
            return false;
        }
        ++m_shown;
        return Present({header, pixels}, source, destination);
    }

    int Count() const { return m_count.load(); }
    int Lent() const { return m_lent.load(); }
    int ShownFromRows() const { return m_shown.load(); }
    int DroppedRows() const { return m_dropped.load(); }
    // Every lent buffer came back once, no row was written past, shown pixels were opaque.
    bool LentRowsWellUsed() const { return !m_misuse && !m_notOpaque && !m_lentOut; }
    std::vector<PresentedPicture> Pictures() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_pictures;
    }
    PresentedPicture Last() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_pictures.empty() ? PresentedPicture{} : m_pictures.back();
    }

    bool keepPixels = true;
    bool lendRows = false;
    std::function<void()> onPresent;

private:
    static constexpr std::size_t kPadding = 12;
    static constexpr std::uint8_t kPaddingMark = 0xA5;
    // Touched by the one worker that has rows out.
    std::vector<std::uint8_t> m_lentRows;
    std::size_t m_lentStride = 0;
    int m_lentWidth = 0;
    int m_lentHeight = 0;
    std::atomic<bool> m_lentOut{false};
    std::atomic<bool> m_misuse{false};
    std::atomic<bool> m_notOpaque{false};
    std::atomic<int> m_lent{0};
    std::atomic<int> m_shown{0};
    std::atomic<int> m_dropped{0};

    mutable std::mutex m_lock;
    std::vector<PresentedPicture> m_pictures;
    std::atomic<int> m_count{0};
};

class RecordingWindow final : public IMessageTarget {
public:
    void PostMessage(int message, std::intptr_t wParam, std::intptr_t /*lParam*/) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_messages.push_back({message, wParam});
    }
    int CountOf(int message) const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        int n = 0;
        for (const auto& m : m_messages)
            n += m.first == message;
        return n;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::pair<int, std::intptr_t>> m_messages;
};

// An MPEG-4 fixture as the ASF stream delivers it: the configuration bytes in front of the
// first picture, then one picture per frame.
struct M4vStream {
    std::vector<std::uint8_t> config;
    std::vector<std::vector<std::uint8_t>> frames;
};

inline M4vStream LoadM4v(const std::string& name)
{
    const std::vector<std::uint8_t> s = ReadDataFile("mpeg4/" + name + ".m4v");
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i + 3 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xB6)
            cuts.push_back(i);
    M4vStream stream;
    if (cuts.empty())
        return stream;
    stream.config.assign(s.begin(), s.begin() + static_cast<long>(cuts[0]));
    cuts.push_back(s.size());
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k)
        stream.frames.emplace_back(s.begin() + static_cast<long>(cuts[k]), s.begin() + static_cast<long>(cuts[k + 1]));
    return stream;
}

// The pictures a decoder of this profile makes of the stream, as packed 24-bit bitmaps, fed
// the way the worker feeds it (configuration with the first frame, post-filter flag cleared
// after every call). Frames that fail give an empty entry.
inline std::vector<std::vector<std::uint8_t>> ReferencePictures(const ModuleProfile& profile, const M4vStream& stream)
{
    std::vector<std::vector<std::uint8_t>> pictures;
    DECODER* decoder = CreateDecoder(profile);
    if (!decoder)
        return pictures;
    init_YUV2RGB_tab();
    std::vector<std::uint8_t> yuv(6 * static_cast<std::size_t>(decoder->width) * static_cast<std::size_t>(decoder->height));
    bool first = true;
    for (const auto& frame : stream.frames) {
        std::vector<std::uint8_t> input = frame;
        if (first)
            input.insert(input.begin(), stream.config.begin(), stream.config.end());
        int length = static_cast<int>(input.size());
        const int failed = decoder_decode(decoder, yuv.data(), input.data(), &length);
        decoder->postFilter = 0;
        if (failed) {
            pictures.emplace_back();
            continue;
        }
        first = false;
        const int w = decoder->width * (decoder->upscaleOutput ? 2 : 1);
        const int h = decoder->height * (decoder->upscaleOutput ? 2 : 1);
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
        ConvertYUVtoRGB(yuv.data(), rgb.data(), w, h);
        std::vector<std::uint8_t> packed(40 + RowBytes24(w) * h, 0);
        WriteInfoHeader24(packed.data(), w, h);
        for (int row = 0; row < h; ++row)
            std::copy_n(rgb.begin() + static_cast<long>(row) * w * 3, w * 3, packed.begin() + 40 + static_cast<long>(row * RowBytes24(w)));
        pictures.push_back(std::move(packed));
    }
    decoder_destroy(decoder);
    return pictures;
}

// A packed picture's pixel (column x, row y from the top) as blue, green, red.
inline std::array<std::uint8_t, 3> PixelAt(const std::vector<std::uint8_t>& packed, int x, int y)
{
    const int w = static_cast<int>(Le32(packed.data() + 4));
    const int h = static_cast<int>(Le32(packed.data() + 8));
    const std::uint8_t* p = packed.data() + 40 + static_cast<std::size_t>(h - 1 - y) * RowBytes24(w) + 3 * static_cast<std::size_t>(x);
    return {p[0], p[1], p[2]};
}

} // namespace kv::test

namespace kv::test {

// A packed picture as top-down red, green, blue bytes (the layout of the .rgb fixtures).
inline std::vector<std::uint8_t> TopDownRgbOf(const std::vector<std::uint8_t>& packed)
{
    const int w = static_cast<int>(Le32(packed.data() + 4));
    const int h = static_cast<int>(Le32(packed.data() + 8));
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto p = PixelAt(packed, x, y);
            out.insert(out.end(), {p[2], p[1], p[0]});
        }
    return out;
}

// Runs a worker until the sink has seen `count` pictures (or the worker ended).
template <class Worker>
bool DrawFrames(Worker& worker, CFrameChain& chain, RecordingSink& sink,
                const std::vector<std::vector<std::uint8_t>>& frames, int count)
{
    for (const auto& frame : frames)
        chain.Append(frame, 0);
    return WaitFor([&] { return sink.Count() >= count || worker.IsFinished(); }) && sink.Count() >= count;
}

} // namespace kv::test
