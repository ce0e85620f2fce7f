// Where one paint's time goes, and what the window shows, under Wine's
// software Direct2D.
//
//   paint_profile profile FRAMES ROUNDS
//     Draws FRAMES frames of each variant below into a 1000 x 400 window,
//     unpaced, the variants taking turns for ROUNDS rounds, and prints for
//     each its CPU time (user + system of the whole process, the renderer's
//     threads included) and wall time per frame, and both against the
//     clear-only floor of the same rounds. A variant is the histogram's frame
//     as the program draws it with one step left out or done another way;
//     "program" is HistogramVisualizer::render itself.
//
//   paint_profile pixels FRAMES DIR
//     Paints FRAMES frames of a fixed sequence of spectra with
//     HistogramVisualizer::render and, after frames 1, 2, 5 and FRAMES, reads
//     the window back from the screen: prints a hash of its pixels and writes
//     DIR/frame-N.bmp. Two builds of the visualiser draw the same picture when
//     every line matches.

#include "audio/pcm_queue.h"
#include "visual/bar_layout.h"
#include "visual/histogram_visualizer.h"
#include "visual/hue_color.h"
#include "visual/spectrum_analysis.h"

#include <d2d1.h>
#include <dwrite.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 400;
const wchar_t kTitle[] = L"Ana - Morning";

template <class T> void drop(T *&object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

// The Linux process id of this Wine process (0 where unknown): Wine's own
// process ids are not the kernel's, and Wine opens files on behalf of the
// process in its server, so /proc/self would be the server's.
long long unix_pid() {
#if defined(__GNUC__) && defined(__x86_64__)
    long long pid = 39; // getpid
    __asm__ volatile("syscall" : "+a"(pid) : : "rcx", "r11", "memory");
    return pid;
#else
    return 0;
#endif
}

// CPU seconds of the whole process so far: the kernel's count, which takes in
// the software renderer's threads (Wine's own accounting does not).
double process_cpu_seconds() {
    static const std::string path = "Z:\\proc\\" + std::to_string(unix_pid()) + "\\stat";
    FILE *stat = std::fopen(path.c_str(), "r");
    if (stat == nullptr) {
        return 0.0;
    }
    char text[1024] = {};
    const size_t length = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    text[length] = '\0';
    const char *field = std::strrchr(text, ')'); // the command may hold spaces
    unsigned long long user = 0, system = 0;
    if (field == nullptr ||
        std::sscanf(field + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                    &system) != 2) {
        return 0.0;
    }
    return static_cast<double>(user + system) / 100.0; // USER_HZ
}

double wall_seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void pump_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

HWND make_window() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA; // no background: nothing erases the frames
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "paint_profile";
    RegisterClassA(&window_class);
    HWND window =
        CreateWindowExA(WS_EX_TOPMOST, "paint_profile", "Lorvane", WS_POPUP | WS_VISIBLE, 0, 0,
                        kWidth, kHeight, nullptr, nullptr, window_class.hInstance, nullptr);
    pump_messages();
    return window;
}

// A spectrum that moves from frame to frame, the same in every run.
void spectrum(int frame, float *history, float *peak) {
    for (int k = 0; k < histogram::kBins; ++k) {
        const double x = 0.5 + 0.45 * std::sin(k * 0.11 + frame * 0.37) * std::cos(k * 0.023);
        history[k] = static_cast<float>(x * (1.0 - k / 300.0));
    }
    *peak = 1.0f;
}

// The histogram's frame, drawn step by step as the visualiser draws it, with
// any step left out or done another way.
struct Steps {
    const char *name;
    bool frame = true;        // an offscreen frame at all (else only the window)
    bool new_target = true;   // made anew each frame (else two kept, taking turns, cleared)
    bool trail = true;        // the previous frame, shrunk and faded, into the new one
    bool flush = true;        // the frame's flush after the trail
    int bars = 1;             // 0 none, 1 one FillRectangle each, 2 one geometry filled once
    bool title = true;        // the title in colour on the frame, in white on the window
    bool black = true;        // the window's black fill
    bool clear = false;       // the window cleared to black instead
    bool frame_bitmap = true; // the frame drawn on the window
};

