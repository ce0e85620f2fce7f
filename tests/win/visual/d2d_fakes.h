// Recording fakes of the Direct2D objects that one histogram frame touches:
// the factory, the window's render target, offscreen targets, their bitmaps
// and solid brushes. Every call is logged, in order, as one line
// "<object>.<call>"; floats carry nine significant digits, so a line tells
// the exact single-precision value. A method that a frame has no business
// calling logs "<object>.unexpected <method>" and answers nothing.
//
// The world owns every fake (none deletes itself, so a test can read the
// reference counts afterwards) and injects failures: the nth creation of a
// kind ("window", "target", "brush", "bitmap") fails with E_OUTOFMEMORY.
#pragma once

#include <windows.h>

#include <d2d1.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

// COM interfaces have no virtual destructor; the fakes end through Named's.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

namespace fakes {

inline std::string num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

inline std::string quad(const float *v) {
    return "{" + num(v[0]) + "," + num(v[1]) + "," + num(v[2]) + "," + num(v[3]) + "}";
}
inline std::string rect(const D2D1_RECT_F *r) {
    return r != nullptr ? quad(&r->left) : "null";
}
inline std::string color(const D2D1_COLOR_F *c) {
    return c != nullptr ? quad(&c->r) : "null";
}

struct World;

// What every fake holds beside its interface.
struct Named {
    virtual ~Named() = default;
    void log(const std::string &call) const;
    World *world = nullptr;
    std::string name;
    long refs = 1;
};

struct World {
    std::vector<std::string> log;
    std::map<std::string, int> made;    // creations so far, by kind
    std::map<std::string, int> fail_at; // the ordinal of the creation of a kind that fails
    HRESULT flush_result = S_OK;
    std::vector<std::unique_ptr<Named>> objects;

    template <class T> T *add(const std::string &name) {
        auto object = std::make_unique<T>();
        object->world = this;
        object->name = name;
        T *raw = object.get();
        objects.push_back(std::move(object));
        return raw;
    }
    // The reference count of the object so named, or -1.
    long refs(const std::string &name) const {
        for (const auto &object : objects) {
            if (object->name == name) {
                return object->refs;
            }
        }
        return -1;
    }
};

inline void Named::log(const std::string &call) const {
    world->log.push_back(name + "." + call);
}

inline std::string name_of(IUnknown *object) {
    const auto *named = dynamic_cast<Named *>(object);
    return named != nullptr ? named->name : "null";
}

// The next object of a kind, named kind + ordinal, into *out; the maker logs
// the call with what it gave.
template <class T, class Out>
HRESULT create(const Named &maker, const std::string &call, const std::string &kind, Out **out) {
    const int ordinal = ++maker.world->made[kind];
    if (ordinal == maker.world->fail_at[kind]) {
        *out = nullptr;
        maker.log(call + " failed");
        return E_OUTOFMEMORY;
    }
    *out = maker.world->add<T>(kind + std::to_string(ordinal));
    maker.log(call + " -> " + kind + std::to_string(ordinal));
    return S_OK;
}

// IUnknown for one or more interfaces, and the shared default of every
// method a frame has no business calling.
template <class... I> class Fake : public I..., public Named {
public:
    STDMETHOD(QueryInterface)(REFIID, void **object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++refs); }
    STDMETHOD_(ULONG, Release)() override {
        log("Release");
        return static_cast<ULONG>(--refs);
    }

protected:
    // Whatever the method returns: E_NOTIMPL for an HRESULT, else zero.
    struct Nothing {
        operator HRESULT() const { return E_NOTIMPL; }
        template <class T> operator T() const { return T(); }
    };
    Nothing miss(const char *method) const {
        log(std::string("unexpected ") + method);
        return Nothing();
    }
};

