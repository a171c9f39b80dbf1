// Whole conversations as the Skype client sends them: live calls from ring to
// commit, the history reload after attach, and the contact list load.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <random>

#include "NotificationFixture.h"

namespace {

class ConversationTest : public NotificationTest {
protected:
    ConversationTest() {
        link->SetHandsetDisplayMode(1);
        ClearRecords();
    }

    // Skype's answers to the detail questions that end a call.
    void AnswerDetails(int id, const std::string& name, const std::string& handle,
                       const std::string& type, bool seen, int duration, int timestamp) {
        const std::string n = "CALL " + std::to_string(id);
        Notify({n + " PARTNER_DISPNAME " + name, n + " PARTNER_HANDLE " + handle,
                n + " SEEN " + (seen ? "TRUE" : "FALSE"), n + " TYPE " + type,
                n + " DURATION " + std::to_string(duration),
                n + " TIMESTAMP " + std::to_string(timestamp)});
    }

    Texts HandsetCommands() { return log.With("handset.command:"); }
};

TEST_F(ConversationTest, IncomingCallAnsweredAndFinishedIsCommittedByItsTimestamp) {
    Notify({"CALL 12 STATUS RINGING", "CALL 12 PARTNER_DISPNAME Echo Sound Test",
            "CALL 12 STATUS INPROGRESS", "CALL 12 DURATION 64", "CALL 12 STATUS FINISHED"});
    EXPECT_EQ(calls.SnapshotCurrentCall().status, CALLSTATUS_FINISHED);
    AnswerDetails(12, "Echo Sound Test", "echo123", "INCOMING_P2P", true, 65, 1700000000);

    EXPECT_EQ(calls.SnapshotCurrentCall().id, 0) << "the committed call is no longer current";
    const CallRecord* entry = Listed(12);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->status, CALLSTATUS_FINISHED);
    EXPECT_EQ(entry->type, CALLTYPE_INCOMING_P2P);
    EXPECT_EQ(entry->duration, 65);
    EXPECT_EQ(entry->timestamp, 1700000000);
    EXPECT_EQ(entry->seen, 1);
    EXPECT_EQ(entry->detailsLoaded, 1);
    EXPECT_EQ(Text(entry->handle), "echo123");
    EXPECT_EQ(Text(entry->displayName), "Echo Sound Test ");
    EXPECT_EQ(HandsetCommands(), (Texts{"0x1A", "0x9E", "0x3F", "0x1F", "0x20", "0x3E"}));
    EXPECT_EQ(log.With("sound:"), (Texts{"music1.wav loop", "stop", "stop"}));
    const Texts sent = Sent();
    EXPECT_EQ(sent.front(), "GET CALL 12 PARTNER_DISPNAME");
    EXPECT_EQ(
        Texts(sent.begin() + 1, sent.end()),
        (Texts{"GET CALL 12 PARTNER_DISPNAME", "GET CALL 12 PARTNER_HANDLE", "GET CALL 12 SEEN",
               "GET CALL 12 TYPE", "GET CALL 12 DURATION", "GET CALL 12 TIMESTAMP"}));
}

TEST_F(ConversationTest, MissedCallShowsTheMissedCallCount) {
    calls.AddUnseenMissedCalls(2);
    Notify({"CALL 12 STATUS RINGING", "CALL 12 PARTNER_DISPNAME Bob", "CALL 12 STATUS MISSED"});
    AnswerDetails(12, "Bob", "bob", "INCOMING_P2P", false, 0, 1700000000);
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 0);
    ASSERT_NE(Listed(12), nullptr);
    EXPECT_EQ(Listed(12)->status, CALLSTATUS_MISSED);
    EXPECT_EQ(log.With("font.UTF_8ToUnicodeToFontCode:").back(), "3 Missed Calls");
    EXPECT_EQ(HandsetCommands().back(), "0x3F");
    int missed = 0;
    calls.CountMissedCalls(&missed);
    EXPECT_EQ(missed, 3);
}

