// The call state machine, one case per condition of each status word, and the
// replies to the property questions, against the real call and contact stores.
#include <functional>
#include <ostream>

#include "NotificationFixture.h"
#include "SkypeWindowClasses.h"

// The case tables leave trailing fields at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr int kSame = -100;  // expectation: the field is as the scene left it

// A scene: the current call, the second call and listed history ids.
struct Scene {
    int cur = 0;
    int st = CALLSTATUS_NONE;
    int sec = 0;
    int secSt = CALLSTATUS_NONE;
    std::vector<int> listedIds;
};

struct StatusCase {
    const char* name;
    Scene scene;
    const char* notification;
    // The records afterwards.
    int curId;
    int curStatus;
    int curType;
    int secId;
    int secStatus;
    int listedId;  // 0: no list entry to check
    int listedStatus;
    Texts handsetSide;
    Texts sent;  // queued commands, or the direct refusal
    bool transferBusy = false;
    bool serWindow = false;
};

// Failures name the case, not its bytes.
void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

const Texts kRing = {"pause:1000", "sound:music1.wav loop"};
const Texts kWrapUp = {"handset.stopTransfer", "sound:stop", "handset.command:0x20", "pause:20"};

Texts Join(std::initializer_list<Texts> parts) {
    Texts all;
    for (const Texts& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// The detail questions that end a call: SEEN after TYPE, or before it.
Texts Details(int id, bool seenBeforeType = false) {
    const std::string n = std::to_string(id);
    Texts texts = {"GET CALL " + n + " PARTNER_DISPNAME", "GET CALL " + n + " PARTNER_HANDLE"};
    if (seenBeforeType) {
        texts.push_back("GET CALL " + n + " SEEN");
        texts.push_back("GET CALL " + n + " TYPE");
    } else {
        texts.push_back("GET CALL " + n + " TYPE");
        texts.push_back("GET CALL " + n + " SEEN");
    }
    texts.push_back("GET CALL " + n + " DURATION");
    texts.push_back("GET CALL " + n + " TIMESTAMP");
    return texts;
}

Texts Identity(int id) {
    return {"GET CALL " + std::to_string(id) + " PARTNER_DISPNAME"};
}

const StatusCase kStatusCases[] = {
    // ROUTING
    {"routing of a new call makes it current",
     {},
     "CALL 20 STATUS ROUTING",
     20,
     CALLSTATUS_NEW,
     kSame,
     0,
     kSame,
     0,
     0,
     {"handset.command:0x98", "pause:20", "handset.stopTransfer", "handset.modeFlags:0x01"},
     Identity(20)},
    {"routing of a new call replaces a current call",
     {12, CALLSTATUS_INPROGRESS},
     "CALL 20 STATUS ROUTING",
     20,
     CALLSTATUS_NEW,
     kSame,
     0,
     kSame,
     0,
     0,
     {"handset.command:0x98", "pause:20", "handset.stopTransfer", "handset.modeFlags:0x01"},
     Identity(20)},
    {"routing of a listed call does nothing",
     {0, CALLSTATUS_NONE, 0, CALLSTATUS_NONE, {7}},
     "CALL 7 STATUS ROUTING",
     0,
     CALLSTATUS_NONE,
     kSame,
     0,
     kSame,
     7,
     CALLSTATUS_NONE,
     {},
     {}},
    // RINGING
    {"ringing with no current call rings in",
     {},
     "CALL 12 STATUS RINGING",
     12,
     CALLSTATUS_RINGING_IN,
     CALLTYPE_INCOMING_P2P,
     0,
     kSame,
     0,
     0,
     Join({{"handset.command:0x1A", "handset.command:0x9E"}, kRing, {"handset.modeFlags:0x01"}}),
     Identity(12)},
    {"ringing during a display transfer lets it run out first",
     {},
     "CALL 12 STATUS RINGING",
     12,
     CALLSTATUS_RINGING_IN,
     CALLTYPE_INCOMING_P2P,
     0,
     kSame,
     0,
     0,
     Join({{"handset.abortTransfer:0", "handset.modeFlags:0x00",
            "font.SetkeepProcess2MCUDataMonitor:0", "pause:20", "handset.command:0x1A",
            "handset.command:0x9E"},
           kRing,
           {"handset.modeFlags:0x01"}}),
     Identity(12),
     true},
    {"ringing of our new call rings out",
     {12, CALLSTATUS_NEW},
     "CALL 12 STATUS RINGING",
     12,
     CALLSTATUS_RINGING_OUT,
     CALLTYPE_OUTGOING_P2P,
     0,
     kSame,
     0,
     0,
     {"handset.stopTransfer", "handset.modeFlags:0x01"},
     Identity(12)},
    {"ringing of the current call in another state does nothing",
     {12, CALLSTATUS_INPROGRESS},
     "CALL 12 STATUS RINGING",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     0,
     kSame,
     0,
     0,
     {},
     {}},
    {"ringing of another call is refused at once",
     {12, CALLSTATUS_INPROGRESS, 13, CALLSTATUS_EARLYMEDIA},
     "CALL 14 STATUS RINGING",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     13,
     CALLSTATUS_EARLYMEDIA,
     0,
     0,
     {},
     {"SET CALL    14 STATUS FINISHED"}},
    // EARLYMEDIA
    {"early media with no current call rings",
     {},
     "CALL 12 STATUS EARLYMEDIA",
     12,
     CALLSTATUS_EARLYMEDIA,
     CALLTYPE_INCOMING_PSTN,
     0,
     kSame,
     0,
     0,
     Join({{"handset.stopTransfer", "handset.command:0x9E"}, kRing, {"handset.modeFlags:0x01"}}),
     Identity(12)},
    {"early media of our new call",
     {12, CALLSTATUS_NEW},
     "CALL 12 STATUS EARLYMEDIA",
     12,
     CALLSTATUS_EARLYMEDIA,
     kSame,
     0,
     kSame,
     0,
     0,
     {"handset.stopTransfer", "handset.modeFlags:0x01"},
     Identity(12)},
    {"early media of the current call in another state does nothing",
     {12, CALLSTATUS_RINGING_OUT},
     "CALL 12 STATUS EARLYMEDIA",
     12,
     CALLSTATUS_RINGING_OUT,
     kSame,
     0,
     kSame,
     0,
     0,
     {},
     {}},
    {"early media of another call makes it the second call",
     {12, CALLSTATUS_INPROGRESS},
     "CALL 13 STATUS EARLYMEDIA",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     13,
     CALLSTATUS_EARLYMEDIA,
     0,
     0,
     {"handset.stopTransfer", "handset.command:0x9E", "handset.modeFlags:0x01"},
     Identity(13)},
    // FAILED, MISSED, REFUSED, CANCELLED, BUSY
    {"missed ringing call is wrapped up",
     {12, CALLSTATUS_RINGING_IN},
     "CALL 12 STATUS MISSED",
     12,
     CALLSTATUS_MISSED,
     kSame,
     0,
     kSame,
     0,
     0,
     kWrapUp,
     Details(12)},
    {"failed call with the error window shown tells the handset",
     {12, CALLSTATUS_RINGING_OUT},
     "CALL 12 STATUS FAILED",
     12,
     CALLSTATUS_FAILED,
     kSame,
     0,
     kSame,
     0,
     0,
     Join({{"handset.stopTransfer", "handset.command:0x9F", "sound:stop"}, kWrapUp}),
     Details(12),
     false,
     true},
    {"failed call without the error window",
     {12, CALLSTATUS_RINGING_OUT},
     "CALL 12 STATUS FAILED",
     12,
     CALLSTATUS_FAILED,
     kSame,
     0,
     kSame,
     0,
     0,
     kWrapUp,
     Details(12)},
    {"busy call still being routed hangs up",
     {12, CALLSTATUS_NEW},
     "CALL 12 STATUS BUSY",
     12,
     CALLSTATUS_BUSY,
     kSame,
     0,
     kSame,
     0,
     0,
     Join({{"sound:stop"}, kWrapUp}),
     Join({{"HOOK ON"}, Details(12)})},
    {"cancelled call in early media hangs up",
     {12, CALLSTATUS_EARLYMEDIA},
     "CALL 12 STATUS CANCELLED",
     12,
     CALLSTATUS_CANCELLED,
     kSame,
     0,
     kSame,
     0,
     0,
     Join({{"sound:stop"}, kWrapUp}),
     Join({{"HOOK ON"}, Details(12)})},
    {"answered call that fails takes the failure as its status",
     {12, CALLSTATUS_INPROGRESS},
     "CALL 12 STATUS FAILED",
     12,
     CALLSTATUS_FAILED,
     kSame,
     0,
     kSame,
     0,
     0,
     kWrapUp,
     Details(12)},
    {"held call that is refused takes the failure as its status",
     {12, CALLSTATUS_LOCALHOLD},
     "CALL 12 STATUS REFUSED",
     12,
     CALLSTATUS_REFUSED,
     kSame,
     0,
     kSame,
     0,
     0,
     kWrapUp,
     Details(12)},
    {"finished call reporting a failure keeps its status",
     {12, CALLSTATUS_FINISHED},
     "CALL 12 STATUS FAILED",
     12,
     CALLSTATUS_FINISHED,
     kSame,
     0,
     kSame,
     0,
     0,
     kWrapUp,
     Details(12)},
    {"missed second call is wrapped up",
     {12, CALLSTATUS_INPROGRESS, 13, CALLSTATUS_EARLYMEDIA},
     "CALL 13 STATUS MISSED",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     13,
     CALLSTATUS_MISSED,
     0,
     0,
     kWrapUp,
     Details(13)},
    {"failure of a history call only sets its status",
     {12, CALLSTATUS_INPROGRESS, 0, CALLSTATUS_NONE, {7}},
     "CALL 7 STATUS FAILED",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     0,
     kSame,
     7,
     CALLSTATUS_FAILED,
     {},
     {}},
    // Voicemail
    {"voicemail recording of the current call",
     {12, CALLSTATUS_VM_PLAYING_GREETING},
     "CALL 12 STATUS VM_RECORDING",
     12,
     CALLSTATUS_VM_RECORDING,
     kSame,
     0,
     kSame,
     0,
     0,
     {},
     {}},
    {"voicemail word with no current call goes to the list",
     {0, CALLSTATUS_NONE, 0, CALLSTATUS_NONE, {7}},
     "CALL 7 STATUS VM_REDIRECT",
     0,
     CALLSTATUS_NONE,
     kSame,
     0,
     kSame,
     7,
     CALLSTATUS_VM_REDIRECT,
     {},
     {}},
    {"voicemail word for the second call goes to its record",
     {12, CALLSTATUS_INPROGRESS, 13, CALLSTATUS_INPROGRESS},
     "CALL 13 STATUS VM_PLAYING_GREETING",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     13,
     CALLSTATUS_VM_PLAYING_GREETING,
     0,
     0,
     {},
     {}},
    {"voicemail word for a call neither current nor second goes to the list",
     {12, CALLSTATUS_INPROGRESS, 13, CALLSTATUS_FINISHED, {7}},
     "CALL 7 STATUS VM_RECORDING",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     13,
     CALLSTATUS_FINISHED,
     7,
     CALLSTATUS_VM_RECORDING,
     {},
     {}},
    {"voicemail sent ends the current call",
     {12, CALLSTATUS_VM_RECORDING},
     "CALL 12 STATUS VM_SENT",
     12,
     CALLSTATUS_VM_SENT,
     kSame,
     0,
     kSame,
     0,
     0,
     kWrapUp,
     Details(12)},
    {"voicemail cancelled for another call ends the second call",
     {12, CALLSTATUS_INPROGRESS, 13, CALLSTATUS_VM_RECORDING},
     "CALL 13 STATUS VM_CANCELLED",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     13,
     CALLSTATUS_VM_CANCELLED,
     0,
     0,
     kWrapUp,
     Details(13)},
    {"voicemail sent with no current call goes to the list",
     {0, CALLSTATUS_NONE, 0, CALLSTATUS_NONE, {7}},
     "CALL 7 STATUS VM_SENT",
     0,
     CALLSTATUS_NONE,
     kSame,
     0,
     kSame,
     7,
     CALLSTATUS_VM_SENT,
     {},
     {}},
    // LOCALHOLD
    {"hold of the call in progress",
     {12, CALLSTATUS_INPROGRESS},
     "CALL 12 STATUS LOCALHOLD",
     12,
     CALLSTATUS_LOCALHOLD,
     kSame,
     0,
     kSame,
     0,
     0,
     {},
     {}},
    {"hold of a ringing call does nothing",
     {12, CALLSTATUS_RINGING_IN},
     "CALL 12 STATUS LOCALHOLD",
     12,
     CALLSTATUS_RINGING_IN,
     kSame,
     0,
     kSame,
     0,
     0,
     {},
     {}},
    {"hold of another call holds the second call",
     {12, CALLSTATUS_INPROGRESS, 13, CALLSTATUS_INPROGRESS},
     "CALL 13 STATUS LOCALHOLD",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     13,
     CALLSTATUS_LOCALHOLD,
     0,
     0,
     {},
     {}},
    // INPROGRESS
    {"answer of the ringing call",
     {12, CALLSTATUS_RINGING_IN},
     "CALL 12 STATUS INPROGRESS",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     0,
     kSame,
     0,
     0,
     {"handset.stopTransfer", "sound:stop", "handset.command:0x1F"},
     {}},
    {"resume of the held call",
     {12, CALLSTATUS_LOCALHOLD},
     "CALL 12 STATUS INPROGRESS",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     0,
     kSame,
     0,
     0,
     {"handset.stopTransfer", "sound:stop", "handset.command:0x1F"},
     {}},
    {"in progress after finishing does nothing",
     {12, CALLSTATUS_FINISHED},
     "CALL 12 STATUS INPROGRESS",
     12,
     CALLSTATUS_FINISHED,
     kSame,
     0,
     kSame,
     0,
     0,
     {},
     {}},
    {"answer of the second call ringing in",
     {12, CALLSTATUS_LOCALHOLD, 13, CALLSTATUS_RINGING_IN},
     "CALL 13 STATUS INPROGRESS",
     12,
     CALLSTATUS_LOCALHOLD,
     kSame,
     13,
     CALLSTATUS_INPROGRESS,
     0,
     0,
     {"handset.stopTransfer", "sound:stop", "handset.command:0x1F"},
     {}},
    {"answer of the waiting call that arrived in early media",
     {12, CALLSTATUS_LOCALHOLD, 13, CALLSTATUS_EARLYMEDIA},
     "CALL 13 STATUS INPROGRESS",
     12,
     CALLSTATUS_LOCALHOLD,
     kSame,
     13,
     CALLSTATUS_INPROGRESS,
     0,
     0,
     {"handset.stopTransfer", "sound:stop", "handset.command:0x1F"},
     {}},
    {"second call taken off hold",
     {12, CALLSTATUS_LOCALHOLD, 13, CALLSTATUS_LOCALHOLD},
     "CALL 13 STATUS INPROGRESS",
     12,
     CALLSTATUS_LOCALHOLD,
     kSame,
     13,
     CALLSTATUS_INPROGRESS,
     0,
     0,
     {"handset.stopTransfer", "sound:stop", "handset.command:0x1F"},
     {}},
    // FINISHED
    {"finish of the call in progress",
     {12, CALLSTATUS_INPROGRESS},
     "CALL 12 STATUS FINISHED",
     12,
     CALLSTATUS_FINISHED,
     kSame,
     0,
     kSame,
     0,
     0,
     {"handset.stopTransfer", "sound:stop", "handset.command:0x20", "pause:20"},
     Details(12, true)},
    {"finish while a second call rings in rings again",
     {12, CALLSTATUS_INPROGRESS, 13, CALLSTATUS_RINGING_IN},
     "CALL 12 STATUS FINISHED",
     12,
     CALLSTATUS_FINISHED,
     kSame,
     13,
     CALLSTATUS_RINGING_IN,
     0,
     0,
     Join({{"handset.stopTransfer", "sound:stop", "handset.command:0x20", "pause:20",
            "handset.command:0x9E"},
           kRing,
           {"pause:10"}}),
     Details(12, true)},
    {"finish of the held call",
     {12, CALLSTATUS_LOCALHOLD},
     "CALL 12 STATUS FINISHED",
     12,
     CALLSTATUS_FINISHED,
     kSame,
     0,
     kSame,
     0,
     0,
     {"handset.stopTransfer", "sound:stop", "handset.command:0x20", "pause:20"},
     Details(12, true)},
    {"finish of our call still being routed",
     {12, CALLSTATUS_NEW},
     "CALL 12 STATUS FINISHED",
     12,
     CALLSTATUS_FINISHED,
     kSame,
     0,
     kSame,
     0,
     0,
     kWrapUp,
     Details(12)},
    {"finish of a ringing current call is wrapped up",
     {12, CALLSTATUS_RINGING_IN},
     "CALL 12 STATUS FINISHED",
     12,
     CALLSTATUS_FINISHED,
     kSame,
     0,
     kSame,
     0,
     0,
     kWrapUp,
     Details(12)},
    {"finish of a call that has ended already does nothing",
     {12, CALLSTATUS_MISSED},
     "CALL 12 STATUS FINISHED",
     12,
     CALLSTATUS_MISSED,
     kSame,
     0,
     kSame,
     0,
     0,
     {},
     {}},
    {"finish with no current call sets the listed status",
     {0, CALLSTATUS_NONE, 0, CALLSTATUS_NONE, {7}},
     "CALL 7 STATUS FINISHED",
     0,
     CALLSTATUS_NONE,
     kSame,
     0,
     kSame,
     7,
     CALLSTATUS_FINISHED,
     {},
     {}},
    {"finish of the second call asks for its details only",
     {12, CALLSTATUS_LOCALHOLD, 13, CALLSTATUS_INPROGRESS},
     "CALL 13 STATUS FINISHED",
     12,
     CALLSTATUS_LOCALHOLD,
     kSame,
     13,
     CALLSTATUS_FINISHED,
     0,
     0,
     {},
     Details(13)},
    {"finish of the held second call asks for its details",
     {12, CALLSTATUS_INPROGRESS, 13, CALLSTATUS_LOCALHOLD},
     "CALL 13 STATUS FINISHED",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     13,
     CALLSTATUS_FINISHED,
     0,
     0,
     {},
     Details(13)},
    {"finish of a history call during a call only sets its listed status",
     {12, CALLSTATUS_INPROGRESS, 13, CALLSTATUS_INPROGRESS, {7}},
     "CALL 7 STATUS FINISHED",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     13,
     CALLSTATUS_INPROGRESS,
     7,
     CALLSTATUS_FINISHED,
     {},
     {}},
    // Others
    {"a status word not handled does nothing",
     {12, CALLSTATUS_INPROGRESS},
     "CALL 12 STATUS REMOTEHOLD",
     12,
     CALLSTATUS_INPROGRESS,
     kSame,
     0,
     kSame,
     0,
     0,
     {},
     {}},
    {"status words are case sensitive",
     {},
     "CALL 12 STATUS ringing",
     0,
     CALLSTATUS_NONE,
     kSame,
     0,
     kSame,
     0,
     0,
     {},
     {}},
};

class CallStatusTest : public NotificationTest, public ::testing::WithParamInterface<StatusCase> {
protected:
    void SetScene(const Scene& scene) {
        for (int id : scene.listedIds) {
            calls.AddCall(id, 0);
        }
        calls.SetCurrentCallId(scene.cur);
        calls.SetCurrentCallStatus(scene.st);
        calls.SetSecondCallId(scene.sec);
        calls.SetSecondCallStatus(scene.secSt);
    }
};

TEST_P(CallStatusTest, StatusNotification) {
    const StatusCase& c = GetParam();
    link->SetHandsetDisplayMode(1);
    SetScene(c.scene);
    const CallRecord before = calls.SnapshotCurrentCall();
    handset.transferBusy = c.transferBusy;
    windows.Show(kSkypeSerFormClass, c.serWindow);
    ClearRecords();

    Notify(c.notification);

    const CallRecord current = calls.SnapshotCurrentCall();
    const CallRecord second = calls.SnapshotSecondCall();
    EXPECT_EQ(current.id, c.curId);
    EXPECT_EQ(current.status, c.curStatus);
    EXPECT_EQ(current.type, c.curType == kSame ? before.type : c.curType);
    EXPECT_EQ(second.id, c.secId);
    if (c.secStatus != kSame) {
        EXPECT_EQ(second.status, c.secStatus);
    } else {
        EXPECT_EQ(second.status, c.scene.secSt);
    }
    if (c.listedId != 0) {
        const CallRecord* entry = Listed(c.listedId);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->status, c.listedStatus);
    }
    EXPECT_EQ(HandsetSide(), c.handsetSide);
    EXPECT_EQ(Sent(), c.sent);
}

std::string CaseName(const ::testing::TestParamInfo<StatusCase>& info) {
    std::string name;
    bool upper = true;
    for (const char* p = info.param.name; *p; ++p) {
        if (*p == ' ') {
            upper = true;
            continue;
        }
        name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(*p))) : *p;
        upper = false;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryRow, CallStatusTest, ::testing::ValuesIn(kStatusCases), CaseName);

