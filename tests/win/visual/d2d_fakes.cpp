// The stand-ins' method tables, written against Direct2D's C definitions, in
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

// A call on object that uses other, which must exist too; a drawing call
// also needs the target to be drawing.
void check(const void *object, const void *other, bool drawing = false) {
    self(object)->world->faults += self(object)->refs <= 0 || other == nullptr ||
                                   self(other)->refs <= 0 || (drawing && !self(object)->drawing);
}

// The next object of a kind, made by maker, into *out.
template <class Out> HRESULT create(const void *maker, Kind kind, const void *table, Out **out) {
    check(maker, maker);
    World &world = *self(maker)->world;
    *out = nullptr;
    if (++world.made[kind] == world.fail_at[kind]) {
        return E_OUTOFMEMORY;
    }
    world.objects.push_back(std::make_unique<Object>(Object{table, &world, kind, 1, false}));
    *out = reinterpret_cast<Out *>(world.objects.back().get());
    return S_OK;
}

void set_unknown(IUnknownVtbl &t) {
    t.AddRef = [](IUnknown *object) { return static_cast<ULONG>(++self(object)->refs); };
    t.Release = [](IUnknown *object) {
        self(object)->world->faults += self(object)->refs <= 0 || self(object)->drawing;
        return static_cast<ULONG>(--self(object)->refs);
    };
}

// One table per kind of stand-in, made on first use: empty slots, then fill.
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
        t.SetColor = [](ID2D1SolidColorBrush *brush, const D2D1_COLOR_F *) { check(brush, brush); };
    });
}

const ID2D1BitmapRenderTargetVtbl *frame_table();

// What a window target and an offscreen target have in common.
void set_render_target(ID2D1RenderTargetVtbl &t) {
    set_unknown(t.Base.Base);
    t.CreateSolidColorBrush = [](ID2D1RenderTarget *target, const D2D1_COLOR_F *,
                                 const D2D1_BRUSH_PROPERTIES *, ID2D1SolidColorBrush **brush) {
        return create(target, kBrush, brush_table(), brush);
    };
    t.CreateCompatibleRenderTarget = [](ID2D1RenderTarget *target, const D2D1_SIZE_F *,
                                        const D2D1_SIZE_U *, const D2D1_PIXEL_FORMAT *,
                                        D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS,
                                        ID2D1BitmapRenderTarget **frame) {
        return create(target, kTarget, frame_table(), frame);
    };
    t.FillRectangle = [](ID2D1RenderTarget *target, const D2D1_RECT_F *, ID2D1Brush *brush) {
        check(target, brush, true);
        self(target)->world->bars += self(target)->kind == kTarget;
    };
    t.DrawBitmap = [](ID2D1RenderTarget *target, ID2D1Bitmap *bitmap, const D2D1_RECT_F *, FLOAT,
                      D2D1_BITMAP_INTERPOLATION_MODE,
                      const D2D1_RECT_F *) { check(target, bitmap, true); };
    t.DrawTextLayout = [](ID2D1RenderTarget *target, D2D1_POINT_2F, IDWriteTextLayout *layout,
                          ID2D1Brush *brush, D2D1_DRAW_TEXT_OPTIONS) {
        self(target)->world->faults += layout == nullptr;
        check(target, brush, true);
    };
    t.Flush = [](ID2D1RenderTarget *target, D2D1_TAG *, D2D1_TAG *) {
        check(target, target, true);
        return self(target)->world->flush_result;
    };
    t.BeginDraw = [](ID2D1RenderTarget *target) {
        check(target, target);
        self(target)->world->faults += self(target)->drawing;
        self(target)->drawing = true;
    };
    t.EndDraw = [](ID2D1RenderTarget *target, D2D1_TAG *, D2D1_TAG *) -> HRESULT {
        check(target, target, true);
        self(target)->drawing = false;
        return S_OK;
    };
}

const ID2D1BitmapRenderTargetVtbl *frame_table() {
    return table<ID2D1BitmapRenderTargetVtbl>([](ID2D1BitmapRenderTargetVtbl &t) {
        set_render_target(t.Base);
        t.GetBitmap = [](ID2D1BitmapRenderTarget *frame, ID2D1Bitmap **bitmap) {
            return create(frame, kBitmap, bitmap_table(), bitmap);
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
            self(factory)->world->window_size = window->pixelSize;
            return create(factory, kWindow, window_table(), target);
        };
    });
}

} // namespace

void *World::factory() {
    objects.push_back(std::make_unique<Object>(Object{factory_table(), this, kFactory, 1, false}));
    return objects.back().get();
}

} // namespace fakes
