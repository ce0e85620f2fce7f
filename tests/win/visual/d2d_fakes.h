// Hand-written recording fakes of the Direct2D objects that one histogram
// frame touches: the factory, the window's render target, offscreen targets,
// their bitmaps and solid brushes. Every call of interest is written to one
// log as a line of text, in order, with its arguments; floats are printed
// with nine significant digits, so a line tells the exact single-precision
// value. Each object counts its references and never deletes itself: the
// world owns them all, so a test can check that every reference taken was
// given back.
//
// Failures are injected per kind of creation, by the ordinal of the call.
#pragma once

#include <windows.h>

#include <d2d1.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// COM interfaces have no virtual destructor (objects end through Release);
// the fakes are destroyed through their own type only.
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

inline std::string rect(const D2D1_RECT_F *r) {
    if (r == nullptr) {
        return "null";
    }
    return "{" + num(r->left) + "," + num(r->top) + "," + num(r->right) + "," + num(r->bottom) +
           "}";
}

inline std::string color(const D2D1_COLOR_F *c) {
    if (c == nullptr) {
        return "null";
    }
    return "{" + num(c->r) + "," + num(c->g) + "," + num(c->b) + "," + num(c->a) + "}";
}

// ASCII as is, anything else as \uXXXX.
inline std::string text(const WCHAR *s, UINT32 length) {
    std::string out;
    for (UINT32 i = 0; i < length; ++i) {
        if (s[i] >= 0x20 && s[i] < 0x7F) {
            out.push_back(static_cast<char>(s[i]));
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(s[i]));
            out += escape;
        }
    }
    return out;
}

struct World;

template <class Interface> class Fake : public Interface {
public:
    Fake(World *world, std::string name) : world_(world), name_(std::move(name)) {}
    virtual ~Fake() = default;
    Fake(const Fake &) = delete;
    Fake &operator=(const Fake &) = delete;

    STDMETHOD(QueryInterface)(REFIID, void **object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override;

    const std::string &name() const { return name_; }
    long refs = 1;

protected:
    void record(const std::string &call) const;
    World *world_;
    std::string name_;
};

#ifdef WIDL_EXPLICIT_AGGREGATE_RETURNS
#define FAKE_AGGREGATE_GETTER(type, method)                                                        \
    type *STDMETHODCALLTYPE method(type *out) const override {                                     \
        *out = type{};                                                                             \
        return out;                                                                                \
    }
#else
#define FAKE_AGGREGATE_GETTER(type, method)                                                        \
    STDMETHOD_(type, method)() const override {                                                    \
        return type{};                                                                             \
    }
#endif

class FakeBitmap final : public Fake<ID2D1Bitmap> {
public:
    using Fake::Fake;
    STDMETHOD_(void, GetFactory)(ID2D1Factory **factory) const override { *factory = nullptr; }
    FAKE_AGGREGATE_GETTER(D2D1_SIZE_F, GetSize)
    FAKE_AGGREGATE_GETTER(D2D1_SIZE_U, GetPixelSize)
    FAKE_AGGREGATE_GETTER(D2D1_PIXEL_FORMAT, GetPixelFormat)
    STDMETHOD_(void, GetDpi)(FLOAT *x, FLOAT *y) const override { *x = *y = 96.0f; }
    STDMETHOD(CopyFromBitmap)(const D2D1_POINT_2U *, ID2D1Bitmap *, const D2D1_RECT_U *) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CopyFromRenderTarget)
    (const D2D1_POINT_2U *, ID2D1RenderTarget *, const D2D1_RECT_U *) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CopyFromMemory)(const D2D1_RECT_U *, const void *, UINT32) override {
        return E_NOTIMPL;
    }
};

class FakeBrush final : public Fake<ID2D1SolidColorBrush> {
public:
    using Fake::Fake;
    STDMETHOD_(void, GetFactory)(ID2D1Factory **factory) const override { *factory = nullptr; }
    STDMETHOD_(void, SetOpacity)(FLOAT) override { record("SetOpacity"); }
    STDMETHOD_(void, SetTransform)(const D2D1_MATRIX_3X2_F *) override { record("SetTransform"); }
    STDMETHOD_(FLOAT, GetOpacity)() const override { return 1.0f; }
    STDMETHOD_(void, GetTransform)(D2D1_MATRIX_3X2_F *) const override {}
    STDMETHOD_(void, SetColor)(const D2D1_COLOR_F *c) override {
        record("SetColor(" + color(c) + ")");
    }
    FAKE_AGGREGATE_GETTER(D2D1_COLOR_F, GetColor)
};

