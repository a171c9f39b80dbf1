#include "HsdHid.h"

#include <cstring>
#include <vector>

#include "HsdFontProcess.h"
#include "I_AccessSkypeAPI.h"
#include "I_HsdHIDCtrl.h"
#include "CallStore.h"
#include "Pause.h"
#include "ThreadLabel.h"
#include "UserStore.h"

std::atomic<int> g_bHandsetActive{0};

namespace {

// Input codes the input thread handles itself.
constexpr int kCodeLinkAnswer1 = 0x80;  // MCU_LINK_ANSWER_1
constexpr int kCodeLinkAnswer0 = 0x81;  // MCU_LINK_ANSWER_0
constexpr int kCodeBrowseBack = 0x61;
constexpr int kCodeBrowseForward = 0x62;
constexpr int kCodeListKey = 0x6C;
constexpr int kCodeSend = 0x31;
constexpr int kCodeEnterCallList = 0x6E;
constexpr int kCodeTransferReady = 0x5A;
constexpr int kCodeStopTransfer = 0x1A;

// Acknowledgements, ORed with the event's sequence number.
constexpr unsigned char kAckHandled = 0x50;
constexpr unsigned char kAckKeysDisabled = 0x30;
constexpr unsigned char kAckHandshake = 0x20;

// Handset commands.
constexpr unsigned char kCmdLinkStart = 0x51;
constexpr unsigned char kCmdLinkStartFollow = 0x06;
constexpr unsigned char kCmdShowFontText = 0x3F;
constexpr unsigned char kCmdShowPlainText = 0x3E;
constexpr unsigned char kCmdNoList = 0x1A;

constexpr std::size_t kListTextSize = 510;
constexpr int kNameTries = 15;
constexpr unsigned int kNameTryPauseMs = 6;
// Shown for a list entry that has no name to show.
constexpr char kUnknownName[] = "Unknown User";

}  // namespace

CHsdHid::CHsdHid(IHidLibrary* library) : hidModule(library) {
    if (hidModule != nullptr) {
        hidCtrl = hidModule->Bind();
    }
}

CHsdHid::~CHsdHid() {
    {
        std::lock_guard<std::mutex> guard(lock);
        inputRunning.store(0);
    }
    transferBusy.store(0);
    abortTransfer.store(1);
    // The font component is not told: at static destruction it has already
    // been deleted. A transfer still running stops on abortTransfer.
    inputArrived.notify_all();
    Pause(100);
    // The threads use this object: they must have ended before it goes.
    JoinThreads();
    {
        std::lock_guard<std::mutex> guard(lock);
        inputQueue.clear();
    }
    if (hidCtrl != nullptr) {
        hidCtrl->ResetDevice();
    }
    if (hidModule != nullptr) {
        hidModule->Free();
    }
}

void CHsdHid::Connect(const HandsetPorts& ports) {
    ports_ = ports;
}

void CHsdHid::ApplyConfiguration(const ConfigSwitches& s, int reg04, int reg1C) {
    fontSupport = s.fontSupport;
    supportSky = s.supportSky;
    supportHideWindows = s.supportHideWindows;
    supportAGC = s.supportAGC;
    supportAutoRunSkype = s.supportAutoRunSkype;
    supportAutoSwitchAudioDevice = s.supportAutoSwitchAudioDevice;
    supportAutoSwitchSystemAudioDevice = s.supportAutoSwitchSystemAudioDevice;
    supportFocusAddressBook = s.supportFocusAddressBook;
    supportARF = s.supportARF;
    supportLimitCalls = s.supportLimitCalls;
    reg04Value = reg04;
    reg1CValue = reg1C;
}

bool CHsdHid::ReopenHandset() {
    return hidCtrl != nullptr && hidCtrl->ReopenDevice() == 0;
}

bool CHsdHid::StartHandset(void* notifyWindow) {
    if (hidCtrl == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(threadLock);
        if (!inputThread.joinable()) {
            inputRunning.store(1);
            try {
                inputThread = std::thread(&CHsdHid::HSD_ReadThreadProc, this);
            } catch (...) {
                inputRunning.store(0);
                return false;
            }
        }
    }
    return hidCtrl->StartReadThread(notifyWindow) == 0;
}

bool CHsdHid::StopHandsetReading() {
    return hidCtrl != nullptr && hidCtrl->StopReadThread() == 0;
}