// --- details of single rows --------------------------------------------------

TEST_F(NotificationTest, ThirdCallRefusalGoesStraightToTheWireAheadOfQueuedCommands) {
    calls.SetCurrentCallId(12);
    calls.SetCurrentCallStatus(CALLSTATUS_INPROGRESS);
    wire.sendGate.Close();  // the command thread is held on its first text
    link->AddToMessageOutQueue("QUEUED 1");
    ASSERT_TRUE(log.WaitFor("send:", 1));
    link->AddToMessageOutQueue("QUEUED 2");
    ++queued;
    ASSERT_EQ(link->AddToMessageInQueue("CALL 13 STATUS RINGING"), 0);
    ASSERT_TRUE(log.WaitFor("send:", 2));
    wire.sendGate.Open();
    WaitHandled();
    EXPECT_EQ(Sent(), (Texts{"QUEUED 1", "SET CALL    13 STATUS FINISHED", "QUEUED 2"}));
    const int refusal = log.IndexOf("send:SET CALL    13 STATUS FINISHED");
    const int read = log.IndexOf("calls.GetCurrentCallId");
    ASSERT_GE(refusal, 0);
    ASSERT_GE(read, 0);
    EXPECT_EQ(log.Events()[static_cast<std::size_t>(refusal)].thread,
              log.Events()[static_cast<std::size_t>(read)].thread)
        << "the refusal is sent by the notification thread itself";
}

