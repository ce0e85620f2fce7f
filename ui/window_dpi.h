// The resolution a window is shown at, and window sizes kept in device-
// independent pixels (1/96 inch), so that a window looks the same size at
// any display scaling. The calls that know a window's own resolution came
// with Windows 10 1607: they are looked up at run time, and older systems
// get the system's resolution instead.
#pragma once

#include <windows.h>

constexpr UINT kDefaultDpi = 96; // 100 % scaling

#ifndef WM_DPICHANGED // older headers
#define WM_DPICHANGED 0x02E0
#endif

// The resolution of the monitor window is on (dots per inch); the system's
// when that is not known, and 96 when neither is.
UINT window_dpi(HWND window);

// The outer size at dpi of a window that measures outer_width x
// outer_height at 96 dpi: its client area grows with dpi, its frame is
// the frame the system draws at dpi. At 96 dpi the size itself.
SIZE outer_size_at_dpi(int outer_width, int outer_height, DWORD style, DWORD ex_style, UINT dpi);