// Everything of ID2D1RenderTarget; the calls that a frame makes are
// recorded, any other call is recorded as unexpected.
template <class Interface> class FakeTarget : public Fake<Interface> {
public:
    using Fake<Interface>::Fake;
    using Fake<Interface>::record;

    STDMETHOD_(void, GetFactory)(ID2D1Factory **factory) const override { *factory = nullptr; }
    STDMETHOD(CreateBitmap)
    (D2D1_SIZE_U, const void *, UINT32, const D2D1_BITMAP_PROPERTIES *, ID2D1Bitmap **) override {
        return unexpected("CreateBitmap");
    }
    STDMETHOD(CreateBitmapFromWicBitmap)
    (IWICBitmapSource *, const D2D1_BITMAP_PROPERTIES *, ID2D1Bitmap **) override {
        return unexpected("CreateBitmapFromWicBitmap");
    }
    STDMETHOD(CreateSharedBitmap)
    (REFIID, void *, const D2D1_BITMAP_PROPERTIES *, ID2D1Bitmap **) override {
        return unexpected("CreateSharedBitmap");
    }
    STDMETHOD(CreateBitmapBrush)
    (ID2D1Bitmap *, const D2D1_BITMAP_BRUSH_PROPERTIES *, const D2D1_BRUSH_PROPERTIES *,
     ID2D1BitmapBrush **) override {
        return unexpected("CreateBitmapBrush");
    }
    STDMETHOD(CreateSolidColorBrush)
    (const D2D1_COLOR_F *c, const D2D1_BRUSH_PROPERTIES *properties,
     ID2D1SolidColorBrush **brush) override;
    STDMETHOD(CreateGradientStopCollection)
    (const D2D1_GRADIENT_STOP *, UINT, D2D1_GAMMA, D2D1_EXTEND_MODE,
     ID2D1GradientStopCollection **) override {
        return unexpected("CreateGradientStopCollection");
    }
    STDMETHOD(CreateLinearGradientBrush)
    (const D2D1_LINEAR_GRADIENT_BRUSH_PROPERTIES *, const D2D1_BRUSH_PROPERTIES *,
     ID2D1GradientStopCollection *, ID2D1LinearGradientBrush **) override {
        return unexpected("CreateLinearGradientBrush");
    }
    STDMETHOD(CreateRadialGradientBrush)
    (const D2D1_RADIAL_GRADIENT_BRUSH_PROPERTIES *, const D2D1_BRUSH_PROPERTIES *,
     ID2D1GradientStopCollection *, ID2D1RadialGradientBrush **) override {
        return unexpected("CreateRadialGradientBrush");
    }
    STDMETHOD(CreateCompatibleRenderTarget)
    (const D2D1_SIZE_F *size, const D2D1_SIZE_U *pixel_size, const D2D1_PIXEL_FORMAT *format,
     D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS options, ID2D1BitmapRenderTarget **target) override;
    STDMETHOD(CreateLayer)(const D2D1_SIZE_F *, ID2D1Layer **) override {
        return unexpected("CreateLayer");
    }
    STDMETHOD(CreateMesh)(ID2D1Mesh **) override { return unexpected("CreateMesh"); }
    STDMETHOD_(void, DrawLine)
    (D2D1_POINT_2F, D2D1_POINT_2F, ID2D1Brush *, FLOAT, ID2D1StrokeStyle *) override {
        unexpected("DrawLine");
    }
    STDMETHOD_(void, DrawRectangle)
    (const D2D1_RECT_F *, ID2D1Brush *, FLOAT, ID2D1StrokeStyle *) override {
        unexpected("DrawRectangle");
    }
    STDMETHOD_(void, FillRectangle)(const D2D1_RECT_F *r, ID2D1Brush *brush) override {
        record("FillRectangle(" + rect(r) + ", " + name_of(brush) + ")");
    }
    STDMETHOD_(void, DrawRoundedRectangle)
    (const D2D1_ROUNDED_RECT *, ID2D1Brush *, FLOAT, ID2D1StrokeStyle *) override {
        unexpected("DrawRoundedRectangle");
    }
    STDMETHOD_(void, FillRoundedRectangle)(const D2D1_ROUNDED_RECT *, ID2D1Brush *) override {
        unexpected("FillRoundedRectangle");
    }
    STDMETHOD_(void, DrawEllipse)
    (const D2D1_ELLIPSE *, ID2D1Brush *, FLOAT, ID2D1StrokeStyle *) override {
        unexpected("DrawEllipse");
    }
    STDMETHOD_(void, FillEllipse)(const D2D1_ELLIPSE *, ID2D1Brush *) override {
        unexpected("FillEllipse");
    }
    STDMETHOD_(void, DrawGeometry)
    (ID2D1Geometry *, ID2D1Brush *, FLOAT, ID2D1StrokeStyle *) override {
        unexpected("DrawGeometry");
    }
    STDMETHOD_(void, FillGeometry)(ID2D1Geometry *, ID2D1Brush *, ID2D1Brush *) override {
        unexpected("FillGeometry");
    }
    STDMETHOD_(void, FillMesh)(ID2D1Mesh *, ID2D1Brush *) override { unexpected("FillMesh"); }
    STDMETHOD_(void, FillOpacityMask)
    (ID2D1Bitmap *, ID2D1Brush *, D2D1_OPACITY_MASK_CONTENT, const D2D1_RECT_F *,
     const D2D1_RECT_F *) override {
        unexpected("FillOpacityMask");
    }
    STDMETHOD_(void, DrawBitmap)
    (ID2D1Bitmap *bitmap, const D2D1_RECT_F *destination, FLOAT opacity,
     D2D1_BITMAP_INTERPOLATION_MODE mode, const D2D1_RECT_F *source) override {
        record("DrawBitmap(" + name_of(bitmap) + ", " + rect(destination) + ", " + num(opacity) +
               ", " + (mode == D2D1_BITMAP_INTERPOLATION_MODE_LINEAR ? "linear" : "nearest") +
               ", " + rect(source) + ")");
    }
    STDMETHOD_(void, DrawText)
    (const WCHAR *string, UINT length, IDWriteTextFormat *format, const D2D1_RECT_F *layout,
     ID2D1Brush *brush, D2D1_DRAW_TEXT_OPTIONS options, DWRITE_MEASURING_MODE mode) override;
    STDMETHOD_(void, DrawTextLayout)
    (D2D1_POINT_2F, IDWriteTextLayout *, ID2D1Brush *, D2D1_DRAW_TEXT_OPTIONS) override {
        unexpected("DrawTextLayout");
    }
    STDMETHOD_(void, DrawGlyphRun)
    (D2D1_POINT_2F, const DWRITE_GLYPH_RUN *, ID2D1Brush *, DWRITE_MEASURING_MODE) override {
        unexpected("DrawGlyphRun");
    }
    STDMETHOD_(void, SetTransform)(const D2D1_MATRIX_3X2_F *) override {
        unexpected("SetTransform");
    }
    STDMETHOD_(void, GetTransform)(D2D1_MATRIX_3X2_F *) const override {}
    STDMETHOD_(void, SetAntialiasMode)(D2D1_ANTIALIAS_MODE) override {
        unexpected("SetAntialiasMode");
    }
    STDMETHOD_(D2D1_ANTIALIAS_MODE, GetAntialiasMode)() const override {
        return D2D1_ANTIALIAS_MODE_PER_PRIMITIVE;
    }
    STDMETHOD_(void, SetTextAntialiasMode)(D2D1_TEXT_ANTIALIAS_MODE) override {
        unexpected("SetTextAntialiasMode");
    }
    STDMETHOD_(D2D1_TEXT_ANTIALIAS_MODE, GetTextAntialiasMode)() const override {
        return D2D1_TEXT_ANTIALIAS_MODE_DEFAULT;
    }
    STDMETHOD_(void, SetTextRenderingParams)(IDWriteRenderingParams *) override {
        unexpected("SetTextRenderingParams");
    }
    STDMETHOD_(void, GetTextRenderingParams)(IDWriteRenderingParams **params) const override {
        *params = nullptr;
    }
    STDMETHOD_(void, SetTags)(D2D1_TAG, D2D1_TAG) override { unexpected("SetTags"); }
    STDMETHOD_(void, GetTags)(D2D1_TAG *, D2D1_TAG *) const override {}
    STDMETHOD_(void, PushLayer)(const D2D1_LAYER_PARAMETERS *, ID2D1Layer *) override {
        unexpected("PushLayer");
    }
    STDMETHOD_(void, PopLayer)() override { unexpected("PopLayer"); }
    STDMETHOD(Flush)(D2D1_TAG *tag1, D2D1_TAG *tag2) override;
    STDMETHOD_(void, SaveDrawingState)(ID2D1DrawingStateBlock *) const override {}
    STDMETHOD_(void, RestoreDrawingState)(ID2D1DrawingStateBlock *) override {
        unexpected("RestoreDrawingState");
    }
    STDMETHOD_(void, PushAxisAlignedClip)(const D2D1_RECT_F *, D2D1_ANTIALIAS_MODE) override {
        unexpected("PushAxisAlignedClip");
    }
    STDMETHOD_(void, PopAxisAlignedClip)() override { unexpected("PopAxisAlignedClip"); }
    STDMETHOD_(void, Clear)(const D2D1_COLOR_F *c) override { record("Clear(" + color(c) + ")"); }
    STDMETHOD_(void, BeginDraw)() override { record("BeginDraw"); }
    STDMETHOD(EndDraw)(D2D1_TAG *tag1, D2D1_TAG *tag2) override {
        record(std::string("EndDraw") + (tag1 != nullptr || tag2 != nullptr ? "(tags)" : ""));
        return S_OK;
    }
    FAKE_AGGREGATE_GETTER(D2D1_PIXEL_FORMAT, GetPixelFormat)
    STDMETHOD_(void, SetDpi)(FLOAT, FLOAT) override { unexpected("SetDpi"); }
    STDMETHOD_(void, GetDpi)(FLOAT *x, FLOAT *y) const override { *x = *y = 96.0f; }
    FAKE_AGGREGATE_GETTER(D2D1_SIZE_F, GetSize)
    FAKE_AGGREGATE_GETTER(D2D1_SIZE_U, GetPixelSize)
    STDMETHOD_(UINT32, GetMaximumBitmapSize)() const override { return 8192; }
    STDMETHOD_(BOOL, IsSupported)(const D2D1_RENDER_TARGET_PROPERTIES *) const override {
        return TRUE;
    }

protected:
    HRESULT unexpected(const char *method) const {
        record(std::string("unexpected ") + method);
        return E_NOTIMPL;
    }
    static std::string name_of(IUnknown *object);
};

