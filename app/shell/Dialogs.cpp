#include "Dialogs.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "CodePageText.h"
#include "HandsetAudio.h"
#include "Log.h"
#include "Pause.h"
#include "SoundMapper.h"
#include "ThreadLabel.h"
#include "VoxlinkResources.h"

std::atomic<int> g_nVolumeDialogOpen{0};
std::atomic<int> g_nAdvancedDialogOpen{0};
std::atomic<int> g_nAudioDialogOpen{0};
std::atomic<int> g_nLastSpeakerLevel{0};
std::atomic<int> g_nLastMicLevel{0};
std::atomic<int> g_bAudioWatchRun{0};
HANDLE g_hAudioWatchThread = nullptr;

namespace {

// Track bars run from 0 (top) to 31 (bottom); the top is full volume.
constexpr int kTrackTop = 31;
// Windows' preferred devices are names of at most this many bytes.
constexpr DWORD kDeviceNameBytes = 80;
constexpr DWORD kWatchPeriodMs = 1000;
constexpr unsigned kVolumeClosePauseMs = 500;

// Wakes the watcher from its wait between passes when the dialog closes.
HANDLE g_hAudioWatchWake = nullptr;

HINSTANCE ProgramInstance() {
    return GetModuleHandleW(nullptr);
}

IDialogHost& HostOf(HWND dialog) {
    return *reinterpret_cast<IDialogHost*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void KeepHost(HWND dialog, LPARAM host) {
    SetWindowLongPtrW(dialog, DWLP_USER, host);
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void SetCheck(HWND dialog, int id, int on) {
    CheckDlgButton(dialog, id, on != 0 ? BST_CHECKED : BST_UNCHECKED);
}

// ---- combo boxes -----------------------------------------------------------

// The lists show Unicode; device names stay in the ANSI code page, as the wave
// functions and the Sound Mapper values give them.
void AddDeviceName(HWND combo, const std::string& name) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(name, CP_ACP).c_str()));
}

std::string ComboText(HWND combo, int index) {
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) {
        return {};
    }
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    if (SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data())) == CB_ERR) {
        return {};
    }
    return Narrow(text.data(), CP_ACP);
}

std::string SelectedText(HWND combo) {
    const LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? std::string() : ComboText(combo, static_cast<int>(index));
}

// CB_FINDSTRINGEXACT ignores case; device names must match byte for byte.
int FindExact(HWND combo, const std::string& name) {
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        if (ComboText(combo, i) == name) {
            return i;
        }
    }
    return -1;
}

bool SelectExact(HWND combo, const std::string& name) {
    const int index = FindExact(combo, name);
    if (index < 0) {
        return false;
    }
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    return true;
}

// ---- Sound Mapper values ---------------------------------------------------

// A device name value, cut to kDeviceNameBytes and always terminated (the
// registry does not promise a terminating NUL).
bool ReadDeviceName(HKEY key, const char* value, std::string* name) {
    char text[kDeviceNameBytes + 1] = {};
    DWORD size = kDeviceNameBytes;
    if (RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    *name = text;
    return true;
}

bool IsListedDevice(const std::vector<std::string>& devices, const std::string& name) {
    for (const std::string& device : devices) {
        if (device == name) {
            return true;
        }
    }
    return false;
}

void WriteDeviceName(HKEY key, const char* value, const std::string& name) {
    RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                   static_cast<DWORD>(name.size() + 1));
}

// ---- About -----------------------------------------------------------------

// The About dialog's own copy of the program's icon, freed with the dialog.
constexpr wchar_t kAboutIconProperty[] = L"VoxlinkAboutIcon";

