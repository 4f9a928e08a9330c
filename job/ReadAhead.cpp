#include "job/ReadAhead.h"

#include <algorithm>

#include "job/Messages.h"

bool ReadFully(ReadFunction read, HANDLE file, void* buffer, DWORD length) {
    for (DWORD got = 0; got < length;) {
        DWORD count = 0;
        if (!read(file, static_cast<char*>(buffer) + got, length - got, &count, nullptr) || count == 0)
            return false;
        got += count;
    }
    return true;
}

// A reader that took the worker's turn ended a slow digest as late as if it
// read in turn (about 0.1 s a GiB later on 2 processors).
void KeepOffProcessor(DWORD waker, DWORD_PTR allowed) {
    if (waker >= sizeof(DWORD_PTR) * 8 || ::GetCurrentProcessorNumber() != waker) return;
    const DWORD_PTR others = allowed & ~(DWORD_PTR{1} << waker);
    if (others != 0) ::SetThreadAffinityMask(::GetCurrentThread(), others);
}

ReadAhead::~ReadAhead() { Stop(); }

bool ReadAhead::Begin(ReadFunction readWith, HANDLE from, std::uint64_t bytes, std::uint8_t* into, DWORD piece,
                      std::uint32_t count) {
    if (!thread && !Start(false)) return false;
    {
        const ExclusiveLock held(lock);
        readFunction = readWith;
        file = from;
        size = bytes;
        ring = into;
        pieceBytes = piece;
        slots = count;
        total = (bytes + piece - 1) / piece;
        read = given = released = 0;
        failed = false;
        active = true;
        workerProcessor = ::GetCurrentProcessorNumber();
    }
    ::WakeConditionVariable(&readerWake);
    return true;
}

const std::uint8_t* ReadAhead::Next(DWORD& length) {
    ExclusiveLock held(lock);
    if (given == read) workerWaitTick = ::GetTickCount();
    while (given == read && !failed && read < total) {
        workerWaits = true;
        held.Wait(workerWake);
    }
    workerWaits = false;
    if (given == read) return nullptr;
    length = static_cast<DWORD>(std::min<std::uint64_t>(size - given * pieceBytes, pieceBytes));
    return ring + (given++ % slots) * pieceBytes;
}

void ReadAhead::Release() {
    bool wake = false;
    {
        const ExclusiveLock held(lock);
        ++released;
        // A full ring wakes the reader once half of it is free, for a batch of reads.
        wake = readerWaits && read - released <= slots / 2;
        if (wake) workerProcessor = ::GetCurrentProcessorNumber();
    }
    if (wake) ::WakeConditionVariable(&readerWake);
}

void ReadAhead::End() {
    ExclusiveLock held(lock);
    active = false;
    while (reading) {
        workerWaits = true;
        held.Wait(workerWake);
    }
    workerWaits = false;
}

void ReadAhead::Stop() {
    if (!thread) return;
    {
        const ExclusiveLock held(lock);
        quit = true;
    }
    ::WakeConditionVariable(&readerWake);
    WorkerThread::Stop();
    quit = false;
    active = false;
}

void ReadAhead::Run() {
    DWORD_PTR allowed = 0, system = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &allowed, &system)) allowed = 0;
    ExclusiveLock held(lock);
    for (;;) {
        bool woken = false;
        while (!quit && !ReaderMayRead()) {
            readerWaits = woken = true;
            held.Wait(readerWake);
        }
        readerWaits = false;
        if (quit) return;
        std::uint8_t* into = ring + (read % slots) * pieceBytes;
        const DWORD length = static_cast<DWORD>(std::min<std::uint64_t>(size - read * pieceBytes, pieceBytes));
        const DWORD worker = workerProcessor;
        reading = true;
        bool ok = false;
        {
            // Read without the lock: the worker hashes the pieces before meanwhile.
            const ExclusiveLock::Unlocked unlocked(held);
            if (woken) KeepOffProcessor(worker, allowed);
            ok = ReadFully(readFunction, file, into, length);
        }
        reading = false;
        if (ok)
            ++read;
        else
            failed = true;
        // A worker that found the ring empty is woken once half of it is
        // read, for a batch of pieces, or a report interval on, so that a slow
        // disk still shows progress and a cancel is seen (a digest faster than
        // the reads waited once a piece: CRC32 took twice the bare reads).
        if (workerWaits && (!ok || read == total || read - given >= slots / 2 ||
                            ::GetTickCount() - workerWaitTick >= kReportIntervalMs))
            ::WakeConditionVariable(&workerWake);
    }
}
