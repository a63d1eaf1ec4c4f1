// Parser event sinks that record everything they are told, for the parser tests.
#pragma once

#include "stream/asf_parser.h"
#include "stream/mjpg_parser.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::testing {

struct RecordedFrame {
    std::vector<std::uint8_t> data;
    std::uint32_t timestamp = 0;
    std::string text;
    bool keyFrame = false;

    bool operator==(const RecordedFrame&) const = default;
};

class RecordingMjpgEvents : public IMjpgParserEvents {
public:
    void OnStartDisplay(std::uint16_t width, std::uint16_t height) override
    {
        displayStarts.push_back({width, height});
    }
    bool OnStartAudio(std::uint16_t codeSize) override
    {
        audioStarts.push_back(codeSize);
        return audioStartResult;
    }
    void OnVideoFrame(std::vector<std::uint8_t>&& frame, std::uint32_t timestamp, const std::string& text) override
    {
        video.push_back({std::move(frame), timestamp, text, false});
    }
    void OnAudioFrame(std::vector<std::uint8_t>&& data, std::uint32_t timestamp, const std::string& text) override
    {
        audio.push_back({std::move(data), timestamp, text, false});
    }

    bool audioStartResult = true;
    std::vector<std::array<std::uint16_t, 2>> displayStarts;
    std::vector<std::uint16_t> audioStarts;
    std::vector<RecordedFrame> video;
    std::vector<RecordedFrame> audio;
};

class RecordingAsfEvents : public IAsfParserEvents {
public:
    void OnStartVideo(std::int32_t width, std::int32_t height, std::span<const std::uint8_t> config) override
    {
        videoStarts.push_back({width, height});
        videoConfig.assign(config.begin(), config.end());
    }
    bool OnStartAudio(std::uint16_t bitsPerSample) override
    {
        audioStarts.push_back(bitsPerSample);
        return audioStartResult;
    }
    void OnVideoObject(std::vector<std::uint8_t>&& data, std::uint32_t presentationTime, bool keyFrame) override
    {
        video.push_back({std::move(data), presentationTime, std::string(), keyFrame});
        order.push_back('V');
    }
    void OnAudioObject(std::vector<std::uint8_t>&& data, std::uint32_t presentationTime) override
    {
        audio.push_back({std::move(data), presentationTime, std::string(), false});
        order.push_back('A');
    }
    void OnFrameText(const std::string& text) override
    {
        texts.push_back(text);
        order.push_back('T');
    }
    void OnMotionLevels(const std::array<std::uint8_t, kAsfMotionLevelCount>& l) override
    {
        levels.push_back(l);
        order.push_back('L');
    }

    bool audioStartResult = true;
    std::vector<std::array<std::int32_t, 2>> videoStarts;
    std::vector<std::uint8_t> videoConfig;
    std::vector<std::uint16_t> audioStarts;
    std::vector<RecordedFrame> video;
    std::vector<RecordedFrame> audio;
    std::vector<std::string> texts;
    std::vector<std::array<std::uint8_t, kAsfMotionLevelCount>> levels;
    std::string order;
};

} // namespace kv::testing