class FakeBitmap final : public Fake<ID2D1Bitmap> {
public:
    STDMETHOD_(void, GetFactory)(ID2D1Factory **) const override { miss(__func__); }
    D2D1_SIZE_F *STDMETHODCALLTYPE GetSize(D2D1_SIZE_F *) const override { return miss(__func__); }
    D2D1_SIZE_U *STDMETHODCALLTYPE GetPixelSize(D2D1_SIZE_U *) const override {
        return miss(__func__);
    }
    D2D1_PIXEL_FORMAT *STDMETHODCALLTYPE GetPixelFormat(D2D1_PIXEL_FORMAT *) const override {
        return miss(__func__);
    }
    STDMETHOD_(void, GetDpi)(FLOAT *, FLOAT *) const override { miss(__func__); }
    STDMETHOD(CopyFromBitmap)(const D2D1_POINT_2U *, ID2D1Bitmap *, const D2D1_RECT_U *) override {
        return miss(__func__);
    }
    STDMETHOD(CopyFromRenderTarget)
    (const D2D1_POINT_2U *, ID2D1RenderTarget *, const D2D1_RECT_U *) override {
        return miss(__func__);
    }
    STDMETHOD(CopyFromMemory)(const D2D1_RECT_U *, const void *, UINT32) override {
        return miss(__func__);
    }
};

class FakeBrush final : public Fake<ID2D1SolidColorBrush> {
public:
    STDMETHOD_(void, SetColor)(const D2D1_COLOR_F *c) override {
        log("SetColor(" + color(c) + ")");
    }
    STDMETHOD_(void, GetFactory)(ID2D1Factory **) const override { miss(__func__); }
    STDMETHOD_(void, SetOpacity)(FLOAT) override { miss(__func__); }
    STDMETHOD_(void, SetTransform)(const D2D1_MATRIX_3X2_F *) override { miss(__func__); }
    STDMETHOD_(FLOAT, GetOpacity)() const override { return miss(__func__); }
    STDMETHOD_(void, GetTransform)(D2D1_MATRIX_3X2_F *) const override { miss(__func__); }
    D2D1_COLOR_F *STDMETHODCALLTYPE GetColor(D2D1_COLOR_F *) const override {
        return miss(__func__);
    }
};

// A render target that serves both as the window's and as an offscreen one:
// the calls a frame makes are logged with their arguments.
class FakeTarget final : public Fake<ID2D1HwndRenderTarget, ID2D1BitmapRenderTarget> {
public:
    STDMETHOD(CreateSolidColorBrush)
    (const D2D1_COLOR_F *c, const D2D1_BRUSH_PROPERTIES *properties,
     ID2D1SolidColorBrush **brush) override {
        const char *tail = properties != nullptr ? ", properties)" : ", null)";
        return create<FakeBrush>(*this, "CreateSolidColorBrush(" + color(c) + tail, "brush", brush);
    }
    // "()" when every argument is none: the target's own size and format.
    STDMETHOD(CreateCompatibleRenderTarget)
    (const D2D1_SIZE_F *size, const D2D1_SIZE_U *pixel_size, const D2D1_PIXEL_FORMAT *format,
     D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS options, ID2D1BitmapRenderTarget **target) override {
        const bool own = size == nullptr && pixel_size == nullptr && format == nullptr &&
                         options == D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE;
        FakeTarget *made = nullptr;
        const HRESULT hr = create<FakeTarget>(
            *this, own ? "CreateCompatibleRenderTarget()" : "CreateCompatibleRenderTarget(...)",
            "target", &made);
        *target = made;
        return hr;
    }
    STDMETHOD(GetBitmap)(ID2D1Bitmap **bitmap) override {
        return create<FakeBitmap>(*this, "GetBitmap", "bitmap", bitmap);
    }
    STDMETHOD_(void, FillRectangle)(const D2D1_RECT_F *r, ID2D1Brush *brush) override {
        log("FillRectangle(" + rect(r) + ", " + name_of(brush) + ")");
    }
    STDMETHOD_(void, DrawBitmap)
    (ID2D1Bitmap *bitmap, const D2D1_RECT_F *to, FLOAT opacity, D2D1_BITMAP_INTERPOLATION_MODE mode,
     const D2D1_RECT_F *from) override {
        log("DrawBitmap(" + name_of(bitmap) + ", " + rect(to) + ", " + num(opacity) +
            (mode == D2D1_BITMAP_INTERPOLATION_MODE_LINEAR ? ", linear, " : ", nearest, ") +
            rect(from) + ")");
    }
    STDMETHOD_(void, DrawText)
    (const WCHAR *text, UINT length, IDWriteTextFormat *format, const D2D1_RECT_F *layout,
     ID2D1Brush *brush, D2D1_DRAW_TEXT_OPTIONS options, DWRITE_MEASURING_MODE mode) override {
        const bool plain =
            options == D2D1_DRAW_TEXT_OPTIONS_NONE && mode == DWRITE_MEASURING_MODE_NATURAL;
        log("DrawText(\"" + std::string(text, text + length) + "\", " + std::to_string(length) +
            (format != nullptr ? ", format, " : ", null, ") + rect(layout) + ", " + name_of(brush) +
            (plain ? ")" : ", other options)"));
    }
    STDMETHOD(Flush)(D2D1_TAG *tag1, D2D1_TAG *tag2) override {
        log(tag1 != nullptr || tag2 != nullptr ? "Flush(tags)" : "Flush");
        return world->flush_result;
    }
    STDMETHOD_(void, BeginDraw)() override { log("BeginDraw"); }
    STDMETHOD(EndDraw)(D2D1_TAG *tag1, D2D1_TAG *tag2) override {
        log(tag1 != nullptr || tag2 != nullptr ? "EndDraw(tags)" : "EndDraw");
        return S_OK;
    }

