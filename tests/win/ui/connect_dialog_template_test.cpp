// The connect dialog's resource: its extended template read byte by byte, and
// the dialog built from it, control by control. Also the manifest.
#include "ui_fixture.h"

#include "ui/resource_ids.h"

#include <commctrl.h>

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

// Template order, which is also the tab order.
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

// Reads a template's fields in order.
class TemplateReader {
public:
    explicit TemplateReader(const uint8_t *data) : data_(data) {}
    uint16_t word() {
        uint16_t value;
        std::memcpy(&value, data_ + at_, 2);
        at_ += 2;
        return value;
    }
    uint32_t dword() {
        uint32_t value;
        std::memcpy(&value, data_ + at_, 4);
        at_ += 4;
        return value;
    }
    uint8_t byte() { return data_[at_++]; }
    // A string, or 0xFFFF and an ordinal (returned as "#n").
    std::string string_or_ordinal() {
        uint16_t first = word();
        if (first == 0xFFFF) {
            return "#" + std::to_string(word());
        }
        std::string text;
        for (uint16_t c = first; c != 0; c = word()) {
            text += static_cast<char>(c);
        }
        return text;
    }
    void align(size_t to) { at_ = (at_ + to - 1) / to * to; }

private:
    const uint8_t *data_;
    size_t at_ = 0;
};

const uint8_t *dialog_template() {
    HRSRC resource = FindResourceExA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                     MAKEINTRESOURCEA(IDD_CONNECT),
                                     MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (resource == nullptr) {
        return nullptr;
    }
    return static_cast<const uint8_t *>(
        LockResource(LoadResource(GetModuleHandleA(nullptr), resource)));
}

} // namespace

TEST(ConnectDialogTemplateIsExact, HeaderIsExtendedUsEnglishShellFontWithoutSystemMenu) {
    const uint8_t *data = dialog_template();
    ASSERT_NE(data, nullptr) << "dialog 101 in English (United States) not found";
    TemplateReader read(data);
    EXPECT_EQ(read.word(), 1);      // version
    EXPECT_EQ(read.word(), 0xFFFF); // extended format
    EXPECT_EQ(read.dword(), 0u);    // help id
    EXPECT_EQ(read.dword(), 0u);    // extended style
    DWORD style = read.dword();
    EXPECT_EQ(style, static_cast<DWORD>(WS_CAPTION | DS_SETFONT | DS_FIXEDSYS));
    EXPECT_EQ(style & (WS_SYSMENU | WS_POPUP | WS_CHILD | WS_VISIBLE), 0u);
    EXPECT_EQ(read.word(), 10); // controls
    EXPECT_EQ(read.word(), 0);  // x
    EXPECT_EQ(read.word(), 0);  // y
    EXPECT_EQ(read.word(), 241);
    EXPECT_EQ(read.word(), 226);
    EXPECT_EQ(read.string_or_ordinal(), ""); // menu
    EXPECT_EQ(read.string_or_ordinal(), ""); // the default dialog class
    EXPECT_EQ(read.string_or_ordinal(), ""); // caption
    EXPECT_EQ(read.word(), 8);               // points
    EXPECT_EQ(read.word(), 400);             // weight
    EXPECT_EQ(read.byte(), 0);               // italic
    EXPECT_EQ(read.byte(), 0);               // character set
    EXPECT_EQ(read.string_or_ordinal(), "MS Shell Dlg");
}

TEST(ConnectDialogTemplateIsExact, ControlsInTabOrderWithExactStylesAndGeometry) {
    const uint8_t *data = dialog_template();
    ASSERT_NE(data, nullptr);
    TemplateReader read(data);
    read.word();
    read.word();
    read.dword();
    read.dword();
    read.dword();
    read.word();
    for (int i = 0; i < 4; ++i) {
        read.word();
    }
    read.string_or_ordinal();
    read.string_or_ordinal();
    read.string_or_ordinal();
    read.word();
    read.word();
    read.byte();
    read.byte();
    read.string_or_ordinal();
    for (const ExpectedControl &control : kControls) {
        SCOPED_TRACE(control.id);
        read.align(4);
        EXPECT_EQ(read.dword(), 0u); // help id
        EXPECT_EQ(read.dword(), 0u); // extended style
        EXPECT_EQ(read.dword(), control.style | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(static_cast<short>(read.word()), control.x);
        EXPECT_EQ(static_cast<short>(read.word()), control.y);
        EXPECT_EQ(static_cast<short>(read.word()), control.cx);
        EXPECT_EQ(static_cast<short>(read.word()), control.cy);
        EXPECT_EQ(static_cast<int>(read.dword()), control.id);
        std::string class_name = read.string_or_ordinal();
        EXPECT_TRUE(class_name == "#" + std::to_string(control.class_atom) ||
                    lstrcmpiA(class_name.c_str(), control.class_name) == 0)
            << class_name;
        EXPECT_EQ(read.string_or_ordinal(), control.text);
        EXPECT_EQ(read.word(), 0); // no creation data
    }
}

TEST(ApplicationManifestAsksForInvokerRights, NoCommonControlsDependency) {
    HRSRC resource = FindResourceA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1),
                                   MAKEINTRESOURCEA(24) /* RT_MANIFEST */);
    ASSERT_NE(resource, nullptr);
    const char *bytes =
        static_cast<const char *>(LockResource(LoadResource(GetModuleHandleA(nullptr), resource)));
    std::string manifest(bytes, SizeofResource(GetModuleHandleA(nullptr), resource));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
}

