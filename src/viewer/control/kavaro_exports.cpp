// Linked into libKavaro.so only: the module's start and the four entry points it exports.
#include "platform/com/entry_points.h"
#include "platform/com/module_start.h"
#include "viewer/control/kavaro_server.h"

#include <QtGlobal>

#include <portaudio.h>

namespace {

// Qt and PortAudio are not made to be unloaded from a running process: below PortAudio the
// sound-server client, and below Qt a helper library, allocate at load and never free.
struct ModuleStart {
    ModuleStart()
    {
        kv::com::StartControlModule({reinterpret_cast<const void*>(&qVersion),
                                     reinterpret_cast<const void*>(&Pa_GetVersion)});
    }
};
const ModuleStart g_moduleStart;

} // namespace

KV_EXPORT_CONTROL_ENTRY_POINTS(kv::viewer::KavaroServer());
