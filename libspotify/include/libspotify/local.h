/*
 * The local streaming library's own control API.
 *
 * The library serves one process-wide catalogue: accounts with passwords, each
 * with an ordered container of playlists, and tracks whose audio is
 * synthesized. Tests and the embedded catalogue build it through this API;
 * tests also change it while a session runs. A change never touches the
 * program directly: it is queued in the session and reaches the program
 * through the same callbacks, inside sp_session_process_events, that a
 * change on the server would.
 *
 * Every function here may be called from any thread. Ids are small
 * non-negative integers; -1 means "none" or "failed".
 */
#ifndef LIBSPOTIFY_LOCAL_H
#define LIBSPOTIFY_LOCAL_H

#include <stdint.h>

#include "api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum splocal_sound {
    SPLOCAL_SOUND_TONE = 0,    /* one sine tone; param: frequency in Hz (0: 440) */
    SPLOCAL_SOUND_CHORD = 1,   /* a major triad; param: root frequency in Hz (0: 262) */
    SPLOCAL_SOUND_SWEEP = 2,   /* a rising sweep; param: end frequency in Hz (0: 4000) */
    SPLOCAL_SOUND_DRUMS = 3,   /* kick, snare and hats; param: beats per minute (0: 120) */
    SPLOCAL_SOUND_NOISE = 4,   /* white noise; param: seed */
    SPLOCAL_SOUND_SILENCE = 5, /* all samples 0; param unused */
    SPLOCAL_SOUND_RAMP =
        6 /* sample n of channel c is (n * 2 + c) mod 65536 as int16: every frame distinct */
} splocal_sound;

/* ---- The catalogue ---------------------------------------------------- */

/* Empties the catalogue and restores every setting below to its default. No
 * session may be running. */
SP_LIBEXPORT(void) splocal_reset(void);

/* Replaces the catalogue with the embedded demo catalogue (account "demo",
 * password "demo"). This is what a session serves when nothing else was set
 * up and no catalogue file exists in its settings location. */
SP_LIBEXPORT(void) splocal_load_demo(void);

/* Replaces the catalogue with the one described by a text file (UTF-8 path),
 * all or nothing. Returns 0, or the 1-based number of the first line that
 * could not be read (1 when the file cannot be opened); then the catalogue
 * and every setting stay as they were. Every problem is written to
 * library.log beside the file. The format is described in the README of the
 * library. */
SP_LIBEXPORT(int) splocal_load_file(const char *path);

SP_LIBEXPORT(int) splocal_account_add(const char *username, const char *password);

/* A track exists on its own and may stand in several playlists. Its audio is
 * `frames` frames of interleaved S16 stereo at 44 100 Hz. */
SP_LIBEXPORT(int)
splocal_track_add(const char *artist, const char *title, splocal_sound sound, int param,
                  int frames);

/* Writes up to max_frames frames of the track's audio (exactly what the
 * player delivers for it) to out, stereo interleaved; returns the track's
 * frame count. out may be null to ask for the count alone. A track from an
 * audio file is decoded for this, to its end. */
SP_LIBEXPORT(int) splocal_track_pcm(int track, int16_t *out, int max_frames);

/* ---- Changes; each reaches a running session through its callbacks ----- */

/* Inserts a playlist into the account's container at position (-1: at the
 * end). A logged-in session of that account hears playlist_added; the
 * playlist then loads after the current latency unless held. */
SP_LIBEXPORT(int) splocal_playlist_add(const char *username, const char *name, int position);
SP_LIBEXPORT(void) splocal_playlist_remove(int playlist);
SP_LIBEXPORT(void) splocal_playlist_rename(int playlist, const char *name);

/* While held, a playlist does not finish loading (sp_playlist_is_loaded is
 * false and its tracks do not arrive). Releasing it lets it load. */
SP_LIBEXPORT(void) splocal_playlist_hold_loading(int playlist, int hold);

/* Inserts tracks at position (-1: at the end); removes the tracks at the
 * given positions; moves the tracks at the given positions before
 * new_position (positions as they were before the move). */
SP_LIBEXPORT(void)
splocal_playlist_add_tracks(int playlist, const int *tracks, int count, int position);
SP_LIBEXPORT(void) splocal_playlist_remove_tracks(int playlist, const int *positions, int count);
SP_LIBEXPORT(void)
splocal_playlist_move_tracks(int playlist, const int *positions, int count, int new_position);

SP_LIBEXPORT(void) splocal_track_set_available(int track, int available);
/* A track with SP_ERROR_OTHER_PERMANENT (or any error but OK and IS_LOADING)
 * fails for good: it never loads. */
SP_LIBEXPORT(void) splocal_track_set_error(int track, sp_error error);
/* While held, a track's metadata does not load (sp_track_is_loaded false,
 * sp_track_error SP_ERROR_IS_LOADING); releasing it loads it and the session
 * hears metadata_updated. */
SP_LIBEXPORT(void) splocal_track_hold_metadata(int track, int hold);

/* The account starts playing elsewhere: the session hears play_token_lost. */
SP_LIBEXPORT(void) splocal_lose_play_token(void);

/* Switches that act once; SP_ERROR_OK clears a switch.
 * fail_next_create: the next sp_session_create returns this error.
 * fail_next_login: the next sp_session_login takes the request (returns 0)
 *   and its outcome, logged_in, carries this error.
 * refuse_next_login: the next sp_session_login itself returns this error and
 *   nothing is queued. */
