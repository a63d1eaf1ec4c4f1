// What the viewer benchmarks read about their own process: CPU time, resident memory,
// threads and open descriptors, and the machine-wide monotonic clock camsim stamps with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvbench {

// CLOCK_MONOTONIC in nanoseconds (the clock of camsim's send log).
std::int64_t MonotonicNs();

// User plus system CPU time of the whole process so far, in nanoseconds.
std::int64_t ProcessCpuNs();
// CPU time of the calling thread so far, in nanoseconds.
std::int64_t ThreadCpuNs();

struct ProcessCounts {
    long residentKiB = 0;   // VmRSS
    int threads = 0;
    int descriptors = 0;    // entries of /proc/self/fd
};
ProcessCounts ReadProcessCounts();

// CPU time of each thread of the process, busiest first, for finding where time goes.
struct ThreadCpu {
    int tid = 0;
    std::string name;
    std::int64_t cpuNs = 0;
};
std::vector<ThreadCpu> ReadThreadCpu();

// The machine's load average over the last minute (-1 when unknown).
double LoadAverage();

} // namespace kvbench