class FakeBitmapTarget final : public FakeTarget<ID2D1BitmapRenderTarget> {
public:
    using FakeTarget::FakeTarget;
    STDMETHOD(GetBitmap)(ID2D1Bitmap **bitmap) override;
};

class FakeWindowTarget final : public FakeTarget<ID2D1HwndRenderTarget> {
public:
    using FakeTarget::FakeTarget;
    STDMETHOD_(D2D1_WINDOW_STATE, CheckWindowState)() override { return D2D1_WINDOW_STATE_NONE; }
    STDMETHOD(Resize)(const D2D1_SIZE_U *) override {
        record("unexpected Resize");
        return E_NOTIMPL;
    }
    STDMETHOD_(HWND, GetHwnd)() const override { return nullptr; }
};

class FakeFactory final : public Fake<ID2D1Factory> {
public:
    using Fake::Fake;
    STDMETHOD(ReloadSystemMetrics)() override { return S_OK; }
    STDMETHOD_(void, GetDesktopDpi)(FLOAT *x, FLOAT *y) override { *x = *y = 96.0f; }
    STDMETHOD(CreateRectangleGeometry)(const D2D1_RECT_F *, ID2D1RectangleGeometry **) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CreateRoundedRectangleGeometry)
    (const D2D1_ROUNDED_RECT *, ID2D1RoundedRectangleGeometry **) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CreateEllipseGeometry)(const D2D1_ELLIPSE *, ID2D1EllipseGeometry **) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CreateGeometryGroup)
    (D2D1_FILL_MODE, ID2D1Geometry **, UINT, ID2D1GeometryGroup **) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CreateTransformedGeometry)
    (ID2D1Geometry *, const D2D1_MATRIX_3X2_F *, ID2D1TransformedGeometry **) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CreatePathGeometry)(ID2D1PathGeometry **) override { return E_NOTIMPL; }
    STDMETHOD(CreateStrokeStyle)
    (const D2D1_STROKE_STYLE_PROPERTIES *, const FLOAT *, UINT, ID2D1StrokeStyle **) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CreateDrawingStateBlock)
    (const D2D1_DRAWING_STATE_DESCRIPTION *, IDWriteRenderingParams *,
     ID2D1DrawingStateBlock **) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CreateWicBitmapRenderTarget)
    (IWICBitmap *, const D2D1_RENDER_TARGET_PROPERTIES *, ID2D1RenderTarget **) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CreateHwndRenderTarget)
    (const D2D1_RENDER_TARGET_PROPERTIES *properties,
     const D2D1_HWND_RENDER_TARGET_PROPERTIES *window_properties,
     ID2D1HwndRenderTarget **target) override;
    STDMETHOD(CreateDxgiSurfaceRenderTarget)
    (IDXGISurface *, const D2D1_RENDER_TARGET_PROPERTIES *, ID2D1RenderTarget **) override {
        return E_NOTIMPL;
    }
    STDMETHOD(CreateDCRenderTarget)
    (const D2D1_RENDER_TARGET_PROPERTIES *, ID2D1DCRenderTarget **) override {
        return E_NOTIMPL;
    }
};