TEST_F(NotificationTest, IdentityRequestAsksForTheHandleWithoutFontSupport) {
    Configure("[FONT]\nNotSupportedFont=1\n");
    link->SetHandsetDisplayMode(1);
    Notify("CALL 12 STATUS RINGING");
    EXPECT_EQ(Sent(), (Texts{"GET CALL 12 PARTNER_HANDLE"}));
}

TEST_F(NotificationTest, NoIdentityRequestWhenTheHandsetDoesNotAskForIt) {
    Notify("CALL 12 STATUS RINGING");
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(log.With("handset.modeFlags").empty());
    EXPECT_EQ(log.With("handset.command:"), (Texts{"0x1A", "0x9E"}));
}

TEST_F(NotificationTest, CallWordsOutOfRangeOrNotNumbersAreReadSafely) {
    // A non-number id reads as 0; with no current call that is "the current call".
    Notify("CALL abc STATUS RINGING");
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 0);
    EXPECT_EQ(calls.SnapshotCurrentCall().status, CALLSTATUS_RINGING_IN);
    calls.ResetCurrentCall();
    Notify("CALL 99999999999999999999 STATUS RINGING");
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 2147483647);
    calls.ResetCurrentCall();
    Notify("CALL -5 STATUS RINGING");
    EXPECT_EQ(calls.SnapshotCurrentCall().id, -5);
}

