#include "job/WorkerThread.h"

#include <process.h>

WorkerThread::~WorkerThread() { WorkerThread::Stop(); }

bool WorkerThread::Start(bool suspended) {
    NullHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return false;
    // The runtime's wrapper, not CreateThread, so the C runtime sets up its
    // per-thread state for the new thread.
    NullHandle created(reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &WorkerThread::ThreadEntry, this, CREATE_SUSPENDED, nullptr)));
    if (!created) return false;
    stopEvent = std::move(event);
    thread = std::move(created);
    if (!suspended) Resume();
    return true;
}

void WorkerThread::Resume() { ::ResumeThread(thread.get()); }

void WorkerThread::Suspend() { ::SuspendThread(thread.get()); }

void WorkerThread::Stop() {
    if (thread) {
        ::SetEvent(stopEvent.get());
        // A thread that was never resumed must still run to its end.
        ::ResumeThread(thread.get());
        ::WaitForSingleObject(thread.get(), INFINITE);
        thread.reset();
    }
    stopEvent.reset();
}

unsigned __stdcall WorkerThread::ThreadEntry(void* self) {
    // An exception cannot unwind through the system frames below this one.
    try {
        static_cast<WorkerThread*>(self)->Run();
    } catch (...) {
    }
    return 0;
}
