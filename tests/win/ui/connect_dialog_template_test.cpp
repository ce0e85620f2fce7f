// The connect dialog's resource read field by field, the manifest, and the
// windows that create_windows builds.
#include "ui_fixture.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace {

struct ExpectedControl {
    int id;
    const char *class_name; // in capitals, or its ordinal ("#128" for a button)
    const char *text;
    DWORD style; // besides WS_CHILD and WS_VISIBLE
    short x, y, cx, cy;
};

// Template order, which is also the tab order; "Exit" has no tab stop.
const ExpectedControl kControls[] = {
    {IDC_CONNECT, "BUTTON #128", "Connect", BS_PUSHBUTTON | WS_TABSTOP, 68, 118, 79, 20},
    {IDC_USERNAME, "EDIT #129", "", ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_GROUP | WS_TABSTOP, 5,
     62, 229, 14},
    {IDC_PASSWORD, "EDIT #129", "", ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 5, 94,
     229, 14},
    {IDC_USERNAME_LABEL, "STATIC #130", "Username", SS_LEFT | WS_GROUP, 5, 50, 133, 8},
    {IDC_PASSWORD_LABEL, "STATIC #130", "Password", SS_LEFT | WS_GROUP, 5, 82, 182, 8},
    {IDC_TITLE, "STATIC #130", "Lorvane", SS_CENTER | SS_CENTERIMAGE | WS_GROUP, 5, 7, 229, 33},
    {IDC_PLAYLIST, "COMBOBOX #133", "",
     CBS_DROPDOWNLIST | WS_VSCROLL | WS_GROUP | WS_TABSTOP | WS_DISABLED, 5, 172, 229, 100},
    {IDC_PLAYLIST_LABEL, "STATIC #130", "Playlist", SS_LEFT | WS_GROUP, 5, 159, 150, 8},
    {IDC_START, "BUTTON #128", "Start playing", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 155, 191,
     79, 20},
    {IDC_EXIT, "BUTTON #128", "Exit", BS_PUSHBUTTON, 155, 118, 79, 20},
};

// An extended dialog template's fields, in order: 16-bit words, double
// words, and strings or ordinals (an ordinal reads as "#n").
struct TemplateReader {
    const uint16_t *at;
    uint16_t word() { return *at++; }
    uint32_t dword() { return word() | uint32_t{word()} << 16; }
    std::string text() {
        if (*at == 0xFFFF)
            return "#" + std::to_string((at += 2)[-1]);
        std::string text;
        while (*at != 0)
            text += static_cast<char>(*at++);
        return ++at, text;
    }
    void align() { at += (reinterpret_cast<uintptr_t>(at) / 2) % 2; }
};

const void *resource(LPCSTR type, LPCSTR name, WORD language, DWORD *size) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceExA(module, type, name, language);
    *size = found != nullptr ? SizeofResource(module, found) : 0;
    return found != nullptr ? LockResource(LoadResource(module, found)) : nullptr;
}

} // namespace

TEST(ConnectDialogTemplateIsExact, UsEnglishShellFontNoSystemMenuControlsInTabOrder) {
    DWORD size = 0;
    const void *data = resource(MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(IDD_CONNECT),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), &size);
    ASSERT_NE(data, nullptr) << "dialog 101 in English (United States) not found";
    TemplateReader read{static_cast<const uint16_t *>(data)};
    // Version 1 of the extended form, help id, extended style, style.
    EXPECT_EQ(read.dword(), 0xFFFF0001u);
    EXPECT_EQ(read.dword() | read.dword(), 0u);
    EXPECT_EQ(read.dword(), static_cast<uint32_t>(WS_CAPTION | DS_SETFONT | DS_FIXEDSYS));
    // Controls, x, y, width, height; no menu, the default class, no caption;
    // 8 points, weight 400, not italic, character set 0.
    for (int value : {10, 0, 0, 241, 226})
        EXPECT_EQ(read.word(), value);
    EXPECT_EQ(read.text() + read.text() + read.text(), "");
    for (int value : {8, 400, 0})
        EXPECT_EQ(read.word(), value);
    EXPECT_EQ(read.text(), "MS Shell Dlg");
    for (const ExpectedControl &control : kControls) {
        SCOPED_TRACE(control.id);
        read.align();
        EXPECT_EQ(read.dword() | read.dword(), 0u); // help id, extended style
        EXPECT_EQ(read.dword(), control.style | WS_CHILD | WS_VISIBLE);
        for (short value : {control.x, control.y, control.cx, control.cy})
            EXPECT_EQ(static_cast<short>(read.word()), value);
        EXPECT_EQ(read.dword(), static_cast<uint32_t>(control.id));
        std::string class_name = read.text();
        CharUpperA(class_name.data());
        EXPECT_TRUE(strstr(control.class_name, class_name.c_str()) != nullptr) << class_name;
        EXPECT_EQ(read.text(), control.text);
        EXPECT_EQ(read.word(), 0); // no creation data
    }
}

TEST(ApplicationManifestAsksForInvokerRights, NoCommonControlsDependency) {
    DWORD size = 0;
    const void *data = resource(MAKEINTRESOURCEA(24) /* RT_MANIFEST */, MAKEINTRESOURCEA(1),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), &size);
    const std::string manifest(data ? static_cast<const char *>(data) : "", size);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
}

using CreateWindowsBuildsBothWindows = UiFixture;

TEST_F(CreateWindowsBuildsBothWindows, DialogWithoutOwnerListDisabledMainWindowHiddenAtItsSize) {
    EXPECT_EQ(GetWindow(dialog(), GW_OWNER), nullptr);
    EXPECT_FALSE(enabled(IDC_PLAYLIST) || enabled(IDC_START));
    HWND window = context_.main_window;
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Lorvane");
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(std::make_pair(rect.right - rect.left, rect.bottom - rect.top),
              std::make_pair(1000L, 400L));
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    EXPECT_FALSE(IsWindowVisible(window));
}
