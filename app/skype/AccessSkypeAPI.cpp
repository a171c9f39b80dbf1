#include "AccessSkypeAPI.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <system_error>
#include <utility>

#include "Pause.h"
#include "RingTonePlayer.h"
#include "ThreadLabel.h"
#include "SkypeWindowClasses.h"

namespace {

constexpr unsigned char kAttachedKeyCode = 0x53;
constexpr unsigned char kConfirmationShown = 0x9F;

}  // namespace

CAccessSkypeAPI::CAccessSkypeAPI(const SkypeLinkPorts& ports) : m_ports(ports) {
    try {
        m_inThread = std::thread(&CAccessSkypeAPI::MessageInQueueThreadProc, this);
    } catch (const std::system_error&) {
        m_bMessageInRunning = 0;
        Trace("CreateThead MessageInQueueThreadProc is failed...\n");
    }
    try {
        // Parked until a command is queued.
        m_outThread = std::thread(&CAccessSkypeAPI::MessageOutQueueThreadProc, this);
    } catch (const std::system_error&) {
        m_bMessageOutRunning = 0;
        Trace("CreateThead MessageOutQueueThreadProc is failed...\n");
    }
}

CAccessSkypeAPI::~CAccessSkypeAPI() {
    // No thread or worker starts after this point; the locks order it against
    // the start paths, which test the flag under them.
    m_bStopping = true;
    {
        std::lock_guard<std::mutex> lock(m_csMessageIn);
        m_bMessageInRunning = 0;
    }
    m_messageInArrived.notify_all();
    // Workers first: they may still queue commands while they finish.
    for (;;) {
        std::list<std::unique_ptr<Worker>> workers;
        {
            std::lock_guard<std::mutex> lock(m_csWorkers);
            workers.swap(m_workers);
        }
        if (workers.empty()) {
            break;
        }
        for (auto& worker : workers) {
            worker->thread.join();
        }
    }
    if (m_inThread.joinable()) {
        m_inThread.join();
    }
    {
        // The texts already queued (the release commands) still reach a
        // Skype that answers slowly, within the bound.
        std::unique_lock<std::mutex> lock(m_csMessageOut);
        m_messageOutSent.wait_for(lock, std::chrono::milliseconds(kDrainLimitMs), [this] {
            const bool drained = m_MessageOutQueue.empty() || !m_bSendingCommands;
            return m_bMessageOutRunning == 0 || (drained && !m_bSendInFlight);
        });
        m_bMessageOutRunning = 0;
    }
    m_messageOutArrived.notify_all();
    if (m_outThread.joinable()) {
        m_outThread.join();
    }
    std::lock_guard<std::mutex> inLock(m_csMessageIn);
    std::lock_guard<std::mutex> outLock(m_csMessageOut);
    m_MessageInQueue.clear();
    m_MessageOutQueue.clear();
}

void CAccessSkypeAPI::Trace(const char* format, const char* text) {
    if (m_ports.trace == nullptr) {
        return;
    }
    if (text == nullptr) {
        m_ports.trace->Trace(format);
        return;
    }
    std::string line(format);
    const std::size_t at = line.find("%s");
    if (at != std::string::npos) {
        line.replace(at, 2, text);
    }
    m_ports.trace->Trace(line.c_str());
}

