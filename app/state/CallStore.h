// The call store: the current call, a waiting second call and the list of
// recent calls that the handset browses. Skype notifications fill it, the
// handset threads read it; one re-entrant lock guards all of it.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "ByteText.h"
#include "HsdStatus.h"

// Call status codes.
enum CallStatusCode : int {
    CALLSTATUS_NONE = -1,
    CALLSTATUS_NEW = 0,
    CALLSTATUS_RINGING_OUT = 1,
    CALLSTATUS_RINGING_IN = 2,
    CALLSTATUS_INPROGRESS = 3,
    CALLSTATUS_FINISHED = 4,
    CALLSTATUS_MISSED = 5,
    CALLSTATUS_FAILED = 6,
    CALLSTATUS_REFUSED = 7,
    CALLSTATUS_BUSY = 8,
    CALLSTATUS_CANCELLED = 9,
    CALLSTATUS_LOCALHOLD = 15,
    CALLSTATUS_VM_PLAYING_GREETING = 17,
    CALLSTATUS_VM_RECORDING = 18,
    CALLSTATUS_VM_SENT = 20,
    CALLSTATUS_VM_CANCELLED = 21,
    CALLSTATUS_VM_REDIRECT = 22,
    CALLSTATUS_EARLYMEDIA = 23,
};

// Call type codes.
enum CallTypeCode : int {
    CALLTYPE_NONE = -1,
    CALLTYPE_INCOMING_P2P = 0,
    CALLTYPE_OUTGOING_P2P = 1,
    CALLTYPE_INCOMING_PSTN = 2,
    CALLTYPE_OUTGOING_PSTN = 3,
};

// Which calls a browse returns.
enum CallListMode : int {
    CALLLIST_RECEIVED = 0,
    CALLLIST_DIALLED = 1,
    CALLLIST_MISSED = 2,
};

// One call, keyed by Skype's call id.
struct CallRecord {
    explicit CallRecord(int callId = 0) : id(callId) {}

    int id = 0;
    int type = CALLTYPE_NONE;
    int status = CALLSTATUS_NONE;
    int timestamp = 0;  // seconds since 1970-01-01 UTC
    int duration = 0;   // seconds
    int seen = 0;
    int detailsLoaded = 0;
    ByteText handle;
    ByteText displayName;
};

