#include "core/timings.h"

namespace kv {

void Timings::ResetToDefaults()
{
    const Timings defaults;
    openSettleMs = defaults.openSettleMs.load();
    openLimitMs = defaults.openLimitMs.load();
    readLimitMs = defaults.readLimitMs.load();
    connectSettleMs = defaults.connectSettleMs.load();
    readerJoinMs = defaults.readerJoinMs.load();
    consumerStopMs = defaults.consumerStopMs.load();
    playerStopMs = defaults.playerStopMs.load();
    stopSleepMs = defaults.stopSleepMs.load();
    getSettleMs = defaults.getSettleMs.load();
    getWatchdogMs = defaults.getWatchdogMs.load();
    bodyStallMs = defaults.bodyStallMs.load();
}

Timings& ModuleTimings()
{
    static Timings timings;
    return timings;
}

} // namespace kv
