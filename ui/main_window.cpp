#include "ui/main_window.h"

#include "audio/pcm_queue.h"
#include "audio/user_messages.h"
#include "session/player_controls.h"
#include "session/session_state.h"
#include "ui/app_context.h"
#include "ui/connect_dialog.h"
#include "ui/window_dpi.h"
#include "visual/histogram_visualizer.h"

namespace {

// The main window's visualiser is always the HistogramVisualizer that the
// entry point made; the context holds it through its base.
HistogramVisualizer *histogram_of(AppContext *context) {
    return static_cast<HistogramVisualizer *>(context->visualizer);
}

// What the keys and the media keys ask for.
enum class Command {
    None,
    TogglePause,
    Pause,
    Play,
    Next,
    Previous,
    ShowDialog,
    SeekBack,
    SeekForward,
    SeekFarBack,
    SeekFarForward,
    Restart,
    VolumeUp,
    VolumeDown,
    ToggleMute,
    ToggleShuffle,
    CycleRepeat,
};

// The seek keys' moves, and how long the time line shows the volume after a change.
constexpr int32_t kSeekMs = 5000;
constexpr int32_t kSeekFarMs = 30000;
constexpr uint64_t kVolumeNoteMs = 2000;
constexpr UINT_PTR kVolumeNoteTimer = 1;

bool is_volume_command(Command command) {
    return command == Command::VolumeUp || command == Command::VolumeDown ||
           command == Command::ToggleMute;
}

// Repaints the window for the time line alone when its text changed: while
// blocks arrive each paint shows it anyway, but while paused, or once the
// playlist ended, nothing else would.
void refresh_time_line(AppContext *context) {
    HistogramVisualizer *histogram = histogram_of(context);
    if (context->main_window == nullptr ||
        histogram->time_line() == histogram->time_line_layout.text)
        return;
    histogram->line_only_paint = true;
    InvalidateRect(context->main_window, nullptr, FALSE);
}

// The time line shows the volume for a while after each change, and is
// repainted when that while is over.
void show_volume(AppContext *context) {
    histogram_of(context)->volume_note_until = GetTickCount64() + kVolumeNoteMs;
    if (context->main_window != nullptr)
        SetTimer(context->main_window, kVolumeNoteTimer, static_cast<UINT>(kVolumeNoteMs + 20),
                 nullptr);
}

void carry_out(AppContext *context, Command command) {
    SessionState *state = context->session_state;
    if (is_volume_command(command))
        show_volume(context);
    switch (command) {
    case Command::TogglePause:
        session_toggle_pause(state);
        break;
    case Command::Pause:
        session_set_paused(state, true);
        break;
    case Command::Play:
        session_set_paused(state, false);
        break;
    case Command::Next:
        // Unload before flush: see docs/ARCHITECTURE.md, "Deliberate behaviours".
        session_skip(state);
        break;
    case Command::Previous:
        session_previous(state);
        break;
    case Command::ShowDialog:
        show_connect_dialog_again(*context);
        break;
    case Command::SeekBack:
        session_seek_by(state, -kSeekMs);
        break;
    case Command::SeekForward:
        session_seek_by(state, kSeekMs);
        break;
    case Command::SeekFarBack:
        session_seek_by(state, -kSeekFarMs);
        break;
    case Command::SeekFarForward:
        session_seek_by(state, kSeekFarMs);
        break;
    case Command::Restart:
        session_seek_to(state, 0);
        break;
    case Command::VolumeUp:
        session_change_volume(state, 1);
        break;
    case Command::VolumeDown:
        session_change_volume(state, -1);
        break;
    case Command::ToggleMute:
        session_toggle_mute(state);
        break;
    case Command::ToggleShuffle:
        session_toggle_shuffle(state);
        break;
    case Command::CycleRepeat:
        session_cycle_repeat(state);
        break;
    case Command::None:
        return;
    }
    refresh_time_line(context);
}

// The hot keys' identifiers, one for each media key taken system-wide.
struct HotKey {
    int id;
    UINT key;
    Command command;
};
constexpr HotKey kHotKeys[] = {
    {1, VK_MEDIA_PLAY_PAUSE, Command::TogglePause},
    {2, VK_MEDIA_NEXT_TRACK, Command::Next},
    {3, VK_MEDIA_PREV_TRACK, Command::Previous},
    {4, VK_MEDIA_STOP, Command::Pause},
};

// A key pressed in the main window. A key held down repeats N, P, the seeks
// and the volume (each repeat moves on once more), never the keys that
// toggle or show.
Command command_of_key(WPARAM key, LPARAM flags) {
    const bool repeat = (flags & (LPARAM{1} << 30)) != 0;
    const bool with_ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    switch (key) {
    case VK_LEFT:
        return with_ctrl ? Command::SeekFarBack : Command::SeekBack;
    case VK_RIGHT:
        return with_ctrl ? Command::SeekFarForward : Command::SeekForward;
    case VK_HOME:
        return Command::Restart;
    case VK_UP:
        return Command::VolumeUp;
    case VK_DOWN:
        return Command::VolumeDown;
    case 0x4D: // M
        return repeat ? Command::None : Command::ToggleMute;
    case 0x53: // S
        return repeat ? Command::None : Command::ToggleShuffle;
    case 0x52: // R
        return repeat ? Command::None : Command::CycleRepeat;
    case 0x4E: // N, with or without Shift or Ctrl
    case VK_MEDIA_NEXT_TRACK:
        return Command::Next;
    case 0x50: // P
    case VK_MEDIA_PREV_TRACK:
        return Command::Previous;
    case VK_SPACE:
    case VK_MEDIA_PLAY_PAUSE:
        return repeat ? Command::None : Command::TogglePause;
    case VK_MEDIA_STOP:
        return Command::Pause;
    case 0x4C: // L
        return repeat ? Command::None : Command::ShowDialog;
    default:
        return Command::None;
    }
}

bool is_media_key(WPARAM key) {
    return key == VK_MEDIA_PLAY_PAUSE || key == VK_MEDIA_NEXT_TRACK || key == VK_MEDIA_PREV_TRACK ||
           key == VK_MEDIA_STOP;
}

Command command_of_app_command(LPARAM lparam) {
    switch (GET_APPCOMMAND_LPARAM(lparam)) {
    case APPCOMMAND_MEDIA_PLAY_PAUSE:
        return Command::TogglePause;
    case APPCOMMAND_MEDIA_PLAY:
        return Command::Play;
    case APPCOMMAND_MEDIA_PAUSE:
    case APPCOMMAND_MEDIA_STOP:
        return Command::Pause;
    case APPCOMMAND_MEDIA_NEXTTRACK:
        return Command::Next;
    case APPCOMMAND_MEDIA_PREVIOUSTRACK:
        return Command::Previous;
    default:
        return Command::None;
    }
}

} // namespace

