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
    {
        const ExclusiveLock held(lock);
        read = readFunction;
        file = readFile;
        buffer = into;
        length = bytes;
        state = State::Requested;
    }
    ::WakeAllConditionVariable(&changed);
    return true;
}

bool ReadAhead::Wait() {
    ExclusiveLock held(lock);
    while (state != State::Done) held.Wait(changed);
    state = State::Idle;
    return succeeded;
}

void ReadAhead::Stop() {
    if (!thread) return;
    {
        const ExclusiveLock held(lock);
        state = State::Quit;
    }
    ::WakeAllConditionVariable(&changed);
    WorkerThread::Stop();
    state = State::Idle;
}

void ReadAhead::Run() {
    ExclusiveLock held(lock);
    for (;;) {
        while (state != State::Requested && state != State::Quit) held.Wait(changed);
        if (state == State::Quit) break;
        bool result = false;
        {
            // Read without the lock: the worker only waits meanwhile.
            const ExclusiveLock::Unlocked reading(held);
            result = ReadFully(read, file, buffer, length);
        }
        succeeded = result;
        if (state == State::Requested) state = State::Done;  // a Stop meanwhile wins
        ::WakeAllConditionVariable(&changed);
    }
}
