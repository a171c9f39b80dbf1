// What the application shell needs from the handset object, the font library,
// the main window and the rest of the platform, as small interfaces it owns.
// The Win32 program wires them in ShellWiring.cpp; tests use recording fakes.
// Window handles cross these interfaces as opaque pointers.
#pragma once

#include <cstdint>
#include <functional>

#include "Configuration.h"
#include "HsdStatus.h"

class CHsdFontProcess;
class CallStore;
class I_HsdHIDCtrl;
class UserStore;

// The handset object (CHsdHid) as the shell uses it, with its own names.
class IShellHandset {
public:
    virtual ~IShellHandset() = default;
    // The configuration loader's switches and the two fader defaults.
    virtual void ApplyConfiguration(const ConfigSwitches& switches, int reg04Value,
                                    int reg1CValue) = 0;
    // The two stores, once both exist and before the handset is read.
    virtual void ConnectStores(CallStore* calls, UserStore* users) = 0;
    virtual bool ReopenHandset() = 0;
    virtual bool StartHandset(void* notifyWindow) = 0;
    virtual bool StopHandsetReading() = 0;
    virtual bool ResetHandset() = 0;
    virtual bool SendHandsetCommand(unsigned char code) = 0;
    virtual bool ClearInput() = 0;
    virtual HsdStatus BindFontProcess(CHsdFontProcess* font) = 0;
    virtual HsdStatus ApplySupportedARF() = 0;
    // WM_HANDSET_INPUT.
    virtual int OnHidInput(std::uint32_t wParam, std::uint32_t lParam) = 0;
    // Stops a transfer and the input thread and waits for both; after it the
    // stores and the Skype link may be deleted.
    virtual void StopThreads() = 0;
    // The HID component (null when its library could not be bound).
    virtual I_HsdHIDCtrl* HidCtrl() = 0;

    // The handset object's flags.
    virtual bool IsHandsetPresent() = 0;
    virtual void SetHandsetPresent(int value) = 0;
    virtual void SetLinkOpen(int value) = 0;
    virtual void SetModeFlags(unsigned int flags) = 0;
    // The handset is leaving: stops a running LCD transfer and waits for its
    // close (bounded); returns at once when none runs.
    virtual void StopTransferForRemoval() = 0;
    // g_bHandsetActive = 0.
    virtual void ClearHandsetActive() = 0;
    // The current SupportAutoRunSkype (the settings dialog may change it).
    virtual int SupportAutoRunSkype() = 0;
};

// HsdFontProcessLib, bound by file name.
class IShellFontLibrary {
public:
    virtual ~IShellFontLibrary() = default;
    // Loads the library and creates its component; null after a failure,
    // which has been reported.
    virtual CHsdFontProcess* Bind() = 0;
    // Deletes the component (a failure is reported) and frees the library.
    virtual void Release(CHsdFontProcess* font) = 0;
};

// The main window, its timer, the tray icon and the rest of the platform.
class IShellPlatform {
public:
    virtual ~IShellPlatform() = default;
    virtual void* MainWindow() = 0;
    // Skype's API window (g_hSkypeApiWnd); null while not attached.
    virtual void* SkypeApiWindow() = 0;
    virtual void SetSkypeApiWindow(void* window) = 0;
    // The one-shot device re-check timer of the main window.
    virtual void SetDeviceRecheckTimer(unsigned int milliseconds) = 0;
    virtual void KillDeviceRecheckTimer() = 0;
    virtual void RemoveTrayIcon() = 0;
    virtual void DestroyMainWindow() = 0;
    // The outward exit signal, then g_hMainWnd cleared and WM_QUIT posted.
    virtual void SignalExit() = 0;
    // Runs work on another thread and keeps serving the main thread's windows
    // until it ends: threads being stopped may still be sending to them (a
    // broadcast reaches every window of the main thread).
    virtual void RunServingWindows(const std::function<void()>& work) = 0;
    // Stops whatever the process plays (the PC ring tone).
    virtual void StopSounds() = 0;
    // The handset's sound: its endpoints, or its four mixer controls.
    virtual void OpenHandsetMixerControls() = 0;
    virtual void CloseHandsetMixerControls() = 0;
    // Audio endpoints came or went while the handset is present: the choice
    // of the handset's sound is made again. True when the device names Skype
    // gets for it changed.
    virtual bool FollowHandsetEndpoints() = 0;
    // The one-shot timer that lets a burst of endpoint changes settle.
    virtual void SetEndpointsTimer(unsigned int milliseconds) = 0;
    virtual void KillEndpointsTimer() = 0;
    // MM_MIXM_CONTROL_CHANGE for the microphone volume control.
    virtual void OnMicVolumeControlChange(std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // The Skype client: started when missing and wanted; its child windows found.
    virtual void StartSkypeIfMissing(int autoRunSkype) = 0;
    virtual void DiscoverSkypeWindows() = 0;
    // WM_TRAYNOTIFY: the tray icon's handler with the anchor point and the
    // event with the icon id (the shell's version 4 layout); its result.
    virtual std::intptr_t OnTrayNotification(std::uintptr_t anchor, std::intptr_t event) = 0;
};

// The four modal dialogs of the tray menu. Each Open runs its dialog to its
// end; OpenCount is its open counter (the About dialog has none: 0).
class IShellDialogs {
public:
    virtual ~IShellDialogs() = default;
    virtual int OpenCount(unsigned int command) = 0;
    virtual void Open(unsigned int command) = 0;
};

struct ShellPorts {
    IShellHandset* handset = nullptr;
    IShellFontLibrary* fontLibrary = nullptr;
    IShellPlatform* platform = nullptr;
    IShellDialogs* dialogs = nullptr;
};