HsdStatus CAccessSkypeAPI::AddToMessageInQueue(const char* text) {
    if (text == nullptr) {
        return E_FAIL;
    }
    std::thread finished;
    {
        std::lock_guard<std::mutex> lock(m_csMessageIn);
        if (m_bStopping) {
            return E_FAIL;
        }
        if (m_bMessageInRunning) {
            m_MessageInQueue.emplace_back(text);
            m_messageInArrived.notify_one();
            return 0;
        }
        // The notification thread has stopped: start a new one on an empty
        // queue, which looks for the confirmation window first, and start
        // over with a fresh discovery.
        m_bMessageInRunning = 1;
        m_bLookForConfirmation = true;
        finished = std::move(m_inThread);
        try {
            m_inThread = std::thread(&CAccessSkypeAPI::MessageInQueueThreadProc, this);
        } catch (const std::system_error&) {
            m_bMessageInRunning = 0;
            Trace("CreateThead MessageInQueueThreadProc is failed...\n");
        }
        m_MessageInQueue.clear();
    }
    if (finished.joinable()) {
        finished.join();
    }
    if (StoresConnected()) {
        m_ports.calls->ResetCurrentCall();
        m_ports.calls->ResetSecondCall();
        m_ports.calls->ResetCallBrowse();
        m_ports.users->ResetUserBrowse();
    }
    StartQueueAPIThread(QAPI_DISCOVER);
    return 0;
}

HsdStatus CAccessSkypeAPI::AddToMessageOutQueue(const char* text) {
    if (text == nullptr) {
        return E_FAIL;
    }
    {
        std::lock_guard<std::mutex> lock(m_csMessageOut);
        // Taken until the command thread stops: workers that finish during
        // destruction still queue their texts for the drain.
        if (m_bMessageOutRunning == 0) {
            return E_FAIL;
        }
        m_MessageOutQueue.emplace_back(text);
        // A new command also sends the texts that a refused send or an empty
        // text left waiting, in their order, before itself.
        m_bSendingCommands = true;
    }
    m_messageOutArrived.notify_one();
    return 0;
}

void CAccessSkypeAPI::MessageOutQueueThreadProc() {
    SetThreadLabel("CAccessSkypeAPI -> ProcessMessageOutQueue");
    for (;;) {
        std::string text;
        {
            std::unique_lock<std::mutex> lock(m_csMessageOut);
            m_messageOutArrived.wait(lock, [this] {
                return m_bMessageOutRunning == 0 ||
                       (m_bSendingCommands && !m_MessageOutQueue.empty());
            });
            if (m_bMessageOutRunning == 0) {
                return;
            }
            text = std::move(m_MessageOutQueue.front());
            m_MessageOutQueue.pop_front();
            if (text.empty()) {
                // The texts behind it wait for the next command.
                m_bSendingCommands = false;
                m_messageOutSent.notify_all();
                continue;
            }
            m_bSendInFlight = true;
        }
        bool sent = false;
        try {
            Trace("PC -> SKYPE: %s\n", text.c_str());
            sent = m_ports.wire->SendCommandText(text.c_str());
            if (!sent) {
                Trace("1. Send command is failed....\n");
            }
        } catch (...) {
            // The text being sent is lost, like a refused one.
        }
        {
            std::lock_guard<std::mutex> lock(m_csMessageOut);
            m_bSendInFlight = false;
            if (!sent) {
                // Skype did not take it: the text is dropped, the rest stay
                // queued until the next command.
                m_bSendingCommands = false;
            }
        }
        m_messageOutSent.notify_all();
    }
}

void CAccessSkypeAPI::ConnectStores(I_CallStore* calls, I_UserStore* users) {
    m_ports.calls = calls;
    m_ports.users = users;
}

bool CAccessSkypeAPI::StoresConnected() const {
    return m_ports.calls != nullptr && m_ports.users != nullptr;
}

