#include "visual/visualizer.h"

#include "platform/win32_owners.h"

Visualizer::Visualizer()
    : window_handle(nullptr), dpi(96), session_state(nullptr), d2d_factory(nullptr),
      render_target(nullptr), spare_target_1(nullptr), spare_target_2(nullptr) {
    // session_state is the entry point's to set, right after construction; it
    // starts null rather than undefined.
}

Visualizer::~Visualizer() {
    release(spare_target_1);
    release(spare_target_2);
    release(render_target);
    release(d2d_factory);
}

HRESULT Visualizer::create_device_independent_resources() {
    return D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, IID_ID2D1Factory, nullptr,
                             reinterpret_cast<void **>(&d2d_factory));
}

// The window's render target at the client size of this moment (it is never
// resized: a resize drops it and the next paint makes a new one), then two
// offscreen targets of its size and format.
HRESULT Visualizer::create_device_resources() {
    if (d2d_factory == nullptr) {
        return E_POINTER; // the window-independent resources were never made
    }
    RECT client = {0, 0, 0, 0};
    GetClientRect(window_handle, &client); // a failure leaves the empty rectangle
    const D2D1_SIZE_U size = {static_cast<UINT32>(client.right - client.left),
                              static_cast<UINT32>(client.bottom - client.top)};

    D2D1_RENDER_TARGET_PROPERTIES target_properties = {};
    target_properties.type = D2D1_RENDER_TARGET_TYPE_DEFAULT;
    target_properties.pixelFormat.format = DXGI_FORMAT_UNKNOWN;
    target_properties.pixelFormat.alphaMode = D2D1_ALPHA_MODE_UNKNOWN;
    // One unit one pixel, whatever the display's scaling: the default would
    // be the system's resolution, and a picture laid out in pixels would
    // then be drawn larger than the window.
    target_properties.dpiX = 96.0f;
    target_properties.dpiY = 96.0f;
    target_properties.usage = D2D1_RENDER_TARGET_USAGE_NONE;
    target_properties.minLevel = D2D1_FEATURE_LEVEL_DEFAULT;
    D2D1_HWND_RENDER_TARGET_PROPERTIES window_properties = {};
    window_properties.hwnd = window_handle;
    window_properties.pixelSize = size;
    window_properties.presentOptions = D2D1_PRESENT_OPTIONS_NONE;

    HRESULT hr =
        d2d_factory->CreateHwndRenderTarget(&target_properties, &window_properties, &render_target);
    if (SUCCEEDED(hr)) {
        hr = render_target->CreateCompatibleRenderTarget(
            nullptr, nullptr, nullptr, D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE, &spare_target_1);
    }
    if (SUCCEEDED(hr)) {
        hr = render_target->CreateCompatibleRenderTarget(
            nullptr, nullptr, nullptr, D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE, &spare_target_2);
    }
    return hr;
}

void Visualizer::discard_device_resources() {
    release(spare_target_1);
    release(spare_target_2);
    release(render_target);
}
