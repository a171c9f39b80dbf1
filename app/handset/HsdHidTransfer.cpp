// The transfer thread: one LCD transfer, chosen by modeFlags, then its close.
#include <chrono>

#include "CallStore.h"
#include "HsdFontProcess.h"
#include "HsdHid.h"
#include "Pause.h"
#include "ThreadLabel.h"
#include "UserStore.h"

namespace {

constexpr unsigned char kMarkerData = 0x0A;
constexpr unsigned char kStartNotice = 0x00;
constexpr unsigned char kStartNoticeData = 0x4F;
constexpr unsigned char kEntryIncoming = 0x6A;  // incoming call, contact online, notice
constexpr unsigned char kEntryOutgoing = 0x6B;  // outgoing call, contact not online
constexpr unsigned char kEntryMissed = 0x6D;
constexpr unsigned char kEntryOther = 0x00;
constexpr unsigned char kDurationFollows = 0x81;
constexpr unsigned char kTimeFollows = 0x80;
constexpr unsigned char kNameFollows = 0x70;
constexpr unsigned char kTimerFollows = 0x83;
constexpr unsigned char kEndOfTransfer = 0x1A;

// No store text is longer; a reader that never ends is cut here.
constexpr int kMaxTextChars = 510;

enum class TransferKind {
    NoticeFont,
    ContactFont,
    CallFont,
    NoticePlain,
    ContactPlain,
    CallPlain,
    CallTimer,
    WaitForList,
    None,
};

TransferKind ChooseKind(unsigned int flags) {
    const bool font = (flags & kModeFontCodes) != 0;
    const bool plain = (flags & kModePlainText) != 0;
    if (font && (flags & kModeNotice) != 0)
        return TransferKind::NoticeFont;
    if (font && (flags & kModeContactList) != 0)
        return TransferKind::ContactFont;
    if (font && (flags & kModeCallList) != 0)
        return TransferKind::CallFont;
    if (plain && (flags & kModeNotice) != 0)
        return TransferKind::NoticePlain;
    if (plain && (flags & kModeContactList) != 0)
        return TransferKind::ContactPlain;
    if (plain && (flags & kModeCallList) != 0)
        return TransferKind::CallPlain;
    if ((flags & kModeCallTimer) != 0)
        return TransferKind::CallTimer;
    if (font || plain)
        return TransferKind::WaitForList;
    return TransferKind::None;
}

}  // namespace

template <typename Reader>
bool CHsdHid::PumpText(Reader read) {
    unsigned char phase = 0;
    for (int count = 0; count < kMaxTextChars; ++count) {
        char ch = 0;
        if (read(&ch) != 0) {
            break;
        }
        SendHandsetCommandData(static_cast<unsigned char>(ch), phase);
        if (abortTransfer.load() != 0) {
            transferAborted_ = true;
            return false;
        }
        phase = phase == 0 ? 5 : 0;
        Pause(1);
    }
    return true;
}

unsigned char CHsdHid::CallEntryMarker(bool fontCodes) {
    int type = CALLTYPE_NONE;
    int status = CALLSTATUS_NONE;
    ports_.calls->GetShownType(&type);
    ports_.calls->GetShownStatus(&status);
    if (type == CALLTYPE_INCOMING_P2P || type == CALLTYPE_INCOMING_PSTN) {
        return status == CALLSTATUS_MISSED ? kEntryMissed : kEntryIncoming;
    }
    if (type == CALLTYPE_OUTGOING_P2P || type == CALLTYPE_OUTGOING_PSTN) {
        return kEntryOutgoing;
    }
    return fontCodes ? kEntryOutgoing : kEntryOther;
}

unsigned char CHsdHid::ContactEntryMarker() {
    int status = USER_OFFLINE;
    ports_.users->GetShownUserStatus(&status);
    return status == USER_ONLINE ? kEntryIncoming : kEntryOutgoing;
}

void CHsdHid::SendCallTransfer(bool fontCodes) {
    I_CallStore* calls = ports_.calls;
    if (!fontCodes) {
        Pause(1);
        if (Aborted())
            return;
    }
    SendHandsetCommandData(CallEntryMarker(fontCodes), kMarkerData);
    Pause(1);
    if (Aborted())
        return;
    SendHandsetCommandData(kDurationFollows, kMarkerData);
    Pause(1);
    if (Aborted())
        return;
    PumpText([calls](char* ch) { return calls->ReadShownDurationChar(ch); });
    if (Aborted())
        return;
    SendHandsetCommandData(kTimeFollows, kMarkerData);
    Pause(1);
    if (Aborted())
        return;
    PumpText([calls](char* ch) { return calls->ReadShownTimeChar(ch); });
    if (Aborted())
        return;
    if (fontCodes) {
        if (CHsdFontProcess* font = fontProcess.load()) {
            font->SendFontCode2MCU();
        }
        return;
    }
    SendHandsetCommandData(kNameFollows, kMarkerData);
    Pause(1);
    if (Aborted())
        return;
    PumpText([calls](char* ch) { return calls->ReadShownHandleChar(ch); });
}

