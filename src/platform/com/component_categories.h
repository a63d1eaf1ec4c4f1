// The two standard component categories a page-embeddable control declares.
#pragma once

#include "platform/com/guid.h"

namespace kv::com {

inline constexpr Guid CATID_SafeForInitializing = MakeGuid("7DD95802-9882-11CF-9FA9-00AA006C42C4");
inline constexpr Guid CATID_SafeForScripting = MakeGuid("7DD95801-9882-11CF-9FA9-00AA006C42C4");
inline constexpr const char kSafeForInitializingDescription[] = "Controls safely initializable from persistent data!";
inline constexpr const char kSafeForScriptingDescription[] = "Controls safely scriptable!";

} // namespace kv::com
