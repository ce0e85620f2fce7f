// The connect dialog's resource read field by field, the dialog and the main
// window that create_windows builds from it, and the manifest.
#include "ui_fixture.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct ExpectedControl {
    int id;
    const char *class_name;
    uint16_t class_atom; // the predefined class's ordinal in a template
    const char *text;
    DWORD style; // besides WS_CHILD and WS_VISIBLE
    short x, y, cx, cy;
};

// Template order, which is also the tab order; "Exit" has no tab stop.
const ExpectedControl kControls[] = {
    {IDC_CONNECT, "Button", 0x80, "Connect", BS_PUSHBUTTON | WS_TABSTOP, 68, 118, 79, 20},
    {IDC_USERNAME, "Edit", 0x81, "", ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_GROUP | WS_TABSTOP,
     5, 62, 229, 14},
    {IDC_PASSWORD, "Edit", 0x81, "", ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 5, 94,
     229, 14},
    {IDC_USERNAME_LABEL, "Static", 0x82, "Username", SS_LEFT | WS_GROUP, 5, 50, 133, 8},
    {IDC_PASSWORD_LABEL, "Static", 0x82, "Password", SS_LEFT | WS_GROUP, 5, 82, 182, 8},
    {IDC_TITLE, "Static", 0x82, "Lorvane", SS_CENTER | SS_CENTERIMAGE | WS_GROUP, 5, 7, 229, 33},
    {IDC_PLAYLIST, "ComboBox", 0x85, "",
     CBS_DROPDOWNLIST | WS_VSCROLL | WS_GROUP | WS_TABSTOP | WS_DISABLED, 5, 172, 229, 100},
    {IDC_PLAYLIST_LABEL, "Static", 0x82, "Playlist", SS_LEFT | WS_GROUP, 5, 159, 150, 8},
    {IDC_START, "Button", 0x80, "Start playing", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 155, 191,
     79, 20},
    {IDC_EXIT, "Button", 0x80, "Exit", BS_PUSHBUTTON, 155, 118, 79, 20},
};

// Reads an extended template's fields in order.
class TemplateReader {
public:
    explicit TemplateReader(const uint8_t *data) : data_(data) {}
    template <typename T> T next() {
        T value;
        std::memcpy(&value, data_ + at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    // A string, or 0xFFFF and an ordinal (returned as "#n").
    std::string string_or_ordinal() {
        uint16_t first = next<uint16_t>();
        if (first == 0xFFFF) {
            return "#" + std::to_string(next<uint16_t>());
        }
        std::string text;
        for (uint16_t c = first; c != 0; c = next<uint16_t>()) {
            text += static_cast<char>(c);
        }
        return text;
    }
    void align() { at_ = (at_ + 3) / 4 * 4; }

private:
    const uint8_t *data_;
    size_t at_ = 0;
};

const void *resource(LPCSTR type, LPCSTR name, WORD language, DWORD *size) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = language != 0 ? FindResourceExA(module, type, name, language)
                                : FindResourceA(module, name, type);
    *size = found != nullptr ? SizeofResource(module, found) : 0;
    return found != nullptr ? LockResource(LoadResource(module, found)) : nullptr;
}

} // namespace

TEST(ConnectDialogTemplateIsExact, UsEnglishShellFontNoSystemMenuControlsInTabOrder) {
    DWORD size = 0;
    const void *data = resource(MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(IDD_CONNECT),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), &size);
    ASSERT_NE(data, nullptr) << "dialog 101 in English (United States) not found";
    TemplateReader read(static_cast<const uint8_t *>(data));
    EXPECT_EQ(read.next<uint32_t>(), 0xFFFF0001u); // version 1 of the extended form
    EXPECT_EQ(read.next<uint32_t>(), 0u);          // help id
    EXPECT_EQ(read.next<uint32_t>(), 0u);          // extended style
    EXPECT_EQ(read.next<uint32_t>(), static_cast<uint32_t>(WS_CAPTION | DS_SETFONT | DS_FIXEDSYS));
    for (int value : {10, 0, 0, 241, 226}) { // controls, x, y, width, height
        EXPECT_EQ(read.next<uint16_t>(), value);
    }
    EXPECT_EQ(read.string_or_ordinal(), ""); // no menu
    EXPECT_EQ(read.string_or_ordinal(), ""); // the default dialog class
    EXPECT_EQ(read.string_or_ordinal(), ""); // no caption
    EXPECT_EQ(read.next<uint16_t>(), 8);     // points
    EXPECT_EQ(read.next<uint16_t>(), 400);   // weight
    EXPECT_EQ(read.next<uint16_t>(), 0);     // not italic, character set 0
    EXPECT_EQ(read.string_or_ordinal(), "MS Shell Dlg");
    for (const ExpectedControl &control : kControls) {
        SCOPED_TRACE(control.id);
        read.align();
        EXPECT_EQ(read.next<uint32_t>(), 0u); // help id
        EXPECT_EQ(read.next<uint32_t>(), 0u); // extended style
        EXPECT_EQ(read.next<uint32_t>(), control.style | WS_CHILD | WS_VISIBLE);
        for (short value : {control.x, control.y, control.cx, control.cy}) {
            EXPECT_EQ(read.next<short>(), value);
        }
        EXPECT_EQ(read.next<int32_t>(), control.id);
        std::string class_name = read.string_or_ordinal();
        EXPECT_TRUE(class_name == "#" + std::to_string(control.class_atom) ||
                    lstrcmpiA(class_name.c_str(), control.class_name) == 0)
            << class_name;
        EXPECT_EQ(read.string_or_ordinal(), control.text);
        EXPECT_EQ(read.next<uint16_t>(), 0); // no creation data
    }
}

TEST(ApplicationManifestAsksForInvokerRights, NoCommonControlsDependency) {
    DWORD size = 0;
    const void *data =
        resource(MAKEINTRESOURCEA(24) /* RT_MANIFEST */, MAKEINTRESOURCEA(1), 0, &size);
    ASSERT_NE(data, nullptr);
    std::string manifest(static_cast<const char *>(data), size);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
}

using CreateWindowsBuildsBothWindows = UiFixture;

TEST_F(CreateWindowsBuildsBothWindows, DialogFromTemplateShownMainWindowHidden) {
    EXPECT_TRUE(IsWindowVisible(dialog()));
    EXPECT_EQ(GetWindow(dialog(), GW_OWNER), nullptr);
    EXPECT_EQ(GetFocus(), item(IDC_USERNAME));
    for (const ExpectedControl &control : kControls) {
        SCOPED_TRACE(control.id);
        HWND window = item(control.id);
        ASSERT_NE(window, nullptr);
        char text[64] = {};
        GetClassNameA(window, text, sizeof text);
        EXPECT_EQ(lstrcmpiA(text, control.class_name), 0) << text;
        GetWindowTextA(window, text, sizeof text);
        EXPECT_STREQ(text, control.text);
        // (An edit control trades WS_BORDER for a border of its own.)
        DWORD style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
        DWORD checked = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_DISABLED | 0xFF;
        EXPECT_EQ(style & checked, (control.style | WS_CHILD | WS_VISIBLE) & checked);
    }

    HWND window = context_.main_window;
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Lorvane");
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 1000);
    EXPECT_EQ(rect.bottom - rect.top, 400);
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(visualizer_->window_handle, window);
    EXPECT_NE(visualizer_->text_format, nullptr) << "drawing factories are made first";
}