// The program's icon at size pixels, scaled down from the nearest larger
// image (common controls 6, which the manifest asks for); null without them.
HICON LoadProgramIcon(int size) {
    using ScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    const auto scaleDown = reinterpret_cast<ScaleDownFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown")));
    HICON icon = nullptr;
    if (scaleDown == nullptr || size <= 0 ||
        FAILED(scaleDown(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VOXLINK), size, size,
                         &icon))) {
        return nullptr;
    }
    return icon;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            KeepHost(dialog, lParam);
            char text[1024] = {};
            if (!HostOf(dialog).GetAboutText(text, sizeof(text))) {
                text[0] = '\0';
            }
            SetDlgItemTextW(dialog, IDC_ABOUT_TEXT, Widen(text, CP_UTF8).c_str());
            SetDlgItemTextW(dialog, IDC_ABOUT_FOLDER, DiagnosticsFolder().c_str());
            // The program's icon at the size its control has at this dialog's
            // DPI, scaled down from the nearest larger image, not stretched up.
            HWND iconControl = GetDlgItem(dialog, IDC_ABOUT_ICON);
            RECT box{};
            GetClientRect(iconControl, &box);
            if (HICON icon = LoadProgramIcon(std::min(box.right, box.bottom))) {
                SendMessageW(iconControl, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
                SetPropW(dialog, kAboutIconProperty, icon);
            }
            return TRUE;
        }
        case WM_DESTROY:
            if (auto icon = static_cast<HICON>(RemovePropW(dialog, kAboutIconProperty))) {
                DestroyIcon(icon);
            }
            break;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ABOUT_OPEN_FOLDER ||
                (LOWORD(wParam) == IDOK && GetFocus() == GetDlgItem(dialog, IDC_ABOUT_FOLDER))) {
                const std::filesystem::path folder = DiagnosticsFolder();
                CreateDirectoryW(folder.c_str(), nullptr);
                ShellExecuteW(dialog, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
                return TRUE;
            }
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

// ---- Volume Control --------------------------------------------------------

int ShownLevel(int faderLevel) {
    return faderLevel < 0 ? 0 : faderLevel > kTrackTop ? kTrackTop : faderLevel;
}

int TrackLevel(HWND dialog, int id) {
    return kTrackTop - static_cast<int>(SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0));
}

INT_PTR CALLBACK VolumeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            KeepHost(dialog, lParam);
            SendDlgItemMessageA(dialog, IDC_MIC_LEVEL, TBM_SETRANGE, FALSE,
                                MAKELPARAM(0, kTrackTop));
            SendDlgItemMessageA(dialog, IDC_SPEAKER_LEVEL, TBM_SETRANGE, FALSE,
                                MAKELPARAM(0, kTrackTop));
            // A fader at full scale reads 32, one above the track bar's top;
            // keep the level shown, or the first move of either track bar
            // would be taken for a move of the other one.
            g_nLastSpeakerLevel = ShownLevel(HandsetSpeaker().GetFaderLevel());
            g_nLastMicLevel = ShownLevel(HandsetMicrophone().GetFaderLevel());
            SendDlgItemMessageA(dialog, IDC_MIC_LEVEL, TBM_SETPOS, TRUE,
                                kTrackTop - g_nLastMicLevel);
            SendDlgItemMessageA(dialog, IDC_SPEAKER_LEVEL, TBM_SETPOS, TRUE,
                                kTrackTop - g_nLastSpeakerLevel);
            ++g_nVolumeDialogOpen;
            return TRUE;
        case WM_VSCROLL: {
            // One fader per notification, the microphone first.
            const int mic = TrackLevel(dialog, IDC_MIC_LEVEL);
            const int speaker = TrackLevel(dialog, IDC_SPEAKER_LEVEL);
            if (mic != g_nLastMicLevel) {
                g_nLastMicLevel = mic;
                HandsetMicrophone().SetFaderValue(4, static_cast<unsigned>(mic));
            } else if (speaker != g_nLastSpeakerLevel) {
                g_nLastSpeakerLevel = speaker;
                HandsetSpeaker().SetFaderValue(4, static_cast<unsigned>(speaker));
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                --g_nVolumeDialogOpen;
                Pause(kVolumeClosePauseMs);
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

// ---- Advanced Settings -----------------------------------------------------

INT_PTR CALLBACK AdvancedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            KeepHost(dialog, lParam);
            IDialogHost& host = HostOf(dialog);
            host.FillRingList(dialog, IDC_RING_SELECTION);
            SetCheck(dialog, IDC_AUTO_SWITCH_AUDIO,
                     host.GetSetting(IDialogHost::Setting::AutoSwitchAudioDevice));
            SetCheck(dialog, IDC_AUTO_RUN_SKYPE,
                     host.GetSetting(IDialogHost::Setting::AutoRunSkype));
            SendDlgItemMessageA(dialog, IDC_RING_SELECTION, CB_SETCURSEL, host.GetRingIndex(), 0);
            ++g_nAdvancedDialogOpen;
            return TRUE;
        }
        case WM_COMMAND: {
            IDialogHost& host = HostOf(dialog);
            if (LOWORD(wParam) == IDC_RING_SELECTION && HIWORD(wParam) == CBN_SELCHANGE) {
                const LRESULT index =
                    SendDlgItemMessageA(dialog, IDC_RING_SELECTION, CB_GETCURSEL, 0, 0);
                if (index != CB_ERR) {
                    host.SetRingIndex(static_cast<int>(index));
                    host.SendHandsetCommand(kRingChangedCommand);
                }
                return TRUE;
            }
            // Escape keeps the check box changes, like OK.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                host.SetSetting(IDialogHost::Setting::AutoSwitchAudioDevice,
                                Checked(dialog, IDC_AUTO_SWITCH_AUDIO) ? 1 : 0);
                host.SetSetting(IDialogHost::Setting::AutoRunSkype,
                                Checked(dialog, IDC_AUTO_RUN_SKYPE) ? 1 : 0);
                --g_nAdvancedDialogOpen;
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        }
        default:
            break;
    }
    return FALSE;
}

