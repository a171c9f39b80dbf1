// A transfer runs on its own thread while other threads convert text and ask
// for a stop, as the program's handset and Skype threads do. Run under TSan
// too (host-tsan preset).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "FontTestSupport.h"

namespace {

using namespace fonttest;

void WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 200000 && !condition(); ++i) {
        std::this_thread::yield();
    }
}

// 16 ASCII characters and 8 blank cells: 274 items.
const std::string kName = "Concurrent name!" + Repeat("\xF0\x9F\x98\x80", 8);

TEST(FontConcurrency, ConversionsDuringATransferLeaveTheSentStreamIntact) {
    Harness h;
    const Items expected = h.Convert(kName);
    ASSERT_EQ(expected.size(), 274u);
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode(kName.c_str()), 0);

    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    std::atomic<int> conversions{0};
    // Once the transfer has sent its first item, it waits until the other
    // threads have replaced the pending stream several times.
    h.hid.OnSend([&](int attempt) {
        if (attempt == 1) {
            started = true;
            WaitFor([&] { return conversions.load() >= 20; });
        }
    });
    std::vector<std::thread> converters;
    for (int t = 0; t < 3; ++t) {
        converters.emplace_back([&, t] {
            WaitFor([&] { return started.load(); });
            for (int i = 0; !done; ++i) {
                const std::string text =
                    "thread " + std::to_string(t) + " text " + std::to_string(i) + "\xE4\xB8\xAD";
                h.font.UTF_8ToUnicodeToFontCode(text.c_str());
                h.font.BalanceToFontCode(i);
                unsigned char out[34] = {};
                h.font.UTF_8ToUnicode2Font(text.c_str(), out);
                h.font.UTF_8ToUnicodeToFontCode(text.c_str());
                ++conversions;
            }
        });
    }
    HsdStatus result = E_FAIL;
    std::thread transfer([&] { result = h.font.SendFontCode2MCU(); });
    transfer.join();
    done = true;
    for (std::thread& converter : converters) {
        converter.join();
    }
    h.hid.OnSend(nullptr);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(h.hid.Take(), expected);
    EXPECT_GE(conversions.load(), 20);
    // The newest conversion waits for the next transfer instead of being
    // dropped by the one that finished.
    EXPECT_FALSE(h.Send(0).empty());
}

TEST(FontConcurrency, StopFromAnotherThreadTakesEffectAfterTheItemBeingSent) {
    Harness h;
    ASSERT_EQ(h.font.UTF_8ToUnicodeToFontCode(kName.c_str()), 0);
    std::atomic<bool> stopped{false};
    h.hid.OnSend([&](int attempt) {
        if (attempt == 100) {
            WaitFor([&] { return stopped.load(); });
        }
    });
    std::thread stopper([&] {
        WaitFor([&] { return h.hid.Attempts() >= 100; });
        h.font.SetkeepProcess2MCUDataMonitor(1);
        stopped = true;
    });
    HsdStatus result = E_FAIL;
    std::thread transfer([&] { result = h.font.SendFontCode2MCU(); });
    transfer.join();
    stopper.join();
    h.hid.OnSend(nullptr);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(h.hid.Take().size(), 100u);
    EXPECT_EQ(h.Send(E_FAIL), Items{}) << "a stopped transfer frees its stream";
}

}  // namespace
