#include "desktop_driver.h"

#include <cstdio>

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
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    if (search->process != 0) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != search->process) {
            return TRUE;
        }
    }
    char class_name[64] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (lstrcmpA(class_name, search->class_name) != 0) {
        return TRUE;
    }
    if (search->title != nullptr && text_of(window) != search->title) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

void send_key(WORD virtual_key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtual_key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
    Sleep(5);
}

void send_unicode(wchar_t unit) {
    INPUT input[2] = {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wScan = unit;
    input[0].ki.dwFlags = KEYEVENTF_UNICODE;
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
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

void press_key(WORD virtual_key, bool shift, bool control, bool alt) {
    if (shift) {
        send_key(VK_SHIFT, false);
    }
    if (control) {
        send_key(VK_CONTROL, false);
    }
    if (alt) {
        send_key(VK_MENU, false);
    }
    send_key(virtual_key, false);
    send_key(virtual_key, true);
    if (alt) {
        send_key(VK_MENU, true);
    }
    if (control) {
        send_key(VK_CONTROL, true);
    }
    if (shift) {
        send_key(VK_SHIFT, true);
    }
}

void type_text(const std::string &utf8) {
    int units =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), units);
    for (wchar_t unit : text) {
        SHORT key = unit < 0x80 ? VkKeyScanW(unit) : -1;
        if (key == -1) {
            send_unicode(unit);
            continue;
        }
        bool shift = (key & 0x100) != 0;
        press_key(static_cast<WORD>(key & 0xFF), shift);
    }
}

void click(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    int screen_width = GetSystemMetrics(SM_CXSCREEN);
    int screen_height = GetSystemMetrics(SM_CYSCREEN);
    int x = (rect.left + rect.right) / 2;
    int y = (rect.top + rect.bottom) / 2;
    INPUT input[3] = {};
    input[0].type = INPUT_MOUSE;
    input[0].mi.dx = static_cast<LONG>((x * 65535LL) / (screen_width - 1));
    input[0].mi.dy = static_cast<LONG>((y * 65535LL) / (screen_height - 1));
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1] = input[0];
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    input[2] = input[0];
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input[0], sizeof input[0]);
    Sleep(20);
    SendInput(1, &input[1], sizeof input[0]);
    Sleep(20);
    SendInput(1, &input[2], sizeof input[0]);
    Sleep(20);
}

std::string text_of(HWND window) {
    char text[512] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &result);
    return text;
}

std::wstring wide_text_of(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, &result);
    return text;
}

bool is_enabled(HWND window) {
    return IsWindowEnabled(window) != FALSE;
}

namespace {

Capture capture_rect(int left, int top, int width, int height) {
    Capture capture;
    capture.width = width;
    capture.height = height;
    capture.pixels.assign(static_cast<size_t>(width) * height, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
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

} // namespace

Capture capture_client(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    return capture_rect(origin.x, origin.y, client.right, client.bottom);
}

Capture capture_screen() {
    return capture_rect(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

bool save_bmp(const Capture &capture, const char *path) {
    FILE *file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    const int row = (capture.width * 3 + 3) / 4 * 4;
    const uint32_t image = static_cast<uint32_t>(row) * capture.height;
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + image;
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = capture.width;
    info.biHeight = capture.height; // bottom row first
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = image;
    std::fwrite(&header, sizeof header, 1, file);
    std::fwrite(&info, sizeof info, 1, file);
    std::vector<unsigned char> line(static_cast<size_t>(row), 0);
    for (int y = capture.height - 1; y >= 0; --y) {
        for (int x = 0; x < capture.width; ++x) {
            uint32_t pixel = capture.at(x, y);
            line[static_cast<size_t>(x) * 3 + 0] = static_cast<unsigned char>(pixel & 0xFF);
            line[static_cast<size_t>(x) * 3 + 1] = static_cast<unsigned char>((pixel >> 8) & 0xFF);
            line[static_cast<size_t>(x) * 3 + 2] = static_cast<unsigned char>((pixel >> 16) & 0xFF);
        }
        std::fwrite(line.data(), 1, line.size(), file);
    }
    return std::fclose(file) == 0;
}

std::string unix_path(const std::wstring &windows_path) {
    using ToUnix = char *(__cdecl *)(const wchar_t *);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    ToUnix to_unix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void *>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    if (to_unix == nullptr) {
        return {};
    }
    char *path = to_unix(windows_path.c_str());
    if (path == nullptr) {
        return {};
    }
    std::string result = path;
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

} // namespace driver
