// Recording fakes of the Direct2D objects that one histogram frame touches:
// the factory, the window's render target, offscreen targets, their bitmaps
// and solid brushes. They are COM objects built the way C code builds them
// (d2d_fakes.cpp sees Direct2D's C definitions, which share their binary
// layout with the C++ interfaces by COM's contract): a table with the
// methods a frame uses; every other slot is empty, so a call that a frame
// has no business making faults and fails the test.
//
// Every call is logged, in order, as "<object>.<call>"; floats carry nine
// significant digits, so a line tells the exact single-precision value. The
// world owns every fake (none deletes itself, so a test can read reference
// counts afterwards) and injects failures: the nth creation of a kind
// ("window", "target", "brush", "bitmap") fails with E_OUTOFMEMORY.
#pragma once

#include <windows.h>

#include <d2d1.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

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

// One fake. Its table comes first: the object's address is its interface
// pointer.
struct Object {
    const void *table;
    World *world;
    const char *kind;
    int ordinal; // 0 for the factory
    long refs;
    std::string name() const { return kind + (ordinal > 0 ? std::to_string(ordinal) : ""); }
};
static_assert(std::is_standard_layout_v<Object>);

// The fake behind an interface pointer, by name; "null" for none.
inline std::string name_of(const void *object) {
    return object != nullptr ? static_cast<const Object *>(object)->name() : "null";
}

struct World {
    std::vector<std::string> log;
    std::map<std::string, int> made;    // creations so far, by kind
    std::map<std::string, int> fail_at; // the ordinal of the creation of a kind that fails
    HRESULT flush_result = S_OK;
    std::vector<std::unique_ptr<Object>> objects;

    // The factory, to be used as an ID2D1Factory.
    void *factory();
    // The reference count of the object so named, or -1.
    long refs(const std::string &name) const {
        for (const auto &object : objects) {
            if (object->name() == name) {
                return object->refs;
            }
        }
        return -1;
    }
};

} // namespace fakes
