// Call notifications and the call state machine: CALL, CALLS and
// CALLHISTORYCHANGED. Everything here runs on the notification thread, one
// notification at a time; decisions use the current call as it was read
// before the notification.
#include <cstdio>
#include <cstring>
#include <vector>

#include "AccessSkypeAPI.h"
#include "CallStore.h"
#include "HsdFontProcess.h"
#include "ModeFlags.h"
#include "NotificationText.h"
#include "Pause.h"
#include "SkypeWindowClasses.h"

namespace {

// Word buffers: the call id, the property and the value.
constexpr std::size_t kIdWordSize = 1024;
constexpr std::size_t kPropertyWordSize = 512;
constexpr std::size_t kValueWordSize = 256;

// Handset commands.
constexpr unsigned char kHandsetIncomingRing = 0x1A;
constexpr unsigned char kHandsetRing = 0x9E;
constexpr unsigned char kHandsetRouting = 0x98;
constexpr unsigned char kHandsetCallFailed = 0x9F;
constexpr unsigned char kHandsetAnswered = 0x1F;
constexpr unsigned char kHandsetCallEnded = 0x20;
constexpr unsigned char kHandsetShowPlainText = 0x3E;
constexpr unsigned char kHandsetShowFontText = 0x3F;

constexpr unsigned int kRingRestartPauseMs = 10;

// The status words a call reports when it ends without being answered.
int FailureCode(const char* word) {
    if (std::strcmp(word, "FAILED") == 0) {
        return CALLSTATUS_FAILED;
    }
    if (std::strcmp(word, "MISSED") == 0) {
        return CALLSTATUS_MISSED;
    }
    if (std::strcmp(word, "REFUSED") == 0) {
        return CALLSTATUS_REFUSED;
    }
    if (std::strcmp(word, "CANCELLED") == 0) {
        return CALLSTATUS_CANCELLED;
    }
    if (std::strcmp(word, "BUSY") == 0) {
        return CALLSTATUS_BUSY;
    }
    return CALLSTATUS_NONE;
}

bool IsFailure(int status) {
    return status == CALLSTATUS_FAILED || status == CALLSTATUS_MISSED ||
           status == CALLSTATUS_REFUSED || status == CALLSTATUS_CANCELLED ||
           status == CALLSTATUS_BUSY;
}

bool IsCompleted(int status) {
    return status == CALLSTATUS_FINISHED || status == CALLSTATUS_VM_CANCELLED ||
           status == CALLSTATUS_VM_SENT;
}

// A call that has ended and waits only for its TIMESTAMP reply to be committed.
bool IsEnded(int status) {
    return IsFailure(status) || IsCompleted(status);
}

// A call being set up: its caller text is still worth showing.
bool IsRinging(int status) {
    return status == CALLSTATUS_RINGING_IN || status == CALLSTATUS_RINGING_OUT ||
           status == CALLSTATUS_EARLYMEDIA;
}

int CallTypeFromWord(const char* word) {
    if (std::strcmp(word, "INCOMING_P2P") == 0) {
        return CALLTYPE_INCOMING_P2P;
    }
    if (std::strcmp(word, "OUTGOING_P2P") == 0) {
        return CALLTYPE_OUTGOING_P2P;
    }
    if (std::strcmp(word, "INCOMING_PSTN") == 0) {
        return CALLTYPE_INCOMING_PSTN;
    }
    if (std::strcmp(word, "OUTGOING_PSTN") == 0) {
        return CALLTYPE_OUTGOING_PSTN;
    }
    return CALLTYPE_NONE;
}

int TextLength(const char* text) {
    return static_cast<int>(std::strlen(text));
}

}  // namespace

