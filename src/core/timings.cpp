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
    panelStopSleepMs = defaults.panelStopSleepMs.load();
    viewSizeSleepMs = defaults.viewSizeSleepMs.load();
    captureWaitMs = defaults.captureWaitMs.load();
    restartBackoffMaxMs = defaults.restartBackoffMaxMs.load();
    controlTickMs = defaults.controlTickMs.load();
    motionStopSleepMs = defaults.motionStopSleepMs.load();
    motionRestartSleepMs = defaults.motionRestartSleepMs.load();
    motionReloadSleepMs = defaults.motionReloadSleepMs.load();
    snapshotSleepMs = defaults.snapshotSleepMs.load();
}

Timings& ModuleTimings()
{
    static Timings timings;
    return timings;
}

} // namespace kv
