// The wave-out device of the native build: plays into memory at a pace the
// tests choose and returns buffers as winmm does (posix_wave_out.h).
//
// Threads: the program's thread calls waveOut*; a device's pacing thread
// plays its buffers (unless the pace is manual, when the test's thread plays
// them in posix_wave_out_step); tests call the controls from any thread.
// Every field of a Device is guarded by its lock, every field of the
// Registry by the registry's lock; the registry lock may be held when a
// device lock is taken, never the other way round. Devices and the registry
// are never destroyed, so that a program thread parked on a halted device
// (and the leak check at exit) still finds everything it points to.
//
// The one access made outside these locks is the winmm contract itself: the
// device sets WHDR_DONE in a header that the program reads without any
// synchronisation after its event wakes it, as it does with the real device.
// That store is atomic, and hidden from the race detector, which would
// otherwise flag every poll of dwFlags.

#include <mmsystem.h>
#include <posix_wave_out.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#if defined(__SANITIZE_THREAD__)
#define LORVANE_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LORVANE_TSAN 1
#endif
#endif

#ifdef LORVANE_TSAN
extern "C" void AnnotateIgnoreWritesBegin(const char *file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char *file, int line);
#endif

namespace {

constexpr MMRESULT wave_error_bad_format = 32; // WAVERR_BADFORMAT

using Clock = std::chrono::steady_clock;

struct Settings {
    unsigned pace = POSIX_WAVE_OUT_REAL_TIME;
    unsigned batch = 1;
    unsigned hold_percent = 0;
    unsigned seed = 1;
    bool recording = true;
};

struct Device {
    std::mutex lock;
    std::condition_variable changed;       // signalled on writes, plays, halt and settings
    Settings settings;                     // guarded by lock
    WAVEFORMATEX format{};                 // set before the device is shared
    HANDLE event = nullptr;                // set before the device is shared
    std::deque<WAVEHDR *> queued;          // guarded by lock: written, not played
    std::vector<WAVEHDR *> pending;        // guarded by lock: played, not returned
    size_t eligible = 0;                   // guarded by lock: pending and not held back
    std::vector<PosixWaveOutWrite> writes; // guarded by lock
    std::vector<unsigned char> played;     // guarded by lock (when recording)
    size_t played_bytes = 0;               // guarded by lock
    bool halted = false;                   // guarded by lock
    bool paused = false;                   // guarded by lock: waveOutPause, until waveOutRestart
    size_t pauses = 0;                     // guarded by lock: waveOutPause calls
    DWORD volume = 0xFFFFFFFFu;            // guarded by lock: waveOutSetVolume
    std::mt19937 random;                   // guarded by lock
    std::thread pacer;                     // started at open, joined by the first halt
};

struct Registry {
    std::mutex lock;
    std::condition_variable opened;          // signalled when a device opens
    Settings settings;                       // guarded by lock: for devices opened later
    MMRESULT open_result = MMSYSERR_NOERROR; // guarded by lock
    size_t opens = 0;                        // guarded by lock
    PosixWaveOutOpen last_open{};            // guarded by lock
    Device *current = nullptr;               // guarded by lock
    std::vector<Device *> all;               // guarded by lock: every device ever opened
    // Guarded by lock: every callback event ever given to waveOutOpen. A
    // thread whose open failed ends without closing its event; keeping it
    // here keeps it reachable, as the system would.
    std::vector<DWORD_PTR> callbacks;
};

// Never destroyed: a parked program thread may use a device during exit.
Registry *const registry = new Registry;
std::atomic<size_t> misuses{0};

MMRESULT misuse(MMRESULT result) {
    misuses.fetch_add(1);
    return result;
}

Device *device_of(HWAVEOUT handle) {
    auto *device = reinterpret_cast<Device *>(handle);
    std::lock_guard<std::mutex> guard(registry->lock);
    if (std::find(registry->all.begin(), registry->all.end(), device) == registry->all.end())
        return nullptr;
    return device;
}

Device *current_device() {
    std::lock_guard<std::mutex> guard(registry->lock);
    return registry->current;
}

void mark_done(WAVEHDR *header) {
    std::atomic_ref<DWORD> flags(header->dwFlags);
#ifdef LORVANE_TSAN
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
#endif
    flags.store((flags.load(std::memory_order_relaxed) & ~WHDR_INQUEUE) | WHDR_DONE,
                std::memory_order_release);
#ifdef LORVANE_TSAN
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
#endif
}

// Returns every played buffer, held back or not, in a random order, with
// one signal. device.lock is held.
void return_pending(Device &device) {
    if (device.pending.empty())
        return;
    std::shuffle(device.pending.begin(), device.pending.end(), device.random);
    for (WAVEHDR *header : device.pending)
        mark_done(header);
    device.pending.clear();
    device.eligible = 0;
    SetEvent(device.event);
}

// Plays the oldest written buffer and returns buffers under the rules.
// device.lock is held.
void play_one(Device &device) {
    WAVEHDR *header = device.queued.front();
    device.queued.pop_front();
    const auto *bytes = reinterpret_cast<const unsigned char *>(header->lpData);
    if (device.settings.recording && header->dwBufferLength)
        device.played.insert(device.played.end(), bytes, bytes + header->dwBufferLength);
    device.played_bytes += header->dwBufferLength;
    device.pending.push_back(header);
    const bool held =
        device.settings.hold_percent > 0 && device.random() % 100 < device.settings.hold_percent;
    if (!held)
        ++device.eligible;
    // A device with nothing left to play gives everything back.
    if (device.eligible >= std::max(1u, device.settings.batch) || device.queued.empty())
        return_pending(device);
    device.changed.notify_all();
}

Clock::duration play_time(const Device &device, const WAVEHDR &header) {
    const unsigned pace = device.settings.pace;
    if (pace == POSIX_WAVE_OUT_UNPACED || pace == POSIX_WAVE_OUT_MANUAL ||
        device.format.nAvgBytesPerSec == 0)
        return Clock::duration::zero();
    const double seconds = static_cast<double>(header.dwBufferLength) /
                           static_cast<double>(device.format.nAvgBytesPerSec) / pace;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void pace_device(Device *device) {
    std::unique_lock<std::mutex> lock(device->lock);
    for (;;) {
        device->changed.wait(lock, [&] {
            return device->halted || (!device->queued.empty() && !device->paused &&
                                      device->settings.pace != POSIX_WAVE_OUT_MANUAL);
        });
        if (device->halted)
            return;
        // A pause during a buffer's time holds it; it is played whole after
        // the restart.
        const Clock::duration time = play_time(*device, *device->queued.front());
        if (time > Clock::duration::zero() &&
            device->changed.wait_for(lock, time, [&] { return device->halted || device->paused; }))
            continue;
        if (!device->queued.empty() && !device->paused &&
            device->settings.pace != POSIX_WAVE_OUT_MANUAL)
            play_one(*device);
    }
}

void halt(Device *device) {
    if (!device)
        return;
    std::thread pacer;
    {
        std::lock_guard<std::mutex> guard(device->lock);
        device->halted = true;
        pacer = std::move(device->pacer);
        device->changed.notify_all();
    }
    if (pacer.joinable())
        pacer.join();
}

bool format_is_valid(const WAVEFORMATEX &format) {
    return format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels != 0 &&
           format.nSamplesPerSec != 0 &&
           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
           format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8 &&
           format.nAvgBytesPerSec == format.nSamplesPerSec * format.nBlockAlign;
}

// Waits until a device is open, up to deadline.
Device *wait_for_device(Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(registry->lock);
    registry->opened.wait_until(lock, deadline, [] { return registry->current != nullptr; });
    return registry->current;
}

template <typename Done> bool wait_on_device(DWORD timeout_ms, Done done) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    Device *device = wait_for_device(deadline);
    if (!device)
        return false;
    std::unique_lock<std::mutex> lock(device->lock);
    return device->changed.wait_until(lock, deadline, [&] { return done(*device); });
}

// The checks every header operation makes first: a device opened here, a
// header, and the header size the real winmm insists on. Misuse is counted.
MMRESULT check_header_call(HWAVEOUT handle, const WAVEHDR *header, UINT size, Device **device) {
    *device = device_of(handle);
    if (!*device)
        return misuse(MMSYSERR_INVALHANDLE);
    if (!header || size != sizeof(WAVEHDR))
        return misuse(MMSYSERR_INVALPARAM);
    return MMSYSERR_NOERROR;
}

} // namespace

