// The four modal dialogs of the tray menu: About, Volume Control, Advanced
// Settings and Audio Device Settings, with their open counters and the watcher
// thread that keeps Audio Device Settings in step with Windows' choice.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>

// What the dialogs read and change outside themselves. The shell implements it
// over the handset object and the Skype link.
class IDialogHost {
public:
    enum class Setting {
        AutoSwitchAudioDevice,        // check box 1008 of Advanced Settings
        AutoRunSkype,                 // check box 1009 of Advanced Settings
        AutoSwitchSystemAudioDevice,  // check box 1019 of Audio Device Settings
    };

    virtual ~IDialogHost() = default;
    // The About text (UTF-8), line breaks already converted; false when none
    // is configured.
    virtual bool GetAboutText(char* out, std::size_t size) = 0;
    // Fills a combo box of the dialog with the configured ring names (as
    // Unicode text) and selects the first.
    virtual void FillRingList(HWND dialog, int comboId) = 0;
    // The ring chosen earlier in this run (initially 0).
    virtual int GetRingIndex() = 0;
    virtual void SetRingIndex(int index) = 0;
    virtual int GetSetting(Setting setting) = 0;
    virtual void SetSetting(Setting setting, int value) = 0;
    virtual void SendHandsetCommand(unsigned char command) = 0;
};

// Handset command sent when another ring is chosen.
inline constexpr unsigned char kRingChangedCommand = 0x2D;

// Open counters: 1 while the dialog is open. The main window opens a dialog
// only while its counter is 0.
extern std::atomic<int> g_nVolumeDialogOpen;
extern std::atomic<int> g_nAdvancedDialogOpen;
extern std::atomic<int> g_nAudioDialogOpen;
// Fader levels (0..32) last shown or set by Volume Control.
extern std::atomic<int> g_nLastSpeakerLevel;
extern std::atomic<int> g_nLastMicLevel;
// The Audio Device Settings watcher runs while the flag is 1; its handle is
// set from its start until the dialog has seen it end.
extern std::atomic<int> g_bAudioWatchRun;
extern HANDLE g_hAudioWatchThread;

// The watcher: once a second, a change of Windows' preferred playback or
// recording device is shown in the dialog's Speaker or Microphone list.
DWORD WINAPI Hsd_Timer2CheckingAudioDevice(LPVOID dialog);

// Each runs its dialog modally over the owner (the main window) and returns
// the button that ended it (1 OK, 2 Escape), or 0 when the dialog is already
// open and nothing was shown, or -1 when it could not be created.
INT_PTR OpenAboutDialog(HWND owner, IDialogHost& host);
INT_PTR OpenVolumeDialog(HWND owner, IDialogHost& host);
INT_PTR OpenAdvancedDialog(HWND owner, IDialogHost& host);
INT_PTR OpenAudioDeviceDialog(HWND owner, IDialogHost& host);

// The main window's WM_COMMAND for the menu commands 40002, 40007, 40008 and
// 40009: opens the dialog and returns true; false for any other command.
bool HandleDialogCommand(HWND owner, UINT command, IDialogHost& host);
