#include "Shell.h"

#include <utility>

#include "CallStore.h"
#include "ExitStage.h"
#include "HsdFontProcess.h"
#include "I_HsdHIDCtrl.h"
#include "I_AccessSkypeAPI.h"
#include "Pause.h"
#include "SkypeCommandCodes.h"
#include "UserStore.h"

std::atomic<I_AccessSkypeAPI*> g_pSkypeAPI{nullptr};
std::atomic<CallStore*> g_pCallStore{nullptr};
std::atomic<UserStore*> g_pUserStore{nullptr};
CHsdFontProcess* g_pFontProcess = nullptr;
int g_bDeviceCheckPending = 0;

void DeleteSkypeLink() {
    delete g_pSkypeAPI.exchange(nullptr);
}

namespace {

constexpr unsigned int kShutdownPauseMs = 20;
constexpr unsigned int kExitPauseMs = 50;

constexpr std::uintptr_t kPowerSuspend = 4;
constexpr std::uintptr_t kPowerStandby = 5;
constexpr std::uintptr_t kPowerResumeCritical = 6;
constexpr std::uintptr_t kPowerResumeSuspend = 7;
// Since Windows Vista the resume message that always comes, with or without
// user input; 7 follows it only after keyboard or mouse input.
constexpr std::uintptr_t kPowerResumeAutomatic = 18;

}  // namespace

void CShell::Request(int request) {
    I_AccessSkypeAPI* link = g_pSkypeAPI.load();
    if (link == nullptr) {
        return;
    }
    link->StartQueueAPIThread(request);
}

void CShell::UpdateTrayState() {
    if (I_AccessSkypeAPI* link = g_pSkypeAPI.load()) {
        link->UpdateTrayState();
    }
}

void CShell::LoadConfiguration() {
    I_AccessSkypeAPI* link = g_pSkypeAPI.load();
    if (link == nullptr) {
        return;
    }
    int reg04Value = 0;
    int reg1CValue = 0;
    link->LoadConfiguration(m_programFolder.c_str(), &m_switches);
    link->GetRegisterDefaults(&reg04Value, &reg1CValue);
    m_ports.handset->ApplyConfiguration(m_switches, reg04Value, reg1CValue);
}

bool CShell::StartupBinding() {
    IShellHandset& handset = *m_ports.handset;
    I_AccessSkypeAPI* link = g_pSkypeAPI.load();
    CHsdFontProcess* font = m_ports.fontLibrary->Bind();
    if (font == nullptr || link == nullptr) {
        DeleteSkypeLink();
        return false;
    }
    g_pFontProcess = font;
    font->SetHIDCtrlInterface(handset.HidCtrl());
    handset.BindFontProcess(font);
    link->SetFontProcess(font);
    font->SetSupportedARF(m_switches.supportARF);
    handset.ApplySupportedARF();

    if (handset.ReopenHandset()) {
        g_pCallStore = new CallStore();
        // Both stores exist before the handset's threads can run.
        g_pUserStore = new UserStore();
        handset.ConnectStores(g_pCallStore.load(), g_pUserStore.load());
        if (!handset.StartHandset(m_ports.platform->MainWindow())) {
            handset.StopHandsetReading();
            handset.ConnectStores(nullptr, nullptr);
            delete g_pUserStore.exchange(nullptr);
            delete g_pCallStore.exchange(nullptr);
            // The link's threads are stopped before the process ends; the
            // font component is left to process exit.
            DeleteSkypeLink();
            return false;
        }
        m_ports.platform->OpenHandsetMixerControls();
        font->InitialFontTable(m_programFolder.c_str());
        link->UpdateTrayState();
        Request(QAPI_DISCOVER);
        handset.SetHandsetPresent(1);
    } else {
        // Skype is attached only once the handset is there.
        g_pUserStore = new UserStore();
        g_pCallStore = new CallStore();
        handset.ConnectStores(g_pCallStore.load(), g_pUserStore.load());
        handset.SetHandsetPresent(0);
        handset.ClearHandsetActive();
        font->InitialFontTable(m_programFolder.c_str());
        link->UpdateTrayState();
    }
    return true;
}

void CShell::ArmDeviceRecheck() {
    if (g_bDeviceCheckPending != 0) {
        return;
    }
    g_bDeviceCheckPending = 1;
    m_ports.platform->SetDeviceRecheckTimer(kDeviceRecheckMs);
}

void CShell::RecheckHandset() {
    m_ports.platform->KillDeviceRecheckTimer();
    CheckHandset(Check::DeviceChange);
}

void CShell::FollowEndpoints() {
    m_endpointsPending = false;
    IShellPlatform& platform = *m_ports.platform;
    platform.KillEndpointsTimer();
    // At attach Skype was told the names then chosen; the endpoints often
    // come after it.
    if (m_ports.handset->IsHandsetPresent() && platform.FollowHandsetEndpoints() &&
        platform.SkypeApiWindow() != nullptr) {
        Request(QAPI_SET_AUDIO_DEVICES);
    }
}

