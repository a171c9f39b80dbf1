#include "ShellWiring.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "AccessSkypeAPI.h"
#include "CallStore.h"
#include "CodePageText.h"
#include "ComponentBinding.h"
#include "CrashReport.h"
#include "Dialogs.h"
#include "HandsetInstance.h"
#include "HandsetAudio.h"
#include "HsdFontProcess.h"
#include "I_HsdHIDCtrl.h"
#include "Log.h"
#include "Pause.h"
#include "Report.h"
#include "RingTonePlayer.h"
#include "ShellGlobals.h"
#include "SkypeClient.h"
#include "SkypeCommandSender.h"
#include "SkypeWindowClasses.h"
#include "SoundMapper.h"
#include "TraceRing.h"
#include "UserStore.h"
#include "WinProfileReader.h"
#include "WinUserSettings.h"
#include "WinHandsetPorts.h"
#include "WinSkypeWire.h"
#include "WinSoundOutput.h"

static_assert(WM_ENDPOINTSCHANGED == WM_HANDSET_ENDPOINTS_CHANGED);

namespace {

constexpr unsigned int kReportError = kReportOk | kReportIconError;

// ---------------------------------------------------------------------------
// Platform: the main window, its timer, the tray, sounds, mixers, Skype client.

CWinSoundOutput g_SoundOutput;
RingTonePlayer g_RingTonePlayer(g_SoundOutput);
CTrayIcon g_TrayIcon;

class CWinShellPlatform : public IShellPlatform {
public:
    void* MainWindow() override { return g_hMainWnd; }
    void* SkypeApiWindow() override { return g_hSkypeApiWnd.load(); }
    void SetSkypeApiWindow(void* window) override {
        HWND previous = g_hSkypeApiWnd.exchange(static_cast<HWND>(window));
        if ((previous == nullptr) != (window == nullptr)) {
            Trace(TraceSource::Shell, kLogStates,
                  window != nullptr ? "Skype attached" : "Skype detached");
        }
    }
    void SetDeviceRecheckTimer(unsigned int milliseconds) override {
        SetTimer(g_hMainWnd, IDT_DEVICE_RECHECK, milliseconds, nullptr);
    }
    void KillDeviceRecheckTimer() override {
        if (g_hMainWnd != nullptr) {
            KillTimer(g_hMainWnd, IDT_DEVICE_RECHECK);
        }
    }
    void RemoveTrayIcon() override { g_TrayIcon.RemoveIcon(); }
    void DestroyMainWindow() override { DestroyWindow(g_hMainWnd); }
    void SignalExit() override {
        // An outward signal only: nothing in the program waits on it.
        HANDLE signal = CreateMutexA(nullptr, FALSE, "Get exit signal");
        Sleep(300);
        if (signal != nullptr) {
            CloseHandle(signal);
        }
        g_hMainWnd = nullptr;
        PostQuitMessage(0);
    }
    void StopSounds() override { g_RingTonePlayer.StopRinging(); }
    void RunServingWindows(const std::function<void()>& work) override {
        std::atomic<bool> done{false};
        const DWORD mainThread = GetCurrentThreadId();
        std::thread worker([&] {
            work();
            done = true;
            PostThreadMessageA(mainThread, WM_NULL, 0, 0);
        });
        bool quit = false;
        WPARAM quitCode = 0;
        while (!done) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG msg;
            // Sent messages are delivered inside PeekMessageA; posted ones are
            // dispatched too. A WM_QUIT taken here (at logoff this runs inside
            // the window procedure, before the message loop has seen it) is
            // kept for the loop, which would otherwise wait for good.
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    quit = true;
                    quitCode = msg.wParam;
                } else {
                    DispatchMessageA(&msg);
                }
            }
        }
        worker.join();
        if (quit) {
            PostQuitMessage(static_cast<int>(quitCode));
        }
    }
    void OpenHandsetMixerControls() override {
        char containerId[64] = {};
        I_HsdHIDCtrl* hid = g_HsdHid.HidCtrl();
        if (hid == nullptr || hid->GetContainerId(containerId, sizeof containerId) != HSD_OK) {
            containerId[0] = '\0';
        }
        OpenHandsetAudio(g_hMainWnd, containerId);
    }
    void CloseHandsetMixerControls() override { CloseHandsetAudio(); }
    bool FollowHandsetEndpoints() override { return ::FollowHandsetEndpoints(); }
    void SetEndpointsTimer(unsigned int milliseconds) override {
        SetTimer(g_hMainWnd, IDT_ENDPOINTS_SETTLED, milliseconds, nullptr);
    }
    void KillEndpointsTimer() override {
        if (g_hMainWnd != nullptr) {
            KillTimer(g_hMainWnd, IDT_ENDPOINTS_SETTLED);
        }
    }
    void OnMicVolumeControlChange(std::uintptr_t wParam, std::intptr_t lParam) override {
        HandsetMicrophone().OnControlChange(wParam, lParam);
    }
    void StartSkypeIfMissing(int autoRunSkype) override { ::StartSkypeIfMissing(autoRunSkype); }
    void DiscoverSkypeWindows() override { ::DiscoverSkypeWindows(); }
    std::intptr_t OnTrayNotification(std::uintptr_t anchor, std::intptr_t event) override {
        return g_TrayIcon.OnTrayNotification(anchor, event);
    }
};

