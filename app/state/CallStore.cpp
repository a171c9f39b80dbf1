#include "CallStore.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

bool IsIncoming(int type) {
    return type == CALLTYPE_INCOMING_P2P || type == CALLTYPE_INCOMING_PSTN;
}

bool IsOutgoing(int type) {
    return type == CALLTYPE_OUTGOING_P2P || type == CALLTYPE_OUTGOING_PSTN;
}

// Copies a stored text into one of the shown-call fields, zero-terminated.
void LoadField(char (&field)[kTextBufferSize], const ByteText& text) {
    std::memset(field, 0, sizeof(field));
    text.CopyTo(field);
}

// "MM/DD/YY HH:MM" in local time; empty when the time cannot be converted.
std::string FormatLocalTime(int timestamp) {
    const std::time_t time = static_cast<std::time_t>(timestamp);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &time) != 0) {
        return {};
    }
#else
    if (localtime_r(&time, &local) == nullptr) {
        return {};
    }
#endif
    char text[32] = {};
    if (std::strftime(text, sizeof(text), "%m/%d/%y %H:%M", &local) == 0) {
        return {};
    }
    return text;
}

}  // namespace

CallStore::CallStore()
    : current_(std::make_unique<CallRecord>()), second_(std::make_unique<CallRecord>()) {
    ResetCallBrowse();
}

CallStore::~CallStore() = default;

// Ids are unique within the list, so the index finds the same entry that a
// search from either end would.
CallRecord* CallStore::FindCallRecord(int id) {
    const auto it = byId_.find(id);
    return it != byId_.end() ? it->second : nullptr;
}

HsdStatus CallStore::AddCall(int id, int detailsLoaded) {
    Guard guard(lock_);
    if (CallRecord* existing = FindCallRecord(id)) {
        existing->detailsLoaded = detailsLoaded;
        return E_FAIL;
    }
    auto record = std::make_unique<CallRecord>(id);
    record->detailsLoaded = detailsLoaded;
    byId_.emplace(id, record.get());
    // Calls followed live or with their details arrive newest first; ids from
    // a history search keep the order in which Skype lists them.
    if (detailsLoaded != 0) {
        m_CallingLists.push_front(std::move(record));
    } else {
        m_CallingLists.push_back(std::move(record));
    }
    return HSD_OK;
}

HsdStatus CallStore::GetCallCount(int* count) {
    Guard guard(lock_);
    if (count == nullptr) {
        return E_FAIL;
    }
    *count = static_cast<int>(m_CallingLists.size());
    return HSD_OK;
}

HsdStatus CallStore::ClearCalls() {
    Guard guard(lock_);
    byId_.clear();
    m_CallingLists.clear();
    return HSD_OK;
}

HsdStatus CallStore::FindCall(int id) {
    Guard guard(lock_);
    return FindCallRecord(id) != nullptr ? HSD_OK : E_FAIL;
}

HsdStatus CallStore::SetCallDisplayName(int id, const char* text, int length) {
    Guard guard(lock_);
    CallRecord* record = FindCallRecord(id);
    if (record == nullptr) {
        return E_FAIL;
    }
    record->displayName.Set(text, length);
    return HSD_OK;
}

HsdStatus CallStore::SetCallHandle(int id, const char* text, int length) {
    Guard guard(lock_);
    CallRecord* record = FindCallRecord(id);
    if (record == nullptr) {
        return E_FAIL;
    }
    record->handle.Set(text, length);
    return HSD_OK;
}

HsdStatus CallStore::SetCallType(int id, int type) {
    Guard guard(lock_);
    CallRecord* record = FindCallRecord(id);
    if (record == nullptr) {
        return E_FAIL;
    }
    record->type = type;
    return HSD_OK;
}

HsdStatus CallStore::SetCallStatus(int id, int status) {
    Guard guard(lock_);
    CallRecord* record = FindCallRecord(id);
    if (record == nullptr) {
        return E_FAIL;
    }
    record->status = status;
    return HSD_OK;
}

