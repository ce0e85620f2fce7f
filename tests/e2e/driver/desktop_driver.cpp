#include "desktop_driver.h"

namespace driver {

namespace {

struct Search {
    DWORD process;
    const char *class_name;
    const char *title;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM parameter) {
    Search *search = reinterpret_cast<Search *>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char class_name[64] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (!IsWindowVisible(window) || (search->process != 0 && process != search->process) ||
        lstrcmpA(class_name, search->class_name) != 0 ||
        (search->title != nullptr && text_of(window) != search->title)) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// One key going down or up: a virtual key, or a UTF-16 unit (KEYEVENTF_UNICODE).
void send_key(WORD virtual_key, wchar_t unit, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtual_key;
    input.ki.wScan =
        unit != 0 ? unit : static_cast<WORD>(MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = (unit != 0 ? KEYEVENTF_UNICODE : 0) | (up ? KEYEVENTF_KEYUP : 0);
    SendInput(1, &input, sizeof input);
    Sleep(5);
}

} // namespace

HWND find_window(DWORD process, const char *class_name, const char *title) {
    Search search = {process, class_name, title, nullptr};
    EnumWindows(&match_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND wait_for_window(DWORD process, const char *class_name, const char *title, int timeout_ms) {
    HWND found = nullptr;
    wait_until([&] { return (found = find_window(process, class_name, title)) != nullptr; },
               timeout_ms);
    return found;
}

bool bring_to_front(HWND window) {
    SetForegroundWindow(window);
    return wait_until([&] { return GetForegroundWindow() == window; }, 2000);
}

void press_key(WORD virtual_key, bool shift, bool alt) {
    const WORD modifiers[] = {static_cast<WORD>(shift ? VK_SHIFT : 0),
                              static_cast<WORD>(alt ? VK_MENU : 0)};
    for (WORD modifier : modifiers) {
        if (modifier != 0) {
            send_key(modifier, 0, false);
        }
    }
    send_key(virtual_key, 0, false);
    send_key(virtual_key, 0, true);
    for (WORD modifier : modifiers) {
        if (modifier != 0) {
            send_key(modifier, 0, true);
        }
    }
}

void type_text(const std::string &utf8) {
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                                        static_cast<int>(utf8.size()), text.data(),
                                                        static_cast<int>(text.size()))));
    for (wchar_t unit : text) {
        SHORT key = unit < 0x80 ? VkKeyScanW(unit) : -1;
        if (key == -1) {
            send_key(0, unit, false);
            send_key(0, unit, true);
        } else {
            press_key(static_cast<WORD>(key & 0xFF), (key & 0x100) != 0);
        }
    }
}

void click(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>(((rect.left + rect.right) / 2 * 65535LL) /
                                    (GetSystemMetrics(SM_CXSCREEN) - 1));
    input.mi.dy = static_cast<LONG>(((rect.top + rect.bottom) / 2 * 65535LL) /
                                    (GetSystemMetrics(SM_CYSCREEN) - 1));
    for (DWORD action : {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}) {
        input.mi.dwFlags = action | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &input, sizeof input);
        Sleep(20);
    }
}

std::string text_of(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, &result);
    char utf8[2048] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

bool drop_down(HWND list) {
    click(list);
    return wait_until([&] { return SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 2000);
}

Capture capture_client(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    Capture capture;
    capture.width = client.right;
    capture.height = client.bottom;
    capture.pixels.assign(static_cast<size_t>(client.right) * client.bottom, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader,
                      client.right,
                      -client.bottom,
                      1,
                      32,
                      BI_RGB,
                      0,
                      0,
                      0,
                      0,
                      0}; // top row first
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        const uint32_t *source = static_cast<const uint32_t *>(bits);
        for (size_t i = 0; i < capture.pixels.size(); ++i) {
            capture.pixels[i] = source[i] & 0xFFFFFF;
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return capture;
}

std::string unix_path(const std::wstring &windows_path) {
    using ToUnix = char *(__cdecl *)(const wchar_t *);
    ToUnix to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char *path = to_unix != nullptr ? to_unix(windows_path.c_str()) : nullptr;
    if (path == nullptr) {
        return {};
    }
    std::string result = path;
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

} // namespace driver
