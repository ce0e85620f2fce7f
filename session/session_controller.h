// The session controller: creation and login, the main loop's per-pass work,
// and the session-level handlers the library calls.
#pragma once

#include <libspotify/api.h>

struct SessionState;

// Creates the session on first use, then requests a login. 1 when the library
// took the request (its outcome comes later through logged_in), 0 otherwise.
int session_connect(SessionState *state, const char *username, const char *password);

// One pass of the main loop: attach the container once logged in, advance when
// asked, run the library's due work. Returns 0 while no session exists, else
// the library's time-out in milliseconds until it wants to run again.
int session_process(SessionState *state);

// The key N: stops the track in the player and drops its queued audio at
// once (session_stop_player), then asks the next pass to move on one
// position. Main thread only. The order of the stop: see
// docs/ARCHITECTURE.md, "Deliberate behaviours".
void session_skip(SessionState *state);

// Space and the Play/Pause key: pauses the sound device at once, or
// resumes it from the frame where it stopped. Nothing else changes: the
// track stays in the player and delivery stops when the queue is full.
// Main thread only.
void session_toggle_pause(SessionState *state);
void session_set_paused(SessionState *state, bool paused);
bool session_is_paused(const SessionState *state);

// The key P: when more than kRestartAfterMs of the track in the player have
// been heard, that track again from its start; otherwise the previous track
// of the playlist (at the first, the first again). Stops the player and
// empties the queue as the key N does; a pause stays. Main thread only.
constexpr unsigned kRestartAfterMs = 3000;
void session_previous(SessionState *state);

void on_logged_in(sp_session *session, sp_error error);
void on_notify_main_thread(sp_session *session);
void on_metadata_updated(sp_session *session);
void on_end_of_track(sp_session *session);

// The library's decoded audio, on its delivering thread: into the session's
// queue through queue_delivery (audio/music_delivery.h), whose result it is.
int on_music_delivery(sp_session *session, const sp_audioformat *format, const void *frames,
                      int num_frames);
// The account started playing elsewhere: drops the queued audio; the track
// stays loaded. On whichever thread the library calls it from.
void on_play_token_lost(sp_session *session);

// Handlers for the slots whose events the program ignores.
void on_ignored(sp_session *session, sp_error error);
void on_ignored(sp_session *session, const char *text);
void on_ignored(sp_playlistcontainer *container, void *userdata);
