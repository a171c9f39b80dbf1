// The program's own resources, walked language by language: every dialog, menu
// and string table is in the five languages with the same controls, and every
// text fits its control in the dialog's font at the prefix's DPI (languages_fit_144
// runs the fit again at 144 DPI).
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const LANGID kLanguages[] = {kEnglish, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL),
                             MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
                             MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT),
                             MAKELANGID(LANG_TURKISH, SUBLANG_DEFAULT),
                             // qps-ploc: every text accented and 40 % longer, so
                             // that a translation's room is checked before it exists.
                             MAKELANGID(0x101, 0x01)};
const LPCWSTR kDialog = MAKEINTRESOURCEW(5), kMenu = MAKEINTRESOURCEW(4),
              kStrings = MAKEINTRESOURCEW(6);
// Texts docs/translations.md keeps in English.
const std::set<std::wstring> kKept = {L"", L"OK", L"USB", L"MainWndClass"};

struct Item {
    std::wstring kind;  // class of a control, "menu" or "string"
    UINT_PTR id;
    LONG style;
    std::wstring text;
};

const void* Template(LPCWSTR type, LPCWSTR name, LANGID language) {
    HRSRC found = FindResourceExW(GetModuleHandleW(nullptr), type, name, language);
    return found ? LockResource(LoadResource(GetModuleHandleW(nullptr), found)) : nullptr;
}

INT_PTR CALLBACK Inert(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

HWND CreateIn(LPCWSTR name, LANGID language) {
    auto dialog = static_cast<LPCDLGTEMPLATEW>(Template(kDialog, name, language));
    return dialog ? CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialog, nullptr, Inert, 0)
                  : nullptr;
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::vector<Item> Items(LPCWSTR type, LPCWSTR name, LANGID language) {
    std::vector<Item> items;
    if (type == kDialog) {
        HWND dialog = CreateIn(name, language);
        items.push_back({L"caption", 0, GetWindowLongW(dialog, GWL_STYLE), TextOf(dialog)});
        for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            wchar_t kind[32] = {};
            GetClassNameW(c, kind, 32);
            const LONG style = GetWindowLongW(c, GWL_STYLE);
            const bool icon = lstrcmpiW(kind, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON;
            items.push_back(
                {kind, static_cast<UINT_PTR>(GetDlgCtrlID(c)), style, icon ? L"" : TextOf(c)});
        }
        DestroyWindow(dialog);
    } else if (type == kMenu) {
        std::vector<HMENU> menus = {LoadMenuIndirectW(Template(type, name, language))};
        for (std::size_t m = 0; m < menus.size(); ++m) {
            for (int i = 0; i < GetMenuItemCount(menus[m]); ++i) {
                wchar_t text[128] = {};
                MENUITEMINFOW info{};
                info.cbSize = sizeof info;
                info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
                info.dwTypeData = text;
                info.cch = 128;
                GetMenuItemInfoW(menus[m], i, TRUE, &info);
                items.push_back(
                    {L"menu", info.hSubMenu ? 0 : info.wID, static_cast<LONG>(info.fType), text});
                if (info.hSubMenu) {
                    menus.push_back(info.hSubMenu);
                }
            }
        }
        DestroyMenu(menus[0]);
    } else {  // a block of 16 counted strings
        auto text = static_cast<const wchar_t*>(Template(type, name, language));
        for (UINT_PTR i = 0; text && i < 16; text += 1 + *text, ++i) {
            items.push_back({L"string", i, 0, std::wstring(text + 1, *text)});
        }
    }
    return items;
}

std::vector<LANGID> LanguagesOf(LPCWSTR type, LPCWSTR name) {
    std::vector<LANGID> found;
    EnumResourceLanguagesW(
        GetModuleHandleW(nullptr), type, name,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) -> BOOL {
            reinterpret_cast<std::vector<LANGID>*>(out)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&found));
    return found;
}

std::vector<LPCWSTR> NamesOf(LPCWSTR type) {
    std::vector<LPCWSTR> names;
    EnumResourceNamesW(
        GetModuleHandleW(nullptr), type,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) -> BOOL {
            reinterpret_cast<std::vector<LPCWSTR>*>(out)->push_back(name);  // ids, not strings
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&names));
    return names;
}

TEST(Languages, EveryDialogMenuAndStringIsInEveryLanguageWithTheSameItemsAndOwnTexts) {
    InitCommonControls();
    for (LPCWSTR type : {kDialog, kMenu, kStrings}) {
        ASSERT_FALSE(NamesOf(type).empty());
        for (LPCWSTR name : NamesOf(type)) {
            SCOPED_TRACE(testing::Message() << "type " << LOWORD(type) << " id " << LOWORD(name));
            const std::vector<LANGID> found = LanguagesOf(type, name);
            EXPECT_EQ(std::set<LANGID>(std::begin(kLanguages), std::end(kLanguages)),
                      std::set<LANGID>(found.begin(), found.end()));
            const std::vector<Item> english = Items(type, name, kEnglish);
            for (LANGID language : kLanguages) {
                const std::vector<Item> items = Items(type, name, language);
                ASSERT_EQ(items.size(), english.size()) << std::hex << language;
                for (std::size_t i = 0; i < items.size() && language != kEnglish; ++i) {
                    SCOPED_TRACE(testing::Message()
                                 << std::hex << language << std::dec << " item " << items[i].id);
                    EXPECT_EQ(items[i].kind, english[i].kind);
                    EXPECT_EQ(items[i].id, english[i].id);
                    EXPECT_EQ(items[i].style, english[i].style);
                    EXPECT_EQ(items[i].text.empty(), english[i].text.empty());
                    if (!kKept.count(english[i].text)) {
                        EXPECT_NE(items[i].text, english[i].text);
                    }
                }
            }
        }
    }
}

// Every visible static text, check box and button, measured in the dialog's
// font as the control draws it, fits the control's client area.
TEST(Languages, EveryTextFitsItsControl) {
    InitCommonControls();
    const int check = GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE) * 2;
    for (LPCWSTR name : NamesOf(kDialog)) {
        for (LANGID language : kLanguages) {
            HWND dialog = CreateIn(name, language);
            HDC dc = GetDC(dialog);
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
            for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                wchar_t kind[32] = {};
                GetClassNameW(c, kind, 32);
                const LONG style = GetWindowLongW(c, GWL_STYLE);
                const bool button = lstrcmpiW(kind, L"Button") == 0;
                const bool text =
                    lstrcmpiW(kind, L"Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT;
                if ((style & WS_VISIBLE) == 0 || !(button || text) || TextOf(c).empty()) {
                    continue;
                }
                RECT room{};
                GetClientRect(c, &room);
                const LONG type = style & BS_TYPEMASK;
                const bool checkBox = button && type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON;
                room.right -= checkBox ? check : button ? GetSystemMetrics(SM_CXEDGE) * 4 : 0;
                const bool wraps = button ? (style & BS_MULTILINE) != 0 : true;
                RECT need{0, 0, room.right, 0};
                DrawTextW(dc, TextOf(c).c_str(), -1, &need,
                          DT_CALCRECT | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
                EXPECT_TRUE(need.right <= room.right && need.bottom <= room.bottom)
                    << "dialog " << LOWORD(name) << " language " << std::hex << language << std::dec
                    << " control " << GetDlgCtrlID(c) << ": needs " << need.right << "x"
                    << need.bottom << ", has " << room.right << "x" << room.bottom;
            }
            ReleaseDC(dialog, dc);
            DestroyWindow(dialog);
        }
    }
}

}  // namespace