bool CHsdHid::ResetHandset() {
    return hidCtrl != nullptr && hidCtrl->ResetDevice() == 0;
}

bool CHsdHid::SendHandsetCommand(unsigned char code) {
    if (hidCtrl == nullptr) {
        return false;
    }
    hidCtrl->SendCommand(code);
    return true;
}

bool CHsdHid::SendHandsetCommandData(unsigned char command, unsigned char data) {
    return hidCtrl != nullptr && hidCtrl->SendCommandData(command, data) == 0;
}

bool CHsdHid::SetCodecRegister(unsigned char reg, unsigned char value1, unsigned char value2) {
    return hidCtrl != nullptr && hidCtrl->HSD_SetMixerRegControl(reg, value1, value2) == 0;
}

bool CHsdHid::StartTransfer() {
    std::lock_guard<std::mutex> guard(threadLock);
    if (transferBusy.load() != 0) {
        return true;
    }
    // The previous transfer has ended (it clears transferBusy last): collect it.
    if (transferThread.joinable()) {
        transferThread.join();
    }
    // Stop requests left over from an earlier transfer are withdrawn before
    // transferBusy announces this one, so that a stop asked for once it is
    // announced always reaches it.
    abortTransfer.store(0);
    if (CHsdFontProcess* font = fontProcess.load()) {
        font->SetkeepProcess2MCUDataMonitor(0);
    }
    transferBusy.store(1);
    try {
        transferThread = std::thread(&CHsdHid::HSD_Process2MCUData, this);
    } catch (...) {
        transferBusy.store(0);
        return false;
    }
    return true;
}

bool CHsdHid::ClearInput() {
    Pause(10);
    std::lock_guard<std::mutex> guard(lock);
    inputQueue.clear();
    ++inputGeneration;
    return true;
}

void CHsdHid::StartHandsetLink() {
    if (g_bHandsetActive.load() != 0) {
        return;
    }
    acceptAnySequence.store(1);
    SendHandsetCommand(kCmdLinkStart);
    Pause(25);
    SendHandsetCommand(kCmdLinkStartFollow);
    modeFlags.fetch_or(kModeLinkStarted);
}

HsdStatus CHsdHid::BindFontProcess(CHsdFontProcess* font) {
    if (hidCtrl != nullptr) {
        hidCtrl->SetFontProcess(font);
    }
    fontProcess.store(font);
    return 0;
}

HsdStatus CHsdHid::ApplySupportedARF() {
    if (hidCtrl != nullptr) {
        hidCtrl->SetSupportedARF(supportARF.load());
    }
    return 0;
}

void CHsdHid::StopThreads() {
    StopTransferAndWait();
    {
        // Under the input lock, so that the input thread cannot miss it
        // between looking at it and going to sleep.
        std::lock_guard<std::mutex> guard(lock);
        inputRunning.store(0);
    }
    inputArrived.notify_all();
    JoinThreads();
}

void CHsdHid::JoinThreads() {
    // The input thread may start a transfer until it ends, so it is joined
    // first; neither is joined under threadLock, which StartTransfer takes.
    std::thread input;
    {
        std::lock_guard<std::mutex> guard(threadLock);
        input = std::move(inputThread);
    }
    if (input.joinable()) {
        input.join();
    }
    std::thread transfer;
    {
        std::lock_guard<std::mutex> guard(threadLock);
        transfer = std::move(transferThread);
    }
    if (transfer.joinable()) {
        transfer.join();
    }
}

std::size_t CHsdHid::QueuedInput() {
    std::lock_guard<std::mutex> guard(lock);
    return inputQueue.size();
}

int CHsdHid::OnHidInput(std::uint32_t wParam, std::uint32_t lParam) {
    if (lParam == kShortReportParam) {
        return 1;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        inputQueue.push_back(wParam);
    }
    inputArrived.notify_one();
    return 1;
}

