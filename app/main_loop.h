// The main thread's only scheduler: waits on the wake event and the message
// queue, runs the session's pass, turns the session's flags into messages for
// the connect dialog, and pumps window messages until WM_QUIT.
//
// Threads: runs on the main thread only, which is also the only thread that
// writes the SessionState's session (session_connect, from the dialog
// procedure this loop dispatches), so the connection check reads it without
// the lock. login_failed and playlists_changed are set by handlers under the
// session mutex; each is read and cleared by the loop under one hold of that
// mutex, with nothing else held, and its message is posted after the release.
//
// Modal loops: while a message handler runs a loop of its own on this thread
// (a menu, a move or size of a window, a message box), this loop makes no
// pass, and a track that ends then would not be followed by the next one. A
// thread timer lives for the length of each drain, where every such loop
// starts: the nested loop dispatches its ticks, and a tick runs a pass when
// the wake event is set or the library's delay has run out. Outside modal
// loops no timer runs, so the loop never polls.
//
// Long drains: the window paints every block the audio thread posts, and
// while painting is slow the posts keep the queue from ever running empty.
// A drain that waited for an empty queue would hold back a track's end until
// the audio ran out, so the same check runs for every message taken from the
// queue, by this loop or by a modal one (a hook on the thread's message
// retrieval); a modal loop's ticks, the lowest of messages, would wait too.
//
// Text: messages are taken and dispatched in their wide form, so that typed
// characters reach the dialog's controls as UTF-16 rather than squeezed
// through the system code page.
#pragma once

struct AppContext;

void run_main_loop(AppContext &context);
