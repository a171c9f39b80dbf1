// What each handset key does: the key events sent to Skype and the keypad
// handler that plays key tones and runs the handset's list views.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "CallStore.h"
#include "HsdFontProcess.h"
#include "HsdHid.h"
#include "I_AccessSkypeAPI.h"
#include "Pause.h"
#include "RingTonePlayer.h"
#include "SkypeWindowClasses.h"
#include "UserStore.h"

namespace {

constexpr std::size_t kCommandSize = 255;
constexpr std::size_t kShownHandleLimit = 30;

// Hang-up table statuses.
bool In(int value, std::initializer_list<int> set) {
    for (int v : set) {
        if (v == value) {
            return true;
        }
    }
    return false;
}

void Format(char* out, const char* format, int id) {
    std::snprintf(out, kCommandSize, format, id);
}

// The status keys 0x72..0x78, in order.
constexpr const char* kUserStatusTexts[] = {"SET USERSTATUS DND",      "SET USERSTATUS ONLINE",
                                            "SET USERSTATUS OFFLINE",  "SET USERSTATUS SKYPEME",
                                            "SET USERSTATUS AWAY",     "SET USERSTATUS NA",
                                            "SET USERSTATUS INVISIBLE"};

// The digit keys 0xB0..0xBB: the character in their two texts.
constexpr char kDigitKeys[] = "0123456789*#";

// Key tones of the keypad, by file name.
constexpr char kPoundTone[] = "pound.wav";
constexpr char kStarTone[] = "star.wav";

}  // namespace

int CHsdHid::SendToSkype(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        return 0;
    }
    if (ports_.wire != nullptr && ports_.wire->SendCommandText(text)) {
        return 1;
    }
    // Skype's window did not take it: look for Skype again; the key is lost.
    if (ports_.skype != nullptr) {
        ports_.skype->StartQueueAPIThread(1);
    }
    return 0;
}

void CHsdHid::AbortFontTransfer() {
    abortTransfer.store(1);
    if (CHsdFontProcess* font = fontProcess.load()) {
        font->SetkeepProcess2MCUDataMonitor(1);
    }
}

void CHsdHid::StopTransferAndWait() {
    StopTransfer(20);
}

void CHsdHid::StopTransferForRemoval() {
    StopTransfer(10);
}

void CHsdHid::StopTransfer(unsigned int settleMs) {
    if (transferBusy.load() != 0) {
        abortTransfer.store(1);
        modeFlags.store(0);
        if (CHsdFontProcess* font = fontProcess.load()) {
            font->SetkeepProcess2MCUDataMonitor(1);
        }
        Pause(settleMs);
    }
    // The transfer thread clears abortTransfer when it stops. Without a running
    // transfer nobody would, and a transfer stuck on a vanished device must not
    // hold the caller for ever: both end the wait.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitLimitMs);
    while (abortTransfer.load() != 0) {
        if (transferBusy.load() == 0 || std::chrono::steady_clock::now() >= deadline) {
            if (transferBusy.load() != 0) {
                Trace("an LCD transfer did not stop in time; going on without it");
            }
            abortTransfer.store(0);
            break;
        }
        Pause(3);
    }
}

void CHsdHid::LeaveListMode() {
    if (ports_.users != nullptr) {
        ports_.users->ResetUserBrowse();
    }
    if (ports_.calls != nullptr) {
        ports_.calls->ResetCallBrowse();
    }
    modeFlags.store(0);
}

void CHsdHid::ClickSkypeBgGridIfTab2() {
    if (ports_.windows == nullptr) {
        return;
    }
    if (ports_.windows->GetSelectedSkypeTab() == 2 && ports_.windows->IsSkypeBgGridVisible()) {
        ports_.windows->ClickSkypeBgGrid(44, 14);
    }
}