// Owns every fake made; names them in order of creation ("window",
// "target1", "target2", ... for offscreen targets, "brush1", ...;
// "bitmap1", ... for the bitmaps taken from targets); holds the log and the
// failures to inject.
struct World {
    std::vector<std::string> log;
    std::vector<std::unique_ptr<IUnknown, void (*)(IUnknown *)>> owned;

    // 1-based ordinal of the call of each kind that fails, 0 for none.
    int fail_window_target = 0;
    int fail_compatible_target = 0;
    int fail_brush = 0;
    int fail_bitmap = 0;
    HRESULT failure = E_OUTOFMEMORY;
    HRESULT flush_result = S_OK;

    int window_targets = 0;
    int compatible_targets = 0;
    int brushes = 0;
    int bitmaps = 0;

    D2D1_RENDER_TARGET_PROPERTIES target_properties = {};
    D2D1_HWND_RENDER_TARGET_PROPERTIES window_properties = {};
    FakeFactory factory{this, "factory"};

    // Every object made, for reference checks.
    std::vector<std::pair<std::string, long *>> objects;

    template <class T> T *make(const std::string &name) {
        T *object = new T(this, name);
        owned.emplace_back(object, [](IUnknown *p) { delete static_cast<T *>(p); });
        objects.emplace_back(name, &object->refs);
        return object;
    }
    // The reference count of the object named name, or -1.
    long refs(const std::string &name) const {
        for (const auto &[n, r] : objects) {
            if (n == name) {
                return *r;
            }
        }
        return -1;
    }
    // The log's lines that start with prefix.
    std::vector<std::string> lines(const std::string &prefix) const {
        std::vector<std::string> out;
        for (const auto &line : log) {
            if (line.compare(0, prefix.size(), prefix) == 0) {
                out.push_back(line);
            }
        }
        return out;
    }
};