// The operations of the call store, in their fixed order. Every operation
// returns 0 or E_FAIL and gives its results through out-parameters; a null
// out-parameter fails. Text buffers are kTextBufferSize bytes, cleared by the
// caller.
class I_CallStore {
public:
    virtual HsdStatus AddCall(int id, int detailsLoaded) = 0;
    virtual HsdStatus GetCallCount(int* count) = 0;
    virtual HsdStatus ClearCalls() = 0;
    virtual HsdStatus SetCallDisplayName(int id, const char* text, int length) = 0;
    virtual HsdStatus GetShownDisplayName(char* buffer) = 0;
    virtual HsdStatus ClearShownCall() = 0;
    virtual HsdStatus SetCallHandle(int id, const char* text, int length) = 0;
    virtual HsdStatus ReadShownHandleChar(char* ch) = 0;
    virtual HsdStatus GetShownHandle(char* buffer) = 0;
    virtual HsdStatus SetCallType(int id, int type) = 0;
    virtual HsdStatus GetShownType(int* type) = 0;
    virtual HsdStatus SetCallStatus(int id, int status) = 0;
    virtual HsdStatus GetShownStatus(int* status) = 0;
    virtual HsdStatus SetCallDetailsLoaded(int id, int value) = 0;
    virtual HsdStatus GetCallDetailsLoaded(int id, int* value) = 0;
    virtual HsdStatus SetCallSeen(int id, int value) = 0;
    virtual HsdStatus SetCallDuration(int id, int seconds) = 0;
    virtual HsdStatus SetCallTimestamp(int id, int time) = 0;
    virtual HsdStatus FormatShownTexts() = 0;
    virtual HsdStatus ReadShownTimeChar(char* ch) = 0;
    virtual HsdStatus ReadShownDurationChar(char* ch) = 0;
    virtual HsdStatus ResetCallBrowse() = 0;
    virtual HsdStatus SetListMode(int mode) = 0;
    virtual HsdStatus RefreshShownCall(int id) = 0;
    virtual HsdStatus BrowseCalls(int direction, int advance, int* id) = 0;
    virtual HsdStatus HasBrowsePosition() = 0;
    virtual HsdStatus SetShownDurationText(unsigned int seconds) = 0;
    virtual HsdStatus SetCurrentCallId(int id) = 0;
    virtual HsdStatus GetCurrentCallId(int* id) = 0;
    virtual HsdStatus ResetCurrentCall() = 0;
    virtual HsdStatus SetCurrentCallStatus(int status) = 0;
    virtual HsdStatus GetCurrentCallStatus(int* status) = 0;
    virtual HsdStatus SetCurrentCallDisplayName(const char* text, int length) = 0;
    virtual HsdStatus SetCurrentCallHandle(const char* text, int length) = 0;
    virtual HsdStatus SetCurrentCallType(int type) = 0;
    virtual HsdStatus SetCurrentCallSeen(int value) = 0;
    virtual HsdStatus CommitCurrentCall() = 0;
    virtual HsdStatus SetCurrentCallTimestamp(int time) = 0;
    virtual HsdStatus SetCurrentCallDuration(int seconds) = 0;
    virtual HsdStatus SetSecondCallId(int id) = 0;
    virtual HsdStatus GetSecondCallId(int* id) = 0;
    virtual HsdStatus ResetSecondCall() = 0;
    virtual HsdStatus PromoteSecondCall() = 0;
    virtual HsdStatus SetSecondCallStatus(int status) = 0;
    virtual HsdStatus GetSecondCallStatus(int* status) = 0;
    virtual HsdStatus SetSecondCallDisplayName(const char* text, int length) = 0;
    virtual HsdStatus SetSecondCallHandle(const char* text, int length) = 0;
    virtual HsdStatus SetSecondCallType(int type) = 0;
    virtual HsdStatus SetSecondCallSeen(int value) = 0;
    virtual HsdStatus CommitSecondCall() = 0;
    virtual HsdStatus SetSecondCallTimestamp(int time) = 0;
    virtual HsdStatus SetSecondCallDuration(int seconds) = 0;
    virtual HsdStatus CountMissedCalls(int* count) = 0;
    virtual HsdStatus FindCall(int id) = 0;
    virtual ~I_CallStore() = default;
};

class CallStore : public I_CallStore {
public:
    CallStore();
    ~CallStore() override;
    CallStore(const CallStore&) = delete;
    CallStore& operator=(const CallStore&) = delete;

