// The connect dialog's procedures: logging in, the playlist list, starting
// to play, and the dialog shown again.
#include "ui/connect_dialog.h"

#include "platform/win32_owners.h"
#include "session/player_controls.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"
#include "session/session_state.h"
#include "ui/app_context.h"
#include "ui/dialog_messages.h"
#include "ui/main_window.h"
#include "ui/resource_ids.h"
#include "platform/utf8_text.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

// A field is read as at most 99 UTF-16 units, which take at most 3 bytes each
// in UTF-8 (a surrogate pair, two units, takes 4), plus the terminating zero.
constexpr int kFieldChars = 100;
constexpr int kFieldUtf8Bytes = (kFieldChars - 1) * 3 + 1;

// Reads control id as UTF-8 into out, without half a character at the cut.
// The wide copy is wiped.
void read_field_utf8(HWND dialog, int id, char (&out)[kFieldUtf8Bytes]) {
    wchar_t wide[kFieldChars];
    const UINT units = GetDlgItemTextW(dialog, id, wide, kFieldChars);
    narrow_to_utf8(wide, units, out, kFieldUtf8Bytes);
    SecureZeroMemory(wide, sizeof wide);
}

AppContext *context_of(HWND window) {
    return reinterpret_cast<AppContext *>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void enable(HWND dialog, int id, BOOL enabled) {
    EnableWindow(GetDlgItem(dialog, id), enabled);
}

// Subclasses one control with tab_key_subclass_proc, keeping its previous
// procedure in its user data. The procedures are read, installed and called
// in their wide form: a subclass installed as "A" would make the control an
// 8-bit window, and wide text sent to it (the playlist names) would then be
// squeezed through the system code page before reaching the control. 8-bit
// messages still arrive as before, converted by the system.
void subclass_for_tab(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    LONG_PTR previous = GetWindowLongPtrW(control, GWLP_WNDPROC);
    SetWindowLongPtrW(control, GWLP_USERDATA, previous);
    SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&tab_key_subclass_proc));
}

// Empties the playlist list and frees the names kept with its items.
void clear_playlist_list(HWND list) {
    LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT data = SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(i), 0);
        if (data != CB_ERR) {
            free(reinterpret_cast<char *>(data));
        }
    }
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
}

// Appends one playlist name (UTF-8, from malloc) to the unsorted list. The
// item takes over the name; a name that cannot be listed is freed.
void add_playlist_item(HWND list, char *name) {
    if (name == nullptr) {
        return;
    }
    LRESULT index = CB_ERR;
    try {
        // A wide message to a system control reaches its wide procedure
        // directly, so every character of the name survives.
        const std::wstring shown = widen_utf8(name);
        index = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    } catch (const std::bad_alloc &) {
        // out of memory: the name is not listed
    }
    if (index == CB_ERR || index == CB_ERRSPACE ||
        SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(name)) == CB_ERR) {
        if (index >= 0) {
            SendMessageA(list, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
        }
        free(name);
    }
}

// The UTF-8 name of the item selected in the list, or the empty string.
std::string selected_name(HWND list) {
    const LRESULT selected = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return {};
    const LRESULT data = SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0);
    if (data == CB_ERR || data == 0)
        return {};
    try {
        return reinterpret_cast<const char *>(data);
    } catch (const std::bad_alloc &) {
        return {};
    }
}

// Selects the first item called name (UTF-8), if there is one.
void select_name(HWND list, const char *name) {
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT data = SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(i), 0);
        if (data != CB_ERR && data != 0 &&
            std::strcmp(reinterpret_cast<const char *>(data), name) == 0) {
            SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            return;
        }
    }
}

// Hides the dialog shown again by the key L and gives the keyboard back to
// the main window, enabled first so that the activation goes to it.
void hide_again(HWND dialog, AppContext *context) {
    EnableWindow(context->main_window, TRUE);
    ShowWindow(dialog, SW_HIDE);
    SetForegroundWindow(context->main_window);
    SetFocus(context->main_window);
}

void on_init_dialog(HWND dialog) {
    static const int subclassed[] = {IDC_USERNAME, IDC_PASSWORD, IDC_CONNECT,
                                     IDC_EXIT,     IDC_PLAYLIST, IDC_START};
    for (int id : subclassed) {
        subclass_for_tab(dialog, id);
    }
    SendDlgItemMessageA(dialog, IDC_PLAYLIST, CB_SETMINVISIBLE, 5, 0);
    SetFocus(GetDlgItem(dialog, IDC_USERNAME));
}

void on_connect(HWND dialog, AppContext *context) {
    enable(dialog, IDC_CONNECT, FALSE);
    char username[kFieldUtf8Bytes];
    char password[kFieldUtf8Bytes];
    read_field_utf8(dialog, IDC_USERNAME, username);
    read_field_utf8(dialog, IDC_PASSWORD, password);
    int accepted = session_connect(context->session_state, username, password);
    SecureZeroMemory(password, sizeof password);
    if (accepted == 0) {
        MessageBoxA(context->main_window, "Connection failed!", "Lorvane", MB_ICONWARNING);
    }
}

