#include "ShellWiring.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "AccessSkypeAPI.h"
#include "CallStore.h"
#if __has_include("Dialogs.h")
#include "Dialogs.h"
#endif
#include "HandsetMixers.h"
#include "HsdFontProcess.h"
#include "I_HsdHIDCtrl.h"
#include "Pause.h"
#include "Report.h"
#include "RingTonePlayer.h"
#include "ShellGlobals.h"
#include "SkypeClient.h"
#include "SkypeCommandSender.h"
#include "SoundMapper.h"
#include "UserStore.h"
#include "WinProfileReader.h"
#include "WinSkypeWire.h"
#include "WinSoundOutput.h"

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
    void SetSkypeApiWindow(void* window) override { g_hSkypeApiWnd = static_cast<HWND>(window); }
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
        while (!done) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            MSG msg;
            // Sent messages are delivered inside PeekMessageA; posted ones are
            // dispatched too, since the loop has ended.
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageA(&msg);
            }
        }
        worker.join();
    }
    void OpenHandsetMixerControls() override { ::OpenHandsetMixerControls(g_hMainWnd); }
    void CloseHandsetMixerControls() override { ::CloseHandsetMixerControls(); }
    void OnMicVolumeControlChange(std::uintptr_t wParam, std::intptr_t lParam) override {
        g_MicVolume.OnControlChange(reinterpret_cast<HMIXER>(wParam), static_cast<DWORD>(lParam));
    }
    void StartSkypeIfMissing(int autoRunSkype) override { ::StartSkypeIfMissing(autoRunSkype); }
    void DiscoverSkypeWindows() override { ::DiscoverSkypeWindows(); }
    std::intptr_t OnTrayNotification(std::uintptr_t iconId, std::intptr_t mouseMessage) override {
        return g_TrayIcon.OnTrayNotification(iconId, mouseMessage);
    }
};

// ---------------------------------------------------------------------------
// HsdFontProcessLib, bound by file name; failures reported with fixed texts.

class CWinFontLibrary : public IShellFontLibrary {
public:
    CHsdFontProcess* Bind() override {
        if (m_module == nullptr) {
            m_module = LoadLibraryA("HsdFontProcessLib.dll");
            if (m_module == nullptr) {
                ReportMessage("Failed to load module - HsdFontProcessLib.dll", "CreateInstance",
                              kReportError);
                return nullptr;
            }
        }
        auto create = reinterpret_cast<PFN_CreateFontProcess>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "CreateComponentInstance")));
        if (create == nullptr) {
            ReportMessage("Failed to Get API - CreateComponentInstance", "CreateInstance",
                          kReportError);
            Free();
            return nullptr;
        }
        CHsdFontProcess* font = nullptr;
        if (create(&font) == 0 || font == nullptr) {
            ReportMessage("Failed to create instance in module - HsdFontProcessLib.dll",
                          "CreateInstance", kReportError);
            Free();
            return nullptr;
        }
        return font;
    }

    void Release(CHsdFontProcess* font) override {
        if (m_module == nullptr) {
            return;
        }
        auto remove = reinterpret_cast<PFN_DeleteFontProcess>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "DeleteComponentInstance")));
        if (remove == nullptr) {
            ReportMessage("Failed to Get API - DeleteComponentInstance", "DeleteInstance",
                          kReportError);
        } else if (remove(&font) == 0) {
            ReportMessage("Failed to delete instance in module - HsdFontProcessLib.DLL",
                          "DeleteInstance", kReportError);
        }
        Free();
    }

private:
    void Free() {
        FreeLibrary(m_module);
        m_module = nullptr;
    }

    HMODULE m_module = nullptr;
};

// ---------------------------------------------------------------------------
// The handset side until the handset object (CHsdHid) is connected here: it
// binds HsdHIDCtrl and forwards presence, reading, reset and commands to the
// HID component, so that arrival and removal work; handset input is not
// decoded. To connect CHsdHid, replace g_Handset by an adapter over it (its
// operations carry the same names) and hand it to the link as its handset.

std::atomic<int> g_bHandsetActive{0};

