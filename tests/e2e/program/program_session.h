// One run of the real lorvane.exe (with the real libspotify.dll beside it)
// for the end-to-end suites: a working folder with the test's catalogue in
// its tmp/, an ALSA configuration for the sound device, and the process
// itself, driven with real input.
#pragma once

#include <windows.h>

#include "desktop_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// The last period written may stay in the device until more follows.
constexpr size_t kTail = 2 * 4096;

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

public:
    // The samples the sound device has received so far (interleaved stereo).
    std::vector<int16_t> captured() const;
    // A track's audio as the library delivers it, from the same catalogue.
    static std::vector<int16_t> track_audio(int track);

protected:
    HWND dialog_ = nullptr;
    PROCESS_INFORMATION process_ = {};

private:
    // Runs a shell script of the test's, with the sound server's folder as
    // $1 and the Unix path of file as $2.
    void run_unix_script(const std::string &name, const std::string &text,
                         const std::wstring &file = {});

    std::wstring folder_;   // this test's folder
    std::string pulse_dir_; // the private sound server's, when there is one
};

// The tracks' audio one after the other, as the library delivers them.
std::vector<int16_t> tracks_audio(std::initializer_list<int> tracks);
// Whether sound holds only silence, then the tracks one after the other,
// each from its first frame to its last with nothing between them (the last
// may lack the final period that the device keeps until more follows). *end
// gets where the last one ends, or will once that period follows.
::testing::AssertionResult plays_gapless(const std::vector<int16_t> &sound,
                                         std::initializer_list<int> tracks, size_t *end = nullptr);
// Waits until what the sound device received passes plays_gapless; what it
// received then.
std::vector<int16_t> wait_for_tracks(const ProgramSession &session,
                                     std::initializer_list<int> tracks, int timeout_ms);

// Where needle's first 64 samples start in haystack, or -1.
long long find_start(const std::vector<int16_t> &haystack, const std::vector<int16_t> &needle);
// How many samples from haystack[from] on agree with needle from its start.
size_t same_run(const std::vector<int16_t> &haystack, size_t from,
                const std::vector<int16_t> &needle);