void on_start(HWND dialog, AppContext *context) {
    HWND list = GetDlgItem(dialog, IDC_PLAYLIST);
    LRESULT selected = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) {
        // Nothing chosen (or nothing listed yet): hiding the dialog now would
        // leave an empty main window with no way back to the list.
        return;
    }
    const char *name = "";
    LRESULT data = SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0);
    if (data != CB_ERR && data != 0) {
        name = reinterpret_cast<const char *>(data);
    }
    if (context->playing_started) {
        // Another playlist, or the same again, from its first track; the
        // button says what it does, so a pause ends here too.
        session_switch_playlist(context->session_state, name);
        session_set_paused(context->session_state, false);
        hide_again(dialog, context);
        return;
    }
    session_select_playlist(context->session_state, name);
    ShowWindow(context->main_window, SW_SHOW);
    EndDialog(dialog, 0);
    context->playing_started = true;
    register_media_hot_keys(context->main_window);
}

void fill_playlist_list(HWND list, AppContext *context) {
    char **names = nullptr;
    int count = session_list_playlists(context->session_state, &names);
    if (names == nullptr) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        add_playlist_item(list, names[i]);
    }
    delete[] names;
}

void on_playlists_changed(HWND dialog, AppContext *context) {
    enable(dialog, IDC_PLAYLIST, TRUE);
    enable(dialog, IDC_START, TRUE);
    HWND list = GetDlgItem(dialog, IDC_PLAYLIST);
    // A new list starts without a choice, as before the first "Start
    // playing"; in the dialog shown again the user's choice is kept by name.
    const bool shown_again = context->playing_started && IsWindowVisible(dialog);
    const std::string kept = shown_again ? selected_name(list) : std::string();
    clear_playlist_list(list);
    fill_playlist_list(list, context);
    if (!kept.empty())
        select_name(list, kept.c_str());
}

} // namespace

void show_connect_dialog_again(AppContext &context) {
    HWND dialog = context.dialog;
    if (!context.playing_started || !IsWindow(dialog))
        return;
    if (!IsWindowVisible(dialog)) {
        HWND list = GetDlgItem(dialog, IDC_PLAYLIST);
        on_playlists_changed(dialog, &context);
        SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        {
            SessionState *state = context.session_state;
            const MutexHold hold(state->lock);
            if (state->wanted_name)
                select_name(list, state->wanted_name);
        }
        // Over the main window as a modal dialog is: owned by it, centred on
        // it, and the main window disabled while it shows, so that an
        // activation of the main window (a click on it, or a window manager
        // that hands the focus back) goes to the dialog instead.
        SetWindowLongPtrW(dialog, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(context.main_window));
        RECT main = {}, own = {};
        if (GetWindowRect(context.main_window, &main) && GetWindowRect(dialog, &own)) {
            const int width = own.right - own.left, height = own.bottom - own.top;
            SetWindowPos(dialog, HWND_TOP, (main.left + main.right - width) / 2,
                         (main.top + main.bottom - height) / 2, 0, 0, SWP_NOSIZE);
        }
        EnableWindow(context.main_window, FALSE);
        ShowWindow(dialog, SW_SHOW);
        SetFocus(list);
    }
    SetForegroundWindow(dialog);
}

HWND create_connect_dialog(AppContext &context) {
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONNECT),
                                     nullptr, &connect_dialog_proc, 0);
    context.dialog = dialog;
    if (dialog == nullptr) {
        return nullptr;
    }
    SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&context));
    ShowWindow(dialog, SW_SHOW);
    return dialog;
}

INT_PTR CALLBACK connect_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    (void)lparam;
    AppContext *context = context_of(dialog);
    switch (message) {
    case WM_INITDIALOG:
        on_init_dialog(dialog);
        break;
    case WM_COMMAND:
        if (context == nullptr) {
            break;
        }
        switch (LOWORD(wparam)) {
        case IDC_CONNECT:
            on_connect(dialog, context);
            break;
        case IDC_START:
            on_start(dialog, context);
            break;
        case IDC_EXIT:
            PostQuitMessage(0);
            break;
        case IDCANCEL: // Esc or a close request: hides the dialog shown again
            if (context->playing_started)
                hide_again(dialog, context);
            break;
        default: // IDOK from Enter; IDCANCEL before the first "Start playing"
            break;
        }
        break;
    case UM_CONNECTED:
        enable(dialog, IDC_USERNAME, FALSE);
        enable(dialog, IDC_PASSWORD, FALSE);
        enable(dialog, IDC_CONNECT, FALSE);
        break;
    case UM_PLAYLISTS_CHANGED:
        if (context != nullptr) {
            on_playlists_changed(dialog, context);
        }
        break;
    case UM_LOGIN_FAILED:
        MessageBoxA(dialog, "Login failed!", "Lorvane", MB_ICONINFORMATION);
        enable(dialog, IDC_CONNECT, TRUE);
        break;
    case WM_DESTROY:
        clear_playlist_list(GetDlgItem(dialog, IDC_PLAYLIST));
        break;
    default:
        break;
    }
    return FALSE;
}

LRESULT CALLBACK tab_key_subclass_proc(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
    WNDPROC previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_USERDATA));
    if (message == WM_KEYDOWN && wparam == VK_TAB) {
        SetFocus(GetNextDlgTabItem(GetParent(control), control, FALSE));
        return 0;
    }
    return CallWindowProcW(previous, control, message, wparam, lparam);
}