bool CAccessSkypeAPI::HandleCallNotification(const char* text, NotificationState& state) {
    char idWord[kIdWordSize];
    char property[kPropertyWordSize];
    char value[kValueWordSize];
    NotificationWord(text, 1, idWord, sizeof(idWord));
    NotificationWord(text, 2, property, sizeof(property));
    NotificationWord(text, 3, value, sizeof(value));
    const int id = DecimalInt(idWord);

    I_CallStore& calls = *m_ports.calls;
    const int cur = state.currentCallId;
    if (std::strcmp(property, "STATUS") == 0) {
        return HandleCallStatus(id, value, state);
    }
    if (std::strcmp(property, "PARTNER_HANDLE") == 0) {
        HandleCallHandle(id, value, state);
    } else if (std::strcmp(property, "PARTNER_DISPNAME") == 0) {
        HandleCallDisplayName(id, text, state);
    } else if (std::strcmp(property, "TYPE") == 0) {
        const int type = CallTypeFromWord(value);
        int sec = 0;
        calls.GetSecondCallId(&sec);
        if (cur == id) {
            calls.SetCurrentCallType(type);
        } else if (sec == id) {
            calls.SetSecondCallType(type);
        } else {
            calls.SetCallType(id, type);
        }
    } else if (std::strcmp(property, "DURATION") == 0) {
        const int seconds = DecimalInt(value);
        int sec = 0;
        calls.GetSecondCallId(&sec);
        if (cur == id) {
            calls.SetCurrentCallDuration(seconds);
        } else if (sec == id) {
            calls.SetSecondCallDuration(seconds);
        } else {
            calls.SetCallDuration(id, seconds);
        }
    } else if (std::strcmp(property, "SEEN") == 0) {
        HandleCallSeen(id, value, state);
    } else if (std::strcmp(property, "TIMESTAMP") == 0) {
        HandleCallTimestamp(id, value, state);
    }
    return false;
}

void CAccessSkypeAPI::RequestCallerIdentity(int id) {
    if (m_bHandsetDisplay.load() == 0) {
        return;
    }
    // Without font support the display cannot show names, only handles.
    SendSkypeCommand(m_config.Switches().fontSupport == 0 ? SKYPE_CMD_GET_CALL_PARTNER_HANDLE
                                                          : SKYPE_CMD_GET_CALL_PARTNER_DISPNAME,
                     nullptr, id);
    m_ports.handset->SetModeFlags(kModeNotice);
}

void CAccessSkypeAPI::RequestCallDetails(int id, bool seenBeforeType) {
    SendSkypeCommand(SKYPE_CMD_GET_CALL_PARTNER_DISPNAME, nullptr, id);
    SendSkypeCommand(SKYPE_CMD_GET_CALL_PARTNER_HANDLE, nullptr, id);
    if (seenBeforeType) {
        SendSkypeCommand(SKYPE_CMD_GET_CALL_SEEN, nullptr, id);
        SendSkypeCommand(SKYPE_CMD_GET_CALL_TYPE, nullptr, id);
    } else {
        SendSkypeCommand(SKYPE_CMD_GET_CALL_TYPE, nullptr, id);
        SendSkypeCommand(SKYPE_CMD_GET_CALL_SEEN, nullptr, id);
    }
    SendSkypeCommand(SKYPE_CMD_GET_CALL_DURATION, nullptr, id);
    // The reply to this one commits the call to the list.
    SendSkypeCommand(SKYPE_CMD_GET_CALL_TIMESTAMP, nullptr, id);
}

void CAccessSkypeAPI::WrapUpCall(int id) {
    m_ports.handset->StopTransferAndWait();
    StopRingTone();
    m_ports.handset->SendHandsetCommand(kHandsetCallEnded);
    Pause(kHandsetCommandPauseMs);
    RequestCallDetails(id, false);
}

bool CAccessSkypeAPI::IsSecondCall(int id) {
    int sec = 0;
    m_ports.calls->GetSecondCallId(&sec);
    return sec != 0 && sec == id;
}

void CAccessSkypeAPI::RefuseCall(int id) {
    // Sent at once as one record, ahead of whatever waits in the command
    // queue; whether Skype took it is not looked at.
    char text[kCommandBufferSize];
    std::snprintf(text, sizeof(text), "SET CALL %5d STATUS FINISHED", id);
    Trace("PC -> SKYPE: %s\n", text);
    m_ports.wire->SendCommandText(text);
}

