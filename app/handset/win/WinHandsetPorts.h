// Win32 implementations of the handset object's ports: the Skype client's
// windows, the keystroke, and the handset's faders.
#pragma once

#include "HandsetPorts.h"

// Acts on the windows found by class name and on the child windows that
// DiscoverSkypeWindows keeps (g_hSkypeTabs, g_hSkypeBgGrid).
class CWinHandsetWindows : public IHandsetWindows {
public:
    bool TopLevelWindowExists(const char* className) override;
    bool ActivateAndClose(const char* className) override;
    void PostClose(const char* className) override;
    int GetSelectedSkypeTab() override;
    bool IsSkypeBgGridVisible() override;
    void ClickSkypeBgGrid(int x, int y) override;
    void ClickSkypeTabs(int x, int y) override;
    void RediscoverSkypeWindows() override;
    void TypeBackspace() override;
};

// The handset's speaker and microphone faders, whichever backend serves them.
class CWinHandsetFaders : public IHandsetFaders {
public:
    void SetSpeakerFader(int kind, unsigned int level) override;
    void SetMicFader(int kind, unsigned int level) override;
};
