// The keypad handler: key tones, list views, the balance and volume keys.
#include "HandsetFakes.h"
#include "SkypeWindowClasses.h"

namespace handsettest {
namespace {

class KeypadTest : public HandsetTest {};

TEST_F(KeypadTest, DigitsPlayTheirToneExceptDuringACall) {
    Key(0xB5);
    EXPECT_EQ(log.Take(),
              (std::vector<std::string>{"play 5.wav", "wire FOCUS", "wire BTN_RELEASED 5"}));
    Key(0xBA);
    Key(0xBB);
    EXPECT_EQ(log.With("play"), (std::vector<std::string>{"play star.wav", "play pound.wav"}));
    log.Take();
    SetCurrentCall(42, 3);
    Key(0xB5);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire FOCUS", "wire SET CALL 42 DTMF 5",
                                                    "queue BTN_RELEASED 5"}));
    SetCurrentCall(42, 23);
    Key(0xBC);
    EXPECT_TRUE(log.With("play").empty());
    // Mute and volume keys sound in every state.
    Key(0x2F);
    Key(0xE9);
    Key(0xEA);
    EXPECT_EQ(log.With("play"),
              (std::vector<std::string>{"play pound.wav", "play pound.wav", "play pound.wav"}));
    EXPECT_EQ(log.With("speaker"), (std::vector<std::string>{"speaker 0 0", "speaker 1 0"}));
}

TEST_F(KeypadTest, HookKeysStopTheRingToneBeforeTheirEvent) {
    SetCurrentCall(7, 2);
    Key(0x1F);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play pound.wav", "purge",
                                                    "wire SET CALL     7 STATUS INPROGRESS"}));
    SetCurrentCall(7, 3);
    Key(0x20);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"purge", "wire HOOK ON"}));
}

TEST_F(KeypadTest, EnteringTheListsSetsTheirBitsAndTellsTheHandset) {
    handset->SetModeFlags(kModeCallTimer);
    Key(0x60);
    EXPECT_EQ(handset->GetModeFlags(), kModeCallTimer | kModeContactList);
    Key(0x6E);
    EXPECT_EQ(handset->GetModeFlags(), kModeCallList);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"data 00 4F", "data 00 4F"}));
    Key(0x6F);
    EXPECT_EQ(handset->GetModeFlags(), 0u);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play pound.wav"}));
}

TEST_F(KeypadTest, ListViewsChooseOnlineOrAllContactsAndReceivedOrDialledCalls) {
    users.AddUserIfAbsent("off.line", USER_OFFLINE);
    users.SetUserDisplayName("off.line", "Offline Olga", 12);
    handset->SetModeFlags(kModeContactList);
    Key(0x6B);  // all contacts: the offline one is shown
    EXPECT_EQ(FontText(), "Offline Olga");

    calls.AddCall(30, 0);
    calls.SetCallType(30, CALLTYPE_OUTGOING_P2P);
    calls.AddCall(31, 1);
    calls.SetCallType(31, CALLTYPE_OUTGOING_PSTN);
    calls.SetCallHandle(31, "+15550001", 9);
    handset->SetModeFlags(kModeCallList);
    log.Take();
    Key(0x6B);  // dialled calls, first one: 31 (loaded)
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play pound.wav"}));
    char handle[kTextBufferSize] = {};
    calls.GetShownHandle(handle);
    EXPECT_STREQ(handle, "+15550001");
    // Received calls: none, so nothing is asked.
    Key(0x6A);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play pound.wav"}));
}

TEST_F(KeypadTest, ListViewNeverShowsAnotherEntrysText) {
    users.AddUserIfAbsent("bob", USER_OFFLINE);  // no display name
    users.AddUserIfAbsent("ann", USER_OFFLINE);
    users.SetUserDisplayName("ann", "Ann", 3);
    handset->SetModeFlags(kModeContactList);
    // A caller's name converted earlier is still pending each time.
    font->UTF_8ToUnicodeToFontCode("Caller");
    Key(0x6A);  // online contacts only: nobody to show
    EXPECT_EQ(FontText(), "Unknown User");
    font->UTF_8ToUnicodeToFontCode("Caller");
    Key(0x6B);  // all contacts: bob comes first and goes by his handle
    EXPECT_EQ(FontText(), "bob");
}

TEST_F(KeypadTest, MissedCallsViewChangesTheCallListEvenWhileBrowsingContacts) {
    calls.AddCall(50, 0);
    calls.SetCallType(50, CALLTYPE_INCOMING_P2P);
    calls.SetCallStatus(50, CALLSTATUS_MISSED);
    calls.SetCallDetailsLoaded(50, 1);  // not consulted by this view
    handset->SetModeFlags(kModeContactList);
    Key(0x6D);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play pound.wav", "skype 17 50", "skype 9 50",
                                                    "skype 8 50", "skype 13 50"}));
    int status = 0;
    calls.GetShownStatus(&status);
    EXPECT_EQ(status, CALLSTATUS_MISSED);
}

TEST_F(KeypadTest, BalanceKeyShowsTheBalanceOnlyInDisplayModeOne) {
    users.SetBalance(1234);
    Key(0x2B);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play pound.wav"}));
    EXPECT_EQ(handset->GetModeFlags(), 0u);
    StartInput();
    Input(0x80, 1);
    log.Take();
    PauseRecorder::Take();
    Key(0x2B);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play pound.wav", "cmd 3F"}));
    EXPECT_EQ(handset->GetModeFlags(), kModeFontCodes | kModeNotice);
    EXPECT_EQ(PauseRecorder::Take(), (std::vector<unsigned>{20}));
    // The pending stream is the balance text.
    const std::string text = FontText();
    EXPECT_NE(text.find("Balance:"), std::string::npos) << text;
    EXPECT_NE(text.find("12.34"), std::string::npos) << text;
}

TEST_F(KeypadTest, OtherKeys) {
    Key(0x2D);  // next ring tone, played once
    EXPECT_EQ(ringTone.ToneIndex(), 1);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play music2.wav"}));
    Key(0x21);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"userstatus 3"}));
    Key(0x54);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{std::string("close ") + kSkypeMainFormClass}));
    Key(0x41);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play pound.wav", "wire FOCUS", "backspace"}));
    windows.selectedTab = 2;
    windows.gridVisible = true;
    Key(0x40);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play pound.wav", "wire BTN_RELEASED NO",
                                                    "grid click 44,14"}));
    Key(0x76);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"wire SET USERSTATUS AWAY"}));
    Key(0xDF);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"play pound.wav"}));
    Key(0x06);
    Key(0x99);
    EXPECT_TRUE(log.Lines().empty());
    const unsigned char bytes[4] = {0, 0, 0x53, 0};
    EXPECT_EQ(handset->HandleHandsetKey(bytes), 1);
}

}  // namespace
}  // namespace handsettest