class Painter {
public:
    explicit Painter(HWND window) : window_(window) {
        D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, &factory_);
        DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                            reinterpret_cast<IUnknown **>(&dwrite_));
        dwrite_->CreateTextFormat(L"Georgia", nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                  DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, 48.0f,
                                  L"en-us", &format_);
        format_->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER);
        dwrite_->CreateTextLayout(kTitle, static_cast<UINT32>(wcslen(kTitle)), format_, kWidth,
                                  static_cast<float>(kHeight / 3.0 - kHeight / 6.0), &layout_);
        D2D1_RENDER_TARGET_PROPERTIES properties = {};
        D2D1_HWND_RENDER_TARGET_PROPERTIES window_properties = {};
        window_properties.hwnd = window;
        window_properties.pixelSize = D2D1_SIZE_U{kWidth, kHeight};
        factory_->CreateHwndRenderTarget(&properties, &window_properties, &target_);
    }
    bool ready() const { return target_ != nullptr && layout_ != nullptr; }

    void frame(const Steps &steps, int number) {
        float history[histogram::kBins];
        float peak = 0.0f;
        spectrum(number, history, &peak);
        BarRect bars[histogram::kMaxBars];
        const int count = bar_layout(kWidth, kHeight, history, peak, bars);
        const FrameColor c = frame_color(number % 101);
        const D2D1_COLOR_F color = {c.r, c.g, c.b, c.a};
        const D2D1_RECT_F whole = {0, 0, kWidth, kHeight};
        const float scale = 0.98f;
        const D2D1_RECT_F trail = {kWidth - kWidth * scale, kHeight - kHeight * scale,
                                   kWidth * scale, kHeight * scale};
        const D2D1_POINT_2F title_at = {0.0f, static_cast<float>(kHeight / 6.0)};

        ID2D1BitmapRenderTarget *frame = nullptr;
        if (steps.frame) {
            if (steps.new_target) {
                target_->CreateCompatibleRenderTarget(&frame);
            } else {
                if (kept_[0] == nullptr) {
                    target_->CreateCompatibleRenderTarget(&kept_[0]);
                    target_->CreateCompatibleRenderTarget(&kept_[1]);
                }
                frame = kept_[number % 2];
                frame->AddRef();
            }
            frame->BeginDraw();
            if (!steps.new_target) {
                frame->Clear(D2D1_COLOR_F{0, 0, 0, 0}); // what a new target holds
            }
            if (steps.trail && previous_ != nullptr) {
                ID2D1Bitmap *bitmap = nullptr;
                previous_->GetBitmap(&bitmap);
                frame->DrawBitmap(bitmap, &trail, 0.9f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR,
                                  &whole);
                drop(bitmap);
            }
            drop(previous_);
            if (steps.flush) {
                frame->Flush();
            }
            ID2D1SolidColorBrush *brush = nullptr;
            frame->CreateSolidColorBrush(color, &brush);
            if (steps.bars == 1) {
                for (int k = 0; k < count; ++k) {
                    frame->FillRectangle(
                        D2D1_RECT_F{bars[k].left, bars[k].top, bars[k].right, bars[k].bottom},
                        brush);
                }
            } else if (steps.bars == 2) {
                fill_as_one(frame, bars, count, brush);
            }
            if (steps.title) {
                frame->DrawTextLayout(title_at, layout_, brush);
            }
            drop(brush);
            frame->EndDraw();
            previous_ = frame;
        }

        target_->BeginDraw();
        ID2D1SolidColorBrush *brush = nullptr;
        target_->CreateSolidColorBrush(D2D1_COLOR_F{0, 0, 0, 1}, &brush);
        if (steps.black) {
            target_->FillRectangle(whole, brush);
        }
        if (steps.clear || (!steps.black && !(steps.frame && steps.frame_bitmap))) {
            target_->Clear(D2D1_COLOR_F{0, 0, 0, 1}); // the floor
        }
        if (steps.frame && steps.frame_bitmap) {
            ID2D1Bitmap *bitmap = nullptr;
            frame->GetBitmap(&bitmap);
            target_->DrawBitmap(bitmap, whole, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
            drop(bitmap);
        }
        if (steps.title) {
            brush->SetColor(D2D1_COLOR_F{1, 1, 1, 1});
            target_->DrawTextLayout(title_at, layout_, brush);
        }
        drop(brush);
        target_->EndDraw();
    }

private:
    // Every bar as one figure of one path geometry, filled once.
    void fill_as_one(ID2D1RenderTarget *frame, const BarRect *bars, int count, ID2D1Brush *brush) {
        ID2D1PathGeometry *path = nullptr;
        ID2D1GeometrySink *sink = nullptr;
        if (FAILED(factory_->CreatePathGeometry(&path)) || FAILED(path->Open(&sink))) {
            drop(path);
            return;
        }
        for (int k = 0; k < count; ++k) {
            const BarRect &b = bars[k];
            if (b.top == b.bottom) {
                continue;
            }
            sink->BeginFigure(D2D1_POINT_2F{b.left, b.top}, D2D1_FIGURE_BEGIN_FILLED);
            const D2D1_POINT_2F corners[] = {
                {b.right, b.top}, {b.right, b.bottom}, {b.left, b.bottom}};
            sink->AddLines(corners, 3);
            sink->EndFigure(D2D1_FIGURE_END_CLOSED);
        }
        sink->Close();
        drop(sink);
        frame->FillGeometry(path, brush);
        drop(path);
    }

    HWND window_;
    ID2D1Factory *factory_ = nullptr;
    IDWriteFactory *dwrite_ = nullptr;
    IDWriteTextFormat *format_ = nullptr;
    IDWriteTextLayout *layout_ = nullptr;
    ID2D1HwndRenderTarget *target_ = nullptr;
    ID2D1BitmapRenderTarget *previous_ = nullptr;
    ID2D1BitmapRenderTarget *kept_[2] = {};
};

