#include "motion/protocol/setup_state.h"

#include "ximage.h"

#include <atomic>

namespace kv::motion {

namespace {
std::atomic<const void*> g_setupOwner{nullptr};
}

bool SetupActive() { return g_setupOwner.load() != nullptr; }

bool SetupActiveFor(const void* owner) { return owner && g_setupOwner.load() == owner; }

void MarkSetupActive(const void* owner) { g_setupOwner = owner; }

void ClearSetupActive() { g_setupOwner = nullptr; }

CxImage& SnapshotPicture()
{
    static CxImage picture;
    return picture;
}

} // namespace kv::motion