HRESULT create_windows(AppContext &context) {
    HRESULT status = context.visualizer->create_device_independent_resources();
    if (FAILED(status)) {
        return status;
    }
    HINSTANCE module = GetModuleHandleA(nullptr);

    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = &main_window_proc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = module;
    window_class.hIcon = nullptr;
    window_class.hIconSm = nullptr;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = kMainWindowClass;
    if (RegisterClassExA(&window_class) == 0) {
        return E_FAIL;
    }

    // Not tested: without the window the program runs on with the dialog.
    HWND window =
        CreateWindowExA(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        0, kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, module, &context);
    context.main_window = window;
    context.visualizer->window_handle = window;
    if (window != nullptr) {
        // The size is in device-independent pixels: on a display scaled to
        // 150 % the window opens half as large again, in pixels, as at 100 %.
        const UINT dpi = window_dpi(window);
        context.visualizer->dpi = dpi;
        if (dpi != kDefaultDpi) {
            const SIZE size =
                outer_size_at_dpi(kMainWindowWidth, kMainWindowHeight, WS_OVERLAPPEDWINDOW, 0, dpi);
            SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

    create_connect_dialog(context);
    return 0;
}

void register_media_hot_keys(HWND window) {
    // A key that another program holds stays with it: the window still
    // answers it while it has the keyboard, and nothing is said.
    for (const HotKey &hot : kHotKeys)
        RegisterHotKey(window, hot.id, 0, hot.key);
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CREATE) {
        const CREATESTRUCTA *create = reinterpret_cast<const CREATESTRUCTA *>(lparam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return 1;
    }
    AppContext *context = reinterpret_cast<AppContext *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (context == nullptr) {
        // Messages before WM_CREATE (WM_NCCREATE and its kin).
        return DefWindowProcA(window, message, wparam, lparam);
    }
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 1;
    case WM_SIZE:
        context->visualizer->discard_device_resources();
        return 0;
    case WM_PAINT: {
        // A failed paint still validates the window. A paint for the time line
        // alone leaves the trail as it is.
        HistogramVisualizer *histogram = histogram_of(context);
        if (histogram->line_only_paint)
            histogram->present_again();
        else
            histogram->render();
        histogram->line_only_paint = false;
        ValidateRect(window, nullptr);
        return 0;
    }
    case WM_DISPLAYCHANGE:
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_DPICHANGED: {
        // Moved to a monitor of another scaling, or the scaling changed: the
        // window takes the size the system suggests for the new resolution,
        // and the drawing is made again for it. The last frame stays, so
        // the trail goes on.
        context->visualizer->dpi = LOWORD(wparam) != 0 ? LOWORD(wparam) : kDefaultDpi;
        context->visualizer->discard_device_resources();
        const RECT *suggested = reinterpret_cast<const RECT *>(lparam);
        if (suggested != nullptr)
            SetWindowPos(window, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    case WM_TIMER:
        if (wparam == kVolumeNoteTimer) {
            KillTimer(window, kVolumeNoteTimer);
            refresh_time_line(context);
        } else {
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case UM_AUDIO_BLOCK:
        histogram_of(context)->current_block = reinterpret_cast<PcmBlock *>(wparam);
        histogram_of(context)->line_only_paint = false;
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_MOUSEWHEEL: {
        // A step for each notch; finer wheels add up to one.
        context->wheel_delta += GET_WHEEL_DELTA_WPARAM(wparam);
        while (context->wheel_delta >= WHEEL_DELTA || context->wheel_delta <= -WHEEL_DELTA) {
            const bool up = context->wheel_delta > 0;
            context->wheel_delta += up ? -WHEEL_DELTA : WHEEL_DELTA;
            carry_out(context, up ? Command::VolumeUp : Command::VolumeDown);
        }
        return 0;
    }
    case WM_KEYDOWN:
        carry_out(context, command_of_key(wparam, lparam));
        // A media key is answered here alone: passed on, it would come back
        // as WM_APPCOMMAND and act twice.
        if (is_media_key(wparam))
            return 0;
        return DefWindowProcA(window, message, wparam, lparam);
    case WM_KEYUP:
        if (is_media_key(wparam))
            return 0;
        return DefWindowProcA(window, message, wparam, lparam);
    case WM_APPCOMMAND: {
        const Command command = command_of_app_command(lparam);
        if (command == Command::None)
            return DefWindowProcA(window, message, wparam, lparam);
        carry_out(context, command);
        return TRUE;
    }
    case WM_HOTKEY:
        for (const HotKey &hot : kHotKeys) {
            if (static_cast<int>(wparam) == hot.id)
                carry_out(context, hot.command);
        }
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}
