// The handset's mixer controls against made-up mixer devices.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "FakeMixer.h"
#include "HandsetMixers.h"
#include "Mixer.h"

namespace {

std::vector<std::string> g_diagnostics;

void Capture(const char*, const char* text) {
    g_diagnostics.emplace_back(text);
}

bool Reported(const std::string& text) {
    for (const std::string& d : g_diagnostics) {
        if (d == text)
            return true;
    }
    return false;
}

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_diagnostics.clear();
        SetMixerDiagnosticHook(Capture);
    }
    void TearDown() override {
        CloseHandsetMixerControls();
        SetMixerDiagnosticHook(nullptr);
        FakeMixer::Uninstall();
    }
};

// A handset whose single-channel microphone volume has the given steps and value.
FakeDevice HandsetWithMicVolume(DWORD steps, DWORD stepSize, DWORD value) {
    FakeDevice device = FakeMixer::Handset();
    FakeControl& volume = device.destinations[1].sources[0].controls[0];
    volume.steps = steps;
    volume.maximum = steps * stepSize;
    volume.values = {value};
    return device;
}

HWND const kMainWindow = reinterpret_cast<HWND>(0x4242);

TEST_F(MixerTest, WithoutAUsbMixerAllFourControlsStayClosedAndDoNothing) {
    FakeMixer::Install({FakeMixer::SoundCard("Realtek HD Audio"),
                        FakeMixer::SoundCard("Usb lower-case is not a match")});
    OpenHandsetMixerControls(kMainWindow);

    EXPECT_FALSE(g_SpeakerVolume.IsOpen());
    EXPECT_FALSE(g_MicVolume.IsOpen());
    EXPECT_FALSE(g_MicMuteA.IsOpen());
    EXPECT_FALSE(g_MicMuteB.IsOpen());
    EXPECT_EQ(FakeMixer::OpenHandles(), 0);
    EXPECT_TRUE(Reported("Could not open mixer device"));
    EXPECT_STREQ(g_MicVolume.RejectedName(), "Usb lower-case is not a match");

    const DWORD before = FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                                MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
                             ->values[0];
    g_MicVolume.SetFaderValue(0, 0);
    EXPECT_EQ(g_MicVolume.GetFaderLevel(), 0);
    EXPECT_EQ(FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                     MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
                  ->values[0],
              before);
    EXPECT_EQ(g_MicMuteB.GetValue(), 0u);
}

TEST_F(MixerTest, NoMixerDeviceAtAllIsReported) {
    FakeMixer::Install({});
    EXPECT_EQ(g_SpeakerVolume.Init(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, kNoSourceLine,
                                   MIXERCONTROL_CONTROLTYPE_VOLUME, 2, kMainWindow),
              0);
    EXPECT_TRUE(Reported("No mixer device present"));
}

TEST_F(MixerTest, HandsetArrivalOpensTheFourControlsOnTheUsbDevice) {
    FakeMixer::Install(
        {FakeMixer::SoundCard("Realtek HD Audio"), FakeMixer::Handset("C-Media USB Phone")});
    OpenHandsetMixerControls(kMainWindow);

    EXPECT_TRUE(g_SpeakerVolume.IsOpen());
    EXPECT_TRUE(g_MicVolume.IsOpen());
    EXPECT_TRUE(g_MicMuteA.IsOpen());
    EXPECT_TRUE(g_MicMuteB.IsOpen());
    EXPECT_EQ(FakeMixer::OpenHandles(), 4) << "rejected devices are closed again";
    char name[256];
    g_MicVolume.GetDeviceName(name, sizeof(name));
    EXPECT_STREQ(name, "C-Media USB Phone");

    // Faders ask for change notifications to the main window; switches do not.
    int windowed = 0;
    for (const FakeOpen& open : FakeMixer::Opens()) {
        if (open.id != 1)
            continue;
        if (open.flags == CALLBACK_WINDOW) {
            EXPECT_EQ(open.callback, reinterpret_cast<DWORD_PTR>(kMainWindow));
            ++windowed;
        } else {
            EXPECT_EQ(open.callback, 0u);
        }
    }
    EXPECT_EQ(windowed, 2);

    // The microphone is no longer heard through the speakers.
    EXPECT_EQ(FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_MUTE,
                                     MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, 1)
                  ->values[0],
              1u);
    EXPECT_EQ(g_MicMuteA.GetValue(), 1u);

    CloseHandsetMixerControls();
    EXPECT_EQ(FakeMixer::OpenHandles(), 0);
    g_MicVolume.GetDeviceName(name, sizeof(name));
    EXPECT_STREQ(name, "");
}