int CHsdHid::HandleKeyEvent(int code) {
    int callId = 0;
    int callStatus = CALLSTATUS_NONE;
    int secondId = 0;
    int secondStatus = CALLSTATUS_NONE;
    if (ports_.calls != nullptr) {
        ports_.calls->GetCurrentCallId(&callId);
        ports_.calls->GetCurrentCallStatus(&callStatus);
        ports_.calls->GetSecondCallId(&secondId);
        ports_.calls->GetSecondCallStatus(&secondStatus);
    }
    char command[kCommandSize + 1] = {};

    switch (code) {
        case 0x1A:
            if (transferBusy.load() != 0) {
                AbortFontTransfer();
            }
            return 1;
        case 0x1F: {
            Trace("hook up");
            StopTransferAndWait();
            int result = 1;
            if (callId != 0) {
                Format(command, "SET CALL %5d STATUS INPROGRESS", callId);
                result = SendToSkype(command);
            } else if (secondId != 0) {
                result = SendToSkype("HOOK OFF");
            }
            LeaveListMode();
            return result;
        }
        case 0x20:
            Trace("hook down");
            return HangUpKey(callId, callStatus, secondId, secondStatus);
        case 0x23:
            if (callId == 0) {
                return 1;
            }
            if (callStatus == CALLSTATUS_INPROGRESS) {
                Format(command, "SET CALL %5d STATUS ONHOLD", callId);
            } else if (callStatus == CALLSTATUS_LOCALHOLD) {
                Format(command, "SET CALL %5d STATUS INPROGRESS", callId);
            }
            return SendToSkype(command);
        case 0x2E:
            return SendToSkype("SET MUTE OFF");
        case 0x2F:
            return SendToSkype("SET MUTE ON");
        case 0x31:
            return AnswerKey(callId, callStatus, secondId, secondStatus);
        case 0x40: {
            Pause(30);
            const int result = SendToSkype("BTN_RELEASED NO");
            modeFlags.fetch_and(~(kModeContactList | kModeCallList));
            LeaveListMode();
            return result;
        }
        case 0x41:
            if (ports_.windows != nullptr) {
                ports_.windows->TypeBackspace();
            }
            return 1;
        case 0x53:
            return SendToSkype("FOCUS");
        case 0xBC:
        case 0xBD:
            if (supportFocusAddressBook.load() != 0 && ports_.windows != nullptr &&
                ports_.windows->GetSelectedSkypeTab() > 0) {
                ports_.windows->ClickSkypeTabs(56, 11);
            }
            return SendToSkype(code == 0xBC ? "BTN_RELEASED UP" : "BTN_RELEASED DOWN");
        case 0xBE:
            return SendToSkype("BTN_RELEASED +");
        case 0xBF: {
            if (ports_.windows != nullptr) {
                ports_.windows->RediscoverSkypeWindows();
            }
            const int result = SendToSkype("BTN_RELEASED SKYPE");
            if (result != 0) {
                ClickSkypeBgGridIfTab2();
            }
            return result;
        }
        default:
            break;
    }
    if (code >= 0x72 && code <= 0x78) {
        return SendToSkype(kUserStatusTexts[code - 0x72]);
    }
    if (code >= 0xB0 && code <= 0xBB) {
        const char key = kDigitKeys[code - 0xB0];
        char released[kCommandSize + 1] = {};
        std::snprintf(released, kCommandSize, "BTN_RELEASED %c", key);
        if (callId != 0 &&
            (callStatus == CALLSTATUS_INPROGRESS || callStatus == CALLSTATUS_EARLYMEDIA)) {
            std::snprintf(command, kCommandSize, "SET CALL %d DTMF %c", callId, key);
            const int result = SendToSkype(command);
            if (ports_.skype != nullptr) {
                ports_.skype->AddToMessageOutQueue(released);
            }
            return result;
        }
        return SendToSkype(released);
    }
    // 0x24, 0x42, 0x43, 0xC0, 0xE9, 0xEA and unknown codes: nothing.
    return 1;
}

int CHsdHid::AnswerKey(int callId, int callStatus, int secondId, int secondStatus) {
    char command[kCommandSize + 1] = {};
    const unsigned int flags = modeFlags.load();
    if ((flags & kModeContactList) != 0) {
        const char* handle = nullptr;
        if (ports_.users != nullptr && ports_.users->GetShownUserHandle(&handle) == 0 &&
            handle != nullptr) {
            CopyText(std::string("CALL ") + handle, command, kCommandSize);
        }
    } else if ((flags & kModeCallList) != 0) {
        char handle[kTextBufferSize] = {};
        if (ports_.calls != nullptr) {
            ports_.calls->GetShownHandle(handle);
        }
        handle[kShownHandleLimit] = '\0';
        if (handle[0] == '\0') {
            return 0;
        }
        CopyText(std::string("CALL ") + handle, command, kCommandSize);
    } else if (callId == 0) {
        std::strcpy(command, "BTN_RELEASED YES");
    } else if (callStatus == CALLSTATUS_NEW || callStatus == CALLSTATUS_RINGING_OUT) {
        return 0;
    } else if (callStatus == CALLSTATUS_LOCALHOLD) {
        Format(command, "SET CALL %5d STATUS INPROGRESS", callId);
    } else if (callStatus == CALLSTATUS_INPROGRESS &&
               (secondStatus == CALLSTATUS_RINGING_IN || secondStatus == CALLSTATUS_EARLYMEDIA)) {
        // Hold the call in progress, then take the waiting one.
        HandleKeyEvent(0x23);
        Format(command, "SET CALL %5d STATUS INPROGRESS", secondId);
    } else {
        std::strcpy(command, "BTN_RELEASED YES");
    }
    const int result = SendToSkype(command);
    if (command[0] != '\0') {
        LeaveListMode();
    }
    return result;
}