TEST_F(ConversationTest, MissedCallWithoutTheDisplayFlagShowsNothing) {
    link->SetHandsetDisplayMode(0);
    Notify({"CALL 12 STATUS RINGING", "CALL 12 STATUS MISSED"});
    AnswerDetails(12, "Bob", "bob", "INCOMING_P2P", false, 0, 1700000000);
    ASSERT_NE(Listed(12), nullptr);
    EXPECT_TRUE(log.With("font.").empty());
}

TEST_F(ConversationTest, OutgoingCallRoutedRingingAnsweredAndFinished) {
    Notify({"CALL 30 STATUS ROUTING", "CALL 30 PARTNER_DISPNAME Alice", "CALL 30 STATUS RINGING",
            "CALL 30 PARTNER_DISPNAME Alice", "CALL 30 STATUS INPROGRESS",
            "CALL 30 STATUS LOCALHOLD", "CALL 30 STATUS INPROGRESS", "CALL 30 STATUS FINISHED"});
    AnswerDetails(30, "Alice", "alice", "OUTGOING_P2P", true, 120, 1700000500);
    const CallRecord* entry = Listed(30);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->type, CALLTYPE_OUTGOING_P2P);
    EXPECT_EQ(entry->status, CALLSTATUS_FINISHED);
    EXPECT_EQ(entry->duration, 120);
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 0);
    // No ring for our own call; its name shows while it rings at the far end.
    EXPECT_TRUE(log.With("sound:music").empty());
    EXPECT_EQ(HandsetCommands(), (Texts{"0x98", "0x3F", "0x1F", "0x1F", "0x20", "0x3E"}));
}

TEST_F(ConversationTest, CallWaitingWhileAnotherIsInProgressIsPromotedAndAnswered) {
    Notify({"CALL 12 STATUS RINGING", "CALL 12 STATUS INPROGRESS", "CALL 13 STATUS EARLYMEDIA",
            "CALL 13 PARTNER_HANDLE +4930123456"});
    EXPECT_EQ(calls.SnapshotSecondCall().id, 13);
    EXPECT_EQ(Text(calls.SnapshotSecondCall().handle), "+4930123456");
    Notify("CALL 12 STATUS FINISHED");
    AnswerDetails(12, "Echo", "echo123", "INCOMING_P2P", true, 30, 1700000000);
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 13) << "the waiting call became current";
    EXPECT_EQ(calls.SnapshotCurrentCall().status, CALLSTATUS_EARLYMEDIA);
    EXPECT_EQ(Text(calls.SnapshotCurrentCall().handle), "+4930123456");
    EXPECT_EQ(calls.SnapshotSecondCall().id, 0);

    Notify({"CALL 13 STATUS INPROGRESS", "CALL 13 STATUS FINISHED"});
    AnswerDetails(13, "", "+4930123456", "INCOMING_PSTN", true, 12, 1700000100);
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 0);
    std::vector<int> ids;
    for (const CallRecord& record : calls.SnapshotCalls()) {
        ids.push_back(record.id);
    }
    EXPECT_EQ(ids, (std::vector<int>{13, 12})) << "newest first";
    EXPECT_EQ(Listed(13)->type, CALLTYPE_INCOMING_PSTN);
}

TEST_F(ConversationTest, ThirdCallIsRefusedAndTheTwoKnownCallsStay) {
    Notify({"CALL 12 STATUS RINGING", "CALL 12 STATUS INPROGRESS", "CALL 13 STATUS EARLYMEDIA"});
    ClearRecords();
    Notify({"CALL 14 STATUS RINGING", "CALL 14 STATUS REFUSED"});
    EXPECT_EQ(Sent(), (Texts{"SET CALL    14 STATUS FINISHED"}));
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 12);
    EXPECT_EQ(calls.SnapshotSecondCall().id, 13);
    EXPECT_EQ(Listed(14), nullptr);
    EXPECT_TRUE(HandsetCommands().empty());
}