bool CAccessSkypeAPI::HandleCallStatus(int id, const char* word, const NotificationState& state) {
    I_CallStore& calls = *m_ports.calls;
    ILinkHandset& handset = *m_ports.handset;
    const int cur = state.currentCallId;
    const int st = state.currentCallStatus;

    if (std::strcmp(word, "ROUTING") == 0) {
        if (calls.FindCall(id) != 0) {
            // A new call of our own: it becomes the current call.
            calls.SetCurrentCallId(id);
            calls.SetCurrentCallStatus(CALLSTATUS_NEW);
            handset.SendHandsetCommand(kHandsetRouting);
            Pause(kHandsetCommandPauseMs);
            handset.StopTransferAndWait();
            RequestCallerIdentity(id);
        }
        return false;
    }

    if (std::strcmp(word, "RINGING") == 0) {
        if (cur == 0) {
            calls.SetCurrentCallId(id);
            calls.SetCurrentCallStatus(CALLSTATUS_RINGING_IN);
            calls.SetCurrentCallType(CALLTYPE_INCOMING_P2P);
            if (handset.IsTransferBusy()) {
                // Let the display transfer run out without waiting for it.
                handset.SetAbortTransfer(0);
                handset.SetModeFlags(0);
                if (CHsdFontProcess* font = m_pFontProcess.load()) {
                    font->SetkeepProcess2MCUDataMonitor(0);
                }
                Pause(kHandsetCommandPauseMs);
            }
            handset.SendHandsetCommand(kHandsetIncomingRing);
            handset.SendHandsetCommand(kHandsetRing);
            StartRingTone();
            RequestCallerIdentity(id);
        } else if (cur == id) {
            if (st == CALLSTATUS_NEW) {
                // Our own call rings at the far end.
                calls.SetCurrentCallStatus(CALLSTATUS_RINGING_OUT);
                calls.SetCurrentCallType(CALLTYPE_OUTGOING_P2P);
                handset.StopTransferAndWait();
                RequestCallerIdentity(id);
            }
        } else {
            // A third call while two are known: refused, and the
            // confirmation-window watch is skipped this time.
            RefuseCall(id);
            return true;
        }
        return false;
    }

    if (std::strcmp(word, "EARLYMEDIA") == 0) {
        if (cur == 0) {
            calls.SetCurrentCallId(id);
            calls.SetCurrentCallStatus(CALLSTATUS_EARLYMEDIA);
            calls.SetCurrentCallType(CALLTYPE_INCOMING_PSTN);
            handset.StopTransferAndWait();
            handset.SendHandsetCommand(kHandsetRing);
            StartRingTone();
            RequestCallerIdentity(id);
        } else if (cur == id) {
            if (st == CALLSTATUS_NEW) {
                calls.SetCurrentCallStatus(CALLSTATUS_EARLYMEDIA);
                handset.StopTransferAndWait();
                RequestCallerIdentity(id);
            }
        } else {
            calls.SetSecondCallId(id);
            calls.SetSecondCallStatus(CALLSTATUS_EARLYMEDIA);
            handset.StopTransferAndWait();
            handset.SendHandsetCommand(kHandsetRing);
            RequestCallerIdentity(id);
        }
        return false;
    }

    const int failure = FailureCode(word);
    if (failure != CALLSTATUS_NONE) {
        HandleCallFailure(id, failure, state);
        return false;
    }

    struct VoicemailWord {
        const char* word;
        int code;
        bool endsCall;
    };
    static constexpr VoicemailWord kVoicemailWords[] = {
        {"VM_PLAYING_GREETING", CALLSTATUS_VM_PLAYING_GREETING, false},
        {"VM_RECORDING", CALLSTATUS_VM_RECORDING, false},
        {"VM_REDIRECT", CALLSTATUS_VM_REDIRECT, false},
        {"VM_CANCELLED", CALLSTATUS_VM_CANCELLED, true},
        {"VM_SENT", CALLSTATUS_VM_SENT, true},
    };
    for (const VoicemailWord& vm : kVoicemailWords) {
        if (std::strcmp(word, vm.word) != 0) {
            continue;
        }
        if (cur == id) {
            calls.SetCurrentCallStatus(vm.code);
            if (vm.endsCall) {
                WrapUpCall(id);
            }
        } else if (cur != 0 && IsSecondCall(id)) {
            calls.SetSecondCallStatus(vm.code);
            if (vm.endsCall) {
                WrapUpCall(id);
            }
        } else {
            calls.SetCallStatus(id, vm.code);
        }
        return false;
    }

    if (std::strcmp(word, "LOCALHOLD") == 0) {
        if (cur == id) {
            if (st == CALLSTATUS_INPROGRESS || st == CALLSTATUS_EARLYMEDIA ||
                st == CALLSTATUS_NEW || st == CALLSTATUS_LOCALHOLD) {
                calls.SetCurrentCallStatus(CALLSTATUS_LOCALHOLD);
            }
        } else if (IsSecondCall(id)) {
            int secSt = CALLSTATUS_NONE;
            calls.GetSecondCallStatus(&secSt);
            if (secSt == CALLSTATUS_INPROGRESS || secSt == CALLSTATUS_EARLYMEDIA) {
                calls.SetSecondCallStatus(CALLSTATUS_LOCALHOLD);
            }
        }
        return false;
    }

    if (std::strcmp(word, "INPROGRESS") == 0) {
        if (cur == id) {
            if (st == CALLSTATUS_RINGING_IN || st == CALLSTATUS_EARLYMEDIA ||
                st == CALLSTATUS_RINGING_OUT || st == CALLSTATUS_NEW ||
                st == CALLSTATUS_LOCALHOLD) {
                calls.SetCurrentCallStatus(CALLSTATUS_INPROGRESS);
                handset.StopTransferAndWait();
                StopRingTone();
                handset.SendHandsetCommand(kHandsetAnswered);
            }
        } else if (IsSecondCall(id)) {
            // A waiting call is kept with the status it arrived with
            // (EARLYMEDIA) and is answered from there or from hold.
            int secSt = CALLSTATUS_NONE;
            calls.GetSecondCallStatus(&secSt);
            if (secSt == CALLSTATUS_RINGING_IN || secSt == CALLSTATUS_EARLYMEDIA ||
                secSt == CALLSTATUS_LOCALHOLD) {
                calls.SetSecondCallStatus(CALLSTATUS_INPROGRESS);
                handset.StopTransferAndWait();
                StopRingTone();
                handset.SendHandsetCommand(kHandsetAnswered);
            }
        }
        return false;
    }

    if (std::strcmp(word, "FINISHED") == 0) {
        HandleCallFinished(id, state);
    }
    // Any other word: nothing.
    return false;
}

