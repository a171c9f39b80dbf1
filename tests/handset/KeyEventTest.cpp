// Key events: the texts sent to Skype for each key and call state.
#include "HandsetFakes.h"
#include "SkypeWindowClasses.h"

namespace handsettest {
namespace {

class KeyEventTest : public HandsetTest {
protected:
    std::vector<std::string> Wire() { return log.With("wire "); }
};

struct HangUpRow {
    int A, S, B, T;
    const char* text;
    bool closeSkype;
};

void PrintTo(const HangUpRow& row, std::ostream* out) {
    *out << "A=" << row.A << " S=" << row.S << " B=" << row.B << " T=" << row.T;
}

class HangUpTest : public KeyEventTest, public ::testing::WithParamInterface<HangUpRow> {};

TEST_P(HangUpTest, SendsTheRowsTextAndClosesSkypeWhenTheRowSays) {
    const HangUpRow row = GetParam();
    handset->supportHideWindows = 1;
    SetCurrentCall(row.A, row.S);
    SetSecondCall(row.B, row.T);
    handset->SetModeFlags(kModeCallList);
    EXPECT_EQ(handset->HandleKeyEvent(0x20), 1);
    EXPECT_EQ(Wire(), (std::vector<std::string>{std::string("wire ") + row.text}));
    EXPECT_EQ(log.Has(std::string("close ") + kSkypeMainFormClass), row.closeSkype);
    EXPECT_EQ(handset->GetModeFlags(), 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, HangUpTest,
                         ::testing::Values(
                             // The current call is new, ringing or in early media.
                             HangUpRow{10, 2, 20, 2, "SET CALL    20 STATUS FINISHED", false},
                             HangUpRow{10, 23, 20, 22, "SET CALL    20 STATUS FINISHED", false},
                             HangUpRow{10, 1, 20, 3, "BTN_RELEASED NO", false},
                             HangUpRow{10, 0, 0, -1, "BTN_RELEASED NO", false},
                             // Voicemail states.
                             HangUpRow{10, 17, 20, 2, "SET CALL    20 STATUS FINISHED", false},
                             HangUpRow{0, 18, 20, 23, "BTN_RELEASED NO", false},
                             HangUpRow{10, 19, 0, -1, "SET CALL    10 STATUS FINISHED", true},
                             HangUpRow{0, 21, 0, 3, "BTN_RELEASED NO", true},
                             // Voicemail redirect.
                             HangUpRow{10, 22, 20, 1, "SET CALL    20 STATUS FINISHED", false},
                             HangUpRow{10, 22, 0, -1, "HOOK ON", true},
                             // On hold with a second call in progress.
                             HangUpRow{10, 15, 20, 3, "HOOK ON", false},
                             // In progress.
                             HangUpRow{10, 3, 20, 2, "SET CALL    10 STATUS FINISHED", true},
                             HangUpRow{10, 3, 0, -1, "HOOK ON", true},
                             // Any other state.
                             HangUpRow{10, 15, 20, 15, "HOOK ON", false},
                             HangUpRow{0, -1, 0, -1, "BTN_RELEASED NO", true},
                             HangUpRow{12345, 4, 0, -1, "SET CALL 12345 STATUS FINISHED", true}),
                         [](const ::testing::TestParamInfo<HangUpRow>& info) {
                             auto number = [](int value) {
                                 return value < 0 ? "none" : std::to_string(value);
                             };
                             const HangUpRow& r = info.param;
                             return "S" + number(r.S) + "_T" + number(r.T) + "_A" + number(r.A) +
                                    "_B" + number(r.B);
                         });

TEST_F(KeyEventTest, HangUpClosesSkypesDialogInsteadOfTheCall) {
    SetCurrentCall(10, 3);
    windows.Add(kSkypeSerFormClass);
    windows.selectedTab = 2;
    windows.gridVisible = true;
    EXPECT_EQ(handset->HandleKeyEvent(0x20), 1);
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{std::string("activate+close ") + kSkypeSerFormClass,
                                        "wire BTN_RELEASED NO", "grid click 44,14"}));
    // The confirmation dialog goes first.
    log.Take();
    windows.Add(kSkypeConfirmFormClass);
    handset->HandleKeyEvent(0x20);
    EXPECT_EQ(log.Lines().front(), std::string("activate+close ") + kSkypeConfirmFormClass);
}

TEST_F(KeyEventTest, HookUpAnswersTheCurrentCallWithItsIdInFiveCharacters) {
    SetCurrentCall(7, 2);
    handset->SetModeFlags(kModeContactList);
    EXPECT_EQ(handset->HandleKeyEvent(0x1F), 1);
    EXPECT_EQ(Wire(), (std::vector<std::string>{"wire SET CALL     7 STATUS INPROGRESS"}));
    EXPECT_EQ(handset->GetModeFlags(), 0u);
    log.Take();
    SetCurrentCall(0, -1);
    SetSecondCall(8, 2);
    handset->HandleKeyEvent(0x1F);
    EXPECT_EQ(Wire(), (std::vector<std::string>{"wire HOOK OFF"}));
    log.Take();
    SetSecondCall(0, -1);
    EXPECT_EQ(handset->HandleKeyEvent(0x1F), 1);
    EXPECT_TRUE(Wire().empty());
}

TEST_F(KeyEventTest, AnswerRules) {
    // No call: BTN_RELEASED YES.
    EXPECT_EQ(handset->HandleKeyEvent(0x31), 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire BTN_RELEASED YES"}));
    // Our own outgoing call still ringing: nothing, result 0.
    SetCurrentCall(5, 1);
    EXPECT_EQ(handset->HandleKeyEvent(0x31), 0);
    EXPECT_TRUE(log.Take().empty());
    // On hold: resumed.
    SetCurrentCall(5, 15);
    handset->HandleKeyEvent(0x31);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire SET CALL     5 STATUS INPROGRESS"}));
    // In progress with a second call ringing in: hold first, then answer the second.
    SetCurrentCall(5, 3);
    SetSecondCall(6, 2);
    EXPECT_EQ(handset->HandleKeyEvent(0x31), 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire SET CALL     5 STATUS ONHOLD",
                                                    "wire SET CALL     6 STATUS INPROGRESS"}));
    // In progress, nothing waiting.
    SetSecondCall(0, -1);
    handset->HandleKeyEvent(0x31);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire BTN_RELEASED YES"}));
}

