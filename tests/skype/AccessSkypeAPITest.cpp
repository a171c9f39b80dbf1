// The Skype link's queues, threads and queue-API requests, against recording
// fakes of everything it talks to.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AccessSkypeAPI.h"
#include "LinkFakes.h"
#include "Pause.h"
#include "SkypeWindowClasses.h"

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

class SkypeLinkTest : public ::testing::Test {
protected:
    SkypeLinkTest()
        : wire(log),
          calls(log),
          users(log),
          handset(log),
          audio(log),
          shell(log),
          trace(log),
          font(log) {
        ports.wire = &wire;
        ports.windows = &windows;
        ports.calls = &calls;
        ports.users = &users;
        ports.handset = &handset;
        ports.audio = &audio;
        ports.shell = &shell;
        ports.profile = &profile;
        ports.trace = &trace;
        RecordingPause::log = &log;
        RecordingPause::sleeps = false;
        previousPause = SetPauseFunction(&RecordingPause::Pause);
    }
    ~SkypeLinkTest() override {
        link.reset();
        SetPauseFunction(previousPause);
        RecordingPause::log = nullptr;
    }

    CAccessSkypeAPI& Link() {
        if (!link) {
            link = std::make_unique<CAccessSkypeAPI>(ports);
        }
        return *link;
    }

    // Runs a request on a worker, as the shell does.
    void Request(int request) { Link().StartQueueAPIThread(request); }

    EventLog log;
    FakeWire wire;
    FakeWindows windows;
    FakeCallStore calls;
    FakeUserStore users;
    FakeHandset handset;
    FakeAudio audio;
    FakeShell shell;
    FakeTrace trace;
    FakeProfile profile;
    FakeFont font;
    SkypeLinkPorts ports;
    PauseFunction previousPause = nullptr;
    std::unique_ptr<CAccessSkypeAPI> link;
};

// --- command queue -----------------------------------------------------------

TEST_F(SkypeLinkTest, CommandsFromThreeThreadsReachSkypeInQueueOrder) {
    // Hold the command thread on its first text, so that the three threads'
    // texts pile up behind it in a known order.
    wire.sendGate.Close();
    Link().AddToMessageOutQueue("FIRST");
    ASSERT_TRUE(log.WaitFor("send:", 1));

    Texts expected = {"FIRST"};
    for (int round = 0; round < 5; ++round) {
        for (int t = 0; t < 3; ++t) {
            const std::string text = "T" + std::to_string(t) + " " + std::to_string(round);
            std::thread([&, text] { Link().AddToMessageOutQueue(text.c_str()); }).join();
            expected.push_back(text);
        }
    }
    wire.sendGate.Open();
    ASSERT_TRUE(log.WaitFor("send:", expected.size()));
    EXPECT_EQ(log.With("send:"), expected);
}

TEST_F(SkypeLinkTest, EachThreadsCommandsKeepTheirOrderUnderContention) {
    constexpr int kPerThread = 200;
    Link();
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const std::string text = std::to_string(t) + ":" + std::to_string(i);
                Link().AddToMessageOutQueue(text.c_str());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    ASSERT_TRUE(log.WaitFor("send:", 3 * kPerThread));
    std::this_thread::sleep_for(20ms);
    const Texts sent = log.With("send:");
    ASSERT_EQ(sent.size(), 3u * kPerThread) << "a command was lost or sent twice";
    int next[3] = {0, 0, 0};
    for (const std::string& text : sent) {
        const int t = text[0] - '0';
        EXPECT_EQ(text, std::to_string(t) + ":" + std::to_string(next[t]));
        ++next[t];
    }
    // Every text went out on the command thread, never on a caller's.
    for (const Event& e : log.Events()) {
        for (const auto& thread : threads) {
            EXPECT_NE(e.thread, thread.get_id());
        }
    }
}

