// The PC ring tone: tone cycling, preview, the one-second delay, the loop and the purge.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "Pause.h"
#include "RingTonePlayer.h"

namespace {

struct Played {
    std::string file;  // "<none>" for a null file name
    unsigned int flags;
};

class RecordingSound : public ISoundOutput {
public:
    void PlayWave(const char* fileName, unsigned int flags) override {
        played.push_back({fileName ? fileName : "<none>", flags});
    }
    std::vector<Played> played;
};

std::vector<unsigned int> g_pauses;
void RecordPause(unsigned int ms) {
    g_pauses.push_back(ms);
}

TEST(RingTonePlayer, StepsCycleThroughTheFourTonesAndPreviewEachOnce) {
    RecordingSound sound;
    RingTonePlayer player(sound);
    EXPECT_EQ(player.ToneIndex(), 0);
    const char* const expected[] = {"music2.wav", "music3.wav", "music4.wav", "music1.wav",
                                    "music2.wav"};
    for (const char* file : expected) {
        player.SelectNextRingTone();
        EXPECT_EQ(sound.played.back().file, file);
        EXPECT_EQ(sound.played.back().flags, kSoundFileName | kSoundAsync) << "played once";
    }
    EXPECT_EQ(player.ToneIndex(), 1);
    EXPECT_EQ(sound.played.size(), 5u);
}

TEST(RingTonePlayer, RingingWaitsOneSecondThenLoopsTheSelectedTone) {
    RecordingSound sound;
    RingTonePlayer player(sound);
    g_pauses.clear();
    const PauseFunction previous = SetPauseFunction(RecordPause);
    player.SelectNextRingTone();
    player.SelectNextRingTone();
    sound.played.clear();
    player.StartRinging();
    SetPauseFunction(previous);

    EXPECT_EQ(g_pauses, (std::vector<unsigned int>{1000}));
    ASSERT_EQ(sound.played.size(), 1u);
    EXPECT_EQ(sound.played[0].file, "music3.wav");
    EXPECT_EQ(sound.played[0].flags, 0x20009u);  // SND_FILENAME | SND_ASYNC | SND_LOOP
}

TEST(RingTonePlayer, StartRingingBlocksItsCallerForAboutASecond) {
    RecordingSound sound;
    RingTonePlayer player(sound);
    const auto start = std::chrono::steady_clock::now();
    player.StartRinging();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(1000));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
    EXPECT_EQ(sound.played.size(), 1u);
}

TEST(RingTonePlayer, StopPurgesWhateverPlays) {
    RecordingSound sound;
    RingTonePlayer player(sound);
    player.StopRinging();
    player.StopRinging();
    ASSERT_EQ(sound.played.size(), 2u);
    EXPECT_EQ(sound.played[0].file, "<none>");
    EXPECT_EQ(sound.played[0].flags, 0x40u);  // SND_PURGE
    EXPECT_EQ(player.ToneIndex(), 0) << "stopping does not change the selection";
}

}  // namespace
