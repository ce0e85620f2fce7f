// The program's entry point: builds the process-wide objects in a fixed
// order, ties them together in the AppContext, starts the audio output thread
// and runs the main loop until the user quits. Once the session may exist,
// what is made here lives until the process ends, as the library's threads
// still use it while the process exits; only the player is stopped on the
// way out.
#include <windows.h>

#include "app/main_loop.h"
#include "audio/audio_output.h"
#include "audio/pcm_queue.h"
#include "platform/win32_owners.h"
#include "session/playlist_following.h"
#include "session/session_state.h"
#include "ui/app_context.h"
#include "ui/main_window.h"
#include "visual/histogram_visualizer.h"

#include <new>

namespace {

void report_start_failure() {
    MessageBoxA(nullptr, "Application failed to initialize.", "Lorvane", MB_ICONWARNING);
}

// The visualiser's constructor throws when its bins cannot be allocated; no
// exception leaves this function.
HistogramVisualizer *make_visualizer() {
    try {
        return new HistogramVisualizer();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
                   int show_command) {
    // None of the arguments is used: the program's own module stands for the
    // instance, and windows are shown with SW_SHOW whatever was asked.
    (void)instance;
    (void)previous_instance;
    (void)command_line;
    (void)show_command;

    // The one queue, beside the context. The audio output thread initialises
    // it when it starts and nothing touches it before. It has static storage
    // rather than a place in this frame because that thread still runs while
    // the process exits after this function has returned.
    static PcmQueue queue;
    AppContext context = {};

    // Closed on a failed start, before any session exists to set it.
    HandleOwner wake_event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!wake_event) {
        return 0;
    }

    SessionState *session_state = new (std::nothrow) SessionState();
    if (session_state == nullptr || !session_state_init(session_state, wake_event.get(), &queue)) {
        report_start_failure();
        return 0;
    }

    HistogramVisualizer *visualizer = make_visualizer();
    if (visualizer == nullptr) {
        report_start_failure();
        return 0;
    }
    visualizer->session_state = session_state;

    context.main_window = nullptr;
    context.session_state = session_state;
    context.wake_event = wake_event.get();
    context.visualizer = visualizer;

    if (FAILED(create_windows(context))) {
        report_start_failure();
        return 0;
    }

    // A thread that cannot start leaves the program silent but running, like
    // a sound device that cannot be opened.
    audio_output_start(&queue, context.main_window);

    run_main_loop(context);
    // The one thing not left to the end of the process: the player is
    // stopped, so that the library closes the track's file and lets the
    // system's decoder end its threads. A decoder's thread still reading
    // when the process ends can take the process down with it (Wine's Media
    // Foundation does).
    session_stop_player(session_state);
    // The library's threads may set the wake event until the process has
    // ended: it is left open for them.
    wake_event.release();
    return 0;
}
