// The visualiser family's base: the window it draws into, the session it
// reads, and the Direct2D objects whose lifetime it manages.
//
// Resources come in two groups. Window-independent ones (the factory) are
// made once at start-up by create_device_independent_resources. Window-
// dependent ones (the window's render target and two spare offscreen targets)
// are made by create_device_resources at the first paint that lacks them, at
// the client size of that moment, and dropped by discard_device_resources on
// every resize and when Direct2D reports D2DERR_RECREATE_TARGET.
//
// Units: the targets draw in pixels (their resolution is set to 96 dpi, at
// which Direct2D's unit is one pixel), so that the bars' edges fall on whole
// pixels at any scaling, and what grows with the display's scaling (the
// text, the time line's band) is scaled by dpi here.
//
// Threads: everything here runs on the main thread. The factory is single-
// threaded, so no Direct2D object may be touched from another thread.
#pragma once

#include <windows.h>

#include <d2d1.h>

struct SessionState;

class Visualizer {
public:
    // Draws one frame into window_handle. Called on WM_PAINT.
    virtual HRESULT render() = 0;
    // Makes the window-independent resources: here the Direct2D factory only.
    virtual HRESULT create_device_independent_resources();

    // Makes the window's render target and the two spare targets; stops at
    // the first failure and returns it. Called by render when render_target
    // is null.
    HRESULT create_device_resources();
    // Releases the spare targets and the render target (each only if made).
    void discard_device_resources();

    HWND window_handle;                      // the main window, set once it exists
    UINT dpi;                                // the window's resolution; 96 at 100 % scaling
    SessionState *session_state;             // set by the entry point after construction
    ID2D1Factory *d2d_factory;               // one reference; single-threaded factory
    ID2D1HwndRenderTarget *render_target;    // one reference, or null
    ID2D1BitmapRenderTarget *spare_target_1; // one reference, or null; never drawn into
    ID2D1BitmapRenderTarget *spare_target_2; // one reference, or null; never drawn into

protected:
    Visualizer();
    // Not virtual: the one visualiser lives for the whole process and is
    // never destroyed through a base pointer. This runs only when a derived
    // constructor fails. Protected, so that no caller can delete through the
    // base.
    ~Visualizer();

    Visualizer(const Visualizer &) = delete;
    Visualizer &operator=(const Visualizer &) = delete;
};