TEST_F(KeyEventTest, AnswerInTheListsCallsTheShownEntry) {
    users.AddUserIfAbsent("echo.user", USER_ONLINE);
    users.ResetUserBrowse();
    users.BrowseUsers(0, 0);
    handset->SetModeFlags(kModeContactList);
    EXPECT_EQ(handset->HandleKeyEvent(0x31), 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire CALL echo.user"}));
    EXPECT_EQ(handset->GetModeFlags(), 0u);

    // A call list entry without a handle: nothing sent, result 0, list kept.
    calls.AddCall(9, 1);
    calls.SetCallType(9, CALLTYPE_INCOMING_P2P);
    calls.ResetCallBrowse();
    int id = 0;
    ASSERT_EQ(calls.BrowseCalls(0, 0, &id), 0);
    calls.RefreshShownCall(9);
    handset->SetModeFlags(kModeCallList);
    EXPECT_EQ(handset->HandleKeyEvent(0x31), 0);
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(handset->GetModeFlags(), kModeCallList);
    // With a handle (cut to 30 bytes).
    calls.SetCallHandle(9, "+4412345678901234567890123456789", 32);
    calls.RefreshShownCall(9);
    handset->HandleKeyEvent(0x31);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire CALL +44123456789012345678901234567"}));
}

TEST_F(KeyEventTest, DigitsSendDtmfDuringACallAndOnlyTheReleaseOtherwise) {
    SetCurrentCall(42, 3);
    EXPECT_EQ(handset->HandleKeyEvent(0xB5), 1);
    EXPECT_EQ(log.Take(),
              (std::vector<std::string>{"wire SET CALL 42 DTMF 5", "queue BTN_RELEASED 5"}));
    SetCurrentCall(42, 23);
    handset->HandleKeyEvent(0xBB);
    EXPECT_EQ(log.Take(),
              (std::vector<std::string>{"wire SET CALL 42 DTMF #", "queue BTN_RELEASED #"}));
    SetCurrentCall(42, 15);
    handset->HandleKeyEvent(0xBA);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire BTN_RELEASED *"}));
    SetCurrentCall(0, -1);
    handset->HandleKeyEvent(0xB0);
    handset->HandleKeyEvent(0xB9);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire BTN_RELEASED 0", "wire BTN_RELEASED 9"}));
}

TEST_F(KeyEventTest, FixedTextsOfTheStatusMuteAndNavigationKeys) {
    const std::vector<std::pair<int, std::string>> keys = {{0x72, "SET USERSTATUS DND"},
                                                           {0x73, "SET USERSTATUS ONLINE"},
                                                           {0x74, "SET USERSTATUS OFFLINE"},
                                                           {0x75, "SET USERSTATUS SKYPEME"},
                                                           {0x76, "SET USERSTATUS AWAY"},
                                                           {0x77, "SET USERSTATUS NA"},
                                                           {0x78, "SET USERSTATUS INVISIBLE"},
                                                           {0x2E, "SET MUTE OFF"},
                                                           {0x2F, "SET MUTE ON"},
                                                           {0x53, "FOCUS"},
                                                           {0xBC, "BTN_RELEASED UP"},
                                                           {0xBD, "BTN_RELEASED DOWN"},
                                                           {0xBE, "BTN_RELEASED +"}};
    for (const auto& [code, text] : keys) {
        EXPECT_EQ(handset->HandleKeyEvent(code), 1) << code;
        EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire " + text})) << code;
    }
    for (int code : {0x24, 0x42, 0x43, 0xC0, 0xE9, 0xEA, 0x99}) {
        EXPECT_EQ(handset->HandleKeyEvent(code), 1);
    }
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(KeyEventTest, UpAndDownClickTheTabsOnlyWhenConfiguredAndNotOnTheFirstTab) {
    windows.selectedTab = 1;
    handset->HandleKeyEvent(0xBC);
    EXPECT_FALSE(log.Has("tabs click 56,11"));
    handset->supportFocusAddressBook = 1;
    log.Take();
    handset->HandleKeyEvent(0xBD);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"tabs click 56,11", "wire BTN_RELEASED DOWN"}));
    windows.selectedTab = 0;
    handset->HandleKeyEvent(0xBD);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire BTN_RELEASED DOWN"}));
}