// --- property replies ----------------------------------------------------------

class CallPropertyTest : public NotificationTest {
protected:
    CallPropertyTest() {
        calls.AddCall(7, 0);
        calls.SetCurrentCallId(12);
        calls.SetCurrentCallStatus(CALLSTATUS_RINGING_IN);
        calls.SetSecondCallId(13);
        calls.SetSecondCallStatus(CALLSTATUS_EARLYMEDIA);
    }
};

TEST_F(CallPropertyTest, HandleOfTheRingingCallGoesToTheDisplay) {
    link->SetHandsetDisplayMode(1);
    ClearRecords();
    Notify("CALL 12 PARTNER_HANDLE echo123");
    EXPECT_EQ(Text(calls.SnapshotCurrentCall().handle), "echo123");
    EXPECT_EQ(CallerHandleText(), "echo123");
    EXPECT_EQ(HandsetSide(), (Texts{"handset.stopTransfer", "font.UTF_8ToUnicodeToFontCode:echo123",
                                    "handset.modeFlags|0x10", "handset.command:0x3E"}));
}

TEST_F(CallPropertyTest, HandleMarksPlainCharactersEvenWithoutTheDisplayFlag) {
    handset.modeFlags = 0x0001;
    Notify("CALL 12 PARTNER_HANDLE echo123");
    EXPECT_EQ(HandsetSide(), (Texts{"handset.modeFlags|0x10"}));
    EXPECT_EQ(handset.modeFlags.load(), 0x0011u);
}