void CAccessSkypeAPI::HandleCallFailure(int id, int code, const NotificationState& state) {
    I_CallStore& calls = *m_ports.calls;
    ILinkHandset& handset = *m_ports.handset;
    const int cur = state.currentCallId;
    const int st = state.currentCallStatus;
    if (cur == id) {
        if (st == CALLSTATUS_RINGING_IN || st == CALLSTATUS_RINGING_OUT || st == CALLSTATUS_NEW ||
            st == CALLSTATUS_EARLYMEDIA) {
            calls.SetCurrentCallStatus(code);
            if (code == CALLSTATUS_FAILED &&
                m_ports.windows->TopLevelWindowExists(kSkypeSerFormClass)) {
                handset.StopTransferAndWait();
                handset.SendHandsetCommand(kHandsetCallFailed);
                StopRingTone();
            }
            if (st == CALLSTATUS_NEW || st == CALLSTATUS_EARLYMEDIA) {
                StopRingTone();
                SendSkypeCommand(SKYPE_CMD_HOOK_ON, nullptr, 0);
            }
        } else if (!IsEnded(st)) {
            // A call that ends with a failure word in any other state (answered,
            // held, in voicemail) takes that word as its status too, so that its
            // TIMESTAMP reply commits it and frees the current call; otherwise
            // it would stay current and every later incoming call would be
            // refused.
            calls.SetCurrentCallStatus(code);
        }
        WrapUpCall(id);
        return;
    }
    if (IsSecondCall(id)) {
        calls.SetSecondCallStatus(code);
        WrapUpCall(id);
    } else {
        calls.SetCallStatus(id, code);
    }
}

void CAccessSkypeAPI::HandleCallFinished(int id, const NotificationState& state) {
    I_CallStore& calls = *m_ports.calls;
    ILinkHandset& handset = *m_ports.handset;
    const int cur = state.currentCallId;
    const int st = state.currentCallStatus;
    if (cur == id) {
        // A call put on hold that ends is finished like one in progress;
        // otherwise it would stay the current call for good.
        if (st == CALLSTATUS_INPROGRESS || st == CALLSTATUS_EARLYMEDIA ||
            st == CALLSTATUS_LOCALHOLD) {
            int secSt = CALLSTATUS_NONE;
            calls.GetSecondCallStatus(&secSt);
            calls.SetCurrentCallStatus(CALLSTATUS_FINISHED);
            handset.StopTransferAndWait();
            StopRingTone();
            handset.SendHandsetCommand(kHandsetCallEnded);
            Pause(kHandsetCommandPauseMs);
            if (secSt == CALLSTATUS_RINGING_IN || secSt == CALLSTATUS_NEW ||
                secSt == CALLSTATUS_RINGING_OUT) {
                // The waiting call still rings.
                handset.SendHandsetCommand(kHandsetRing);
                StartRingTone();
                Pause(kRingRestartPauseMs);
            }
            RequestCallDetails(id, true);
        } else if (!IsEnded(st)) {
            // Finished while being set up, ringing or in voicemail: wrapped up
            // so that its TIMESTAMP reply retires it. A call that has already
            // ended has asked for its details once.
            calls.SetCurrentCallStatus(CALLSTATUS_FINISHED);
            WrapUpCall(id);
        }
        return;
    }
    if (cur == 0 || !IsSecondCall(id)) {
        // A call of the history (a reload's status reply, say): only its entry.
        calls.SetCallStatus(id, CALLSTATUS_FINISHED);
        return;
    }
    int secSt = CALLSTATUS_NONE;
    calls.GetSecondCallStatus(&secSt);
    if (!IsEnded(secSt)) {
        // The second call ended, waiting, answered or held: its TIMESTAMP
        // reply commits it to the list and clears the second-call record.
        calls.SetSecondCallStatus(CALLSTATUS_FINISHED);
        RequestCallDetails(id, false);
    }
}