void CAccessSkypeAPI::MessageInQueueThreadProc() {
    SetThreadLabel("CAccessSkypeAPI -> ProcessMessageInQueue");
    NotificationState state;
    try {
        while (m_bMessageInRunning) {
            std::string text;
            bool taken = false;
            bool look = false;
            {
                std::unique_lock<std::mutex> lock(m_csMessageIn);
                m_messageInArrived.wait(lock, [this] {
                    return !m_bMessageInRunning || !m_MessageInQueue.empty() ||
                           m_bLookForConfirmation;
                });
                if (!m_MessageInQueue.empty()) {
                    text = std::move(m_MessageInQueue.front());
                    m_MessageInQueue.pop_front();
                    taken = true;
                }
                look = std::exchange(m_bLookForConfirmation, false);
                if (std::exchange(m_bNewConfirmation, false)) {
                    state.confirmationShown = false;
                }
            }
            if (!m_bMessageInRunning) {
                break;
            }
            if (taken && !StoresConnected()) {
                Trace("No stores yet, dropped: %s\n", text.c_str());
                taken = false;
            }
            bool skipWatch = false;
            if (taken) {
                Trace("Message from Skype: %s\n", text.c_str());
                state.currentCallId = 0;
                state.currentCallStatus = -1;
                m_ports.calls->GetCurrentCallId(&state.currentCallId);
                m_ports.calls->GetCurrentCallStatus(&state.currentCallStatus);
                skipWatch = DispatchNotification(text, state);
                ++m_nHandledNotifications;
            }
            if (look || (taken && !skipWatch)) {
                WatchConfirmationWindow(state);
            }
        }
    } catch (...) {
        // The thread ends; the next notification starts a new one (and with it
        // a fresh discovery).
        std::lock_guard<std::mutex> lock(m_csMessageIn);
        m_bMessageInRunning = 0;
    }
}

bool CAccessSkypeAPI::DispatchNotification(const std::string& text, NotificationState& state) {
    const char* notification = text.c_str();
    switch (ClassifyNotification(notification)) {
        case SkypeNotification::Call:
            return HandleCallNotification(notification, state);
        case SkypeNotification::CallHistoryChanged:
            HandleCallHistoryChanged();
            return false;
        case SkypeNotification::Calls:
            HandleCallsReply(notification, state);
            return false;
        case SkypeNotification::Protocol:
            HandleProtocol(notification);
            return false;
        case SkypeNotification::Users:
            m_ports.users->LoadUserList(notification);
            return false;
        case SkypeNotification::User:
            HandleUser(notification);
            return false;
        case SkypeNotification::ConnStatus:
            HandleConnStatus(notification);
            return false;
        case SkypeNotification::Privilege:
            HandlePrivilege(notification);
            return false;
        case SkypeNotification::Profile:
            HandleProfile(notification);
            return false;
        case SkypeNotification::UserStatus:
            HandleUserStatus(notification);
            return false;
        case SkypeNotification::AutoAway:
            // Skype's own idle handling; the handset learns the result through USERSTATUS.
            return false;
        case SkypeNotification::CurrentUserHandle:
            HandleCurrentUserHandle(notification);
            return false;
        case SkypeNotification::Mute:
            HandleMute(notification);
            return false;
        case SkypeNotification::AudioIn:
            HandleAudioDevice(notification, true);
            return false;
        case SkypeNotification::AudioOut:
            HandleAudioDevice(notification, false);
            return false;
        case SkypeNotification::Other:
            // Replies to PING, GET SKYPEVERSION, HOOK ON and the setting commands.
            return false;
    }
    return false;
}

void CAccessSkypeAPI::LookForConfirmationWindow(bool newWindow) {
    {
        std::lock_guard<std::mutex> lock(m_csMessageIn);
        m_bLookForConfirmation = true;
        m_bNewConfirmation = m_bNewConfirmation || newWindow;
    }
    m_messageInArrived.notify_one();
}

void CAccessSkypeAPI::WatchConfirmationWindow(NotificationState& state) {
    if (!m_ports.windows->TopLevelWindowExists(kSkypeConfirmFormClass)) {
        state.confirmationShown = false;
        return;
    }
    if (!state.confirmationShown && state.currentCallId == 0) {
        m_ports.handset->StopTransferAndWait();
        m_ports.handset->SendHandsetCommand(kConfirmationShown);
        state.confirmationShown = true;
    }
}

