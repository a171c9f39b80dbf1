// The transfer of the pending stream to the handset, the balance stream and
// the enabling of the component, against a recording handset.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "FontTestSupport.h"

namespace {

using namespace fonttest;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

const std::vector<unsigned char> kBalanceGlyph = {
    0x00, 0x00, 0x00, 0x40, 0xF0, 0x48, 0x44, 0x44, 0x44, 0x44, 0x44, 0x48, 0x1C, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x02, 0x0F, 0x12, 0x22, 0x22, 0x22, 0x22, 0x22, 0x12, 0x08, 0x00, 0x00, 0x00};

Items BalanceItems(const std::vector<unsigned char>& amount) {
    return Join({Marker(0x70), Data("Balance:"), Marker(0x71), Data(kBalanceGlyph), Marker(0x70),
                 Data(amount)});
}

TEST(FontTransfer, SendsEveryItemInOrderThenPausesAndForgetsTheStream) {
    Harness h;
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("abc"), 0);
    h.pauses.Take();
    EXPECT_EQ(h.Send(0), Join({Marker(0x70), Data("abc")}));
    EXPECT_EQ(h.pauses.Take(), std::vector<unsigned>{300});
    EXPECT_EQ(h.Send(E_FAIL), Items{}) << "the stream was sent once";
}

TEST(FontTransfer, PacesItemsWhenTheHandsetSitsBehindAHub) {
    Harness h;
    h.font.SetHIDCtrlInterfaceKey(1, 1);
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("ab"), 0);
    h.pauses.Take();
    EXPECT_EQ(h.Send(0).size(), 3u);
    EXPECT_EQ(h.pauses.Take(), (std::vector<unsigned>{3, 3, 3, 300}));
}

TEST(FontTransfer, RetriesAnItemUpToFourTimesWithDiagnostics) {
    Harness h;
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("ab"), 0);
    h.pauses.Take();
    // Marker: fails twice then goes. 'a': fails four times and is skipped.
    // 'b': goes at once.
    h.hid.FailAttempts({1, 2, 4, 5, 6, 7});
    CaptureStdout();
    EXPECT_EQ(h.font.SendFontCode2MCU(), 0) << "a lost item does not end the transfer";
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(h.hid.Attempts(), 8);
    EXPECT_EQ(h.hid.Take(), (Items{{0x70, 0x0A}, {'b', 5}}));
    EXPECT_EQ(out,
              " Faile to send data .....(1).\n"
              " Faile to send data .....(2).\n"
              " Faile to send data .....(1).\n"
              " Faile to send data .....(2).\n"
              " Faile to send data .....(3).\n");
    EXPECT_EQ(h.pauses.Take(), (std::vector<unsigned>{15, 15, 15, 15, 15, 1, 300}));
}

TEST(FontTransfer, StopAfterTheFirstItemFreesTheStream) {
    Harness h;
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("Hello"), 0);
    h.hid.OnSend([&](int attempt) {
        if (attempt == 1) {
            h.font.SetkeepProcess2MCUDataMonitor(1);
        }
    });
    EXPECT_EQ(h.Send(1), Marker(0x70));
    h.hid.OnSend(nullptr);
    EXPECT_EQ(h.Send(E_FAIL), Items{});
    // The stop was honoured and cleared: the next transfer runs to its end.
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("Hi"), 0);
    EXPECT_EQ(h.Send(0), Join({Marker(0x70), Data("Hi")}));
}

TEST(FontTransfer, StopRequestedBeforeATransferStopsItAfterItsFirstItem) {
    Harness h;
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("Hi"), 0);
    h.font.SetkeepProcess2MCUDataMonitor(1);
    EXPECT_EQ(h.Send(1), Marker(0x70));
    // A withdrawn request stops nothing.
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("Hi"), 0);
    h.font.SetkeepProcess2MCUDataMonitor(1);
    h.font.SetkeepProcess2MCUDataMonitor(0);
    EXPECT_EQ(h.Send(0), Join({Marker(0x70), Data("Hi")}));
}

TEST(FontTransfer, EmptyStreamSendsTheFallbackTextAndKeepsTheStream) {
    Harness h;
    h.font.SetHIDCtrlInterfaceKey(1, 1);
    unsigned char out[34] = {};
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("Hi"), 0);
    ASSERT_EQ(h.font.UTF_8ToUnicode2Font("x", out), 0);  // leaves a stream of no items
    h.pauses.Take();
    // The marker is sent once, without retries; the characters retry.
    h.hid.FailAttempts({1, 2});
    CaptureStdout();
    EXPECT_EQ(h.font.SendFontCode2MCU(), E_FAIL);
    EXPECT_EQ(GetCapturedStdout(), " Faile to send data .....(1).\n");
    EXPECT_EQ(h.hid.Take(), Data("Unknown User..."));
    EXPECT_EQ(h.pauses.Take().size(), 1u + 15u) << "one retry pause, then 3 ms per character";
    h.hid.FailAttempts({});
    EXPECT_EQ(h.Send(E_FAIL), Join({Marker(0x70), Data("Unknown User...")}));
}

