// The player thread; see player.h for its rules.
#include "player.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/library_log.h"
#include "session.h"
#include "media/file_opening.h"
#include "media/track_source.h"
#include "libspotify/local.h"

namespace splocal {
namespace {

// How long a refused or partly taken delivery waits before it is offered
// again.
constexpr auto kRetryWait = std::chrono::milliseconds(4);

std::string open_timeout_text(int ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// An audio file that stopped early or could not be opened: its line goes to
// the library's log and to the session's log_message. Call without locks.
void tell_file_failure(sp_session *session, const std::string &file, const std::string &why) {
    Work work;
    work.kind = WorkKind::Log;
    work.text = log_file_failure(file, why);
    session_enqueue(session, std::move(work));
}

// With the mutex held: wakes the player thread where it waits for a file to
// open, after `generation` grew.
void wake_opening(Player &p) {
    if (p.opening)
        p.opening->wake();
}

void player_main(sp_session *session) {
    Player &p = session->player;
    const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, kSampleRate, kChannels};
    // Player thread only: the loaded track's audio, and the frames rendered
    // from it that the program has not taken yet.
    uint64_t source_generation = 0; // the generation the source was sought for
    // Between the steps of a seek reading on through a file: whether the
    // player has moved on since (read without the mutex). A test's hold
    // stops the seek here first, as it would a delivery.
    const SeekCancel moved_on = [&p, &source_generation] {
        if (p.generation.load() != source_generation)
            return true;
        if (!p.hold.load())
            return false;
        std::unique_lock<std::mutex> lock(p.mutex);
        while (p.hold && p.generation == source_generation && !p.stopping) {
            p.held = true;
            p.cv.wait(lock);
        }
        p.hold = false;
        p.held = false;
        return p.generation != source_generation;
    };
    std::unique_ptr<TrackSource> source;
    // The open of the source's file while it is in progress, shared with
    // p.opening; let go with the source (its thread closes the file).
    std::shared_ptr<FileOpening> opening;
    std::chrono::steady_clock::time_point opening_deadline;
    uint64_t source_load = 0;
    std::string source_file;   // the loaded track's file, if it is one
    bool failure_told = false; // the file's failure went to the log
    // Outside the mutex: a file that turned bad, or never opened, ends its
    // track; the program hears the end as for any other track.
    const auto tell_failure = [&] {
        if (source->finished() && !source->failure().empty() && !failure_told) {
            failure_told = true;
            tell_file_failure(session, source_file, source->failure());
        }
    };
    std::vector<int16_t> pending;
    size_t pending_at = 0; // frames of `pending` already taken
    std::vector<int16_t> rendered;
    std::unique_lock<std::mutex> lock(p.mutex);
    // Lets go of the open outside the mutex: when its thread has returned,
    // this closes what it opened.
    const auto let_go_opening = [&] {
        std::shared_ptr<FileOpening> gone = std::move(opening);
        p.opening.reset();
        lock.unlock();
        gone.reset();
        lock.lock();
    };
    while (!p.stopping) {
        if (!p.loaded && source) {
            // An unloaded track lets go of its file, and of the system's
            // decoder with its threads, before the unload returns.
            std::unique_ptr<TrackSource> gone = std::move(source);
            let_go_opening();
            lock.unlock();
            gone.reset();
            lock.lock();
            p.has_source = false;
            p.cv.notify_all();
            continue;
        }
        if (!p.loaded || !p.playing || p.ended) {
            p.cv.wait(lock);
            continue;
        }
        const uint64_t generation = p.generation;
        if (opening && source_load != p.load_serial) {
            // A load from inside a callback, which does not wait for the
            // source to go: the new track must not take the old one's open.
            let_go_opening();
            continue;
        }
        if (!source || source_load != p.load_serial) {
            source = std::make_unique<TrackSource>(p.sound, moved_on);
            p.has_source = true;
            source_load = p.load_serial;
            source_generation = 0;
            source_file = p.sound.file;
            failure_told = false;
        }
        if (source_generation != generation) {
            // A load or a seek: the source goes to the start frame (a file
            // is read there, outside the lock), and nothing rendered before
            // is delivered.
            source_generation = generation;
            pending.clear();
            pending_at = 0;
            const int64_t start = p.start_frame;
            lock.unlock();
            source->seek(start);
            lock.lock();
            if (p.generation != generation)
                continue;
        }
        if (source->needs_open()) {
            // Waited for without the mutex and without blocking on the file;
            // a seek meanwhile comes back here to the same open.
            if (!opening) {
                opening = FileOpening::start(source_file);
                p.opening = opening;
                opening_deadline = std::chrono::steady_clock::now() +
                                   std::chrono::milliseconds(file_opening_timeout_ms());
            }
            const std::shared_ptr<FileOpening> waiting = opening;
            lock.unlock();
            const FileOpening::Wait waited = waiting->wait(
                opening_deadline, [&p, generation] { return p.generation.load() != generation; });
            if (waited != FileOpening::Wait::kMovedOn) {
                std::string why;
                std::unique_ptr<Decoder> decoder;
                if (waited == FileOpening::Wait::kDone)
                    decoder = waiting->take(why);
                else
                    why = "did not open within " + open_timeout_text(file_opening_timeout_ms());
                source->opened(std::move(decoder), why); // seeks a file that opened
                tell_failure();
            }
            lock.lock();
            if (waited != FileOpening::Wait::kMovedOn)
                let_go_opening();
            continue; // whatever changed meanwhile (a pause too) counts
        }
        const int chunk = catalogue().chunk_frames.load();
        int left = static_cast<int>(pending.size() / kChannels - pending_at);
        if (left < chunk && !source->finished()) {
            // Topped up to a whole chunk from the first frame not taken;
            // rendering and decoding happen outside the lock.
            pending.erase(pending.begin(),
                          pending.begin() + static_cast<std::ptrdiff_t>(pending_at * kChannels));
            pending_at = 0;
            rendered.resize(static_cast<size_t>(chunk - left) * kChannels);
            lock.unlock();
            const int count = source->render(rendered.data(), chunk - left);
            for (const std::string &note : source->take_notes())
                tell_file_failure(session, source_file, note);
            tell_failure();
            lock.lock();
            if (p.generation != generation)
                continue;
            pending.insert(pending.end(), rendered.begin(), rendered.begin() + count * kChannels);
            left += count;
        }
        if (left == 0) {
            p.ended = true;
            p.drained = false;
            p.in_callback = true;
            lock.unlock();
            if (session->callbacks.end_of_track)
                session->callbacks.end_of_track(session);
            lock.lock();
            p.in_callback = false;
            p.cv.notify_all();
            continue;
        }
        const int count = left < chunk ? left : chunk;
        const int64_t position = p.position.load();
        p.in_callback = true;
        while (p.hold && p.generation == generation && !p.stopping) {
            p.held = true;
            p.cv.wait(lock);
        }
        p.hold = false;
        p.held = false;
        lock.unlock();
        const int taken = session->callbacks.music_delivery(
            session, &format, pending.data() + pending_at * kChannels, count);
        lock.lock();
        p.in_callback = false;
        p.cv.notify_all();
        if (p.generation != generation)
            continue; // unloaded or replaced meanwhile: the delivery is void
        const int consumed = taken < 0 ? 0 : (taken > count ? count : taken);
        p.position.store(position + consumed);
        pending_at += static_cast<size_t>(consumed);
        p.drained = pending_at * kChannels >= pending.size() && source->finished();
        if (consumed < count) {
            p.cv.wait_for(lock, kRetryWait,
                          [&] { return p.stopping || p.generation != generation; });
        }
    }
    let_go_opening();
}

} // namespace

void player_start(sp_session *session) {
    session->player.thread = std::thread(player_main, session);
}

void player_stop(sp_session *session) {
    Player &p = session->player;
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        p.stopping = true;
        ++p.generation;
        p.cv.notify_all();
        wake_opening(p);
    }
    if (p.thread.joinable())
        p.thread.join();
}

