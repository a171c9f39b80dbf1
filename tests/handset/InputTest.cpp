// The input thread: sequence rules, acknowledgements, the link answer, list
// browsing, the list key and transfer handshakes.
#include "HandsetFakes.h"

namespace handsettest {
namespace {

class InputTest : public HandsetTest {};

TEST_F(InputTest, ShortReportsNeverReachTheQueue) {
    EXPECT_EQ(handset->OnHidInput(Word(0xB5, 1), kShortReportParam), 1);
    EXPECT_EQ(handset->QueuedInput(), 0u);
    EXPECT_EQ(handset->OnHidInput(Word(0xB5, 1), 0), 1);
    EXPECT_EQ(handset->QueuedInput(), 1u);
}

TEST_F(InputTest, SequenceRulesDropRepeatsAndWrapAfterThree) {
    StartInput();
    handset->SetAcceptAnySequence(0);
    // 2 while 1 is expected: dropped without an answer.
    Input(0xB5, 2);
    EXPECT_TRUE(log.With("cmd").empty());
    EXPECT_TRUE(log.With("wire").empty());
    // 1, 2, 3, then 0: each handled and acknowledged with OR 0x50.
    Input(0xB5, 1);
    Input(0xB6, 2);
    Input(0xB7, 3);
    Input(0xB8, 0);
    EXPECT_EQ(log.With("cmd"), (std::vector<std::string>{"cmd 51", "cmd 52", "cmd 53", "cmd 50"}));
    // A repeat of the last word is dropped.
    Input(0xB8, 0);
    EXPECT_EQ(log.With("cmd").size(), 4u);
    EXPECT_EQ(log.With("wire").size(), 8u);  // FOCUS and BTN_RELEASED per digit
}

TEST_F(InputTest, LinkStartAcceptsTheNextWordWhateverItsSequence) {
    StartInput();
    handset->SetAcceptAnySequence(0);
    handset->StartHandsetLink();
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"cmd 51", "cmd 06"}));
    EXPECT_EQ(handset->GetModeFlags() & kModeLinkStarted, kModeLinkStarted);
    Input(0x80, 3);
    // Then only the sequence after it.
    Input(0xB1, 2);
    Input(0xB1, 0);
    EXPECT_EQ(log.With("cmd"), (std::vector<std::string>{"cmd 50"}));
    // While the handset is active, a link start sends nothing.
    handset->StartHandsetLink();
    EXPECT_EQ(log.With("cmd").size(), 1u);
}

TEST_F(InputTest, LinkStartWhileAWordIsHandledAcceptsTheWordAfterIt) {
    StartInput();
    handset->SetAcceptAnySequence(0);
    // The link start comes from another thread while the input thread is busy with a key.
    log.OnLine([this](const std::string& line) {
        if (line == "wire BTN_RELEASED 5") {
            handset->StartHandsetLink();
        }
    });
    Input(0xB5, 1);
    log.OnLine(nullptr);
    Input(0x81, 3);  // 2 is expected
    EXPECT_EQ(g_bHandsetActive.load(), 1);
    EXPECT_TRUE(log.Has("reg 0E 80 08"));
    EXPECT_TRUE(log.Has("display 0"));
}

TEST_F(InputTest, LinkAnswerSetsCodecFadersDisplayModeAndTray) {
    ConfigSwitches switches;
    switches.supportAGC = 1;
    handset->ApplyConfiguration(switches, 20, 9);
    StartInput();
    handset->AddModeFlags(kModeLinkStarted | kModeContactList);
    hid.codecResult = E_FAIL;  // a failed codec write changes nothing else
    Input(0x80, 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"reg 0E 80 48", "speaker 2 20", "mic 2 9",
                                                    "display 1", "tray", "missed 1"}));
    EXPECT_EQ(g_bHandsetActive.load(), 1);
    EXPECT_EQ(handset->GetModeFlags(), kModeContactList);
    EXPECT_EQ(handset->DisplayMode(), 1);

    handset->ApplyConfiguration(ConfigSwitches{}, 16, 8);
    Input(0x81, 2);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"reg 0E 80 08", "speaker 2 16", "mic 2 8",
                                                    "display 0", "tray", "missed 1"}));
    EXPECT_EQ(handset->DisplayMode(), 0);
}

TEST_F(InputTest, KeysDisabledAnswerOr30AndStopTransferCodeIsNeverAnswered) {
    StartInput();
    handset->SetAcceptAnySequence(0);
    handset->SetKeysEnabled(0);
    Input(0xB5, 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"cmd 31"}));
    handset->SetKeysEnabled(1);
    Input(0x1A, 2);
    Input(0x01, 3);  // accepted and dropped
    Input(0xBE, 0);
    EXPECT_EQ(log.With("cmd"), (std::vector<std::string>{"cmd 50"}));
}

