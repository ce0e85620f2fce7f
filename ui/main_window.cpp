#include "ui/main_window.h"

#include "audio/pcm_queue.h"
#include "audio/user_messages.h"
#include "session/session_controller.h"
#include "session/session_state.h"
#include "ui/app_context.h"
#include "ui/connect_dialog.h"
#include "visual/histogram_visualizer.h"

namespace {

// The main window's visualiser is always the HistogramVisualizer that the
// entry point made; the context holds it through its base.
HistogramVisualizer *histogram_of(AppContext *context) {
    return static_cast<HistogramVisualizer *>(context->visualizer);
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
    HWND window = CreateWindowExA(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, 0, 1000, 400, nullptr, nullptr, module, &context);
    context.main_window = window;
    context.visualizer->window_handle = window;

    create_connect_dialog(context);
    return 0;
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
    case WM_PAINT:
        context->visualizer->render(); // a failed paint still validates the window
        ValidateRect(window, nullptr);
        return 0;
    case WM_DISPLAYCHANGE:
    case WM_TIMER:
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case UM_AUDIO_BLOCK:
        histogram_of(context)->current_block = reinterpret_cast<PcmBlock *>(wparam);
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_KEYDOWN:
        if (wparam == 0x4E) { // N, with or without Shift or Ctrl
            // Stops the player before emptying the queue, so that nothing of
            // the skipped track is delivered in between and heard after the
            // skip; then asks the next pass to move on and wakes it.
            session_skip(context->session_state);
        }
        return DefWindowProcA(window, message, wparam, lparam);
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}
