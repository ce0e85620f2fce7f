// Stand-ins for the Direct2D objects a frame touches: the factory, the
// window's target, offscreen targets, their bitmaps and solid brushes, path
// geometries and their sinks. They are COM objects built from Direct2D's C
// definitions (d2d_fakes.cpp), which share their binary layout with the C++
// interfaces: only the methods a frame uses are filled in, so any other call
// faults. They count what is made, fail a chosen creation with E_OUTOFMEMORY,
// and count as a fault every call made through an object that is missing or
// released, every drawing outside BeginDraw and EndDraw, and every target
// released while drawing.
#pragma once

#include <windows.h>

#include <d2d1.h>

#include <memory>
#include <vector>

namespace fakes {

enum Kind { kWindow, kTarget, kBrush, kBitmap, kGeometry, kSink, kFactory };

struct World;

// Its table comes first: the object's address is its interface pointer. The
// world owns it, so that its count can be read after its last release.
struct Object {
    const void *table;
    World *world;
    Kind kind;
    long refs;
    bool drawing;
};

struct World {
    int made[kFactory] = {};    // creations so far, by kind
    int fail_at[kFactory] = {}; // the ordinal of the creation of a kind that fails
    HRESULT flush_result = S_OK;
    int faults = 0;
    int bars = 0;                 // figures added to the bars' geometries
    D2D1_SIZE_U window_size = {}; // of the last window target made
    std::vector<std::unique_ptr<Object>> objects;

    // The factory, to be used as an ID2D1Factory.
    void *factory();
};

} // namespace fakes