TEST_F(SkypeLinkTest, EmptyTextStopsTheCommandThreadAndTheRestWaitForTheNextCommand) {
    wire.sendGate.Close();
    Link().AddToMessageOutQueue("A");
    ASSERT_TRUE(log.WaitFor("send:", 1));
    Link().AddToMessageOutQueue("");
    Link().AddToMessageOutQueue("B");
    wire.sendGate.Open();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.With("send:"), (Texts{"A"}));

    Link().AddToMessageOutQueue("C");
    ASSERT_TRUE(log.WaitFor("send:", 3));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.With("send:"), (Texts{"A", "B", "C"}));
}

TEST_F(SkypeLinkTest, RefusedTextIsDroppedAndTheRestAreSentWithTheNextCommand) {
    wire.Refuse("NOT TAKEN");
    wire.sendGate.Close();
    Link().AddToMessageOutQueue("A");
    ASSERT_TRUE(log.WaitFor("send:", 1));
    Link().AddToMessageOutQueue("NOT TAKEN");
    Link().AddToMessageOutQueue("B");
    wire.sendGate.Open();
    ASSERT_TRUE(log.WaitFor("trace:1. Send command is failed....\n", 1));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.With("send:"), (Texts{"A", "NOT TAKEN"}));

    Link().AddToMessageOutQueue("C");
    ASSERT_TRUE(log.WaitFor("send:", 4));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.With("send:"), (Texts{"A", "NOT TAKEN", "B", "C"}));
}

TEST_F(SkypeLinkTest, CommandThreadEndedByAnExceptionKeepsTheQueueAndRestarts) {
    wire.ThrowOn("BOOM");
    wire.sendGate.Close();
    Link().AddToMessageOutQueue("A");
    ASSERT_TRUE(log.WaitFor("send:", 1));
    Link().AddToMessageOutQueue("BOOM");
    Link().AddToMessageOutQueue("B");
    wire.sendGate.Open();
    ASSERT_TRUE(log.WaitFor("send:", 2));
    std::this_thread::sleep_for(50ms);

    Link().AddToMessageOutQueue("C");
    ASSERT_TRUE(log.WaitFor("send:", 4)) << "the command queue was stranded";
    EXPECT_EQ(log.With("send:"), (Texts{"A", "BOOM", "B", "C"}));
}

TEST_F(SkypeLinkTest, SentCommandsAreTraced) {
    Link().AddToMessageOutQueue("PING");
    ASSERT_TRUE(log.WaitFor("trace:PC -> SKYPE: ", 1));
    EXPECT_EQ(log.With("trace:PC -> SKYPE: "), (Texts{"PING\n"}));
}

// --- queue-API requests --------------------------------------------------------

TEST_F(SkypeLinkTest, DiscoverRequestBroadcastsNamingTheMainWindow) {
    Request(QAPI_DISCOVER);
    ASSERT_TRUE(log.WaitFor("broadcast:", 1));
    EXPECT_EQ(log.With("broadcast:"), (Texts{"main"}));
}

