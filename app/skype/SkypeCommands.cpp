// The command catalogue: SendSkypeCommand and ShowMissedCalls.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ModeFlags.h"
#include "AccessSkypeAPI.h"
#include "HsdFontProcess.h"
#include "Pause.h"

namespace {

enum class Argument { None, Handle, CallId, Device, Name };

struct CommandFormat {
    const char* format;  // null: the code has no command
    Argument argument;
};

// Indexed by code; code 0 and codes 14 and 26 have no command.
constexpr CommandFormat kCommands[33] = {
    {nullptr, Argument::None},
    {"PROTOCOL 5", Argument::None},
    {"PING", Argument::None},
    {"SET AUDIO_IN %s ", Argument::Device},
    {"SET AUDIO_OUT %s ", Argument::Device},
    {"GET SKYPEVERSION", Argument::None},
    {"SEARCH FRIENDS", Argument::None},
    {"GET USER %s ONLINESTATUS", Argument::Handle},
    {"GET CALL %d PARTNER_HANDLE", Argument::CallId},
    {"GET CALL %d PARTNER_DISPNAME", Argument::CallId},
    {"GET USER %s FULLNAME", Argument::Handle},
    {"GET CALL %d TYPE", Argument::CallId},
    {"SEARCH CALLS", Argument::None},
    {"GET CALL %d TIMESTAMP", Argument::CallId},
    {nullptr, Argument::None},
    {"GET USER %s DISPLAYNAME", Argument::Handle},
    {"NAME %s", Argument::Name},
    {"GET CALL %d DURATION", Argument::CallId},
    {"GET AUDIO_IN", Argument::None},
    {"GET AUDIO_OUT", Argument::None},
    {"HOOK ON", Argument::None},
    {"GET CALL %d STATUS", Argument::CallId},
    {"GET CALL %d SEEN", Argument::CallId},
    {"GET PROFILE PSTN_BALANCE", Argument::None},
    {"GET PRIVILEGE SKYPEOUT", Argument::None},
    {"SEARCH MISSEDCALLS", Argument::None},
    {nullptr, Argument::None},
    {"SET AUDIO_IN", Argument::None},
    {"SET AUDIO_OUT", Argument::None},
    {"GET CURRENTUSERHANDLE", Argument::None},
    {"GET USERSTATUS", Argument::None},
    {"SET RINGER %s ", Argument::Device},
    {"SET RINGER", Argument::None},
};

// Formats into a string of any length; the caller cuts it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string FormatAny(const char* format, Argument argument, const char* text, int number) {
    std::vector<char> buffer(CAccessSkypeAPI::kCommandBufferSize);
    for (;;) {
        int length = 0;
        if (argument == Argument::CallId) {
            length = std::snprintf(buffer.data(), buffer.size(), format, number);
        } else if (argument == Argument::None) {
            length = std::snprintf(buffer.data(), buffer.size(), "%s", format);
        } else {
            length = std::snprintf(buffer.data(), buffer.size(), format, text);
        }
        if (length < 0) {
            return std::string();
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(static_cast<std::size_t>(length) + 1);
    }
}
#pragma GCC diagnostic pop

bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

bool FormatSkypeCommand(unsigned char code, const char* userHandle, int callId,
                        const char* deviceName, const char* name, char* out) {
    std::memset(out, 0, CAccessSkypeAPI::kCommandBufferSize);
    if (code >= sizeof(kCommands) / sizeof(kCommands[0]) || kCommands[code].format == nullptr) {
        return false;
    }
    const CommandFormat& command = kCommands[code];
    const char* text = "";
    switch (command.argument) {
        case Argument::Handle:
            text = userHandle ? userHandle : "";
            break;
        case Argument::Device:
            if (deviceName == nullptr || deviceName[0] == '\0') {
                return false;
            }
            text = deviceName;
            break;
        case Argument::Name:
            text = name ? name : "";
            break;
        default:
            break;
    }
    std::string formatted = FormatAny(command.format, command.argument, text, callId);
    std::size_t length = formatted.size();
    if (length >= CAccessSkypeAPI::kCommandBufferSize) {
        // Cut to the buffer, backing off to the start of a character split by the cut.
        length = CAccessSkypeAPI::kCommandBufferSize - 1;
        while (length > 0 && IsUtf8Continuation(formatted[length])) {
            --length;
        }
    }
    std::memcpy(out, formatted.data(), length);
    return true;
}

HsdStatus CAccessSkypeAPI::SendSkypeCommand(unsigned char code, const char* userHandle,
                                            int callId) {
    char text[kCommandBufferSize];
    // Already UTF-8, as Skype reads it; the command's cut keeps it whole.
    std::string deviceName;
    if (code == SKYPE_CMD_SET_AUDIO_IN || code == SKYPE_CMD_SET_AUDIO_OUT ||
        code == SKYPE_CMD_SET_RINGER) {
        deviceName = m_ports.audio->GetHandsetDeviceName(code == SKYPE_CMD_SET_AUDIO_IN);
        if (deviceName.empty()) {
            return 0;
        }
    }
    if (FormatSkypeCommand(code, userHandle, callId, deviceName.c_str(), m_config.Name().c_str(),
                           text)) {
        AddToMessageOutQueue(text);
    }
    return 0;
}

HsdStatus CAccessSkypeAPI::ShowMissedCalls(int) {
    int missed = 0;
    m_ports.calls->CountMissedCalls(&missed);
    CHsdFontProcess* font = m_pFontProcess.load();
    if (m_bHandsetDisplay.load() == 0 || font == nullptr || missed < 0) {
        return 0;
    }
    constexpr unsigned char kShowFontText = 0x3F;
    char text[64];
    if (missed > 0) {
        std::snprintf(text, sizeof(text), "%d Missed Calls", missed);
        m_ports.handset->SetModeFlags(kModeNotice | kModeFontCodes);
        font->UTF_8ToUnicodeToFontCode(text);
        m_ports.handset->SendHandsetCommand(kShowFontText);
        Pause(kHandsetCommandPauseMs);
    } else {
        std::snprintf(text, sizeof(text), "%s", "No Missed Calls.");
        m_ports.handset->SetModeFlags(kModeNotice | kModeFontCodes);
        font->UTF_8ToUnicodeToFontCode(text);
        Pause(kHandsetCommandPauseMs);
        m_ports.handset->SendHandsetCommand(kShowFontText);
    }
    return 0;
}