namespace {

// With the mutex held: forgets the loaded track and waits until no
// callback of it is running and its source is gone (unless called from the
// player thread, which lets the source go once the callback returns).
void unload_locked(Player &p, std::unique_lock<std::mutex> &lock) {
    ++p.generation;
    p.loaded = false;
    p.playing = false;
    p.ended = false;
    p.track_id = -1;
    p.drained = false;
    p.position.store(0);
    p.cv.notify_all();
    wake_opening(p);
    if (std::this_thread::get_id() == p.thread.get_id())
        return;
    p.cv.wait(lock, [&] { return !p.in_callback && (!p.has_source || p.stopping); });
}

} // namespace

void player_load(sp_session *session, int track_id, const SoundDesc &sound) {
    Player &p = session->player;
    std::unique_lock<std::mutex> lock(p.mutex);
    unload_locked(p, lock);
    p.loaded = true;
    p.track_id = track_id;
    p.sound = sound;
    p.start_frame = 0;
    ++p.load_serial;
}

void player_play(sp_session *session, bool play) {
    Player &p = session->player;
    std::lock_guard<std::mutex> lock(p.mutex);
    p.playing = play && p.loaded;
    p.cv.notify_all();
}

void player_unload(sp_session *session) {
    Player &p = session->player;
    std::unique_lock<std::mutex> lock(p.mutex);
    unload_locked(p, lock);
}

bool player_seek(sp_session *session, int64_t frame) {
    Player &p = session->player;
    std::unique_lock<std::mutex> lock(p.mutex);
    if (!p.loaded || frame < 0)
        return false;
    if (p.sound.file.empty() && frame > p.sound.frames)
        frame = p.sound.frames;
    ++p.generation;
    p.start_frame = frame;
    p.ended = false;
    p.drained = false;
    p.position.store(frame);
    p.cv.notify_all();
    wake_opening(p);
    if (std::this_thread::get_id() != p.thread.get_id())
        p.cv.wait(lock, [&] { return !p.in_callback || p.stopping; });
    return true;
}

void player_hold_delivery(sp_session *session, bool hold) {
    Player &p = session->player;
    std::lock_guard<std::mutex> lock(p.mutex);
    p.hold = hold;
    p.cv.notify_all();
}

int64_t player_position(sp_session *session) {
    return session->player.position.load();
}

bool player_pending(sp_session *session) {
    Player &p = session->player;
    std::lock_guard<std::mutex> lock(p.mutex);
    if (!p.loaded || !p.playing || p.ended)
        return false;
    return p.sound.file.empty() ? p.position.load() >= p.sound.frames : p.drained;
}

} // namespace splocal

sp_error sp_session_player_seek(sp_session *session, int offset) {
    if (!session || offset < 0)
        return SP_ERROR_INVALID_INDATA;
    const int64_t frame = static_cast<int64_t>(offset) * splocal::kSampleRate / 1000;
    return splocal::player_seek(session, frame) ? SP_ERROR_OK : SP_ERROR_INVALID_INDATA;
}

int64_t splocal_player_position64(sp_session *session) {
    return session ? splocal::player_position(session) : 0;
}
