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
    if (++world.made[kind] == world.fail_at[kind])
        return E_OUTOFMEMORY;
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

// The methods below take their arguments as auto: each lambda becomes the
// function pointer of its slot.
const ID2D1SolidColorBrushVtbl *brush_table() {
    return table<ID2D1SolidColorBrushVtbl>([](ID2D1SolidColorBrushVtbl &t) {
        set_unknown(t.Base.Base.Base);
        t.SetColor = [](auto *brush, auto) { check(brush, brush); };
    });
}

const ID2D1GeometrySinkVtbl *sink_table() {
    return table<ID2D1GeometrySinkVtbl>([](ID2D1GeometrySinkVtbl &t) {
        set_unknown(t.Base.Base);
        t.Base.BeginFigure = [](auto *sink, auto, auto) { check(sink, sink); };
        t.Base.AddLines = [](auto *sink, auto, auto) { check(sink, sink); };
        t.Base.EndFigure = [](auto *sink, auto) { check(sink, sink), ++self(sink)->world->bars; };
        t.Base.Close = [](auto *sink) { return check(sink, sink), S_OK; };
    });
}

const ID2D1PathGeometryVtbl *geometry_table() {
    return table<ID2D1PathGeometryVtbl>([](ID2D1PathGeometryVtbl &t) {
        set_unknown(t.Base.Base.Base);
        t.Open = [](auto *geometry, auto **sink) {
            return create(geometry, kSink, sink_table(), sink);
        };
    });
}

const ID2D1BitmapRenderTargetVtbl *frame_table();

// What a window target and an offscreen target have in common.
void set_render_target(ID2D1RenderTargetVtbl &t) {
    set_unknown(t.Base.Base);
    t.CreateSolidColorBrush = [](auto *target, auto, auto, auto **brush) {
        return create(target, kBrush, brush_table(), brush);
    };
    t.CreateCompatibleRenderTarget = [](auto *target, auto, auto, auto, auto, auto **frame) {
        return create(target, kTarget, frame_table(), frame);
    };
    t.FillGeometry = [](auto *target, auto *geometry, auto *brush, auto) {
        check(target, brush, true), check(target, geometry, true);
    };
    t.FillRectangle = [](auto *target, auto, auto *brush) { check(target, brush, true); };
    t.DrawBitmap = [](auto *target, auto *bitmap, auto...) { check(target, bitmap, true); };
    t.DrawTextLayout = [](auto *target, auto, auto *layout, auto *brush, auto) {
        self(target)->world->faults += layout == nullptr;
        check(target, brush, true);
    };
    t.Flush = [](auto *target, auto, auto) {
        return check(target, target, true), self(target)->world->flush_result;
    };
    t.BeginDraw = [](auto *target) {
        check(target, target);
        self(target)->world->faults += self(target)->drawing;
        self(target)->drawing = true;
    };
    t.EndDraw = [](auto *target, auto, auto) {
        check(target, target, true);
        return self(target)->drawing = false, S_OK;
    };
}

const ID2D1BitmapRenderTargetVtbl *frame_table() {
    return table<ID2D1BitmapRenderTargetVtbl>([](ID2D1BitmapRenderTargetVtbl &t) {
        set_render_target(t.Base);
        t.GetBitmap = [](auto *frame, auto **out) {
            return create(frame, kBitmap, bitmap_table(), out);
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
        t.CreateHwndRenderTarget = [](auto *factory, auto, auto *window, auto **target) {
            self(factory)->world->window_size = window->pixelSize;
            return create(factory, kWindow, window_table(), target);
        };
        t.CreatePathGeometry = [](auto *factory, auto **out) {
            return create(factory, kGeometry, geometry_table(), out);
        };
    });
}

} // namespace

void *World::factory() {
    objects.push_back(std::make_unique<Object>(Object{factory_table(), this, kFactory, 1, false}));
    return objects.back().get();
}

} // namespace fakes