TEST_F(ConversationTest, AnsweredCallThatFailsIsRetiredSoTheNextCallRings) {
    Notify({"CALL 12 STATUS RINGING", "CALL 12 STATUS INPROGRESS", "CALL 12 STATUS FAILED"});
    AnswerDetails(12, "Bob", "bob", "INCOMING_P2P", true, 40, 1700000000);
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 0);
    ASSERT_NE(Listed(12), nullptr);
    EXPECT_EQ(Listed(12)->status, CALLSTATUS_FAILED);
    ClearRecords();
    Notify("CALL 15 STATUS RINGING");
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 15);
    EXPECT_EQ(Sent(), (Texts{"GET CALL 15 PARTNER_DISPNAME"})) << "not refused";
}

TEST_F(ConversationTest, HeldWaitingCallThatEndsIsRetiredSoTheNextCallRings) {
    // The waiting call is answered with hold first, then the first call is
    // resumed, which holds the waiting one; its far end hangs up.
    Notify({"CALL 12 STATUS RINGING", "CALL 12 STATUS INPROGRESS", "CALL 13 STATUS EARLYMEDIA",
            "CALL 12 STATUS ONHOLD", "CALL 12 STATUS LOCALHOLD", "CALL 13 STATUS INPROGRESS",
            "CALL 13 STATUS ONHOLD", "CALL 13 STATUS LOCALHOLD", "CALL 12 STATUS INPROGRESS",
            "CALL 13 STATUS FINISHED"});
    AnswerDetails(13, "", "+4930123456", "INCOMING_PSTN", true, 20, 1700000100);
    Notify("CALL 12 STATUS FINISHED");
    AnswerDetails(12, "Bob", "bob", "INCOMING_P2P", true, 60, 1700000200);
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 0);
    EXPECT_EQ(calls.SnapshotSecondCall().id, 0);
    ASSERT_NE(Listed(13), nullptr);
    EXPECT_EQ(Listed(13)->status, CALLSTATUS_FINISHED);

    ClearRecords();
    Notify("CALL 20 STATUS RINGING");
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 20);
    EXPECT_EQ(HandsetCommands(), (Texts{"0x1A", "0x9E"}));
    EXPECT_EQ(Sent(), (Texts{"GET CALL 20 PARTNER_DISPNAME"})) << "not refused";
}

TEST_F(ConversationTest, SecondCallEndingBeforeTheFirstIsCommittedIsNotPromoted) {
    Notify({"CALL 12 STATUS RINGING", "CALL 12 STATUS INPROGRESS", "CALL 13 STATUS EARLYMEDIA",
            "CALL 12 STATUS FINISHED", "CALL 13 STATUS MISSED"});
    // Skype answers in the order it was asked: the first call's details first.
    AnswerDetails(12, "Bob", "bob", "INCOMING_P2P", true, 60, 1700000200);
    EXPECT_EQ(calls.SnapshotCurrentCall().id, 0) << "a call that has ended never becomes current";
    EXPECT_EQ(calls.SnapshotSecondCall().id, 13);
    AnswerDetails(13, "", "+4930123456", "INCOMING_PSTN", false, 0, 1700000100);
    EXPECT_EQ(calls.SnapshotSecondCall().id, 0);
    ASSERT_NE(Listed(13), nullptr);
    EXPECT_EQ(Listed(13)->status, CALLSTATUS_MISSED);
}