TEST(FontTransfer, StopDuringTheFallbackTextReturnsOne) {
    Harness h;
    unsigned char out[34] = {};
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("Hi"), 0);
    ASSERT_EQ(h.font.UTF_8ToUnicode2Font("x", out), 0);
    h.hid.OnSend([&](int attempt) {
        if (attempt == 3) {
            h.font.SetkeepProcess2MCUDataMonitor(1);
        }
    });
    EXPECT_EQ(h.Send(1), Join({Marker(0x70), Data("Un")}));
}

TEST(FontTransfer, NothingPendingOrNoHandsetFails) {
    Harness h;
    EXPECT_EQ(h.Send(E_FAIL), Items{});
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("Hi"), 0);
    h.font.SetHIDCtrlInterface(nullptr);
    EXPECT_EQ(h.Send(E_FAIL), Items{});
    h.font.SetHIDCtrlInterface(&h.hid);
    EXPECT_EQ(h.Send(0), Join({Marker(0x70), Data("Hi")})) << "the stream waited";
}

TEST(FontTransfer, ClosedHandsetDisablesConversionsAndTransfersButKeepsTheStream) {
    Harness h;
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("Hi"), 0);
    for (int handsetOpen : {0, 2}) {
        h.font.SetHIDCtrlInterfaceKey(handsetOpen, 0);
        unsigned char out[34] = {};
        const unsigned char ucs[] = {'A', 0};
        EXPECT_EQ(h.font.UTF_8ToUnicodeToFontCode("other"), E_FAIL);
        EXPECT_EQ(h.font.Unicode2FontCode(ucs), E_FAIL);
        EXPECT_EQ(h.font.UTF_8ToUnicode2Font("other", out), E_FAIL);
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(h.font.BalanceToFontCode(100), E_FAIL);
        EXPECT_EQ(h.Send(E_FAIL), Items{});
    }
    h.font.SetHIDCtrlInterfaceKey(1, 0);
    EXPECT_EQ(h.Send(0), Join({Marker(0x70), Data("Hi")}));
}

TEST(FontBalance, AmountsInHundredths) {
    Harness h;
    struct Case {
        std::int32_t balance;
        std::vector<unsigned char> amount;
    };
    const Case cases[] = {
        {1234, {'1', '2', '.', '3', '4', 0}},
        {50, {'.', '5', '0', 0}},
        {7, {'7', 0}},
        {100000, {'1', '0', '0', '0', '.', '0', '0', 0}},
        {-1234, {'-', '1', '2', '.', '3', '4', 0}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(h.font.BalanceToFontCode(c.balance), 0);
        EXPECT_EQ(h.Send(0), BalanceItems(c.amount)) << c.balance;
    }
    ASSERT_EQ(h.font.BalanceToFontCode(1234), 0);
    EXPECT_EQ(h.Send(0).size(), 49u);
}

TEST(FontBalance, ZeroMeansNoSkypeOut) {
    Harness h;
    ASSERT_EQ(h.font.BalanceToFontCode(0), 0);
    const auto items = h.Send(0);
    EXPECT_EQ(items, Join({Marker(0x70), Data("No Skypeout Privilege.")}));
    EXPECT_EQ(items.size(), 23u);
}

TEST(FontBalance, ExtremeBalancesFit) {
    Harness h;
    ASSERT_EQ(h.font.BalanceToFontCode(INT32_MIN), 0);
    EXPECT_EQ(h.Send(0),
              BalanceItems({'-', '2', '1', '4', '7', '4', '8', '3', '6', '.', '4', '8', 0}));
}

TEST(FontComponent, SupportedArfIsStoredOnly) {
    Harness h;
    EXPECT_EQ(h.font.SetSupportedARF(1), 0);
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode("Hi"), 0);
    EXPECT_EQ(h.Send(0), Join({Marker(0x70), Data("Hi")}));
}

TEST(FontComponent, DestructionClosesFilesAfterItsPause) {
    std::vector<unsigned> pauses;
    {
        PauseRecorder recorder;
        {
            CHsdFontProcessImpl font;
            font.InitialFontTable("/nonexistent");
        }
        pauses = recorder.Take();
    }
    EXPECT_EQ(pauses, std::vector<unsigned>{20});
}

}  // namespace