HsdStatus CallStore::SetCallDetailsLoaded(int id, int value) {
    Guard guard(lock_);
    CallRecord* record = FindCallRecord(id);
    if (record == nullptr) {
        return E_FAIL;
    }
    record->detailsLoaded = value;
    return HSD_OK;
}

HsdStatus CallStore::GetCallDetailsLoaded(int id, int* value) {
    Guard guard(lock_);
    if (value == nullptr) {
        return E_FAIL;
    }
    // An id that is not listed has no details: the caller asks Skype for them.
    const CallRecord* record = FindCallRecord(id);
    *value = record != nullptr ? record->detailsLoaded : 0;
    return HSD_OK;
}

HsdStatus CallStore::SetCallSeen(int id, int value) {
    Guard guard(lock_);
    CallRecord* record = FindCallRecord(id);
    if (record == nullptr) {
        return E_FAIL;
    }
    record->seen = value;
    return HSD_OK;
}

HsdStatus CallStore::SetCallDuration(int id, int seconds) {
    Guard guard(lock_);
    CallRecord* record = FindCallRecord(id);
    if (record == nullptr) {
        return E_FAIL;
    }
    record->duration = seconds;
    return HSD_OK;
}

HsdStatus CallStore::SetCallTimestamp(int id, int time) {
    Guard guard(lock_);
    CallRecord* record = FindCallRecord(id);
    if (record == nullptr) {
        return E_FAIL;
    }
    record->timestamp = time;
    return HSD_OK;
}

// ---- the current call ----

HsdStatus CallStore::SetCurrentCallId(int id) {
    Guard guard(lock_);
    current_->id = id;
    return HSD_OK;
}

HsdStatus CallStore::GetCurrentCallId(int* id) {
    Guard guard(lock_);
    if (id == nullptr) {
        return E_FAIL;
    }
    *id = current_->id;
    return HSD_OK;
}

HsdStatus CallStore::ResetCurrentCall() {
    Guard guard(lock_);
    current_->id = 0;
    current_->status = CALLSTATUS_NONE;
    current_->type = CALLTYPE_NONE;
    current_->seen = 1;
    current_->handle.Clear();
    current_->displayName.Clear();
    current_->duration = 0;
    current_->timestamp = 0;
    return HSD_OK;
}

HsdStatus CallStore::SetCurrentCallStatus(int status) {
    Guard guard(lock_);
    current_->status = status;
    return HSD_OK;
}

HsdStatus CallStore::GetCurrentCallStatus(int* status) {
    Guard guard(lock_);
    if (status == nullptr) {
        return E_FAIL;
    }
    *status = current_->status;
    return HSD_OK;
}

HsdStatus CallStore::SetCurrentCallDisplayName(const char* text, int length) {
    Guard guard(lock_);
    current_->displayName.Set(text, length);
    current_->detailsLoaded = 1;
    return HSD_OK;
}

HsdStatus CallStore::SetCurrentCallHandle(const char* text, int length) {
    Guard guard(lock_);
    current_->handle.Set(text, length);
    return HSD_OK;
}

HsdStatus CallStore::SetCurrentCallType(int type) {
    Guard guard(lock_);
    current_->type = type;
    return HSD_OK;
}

HsdStatus CallStore::SetCurrentCallSeen(int value) {
    Guard guard(lock_);
    current_->seen = value;
    return HSD_OK;
}

HsdStatus CallStore::CommitCurrentCall() {
    Guard guard(lock_);
    return Commit(*current_, true);
}

HsdStatus CallStore::SetCurrentCallTimestamp(int time) {
    Guard guard(lock_);
    current_->timestamp = time;
    return HSD_OK;
}

HsdStatus CallStore::SetCurrentCallDuration(int seconds) {
    Guard guard(lock_);
    current_->duration = seconds;
    // While a call runs, the LCD shows its length from the duration text.
    SetShownDurationText(static_cast<unsigned int>(seconds));
    return HSD_OK;
}

// ---- the second call ----

