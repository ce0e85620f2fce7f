// The player of one session: a thread that delivers the loaded track
// through music_delivery as fast as the program takes it, and calls
// end_of_track once after the last frame was consumed.
//
// Thread rules: every field below `mutex` is guarded by it; position is
// also atomic for observers. The player thread never holds the mutex while
// calling the program. player_unload (main thread) waits until no callback
// of the unloaded track is running, so that none runs or starts once it
// returns, and until the track's audio source (its open file, and the
// system's decoder with the threads it runs) is gone; called from inside
// music_delivery or end_of_track it does not wait (it would wait for itself).
// player_seek waits the same way for a callback in progress, so that no
// frame from before the seek is delivered once it returns; the source goes
// to the new place on the player thread, where files are read. A seek that
// reads on through a file (a chained Ogg stream's link) does so outside the
// mutex, in steps of a few thousand frames, and between them reads
// `generation` without the mutex: once it has grown the seek stops there, so
// that an unload, a load, another seek or the player's stop waits for one
// step at most, not for the whole seek.
//
// A file track's file is opened on a thread of its own (file_opening.h):
// the player thread waits for it without the mutex, woken through
// `opening` by whatever grows `generation`, so that none of the calls above
// waits for a file that does not answer. An unload or a load lets go of an
// open in progress, whose thread closes what it opened when the system
// returns; a seek keeps it. An open that takes longer than the timeout
// fails its track, which ends as any track whose file cannot be opened.
#ifndef LIBSPOTIFY_SRC_PLAYER_H
#define LIBSPOTIFY_SRC_PLAYER_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <memory>
#include <thread>

#include "catalogue_types.h"

struct sp_session;

namespace music {
class FileOpening;
}

namespace splocal {

struct Player {
    std::mutex mutex;
    std::condition_variable cv;
    bool stopping = false;         // mutex
    bool loaded = false;           // mutex
    bool playing = false;          // mutex
    bool ended = false;            // mutex; end_of_track called or about to be
    bool in_callback = false;      // mutex; a callback of the player is running
    std::atomic<bool> hold{false}; // mutex; a test holds the next delivery or seek step
    bool held = false;             // mutex; a delivery or seek step waits for the hold to end
    bool drained = false;          // mutex; a file track's last frame was taken
    bool has_source = false;       // mutex; the player thread holds a track's audio source
    // Grows with every load, unload and seek, and at the stop: written under
    // the mutex. It and hold are atomic for the steps of a seek, which read
    // them without the mutex (the only reads outside it, on the player
    // thread); whatever they see there is checked again under the mutex.
    std::atomic<uint64_t> generation{0};
    uint64_t load_serial = 0;             // mutex; grows with every load
    int64_t start_frame = 0;              // mutex; where the loaded track plays from
    int track_id = -1;                    // mutex
    SoundDesc sound;                      // mutex
    std::atomic<int64_t> position{0};     // start_frame + frames consumed; written under mutex
    std::shared_ptr<FileOpening> opening; // mutex; the open the player thread waits for
    std::thread thread;
};

void player_start(sp_session *session);
void player_stop(sp_session *session);
void player_load(sp_session *session, int track_id, const SoundDesc &sound);
void player_play(sp_session *session, bool play);
void player_unload(sp_session *session);
// Moves the loaded track to `frame`: the next frame delivered is that frame
// of the track; at or past the end the track ends (end_of_track once).
// False when no track is loaded.
bool player_seek(sp_session *session, int64_t frame);
// Holds the next delivery before it reaches the program (a test hook), or a
// seek that reads on through a file before its next step; an unload, a
// load, the player's stop or hold false lets it go on (the seek then stops
// there, unless hold false let it go on).
void player_hold_delivery(sp_session *session, bool hold);
// The frame of the loaded track the program takes next: the frames it has
// consumed, counted from the last seek's frame.
int64_t player_position(sp_session *session);
// True while the player owes the program an end_of_track.
bool player_pending(sp_session *session);

} // namespace splocal

#endif
