// End to end: the real Voxlink.exe with its libraries and font tables, the
// Skype client simulator and the virtual handset. Each test starts all three
// afresh and checks the texts Skype receives, the reports the handset
// receives and what the handset's display shows.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "E2EHarness.h"

namespace {

using namespace voxtest;

// 王小明
const std::vector<unsigned> kWangXiaoming = {0x738B, 0x5C0F, 0x660E};

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

class E2E : public ::testing::Test {
protected:
    void Boot(const std::string& extraSetup = "") {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        rig = std::make_unique<VoxlinkRig>(name);
        std::string failure;
        ASSERT_TRUE(rig->Boot(extraSetup, &failure))
            << failure << "\n"
            << rig->sim.TranscriptText() << Joined(rig->handset->Transcript());
    }

    // A stuck test ends the whole run quickly, saying which one it was,
    // instead of waiting for the test driver's time limit.
    void SetUp() override {
        watchdog = std::thread([this] {
            std::unique_lock<std::mutex> lock(watchdogLock);
            if (!watchdogWake.wait_for(lock, std::chrono::seconds(90), [this] { return done; })) {
                std::fprintf(stderr, "%s: stuck for 90 s, ending the run\n",
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
                std::fflush(nullptr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        });
    }

    void TearDown() override {
        if (rig && HasFailure()) {
            std::printf("--- Skype transcript\n%s--- handset display\n%s\n",
                        rig->sim.TranscriptText().c_str(), rig->handset->DisplayText().c_str());
            // Every report both ways, beside the program's own trace.
            const std::string path = rig->program->logPath + ".handset.txt";
            if (FILE* out = std::fopen(path.c_str(), "w")) {
                for (const std::string& line : rig->handset->Transcript()) {
                    std::fprintf(out, "%s\n", line.c_str());
                }
                std::fclose(out);
            }
            std::printf("--- handset transcript: %s; Voxlink's trace: %s\n", path.c_str(),
                        rig->program->logPath.c_str());
        }
        rig.reset();
        {
            std::lock_guard<std::mutex> lock(watchdogLock);
            done = true;
        }
        watchdogWake.notify_all();
        watchdog.join();
    }

    // Rings from a contact; returns once the ring commands and the caller's
    // name transfer have reached the handset.
    void Ring(const std::string& handle) {
        const std::size_t outputs = rig->OutputCount();
        const int transfers = rig->handset->State().transfers;
        std::string error;
        ASSERT_TRUE(rig->sim.Inject("ring from " + handle, &error)) << error;
        const int stop = rig->WaitForHandsetCommand(0x1A, outputs, 5000);
        ASSERT_GE(stop, 0);
        EXPECT_GE(rig->WaitForHandsetCommand(0x9E, stop + 1, 5000), 0);
        ASSERT_TRUE(rig->handset->WaitForTransfers(transfers + 1, 10000));
    }

    // Steps through the list being browsed, forward and then back, showing
    // each entry with the list key, until shown() holds.
    bool BrowseUntil(const std::function<bool()>& shown, int steps = 5) {
        for (std::uint8_t key : {0x62, 0x61}) {
            for (int i = 0; i < steps; ++i) {
                if (!rig->Press(key) || !rig->PressForTransfer(0x6C)) {
                    return false;
                }
                if (shown()) {
                    return true;
                }
            }
        }
        return false;
    }

    // The name line without the blanks after it.
    std::string ShownName() const {
        std::string name = rig->handset->Screen().NameText();
        name.erase(name.find_last_not_of(' ') + 1);
        return name;
    }

    std::unique_ptr<VoxlinkRig> rig;
    std::thread watchdog;
    std::mutex watchdogLock;
    std::condition_variable watchdogWake;
    bool done = false;
};

TEST_F(E2E, AttachLoadsListsAndStartsTheHandsetLink) {
    Boot();
    const std::vector<std::string> commands = rig->Commands();
    ASSERT_GE(commands.size(), 2u) << Joined(commands);
    EXPECT_EQ(commands[0] == "FOCUS" ? commands[1] : commands[0], "PROTOCOL 5");
    // The audio-device requests run on a worker of their own, so they may
    // interleave with the rest; their order among themselves is fixed. Wine
    // has no handset sound device, so the three SET commands naming it are
    // left out.
    std::vector<int> audio;
    for (const char* prefix : {"GET AUDIO_IN", "GET AUDIO_OUT"}) {
        int found = -1;
        for (std::size_t i = 0; i < commands.size() && found < 0; ++i) {
            if (commands[i].rfind(prefix, 0) == 0) {
                found = static_cast<int>(i);
            }
        }
        EXPECT_GE(found, 0) << prefix;
        audio.push_back(found);
    }
    EXPECT_TRUE(std::is_sorted(audio.begin(), audio.end()));
    // The queued commands keep their order; FOCUS goes straight to Skype
    // before SEARCH FRIENDS is queued.
    const int protocol = rig->CommandIndex("PROTOCOL 5");
    const int userStatus = rig->CommandIndex("GET USERSTATUS");
    const int focus = rig->CommandIndex("FOCUS");
    const int friends = rig->CommandIndex("SEARCH FRIENDS");
    const int calls = rig->CommandIndex("SEARCH CALLS");
    EXPECT_GT(userStatus, protocol);
    EXPECT_GT(friends, userStatus);
    EXPECT_GE(focus, 0);
    EXPECT_GT(friends, focus);
    EXPECT_GT(calls, friends);
    EXPECT_GE(rig->CommandIndex("NAME Voxlink"), 0);
    // Each contact's display name and each listed call's details are asked for.
    for (const char* handle : {"alice.andersen", "wang.xiaoming", "bob.brown", "long.name"}) {
        EXPECT_GE(rig->CommandIndex(std::string("GET USER ") + handle + " DISPLAYNAME"), 0)
            << handle;
    }
    for (const char* id : {"201", "202"}) {
        EXPECT_GE(rig->CommandIndex(std::string("GET CALL ") + id + " SEEN"), 0) << id;
    }

    // The handset: link start 0x51 then 0x06, answered with 0x80; the program
    // handles the answer (codec register 0x0E) and shows the missed calls.
    const int linkStart = rig->WaitForHandsetCommand(0x51, 0, 0);
    ASSERT_GE(linkStart, 0);
    EXPECT_EQ(rig->handset->Outputs()[linkStart + 1].bytes[3], 0x06);
    EXPECT_EQ(rig->handset->State().linkStarts, 1);
    EXPECT_EQ(rig->handset->State().registers.at(0x0E), std::make_pair(0x80, 0x08));
    EXPECT_TRUE(rig->handset->WaitForDisplay("No Missed Calls.", 3000))
        << rig->handset->DisplayText();
}

TEST_F(E2E, IncomingCallWithAChineseNameAnsweredAndHungUp) {
    Boot();
    Ring("wang.xiaoming");
    EXPECT_TRUE(rig->handset->State().ringing);
    EXPECT_TRUE(rig->WaitForText("GET CALL 301 PARTNER_DISPNAME", 3000));
    ASSERT_TRUE(NameShowsGlyphs(rig->handset->Screen(), kWangXiaoming))
        << rig->handset->DisplayText() << rig->handset->DisplayArt();

    // Hook up answers the ringing call.
    const std::size_t outputs = rig->OutputCount();
    ASSERT_TRUE(rig->Press(0x1F));
    EXPECT_TRUE(rig->WaitForText("SET CALL   301 STATUS INPROGRESS", 3000));
    EXPECT_GE(rig->WaitForHandsetCommand(0x1F, outputs, 5000), 0);
    EXPECT_TRUE(PumpUntil([&] { return rig->handset->State().callActive; }, 3000));
    // Skype counts the call's seconds while it lasts.
    EXPECT_TRUE(PumpUntil(
        [&] { return rig->sim.TranscriptText().find("CALL 301 DURATION 2") != std::string::npos; },
        4000));

    // Hook down ends it; the handset hears 0x20, and the program fetches the
    // call's details for its history.
    const std::size_t beforeHangUp = rig->OutputCount();
    ASSERT_TRUE(rig->Press(0x20));
    EXPECT_GE(rig->WaitForHandsetCommand(0x20, beforeHangUp, 5000), 0);
    EXPECT_TRUE(rig->WaitForText("GET CALL 301 TIMESTAMP", 5000));
    EXPECT_FALSE(rig->handset->State().callActive);
    // The call's length goes to the display when it has ended.
    EXPECT_TRUE(PumpUntil([&] { return !rig->handset->Screen().timer.empty(); }, 4000))
        << rig->handset->DisplayText();
    std::printf("after the call:\n%s", rig->handset->DisplayText().c_str());

    // The call is in the handset's call list of received calls.
    ASSERT_TRUE(rig->Press(0x6E));
    EXPECT_TRUE(BrowseUntil([&] { return NameShowsGlyphs(rig->handset->Screen(), kWangXiaoming); }))
        << rig->handset->DisplayText();
}

TEST_F(E2E, MissedCallShowsOnTheHandsetAndInTheMissedCallsView) {
    Boot();
    Ring("alice.andersen");
    std::string error;
    ASSERT_TRUE(rig->sim.Inject("caller gives up", &error)) << error;
    EXPECT_TRUE(rig->handset->WaitForDisplay("1 Missed Calls", 8000))
        << rig->handset->DisplayText();
    EXPECT_FALSE(rig->handset->State().ringing);

    // The call list, its missed-calls view, the list key: Alice's call.
    ASSERT_TRUE(rig->Press(0x6E));
    ASSERT_TRUE(rig->Press(0x6D));
    EXPECT_TRUE(rig->WaitForText("GET CALL 301 DURATION", 3000));
    ASSERT_TRUE(rig->PressForTransfer(0x6C));
    EXPECT_TRUE(rig->handset->WaitForDisplay("Alice Andersen", 3000))
        << rig->handset->DisplayText();
}

TEST_F(E2E, OutgoingCallsFromTheContactListAndTheCallHistory) {
    Boot();
    // Browse the contacts until Bob Brown is shown, then the send key dials him.
    ASSERT_TRUE(rig->Press(0x60));
    ASSERT_TRUE(BrowseUntil([&] { return ShownName() == "Bob Brown"; }))
        << rig->handset->DisplayText();
    ASSERT_TRUE(rig->Press(0x31));
    EXPECT_TRUE(rig->WaitForText("CALL bob.brown", 3000));
    // Bob answers: the handset gets the call, then hangs up.
    EXPECT_TRUE(PumpUntil([&] { return rig->handset->State().callActive; }, 5000));
    std::size_t from = rig->CommandCount();
    ASSERT_TRUE(rig->Press(0x20));
    EXPECT_TRUE(rig->WaitForText("GET CALL 301 TIMESTAMP", 5000, from));
    EXPECT_TRUE(PumpUntil([&] { return !rig->handset->State().callActive; }, 3000));
    // The call's length on the display ends the call's transfers.
    EXPECT_TRUE(PumpUntil([&] { return !rig->handset->Screen().timer.empty(); }, 4000));

    // From the history: the list of dialled calls, an entry for Bob.
    ASSERT_TRUE(rig->Press(0x6E));
    ASSERT_TRUE(rig->Press(0x6B));
    ASSERT_TRUE(BrowseUntil([&] { return ShownName() == "Bob Brown"; }))
        << rig->handset->DisplayText();
    from = rig->CommandCount();
    ASSERT_TRUE(rig->Press(0x31));
    EXPECT_TRUE(rig->WaitForText("CALL bob.brown", 3000, from));
    EXPECT_TRUE(PumpUntil([&] { return rig->handset->State().callActive; }, 5000));
    ASSERT_TRUE(rig->Press(0x20));
}

TEST_F(E2E, WaitingCallAnsweredAfterHoldAndAThirdCallRefused) {
    Boot();
    Ring("alice.andersen");
    ASSERT_TRUE(rig->Press(0x1F));
    ASSERT_TRUE(rig->WaitForText("SET CALL   301 STATUS INPROGRESS", 3000));
    ASSERT_TRUE(PumpUntil([&] { return rig->handset->State().callActive; }, 3000));

    // A waiting call announces itself with early media while the first is
    // in progress: the handset rings again.
    std::string error;
    std::size_t outputs = rig->OutputCount();
    ASSERT_TRUE(rig->sim.Inject("notify CALL 350 STATUS EARLYMEDIA", &error)) << error;
    EXPECT_GE(rig->WaitForHandsetCommand(0x9E, outputs, 5000), 0);
    EXPECT_TRUE(rig->WaitForText("GET CALL 350 PARTNER_DISPNAME", 5000));
    // The send key puts the first on hold, then answers the waiting one.
    std::size_t from = rig->CommandCount();
    ASSERT_TRUE(rig->Press(0x31));
    ASSERT_TRUE(rig->WaitForText("SET CALL   350 STATUS INPROGRESS", 3000, from));
    const int hold = rig->CommandIndex("SET CALL   301 STATUS ONHOLD", from);
    EXPECT_GE(hold, 0);
    EXPECT_LT(hold, rig->CommandIndex("SET CALL   350 STATUS INPROGRESS", from));

    // Another call ringing while two are taken is refused at once.
    from = rig->CommandCount();
    ASSERT_TRUE(rig->sim.Inject("ring from bob.brown", &error)) << error;
    EXPECT_TRUE(rig->WaitForText("SET CALL   302 STATUS FINISHED", 5000, from));
    rig->Press(0x20);
}

TEST_F(E2E, HeldWaitingCallThatEndsLeavesTheNextCallRinging) {
    Boot();
    Ring("alice.andersen");
    ASSERT_TRUE(rig->Press(0x1F));
    ASSERT_TRUE(PumpUntil([&] { return rig->handset->State().callActive; }, 3000));
    std::string error;
    ASSERT_TRUE(rig->sim.Inject("ring from bob.brown waiting", &error)) << error;
    ASSERT_TRUE(rig->WaitForText("GET CALL 302 PARTNER_DISPNAME", 5000));
    // The send key holds Alice and takes Bob; pressed again, it resumes Alice,
    // and Skype holds Bob.
    std::size_t from = rig->CommandCount();
    ASSERT_TRUE(rig->Press(0x31));
    ASSERT_TRUE(rig->WaitForText("SET CALL   302 STATUS INPROGRESS", 3000, from));
    ASSERT_TRUE(PumpUntil(
        [&] {
            return rig->sim.TranscriptText().find("CALL 301 STATUS LOCALHOLD") != std::string::npos;
        },
        3000));
    from = rig->CommandCount();
    ASSERT_TRUE(rig->Press(0x31));
    ASSERT_TRUE(rig->WaitForText("SET CALL   301 STATUS INPROGRESS", 3000, from));
    ASSERT_TRUE(PumpUntil(
        [&] {
            return rig->sim.TranscriptText().find("CALL 302 STATUS LOCALHOLD") != std::string::npos;
        },
        3000));
    // Bob hangs up while held; then Alice's call ends from the handset.
    ASSERT_TRUE(rig->sim.Inject("partner hangs up call 302", &error)) << error;
    EXPECT_TRUE(rig->WaitForText("GET CALL 302 TIMESTAMP", 5000));
    ASSERT_TRUE(rig->Press(0x20));
    ASSERT_TRUE(rig->WaitForText("GET CALL 301 TIMESTAMP", 5000));
    ASSERT_TRUE(PumpUntil([&] { return !rig->handset->Screen().timer.empty(); }, 4000));

    // The next call rings, and is not refused.
    from = rig->CommandCount();
    Ring("wang.xiaoming");
    EXPECT_TRUE(rig->WaitForText("GET CALL 303 PARTNER_DISPNAME", 3000, from));
    EXPECT_LT(rig->CommandIndex("SET CALL   303 STATUS FINISHED", from), 0);
}

TEST_F(E2E, DtmfMuteUserStatusAndBalanceKeys) {
    Boot();
    Ring("alice.andersen");
    ASSERT_TRUE(rig->Press(0x1F));
    ASSERT_TRUE(rig->WaitForText("SET CALL   301 STATUS INPROGRESS", 3000));
    ASSERT_TRUE(PumpUntil([&] { return rig->handset->State().callActive; }, 3000));

    // Digits during the call: DTMF, then the released key.
    struct Digit {
        std::uint8_t code;
        const char* dtmf;
        const char* released;
    };
    for (const Digit& d : {Digit{0xB5, "SET CALL 301 DTMF 5", "BTN_RELEASED 5"},
                           Digit{0xBA, "SET CALL 301 DTMF *", "BTN_RELEASED *"},
                           Digit{0xBB, "SET CALL 301 DTMF #", "BTN_RELEASED #"}}) {
        const std::size_t from = rig->CommandCount();
        ASSERT_TRUE(rig->Press(d.code));
        EXPECT_TRUE(rig->WaitForText(d.dtmf, 3000, from)) << d.dtmf;
        EXPECT_TRUE(rig->WaitForText(d.released, 3000, from)) << d.released;
    }

    // Mute on and off: Skype's MUTE notification reaches the handset.
    std::size_t from = rig->CommandCount();
    ASSERT_TRUE(rig->Press(0x2F));
    EXPECT_TRUE(rig->WaitForText("SET MUTE ON", 3000, from));
    EXPECT_TRUE(PumpUntil([&] { return rig->handset->State().muted; }, 3000));
    from = rig->CommandCount();
    ASSERT_TRUE(rig->Press(0x2E));
    EXPECT_TRUE(rig->WaitForText("SET MUTE OFF", 3000, from));
    EXPECT_TRUE(PumpUntil([&] { return !rig->handset->State().muted; }, 3000));
    ASSERT_TRUE(rig->Press(0x20));
    EXPECT_TRUE(PumpUntil([&] { return !rig->handset->State().callActive; }, 3000));
    EXPECT_TRUE(PumpUntil([&] { return !rig->handset->Screen().timer.empty(); }, 4000));

    // The balance key shows the SkypeOut balance.
    ASSERT_TRUE(rig->PressForTransfer(0x2B));
    EXPECT_TRUE(rig->handset->WaitForDisplay("12.50", 3000)) << rig->handset->DisplayText();

    // Each user-status key sets Skype's status.
    const char* const statuses[] = {"DND",  "ONLINE", "OFFLINE",  "SKYPEME",
                                    "AWAY", "NA",     "INVISIBLE"};
    for (int i = 0; i < 7; ++i) {
        from = rig->CommandCount();
        ASSERT_TRUE(rig->Press(static_cast<std::uint8_t>(0x72 + i)));
        EXPECT_TRUE(rig->WaitForText(std::string("SET USERSTATUS ") + statuses[i], 3000, from))
            << statuses[i];
    }
    from = rig->CommandCount();
    ASSERT_TRUE(rig->Press(0x73));
    ASSERT_TRUE(rig->WaitForText("SET USERSTATUS ONLINE", 3000, from));
    // Skype's USERSTATUS notification comes back to the handset as its status command.
    EXPECT_TRUE(PumpUntil([&] { return rig->handset->State().userStatusCommand == 0x73; }, 3000));
}

TEST_F(E2E, UnplugDuringATransferThenPlugBackIn) {
    Boot();
    // A sixteen-glyph name takes a while to send; unplug in the middle of it.
    const std::size_t outputs = rig->OutputCount();
    std::string error;
    ASSERT_TRUE(rig->sim.Inject("ring from long.name", &error)) << error;
    ASSERT_TRUE(rig->WaitForText("GET CALL 301 PARTNER_DISPNAME", 5000));
    ASSERT_TRUE(rig->handset->WaitForOutputs(outputs + 120, 10000));
    const int transfers = rig->handset->State().transfers;
    std::size_t from = rig->CommandCount();
    rig->handset->Unplug();
    EXPECT_EQ(rig->handset->State().transfers, transfers);
    // The program gives Skype its default devices back and lets it go.
    EXPECT_TRUE(rig->WaitForText("SET AUDIO_IN", 5000, from));
    EXPECT_TRUE(rig->WaitForText("SET AUDIO_OUT", 3000, from));
    EXPECT_TRUE(rig->WaitForText("SET RINGER", 3000, from));
    ASSERT_TRUE(rig->sim.Inject("caller gives up", &error)) << error;
    EXPECT_EQ(rig->program->WaitForExit(500), -1);

    // Plugged back in: attached again, lists reloaded, link started again.
    from = rig->CommandCount();
    const int links = rig->handset->State().linkStarts;
    ASSERT_TRUE(rig->handset->Plug());
    EXPECT_TRUE(rig->WaitForText("PROTOCOL 5", 5000, from));
    EXPECT_TRUE(rig->WaitForText("SEARCH CALLS", 5000, from));
    EXPECT_TRUE(PumpUntil([&] { return rig->handset->State().linkStarts > links; }, 8000));
    EXPECT_TRUE(rig->handset->WaitForDisplay("1 Missed Calls", 8000))
        << rig->handset->DisplayText();
}

TEST_F(E2E, SkypeQuitsAndComesBack) {
    Boot();
    rig->sim.Stop();
    // A key while Skype is gone: the program looks for it again.
    rig->Press(0x73);
    skypesim::SkypeSim again;
    std::string error;
    ASSERT_TRUE(again.LoadScenario(kBaseScenario, &error)) << error;
    ASSERT_TRUE(again.ApplySetupLine("attach later 300", &error)) << error;
    ASSERT_TRUE(again.Start(&error)) << error;
    // The simulator announces the API as available (0x8001): a new discover
    // and the whole attach sequence.
    std::string got;
    EXPECT_TRUE(again.WaitForCommand("PROTOCOL 5", 8000, &got)) << again.TranscriptText();
    EXPECT_TRUE(again.WaitForCommand("SEARCH CALLS", 5000, &got)) << again.TranscriptText();
    ASSERT_TRUE(again.Inject("ring from alice.andersen", &error)) << error;
    EXPECT_TRUE(again.WaitForCommand("GET CALL 301 PARTNER_DISPNAME", 5000, &got))
        << again.TranscriptText();
    ASSERT_TRUE(again.Inject("caller gives up", &error)) << error;
    rig->program->Exit();
    EXPECT_EQ(rig->program->WaitForExit(10000), 0);
    again.Stop();
}

TEST_F(E2E, SuspendAndResumeReattach) {
    Boot();
    HWND main = rig->program->Window();
    ASSERT_NE(main, nullptr);
    const int links = rig->handset->State().linkStarts;
    const std::size_t from = rig->CommandCount();
    PostMessageA(main, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    PumpFor(300);
    PostMessageA(main, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_TRUE(rig->WaitForText("PROTOCOL 5", 5000, from));
    EXPECT_TRUE(rig->WaitForText("SEARCH CALLS", 5000, from));
    // The handset stayed active across the suspend: no new link start.
    PumpFor(500);
    EXPECT_EQ(rig->handset->State().linkStarts, links);
    // Calls work as before.
    Ring("wang.xiaoming");
    ASSERT_TRUE(rig->Press(0x1F));
    EXPECT_TRUE(rig->WaitForText("SET CALL   301 STATUS INPROGRESS", 3000));
    rig->Press(0x20);
}

// Skype's confirmation window is noticed through window events, not a
// timer: each time it appears the handset hears of it once, promptly.
TEST_F(E2E, SkypeConfirmationWindowIsAnnouncedEachTimeItAppears) {
    Boot();
    std::string error;
    for (int appearance = 1; appearance <= 2; ++appearance) {
        ASSERT_TRUE(rig->sim.Inject("show confirmation dialog", &error)) << error;
        EXPECT_TRUE(PumpUntil([&] { return rig->handset->State().lastCommand == 0x9F; }, 1000))
            << appearance;
        ASSERT_TRUE(rig->sim.Inject("close dialogs", &error)) << error;
        // Skype's answer to a status key brings the handset another command.
        ASSERT_TRUE(rig->Press(0x73));
        ASSERT_TRUE(PumpUntil([&] { return rig->handset->State().lastCommand != 0x9F; }, 3000));
    }
}

TEST_F(E2E, ExitFromTheTrayCommandReleasesSkypeAndTheHandset) {
    Boot();
    const std::size_t from = rig->CommandCount();
    rig->program->Exit();  // the tray menu's Exit command (40001)
    EXPECT_EQ(rig->program->WaitForExit(10000), 0);
    EXPECT_TRUE(rig->WaitForText("SET AUDIO_IN", 0, from));
    EXPECT_TRUE(rig->WaitForText("SET AUDIO_OUT", 0, from));
    EXPECT_TRUE(rig->WaitForText("SET RINGER", 0, from));
    EXPECT_TRUE(rig->handset->State().shutdown);
    EXPECT_EQ(rig->sim.attachedCount(), 0);
}

}  // namespace