TEST_F(InputTest, SendAndCallListKeysWhileBrowsingIgnoreTheSequence) {
    StartInput();
    handset->SetAcceptAnySequence(0);
    handset->SetModeFlags(kModeContactList);
    Input(0x6E, 3);  // enters the call list although 1 is expected
    EXPECT_EQ(handset->GetModeFlags(), kModeCallList);
    Input(0x31, 3);
    EXPECT_EQ(log.With("cmd"), (std::vector<std::string>{"cmd 53", "cmd 53"}));
    // Outside the lists the same word is out of sequence.
    handset->SetModeFlags(0);
    Input(0x31, 3);
    EXPECT_EQ(log.With("cmd").size(), 2u);
}

TEST_F(InputTest, BrowsingContactsConvertsTheShownName) {
    users.AddUserIfAbsent("alice", USER_ONLINE);
    users.SetUserDisplayName("alice", "Alice", 5);
    users.AddUserIfAbsent("bob", USER_ONLINE);
    users.SetUserDisplayName("bob", "Bob", 3);
    StartInput();
    handset->SetModeFlags(kModeContactList);
    Input(0x62, 1);
    EXPECT_EQ(log.With("cmd"), (std::vector<std::string>{"cmd 51"}));
    char name[kTextBufferSize] = {};
    users.GetShownUserDisplayName(name);
    EXPECT_FALSE(std::string(name).empty());
    EXPECT_EQ(FontText(), name);
}

TEST_F(InputTest, BrowsingCallsAsksSkypeForDetailsNotLoaded) {
    calls.AddCall(41, 0);
    calls.AddCall(42, 1);
    calls.SetCallType(42, CALLTYPE_INCOMING_P2P);
    calls.SetCallType(41, CALLTYPE_INCOMING_P2P);
    calls.SetCallHandle(42, "carol", 5);
    StartInput();
    handset->SetModeFlags(kModeCallList);
    Input(0x62, 1);  // forward to 41: not loaded
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"skype 17 41", "skype 9 41", "skype 8 41",
                                                    "skype 13 41", "cmd 51"}));
    Input(0x61, 2);  // back to 42: loaded, shown from the store
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"cmd 52"}));
    char handle[kTextBufferSize] = {};
    EXPECT_EQ(calls.GetShownHandle(handle), 0);
    EXPECT_STREQ(handle, "carol");
    // Without font support the display name is not asked for.
    handset->fontSupport = 0;
    Input(0x62, 3);
    EXPECT_EQ(log.Take(),
              (std::vector<std::string>{"skype 17 41", "skype 8 41", "skype 13 41", "cmd 53"}));
}

TEST_F(InputTest, ListKeyWithoutListSaysSo) {
    StartInput();
    Input(0x6C, 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"cmd 51", "cmd 1A"}));
}

TEST_F(InputTest, ListKeyInEmptyCallListShowsNoCallingData) {
    StartInput();
    handset->SetModeFlags(kModeCallList);
    Input(0x6C, 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"cmd 51", "cmd 3F"}));
    EXPECT_EQ(handset->GetModeFlags(), kModeCallList | kModeFontCodes);
    EXPECT_EQ(FontText(), "No calling data.");
    // Plain characters: 0x3E and bit 0x0010.
    handset->fontSupport = 0;
    handset->SetModeFlags(kModeCallList);
    Input(0x6C, 2);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"cmd 52", "cmd 3E"}));
    EXPECT_EQ(handset->GetModeFlags(), kModeCallList | kModePlainText);
}

TEST_F(InputTest, ListKeyWaitsFifteenTriesForANameThenShowsUnknownUser) {
    calls.AddCall(5, 0);
    calls.SetCallType(5, CALLTYPE_INCOMING_P2P);
    StartInput();
    handset->SetModeFlags(kModeCallList);
    calls.ResetCallBrowse();
    int id = 0;
    ASSERT_EQ(calls.BrowseCalls(0, 0, &id), 0);
    PauseRecorder::Take();
    Input(0x6C, 1);
    const auto recorded = PauseRecorder::Take();
    EXPECT_EQ(std::count(recorded.begin(), recorded.end(), 6u), 15);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"cmd 51", "cmd 3F"}));
    EXPECT_EQ(FontText(), "Unknown User");

    // A name that has arrived ends the wait at once.
    calls.SetCallDisplayName(5, "Dora", 4);
    calls.RefreshShownCall(5);
    PauseRecorder::Take();
    Input(0x6C, 2);
    const auto second = PauseRecorder::Take();
    EXPECT_EQ(std::count(second.begin(), second.end(), 6u), 1);
    EXPECT_EQ(FontText(), "Dora");
}

