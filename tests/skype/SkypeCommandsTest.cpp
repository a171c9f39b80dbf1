// The command catalogue (every code's text), the device-name path, the cut to
// the command buffer, ShowMissedCalls, and recognising notifications.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AccessSkypeAPI.h"
#include "LinkFakes.h"
#include "Pause.h"

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

std::string Format(unsigned char code, const char* handle = "echo123", int callId = 123,
                   const char* device = "Handset", const char* name = "Voxlink") {
    char out[CAccessSkypeAPI::kCommandBufferSize];
    const bool made = FormatSkypeCommand(code, handle, callId, device, name, out);
    EXPECT_EQ(made, out[0] != '\0') << "code " << int(code);
    return out;
}

TEST(SkypeCommandCatalogue, EveryCodeFormatsItsText) {
    const char* const expected[33] = {"",
                                      "PROTOCOL 5",
                                      "PING",
                                      "SET AUDIO_IN Handset ",
                                      "SET AUDIO_OUT Handset ",
                                      "GET SKYPEVERSION",
                                      "SEARCH FRIENDS",
                                      "GET USER echo123 ONLINESTATUS",
                                      "GET CALL 123 PARTNER_HANDLE",
                                      "GET CALL 123 PARTNER_DISPNAME",
                                      "GET USER echo123 FULLNAME",
                                      "GET CALL 123 TYPE",
                                      "SEARCH CALLS",
                                      "GET CALL 123 TIMESTAMP",
                                      "",
                                      "GET USER echo123 DISPLAYNAME",
                                      "NAME Voxlink",
                                      "GET CALL 123 DURATION",
                                      "GET AUDIO_IN",
                                      "GET AUDIO_OUT",
                                      "HOOK ON",
                                      "GET CALL 123 STATUS",
                                      "GET CALL 123 SEEN",
                                      "GET PROFILE PSTN_BALANCE",
                                      "GET PRIVILEGE SKYPEOUT",
                                      "SEARCH MISSEDCALLS",
                                      "",
                                      "SET AUDIO_IN",
                                      "SET AUDIO_OUT",
                                      "GET CURRENTUSERHANDLE",
                                      "GET USERSTATUS",
                                      "SET RINGER Handset ",
                                      "SET RINGER"};
    for (unsigned int code = 0; code <= 32; ++code) {
        EXPECT_EQ(Format(static_cast<unsigned char>(code)), expected[code]) << "code " << code;
    }
    for (unsigned int code = 33; code <= 255; ++code) {
        EXPECT_EQ(Format(static_cast<unsigned char>(code)), "") << "code " << code;
    }
}

TEST(SkypeCommandCatalogue, CallIdsHaveNoPaddingAndNegativeIdsStaySigned) {
    EXPECT_EQ(Format(SKYPE_CMD_GET_CALL_TYPE, nullptr, 7), "GET CALL 7 TYPE");
    EXPECT_EQ(Format(SKYPE_CMD_GET_CALL_TYPE, nullptr, -5), "GET CALL -5 TYPE");
    EXPECT_EQ(Format(SKYPE_CMD_GET_USER_FULLNAME, nullptr, 0), "GET USER  FULLNAME");
}

TEST(SkypeCommandCatalogue, DeviceCodesNeedADeviceName) {
    char out[CAccessSkypeAPI::kCommandBufferSize];
    EXPECT_FALSE(FormatSkypeCommand(SKYPE_CMD_SET_AUDIO_IN, nullptr, 0, "", nullptr, out));
    EXPECT_FALSE(FormatSkypeCommand(SKYPE_CMD_SET_RINGER, nullptr, 0, nullptr, nullptr, out));
    EXPECT_STREQ(out, "");
}

TEST(SkypeCommandCatalogue, OverLongTextsAreCutToTheBufferOnACharacterBoundary) {
    const std::string ascii(400, 'a');
    std::string text = Format(SKYPE_CMD_GET_USER_FULLNAME, ascii.c_str());
    EXPECT_EQ(text.size(), CAccessSkypeAPI::kCommandBufferSize - 1);
    EXPECT_EQ(text.substr(0, 9), "GET USER ");

    // "GET USER x" is 10 bytes; two-byte characters fill the rest, so the cut
    // at byte 255 would split one: the whole character goes instead.
    std::string twoByte = "x";
    for (int i = 0; i < 200; ++i) {
        twoByte += "\xC3\xA9";
    }
    text = Format(SKYPE_CMD_GET_USER_FULLNAME, twoByte.c_str());
    EXPECT_EQ(text.size(), 254u);
    EXPECT_EQ(static_cast<unsigned char>(text.back()), 0xA9);
}