HsdStatus CallStore::SetSecondCallId(int id) {
    Guard guard(lock_);
    second_->id = id;
    return HSD_OK;
}

HsdStatus CallStore::GetSecondCallId(int* id) {
    Guard guard(lock_);
    if (id == nullptr) {
        return E_FAIL;
    }
    *id = second_->id;
    return HSD_OK;
}

HsdStatus CallStore::ResetSecondCall() {
    Guard guard(lock_);
    second_->id = 0;
    second_->status = CALLSTATUS_NONE;
    second_->type = CALLTYPE_NONE;
    second_->seen = 1;
    second_->handle.Clear();
    second_->displayName.Clear();
    return HSD_OK;
}

HsdStatus CallStore::PromoteSecondCall() {
    Guard guard(lock_);
    *current_ = *second_;
    return HSD_OK;
}

HsdStatus CallStore::SetSecondCallStatus(int status) {
    Guard guard(lock_);
    second_->status = status;
    return HSD_OK;
}

HsdStatus CallStore::GetSecondCallStatus(int* status) {
    Guard guard(lock_);
    if (status == nullptr) {
        return E_FAIL;
    }
    *status = second_->status;
    return HSD_OK;
}

HsdStatus CallStore::SetSecondCallDisplayName(const char* text, int length) {
    Guard guard(lock_);
    second_->displayName.Set(text, length);
    second_->detailsLoaded = 1;
    return HSD_OK;
}

HsdStatus CallStore::SetSecondCallHandle(const char* text, int length) {
    Guard guard(lock_);
    second_->handle.Set(text, length);
    return HSD_OK;
}

HsdStatus CallStore::SetSecondCallType(int type) {
    Guard guard(lock_);
    second_->type = type;
    return HSD_OK;
}

HsdStatus CallStore::SetSecondCallSeen(int value) {
    Guard guard(lock_);
    second_->seen = value;
    return HSD_OK;
}

HsdStatus CallStore::CommitSecondCall() {
    Guard guard(lock_);
    return Commit(*second_, false);
}

HsdStatus CallStore::SetSecondCallTimestamp(int time) {
    Guard guard(lock_);
    second_->timestamp = time;
    return HSD_OK;
}

HsdStatus CallStore::SetSecondCallDuration(int seconds) {
    Guard guard(lock_);
    second_->duration = seconds;
    return HSD_OK;
}

// Writes a followed call into the list through the store's own operations:
// a new id enters at the front, a listed one keeps its place.
HsdStatus CallStore::Commit(const CallRecord& record, bool withDuration) {
    AddCall(record.id, 1);
    SetCallStatus(record.id, record.status);
    SetCallType(record.id, record.type);
    SetCallSeen(record.id, record.seen);
    SetCallDetailsLoaded(record.id, record.detailsLoaded);

    char text[kTextBufferSize] = {};
    record.displayName.CopyTo(text);
    SetCallDisplayName(record.id, text, static_cast<int>(std::strlen(text)));
    std::memset(text, 0, sizeof(text));
    record.handle.CopyTo(text);
    SetCallHandle(record.id, text, static_cast<int>(std::strlen(text)));

    SetCallTimestamp(record.id, record.timestamp);
    if (withDuration) {
        SetCallDuration(record.id, record.duration);
    }
    return HSD_OK;
}

// ---- browsing and the shown call ----

HsdStatus CallStore::ResetCallBrowse() {
    Guard guard(lock_);
    cursor_ = 0;
    lastMatch_ = -1;
    shownType_ = CALLTYPE_NONE;
    shownStatus_ = CALLSTATUS_NONE;
    std::memset(shownHandle_, 0, sizeof(shownHandle_));
    std::memset(shownName_, 0, sizeof(shownName_));
    handleReadPos_ = 0;
    shownTimestamp_ = 0;
    shownDuration_ = 0;
    return HSD_OK;
}

HsdStatus CallStore::SetListMode(int mode) {
    Guard guard(lock_);
    listMode_ = mode;
    return HSD_OK;
}

