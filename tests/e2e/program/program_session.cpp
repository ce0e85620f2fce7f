#include "program_session.h"

#include <libspotify/local.h>

#include <algorithm>
#include <cstdio>

namespace {

std::wstring module_folder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring test_name() {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    return std::wstring(name.begin(), name.end());
}

void write_file(const std::wstring &path, const std::string &text) {
    FILE *file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

void remove_tree(const std::wstring &folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// This process's environment with some variables replaced, as a block for
// CreateProcessW.
std::wstring environment_with(const std::vector<std::wstring> &changes) {
    std::vector<std::wstring> entries;
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *entry = block; *entry != 0; entry += wcslen(entry) + 1) {
        std::wstring text = entry;
        bool replaced = false;
        for (const std::wstring &change : changes) {
            std::wstring key = change.substr(0, change.find(L'=') + 1);
            if (_wcsnicmp(text.c_str(), key.c_str(), key.size()) == 0) {
                replaced = true;
            }
        }
        if (!replaced) {
            entries.push_back(text);
        }
    }
    FreeEnvironmentStringsW(block);
    entries.insert(entries.end(), changes.begin(), changes.end());
    std::sort(entries.begin(), entries.end(), [](const std::wstring &a, const std::wstring &b) {
        return _wcsicmp(a.c_str(), b.c_str()) < 0;
    });
    std::wstring result;
    for (const std::wstring &entry : entries) {
        result += entry;
        result += L'\0';
    }
    result += L'\0';
    return result;
}

} // namespace

void ProgramSession::start(const std::string &catalogue, SoundDevice device) {
    folder_ = module_folder() + L"\\e2e\\" + test_name();
    remove_tree(folder_);
    CreateDirectoryW((module_folder() + L"\\e2e").c_str(), nullptr);
    CreateDirectoryW(folder_.c_str(), nullptr);
    CreateDirectoryW((folder_ + L"\\work").c_str(), nullptr);
    CreateDirectoryW((folder_ + L"\\work\\tmp").c_str(), nullptr);
    ASSERT_NO_FATAL_FAILURE(write_file(folder_ + L"\\work\\tmp\\catalogue.txt", catalogue));
    ASSERT_EQ(splocal_load_file(driver::unix_path(folder_ + L"\\work\\tmp\\catalogue.txt").c_str()),
              0)
        << "the test's catalogue does not read";

    wchar_t alsa_path[512] = {};
    GetEnvironmentVariableW(L"ALSA_CONFIG_PATH", alsa_path, 512);
    ASSERT_NE(std::wstring(alsa_path).find(L":asound.conf"), std::wstring::npos)
        << "run with ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:asound.conf (ctest sets it)";
    capture_path_ = driver::unix_path(folder_) + "/capture.raw";
    std::string asound;
    if (device == SoundDevice::kCaptureFile) {
        // A private sound server with a null sink takes the samples at the
        // pace of real time, as a sound card would; on their way to it they
        // pass through ALSA's file plugin, which keeps each one.
        ASSERT_NO_FATAL_FAILURE(start_sound_server());
        asound = "pcm.!default { type plug slave.pcm \"capture_file\" }\n"
                 "pcm.capture_file { type file slave.pcm \"paced\" file \"" +
                 capture_path_ +
                 "\" format \"raw\" }\n"
                 "pcm.paced { type pulse server \"unix:" +
                 pulse_dir_ +
                 "/native\" }\n"
                 "ctl.!default { type pulse server \"unix:" +
                 pulse_dir_ + "/native\" }\n";
    } else {
        asound = "pcm.!default { type hw card 97 device 0 }\n"
                 "ctl.!default { type hw card 97 }\n";
    }
    ASSERT_NO_FATAL_FAILURE(write_file(folder_ + L"\\work\\asound.conf", asound));

    // A new Wine process takes its Unix environment from its parent's, not
    // from the Windows one, so the device is set up through a name that is
    // the same for every test: ALSA_CONFIG_PATH (set by the test's runner)
    // lists the system's configuration and "asound.conf", which ALSA reads
    // from the program's working folder, where this test writes it. Its
    // default device replaces the system's. The sound goes through ALSA even
    // where a sound server runs.
    std::wstring environment =
        environment_with({L"WINEDLLOVERRIDES=mscoree,mshtml=;winepulse.drv=d"});
    std::wstring program = module_folder() + L"\\lorvane.exe";
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                               CREATE_UNICODE_ENVIRONMENT, environment.data(),
                               (folder_ + L"\\work").c_str(), &startup, &process_))
        << "lorvane.exe did not start: " << GetLastError();
    dialog_ = driver::wait_for_window(process_.dwProcessId, "#32770", "", 20000);
    ASSERT_NE(dialog_, nullptr) << "the connect dialog did not appear";
    ASSERT_TRUE(driver::bring_to_front(dialog_));
    driver::wait_until([&] { return focus() == item(1002); }, 2000);
}

