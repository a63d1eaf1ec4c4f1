// How a worker (player, display worker, audio worker) ended.
#pragma once

namespace kv {

enum ResultCode : int {
    kResultStopped = 0,         // stopped on request
    kResultOutOfMemory = 100,
    kResultConnectFailed = 200, // "Connect error"
    kResultAuthRefused = 300,   // user name or password refused
    kResultCameraBusy = 310,    // too many users
    kResultReadFailed = 400,    // read error, end of stream, silence, internet failure
    kResultBadStreamNumber = 420,
    kResultMalformed = 430,     // malformed stream or undecodable picture
    kResultFileError = 500,
    kResultOtherFailure = 800,
};

} // namespace kv