TEST_F(CallPropertyTest, HandleOfAnAnsweredCallIsOnlyStored) {
    link->SetHandsetDisplayMode(1);
    calls.SetCurrentCallStatus(CALLSTATUS_INPROGRESS);
    Notify("CALL 12 PARTNER_HANDLE echo123");
    EXPECT_EQ(Text(calls.SnapshotCurrentCall().handle), "echo123");
    EXPECT_TRUE(HandsetSide().empty());
}

TEST_F(CallPropertyTest, HandleOfTheSecondAndOfAHistoryCallIsStoredByItsId) {
    Notify({"CALL 13 PARTNER_HANDLE bob", "CALL 7 PARTNER_HANDLE carol",
            "CALL 8 PARTNER_HANDLE nobody"});
    EXPECT_EQ(Text(calls.SnapshotSecondCall().handle), "bob");
    EXPECT_EQ(Text(Listed(7)->handle), "carol");
    EXPECT_EQ(Listed(8), nullptr) << "an id that matches nothing is not added";
    EXPECT_TRUE(Text(calls.SnapshotCurrentCall().handle).empty());
    EXPECT_TRUE(HandsetSide().empty());
}

TEST_F(CallPropertyTest, DisplayNameKeepsEveryWordEachFollowedByABlank) {
    link->SetHandsetDisplayMode(1);
    Notify("CALL 12 STATUS RINGING");  // refused: 12 is current already
    calls.SetCurrentCallStatus(CALLSTATUS_RINGING_IN);
    handset.modeFlags = 0x0001;
    ClearRecords();
    Notify("CALL 12 PARTNER_DISPNAME Echo  Sound Test");
    EXPECT_EQ(Text(calls.SnapshotCurrentCall().displayName), "Echo Sound Test ");
    EXPECT_EQ(users.SnapshotCallerName(), "Echo Sound Test ");
    EXPECT_EQ(HandsetSide(),
              (Texts{"handset.stopTransfer", "font.UTF_8ToUnicodeToFontCode:Echo Sound Test ",
                     "handset.modeFlags|0x20", "handset.command:0x3F"}));
    EXPECT_EQ(handset.modeFlags.load(), 0x0021u);
}

