#include "streams.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "streamgen.h"

namespace camsim {

namespace sg = kv::streamgen;

namespace {

using Clock = std::chrono::steady_clock;

// Frame rate asked for with ?Speed=N; anything else keeps the configured rate.
int RequestedRate(const RequestRecord& request, int fallback)
{
    const auto params = ParseQuery(request.query);
    auto speed = params.find("Speed");
    std::int64_t value = 0;
    if (speed != params.end() && ParseInt(speed->second, value) && value >= 1 && value <= 1000)
        return static_cast<int>(value);
    return fallback;
}

// Paces frames against the wall clock from the stream's start; no pause without pacing.
class Pacer {
public:
    Pacer(bool on, int fps) : m_on(on), m_fps(std::max(1, fps)), m_start(Clock::now()) {}
    bool WaitForFrame(ResponseWriter& writer, std::int64_t frame)
    {
        if (!m_on)
            return !writer.Conn().Stopping();
        const auto due = m_start + std::chrono::microseconds(frame * 1000000 / m_fps);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
        return writer.Pace(static_cast<int>(std::max<long long>(0, left)));
    }
    std::uint32_t ElapsedMs() const
    {
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start).count());
    }

    // The clock text, the scene time in seconds and the frame's timestamp in ms. Reproducible
    // streams take all three from the frame number alone.
    struct FrameTime {
        std::string clock;
        double seconds;
        std::uint32_t timestamp;
    };
    FrameTime TimeOf(Camera& camera, std::int64_t frame, bool deterministic) const
    {
        if (deterministic)
            return {camera.ClockText(frame, m_fps), static_cast<double>(frame) / m_fps,
                    static_cast<std::uint32_t>(frame * 1000 / m_fps)};
        return {camera.ClockText(frame, m_fps), camera.SecondsSinceStart(), ElapsedMs()};
    }

private:
    bool m_on;
    int m_fps;
    Clock::time_point m_start;
};

// Audio frames owed once `frames` video frames have gone out at `fps`: the G.726 byte rate is
// 1000 bytes per second per bit of code size.
std::int64_t AudioFramesDue(std::int64_t frames, int fps, int bits)
{
    const std::int64_t bytes = frames * 1000 * bits / std::max(1, fps);
    return bytes / static_cast<std::int64_t>(kAudioFrameBytes) + 1;  // one goes out at once
}

std::string AsText(const sg::Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

struct SceneFrame {
    std::vector<std::uint8_t> jpeg;
};

SceneFrame RenderFrame(Camera& camera, const Settings& s, std::int64_t frame, int fps, double seconds,
                       const std::string& clock)
{
    SceneInput in;
    in.seconds = seconds;
    in.frame = frame;
    in.clock = clock;
    camera.PanTilt(in.pan, in.tilt);
    in.width = s.width;
    in.height = s.height;
    in.frameCode = camera.Opts().frameCode;
    (void)fps;
    return SceneFrame{EncodeJpeg(RenderScene(in), s.width, s.height, s.quality)};
}

} // namespace

void ServeMjpegStream(Camera& camera, ResponseWriter& writer, const RequestRecord& request)
{
    const Settings s = camera.CurrentSettings();
    const int fps = RequestedRate(request, s.fps);
    const bool deterministic = camera.Deterministic();
    const auto& audioFrames = camera.Media().AudioFrames(s.audioBits);
    Pacer pacer(s.pacing, fps);

    // Without pacing the encoder would be the bottleneck: the first pictures are kept as they
    // are rendered and then looped.
    constexpr std::size_t kLoopFrames = 25;
    std::vector<SceneFrame> loop;

    std::int64_t audioSent = 0;
    for (std::int64_t frame = 0;; ++frame) {
        if (!pacer.WaitForFrame(writer, frame))
            return;
        const auto [clock, seconds, timestamp] = pacer.TimeOf(camera, frame, deterministic);
        SceneFrame rendered;
        if (s.pacing)
            rendered = RenderFrame(camera, s, frame, fps, seconds, clock);
        else if (loop.size() < kLoopFrames)
            loop.push_back(RenderFrame(camera, s, frame, fps, seconds, clock));
        const SceneFrame& picture =
            s.pacing ? rendered : loop[static_cast<std::size_t>(frame % static_cast<std::int64_t>(kLoopFrames))];
        if (picture.jpeg.empty()) {
            std::cerr << "camsim: JPEG encoding failed\n";
            return;
        }
        const auto chunks = sg::MjpgVideoChunks(picture.jpeg, static_cast<std::uint16_t>(s.width),
                                                static_cast<std::uint16_t>(s.height), timestamp, clock,
                                                static_cast<std::size_t>(s.chunkSize));
        // Audio owed so far goes right after the frame's first chunk, so that it stands
        // between the chunks of a frame whenever the frame has more than one.
        std::string bytes;
        for (std::size_t c = 0; c < chunks.size(); ++c) {
            bytes += AsText(chunks[c]);
            if (c == 0 && s.audio && !audioFrames.empty()) {
                const std::int64_t due = AudioFramesDue(frame, fps, s.audioBits);
                for (; audioSent < due; ++audioSent) {
                    const auto& g726 = audioFrames[static_cast<std::size_t>(audioSent % static_cast<std::int64_t>(audioFrames.size()))];
                    const std::uint32_t audioTime = static_cast<std::uint32_t>(audioSent * 1920 / s.audioBits);  // ms
                    bytes += AsText(sg::MjpgAudioChunk(g726, static_cast<std::uint16_t>(s.audioBits), audioTime, clock));
                }
            }
        }
        if (writer.CutThisFrame()) {
            writer.Body(std::string_view(bytes).substr(0, bytes.size() / 2));
            return;  // the connection closes inside the frame
        }
        const std::int64_t firstByte = camera.LogsSends() ? MonotonicNs() : 0;
        if (!writer.Body(bytes))
            return;
        if (camera.LogsSends())
            camera.NoteFrameSent(request.id, "mjpeg", frame, firstByte, MonotonicNs());
        writer.FrameSent();
    }
}

