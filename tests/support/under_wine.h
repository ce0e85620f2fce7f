// Whether the Windows build runs under Wine, whose file system answers a few
// requests otherwise than Windows does; the cases that meet one say which.
#pragma once

#ifdef _WIN32
#include <windows.h>

inline bool under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
#else
inline bool under_wine() {
    return false;
}
#endif