TEST_F(KeyEventTest, HoldKeyTogglesAndSendsNothingInOtherStates) {
    SetCurrentCall(3, 3);
    EXPECT_EQ(handset->HandleKeyEvent(0x23), 1);
    SetCurrentCall(3, 15);
    EXPECT_EQ(handset->HandleKeyEvent(0x23), 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire SET CALL     3 STATUS ONHOLD",
                                                    "wire SET CALL     3 STATUS INPROGRESS"}));
    SetCurrentCall(3, 2);
    EXPECT_EQ(handset->HandleKeyEvent(0x23), 0);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(KeyEventTest, SkypeKeyRediscoversAndClicksTheGridWhenDelivered) {
    windows.selectedTab = 2;
    windows.gridVisible = true;
    EXPECT_EQ(handset->HandleKeyEvent(0xBF), 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"rediscover", "wire BTN_RELEASED SKYPE",
                                                    "grid click 44,14"}));
    // Invisible grid or another tab: no click.
    windows.gridVisible = false;
    handset->HandleKeyEvent(0xBF);
    EXPECT_FALSE(log.Has("grid click 44,14"));
}

TEST_F(KeyEventTest, RefusedTextStartsRediscoveryAndLosesTheKey) {
    wire.refuse = true;
    windows.selectedTab = 2;
    windows.gridVisible = true;
    EXPECT_EQ(handset->HandleKeyEvent(0xBF), 0);
    EXPECT_EQ(log.Take(),
              (std::vector<std::string>{"rediscover", "wire BTN_RELEASED SKYPE", "qapi 1"}));
    EXPECT_EQ(handset->HandleKeyEvent(0x53), 0);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire FOCUS", "qapi 1"}));
}

TEST_F(KeyEventTest, ClearKeyLeavesTheListsAndBackspaceTypesOneKey) {
    handset->SetModeFlags(kModeContactList | kModeFontCodes);
    EXPECT_EQ(handset->HandleKeyEvent(0x40), 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire BTN_RELEASED NO"}));
    EXPECT_EQ(handset->GetModeFlags(), 0u);
    EXPECT_EQ(handset->HandleKeyEvent(0x41), 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"backspace"}));
}

TEST_F(KeyEventTest, StopAndWaitEndsWhenNoTransferIsLeftToAnswer) {
    // An abort request that no transfer thread will ever clear.
    handset->SetAbortTransfer(1);
    const auto start = std::chrono::steady_clock::now();
    handset->StopTransferAndWait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(handset->AbortTransferFlag(), 0);
    // A transfer that claims to be busy but never stops: the wait gives up,
    // also the device re-check's when the handset has gone.
    handset->transferBusy = 1;
    const auto second = std::chrono::steady_clock::now();
    handset->StopTransferForRemoval();
    const auto waited = std::chrono::steady_clock::now() - second;
    EXPECT_GE(waited, std::chrono::milliseconds(CHsdHid::kStopWaitLimitMs));
    EXPECT_LT(waited, std::chrono::milliseconds(CHsdHid::kStopWaitLimitMs + 2000));
    EXPECT_EQ(handset->GetModeFlags(), 0u);
    handset->transferBusy = 0;
}

}  // namespace
}  // namespace handsettest