TEST_F(SkypeLinkTest, AttachedRequestRunsItsExchangeAndStartsTheDeviceRequestOnItsOwnWorker) {
    Link().SetFontProcess(&font);
    Request(QAPI_ATTACHED);
    ASSERT_TRUE(log.WaitFor("handset.keysEnabled:", 1));
    ASSERT_TRUE(log.WaitFor("send:", 9));
    std::this_thread::sleep_for(20ms);

    // Request 2's own steps, in this order; its commands in queue order
    // (the one command thread sends in the order they were queued).
    const Texts own = {"audio.SetPreferredAudioDevices",
                       "calls.ClearCalls",
                       "users.ClearUsers",
                       "handset.key:0x53",
                       "handset.linkOpen:0",
                       "handset.keysEnabled:1"};
    const Texts ownCommands = {"PROTOCOL 5", "GET USERSTATUS", "SEARCH FRIENDS", "SEARCH CALLS"};
    const Texts device = {"SET AUDIO_IN USB Audio Device ", "SET AUDIO_OUT USB Audio Device ",
                          "SET RINGER USB Audio Device ", "GET AUDIO_IN", "GET AUDIO_OUT"};
    Texts ownSeen;
    Texts ownCommandsSeen;
    Texts deviceSeen;
    for (const Event& e : log.Events()) {
        if (std::find(own.begin(), own.end(), e.what) != own.end()) {
            ownSeen.push_back(e.what);
        }
    }
    const Texts sent = log.With("send:");
    for (const std::string& text : sent) {
        if (std::find(ownCommands.begin(), ownCommands.end(), text) != ownCommands.end()) {
            ownCommandsSeen.push_back(text);
        }
        if (std::find(device.begin(), device.end(), text) != device.end()) {
            deviceSeen.push_back(text);
        }
    }
    EXPECT_EQ(ownSeen, own);
    EXPECT_EQ(ownCommandsSeen, ownCommands);
    EXPECT_EQ(deviceSeen, device);
    ASSERT_EQ(sent.size(), ownCommands.size() + device.size()) << "a command too many";
    // The first two were queued before the device request started.
    EXPECT_EQ(sent[0], "PROTOCOL 5");
    EXPECT_EQ(sent[1], "GET USERSTATUS");
    // The device commands were queued after the Sound Mapper step, not before.
    EXPECT_LT(log.IndexOf("audio.SetPreferredAudioDevices"),
              log.IndexOf("send:SET AUDIO_IN USB Audio Device "));
}

TEST_F(SkypeLinkTest, DeviceRequestRunsOnAWorkerOtherThanTheAttachedOne) {
    // The device request is queued by its own worker: hold the attached
    // worker in its key step and the device commands still arrive.
    Gate holdAttached;
    holdAttached.Close();
    struct HoldingHandset : FakeHandset {
        HoldingHandset(EventLog& log, Gate& gate) : FakeHandset(log), gate(gate) {}
        int HandleKeyEvent(int code) override {
            FakeHandset::HandleKeyEvent(code);
            gate.Pass();
            return 1;
        }
        Gate& gate;
    } holding(log, holdAttached);
    ports.handset = &holding;
    Request(QAPI_ATTACHED);
    EXPECT_TRUE(log.WaitFor("send:GET AUDIO_OUT", 1));
    holdAttached.Open();
    ASSERT_TRUE(log.WaitFor("send:SEARCH CALLS", 1));
    link.reset();
}

TEST_F(SkypeLinkTest, DeviceCommandsWithoutADeviceNameAreNotSent) {
    audio.SetDeviceName("");
    Request(QAPI_SET_AUDIO_DEVICES);
    ASSERT_TRUE(log.WaitFor("send:GET AUDIO_OUT", 1));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.With("send:"), (Texts{"GET AUDIO_IN", "GET AUDIO_OUT"}));
}

TEST_F(SkypeLinkTest, ReleaseRequestResetsDevicesWaitsThenBroadcastsWithoutAWindowAndDetaches) {
    RecordingPause::sleeps = true;
    const auto start = std::chrono::steady_clock::now();
    Request(QAPI_RELEASE);
    ASSERT_TRUE(log.WaitFor("forget", 1));

    EXPECT_EQ(log.With("send:"), (Texts{"SET AUDIO_IN", "SET AUDIO_OUT", "SET RINGER"}));
    EXPECT_EQ(log.With("broadcast:"), (Texts{"0"}));
    EXPECT_EQ(log.With("pause:"), (Texts{"400"}));
    const int broadcast = log.IndexOf("broadcast:0");
    EXPECT_GT(broadcast, log.IndexOf("send:SET RINGER"));
    EXPECT_GT(broadcast, log.IndexOf("pause:400"));
    EXPECT_GT(log.IndexOf("forget"), broadcast);
    const auto events = log.Events();
    EXPECT_GE(events[static_cast<std::size_t>(broadcast)].time - start, 400ms);
}