    // Misses.
    STDMETHOD_(void, GetFactory)(ID2D1Factory **) const override { miss(__func__); }
    STDMETHOD(CreateBitmap)
    (D2D1_SIZE_U, const void *, UINT32, const D2D1_BITMAP_PROPERTIES *, ID2D1Bitmap **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateBitmapFromWicBitmap)
    (IWICBitmapSource *, const D2D1_BITMAP_PROPERTIES *, ID2D1Bitmap **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateSharedBitmap)
    (REFIID, void *, const D2D1_BITMAP_PROPERTIES *, ID2D1Bitmap **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateBitmapBrush)
    (ID2D1Bitmap *, const D2D1_BITMAP_BRUSH_PROPERTIES *, const D2D1_BRUSH_PROPERTIES *,
     ID2D1BitmapBrush **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateGradientStopCollection)
    (const D2D1_GRADIENT_STOP *, UINT, D2D1_GAMMA, D2D1_EXTEND_MODE,
     ID2D1GradientStopCollection **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateLinearGradientBrush)
    (const D2D1_LINEAR_GRADIENT_BRUSH_PROPERTIES *, const D2D1_BRUSH_PROPERTIES *,
     ID2D1GradientStopCollection *, ID2D1LinearGradientBrush **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateRadialGradientBrush)
    (const D2D1_RADIAL_GRADIENT_BRUSH_PROPERTIES *, const D2D1_BRUSH_PROPERTIES *,
     ID2D1GradientStopCollection *, ID2D1RadialGradientBrush **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateLayer)(const D2D1_SIZE_F *, ID2D1Layer **) override { return miss(__func__); }
    STDMETHOD(CreateMesh)(ID2D1Mesh **) override { return miss(__func__); }
    STDMETHOD_(void, DrawLine)
    (D2D1_POINT_2F, D2D1_POINT_2F, ID2D1Brush *, FLOAT, ID2D1StrokeStyle *) override {
        miss(__func__);
    }
    STDMETHOD_(void, DrawRectangle)
    (const D2D1_RECT_F *, ID2D1Brush *, FLOAT, ID2D1StrokeStyle *) override { miss(__func__); }
    STDMETHOD_(void, DrawRoundedRectangle)
    (const D2D1_ROUNDED_RECT *, ID2D1Brush *, FLOAT, ID2D1StrokeStyle *) override {
        miss(__func__);
    }
    STDMETHOD_(void, FillRoundedRectangle)(const D2D1_ROUNDED_RECT *, ID2D1Brush *) override {
        miss(__func__);
    }
    STDMETHOD_(void, DrawEllipse)
    (const D2D1_ELLIPSE *, ID2D1Brush *, FLOAT, ID2D1StrokeStyle *) override { miss(__func__); }
    STDMETHOD_(void, FillEllipse)(const D2D1_ELLIPSE *, ID2D1Brush *) override { miss(__func__); }
    STDMETHOD_(void, DrawGeometry)
    (ID2D1Geometry *, ID2D1Brush *, FLOAT, ID2D1StrokeStyle *) override { miss(__func__); }
    STDMETHOD_(void, FillGeometry)(ID2D1Geometry *, ID2D1Brush *, ID2D1Brush *) override {
        miss(__func__);
    }
    STDMETHOD_(void, FillMesh)(ID2D1Mesh *, ID2D1Brush *) override { miss(__func__); }
    STDMETHOD_(void, FillOpacityMask)
    (ID2D1Bitmap *, ID2D1Brush *, D2D1_OPACITY_MASK_CONTENT, const D2D1_RECT_F *,
     const D2D1_RECT_F *) override {
        miss(__func__);
    }
    STDMETHOD_(void, DrawTextLayout)
    (D2D1_POINT_2F, IDWriteTextLayout *, ID2D1Brush *, D2D1_DRAW_TEXT_OPTIONS) override {
        miss(__func__);
    }
    STDMETHOD_(void, DrawGlyphRun)
    (D2D1_POINT_2F, const DWRITE_GLYPH_RUN *, ID2D1Brush *, DWRITE_MEASURING_MODE) override {
        miss(__func__);
    }
    STDMETHOD_(void, SetTransform)(const D2D1_MATRIX_3X2_F *) override { miss(__func__); }
    STDMETHOD_(void, GetTransform)(D2D1_MATRIX_3X2_F *) const override { miss(__func__); }
    STDMETHOD_(void, SetAntialiasMode)(D2D1_ANTIALIAS_MODE) override { miss(__func__); }
    STDMETHOD_(D2D1_ANTIALIAS_MODE, GetAntialiasMode)() const override { return miss(__func__); }
    STDMETHOD_(void, SetTextAntialiasMode)(D2D1_TEXT_ANTIALIAS_MODE) override { miss(__func__); }
    STDMETHOD_(D2D1_TEXT_ANTIALIAS_MODE, GetTextAntialiasMode)() const override {
        return miss(__func__);
    }
    STDMETHOD_(void, SetTextRenderingParams)(IDWriteRenderingParams *) override { miss(__func__); }
    STDMETHOD_(void, GetTextRenderingParams)(IDWriteRenderingParams **) const override {
        miss(__func__);
    }
    STDMETHOD_(void, SetTags)(D2D1_TAG, D2D1_TAG) override { miss(__func__); }
    STDMETHOD_(void, GetTags)(D2D1_TAG *, D2D1_TAG *) const override { miss(__func__); }
    STDMETHOD_(void, PushLayer)(const D2D1_LAYER_PARAMETERS *, ID2D1Layer *) override {
        miss(__func__);
    }
    STDMETHOD_(void, PopLayer)() override { miss(__func__); }
    STDMETHOD_(void, SaveDrawingState)(ID2D1DrawingStateBlock *) const override { miss(__func__); }
    STDMETHOD_(void, RestoreDrawingState)(ID2D1DrawingStateBlock *) override { miss(__func__); }
    STDMETHOD_(void, PushAxisAlignedClip)(const D2D1_RECT_F *, D2D1_ANTIALIAS_MODE) override {
        miss(__func__);
    }
    STDMETHOD_(void, PopAxisAlignedClip)() override { miss(__func__); }
    STDMETHOD_(void, Clear)(const D2D1_COLOR_F *) override { miss(__func__); }
    D2D1_PIXEL_FORMAT *STDMETHODCALLTYPE GetPixelFormat(D2D1_PIXEL_FORMAT *) const override {
        return miss(__func__);
    }
    STDMETHOD_(void, SetDpi)(FLOAT, FLOAT) override { miss(__func__); }
    STDMETHOD_(void, GetDpi)(FLOAT *, FLOAT *) const override { miss(__func__); }
    D2D1_SIZE_F *STDMETHODCALLTYPE GetSize(D2D1_SIZE_F *) const override { return miss(__func__); }
    D2D1_SIZE_U *STDMETHODCALLTYPE GetPixelSize(D2D1_SIZE_U *) const override {
        return miss(__func__);
    }
    STDMETHOD_(UINT32, GetMaximumBitmapSize)() const override { return miss(__func__); }
    STDMETHOD_(BOOL, IsSupported)(const D2D1_RENDER_TARGET_PROPERTIES *) const override {
        return miss(__func__);
    }
    STDMETHOD_(D2D1_WINDOW_STATE, CheckWindowState)() override { return miss(__func__); }
    STDMETHOD(Resize)(const D2D1_SIZE_U *) override { return miss(__func__); }
    STDMETHOD_(HWND, GetHwnd)() const override { return miss(__func__); }
};

