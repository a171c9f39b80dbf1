#include "SkypeClient.h"

#include <shellapi.h>

#include <cstring>

#include "ShellGlobals.h"
#include "SkypeWindowClasses.h"

std::atomic<HWND> g_hSkypeTabs{nullptr};
std::atomic<HWND> g_hSkypeContactList{nullptr};
std::atomic<HWND> g_hSkypeBgGrid{nullptr};

namespace {

void StoreIfFirst(std::atomic<HWND>& slot, HWND window) {
    HWND empty = nullptr;
    slot.compare_exchange_strong(empty, window);
}

// EnumChildWindows visits every descendant, children of children included.
BOOL CALLBACK VisitSkypeChild(HWND window, LPARAM) {
    char className[255] = {};
    GetClassNameA(window, className, sizeof(className));
    if (std::strcmp(className, kSkypeTabsClass) == 0) {
        StoreIfFirst(g_hSkypeTabs, window);
    } else if (std::strcmp(className, kSkypeBgGridClass) == 0) {
        StoreIfFirst(g_hSkypeBgGrid, window);
    } else if (std::strcmp(className, kSkypeContactListClass) == 0) {
        StoreIfFirst(g_hSkypeContactList, window);
    }
    return TRUE;
}

}  // namespace

int LaunchSkypeFromRegistry() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSkypePathKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return 0;
    }
    char path[255] = {};
    DWORD size = sizeof(path) - 1;  // leaves the terminating NUL of the zeroed buffer
    if (RegQueryValueExA(key, kSkypePathValue, nullptr, nullptr, reinterpret_cast<BYTE*>(path),
                         &size) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return 0;
    }
    ShellExecuteA(g_hMainWnd, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
    RegCloseKey(key);
    return 1;
}

void StartSkypeIfMissing(int autoRunSkype) {
    if (FindWindowA(kSkypeMainFormClass, nullptr) != nullptr || autoRunSkype != 1) {
        return;
    }
    if (LaunchSkypeFromRegistry() == 0) {
        ShellExecuteA(g_hMainWnd, "open", kSkypeFallbackPath, nullptr, nullptr, SW_SHOWNORMAL);
    }
}

void DiscoverSkypeWindows() {
    HWND main = FindWindowA(kSkypeMainFormClass, nullptr);
    if (main == nullptr) {
        return;
    }
    RECT rect{};
    GetWindowRect(main, &rect);
    g_hSkypeTabs = nullptr;
    g_hSkypeContactList = nullptr;
    g_hSkypeBgGrid = nullptr;
    EnumChildWindows(main, VisitSkypeChild, reinterpret_cast<LPARAM>(&rect));
}