TEST_F(SkypeLinkTest, EachWorkerCarriesOutTheRequestItWasStartedWith) {
    // Two threads start a request at nearly the same moment, round after round,
    // while earlier workers finish: no worker may run the other thread's
    // request, or none. The discoverer waits a little longer each round after
    // letting the releaser go, so that the two meet mid-request.
    constexpr int kRounds = 1000;
    Link();
    std::atomic<int> ready{0};
    std::atomic<int> go{0};
    std::atomic<int> pace{0};
    std::thread releaser([&] {
        for (int r = 1; r <= kRounds; ++r) {
            ready = r;
            for (int spins = 0; go.load() < r; ++spins) {
                if (spins > 10000) {
                    std::this_thread::yield();
                }
            }
            Request(QAPI_RELEASE);
        }
    });
    for (int r = 1; r <= kRounds; ++r) {
        while (ready.load() < r) {
            std::this_thread::yield();
        }
        go = r;
        for (int delay = r % 300; delay > 0; --delay) {
            pace.store(delay, std::memory_order_relaxed);
        }
        Request(QAPI_DISCOVER);
    }
    releaser.join();
    link.reset();  // waits for every worker
    EXPECT_EQ(log.With("broadcast:main").size(), static_cast<std::size_t>(kRounds));
    EXPECT_EQ(log.With("broadcast:0").size(), static_cast<std::size_t>(kRounds));
}

TEST_F(SkypeLinkTest, UnknownRequestDoesNothing) {
    Request(3);
    Request(-1);
    link.reset();
    for (const Event& e : log.Events()) {
        EXPECT_EQ(e.what.rfind("send:", 0), std::string::npos) << e.what;
        EXPECT_EQ(e.what.rfind("broadcast:", 0), std::string::npos) << e.what;
    }
}

// --- notification queue ---------------------------------------------------------

TEST_F(SkypeLinkTest, NotificationsAreTakenOneAtATimeInArrivalOrder) {
    const Texts texts = {"CONNSTATUS ONLINE", "CALL 12 STATUS RINGING", "USERSTATUS AWAY", "PONG"};
    for (const std::string& text : texts) {
        Link().AddToMessageInQueue(text.c_str());
    }
    ASSERT_TRUE(log.WaitFor("trace:Message from Skype: ", texts.size()));
    Texts seen;
    for (const std::string& line : log.With("trace:Message from Skype: ")) {
        seen.push_back(line.substr(0, line.size() - 1));
    }
    EXPECT_EQ(seen, texts);
    // The current call is read afresh for each notification, after it was taken.
    ASSERT_TRUE(log.WaitFor("calls.GetCurrentCallId", texts.size()));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.With("calls.GetCurrentCallId").size(), texts.size());
}

TEST_F(SkypeLinkTest, StoppedNotificationThreadRestartsOnAnEmptyQueueWithAFreshDiscovery) {
    calls.throwOnRead = true;  // the notification thread ends on its first text
    Link().AddToMessageInQueue("CALL 1 STATUS RINGING");
    ASSERT_TRUE(log.WaitFor("trace:Message from Skype: ", 1));
    std::this_thread::sleep_for(50ms);

    Link().AddToMessageInQueue("DISCARDED");
    ASSERT_TRUE(log.WaitFor("broadcast:main", 1));
    const Texts resets = {"calls.ResetCurrentCall", "calls.ResetSecondCall",
                          "calls.ResetCallBrowse", "users.ResetUserBrowse"};
    int last = -1;
    for (const std::string& reset : resets) {
        const int at = log.IndexOf(reset);
        EXPECT_GT(at, last) << reset;
        last = at;
    }
    EXPECT_GT(log.IndexOf("broadcast:main"), last);

    // The new thread takes the next notification; the one that restarted it was discarded.
    Link().AddToMessageInQueue("USERSTATUS ONLINE");
    ASSERT_TRUE(log.WaitFor("trace:Message from Skype: ", 2));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.With("trace:Message from Skype: "),
              (Texts{"CALL 1 STATUS RINGING\n", "USERSTATUS ONLINE\n"}));
}

