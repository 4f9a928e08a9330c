#pragma once
// Messages the hashing worker posts to its window. All are posted, never sent,
// so they arrive in the order the worker posted them. The worker gathers its
// progress and lines for about kReportIntervalMs between posts, so a job posts
// tens of messages a second, not one per chunk or per file.
#include <windows.h>

// wParam: lower limit (always 0). lParam: upper limit, the number of units to
// come (chunks of a single file, files of a list, or kSumsSliceBytes slices of
// a sums file being checked). At most once per run.
constexpr UINT UM_PROGRESS_RANGE = WM_USER + 30;
// wParam: the number of units done since the previous step (at least 1); the
// counts of a run add up to its range. lParam: 0.
constexpr UINT UM_PROGRESS_STEP = WM_USER + 31;
// wParam, lParam: 0. The last message of every run, whatever its outcome.
constexpr UINT UM_JOB_DONE = WM_USER + 32;
// wParam: 0. lParam: a WideString* allocated with new, holding one or more
// whole result lines, each ending in "\r\n", in walk order. Among several
// files, the lines are followed by one UM_PROGRESS_STEP counting them. A check
// posts verdict lines in the sums file's order, then its SKIPPED lines and
// tally line; its steps
// count the slices of the sums file whose entries are done. The
// receiver owns the string from the moment the post succeeds and must delete
// it; a null lParam carries nothing. The worker counts the string's length as
// not yet shown before the post; the receiver reports the characters it has
// shown or thrown away ("Cls") through HashJob::Shown, so the worker can wait
// for it.
constexpr UINT UM_APPEND_TEXT = WM_USER + 33;

// The worker waits before posting more lines while more than this many
// characters (16 MiB of text) are posted but not yet shown.
constexpr long long kMaxUnshownChars = 8ll << 20;

// The longest the worker holds back a count or a line, in milliseconds. The
// first line of a job is never held back.
constexpr DWORD kReportIntervalMs = 15;

// The progress unit of a check: the sums file is read in slices of this size.
constexpr DWORD kSumsSliceBytes = 4096;
