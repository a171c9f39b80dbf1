// The handset's sound on its Core Audio endpoints, against made-up endpoints,
// and the choice between endpoints and the mixer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CodePageText.h"
#include "Endpoints.h"
#include "FakeEndpoints.h"
#include "FakeMixer.h"
#include "HandsetAudio.h"
#include "HandsetMixers.h"

namespace {

const std::string kHandsetContainer = "{6A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9}";
const std::string kHeadsetContainer = "{11111111-2222-3333-4444-555555555555}";

std::vector<std::string> g_trace;

void Capture(const char* line) {
    g_trace.emplace_back(line);
}

// A sound card, a USB headset and the handset, which Windows names plainly.
std::vector<FakeEndpoint> PcWithHandset() {
    return {{L"card.out", eRender, L"Speakers (Realtek Audio)",
             "{AAAAAAAA-0000-0000-0000-000000000001}"},
            {L"headset.out", eRender, L"Headphones (USB Headset)", kHeadsetContainer},
            {L"handset.out", eRender, L"Speakers (Telephone Handset)", kHandsetContainer},
            {L"card.in", eCapture, L"Microphone (Realtek Audio)", ""},
            {L"headset.in", eCapture, L"Microphone (USB Headset)", kHeadsetContainer},
            {L"handset.in", eCapture, L"Microphone (Telephone Handset)", kHandsetContainer}};
}

class EndpointTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_trace.clear();
        SetAudioTraceSink(Capture);
        FakeMixer::Install({FakeMixer::Handset("USB Audio Handset")});
        window = CreateWindowExA(0, "STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        CloseHandsetAudio();
        EXPECT_FALSE(FakeEndpoints::WatchRegistered());
        EXPECT_EQ(FakeEndpoints::VolumeCallbacks(), 0);
        EXPECT_EQ(FakeEndpoints::LiveObjects(), 0);
        FakeEndpoints::Uninstall();
        FakeMixer::Uninstall();
        SetAudioTraceSink(nullptr);
        DestroyWindow(window);
    }
    // The next message posted to the window, from this (the main) thread's queue.
    MSG Posted(UINT message) {
        MSG msg{};
        EXPECT_TRUE(PeekMessageA(&msg, window, message, message, PM_REMOVE));
        return msg;
    }
    std::string LastTrace() const { return g_trace.empty() ? "" : g_trace.back(); }

    HWND window = nullptr;
};

TEST_F(EndpointTest, TheHandsetsContainerDecidesBeforeAnyName) {
    FakeEndpoints::Install(PcWithHandset());
    OpenHandsetAudio(window, kHandsetContainer);
    ASSERT_TRUE(UsingHandsetEndpoints());
    EXPECT_EQ(HandsetDeviceName(false), "Speakers (Telephone Handset)");
    EXPECT_EQ(HandsetDeviceName(true), "Microphone (Telephone Handset)");
    EXPECT_EQ(LastTrace(),
              "Audio: endpoints Speakers (Telephone Handset) / Microphone "
              "(Telephone Handset) (container " +
                  kHandsetContainer + ")\n");
    // Container text compares without regard to case.
    std::string lower = kHandsetContainer;
    for (char& c : lower) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    OpenHandsetAudio(window, lower);
    EXPECT_EQ(HandsetDeviceName(true), "Microphone (Telephone Handset)");
}

TEST_F(EndpointTest, WithoutAMatchingContainerTheFirstUsbNameDecides) {
    FakeEndpoints::Install(PcWithHandset());
    for (const std::string& container : {std::string(), kHandsetContainer.substr(0, 30) + "}"}) {
        OpenHandsetAudio(window, container);
        ASSERT_TRUE(UsingHandsetEndpoints()) << container;
        EXPECT_EQ(HandsetDeviceName(false), "Headphones (USB Headset)");
        EXPECT_EQ(HandsetDeviceName(true), "Microphone (USB Headset)");
        EXPECT_EQ(LastTrace(),
                  "Audio: endpoints Headphones (USB Headset) / Microphone (USB "
                  "Headset) (by name)\n");
    }
}

