// User, profile and connection notifications: the protocol version, the
// contacts and their names and online status, the user's own status, the
// SkypeOut privilege and balance, the signed-in user, mute and the audio
// devices. Runs on the notification thread.
#include <cstring>

#include "AccessSkypeAPI.h"
#include "HsdFontProcess.h"
#include "NotificationText.h"
#include "UserStore.h"

namespace {

constexpr std::size_t kSecondWordSize = 1024;
constexpr std::size_t kThirdWordSize = 512;
constexpr std::size_t kFourthWordSize = 256;
// The font component converts into a zeroed buffer of this size.
constexpr std::size_t kConvertedNameSize = 255;

constexpr unsigned char kHandsetOffLine = 0x07;
constexpr unsigned char kHandsetMuteOn = 0x2F;
constexpr unsigned char kHandsetMuteOff = 0x2E;

constexpr int kStatusOnLine = 0;
constexpr int kStatusNotOnLine = 1;

// The user's status code for a USERSTATUS word.
int UserStatusCode(const char* word) {
    struct Entry {
        const char* word;
        int code;
    };
    static constexpr Entry kCodes[] = {
        {"ONLINE", 0}, {"SKYPEME", 2}, {"AWAY", 3}, {"NA", 4}, {"DND", 5}, {"INVISIBLE", 6},
    };
    for (const Entry& entry : kCodes) {
        if (std::strcmp(word, entry.word) == 0) {
            return entry.code;
        }
    }
    return kStatusNotOnLine;
}

// A contact's online status as the contact store keeps it.
int ContactStatus(const char* word) {
    static constexpr const char* kOnLineWords[] = {"ONLINE", "AWAY",    "NA",
                                                   "DND",    "SKYPEME", "SKYPEOUT"};
    for (const char* onLine : kOnLineWords) {
        if (std::strcmp(word, onLine) == 0) {
            return USER_ONLINE;
        }
    }
    return USER_OFFLINE;
}

int TextLength(const char* text) {
    return static_cast<int>(std::strlen(text));
}

}  // namespace

void CAccessSkypeAPI::HandleProtocol(const char* text) {
    char number[kSecondWordSize];
    NotificationWord(text, 1, number, sizeof(number));
    const long long version = DecimalLong(number);
    const int protocol = version < 0 ? 0 : ClampToInt(version);
    m_ports.handset->SetProtocolVersion(protocol);
    if (protocol > 2) {
        SendSkypeCommand(SKYPE_CMD_NAME, nullptr, 0);
    }
    UpdateTrayState();
}

void CAccessSkypeAPI::HandleUser(const char* text) {
    char handle[kSecondWordSize];
    char property[kThirdWordSize];
    char value[kFourthWordSize];
    NotificationWord(text, 1, handle, sizeof(handle));
    NotificationWord(text, 2, property, sizeof(property));
    NotificationWord(text, 3, value, sizeof(value));
    I_UserStore& users = *m_ports.users;

    if (std::strcmp(property, "ONLINESTATUS") == 0) {
        const int status = ContactStatus(value);
        if (status == USER_OFFLINE && std::strcmp(value, "OFFLINE") != 0) {
            Trace("The Status of the user (%s) is incorrectly....\n", handle);
        }
        users.SetUserStatus(handle, status);
        return;
    }
    if (std::strcmp(property, "FULLNAME") == 0) {
        char name[kFourthWordSize];
        JoinWordsFrom(text, 3, name, sizeof(name));
        if (name[0] == '\0') {
            // The handle stands in for a missing name.
            users.SetUserDisplayName(handle, handle, TextLength(handle) + 1);
        } else {
            users.SetUserDisplayName(handle, name, TextLength(name));
        }
        SendSkypeCommand(SKYPE_CMD_GET_USER_ONLINESTATUS, handle, 0);
        return;
    }
    if (std::strcmp(property, "DISPLAYNAME") == 0) {
        char name[kFourthWordSize];
        JoinWordsFrom(text, 3, name, sizeof(name));
        if (m_ports.handset->GetProtocolVersion() < 4 || name[0] != '\0') {
            users.SetUserDisplayName(handle, name, TextLength(name));
            SendSkypeCommand(SKYPE_CMD_GET_USER_ONLINESTATUS, handle, 0);
        } else {
            // No display name set: the full name replaces it.
            SendSkypeCommand(SKYPE_CMD_GET_USER_FULLNAME, handle, 0);
        }
        return;
    }
    if (std::strcmp(property, "BUDDYSTATUS") == 0) {
        const int buddy = DecimalInt(value);
        if (buddy == 1) {
            users.RemoveUser(handle);
        } else if (buddy == 2 || buddy == 3) {
            users.AddUserIfAbsent(handle, USER_OFFLINE);
            SendSkypeCommand(SKYPE_CMD_GET_USER_FULLNAME, handle, 0);
            SendSkypeCommand(SKYPE_CMD_GET_USER_ONLINESTATUS, handle, 0);
        }
    }
}

