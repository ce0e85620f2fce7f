#include "program_session.h"

#include <d2d1.h>
#include <dwrite.h>

namespace {

// The white pixels of text in font at size, white on a black width x height
// picture, centred across box (and from its top to its bottom with middle).
std::vector<bool> text_mask(const std::wstring &text, const wchar_t *font, float size,
                            const D2D1_RECT_F &box, bool middle, int width, int height) {
    driver::Capture drawn{width, height,
                          std::vector<uint32_t>(static_cast<size_t>(width) * height)};
    ID2D1Factory *factory = nullptr;
    IDWriteFactory *write = nullptr;
    IDWriteTextFormat *format = nullptr;
    ID2D1DCRenderTarget *target = nullptr;
    ID2D1SolidColorBrush *brush = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    void *bits = nullptr;
    HBITMAP bitmap = driver::top_down_bitmap(memory, width, height, &bits);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const RECT whole = {0, 0, width, height};
    const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT,
        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE));
    if (SUCCEEDED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, &factory)) &&
        SUCCEEDED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                      reinterpret_cast<IUnknown **>(&write))) &&
        SUCCEEDED(write->CreateTextFormat(font, nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                          DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                          size, L"en-us", &format)) &&
        SUCCEEDED(format->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER)) &&
        SUCCEEDED(format->SetParagraphAlignment(middle ? DWRITE_PARAGRAPH_ALIGNMENT_CENTER
                                                       : DWRITE_PARAGRAPH_ALIGNMENT_NEAR)) &&
        SUCCEEDED(factory->CreateDCRenderTarget(&properties, &target)) &&
        SUCCEEDED(target->BindDC(memory, &whole)) &&
        SUCCEEDED(target->CreateSolidColorBrush(D2D1::ColorF(1, 1, 1, 1), &brush))) {
        target->BeginDraw();
        target->Clear(D2D1::ColorF(0, 0, 0, 1));
        target->DrawText(text.c_str(), static_cast<UINT32>(text.size()), format, box, brush);
        if (SUCCEEDED(target->EndDraw())) {
            GdiFlush();
            const uint32_t *pixels = static_cast<const uint32_t *>(bits);
            drawn.pixels.assign(pixels, pixels + drawn.pixels.size());
        }
    }
    for (IUnknown *object :
         std::initializer_list<IUnknown *>{brush, target, format, write, factory})
        if (object != nullptr)
            object->Release();
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return white_pixels(drawn);
}

} // namespace

std::vector<bool> title_mask(const std::wstring &text, int width, int height) {
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    return text_mask(text, L"Georgia", 48.0f, D2D1::RectF(0, h / 6.0f, w, h / 3.0f), false, width,
                     height);
}

std::vector<bool> time_line_mask(const std::wstring &text, int width) {
    return text_mask(text, L"Tahoma", 15.0f,
                     D2D1::RectF(0, 0, static_cast<float>(width), kTimeLineHeight), true, width,
                     kTimeLineHeight);
}

std::vector<bool> white_pixels(const driver::Capture &capture) {
    std::vector<bool> mask;
    for (uint32_t p : capture.pixels)
        mask.push_back(((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) > 200 && (p & 0xFF) > 200);
    return mask;
}

double overlap(const std::vector<bool> &a, const std::vector<bool> &b) {
    size_t both = 0, either = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        both += a[i] && b[i];
        either += a[i] || b[i];
    }
    return either == 0 ? 0.0 : static_cast<double>(both) / static_cast<double>(either);
}