TEST_F(CallPropertyTest, EmptyDisplayNameStaysEmptyAndOthersAreStoredById) {
    Notify({"CALL 12 PARTNER_DISPNAME", "CALL 13 PARTNER_DISPNAME Bob B",
            "CALL 7 PARTNER_DISPNAME Carol"});
    EXPECT_EQ(Text(calls.SnapshotCurrentCall().displayName), "");
    EXPECT_EQ(Text(calls.SnapshotSecondCall().displayName), "Bob B ");
    EXPECT_EQ(Text(Listed(7)->displayName), "Carol ");
    EXPECT_TRUE(log.With("handset.modeFlags").empty()) << "no display flag: modeFlags untouched";
}

TEST_F(CallPropertyTest, RingingCallWithoutADisplayNameShowsItsHandleNotTheLastName) {
    link->SetHandsetDisplayMode(1);
    ClearRecords();
    Notify("CALL 12 PARTNER_DISPNAME");
    EXPECT_TRUE(log.With("font.").empty()) << "an empty name is not converted";
    EXPECT_TRUE(log.With("handset.command:").empty());
    EXPECT_EQ(Sent(), (Texts{"GET CALL 12 PARTNER_HANDLE"}));
    Notify("CALL 12 PARTNER_HANDLE +4930123456");
    EXPECT_EQ(log.With("font.UTF_8ToUnicodeToFontCode:"), (Texts{"+4930123456"}));
    EXPECT_EQ(log.With("handset.command:"), (Texts{"0x3E"}));
}

