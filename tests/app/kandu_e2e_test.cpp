// kandu.exe as a person uses it: started as its own process, typed into
// with real keyboard input, read back and closed through the close command.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include "tests/app/driver.h"
#include "tests/support/under_wine.h"
// After windows.h, which it needs.
#include <oleacc.h>

namespace {

using driver::gadget;
using driver::text_of;

class Kandu : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(driver::start(&kandu)) << driver::kandu_path(); }
    void TearDown() override { driver::stop(&kandu); }

    // Types into a field and waits until the result field shows `expected`.
    void enter(int field, const char *text, const char *expected) {
        driver::replace_text(gadget(kandu.window, field), text);
        std::string last;
        // All keys are handled once the field shows the whole text; the
        // result follows in the same pass of the program's loop.
        ASSERT_TRUE(driver::wait_for_text(gadget(kandu.window, field), text, &last))
            << "field " << field << " shows \"" << last << "\"";
        EXPECT_TRUE(driver::wait_for_text(gadget(kandu.window, 7), expected, &last))
            << "field " << field << " = " << text << ": result is \"" << last << "\"";
    }

    driver::Kandu kandu;
};

TEST_F(Kandu, CalculatesWhileTheUserTypesAndEndsWithExitCodeZero) {
    HWND window = kandu.window;
    EXPECT_EQ(text_of(window), "Corvane - KANDU");
    EXPECT_EQ(text_of(gadget(window, 0)), "actual temp. coeff.");
    EXPECT_EQ(text_of(gadget(window, 3)), "1100");
    EXPECT_EQ(text_of(gadget(window, 4)), "150");
    EXPECT_EQ(text_of(gadget(window, 5)), "150");
    // Nothing is calculated before the first gadget event.
    EXPECT_EQ(text_of(gadget(window, 7)), "");

    ASSERT_TRUE(driver::bring_to_front(window));
    enter(4, "200", "1480");
    enter(5, "250", "880");
    enter(3, "700", "560");
    enter(4, "501", "out of range");
    enter(4, "200", "560");

    // Typing into the result field changes nothing there.
    HWND result = gadget(window, 7);
    EXPECT_TRUE(GetWindowLongPtrA(result, GWL_STYLE) & ES_READONLY);
    driver::click_field(result);
    ASSERT_TRUE(driver::wait_for_focus(window, result));
    driver::type_text("123");
    driver::press_key(VK_BACK);
    driver::press_key(VK_DELETE);
    // Once the focus has moved on, the keys before it have been handled.
    driver::click_field(gadget(window, 5));
    ASSERT_TRUE(driver::wait_for_focus(window, gadget(window, 5)));
    EXPECT_EQ(text_of(result), "560");

    driver::request_close(kandu);
    DWORD exit_code = 12345;
    ASSERT_TRUE(driver::wait_for_exit(kandu, &exit_code));
    EXPECT_EQ(exit_code, 0u);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(Kandu, FocusEnteringAFieldFillsTheResult) {
    ASSERT_TRUE(driver::bring_to_front(kandu.window));
    HWND real = gadget(kandu.window, 5);
    driver::click_field(real);
    // 1100, 150, 150: the controller already shows the real temperature.
    EXPECT_TRUE(driver::wait_for_text(gadget(kandu.window, 7), "1100"));
    driver::request_close(kandu);
    DWORD exit_code = 12345;
    ASSERT_TRUE(driver::wait_for_exit(kandu, &exit_code));
    EXPECT_EQ(exit_code, 0u);
}

TEST_F(Kandu, PointingAtAFieldShowsItsTooltipAfterTyping) {
    ASSERT_TRUE(driver::bring_to_front(kandu.window));
    // The loop must have settled after the result changed for tips to show.
    enter(4, "200", "1480");
    HWND tips = driver::find_window(kandu.process.dwProcessId, "tooltips_class32");
    ASSERT_NE(tips, nullptr);
    struct Tip {
        int field;
        const char *text;
    } expected[] = {{3, "temperature coefficient in the controller's menue"},
                    {5, "measuered temperature of the heater"},
                    {7, "type this value in the controller's menue"}};
    for (const Tip &tip : expected) {
        SCOPED_TRACE(tip.field);
        driver::point_at(gadget(kandu.window, tip.field));
        std::string shown;
        EXPECT_TRUE(driver::wait_until([&] {
            shown = text_of(tips);
            return IsWindowVisible(tips) && shown == tip.text;
        })) << "tooltip shows \""
            << shown << "\"";
    }
}

// A COM string as single-byte text (the form's texts are ASCII).
std::string narrow(BSTR text) {
    std::string result;
    for (UINT i = 0; text && i < SysStringLen(text); ++i)
        result += (char)text[i];
    return result;
}

// What a screen reader announces, asked from this process as assistive
// technology asks: each field is named by its own label, is editable text and
// reports its text as its value; the result field reports itself read-only.
TEST_F(Kandu, AScreenReaderNamesEachFieldByItsLabel) {
    ASSERT_TRUE(driver::bring_to_front(kandu.window));
    enter(4, "200", "1480");
    ASSERT_TRUE(SUCCEEDED(CoInitialize(0)));
    struct Field {
        int number;
        const char *name;
        bool read_only;
    } fields[] = {{3, "actual temp. coeff.", false},
                  {4, "displayed temperature", false},
                  {5, "real temperature", false},
                  {7, "adjust temp. coeff to", true}};
    for (const Field &f : fields) {
        SCOPED_TRACE(f.number);
        HWND field = gadget(kandu.window, f.number);
        IAccessible *accessible = 0;
        // __uuidof: the 64-bit import library's IID_IAccessible is a code stub.
        ASSERT_EQ(AccessibleObjectFromWindow(field, (DWORD)OBJID_CLIENT, __uuidof(IAccessible),
                                             (void **)&accessible),
                  S_OK);
        VARIANT self;
        VariantInit(&self);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR name = 0, value = 0;
        VARIANT role, state;
        VariantInit(&role);
        VariantInit(&state);
        accessible->get_accName(self, &name);
        accessible->get_accValue(self, &value);
        accessible->get_accRole(self, &role);
        accessible->get_accState(self, &state);
        printf("field %d: name \"%s\", value \"%s\"\n", f.number, narrow(name).c_str(),
               narrow(value).c_str());
        EXPECT_EQ(narrow(name), f.name);
        EXPECT_EQ(narrow(value), text_of(field));
        EXPECT_EQ(role.vt == VT_I4 ? role.lVal : -1, ROLE_SYSTEM_TEXT);
        EXPECT_EQ(state.vt == VT_I4 && (state.lVal & STATE_SYSTEM_READONLY), f.read_only);
        SysFreeString(name);
        SysFreeString(value);
        accessible->Release();
    }
    CoUninitialize();
}

// With the stock GUI font each label's text fits its label, and "out of
// range" fits the result field's client area (that the gadgets have that
// font is checked in the form's own tests). Wine measures with its own
// fonts, as Windows does with its own.
TEST_F(Kandu, TextsFitTheirGadgetsInTheStockFont) {
    HGDIOBJ stock = GetStockObject(DEFAULT_GUI_FONT);
    HDC dc = GetDC(0);
    HGDIOBJ old = SelectObject(dc, stock);
    auto width_of = [&](const std::string &text) {
        SIZE size = {0, 0};
        GetTextExtentPoint32A(dc, text.c_str(), (int)text.size(), &size);
        return (int)size.cx;
    };
    for (int label : {0, 1, 2, 6}) {
        HWND g = gadget(kandu.window, label);
        RECT client;
        GetClientRect(g, &client);
        std::string text = text_of(g);
        printf("\"%s\": %d of %d pixels\n", text.c_str(), width_of(text), (int)client.right);
        EXPECT_LE(width_of(text), client.right) << text;
    }
    HWND result = gadget(kandu.window, 7);
    RECT client;
    GetClientRect(result, &client);
    DWORD margins = (DWORD)SendMessageA(result, EM_GETMARGINS, 0, 0);
    printf("\"out of range\": %d of %d pixels (%d inside the margins)\n", width_of("out of range"),
           (int)client.right, (int)client.right - LOWORD(margins) - HIWORD(margins));
    EXPECT_LE(width_of("out of range"), client.right);
    SelectObject(dc, old);
    ReleaseDC(0, dc);
}

// The class atom of an edit control created here, in the activation context
// `context` (0: none).
ATOM edit_class_atom(HANDLE context) {
    ULONG_PTR cookie = 0;
    if (context) ActivateActCtx(context, &cookie);
    HWND edit = CreateWindowExA(0, "Edit", "", WS_POPUP, 0, 0, 10, 10, 0, 0, 0, 0);
    ATOM atom = (ATOM)GetClassLongPtrA(edit, GCW_ATOM);
    DestroyWindow(edit);
    if (context) DeactivateActCtx(0, cookie);
    return atom;
}

// The manifest takes effect: the fields are edit controls of version 6 of the
// common controls, whose class is not the system's plain one. Compared by
// class atom, which the window tells without the program's memory being read
// (reading it fails where 32-bit programs run under qemu).
TEST_F(Kandu, RunsWithVersion6OfTheCommonControls) {
    ATOM field = (ATOM)GetClassLongPtrA(gadget(kandu.window, 3), GCW_ATOM);
    EXPECT_NE(field, edit_class_atom(0)) << "the fields are the system's plain edit controls";
    std::string path = driver::kandu_path();
    ACTCTXA manifest = {};
    manifest.cbSize = sizeof manifest;
    manifest.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    manifest.lpSource = path.c_str();
    manifest.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE context = CreateActCtxA(&manifest);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "no manifest in " << path;
    EXPECT_EQ(field, edit_class_atom(context));
    ReleaseActCtx(context);
}

// A DLL left beside the program under the name of one that the common
// controls load, as anyone may leave one in a Downloads folder, is never
// loaded: the system's copy is. Wine prefers its own copy of a system DLL;
// an override for kandu.exe makes it take the first one on the search path,
// as Windows does (uxtheme=n,b, which Wine reads from its registry: a child
// process does not see WINEDLLOVERRIDES changed by its parent).
TEST(KanduBesideAPlantedDll, LoadsTheSystemsCopyInstead) {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    std::string folder = temp + ("kandu-planted-" + std::to_string(GetCurrentProcessId()));
    CreateDirectoryA(folder.c_str(), 0);
    std::string program = folder + "\\kandu.exe", planted = folder + "\\uxtheme.dll";
    std::string mark = planted + ".loaded";
    ASSERT_TRUE(CopyFileA(driver::kandu_path().c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileA(driver::windows_path(KANDU_PLANTED_DLL_PATH).c_str(), planted.c_str(), FALSE));

    HKEY overrides = 0;
    if (running_under_wine()) {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                                  "Software\\Wine\\AppDefaults\\kandu.exe\\DllOverrides", 0, 0, 0,
                                  KEY_SET_VALUE, 0, &overrides, 0),
                  ERROR_SUCCESS);
        const char order[] = "native,builtin";
        RegSetValueExA(overrides, "uxtheme", 0, REG_SZ, (const BYTE *)order, sizeof order);
    }
    driver::Kandu kandu;
    bool started = driver::start(&kandu, driver::DEFAULT_DEADLINE_MS, program.c_str());
    if (overrides) {
        RegDeleteValueA(overrides, "uxtheme");
        RegCloseKey(overrides);
    }
    DWORD exit_code = 12345;
    if (started) {
        driver::request_close(kandu);
        EXPECT_TRUE(driver::wait_for_exit(kandu, &exit_code));
    }
    driver::stop(&kandu);
    EXPECT_TRUE(started) << "no window from " << program;
    EXPECT_EQ(exit_code, 0u);
    EXPECT_EQ(GetFileAttributesA(mark.c_str()), INVALID_FILE_ATTRIBUTES)
        << "kandu.exe loaded the uxtheme.dll beside it";

    // The mark shows whenever the planted DLL is loaded (a copy under another
    // name: this process has a uxtheme already).
    std::string copy = folder + "\\planted-copy.dll";
    CopyFileA(planted.c_str(), copy.c_str(), FALSE);
    HMODULE loaded = LoadLibraryA(copy.c_str());
    EXPECT_NE(loaded, nullptr);
    if (loaded) FreeLibrary(loaded);
    EXPECT_NE(DeleteFileA((copy + ".loaded").c_str()), FALSE) << "no mark from loading it";
    for (const std::string &file : {program, planted, mark, copy})
        DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
}

