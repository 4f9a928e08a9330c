#include "job/ReadAhead.h"

bool ReadFully(ReadFunction read, HANDLE file, void* buffer, DWORD length) {
    for (DWORD got = 0; got < length;) {
        DWORD count = 0;
        if (!read(file, static_cast<char*>(buffer) + got, length - got, &count, nullptr) || count == 0)
            return false;
        got += count;
    }
    return true;
}

ReadAhead::~ReadAhead() { Stop(); }

bool ReadAhead::Request(ReadFunction readFunction, HANDLE readFile, void* into, DWORD bytes) {
    if (!thread && !Start(false)) return false;
    ::AcquireSRWLockExclusive(&lock);
    read = readFunction;
    file = readFile;
    buffer = into;
    length = bytes;
    state = State::Requested;
    ::ReleaseSRWLockExclusive(&lock);
    ::WakeAllConditionVariable(&changed);
    return true;
}

bool ReadAhead::Wait() {
    ::AcquireSRWLockExclusive(&lock);
    while (state != State::Done) ::SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
    state = State::Idle;
    const bool result = succeeded;
    ::ReleaseSRWLockExclusive(&lock);
    return result;
}

void ReadAhead::Stop() {
    if (!thread) return;
    ::AcquireSRWLockExclusive(&lock);
    state = State::Quit;
    ::ReleaseSRWLockExclusive(&lock);
    ::WakeAllConditionVariable(&changed);
    WorkerThread::Stop();
    state = State::Idle;
}

void ReadAhead::Run() {
    ::AcquireSRWLockExclusive(&lock);
    for (;;) {
        while (state != State::Requested && state != State::Quit)
            ::SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
        if (state == State::Quit) break;
        // Read without the lock: the worker only waits meanwhile.
        ::ReleaseSRWLockExclusive(&lock);
        const bool result = ReadFully(read, file, buffer, length);
        ::AcquireSRWLockExclusive(&lock);
        succeeded = result;
        if (state == State::Requested) state = State::Done;  // a Stop meanwhile wins
        ::WakeAllConditionVariable(&changed);
    }
    ::ReleaseSRWLockExclusive(&lock);
}
