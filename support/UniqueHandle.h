#pragma once
// The one family of owners for what the platform hands out: move-only, so
// every path out of a function releases what it obtained. A handle kind is a
// traits struct saying which value means "none" and how to release; device
// contexts and locks, which need more than the handle to let go, have their
// own small classes below.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Empty(); }
    Handle release() { return std::exchange(handle_, Traits::Empty()); }
    void reset(Handle handle = Traits::Empty()) {
        Handle old = std::exchange(handle_, handle);
        if (old != Traits::Empty()) Traits::Close(old);
    }

private:
    Handle handle_ = Traits::Empty();
};

// Kernel objects whose "none" is null: threads, events, file mappings.
struct NullHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
// Kernel objects whose "none" is INVALID_HANDLE_VALUE: files from CreateFileW.
struct InvalidHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
// Directory listings from FindFirstFileW, closed with FindClose.
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::FindClose(h); }
};
struct MenuTraits {
    using Handle = HMENU;
    static Handle Empty() { return nullptr; }
    static void Close(Handle menu) { ::DestroyMenu(menu); }
};
// Fonts from CreateFontIndirectW; a window given one must not outlive it.
struct FontTraits {
    using Handle = HFONT;
    static Handle Empty() { return nullptr; }
    static void Close(Handle font) { ::DeleteObject(font); }
};
// Modules from LoadLibraryW (or LoadLibraryExW).
struct LibraryTraits {
    using Handle = HMODULE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle module) { ::FreeLibrary(module); }
};
// Global memory that has not been handed to the clipboard.
struct GlobalTraits {
    using Handle = HGLOBAL;
    static Handle Empty() { return nullptr; }
    static void Close(Handle memory) { ::GlobalFree(memory); }
};
// The files of a drop, released with DragFinish.
struct DropTraits {
    using Handle = HDROP;
    static Handle Empty() { return nullptr; }
    static void Close(Handle drop) { ::DragFinish(drop); }
};
// Memory from the COM task allocator: strings the shell returns, and shell
// item lists, which that allocator hands out too.
template <typename T>
struct TaskMemoryTraits {
    using Handle = T*;
    static Handle Empty() { return nullptr; }
    static void Close(Handle memory) { ::CoTaskMemFree(memory); }
};
// A COM interface, released once.
template <typename Interface>
struct ComTraits {
    using Handle = Interface*;
    static Handle Empty() { return nullptr; }
    static void Close(Handle object) { object->Release(); }
};

// Automation strings and arrays not yet handed to a caller.
struct SysStringTraits {
    using Handle = BSTR;
    static Handle Empty() { return nullptr; }
    static void Close(Handle text) { ::SysFreeString(text); }
};
struct SafeArrayTraits {
    using Handle = SAFEARRAY*;
    static Handle Empty() { return nullptr; }
    static void Close(Handle array) { ::SafeArrayDestroy(array); }
};

using NullHandle = UniqueHandle<NullHandleTraits>;
using FileHandle = UniqueHandle<InvalidHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using MenuHandle = UniqueHandle<MenuTraits>;
using FontHandle = UniqueHandle<FontTraits>;
using LibraryHandle = UniqueHandle<LibraryTraits>;
using GlobalMemory = UniqueHandle<GlobalTraits>;
using DropHandle = UniqueHandle<DropTraits>;
using SysString = UniqueHandle<SysStringTraits>;
using SafeArray = UniqueHandle<SafeArrayTraits>;
template <typename T>
using TaskMemory = UniqueHandle<TaskMemoryTraits<T>>;
template <typename Interface>
using ComPtr = UniqueHandle<ComTraits<Interface>>;

// A window's device context from GetDC, released to that window.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window(window), dc(::GetDC(window)) {}
    ~WindowDc() {
        if (dc) ::ReleaseDC(window, dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc; }
    explicit operator bool() const { return dc != nullptr; }

private:
    HWND window;
    HDC dc;
};

// Holds an SRW lock exclusively for a scope. Unlocked gives it up for a
// nested scope (a slow step that needs no lock) and takes it back after.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : held(lock) { ::AcquireSRWLockExclusive(&held); }
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&held); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    // Waits on `condition`, giving up the lock meanwhile; false on a time-out.
    bool Wait(CONDITION_VARIABLE& condition, DWORD milliseconds = INFINITE) {
        return ::SleepConditionVariableSRW(&condition, &held, milliseconds, 0) != FALSE;
    }

    class Unlocked {
    public:
        explicit Unlocked(ExclusiveLock& guard) : lock(guard.held) { ::ReleaseSRWLockExclusive(&lock); }
        ~Unlocked() { ::AcquireSRWLockExclusive(&lock); }
        Unlocked(const Unlocked&) = delete;
        Unlocked& operator=(const Unlocked&) = delete;

    private:
        SRWLOCK& lock;
    };

private:
    SRWLOCK& held;
};
