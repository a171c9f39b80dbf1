#include "WinHandsetPorts.h"

#include <windows.h>

#include <commctrl.h>

#include "BoundedSend.h"
#include "HandsetAudio.h"
#include "Pause.h"
#include "SkypeClient.h"

namespace {

LPARAM Point(int x, int y) {
    return MAKELPARAM(x, y);
}

}  // namespace

bool CWinHandsetWindows::TopLevelWindowExists(const char* className) {
    return FindWindowA(className, nullptr) != nullptr;
}

bool CWinHandsetWindows::ActivateAndClose(const char* className) {
    HWND window = FindWindowA(className, nullptr);
    if (window == nullptr) {
        return false;
    }
    DWORD_PTR ignored = 0;
    SendToOtherProgram(window, WM_ACTIVATE, WA_CLICKACTIVE, 0, &ignored);
    PostMessageA(window, WM_CLOSE, 0, 0);
    return true;
}

void CWinHandsetWindows::PostClose(const char* className) {
    HWND window = FindWindowA(className, nullptr);
    if (window != nullptr) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

int CWinHandsetWindows::GetSelectedSkypeTab() {
    HWND tabs = g_hSkypeTabs.load();
    if (tabs == nullptr) {
        return -1;
    }
    DWORD_PTR selected = 0;
    if (!SendToOtherProgram(tabs, TCM_GETCURSEL, 0, 0, &selected)) {
        return -1;  // no answer: as if no tab were selected
    }
    return static_cast<int>(static_cast<LRESULT>(selected));
}

bool CWinHandsetWindows::IsSkypeBgGridVisible() {
    HWND grid = g_hSkypeBgGrid.load();
    return grid != nullptr && IsWindowVisible(grid) != 0;
}

void CWinHandsetWindows::ClickSkypeBgGrid(int x, int y) {
    HWND grid = g_hSkypeBgGrid.load();
    if (grid == nullptr) {
        return;
    }
    PostMessageA(grid, WM_LBUTTONDOWN, MK_LBUTTON, Point(x, y));
    PostMessageA(grid, WM_LBUTTONUP, 0, Point(x, y));
}

void CWinHandsetWindows::ClickSkypeTabs(int x, int y) {
    HWND tabs = g_hSkypeTabs.load();
    if (tabs == nullptr) {
        return;
    }
    PostMessageA(tabs, WM_LBUTTONDOWN, 0, Point(x, y));
    PostMessageA(tabs, WM_LBUTTONUP, 0, Point(x, y));
}

void CWinHandsetWindows::RediscoverSkypeWindows() {
    // Clears and finds the three child windows when the main window exists.
    DiscoverSkypeWindows();
}

void CWinHandsetWindows::TypeBackspace() {
    keybd_event(VK_BACK, 8, 0, 0);
    Pause(33);
    keybd_event(VK_BACK, 8, KEYEVENTF_KEYUP, 0);
}

void CWinHandsetFaders::SetSpeakerFader(int kind, unsigned int level) {
    HandsetSpeaker().SetFaderValue(kind, level);
}

void CWinHandsetFaders::SetMicFader(int kind, unsigned int level) {
    HandsetMicrophone().SetFaderValue(kind, level);
}