TEST_F(MixerTest, AFailedCapabilitiesReadEndsTheSearchWithoutLeakingTheHandle) {
    FakeDevice broken = FakeMixer::SoundCard("Broken");
    broken.capsFail = true;
    FakeMixer::Install({broken, FakeMixer::Handset()});
    EXPECT_EQ(
        g_MicVolume.Init(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                         MIXERCONTROL_CONTROLTYPE_VOLUME, 2, kMainWindow),
        0);
    EXPECT_EQ(FakeMixer::OpenHandles(), 0);
}

TEST_F(MixerTest, FaderSteps) {
    // 31 steps of 2114: full scale 65534.
    FakeMixer::Install({HandsetWithMicVolume(31, 2114, 21 * 2114)});
    ASSERT_EQ(
        g_MicVolume.Init(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                         MIXERCONTROL_CONTROLTYPE_VOLUME, 2, kMainWindow),
        1);
    FakeControl* volume = FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                                 MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    EXPECT_EQ(g_MicVolume.SliderPos(), 21u);

    // A step up of 25 from steps - 10 stops at full scale.
    g_MicVolume.SetFaderValue(0, 0);
    EXPECT_EQ(volume->values[0], 31u * 2114u);
    EXPECT_EQ(g_MicVolume.SliderPos(), 31u);
    EXPECT_EQ(g_MicVolume.GetFaderLevel(), 32);

    g_MicVolume.SetFaderValue(4, 31);
    EXPECT_EQ(volume->values[0], 63486u);  // 31 x 31 x 2114 / 32, truncated
    g_MicVolume.SetFaderValue(2, 0);
    EXPECT_EQ(volume->values[0], 0u);
    EXPECT_EQ(g_MicVolume.GetFaderLevel(), 0);
    g_MicVolume.SetFaderValue(7, 20);
    EXPECT_EQ(volume->values[0], 0u) << "an unknown kind sets 0";
}

TEST_F(MixerTest, StepDownFrom25ReachesSilence) {
    FakeMixer::Install({HandsetWithMicVolume(100, 655, 25 * 655)});
    ASSERT_EQ(
        g_MicVolume.Init(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                         MIXERCONTROL_CONTROLTYPE_VOLUME, 2, kMainWindow),
        1);
    g_MicVolume.SetFaderValue(1, 0);
    EXPECT_EQ(FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                     MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
                  ->values[0],
              0u);
    EXPECT_EQ(g_MicVolume.SliderPos(), 0u);
}

TEST_F(MixerTest, StereoLinesKeepTheirBalance) {
    FakeDevice handset = FakeMixer::Handset();
    FakeControl& volume = handset.destinations[0].controls[0];
    volume.steps = 32;
    volume.maximum = 32 * 1250;  // level 32 gives 40000
    volume.values = {30000, 60000};
    FakeMixer::Install({handset});
    ASSERT_EQ(g_SpeakerVolume.Init(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, kNoSourceLine,
                                   MIXERCONTROL_CONTROLTYPE_VOLUME, 2, kMainWindow),
              1);
    EXPECT_FLOAT_EQ(g_SpeakerVolume.Balance(), 0.5f);
    g_SpeakerVolume.SetFaderValue(4, 32);
    FakeControl* speaker = FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                                  MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    EXPECT_EQ(speaker->values[1], 40000u);
    EXPECT_EQ(speaker->values[0], 20000u);

    // Louder on the left: the left channel takes the value.
    speaker->values = {40000, 10000};
    g_SpeakerVolume.OnControlChange(g_SpeakerVolume.Handle(), speaker->id);
    EXPECT_FLOAT_EQ(g_SpeakerVolume.Balance(), -0.75f);
    g_SpeakerVolume.SetFaderValue(4, 32);
    EXPECT_EQ(speaker->values[0], 40000u);
    EXPECT_EQ(speaker->values[1], 10000u);
}

TEST_F(MixerTest, MicrophoneVolumeIsHeldAtTheFloorOnChangeNotifications) {
    FakeMixer::Install({FakeMixer::Handset()});
    OpenHandsetMixerControls(kMainWindow);
    FakeControl* volume = FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                                 MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    volume->values[0] = 5000;  // another program turns it down

    g_MicVolume.OnControlChange(g_MicVolume.Handle(), volume->id + 1);
    EXPECT_EQ(volume->values[0], 5000u) << "another control's notification";
    g_MicVolume.OnControlChange(g_SpeakerVolume.Handle(), volume->id);
    EXPECT_EQ(volume->values[0], 5000u) << "another mixer's notification";

    g_MicVolume.OnControlChange(g_MicVolume.Handle(), volume->id);
    EXPECT_EQ(volume->values[0], 10000u);
    EXPECT_EQ(g_MicVolume.SliderPos(), 10000u / (65535u / 31u));

    volume->values[0] = 30000;
    g_MicVolume.OnControlChange(g_MicVolume.Handle(), volume->id);
    EXPECT_EQ(volume->values[0], 30000u) << "values above the floor are kept";
}

