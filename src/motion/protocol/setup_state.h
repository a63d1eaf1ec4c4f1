// What the motion setup shares across the whole module: only one control instance at a time
// may run a setup (the live-stream players and the snapshot are single objects), so the
// "setup active" flag and the snapshot picture exist once.
#pragma once

class CxImage;

namespace kv::motion {

// Set when a setup's picture has started, cleared when it ends or its stream is stopped
// for a save. The owner is whichever setup set it, so an instance can tell its own setup
// from another's.
bool SetupActive();
bool SetupActiveFor(const void* owner);
void MarkSetupActive(const void* owner);
void ClearSetupActive();

// The still picture of mode 2, from a successful snapshot until it is released. Used on the
// window thread only.
CxImage& SnapshotPicture();

} // namespace kv::motion