    HsdStatus AddCall(int id, int detailsLoaded) override;
    HsdStatus GetCallCount(int* count) override;
    HsdStatus ClearCalls() override;
    HsdStatus SetCallDisplayName(int id, const char* text, int length) override;
    HsdStatus GetShownDisplayName(char* buffer) override;
    HsdStatus ClearShownCall() override;
    HsdStatus SetCallHandle(int id, const char* text, int length) override;
    HsdStatus ReadShownHandleChar(char* ch) override;
    HsdStatus GetShownHandle(char* buffer) override;
    HsdStatus SetCallType(int id, int type) override;
    HsdStatus GetShownType(int* type) override;
    HsdStatus SetCallStatus(int id, int status) override;
    HsdStatus GetShownStatus(int* status) override;
    HsdStatus SetCallDetailsLoaded(int id, int value) override;
    HsdStatus GetCallDetailsLoaded(int id, int* value) override;
    HsdStatus SetCallSeen(int id, int value) override;
    HsdStatus SetCallDuration(int id, int seconds) override;
    HsdStatus SetCallTimestamp(int id, int time) override;
    HsdStatus FormatShownTexts() override;
    HsdStatus ReadShownTimeChar(char* ch) override;
    HsdStatus ReadShownDurationChar(char* ch) override;
    HsdStatus ResetCallBrowse() override;
    HsdStatus SetListMode(int mode) override;
    HsdStatus RefreshShownCall(int id) override;
    HsdStatus BrowseCalls(int direction, int advance, int* id) override;
    HsdStatus HasBrowsePosition() override;
    HsdStatus SetShownDurationText(unsigned int seconds) override;
    HsdStatus SetCurrentCallId(int id) override;
    HsdStatus GetCurrentCallId(int* id) override;
    HsdStatus ResetCurrentCall() override;
    HsdStatus SetCurrentCallStatus(int status) override;
    HsdStatus GetCurrentCallStatus(int* status) override;
    HsdStatus SetCurrentCallDisplayName(const char* text, int length) override;
    HsdStatus SetCurrentCallHandle(const char* text, int length) override;
    HsdStatus SetCurrentCallType(int type) override;
    HsdStatus SetCurrentCallSeen(int value) override;
    HsdStatus CommitCurrentCall() override;
    HsdStatus SetCurrentCallTimestamp(int time) override;
    HsdStatus SetCurrentCallDuration(int seconds) override;
    HsdStatus SetSecondCallId(int id) override;
    HsdStatus GetSecondCallId(int* id) override;
    HsdStatus ResetSecondCall() override;
    HsdStatus PromoteSecondCall() override;
    HsdStatus SetSecondCallStatus(int status) override;
    HsdStatus GetSecondCallStatus(int* status) override;
    HsdStatus SetSecondCallDisplayName(const char* text, int length) override;
    HsdStatus SetSecondCallHandle(const char* text, int length) override;
    HsdStatus SetSecondCallType(int type) override;
    HsdStatus SetSecondCallSeen(int value) override;
    HsdStatus CommitSecondCall() override;
    HsdStatus SetSecondCallTimestamp(int time) override;
    HsdStatus SetSecondCallDuration(int seconds) override;
    HsdStatus CountMissedCalls(int* count) override;
    HsdStatus FindCall(int id) override;

    // Consistent copies taken under the lock, for diagnostics and tests.
    std::vector<CallRecord> SnapshotCalls();
    CallRecord SnapshotCurrentCall();
    CallRecord SnapshotSecondCall();

private:
    CallRecord* FindCallRecord(int id);
    HsdStatus Commit(const CallRecord& record, bool withDuration);
    bool MatchesListMode(const CallRecord& record) const;
    void FormatTimeText();
    static std::string FormatDuration(unsigned int seconds);
    static HsdStatus ReadTextChar(const std::string& text, int& readPos, char* ch);

    std::recursive_mutex lock_;

    std::unique_ptr<CallRecord> current_;
    std::unique_ptr<CallRecord> second_;
    std::deque<std::unique_ptr<CallRecord>> m_CallingLists;
    // The entries by id; ids are unique within the list.
    std::unordered_map<int, CallRecord*> byId_;

    // Browsing and the call shown on the handset.
    int cursor_ = 0;
    int lastMatch_ = -1;
    int listMode_ = CALLLIST_RECEIVED;
    int direction_ = 0;
    int shownId_ = 0;
    int shownType_ = CALLTYPE_NONE;
    int shownStatus_ = CALLSTATUS_NONE;
    char shownHandle_[kTextBufferSize] = {};
    char shownName_[kTextBufferSize] = {};
    int handleReadPos_ = 0;
    int shownTimestamp_ = 0;
    int shownDuration_ = 0;
    std::string timeText_;
    int timeReadPos_ = 0;
    std::string durationText_;
    int durationReadPos_ = 0;
};
