#include "program_session.h"

#include <libspotify/local.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <utility>

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

bool exists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string read_file(const std::wstring &path) {
    std::string text;
    if (FILE *file = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, read);
        std::fclose(file);
    }
    return text;
}

bool spawn(std::wstring command, const wchar_t *folder, PROCESS_INFORMATION *process) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder,
                          &startup, process) != FALSE;
}

} // namespace

// Through Wine's start /unix, which does not wait for a Unix program.
bool ProgramSession::run_script(const std::string &command, const std::string &first,
                                const std::string &second, const char *script) const {
    PROCESS_INFORMATION process = {};
    const std::wstring line =
        widen("start.exe /wait /unix /bin/sh " LORVANE_E2E_DIR "/" + std::string(script) + " " +
              command + " \"" + first + "\" \"" + second + "\"");
    // Under a loaded Wine a process start has been seen to fail once, with
    // the same line working a moment later: it is tried three times.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !(started = spawn(line, nullptr, &process)); ++attempt) {
        std::fprintf(stderr, "%s %s did not start: error %lu\n", script, command.c_str(),
                     GetLastError());
        Sleep(500);
    }
    if (!started)
        return false;
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

void ProgramSession::start(const std::string &catalogue, bool sound_card, bool watch_exit) {
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = module_folder() + L"\\e2e\\" + widen(test->name());
    for (const wchar_t *sub : {L"\\..", L"", L"\\tmp"})
        CreateDirectoryW((folder_ + sub).c_str(), nullptr);
    for (const wchar_t *old : {L"\\capture.raw", L"\\focused", L"\\asound.conf", L"\\exit-status",
                               L"\\wine-stderr.txt", L"\\tmp\\library.log"})
        DeleteFileW((folder_ + old).c_str());
    if (catalogue.empty()) // the embedded catalogue
        DeleteFileW((folder_ + L"\\tmp\\catalogue.txt").c_str());
    else
        ASSERT_NO_FATAL_FAILURE(write_catalogue(catalogue));

    // The program takes its Unix environment from this one: ALSA_CONFIG_PATH
    // names asound.conf in its working folder, where desktop.sh writes it.
    wchar_t alsa_path[512] = {};
    GetEnvironmentVariableW(L"ALSA_CONFIG_PATH", alsa_path, 512);
    ASSERT_NE(std::wstring(alsa_path).find(L":asound.conf"), std::wstring::npos)
        << "run with ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:asound.conf (ctest sets it)";
    if (sound_card) // a socket's path may not be long
        pulse_dir_ = "/tmp/lorvane-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(GetTickCount());
    ASSERT_TRUE(run_script(sound_card ? "sound-start" : "no-sound", driver::unix_path(folder_),
                           pulse_dir_));
    ASSERT_TRUE(driver::wait_until([&] { return exists(folder_ + L"\\asound.conf"); }, 10000))
        << "no sound device (pulseaudio)";

    SetEnvironmentVariableW(L"WINEDLLOVERRIDES", L"mscoree,mshtml=;winepulse.drv=d"); // ALSA
    if (watch_exit) {
        ASSERT_TRUE(run_script("run-program", driver::unix_path(folder_),
                               driver::unix_path(module_folder() + L"\\lorvane.exe")));
        // The suite runs alone: the only dialog without a title is the program's.
        GetWindowThreadProcessId(driver::wait_for_window(0, "#32770", "", 20000),
                                 &process_.dwProcessId);
        ASSERT_NE(process_.dwProcessId, 0u) << "lorvane.exe did not start";
        process_.hProcess =
            OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                        process_.dwProcessId);
        ASSERT_NE(process_.hProcess, nullptr);
    } else {
        ASSERT_TRUE(spawn(L"\"" + module_folder() + L"\\lorvane.exe\"", folder_.c_str(), &process_))
            << "lorvane.exe did not start: " << GetLastError();
    }
    dialog_ =
        driver::ConnectDialog(driver::wait_for_window(process_.dwProcessId, "#32770", "", 20000));
    ASSERT_NE(dialog_.window, nullptr) << "the connect dialog did not appear";
    ASSERT_TRUE(driver::bring_to_front(dialog_.window));
    // The window manager gives the new window the display's focus on its own
    // time, and Wine then takes the modifier keys' state from the display:
    // keys are typed only once that is over.
    ASSERT_TRUE(run_script("wait-focus", driver::unix_path(folder_ + L"\\focused")));
    ASSERT_TRUE(driver::wait_until([&] { return exists(folder_ + L"\\focused"); }, 15000))
        << "the window manager did not focus the program";
    ASSERT_TRUE(dialog_.focus_reaches(IDC_USERNAME));
}

