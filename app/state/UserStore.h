// The contact store: the user's Skype contacts in order of arrival, their
// display order (online contacts first, names alphabetical, kept by local
// moves), the contact shown on the handset, the caller texts and the SkypeOut
// balance. One re-entrant lock guards all of it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "ByteText.h"
#include "HsdStatus.h"
#include "SkypeCommandSender.h"

// onlineStatus values of a contact.
inline constexpr int USER_OFFLINE = 0;
inline constexpr int USER_ONLINE = 3;

// Command code that asks Skype for a user's display name.
inline constexpr unsigned char kGetUserDisplayNameCommand = 15;

struct UserRecord {
    std::uint32_t position = 0;  // index in m_UserLists
    std::string handle;
    int onlineStatus = USER_OFFLINE;
    ByteText displayName;
    std::string sortKey;  // displayName upper-cased, kept with it
};

// The operations of the contact store, in their fixed order. Every operation
// returns 0 or E_FAIL (AddUserIfAbsent: E_FAIL when it added); a null
// out-parameter fails. Text buffers are kTextBufferSize bytes.
class I_UserStore {
public:
    virtual HsdStatus AddUserIfAbsent(const char* handle, int status) = 0;
    virtual HsdStatus RemoveUser(const char* handle) = 0;
    virtual HsdStatus ClearUsers() = 0;
    virtual HsdStatus SetUserStatus(const char* handle, int status) = 0;
    virtual HsdStatus GetShownUserStatus(int* status) = 0;
    virtual HsdStatus ResetUserBrowse() = 0;
    virtual HsdStatus GetUserCount(int* count) = 0;
    virtual HsdStatus SetCallerHandleText(const char* text) = 0;
    virtual HsdStatus ReadCallerHandleChar(char* ch) = 0;
    virtual HsdStatus SetCallerNameText(const char* text) = 0;
    virtual HsdStatus ReadShownUserHandleChar(char* ch) = 0;
    virtual HsdStatus SetShowAllUsers(int showAll) = 0;
    // The shown contact's handle, zero-terminated. The text belongs to the
    // calling thread and stays valid until that thread's next call of this
    // operation, whatever other threads do to the store meanwhile.
    virtual HsdStatus GetShownUserHandle(const char** handle) = 0;
    virtual HsdStatus BrowseUsers(int direction, int advance) = 0;
    virtual HsdStatus SetUserDisplayName(const char* handle, const char* text, int length) = 0;
    virtual HsdStatus GetShownUserDisplayName(char* buffer) = 0;
    virtual HsdStatus LoadUserList(const char* text) = 0;
    virtual HsdStatus ReorderForStatus(std::uint32_t position, int status) = 0;
    virtual HsdStatus ReorderForName(std::uint32_t position) = 0;
    virtual HsdStatus SetBalance(int balance) = 0;
    virtual HsdStatus GetBalance(int* balance) = 0;
    virtual ~I_UserStore() = default;
};

class UserStore : public I_UserStore {
public:
    UserStore() = default;
    ~UserStore() override;
    UserStore(const UserStore&) = delete;
    UserStore& operator=(const UserStore&) = delete;

    // The Skype link that LoadUserList asks for display names; set once at
    // start-up, before notifications arrive. May stay null (nothing is asked).
    void SetSkypeCommandSender(I_SkypeCommandSender* sender);

    HsdStatus AddUserIfAbsent(const char* handle, int status) override;
    HsdStatus RemoveUser(const char* handle) override;
    HsdStatus ClearUsers() override;
    HsdStatus SetUserStatus(const char* handle, int status) override;
    HsdStatus GetShownUserStatus(int* status) override;
    HsdStatus ResetUserBrowse() override;
    HsdStatus GetUserCount(int* count) override;
    HsdStatus SetCallerHandleText(const char* text) override;
    HsdStatus ReadCallerHandleChar(char* ch) override;
    HsdStatus SetCallerNameText(const char* text) override;
    HsdStatus ReadShownUserHandleChar(char* ch) override;
    HsdStatus SetShowAllUsers(int showAll) override;
    HsdStatus GetShownUserHandle(const char** handle) override;
    HsdStatus BrowseUsers(int direction, int advance) override;
    HsdStatus SetUserDisplayName(const char* handle, const char* text, int length) override;
    HsdStatus GetShownUserDisplayName(char* buffer) override;
    HsdStatus LoadUserList(const char* text) override;
    HsdStatus ReorderForStatus(std::uint32_t position, int status) override;
    HsdStatus ReorderForName(std::uint32_t position) override;
    HsdStatus SetBalance(int balance) override;
    HsdStatus GetBalance(int* balance) override;

    // Consistent copies taken under the lock, for diagnostics and tests.
    // The records, and when order is given, the display order with them.
    std::vector<UserRecord> SnapshotUsers(std::vector<std::uint32_t>* order = nullptr);
    std::vector<std::uint32_t> SnapshotOrder();
    std::string SnapshotCallerName();

private:
    UserRecord* FindUser(const char* handle);
    int IndexInOrder(std::uint32_t position) const;
    void Show(const UserRecord& record);

    std::recursive_mutex lock_;
    I_SkypeCommandSender* sender_ = nullptr;

    std::deque<std::unique_ptr<UserRecord>> m_UserLists;
    std::vector<std::uint32_t> order_;
    // Contacts by handle folded to lower case; handles are unique ignoring case.
    std::unordered_map<std::string, UserRecord*> byHandle_;

    int cursor_ = 0;
    int lastMatch_ = 0;
    int showAll_ = 0;
    int direction_ = 0;
    std::string shownHandle_;
    int shownReadPos_ = 0;
    char shownDisplayName_[kTextBufferSize] = {};
    int shownStatus_ = 0;
    std::string callerHandle_;
    int callerReadPos_ = 0;
    std::string callerName_;
    int balance_ = 0;
    std::string userListText_;
};
