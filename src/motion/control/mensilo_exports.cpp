// Linked into libMensilo.so only: the module's start and the four entry points it exports.
#include "motion/control/mensilo_server.h"
#include "platform/com/entry_points.h"
#include "platform/com/module_start.h"

#include <QtGlobal>

namespace {

// Qt is not made to be unloaded from a running process: a helper library below it
// allocates at load and never frees.
struct ModuleStart {
    ModuleStart() { kv::com::StartControlModule({reinterpret_cast<const void*>(&qVersion)}); }
};
const ModuleStart g_moduleStart;

} // namespace

KV_EXPORT_CONTROL_ENTRY_POINTS(kv::motion::MensiloServer());