// ---------------------------------------------------------------------------
// HsdFontProcessLib, bound by file name; failures reported with fixed texts.

class CShellFontLibrary : public IShellFontLibrary {
public:
    CHsdFontProcess* Bind() override {
        return m_library.Bind() == 0 ? m_library.Component() : nullptr;
    }
    void Release(CHsdFontProcess*) override { m_library.Release(); }

private:
    CWinFontLibrary m_library;
};

// ---------------------------------------------------------------------------
// The handset object as the shell uses it. When the stores exist, the handset
// object and the Skype link are connected to them and to the rest of the program.

CWinSkypeWire g_Wire;
CWinHandsetWindows g_HandsetWindows;
CWinHandsetFaders g_HandsetFaders;

class CShellHandset : public IShellHandset {
public:
    void ApplyConfiguration(const ConfigSwitches& switches, int reg04Value,
                            int reg1CValue) override {
        g_HsdHid.ApplyConfiguration(switches, reg04Value, reg1CValue);
    }
    void ConnectStores(CallStore* calls, UserStore* users) override {
        HandsetPorts ports;
        ports.calls = calls;
        ports.users = users;
        ports.skype = g_pSkypeAPI.load();
        ports.wire = &g_Wire;
        ports.windows = &g_HandsetWindows;
        ports.faders = &g_HandsetFaders;
        ports.sound = &g_SoundOutput;
        ports.ringTone = &g_RingTonePlayer;
        ports.trace = [](int level, const char* line) { Trace(TraceSource::Handset, level, line); };
        g_HsdHid.Connect(ports);
        if (auto* link = dynamic_cast<CAccessSkypeAPI*>(g_pSkypeAPI.load())) {
            link->ConnectStores(calls, users);
        }
    }
    bool ReopenHandset() override { return g_HsdHid.ReopenHandset(); }
    bool StartHandset(void* window) override { return g_HsdHid.StartHandset(window); }
    bool StopHandsetReading() override { return g_HsdHid.StopHandsetReading(); }
    bool ResetHandset() override { return g_HsdHid.ResetHandset(); }
    bool SendHandsetCommand(unsigned char code) override {
        return g_HsdHid.SendHandsetCommand(code);
    }
    bool ClearInput() override { return g_HsdHid.ClearInput(); }
    HsdStatus BindFontProcess(CHsdFontProcess* font) override {
        return g_HsdHid.BindFontProcess(font);
    }
    HsdStatus ApplySupportedARF() override { return g_HsdHid.ApplySupportedARF(); }
    int OnHidInput(std::uint32_t wParam, std::uint32_t lParam) override {
        return g_HsdHid.OnHidInput(wParam, lParam);
    }
    void StopThreads() override { g_HsdHid.StopThreads(); }
    I_HsdHIDCtrl* HidCtrl() override { return g_HsdHid.HidCtrl(); }
    bool IsHandsetPresent() override { return g_HsdHid.IsHandsetPresent(); }
    void SetHandsetPresent(int value) override {
        if (g_HsdHid.IsHandsetPresent() != (value != 0)) {
            Trace(TraceSource::Shell, kLogStates, value != 0 ? "handset present" : "handset gone");
        }
        g_HsdHid.SetHandsetPresent(value);
    }
    void SetLinkOpen(int value) override { g_HsdHid.SetLinkOpen(value); }
    void SetModeFlags(unsigned int flags) override { g_HsdHid.SetModeFlags(flags); }
    void StopTransferForRemoval() override { g_HsdHid.StopTransferForRemoval(); }
    void ClearHandsetActive() override { g_HsdHid.ClearHandsetActive(); }
    int SupportAutoRunSkype() override { return g_HsdHid.supportAutoRunSkype.load(); }
};