void CAccessSkypeAPI::ReportOffLine() {
    m_ports.handset->SendHandsetCommand(kHandsetOffLine);
    // The next link start sends its handset commands again.
    m_ports.handset->ClearHandsetActive();
}

void CAccessSkypeAPI::HandleConnStatus(const char* text) {
    char word[kSecondWordSize];
    NotificationWord(text, 1, word, sizeof(word));
    const int status = std::strcmp(word, "ONLINE") == 0 ? kStatusOnLine : kStatusNotOnLine;
    m_nUserStatus = status;
    if (status == kStatusNotOnLine) {
        ReportOffLine();
    } else if (m_bCallsLoaded.load() != 0) {
        m_ports.handset->StartHandsetLink();
    }
    UpdateTrayState();
}

void CAccessSkypeAPI::HandleUserStatus(const char* text) {
    char word[kSecondWordSize];
    NotificationWord(text, 1, word, sizeof(word));
    const int status = UserStatusCode(word);
    m_nUserStatus = status;
    if (status == kStatusNotOnLine) {
        ReportOffLine();
    }
    UpdateTrayState();
    SendUserStatusToHandset(status);
}

void CAccessSkypeAPI::HandlePrivilege(const char* text) {
    char name[kSecondWordSize];
    char value[kThirdWordSize];
    NotificationWord(text, 1, name, sizeof(name));
    NotificationWord(text, 2, value, sizeof(value));
    if (!EqualsIgnoringCase(name, "skypeout")) {
        return;
    }
    m_ports.users->SetBalance(0);
    if (EqualsIgnoringCase(value, "TRUE")) {
        SendSkypeCommand(SKYPE_CMD_GET_PROFILE_PSTN_BALANCE, nullptr, 0);
    }
}

void CAccessSkypeAPI::HandleProfile(const char* text) {
    char property[kSecondWordSize];
    char value[kThirdWordSize];
    NotificationWord(text, 1, property, sizeof(property));
    NotificationWord(text, 2, value, sizeof(value));
    if (std::strcmp(property, "PSTN_BALANCE") == 0) {
        m_ports.users->SetBalance(DecimalInt(value));
    }
}

void CAccessSkypeAPI::HandleCurrentUserHandle(const char* text) {
    {
        std::lock_guard<std::mutex> lock(m_csAudioNames);
        std::memset(m_szCurrentUserHandle, 0, sizeof(m_szCurrentUserHandle));
        NotificationWord(text, 1, m_szCurrentUserHandle, sizeof(m_szCurrentUserHandle));
    }
    // A new sign-in starts with empty lists; the next searches refill them.
    m_ports.users->ClearUsers();
    m_ports.calls->ClearCalls();
    m_ports.users->ResetUserBrowse();
    m_ports.calls->ResetCallBrowse();
}

std::string CAccessSkypeAPI::CurrentUserHandle() {
    std::lock_guard<std::mutex> lock(m_csAudioNames);
    return m_szCurrentUserHandle;
}

void CAccessSkypeAPI::HandleMute(const char* text) {
    char word[kSecondWordSize];
    NotificationWord(text, 1, word, sizeof(word));
    m_ports.handset->StopTransferAndWait();
    m_ports.handset->SendHandsetCommand(std::strcmp(word, "ON") == 0 ? kHandsetMuteOn
                                                                     : kHandsetMuteOff);
}

void CAccessSkypeAPI::HandleAudioDevice(const char* text, bool input) {
    char name[kFourthWordSize];
    JoinWordsFrom(text, 1, name, sizeof(name));
    unsigned char converted[kConvertedNameSize] = {};
    if (CHsdFontProcess* font = m_pFontProcess.load()) {
        font->UTF_8ToUnicode2Font(name, converted);
    }
    converted[kConvertedNameSize - 1] = '\0';
    // Each reply names the device in use now, so it replaces the name kept
    // from an earlier attach instead of being added to it.
    std::lock_guard<std::mutex> lock(m_csAudioNames);
    (input ? m_strAudioIn : m_strAudioOut) = reinterpret_cast<const char*>(converted);
}