int CHsdHid::HangUpKey(int A, int S, int B, int T) {
    StopTransferAndWait();
    if (ports_.windows != nullptr) {
        if (ports_.windows->ActivateAndClose(kSkypeConfirmFormClass) ||
            ports_.windows->ActivateAndClose(kSkypeSerFormClass)) {
            HandleKeyEvent(0x40);
            ClickSkypeBgGridIfTab2();
            return 1;
        }
    }
    if (transferBusy.load() != 0) {
        AbortFontTransfer();
        Pause(10);
    }
    char command[kCommandSize + 1] = {};
    bool closeSkype = false;
    auto finished = [&](int id) { Format(command, "SET CALL %5d STATUS FINISHED", id); };
    auto released = [&]() { std::strcpy(command, "BTN_RELEASED NO"); };
    auto hookOn = [&]() { std::strcpy(command, "HOOK ON"); };

    if (In(S, {0, 1, 2, 23})) {
        if (In(T, {0, 1, 2, 17, 18, 19, 21, 22, 23})) {
            finished(B);
        } else {
            released();
        }
    } else if (In(S, {17, 18, 19, 21})) {
        if (A == 0) {
            released();
        } else if (In(T, {1, 2, 17, 18, 19, 21, 22, 23})) {
            finished(B);
        } else {
            finished(A);
            closeSkype = true;
        }
        if (A == 0 && !In(T, {1, 2, 17, 18, 19, 21, 22, 23})) {
            closeSkype = true;
        }
    } else if (S == 22) {
        if (In(T, {1, 2, 17, 18, 19, 21, 22})) {
            if (A == 0) {
                released();
            } else {
                finished(B);
            }
        } else {
            hookOn();
            closeSkype = true;
        }
    } else if (S == 15 && T == 3) {
        hookOn();
    } else if (S == 3) {
        if (In(T, {1, 2, 23})) {
            finished(A);
        } else {
            hookOn();
        }
        closeSkype = true;
    } else if (B != 0) {
        hookOn();
    } else if (A == 0) {
        released();
        closeSkype = true;
    } else {
        finished(A);
        closeSkype = true;
    }

    const int result = SendToSkype(command);
    if (closeSkype && supportHideWindows.load() != 0 && ports_.windows != nullptr) {
        ports_.windows->PostClose(kSkypeMainFormClass);
    }
    modeFlags.fetch_and(~(kModeContactList | kModeCallList));
    LeaveListMode();
    return result;
}

void CHsdHid::PlayKeyTone(const char* file, bool always, int callStatus) {
    if (ports_.sound == nullptr) {
        return;
    }
    if (!always && (callStatus == CALLSTATUS_INPROGRESS || callStatus == CALLSTATUS_EARLYMEDIA)) {
        return;
    }
    ports_.sound->PlayWave(file, kSoundFileName | kSoundAsync);
}

void CHsdHid::StopSound() {
    if (ports_.ringTone != nullptr) {
        ports_.ringTone->StopRinging();
    } else if (ports_.sound != nullptr) {
        ports_.sound->PlayWave(nullptr, kSoundPurge);
    }
}