// Makes window targets at the pixel size asked for.
class FakeFactory final : public Fake<ID2D1Factory> {
public:
    STDMETHOD(CreateHwndRenderTarget)
    (const D2D1_RENDER_TARGET_PROPERTIES *, const D2D1_HWND_RENDER_TARGET_PROPERTIES *window,
     ID2D1HwndRenderTarget **target) override {
        const D2D1_SIZE_U size = window->pixelSize;
        const std::string call = "CreateHwndRenderTarget(" + std::to_string(size.width) + "x" +
                                 std::to_string(size.height) + ")";
        FakeTarget *made = nullptr;
        const HRESULT hr = create<FakeTarget>(*this, call, "window", &made);
        *target = made;
        return hr;
    }

    STDMETHOD(ReloadSystemMetrics)() override { return miss(__func__); }
    STDMETHOD_(void, GetDesktopDpi)(FLOAT *, FLOAT *) override { miss(__func__); }
    STDMETHOD(CreateRectangleGeometry)(const D2D1_RECT_F *, ID2D1RectangleGeometry **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateRoundedRectangleGeometry)
    (const D2D1_ROUNDED_RECT *, ID2D1RoundedRectangleGeometry **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateEllipseGeometry)(const D2D1_ELLIPSE *, ID2D1EllipseGeometry **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateGeometryGroup)
    (D2D1_FILL_MODE, ID2D1Geometry **, UINT, ID2D1GeometryGroup **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateTransformedGeometry)
    (ID2D1Geometry *, const D2D1_MATRIX_3X2_F *, ID2D1TransformedGeometry **) override {
        return miss(__func__);
    }
    STDMETHOD(CreatePathGeometry)(ID2D1PathGeometry **) override { return miss(__func__); }
    STDMETHOD(CreateStrokeStyle)
    (const D2D1_STROKE_STYLE_PROPERTIES *, const FLOAT *, UINT, ID2D1StrokeStyle **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateDrawingStateBlock)
    (const D2D1_DRAWING_STATE_DESCRIPTION *, IDWriteRenderingParams *,
     ID2D1DrawingStateBlock **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateWicBitmapRenderTarget)
    (IWICBitmap *, const D2D1_RENDER_TARGET_PROPERTIES *, ID2D1RenderTarget **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateDxgiSurfaceRenderTarget)
    (IDXGISurface *, const D2D1_RENDER_TARGET_PROPERTIES *, ID2D1RenderTarget **) override {
        return miss(__func__);
    }
    STDMETHOD(CreateDCRenderTarget)
    (const D2D1_RENDER_TARGET_PROPERTIES *, ID2D1DCRenderTarget **) override {
        return miss(__func__);
    }
};

} // namespace fakes

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
