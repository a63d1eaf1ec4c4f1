// How long the panel waits before it restarts playback after a failure. The first restart
// after pictures were shown goes at once; every further failure without a picture in between
// doubles the wait, up to the longest wait of the timing table.
#pragma once

#include <algorithm>

namespace kv::viewer {

// failures: failed runs in a row since the last picture, the current one included (1 for
// the first failure). The steps are a sixteenth of the longest wait, so a shortened table
// shortens them all.
constexpr int RestartDelayMs(int failures, int maxMs)
{
    if (failures <= 1 || maxMs <= 0)
        return 0;
    const int step = std::max(1, maxMs / 16);
    const int doublings = std::min(failures - 2, 16);
    const long long delay = static_cast<long long>(step) << doublings;
    return static_cast<int>(std::min<long long>(delay, maxMs));
}

} // namespace kv::viewer
