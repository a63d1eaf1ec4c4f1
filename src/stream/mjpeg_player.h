// The Motion-JPEG stream player: reads "img/mjpeg.cgi" in blocks of 2048 bytes, cuts it into
// JPEG and G.726 frames and leaves them in the chains for the display and audio workers.
#pragma once

#include "stream/mjpg_parser.h"
#include "stream/players.h"

#include <atomic>
#include <vector>

namespace kv {

class CMJpegPlayer : public CStreamPlayerBase, private IMjpgParserEvents {
public:
    static constexpr std::size_t kBlockSize = 2048;

    explicit CMJpegPlayer(const ModuleProfile& profile = ActiveProfile(), CFrameChain& video = VideoChain(),
                          CFrameChain& audio = AudioChain());
    ~CMJpegPlayer() override;

    // Connects and plays until a stop is requested or the stream fails; returns the
    // ResultCode (0 when stopped on request).
    int Run() override;

    // Raised by the viewer when the user picks another frame rate: the player ends with 400
    // after the block it is parsing, and the restart reconnects with the new rate.
    void SetFrameRateChanged() { m_frameRateChanged = true; }
    bool FrameRateChanged() const { return m_frameRateChanged.load(); }

private:
    int Connect();
    void Stop();

    void OnStartDisplay(std::uint16_t width, std::uint16_t height) override;
    bool OnStartAudio(std::uint16_t codeSize) override;
    void OnVideoFrame(std::vector<std::uint8_t>&& frame, std::uint32_t timestamp, const std::string& text) override;
    void OnAudioFrame(std::vector<std::uint8_t>&& data, std::uint32_t timestamp, const std::string& text) override;

    CMjpgParser m_parser;
    std::vector<std::uint8_t> m_block;
    std::atomic<bool> m_frameRateChanged{false};
};

} // namespace kv