// The program's own visualiser, painting the same spectra. No session: the
// title is laid out here and found by the visualiser's cache as the layout of
// its (empty) title.
struct Program {
    HistogramVisualizer v;
    PcmBlock unlent = {nullptr, 0, 44100, 2, 0}; // never lent: the spectrum set here stays

    explicit Program(HWND window) {
        v.create_device_independent_resources();
        v.window_handle = window;
        v.current_block = &unlent;
        const D2D1_RECT_F box = {0, static_cast<float>(kHeight / 6.0), kWidth,
                                 static_cast<float>(kHeight / 3.0)};
        IDWriteTextLayout *layout = v.layout_for(v.title_layout, v.text_format, kTitle, box);
        v.title_layout.text.clear(); // what render asks for without a session
        (void)layout;
    }
    HRESULT frame(int number) {
        spectrum(number, v.history, &v.peak);
        return v.render();
    }
};

struct Timing {
    double cpu = 0.0, wall = 0.0;
    int frames = 0;
};

int profile(int frames, int rounds) {
    HWND window = make_window();
    Painter painter(window);
    Program program(window);
    if (!painter.ready()) {
        std::fprintf(stderr, "paint_profile: no Direct2D target\n");
        return 1;
    }
    // The floor, then the empty frame (made, begun, ended, shown) with each
    // step alone, then the whole frame with one step left out or done
    // another way.
    std::vector<Steps> variants;
    Steps floor{"floor: the window cleared"};
    floor.frame = false, floor.black = false, floor.title = false;
    Steps empty{"empty frame made and shown"};
    empty.trail = false, empty.flush = false, empty.bars = 0, empty.title = false;
    empty.black = false;
    variants.push_back(floor);
    variants.push_back(empty);
    variants.push_back(empty), variants.back().name = "  + trail", variants.back().trail = true;
    variants.push_back(empty), variants.back().name = "  + flush", variants.back().flush = true;
    variants.push_back(empty), variants.back().name = "  + bars, one fill each";
    variants.back().bars = 1;
    variants.push_back(empty), variants.back().name = "  + bars, one geometry";
    variants.back().bars = 2;
    variants.push_back(empty), variants.back().name = "  + titles", variants.back().title = true;
    variants.push_back(empty), variants.back().name = "  + black fill",
                               variants.back().black = true;
    variants.push_back(Steps{"whole frame, as the program draws"});
    variants.push_back(Steps{"  - new target: two kept, cleared"});
    variants.back().new_target = false;
    variants.push_back(Steps{"  - black fill"});
    variants.back().black = false;
    variants.push_back(Steps{"  - black fill, + window cleared"});
    variants.back().black = false, variants.back().clear = true;
    variants.push_back(Steps{"  - both, + one geometry, cleared"});
    variants.back().black = false, variants.back().clear = true, variants.back().bars = 2;
    variants.push_back(Steps{"  - bars, + bars as one geometry"});
    variants.back().bars = 2;
    variants.push_back(Steps{"  - trail"});
    variants.back().trail = false;
    variants.push_back(Steps{"  - titles"});
    variants.back().title = false;

    std::vector<Timing> timings(variants.size() + 1);
    int number = 0;
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i <= variants.size(); ++i) {
            for (int warm = 0; warm < 3; ++warm) { // a trail to draw, caches made
                i < variants.size() ? painter.frame(variants[i], number++)
                                    : static_cast<void>(program.frame(number++));
            }
            pump_messages();
            const double cpu = process_cpu_seconds(), wall = wall_seconds();
            for (int f = 0; f < frames; ++f) {
                i < variants.size() ? painter.frame(variants[i], number++)
                                    : static_cast<void>(program.frame(number++));
            }
            timings[i].cpu += process_cpu_seconds() - cpu;
            timings[i].wall += wall_seconds() - wall;
            timings[i].frames += frames;
            pump_messages();
        }
    }
    const double floor_cpu = timings[0].cpu / timings[0].frames;
    const double floor_wall = timings[0].wall / timings[0].frames;
    std::printf("%-38s %12s %8s %13s %8s\n", "variant", "CPU ms/frame", "x floor", "wall ms/frame",
                "x floor");
    for (size_t i = 0; i <= variants.size(); ++i) {
        const double cpu = timings[i].cpu / timings[i].frames;
        const double wall = timings[i].wall / timings[i].frames;
        std::printf("%-38s %12.1f %8.2f %13.1f %8.2f\n",
                    i < variants.size() ? variants[i].name : "program (HistogramVisualizer)",
                    cpu * 1000, cpu / floor_cpu, wall * 1000, wall / floor_wall);
    }
    return 0;
}

