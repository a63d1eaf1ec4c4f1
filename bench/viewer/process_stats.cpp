#include "process_stats.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kvbench {

namespace {

std::int64_t ClockNs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::int64_t TimevalNs(const timeval& value)
{
    return static_cast<std::int64_t>(value.tv_sec) * 1000000000 + static_cast<std::int64_t>(value.tv_usec) * 1000;
}

// The value of a "Key:" line of /proc/self/status.
long StatusValue(const std::string& key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + ":", 0) == 0)
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
    }
    return -1;
}

} // namespace

std::int64_t MonotonicNs() { return ClockNs(CLOCK_MONOTONIC); }

std::int64_t ThreadCpuNs() { return ClockNs(CLOCK_THREAD_CPUTIME_ID); }

std::int64_t ProcessCpuNs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return TimevalNs(usage.ru_utime) + TimevalNs(usage.ru_stime);
}

ProcessCounts ReadProcessCounts()
{
    ProcessCounts counts;
    counts.residentKiB = StatusValue("VmRSS");
    counts.threads = static_cast<int>(StatusValue("Threads"));
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++counts.descriptors;
    --counts.descriptors;  // the one the listing itself holds open
    return counts;
}

std::vector<ThreadCpu> ReadThreadCpu()
{
    std::vector<ThreadCpu> threads;
    const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::ifstream in(it->path() / "stat");
        std::string stat;
        std::getline(in, stat);
        // "tid (name) state ..." where the name may hold blanks: fields follow the last ')'.
        const auto open = stat.find('(');
        const auto close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open)
            continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        long long utime = 0;
        long long stime = 0;
        for (int index = 3; fields >> field; ++index) {  // field 3 is the state
            if (index == 14)
                utime = std::atoll(field.c_str());
            if (index == 15) {
                stime = std::atoll(field.c_str());
                break;
            }
        }
        ThreadCpu thread;
        thread.tid = std::atoi(stat.c_str());
        thread.name = stat.substr(open + 1, close - open - 1);
        thread.cpuNs = static_cast<std::int64_t>(static_cast<double>(utime + stime) / ticksPerSecond * 1e9);
        threads.push_back(thread);
    }
    std::sort(threads.begin(), threads.end(), [](const ThreadCpu& a, const ThreadCpu& b) { return a.cpuNs > b.cpuNs; });
    return threads;
}

double LoadAverage()
{
    double load[1] = {-1};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

} // namespace kvbench
