// Opening a track's audio file on a thread of its own, so that whoever
// waits for the open can give up on it: a network share that does not
// answer, or a file system that hangs, blocks that thread alone.
//
// The opening thread holds the open's state with whoever waits for it
// (shared_ptr); the last to let go closes what was opened. A waiter that
// gives up just lets go: when the system finally returns, the thread closes
// the file (and the system's decoder) itself, and nothing it produced is
// used. The thread touches nothing but that state, so it may outlive the
// player that started it.
//
// Threads stuck in the system are bounded: while kMaxStuckOpenings of them
// have not returned, a new open fails at once instead of adding another.
#ifndef MUSIC_LIBRARY_MEDIA_FILE_OPENING_H
#define MUSIC_LIBRARY_MEDIA_FILE_OPENING_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "media/decoder.h"

namespace music {

// How long a track's file may take to open before its track fails. A disk
// that spins up or a share that wakes from sleep answers within a few
// seconds; one that is gone makes the system wait 20 s or more, far longer
// than the second of sound the program keeps queued.
constexpr int kOpenTimeoutMs = 5000;
constexpr int kMaxStuckOpenings = 8;

class FileOpening {
public:
    enum class Wait { kDone, kMovedOn, kTimedOut };

    // Starts opening `path` (open_decoder) on a new thread. Never null: when
    // no thread can be had, the open is done at once, failed.
    static std::shared_ptr<FileOpening> start(const std::string &path);

    // Waits until `moved_on` says true, the open is done, or `deadline`.
    // `moved_on` is asked under this opening's lock whenever wake() is
    // called, so a caller that changes what it reads and then calls wake()
    // is never missed.
    Wait wait(std::chrono::steady_clock::time_point deadline,
              const std::function<bool()> &moved_on);
    void wake();

    // Once done: the decoder, or null with why in `why`.
    std::unique_ptr<Decoder> take(std::string &why);

    // Opening threads still inside the system (for tests).
    static int running();

    explicit FileOpening(std::string path) : path_(std::move(path)) {}
    FileOpening(const FileOpening &) = delete;
    FileOpening &operator=(const FileOpening &) = delete;

private:
    static void run(std::shared_ptr<FileOpening> opening);

    const std::string path_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;                // mutex_
    std::unique_ptr<Decoder> decoder_; // mutex_
    std::string why_;                  // mutex_
};

// A test hook: once held, the next opening thread waits before it touches
// its file, until the hold is released (which lets every one go).
void file_opening_hold(bool hold);
// The opening threads waiting on the hold.
int file_opening_held();
// The time a track's file may take to open; 0 restores kOpenTimeoutMs.
void file_opening_set_timeout(int ms);
int file_opening_timeout_ms();

} // namespace music

#endif
