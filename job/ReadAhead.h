#pragma once
// Reads the next piece of a file on a thread of its own while the worker
// hashes the piece before it: reading and hashing overlap, one request at a
// time, so reads stay in file order. The thread is created on the first
// request and ends with Stop.
#include <windows.h>

#include "job/WorkerThread.h"

using ReadFunction = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);

// Reads `length` bytes from the file's current position into `buffer`. False
// when a read fails or the file ends first.
bool ReadFully(ReadFunction read, HANDLE file, void* buffer, DWORD length);

class ReadAhead : private WorkerThread {
public:
    ~ReadAhead() override;
    // Starts ReadFully on the reader thread. False, with nothing started, when
    // the thread cannot run; the caller then reads for itself.
    bool Request(ReadFunction read, HANDLE file, void* buffer, DWORD length);
    // Waits for the request to end and returns what ReadFully returned.
    bool Wait();
    // Ends the thread, if any, and waits for it; a read under way is finished first.
    void Stop() override;

private:
    void Run() override;

    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    enum class State { Idle, Requested, Done, Quit } state = State::Idle;
    ReadFunction read = nullptr;
    HANDLE file = nullptr;
    void* buffer = nullptr;
    DWORD length = 0;
    bool succeeded = false;
};