// The window is looked for at the start and when the main thread's window
// events say so (and after notifications), never on a timer; each appearance
// is announced once.
TEST_F(SkypeLinkTest, ConfirmationWindowIsLookedForWhenToldAndAnnouncedOncePerAppearance) {
    windows.Show(kSkypeConfirmFormClass, true);
    Link();
    ASSERT_TRUE(log.WaitFor("handset.command:0x9F", 1));
    EXPECT_LT(log.IndexOf("handset.stopTransfer"), log.IndexOf("handset.command:0x9F"));

    windows.Show(kSkypeConfirmFormClass, false);
    std::this_thread::sleep_for(300ms);
    windows.Show(kSkypeConfirmFormClass, true);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(log.With("handset.command:").size(), 1u) << "looked for without being told";

    Link().LookForConfirmationWindow(true);  // created, then shown
    Link().LookForConfirmationWindow(false);
    ASSERT_TRUE(log.WaitFor("handset.command:0x9F", 2));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.With("handset.command:").size(), 2u);
}

TEST_F(SkypeLinkTest, ConfirmationWindowIsNotAnnouncedDuringACall) {
    calls.SetCurrentCallId(12);
    Link().AddToMessageInQueue("CALL 12 STATUS INPROGRESS");
    ASSERT_TRUE(log.WaitFor("calls.GetCurrentCallId", 1));
    windows.Show(kSkypeConfirmFormClass, true);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(log.With("handset.command:").empty());

    // Once a notification shows the call gone, the window is announced.
    calls.SetCurrentCallId(0);
    Link().AddToMessageInQueue("CALL 12 STATUS FINISHED");
    ASSERT_TRUE(log.WaitFor("handset.command:0x9F", 1));
}

// --- destruction ------------------------------------------------------------------