// Any mix of status changes over a few calls, each call ending in a final
// status and Skype answering the detail questions in the order asked at
// random moments, leaves no call current: the next ringing call rings.
TEST_F(ConversationTest, NoSequenceOfStatusesLeavesACallCurrentForEver) {
    static const char* const kLiveWords[] = {
        "ROUTING",   "RINGING",    "EARLYMEDIA",   "INPROGRESS",          "ONHOLD",
        "LOCALHOLD", "REMOTEHOLD", "VM_RECORDING", "VM_PLAYING_GREETING", "VM_REDIRECT"};
    static const char* const kFinalWords[] = {"FINISHED",  "FAILED", "MISSED",  "REFUSED",
                                              "CANCELLED", "BUSY",   "VM_SENT", "VM_CANCELLED"};
    std::mt19937 random(20261207);
    const auto pick = [&random](int n) { return static_cast<int>(random() % n); };
    for (int round = 0; round < 150; ++round) {
        calls.ResetCurrentCall();
        calls.ResetSecondCall();
        calls.ClearCalls();
        ClearRecords();
        std::size_t asked = 0;  // the sent texts already looked at
        std::deque<std::string> replies;
        std::string story;
        const auto notify = [&](const std::string& text) {
            story += text + "; ";
            Notify(text);
            const Texts sent = Sent();
            for (; asked < sent.size(); ++asked) {
                int id = 0;
                int end = 0;
                if (std::sscanf(sent[asked].c_str(), "GET CALL %d TIMESTAMP%n", &id, &end) == 1 &&
                    end > 0) {
                    replies.push_back("CALL " + std::to_string(id) + " TIMESTAMP 1700000000");
                }
            }
        };
        const auto answer = [&](std::size_t count) {
            for (; count > 0 && !replies.empty(); --count) {
                const std::string reply = replies.front();
                replies.pop_front();
                notify(reply);
            }
        };

        std::vector<int> live = {11, 12, 13};
        live.resize(2 + pick(2));
        while (!live.empty()) {
            const std::size_t which = pick(static_cast<int>(live.size()));
            const int id = live[which];
            if (pick(6) == 0) {
                notify("CALL " + std::to_string(id) + " STATUS " + kFinalWords[pick(8)]);
                live.erase(live.begin() + static_cast<std::ptrdiff_t>(which));
            } else {
                notify("CALL " + std::to_string(id) + " STATUS " + kLiveWords[pick(10)]);
            }
            answer(pick(3));
        }
        answer(replies.size());

        log.Clear();
        Notify("CALL 20 STATUS RINGING");
        ASSERT_EQ(calls.SnapshotCurrentCall().id, 20) << story;
        ASSERT_EQ(HandsetCommands(), (Texts{"0x1A", "0x9E"})) << story;
        ASSERT_EQ(Sent(), (Texts{"GET CALL 20 PARTNER_DISPNAME"})) << story;
    }
}

TEST_F(ConversationTest, HistoryReloadAfterAttachFillsTheListAndCompletesTheLoad) {
    Notify("CALLS 101, 102, 103");
    // Skype answers TYPE, STATUS and SEEN for each id in the order asked.
    Notify({"CALL 101 TYPE INCOMING_P2P", "CALL 101 STATUS MISSED", "CALL 101 SEEN FALSE",
            "CALL 102 TYPE OUTGOING_PSTN", "CALL 102 STATUS FINISHED", "CALL 102 SEEN TRUE",
            "CALL 103 TYPE INCOMING_P2P", "CALL 103 STATUS FINISHED"});
    EXPECT_EQ(link->CallsLoaded(), 0);
    EXPECT_TRUE(log.With("handset.startLink").empty());
    Notify("CALL 103 SEEN TRUE");
    EXPECT_EQ(link->CallsLoaded(), 1);
    EXPECT_EQ(log.With("handset.startLink").size(), 1u);

    std::vector<int> ids;
    for (const CallRecord& record : calls.SnapshotCalls()) {
        ids.push_back(record.id);
    }
    EXPECT_EQ(ids, (std::vector<int>{101, 102, 103}));
    EXPECT_EQ(Listed(101)->status, CALLSTATUS_MISSED);
    EXPECT_EQ(Listed(102)->type, CALLTYPE_OUTGOING_PSTN);
    int missed = 0;
    calls.CountMissedCalls(&missed);
    EXPECT_EQ(missed, 1);
    // Connected again later: the handset link starts again.
    Notify("CONNSTATUS ONLINE");
    EXPECT_EQ(log.With("handset.startLink").size(), 2u);
}