TEST_F(InputTest, ListKeyWithoutBrowsePositionNamesTheEmptyList) {
    calls.AddCall(5, 1);
    calls.SetCallType(5, CALLTYPE_OUTGOING_P2P);
    StartInput();
    handset->fontSupport = 0;
    handset->SetModeFlags(kModeCallList);
    calls.SetListMode(CALLLIST_MISSED);
    int id = 0;
    // No missed call: the browse fails and leaves no position.
    ASSERT_NE(calls.BrowseCalls(0, 0, &id), 0);
    Input(0x6C, 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"cmd 51", "cmd 3E"}));
    EXPECT_EQ(FontText(), "No Missed Calls");
    calls.SetListMode(CALLLIST_DIALLED);
    calls.ResetCallBrowse();
    calls.SetListMode(CALLLIST_RECEIVED);
    ASSERT_NE(calls.BrowseCalls(0, 0, &id), 0);
    Input(0x6C, 2);
    EXPECT_EQ(FontText(), "No Calls");
}

TEST_F(InputTest, HandshakeStartsTheAnnouncedTransferOnlyWhenReady) {
    StartInput();
    handset->fontSupport = 0;
    handset->SetModeFlags(kModePlainText | kModeNotice);
    users.SetCallerHandleText("ab");
    handset->SetAcceptAnySequence(0);
    Input(0x33, 5);  // not ready: answered with OR 0x20
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"cmd 25"}));
    Input(0x5A, 6);
    WaitTransferDone();
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"data 00 4F", "data 6A 0A", "data 70 0A",
                                                    "data 61 00", "data 62 05", "data 1A 0A"}));
    EXPECT_EQ(handset->GetModeFlags(), 0u);
    // Nothing announced: a handshake is dropped.
    Input(0x5A, 7);
    EXPECT_TRUE(log.Lines().empty());
    // A call timer text waiting: any handshake code starts it.
    calls.SetShownDurationText(65);
    handset->SetModeFlags(kModeCallTimer);
    Input(0x12, 4);
    WaitTransferDone();
    const auto lines = log.Take();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "data 00 4F");
    EXPECT_EQ(lines[1], "data 83 0A");
    EXPECT_EQ(lines.back(), "data 1A 0A");
    EXPECT_EQ(handset->GetModeFlags(), 0u);
}

TEST_F(InputTest, ClearInputEmptiesTheQueueAndASecondStartKeepsOneThread) {
    handset->OnHidInput(Word(0xB1, 1), 0);
    handset->OnHidInput(Word(0xB2, 2), 0);
    EXPECT_TRUE(handset->ClearInput());
    EXPECT_EQ(handset->QueuedInput(), 0u);
    StartInput();
    EXPECT_TRUE(handset->StartHandset(nullptr));
    handset->SetAcceptAnySequence(0);
    // One thread: a word is handled once, its repeat is dropped.
    Input(0xB1, 1);
    EXPECT_EQ(log.With("cmd"), (std::vector<std::string>{"cmd 51"}));
}

TEST_F(InputTest, ClearInputWhileAWordIsHandledDropsOnlyTheWordsBeforeIt) {
    StartInput();
    handset->SetAcceptAnySequence(0);
    std::atomic<bool> cleared{false};
    log.OnLine([&](const std::string& line) {
        // Suspend arrives while the digit is being handled, with a word behind
        // it; a new word arrives right after the clear.
        if (line == "wire FOCUS" && !cleared.exchange(true)) {
            handset->OnHidInput(Word(0xB2, 2), 0);
            handset->ClearInput();
            handset->OnHidInput(Word(0xB3, 2), 0);
        }
    });
    handset->OnHidInput(Word(0xB1, 1), 0);
    ASSERT_TRUE(WaitFor([&] { return log.Has("wire BTN_RELEASED 3"); }));
    log.OnLine(nullptr);
    EXPECT_FALSE(log.Has("wire BTN_RELEASED 2"));
    EXPECT_EQ(log.With("cmd"), (std::vector<std::string>{"cmd 51", "cmd 52"}));
    ASSERT_TRUE(WaitFor([&] { return handset->QueuedInput() == 0; }));
}

}  // namespace
}  // namespace handsettest
