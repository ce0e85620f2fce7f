// PostMessageA and MessageBoxA for the native build: each call is recorded
// for the tests, and a post is also handed to the test's hook, on the posting
// thread, so that a test can play the receiving window's part.

#include <posix_win32_testing.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

std::mutex recorder_lock;
std::vector<PosixPostedMessage> posted; // guarded by recorder_lock
std::vector<PosixMessageBox> boxes;     // guarded by recorder_lock
PosixPostHook post_hook = nullptr;      // guarded by recorder_lock
void *post_hook_context = nullptr;      // guarded by recorder_lock

template <typename T> size_t copy_out(const std::vector<T> &from, T *out, size_t max) {
    if (out)
        std::copy_n(from.begin(), std::min(max, from.size()), out);
    return from.size();
}

} // namespace

extern "C" {

BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const PosixPostedMessage record{window, message, wparam, lparam};
    PosixPostHook hook;
    void *context;
    {
        std::lock_guard<std::mutex> lock(recorder_lock);
        posted.push_back(record);
        hook = post_hook;
        context = post_hook_context;
    }
    if (hook)
        hook(&record, context);
    return TRUE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    PosixMessageBox record{};
    record.owner = owner;
    std::snprintf(record.text, sizeof record.text, "%s", text ? text : "");
    std::snprintf(record.caption, sizeof record.caption, "%s", caption ? caption : "");
    record.type = type;
    std::lock_guard<std::mutex> lock(recorder_lock);
    boxes.push_back(record);
    return IDOK;
}

void posix_set_post_hook(PosixPostHook hook, void *context) {
    std::lock_guard<std::mutex> lock(recorder_lock);
    post_hook = hook;
    post_hook_context = context;
}

size_t posix_posted_messages(PosixPostedMessage *out, size_t max) {
    std::lock_guard<std::mutex> lock(recorder_lock);
    return copy_out(posted, out, max);
}

void posix_clear_posted_messages(void) {
    std::lock_guard<std::mutex> lock(recorder_lock);
    posted.clear();
}

size_t posix_message_boxes(PosixMessageBox *out, size_t max) {
    std::lock_guard<std::mutex> lock(recorder_lock);
    return copy_out(boxes, out, max);
}

void posix_clear_message_boxes(void) {
    std::lock_guard<std::mutex> lock(recorder_lock);
    boxes.clear();
}

} // extern "C"
