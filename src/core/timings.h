// Every wait of the stream client and its consumers, in one module-wide table.
//
// The product runs with the defaults below. Tests shorten them instead of sleeping through
// real half-minute limits. Values are atomics because workers read them while a test (or
// nothing at all, in the product) may change them.
#pragma once

#include <atomic>

namespace kv {

struct Timings {
    std::atomic<int> openSettleMs{300};         // sleep before waiting for the opener thread
    std::atomic<int> openLimitMs{30000};        // how long the opener may take
    std::atomic<int> readLimitMs{60000};        // silence allowed on a live stream
    std::atomic<int> connectSettleMs{300};      // sleep after the reader thread is started
    std::atomic<int> readerJoinMs{2000};        // MJPG Stop waits this long for its reader
    std::atomic<int> consumerStopMs{8000};      // RequestStop on display and audio workers
    std::atomic<int> playerStopMs{70000};       // the control's RequestStop on a player
    std::atomic<int> stopSleepMs{1000};         // pause in Stop before the chains are emptied
    std::atomic<int> getSettleMs{300};          // one-shot GET: sleep before waiting
    std::atomic<int> getWatchdogMs{30000};      // one-shot GET: give up after this
    std::atomic<int> bodyStallMs{30000};        // one-shot request: silence allowed while sending or reading

    // The controls' own waits.
    std::atomic<int> panelStopSleepMs{1000};    // viewer: pause at the start of a panel stop
    std::atomic<int> viewSizeSleepMs{100};      // viewer: pause after a view-size change
    std::atomic<int> captureWaitMs{2000};       // viewer: longest wait for a capture copy
    std::atomic<int> restartBackoffMaxMs{4000}; // viewer: longest pause between failed restarts
    std::atomic<int> controlTickMs{1000};       // viewer: one second of the exclusive-control countdowns
    std::atomic<int> motionStopSleepMs{1000};   // motion setup: pause before stopping the stream
    std::atomic<int> motionRestartSleepMs{2000};// motion setup: pause after a saved area set
    std::atomic<int> motionReloadSleepMs{200};  // motion setup: pause before a reload
    std::atomic<int> snapshotSleepMs{1000};     // motion setup: pause before fetching a snapshot

    void ResetToDefaults();
};

Timings& ModuleTimings();

} // namespace kv
