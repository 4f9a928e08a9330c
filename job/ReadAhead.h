#pragma once
// Reads one file ahead of the worker that hashes it, on a thread of its own:
// the reader fills a ring of pieces in file order while the worker hashes the
// pieces before. The reader waits only while the ring is full and then until
// half of it is free again; the worker waits only while it is empty and then
// until half of it is read (or a report interval has passed). So a fast digest
// goes at the speed of back-to-back reads, a slow one never waits for a read,
// and neither thread is woken once per piece. A reader woken on the
// worker's processor moves off it (KeepOffProcessor). The thread is created
// on the first file and ends with Stop.
#include <windows.h>

#include <cstdint>

#include "job/WorkerThread.h"

using ReadFunction = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);

// Reads `length` bytes from the file's current position into `buffer`. False
// when a read fails or the file ends first.
bool ReadFully(ReadFunction read, HANDLE file, void* buffer, DWORD length);

// Called by a thread just woken by one that ran on `waker`: where it now runs
// on that processor too, it moves to the others in `allowed` (the process's
// affinity), so that the two overlap rather than take turns. Linux under Wine
// often wakes a thread on its waker's processor. Does nothing when `allowed`
// has no other processor.
void KeepOffProcessor(DWORD waker, DWORD_PTR allowed);

class ReadAhead : private WorkerThread {
public:
    ~ReadAhead() override;
    // Starts reading `size` bytes from the file's current position, a piece of
    // `pieceBytes` at a time, into the `slots` pieces (2 or more) at `ring`.
    // False, with nothing started, when the thread cannot run; the caller then
    // reads for itself. End must follow before the next Begin.
    bool Begin(ReadFunction read, HANDLE file, std::uint64_t size, std::uint8_t* ring, DWORD pieceBytes,
               std::uint32_t slots);
    // Waits for the next piece in file order and gives its bytes and length.
    // Null once its read failed (the file ended early or could not be read)
    // or every piece was given.
    const std::uint8_t* Next(DWORD& length);
    // The piece Next gave last is hashed: the reader may read into it again.
    void Release();
    // Ends the file: the reader finishes a read under way, starts no other and
    // lets go of the file and the ring before this returns.
    void End();
    // Ends the thread, if any, and waits for it.
    void Stop() override;

private:
    void Run() override;
    bool ReaderMayRead() const { return active && !failed && read < total && read - released < slots; }

    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE readerWake = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE workerWake = CONDITION_VARIABLE_INIT;
    // The file being read; set by Begin, which the reader is idle for.
    ReadFunction readFunction = nullptr;
    HANDLE file = nullptr;
    std::uint64_t size = 0;
    std::uint8_t* ring = nullptr;
    DWORD pieceBytes = 0;
    std::uint32_t slots = 0;
    std::uint64_t total = 0;  // pieces in the file
    // Under the lock: pieces read, given by Next, and released.
    std::uint64_t read = 0;
    std::uint64_t given = 0;
    std::uint64_t released = 0;
    bool active = false;   // Begin until End
    bool reading = false;  // a read runs without the lock
    bool failed = false;
    bool readerWaits = false;
    // Where the worker ran when it last woke the reader.
    DWORD workerProcessor = 0;
    bool workerWaits = false;
    DWORD workerWaitTick = 0;  // when the worker last found the ring empty
    bool quit = false;
};