TEST_F(ConversationTest, ContactListLoadsWithNamesAndStatusInAnyOrder) {
    Notify({"PROTOCOL 5", "USERS alice, bob, carol, dave"});
    // Answers interleave: a status before the name, an empty display name
    // answered by the full name, a contact that stays off line.
    Notify({"USER bob ONLINESTATUS ONLINE", "USER carol DISPLAYNAME",
            "USER alice DISPLAYNAME Alice", "USER dave DISPLAYNAME Dave",
            "USER bob DISPLAYNAME Bob", "USER carol FULLNAME Carol C",
            "USER alice ONLINESTATUS AWAY", "USER carol ONLINESTATUS SKYPEME",
            "USER dave ONLINESTATUS OFFLINE"});
    std::vector<std::uint32_t> order;
    const std::vector<UserRecord> contacts = users.SnapshotUsers(&order);
    ASSERT_EQ(contacts.size(), 4u);
    Texts shown;
    for (std::uint32_t position : order) {
        const UserRecord& record = contacts[position];
        shown.push_back(record.handle + "=" + record.displayName.Bytes() + "/" +
                        std::to_string(record.onlineStatus));
    }
    EXPECT_EQ(shown, (Texts{"alice=Alice /3", "bob=Bob /3", "carol=Carol C /3", "dave=Dave /0"}));
    const Texts sent = Sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "GET USER carol FULLNAME"), sent.end());
}

// --- throughput ------------------------------------------------------------------

TEST_F(NotificationTest, HundredThousandNotificationsQueuedAtOnceAreHandledInArrivalOrder) {
    ports.trace = &trace;
    users.SetSkypeCommandSender(nullptr);
    link.reset();
    link = std::make_unique<CAccessSkypeAPI>(ports);
    link->SetFontProcess(&font);
    users.SetSkypeCommandSender(link.get());
    queued = 0;
    Notify({"USERS u0, u1, u2, u3", "CALLS 1, 2, 3"});
    log.Clear();

    constexpr int kCount = 100000;
    const char* const kinds[] = {"USER u%d ONLINESTATUS ONLINE",
                                 "CALL %d DURATION 5",
                                 "MUTE ON",
                                 "PROFILE PSTN_BALANCE %d",
                                 "USER u%d DISPLAYNAME Name",
                                 "AUTOAWAY ON",
                                 "CALL %d SEEN TRUE",
                                 "USERSTATUS ONLINE"};
    std::vector<std::string> texts;
    texts.reserve(kCount);
    for (int i = 0; i < kCount; ++i) {
        char text[64];
        std::snprintf(text, sizeof(text), kinds[i % 8], i % 4);
        texts.push_back(std::string(text) + " #" + std::to_string(i));
    }
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& text : texts) {
        ASSERT_EQ(link->AddToMessageInQueue(text.c_str()), 0);
    }
    queued += kCount;
    WaitHandled();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d notifications handled in %.3f s: %.0f per second\n", kCount, seconds,
                kCount / seconds);
    RecordProperty("notifications_per_second", static_cast<int>(kCount / seconds));

    const Texts traced = log.With("trace:Message from Skype: ");
    ASSERT_EQ(traced.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(traced[static_cast<std::size_t>(i)], texts[static_cast<std::size_t>(i)] + "\n")
            << "out of order at " << i;
    }
    // One handset command per MUTE and per USERSTATUS, in the same order.
    EXPECT_EQ(log.With("handset.command:").size(), static_cast<std::size_t>(kCount / 4));
}

}  // namespace
