// What the handset object needs from the platform, as small interfaces it
// owns. The Win32 implementations live in win/; tests use recording fakes.
#pragma once

class I_HsdHIDCtrl;

// The Skype client's windows that the handset keys act on. Window handles stay
// inside the implementation.
class IHandsetWindows {
public:
    virtual ~IHandsetWindows() = default;
    // Whether a top-level window of the class exists.
    virtual bool TopLevelWindowExists(const char* className) = 0;
    // Activates the first top-level window of the class as if clicked, then
    // posts it WM_CLOSE. False when there is none.
    virtual bool ActivateAndClose(const char* className) = 0;
    // Posts WM_CLOSE to the first top-level window of the class.
    virtual void PostClose(const char* className) = 0;
    // The selected tab of the client's tab control; -1 without one.
    virtual int GetSelectedSkypeTab() = 0;
    // Whether the client's background grid exists and is visible.
    virtual bool IsSkypeBgGridVisible() = 0;
    // A left click (button down with MK_LBUTTON, then up) at a client point.
    virtual void ClickSkypeBgGrid(int x, int y) = 0;
    // A left click (button down and up, no keys) at a client point.
    virtual void ClickSkypeTabs(int x, int y) = 0;
    // When the client's main window exists: forgets its three child windows and
    // finds them again. Nothing otherwise.
    virtual void RediscoverSkypeWindows() = 0;
    // A Backspace keystroke: key down, 33 ms, key up.
    virtual void TypeBackspace() = 0;
};

// The handset's two volume faders (speaker and microphone).
class IHandsetFaders {
public:
    virtual ~IHandsetFaders() = default;
    // kind 0 steps up, 1 steps down, 2 sets level.
    virtual void SetSpeakerFader(int kind, unsigned int level) = 0;
    virtual void SetMicFader(int kind, unsigned int level) = 0;
};

// The loaded HID control library: creates its component at construction of
// the handset object and frees the library at its destruction.
class IHidLibrary {
public:
    virtual ~IHidLibrary() = default;
    // Loads the library and creates the component; null after a failure
    // (which has been reported).
    virtual I_HsdHIDCtrl* Bind() = 0;
    // Frees the library, if it was loaded. The component is not deleted: its
    // device has been reset by the caller.
    virtual void Free() = 0;
};