void CAccessSkypeAPI::HandleCallHandle(int id, const char* handle, const NotificationState& state) {
    I_CallStore& calls = *m_ports.calls;
    if (state.currentCallId == id) {
        calls.SetCurrentCallHandle(handle, TextLength(handle) + 1);
        // The transfer thread sends the caller texts from the contact store.
        m_ports.users->SetCallerHandleText(handle);
        if (IsRinging(state.currentCallStatus)) {
            if (m_bHandsetDisplay.load() != 0) {
                m_ports.handset->StopTransferAndWait();
                if (CHsdFontProcess* font = m_pFontProcess.load()) {
                    font->UTF_8ToUnicodeToFontCode(handle);
                }
                // Flagged before the announcement, which the handset may answer at once.
                m_ports.handset->AddModeFlags(kModePlainText);
                m_ports.handset->SendHandsetCommand(kHandsetShowPlainText);
            } else {
                m_ports.handset->AddModeFlags(kModePlainText);
            }
        }
        return;
    }
    int sec = 0;
    calls.GetSecondCallId(&sec);
    if (sec == id) {
        calls.SetSecondCallHandle(handle, TextLength(handle) + 1);
    } else {
        calls.SetCallHandle(id, handle, TextLength(handle) + 1);
    }
}

void CAccessSkypeAPI::HandleCallDisplayName(int id, const char* text,
                                            const NotificationState& state) {
    // The name may hold blanks: every word from the fourth on, each followed
    // by one blank.
    char name[kValueWordSize];
    JoinWordsFrom(text, 3, name, sizeof(name));
    I_CallStore& calls = *m_ports.calls;
    if (state.currentCallId == id) {
        calls.SetCurrentCallDisplayName(name, TextLength(name) + 1);
        m_ports.users->SetCallerNameText(name);
        if (IsRinging(state.currentCallStatus) && m_bHandsetDisplay.load() != 0) {
            if (name[0] == '\0') {
                // Nothing to convert: the font component would keep the last
                // caller's stream and the LCD would show that name. The
                // caller's handle is shown instead, once Skype gives it.
                SendSkypeCommand(SKYPE_CMD_GET_CALL_PARTNER_HANDLE, nullptr, id);
                return;
            }
            m_ports.handset->StopTransferAndWait();
            if (CHsdFontProcess* font = m_pFontProcess.load()) {
                font->UTF_8ToUnicodeToFontCode(name);
            }
            m_ports.handset->AddModeFlags(kModeFontCodes);
            m_ports.handset->SendHandsetCommand(kHandsetShowFontText);
        }
        return;
    }
    int sec = 0;
    calls.GetSecondCallId(&sec);
    if (sec == id) {
        calls.SetSecondCallDisplayName(name, TextLength(name) + 1);
    } else {
        calls.SetCallDisplayName(id, name, TextLength(name) + 1);
    }
}

void CAccessSkypeAPI::HandleCallSeen(int id, const char* word, NotificationState& state) {
    const int seen = std::strcmp(word, "TRUE") == 0 ? 1 : 0;
    I_CallStore& calls = *m_ports.calls;
    if (state.currentCallId == id) {
        calls.SetCurrentCallSeen(seen);
        return;
    }
    int sec = 0;
    calls.GetSecondCallId(&sec);
    if (sec == id) {
        calls.SetSecondCallSeen(seen);
        return;
    }
    calls.SetCallSeen(id, seen);
    if (state.lastListedCallId != 0 && id == state.lastListedCallId) {
        // The last reply of the history reload.
        CompleteHistoryLoad(state);
    }
}

