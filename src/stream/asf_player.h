// The ASF stream player: reads "img/video.asf" (header reads, then whole packets), cuts it
// into MPEG-4 pictures and G.726 frames for the display and audio workers, and can record the
// raw stream to a file.
#pragma once

#include "stream/asf_parser.h"
#include "stream/keeping_rules.h"
#include "stream/players.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace kv {

class CPlayer : public CStreamPlayerBase, private IAsfParserEvents {
public:
    explicit CPlayer(const ModuleProfile& profile = ActiveProfile(), CFrameChain& video = VideoChain(),
                     CFrameChain& audio = AudioChain());
    ~CPlayer() override;

    // Record the raw stream (header included) to fileName, created anew on every connect.
    // Ignored by a module that does not record. Set while the player is not running.
    void SetRecord(bool record, std::string fileName);

    // Connects and plays until a stop is requested or the stream fails; returns the
    // ResultCode (0 when stopped on request).
    int Run() override;

    // The four motion levels of the last padding prefix (motion setup module).
    std::array<std::uint8_t, kAsfMotionLevelCount> MotionLevels() const;

    // True while video frames are dropped until the next key frame.
    bool SkippingVideo() const { return m_skipping.load(); }

private:
    int Connect();
    void Stop();
    enum class ReadMode { Header, Packet };
    // Reads exactly size bytes into m_buffer (fewer only when the stream ends, fails, stalls
    // or a stop is requested) and records what arrived: in header mode whatever came, in
    // packet mode only a whole packet.
    std::size_t ReadAndRecord(std::size_t size, ReadMode mode);
    void CloseRecordFile();

    void OnStartVideo(std::int32_t width, std::int32_t height, std::span<const std::uint8_t> config) override;
    bool OnStartAudio(std::uint16_t bitsPerSample) override;
    void OnVideoObject(std::vector<std::uint8_t>&& data, std::uint32_t presentationTime, bool keyFrame) override;
    void OnAudioObject(std::vector<std::uint8_t>&& data, std::uint32_t presentationTime) override;
    bool AudioWanted() const override { return AudioEnabled(); }
    void OnFrameText(const std::string& text) override;
    void OnMotionLevels(const std::array<std::uint8_t, kAsfMotionLevelCount>& levels) override;

    CAsfParser m_parser;
    CAsfVideoKeeping m_videoKeeping;
    std::vector<std::uint8_t> m_buffer;
    std::atomic<bool> m_skipping{false};
    std::atomic<std::uint32_t> m_motionLevels{0};

    mutable std::mutex m_recordLock;  // guards the two settings below
    bool m_record = false;
    std::string m_recordFileName;
    std::FILE* m_recordFile = nullptr;  // the player's thread only
};

} // namespace kv