class SendSkypeCommandTest : public ::testing::Test {
protected:
    SendSkypeCommandTest()
        : wire(log), calls(log), users(log), handset(log), audio(log), shell(log), font(log) {
        ports.wire = &wire;
        ports.windows = &windows;
        ports.calls = &calls;
        ports.users = &users;
        ports.handset = &handset;
        ports.audio = &audio;
        ports.shell = &shell;
        ports.profile = &profile;
        RecordingPause::log = &log;
        previousPause = SetPauseFunction(&RecordingPause::Pause);
        link = std::make_unique<CAccessSkypeAPI>(ports);
    }
    ~SendSkypeCommandTest() override {
        link.reset();
        SetPauseFunction(previousPause);
        RecordingPause::log = nullptr;
    }

    // Sends the commands and waits until the command thread has sent them.
    Texts Sent(std::size_t count) {
        EXPECT_TRUE(log.WaitFor("send:", count));
        std::this_thread::sleep_for(20ms);
        return log.With("send:");
    }

    EventLog log;
    FakeWire wire;
    FakeWindows windows;
    FakeCallStore calls;
    FakeUserStore users;
    FakeHandset handset;
    FakeAudio audio;
    FakeShell shell;
    FakeProfile profile;
    FakeFont font;
    SkypeLinkPorts ports;
    PauseFunction previousPause = nullptr;
    std::unique_ptr<CAccessSkypeAPI> link;
};

TEST_F(SendSkypeCommandTest, CodesWithoutACommandQueueNothingAndStillSucceed) {
    for (unsigned char code : {0, 14, 26, 33, 200}) {
        EXPECT_EQ(link->SendSkypeCommand(code, "x", 1), 0);
    }
    EXPECT_EQ(link->SendSkypeCommand(SKYPE_CMD_PING, nullptr, 0), 0);
    EXPECT_EQ(Sent(1), (Texts{"PING"}));
}

// The names come in UTF-8 and reach Skype byte for byte, font component or not.
TEST_F(SendSkypeCommandTest, DeviceNamesReachSkypeAsTheyCome) {
    // This file's narrow literals are UTF-8.
    const std::string names[] = {"USB Audio Device", "Micrófono (USB Audio Device)",
                                 "麦克风 (USB Audio Device)"};
    for (const std::string& name : names) {
        audio.SetDeviceName(name);
        link->SetFontProcess(name == names[0] ? nullptr : &font);
        link->SendSkypeCommand(SKYPE_CMD_SET_AUDIO_IN, nullptr, 0);
    }
    EXPECT_EQ(Sent(3), (Texts{"SET AUDIO_IN " + names[0] + " ", "SET AUDIO_IN " + names[1] + " ",
                              "SET AUDIO_IN " + names[2] + " "}));
}

TEST_F(SendSkypeCommandTest, RecordingGetsTheCaptureNamePlaybackAndRingerTheRenderNameWhole) {
    audio.SetDeviceNames("Speakers (USB Telephone Handset Audio Device)",
                         "Microphone (USB Telephone Handset Audio Device)");
    link->SetFontProcess(&font);
    link->SendSkypeCommand(SKYPE_CMD_SET_AUDIO_IN, nullptr, 0);
    link->SendSkypeCommand(SKYPE_CMD_SET_AUDIO_OUT, nullptr, 0);
    link->SendSkypeCommand(SKYPE_CMD_SET_RINGER, nullptr, 0);
    EXPECT_EQ(Sent(3), (Texts{"SET AUDIO_IN Microphone (USB Telephone Handset Audio Device) ",
                              "SET AUDIO_OUT Speakers (USB Telephone Handset Audio Device) ",
                              "SET RINGER Speakers (USB Telephone Handset Audio Device) "}));
}

TEST_F(SendSkypeCommandTest, NoHandsetDeviceQueuesNoDeviceCommand) {
    audio.SetDeviceName("");
    link->SetFontProcess(&font);
    link->SendSkypeCommand(SKYPE_CMD_SET_AUDIO_IN, nullptr, 0);
    link->SendSkypeCommand(SKYPE_CMD_SET_RINGER, nullptr, 0);
    link->SendSkypeCommand(SKYPE_CMD_RESET_RINGER, nullptr, 0);
    EXPECT_EQ(Sent(1), (Texts{"SET RINGER"}));
}

