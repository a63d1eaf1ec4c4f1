// Who the viewer control is to the registry and to its hosts: identifiers, names and the
// automation interface's dispatch ids.
#pragma once

#include "platform/com/guid.h"

#include <cstdint>

namespace kv::viewer {

inline constexpr com::Guid LIBID_KAVAROLib = com::MakeGuid("C7C6AA6B-B4FE-4CB6-BC03-9D260D2C2391");
inline constexpr com::Guid DIID__DKavaro = com::MakeGuid("B9CD1425-36CD-4939-A0BD-841B71834019");
inline constexpr com::Guid DIID__DKavaroEvents = com::MakeGuid("5478047D-C7AB-4120-A059-4C9C9FDFCB51");
inline constexpr com::Guid CLSID_Kavaro = com::MakeGuid("583394B6-60BA-4342-8B78-2118DC96BC47");
inline constexpr com::Guid CLSID_KavaroPropPage = com::MakeGuid("83F5AB61-C97F-458F-8266-0E1AEB379E02");

inline constexpr const char kKavaroProgId[] = "KAVARO.KavaroCtrl.1";
inline constexpr const char kKavaroPropPageProgId[] = "KAVARO.KavaroPropPage.1";

inline constexpr const char kKavaroTypeLibHelp[] = "Kavaro ActiveX Control module";
inline constexpr const char kKavaroHelpFile[] = "Kavaro.hlp";

// set client site first, activate when visible, inside-out, cannot link inside,
// recompose on resize
inline constexpr std::uint32_t kKavaroMiscStatus = 0x20191;  // 131473
inline constexpr int kKavaroToolboxBitmap = 1;
inline constexpr int kKavaroVersionMajor = 1;
inline constexpr int kKavaroVersionMinor = 0;

// Dispatch ids of _DKavaro.
enum KavaroDispId : int {
    DISPID_SetZoomPercent = 1,
    DISPID_StartPlay = 2,
    DISPID_StopPlay = 3,
    DISPID_TestPlay = 4,
    DISPID_SetPlayAudio = 5,
    DISPID_StopPlayAudio = 6,
    DISPID_OpenSettingPage = 7,
    DISPID_SetSource = 8,
    DISPID_ABOUTBOX = -552,
};

} // namespace kv::viewer
