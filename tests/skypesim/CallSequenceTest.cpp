// Calls as notification sequences: outgoing and incoming calls with every
// ending, hold, a waiting second call, voicemail, the phone keys, and the
// history that finished calls leave behind.
#include "SimEngine.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

namespace skypesim {
namespace {

using testing::Recorder;
using Texts = std::vector<std::string>;

class CallSequence : public ::testing::Test {
protected:
    void SetUp() override { Make(DefaultModel()); }
    void Make(Model model) {
        model.epochAtStart = 1800000000;
        model.stepDelayMs = 100;
        model.answerDelayMs = 1000;
        engine_ = std::make_unique<Engine>(model);
    }
    Texts Command(const std::string& text, long long at) {
        engine_->HandleCommand(text, at, out_);
        return out_.Take();
    }
    Texts AdvanceTo(long long at) {
        engine_->Advance(at, out_);
        return out_.Take();
    }
    std::string Reply(const std::string& text, long long at) {
        Texts t = Command(text, at);
        return t.size() == 1 ? t[0] : "(" + std::to_string(t.size()) + " texts)";
    }
    const Call& CallOf(int id) { return *engine_->model().FindCall(id); }

    std::unique_ptr<Engine> engine_;
    Recorder out_;
};

TEST_F(CallSequence, OutgoingCallRingsIsAnsweredAndEntersTheHistoryWhenHungUp) {
    Model model = DefaultModel();
    model.outgoingPolicy = AnswerPolicy::kAnswer;
    Make(model);
    Command("PROTOCOL 5", 0);
    EXPECT_EQ(Command("CALL alice.andersen", 0), Texts{"R:CALL 1000 STATUS UNPLACED"});
    EXPECT_EQ(AdvanceTo(99), Texts{});
    EXPECT_EQ(AdvanceTo(100), Texts{"N:CALL 1000 STATUS ROUTING"});
    EXPECT_EQ(AdvanceTo(200), Texts{"N:CALL 1000 STATUS RINGING"});
    EXPECT_EQ(AdvanceTo(1199), Texts{});
    EXPECT_EQ(AdvanceTo(1200), Texts{"N:CALL 1000 STATUS INPROGRESS"});
    EXPECT_EQ(Reply("SET CALL 1000 DTMF #", 2000), "R:CALL 1000 DTMF #");
    EXPECT_EQ(Reply("GET CALL 1000 DURATION", 3300), "R:CALL 1000 DURATION 2");
    EXPECT_EQ(Command("SET CALL  1000 STATUS FINISHED", 5300),
              Texts{"R:CALL 1000 STATUS FINISHED"});

    EXPECT_EQ(Reply("GET CALL 1000 TYPE", 6000), "R:CALL 1000 TYPE OUTGOING_P2P");
    EXPECT_EQ(Reply("GET CALL 1000 PARTNER_HANDLE", 6000),
              "R:CALL 1000 PARTNER_HANDLE alice.andersen");
    EXPECT_EQ(Reply("GET CALL 1000 PARTNER_DISPNAME", 6000), "R:CALL 1000 PARTNER_DISPNAME Alice");
    EXPECT_EQ(Reply("GET CALL 1000 DURATION", 9000), "R:CALL 1000 DURATION 4");
    EXPECT_EQ(Reply("GET CALL 1000 TIMESTAMP", 9000), "R:CALL 1000 TIMESTAMP 1800000000");
    EXPECT_EQ(Reply("GET CALL 1000 SEEN", 9000), "R:CALL 1000 SEEN TRUE");
    EXPECT_EQ(Reply("SEARCH CALLS", 9000), "R:CALLS 1000, 104, 103, 102, 101");
}

TEST_F(CallSequence, BelowProtocolFiveTheCallStartsRoutingAtOnce) {
    Command("PROTOCOL 3", 0);
    EXPECT_EQ(Command("CALL bob.brown", 0), Texts{"R:CALL 1000 STATUS ROUTING"});
    EXPECT_EQ(AdvanceTo(100), Texts{"N:CALL 1000 STATUS RINGING"});
    // Manual far party: it rings until the script decides.
    EXPECT_EQ(AdvanceTo(60000), Texts{});
}

TEST_F(CallSequence, HangingUpBeforeTheAnswerCancelsAndDropsTheScheduledSteps) {
    Model model = DefaultModel();
    model.outgoingPolicy = AnswerPolicy::kAnswer;
    Make(model);
    Command("PROTOCOL 5", 0);
    Command("CALL +4930555", 0);
    AdvanceTo(250);
    EXPECT_EQ(Command("SET CALL 1000 STATUS FINISHED", 300), Texts{"R:CALL 1000 STATUS CANCELLED"});
    EXPECT_EQ(AdvanceTo(5000), Texts{});
    EXPECT_EQ(CallOf(1000).type, "OUTGOING_PSTN");
    EXPECT_EQ(CallOf(1000).duration, 0);
}

TEST_F(CallSequence, FarPartyPoliciesGiveTheirEndings) {
    struct Case {
        AnswerPolicy policy;
        Texts after;  // notifications after UNPLACED, until nothing more is scheduled
    };
    const Case cases[] = {
        {AnswerPolicy::kBusy, {"N:CALL 1000 STATUS ROUTING", "N:CALL 1000 STATUS BUSY"}},
        {AnswerPolicy::kFail, {"N:CALL 1000 STATUS ROUTING", "N:CALL 1000 STATUS FAILED"}},
        {AnswerPolicy::kRefuse,
         {"N:CALL 1000 STATUS ROUTING", "N:CALL 1000 STATUS RINGING",
          "N:CALL 1000 STATUS REFUSED"}},
        {AnswerPolicy::kEarlyMedia,
         {"N:CALL 1000 STATUS ROUTING", "N:CALL 1000 STATUS EARLYMEDIA",
          "N:CALL 1000 STATUS INPROGRESS"}},
        {AnswerPolicy::kVoicemail,
         {"N:CALL 1000 STATUS ROUTING", "N:CALL 1000 STATUS RINGING",
          "N:CALL 1000 STATUS VM_BUFFERING_GREETING", "N:CALL 1000 STATUS VM_PLAYING_GREETING",
          "N:CALL 1000 STATUS VM_RECORDING"}},
    };
    for (const Case& c : cases) {
        Model model = DefaultModel();
        model.FindContact("bob.brown")->hasPolicy = true;
        model.FindContact("bob.brown")->answers = c.policy;
        Make(model);
        Command("PROTOCOL 5", 0);
        EXPECT_EQ(Command("CALL bob.brown", 0), Texts{"R:CALL 1000 STATUS UNPLACED"});
        EXPECT_EQ(AdvanceTo(100000), c.after) << static_cast<int>(c.policy);
    }
}

TEST_F(CallSequence, VoicemailHungUpWhileRecordingIsUploadedAndSent) {
    Command("PROTOCOL 5", 0);
    Command("CALL bob.brown", 0);
    AdvanceTo(200);
    std::string error;
    ASSERT_TRUE(engine_->PartnerEvent("voicemail", 0, 300, out_, &error)) << error;
    out_.Take();
    AdvanceTo(1000);
    EXPECT_EQ(CallOf(1000).status, "VM_RECORDING");
    EXPECT_EQ(Command("HOOK ON", 2000), (Texts{"R:HOOK ON", "N:CALL 1000 STATUS VM_UPLOADING"}));
    EXPECT_EQ(AdvanceTo(2100), Texts{"N:CALL 1000 STATUS VM_SENT"});
}

TEST_F(CallSequence, PstnCallWithoutSkypeOutFails) {
    Model model = DefaultModel();
    model.skypeOut = false;
    Make(model);
    Command("CALL +15550100", 0);
    EXPECT_EQ(AdvanceTo(1000), Texts{"N:CALL 1000 STATUS FAILED"});
    EXPECT_EQ(Reply("GET CALL 1000 FAILUREREASON", 1000), "R:CALL 1000 FAILUREREASON 4");
}

TEST_F(CallSequence, IncomingCallIsAnsweredHeldResumedAndFinishedByThePartner) {
    Command("PROTOCOL 5", 0);
    std::string error;
    int id = 0;
    ASSERT_TRUE(engine_->Ring("wang.xiaoming", false, 0, out_, &id, &error));
    EXPECT_EQ(out_.Take(), Texts{"N:CALL 1000 STATUS RINGING"});
    EXPECT_EQ(Reply("GET CALL 1000 PARTNER_DISPNAME", 10), "R:CALL 1000 PARTNER_DISPNAME 王小明");
    EXPECT_EQ(Reply("GET CALL 1000 TYPE", 10), "R:CALL 1000 TYPE INCOMING_P2P");
    EXPECT_EQ(Command("SET CALL  1000 STATUS INPROGRESS", 1000),
              Texts{"R:CALL 1000 STATUS INPROGRESS"});
    EXPECT_EQ(Command("SET CALL  1000 STATUS ONHOLD", 2000),
              (Texts{"R:CALL 1000 STATUS ONHOLD", "N:CALL 1000 STATUS LOCALHOLD"}));
    EXPECT_EQ(Reply("SET CALL 1000 DTMF 1", 2100), "R:ERROR 41 Call not active");
    EXPECT_EQ(Command("SET CALL  1000 STATUS INPROGRESS", 3000),
              Texts{"R:CALL 1000 STATUS INPROGRESS"});
    ASSERT_TRUE(engine_->PartnerEvent("hangs up", 0, 6500, out_, &error)) << error;
    EXPECT_EQ(out_.Take(), Texts{"N:CALL 1000 STATUS FINISHED"});
    EXPECT_EQ(CallOf(1000).duration, 5);  // from the answer, holding included
    EXPECT_TRUE(CallOf(1000).seen);
}

TEST_F(CallSequence, ProtocolOneHoldIsOnHoldOnly) {
    int id = 0;
    std::string error;
    engine_->Ring("alice.andersen", false, 0, out_, &id, &error);
    Command("SET CALL 1000 STATUS INPROGRESS", 10);
    out_.Take();
    EXPECT_EQ(Command("SET CALL 1000 STATUS ONHOLD", 20), Texts{"R:CALL 1000 STATUS ONHOLD"});
    EXPECT_EQ(Reply("GET CALL 1000 STATUS", 30), "R:CALL 1000 STATUS ONHOLD");
}

TEST_F(CallSequence, UnansweredIncomingCallsAreMissedRefusedOrTimedOut) {
    std::string error;
    int id = 0;
    engine_->Ring("bob.brown", false, 0, out_, &id, &error);
    ASSERT_TRUE(engine_->PartnerEvent("gives up", 0, 100, out_, &error)) << error;
    engine_->Ring("+4930777", false, 200, out_, &id, &error);
    Command("SET CALL 1001 STATUS FINISHED", 300);  // the user rejects it
    EXPECT_EQ(out_.Take(), Texts{});
    EXPECT_EQ(CallOf(1000).status, "MISSED");
    EXPECT_FALSE(CallOf(1000).seen);
    EXPECT_EQ(CallOf(1001).status, "REFUSED");
    EXPECT_EQ(CallOf(1001).type, "INCOMING_PSTN");
    EXPECT_EQ(Reply("SEARCH MISSEDCALLS", 400), "R:CALLS 1000, 104");
    Command("SET CALL 1000 SEEN", 500);
    EXPECT_EQ(Reply("SEARCH MISSEDCALLS", 500), "R:CALLS 104");

    Model model = DefaultModel();
    model.ringTimeoutMs = 3000;
    Make(model);
    engine_->Ring("alice.andersen", false, 0, out_, &id, &error);
    out_.Take();
    EXPECT_EQ(AdvanceTo(2999), Texts{});
    EXPECT_EQ(AdvanceTo(3000), Texts{"N:CALL 1000 STATUS MISSED"});
}

TEST_F(CallSequence, AnsweringAWaitingCallHoldsTheCallInProgress) {
    Command("PROTOCOL 5", 0);
    int id = 0;
    std::string error;
    engine_->Ring("alice.andersen", false, 0, out_, &id, &error);
    Command("SET CALL 1000 STATUS INPROGRESS", 100);
    engine_->Ring("bob.brown", false, 200, out_, &id, &error);
    out_.Take();
    EXPECT_EQ(Command("SET CALL 1001 STATUS INPROGRESS", 300),
              (Texts{"N:CALL 1000 STATUS ONHOLD", "N:CALL 1000 STATUS LOCALHOLD",
                     "R:CALL 1001 STATUS INPROGRESS"}));
    // HOOK ON ends the call in progress and leaves the held one.
    EXPECT_EQ(Command("HOOK ON", 400), (Texts{"R:HOOK ON", "N:CALL 1001 STATUS FINISHED"}));
    EXPECT_EQ(CallOf(1000).status, "LOCALHOLD");
}

TEST_F(CallSequence, WaitingCallInEarlyMediaIsAnsweredHeldOnResumeAndEndsWhenHungUp) {
    Command("PROTOCOL 5", 0);
    int id = 0;
    std::string error;
    engine_->Ring("alice.andersen", false, 0, out_, &id, &error);
    Command("SET CALL 1000 STATUS INPROGRESS", 100);
    out_.Take();
    ASSERT_TRUE(engine_->Ring("bob.brown", false, 200, out_, &id, &error, true)) << error;
    EXPECT_EQ(out_.Take(), Texts{"N:CALL 1001 STATUS EARLYMEDIA"});
    Command("SET CALL 1001 STATUS INPROGRESS", 300);
    // Resuming the first call holds the waiting one.
    EXPECT_EQ(Command("SET CALL 1000 STATUS INPROGRESS", 400),
              (Texts{"N:CALL 1001 STATUS ONHOLD", "N:CALL 1001 STATUS LOCALHOLD",
                     "R:CALL 1000 STATUS INPROGRESS"}));
    ASSERT_TRUE(engine_->PartnerEvent("hangs up", 1001, 500, out_, &error)) << error;
    EXPECT_EQ(out_.Take(), Texts{"N:CALL 1001 STATUS FINISHED"});
}

TEST_F(CallSequence, PhoneKeysDialAnswerAndHangUp) {
    Command("PROTOCOL 5", 0);
    for (const char* key : {"0", "0", "4", "9", "3", "0"}) {
        Command(std::string("BTN_RELEASED ") + key, 0);
    }
    EXPECT_EQ(engine_->dialBuffer(), "004930");
    EXPECT_EQ(Command("BTN_RELEASED YES", 10),
              (Texts{"R:BTN_RELEASED YES", "N:CALL 1000 STATUS UNPLACED"}));
    EXPECT_EQ(CallOf(1000).partnerHandle, "004930");
    EXPECT_EQ(CallOf(1000).type, "OUTGOING_PSTN");
    EXPECT_EQ(engine_->dialBuffer(), "");
    EXPECT_EQ(Command("BTN_RELEASED NO", 20),
              (Texts{"R:BTN_RELEASED NO", "N:CALL 1000 STATUS CANCELLED"}));

    int id = 0;
    std::string error;
    engine_->Ring("bob.brown", false, 100, out_, &id, &error);
    out_.Take();
    EXPECT_EQ(Command("HOOK OFF", 200), (Texts{"R:HOOK OFF", "N:CALL 1001 STATUS INPROGRESS"}));
    // Digits during a call are tones, not dialling.
    Command("BTN_RELEASED 7", 300);
    EXPECT_EQ(engine_->dialBuffer(), "");

    // Contact list navigation and the green key call the chosen contact.
    Command("HOOK ON", 400);
    Command("BTN_RELEASED DOWN", 500);
    Command("BTN_RELEASED DOWN", 500);
    EXPECT_EQ(engine_->selectedContact(), 1);
    EXPECT_EQ(Command("BTN_RELEASED YES", 600),
              (Texts{"R:BTN_RELEASED YES", "N:CALL 1002 STATUS UNPLACED"}));
    EXPECT_EQ(CallOf(1002).partnerHandle, "alice.andersen");
}

TEST_F(CallSequence, UserStatusOfflineDisconnectsAndOnlineReconnects) {
    EXPECT_EQ(Command("SET USERSTATUS OFFLINE", 0),
              (Texts{"R:USERSTATUS OFFLINE", "N:CONNSTATUS OFFLINE"}));
    EXPECT_EQ(Reply("CALL bob.brown", 0), "R:ERROR 36 Not online");
    EXPECT_EQ(Command("SET USERSTATUS DND", 0),
              (Texts{"N:CONNSTATUS CONNECTING", "N:CONNSTATUS ONLINE", "R:USERSTATUS DND"}));
    EXPECT_EQ(Command("SET USERSTATUS AWAY", 0), Texts{"R:USERSTATUS AWAY"});
}

TEST_F(CallSequence, DurationTicksEverySecondWhenSwitchedOn) {
    Model model = DefaultModel();
    model.durationTicks = true;
    Make(model);
    int id = 0;
    std::string error;
    engine_->Ring("bob.brown", false, 0, out_, &id, &error);
    Command("SET CALL 1000 STATUS INPROGRESS", 500);
    out_.Take();
    EXPECT_EQ(AdvanceTo(1400), Texts{});
    EXPECT_EQ(AdvanceTo(1500), Texts{"N:CALL 1000 DURATION 1"});
    EXPECT_EQ(AdvanceTo(3600), Texts{"N:CALL 1000 DURATION 3"});
}

TEST_F(CallSequence, PartnerEventsNeedACallInTheRightState) {
    std::string error;
    EXPECT_FALSE(engine_->PartnerEvent("answers", 0, 0, out_, &error));
    EXPECT_FALSE(error.empty());
    int id = 0;
    engine_->Ring("bob.brown", false, 0, out_, &id, &error);
    EXPECT_FALSE(
        engine_->PartnerEvent("answers", id, 0, out_, &error));  // incoming: the user answers
    EXPECT_FALSE(engine_->PartnerEvent("dances", 0, 0, out_, &error));
    EXPECT_TRUE(engine_->PartnerEvent("hangs up", id, 0, out_, &error));
    EXPECT_EQ(CallOf(id).status, "MISSED");
}

}  // namespace
}  // namespace skypesim