void CHsdHid::HSD_ReadThreadProc() {
    SetThreadLabel("CHsdHid -> HSD_ReadThreadProc");
    try {
        int expectedSequence = 1;
        std::vector<char> listText(kListTextSize, 0);
        while (inputRunning.load() != 0) {
            std::uint32_t word = 0;
            std::uint64_t generation = 0;
            {
                std::unique_lock<std::mutex> guard(lock);
                // Asleep until a word arrives or the thread is told to stop.
                inputArrived.wait(
                    guard, [this] { return !inputQueue.empty() || inputRunning.load() == 0; });
                if (inputQueue.empty()) {
                    continue;
                }
                word = inputQueue.front();
                generation = inputGeneration;
            }
            const int code = static_cast<int>((word >> 8) & 0xFF);
            const int sequence = static_cast<int>(word & 0xFF);
            if ((code == kCodeSend || code == kCodeEnterCallList) &&
                (modeFlags.load() & (kModeContactList | kModeCallList)) != 0) {
                acceptAnySequence.store(1);
            }
            // This word takes the flag; a link start that sets it again while
            // the word is handled leaves it for the next word.
            const bool anySequence = acceptAnySequence.exchange(0) != 0;
            if (sequence == expectedSequence || anySequence) {
                expectedSequence = (sequence + 1) % 4;
                HandleInputWord(word, sequence, listText.data());
            } else if (sequence >= 4 && sequence <= 7) {
                HandleTransferHandshake(code, sequence);
            }
            {
                // When ClearInput has emptied the queue meanwhile, this word is
                // gone already and the head is a newer one, which stays.
                std::lock_guard<std::mutex> guard(lock);
                if (generation == inputGeneration && !inputQueue.empty()) {
                    inputQueue.pop_front();
                }
            }
        }
        Pause(10);
    } catch (...) {
        // An unexpected failure ends the thread quietly.
    }
}

