// The session controller: creation and login, the main loop's per-pass work,
// and the session-level handlers the library calls.
//
// Threads: session_connect and session_process run on the main thread, and
// so do on_logged_in, on_metadata_updated and on_ignored, which the library
// calls only inside sp_session_process_events. on_notify_main_thread and
// on_end_of_track may run on the library's own threads: they only set the
// wake event and advance_pending, never take the session mutex and never
// touch the rest of the record, so they never wait for the main thread.
// on_music_delivery and on_play_token_lost, on the library's threads too,
// touch only the queue. session and container are written on the main
// thread without the lock; login_failed under it (see session_state.h).
#pragma once

#include <libspotify/api.h>

struct SessionState;

// Creates the session on first use, then requests a login. 1 when the library
// took the request (its outcome comes later through logged_in), 0 otherwise.
int session_connect(SessionState *state, const char *username, const char *password);

// One pass of the main loop: attach the container once logged in, advance when
// asked and hold the player while paused (player_controls.h), run the
// library's due work. Returns 0 while no session exists, else
// the library's time-out in milliseconds until it wants to run again.
int session_process(SessionState *state);

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
