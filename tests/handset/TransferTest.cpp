// The transfer thread: the exact reports of each transfer kind, aborts and closing.
#include "HandsetFakes.h"

namespace handsettest {
namespace {

std::string D(unsigned command, unsigned data) {
    return "data " + Hex(command) + " " + Hex(data);
}

// The characters of a text as the handset receives them: phases 0, 5, 0, ...
std::vector<std::string> Chars(const std::string& text) {
    std::vector<std::string> out;
    unsigned phase = 0;
    for (unsigned char c : text) {
        out.push_back(D(c, phase));
        phase = phase == 0 ? 5 : 0;
    }
    return out;
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

template <typename Reader>
std::string ReadAll(Reader read) {
    std::string text;
    char c = 0;
    while (read(&c) == 0) {
        text += c;
    }
    return text;
}

// The font component, with a hook run on the transfer thread just before it
// sends its stream.
class HookedFont final : public CHsdFontProcess {
public:
    explicit HookedFont(CHsdFontProcess& font) : f_(font) {}
    HsdStatus SendFontCode2MCU() override {
        beforeSend();
        return f_.SendFontCode2MCU();
    }
    HsdStatus SetkeepProcess2MCUDataMonitor(std::int32_t flag) override {
        const HsdStatus result = f_.SetkeepProcess2MCUDataMonitor(flag);
        stopAsked = stopAsked || flag != 0;
        return result;
    }
    HsdStatus InitialFontTable(const char* d) override { return f_.InitialFontTable(d); }
    HsdStatus HexToInt(const unsigned char* b, int n, std::int32_t* v) override {
        return f_.HexToInt(b, n, v);
    }
    HsdStatus TransferUnicodeToCode(unsigned char* b) override {
        return f_.TransferUnicodeToCode(b);
    }
    HsdStatus UTF_8ToUnicodeToFontCode(const char* t) override {
        return f_.UTF_8ToUnicodeToFontCode(t);
    }
    HsdStatus UTF_8ToUnicode2Font(const char* t, unsigned char* o) override {
        return f_.UTF_8ToUnicode2Font(t, o);
    }
    HsdStatus FontCodeToUnicodeToUTF_8(const char* t, unsigned char* o) override {
        return f_.FontCodeToUnicodeToUTF_8(t, o);
    }
    HsdStatus Transfer950FontCode(const unsigned char* c, unsigned char* g) override {
        return f_.Transfer950FontCode(c, g);
    }
    HsdStatus Transfer936FontCode(const unsigned char* c, unsigned char* g) override {
        return f_.Transfer936FontCode(c, g);
    }
    HsdStatus Transfer932FontCode(const unsigned char* c, unsigned char* g) override {
        return f_.Transfer932FontCode(c, g);
    }
    HsdStatus BalanceToFontCode(std::int32_t b) override { return f_.BalanceToFontCode(b); }
    HsdStatus Unicode2FontCode(const unsigned char* t) override { return f_.Unicode2FontCode(t); }
    HsdStatus TransferUnicodeToLatin(const unsigned char* u, std::int32_t* c) override {
        return f_.TransferUnicodeToLatin(u, c);
    }
    void TransferLatinFontCode(std::int32_t c, unsigned char* g) override {
        f_.TransferLatinFontCode(c, g);
    }
    HsdStatus SetHIDCtrlInterface(I_HsdHIDCtrl* h) override { return f_.SetHIDCtrlInterface(h); }
    HsdStatus SetHIDCtrlInterfaceKey(int open, int pace) override {
        return f_.SetHIDCtrlInterfaceKey(open, pace);
    }
    HsdStatus SetSupportedARF(std::int32_t flag) override { return f_.SetSupportedARF(flag); }

    std::function<void()> beforeSend = [] {};
    std::atomic<bool> stopAsked{false};

private:
    CHsdFontProcess& f_;
};

class TransferTest : public HandsetTest {
protected:
    std::vector<std::string> Run(unsigned int flags) {
        handset->SetModeFlags(flags);
        log.Take();
        EXPECT_TRUE(handset->StartTransfer());
        WaitTransferDone();
        return log.Take();
    }
    // The font component's stream for a text, as it is sent.
    std::vector<std::string> FontStream(const char* text) {
        font->UTF_8ToUnicodeToFontCode(text);
        log.Take();
        font->SendFontCode2MCU();
        auto lines = log.Take();
        font->UTF_8ToUnicodeToFontCode(text);
        return lines;
    }
    // A call in the list, browsed and shown.
    void ShowCall(int id, int type, int status, const char* handle) {
        calls.AddCall(id, 1);
        calls.SetCallType(id, type);
        calls.SetCallStatus(id, status);
        calls.SetCallHandle(id, handle, static_cast<int>(std::strlen(handle)));
        calls.SetCallDuration(id, 65);
        calls.SetCallTimestamp(id, 1700000000);
        calls.SetListMode(status == CALLSTATUS_MISSED ? CALLLIST_MISSED
                          : (type == CALLTYPE_OUTGOING_P2P || type == CALLTYPE_OUTGOING_PSTN)
                              ? CALLLIST_DIALLED
                              : CALLLIST_RECEIVED);
        calls.ResetCallBrowse();
        int shown = 0;
        ASSERT_EQ(calls.BrowseCalls(0, 0, &shown), 0);
        ASSERT_EQ(shown, id);
        calls.RefreshShownCall(id);
    }
    std::string Duration() {
        return ReadAll([this](char* c) { return calls.ReadShownDurationChar(c); });
    }
    std::string Time() {
        return ReadAll([this](char* c) { return calls.ReadShownTimeChar(c); });
    }
};

TEST_F(TransferTest, NoticeAsFontCodes) {
    const auto stream = FontStream("Hi");
    PauseRecorder::Take();
    EXPECT_EQ(Run(kModeFontCodes | kModeNotice),
              Join({{D(0x00, 0x4F), D(0x6A, 0x0A)}, stream, {D(0x1A, 0x0A)}}));
    const auto recorded = PauseRecorder::Take();
    ASSERT_GE(recorded.size(), 4u);
    EXPECT_EQ((std::vector<unsigned>(recorded.begin(), recorded.begin() + 3)),
              (std::vector<unsigned>{15, 25, 3}));
    EXPECT_EQ(handset->GetModeFlags(), 0u);
    EXPECT_EQ(handset->AbortTransferFlag(), 0);
}

TEST_F(TransferTest, FontNoticeEndsWhenItsEntryMarkerCannotBeWritten) {
    font->UTF_8ToUnicodeToFontCode("Hi");
    hid.failData = {0x6A};
    EXPECT_EQ(Run(kModeFontCodes | kModeNotice),
              (std::vector<std::string>{D(0x00, 0x4F), D(0x6A, 0x0A), D(0x1A, 0x0A)}));
}

TEST_F(TransferTest, BrowsedContactAsFontCodesAndAsPlainCharacters) {
    users.AddUserIfAbsent("ann", USER_ONLINE);
    users.SetUserDisplayName("ann", "Ann", 3);
    users.ResetUserBrowse();
    users.BrowseUsers(0, 0);
    const auto stream = FontStream("Ann");
    EXPECT_EQ(Run(kModeFontCodes | kModeContactList),
              Join({{D(0x6A, 0x0A)}, stream, {D(0x1A, 0x0A)}}));
    // The list bit stays: the handset keeps browsing.
    EXPECT_EQ(handset->GetModeFlags(), kModeContactList);

    users.SetUserStatus("ann", USER_OFFLINE);
    users.SetShowAllUsers(1);
    users.ResetUserBrowse();
    users.BrowseUsers(0, 0);
    EXPECT_EQ(Run(kModePlainText | kModeContactList),
              Join({{D(0x6B, 0x0A), D(0x70, 0x0A)}, Chars("ann"), {D(0x1A, 0x0A)}}));
}

TEST_F(TransferTest, BrowsedMissedCallAsPlainCharacters) {
    ShowCall(77, CALLTYPE_INCOMING_PSTN, CALLSTATUS_MISSED, "+4930123");
    const std::string duration = Duration();
    const std::string time = Time();
    ASSERT_FALSE(duration.empty());
    ASSERT_FALSE(time.empty());
    EXPECT_EQ(Run(kModePlainText | kModeCallList), Join({{D(0x6D, 0x0A), D(0x81, 0x0A)},
                                                         Chars(duration),
                                                         {D(0x80, 0x0A)},
                                                         Chars(time),
                                                         {D(0x70, 0x0A)},
                                                         Chars("+4930123"),
                                                         {D(0x1A, 0x0A)}}));
}

TEST_F(TransferTest, BrowsedCallAsFontCodesEndsWithTheNameStream) {
    ShowCall(78, CALLTYPE_OUTGOING_P2P, CALLSTATUS_FINISHED, "fred");
    const std::string duration = Duration();
    const std::string time = Time();
    const auto stream = FontStream("Fred");
    EXPECT_EQ(Run(kModeFontCodes | kModeCallList), Join({{D(0x6B, 0x0A), D(0x81, 0x0A)},
                                                         Chars(duration),
                                                         {D(0x80, 0x0A)},
                                                         Chars(time),
                                                         stream,
                                                         {D(0x1A, 0x0A)}}));
}

TEST_F(TransferTest, EntryMarkersOfCallsByTypeAndStatus) {
    ShowCall(1, CALLTYPE_INCOMING_P2P, CALLSTATUS_FINISHED, "a");
    EXPECT_EQ(Run(kModePlainText | kModeCallList).front(), D(0x6A, 0x0A));
    // A type the handset has no marker for: 0x00 in plain characters, 0x6B in font codes.
    calls.SetCallType(1, 7);
    calls.RefreshShownCall(1);
    EXPECT_EQ(Run(kModePlainText | kModeCallList).front(), D(0x00, 0x0A));
    EXPECT_EQ(Run(kModeFontCodes | kModeCallList).front(), D(0x6B, 0x0A));
}

TEST_F(TransferTest, NoticeAsPlainCharactersSendsAaWithAlternatingPhases) {
    users.SetCallerHandleText("aa");
    EXPECT_EQ(Run(kModePlainText | kModeNotice),
              (std::vector<std::string>{D(0x00, 0x4F), D(0x6A, 0x0A), D(0x70, 0x0A), D(0x61, 0),
                                        D(0x61, 5), D(0x1A, 0x0A)}));
}

TEST_F(TransferTest, CallTimer) {
    calls.SetShownDurationText(3725);
    const std::string duration = Duration();
    ASSERT_FALSE(duration.empty());
    PauseRecorder::Take();
    EXPECT_EQ(Run(kModeCallTimer | kModeContactList),
              Join({{D(0x00, 0x4F), D(0x83, 0x0A)}, Chars(duration), {D(0x1A, 0x0A)}}));
    EXPECT_EQ(handset->GetModeFlags(), kModeContactList);
    const auto recorded = PauseRecorder::Take();
    ASSERT_GE(recorded.size(), 3u);
    EXPECT_EQ((std::vector<unsigned>(recorded.begin(), recorded.begin() + 3)),
              (std::vector<unsigned>{2, 1, 1}));
}

TEST_F(TransferTest, AbortInTheMiddleOfATextStopsAfterThatCharacterAndStillCloses) {
    users.SetCallerHandleText("abcdefgh");
    hid.onData = [this](unsigned char command, unsigned char) {
        if (command == 'c') {
            handset->SetAbortTransfer(1);
        }
    };
    EXPECT_EQ(Run(kModePlainText | kModeNotice),
              (std::vector<std::string>{D(0x00, 0x4F), D(0x6A, 0x0A), D(0x70, 0x0A), D(0x61, 0),
                                        D(0x62, 5), D(0x63, 0), D(0x1A, 0x0A)}));
    EXPECT_EQ(handset->AbortTransferFlag(), 0);
    hid.onData = nullptr;
}

TEST_F(TransferTest, HookUpDuringATransferWaitsForItToClose) {
    users.SetCallerHandleText("abcdefgh");
    SetCurrentCall(7, 2);
    std::atomic<bool> stopped{false};
    std::thread key;
    hid.onData = [&](unsigned char command, unsigned char) {
        if (command == 'b' && !stopped.exchange(true)) {
            key = std::thread([this] { handset->HandleKeyEvent(0x1F); });
            // Hold this character until the key has asked the transfer to stop.
            WaitFor([this] { return handset->AbortTransferFlag() != 0; });
        }
    };
    handset->SetModeFlags(kModePlainText | kModeNotice);
    ASSERT_TRUE(handset->StartTransfer());
    ASSERT_TRUE(WaitFor([&] { return log.Has("wire SET CALL     7 STATUS INPROGRESS"); }));
    WaitTransferDone();
    key.join();
    const auto lines = log.Lines();
    const auto end = std::find(lines.begin(), lines.end(), D(0x1A, 0x0A));
    ASSERT_NE(end, lines.end());
    // Nothing of the text after the character in progress.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), D('c', 0)), 0);
    // The key's text left only after the transfer had closed.
    const auto answer =
        std::find(lines.begin(), lines.end(), "wire SET CALL     7 STATUS INPROGRESS");
    EXPECT_LT(end - lines.begin(), answer - lines.begin());
    hid.onData = nullptr;
}

TEST_F(TransferTest, HookUpJustBeforeTheNameGoesOutStopsItAfterItsFirstItem) {
    users.AddUserIfAbsent("kim", USER_ONLINE);
    users.ResetUserBrowse();
    users.BrowseUsers(0, 0);
    font->UTF_8ToUnicodeToFontCode("A name long enough to be cut short");
    SetCurrentCall(7, 2);
    HookedFont hooked(*font);
    handset->BindFontProcess(&hooked);
    std::thread key;
    hooked.beforeSend = [&] {
        // The key comes after the transfer's last look at its own abort flag.
        key = std::thread([this] { handset->HandleKeyEvent(0x1F); });
        WaitFor([&] { return hooked.stopAsked.load(); });
    };
    handset->SetModeFlags(kModeFontCodes | kModeContactList);
    log.Take();
    ASSERT_TRUE(handset->StartTransfer());
    WaitTransferDone();
    key.join();
    EXPECT_EQ(log.Take(), (std::vector<std::string>{D(0x6A, 0x0A), D(0x70, 0x0A), D(0x1A, 0x0A),
                                                    "wire SET CALL     7 STATUS INPROGRESS"}));
    handset->BindFontProcess(font.get());
}

TEST_F(TransferTest, RemovalStopsARunningTransferAndWaitsForItsClose) {
    users.SetCallerHandleText("a caller text long enough to be cut short");
    std::atomic<bool> started{false};
    hid.onData = [&](unsigned char, unsigned char) {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    handset->SetModeFlags(kModePlainText | kModeNotice);
    ASSERT_TRUE(handset->StartTransfer());
    ASSERT_TRUE(WaitFor([&] { return started.load(); }));
    handset->StopTransferForRemoval();
    // The wait ended because the transfer thread took the request.
    EXPECT_EQ(handset->AbortTransferFlag(), 0);
    WaitTransferDone();
    const auto lines = log.Lines();
    EXPECT_EQ(lines.back(), D(0x1A, 0x0A));
    EXPECT_LT(lines.size(), 20u);
    EXPECT_EQ(handset->GetModeFlags(), 0u);
    hid.onData = nullptr;
}

TEST_F(TransferTest, ListKindWaitsForTheListThenGivesUp) {
    users.AddUserIfAbsent("gus", USER_ONLINE);
    users.ResetUserBrowse();
    users.BrowseUsers(0, 0);
    handset->SetModeFlags(kModePlainText);
    log.Take();
    ASSERT_TRUE(handset->StartTransfer());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(log.Lines().empty());
    handset->AddModeFlags(kModeContactList);
    WaitTransferDone();
    EXPECT_EQ(log.Take(), Join({{D(0x6A, 0x0A), D(0x70, 0x0A)}, Chars("gus"), {D(0x1A, 0x0A)}}));

    // No list ever comes: the thread closes on its own.
    handset->SetModeFlags(kModeFontCodes);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(handset->StartTransfer());
    WaitTransferDone();
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(CHsdHid::kListPollLimitMs));
    EXPECT_EQ(log.Take(), (std::vector<std::string>{D(0x1A, 0x0A)}));
    EXPECT_EQ(handset->GetModeFlags(), 0u);
}

TEST_F(TransferTest, NothingToTransferStillEndsTheTransfer) {
    handset->SetModeFlags(kModeContactList);
    EXPECT_EQ(Run(kModeContactList), (std::vector<std::string>{D(0x1A, 0x0A)}));
}

TEST_F(TransferTest, OnlyOneTransferAtATime) {
    users.SetCallerHandleText("abcdef");
    std::atomic<int> starts{0};
    hid.onData = [&](unsigned char command, unsigned char) {
        if (command == 0x00) {
            ++starts;
            EXPECT_TRUE(handset->StartTransfer());  // refused: one is running
        }
    };
    Run(kModePlainText | kModeNotice);
    EXPECT_EQ(starts.load(), 1);
    hid.onData = nullptr;
}

}  // namespace
}  // namespace handsettest