void ServeAsfStream(Camera& camera, ResponseWriter& writer, const RequestRecord& request)
{
    const Settings s = camera.CurrentSettings();
    const int fps = s.fps;
    const bool deterministic = camera.Deterministic();
    const Mpeg4Clip& clip = camera.Media().Clip(s.width);
    const auto& audioFrames = camera.Media().AudioFrames(s.audioBits);
    const std::uint32_t packetSize = static_cast<std::uint32_t>(camera.Opts().asfPacketSize);

    sg::AsfHeaderOptions header;
    header.packetSize = packetSize;
    header.video = sg::AsfVideoFormat{static_cast<std::uint32_t>(clip.width ? clip.width : s.width),
                                      static_cast<std::uint32_t>(clip.height ? clip.height : s.height), clip.config};
    if (s.audio)
        header.audio = sg::AsfAudioFormat{static_cast<std::uint16_t>(s.audioBits)};
    if (!writer.Body(AsText(sg::AsfHeader(header))))
        return;
    if (clip.pictures.empty()) {
        std::cerr << "camsim: no MPEG-4 pictures to send (see --m4v)\n";
        return;
    }

    Pacer pacer(s.pacing, fps);
    sg::AsfPacketWriter packets(packetSize, /*writePaddingPrefix=*/true);
    std::int64_t audioSent = 0;
    for (std::int64_t frame = 0;; ++frame) {
        if (!pacer.WaitForFrame(writer, frame))
            return;
        const auto [clock, seconds, timestamp] = pacer.TimeOf(camera, frame, deterministic);
        sg::AsfPaddingPrefix prefix;
        prefix.levels = camera.LevelsAt(seconds);
        prefix.text = clock;

        const Mpeg4Picture& picture = clip.pictures[static_cast<std::size_t>(frame % static_cast<std::int64_t>(clip.pictures.size()))];
        packets.AddVideoObject(picture.data, timestamp, picture.key, prefix);
        if (s.audio && !audioFrames.empty()) {
            const std::int64_t due = AudioFramesDue(frame, fps, s.audioBits);
            for (; audioSent < due; ++audioSent) {
                const auto& g726 = audioFrames[static_cast<std::size_t>(audioSent % static_cast<std::int64_t>(audioFrames.size()))];
                packets.AddAudioObject(g726, static_cast<std::uint32_t>(audioSent * 1920 / s.audioBits), prefix);
            }
        }
        sg::Bytes out;
        const std::size_t count = packets.Flush(out);
        if (writer.CutThisFrame()) {
            writer.Body(std::string_view(reinterpret_cast<const char*>(out.data()), out.size() / 2));
            return;
        }
        const std::size_t whole = std::min(count, out.size() / packetSize);
        const std::int64_t firstByte = camera.LogsSends() ? MonotonicNs() : 0;
        if (!writer.BadStreamArmed()) {
            // The usual case: all of the frame's packets in one write.
            if (!writer.Body(std::string_view(reinterpret_cast<const char*>(out.data()), whole * packetSize)))
                return;
            for (std::size_t p = 0; p < whole; ++p)
                writer.PacketSent();
        } else {
            for (std::size_t p = 0; p < whole; ++p) {
                const std::size_t begin = p * packetSize;
                if (writer.BadStreamNow())
                    out[begin + sg::kAsfPacketPrefixSize] = 0x03;  // stream number byte of the first payload
                if (!writer.Body(std::string_view(reinterpret_cast<const char*>(out.data() + begin), packetSize)))
                    return;
                writer.PacketSent();
            }
        }
        if (camera.LogsSends())
            camera.NoteFrameSent(request.id, "asf", frame, firstByte, MonotonicNs());
        writer.FrameSent();
    }
}

} // namespace camsim
