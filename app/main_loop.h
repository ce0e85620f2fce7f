// The main thread's only scheduler: waits on the wake event and the message
// queue, runs the session's pass, turns the session's flags into messages for
// the connect dialog, and pumps window messages until WM_QUIT.
#pragma once

struct AppContext;

void run_main_loop(AppContext &context);
