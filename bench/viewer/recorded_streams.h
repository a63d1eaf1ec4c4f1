// The stream bodies camsim recorded (--record-dir), cut into the video frames the viewer's
// players took from them, so the benchmark can decode the very same pictures again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

namespace kvbench {

// Calls onFrame with each JPEG of a recorded Motion-JPEG body, in order. Returns the count.
int ForEachMjpegFrame(const std::filesystem::path& body, const std::function<void(std::vector<std::uint8_t>&)>& onFrame);

// Calls onFrame with the decoder configuration from the stream header and each MPEG-4 picture
// of a recorded ASF body, in order. Returns the count.
int ForEachAsfFrame(const std::filesystem::path& body,
                    const std::function<void(std::span<const std::uint8_t> config, std::vector<std::uint8_t>&)>& onFrame);

// The recorded bodies of one kind ("mjpeg" or "asf") in a folder, in request order.
std::vector<std::filesystem::path> RecordedBodies(const std::filesystem::path& folder, const std::string& kind);

} // namespace kvbench