TEST_F(CallPropertyTest, OverlongNamesAndHandlesAreCutToTheirBuffers) {
    const std::string longWord(5000, 'x');
    std::string manyWords;
    for (int i = 0; i < 400; ++i) {
        manyWords += "\xE4\xB8\xAD ";  // a three-byte character per word
    }
    Notify({"CALL 12 PARTNER_HANDLE " + longWord, "CALL 7 PARTNER_DISPNAME " + manyWords,
            "CALL " + longWord + " TYPE INCOMING_PSTN"});
    EXPECT_EQ(Text(calls.SnapshotCurrentCall().handle), std::string(254, 'x'));
    const std::string name = Text(Listed(7)->displayName);
    EXPECT_LE(name.size(), 254u);
    EXPECT_EQ(name.size() % 4, 0u) << "cut between characters, never inside one";
    EXPECT_EQ(name.substr(0, 8), "\xE4\xB8\xAD \xE4\xB8\xAD ");
}

TEST_F(CallPropertyTest, TypeDurationAndSeenGoToTheRecordOfTheirId) {
    Notify({"CALL 12 TYPE OUTGOING_PSTN", "CALL 13 TYPE INCOMING_PSTN", "CALL 7 TYPE INCOMING_P2P",
            "CALL 12 DURATION 75", "CALL 13 DURATION 9", "CALL 7 DURATION 31", "CALL 12 SEEN TRUE",
            "CALL 13 SEEN FALSE", "CALL 7 SEEN true"});
    const CallRecord current = calls.SnapshotCurrentCall();
    const CallRecord second = calls.SnapshotSecondCall();
    const CallRecord entry = *Listed(7);
    EXPECT_EQ(current.type, CALLTYPE_OUTGOING_PSTN);
    EXPECT_EQ(second.type, CALLTYPE_INCOMING_PSTN);
    EXPECT_EQ(entry.type, CALLTYPE_INCOMING_P2P);
    EXPECT_EQ(current.duration, 75);
    EXPECT_EQ(second.duration, 9);
    EXPECT_EQ(entry.duration, 31);
    EXPECT_EQ(current.seen, 1);
    EXPECT_EQ(second.seen, 0);
    EXPECT_EQ(entry.seen, 0) << "only TRUE, in capitals, is seen";
    Notify("CALL 12 TYPE SKYPE_OUT_OTHER");
    EXPECT_EQ(calls.SnapshotCurrentCall().type, CALLTYPE_NONE);
}

// --- TIMESTAMP -------------------------------------------------------------------

TEST_F(NotificationTest, TimestampCommitsAMissedCurrentCallPromotesTheSecondAndShowsTheCount) {
    link->SetHandsetDisplayMode(1);
    calls.SetCurrentCallId(12);
    calls.SetCurrentCallStatus(CALLSTATUS_MISSED);
    calls.SetCurrentCallType(CALLTYPE_INCOMING_P2P);
    calls.SetCurrentCallSeen(0);
    calls.SetSecondCallId(13);
    calls.SetSecondCallStatus(CALLSTATUS_EARLYMEDIA);
    ClearRecords();
    Notify("CALL 12 TIMESTAMP 1700000000");
    const CallRecord* entry = Listed(12);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->timestamp, 1700000000);
    EXPECT_EQ(entry->status, CALLSTATUS_MISSED);
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 13);
    EXPECT_EQ(calls.SnapshotCurrentCall().status, CALLSTATUS_EARLYMEDIA);
    EXPECT_EQ(calls.SnapshotSecondCall().id, 0);
    EXPECT_EQ(HandsetSide(), (Texts{"handset.stopTransfer", "handset.modeFlags:0x21",
                                    "font.UTF_8ToUnicodeToFontCode:1 Missed Calls",
                                    "handset.command:0x3F", "pause:20"}));
}

TEST_F(NotificationTest, TimestampOfAFinishedCurrentCallWaitsForItsDurationText) {
    link->SetHandsetDisplayMode(1);
    calls.SetCurrentCallId(12);
    calls.SetCurrentCallStatus(CALLSTATUS_FINISHED);
    calls.SetCurrentCallDuration(61);
    ClearRecords();
    Notify("CALL 12 TIMESTAMP 1700000000");
    ASSERT_NE(Listed(12), nullptr);
    EXPECT_EQ(Listed(12)->duration, 61);
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 0);
    // The text is flagged before the handset is asked for the transfer, which
    // it may answer at once.
    EXPECT_EQ(HandsetSide(),
              (Texts{"handset.stopTransfer", "handset.modeFlags|0x2000", "handset.command:0x3E"}));
    EXPECT_EQ(log.With("calls.Commit"), (Texts{"CurrentCall"}));
}

TEST_F(NotificationTest, TimestampOfACurrentCallStillUpLeavesItCurrent) {
    calls.SetCurrentCallId(12);
    calls.SetCurrentCallStatus(CALLSTATUS_INPROGRESS);
    ClearRecords();
    Notify("CALL 12 TIMESTAMP 1700000000");
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 12);
    EXPECT_EQ(Listed(12), nullptr);
    EXPECT_TRUE(HandsetSide().empty());
}

