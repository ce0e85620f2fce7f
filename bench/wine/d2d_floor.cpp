// The floor for drawing: a 1000 x 400 window whose Direct2D target is only
// cleared and presented, FPS times a second for SECONDS.
//
//   d2d_floor SECONDS FPS

#include <windows.h>
#include <d2d1.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const int seconds = __argc > 1 ? std::atoi(__argv[1]) : 60;
    const int fps = __argc > 2 ? std::atoi(__argv[2]) : 43;
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.lpszClassName = "d2d_floor";
    RegisterClassA(&window_class);
    RECT rect{0, 0, 1000, 400};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowExA(0, "d2d_floor", "Floor", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    ID2D1Factory *factory = nullptr;
    ID2D1HwndRenderTarget *target = nullptr;
    if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, &factory)) ||
        FAILED(factory->CreateHwndRenderTarget(
            D2D1::RenderTargetProperties(),
            D2D1::HwndRenderTargetProperties(window, D2D1::SizeU(1000, 400)), &target)))
        return 1;
    const DWORD start = GetTickCount();
    for (long frame = 0;; ++frame) {
        const DWORD due = start + static_cast<DWORD>(frame * 1000 / fps);
        for (DWORD now = GetTickCount(); static_cast<LONG>(due - now) > 0; now = GetTickCount()) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, due - now, QS_ALLINPUT);
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
        }
        if (GetTickCount() - start >= static_cast<DWORD>(seconds) * 1000)
            break;
        target->BeginDraw();
        target->Clear(D2D1::ColorF(0, 0, 0, 1));
        target->EndDraw();
    }
    target->Release();
    factory->Release();
    return 0;
}
