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
    // time (keeping every sample in capture.raw) or one that does not exist;
    // waits for the dialog, in front with the focus in the user name. With
    // watch_exit the program runs in a Wine process started from a Unix
    // shell, which keeps that process's own exit status (unix_exit): a Wine
    // process that dies of a signal still leaves the Windows exit code it
    // was given.
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
    // Gives window the display's focus through the window manager, as a
    // user's click on it would, and waits until it has it. The test's window
    // manager leaves the focus where it was when a window comes back after
    // being hidden, and when it catches up later, the focus moves inside the
    // program and cancels a click or keys on their way.
    bool give_display_focus(HWND window) const;
    // After a start with watch_exit: the Wine process's exit status as its
    // shell saw it ("139" for SIGSEGV), once it ended within timeout_ms, else
    // ""; and what that process wrote on its standard error.
    std::string unix_exit(int timeout_ms) const;
    std::string wine_stderr() const;
    std::string library_log() const; // tmp/library.log, beside the catalogue

    // The samples the sound device has received so far (interleaved stereo).
    std::vector<int16_t> captured() const;
    // Waits until what the sound device received from sample from on passes
    // plays_gapless; what it received then, from there.
    std::vector<int16_t> wait_for_tracks(std::initializer_list<int> tracks, int timeout_ms,
                                         size_t from = 0) const;

    driver::ConnectDialog dialog_;
    PROCESS_INFORMATION process_ = {};
    const std::wstring &folder() const { return folder_; }
    const std::string &pulse_dir() const { return pulse_dir_; }

private:
    // Starts desktop.sh with a command and its arguments.
    bool run_script(const std::string &command, const std::string &first,
                    const std::string &second = "") const;

    std::wstring folder_;   // this test's folder
    std::string pulse_dir_; // the private sound server's, when there is one
};

// A track's audio as the library delivers it, from the same catalogue.
std::vector<int16_t> track_audio(int track);
// Where needle's first 64 samples start in haystack, or -1.
long long find_start(const std::vector<int16_t> &haystack, const std::vector<int16_t> &needle);
// Whether sound holds only silence, then the tracks one after the other,
// whole, with no silence between them (a short one inside a track is
// tolerated: the device under load); *end gets where the last one ends (or
// will: the device may keep the final period until more follows).
::testing::AssertionResult plays_gapless(const std::vector<int16_t> &sound,
                                         std::initializer_list<int> tracks, size_t *end = nullptr);

// The pixels of a width x height client area that the title line covers, as
// the main window sets it ("Georgia" 48, centred, a sixth to a third down).
std::vector<bool> title_mask(const std::wstring &text, int width, int height);
// Which pixels of a capture are white.
std::vector<bool> white_pixels(const driver::Capture &capture);
// Intersection over union of two masks.
double overlap(const std::vector<bool> &a, const std::vector<bool> &b);