template <class I> ULONG Fake<I>::Release() {
    record("Release");
    return static_cast<ULONG>(--refs);
}

template <class I> void Fake<I>::record(const std::string &call) const {
    world_->log.push_back(name_ + "." + call);
}

template <class I> std::string FakeTarget<I>::name_of(IUnknown *object) {
    if (object == nullptr) {
        return "null";
    }
    // Every fake derives from Fake<X> for its own X; the name sits at the
    // same place behind each, so ask the most common kinds in turn.
    if (auto *b = dynamic_cast<FakeBrush *>(object)) {
        return b->name();
    }
    if (auto *m = dynamic_cast<FakeBitmap *>(object)) {
        return m->name();
    }
    return "?";
}

template <class I>
HRESULT FakeTarget<I>::CreateSolidColorBrush(const D2D1_COLOR_F *c,
                                             const D2D1_BRUSH_PROPERTIES *properties,
                                             ID2D1SolidColorBrush **brush) {
    World *world = this->world_;
    const int ordinal = ++world->brushes;
    std::string call = "CreateSolidColorBrush(" + color(c) + ", " +
                       (properties == nullptr ? "null" : "properties") + ")";
    if (ordinal == world->fail_brush) {
        *brush = nullptr;
        record(call + " failed");
        return world->failure;
    }
    FakeBrush *made = world->make<FakeBrush>("brush" + std::to_string(ordinal));
    record(call + " -> " + made->name());
    *brush = made;
    return S_OK;
}

