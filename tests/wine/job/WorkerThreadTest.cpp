// The worker thread's life: start, resume, stop, and a thread per start.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "job/WorkerThread.h"

namespace {
class CountingThread : public WorkerThread {
public:
    void Run() override {
        ++runs;
        sawStopEvent = ::WaitForSingleObject(stopEvent.get(), waitForStopMs) == WAIT_OBJECT_0;
        if (throwInRun) throw std::runtime_error("escaped Run");
    }
    bool HasHandles() const { return thread && stopEvent; }
    std::atomic<int> runs{0};
    std::atomic<bool> sawStopEvent{false};
    DWORD waitForStopMs = 0;
    bool throwInRun = false;
};
}  // namespace

TEST(WorkerThread, RunsOncePerStartOnlyAfterResumeAndStopWaitsForIt) {
    CountingThread worker;
    ASSERT_TRUE(worker.Start(true));
    ::Sleep(50);
    EXPECT_EQ(worker.runs, 0) << "Run began before Resume";
    worker.Stop();  // resumes a suspended thread and waits for its end
    EXPECT_EQ(worker.runs, 1);
    EXPECT_FALSE(worker.HasHandles());
    worker.Stop();
    EXPECT_EQ(worker.runs, 1);

    // Started running, it needs no Resume, and Stop signals the event that Run waits for.
    worker.waitForStopMs = 30000;
    ASSERT_TRUE(worker.Start(false));
    for (int wait = 0; wait < 1000 && worker.runs == 1; ++wait) ::Sleep(5);
    worker.Stop();
    EXPECT_EQ(worker.runs, 2);
    EXPECT_TRUE(worker.sawStopEvent);

    // An exception escaping Run ends its thread quietly; the next start gets a new one.
    worker.waitForStopMs = 0;
    worker.throwInRun = true;
    for (int request = 3; request <= 4; ++request) {
        ASSERT_TRUE(worker.Start(true));
        worker.Resume();
        worker.Stop();
        EXPECT_EQ(worker.runs, request);
    }
}