CShellHandset g_Handset;
// The ring chosen in the settings dialog (from 0), kept for the user.
std::atomic<int> g_nRingIndex{0};
CWinUserSettings g_UserSettings;

// ---------------------------------------------------------------------------
// The dialogs of the tray menu, when the program carries them; until then the
// menu's dialog commands open nothing.

class CDialogHost : public IDialogHost {
public:
    bool GetAboutText(char* out, std::size_t size) override {
        I_AccessSkypeAPI* link = g_pSkypeAPI.load();
        return link != nullptr && link->GetCustomerInfo(out, size) == 0;
    }
    void FillRingList(HWND dialog, int comboId) override {
        if (I_AccessSkypeAPI* link = g_pSkypeAPI.load()) {
            link->FillRingList(dialog, comboId);
        }
    }
    int GetRingIndex() override { return g_nRingIndex.load(); }
    // Only what the user changed is kept for the next start.
    void SetRingIndex(int index) override {
        if (g_nRingIndex.exchange(index) != index) {
            g_UserSettings.WriteNumber("RING", static_cast<unsigned int>(index + 1));
        }
    }
    int GetSetting(Setting setting) override { return Field(setting).load(); }
    void SetSetting(Setting setting, int value) override {
        if (Field(setting).exchange(value) != value) {
            g_UserSettings.WriteNumber(KeyOf(setting), static_cast<unsigned int>(value));
        }
    }
    void SendHandsetCommand(unsigned char command) override {
        g_HsdHid.SendHandsetCommand(command);
    }

private:
    // The INI key the setting overrides.
    static const char* KeyOf(Setting setting) {
        switch (setting) {
            case Setting::AutoSwitchAudioDevice:
                return "SupportAutoSwitchAudioDevice";
            case Setting::AutoRunSkype:
                return "SupportAutoRunSkype";
            case Setting::AutoSwitchSystemAudioDevice:
            default:
                return "SupportAutoSwitchSystemAudioDevice";
        }
    }
    static std::atomic<int>& Field(Setting setting) {
        switch (setting) {
            case Setting::AutoSwitchAudioDevice:
                return g_HsdHid.supportAutoSwitchAudioDevice;
            case Setting::AutoRunSkype:
                return g_HsdHid.supportAutoRunSkype;
            case Setting::AutoSwitchSystemAudioDevice:
            default:
                return g_HsdHid.supportAutoSwitchSystemAudioDevice;
        }
    }
};

