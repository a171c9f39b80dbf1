// The user's own status, the connection, the protocol, contacts, SkypeOut,
// the signed-in user, mute and the audio devices, against the real contact
// and call stores.
#include <cstring>

#include "NotificationFixture.h"

namespace {

class UserNotificationTest : public NotificationTest {
protected:
    UserNotificationTest() {
        Configure(
            "[NAME]\nName=Voxlink Phone\n[ICON]\nFileActive=active.ico\nFileNoANY=none.ico\n");
        ClearRecords();
    }

    int UserStatus() {
        int status = -2;
        link->GetUserStatus(&status);
        return status;
    }

    // What the handset and the tray were told, in order.
    Texts HandsetAndTray() {
        Texts seen;
        for (const Event& e : log.Events()) {
            if (e.what.rfind("handset.", 0) == 0 || e.what.rfind("tray:", 0) == 0) {
                seen.push_back(e.what);
            }
        }
        return seen;
    }

    const UserRecord* Contact(const std::string& handle) {
        contacts = users.SnapshotUsers(&order);
        for (const UserRecord& record : contacts) {
            if (record.handle == handle) {
                return &record;
            }
        }
        return nullptr;
    }

    std::string Connected() { return "tray:Connected " + link->Config().FileActive(); }
    std::string Disconnected() { return "tray:Disconnected " + link->Config().FileNoANY(); }

