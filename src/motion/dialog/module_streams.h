// The live picture of the setup on the module's own stream players: the Motion-JPEG player
// and the MPEG-4 (ASF) player, one each per module, shared by every setup dialog of the
// module. Their exit codes go to the module-wide setup target as WM_PLAYER_RESULT.
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