// ---- Audio Device Settings -------------------------------------------------

void StartAudioWatcher(HWND dialog) {
    if (g_hAudioWatchThread != nullptr) {
        return;
    }
    g_bAudioWatchRun = 1;
    g_hAudioWatchWake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_hAudioWatchThread =
        CreateThread(nullptr, 0, Hsd_Timer2CheckingAudioDevice, dialog, 0, nullptr);
    if (g_hAudioWatchThread == nullptr) {
        g_bAudioWatchRun = 0;
        if (g_hAudioWatchWake != nullptr) {
            CloseHandle(g_hAudioWatchWake);
            g_hAudioWatchWake = nullptr;
        }
    }
}

// Stops the watcher and waits until it has ended, so that it never sends to a
// dialog that is gone. The watcher may be inside a SendMessage to this very
// thread meanwhile, so sent messages are served while waiting.
void StopAudioWatcher() {
    g_bAudioWatchRun = 0;
    if (g_hAudioWatchWake != nullptr) {
        SetEvent(g_hAudioWatchWake);
    }
    HANDLE thread = g_hAudioWatchThread;
    if (thread != nullptr) {
        for (;;) {
            const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, 50, QS_SENDMESSAGE);
            if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
                break;
            }
            MSG pending;
            PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        CloseHandle(thread);
        g_hAudioWatchThread = nullptr;
    }
    if (g_hAudioWatchWake != nullptr) {
        CloseHandle(g_hAudioWatchWake);
        g_hAudioWatchWake = nullptr;
    }
}

// The devices the two lists offer: the playback and recording endpoints while
// the handset's sound is on its endpoints, else the wave device list for both.
std::vector<std::string> ListedDevices(bool recording) {
    return UsingHandsetEndpoints() ? HandsetEndpointNames(recording) : AudioDeviceList();
}

void FillDeviceLists(HWND dialog) {
    HWND speaker = GetDlgItem(dialog, IDC_SPEAKER_DEVICE);
    HWND mic = GetDlgItem(dialog, IDC_MIC_DEVICE);
    const std::vector<std::string> speakers = ListedDevices(false);
    const std::vector<std::string> mics = ListedDevices(true);
    if (speakers.empty() || mics.empty()) {
        wchar_t noSpeaker[64] = {};
        wchar_t noMic[64] = {};
        LoadStringW(ProgramInstance(), IDS_NO_SPEAKER, noSpeaker, 64);
        LoadStringW(ProgramInstance(), IDS_NO_MIC, noMic, 64);
        SendMessageW(speaker, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(noSpeaker));
        SendMessageW(mic, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(noMic));
        SendMessageA(speaker, CB_SETCURSEL, 0, 0);
        SendMessageA(mic, CB_SETCURSEL, 0, 0);
        SendMessageA(speaker, CB_SHOWDROPDOWN, FALSE, 0);
        SendMessageA(mic, CB_SHOWDROPDOWN, FALSE, 0);
        return;
    }
    for (const std::string& name : speakers) {
        AddDeviceName(speaker, name);
    }
    for (const std::string& name : mics) {
        AddDeviceName(mic, name);
    }
    // Entry 0 stands wherever Windows' choice cannot be read or is not listed.
    SendMessageA(speaker, CB_SETCURSEL, 0, 0);
    SendMessageA(mic, CB_SETCURSEL, 0, 0);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSoundMapperKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    std::string name;
    if (ReadDeviceName(key, "Playback", &name)) {
        SelectExact(speaker, name);
        if (ReadDeviceName(key, "Record", &name)) {
            SelectExact(mic, name);
        }
    }
    RegCloseKey(key);
}

// Writes the chosen devices as Windows' preferred ones. False when the
// settings cannot be opened: then nothing is applied.
bool ApplyDeviceChoice(HWND dialog) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSoundMapperKey, 0, KEY_READ | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    const std::string speaker = SelectedText(GetDlgItem(dialog, IDC_SPEAKER_DEVICE));
    const std::string mic = SelectedText(GetDlgItem(dialog, IDC_MIC_DEVICE));
    if (IsListedDevice(ListedDevices(false), speaker)) {
        WriteDeviceName(key, "Playback", speaker);
    }
    if (IsListedDevice(ListedDevices(true), mic)) {
        WriteDeviceName(key, "Record", mic);
    }
    RegCloseKey(key);
    return true;
}

