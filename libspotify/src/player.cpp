// The player thread; see player.h for its rules.
#include "player.h"

#include <chrono>
#include <vector>

#include "catalogue.h"
#include "session.h"

namespace splocal {
namespace {

// How long a refused or partly taken delivery waits before it is offered
// again.
constexpr auto kRetryWait = std::chrono::milliseconds(4);

void player_main(sp_session *session) {
    Player &p = session->player;
    const sp_audioformat format{SP_SAMPLETYPE_INT16_NATIVE_ENDIAN, kSampleRate, kChannels};
    std::vector<int16_t> buffer;
    std::unique_lock<std::mutex> lock(p.mutex);
    while (!p.stopping) {
        if (!p.loaded || !p.playing || p.ended) {
            p.cv.wait(lock);
            continue;
        }
        const uint64_t generation = p.generation;
        const int position = p.position.load();
        const SoundDesc sound = p.sound;
        if (position >= sound.frames) {
            p.ended = true;
            p.in_callback = true;
            lock.unlock();
            if (session->callbacks.end_of_track)
                session->callbacks.end_of_track(session);
            lock.lock();
            p.in_callback = false;
            p.cv.notify_all();
            continue;
        }
        int chunk = catalogue().chunk_frames.load();
        const int count = sound.frames - position < chunk ? sound.frames - position : chunk;
        buffer.resize(static_cast<size_t>(count) * kChannels);
        p.in_callback = true;
        while (p.hold && p.generation == generation && !p.stopping) {
            p.held = true;
            p.cv.wait(lock);
        }
        p.hold = false;
        p.held = false;
        lock.unlock();
        synth_render(sound, position, count, buffer.data());
        const int taken = session->callbacks.music_delivery(session, &format, buffer.data(), count);
        lock.lock();
        p.in_callback = false;
        p.cv.notify_all();
        if (p.generation != generation)
            continue; // unloaded or replaced meanwhile: the delivery is void
        const int consumed = taken < 0 ? 0 : (taken > count ? count : taken);
        p.position.store(position + consumed);
        if (consumed < count) {
            p.cv.wait_for(lock, kRetryWait,
                          [&] { return p.stopping || p.generation != generation; });
        }
    }
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
    }
    if (p.thread.joinable())
        p.thread.join();
}

namespace {

// With the mutex held: forgets the loaded track and waits until no
// callback of it is running (unless called from the player thread).
void unload_locked(Player &p, std::unique_lock<std::mutex> &lock) {
    ++p.generation;
    p.loaded = false;
    p.playing = false;
    p.ended = false;
    p.track_id = -1;
    p.position.store(0);
    p.cv.notify_all();
    if (std::this_thread::get_id() == p.thread.get_id())
        return;
    p.cv.wait(lock, [&] { return !p.in_callback; });
}

} // namespace

void player_load(sp_session *session, int track_id, const SoundDesc &sound) {
    Player &p = session->player;
    std::unique_lock<std::mutex> lock(p.mutex);
    unload_locked(p, lock);
    p.loaded = true;
    p.track_id = track_id;
    p.sound = sound;
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

void player_hold_delivery(sp_session *session, bool hold) {
    Player &p = session->player;
    std::lock_guard<std::mutex> lock(p.mutex);
    p.hold = hold;
    p.cv.notify_all();
}

bool player_pending(sp_session *session) {
    Player &p = session->player;
    std::lock_guard<std::mutex> lock(p.mutex);
    return p.loaded && p.playing && !p.ended && p.position.load() >= p.sound.frames;
}

} // namespace splocal