// Speaker and microphone come from one device or not at all; the computer's
// own container names no device.
TEST(HandsetEndpointChoice, BothEndpointsComeFromOneDevice) {
    const auto in = [](AudioEndpoint endpoint, const std::string& container) {
        endpoint.container = container;
        return endpoint;
    };
    const std::string pc = kComputerContainer, hs = kHandsetContainer, wc = kHeadsetContainer;
    const AudioEndpoint pcOut{L"pc.out", L"Speakers (Realtek Audio)", pc};
    const AudioEndpoint out{L"hs.out", L"Speakers (USB Audio Device)", ""};
    const AudioEndpoint mic{L"hs.in", L"Microphone (USB Audio Device)", ""};
    const AudioEndpoint cam{L"cam.in", L"Microphone (USB Camera)", ""};
    const struct {
        const char* story;
        std::vector<AudioEndpoint> render, capture;
        std::string hid;
        std::wstring speaker, microphone;
    } rows[] = {
        {"container", {pcOut, in(out, hs)}, {in(cam, wc), in(mic, hs)}, hs, L"hs.out", L"hs.in"},
        {"non-removable port", {pcOut, in(out, pc)}, {in(mic, pc)}, pc, L"hs.out", L"hs.in"},
        {"microphone not there yet", {pcOut, in(out, hs)}, {in(cam, wc)}, hs, L"", L""},
        {"no containers", {pcOut, out}, {cam, mic}, "", L"hs.out", L"hs.in"},
    };
    for (const auto& row : rows) {
        const HandsetEndpoints chosen = ChooseHandsetEndpoints(row.render, row.capture, row.hid);
        EXPECT_EQ(chosen.speaker ? chosen.speaker->id : L"", row.speaker) << row.story;
        EXPECT_EQ(chosen.microphone ? chosen.microphone->id : L"", row.microphone) << row.story;
    }
}

// Skype reads UTF-8 (as this file's narrow literals are) whatever the system
// code page: endpoint names come from UTF-16, the mixer's from the code page.
TEST_F(EndpointTest, SkypeGetsTheDeviceNamesInUtf8) {
    const std::pair<std::wstring, std::string> rows[] = {
        {L"Micrófono (USB Audio Device)", "Micrófono (USB Audio Device)"},
        {L"麦克风 (USB Audio Device)", "麦克风 (USB Audio Device)"}};
    for (const auto& [name, utf8] : rows) {
        FakeEndpoints::Install({{L"hs.out", eRender, L"Speakers (USB)", kHandsetContainer},
                                {L"hs.in", eCapture, name, kHandsetContainer}});
        OpenHandsetAudio(window, kHandsetContainer);
        EXPECT_EQ(HandsetDeviceName(true), utf8);
    }
    FakeEndpoints::Install({});  // no endpoint API: the mixer
    FakeMixer::Install({FakeMixer::Handset(Narrow(L"USB Micrófono", CP_ACP))});
    OpenHandsetAudio(window, kHandsetContainer);
    EXPECT_EQ(HandsetDeviceName(true), "USB Micrófono");
}

TEST_F(EndpointTest, WithoutTheHandsetsEndpointsTheMixerServesAsBefore) {
    struct Case {
        std::vector<FakeEndpoint> endpoints;
        bool api;
        const char* trace;
    };
    std::vector<FakeEndpoint> renderOnly = PcWithHandset();
    std::erase_if(renderOnly, [](const FakeEndpoint& e) { return e.flow == eCapture; });
    const Case cases[] = {{{}, true, "Audio: mixer devices (no handset endpoint)\n"},
                          {renderOnly, true, "Audio: mixer devices (no handset endpoint)\n"},
                          {PcWithHandset(), false, "Audio: mixer devices (no endpoint API)\n"}};
    for (const Case& c : cases) {
        FakeEndpoints::Install(c.endpoints, c.api);
        OpenHandsetAudio(window, kHandsetContainer);
        EXPECT_FALSE(UsingHandsetEndpoints());
        EXPECT_EQ(&HandsetSpeaker(), &g_SpeakerVolume);
        EXPECT_EQ(&HandsetMicrophone(), &g_MicVolume);
        EXPECT_TRUE(g_MicVolume.IsOpen());
        // The mixer device's product name, for both directions.
        EXPECT_EQ(HandsetDeviceName(true), "USB Audio Handset");
        EXPECT_EQ(HandsetDeviceName(false), "USB Audio Handset");
        EXPECT_EQ(LastTrace(), c.trace);
        EXPECT_EQ(FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_MUTE,
                                         MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
                      ->values[0],
                  1u);
    }
    CloseHandsetAudio();
    EXPECT_FALSE(g_MicVolume.IsOpen());
}

