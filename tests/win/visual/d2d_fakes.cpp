// The fakes' method tables, written against Direct2D's C definitions, in
// which every interface is a struct of function pointers that takes the
// object as its first argument.
#define CINTERFACE
#define D2D_USE_C_DEFINITIONS
#include "win/visual/d2d_fakes.h"

namespace fakes {
namespace {

Object *self(const void *object) {
    return static_cast<Object *>(const_cast<void *>(object));
}

void log(const void *object, const std::string &call) {
    self(object)->world->log.push_back(self(object)->name() + "." + call);
}

std::string tags(const char *call, const D2D1_TAG *tag1, const D2D1_TAG *tag2) {
    return std::string(call) + (tag1 != nullptr || tag2 != nullptr ? "(tags)" : "");
}

// The next object of a kind into *out; the maker logs the call with what it gave.
template <class Out>
HRESULT create(const void *maker, const std::string &call, const char *kind, const void *methods,
               Out **out) {
    World &world = *self(maker)->world;
    const int ordinal = ++world.made[kind];
    if (ordinal == world.fail_at[kind]) {
        *out = nullptr;
        log(maker, call + " failed");
        return E_OUTOFMEMORY;
    }
    world.objects.push_back(std::make_unique<Object>(Object{methods, &world, kind, ordinal, 1}));
    *out = reinterpret_cast<Out *>(world.objects.back().get());
    log(maker, call + " -> " + world.objects.back()->name());
    return S_OK;
}

void set_unknown(IUnknownVtbl &t) {
    t.QueryInterface = [](IUnknown *, REFIID, void **object) -> HRESULT {
        *object = nullptr;
        return E_NOINTERFACE;
    };
    t.AddRef = [](IUnknown *object) { return static_cast<ULONG>(++self(object)->refs); };
    t.Release = [](IUnknown *object) {
        log(object, "Release");
        return static_cast<ULONG>(--self(object)->refs);
    };
}

// One table per kind of fake, made on first use: empty slots, then fill.
template <class Table, class Fill> const Table *table(Fill fill) {
    static const Table made = [&] {
        Table t = {};
        fill(t);
        return t;
    }();
    return &made;
}

const ID2D1BitmapVtbl *bitmap_table() {
    return table<ID2D1BitmapVtbl>([](ID2D1BitmapVtbl &t) { set_unknown(t.Base.Base.Base); });
}

const ID2D1SolidColorBrushVtbl *brush_table() {
    return table<ID2D1SolidColorBrushVtbl>([](ID2D1SolidColorBrushVtbl &t) {
        set_unknown(t.Base.Base.Base);
        t.SetColor = [](ID2D1SolidColorBrush *brush, const D2D1_COLOR_F *c) {
            log(brush, "SetColor(" + color(c) + ")");
        };
    });
}

const ID2D1BitmapRenderTargetVtbl *frame_table();

// What a window target and an offscreen target have in common.
void set_render_target(ID2D1RenderTargetVtbl &t) {
    set_unknown(t.Base.Base);
    t.CreateSolidColorBrush = [](ID2D1RenderTarget *target, const D2D1_COLOR_F *c,
                                 const D2D1_BRUSH_PROPERTIES *properties,
                                 ID2D1SolidColorBrush **brush) {
        const char *tail = properties != nullptr ? ", properties)" : ", null)";
        return create(target, "CreateSolidColorBrush(" + color(c) + tail, "brush", brush_table(),
                      brush);
    };
    // "()" when every argument is none: the target's own size and format.
    t.CreateCompatibleRenderTarget = [](ID2D1RenderTarget *target, const D2D1_SIZE_F *size,
                                        const D2D1_SIZE_U *pixel_size,
                                        const D2D1_PIXEL_FORMAT *format,
                                        D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS options,
                                        ID2D1BitmapRenderTarget **frame) {
        const bool own = size == nullptr && pixel_size == nullptr && format == nullptr &&
                         options == D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE;
        return create(target,
                      own ? "CreateCompatibleRenderTarget()" : "CreateCompatibleRenderTarget(...)",
                      "target", frame_table(), frame);
    };
    t.FillRectangle = [](ID2D1RenderTarget *target, const D2D1_RECT_F *r, ID2D1Brush *brush) {
        log(target, "FillRectangle(" + rect(r) + ", " + name_of(brush) + ")");
    };
    t.DrawBitmap = [](ID2D1RenderTarget *target, ID2D1Bitmap *bitmap, const D2D1_RECT_F *to,
                      FLOAT opacity, D2D1_BITMAP_INTERPOLATION_MODE mode, const D2D1_RECT_F *from) {
        log(target,
            "DrawBitmap(" + name_of(bitmap) + ", " + rect(to) + ", " + num(opacity) +
                (mode == D2D1_BITMAP_INTERPOLATION_MODE_LINEAR ? ", linear, " : ", nearest, ") +
                rect(from) + ")");
    };
    t.DrawText = [](ID2D1RenderTarget *target, const WCHAR *text, UINT length,
                    IDWriteTextFormat *format, const D2D1_RECT_F *layout, ID2D1Brush *brush,
                    D2D1_DRAW_TEXT_OPTIONS options, DWRITE_MEASURING_MODE mode) {
        const bool plain =
            options == D2D1_DRAW_TEXT_OPTIONS_NONE && mode == DWRITE_MEASURING_MODE_NATURAL;
        log(target, "DrawText(\"" + std::string(text, text + length) + "\", " +
                        std::to_string(length) + (format != nullptr ? ", format, " : ", null, ") +
                        rect(layout) + ", " + name_of(brush) + (plain ? ")" : ", other)"));
    };
    t.Flush = [](ID2D1RenderTarget *target, D2D1_TAG *tag1, D2D1_TAG *tag2) {
        log(target, tags("Flush", tag1, tag2));
        return self(target)->world->flush_result;
    };
    t.BeginDraw = [](ID2D1RenderTarget *target) { log(target, "BeginDraw"); };
    t.EndDraw = [](ID2D1RenderTarget *target, D2D1_TAG *tag1, D2D1_TAG *tag2) -> HRESULT {
        log(target, tags("EndDraw", tag1, tag2));
        return S_OK;
    };
}

const ID2D1BitmapRenderTargetVtbl *frame_table() {
    return table<ID2D1BitmapRenderTargetVtbl>([](ID2D1BitmapRenderTargetVtbl &t) {
        set_render_target(t.Base);
        t.GetBitmap = [](ID2D1BitmapRenderTarget *frame, ID2D1Bitmap **bitmap) {
            return create(frame, "GetBitmap", "bitmap", bitmap_table(), bitmap);
        };
    });
}

const ID2D1HwndRenderTargetVtbl *window_table() {
    return table<ID2D1HwndRenderTargetVtbl>(
        [](ID2D1HwndRenderTargetVtbl &t) { set_render_target(t.Base); });
}

const ID2D1FactoryVtbl *factory_table() {
    return table<ID2D1FactoryVtbl>([](ID2D1FactoryVtbl &t) {
        set_unknown(t.Base);
        t.CreateHwndRenderTarget = [](ID2D1Factory *factory, const D2D1_RENDER_TARGET_PROPERTIES *,
                                      const D2D1_HWND_RENDER_TARGET_PROPERTIES *window,
                                      ID2D1HwndRenderTarget **target) {
            const std::string size = std::to_string(window->pixelSize.width) + "x" +
                                     std::to_string(window->pixelSize.height);
            return create(factory, "CreateHwndRenderTarget(" + size + ")", "window", window_table(),
                          target);
        };
    });
}

} // namespace

void *World::factory() {
    objects.push_back(std::make_unique<Object>(Object{factory_table(), this, "factory", 0, 1}));
    return objects.back().get();
}

} // namespace fakes