class CShellDialogs : public IShellDialogs {
public:
    int OpenCount(unsigned int command) override {
        switch (command) {
            case kCmdVolumeControl:
                return g_nVolumeDialogOpen.load();
            case kCmdAdvancedSettings:
                return g_nAdvancedDialogOpen.load();
            case kCmdAudioDeviceSettings:
                return g_nAudioDialogOpen.load();
            default:
                return 0;
        }
    }
    void Open(unsigned int command) override { HandleDialogCommand(g_hMainWnd, command, m_host); }

private:
    CDialogHost m_host;
};

// ---------------------------------------------------------------------------
// The Skype link's ports over the program's objects.

class CWinLinkAudio : public ILinkAudio {
public:
    std::string GetHandsetDeviceName(bool capture) override { return HandsetDeviceName(capture); }
    void SetPreferredAudioDevices() override { ::SetPreferredAudioDevices(); }
};

class CWinLinkShell : public ILinkShell {
public:
    void ShowTrayState(bool connected, const char* iconPath) override {
        g_TrayIcon.SetState(iconPath, connected ? kTrayTipConnected : kTrayTipDisconnected);
    }
    void InsertComboString(void* dialog, int comboId, int index, const char* text) override {
        SendDlgItemMessageW(static_cast<HWND>(dialog), comboId, CB_INSERTSTRING,
                            static_cast<WPARAM>(index),
                            reinterpret_cast<LPARAM>(Widen(text, CP_UTF8).c_str()));
    }
    void SelectComboEntry(void* dialog, int comboId, int index) override {
        SendDlgItemMessageA(static_cast<HWND>(dialog), comboId, CB_SETCURSEL,
                            static_cast<WPARAM>(index), 0);
    }
};

// Asks whichever Skype link exists, so the contact store never holds a link
// that has been deleted.
class CLinkCommandSender : public I_SkypeCommandSender {
public:
    HsdStatus SendSkypeCommand(unsigned char code, const char* userHandle, int callId) override {
        I_AccessSkypeAPI* link = g_pSkypeAPI.load();
        return link != nullptr ? link->SendSkypeCommand(code, userHandle, callId) : E_FAIL;
    }
};

// The Skype link's lines: failures and the states of calls and of the
// connection are errors and state changes, everything else (every text
// exchanged, contacts' statuses) is for level 2.
class CLinkTrace : public ILinkTrace {
public:
    void Trace(const char* line) override { ::Trace(TraceSource::Skype, LevelOf(line), line); }

private:
    static int LevelOf(const char* line) {
        constexpr char kFromSkype[] = "Message from Skype: ";
        if (std::strstr(line, "failed") != nullptr) {
            return kLogStates;
        }
        if (std::strncmp(line, kFromSkype, sizeof kFromSkype - 1) != 0) {
            return kLogAll;
        }
        const char* text = line + sizeof kFromSkype - 1;
        if (std::strncmp(text, "CONNSTATUS ", 11) == 0) {
            return kLogStates;
        }
        int id = 0;
        int consumed = 0;
        const bool callStatus =
            std::sscanf(text, "CALL %d STATUS %n", &id, &consumed) == 1 && consumed > 0;
        return callStatus ? kLogStates : kLogAll;
    }
};

CWinShellPlatform g_Platform;
CLinkCommandSender g_CommandSender;
CShellFontLibrary g_FontLibrary;
CShellDialogs g_Dialogs;
CWinSkypeClientWindows g_ClientWindows;
CWinLinkAudio g_LinkAudio;
CWinLinkShell g_LinkShell;
CWinProfileReader g_Profile;
CLinkTrace g_Trace;

}  // namespace

