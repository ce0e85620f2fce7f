// lorvane_driver SNAP_DIR USER PASSWORD SECONDS [paused]: for the run
// command's unattended mode, logs in to the running Lorvane, plays the first
// playlist for SECONDS with one skip (the key N) half way, and closes the
// main window. With "paused" (for the measure script): idles SECONDS in the
// dialog with the playlists listed ("idle"), then starts playing, pauses
// with Space after 2 s and stays paused SECONDS ("paused").
// For each picture it writes SNAP_DIR/NAME.ready ("WIDTHxHEIGHT+LEFT+TOP",
// the window's client area on the screen) and waits up to 15 s for
// SNAP_DIR/NAME.done. Exit code 0, or 1 and a line on stderr.
#include "desktop_driver.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string g_snap_dir;

void snapshot(const char *name, HWND window) {
    const std::string path = g_snap_dir + "\\" + name;
    RECT rect = {};
    GetClientRect(window, &rect);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    if (FILE *file = std::fopen((path + ".ready").c_str(), "wb")) {
        std::fprintf(file, "%ldx%ld+%ld+%ld\n", rect.right, rect.bottom, origin.x, origin.y);
        std::fclose(file);
    }
    driver::wait_until(
        [&] { return GetFileAttributesA((path + ".done").c_str()) != INVALID_FILE_ATTRIBUTES; },
        15000);
}

int fail(const char *what) {
    std::fprintf(stderr, "lorvane_driver: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 5 && argc != 6)
        return fail("usage: lorvane_driver SNAP_DIR USER PASSWORD SECONDS [paused]");
    const bool paused = argc == 6 && std::string(argv[5]) == "paused";
    g_snap_dir = argv[1];
    const int half = std::atoi(argv[4]) * 1000 / 2;

    const driver::ConnectDialog dialog(driver::wait_for_window(0, "#32770", "", 30000));
    if (dialog.item(IDC_USERNAME) == nullptr || !driver::bring_to_front(dialog.window) ||
        !dialog.focus_reaches(IDC_USERNAME, 5000))
        return fail("the connect dialog did not appear and take the focus");
    dialog.log_in(argv[2], argv[3]);
    if (!dialog.wait_for_playlists(-1, 15000) || !dialog.choose(0))
        return fail("no playlist arrived to be chosen");
    snapshot(paused ? "idle" : "dialog", dialog.window);
    if (paused)
        Sleep(static_cast<DWORD>(half * 2));
    HWND main_window = dialog.start_playing();
    if (main_window == nullptr)
        return fail("the main window did not appear");
    if (paused) {
        Sleep(2000);
        driver::press_key(VK_SPACE);
        snapshot("paused", main_window);
        Sleep(static_cast<DWORD>(half * 2));
        PostMessageA(main_window, WM_CLOSE, 0, 0);
        return 0;
    }
    Sleep(static_cast<DWORD>(half > 2000 ? 2000 : half));
    snapshot("playing", main_window);
    Sleep(static_cast<DWORD>(half > 2000 ? half - 2000 : 0));
    driver::press_key('N');
    Sleep(static_cast<DWORD>(half));
    snapshot("skipped", main_window);
    PostMessageA(main_window, WM_CLOSE, 0, 0);
    return 0;
}
