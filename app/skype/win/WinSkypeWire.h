// The Win32 side of the Skype link: WM_COPYDATA texts to Skype's API window,
// the discover broadcast, and the presence of the client's windows.
#pragma once

#include "SkypeLinkPorts.h"

// Sends as the window g_hMainWnd to g_hSkypeApiWnd, broadcasting g_uDiscoverMsg.
class CWinSkypeWire : public ISkypeWire {
public:
    bool SendCommandText(const char* text) override;
    void BroadcastDiscover(bool announceMainWindow) override;
    void ForgetSkypeWindow() override;
};

class CWinSkypeClientWindows : public ISkypeClientWindows {
public:
    bool TopLevelWindowExists(const char* className) override;
};

// One WM_COPYDATA text, sent synchronously from one window to another: dwData
// 0, cbData the length plus the terminating NUL. True when the receiver took it
// within the send limit (5 s; at once for a window already hung).
bool SendCopyDataText(void* to, void* from, const char* text);