    std::vector<UserRecord> contacts;
    std::vector<std::uint32_t> order;
};

TEST_F(UserNotificationTest, UserStatusWordsSetTheStatusTellTheHandsetAndTheTray) {
    struct Case {
        const char* word;
        int status;
        const char* command;
    };
    const Case cases[] = {
        {"ONLINE", 0, "0x73"},       {"SKYPEME", 2, "0x75"},   {"AWAY", 3, "0x76"},
        {"NA", 4, "0x77"},           {"DND", 5, "0x72"},       {"INVISIBLE", 6, "0x78"},
        {"OFFLINE", 1, "0x74"},      {"LOGGEDOUT", 1, "0x74"}, {"dnd", 1, "0x74"},
        {"NOT_A_STATUS", 1, "0x74"},
    };
    for (const Case& c : cases) {
        log.Clear();
        Notify(std::string("USERSTATUS ") + c.word);
        EXPECT_EQ(UserStatus(), c.status) << c.word;
        Texts expected;
        if (c.status == 1) {
            expected = {"handset.command:0x07", "handset.clearActive", Disconnected()};
        } else {
            expected = {Connected()};
        }
        expected.push_back(std::string("handset.command:") + c.command);
        EXPECT_EQ(HandsetAndTray(), expected) << c.word;
    }
}

TEST_F(UserNotificationTest, TrayShowsDisconnectedWithoutTheHandsetWhateverTheStatus) {
    handset.present = false;
    Notify("USERSTATUS ONLINE");
    EXPECT_EQ(HandsetAndTray(), (Texts{Disconnected(), "handset.command:0x73"}));
}

TEST_F(UserNotificationTest, ConnectionStatusOffLineOrOnLine) {
    Notify("CONNSTATUS CONNECTING");
    EXPECT_EQ(UserStatus(), 1);
    EXPECT_EQ(HandsetAndTray(),
              (Texts{"handset.command:0x07", "handset.clearActive", Disconnected()}));

    log.Clear();
    Notify("CONNSTATUS ONLINE");  // the call history has not loaded yet
    EXPECT_EQ(UserStatus(), 0);
    EXPECT_EQ(HandsetAndTray(), (Texts{Connected()}));

    Notify("CALLS ");  // the history load completes
    log.Clear();
    Notify("CONNSTATUS ONLINE");
    EXPECT_EQ(HandsetAndTray(), (Texts{"handset.startLink", Connected()}));
}

TEST_F(UserNotificationTest, ConnectionOnLineOverridesTheChosenStatusUntilTheNextUserStatus) {
    Notify({"USERSTATUS AWAY", "CONNSTATUS ONLINE"});
    EXPECT_EQ(UserStatus(), 0);
    EXPECT_TRUE(log.With("handset.command:0x73").empty()) << "the handset learns only USERSTATUS";
    Notify("USERSTATUS DND");
    EXPECT_EQ(UserStatus(), 5);
}

TEST_F(UserNotificationTest, ProtocolAboveTwoSendsTheName) {
    Notify("PROTOCOL 2");
    EXPECT_EQ(handset.protocolVersion.load(), 2);
    EXPECT_TRUE(Sent().empty());
    Notify("PROTOCOL 5 7");
    EXPECT_EQ(handset.protocolVersion.load(), 5);
    EXPECT_EQ(Sent(), (Texts{"NAME Voxlink Phone"}));
    EXPECT_EQ(log.With("tray:").size(), 2u);
    Notify("PROTOCOL five");
    EXPECT_EQ(handset.protocolVersion.load(), 0);
}

TEST_F(UserNotificationTest, UsersReplyAddsNewContactsAndAsksForTheirNames) {
    users.AddUserIfAbsent("bob", USER_OFFLINE);
    Notify("USERS alice, bob, carol");
    EXPECT_NE(Contact("alice"), nullptr);
    EXPECT_NE(Contact("carol"), nullptr);
    EXPECT_EQ(contacts.size(), 3u);
    EXPECT_EQ(Sent(), (Texts{"GET USER alice DISPLAYNAME", "GET USER carol DISPLAYNAME"}));
}

TEST_F(UserNotificationTest, ContactOnlineStatusWords) {
    Notify("USERS a, b");
    const struct {
        const char* word;
        int status;
    } cases[] = {{"ONLINE", USER_ONLINE},   {"AWAY", USER_ONLINE},       {"NA", USER_ONLINE},
                 {"DND", USER_ONLINE},      {"SKYPEME", USER_ONLINE},    {"SKYPEOUT", USER_ONLINE},
                 {"OFFLINE", USER_OFFLINE}, {"INVISIBLE", USER_OFFLINE}, {"online", USER_OFFLINE}};
    for (const auto& c : cases) {
        Notify("USER b ONLINESTATUS ONLINE");
        Notify(std::string("USER b ONLINESTATUS ") + c.word);
        ASSERT_NE(Contact("b"), nullptr);
        EXPECT_EQ(Contact("b")->onlineStatus, c.status) << c.word;
    }
}

TEST_F(UserNotificationTest, FullNameStandsInOrFallsBackToTheHandle) {
    Notify({"USERS bob, carol", "USER bob FULLNAME Bob  Smith", "USER carol FULLNAME"});
    EXPECT_EQ(Contact("bob")->displayName.Bytes(), "Bob Smith ");
    EXPECT_EQ(std::string(Contact("carol")->displayName.Bytes().c_str()), "carol");
    const Texts sent = Sent();
    EXPECT_EQ(Texts(sent.end() - 2, sent.end()),
              (Texts{"GET USER bob ONLINESTATUS", "GET USER carol ONLINESTATUS"}));
}

TEST_F(UserNotificationTest, EmptyDisplayNameAsksForTheFullNameFromProtocolFour) {
    Notify({"USERS dave", "PROTOCOL 5"});
    ClearRecords();
    Notify("USER dave DISPLAYNAME");
    EXPECT_EQ(Sent(), (Texts{"GET USER dave FULLNAME"}));
    ClearRecords();
    Notify("USER dave DISPLAYNAME Dave D");
    EXPECT_EQ(Contact("dave")->displayName.Bytes(), "Dave D ");
    EXPECT_EQ(Sent(), (Texts{"GET USER dave ONLINESTATUS"}));

    Notify("PROTOCOL 3");
    ClearRecords();
    Notify("USER dave DISPLAYNAME");
    EXPECT_TRUE(Contact("dave")->displayName.Empty());
    EXPECT_EQ(Sent(), (Texts{"GET USER dave ONLINESTATUS"}));
}

TEST_F(UserNotificationTest, BuddyStatusAddsOrRemovesAContact) {
    Notify("USER erin BUDDYSTATUS 2");
    EXPECT_NE(Contact("erin"), nullptr);
    EXPECT_EQ(Sent(), (Texts{"GET USER erin FULLNAME", "GET USER erin ONLINESTATUS"}));
    ClearRecords();
    Notify({"USER erin BUDDYSTATUS 3", "USER erin BUDDYSTATUS 0"});
    EXPECT_EQ(users.SnapshotUsers().size(), 1u);
    Notify("USER erin BUDDYSTATUS 1");
    EXPECT_EQ(Contact("erin"), nullptr);
    Notify("USER frank NICKNAME x");
    EXPECT_TRUE(users.SnapshotUsers().empty());
}

TEST_F(UserNotificationTest, SkypeOutPrivilegeInAnyCaseAsksForTheBalance) {
    users.SetBalance(500);
    Notify("PRIVILEGE SkypeOut TrUe");
    int balance = -1;
    users.GetBalance(&balance);
    EXPECT_EQ(balance, 0);
    EXPECT_EQ(Sent(), (Texts{"GET PROFILE PSTN_BALANCE"}));
    Notify("PROFILE PSTN_BALANCE 1234");
    users.GetBalance(&balance);
    EXPECT_EQ(balance, 1234);
    Notify({"PROFILE PSTN_BALANCE_CURRENCY EUR", "PRIVILEGE SKYPEIN TRUE"});
    users.GetBalance(&balance);
    EXPECT_EQ(balance, 1234);
    ClearRecords();
    Notify("PRIVILEGE skypeout FALSE");
    users.GetBalance(&balance);
    EXPECT_EQ(balance, 0);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(UserNotificationTest, NewSignedInUserEmptiesBothListsInOrder) {
    Notify({"USERS alice", "CALLS 5"});
    log.Clear();
    Notify("CURRENTUSERHANDLE me.myself");
    EXPECT_EQ(link->CurrentUserHandle(), "me.myself");
    EXPECT_TRUE(users.SnapshotUsers().empty());
    EXPECT_TRUE(calls.SnapshotCalls().empty());
    Texts clears;
    for (const Event& e : log.Events()) {
        if ((e.what.rfind("users.", 0) == 0 || e.what.rfind("calls.", 0) == 0) &&
            e.what != "calls.GetCurrentCallId") {
            clears.push_back(e.what);
        }
    }
    EXPECT_EQ(clears, (Texts{"users.ClearUsers", "calls.ClearCalls", "users.ResetUserBrowse",
                             "calls.ResetCallBrowse"}));
    Notify("CURRENTUSERHANDLE " + std::string(1000, 'h'));
    EXPECT_EQ(link->CurrentUserHandle(), std::string(259, 'h'));
}

TEST_F(UserNotificationTest, MuteStopsTheDisplayTransferAndTellsTheHandset) {
    Notify({"MUTE ON", "MUTE OFF", "MUTE on", "MUTE"});
    EXPECT_EQ(HandsetAndTray(),
              (Texts{"handset.stopTransfer", "handset.command:0x2F", "handset.stopTransfer",
                     "handset.command:0x2E", "handset.stopTransfer", "handset.command:0x2E",
                     "handset.stopTransfer", "handset.command:0x2E"}));
}

TEST_F(UserNotificationTest, AudioDeviceNamesAreConvertedAndTheLatestReplyIsKept) {
    Notify({"AUDIO_IN USB  Audio Device", "AUDIO_OUT Speakers"});
    EXPECT_EQ(log.With("font.UTF_8ToUnicode2Font:"), (Texts{"USB Audio Device ", "Speakers "}));
    char in[255] = {};
    char out[255] = {};
    link->GetAudioDeviceNames(in, sizeof(in), out, sizeof(out));
    EXPECT_STREQ(in, "USB Audio Device ");
    EXPECT_STREQ(out, "Speakers ");
    // A second attach reports the same devices again: the names do not grow.
    Notify({"AUDIO_IN USB Audio Device", "AUDIO_OUT Headset"});
    link->GetAudioDeviceNames(in, sizeof(in), out, sizeof(out));
    EXPECT_STREQ(in, "USB Audio Device ");
    EXPECT_STREQ(out, "Headset ");
}

TEST_F(UserNotificationTest, AudioDeviceNamesNeverOverrunTheCallersBuffers) {
    Notify({"AUDIO_IN " + std::string(3000, 'n'), "AUDIO_OUT Speakers"});
    // Exactly sized heap buffers, so that a write past them is caught.
    auto in = std::make_unique<char[]>(5);
    auto out = std::make_unique<char[]>(3);
    EXPECT_EQ(link->GetAudioDeviceNames(in.get(), 5, out.get(), 3), 0);
    EXPECT_STREQ(in.get(), "nnnn");
    EXPECT_STREQ(out.get(), "Sp");
    char big[255] = {};
    link->GetAudioDeviceNames(big, sizeof(big), nullptr, 0);
    EXPECT_LE(std::strlen(big), 254u);
}

TEST_F(UserNotificationTest, AutoAwayAndUnknownFirstWordsChangeNothing) {
    Notify({"AUTOAWAY ON", "SKYPEVERSION 2.5", "PONG", "user x ONLINESTATUS ONLINE"});
    EXPECT_EQ(UserStatus(), -1);
    EXPECT_TRUE(HandsetAndTray().empty());
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