bool ProgramSession::give_display_focus(HWND window) const {
    const auto x_window = reinterpret_cast<uintptr_t>(GetPropA(window, "__wine_x11_whole_window"));
    const std::wstring done = folder_ + L"\\display-focus";
    DeleteFileW(done.c_str());
    return x_window != 0 && run_script("activate", std::to_string(x_window)) &&
           run_script("wait-focus", driver::unix_path(done), std::to_string(x_window)) &&
           driver::wait_until([&] { return exists(done); }, 15000);
}

void ProgramSession::write_catalogue(const std::string &catalogue) const {
    const std::wstring catalogue_file = folder_ + L"\\tmp\\catalogue.txt";
    FILE *file = _wfopen(catalogue_file.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(catalogue.data(), 1, catalogue.size(), file);
    std::fclose(file);
    ASSERT_EQ(splocal_load_file(driver::unix_path(catalogue_file).c_str()), 0)
        << "the test's catalogue does not read";
}

void ProgramSession::TearDown() {
    if (process_.hProcess != nullptr) {
        TerminateProcess(process_.hProcess, 1); // fails when it has ended
        WaitForSingleObject(process_.hProcess, 5000);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    if (!pulse_dir_.empty())
        run_script("sound-stop", "", pulse_dir_);
}

std::string ProgramSession::message_box(HWND *box, int timeout_ms) const {
    *box = driver::wait_for_window(process_.dwProcessId, "#32770", "Lorvane", timeout_ms);
    return *box != nullptr ? driver::text_of(GetDlgItem(*box, 0xFFFF)) : "";
}

HWND ProgramSession::log_in_and_play(const std::string &user, const std::string &password,
                                     int playlists, int choice, int timeout_ms) const {
    dialog_.log_in(user, password);
    if (!dialog_.wait_for_playlists(playlists, timeout_ms) || !dialog_.choose(choice))
        return nullptr;
    return dialog_.start_playing();
}

void ProgramSession::dismiss(HWND box) const {
    driver::bring_to_front(box);
    driver::press_key(VK_RETURN);
    driver::wait_until([&] { return !IsWindowVisible(box); }, 5000);
}

std::string ProgramSession::unix_exit(int timeout_ms) const {
    std::string status;
    driver::wait_until(
        [&] {
            status = read_file(folder_ + L"\\exit-status");
            return !status.empty();
        },
        timeout_ms, 50);
    return status.substr(0, status.find_last_not_of("\r\n") + 1);
}

std::string ProgramSession::wine_stderr() const {
    return read_file(folder_ + L"\\wine-stderr.txt");
}

std::string ProgramSession::library_log() const {
    return read_file(folder_ + L"\\tmp\\library.log");
}

std::vector<int16_t> read_samples(const std::wstring &path) {
    const std::string bytes = read_file(path);
    std::vector<int16_t> samples(bytes.size() / sizeof(int16_t));
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(int16_t));
    return samples;
}

std::vector<int16_t> ProgramSession::captured() const {
    return read_samples(folder_ + L"\\capture.raw");
}

bool ProgramSession::sound_stops(size_t *size) const {
    *size = captured().size();
    return driver::wait_until(
        [&] {
            const size_t now = captured().size();
            return std::exchange(*size, now) == now;
        },
        3000, 300);
}

std::vector<int16_t> track_audio(int track) {
    const int frames = std::max(splocal_track_pcm(track, nullptr, 0), 0);
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
    splocal_track_pcm(track, samples.data(), frames);
    return samples;
}

::testing::AssertionResult plays_gapless(const std::vector<int16_t> &sound,
                                         const std::vector<int> &tracks, size_t *end) {
    std::vector<int16_t> expected;
    std::vector<size_t> joins; // where each track after the first starts in expected
    for (int track : tracks) {
        if (!expected.empty())
            joins.push_back(expected.size());
        const std::vector<int16_t> audio = track_audio(track);
        expected.insert(expected.end(), audio.begin(), audio.end());
    }
    const long long at = find_from(sound, expected);
    if (at < 0)
        return ::testing::AssertionFailure() << "the first track's first frames were not heard";
    const auto heard =
        std::find_if(sound.begin(), sound.begin() + at, [](int16_t sample) { return sample != 0; });
    if (heard != sound.begin() + at)
        return ::testing::AssertionFailure() << "sound at frame " << (heard - sound.begin()) / 2
                                             << ", before the first track at frame " << at / 2;
    // A device held up (a loaded processor) plays up to 250 ms of silence at
    // a time: passed inside a track, never between two (a late start), near
    // a join within a few samples of a quiet start. The last period written
    // may stay in the device until more follows.
    constexpr size_t kTail = 2 * 4096, kNearAJoin = 2 * 256;
    const auto near_a_join = [&](size_t done) {
        return std::any_of(joins.begin(), joins.end(), [&](size_t join) {
            return done + kNearAJoin >= join && done <= join + kNearAJoin;
        });
    };
    size_t position = static_cast<size_t>(at), done = 0, silence = 0;
    for (; done < expected.size() && position < sound.size(); ++position) {
        if (sound[position] == expected[done]) {
            ++done;
            silence = 0;
        } else if (sound[position] != 0 || ++silence > kHiccup || near_a_join(done)) {
            return ::testing::AssertionFailure()
                   << "at frame " << done / 2 << " of the tracks' " << expected.size() / 2 << ", "
                   << (sound[position] != 0 ? "other sound"
                       : silence > kHiccup  ? "more than 250 ms of silence"
                                            : "silence between two tracks");
        }
    }
    if (done + kTail < expected.size())
        return ::testing::AssertionFailure()
               << done / 2 << " frames of the tracks' " << expected.size() / 2 << " heard";
    if (end != nullptr)
        *end = position + (expected.size() - done); // with the tail still in the device
    return ::testing::AssertionSuccess();
}

std::vector<int16_t> ProgramSession::wait_for_tracks(const std::vector<int> &tracks, int timeout_ms,
                                                     size_t from) const {
    std::vector<int16_t> sound;
    driver::wait_until(
        [&] {
            sound = captured();
            sound.erase(sound.begin(),
                        sound.begin() + static_cast<long long>(std::min(from, sound.size())));
            return plays_gapless(sound, tracks);
        },
        timeout_ms, 200);
    return sound;
}

long long find_from(const std::vector<int16_t> &sound, const std::vector<int16_t> &needle,
                    size_t from) {
    if (needle.size() < 64 || from >= sound.size())
        return -1;
    const auto found = std::search(sound.begin() + static_cast<long long>(from), sound.end(),
                                   needle.begin(), needle.begin() + 64);
    return found == sound.end() ? -1 : found - sound.begin();
}

Followed follow(const std::vector<int16_t> &sound, long long at, const std::vector<int16_t> &track,
                size_t samples, size_t from, uint16_t level) {
    Followed f;
    if (at < 0)
        return f;
    const int slack = level == 0xFFFF ? 0 : kLevelSlack;
    size_t silence = 0;
    for (size_t p = static_cast<size_t>(at);
         p < sound.size() && f.matched < samples && from + f.matched < track.size(); ++p) {
        const int difference = std::abs(sound[p] - at_level(track[from + f.matched], level));
        if (difference <= slack) {
            ++f.matched;
            f.end = p + 1;
            f.worst = std::max(f.worst, difference);
            silence = 0;
        } else if (sound[p] == 0) {
            f.long_silences += ++silence == kHiccup + 1;
            f.longest_silence = std::max(f.longest_silence, silence);
        } else {
            f.other_sound = true;
            break;
        }
    }
    return f;
}

bool ProgramSession::heard(long long at, const std::vector<int16_t> &track, size_t samples,
                           int timeout_ms, size_t from, uint16_t level) const {
    return driver::wait_until(
        [&] { return follow(captured(), at, track, samples, from, level).matched >= samples; },
        timeout_ms, 50);
}

long long ProgramSession::wait_start(const std::vector<int16_t> &track, size_t from,
                                     int timeout_ms) const {
    long long at = -1;
    driver::wait_until([&] { return (at = find_from(captured(), track, from)) >= 0; }, timeout_ms,
                       20);
    return at;
}
