#include "stream/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace kv {
namespace {

using namespace std::chrono_literals;

// Runs until asked to stop, then returns the result it was given.
class LoopingWorker : public CWorkerThread {
public:
    explicit LoopingWorker(int result = 0) : m_result(result) {}
    ~LoopingWorker() override { StopAndJoin(); }
    int Run() override
    {
        runs++;
        while (!StopRequested())
            std::this_thread::sleep_for(1ms);
        return m_result;
    }
    std::atomic<int> runs{0};

private:
    int m_result;
};

// Ignores stop requests until released.
class StubbornWorker : public CWorkerThread {
public:
    ~StubbornWorker() override
    {
        release = true;
        StopAndJoin();
    }
    int Run() override
    {
        while (!release)
            std::this_thread::sleep_for(1ms);
        return 0;
    }
    std::atomic<bool> release{false};
};

TEST(WorkerThread, FlagsFollowTheLifecycle)
{
    LoopingWorker worker;
    EXPECT_TRUE(worker.IsFinished());
    EXPECT_FALSE(worker.IsStarted());
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.IsStarted());
    EXPECT_FALSE(worker.IsFinished());
    EXPECT_TRUE(worker.RequestStop(5000));
    EXPECT_TRUE(worker.IsFinished());
    EXPECT_TRUE(worker.StopRequested());
}

TEST(WorkerThread, StopRequestedRightAfterStartIsNotLost)
{
    for (int i = 0; i < 50; ++i) {
        LoopingWorker worker;
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(worker.RequestStop(5000)) << "iteration " << i;
    }
}

TEST(WorkerThread, SecondStartWhileRunningIsRefused)
{
    LoopingWorker worker;
    ASSERT_TRUE(worker.Start());
    EXPECT_FALSE(worker.Start());
    ASSERT_TRUE(worker.RequestStop(5000));
    EXPECT_EQ(worker.runs.load(), 1);
    ASSERT_TRUE(worker.Start());  // a finished worker may run again
    ASSERT_TRUE(worker.RequestStop(5000));
    EXPECT_EQ(worker.runs.load(), 2);
}

TEST(WorkerThread, ExitCallbackOnlyForNonZeroResults)
{
    std::atomic<int> seen{-1};
    LoopingWorker failing(430);
    failing.SetExitCallback([&](int r) { seen = r; });
    ASSERT_TRUE(failing.Start());
    ASSERT_TRUE(failing.RequestStop(5000));
    for (int i = 0; i < 1000 && seen.load() == -1; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(seen.load(), 430);

    std::atomic<int> calls{0};
    LoopingWorker clean(0);
    clean.SetExitCallback([&](int) { calls++; });
    ASSERT_TRUE(clean.Start());
    ASSERT_TRUE(clean.RequestStop(5000));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls.load(), 0);
}

TEST(WorkerThread, RequestStopGivesUpAfterItsTimeout)
{
    StubbornWorker worker;
    ASSERT_TRUE(worker.Start());
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(worker.RequestStop(50));
    const auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_GE(waited, 50ms);
    EXPECT_LT(waited, 2000ms);
    EXPECT_FALSE(worker.IsFinished());
}

TEST(WorkerThread, RestartFromTheExitCallbackDoesNotDeadlock)
{
    struct Once : CWorkerThread {
        ~Once() override { StopAndJoin(); }
        int Run() override { return ++runs < 3 ? 400 : 0; }
        std::atomic<int> runs{0};
    } worker;
    worker.SetExitCallback([&](int) { worker.Start(); });
    ASSERT_TRUE(worker.Start());
    for (int i = 0; i < 2000 && worker.runs.load() < 3; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(worker.runs.load(), 3);
}

} // namespace
} // namespace kv