TEST_F(NotificationTest, TimestampCommitsASecondCallThatEnded) {
    link->SetHandsetDisplayMode(1);
    calls.SetCurrentCallId(12);
    calls.SetCurrentCallStatus(CALLSTATUS_INPROGRESS);
    for (int status : {CALLSTATUS_MISSED, CALLSTATUS_FINISHED, CALLSTATUS_VM_SENT}) {
        calls.SetSecondCallId(13);
        calls.SetSecondCallStatus(status);
        ClearRecords();
        Notify("CALL 13 TIMESTAMP 1700000100");
        ASSERT_NE(Listed(13), nullptr);
        EXPECT_EQ(Listed(13)->status, status);
        EXPECT_EQ(calls.SnapshotSecondCall().id, 0);
        EXPECT_EQ(calls.SnapshotCurrentCall().id, 12);
        EXPECT_EQ(log.With("calls.Commit"), (Texts{"SecondCall"}));
        // Only a missed call shows the count (0 here: the call was not incoming).
        EXPECT_EQ(log.With("font.").size(), status == CALLSTATUS_MISSED ? 1u : 0u);
        calls.ClearCalls();
    }
}

TEST_F(NotificationTest, TimestampOfASecondCallStillWaitingChangesNothing) {
    calls.SetCurrentCallId(12);
    calls.SetCurrentCallStatus(CALLSTATUS_INPROGRESS);
    calls.SetSecondCallId(13);
    calls.SetSecondCallStatus(CALLSTATUS_EARLYMEDIA);
    Notify("CALL 13 TIMESTAMP 1700000100");
    EXPECT_EQ(Listed(13), nullptr);
    EXPECT_EQ(calls.SnapshotSecondCall().id, 13);
}

TEST_F(NotificationTest, TimestampOfAHistoryCallCompletesItsDetails) {
    calls.AddCall(7, 0);
    Notify("CALL 7 TIMESTAMP 1600000000");
    ASSERT_NE(Listed(7), nullptr);
    EXPECT_EQ(Listed(7)->timestamp, 1600000000);
    EXPECT_EQ(Listed(7)->detailsLoaded, 1);
}

// --- history -----------------------------------------------------------------------

TEST_F(NotificationTest, CallHistoryChangedClearsTheListAndSearchesAgain) {
    calls.AddCall(7, 1);
    ClearRecords();
    Notify("CALLHISTORYCHANGED");
    EXPECT_EQ(Listed(7), nullptr);
    EXPECT_EQ(log.With("calls."), (Texts{"GetCurrentCallId", "ClearCalls", "ResetCallBrowse"}));
    EXPECT_EQ(Sent(), (Texts{"SEARCH CALLS"}));
}

TEST_F(NotificationTest, CallsReplyWithNoIdsCompletesTheLoadAtOnce) {
    Notify("CALLS ");
    EXPECT_EQ(link->CallsLoaded(), 1);
    EXPECT_EQ(log.With("handset.startLink").size(), 1u);
    EXPECT_EQ(Sent(), (Texts{"GET PRIVILEGE SKYPEOUT"}));
}

TEST_F(NotificationTest, CallsReplyFillsAnEmptyListInOrderAndItsLastSeenCompletesTheLoad) {
    Notify("CALLS 5, 9");
    std::vector<int> ids;
    for (const CallRecord& record : calls.SnapshotCalls()) {
        ids.push_back(record.id);
    }
    EXPECT_EQ(ids, (std::vector<int>{5, 9}));
    EXPECT_EQ(Sent(),
              (Texts{"GET CALL 5 TYPE", "GET CALL 5 STATUS", "GET CALL 5 SEEN", "GET CALL 9 TYPE",
                     "GET CALL 9 STATUS", "GET CALL 9 SEEN", "GET PRIVILEGE SKYPEOUT"}));
    Notify("CALL 5 SEEN TRUE");
    EXPECT_EQ(link->CallsLoaded(), 0);
    Notify("CALL 9 SEEN FALSE");
    EXPECT_EQ(link->CallsLoaded(), 1);
    EXPECT_EQ(log.With("handset.startLink").size(), 1u);
    Notify("CALL 9 SEEN TRUE");
    EXPECT_EQ(log.With("handset.startLink").size(), 1u) << "the load completes once";
}

TEST_F(NotificationTest, CallsReplyKeepsAListThatHoldsNoMoreThanItLists) {
    calls.AddCall(5, 1);
    calls.AddCall(9, 1);
    Notify("CALLS 5, 9, 11");
    EXPECT_EQ(calls.SnapshotCalls().size(), 2u);
    EXPECT_EQ(Sent(), (Texts{"GET PRIVILEGE SKYPEOUT"}));
    Notify("CALLS 5");
    EXPECT_EQ(calls.SnapshotCalls().size(), 1u) << "fewer ids than listed: reloaded";
}

}  // namespace
