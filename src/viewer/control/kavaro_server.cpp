#include "viewer/control/kavaro_server.h"

#include "viewer/control/kavaro_ctrl.h"
#include "viewer/control/kavaro_identity.h"
#include "viewer/control/kavaro_prop_page.h"
#include "viewer/resources/string_table.h"

namespace kv::viewer {

com::CControlServer& KavaroServer()
{
    static com::CControlServer server(
        com::ControlIdentity{
            .libid = LIBID_KAVAROLib,
            .dispatchIid = DIID__DKavaro,
            .dispatchName = "_DKavaro",
            .eventIid = DIID__DKavaroEvents,
            .eventName = "_DKavaroEvents",
            .clsid = CLSID_Kavaro,
            .progId = kKavaroProgId,
            .typeName = LoadString(IDS_KAVARO_TYPE_NAME),
            .pageClsid = CLSID_KavaroPropPage,
            .pageProgId = kKavaroPropPageProgId,
            .pageTypeName = LoadString(IDS_KAVARO_PPG_TYPE_NAME),
            .typeLibHelp = kKavaroTypeLibHelp,
            .helpFile = kKavaroHelpFile,
            .versionMajor = kKavaroVersionMajor,
            .versionMinor = kKavaroVersionMinor,
            .miscStatus = kKavaroMiscStatus,
            .toolboxBitmap = kKavaroToolboxBitmap,
        },
        [](QWidget* parent) -> QWidget* { return new CKavaroCtrl(parent); },
        [](QWidget* parent) -> QWidget* { return new CKavaroPropPage(parent); });
    return server;
}

} // namespace kv::viewer
