/*
 * Test controls of the POSIX stand-ins for user32: PostMessageA and
 * MessageBoxA record their calls here instead of reaching a window.
 */
#ifndef LORVANE_POSIX_WIN32_TESTING_H
#define LORVANE_POSIX_WIN32_TESTING_H

#include "windows.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PosixPostedMessage {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
} PosixPostedMessage;

/* Called on the posting thread for every PostMessageA, after it is recorded.
 * Null removes the hook. */
typedef void (*PosixPostHook)(const PosixPostedMessage *message, void *context);
void posix_set_post_hook(PosixPostHook hook, void *context);

/* Copies up to max recorded posts, oldest first; returns how many there are. */
size_t posix_posted_messages(PosixPostedMessage *out, size_t max);
void posix_clear_posted_messages(void);

typedef struct PosixMessageBox {
    HWND owner;
    char text[128];
    char caption[64];
    UINT type;
} PosixMessageBox;

/* Copies up to max recorded message boxes, oldest first; returns the count.
 * A recorded box returns IDOK at once, as if the user had closed it. */
size_t posix_message_boxes(PosixMessageBox *out, size_t max);
void posix_clear_message_boxes(void);

#ifdef __cplusplus
}
#endif

#endif /* LORVANE_POSIX_WIN32_TESTING_H */
