// Codes the Skype link works with: the one-byte command codes of
// SendSkypeCommand, the queue-API requests, and the first words of the
// notifications the dispatcher recognises.
#pragma once

enum SkypeCommandCode : unsigned char {
    SKYPE_CMD_PROTOCOL = 1,
    SKYPE_CMD_PING = 2,
    SKYPE_CMD_SET_AUDIO_IN = 3,
    SKYPE_CMD_SET_AUDIO_OUT = 4,
    SKYPE_CMD_GET_SKYPEVERSION = 5,
    SKYPE_CMD_SEARCH_FRIENDS = 6,
    SKYPE_CMD_GET_USER_ONLINESTATUS = 7,
    SKYPE_CMD_GET_CALL_PARTNER_HANDLE = 8,
    SKYPE_CMD_GET_CALL_PARTNER_DISPNAME = 9,
    SKYPE_CMD_GET_USER_FULLNAME = 10,
    SKYPE_CMD_GET_CALL_TYPE = 11,
    SKYPE_CMD_SEARCH_CALLS = 12,
    SKYPE_CMD_GET_CALL_TIMESTAMP = 13,
    // 14: no command
    SKYPE_CMD_GET_USER_DISPLAYNAME = 15,
    SKYPE_CMD_NAME = 16,
    SKYPE_CMD_GET_CALL_DURATION = 17,
    SKYPE_CMD_GET_AUDIO_IN = 18,
    SKYPE_CMD_GET_AUDIO_OUT = 19,
    SKYPE_CMD_HOOK_ON = 20,
    SKYPE_CMD_GET_CALL_STATUS = 21,
    SKYPE_CMD_GET_CALL_SEEN = 22,
    SKYPE_CMD_GET_PROFILE_PSTN_BALANCE = 23,
    SKYPE_CMD_GET_PRIVILEGE_SKYPEOUT = 24,
    SKYPE_CMD_SEARCH_MISSEDCALLS = 25,
    // 26: no command
    SKYPE_CMD_RESET_AUDIO_IN = 27,
    SKYPE_CMD_RESET_AUDIO_OUT = 28,
    SKYPE_CMD_GET_CURRENTUSERHANDLE = 29,
    SKYPE_CMD_GET_USERSTATUS = 30,
    SKYPE_CMD_SET_RINGER = 31,
    SKYPE_CMD_RESET_RINGER = 32,
};

// Requests carried out by a queue-API worker.
enum QueueAPIRequest : int {
    QAPI_DISCOVER = 1,
    QAPI_ATTACHED = 2,
    QAPI_SET_AUDIO_DEVICES = 4,
    QAPI_RELEASE = 5,
};

// First word of a notification, in the order the dispatcher tests them.
enum class SkypeNotification {
    Call,                // "CALL"
    Protocol,            // "PROTOCOL"
    CallHistoryChanged,  // "CALLHISTORYCHANGED"
    Calls,               // "CALLS"
    Users,               // "USERS"
    User,                // "USER"
    ConnStatus,          // "CONNSTATUS"
    Privilege,           // "PRIVILEGE"
    Profile,             // "PROFILE"
    UserStatus,          // "USERSTATUS"
    AutoAway,            // "AUTOAWAY"
    CurrentUserHandle,   // "CURRENTUSERHANDLE"
    Mute,                // "MUTE"
    AudioIn,             // "AUDIO_IN"
    AudioOut,            // "AUDIO_OUT"
    Other,               // any other first word: ignored
};

// The notification's first blank-separated word, compared case-sensitively.
SkypeNotification ClassifyNotification(const char* text);

// True for the notifications about calls (CALL, CALLS, CALLHISTORYCHANGED).
bool IsCallNotification(SkypeNotification kind);
