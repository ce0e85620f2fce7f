#include "ui/window_dpi.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI *)(HWND);
using GetDpiForSystemFn = UINT(WINAPI *)();
using AdjustWindowRectExForDpiFn = BOOL(WINAPI *)(RECT *, DWORD, BOOL, DWORD, UINT);

// A function of user32 by name, or null where this Windows lacks it.
template <class Function> Function user32_function(const char *name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 != nullptr
               ? reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(user32, name)))
               : nullptr;
}

// The outer size of a window with style and ex_style whose client area is
// client_width x client_height pixels at dpi, in *outer (left and top 0).
// Returns false when the system cannot say.
bool outer_rect_for_client(int client_width, int client_height, DWORD style, DWORD ex_style,
                           UINT dpi, RECT *outer) {
    static const auto adjust_for_dpi =
        user32_function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT rect = {0, 0, client_width, client_height};
    // Without the call for a given resolution, the frame at the system's
    // resolution: the one such a Windows draws.
    const BOOL adjusted = adjust_for_dpi != nullptr
                              ? adjust_for_dpi(&rect, style, FALSE, ex_style, dpi)
                              : AdjustWindowRectEx(&rect, style, FALSE, ex_style);
    if (!adjusted)
        return false;
    *outer = RECT{0, 0, rect.right - rect.left, rect.bottom - rect.top};
    return true;
}

} // namespace

UINT window_dpi(HWND window) {
    static const auto for_window = user32_function<GetDpiForWindowFn>("GetDpiForWindow");
    static const auto for_system = user32_function<GetDpiForSystemFn>("GetDpiForSystem");
    UINT dpi = 0;
    if (for_window != nullptr && window != nullptr)
        dpi = for_window(window);
    if (dpi == 0 && for_system != nullptr)
        dpi = for_system();
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        if (screen != nullptr) {
            dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
            ReleaseDC(nullptr, screen);
        }
    }
    return dpi != 0 ? dpi : kDefaultDpi;
}

SIZE outer_size_at_dpi(int outer_width, int outer_height, DWORD style, DWORD ex_style, UINT dpi) {
    RECT frame96 = {}, outer = {};
    if (dpi == kDefaultDpi || !outer_rect_for_client(0, 0, style, ex_style, kDefaultDpi, &frame96))
        return SIZE{outer_width, outer_height};
    const int scaled = static_cast<int>(dpi), unscaled = static_cast<int>(kDefaultDpi);
    const int client_width = MulDiv(outer_width - frame96.right, scaled, unscaled);
    const int client_height = MulDiv(outer_height - frame96.bottom, scaled, unscaled);
    if (!outer_rect_for_client(client_width, client_height, style, ex_style, dpi, &outer))
        return SIZE{MulDiv(outer_width, scaled, unscaled), MulDiv(outer_height, scaled, unscaled)};
    return SIZE{outer.right, outer.bottom};
}
