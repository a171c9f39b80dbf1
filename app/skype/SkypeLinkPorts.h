// What the Skype link needs from the rest of the program and from the
// platform, as small interfaces it owns, plus the two stores and the ring-tone
// player themselves. The shell wires them to the Win32 edges and to the real
// stores, handset object, mixer and tray; tests wire them to recording fakes
// and the real stores. Every port must outlive the link.
#pragma once

#include <string>

#include "CallStore.h"
#include "HsdStatus.h"
#include "UserSettings.h"
#include "UserStore.h"

class IProfileReader;
class RingTonePlayer;

// The WM_COPYDATA transport to the Skype client's API window.
class ISkypeWire {
public:
    virtual ~ISkypeWire() = default;
    // Sends one command text synchronously; false when the client did not take
    // it (for instance because no API window is attached).
    virtual bool SendCommandText(const char* text) = 0;
    // Broadcasts the discover message; the main window is named as the sender
    // when announceMainWindow is set, else no window is named.
    virtual void BroadcastDiscover(bool announceMainWindow) = 0;
    // Forgets the client's API window (detached).
    virtual void ForgetSkypeWindow() = 0;
};

// Presence of the Skype client's top-level windows, by class name.
class ISkypeClientWindows {
public:
    virtual ~ISkypeClientWindows() = default;
    virtual bool TopLevelWindowExists(const char* className) = 0;
};

// The handset object (CHsdHid) as the link uses it.
class ILinkHandset {
public:
    virtual ~ILinkHandset() = default;
    virtual bool SendHandsetCommand(unsigned char code) = 0;
    virtual int HandleKeyEvent(int code) = 0;
    // Stops a display transfer under way and waits until it has stopped.
    virtual void StopTransferAndWait() = 0;
    // The handset's mode bits (what the display is about to receive).
    virtual unsigned int GetModeFlags() = 0;
    virtual void SetModeFlags(unsigned int flags) = 0;
    virtual void AddModeFlags(unsigned int bits) = 0;
    virtual void SetLinkOpen(int value) = 0;
    virtual void SetKeysEnabled(int value) = 0;
    virtual bool IsHandsetPresent() = 0;
    // The display transfer thread's flags.
    virtual bool IsTransferBusy() = 0;
    virtual void SetAbortTransfer(int value) = 0;
    // Handset commands 0x51, a 25 ms pause, 0x06, unless the handset has
    // already answered a link start.
    virtual void StartHandsetLink() = 0;
    // Forgets that the handset answered a link start, so that the next
    // StartHandsetLink sends its commands again.
    virtual void ClearHandsetActive() = 0;
    // Whether names go to the display as font codes (else as plain characters).
    virtual bool FontSupport() = 0;
    // The protocol number Skype agreed to.
    virtual int GetProtocolVersion() = 0;
    virtual void SetProtocolVersion(int version) = 0;
};

// The handset's audio devices: their names and the Sound Mapper's preferred
// devices.
class ILinkAudio {
public:
    virtual ~ILinkAudio() = default;
    // The recording (capture) or playback device's name in UTF-8; empty when
    // no handset audio device is known.
    virtual std::string GetHandsetDeviceName(bool capture) = 0;
    virtual void SetPreferredAudioDevices() = 0;
};

// The shell's tray icon and the ring list of its settings dialog.
class ILinkShell {
public:
    virtual ~ILinkShell() = default;
    // connected: the "Connected" tip, else "Disconnected"; the icon from iconPath
    // (an icon that does not load leaves the icon as it was).
    virtual void ShowTrayState(bool connected, const char* iconPath) = 0;
    // dialog is a window handle.
    virtual void InsertComboString(void* dialog, int comboId, int index, const char* text) = 0;
    virtual void SelectComboEntry(void* dialog, int comboId, int index) = 0;
};

// Debug tracing, off unless a sink is given.
class ILinkTrace {
public:
    virtual ~ILinkTrace() = default;
    virtual void Trace(const char* line) = 0;
};

struct SkypeLinkPorts {
    ISkypeWire* wire = nullptr;
    ISkypeClientWindows* windows = nullptr;
    I_CallStore* calls = nullptr;
    I_UserStore* users = nullptr;
    ILinkHandset* handset = nullptr;
    ILinkAudio* audio = nullptr;
    ILinkShell* shell = nullptr;
    IProfileReader* profile = nullptr;
    IUserSettings* userSettings = nullptr;  // optional: the user's values over the INI
    ILinkTrace* trace = nullptr;            // optional
    RingTonePlayer* ringTone = nullptr;     // optional: no PC ring tone without it
};