void CHsdHid::HandleInputWord(std::uint32_t word, int lastSequence, char* listText) {
    const int code = static_cast<int>((word >> 8) & 0xFF);
    switch (code) {
        case 0x01:
        case 0x02:
        case 0x42:
        case 0x43:
        case kCodeTransferReady:
            return;
        case kCodeLinkAnswer1:
        case kCodeLinkAnswer0:
            HandleLinkAnswer(code);
            return;
        case kCodeBrowseBack:
            HandleBrowse(1, lastSequence, listText);
            return;
        case kCodeBrowseForward:
            HandleBrowse(0, lastSequence, listText);
            return;
        case kCodeListKey:
            HandleListKey(lastSequence, listText);
            return;
        default:
            break;
    }
    unsigned char answer = 0;
    if (keysEnabled.load() == 0) {
        answer = static_cast<unsigned char>(lastSequence | kAckKeysDisabled);
    } else {
        const unsigned char bytes[4] = {
            static_cast<unsigned char>(word >> 24), static_cast<unsigned char>(word >> 16),
            static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
        HandleHandsetKey(bytes);
        answer = static_cast<unsigned char>(lastSequence | kAckHandled);
    }
    if (code != kCodeStopTransfer) {
        SendHandsetCommand(answer);
    }
}

void CHsdHid::Trace(const char* line) {
    if (ports_.trace != nullptr) {
        ports_.trace(1, line);
    }
}

void CHsdHid::HandleLinkAnswer(int code) {
    Trace(code == kCodeLinkAnswer1 ? "link answered (display mode 1)"
                                   : "link answered (display mode 0)");
    g_bHandsetActive.store(1);
    modeFlags.fetch_and(~kModeLinkStarted);
    Pause(20);
    // A failed codec write changes nothing in the rest of the answer.
    SetCodecRegister(0x0E, 0x80, supportAGC.load() != 0 ? 0x48 : 0x08);
    Pause(10);
    if (ports_.faders != nullptr) {
        ports_.faders->SetSpeakerFader(2, static_cast<unsigned int>(reg04Value.load()));
        ports_.faders->SetMicFader(2, static_cast<unsigned int>(reg1CValue.load()));
    }
    displayMode.store(code == kCodeLinkAnswer1 ? 1 : 0);
    if (ports_.skype != nullptr) {
        ports_.skype->SetHandsetDisplayMode(displayMode.load());
        ports_.skype->UpdateTrayState();
        ports_.skype->ShowMissedCalls(1);
    }
}

void CHsdHid::AskCallDetails(int callId) {
    if (ports_.skype == nullptr) {
        return;
    }
    ports_.skype->SendSkypeCommand(17, "", callId);
    if (fontSupport.load() != 0) {
        ports_.skype->SendSkypeCommand(9, "", callId);
    }
    ports_.skype->SendSkypeCommand(8, "", callId);
    ports_.skype->SendSkypeCommand(13, "", callId);
}

void CHsdHid::ConvertShownContact(char* text) {
    ports_.users->GetShownUserDisplayName(text);
    if (text[0] == '\0') {
        // A contact without a display name goes by its handle.
        const char* handle = nullptr;
        if (ports_.users->GetShownUserHandle(&handle) == 0 && handle != nullptr) {
            CopyText(handle, text, kTextBufferSize);
        }
    }
    if (text[0] == '\0') {
        // No contact has been shown yet.
        std::strcpy(text, kUnknownName);
    }
    // Every contact gets a text of its own: a failed conversion would leave
    // the previous entry's stream to be sent under this contact's marker.
    if (CHsdFontProcess* font = fontProcess.load()) {
        font->UTF_8ToUnicodeToFontCode(text);
    }
}

void CHsdHid::HandleBrowse(int direction, int lastSequence, char* listText) {
    const unsigned int flags = modeFlags.load();
    if ((flags & kModeContactList) != 0) {
        if (ports_.users != nullptr) {
            std::memset(listText, 0, kListTextSize);
            ports_.users->BrowseUsers(direction, 1);
            ConvertShownContact(listText);
        }
    } else if ((flags & kModeCallList) != 0 && ports_.calls != nullptr) {
        int id = 0;
        if (ports_.calls->BrowseCalls(direction, 1, &id) == 0) {
            int loaded = 0;
            ports_.calls->GetCallDetailsLoaded(id, &loaded);
            if (loaded != 0) {
                ports_.calls->RefreshShownCall(id);
            } else {
                ports_.calls->ClearShownCall();
                AskCallDetails(id);
            }
        }
    }
    SendHandsetCommand(static_cast<unsigned char>(lastSequence | kAckHandled));
}

void CHsdHid::HandleListKey(int lastSequence, char* listText) {
    const unsigned int flags = modeFlags.load();
    SendHandsetCommand(static_cast<unsigned char>(lastSequence | kAckHandled));
    if ((flags & kModeContactList) != 0) {
        int count = 0;
        if (ports_.users != nullptr && ports_.users->GetUserCount(&count) == 0 && count > 0) {
            StartListTransfer();
        }
        return;
    }
    if ((flags & kModeCallList) == 0 || ports_.calls == nullptr) {
        SendHandsetCommand(kCmdNoList);
        return;
    }
    int count = 0;
    ports_.calls->GetCallCount(&count);
    std::memset(listText, 0, kListTextSize);
    if (count > 0 && ports_.calls->HasBrowsePosition() == 0) {
        bool found = false;
        for (int attempt = 0; attempt < kNameTries && !found; ++attempt) {
            Pause(kNameTryPauseMs);
            found = ports_.calls->GetShownDisplayName(listText) == 0;
        }
        if (!found) {
            std::memset(listText, 0, kListTextSize);
            std::strcpy(listText, kUnknownName);
        }
    } else if (count > 0) {
        ports_.calls->ClearShownCall();
        int type = CALLTYPE_NONE;
        int status = CALLSTATUS_NONE;
        ports_.calls->GetShownType(&type);
        ports_.calls->GetShownStatus(&status);
        const bool missedList = (type == CALLTYPE_INCOMING_P2P || type == CALLTYPE_INCOMING_PSTN) &&
                                status == CALLSTATUS_MISSED;
        std::strcpy(listText, missedList ? "No Missed Calls" : "No Calls");
    } else {
        ports_.calls->ClearShownCall();
        std::strcpy(listText, "No calling data.");
    }
    if (CHsdFontProcess* font = fontProcess.load()) {
        font->UTF_8ToUnicodeToFontCode(listText);
    }
    StartListTransfer();
}

void CHsdHid::StartListTransfer() {
    if (fontSupport.load() != 0) {
        modeFlags.fetch_or(kModeFontCodes);
        SendHandsetCommand(kCmdShowFontText);
    } else {
        modeFlags.fetch_or(kModePlainText);
        SendHandsetCommand(kCmdShowPlainText);
    }
}

void CHsdHid::HandleTransferHandshake(int code, int sequence) {
    const unsigned int flags = modeFlags.load();
    if ((flags & (kModeFontCodes | kModePlainText)) != 0) {
        if (code == kCodeTransferReady) {
            if (transferBusy.load() == 0) {
                StartTransfer();
            }
        } else {
            SendHandsetCommand(static_cast<unsigned char>(sequence | kAckHandshake));
        }
    } else if ((flags & kModeCallTimer) != 0) {
        if (transferBusy.load() == 0) {
            StartTransfer();
        }
    }
}
