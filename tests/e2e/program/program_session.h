// One run of the real lorvane.exe (with the real libspotify.dll beside it)
// for the end-to-end suites: a working folder with the test's catalogue in
// its tmp/, an ALSA configuration that sends the sound device's samples into a
// file, and the process itself, driven with real input.
#pragma once

#include <windows.h>

#include "desktop_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

enum class SoundDevice {
    kCaptureFile, // played in real time; every sample written arrives in capture.raw
    kMissing,     // the default device points at a card that does not exist
};

class ProgramSession : public ::testing::Test {
protected:
    void TearDown() override;

    // Writes the catalogue and the sound configuration, starts the program
    // and waits for its dialog, brought to the front. Fails the test if the
    // dialog does not appear.
    void start(const std::string &catalogue, SoundDevice device = SoundDevice::kCaptureFile);

    HWND dialog() const { return dialog_; }
    HWND item(int id) const { return GetDlgItem(dialog_, id); }
    bool enabled(int id) const { return driver::is_enabled(item(id)); }
    // The control with the program's keyboard focus.
    HWND focus() const;
    // The program's visible message box (caption "Lorvane"), or null after
    // timeout_ms.
    HWND wait_for_message_box(int timeout_ms) const;
    std::string message_box_text(HWND box) const;
    // Closes a message box with the Enter key, as a user would.
    void dismiss(HWND box);
    // Types the user name and password into the fields and clicks "Connect".
    void log_in(const std::string &user, const std::string &password);
    // Waits until the list is enabled with count playlists in it.
    bool wait_for_playlists(int count, int timeout_ms);
    std::wstring list_item(int index) const;
    // Picks the list's item index with the keyboard, then clicks "Start
    // playing"; returns the main window once it shows.
    HWND start_playing(int index);

    bool running() const;
    // Waits for the process to end; returns its exit code, or -1.
    int wait_for_exit(int timeout_ms);

    // The samples the sound device has received so far (interleaved stereo).
    std::vector<int16_t> captured() const;
    // A track's audio as the library delivers it, from the same catalogue.
    std::vector<int16_t> track_audio(int track) const;

    void start_sound_server();
    void run_unix_script(const std::string &name, const std::string &text);

    std::wstring folder_; // this test's folder
    std::string pulse_dir_;
    bool sound_server_ = false;
    std::string capture_path_;
    PROCESS_INFORMATION process_ = {};
    HWND dialog_ = nullptr;
};

// Where in haystack needle starts at or after from, or -1.
long long find_samples(const std::vector<int16_t> &haystack, const std::vector<int16_t> &needle,
                       size_t from = 0);
