// Construction, forwarding without a HID component, and teardown with threads running.
#include "HandsetFakes.h"

namespace handsettest {
namespace {

class LifecycleTest : public HandsetTest {};

TEST(HandsetWithoutComponent, EveryForwardingOperationFailsWithoutCalling) {
    PauseRecorder pauses;
    CHsdHid handset(nullptr);
    EXPECT_EQ(handset.HidCtrl(), nullptr);
    EXPECT_FALSE(handset.ReopenHandset());
    EXPECT_FALSE(handset.StartHandset(nullptr));
    EXPECT_FALSE(handset.StopHandsetReading());
    EXPECT_FALSE(handset.ResetHandset());
    EXPECT_FALSE(handset.SendHandsetCommand(0x51));
    EXPECT_FALSE(handset.SendHandsetCommandData(0x00, 0x4F));
    EXPECT_FALSE(handset.SetCodecRegister(0x0E, 0x80, 0x08));
    EXPECT_EQ(handset.BindFontProcess(nullptr), 0);
    // The key handler still works without stores or ports.
    EXPECT_EQ(handset.HandleKeyEvent(0xB1), 0);
}

TEST_F(LifecycleTest, InitialFieldsAndConfiguration) {
    EXPECT_EQ(handset->keysEnabled.load(), 1);
    EXPECT_EQ(handset->AcceptAnySequence(), 1);
    EXPECT_FALSE(handset->IsHandsetPresent());
    EXPECT_TRUE(handset->FontSupport());
    EXPECT_EQ(constructionLines, (std::vector<std::string>{"bind"}));
    ConfigSwitches switches;
    switches.fontSupport = 0;
    switches.supportARF = 1;
    handset->ApplyConfiguration(switches, 1, 2);
    EXPECT_FALSE(handset->FontSupport());
    handset->ApplySupportedARF();
    EXPECT_TRUE(log.Has("arf 1"));
    handset->SetProtocolVersion(5);
    EXPECT_EQ(handset->GetProtocolVersion(), 5);
}

TEST_F(LifecycleTest, DestructionStopsBothThreadsThenResetsAndFreesTheLibrary) {
    StartInput();
    users.SetCallerHandleText("a long caller text to keep the transfer busy");
    hid.onData = [](unsigned char, unsigned char) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    handset->SetModeFlags(kModePlainText | kModeNotice);
    ASSERT_TRUE(handset->StartTransfer());
    handset->OnHidInput(Word(0xB1, 1), 0);
    handset.reset();
    const auto lines = log.Lines();
    ASSERT_GE(lines.size(), 3u);
    // The device is reset before the library goes, and nothing follows.
    EXPECT_EQ(lines[lines.size() - 2], "reset");
    EXPECT_EQ(lines.back(), "free");
    hid.onData = nullptr;
}

TEST_F(LifecycleTest, StopThreadsLetsThePortsGoFirst) {
    StartInput();
    handset->StopThreads();
    // Words arriving afterwards are queued but never handled.
    handset->OnHidInput(Word(0xB1, 1), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(handset->QueuedInput(), 1u);
    EXPECT_TRUE(log.With("wire").empty());
}

TEST_F(LifecycleTest, WordsFromManyThreadsAreHandledOnceEach) {
    StartInput();
    handset->SetModeFlags(kModeCallList);  // 0x6E is accepted whatever its sequence
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([this] {
            for (int i = 0; i < 50; ++i) {
                handset->OnHidInput(Word(0x6E, 3), 0);
            }
        });
    }
    for (auto& sender : senders) {
        sender.join();
    }
    ASSERT_TRUE(WaitFor([&] { return handset->QueuedInput() == 0; }, 10000));
    // Entering the call list keeps it browsed, so every word is handled and
    // acknowledged exactly once.
    EXPECT_EQ(log.With("cmd 53").size(), 200u);
    EXPECT_EQ(log.With("data 00 4F").size(), 200u);
}

}  // namespace
}  // namespace handsettest
