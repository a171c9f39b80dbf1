// Time from a hook-up word arriving in OnHidInput to the answer text reaching
// the wire, over 1,000 presses. Pauses are recorded, not slept, so only the
// program's own work and its thread hand-over count.
#include <algorithm>

#include "HandsetFakes.h"

namespace handsettest {
namespace {

class LatencyTest : public HandsetTest {};

TEST_F(LatencyTest, HookUpReachesTheWireQuickly) {
    constexpr int kPresses = 1000;
    SetCurrentCall(7, CALLSTATUS_RINGING_IN);
    StartInput();
    handset->SetAcceptAnySequence(0);
    std::atomic<bool> arrived{false};
    std::chrono::steady_clock::time_point arrival;
    log.OnLine([&](const std::string& line) {
        if (line == "wire SET CALL     7 STATUS INPROGRESS") {
            arrival = std::chrono::steady_clock::now();
            arrived.store(true);
        }
    });
    std::vector<double> micros;
    micros.reserve(kPresses);
    int sequence = 1;
    for (int i = 0; i < kPresses; ++i) {
        arrived.store(false);
        const auto start = std::chrono::steady_clock::now();
        handset->OnHidInput(Word(0x1F, sequence), 0);
        ASSERT_TRUE(WaitFor([&] { return arrived.load(); }, 5000)) << i;
        micros.push_back(std::chrono::duration<double, std::micro>(arrival - start).count());
        ASSERT_TRUE(WaitFor([&] { return handset->QueuedInput() == 0; }));
        sequence = (sequence + 1) % 4;
        log.Take();
    }
    log.OnLine(nullptr);
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    const double worst = micros.back();
    std::printf("hook-up to wire over %d presses: median %.1f us, worst %.1f us\n", kPresses,
                median, worst);
    // Generous bounds: a loaded machine with sanitizers stays far below them.
    EXPECT_LT(median, 20000.0);
    EXPECT_LT(worst, 500000.0);
}

}  // namespace
}  // namespace handsettest