// The executable itself: a windowed program that needs only system DLLs and
// carries its icon and version record.
class KanduImage : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string path = driver::kandu_path();
        image = LoadLibraryExA(path.c_str(), 0, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(image, nullptr) << path;
    }
    void TearDown() override {
        if (image) FreeLibrary(image);
    }
    const IMAGE_NT_HEADERS *headers() const {
        const BYTE *base = (const BYTE *)image;
        return (const IMAGE_NT_HEADERS *)(base + ((const IMAGE_DOS_HEADER *)base)->e_lfanew);
    }
    HMODULE image = 0;
};

TEST_F(KanduImage, IsAWindowedProgramImportingOnlySystemDlls) {
    const IMAGE_NT_HEADERS *nt = headers();
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    const IMAGE_DATA_DIRECTORY &imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(imports.VirtualAddress, 0u);
    const BYTE *base = (const BYTE *)image;
    std::set<std::string> dlls;
    for (const IMAGE_IMPORT_DESCRIPTOR *d =
             (const IMAGE_IMPORT_DESCRIPTOR *)(base + imports.VirtualAddress);
         d->Name; ++d) {
        std::string name = (const char *)(base + d->Name);
        for (char &c : name)
            c = (char)toupper((unsigned char)c);
        dlls.insert(name);
    }
    const std::set<std::string> allowed = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL",
                                           "COMCTL32.DLL", "MSVCRT.DLL"};
    for (const std::string &dll : dlls)
        EXPECT_TRUE(allowed.count(dll)) << dll;
    EXPECT_TRUE(dlls.count("USER32.DLL"));
    // Loaded at run time, once the DLL search is restricted.
    EXPECT_FALSE(dlls.count("COMCTL32.DLL"));
}