TEST_F(SkypeLinkTest, DestructionWithoutAWorkerDoesNotWait) {
    Link().AddToMessageOutQueue("PING");
    ASSERT_TRUE(log.WaitFor("send:", 1));
    const auto start = std::chrono::steady_clock::now();
    link.reset();
    // Only the thread joins count; a wait for a worker that never ran would not end.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

// A Skype that answers slowly still gets the texts queued before the end
// (the release commands at logoff).
TEST_F(SkypeLinkTest, DestructionWaitsForARunningWorkerAndSendsTheQueuedTexts) {
    wire.broadcastGate.Close();
    Request(QAPI_DISCOVER);
    wire.sendGate.Close();
    Link().AddToMessageOutQueue("SENDING");
    ASSERT_TRUE(log.WaitFor("send:", 1));
    Link().AddToMessageOutQueue("QUEUED");

    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        link.reset();
        destroyed = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(destroyed) << "the object went while its worker still ran";
    wire.broadcastGate.Open();
    wire.sendGate.Open();
    destroyer.join();
    EXPECT_EQ(log.With("send:"), (Texts{"SENDING", "QUEUED"}));
    EXPECT_EQ(log.With("broadcast:"), (Texts{"main"}));
}

TEST_F(SkypeLinkTest, WorkerFinishingDuringDestructionStillHasItsTextsSent) {
    // Hold the attached worker in its key step; release it once destruction
    // has begun. The destructor waits for it to finish, and its remaining
    // commands go out before the command thread stops.
    Gate holdAttached;
    holdAttached.Close();
    struct HoldingHandset : FakeHandset {
        HoldingHandset(EventLog& log, Gate& gate) : FakeHandset(log), gate(gate) {}
        int HandleKeyEvent(int code) override {
            FakeHandset::HandleKeyEvent(code);
            gate.Pass();
            return 1;
        }
        Gate& gate;
    } holding(log, holdAttached);
    ports.handset = &holding;
    Request(QAPI_ATTACHED);
    ASSERT_TRUE(log.WaitFor("handset.key:", 1));
    ASSERT_TRUE(log.WaitFor("send:GET AUDIO_OUT", 1));

    std::thread destroyer([&] { link.reset(); });
    std::this_thread::sleep_for(50ms);
    holdAttached.Open();
    destroyer.join();
    EXPECT_EQ(log.With("handset.keysEnabled:"), (Texts{"1"})) << "the worker did not finish";
    EXPECT_EQ(log.With("send:SEARCH "), (Texts{"FRIENDS", "CALLS"}));
}

// --- status, tray and configuration operations -------------------------------------

TEST_F(SkypeLinkTest, UserStatusCodesMapToHandsetCommands) {
    const unsigned int expected[] = {0x73, 0x74, 0x75, 0x76, 0x77, 0x72, 0x78, 0x74, 0x74};
    const int statuses[] = {0, 1, 2, 3, 4, 5, 6, 7, -1};
    for (int status : statuses) {
        Link().SendUserStatusToHandset(status);
    }
    Texts want;
    for (unsigned int code : expected) {
        want.push_back(Hex(code));
    }
    EXPECT_EQ(log.With("handset.command:"), want);
    int status = 99;
    Link().GetUserStatus(&status);
    EXPECT_EQ(status, -1) << "no status before Skype reported one";
}

TEST_F(SkypeLinkTest, TrayShowsDisconnectedUntilStatusIsKnownAndConnectedNeedsTheHandset) {
    profile.SetFile("C:\\Voxlink\\\\VoxlinkAPI.ini",
                    "[ICON]\nFileNoANY=none.ico\nFileActive=active.ico\n");
    Link().LoadConfiguration("C:\\Voxlink\\", nullptr);
    // Status -1 (unknown) is not "not on line": with the handset present, connected.
    Link().UpdateTrayState();
    handset.present = false;
    Link().UpdateTrayState();
    EXPECT_EQ(log.With("tray:"), (Texts{"Connected C:\\Voxlink\\\\active.ico",
                                        "Disconnected C:\\Voxlink\\\\none.ico"}));
}

TEST_F(SkypeLinkTest, ConfigurationOperationsHandOutTheFileSettings) {
    profile.SetFile("C:\\V\\\\VoxlinkAPI.ini",
                    "[SYSTEM]\nSupportAGC=1\nSupportSky=0\n[DEFAULT]\nReg04Value=20\n"
                    "[NAME]\nAPINAME=Phone\nCustomerINFO=A\\nB\n[ICON]\nFileNoHW=hw.ico\n"
                    "[RINGS]\nNUMOFRINGS=2\nRING_1=Bell\nRING_2=Chime\n");
    ConfigSwitches switches;
    EXPECT_EQ(Link().LoadConfiguration("C:\\V\\", &switches), 0);
    EXPECT_EQ(switches.supportAGC, 1);
    EXPECT_EQ(switches.supportSky, 0);
    EXPECT_EQ(switches.fontSupport, 1);
    int reg04 = 0;
    int reg1C = 0;
    Link().GetRegisterDefaults(&reg04, &reg1C);
    EXPECT_EQ(reg04, 20);
    EXPECT_EQ(reg1C, 8);

    char text[260];
    Link().GetWindowName(text, sizeof(text));
    EXPECT_STREQ(text, "Phone");
    EXPECT_EQ(Link().GetCustomerInfo(text, sizeof(text)), 0);
    EXPECT_STREQ(text, "A\r\nB");
    Link().GetFileNoHW(text, sizeof(text));
    EXPECT_STREQ(text, "C:\\V\\\\hw.ico");
    char small[4];
    Link().GetWindowName(small, sizeof(small));
    EXPECT_STREQ(small, "Pho") << "a small buffer gets the value cut, not overrun";

    Link().FillRingList(nullptr, 1011);
    EXPECT_EQ(log.With("combo."),
              (Texts{"insert:1011:0:Bell", "insert:1011:1:Chime", "select:1011:0"}));
}

TEST_F(SkypeLinkTest, EmptyCustomerInfoFailsAndCopiesNothing) {
    Link().LoadConfiguration("C:\\V\\", nullptr);
    char text[260] = "untouched";
    EXPECT_EQ(Link().GetCustomerInfo(text, sizeof(text)), static_cast<HsdStatus>(E_FAIL));
    EXPECT_STREQ(text, "untouched");
    Link().GetWindowName(text, sizeof(text));
    EXPECT_STREQ(text, "RezedIzeVovive");
}

}  // namespace