void CShell::Resume() {
    CheckHandset(Check::Resume);
}

void CShell::CheckHandset(Check kind) {
    IShellHandset& handset = *m_ports.handset;
    IShellPlatform& platform = *m_ports.platform;
    const bool wasPresent = handset.IsHandsetPresent();
    const bool resume = kind == Check::Resume;

    if (!handset.ReopenHandset()) {
        // The handset is gone.
        if (resume) {
            handset.SetLinkOpen(0);
            platform.CloseHandsetMixerControls();
            if (wasPresent) {
                Request(QAPI_RELEASE);
                handset.StopTransferForRemoval();
            }
        } else {
            handset.ClearHandsetActive();
            Request(QAPI_RELEASE);
            handset.SetLinkOpen(0);
            platform.CloseHandsetMixerControls();
            if (wasPresent) {
                handset.StopTransferForRemoval();
            }
        }
        RemovalTail();
        return;
    }
    if (!handset.StartHandset(platform.MainWindow())) {
        // Treated as a removal; the next device change arms a new check.
        if (!resume) {
            handset.ClearHandsetActive();
        }
        handset.SetLinkOpen(0);
        Request(QAPI_RELEASE);
        handset.StopTransferForRemoval();
        RemovalTail();
        return;
    }
    if (wasPresent && !resume) {
        // Another device changed; the handset stayed.
        handset.SetHandsetPresent(1);
        g_bDeviceCheckPending = 0;
        return;
    }
    Arrival(kind);
}

void CShell::Arrival(Check kind) {
    IShellHandset& handset = *m_ports.handset;
    m_ports.platform->OpenHandsetMixerControls();
    CallStore* calls = g_pCallStore.load();
    UserStore* users = g_pUserStore.load();
    if (kind == Check::Resume && calls != nullptr) {
        calls->ResetCurrentCall();
        calls->ResetSecondCall();
    }
    if (users != nullptr) {
        users->ResetUserBrowse();
    }
    if (calls != nullptr) {
        calls->ResetCallBrowse();
    }
    m_ports.platform->StartSkypeIfMissing(handset.SupportAutoRunSkype());
    Request(QAPI_DISCOVER);
    handset.SetLinkOpen(0);
    handset.SetModeFlags(0);
    handset.SetHandsetPresent(1);
    g_bDeviceCheckPending = 0;
}

void CShell::RemovalTail() {
    m_ports.handset->SetHandsetPresent(0);
    UpdateTrayState();
    g_bDeviceCheckPending = 0;
}

void CShell::Suspend() {
    m_resumedAutomatically = false;
    IShellHandset& handset = *m_ports.handset;
    handset.SetHandsetPresent(0);
    handset.SetLinkOpen(0);
    m_ports.platform->CloseHandsetMixerControls();
    m_ports.platform->KillDeviceRecheckTimer();
    handset.ClearInput();
    g_bDeviceCheckPending = 0;
}

void CShell::SwitchHandsetOff() {
    if (std::exchange(m_handsetOff, true)) {
        return;
    }
    SetExitStage("switching the handset off");
    IShellHandset& handset = *m_ports.handset;
    m_ports.platform->StopSounds();
    handset.SendHandsetCommand(static_cast<unsigned char>(kHandsetOffCommand));
    handset.ClearHandsetActive();
    handset.ResetHandset();
    Pause(kShutdownPauseMs);
}

void CShell::ExitRequest() {
    // The handset leaves call mode first: a slow Explorer (the tray) or Skype
    // (the release) must not keep it ringing or lit until the deadline.
    SwitchHandsetOff();
    SetExitStage("releasing Skype and removing the tray icon");
    Request(QAPI_RELEASE);
    m_ports.platform->KillDeviceRecheckTimer();
    m_ports.platform->RemoveTrayIcon();
    Pause(kExitPauseMs);
    m_ports.platform->DestroyMainWindow();
}

void CShell::ExitSignal() {
    SetExitStage("signalling the exit");
    m_ports.platform->SignalExit();
}

void CShell::OnCommand(unsigned int command) {
    if (m_ports.dialogs->OpenCount(command) == 0) {
        m_ports.dialogs->Open(command);
    }
}