class CForwardingHandset : public IShellHandset, public ILinkHandset {
public:
    CForwardingHandset() {
        m_module = LoadLibraryA("HsdHIDCtrl.dll");
        if (m_module == nullptr) {
            ReportMessage("Failed to load module - HsdHIDCtrl.dll", "CreateInstance", kReportError);
            return;
        }
        auto create = reinterpret_cast<PFN_CreateHIDCtrl>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "CreateComponentInstance")));
        if (create == nullptr) {
            ReportMessage("Failed to Get API - CreateComponentInstance", "CreateDLLInstance",
                          kReportError);
        } else if (create(&m_hid) == 0) {
            m_hid = nullptr;
            ReportMessage("Failed to create instance in module - HsdHIDCtrl.dll",
                          "CreateDLLInstance", kReportError);
        }
        if (m_hid == nullptr) {
            FreeLibrary(m_module);
            m_module = nullptr;
        }
    }
    ~CForwardingHandset() override {
        if (m_hid != nullptr) {
            m_hid->ResetDevice();
        }
        if (m_module != nullptr) {
            FreeLibrary(m_module);
        }
    }

    // IShellHandset
    void ApplyConfiguration(const ConfigSwitches& switches, int, int) override {
        m_supportARF = switches.supportARF;
        supportAutoRunSkype = switches.supportAutoRunSkype;
        supportAutoSwitchAudioDevice = switches.supportAutoSwitchAudioDevice;
        supportAutoSwitchSystemAudioDevice = switches.supportAutoSwitchSystemAudioDevice;
        m_fontSupport = switches.fontSupport;
    }
    void ConnectStores(CallStore*, UserStore*) override {}
    bool ReopenHandset() override { return m_hid != nullptr && m_hid->ReopenDevice() == 0; }
    bool StartHandset(void* window) override {
        return m_hid != nullptr && m_hid->StartReadThread(window) == 0;
    }
    bool StopHandsetReading() override { return m_hid != nullptr && m_hid->StopReadThread() == 0; }
    bool ResetHandset() override { return m_hid != nullptr && m_hid->ResetDevice() == 0; }
    bool SendHandsetCommand(unsigned char code) override {
        if (m_hid != nullptr) {
            m_hid->SendCommand(code);
        }
        return true;
    }
    bool ClearInput() override {
        Pause(10);
        return true;
    }
    HsdStatus BindFontProcess(CHsdFontProcess* font) override {
        if (m_hid != nullptr) {
            m_hid->SetFontProcess(font);
        }
        return 0;
    }
    HsdStatus ApplySupportedARF() override {
        if (m_hid != nullptr) {
            m_hid->SetSupportedARF(m_supportARF);
        }
        return 0;
    }
    int OnHidInput(std::uint32_t, std::uint32_t) override { return 1; }
    void StopThreads() override {}
    I_HsdHIDCtrl* HidCtrl() override { return m_hid; }
    bool IsHandsetPresent() override { return m_present.load() != 0; }
    void SetHandsetPresent(int value) override { m_present = value; }
    void SetLinkOpen(int value) override { m_linkOpen = value; }
    void SetModeFlags(unsigned int flags) override { m_modeFlags = flags; }
    bool IsTransferBusy() override { return false; }
    int AbortTransferFlag() override { return m_abortTransfer.load(); }
    void SetAbortTransfer(int value) override { m_abortTransfer = value; }
    void ClearHandsetActive() override { g_bHandsetActive = 0; }
    int SupportAutoRunSkype() override { return supportAutoRunSkype.load(); }

    // ILinkHandset (what is not above)
    int HandleKeyEvent(int) override { return 1; }
    void StopTransferAndWait() override {}
    unsigned int GetModeFlags() override { return m_modeFlags.load(); }
    void AddModeFlags(unsigned int bits) override { m_modeFlags |= bits; }
    void SetKeysEnabled(int value) override { m_keysEnabled = value; }
    void StartHandsetLink() override {
        if (g_bHandsetActive.load() != 0) {
            return;
        }
        SendHandsetCommand(0x51);
        Pause(25);
        SendHandsetCommand(0x06);
        m_modeFlags |= 0x0002;
    }
    bool FontSupport() override { return m_fontSupport.load() != 0; }
    int GetProtocolVersion() override { return m_protocolVersion.load(); }
    void SetProtocolVersion(int version) override { m_protocolVersion = version; }

    // Settings the dialogs change while the program runs, and the chosen ring.
    std::atomic<int> supportAutoRunSkype{0};
    std::atomic<int> supportAutoSwitchAudioDevice{0};
    std::atomic<int> supportAutoSwitchSystemAudioDevice{0};
    std::atomic<int> ringIndex{0};

private:
    HMODULE m_module = nullptr;
    I_HsdHIDCtrl* m_hid = nullptr;
    std::atomic<int> m_present{0};
    std::atomic<int> m_linkOpen{0};
    std::atomic<unsigned int> m_modeFlags{0};
    std::atomic<int> m_abortTransfer{0};
    std::atomic<int> m_keysEnabled{1};
    std::atomic<int> m_supportARF{0};
    std::atomic<int> m_fontSupport{1};
    std::atomic<int> m_protocolVersion{0};
};

CForwardingHandset g_Handset;

// ---------------------------------------------------------------------------
// The dialogs of the tray menu, when the program carries them; until then the
// menu's dialog commands open nothing.

#if __has_include("Dialogs.h")

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
    int GetRingIndex() override { return g_Handset.ringIndex.load(); }
    void SetRingIndex(int index) override { g_Handset.ringIndex = index; }
    int GetSetting(Setting setting) override { return Field(setting).load(); }
    void SetSetting(Setting setting, int value) override { Field(setting) = value; }
    void SendHandsetCommand(unsigned char command) override {
        g_Handset.SendHandsetCommand(command);
    }

