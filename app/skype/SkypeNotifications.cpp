// Recognising a notification by its first word.
#include <cstring>

#include "SkypeCommandCodes.h"

namespace {

struct FirstWord {
    const char* word;
    SkypeNotification kind;
};

// The order in which the first word is compared.
constexpr FirstWord kFirstWords[] = {
    {"CALL", SkypeNotification::Call},
    {"PROTOCOL", SkypeNotification::Protocol},
    {"CALLHISTORYCHANGED", SkypeNotification::CallHistoryChanged},
    {"CALLS", SkypeNotification::Calls},
    {"USERS", SkypeNotification::Users},
    {"USER", SkypeNotification::User},
    {"CONNSTATUS", SkypeNotification::ConnStatus},
    {"PRIVILEGE", SkypeNotification::Privilege},
    {"PROFILE", SkypeNotification::Profile},
    {"USERSTATUS", SkypeNotification::UserStatus},
    {"AUTOAWAY", SkypeNotification::AutoAway},
    {"CURRENTUSERHANDLE", SkypeNotification::CurrentUserHandle},
    {"MUTE", SkypeNotification::Mute},
    {"AUDIO_IN", SkypeNotification::AudioIn},
    {"AUDIO_OUT", SkypeNotification::AudioOut},
};

}  // namespace

SkypeNotification ClassifyNotification(const char* text) {
    if (text == nullptr) {
        return SkypeNotification::Other;
    }
    std::size_t length = 0;
    while (text[length] != '\0' && text[length] != ' ') {
        ++length;
    }
    for (const FirstWord& entry : kFirstWords) {
        if (std::strlen(entry.word) == length && std::memcmp(entry.word, text, length) == 0) {
            return entry.kind;
        }
    }
    return SkypeNotification::Other;
}

bool IsCallNotification(SkypeNotification kind) {
    return kind == SkypeNotification::Call || kind == SkypeNotification::Calls ||
           kind == SkypeNotification::CallHistoryChanged;
}