bool CShell::OnMessage(unsigned int message, std::uintptr_t wParam, std::intptr_t lParam,
                       const char* copyDataText, std::intptr_t* result) {
    IShellPlatform& platform = *m_ports.platform;
    *result = 0;
    if (m_attachMessage != 0 && message == m_attachMessage) {
        if (lParam == shellmsg::kAttachSuccess) {
            platform.SetSkypeApiWindow(reinterpret_cast<void*>(wParam));
            Request(QAPI_ATTACHED);
            platform.DiscoverSkypeWindows();
            *result = 1;
            return true;
        }
        if (lParam == shellmsg::kApiAvailable) {
            Request(QAPI_DISCOVER);
        }
        // Pending, refused and not available change nothing.
        return false;
    }
    switch (message) {
        case shellmsg::kCopyData: {
            void* sender = reinterpret_cast<void*>(wParam);
            // Only the attached Skype window is heard; before the attach there is none.
            if (sender == nullptr || sender != platform.SkypeApiWindow()) {
                return false;
            }
            if (I_AccessSkypeAPI* link = g_pSkypeAPI.load(); link != nullptr && copyDataText) {
                link->AddToMessageInQueue(copyDataText);
            }
            *result = 1;
            return true;
        }
        case shellmsg::kTimer:
            if (wParam == IDT_ENDPOINTS_SETTLED) {
                FollowEndpoints();
            } else if (wParam == IDT_DEVICE_RECHECK) {
                RecheckHandset();
            } else {
                return false;
            }
            *result = 1;
            return true;
        case shellmsg::kDeviceChange:
            if (wParam != shellmsg::kDevNodesChanged) {
                return false;
            }
            ArmDeviceRecheck();
            *result = 1;
            return true;
        case shellmsg::kPowerBroadcast:
            if (wParam == kPowerSuspend || wParam == kPowerStandby) {
                Suspend();
            } else if (wParam == kPowerResumeAutomatic) {
                m_resumedAutomatically = true;
                Resume();
            } else if (wParam == kPowerResumeCritical || wParam == kPowerResumeSuspend) {
                // After 18 the same wake has been handled: the handset side is
                // rebuilt once.
                if (!std::exchange(m_resumedAutomatically, false)) {
                    Resume();
                }
            }
            return false;
        case shellmsg::kQueryEndSession:
            *result = 1;  // logoff or shutdown may go ahead
            return true;
        case shellmsg::kEndSession:
            if (wParam != 0) {
                EndSession();
            }
            return true;
        case shellmsg::kCommand: {
            const unsigned int command = static_cast<unsigned int>(wParam & 0xFFFF);
            switch (command) {
                case kCmdExit:
                    ExitRequest();
                    break;
                case kCmdAbout:
                case kCmdVolumeControl:
                case kCmdAdvancedSettings:
                case kCmdAudioDeviceSettings:
                    OnCommand(command);
                    break;
                default:
                    return false;
            }
            *result = 1;
            return true;
        }
        case shellmsg::kDestroy:
            ExitSignal();
            return false;
        case shellmsg::kMixerControlChange: {
            int status = CALLSTATUS_NONE;
            if (CallStore* calls = g_pCallStore.load()) {
                calls->GetCurrentCallStatus(&status);
            }
            if (status == CALLSTATUS_INPROGRESS || status == CALLSTATUS_EARLYMEDIA) {
                platform.OnMicVolumeControlChange(wParam, lParam);
            }
            *result = 1;
            return true;
        }
        case WM_HANDSET_INPUT:
            m_ports.handset->OnHidInput(static_cast<std::uint32_t>(wParam),
                                        static_cast<std::uint32_t>(lParam));
            return false;
        case WM_ENDPOINTSCHANGED:
            if (m_ports.handset->IsHandsetPresent() && !std::exchange(m_endpointsPending, true)) {
                platform.SetEndpointsTimer(kEndpointsSettleMs);
            }
            *result = 0;
            return true;
        case WM_TRAYNOTIFY:
            *result = platform.OnTrayNotification(wParam, lParam);
            return true;
        default:
            return false;
    }
}

void CShell::EndSession() {
    // Windows ends the process soon after this message has been answered:
    // what the exit does for Skype and the handset is done and waited for now.
    ExitRequest();
    Shutdown();
}

void CShell::Shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    IShellHandset& handset = *m_ports.handset;
    SwitchHandsetOff();
    m_ports.platform->KillDeviceRecheckTimer();
    SetExitStage("stopping the handset's and the Skype link's threads");
    // The handset's threads and the link's threads use the stores: both are
    // stopped before a store goes. They may be sending to this thread's
    // windows meanwhile, so this thread keeps serving them.
    m_ports.platform->RunServingWindows([&handset] {
        handset.StopThreads();
        DeleteSkypeLink();
    });
    // Released here, once nothing adjusts the volume any more, rather than by
    // static destructors at process exit: the endpoint objects and their
    // notifications belong to the audio service.
    SetExitStage("releasing the handset's sound");
    m_ports.platform->CloseHandsetMixerControls();
    SetExitStage("freeing the stores and the font component");
    delete g_pUserStore.exchange(nullptr);
    delete g_pCallStore.exchange(nullptr);
    if (g_pFontProcess != nullptr) {
        CHsdFontProcess* font = g_pFontProcess;
        g_pFontProcess = nullptr;
        m_ports.fontLibrary->Release(font);
    }
}
