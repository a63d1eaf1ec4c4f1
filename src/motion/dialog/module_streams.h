// The live picture of the setup on the module's own stream players and display workers: the
// Motion-JPEG player with its JPEG display, the MPEG-4 (ASF) player with its MPEG-4 display,
// one each per module and shared by every setup dialog of the module. Pictures go to the
// module-wide setup target's frame sink, exit codes to its window as WM_PLAYER_RESULT.
#pragma once

#include "motion/protocol/motion_streams.h"

namespace kv::motion {

class CModuleMotionStreams final : public IMotionStreams {
public:
    void SetSource(const std::string& mjpegUrl, const std::string& mpeg4Url, const std::string& user,
                   const std::string& password) override;
    bool IsFinished(StreamKind kind) const override;
    void Start(StreamKind kind, int zoomPercent) override;
    bool RequestStop(StreamKind kind, int timeoutMs) override;
    std::optional<std::array<std::uint8_t, 4>> MotionLevels(StreamKind kind) const override;
};

} // namespace kv::motion