template <class I>
HRESULT FakeTarget<I>::CreateCompatibleRenderTarget(const D2D1_SIZE_F *size,
                                                    const D2D1_SIZE_U *pixel_size,
                                                    const D2D1_PIXEL_FORMAT *format,
                                                    D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS options,
                                                    ID2D1BitmapRenderTarget **target) {
    World *world = this->world_;
    const int ordinal = ++world->compatible_targets;
    std::string call = std::string("CreateCompatibleRenderTarget(") + (size ? "size" : "null") +
                       ", " + (pixel_size ? "pixels" : "null") + ", " +
                       (format ? "format" : "null") + ", " + std::to_string(options) + ")";
    if (ordinal == world->fail_compatible_target) {
        *target = nullptr;
        record(call + " failed");
        return world->failure;
    }
    FakeBitmapTarget *made = world->make<FakeBitmapTarget>("target" + std::to_string(ordinal));
    record(call + " -> " + made->name());
    *target = made;
    return S_OK;
}

template <class I>
void FakeTarget<I>::DrawText(const WCHAR *string, UINT length, IDWriteTextFormat *format,
                             const D2D1_RECT_F *layout, ID2D1Brush *brush,
                             D2D1_DRAW_TEXT_OPTIONS options, DWRITE_MEASURING_MODE mode) {
    record("DrawText(\"" + text(string, length) + "\", " + std::to_string(length) + ", " +
           (format != nullptr ? "format" : "null") + ", " + rect(layout) + ", " + name_of(brush) +
           ", " + std::to_string(options) + ", " +
           (mode == DWRITE_MEASURING_MODE_NATURAL ? "natural" : "other") + ")");
}

template <class I> HRESULT FakeTarget<I>::Flush(D2D1_TAG *tag1, D2D1_TAG *tag2) {
    record(std::string("Flush") + (tag1 != nullptr || tag2 != nullptr ? "(tags)" : ""));
    return this->world_->flush_result;
}

inline HRESULT FakeBitmapTarget::GetBitmap(ID2D1Bitmap **bitmap) {
    const int ordinal = ++world_->bitmaps;
    if (ordinal == world_->fail_bitmap) {
        *bitmap = nullptr;
        record("GetBitmap failed");
        return world_->failure;
    }
    FakeBitmap *made = world_->make<FakeBitmap>("bitmap" + std::to_string(ordinal));
    record("GetBitmap -> " + made->name());
    *bitmap = made;
    return S_OK;
}

inline HRESULT
FakeFactory::CreateHwndRenderTarget(const D2D1_RENDER_TARGET_PROPERTIES *properties,
                                    const D2D1_HWND_RENDER_TARGET_PROPERTIES *window_properties,
                                    ID2D1HwndRenderTarget **target) {
    const int ordinal = ++world_->window_targets;
    world_->target_properties = *properties;
    world_->window_properties = *window_properties;
    const std::string call = "CreateHwndRenderTarget(" +
                             std::to_string(window_properties->pixelSize.width) + "x" +
                             std::to_string(window_properties->pixelSize.height) + ")";
    if (ordinal == world_->fail_window_target) {
        *target = nullptr;
        record(call + " failed");
        return world_->failure;
    }
    FakeWindowTarget *made = world_->make<FakeWindowTarget>("window" + std::to_string(ordinal));
    record(call + " -> " + made->name());
    *target = made;
    return S_OK;
}

} // namespace fakes

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
