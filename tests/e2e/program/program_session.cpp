#include "program_session.h"

#include <libspotify/local.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>

namespace {

std::wstring module_folder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring widen(const std::string &ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

void write_file(const std::wstring &path, const std::string &text) {
    FILE *file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

void remove_tree(const std::wstring &folder) {
    const std::wstring from = folder + L'\0'; // a list of names, ended by an empty one
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationW(&operation);
}

// The private sound server's start and stop, with its folder as $1.
const char kPulseEnvironment[] = "export XDG_RUNTIME_DIR=\"$1\" PULSE_RUNTIME_PATH=\"$1\" "
                                 "HOME=\"$1\"\n";
const char kPulseStart[] =
    "mkdir -p \"$1\"\n"
    "exec pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes "
    "--log-target=file:\"$1/log\" "
    "--load=\"module-null-sink sink_name=cap rate=44100 format=s16le channels=2\" "
    "--load=\"module-native-protocol-unix socket=$1/native auth-anonymous=1\" "
    ">/dev/null 2>&1 </dev/null\n";
const char kPulseStop[] = "pulseaudio -k >/dev/null 2>&1\nsleep 0.2\nrm -rf \"$1\"\n";

// Creates the file $2 once the display's focus is on a window of lorvane.exe.
const char kWaitForFocus[] =
    "for i in $(seq 300); do\n"
    "  w=$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //')\n"
    "  xprop -id \"$w\" WM_CLASS 2>/dev/null | grep -q lorvane.exe && exec touch \"$2\"\n"
    "  sleep 0.05\n"
    "done\n";

// Runs a Unix command line (Wine's start /unix); false if it cannot start.
bool run_unix(const std::string &command_line) {
    std::wstring command = widen("start.exe /wait /unix " + command_line);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The suite's desktop has a window manager, as a user's has: the program's
// windows are managed, and hiding one costs nothing.
class WindowManager : public ::testing::Environment {
public:
    void SetUp() override {
        run_unix(script_ + " start " + pid_file_); // does not wait for a Unix program
        ASSERT_TRUE(driver::wait_until(
            [&] {
                return GetFileAttributesA(("Z:" + pid_file_).c_str()) != INVALID_FILE_ATTRIBUTES;
            },
            15000))
            << "no window manager on the display (openbox)";
    }
    void TearDown() override { run_unix(script_ + " stop " + pid_file_); }

private:
    const std::string script_ = "/bin/bash " LORVANE_SCRIPTS_DIR "/window-manager";
    const std::string pid_file_ = "/tmp/lorvane-e2e-wm-" + std::to_string(GetCurrentProcessId());
};

::testing::Environment *const g_window_manager =
    ::testing::AddGlobalTestEnvironment(new WindowManager);

} // namespace

void ProgramSession::start(const std::string &catalogue, SoundDevice device) {
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ =
        module_folder() + L"\\e2e\\" + widen(test->test_suite_name()) + L"." + widen(test->name());
    remove_tree(folder_);
    for (const wchar_t *sub : {L"\\..", L"", L"\\work", L"\\work\\tmp"}) {
        CreateDirectoryW((folder_ + sub).c_str(), nullptr);
    }
    ASSERT_NO_FATAL_FAILURE(write_file(folder_ + L"\\work\\tmp\\catalogue.txt", catalogue));
    ASSERT_EQ(splocal_load_file(driver::unix_path(folder_ + L"\\work\\tmp\\catalogue.txt").c_str()),
              0)
        << "the test's catalogue does not read";

    // A new Wine process takes its Unix environment from its parent's, so
    // the device is set up through a name that is the same for every test:
    // ALSA_CONFIG_PATH (set by ctest) lists the system's configuration and
    // "asound.conf", which ALSA reads from the program's working folder,
    // where this test writes it. winepulse is kept out, so that the sound
    // goes through ALSA even where a sound server runs.
    wchar_t alsa_path[512] = {};
    GetEnvironmentVariableW(L"ALSA_CONFIG_PATH", alsa_path, 512);
    ASSERT_NE(std::wstring(alsa_path).find(L":asound.conf"), std::wstring::npos)
        << "run with ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:asound.conf (ctest sets it)";
    std::string asound = "pcm.!default { type hw card 97 device 0 }\nctl.!default { type hw "
                         "card 97 }\n";
    if (device == SoundDevice::kCaptureFile) {
        // A private sound server's null sink takes the samples at the pace
        // of real time, as a sound card would; on their way they pass
        // through ALSA's file plugin, which keeps each one. (A socket's path
        // may not be long: the server gets a short folder of its own.)
        pulse_dir_ = "/tmp/lorvane-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(GetTickCount());
        ASSERT_NO_FATAL_FAILURE(
            run_unix_script("pulse-start.sh", std::string(kPulseEnvironment) + kPulseStart));
        const std::wstring pid_file = L"Z:" + widen(pulse_dir_) + L"/pid";
        ASSERT_TRUE(driver::wait_until(
            [&] { return GetFileAttributesW(pid_file.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000))
            << "the sound server did not start (pulseaudio)";
        const std::string server = "server \"unix:" + pulse_dir_ + "/native\" }\n";
        asound = "pcm.!default { type plug slave.pcm \"capture_file\" }\n"
                 "pcm.capture_file { type file slave.pcm \"paced\" file \"" +
                 driver::unix_path(folder_) + "/capture.raw\" format \"raw\" }\n" +
                 "pcm.paced { type pulse " + server + "ctl.!default { type pulse " + server;
    }
    ASSERT_NO_FATAL_FAILURE(write_file(folder_ + L"\\work\\asound.conf", asound));

    SetEnvironmentVariableW(L"WINEDLLOVERRIDES", L"mscoree,mshtml=;winepulse.drv=d");
    std::wstring program = module_folder() + L"\\lorvane.exe";
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               (folder_ + L"\\work").c_str(), &startup, &process_))
        << "lorvane.exe did not start: " << GetLastError();
    dialog_ = driver::wait_for_window(process_.dwProcessId, "#32770", "", 20000);
    ASSERT_NE(dialog_, nullptr) << "the connect dialog did not appear";
    ASSERT_TRUE(driver::bring_to_front(dialog_));
    // The window manager gives the new window the display's focus on its own
    // time, and Wine then takes the modifier keys' state from the display,
    // where they are never down: keys are typed only once that is over.
    const std::wstring focused = folder_ + L"\\focused";
    ASSERT_NO_FATAL_FAILURE(run_unix_script("wait-focus.sh", kWaitForFocus, focused));
    ASSERT_TRUE(driver::wait_until(
        [&] { return GetFileAttributesW(focused.c_str()) != INVALID_FILE_ATTRIBUTES; }, 15000))
        << "the window manager did not focus the program";
    focus_reaches(1002);
}

void ProgramSession::run_unix_script(const std::string &name, const std::string &text,
                                     const std::wstring &file) {
    ASSERT_NO_FATAL_FAILURE(write_file(folder_ + L"\\" + widen(name), text));
    ASSERT_TRUE(run_unix("/bin/sh \"" + driver::unix_path(folder_) + "/" + name + "\" \"" +
                         pulse_dir_ + "\" \"" + driver::unix_path(file) + "\""))
        << "cannot run " << name;
}

void ProgramSession::TearDown() {
    if (process_.hProcess != nullptr) {
        if (running()) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    if (!pulse_dir_.empty()) {
        run_unix_script("pulse-stop.sh", std::string(kPulseEnvironment) + kPulseStop);
    }
}

bool ProgramSession::focus_reaches(int id) const {
    return driver::wait_until(
        [&] {
            GUITHREADINFO info = {};
            info.cbSize = sizeof info;
            return GetGUIThreadInfo(process_.dwThreadId, &info) && info.hwndFocus == item(id);
        },
        2000);
}

HWND ProgramSession::wait_for_message_box(int timeout_ms) const {
    return driver::wait_for_window(process_.dwProcessId, "#32770", "Lorvane", timeout_ms);
}

void ProgramSession::dismiss(HWND box) {
    driver::bring_to_front(box);
    driver::press_key(VK_RETURN);
    driver::wait_until([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
}

void ProgramSession::log_in(const std::string &user, const std::string &password) {
    driver::bring_to_front(dialog_);
    driver::click(item(1002));
    driver::type_text(user);
    driver::click(item(1003));
    driver::type_text(password);
    driver::click(item(1001));
}

bool ProgramSession::wait_for_playlists(int count) {
    return driver::wait_until(
        [&] {
            return enabled(1004) && enabled(1005) &&
                   SendMessageA(item(1004), CB_GETCOUNT, 0, 0) == count;
        },
        10000);
}

std::wstring ProgramSession::list_item(int index) const {
    wchar_t text[256] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutW(item(1004), CB_GETLBTEXT, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &result);
    return text;
}

HWND ProgramSession::start_playing(int index) {
    driver::bring_to_front(dialog_);
    driver::drop_down(item(1004));
    driver::press_key(VK_HOME);
    for (int i = 0; i < index; ++i) {
        driver::press_key(VK_DOWN);
    }
    driver::press_key(VK_RETURN);
    driver::wait_until([&] { return SendMessageA(item(1004), CB_GETCURSEL, 0, 0) == index; }, 2000);
    driver::click(item(1005));
    HWND main_window =
        driver::wait_for_window(process_.dwProcessId, "lorvane_wnd_", "Lorvane", 10000);
    if (main_window != nullptr) {
        driver::bring_to_front(main_window);
    }
    return main_window;
}

int ProgramSession::wait_for_exit(int timeout_ms) {
    DWORD code = 0;
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process_.hProcess, &code)) {
        return -1;
    }
    return static_cast<int>(code);
}

std::vector<int16_t> ProgramSession::captured() const {
    std::vector<int16_t> samples;
    FILE *file = _wfopen((folder_ + L"\\capture.raw").c_str(), L"rb");
    if (file != nullptr) {
        int16_t buffer[4096];
        for (size_t read; (read = std::fread(buffer, sizeof buffer[0], 4096, file)) > 0;) {
            samples.insert(samples.end(), buffer, buffer + read);
        }
        std::fclose(file);
    }
    return samples;
}

std::vector<int16_t> ProgramSession::track_audio(int track) {
    int frames = splocal_track_pcm(track, nullptr, 0);
    std::vector<int16_t> samples(static_cast<size_t>(frames > 0 ? frames : 0) * 2);
    if (frames > 0) {
        splocal_track_pcm(track, samples.data(), frames);
    }
    return samples;
}

long long find_start(const std::vector<int16_t> &haystack, const std::vector<int16_t> &needle) {
    if (needle.size() < 64) {
        return -1;
    }
    auto found = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.begin() + 64);
    return found == haystack.end() ? -1 : found - haystack.begin();
}

size_t same_run(const std::vector<int16_t> &haystack, size_t from,
                const std::vector<int16_t> &needle) {
    size_t i = 0;
    while (i < needle.size() && from + i < haystack.size() && haystack[from + i] == needle[i]) {
        ++i;
    }
    return i;
}

std::vector<int16_t> tracks_audio(std::initializer_list<int> tracks) {
    std::vector<int16_t> all;
    for (int track : tracks) {
        const std::vector<int16_t> audio = ProgramSession::track_audio(track);
        all.insert(all.end(), audio.begin(), audio.end());
    }
    return all;
}

::testing::AssertionResult plays_gapless(const std::vector<int16_t> &sound,
                                         std::initializer_list<int> tracks, size_t *end) {
    const std::vector<int16_t> expected = tracks_audio(tracks);
    const long long at = find_start(sound, expected);
    if (at < 0) {
        return ::testing::AssertionFailure() << "the first track's first frames were not heard";
    }
    const auto heard =
        std::find_if(sound.begin(), sound.begin() + at, [](int16_t sample) { return sample != 0; });
    if (heard != sound.begin() + at) {
        return ::testing::AssertionFailure()
               << "sound at frame " << (heard - sound.begin()) / 2
               << ", before the first track's first frames at frame " << at / 2;
    }
    // The device plays a few periods of silence when its thread is held up
    // (a loaded processor, or a long drawing of the block the window
    // borrowed): up to 250 ms at a time pass, anywhere. A track started late
    // leaves seconds.
    constexpr size_t kHiccup = 2 * 11025;
    const auto agree = [&](size_t in_sound, size_t in_expected) {
        size_t n = 0;
        while (n < 64 && in_expected + n < expected.size() && in_sound + n < sound.size() &&
               sound[in_sound + n] == expected[in_expected + n]) {
            ++n;
        }
        return n == 64 || in_expected + n == expected.size();
    };
    size_t position = static_cast<size_t>(at), done = 0;
    while (done + kTail < expected.size()) {
        if (position < sound.size() && sound[position] == expected[done]) {
            ++position;
            ++done;
            continue;
        }
        // The silence may have begun among the track's own zeros.
        while (done > 0 && expected[done - 1] == 0 && sound[position - 1] == 0) {
            --done;
            --position;
        }
        size_t silence = 2;
        while (position + silence < sound.size() && sound[position + silence - 1] == 0 &&
               !agree(position + silence, done)) {
            silence += 2;
        }
        if (!agree(position + silence, done) || silence > kHiccup) {
            return ::testing::AssertionFailure()
                   << "at frame " << done / 2 << " of the tracks' " << expected.size() / 2 << ", "
                   << silence / 2 << " frames of silence or other sound";
        }
        position += silence;
    }
    while (done < expected.size() && position < sound.size() && sound[position] == expected[done]) {
        ++position;
        ++done;
    }
    if (end != nullptr) {
        *end = position + (expected.size() - done); // with the tail still in the device
    }
    return ::testing::AssertionSuccess();
}

std::vector<int16_t> wait_for_tracks(const ProgramSession &session,
                                     std::initializer_list<int> tracks, int timeout_ms) {
    std::vector<int16_t> sound;
    driver::wait_until([&] { return plays_gapless(sound = session.captured(), tracks); },
                       timeout_ms, 200);
    return sound;
}
