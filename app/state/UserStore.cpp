#include "UserStore.h"

#include <algorithm>
#include <cstring>

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

std::string FoldHandle(const char* handle) {
    std::string folded(handle);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

// The sort key: the display name with ASCII letters upper-cased; the bytes of
// multibyte characters stay as they are.
std::string MakeSortKey(const std::string& name) {
    std::string key(name);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return key;
}

// Compares keys as unsigned byte strings; a proper prefix sorts first.
int CompareKeys(const std::string& a, const std::string& b) {
    const std::size_t common = std::min(a.size(), b.size());
    const int byBytes = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
    if (byBytes != 0) {
        return byBytes;
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

// Hands out a text once and then starts over: at the end the position goes
// back to the first character.
HsdStatus ReadTextChar(const std::string& text, int& readPos, char* ch) {
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

}  // namespace

UserStore::~UserStore() = default;

void UserStore::SetSkypeCommandSender(I_SkypeCommandSender* sender) {
    Guard guard(lock_);
    sender_ = sender;
}

UserRecord* UserStore::FindUser(const char* handle) {
    if (handle == nullptr) {
        return nullptr;
    }
    const auto it = byHandle_.find(FoldHandle(handle));
    return it != byHandle_.end() ? it->second : nullptr;
}

int UserStore::IndexInOrder(std::uint32_t position) const {
    const auto it = std::find(order_.begin(), order_.end(), position);
    return it != order_.end() ? static_cast<int>(it - order_.begin()) : -1;
}

HsdStatus UserStore::AddUserIfAbsent(const char* handle, int status) {
    Guard guard(lock_);
    // Nothing to add without a handle: report "not added".
    if (handle == nullptr || handle[0] == '\0') {
        return HSD_OK;
    }
    std::string folded = FoldHandle(handle);
    if (byHandle_.count(folded) != 0) {
        return HSD_OK;
    }
    auto record = std::make_unique<UserRecord>();
    record->position = static_cast<std::uint32_t>(m_UserLists.size());
    record->handle = handle;
    record->onlineStatus = status;
    byHandle_.emplace(std::move(folded), record.get());
    // Unsorted at first: the contact moves when its status or name arrives.
    order_.push_back(record->position);
    m_UserLists.push_back(std::move(record));
    return E_FAIL;
}

HsdStatus UserStore::RemoveUser(const char* handle) {
    Guard guard(lock_);
    UserRecord* record = FindUser(handle);
    if (record == nullptr) {
        return HSD_OK;
    }
    const std::uint32_t k = record->position;
    byHandle_.erase(FoldHandle(record->handle.c_str()));
    m_UserLists.erase(m_UserLists.begin() + static_cast<std::ptrdiff_t>(k));
    const auto inOrder = std::find(order_.begin(), order_.end(), k);
    if (inOrder != order_.end()) {
        order_.erase(inOrder);
    }
    for (std::size_t index = k; index < m_UserLists.size(); ++index) {
        --m_UserLists[index]->position;
    }
    for (std::uint32_t& position : order_) {
        if (position >= k) {
            --position;
        }
    }
    return HSD_OK;
}

HsdStatus UserStore::ClearUsers() {
    Guard guard(lock_);
    byHandle_.clear();
    order_.clear();
    m_UserLists.clear();
    return HSD_OK;
}

HsdStatus UserStore::SetUserStatus(const char* handle, int status) {
    Guard guard(lock_);
    UserRecord* record = FindUser(handle);
    if (record == nullptr) {
        return E_FAIL;
    }
    if (record->onlineStatus != status) {
        record->onlineStatus = status;
        ReorderForStatus(record->position, status);
    }
    return HSD_OK;
}

HsdStatus UserStore::SetUserDisplayName(const char* handle, const char* text, int length) {
    Guard guard(lock_);
    UserRecord* record = FindUser(handle);
    if (record == nullptr) {
        return E_FAIL;
    }
    record->displayName.Set(text, length);
    record->sortKey = MakeSortKey(record->displayName.Bytes());
    ReorderForName(record->position);
    return HSD_OK;
}

// Moves one contact after a status change; the others keep their relative
// order. Coming online, it climbs past offline contacts and past online ones
// whose names are not smaller; going offline, it sinks past online contacts
// and offline ones with smaller names.
HsdStatus UserStore::ReorderForStatus(std::uint32_t position, int status) {
    Guard guard(lock_);
    const int i = IndexInOrder(position);
    if (i < 0 || position >= m_UserLists.size()) {
        return E_FAIL;
    }
    const std::string& key = m_UserLists[position]->sortKey;
    int count = 0;
    if (status == USER_ONLINE) {
        for (int j = i - 1; j >= 0; --j) {
            const UserRecord& other = *m_UserLists[order_[static_cast<std::size_t>(j)]];
            if (other.onlineStatus != USER_ONLINE) {
                ++count;
                continue;
            }
            if (CompareKeys(key, other.sortKey) > 0) {
                break;
            }
            ++count;
        }
        if (count > 0) {
            order_.erase(order_.begin() + i);
            order_.insert(order_.begin() + (i - count), position);
        }
    } else {
        const int size = static_cast<int>(order_.size());
        for (int j = i + 1; j < size; ++j) {
            const UserRecord& other = *m_UserLists[order_[static_cast<std::size_t>(j)]];
            if (other.onlineStatus != USER_OFFLINE) {
                ++count;
                continue;
            }
            if (CompareKeys(key, other.sortKey) > 0) {
                ++count;
                continue;
            }
            break;
        }
        if (count > 0) {
            order_.erase(order_.begin() + i);
            order_.insert(order_.begin() + (i + count), position);
        }
    }
    return HSD_OK;
}

// Moves one contact towards the front after a name change, past contacts
// with greater names, regardless of their status.
HsdStatus UserStore::ReorderForName(std::uint32_t position) {
    Guard guard(lock_);
    const int i = IndexInOrder(position);
    if (i < 0 || position >= m_UserLists.size()) {
        return E_FAIL;
    }
    const std::string& key = m_UserLists[position]->sortKey;
    int count = 0;
    for (int j = i - 1; j >= 0; --j) {
        const int compared =
            CompareKeys(key, m_UserLists[order_[static_cast<std::size_t>(j)]]->sortKey);
        if (compared > 0) {
            break;
        }
        if (compared < 0) {
            ++count;
        }
    }
    if (count > 0) {
        order_.erase(order_.begin() + i);
        order_.insert(order_.begin() + (i - count), position);
    }
    return HSD_OK;
}

HsdStatus UserStore::LoadUserList(const char* text) {
    Guard guard(lock_);
    userListText_ = text != nullptr ? text : "";
    bool first = true;
    std::size_t pos = 0;
    const std::string& list = userListText_;
    while (pos < list.size()) {
        const std::size_t start = list.find_first_not_of(", ", pos);
        if (start == std::string::npos) {
            break;
        }
        std::size_t end = list.find_first_of(", ", start);
        if (end == std::string::npos) {
            end = list.size();
        }
        pos = end;
        if (first) {
            first = false;  // the word that opens the answer
            continue;
        }
        const std::string token = list.substr(start, end - start);
        if (AddUserIfAbsent(token.c_str(), USER_OFFLINE) == E_FAIL && sender_ != nullptr) {
            sender_->SendSkypeCommand(kGetUserDisplayNameCommand, token.c_str(), 0);
        }
    }
    return HSD_OK;
}

// ---- browsing and the shown contact ----

void UserStore::Show(const UserRecord& record) {
    shownHandle_ = record.handle;
    std::memset(shownDisplayName_, 0, sizeof(shownDisplayName_));
    record.displayName.CopyTo(shownDisplayName_);
    shownStatus_ = record.onlineStatus;
    shownReadPos_ = 0;
}

HsdStatus UserStore::BrowseUsers(int direction, int advance) {
    Guard guard(lock_);
    direction_ = direction;
    const int count = static_cast<int>(order_.size());
    if (m_UserLists.empty() || count == 0) {
        return E_FAIL;
    }
    auto contactAt = [&](int index) -> const UserRecord& {
        return *m_UserLists[order_[static_cast<std::size_t>(index)]];
    };

    // Removals may have left the cursor past the end of the order; it then
    // stands just behind the last contact.
    if (direction != 0 && cursor_ > count) {
        cursor_ = count;
    }
    const bool pastEnd = direction == 0 && cursor_ > count - 1;
    if (pastEnd) {
        cursor_ = count - 1;
    }

    if (showAll_ != 0) {
        if (direction != 0) {
            if (cursor_ > 0) {
                --cursor_;
            }
        } else if (!pastEnd && cursor_ < count - 1 && advance != 0) {
            ++cursor_;
        }
        lastMatch_ = cursor_;
        Show(contactAt(cursor_));
        return HSD_OK;
    }

    if (direction != 0) {
        while (cursor_ > 0) {
            --cursor_;
            if (contactAt(cursor_).onlineStatus == USER_ONLINE) {
                lastMatch_ = cursor_;
                Show(contactAt(cursor_));
                return HSD_OK;
            }
        }
    } else {
        if (!pastEnd && cursor_ < count - 1 && advance != 0) {
            ++cursor_;
        }
        for (int index = cursor_; index < count; ++index) {
            cursor_ = index;
            if (contactAt(index).onlineStatus == USER_ONLINE) {
                lastMatch_ = index;
                Show(contactAt(index));
                return HSD_OK;
            }
        }
    }
    cursor_ = lastMatch_;
    shownReadPos_ = 0;
    return E_FAIL;
}

HsdStatus UserStore::ResetUserBrowse() {
    Guard guard(lock_);
    cursor_ = 0;
    shownReadPos_ = 0;
    return HSD_OK;
}

HsdStatus UserStore::SetShowAllUsers(int showAll) {
    Guard guard(lock_);
    showAll_ = showAll;
    return HSD_OK;
}

HsdStatus UserStore::GetShownUserStatus(int* status) {
    Guard guard(lock_);
    if (status == nullptr) {
        return E_FAIL;
    }
    *status = shownStatus_;
    return HSD_OK;
}

HsdStatus UserStore::GetUserCount(int* count) {
    Guard guard(lock_);
    if (count == nullptr) {
        return E_FAIL;
    }
    *count = static_cast<int>(m_UserLists.size());
    return HSD_OK;
}

HsdStatus UserStore::GetShownUserHandle(const char** handle) {
    // A copy per thread: another thread's browse cannot change or free the
    // characters while this thread uses them.
    thread_local std::string copy;
    Guard guard(lock_);
    if (handle == nullptr) {
        return E_FAIL;
    }
    copy = shownHandle_;
    *handle = copy.c_str();
    return HSD_OK;
}

HsdStatus UserStore::GetShownUserDisplayName(char* buffer) {
    Guard guard(lock_);
    if (buffer == nullptr) {
        return E_FAIL;
    }
    std::memset(buffer, 0, kTextBufferSize);
    if (shownDisplayName_[0] == '\0') {
        return E_FAIL;
    }
    std::memcpy(buffer, shownDisplayName_, std::strlen(shownDisplayName_));
    return HSD_OK;
}

HsdStatus UserStore::ReadShownUserHandleChar(char* ch) {
    Guard guard(lock_);
    return ReadTextChar(shownHandle_, shownReadPos_, ch);
}

// ---- caller texts and balance ----

HsdStatus UserStore::SetCallerHandleText(const char* text) {
    Guard guard(lock_);
    callerHandle_ = text != nullptr ? text : "";
    callerReadPos_ = 0;
    return HSD_OK;
}

HsdStatus UserStore::ReadCallerHandleChar(char* ch) {
    Guard guard(lock_);
    return ReadTextChar(callerHandle_, callerReadPos_, ch);
}

HsdStatus UserStore::SetCallerNameText(const char* text) {
    Guard guard(lock_);
    callerName_ = text != nullptr ? text : "";
    return HSD_OK;
}

HsdStatus UserStore::SetBalance(int balance) {
    Guard guard(lock_);
    balance_ = balance;
    return HSD_OK;
}

HsdStatus UserStore::GetBalance(int* balance) {
    Guard guard(lock_);
    if (balance == nullptr) {
        return E_FAIL;
    }
    *balance = balance_;
    return HSD_OK;
}

// ---- snapshots ----

std::vector<UserRecord> UserStore::SnapshotUsers(std::vector<std::uint32_t>* order) {
    Guard guard(lock_);
    if (order != nullptr) {
        *order = order_;
    }
    std::vector<UserRecord> users;
    users.reserve(m_UserLists.size());
    for (const auto& record : m_UserLists) {
        users.push_back(*record);
    }
    return users;
}

std::vector<std::uint32_t> UserStore::SnapshotOrder() {
    Guard guard(lock_);
    return order_;
}

std::string UserStore::SnapshotCallerName() {
    Guard guard(lock_);
    return callerName_;
}