// Runs a shell script of the test's with the given argument and waits for
// it (Wine's start /unix).
void ProgramSession::run_unix_script(const std::string &name, const std::string &text) {
    ASSERT_NO_FATAL_FAILURE(
        write_file(folder_ + L"\\" + std::wstring(name.begin(), name.end()), text));
    std::string command = "start.exe /wait /unix /bin/sh \"" + driver::unix_path(folder_) + "/" +
                          name + "\" \"" + pulse_dir_ + "\"";
    std::wstring wide_command(command.begin(), command.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, wide_command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << "cannot run " << name;
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void ProgramSession::start_sound_server() {
    // A short folder of its own: a socket's path may not be long.
    pulse_dir_ = "/tmp/lorvane-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(GetTickCount());
    ASSERT_NO_FATAL_FAILURE(run_unix_script(
        "pulse-start.sh",
        "export XDG_RUNTIME_DIR=\"$1\" PULSE_RUNTIME_PATH=\"$1\" HOME=\"$1\"\n"
        "mkdir -p \"$1\"\n"
        "exec pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes "
        "--log-target=file:\"$1/log\" "
        "--load=\"module-null-sink sink_name=cap rate=44100 format=s16le channels=2\" "
        "--load=\"module-native-protocol-unix socket=$1/native auth-anonymous=1\" "
        ">/dev/null 2>&1 </dev/null\n"));
    sound_server_ = true;
    ASSERT_TRUE(driver::wait_until(
        [&] {
            std::wstring socket =
                L"Z:" + std::wstring(pulse_dir_.begin(), pulse_dir_.end()) + L"/pid";
            return GetFileAttributesW(socket.c_str()) != INVALID_FILE_ATTRIBUTES;
        },
        10000))
        << "the sound server did not start (pulseaudio)";
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
    if (sound_server_) {
        run_unix_script("pulse-stop.sh",
                        "export XDG_RUNTIME_DIR=\"$1\" PULSE_RUNTIME_PATH=\"$1\" "
                        "HOME=\"$1\"\npulseaudio -k >/dev/null 2>&1\nsleep 0.2\nrm -rf \"$1\"\n");
    }
}

HWND ProgramSession::focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(process_.dwThreadId, &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

HWND ProgramSession::wait_for_message_box(int timeout_ms) const {
    return driver::wait_for_window(process_.dwProcessId, "#32770", "Lorvane", timeout_ms);
}

std::string ProgramSession::message_box_text(HWND box) const {
    return driver::text_of(GetDlgItem(box, 0xFFFF));
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

bool ProgramSession::wait_for_playlists(int count, int timeout_ms) {
    return driver::wait_until(
        [&] {
            return enabled(1004) && enabled(1005) &&
                   SendMessageA(item(1004), CB_GETCOUNT, 0, 0) == count;
        },
        timeout_ms);
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
    driver::click(item(1004)); // opens the list
    Sleep(100);
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

bool ProgramSession::running() const {
    return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

int ProgramSession::wait_for_exit(int timeout_ms) {
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<int>(code);
}

std::vector<int16_t> ProgramSession::captured() const {
    std::vector<int16_t> samples;
    FILE *file = _wfopen((folder_ + L"\\capture.raw").c_str(), L"rb");
    if (file == nullptr) {
        return samples;
    }
    int16_t buffer[4096];
    size_t read = 0;
    while ((read = std::fread(buffer, sizeof buffer[0], 4096, file)) > 0) {
        samples.insert(samples.end(), buffer, buffer + read);
    }
    std::fclose(file);
    return samples;
}

std::vector<int16_t> ProgramSession::track_audio(int track) const {
    int frames = splocal_track_pcm(track, nullptr, 0);
    std::vector<int16_t> samples(static_cast<size_t>(frames > 0 ? frames : 0) * 2);
    if (frames > 0) {
        splocal_track_pcm(track, samples.data(), frames);
    }
    return samples;
}

long long find_samples(const std::vector<int16_t> &haystack, const std::vector<int16_t> &needle,
                       size_t from) {
    if (needle.empty() || haystack.size() < needle.size()) {
        return -1;
    }
    auto found = std::search(haystack.begin() + static_cast<long long>(from), haystack.end(),
                             needle.begin(), needle.end());
    return found == haystack.end() ? -1 : found - haystack.begin();
}