using ConnectDialogIsBuiltFromTemplate = UiFixture;

TEST_F(ConnectDialogIsBuiltFromTemplate, ControlsHaveClassesTextsStylesAndPositions) {
    for (const ExpectedControl &control : kControls) {
        SCOPED_TRACE(control.id);
        HWND window = item(control.id);
        ASSERT_NE(window, nullptr);
        char class_name[32] = {};
        GetClassNameA(window, class_name, sizeof class_name);
        EXPECT_EQ(lstrcmpiA(class_name, control.class_name), 0) << class_name;
        char text[64] = {};
        GetWindowTextA(window, text, sizeof text);
        EXPECT_STREQ(text, control.text);
        DWORD style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
        // (An edit control trades WS_BORDER for a border of its own, so the
        // border is checked in the template.)
        DWORD checked = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_DISABLED;
        EXPECT_EQ(style & checked, (control.style | WS_CHILD | WS_VISIBLE) & checked);
        if (lstrcmpiA(control.class_name, "Button") == 0) {
            EXPECT_EQ(style & BS_TYPEMASK, static_cast<DWORD>(BS_PUSHBUTTON))
                << "no default push button";
        }

        // Position and size are each converted from dialog units on their own.
        RECT expected = {control.x, control.y, control.cx, control.cy};
        MapDialogRect(dialog(), &expected);
        RECT actual;
        GetWindowRect(window, &actual);
        MapWindowPoints(nullptr, dialog(), reinterpret_cast<POINT *>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right);
        // The closed combo box sizes itself; its template height (that of
        // the dropped list) is checked in the template.
        if (control.id != IDC_PLAYLIST) {
            EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        }
    }
}

TEST_F(ConnectDialogIsBuiltFromTemplate, StartsShownWithNameFieldsEnabledAndListDisabled) {
    EXPECT_TRUE(IsWindowVisible(dialog()));
    EXPECT_FALSE(IsWindowVisible(context_.main_window));
    EXPECT_EQ(GetFocus(), item(IDC_USERNAME));
    EXPECT_TRUE(enabled(IDC_USERNAME));
    EXPECT_TRUE(enabled(IDC_PASSWORD));
    EXPECT_TRUE(enabled(IDC_CONNECT));
    EXPECT_TRUE(enabled(IDC_EXIT));
    EXPECT_FALSE(enabled(IDC_PLAYLIST));
    EXPECT_FALSE(enabled(IDC_START));
    EXPECT_EQ(GetWindow(dialog(), GW_OWNER), nullptr);
    EXPECT_EQ(reinterpret_cast<AppContext *>(GetWindowLongPtrA(dialog(), GWLP_USERDATA)),
              &context_);
}

TEST_F(ConnectDialogIsBuiltFromTemplate, SixControlsAreSubclassedKeepingTheirProcedures) {
    const WNDPROC subclass = &tab_key_subclass_proc;
    for (int id : {IDC_USERNAME, IDC_PASSWORD, IDC_CONNECT, IDC_EXIT, IDC_PLAYLIST, IDC_START}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(item(id), GWLP_WNDPROC)), subclass);
        EXPECT_NE(GetWindowLongPtrA(item(id), GWLP_USERDATA), 0);
    }
    for (int id : {IDC_USERNAME_LABEL, IDC_PASSWORD_LABEL, IDC_PLAYLIST_LABEL, IDC_TITLE}) {
        EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(item(id), GWLP_WNDPROC)), subclass);
    }
}
