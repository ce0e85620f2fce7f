// A track's file opened on a thread of its own; see file_opening.h.
#include "media/file_opening.h"

#include <atomic>
#include <system_error>
#include <thread>

namespace music {
namespace {

std::atomic<int> g_running{0};
std::atomic<int> g_timeout_ms{0}; // 0: kOpenTimeoutMs

struct OpenHold {
    std::mutex mutex;
    std::condition_variable cv;
    bool armed = false;    // mutex; the next opening thread waits
    int held = 0;          // mutex; opening threads waiting now
    uint64_t releases = 0; // mutex; grows with every release
};

OpenHold &open_hold() {
    static OpenHold *const instance = new OpenHold();
    return *instance;
}

void wait_if_held() {
    OpenHold &h = open_hold();
    std::unique_lock<std::mutex> lock(h.mutex);
    if (!h.armed)
        return;
    h.armed = false;
    ++h.held;
    const uint64_t releases = h.releases;
    h.cv.wait(lock, [&] { return h.releases != releases; });
    --h.held;
}

} // namespace

std::shared_ptr<FileOpening> FileOpening::start(const std::string &path) {
    auto opening = std::make_shared<FileOpening>(path);
    const int stuck = g_running.fetch_add(1);
    if (stuck >= kMaxStuckOpenings) {
        --g_running;
        opening->done_ = true;
        opening->why_ =
            "not opened: " + std::to_string(stuck) + " other files have still not answered";
        return opening;
    }
    try {
        std::thread(run, opening).detach();
    } catch (const std::system_error &) {
        --g_running;
        opening->done_ = true;
        opening->why_ = "not opened: no thread could be started to open it";
    }
    return opening;
}

void FileOpening::run(std::shared_ptr<FileOpening> opening) {
    wait_if_held();
    std::string why;
    std::unique_ptr<Decoder> decoder = open_decoder(opening->path_, why);
    {
        std::lock_guard<std::mutex> lock(opening->mutex_);
        opening->decoder_ = std::move(decoder);
        opening->why_ = why;
        opening->done_ = true;
    }
    opening->cv_.notify_all();
    // When the waiter gave up, this is the last hold on the opening: what
    // was opened is closed here, on this thread.
    opening.reset();
    --g_running;
}

FileOpening::Wait FileOpening::wait(std::chrono::steady_clock::time_point deadline,
                                    const std::function<bool()> &moved_on) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // Moved on first: an outcome that came meanwhile may be for nobody.
        if (moved_on())
            return Wait::kMovedOn;
        if (done_)
            return Wait::kDone;
        if (cv_.wait_until(lock, deadline) == std::cv_status::timeout && !done_ && !moved_on())
            return Wait::kTimedOut;
    }
}

void FileOpening::wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    cv_.notify_all();
}

std::unique_ptr<Decoder> FileOpening::take(std::string &why) {
    std::lock_guard<std::mutex> lock(mutex_);
    why = why_;
    return std::move(decoder_);
}

int FileOpening::running() {
    return g_running.load();
}

void file_opening_hold(bool hold) {
    OpenHold &h = open_hold();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.armed = hold;
    if (!hold) {
        ++h.releases;
        h.cv.notify_all();
    }
}

int file_opening_held() {
    OpenHold &h = open_hold();
    std::lock_guard<std::mutex> lock(h.mutex);
    return h.held;
}

void file_opening_set_timeout(int ms) {
    g_timeout_ms.store(ms > 0 ? ms : 0);
}

int file_opening_timeout_ms() {
    const int ms = g_timeout_ms.load();
    return ms > 0 ? ms : kOpenTimeoutMs;
}

} // namespace music