bool CallStore::MatchesListMode(const CallRecord& record) const {
    switch (listMode_) {
        case CALLLIST_RECEIVED:
            return IsIncoming(record.type) && record.status != CALLSTATUS_MISSED;
        case CALLLIST_DIALLED:
            return IsOutgoing(record.type);
        case CALLLIST_MISSED:
            return IsIncoming(record.type) && record.status == CALLSTATUS_MISSED;
        default:
            return false;
    }
}

HsdStatus CallStore::BrowseCalls(int direction, int advance, int* id) {
    Guard guard(lock_);
    direction_ = direction;
    const int count = static_cast<int>(m_CallingLists.size());
    if (count == 0 || cursor_ == -1) {
        return E_FAIL;
    }

    auto take = [&](int index) {
        lastMatch_ = index;
        shownId_ = m_CallingLists[static_cast<std::size_t>(index)]->id;
        if (id != nullptr) {
            *id = shownId_;
        }
        handleReadPos_ = 0;
        return HSD_OK;
    };

    if (direction != 0) {
        // The list may have been rebuilt shorter under the cursor; a cursor
        // past its end stands just behind the last entry.
        if (cursor_ > count) {
            cursor_ = count;
        }
        while (cursor_ > 0) {
            --cursor_;
            if (MatchesListMode(*m_CallingLists[static_cast<std::size_t>(cursor_)])) {
                return take(cursor_);
            }
        }
    } else {
        if (cursor_ > count - 1) {
            cursor_ = count - 1;
        } else if (cursor_ < count - 1 && advance != 0) {
            ++cursor_;
        }
        for (int index = cursor_; index < count; ++index) {
            cursor_ = index;
            if (MatchesListMode(*m_CallingLists[static_cast<std::size_t>(index)])) {
                return take(index);
            }
        }
    }

    cursor_ = lastMatch_;
    handleReadPos_ = 0;
    shownTimestamp_ = 0;
    shownDuration_ = 0;
    return E_FAIL;
}

HsdStatus CallStore::HasBrowsePosition() {
    Guard guard(lock_);
    return cursor_ == -1 ? E_FAIL : HSD_OK;
}

HsdStatus CallStore::RefreshShownCall(int id) {
    Guard guard(lock_);
    if (id != shownId_) {
        return HSD_OK;
    }
    const CallRecord* record = FindCallRecord(id);
    if (record == nullptr) {
        return HSD_OK;
    }
    LoadField(shownHandle_, record->handle);
    shownType_ = record->type;
    shownStatus_ = record->status;
    LoadField(shownName_, record->displayName);
    shownTimestamp_ = record->timestamp;
    shownDuration_ = record->duration;
    FormatShownTexts();
    return HSD_OK;
}

HsdStatus CallStore::ClearShownCall() {
    Guard guard(lock_);
    std::memset(shownName_, 0, sizeof(shownName_));
    std::memset(shownHandle_, 0, sizeof(shownHandle_));
    shownTimestamp_ = 0;
    shownDuration_ = 0;
    timeText_.clear();
    // The preset type and status let the LCD label an entry that is still
    // loading with the list it belongs to.
    switch (listMode_) {
        case CALLLIST_DIALLED:
            shownType_ = CALLTYPE_OUTGOING_P2P;
            break;
        case CALLLIST_RECEIVED:
            shownType_ = CALLTYPE_INCOMING_P2P;
            break;
        case CALLLIST_MISSED:
            shownStatus_ = CALLSTATUS_MISSED;
            shownType_ = CALLTYPE_INCOMING_P2P;
            break;
        default:
            break;
    }
    return HSD_OK;
}