bool CHsdHid::PauseUnlessAborted(unsigned int ms) {
    Pause(ms);
    return !Aborted();
}

void CHsdHid::HSD_Process2MCUData() {
    SetThreadLabel("CHsdHid -> HSD_Process2MCUData");
    transferAborted_ = false;
    TransferKind kind = ChooseKind(modeFlags.load());
    // A list transfer announced before the list was entered: wait a while for
    // the list or for the transfer to be called off. The kind is chosen from
    // the flags as they are after every pause, so no change can slip between
    // two looks.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kListPollLimitMs);
    while (kind == TransferKind::WaitForList) {
        if (transferBusy.load() == 0 || abortTransfer.load() != 0 ||
            std::chrono::steady_clock::now() >= deadline) {
            kind = TransferKind::None;
            break;
        }
        Pause(1);
        kind = ChooseKind(modeFlags.load());
    }
    // Nothing to send (kind None) goes straight to the close, which clears
    // transferBusy once the end-of-transfer report is out.
    CHsdFontProcess* font = fontProcess.load();
    I_UserStore* users = ports_.users;
    I_CallStore* calls = ports_.calls;
    const bool haveStores = users != nullptr && calls != nullptr;

    if (!Aborted() && haveStores) {
        switch (kind) {
            case TransferKind::NoticeFont:
                if (!PauseUnlessAborted(15))
                    break;
                SendHandsetCommandData(kStartNotice, kStartNoticeData);
                if (!PauseUnlessAborted(25))
                    break;
                if (!SendHandsetCommandData(kEntryIncoming, kMarkerData))
                    break;
                if (!PauseUnlessAborted(3))
                    break;
                if (font != nullptr)
                    font->SendFontCode2MCU();
                break;
            case TransferKind::ContactFont:
                SendHandsetCommandData(ContactEntryMarker(), kMarkerData);
                if (!PauseUnlessAborted(1))
                    break;
                if (font != nullptr)
                    font->SendFontCode2MCU();
                break;
            case TransferKind::CallFont:
                SendCallTransfer(true);
                break;
            case TransferKind::NoticePlain:
                if (!PauseUnlessAborted(15))
                    break;
                SendHandsetCommandData(kStartNotice, kStartNoticeData);
                if (!PauseUnlessAborted(25))
                    break;
                SendHandsetCommandData(kEntryIncoming, kMarkerData);
                if (!PauseUnlessAborted(3))
                    break;
                SendHandsetCommandData(kNameFollows, kMarkerData);
                if (!PauseUnlessAborted(1))
                    break;
                PumpText([users](char* ch) { return users->ReadCallerHandleChar(ch); });
                break;
            case TransferKind::ContactPlain:
                SendHandsetCommandData(ContactEntryMarker(), kMarkerData);
                if (!PauseUnlessAborted(1))
                    break;
                SendHandsetCommandData(kNameFollows, kMarkerData);
                if (!PauseUnlessAborted(1))
                    break;
                PumpText([users](char* ch) { return users->ReadShownUserHandleChar(ch); });
                break;
            case TransferKind::CallPlain:
                SendCallTransfer(false);
                break;
            case TransferKind::CallTimer:
                if (!PauseUnlessAborted(2))
                    break;
                SendHandsetCommandData(kStartNotice, kStartNoticeData);
                if (!PauseUnlessAborted(1))
                    break;
                SendHandsetCommandData(kTimerFollows, kMarkerData);
                if (!PauseUnlessAborted(1))
                    break;
                PumpText([calls](char* ch) { return calls->ReadShownDurationChar(ch); });
                break;
            case TransferKind::WaitForList:
            case TransferKind::None:
                break;
        }
    }
    CloseTransfer();
}

void CHsdHid::CloseTransfer() {
    const unsigned int flags = modeFlags.load();
    if ((flags & kModeFontCodes) != 0) {
        modeFlags.fetch_and(~(kModeFontCodes | kModeNotice));
    } else if ((flags & kModePlainText) != 0) {
        modeFlags.fetch_and(~(kModePlainText | kModeNotice));
    } else {
        modeFlags.fetch_and(~kModeCallTimer);
    }
    Pause(1);
    SendHandsetCommandData(kEndOfTransfer, kMarkerData);
    // Releases a caller waiting for the stop. A stop request still held by the
    // font component is withdrawn when the next transfer starts.
    abortTransfer.store(0);
    // Last: StartTransfer takes a cleared transferBusy to mean this thread is done.
    transferBusy.store(0);
}
