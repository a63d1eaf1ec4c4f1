// The module's own workers behind every panel the module makes: its two stream players, its
// two picture display workers and its audio worker, one of each per module.
#include "viewer/panel/panel_workers.h"

#include "audio/audio_consumer.h"
#include "audio/audio_player.h"
#include "display/display_worker.h"
#include "stream/asf_player.h"
#include "stream/mjpeg_player.h"
#include "stream/players.h"
#include "viewer/panel/display_worker_view.h"
#include "viewer/panel/panel_message_relay.h"
#include "viewer/panel/viewer_panel.h"

namespace kv::viewer {

PanelWorkers ModulePanelWorkers()
{
    PanelMessageRelay();  // made first, so it outlives the workers made below
    // The views only forward to the module's display workers, so one of each serves every panel.
    static CDisplayWorkerView mjpegDisplay(kv::ModuleMJpegDisplay());
    static CDisplayWorkerView mpeg4Display(kv::ModuleMpeg4Display());
    return {kv::ModuleMJpegPlayer(), kv::ModuleAsfPlayer(), mjpegDisplay, mpeg4Display, kv::AudioPlayer(),
            kv::AudioConsumer()};
}

CViewerPanel::CViewerPanel(QWidget* parent) : CViewerPanel(ModulePanelWorkers(), parent) {}

} // namespace kv::viewer