private:
    static std::atomic<int>& Field(Setting setting) {
        switch (setting) {
            case Setting::AutoSwitchAudioDevice:
                return g_Handset.supportAutoSwitchAudioDevice;
            case Setting::AutoRunSkype:
                return g_Handset.supportAutoRunSkype;
            case Setting::AutoSwitchSystemAudioDevice:
            default:
                return g_Handset.supportAutoSwitchSystemAudioDevice;
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

#else

class CShellDialogs : public IShellDialogs {
public:
    int OpenCount(unsigned int) override { return 0; }
    void Open(unsigned int) override {}
};

#endif

// ---------------------------------------------------------------------------
// The Skype link's ports over the program's objects.

class CLinkCallStore : public ILinkCallStore {
public:
    HsdStatus GetCurrentCallId(int* id) override {
        CallStore* s = g_pCallStore.load();
        return s != nullptr ? s->GetCurrentCallId(id) : E_FAIL;
    }
    HsdStatus GetCurrentCallStatus(int* status) override {
        CallStore* s = g_pCallStore.load();
        return s != nullptr ? s->GetCurrentCallStatus(status) : E_FAIL;
    }
    HsdStatus ResetCurrentCall() override {
        CallStore* s = g_pCallStore.load();
        return s != nullptr ? s->ResetCurrentCall() : E_FAIL;
    }
    HsdStatus ResetSecondCall() override {
        CallStore* s = g_pCallStore.load();
        return s != nullptr ? s->ResetSecondCall() : E_FAIL;
    }
    HsdStatus ResetCallBrowse() override {
        CallStore* s = g_pCallStore.load();
        return s != nullptr ? s->ResetCallBrowse() : E_FAIL;
    }
    HsdStatus ClearCalls() override {
        CallStore* s = g_pCallStore.load();
        return s != nullptr ? s->ClearCalls() : E_FAIL;
    }
    HsdStatus CountMissedCalls(int* count) override {
        CallStore* s = g_pCallStore.load();
        return s != nullptr ? s->CountMissedCalls(count) : E_FAIL;
    }
};

class CLinkUserStore : public ILinkUserStore {
public:
    HsdStatus ClearUsers() override {
        UserStore* s = g_pUserStore.load();
        return s != nullptr ? s->ClearUsers() : E_FAIL;
    }
    HsdStatus ResetUserBrowse() override {
        UserStore* s = g_pUserStore.load();
        return s != nullptr ? s->ResetUserBrowse() : E_FAIL;
    }
};

class CWinLinkAudio : public ILinkAudio {
public:
    std::string GetHandsetDeviceName() override {
        char name[256] = {};
        g_SpeakerVolume.GetDeviceName(name, sizeof name);
        return name;
    }
    void SetPreferredAudioDevices() override { ::SetPreferredAudioDevices(); }
};

class CWinLinkShell : public ILinkShell {
public:
    void ShowTrayState(bool connected, const char* iconPath) override {
        g_TrayIcon.SetIconFromFile(iconPath);
        g_TrayIcon.SetTooltipFromString(connected ? kTrayTipConnected : kTrayTipDisconnected);
    }
    void InsertComboString(void* dialog, int comboId, int index, const char* text) override {
        SendDlgItemMessageA(static_cast<HWND>(dialog), comboId, CB_INSERTSTRING,
                            static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    }
    void SelectComboEntry(void* dialog, int comboId, int index) override {
        SendDlgItemMessageA(static_cast<HWND>(dialog), comboId, CB_SETCURSEL,
                            static_cast<WPARAM>(index), 0);
    }
};

class CLinkCommandSender : public I_SkypeCommandSender {
public:
    HsdStatus SendSkypeCommand(unsigned char code, const char* userHandle, int callId) override {
        I_AccessSkypeAPI* link = g_pSkypeAPI.load();
        return link != nullptr ? link->SendSkypeCommand(code, userHandle, callId) : E_FAIL;
    }
};

CWinShellPlatform g_Platform;
CWinFontLibrary g_FontLibrary;
CShellDialogs g_Dialogs;
CWinSkypeWire g_Wire;
CWinSkypeClientWindows g_ClientWindows;
CLinkCallStore g_LinkCalls;
CLinkUserStore g_LinkUsers;
CWinLinkAudio g_LinkAudio;
CWinLinkShell g_LinkShell;
CWinProfileReader g_Profile;
CLinkCommandSender g_CommandSender;

}  // namespace

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
    ports.calls = &g_LinkCalls;
    ports.users = &g_LinkUsers;
    ports.handset = &g_Handset;
    ports.audio = &g_LinkAudio;
    ports.shell = &g_LinkShell;
    ports.profile = &g_Profile;
    return new CAccessSkypeAPI(ports);
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
