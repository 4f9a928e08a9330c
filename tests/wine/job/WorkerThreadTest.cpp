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

TEST(WorkerThread, StartSuspendedThenStopRunsToTheEndOnceAndStopTwiceDoesNothing) {
    CountingThread worker;
    ASSERT_TRUE(worker.Start(true));
    EXPECT_TRUE(worker.HasHandles());
    ::Sleep(50);
    EXPECT_EQ(worker.runs, 0) << "Run began before Resume";
    worker.Stop();
    EXPECT_EQ(worker.runs, 1);
    EXPECT_FALSE(worker.HasHandles());
    worker.Stop();
    EXPECT_EQ(worker.runs, 1);
    worker.Resume();  // no thread: the platform call fails, nothing happens
    worker.Suspend();
}

TEST(WorkerThread, StartedRunningNeedsNoResumeAndStopSignalsTheEvent) {
    CountingThread worker;
    worker.waitForStopMs = 30000;
    ASSERT_TRUE(worker.Start(false));
    for (int wait = 0; wait < 1000 && worker.runs == 0; ++wait) ::Sleep(5);
    EXPECT_EQ(worker.runs, 1);
    worker.Stop();  // Run waits for the stop event, so this returns only if Stop signals it
    EXPECT_TRUE(worker.sawStopEvent);
}

TEST(WorkerThread, EachStartRunsANewThreadAndAnEscapingExceptionEndsItQuietly) {
    CountingThread worker;
    worker.throwInRun = true;
    for (int request = 1; request <= 3; ++request) {
        ASSERT_TRUE(worker.Start(true));
        worker.Resume();
        worker.Stop();
        EXPECT_EQ(worker.runs, request);
    }
}