SP_LIBEXPORT(void) splocal_fail_next_create(sp_error error);
SP_LIBEXPORT(void) splocal_fail_next_login(sp_error error);
SP_LIBEXPORT(void) splocal_refuse_next_login(sp_error error);

/* ---- Behaviour of the library ------------------------------------------ */

/* Milliseconds between a request or change and its delivery (default 20).
 * Tests use 0: then every queued piece of work is due at once. */
SP_LIBEXPORT(void) splocal_set_latency(int milliseconds);

/* Frames per music_delivery call (default 1024; 1 to 8192). */
SP_LIBEXPORT(void) splocal_set_chunk_frames(int frames);

/* ---- Live edits ----------------------------------------------------------- */

/* While a session runs, the library follows the catalogue file it serves
 * (and the music folders, playlist files and audio files the file names)
 * through the system's change notifications. A folder that changed is
 * looked at once no change has come for `milliseconds` (default 500, at
 * most 200 count; 0: only when splocal_catalogue_check asks), and again as
 * long as it looks different from the look before; then it is read and
 * reaches the sessions as the changes a server would send. */
SP_LIBEXPORT(void) splocal_set_watch_interval(int milliseconds);

/* Looks at the catalogue file and everything it depends on now, on the
 * caller's thread. With settled
 * non-zero a change is read at once, without waiting for a second look.
 * Returns 0 when nothing changed, 1 when the changes were applied, 2 when a
 * change waits for a second look, -1 when the changed file cannot be used
 * (then the catalogue stays as it was, and the log says why). */
SP_LIBEXPORT(int) splocal_catalogue_check(int settled);

/* How often the library read the listing of `folder` (a path as the
 * catalogue's folders were walked; null: of every folder) from the disk
 * since the catalogue was reset. */
SP_LIBEXPORT(int) splocal_folder_reads(const char *folder);

/* ---- The library's loader ----------------------------------------------- */

/* A session that finds the catalogue empty has the library's own thread read
 * the catalogue file (login outcomes wait for it), walk the music folders
 * (their playlists arrive as changes) and read the files' tags (names
 * arrive through metadata_updated). Waits until that thread has nothing
 * left to do, or waits in a hold. */
SP_LIBEXPORT(void) splocal_catalogue_wait_idle(void);
/* With hold non-zero, the loader stops before it walks a folder or reads a
 * tag, until called again with 0. */
SP_LIBEXPORT(void) splocal_catalogue_hold_loader(int hold);

/* ---- Observation, for tests --------------------------------------------- */

/* Non-zero while the session has queued work (login, loading, metadata,
 * changes, end of track) that has not yet been delivered. */
SP_LIBEXPORT(int) splocal_work_pending(sp_session *session);

/* Catalogue ids of handles given out by the library (-1 for null). */
SP_LIBEXPORT(int) splocal_track_id(sp_track *track);
SP_LIBEXPORT(int) splocal_playlist_id(sp_playlist *playlist);

/* The track loaded in the session's player, or -1. */
SP_LIBEXPORT(int) splocal_player_track(sp_session *session);
/* Non-zero while the session's player has a track loaded and is told to
 * play (sp_session_player_play with 1). */
SP_LIBEXPORT(int) splocal_player_playing(sp_session *session);
/* Frames of the loaded track delivered and consumed so far; the int form
 * stops at INT_MAX (13.5 hours at 44 100 Hz), the 64-bit form does not. */
SP_LIBEXPORT(int) splocal_player_position(sp_session *session);
SP_LIBEXPORT(int64_t) splocal_player_position64(sp_session *session);

/* With hold non-zero, the session's player stops inside its next delivery,
 * just before it calls music_delivery, and waits there: the delivery is in
 * progress, so sp_session_player_unload or _load waits for it. Such an
 * unload or load (or hold 0, or the session's end) lets it go on into the
 * program; the hold acts once. Tests use it to put a delivery in the middle
 * of an operation of the program. A seek that reads on through a file to
 * reach its frame stops before its next step in the same way while held. */
SP_LIBEXPORT(void) splocal_hold_delivery(sp_session *session, int hold);
/* Non-zero while the player waits inside a held delivery. */
SP_LIBEXPORT(int) splocal_delivery_held(sp_session *session);
/* Non-zero while the player is inside a delivery (held or in the program's
 * music_delivery) or another of its calls to the program. */
SP_LIBEXPORT(int) splocal_delivery_running(sp_session *session);

/* With hold non-zero, the next opening of a track's file for play waits,
 * on the thread that opens it and before it touches the file, until
 * splocal_hold_open(0) lets every held open go: the player meanwhile acts
 * as with a file that does not answer. splocal_open_held counts the opens
 * waiting on the hold; splocal_opens_running the threads still opening a file
 * (also those the player has given up on). splocal_set_open_timeout sets
 * how long a file may take to open before its track fails, in
 * milliseconds (0: the default, 5 s). */
SP_LIBEXPORT(void) splocal_hold_open(int hold);
SP_LIBEXPORT(int) splocal_open_held(void);
SP_LIBEXPORT(int) splocal_opens_running(void);
SP_LIBEXPORT(void) splocal_set_open_timeout(int milliseconds);

/* Ends a session: stops its threads and frees it. The program never does
 * this; tests do, between cases. */
SP_LIBEXPORT(void) splocal_session_release(sp_session *session);

#ifdef __cplusplus
}
#endif

#endif /* LIBSPOTIFY_LOCAL_H */