std::string CallStore::FormatDuration(unsigned int seconds) {
    char text[32] = {};
    std::snprintf(text, sizeof(text), "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

void CallStore::FormatTimeText() {
    timeText_ = FormatLocalTime(shownTimestamp_);
    timeReadPos_ = 0;
}

HsdStatus CallStore::FormatShownTexts() {
    Guard guard(lock_);
    timeText_.clear();
    if (shownTimestamp_ == 0) {
        timeReadPos_ = 0;
        return E_FAIL;
    }
    FormatTimeText();
    if (shownDuration_ == 0) {
        durationText_.clear();
        durationReadPos_ = 0;
        return E_FAIL;
    }
    durationText_ = FormatDuration(static_cast<unsigned int>(shownDuration_));
    durationReadPos_ = 0;
    return HSD_OK;
}

HsdStatus CallStore::SetShownDurationText(unsigned int seconds) {
    Guard guard(lock_);
    durationText_ = FormatDuration(seconds);
    durationReadPos_ = 0;
    return HSD_OK;
}

HsdStatus CallStore::GetShownDisplayName(char* buffer) {
    Guard guard(lock_);
    if (buffer == nullptr || shownName_[0] == '\0') {
        return E_FAIL;
    }
    std::memcpy(buffer, shownName_, std::strlen(shownName_));
    return HSD_OK;
}

HsdStatus CallStore::GetShownHandle(char* buffer) {
    Guard guard(lock_);
    if (buffer == nullptr || shownHandle_[0] == '\0') {
        return E_FAIL;
    }
    std::memcpy(buffer, shownHandle_, std::strlen(shownHandle_));
    return HSD_OK;
}

HsdStatus CallStore::GetShownType(int* type) {
    Guard guard(lock_);
    if (type == nullptr) {
        return E_FAIL;
    }
    *type = shownType_;
    return HSD_OK;
}

HsdStatus CallStore::GetShownStatus(int* status) {
    Guard guard(lock_);
    if (status == nullptr) {
        return E_FAIL;
    }
    *status = shownStatus_;
    return HSD_OK;
}

// The handle is handed out once per browse step: at its end the position
// stays put, and only a browse or a reset starts it again.
HsdStatus CallStore::ReadShownHandleChar(char* ch) {
    Guard guard(lock_);
    if (ch == nullptr) {
        return E_FAIL;
    }
    const int length = static_cast<int>(std::strlen(shownHandle_));
    if (handleReadPos_ < 0 || handleReadPos_ >= length) {
        return E_FAIL;
    }
    *ch = shownHandle_[handleReadPos_++];
    return HSD_OK;
}

// Hands out a text once and then starts over: at the end the position goes
// back to the first character.
HsdStatus CallStore::ReadTextChar(const std::string& text, int& readPos, char* ch) {
    if (ch == nullptr || text.empty()) {
        return E_FAIL;
    }
    if (readPos < 0 || readPos >= static_cast<int>(text.size())) {
        readPos = 0;
        return E_FAIL;
    }
    *ch = text[static_cast<std::size_t>(readPos++)];
    return HSD_OK;
}

HsdStatus CallStore::ReadShownTimeChar(char* ch) {
    Guard guard(lock_);
    return ReadTextChar(timeText_, timeReadPos_, ch);
}

HsdStatus CallStore::ReadShownDurationChar(char* ch) {
    Guard guard(lock_);
    return ReadTextChar(durationText_, durationReadPos_, ch);
}

HsdStatus CallStore::CountMissedCalls(int* count) {
    Guard guard(lock_);
    if (count == nullptr) {
        return E_FAIL;
    }
    int missed = 0;
    for (const auto& record : m_CallingLists) {
        if (IsIncoming(record->type) && record->status == CALLSTATUS_MISSED && record->seen == 0) {
            ++missed;
        }
    }
    *count = missed;
    return HSD_OK;
}

// ---- snapshots ----

std::vector<CallRecord> CallStore::SnapshotCalls() {
    Guard guard(lock_);
    std::vector<CallRecord> calls;
    calls.reserve(m_CallingLists.size());
    for (const auto& record : m_CallingLists) {
        calls.push_back(*record);
    }
    return calls;
}

CallRecord CallStore::SnapshotCurrentCall() {
    Guard guard(lock_);
    return *current_;
}

CallRecord CallStore::SnapshotSecondCall() {
    Guard guard(lock_);
    return *second_;
}