void CAccessSkypeAPI::CompleteHistoryLoad(NotificationState& state) {
    m_bCallsLoaded = 1;
    state.lastListedCallId = 0;
    m_ports.handset->StartHandsetLink();
}

void CAccessSkypeAPI::HandleCallTimestamp(int id, const char* value,
                                          const NotificationState& state) {
    I_CallStore& calls = *m_ports.calls;
    ILinkHandset& handset = *m_ports.handset;
    const int time = DecimalInt(value);
    const int cur = state.currentCallId;
    const int st = state.currentCallStatus;
    int sec = 0;
    int secSt = CALLSTATUS_NONE;
    calls.GetSecondCallId(&sec);
    calls.GetSecondCallStatus(&secSt);
    const bool display = m_bHandsetDisplay.load() != 0;

    if (cur == id) {
        const bool failed = IsFailure(st);
        const bool completed = IsCompleted(st);
        if (!failed && !completed) {
            return;  // the call stays current
        }
        handset.StopTransferAndWait();
        if (completed) {
            // The call's duration text waits for the display. The flag goes up
            // before the announcement: a handset that answers at once would
            // otherwise find no text waiting and the duration would be lost.
            handset.AddModeFlags(kModeCallTimer);
            if (display) {
                handset.SendHandsetCommand(kHandsetShowPlainText);
            }
        }
        calls.SetCurrentCallTimestamp(time);
        calls.CommitCurrentCall();
        Trace("Save the Current calling to list...3.\n");
        calls.ResetCurrentCall();
        if (sec == id) {
            // The call was taken over as the current call (a ROUTING for it)
            // while it was also the second call: it is committed now.
            calls.ResetSecondCall();
        } else if (sec != 0 && !IsEnded(secSt)) {
            // The waiting call becomes the current call. One that has ended
            // already stays the second call until its own TIMESTAMP reply
            // commits it: made current, it would never be retired.
            calls.PromoteSecondCall();
            calls.ResetSecondCall();
        }
        if (failed && display && st == CALLSTATUS_MISSED) {
            ShowMissedCalls(1);
        }
        return;
    }
    if (sec == id) {
        if (!IsEnded(secSt)) {
            return;  // still waiting or in progress
        }
        const bool failed = IsFailure(secSt);
        handset.StopTransferAndWait();
        calls.SetSecondCallTimestamp(time);
        calls.CommitSecondCall();
        Trace(failed ? "Save the Interrupt RINGING_FAIL_INT calling to list...1.\n"
                     : "Save the Interrupt FINISHED_INT calling to list...2.\n");
        calls.ResetSecondCall();
        if (failed && display && secSt == CALLSTATUS_MISSED) {
            ShowMissedCalls(1);
        }
        return;
    }
    // A call of the history: its details are now complete.
    calls.SetCallTimestamp(id, time);
    calls.AddCall(id, 1);
    calls.RefreshShownCall(id);
}

void CAccessSkypeAPI::HandleCallHistoryChanged() {
    m_ports.calls->ClearCalls();
    m_ports.calls->ResetCallBrowse();
    SendSkypeCommand(SKYPE_CMD_SEARCH_CALLS, nullptr, 0);
}

void CAccessSkypeAPI::HandleCallsReply(const char* text, NotificationState& state) {
    I_CallStore& calls = *m_ports.calls;
    std::vector<int> ids;
    ForEachListedNumber(text, [&ids](int id) { ids.push_back(id); });
    int listed = 0;
    calls.GetCallCount(&listed);
    if (ids.empty()) {
        CompleteHistoryLoad(state);
    }
    if (listed == 0 || static_cast<long long>(ids.size()) < listed) {
        calls.ClearCalls();
        for (int id : ids) {
            calls.AddCall(id, 0);
            SendSkypeCommand(SKYPE_CMD_GET_CALL_TYPE, nullptr, id);
            SendSkypeCommand(SKYPE_CMD_GET_CALL_STATUS, nullptr, id);
            SendSkypeCommand(SKYPE_CMD_GET_CALL_SEEN, nullptr, id);
        }
        if (!ids.empty()) {
            state.lastListedCallId = ids.back();
        }
    }
    SendSkypeCommand(SKYPE_CMD_GET_PRIVILEGE_SKYPEOUT, nullptr, 0);
}