extern "C" {

MMRESULT waveOutOpen(LPHWAVEOUT handle, UINT device_id, LPCWAVEFORMATEX format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags) {
    std::unique_lock<std::mutex> lock(registry->lock);
    ++registry->opens;
    PosixWaveOutOpen &call = registry->last_open;
    call = PosixWaveOutOpen{};
    call.device_id = device_id;
    if (format)
        call.format = *format;
    call.callback = callback;
    call.instance = instance;
    call.flags = flags;
    call.result = registry->open_result;
    registry->callbacks.push_back(callback);
    if (call.result == MMSYSERR_NOERROR &&
        (!handle || !format || flags != CALLBACK_EVENT || !callback))
        call.result = MMSYSERR_INVALPARAM;
    if (call.result == MMSYSERR_NOERROR && !format_is_valid(*format))
        call.result = wave_error_bad_format;
    if (call.result != MMSYSERR_NOERROR)
        return call.result;

    auto *device = new Device;
    device->settings = registry->settings;
    device->random.seed(device->settings.seed);
    device->format = *format;
    device->event = reinterpret_cast<HANDLE>(callback);
    device->pacer = std::thread(pace_device, device);
    registry->all.push_back(device);
    registry->current = device;
    registry->opened.notify_all();
    lock.unlock();

    *handle = reinterpret_cast<HWAVEOUT>(device);
    SetEvent(device->event); // the open is reported like every return
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
    Device *device = nullptr;
    if (const MMRESULT bad = check_header_call(handle, header, size, &device))
        return bad;
    std::lock_guard<std::mutex> guard(device->lock);
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
    Device *device = nullptr;
    if (const MMRESULT bad = check_header_call(handle, header, size, &device))
        return bad;
    std::lock_guard<std::mutex> guard(device->lock);
    if (!(header->dwFlags & WHDR_PREPARED))
        return misuse(WAVERR_UNPREPARED);
    if (header->dwFlags & WHDR_INQUEUE)
        return misuse(WAVERR_STILLPLAYING);
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    device->queued.push_back(header);
    device->writes.push_back(PosixWaveOutWrite{header->lpData, header->dwBufferLength});
    device->changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
    Device *device = nullptr;
    if (const MMRESULT bad = check_header_call(handle, header, size, &device))
        return bad;
    std::lock_guard<std::mutex> guard(device->lock);
    if (header->dwFlags & WHDR_INQUEUE)
        return misuse(WAVERR_STILLPLAYING);
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT handle) {
    Device *device = device_of(handle);
    if (!device)
        return misuse(MMSYSERR_INVALHANDLE);
    std::lock_guard<std::mutex> guard(device->lock);
    for (WAVEHDR *header : device->queued)
        device->pending.push_back(header);
    device->queued.clear();
    return_pending(*device);
    device->changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPause(HWAVEOUT handle) {
    Device *device = device_of(handle);
    if (!device)
        return misuse(MMSYSERR_INVALHANDLE);
    std::lock_guard<std::mutex> guard(device->lock);
    device->paused = true;
    ++device->pauses;
    device->changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutRestart(HWAVEOUT handle) {
    Device *device = device_of(handle);
    if (!device)
        return misuse(MMSYSERR_INVALHANDLE);
    std::lock_guard<std::mutex> guard(device->lock);
    device->paused = false;
    device->changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT handle, DWORD volume) {
    Device *device = device_of(handle);
    if (!device)
        return misuse(MMSYSERR_INVALHANDLE);
    std::lock_guard<std::mutex> guard(device->lock);
    device->volume = volume;
    device->changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT handle) {
    Device *device = device_of(handle);
    if (!device)
        return misuse(MMSYSERR_INVALHANDLE);
    {
        std::lock_guard<std::mutex> guard(device->lock);
        if (!device->queued.empty() || !device->pending.empty())
            return WAVERR_STILLPLAYING;
    }
    halt(device);
    SetEvent(device->event);
    return MMSYSERR_NOERROR;
}

void posix_wave_out_set_pace(unsigned times_real_time) {
    std::lock_guard<std::mutex> guard(registry->lock);
    registry->settings.pace = times_real_time;
    if (Device *device = registry->current) {
        std::lock_guard<std::mutex> device_guard(device->lock);
        device->settings.pace = times_real_time;
        device->changed.notify_all();
    }
}

void posix_wave_out_set_open_result(MMRESULT result) {
    std::lock_guard<std::mutex> guard(registry->lock);
    registry->open_result = result;
}

void posix_wave_out_set_returns(unsigned batch, unsigned hold_percent, unsigned seed) {
    std::lock_guard<std::mutex> guard(registry->lock);
    Settings &settings = registry->settings;
    settings.batch = std::max(1u, batch);
    settings.hold_percent = std::min(100u, hold_percent);
    settings.seed = seed;
    if (Device *device = registry->current) {
        std::lock_guard<std::mutex> device_guard(device->lock);
        device->settings.batch = settings.batch;
        device->settings.hold_percent = settings.hold_percent;
        device->settings.seed = seed;
        device->random.seed(seed);
    }
}

void posix_wave_out_set_recording(int keep) {
    std::lock_guard<std::mutex> guard(registry->lock);
    registry->settings.recording = keep != 0;
    if (Device *device = registry->current) {
        std::lock_guard<std::mutex> device_guard(device->lock);
        device->settings.recording = keep != 0;
    }
}

size_t posix_wave_out_step(size_t count, DWORD timeout_ms) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    Device *device = wait_for_device(deadline);
    if (!device)
        return 0;
    std::unique_lock<std::mutex> lock(device->lock);
    device->changed.wait_until(lock, deadline,
                               [&] { return device->halted || device->queued.size() >= count; });
    size_t played = 0;
    while (!device->halted && !device->paused && played < count && !device->queued.empty()) {
        play_one(*device);
        ++played;
    }
    return played;
}

void posix_wave_out_halt(void) {
    halt(current_device());
}

void posix_wave_out_reset(void) {
    Device *device = nullptr;
    {
        std::lock_guard<std::mutex> guard(registry->lock);
        device = registry->current;
        registry->current = nullptr;
        registry->settings = Settings{};
        registry->open_result = MMSYSERR_NOERROR;
        registry->opens = 0;
        registry->last_open = PosixWaveOutOpen{};
    }
    halt(device);
    misuses.store(0);
}

size_t posix_wave_out_opens(PosixWaveOutOpen *out) {
    std::lock_guard<std::mutex> guard(registry->lock);
    if (out && registry->opens)
        *out = registry->last_open;
    return registry->opens;
}

size_t posix_wave_out_writes(PosixWaveOutWrite *out, size_t max) {
    Device *device = current_device();
    if (!device)
        return 0;
    std::lock_guard<std::mutex> guard(device->lock);
    if (out)
        std::copy_n(device->writes.begin(), std::min(max, device->writes.size()), out);
    return device->writes.size();
}

size_t posix_wave_out_played(void *out, size_t max) {
    Device *device = current_device();
    if (!device)
        return 0;
    std::lock_guard<std::mutex> guard(device->lock);
    if (out)
        std::memcpy(out, device->played.data(), std::min(max, device->played.size()));
    return device->played_bytes;
}

int posix_wave_out_wait_played(size_t bytes, DWORD timeout_ms) {
    return wait_on_device(timeout_ms,
                          [&](const Device &device) { return device.played_bytes >= bytes; });
}

int posix_wave_out_wait_writes(size_t count, DWORD timeout_ms) {
    return wait_on_device(timeout_ms,
                          [&](const Device &device) { return device.writes.size() >= count; });
}

int posix_wave_out_wait_paused(int paused, DWORD timeout_ms) {
    return wait_on_device(timeout_ms,
                          [&](const Device &device) { return device.paused == (paused != 0); });
}

size_t posix_wave_out_pauses(void) {
    Device *device = current_device();
    if (!device)
        return 0;
    std::lock_guard<std::mutex> guard(device->lock);
    return device->pauses;
}

DWORD posix_wave_out_volume(void) {
    Device *device = current_device();
    if (!device)
        return 0xFFFFFFFFu;
    std::lock_guard<std::mutex> guard(device->lock);
    return device->volume;
}

size_t posix_wave_out_misuses(void) {
    return misuses.load();
}

} // extern "C"
