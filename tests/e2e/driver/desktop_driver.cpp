#include "desktop_driver.h"

namespace driver {

namespace {

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

HWND wait_for_window(DWORD process, const char *class_name, const char *title, int timeout_ms) {
    HWND found = nullptr;
    wait_until(
        [&] {
            for (HWND window = nullptr;
                 (window = FindWindowExA(nullptr, window, class_name, title)) != nullptr;) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (IsWindowVisible(window) && (process == 0 || owner == process))
                    return (found = window) != nullptr;
            }
            return false;
        },
        timeout_ms);
    return found;
}

bool bring_to_front(HWND window) {
    SetForegroundWindow(window);
    return wait_until([&] { return GetForegroundWindow() == window; }, 2000);
}

void press_key(WORD virtual_key, bool shift, bool alt, bool ctrl) {
    const WORD keys[] = {static_cast<WORD>(ctrl ? VK_CONTROL : 0),
                         static_cast<WORD>(shift ? VK_SHIFT : 0),
                         static_cast<WORD>(alt ? VK_MENU : 0), virtual_key};
    for (WORD key : keys)
        if (key != 0)
            send_key(key, 0, false);
    for (int i = 3; i >= 0; --i)
        if (keys[i] != 0)
            send_key(keys[i], 0, true);
}

void type_text(const std::string &utf8) {
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                                        static_cast<int>(utf8.size()), text.data(),
                                                        static_cast<int>(text.size()))));
    for (wchar_t unit : text)
        for (bool up : {false, true})
            send_key(0, unit, up);
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
    Capture capture{client.right, client.bottom,
                    std::vector<uint32_t>(static_cast<size_t>(client.right) * client.bottom)};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP bitmap = top_down_bitmap(memory, client.right, client.bottom, &bits);
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        const uint32_t *source = static_cast<const uint32_t *>(bits);
        for (size_t i = 0; i < capture.pixels.size(); ++i)
            capture.pixels[i] = source[i] & 0xFFFFFF;
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return capture;
}

HBITMAP top_down_bitmap(HDC dc, int width, int height, void **bits) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

std::string unix_path(const std::wstring &windows_path) {
    using ToUnix = char *(__cdecl *)(const wchar_t *);
    ToUnix to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char *path = to_unix != nullptr ? to_unix(windows_path.c_str()) : nullptr;
    if (path == nullptr)
        return {};
    std::string result = path;
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

bool ConnectDialog::focus_reaches(int id, int timeout_ms) const {
    return wait_until(
        [&] {
            GUITHREADINFO info = {};
            info.cbSize = sizeof info;
            return GetGUIThreadInfo(thread, &info) && info.hwndFocus == item(id);
        },
        timeout_ms);
}

void ConnectDialog::log_in(const std::string &user, const std::string &password) const {
    click(item(IDC_USERNAME));
    type_text(user);
    click(item(IDC_PASSWORD));
    type_text(password);
    click(item(IDC_CONNECT));
}

bool ConnectDialog::wait_for_playlists(int count, int timeout_ms) const {
    return wait_until(
        [&] {
            const LRESULT listed = SendMessageA(item(IDC_PLAYLIST), CB_GETCOUNT, 0, 0);
            return enabled(IDC_PLAYLIST) && enabled(IDC_START) &&
                   (count < 0 ? listed > 0 : listed == count);
        },
        timeout_ms);
}

bool ConnectDialog::choose(int index) const {
    bring_to_front(window);
    drop_down(item(IDC_PLAYLIST));
    press_key(VK_HOME);
    for (int i = 0; i < index; ++i)
        press_key(VK_DOWN);
    press_key(VK_RETURN);
    return wait_until([&] { return SendMessageA(item(IDC_PLAYLIST), CB_GETCURSEL, 0, 0) == index; },
                      5000);
}

std::wstring ConnectDialog::listed(int index) const {
    wchar_t name[64] = {};
    SendMessageW(item(IDC_PLAYLIST), CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(name));
    return name;
}

HWND ConnectDialog::start_playing() const {
    click(item(IDC_START));
    HWND main_window = wait_for_window(process, "lorvane_wnd_", "Lorvane", 10000);
    if (main_window != nullptr)
        bring_to_front(main_window);
    return main_window;
}

} // namespace driver