TEST_F(KanduImage, CarriesItsApplicationManifest) {
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    std::string manifest((const char *)LockResource(LoadResource(image, found)),
                         SizeofResource(image, found));
    for (const char *part :
         {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "level=\"asInvoker\"",
          "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // Windows 7
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
          ">false</dpiAware>", ">unaware</dpiAwareness>",
          "<gdiScaling xmlns=\"http://schemas.microsoft.com/SMI/2017/WindowsSettings\">true</"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

TEST_F(KanduImage, CarriesSixIconImagesAndVersion1003) {
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bit_count;
        DWORD bytes;
        WORD id;
    };
    struct GroupHeader {
        WORD reserved, type, count;
        GroupEntry entries[1];
    };
#pragma pack(pop)
    HRSRC group_resource = FindResourceA(image, MAKEINTRESOURCEA(1), (LPCSTR)RT_GROUP_ICON);
    ASSERT_NE(group_resource, nullptr);
    const GroupHeader *group =
        (const GroupHeader *)LockResource(LoadResource(image, group_resource));
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->count, 6);
    std::set<std::pair<int, int>> images;
    for (int i = 0; i < group->count; ++i) {
        const GroupEntry &e = group->entries[i];
        EXPECT_EQ(e.width, e.height);
        images.insert({e.width, e.bit_count});
        HRSRC icon = FindResourceA(image, MAKEINTRESOURCEA(e.id), (LPCSTR)RT_ICON);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(SizeofResource(image, icon), e.bytes);
        const BITMAPINFOHEADER *bits =
            (const BITMAPINFOHEADER *)LockResource(LoadResource(image, icon));
        EXPECT_EQ(bits->biWidth, e.width);
        EXPECT_EQ(bits->biHeight, 2 * e.width);
        EXPECT_EQ(bits->biBitCount, e.bit_count);
    }
    std::set<std::pair<int, int>> expected = {{16, 4}, {32, 4}, {48, 4}, {16, 8}, {32, 8}, {48, 8}};
    EXPECT_EQ(images, expected);
    for (int size : {16, 32, 48}) {
        HICON icon = (HICON)LoadImageA(image, MAKEINTRESOURCEA(1), IMAGE_ICON, size, size, 0);
        EXPECT_NE(icon, nullptr) << size;
        if (icon) DestroyIcon(icon);
    }

    HRSRC version_resource = FindResourceA(image, MAKEINTRESOURCEA(1), (LPCSTR)RT_VERSION);
    ASSERT_NE(version_resource, nullptr);
    const BYTE *data = (const BYTE *)LockResource(LoadResource(image, version_resource));
    DWORD size = SizeofResource(image, version_resource);
    const VS_FIXEDFILEINFO *fixed = 0;
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4)
        if (*(const DWORD *)(data + at) == 0xFEEF04BD) {
            fixed = (const VS_FIXEDFILEINFO *)(data + at);
            break;
        }
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000003u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000003u);
}

} // namespace
