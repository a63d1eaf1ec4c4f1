#include "motion/control/mensilo_server.h"

#include "motion/control/mensilo_ctrl.h"
#include "motion/control/mensilo_identity.h"
#include "motion/control/mensilo_prop_page.h"
#include "motion/resources/string_table.h"

namespace kv::motion {

com::CControlServer& MensiloServer()
{
    static com::CControlServer server(
        com::ControlIdentity{
            .libid = LIBID_MENSILOLib,
            .dispatchIid = DIID__DMensilo,
            .dispatchName = "_DMensilo",
            .eventIid = DIID__DMensiloEvents,
            .eventName = "_DMensiloEvents",
            .clsid = CLSID_Mensilo,
            .progId = kMensiloProgId,
            .typeName = LoadString(IDS_MENSILO_TYPE_NAME),
            .pageClsid = CLSID_MensiloPropPage,
            .pageProgId = kMensiloPropPageProgId,
            .pageTypeName = LoadString(IDS_MENSILO_PPG_TYPE_NAME),
            .typeLibHelp = kMensiloTypeLibHelp,
            .helpFile = kMensiloHelpFile,
            .versionMajor = kMensiloVersionMajor,
            .versionMinor = kMensiloVersionMinor,
            .miscStatus = kMensiloMiscStatus,
            .toolboxBitmap = kMensiloToolboxBitmap,
        },
        [](QWidget* parent) -> QWidget* { return new CMensiloCtrl(parent); },
        [](QWidget* parent) -> QWidget* { return new CMensiloPropPage(parent); });
    return server;
}

} // namespace kv::motion