void CAccessSkypeAPI::StartRingTone() {
    if (m_ports.ringTone != nullptr) {
        m_ports.ringTone->StartRinging();
    }
}

void CAccessSkypeAPI::StopRingTone() {
    if (m_ports.ringTone != nullptr) {
        m_ports.ringTone->StopRinging();
    }
}

HsdStatus CAccessSkypeAPI::StartQueueAPIThread(int request) {
    std::lock_guard<std::mutex> lock(m_csWorkers);
    if (m_bStopping) {
        return E_FAIL;
    }
    ReapFinishedWorkers();
    auto worker = std::make_unique<Worker>();
    Worker* started = worker.get();
    try {
        worker->thread = std::thread([this, started, request] {
            QueueAPIThreadProc(request);
            started->done = true;
        });
    } catch (const std::system_error&) {
        Trace("CreateThead QueueAPIThreadProc is failed...\n");
        return E_FAIL;
    }
    m_workers.push_back(std::move(worker));
    return 0;
}

void CAccessSkypeAPI::ReapFinishedWorkers() {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

void CAccessSkypeAPI::QueueAPIThreadProc(int request) {
    SetThreadLabel("CAccessSkypeAPI -> ProcessQueueAPIMessage");
    try {
        ProcessQueueAPIMessage(request);
    } catch (...) {
        // Ends quietly.
    }
}

void CAccessSkypeAPI::ProcessQueueAPIMessage(int request) {
    switch (request) {
        case QAPI_DISCOVER:
            m_ports.wire->BroadcastDiscover(true);
            break;
        case QAPI_ATTACHED:
            SendSkypeCommand(SKYPE_CMD_PROTOCOL, nullptr, 0);
            SendSkypeCommand(SKYPE_CMD_GET_USERSTATUS, nullptr, 0);
            m_ports.audio->SetPreferredAudioDevices();
            StartQueueAPIThread(QAPI_SET_AUDIO_DEVICES);
            if (StoresConnected()) {
                m_ports.calls->ClearCalls();
                m_ports.users->ClearUsers();
            }
            m_ports.handset->HandleKeyEvent(kAttachedKeyCode);
            SendSkypeCommand(SKYPE_CMD_SEARCH_FRIENDS, nullptr, 0);
            SendSkypeCommand(SKYPE_CMD_SEARCH_CALLS, nullptr, 0);
            // Ordinary handset keys go through from now on.
            m_ports.handset->SetLinkOpen(0);
            m_ports.handset->SetKeysEnabled(1);
            break;
        case QAPI_SET_AUDIO_DEVICES:
            SendSkypeCommand(SKYPE_CMD_SET_AUDIO_IN, nullptr, 0);
            SendSkypeCommand(SKYPE_CMD_SET_AUDIO_OUT, nullptr, 0);
            SendSkypeCommand(SKYPE_CMD_SET_RINGER, nullptr, 0);
            SendSkypeCommand(SKYPE_CMD_GET_AUDIO_IN, nullptr, 0);
            SendSkypeCommand(SKYPE_CMD_GET_AUDIO_OUT, nullptr, 0);
            break;
        case QAPI_RELEASE:
            // Skype gets its default devices back before the link detaches.
            SendSkypeCommand(SKYPE_CMD_RESET_AUDIO_IN, nullptr, 0);
            SendSkypeCommand(SKYPE_CMD_RESET_AUDIO_OUT, nullptr, 0);
            SendSkypeCommand(SKYPE_CMD_RESET_RINGER, nullptr, 0);
            Pause(kReleasePauseMs);
            m_bCallsLoaded = 0;
            m_ports.wire->BroadcastDiscover(false);
            m_ports.wire->ForgetSkypeWindow();
            break;
        default:
            break;
    }
}

HsdStatus CAccessSkypeAPI::LoadConfiguration(const char* programFolder, ConfigSwitches* switches) {
    m_config.Load(*m_ports.profile, programFolder, m_ports.userSettings);
    if (switches != nullptr) {
        *switches = m_config.Switches();
    }
    return 0;
}

HsdStatus CAccessSkypeAPI::GetRegisterDefaults(int* reg04Value, int* reg1CValue) {
    if (reg04Value != nullptr) {
        *reg04Value = m_config.Reg04Value();
    }
    if (reg1CValue != nullptr) {
        *reg1CValue = m_config.Reg1CValue();
    }
    return 0;
}

HsdStatus CAccessSkypeAPI::FillRingList(void* dialog, int comboId) {
    const std::vector<std::string> names = m_config.ReadRingNames(*m_ports.profile);
    for (std::size_t i = 0; i < names.size(); ++i) {
        m_ports.shell->InsertComboString(dialog, comboId, static_cast<int>(i), names[i].c_str());
    }
    m_ports.shell->SelectComboEntry(dialog, comboId, 0);
    return 0;
}

HsdStatus CAccessSkypeAPI::GetWindowName(char* out, std::size_t size) {
    return CopyText(m_config.WindowName(), out, size) ? 0 : E_FAIL;
}

HsdStatus CAccessSkypeAPI::GetFileNoHW(char* out, std::size_t size) {
    return CopyText(m_config.FileNoHW(), out, size) ? 0 : E_FAIL;
}

HsdStatus CAccessSkypeAPI::GetFileNoSkype(char* out, std::size_t size) {
    return CopyText(m_config.FileNoSkype(), out, size) ? 0 : E_FAIL;
}

HsdStatus CAccessSkypeAPI::GetFileActive(char* out, std::size_t size) {
    return CopyText(m_config.FileActive(), out, size) ? 0 : E_FAIL;
}

HsdStatus CAccessSkypeAPI::GetCustomerInfo(char* out, std::size_t size) {
    if (m_config.CustomerInfo().empty()) {
        return E_FAIL;
    }
    return CopyText(m_config.AboutText(), out, size) ? 0 : E_FAIL;
}

HsdStatus CAccessSkypeAPI::GetAudioDeviceNames(char* audioIn, std::size_t audioInSize,
                                               char* audioOut, std::size_t audioOutSize) {
    std::lock_guard<std::mutex> lock(m_csAudioNames);
    CopyText(m_strAudioIn, audioIn, audioInSize);
    CopyText(m_strAudioOut, audioOut, audioOutSize);
    return 0;
}

HsdStatus CAccessSkypeAPI::SetHandsetDisplayMode(int on) {
    m_bHandsetDisplay = on;
    return 0;
}

HsdStatus CAccessSkypeAPI::SetFontProcess(CHsdFontProcess* fontProcess) {
    m_pFontProcess = fontProcess;
    return 0;
}

HsdStatus CAccessSkypeAPI::GetUserStatus(int* status) {
    if (status != nullptr) {
        *status = m_nUserStatus.load();
    }
    return 0;
}

HsdStatus CAccessSkypeAPI::SendUserStatusToHandset(int status) {
    // Status codes 0 to 6 (on line, not on line, SKYPEME, AWAY, NA, DND, INVISIBLE).
    static constexpr unsigned char kStatusCommands[7] = {0x73, 0x74, 0x75, 0x76, 0x77, 0x72, 0x78};
    const unsigned char command = (status >= 0 && status < 7) ? kStatusCommands[status] : 0x74;
    m_ports.handset->SendHandsetCommand(command);
    return 0;
}

HsdStatus CAccessSkypeAPI::UpdateTrayState() {
    constexpr int kNotOnLine = 1;
    if (m_nUserStatus.load() != kNotOnLine && m_ports.handset->IsHandsetPresent()) {
        m_ports.shell->ShowTrayState(true, m_config.FileActive().c_str());
    } else {
        m_ports.shell->ShowTrayState(false, m_config.FileNoANY().c_str());
    }
    return 0;
}
