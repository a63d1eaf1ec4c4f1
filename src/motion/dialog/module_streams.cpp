#include "motion/dialog/module_streams.h"

#include "core/messages.h"
#include "display/display_worker.h"
#include "motion/dialog/setup_target.h"
#include "stream/asf_player.h"
#include "stream/mjpeg_player.h"

namespace kv::motion {

namespace {

CStreamPlayerBase& PlayerFor(StreamKind kind)
{
    if (kind == StreamKind::MotionJpeg)
        return ModuleMJpegPlayer();
    return ModuleAsfPlayer();
}

CDisplayWorker& DisplayFor(StreamKind kind)
{
    if (kind == StreamKind::MotionJpeg)
        return ModuleMJpegDisplay();
    return ModuleMpeg4Display();
}

void PostResult(int result) { SetupTarget().PostMessage(kv::WM_PLAYER_RESULT, result, 0); }

} // namespace

void CModuleMotionStreams::SetSource(const std::string& mjpegUrl, const std::string& mpeg4Url,
                                     const std::string& user, const std::string& password)
{
    ModuleMJpegPlayer().SetStream(mjpegUrl, user, password);
    ModuleAsfPlayer().SetStream(mpeg4Url, user, password);
}

bool CModuleMotionStreams::IsFinished(StreamKind kind) const { return PlayerFor(kind).IsFinished(); }

void CModuleMotionStreams::Start(StreamKind kind, int zoomPercent)
{
    CDisplayWorker& display = DisplayFor(kind);
    display.SetWindow(&SetupTarget());
    display.SetSink(&SetupTarget());
    display.SetZoomPercent(zoomPercent);
    display.SetExitCallback(PostResult);
    CStreamPlayerBase& player = PlayerFor(kind);
    player.SetDisplayConsumer(&display);
    player.SetExitCallback(PostResult);
    player.Start();
}

bool CModuleMotionStreams::RequestStop(StreamKind kind, int timeoutMs) { return PlayerFor(kind).RequestStop(timeoutMs); }

std::optional<std::array<std::uint8_t, 4>> CModuleMotionStreams::MotionLevels(StreamKind kind) const
{
    if (kind != StreamKind::Mpeg4)
        return std::nullopt;
    return ModuleAsfPlayer().MotionLevels();
}

} // namespace kv::motion
