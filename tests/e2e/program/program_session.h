// One run of the real lorvane.exe (with the real libspotify.dll beside it),
// driven with real input: a working folder with the test's catalogue in its
// tmp/ and an ALSA configuration for the sound device.
#pragma once

#include <windows.h>

#include "desktop_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

class ProgramSession : public ::testing::Test {
protected:
    void TearDown() override;

    // Starts the program on catalogue, with a sound card that plays in real
    // time (every sample kept in capture.raw) or none; waits for the dialog,
    // in front with the focus in the user name. With watch_exit a Unix shell
    // starts it and keeps the Wine process's own exit status (unix_exit): one
    // that dies of a signal still leaves the Windows exit code it was given.
    // An empty catalogue: no file, the library's embedded one.
    void start(const std::string &catalogue, bool sound_card = true, bool watch_exit = false);
    // Writes tmp/catalogue.txt for the program, and loads it here for track_audio.
    void write_catalogue(const std::string &catalogue) const;
    bool running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
    // Closes the main window: the program ends within 10 s, with exit code 0.
    void expect_clean_close(HWND window) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        DWORD code = 1;
        EXPECT_TRUE(driver::wait_until([&] { return !running(); }, 10000) &&
                    GetExitCodeProcess(process_.hProcess, &code) && code == 0)
            << "closing the main window: exit code " << code;
    }
    // The text of the program's message box (caption "Lorvane") once one
    // shows within timeout_ms, the box in *box; "" when none does.
    std::string message_box(HWND *box, int timeout_ms = 10000) const;
    void dismiss(HWND box) const; // with the Enter key, as a user would
    // Logs in, waits for playlists, chooses one and starts it; the main window.
    HWND log_in_and_play(const std::string &user, const std::string &password, int playlists,
                         int choice = 0, int timeout_ms = 10000) const;
    // Waits until the capture holds track from at on for at least samples
    // (from the track's sample from on, at the device's level).
    bool heard(long long at, const std::vector<int16_t> &track, size_t samples,
               int timeout_ms = 15000, size_t from = 0, uint16_t level = 0xFFFF) const;
    // Waits for track's start in the capture at or after from; where, or -1.
    long long wait_start(const std::vector<int16_t> &track, size_t from,
                         int timeout_ms = 15000) const;
    // Gives window the display's focus through the window manager, as a
    // user's click would, and waits until it has it: the window manager leaves
    // the focus where it was when a hidden window comes back, and when it
    // catches up later, a click or keys on their way are cancelled.
    bool give_display_focus(HWND window) const;
    // After a start with watch_exit: the Wine process's exit status as its
    // shell saw it ("139": SIGSEGV) within timeout_ms, else ""; its stderr.
    std::string unix_exit(int timeout_ms) const;
    std::string wine_stderr() const;
    std::string library_log() const; // tmp/library.log, beside the catalogue

    // The samples the sound device has received so far (interleaved stereo).
    std::vector<int16_t> captured() const;
    // Waits until the capture stops growing; its size then in *size.
    bool sound_stops(size_t *size) const;
    // Waits until what the sound device received from sample from on passes
    // plays_gapless; what it received then, from there.
    std::vector<int16_t> wait_for_tracks(const std::vector<int> &tracks, int timeout_ms,
                                         size_t from = 0) const;

    driver::ConnectDialog dialog_;
    PROCESS_INFORMATION process_ = {};
    const std::wstring &folder() const { return folder_; }
    const std::string &pulse_dir() const { return pulse_dir_; }

    // Starts a script of this folder with a command and its arguments.
    bool run_script(const std::string &command, const std::string &first,
                    const std::string &second = "", const char *script = "desktop.sh") const;

private:
    std::wstring folder_;   // this test's folder
    std::string pulse_dir_; // the private sound server's, when there is one
};

constexpr size_t kHiccup = 2 * 11025; // the longest silence a loaded device may leave

// A track's audio as the library delivers it, from the same catalogue.
std::vector<int16_t> track_audio(int track);
std::vector<int16_t> read_samples(const std::wstring &path); // a raw 16-bit file
// Whether sound holds only silence, then the tracks one after the other,
// whole, with no silence between them (a short one inside a track is
// tolerated: the device under load); *end gets where the last one ends (or
// will: the device may keep the final period until more follows).
::testing::AssertionResult plays_gapless(const std::vector<int16_t> &sound,
                                         const std::vector<int> &tracks, size_t *end = nullptr);
// Where needle's first 64 samples start in sound at or after from, or -1.
long long find_from(const std::vector<int16_t> &sound, const std::vector<int16_t> &needle,
                    size_t from = 0);

// A sample of a track as the sound device plays it at level (0 to 0xFFFF:
// the device's own volume scales it, within kLevelSlack; 0xFFFF exactly).
constexpr int kLevelSlack = 2;
inline int at_level(int16_t sample, uint16_t level) {
    return level == 0xFFFF ? sample : static_cast<int>(sample * (level / 65535.0));
}
// The track followed through sound from at (from its sample from on, at
// level): how much of it, the silences in between, and whether anything else
// was heard.
struct Followed {
    size_t matched = 0;         // samples of the track, in order
    size_t end = 0;             // where the last one matched is in sound
    size_t longest_silence = 0; // in samples
    int long_silences = 0;      // longer than a device's hiccup
    int worst = 0;              // the largest difference from the level's sample
    bool other_sound = false;
};
Followed follow(const std::vector<int16_t> &sound, long long at, const std::vector<int16_t> &track,
                size_t samples, size_t from = 0, uint16_t level = 0xFFFF);

// The pixels of a width x height client area that the title line covers, as
// the main window sets it ("Georgia" 48, centred, a sixth to a third down).
std::vector<bool> title_mask(const std::wstring &text, int width, int height);
// The time line's band at the bottom of the main window, and the pixels of
// a width-wide band that its text covers ("Tahoma" 15, centred both ways).
constexpr int kTimeLineHeight = 24;
std::vector<bool> time_line_mask(const std::wstring &text, int width);
// Which pixels of a capture are white.
std::vector<bool> white_pixels(const driver::Capture &capture);
// Intersection over union of two masks.
double overlap(const std::vector<bool> &a, const std::vector<bool> &b);
