#include "WinSkypeWire.h"

#include <windows.h>

#include <cstring>

#include "BoundedSend.h"

#include "ShellGlobals.h"

bool SendCopyDataText(void* to, void* from, const char* text) {
    COPYDATASTRUCT record{};
    record.dwData = 0;
    record.cbData = static_cast<DWORD>(std::strlen(text) + 1);
    record.lpData = const_cast<char*>(text);
    DWORD_PTR taken = 0;
    return SendToOtherProgram(static_cast<HWND>(to), WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                              reinterpret_cast<LPARAM>(&record), &taken) &&
           taken != 0;
}

bool CWinSkypeWire::SendCommandText(const char* text) {
    HWND skype = g_hSkypeApiWnd.load();
    if (skype == nullptr) {
        // Not attached: nothing would take it.
        return false;
    }
    return SendCopyDataText(skype, g_hMainWnd, text);
}

void CWinSkypeWire::BroadcastDiscover(bool announceMainWindow) {
    const WPARAM sender = announceMainWindow ? reinterpret_cast<WPARAM>(g_hMainWnd) : 0;
    // The limit applies to each window in turn.
    DWORD_PTR ignored = 0;
    SendToOtherProgram(HWND_BROADCAST, g_uDiscoverMsg, sender, 0, &ignored,
                       kBroadcastLimitPerWindowMs);
}

void CWinSkypeWire::ForgetSkypeWindow() {
    g_hSkypeApiWnd = nullptr;
}

bool CWinSkypeClientWindows::TopLevelWindowExists(const char* className) {
    return FindWindowA(className, nullptr) != nullptr;
}