int CHsdHid::HandleHandsetKey(const unsigned char bytes[4]) {
    const int code = bytes[2];
    int status = CALLSTATUS_NONE;
    if (ports_.calls != nullptr) {
        ports_.calls->GetCurrentCallStatus(&status);
    }
    switch (code) {
        case 0x1A:
            HandleKeyEvent(0x1A);
            break;
        case 0x1F:
        case 0x20:
            PlayKeyTone(kPoundTone, false, status);
            StopSound();
            HandleKeyEvent(code);
            break;
        case 0x21:
            if (ports_.skype != nullptr) {
                int userStatus = 0;
                ports_.skype->GetUserStatus(&userStatus);
                ports_.skype->SendUserStatusToHandset(userStatus);
            }
            break;
        case 0x23:
        case 0x53:
            HandleKeyEvent(code);
            break;
        case 0x2B:
            PlayKeyTone(kPoundTone, false, status);
            ShowBalance();
            break;
        case 0x2D:
            if (ports_.ringTone != nullptr) {
                ports_.ringTone->SelectNextRingTone();
            }
            break;
        case 0x2E:
        case 0x2F:
            PlayKeyTone(kPoundTone, true, status);
            HandleKeyEvent(code);
            break;
        case 0x31:
            PlayKeyTone(kPoundTone, false, status);
            HandleKeyEvent(0x31);
            break;
        case 0x40:
            PlayKeyTone(kPoundTone, false, status);
            HandleKeyEvent(0x40);
            ClickSkypeBgGridIfTab2();
            break;
        case 0x41:
            PlayKeyTone(kPoundTone, false, status);
            HandleKeyEvent(0x53);
            HandleKeyEvent(0x41);
            break;
        case 0x54:
            if (ports_.windows != nullptr) {
                ports_.windows->PostClose(kSkypeMainFormClass);
            }
            break;
        case 0x60:
            if (ports_.users != nullptr) {
                ports_.users->ResetUserBrowse();
            }
            modeFlags.fetch_or(kModeContactList);
            SendHandsetCommandData(0x00, 0x4F);
            break;
        case 0x6A:
        case 0x6B:
            PlayKeyTone(kPoundTone, false, status);
            ChooseListView(code == 0x6A ? 0 : 1);
            break;
        case 0x6D:
            PlayKeyTone(kPoundTone, false, status);
            ShowMissedCallsView();
            break;
        case 0x6E:
            if (ports_.calls != nullptr) {
                ports_.calls->ResetCallBrowse();
            }
            modeFlags.store(kModeCallList);
            SendHandsetCommandData(0x00, 0x4F);
            break;
        case 0x6F:
            PlayKeyTone(kPoundTone, false, status);
            LeaveListMode();
            break;
        case 0xBF:
            PlayKeyTone(kPoundTone, false, status);
            HandleKeyEvent(0xBF);
            break;
        case 0xDF:
            PlayKeyTone(kPoundTone, false, status);
            break;
        case 0xE9:
        case 0xEA:
            PlayKeyTone(kPoundTone, true, status);
            if (ports_.faders != nullptr) {
                ports_.faders->SetSpeakerFader(code == 0xE9 ? 0 : 1, 0);
            }
            break;
        default:
            if (code >= 0x72 && code <= 0x78) {
                HandleKeyEvent(code);
            } else if (code >= 0xB0 && code <= 0xBE) {
                char tone[16] = {};
                if (code <= 0xB9) {
                    std::snprintf(tone, sizeof(tone), "%d.wav", code - 0xB0);
                } else {
                    std::strcpy(tone, code == 0xBA ? kStarTone : kPoundTone);
                }
                PlayKeyTone(tone, false, status);
                HandleKeyEvent(0x53);
                HandleKeyEvent(code);
            }
            break;
    }
    return 1;
}

void CHsdHid::ChooseListView(int view) {
    const unsigned int flags = modeFlags.load();
    if ((flags & kModeContactList) != 0) {
        if (ports_.users == nullptr) {
            return;
        }
        char buffer[kTextBufferSize] = {};
        ports_.users->SetShowAllUsers(view);
        ports_.users->BrowseUsers(0, 0);
        ConvertShownContact(buffer);
    } else if ((flags & kModeCallList) != 0) {
        if (ports_.calls == nullptr) {
            return;
        }
        ports_.calls->SetListMode(view);
        int id = 0;
        if (ports_.calls->BrowseCalls(0, 0, &id) == 0) {
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
}

void CHsdHid::ShowMissedCallsView() {
    if (ports_.calls == nullptr) {
        return;
    }
    ports_.calls->SetListMode(CALLLIST_MISSED);
    int id = 0;
    if (ports_.calls->BrowseCalls(0, 0, &id) == 0) {
        ports_.calls->ClearShownCall();
        AskCallDetails(id);
    }
}

namespace {

std::int32_t ReadBalance(I_UserStore* users) {
    int balance = 0;
    if (users != nullptr) {
        users->GetBalance(&balance);
    }
    return balance;
}

}  // namespace

void CHsdHid::ShowBalance() {
    const std::int32_t balance = ReadBalance(ports_.users);
    if (displayMode.load() != 1) {
        return;
    }
    modeFlags.fetch_or(kModeFontCodes | kModeNotice);
    if (CHsdFontProcess* font = fontProcess.load()) {
        font->BalanceToFontCode(balance);
    }
    Pause(20);
    SendHandsetCommand(0x3F);
}
