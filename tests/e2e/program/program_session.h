// One run of the real lorvane.exe (with the real libspotify.dll beside it)
// for the end-to-end suites: a working folder with the test's catalogue in
// its tmp/, an ALSA configuration for the sound device, and the process
// itself, driven with real input.
#pragma once

#include <windows.h>

#include "desktop_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

enum class SoundDevice {
    kCaptureFile, // plays in real time; every sample written arrives in capture.raw
    kMissing,     // the default device is a card that does not exist
};

class ProgramSession : public ::testing::Test {
protected:
    void TearDown() override;

    // Writes the catalogue and the sound configuration, starts the program
    // and waits for its dialog, brought to the front with the focus in the
    // user name.
    void start(const std::string &catalogue, SoundDevice device = SoundDevice::kCaptureFile);

    HWND item(int id) const { return GetDlgItem(dialog_, id); }
    bool enabled(int id) const { return driver::is_enabled(item(id)); }
    // Whether the program's keyboard focus comes to control id within 2 s.
    bool focus_reaches(int id) const;
    // The program's message box (caption "Lorvane"), or null after timeout_ms.
    HWND wait_for_message_box(int timeout_ms) const;
    // Closes a message box with the Enter key, as a user would.
    void dismiss(HWND box);
    // Clicks into the user name and password fields, types into each, and
    // clicks "Connect".
    void log_in(const std::string &user, const std::string &password);
    // Whether the list is enabled with count playlists in it within 10 s.
    bool wait_for_playlists(int count);
    std::wstring list_item(int index) const;
    // Picks the list's item index with the keyboard, then clicks "Start
    // playing"; returns the main window once it shows.
    HWND start_playing(int index);

    bool running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
    // Waits for the process to end; its exit code, or -1.
    int wait_for_exit(int timeout_ms);

    // The samples the sound device has received so far (interleaved stereo).
    std::vector<int16_t> captured() const;
    // A track's audio as the library delivers it, from the same catalogue.
    static std::vector<int16_t> track_audio(int track);

    HWND dialog_ = nullptr;
    PROCESS_INFORMATION process_ = {};

private:
    void run_unix_script(const std::string &name, const std::string &text);

    std::wstring folder_;   // this test's folder
    std::string pulse_dir_; // the private sound server's, when there is one
};

// Where needle's first 64 samples start in haystack, or -1.
long long find_start(const std::vector<int16_t> &haystack, const std::vector<int16_t> &needle);
// How many samples from haystack[from] on agree with needle from its start.
size_t same_run(const std::vector<int16_t> &haystack, size_t from,
                const std::vector<int16_t> &needle);