TEST_F(EndpointTest, LevelsAndStepsComeOutAsOnTheMixer) {
    FakeEndpoints::Install(PcWithHandset());
    OpenHandsetAudio(window, kHandsetContainer);
    HandsetFader& mic = HandsetMicrophone();
    const auto value = [] { return FakeEndpoints::Scalar(L"handset.in") * 65535.0f; };

    // 31 steps of 2114: level 31 is 31 * 31 * 2114 / 32, truncated.
    mic.SetFaderValue(4, 31);
    EXPECT_NEAR(value(), 63486.0f, 0.5f);
    EXPECT_EQ(mic.GetFaderLevel(), 30);
    // Step up from steps - 10 lands on 31 * 2114.
    mic.SetFaderValue(2, 21 * 32 / 31 + 1);
    ASSERT_EQ(static_cast<EndpointFader&>(mic).SliderPos(), 21u);
    mic.SetFaderValue(0, 0);
    EXPECT_NEAR(value(), 65534.0f, 0.5f);
    EXPECT_EQ(mic.GetFaderLevel(), 32);
    // Step down from 25 sets 0.
    mic.SetFaderValue(2, 26);
    ASSERT_EQ(static_cast<EndpointFader&>(mic).SliderPos(), 25u);
    mic.SetFaderValue(1, 0);
    EXPECT_EQ(value(), 0.0f);
    EXPECT_EQ(mic.GetFaderLevel(), 0);
    // The speaker is its own endpoint.
    HandsetSpeaker().SetFaderValue(2, 32);
    EXPECT_NEAR(FakeEndpoints::Scalar(L"handset.out") * 65535.0f, 65534.0f, 0.5f);
    EXPECT_EQ(FakeEndpoints::Scalar(L"headset.out"), 0.5f);
}

TEST_F(EndpointTest, AChangeElsewhereReachesTheMainWindowAndTheFloorHoldsOnlyForTheMicrophone) {
    FakeEndpoints::Install(PcWithHandset());
    OpenHandsetAudio(window, kHandsetContainer);

    FakeEndpoints::SetVolumeElsewhere(L"handset.in", 5000.0f / 65535.0f);
    const MSG mic = Posted(MM_MIXM_CONTROL_CHANGE);
    FakeEndpoints::SetVolumeElsewhere(L"handset.out", 5000.0f / 65535.0f);
    const MSG speaker = Posted(MM_MIXM_CONTROL_CHANGE);

    HandsetMicrophone().OnControlChange(speaker.wParam, speaker.lParam);
    EXPECT_NEAR(FakeEndpoints::Scalar(L"handset.in") * 65535.0f, 5000.0f, 0.5f);
    HandsetMicrophone().OnControlChange(mic.wParam, mic.lParam);
    EXPECT_NEAR(FakeEndpoints::Scalar(L"handset.in") * 65535.0f, 10000.0f, 0.5f);
    EXPECT_NEAR(FakeEndpoints::Scalar(L"handset.out") * 65535.0f, 5000.0f, 0.5f);
    // Above the floor nothing is written.
    FakeEndpoints::SetVolumeElsewhere(L"handset.in", 0.25f);
    HandsetMicrophone().OnControlChange(Posted(MM_MIXM_CONTROL_CHANGE).wParam, mic.lParam);
    EXPECT_EQ(FakeEndpoints::Scalar(L"handset.in"), 0.25f);
}

TEST_F(EndpointTest, EndpointsComingAndGoingWithTheHandsetAreFollowed) {
    // The sound card only, without the USB headset.
    std::vector<FakeEndpoint> pc = PcWithHandset();
    const FakeEndpoint handsetOut = pc[2];
    const FakeEndpoint handsetIn = pc[5];
    std::erase_if(pc, [](const FakeEndpoint& e) { return e.id.find(L"card.") != 0; });
    FakeEndpoints::Install(pc);
    // The HID device arrives before its audio endpoints.
    OpenHandsetAudio(window, kHandsetContainer);
    EXPECT_FALSE(UsingHandsetEndpoints());

    FakeEndpoints::Add(handsetOut);
    FakeEndpoints::Add(handsetIn);
    Posted(WM_HANDSET_ENDPOINTS_CHANGED);
    FollowHandsetEndpoints();
    EXPECT_TRUE(UsingHandsetEndpoints());
    EXPECT_EQ(HandsetDeviceName(true), "Microphone (Telephone Handset)");
    EXPECT_EQ(
        HandsetEndpointNames(false),
        (std::vector<std::string>{"Speakers (Realtek Audio)", "Speakers (Telephone Handset)"}));

    FakeEndpoints::Remove(L"handset.in");
    Posted(WM_HANDSET_ENDPOINTS_CHANGED);
    // Until the main thread follows, the fader whose endpoint left reads 0.
    EXPECT_EQ(HandsetMicrophone().GetFaderLevel(), 0);
    FollowHandsetEndpoints();
    EXPECT_FALSE(UsingHandsetEndpoints());
    EXPECT_TRUE(HandsetEndpointNames(false).empty());

    // After removal, changes are not followed.
    CloseHandsetAudio();
    FollowHandsetEndpoints();
    EXPECT_FALSE(g_MicVolume.IsOpen());
}

}  // namespace
