// package_driver CAPTURE: logs in to the running Lorvane as the demo's user,
// plays the first playlist, and checks that the sound device (whose samples
// land in the file CAPTURE, a Windows path) receives the first five seconds
// of the demo's first track exactly; then closes the main window. Exit code
// 0, or 1 and a line on stderr.
#include "desktop_driver.h"

#include "libspotify/local.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kCheckedFrames = 5 * 44100;

int fail(const char *what) {
    std::fprintf(stderr, "package_driver: %s\n", what);
    return 1;
}

std::vector<int16_t> read_samples(const char *path) {
    std::vector<int16_t> samples;
    if (FILE *file = std::fopen(path, "rb")) {
        int16_t buffer[8192];
        for (size_t got; (got = std::fread(buffer, sizeof buffer[0], 8192, file)) > 0;)
            samples.insert(samples.end(), buffer, buffer + got);
        std::fclose(file);
    }
    return samples;
}

// Whether `expected` is heard whole in `sound`, from its first sample that
// is not silence (the track's fade-in starts at zero), in order, with nothing
// but silence between its samples: Wine's sound plays zeros for a moment
// where its device ran dry on a loaded machine (10 ms seen at the start of a
// new prefix), which says nothing of the package.
bool holds(const std::vector<int16_t> &sound, const std::vector<int16_t> &expected) {
    size_t first = 0;
    while (first < expected.size() && expected[first] == 0)
        ++first;
    for (size_t at = 0; at < sound.size(); ++at) {
        if (sound[at] != expected[first])
            continue;
        size_t i = first;
        for (size_t p = at; p < sound.size() && i < expected.size(); ++p) {
            if (sound[p] == expected[i])
                ++i;
            else if (sound[p] != 0)
                break;
        }
        if (i == expected.size())
            return true;
        if (i - first >= 64)
            return false; // found its start, and then something else was heard
    }
    return false;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2)
        return fail("usage: package_driver CAPTURE");
    // The demo's first track as the library renders it.
    splocal_load_demo();
    std::vector<int16_t> expected(static_cast<size_t>(kCheckedFrames) * 2);
    if (splocal_track_pcm(0, expected.data(), kCheckedFrames) < kCheckedFrames)
        return fail("the demo's first track is too short");

    const driver::ConnectDialog dialog(driver::wait_for_window(0, "#32770", "", 60000));
    if (dialog.item(IDC_USERNAME) == nullptr || !driver::bring_to_front(dialog.window) ||
        !dialog.focus_reaches(IDC_USERNAME, 5000))
        return fail("the connect dialog did not appear and take the focus");
    dialog.log_in("demo", "demo");
    if (!dialog.wait_for_playlists(-1, 15000) || !dialog.choose(0))
        return fail("no playlist arrived to be chosen");
    HWND main_window = dialog.start_playing();
    if (main_window == nullptr)
        return fail("the main window did not appear");
    std::vector<int16_t> sound;
    const bool heard = driver::wait_until(
        [&] {
            sound = read_samples(argv[1]);
            return holds(sound, expected);
        },
        60000, 500);
    PostMessageA(main_window, WM_CLOSE, 0, 0);
    if (!heard) {
        std::fprintf(stderr, "package_driver: %zu samples captured\n", sound.size());
        return fail("the first five seconds of the demo's first track were not heard");
    }
    return 0;
}
