// Who the motion-setup control is to the registry and to its hosts: identifiers, names and
// the automation interface's dispatch ids.
#pragma once

#include "platform/com/guid.h"

#include <cstdint>

namespace kv::motion {

inline constexpr com::Guid LIBID_MENSILOLib = com::MakeGuid("30D6D810-EC9C-45E3-B467-6E3BAC6330A9");
inline constexpr com::Guid DIID__DMensilo = com::MakeGuid("6861CB09-4AB2-4D79-BEEE-E5F85BFA935F");
inline constexpr com::Guid DIID__DMensiloEvents = com::MakeGuid("B6E91FB3-24D1-4FF8-B421-90EA6ACA715E");
inline constexpr com::Guid CLSID_Mensilo = com::MakeGuid("8AAD6646-6979-4079-A6B1-0DAAB8CF08F6");
inline constexpr com::Guid CLSID_MensiloPropPage = com::MakeGuid("B57B58F2-C11A-4E40-AF1F-3A007BA998D7");

inline constexpr const char kMensiloProgId[] = "MENSILO.MensiloCtrl.1";
inline constexpr const char kMensiloPropPageProgId[] = "MENSILO.MensiloPropPage.1";

inline constexpr const char kMensiloTypeLibHelp[] = "Mensilo ActiveX Control module";
inline constexpr const char kMensiloHelpFile[] = "Mensilo.hlp";

// activate when visible, set client site first, inside-out, cannot link inside,
// recompose on resize
inline constexpr std::uint32_t kMensiloMiscStatus = 0x20191;  // 131473
inline constexpr int kMensiloToolboxBitmap = 1;
inline constexpr int kMensiloVersionMajor = 1;
inline constexpr int kMensiloVersionMinor = 0;

// Dispatch ids of _DMensilo.
enum MensiloDispId : int {
    DISPID_StopPlay = 1,
    DISPID_SetSource = 2,
    DISPID_ABOUTBOX = -552,
};

} // namespace kv::motion