INT_PTR CALLBACK AudioDeviceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            KeepHost(dialog, lParam);
            SetCheck(dialog, IDC_AUTO_SWITCH_SYSTEM_AUDIO,
                     HostOf(dialog).GetSetting(IDialogHost::Setting::AutoSwitchSystemAudioDevice));
            FillDeviceLists(dialog);
            StartAudioWatcher(dialog);
            ++g_nAudioDialogOpen;
            return TRUE;
        case WM_COMMAND:
            // Escape applies the choice too, like OK.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                HostOf(dialog).SetSetting(IDialogHost::Setting::AutoSwitchSystemAudioDevice,
                                          Checked(dialog, IDC_AUTO_SWITCH_SYSTEM_AUDIO) ? 1 : 0);
                StopAudioWatcher();
                if (!ApplyDeviceChoice(dialog)) {
                    return TRUE;  // stays open; the watcher stays stopped
                }
                --g_nAudioDialogOpen;
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        case WM_DESTROY:
            // Also when the dialog goes without OK or Escape (its owner destroyed).
            StopAudioWatcher();
            break;
        default:
            break;
    }
    return FALSE;
}

struct WatchedValue {
    const char* value;
    int comboId;
    std::string remembered;
};

// One pass over one value; false when it cannot be read.
bool FollowValue(HKEY key, HWND dialog, WatchedValue& watched, bool firstPass) {
    std::string current;
    if (!ReadDeviceName(key, watched.value, &current)) {
        return false;
    }
    if (firstPass || current == watched.remembered) {
        watched.remembered = current;
        return true;
    }
    watched.remembered = current;
    if (g_bAudioWatchRun != 1) {
        return true;
    }
    HWND combo = GetDlgItem(dialog, watched.comboId);
    if (SelectedText(combo) != current && g_bAudioWatchRun == 1) {
        SelectExact(combo, current);  // an unlisted name leaves the selection
    }
    return true;
}

}  // namespace

DWORD WINAPI Hsd_Timer2CheckingAudioDevice(LPVOID param) {
    SetThreadLabel("Dialogs -> Hsd_Timer2CheckingAudioDevice");
    HWND dialog = static_cast<HWND>(param);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSoundMapperKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return 0;
    }
    WatchedValue playback{"Playback", IDC_SPEAKER_DEVICE, {}};
    WatchedValue record{"Record", IDC_MIC_DEVICE, {}};
    bool firstPass = true;
    while (g_bAudioWatchRun == 1) {
        if (!FollowValue(key, dialog, playback, firstPass) ||
            !FollowValue(key, dialog, record, firstPass)) {
            break;
        }
        firstPass = false;
        if (g_hAudioWatchWake != nullptr) {
            if (WaitForSingleObject(g_hAudioWatchWake, kWatchPeriodMs) == WAIT_OBJECT_0) {
                break;
            }
        } else {
            Sleep(kWatchPeriodMs);
        }
    }
    RegCloseKey(key);
    return 0;
}

namespace {

void InitTrackBars() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

INT_PTR Run(HWND owner, int templateId, DLGPROC procedure, IDialogHost& host) {
    return DialogBoxParamW(ProgramInstance(), MAKEINTRESOURCEW(templateId), owner, procedure,
                           reinterpret_cast<LPARAM>(&host));
}

}  // namespace

INT_PTR OpenAboutDialog(HWND owner, IDialogHost& host) {
    return Run(owner, IDD_ABOUT, AboutDialogProc, host);
}

INT_PTR OpenVolumeDialog(HWND owner, IDialogHost& host) {
    if (g_nVolumeDialogOpen != 0) {
        return 0;
    }
    InitTrackBars();
    return Run(owner, IDD_VOLUME_CONTROL, VolumeDialogProc, host);
}

INT_PTR OpenAdvancedDialog(HWND owner, IDialogHost& host) {
    if (g_nAdvancedDialogOpen != 0) {
        return 0;
    }
    return Run(owner, IDD_ADVANCED_SETTINGS, AdvancedDialogProc, host);
}

INT_PTR OpenAudioDeviceDialog(HWND owner, IDialogHost& host) {
    if (g_nAudioDialogOpen != 0) {
        return 0;
    }
    return Run(owner, IDD_AUDIO_DEVICE_SETTINGS, AudioDeviceDialogProc, host);
}

bool HandleDialogCommand(HWND owner, UINT command, IDialogHost& host) {
    switch (command) {
        case IDM_ABOUT:
            OpenAboutDialog(owner, host);
            return true;
        case IDM_VOLUME_CONTROL:
            OpenVolumeDialog(owner, host);
            return true;
        case IDM_ADVANCED_SETTINGS:
            OpenAdvancedDialog(owner, host);
            return true;
        case IDM_AUDIO_DEVICE_SETTINGS:
            OpenAudioDeviceDialog(owner, host);
            return true;
        default:
            return false;
    }
}
