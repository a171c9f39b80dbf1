// The simulator's replies against the reply forms of the public Skype desktop
// API reference. Each row states, in our words, what the reference says the
// client answers, and the exact text the simulator must send for the default
// model. Rows marked "(our choice)" cover cases the reference leaves open.
#include "SimEngine.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

namespace skypesim {
namespace {

using testing::Recorder;

struct Row {
    const char* command;
    const char* reply;
    const char* fact;
};

// Commands that need no call to be live; the default model is used.
const Row kRows[] = {
    {"PROTOCOL 5", "PROTOCOL 5",
     "PROTOCOL answers with the protocol both sides will speak: the requested one when the "
     "client supports it"},
    {"PROTOCOL 99", "PROTOCOL 8", "... or the client's own highest, when that is lower"},
    {"PROTOCOL x", "ERROR 27 Invalid version number", "a version that is no number is error 27"},
    {"PING", "PONG", "PING is answered with PONG"},
    {"NAME Voxlink", "OK", "NAME gives the application's name and is answered with OK"},
    {"GET SKYPEVERSION", "SKYPEVERSION 3.8.0.188", "the version is given as SKYPEVERSION <v>"},
    {"GET USERSTATUS", "USERSTATUS ONLINE", "GET USERSTATUS gives USERSTATUS <status>"},
    {"SET USERSTATUS AWAY", "USERSTATUS AWAY", "a SET is answered like the matching GET"},
    {"SET USERSTATUS BORED", "ERROR 28 Unknown userstatus", "an unknown status is error 28"},
    {"GET CONNSTATUS", "CONNSTATUS ONLINE", "GET CONNSTATUS gives CONNSTATUS <status>"},
    {"GET CURRENTUSERHANDLE", "CURRENTUSERHANDLE vox.tester",
     "the signed-in user is given as CURRENTUSERHANDLE <handle>"},
    {"SEARCH FRIENDS",
     "USERS echo123, alice.andersen, bob.brown, wang.xiaoming, yamada.taro, ayse.yilmaz",
     "SEARCH FRIENDS lists the contacts' handles after USERS, separated by comma and blank"},
    {"SEARCH FRIENDS bob", "ERROR 67 Target not allowed with SEARCH FRIENDS",
     "SEARCH FRIENDS takes no target (error 67)"},
    {"GET USER alice.andersen FULLNAME", "USER alice.andersen FULLNAME Alice Andersen",
     "a user property is given as USER <handle> <property> <value>"},
    {"GET USER wang.xiaoming FULLNAME", "USER wang.xiaoming FULLNAME 王小明", "texts are UTF-8"},
    {"GET USER alice.andersen DISPLAYNAME", "USER alice.andersen DISPLAYNAME Alice",
     "DISPLAYNAME is the local alias"},
    {"GET USER bob.brown DISPLAYNAME", "USER bob.brown DISPLAYNAME ",
     "an empty property keeps the blank after its name"},
    {"GET USER bob.brown ONLINESTATUS", "USER bob.brown ONLINESTATUS AWAY",
     "ONLINESTATUS is one of UNKNOWN OFFLINE ONLINE AWAY NA DND SKYPEOUT SKYPEME"},
    {"GET USER alice.andersen BUDDYSTATUS", "USER alice.andersen BUDDYSTATUS 3",
     "BUDDYSTATUS: 0 never a contact, 1 deleted, 2 pending, 3 added"},
    {"GET USER stranger ONLINESTATUS", "USER stranger ONLINESTATUS UNKNOWN",
     "a user who is not a contact is still described (status UNKNOWN) (our choice)"},
    {"GET USER alice.andersen SHOESIZE", "ERROR 10 Invalid PROP", "an unknown property: 10"},
    {"GET USER", "ERROR 8 Invalid user handle", "a missing handle: 8"},
    {"SEARCH CALLS", "CALLS 104, 103, 102, 101",
     "SEARCH CALLS lists call ids after CALLS, separated by comma and blank (newest first)"},
    {"SEARCH CALLS bob.brown", "CALLS 104", "a target limits the list to calls with that user"},
    {"SEARCH MISSEDCALLS", "CALLS 104", "SEARCH MISSEDCALLS lists the missed calls not seen"},
    {"SEARCH MISSEDCALLS x", "ERROR 6 SEARCH MISSEDCALLS: target not allowed",
     "SEARCH MISSEDCALLS takes no target (6)"},
    {"SEARCH STARS", "ERROR 3 Search: unknown WHAT", "an unknown SEARCH object: 3"},
    {"GET CALL 104 TYPE", "CALL 104 TYPE INCOMING_P2P",
     "TYPE is INCOMING_PSTN, OUTGOING_PSTN, INCOMING_P2P or OUTGOING_P2P"},
    {"GET CALL 104 STATUS", "CALL 104 STATUS MISSED",
     "a call property is given as CALL <id> <property> <value>"},
    {"GET CALL 104 PARTNER_HANDLE", "CALL 104 PARTNER_HANDLE bob.brown", "the partner's handle"},
    {"GET CALL 104 PARTNER_DISPNAME", "CALL 104 PARTNER_DISPNAME Bob Brown",
     "the partner's display name, which may hold blanks"},
    {"GET CALL 103 PARTNER_DISPNAME", "CALL 103 PARTNER_DISPNAME ",
     "a number without a name has an empty display name"},
    {"GET CALL 104 TIMESTAMP", "CALL 104 TIMESTAMP 1764010800", "TIMESTAMP is seconds since 1970"},
    {"GET CALL 101 DURATION", "CALL 101 DURATION 312", "DURATION is in seconds"},
    {"GET CALL 104 SEEN", "CALL 104 SEEN FALSE", "SEEN is TRUE or FALSE"},
    {"GET CALL 101 SEEN", "CALL 101 SEEN TRUE", "SEEN is TRUE or FALSE"},
    {"GET CALL x STATUS", "ERROR 11 Invalid call id", "a malformed id in GET CALL: 11"},
    {"GET CALL 9 STATUS", "ERROR 12 Unknown call", "an id that names no call: 12"},
    {"GET CALL 104 COLOUR", "ERROR 13 Invalid PROP", "an unknown call property: 13"},
    {"SET CALL x STATUS FINISHED", "ERROR 19 Invalid call id", "a malformed id in SET CALL: 19"},
    {"SET CALL 9 STATUS FINISHED", "ERROR 20 Unknown call", "an unknown call in SET CALL: 20"},
    {"SET CALL 104 COLOUR RED", "ERROR 21 Unknown/disallowed call prop",
     "a property that cannot be set: 21"},
    {"SET CALL 104 STATUS ONHOLD", "ERROR 22 Cannot hold this call at the moment",
     "holding a call that is not in progress: 22"},
    {"SET CALL 104 STATUS INPROGRESS", "ERROR 23 Cannot resume this call at the moment",
     "answering or resuming a call that cannot be: 23"},
    {"SET CALL 104 STATUS FINISHED", "ERROR 24 Cannot hangup inactive call",
     "hanging up a call that has ended: 24"},
    {"SET CALL 104 DTMF 5", "ERROR 41 Call not active", "tones only on a call in progress: 41"},
    {"SET CALL 104 SEEN", "CALL 104 SEEN TRUE", "SET CALL <id> SEEN marks a call seen"},
    {"SET MUTE ON", "MUTE ON", "SET MUTE ON|OFF is answered with MUTE ON|OFF"},
    {"SET MUTE OFF", "MUTE OFF", "SET MUTE ON|OFF is answered with MUTE ON|OFF"},
    {"SET MUTE MAYBE", "ERROR 53 invalid value", "(our choice) a value other than ON or OFF"},
    {"GET MUTE", "MUTE OFF", "GET MUTE gives MUTE ON|OFF"},
    {"GET AUDIO_IN", "AUDIO_IN Microphone (High Definition Audio Device)",
     "GET AUDIO_IN gives AUDIO_IN <device name>"},
    {"GET AUDIO_OUT", "AUDIO_OUT Speakers (High Definition Audio Device)",
     "GET AUDIO_OUT gives AUDIO_OUT <device name>"},
    {"GET RINGER", "RINGER Speakers (High Definition Audio Device)",
     "GET RINGER gives RINGER <device name>"},
    {"SET AUDIO_IN USB Audio Device ", "AUDIO_IN USB Audio Device",
     "SET AUDIO_IN <name> is answered with AUDIO_IN <name>"},
    {"SET AUDIO_OUT USB Audio Device ", "AUDIO_OUT USB Audio Device", "likewise AUDIO_OUT"},
    {"SET RINGER USB Audio Device ", "RINGER USB Audio Device", "likewise RINGER"},
    {"SET AUDIO_IN", "AUDIO_IN ", "an empty name selects the system's default device"},
    {"GET PRIVILEGE SKYPEOUT", "PRIVILEGE SKYPEOUT TRUE",
     "a privilege is given as PRIVILEGE <name> TRUE|FALSE"},
    {"GET PRIVILEGE skypeout", "PRIVILEGE SKYPEOUT TRUE", "keywords are not case-sensitive"},
    {"GET PRIVILEGE FLYING", "ERROR 40 Unknown privilege", "an unknown privilege: 40"},
    {"GET PROFILE PSTN_BALANCE", "PROFILE PSTN_BALANCE 1250",
     "the SkypeOut balance in the currency's smallest unit, as PROFILE PSTN_BALANCE <n>"},
    {"GET PROFILE PSTN_BALANCE_CURRENCY", "PROFILE PSTN_BALANCE_CURRENCY EUR", "its currency"},
    {"FOCUS", "FOCUS", "FOCUS brings the client's window forward and is echoed"},
    {"HOOK ON", "HOOK ON", "HOOK ON|OFF is echoed"},
    {"HOOK OFF", "HOOK OFF", "HOOK ON|OFF is echoed"},
    {"BTN_RELEASED 5", "BTN_RELEASED 5", "BTN_PRESSED/BTN_RELEASED <key> are echoed"},
    {"BTN_RELEASED SKYPE", "BTN_RELEASED SKYPE", "keys: 0-9 A-Z # * UP DOWN YES NO SKYPE ..."},
    {"BTN_PRESSED UP", "BTN_PRESSED UP", "keys: 0-9 A-Z # * UP DOWN YES NO SKYPE ..."},
    {"BTN_RELEASED BANANA", "ERROR 74 Invalid key", "an unknown key: 74"},
    {"GET STARS", "ERROR 7 GET: invalid WHAT", "an unknown GET object: 7"},
    {"SET STARS 5", "ERROR 18 SET: invalid WHAT", "an unknown SET object: 18"},
    {"JUMP", "ERROR 2 Unknown command", "an unknown command: 2"},
    {"CALL", "ERROR 34 invalid user handle", "CALL without a target (our choice of 34)"},
};

TEST(SimulatorConformance, EveryCommandGetsTheReferenceReplyForm) {
    for (const Row& row : kRows) {
        Engine engine(DefaultModel());
        Recorder out;
        engine.HandleCommand(row.command, 1000, out);
        ASSERT_EQ(out.items.size(), 1u) << row.command;
        EXPECT_EQ(out.items[0].kind, 'R') << row.command;
        EXPECT_EQ(out.items[0].text, row.reply) << row.command << "  -- " << row.fact;
    }
}

TEST(SimulatorConformance, PaddedCallIdsAndLowerCaseKeywordsAreAccepted) {
    Engine engine(DefaultModel());
    Recorder out;
    // The application formats call ids right-aligned in five places.
    engine.HandleCommand("SET CALL   104 SEEN", 0, out);
    engine.HandleCommand("get call 104 seen", 0, out);
    EXPECT_EQ(out.Take(),
              (std::vector<std::string>{"R:CALL 104 SEEN TRUE", "R:CALL 104 SEEN TRUE"}));
}

TEST(SimulatorConformance, AttachSendsConnectionUserAndStatusAndResetsTheProtocol) {
    Engine engine(DefaultModel());
    Recorder out;
    engine.HandleCommand("PROTOCOL 5", 0, out);
    EXPECT_EQ(engine.protocol(), 5);
    EXPECT_EQ(engine.OnAttached(),
              (std::vector<std::string>{"CONNSTATUS ONLINE", "CURRENTUSERHANDLE vox.tester",
                                        "USERSTATUS ONLINE"}));
    EXPECT_EQ(engine.protocol(), 1);
}

TEST(SimulatorConformance, ProtocolOneSeesNeitherSkypeMeNorLocalHold) {
    Model model = DefaultModel();
    model.userStatus = "SKYPEME";
    Engine engine(model);
    Recorder out;
    engine.HandleCommand("GET USERSTATUS", 0, out);
    engine.HandleCommand("PROTOCOL 2", 0, out);
    engine.HandleCommand("GET USERSTATUS", 0, out);
    EXPECT_EQ(out.Take(), (std::vector<std::string>{"R:USERSTATUS ONLINE", "R:PROTOCOL 2",
                                                    "R:USERSTATUS SKYPEME"}));
}

TEST(SimulatorConformance, UnknownDeviceIsRefusedWhenTheClientKnowsItsDevices) {
    Model model = DefaultModel();
    model.devices = {"USB Audio Device"};
    Engine engine(model);
    Recorder out;
    engine.HandleCommand("SET AUDIO_OUT Nowhere", 0, out);
    engine.HandleCommand("SET AUDIO_OUT USB Audio Device ", 0, out);
    engine.HandleCommand("GET AUDIO_OUT", 0, out);
    EXPECT_EQ(out.Take(), (std::vector<std::string>{"R:ERROR 50 cannot set device",
                                                    "R:AUDIO_OUT USB Audio Device",
                                                    "R:AUDIO_OUT USB Audio Device"}));
}

}  // namespace
}  // namespace skypesim