// The window's client area as the screen shows it, 0xRRGGBB per pixel.
std::vector<uint32_t> capture(HWND window) {
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, kWidth, kHeight, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        const uint32_t *source = static_cast<const uint32_t *>(bits);
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = source[i] & 0xFFFFFF;
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Wine puts the window's surface on the screen asynchronously, from a thread
// of its own that may be a frame behind: read it until five readings over a
// second agree and something is drawn (from 1.5 s to 11.5 s).
std::vector<uint32_t> settled_capture(HWND window) {
    Sleep(1500);
    std::vector<uint32_t> last = capture(window);
    int same = 0;
    for (int tries = 0; tries < 40 && same < 4; ++tries) {
        Sleep(250);
        pump_messages();
        std::vector<uint32_t> now = capture(window);
        const bool drawn = std::any_of(now.begin(), now.end(), [](uint32_t p) { return p != 0; });
        same = now == last && drawn ? same + 1 : 0;
        last = std::move(now);
    }
    return last;
}

void write_bmp(const std::string &path, const std::vector<uint32_t> &pixels) {
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return;
    }
    const uint32_t data = static_cast<uint32_t>(pixels.size() * 4);
    BITMAPFILEHEADER header = {0x4D42, 14 + 40 + data, 0, 0, 14 + 40};
    BITMAPINFOHEADER info = {40, kWidth, -kHeight, 1, 32, BI_RGB, data, 0, 0, 0, 0};
    std::fwrite(&header, 14, 1, file);
    std::fwrite(&info, 40, 1, file);
    std::fwrite(pixels.data(), 4, pixels.size(), file);
    std::fclose(file);
}

int pixels(int frames, const std::string &folder) {
    HWND window = make_window();
    Program program(window);
    const int checkpoints[] = {1, 2, 5, frames};
    for (int number = 1; number <= frames; ++number) {
        const HRESULT status = program.frame(number);
        if (std::find(std::begin(checkpoints), std::end(checkpoints), number) ==
            std::end(checkpoints)) {
            continue;
        }
        const std::vector<uint32_t> shown = settled_capture(window);
        uint64_t hash = 1469598103934665603ull; // FNV-1a
        for (const uint32_t pixel : shown) {
            hash = (hash ^ pixel) * 1099511628211ull;
        }
        const long lit = std::count_if(shown.begin(), shown.end(), [](uint32_t p) { return p; });
        std::printf("frame %d: status 0x%08lx, pixels %016llx, %ld not black\n", number,
                    static_cast<unsigned long>(status), static_cast<unsigned long long>(hash), lit);
        write_bmp(folder + "\\frame-" + std::to_string(number) + ".bmp", shown);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int frames = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "profile" && frames > 0) {
        return profile(frames, argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
    }
    if (mode == "pixels" && frames > 0 && argc > 3) {
        return pixels(frames, argv[3]);
    }
    std::fprintf(stderr, "usage: paint_profile profile FRAMES ROUNDS | pixels FRAMES DIR\n");
    return 2;
}
