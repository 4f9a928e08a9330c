#pragma once
// Owns one platform thread and one stop event, and runs Run() on that thread.
#include <windows.h>

#include "support/UniqueHandle.h"

class WorkerThread {
public:
    WorkerThread() = default;
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Creates the stop event and the thread (suspended if asked). Requires that
    // no thread exists. Returns false, with nothing left open, on failure.
    virtual bool Start(bool suspended);
    virtual void Resume();
    virtual void Suspend();
    // Signals the stop event, resumes the thread, waits without limit until
    // it has ended, and closes both handles. Safe with no thread, and twice.
    virtual void Stop();
    // The thread's body; runs once per Start, on the new thread.
    virtual void Run() = 0;

protected:
    NullHandle thread;
    NullHandle stopEvent;

private:
    static unsigned __stdcall ThreadEntry(void* self);
};
