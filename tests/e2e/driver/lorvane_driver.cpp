// lorvane_driver: plays a short session with the running Lorvane through real
// input, for the run command's unattended mode.
//
//   lorvane_driver.exe SNAP_DIR USER PASSWORD SECONDS
//
// Finds the connect dialog, types the user name and password, presses
// "Connect", picks the first playlist, presses "Start playing", lets it play
// for SECONDS with one skip (the key N) half way, and closes the main window.
// At each moment worth a picture it creates SNAP_DIR/NAME.ready, holding the
// window's client area on the screen as "WIDTHxHEIGHT+LEFT+TOP", and waits
// (up to 15 s) for SNAP_DIR/NAME.done, so that a screenshot can be taken from
// outside. Exit code 0 on success; otherwise a line on stderr says what failed.
#include "desktop_driver.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string g_snap_dir;

void snapshot(const char *name, HWND window) {
    std::string ready = g_snap_dir + "\\" + name + ".ready";
    std::string done = g_snap_dir + "\\" + name + ".done";
    RECT rect = {};
    GetClientRect(window, &rect);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    if (FILE *file = std::fopen(ready.c_str(), "wb")) {
        std::fprintf(file, "%ldx%ld+%ld+%ld\n", rect.right, rect.bottom, origin.x, origin.y);
        std::fclose(file);
    }
    driver::wait_until([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; },
                       15000);
}

int fail(const char *what) {
    std::fprintf(stderr, "lorvane_driver: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 5) {
        return fail("usage: lorvane_driver SNAP_DIR USER PASSWORD SECONDS");
    }
    g_snap_dir = argv[1];
    const std::string user = argv[2];
    const std::string password = argv[3];
    const int seconds = std::atoi(argv[4]);

    HWND dialog = driver::wait_for_window(0, "#32770", "", 30000);
    if (dialog == nullptr || GetDlgItem(dialog, 1002) == nullptr) {
        return fail("the connect dialog did not appear");
    }
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(dialog, &process);
    if (!driver::bring_to_front(dialog)) {
        return fail("the dialog could not be brought to the front");
    }
    if (!driver::wait_until(
            [&] {
                GUITHREADINFO info = {};
                info.cbSize = sizeof info;
                return GetGUIThreadInfo(thread, &info) &&
                       info.hwndFocus == GetDlgItem(dialog, 1002);
            },
            5000)) {
        return fail("the user name field did not take the focus");
    }
    driver::type_text(user);
    driver::press_key(VK_TAB);
    driver::type_text(password);
    driver::click(GetDlgItem(dialog, 1001));

    HWND list = GetDlgItem(dialog, 1004);
    if (!driver::wait_until(
            [&] { return driver::is_enabled(list) && SendMessageA(list, CB_GETCOUNT, 0, 0) > 0; },
            15000)) {
        return fail("the playlists did not arrive");
    }
    // Open the list, go down to the first playlist, take it.
    driver::drop_down(list);
    driver::press_key(VK_DOWN);
    driver::press_key(VK_RETURN);
    if (!driver::wait_until([&] { return SendMessageA(list, CB_GETCURSEL, 0, 0) == 0; }, 5000)) {
        return fail("the first playlist could not be chosen");
    }
    snapshot("dialog", dialog);

    driver::click(GetDlgItem(dialog, 1005));
    HWND main_window = driver::wait_for_window(process, "lorvane_wnd_", "Lorvane", 10000);
    if (main_window == nullptr) {
        return fail("the main window did not appear");
    }
    driver::bring_to_front(main_window);
    const int half = seconds * 1000 / 2;
    Sleep(static_cast<DWORD>(half > 2000 ? 2000 : half));
    snapshot("playing", main_window);
    Sleep(static_cast<DWORD>(half > 2000 ? half - 2000 : 0));
    driver::press_key('N');
    Sleep(static_cast<DWORD>(half));
    snapshot("skipped", main_window);
    PostMessageA(main_window, WM_CLOSE, 0, 0);
    return 0;
}