namespace {

// Skype's confirmation window, watched through window events rather than
// looked for on a timer: the main thread is told when any top-level window of
// its class is created or shown, and when the one seen is hidden or goes.
HWINEVENTHOOK g_hConfirmationWatch = nullptr;
HWND g_hConfirmationWnd = nullptr;  // main thread only

void CALLBACK OnWindowEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                            DWORD) {
    if (window == nullptr || object != OBJID_WINDOW || child != CHILDID_SELF) {
        return;
    }
    bool newWindow = false;
    if (event == EVENT_OBJECT_CREATE || event == EVENT_OBJECT_SHOW) {
        char name[64] = {};
        if (GetAncestor(window, GA_ROOT) != window ||
            GetClassNameA(window, name, sizeof name) == 0 ||
            std::strcmp(name, kSkypeConfirmFormClass) != 0) {
            return;
        }
        newWindow = event == EVENT_OBJECT_CREATE;
        g_hConfirmationWnd = window;
    } else if (window != g_hConfirmationWnd) {
        return;
    }
    if (auto* link = static_cast<CAccessSkypeAPI*>(g_pSkypeAPI.load())) {
        link->LookForConfirmationWindow(newWindow);
    }
}

}  // namespace

void StartConfirmationWindowWatch() {
    if (g_hConfirmationWatch == nullptr) {
        g_hConfirmationWatch =
            SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_HIDE, nullptr, OnWindowEvent, 0, 0,
                            WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    }
}

void StopConfirmationWindowWatch() {
    if (g_hConfirmationWatch != nullptr) {
        UnhookWinEvent(g_hConfirmationWatch);
        g_hConfirmationWatch = nullptr;
    }
}

CTrayIcon& ProgramTrayIcon() {
    return g_TrayIcon;
}

ShellPorts ProgramShellPorts() {
    ShellPorts ports;
    ports.handset = &g_Handset;
    ports.fontLibrary = &g_FontLibrary;
    ports.platform = &g_Platform;
    ports.dialogs = &g_Dialogs;
    return ports;
}

I_AccessSkypeAPI* CreateProgramSkypeLink() {
    SkypeLinkPorts ports;
    ports.wire = &g_Wire;
    ports.windows = &g_ClientWindows;
    ports.handset = &g_HsdHid;
    ports.audio = &g_LinkAudio;
    ports.shell = &g_LinkShell;
    ports.profile = &g_Profile;
    ports.userSettings = &g_UserSettings;
    ports.ringTone = &g_RingTonePlayer;
    ports.trace = &g_Trace;
    SetCrashStateAddresses(&g_HsdHid.handsetPresent, &g_hSkypeApiWnd);
    // The stores come later, from the start-up binding (ConnectStores).
    return new CAccessSkypeAPI(ports);
}

std::string ProgramSupportEmail() {
    auto* link = static_cast<CAccessSkypeAPI*>(g_pSkypeAPI.load());
    return link != nullptr ? link->Config().SupportEmail() : std::string();
}

void StartProgramDiagnostics() {
    auto* link = static_cast<CAccessSkypeAPI*>(g_pSkypeAPI.load());
    const int level = link != nullptr ? link->Config().LogLevel() : kLogStates;
    StartProgramLog(DiagnosticsFolder(), level);
    char line[64];
    std::snprintf(line, sizeof line, "Voxlink started (log level %d)", level);
    Trace(TraceSource::Shell, kLogStates, line);
    if (link != nullptr) {
        for (const std::string& note : link->Config().Notes()) {
            Trace(TraceSource::Shell, kLogStates, note.c_str());
        }
        g_nRingIndex = link->Config().Ring() - 1;
    }
    SetAudioTraceSink([](const char* text) { Trace(TraceSource::Audio, kLogStates, text); });
}

void StopProgramDiagnostics() {
    Trace(TraceSource::Shell, kLogStates, "Voxlink ends");
    StopProgramLog();
}

I_SkypeCommandSender* ProgramCommandSender() {
    return &g_CommandSender;
}

std::string ProgramFolderPath() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return ".\\";
    }
    std::string folder(path, length);
    const std::size_t slash = folder.find_last_of('\\');
    return slash == std::string::npos ? std::string(".\\") : folder.substr(0, slash + 1);
}
