#pragma once
// Sharp at any display scale: the process declares itself aware of each
// monitor's DPI, and windows ask the DPI they are shown at. Every function
// finds what the running system offers (down to Windows 7) at run time.
#include <windows.h>

#include "support/UniqueHandle.h"

inline constexpr UINT kDefaultDpi = 96;

// At start-up, before any window exists: the best awareness the system has,
// per-monitor (version 2, then 1), else the system DPI. Returns whether any
// call succeeded (also when an earlier start-up or a manifest already did).
bool BecomeDpiAware();

// The DPI `window` is drawn at: its monitor's where the system tracks that,
// else the system DPI.
UINT WindowDpi(HWND window);

// Keeps the dialog manager from rescaling `dialog` on a DPI change, so that
// its own WM_DPICHANGED handler is the only one that does. Does nothing where
// the system has no such scaling.
void KeepDialogScalingOurs(HWND dialog);

// `font` with its height scaled from `fromDpi` to `toDpi`; null if it cannot
// be made.
FontHandle ScaledFont(const LOGFONTW& font, UINT fromDpi, UINT toDpi);
