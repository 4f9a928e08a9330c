#pragma once
// Messages the hashing worker posts to its window. All are posted, never sent,
// so they arrive in the order the worker posted them.
#include <windows.h>

// wParam: lower limit (always 0). lParam: upper limit, the number of steps to
// come (chunks of a single file, or files of a list). At most once per run.
constexpr UINT UM_PROGRESS_RANGE = WM_USER + 30;
// wParam, lParam: 0. One unit of the range is done.
constexpr UINT UM_PROGRESS_STEP = WM_USER + 31;
// wParam, lParam: 0. The last message of every run, whatever its outcome.
constexpr UINT UM_JOB_DONE = WM_USER + 32;
// wParam: 0. lParam: a WideString* allocated with new, holding one result line
// ending in "\r\n". The receiver owns it from the moment the post succeeds and
// must delete it; a null lParam carries nothing.
constexpr UINT UM_APPEND_TEXT = WM_USER + 33;