TEST_F(SendSkypeCommandTest, NameCommandUsesTheConfiguredName) {
    profile.SetFile("C:\\V\\\\VoxlinkAPI.ini", "[NAME]\nName=Voxlink Phone\n");
    link->LoadConfiguration("C:\\V\\", nullptr);
    link->SendSkypeCommand(SKYPE_CMD_NAME, "ignored", 0);
    EXPECT_EQ(Sent(1), (Texts{"NAME Voxlink Phone"}));
}

TEST_F(SendSkypeCommandTest, MissedCallsAreShownAsFontTextThenAnnounced) {
    calls.AddUnseenMissedCalls(3);
    link->SetFontProcess(&font);
    link->SetHandsetDisplayMode(1);
    link->ShowMissedCalls(1);
    const Texts handsetSide = {"handset.modeFlags:0x21",
                               "font.UTF_8ToUnicodeToFontCode:3 Missed Calls",
                               "handset.command:0x3F", "pause:20"};
    Texts seen;
    for (const Event& e : log.Events()) {
        if (e.what.rfind("calls.", 0) != 0) {
            seen.push_back(e.what);
        }
    }
    EXPECT_EQ(seen, handsetSide);
}

TEST_F(SendSkypeCommandTest, NoMissedCallsPausesBeforeTheAnnouncement) {
    link->SetFontProcess(&font);
    link->SetHandsetDisplayMode(1);
    link->ShowMissedCalls(1);
    const Texts handsetSide = {"handset.modeFlags:0x21",
                               "font.UTF_8ToUnicodeToFontCode:No Missed Calls.", "pause:20",
                               "handset.command:0x3F"};
    Texts seen;
    for (const Event& e : log.Events()) {
        if (e.what.rfind("calls.", 0) != 0) {
            seen.push_back(e.what);
        }
    }
    EXPECT_EQ(seen, handsetSide);
}

TEST_F(SendSkypeCommandTest, MissedCallsAreNotShownWhenTheHandsetDoesNotAskForThem) {
    calls.AddUnseenMissedCalls(2);
    link->SetFontProcess(&font);
    EXPECT_EQ(link->ShowMissedCalls(1), 0);
    link->SetHandsetDisplayMode(1);
    link->SetFontProcess(nullptr);
    EXPECT_EQ(link->ShowMissedCalls(1), 0);
    EXPECT_TRUE(log.With("handset.").empty());
    EXPECT_TRUE(log.With("font.").empty());
}

TEST(SkypeNotificationDispatch, FirstWordDecidesCaseSensitivelyAndExactly) {
    struct Case {
        const char* text;
        SkypeNotification kind;
    };
    const Case cases[] = {
        {"CALL 12 STATUS RINGING", SkypeNotification::Call},
        {"CALLS 5, 9", SkypeNotification::Calls},
        {"CALLS", SkypeNotification::Calls},
        {"CALLHISTORYCHANGED", SkypeNotification::CallHistoryChanged},
        {"PROTOCOL 5", SkypeNotification::Protocol},
        {"USERS echo123, bob", SkypeNotification::Users},
        {"USER echo123 ONLINESTATUS ONLINE", SkypeNotification::User},
        {"CONNSTATUS ONLINE", SkypeNotification::ConnStatus},
        {"PRIVILEGE SKYPEOUT TRUE", SkypeNotification::Privilege},
        {"PROFILE PSTN_BALANCE 1234", SkypeNotification::Profile},
        {"USERSTATUS DND", SkypeNotification::UserStatus},
        {"AUTOAWAY ON", SkypeNotification::AutoAway},
        {"CURRENTUSERHANDLE me", SkypeNotification::CurrentUserHandle},
        {"MUTE ON", SkypeNotification::Mute},
        {"AUDIO_IN USB Audio Device", SkypeNotification::AudioIn},
        {"AUDIO_OUT USB Audio Device", SkypeNotification::AudioOut},
        {"call 12 STATUS RINGING", SkypeNotification::Other},
        {"CALLER 1", SkypeNotification::Other},
        {"CAL", SkypeNotification::Other},
        {" CALL 1", SkypeNotification::Other},
        {"PONG", SkypeNotification::Other},
        {"SKYPEVERSION 2.5", SkypeNotification::Other},
        {"", SkypeNotification::Other},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyNotification(c.text), c.kind) << '"' << c.text << '"';
    }
    EXPECT_EQ(ClassifyNotification(nullptr), SkypeNotification::Other);
    EXPECT_TRUE(IsCallNotification(SkypeNotification::CallHistoryChanged));
    EXPECT_FALSE(IsCallNotification(SkypeNotification::User));
}

}  // namespace