TEST_F(MixerTest, RefusedControlsAreReportedWithTheirSymbolicNames) {
    FakeDevice speakersOnly = FakeMixer::Handset();
    speakersOnly.destinations.pop_back();
    FakeMixer::Install({speakersOnly});

    EXPECT_EQ(
        g_MicVolume.Init(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                         MIXERCONTROL_CONTROLTYPE_VOLUME, 2, kMainWindow),
        0);
    EXPECT_TRUE(
        Reported("Warning: the destination line \nMIXERLINE_COMPONENTTYPE_DST_WAVEIN\nwas not "
                 "found."));

    EXPECT_EQ(
        g_MicVolume.Init(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERLINE_COMPONENTTYPE_SRC_LINE,
                         MIXERCONTROL_CONTROLTYPE_VOLUME, 2, kMainWindow),
        0);
    EXPECT_TRUE(
        Reported("Warning: the source line \nMIXERLINE_COMPONENTTYPE_SRC_LINE\n not found.\n\n"
                 "(Associated to Destination line \nMIXERLINE_COMPONENTTYPE_DST_SPEAKERS)"));

    EXPECT_EQ(g_SpeakerVolume.Init(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, kNoSourceLine,
                                   MIXERCONTROL_CONTROLTYPE_BASS, 2, kMainWindow),
              0);
    EXPECT_TRUE(
        Reported("Could not find specified mixer control. Associated Windows control will be "
                 "disabled.\nControl type: MIXERCONTROL_CONTROLTYPE_BASS,\n\nDest line type: "
                 "MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,\nSrc  line type: No source line\n"));

    EXPECT_EQ(
        g_MicMuteA.Init(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                        MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERCONTROL_CONTROLTYPE_VOLUME, 0),
        0);
    EXPECT_TRUE(Reported("Wrong control type: MIXERCONTROL_CONTROLTYPE_VOLUME"));

    EXPECT_EQ(
        g_MicMuteA.Init(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                        MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERCONTROL_CONTROLTYPE_MUTE, 3),
        0);
    EXPECT_TRUE(Reported("Invalid control index passed: 3"));
    EXPECT_EQ(FakeMixer::OpenHandles(), 0);
}

TEST_F(MixerTest, MultipleItemSwitchesAddressTheirItem) {
    FakeDevice handset = FakeMixer::Handset();
    FakeControl& mute = handset.destinations[0].sources[0].controls[0];
    mute.flags = MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE;
    mute.items = 3;
    mute.values = {0, 0, 0};
    FakeMixer::Install({handset});
    ASSERT_EQ(
        g_MicMuteA.Init(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                        MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERCONTROL_CONTROLTYPE_MUTE, 2),
        1);
    EXPECT_EQ(g_MicMuteA.SetValue(1), 1);
    EXPECT_EQ(FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_MUTE,
                                     MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
                  ->values,
              (std::vector<DWORD>{0, 0, 1}));
    EXPECT_EQ(g_MicMuteA.GetValue(), 1u);
}

TEST_F(MixerTest, AFaderWithoutStepsIsRefused) {
    FakeMixer::Install({HandsetWithMicVolume(0, 0, 0)});
    EXPECT_EQ(
        g_MicVolume.Init(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                         MIXERCONTROL_CONTROLTYPE_VOLUME, 2, kMainWindow),
        0);
    EXPECT_FALSE(g_MicVolume.IsOpen());
    g_MicVolume.SetFaderValue(0, 0);
    EXPECT_EQ(g_MicVolume.GetFaderLevel(), 0);
}

TEST_F(MixerTest, KeysAndDialogMayUseAFaderWhileTheMainThreadReopensIt) {
    FakeMixer::Install({FakeMixer::Handset()});
    std::atomic<bool> stop{false};
    auto keys = [&stop] {
        for (unsigned i = 0; !stop; ++i) {
            g_MicVolume.SetFaderValue(static_cast<int>(i % 3), i % 33);
            g_MicVolume.GetFaderLevel();
        }
    };
    std::thread input(keys);
    std::thread dialog(keys);
    for (int i = 0; i < 300; ++i) {
        g_MicVolume.Init(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                         MIXERCONTROL_CONTROLTYPE_VOLUME, 2, kMainWindow);
        g_MicVolume.Close();
    }
    stop = true;
    input.join();
    dialog.join();
    EXPECT_EQ(FakeMixer::OpenHandles(), 0);
}

}  // namespace
