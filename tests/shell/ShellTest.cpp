// The shell's behaviour against recording fakes: the start-up binding, the
// device re-check, suspend and resume, the main window's messages, the exit
// request and the shutdown.
#include <gtest/gtest.h>

#include <algorithm>

#include "CallStore.h"
#include "I_HsdHIDCtrl.h"
#include "Pause.h"
#include "Shell.h"
#include "ShellFakes.h"
#include "SkypeCommandCodes.h"
#include "UserStore.h"

namespace {

std::vector<unsigned int>* g_pauses = nullptr;
void RecordPause(unsigned int ms) {
    if (g_pauses != nullptr) {
        g_pauses->push_back(ms);
    }
}

constexpr unsigned int kAttachMsg = 0xC123;
void* const kSkypeWindow = reinterpret_cast<void*>(0x5000);
void* const kStranger = reinterpret_cast<void*>(0x6000);

class ShellTest : public ::testing::Test {
protected:
    ShellTest() : handset(j), fonts(j), platform(j), dialogs(j), shell(Ports()) {}

    ShellPorts Ports() {
        ShellPorts p;
        p.handset = &handset;
        p.fontLibrary = &fonts;
        p.platform = &platform;
        p.dialogs = &dialogs;
        return p;
    }

    void SetUp() override {
        g_pauses = &pauses;
        previousPause = SetPauseFunction(RecordPause);
        link = new FakeLink(j);
        link->configured.supportSky = 1;
        link->configured.supportARF = 1;
        g_pSkypeAPI = link;
        g_bDeviceCheckPending = 0;
        shell.SetAttachMessage(kAttachMsg);
        shell.SetProgramFolder("C:\\Voxlink\\");
        shell.LoadConfiguration();
    }

    void TearDown() override {
        delete g_pSkypeAPI.exchange(nullptr);
        delete g_pUserStore.exchange(nullptr);
        delete g_pCallStore.exchange(nullptr);
        g_pFontProcess = nullptr;
        SetPauseFunction(previousPause);
        g_pauses = nullptr;
    }

    // Started with the handset present or absent, journal cleared afterwards.
    void Start(bool plugged) {
        handset.plugged = plugged;
        ASSERT_TRUE(shell.StartupBinding());
        j.Clear();
    }

    std::intptr_t Send(unsigned int message, std::uintptr_t w, std::intptr_t l,
                       const char* text = nullptr, bool* handled = nullptr) {
        std::intptr_t result = -1;
        const bool h = shell.OnMessage(message, w, l, text, &result);
        if (handled != nullptr) {
            *handled = h;
        }
        return h ? result : -1;
    }

    Journal j;
    FakeHandset handset;
    FakeFontLibrary fonts;
    FakePlatform platform;
    FakeDialogs dialogs;
    CShell shell;
    FakeLink* link = nullptr;
    std::vector<unsigned int> pauses;
    PauseFunction previousPause = nullptr;
};

TEST_F(ShellTest, ConfigurationLandsInTheHandsetObject) {
    EXPECT_TRUE(j.InOrder({"load configuration C:\\Voxlink\\", "ApplyConfiguration sky=1 20 9"}));
    EXPECT_EQ(shell.Switches().supportSky, 1);
}

TEST_F(ShellTest, StartupWithHandsetBindsFontThenOpensHandsetAndDiscovers) {
    j.Clear();
    ASSERT_TRUE(shell.StartupBinding());
    EXPECT_TRUE(
        j.InOrder({"font bind", "font SetHIDCtrlInterface", "BindFontProcess",
                   "link SetFontProcess", "font SetSupportedARF 1", "ApplySupportedARF",
                   "ReopenHandset", "ConnectStores", "StartHandset main", "open mixers",
                   "InitialFontTable C:\\Voxlink\\", "UpdateTrayState", "request 1", "present 1"}))
        << j.Text();
    EXPECT_NE(g_pCallStore.load(), nullptr);
    EXPECT_NE(g_pUserStore.load(), nullptr);
    EXPECT_EQ(g_pFontProcess, &fonts.font);
    EXPECT_FALSE(j.Has("handsetActive 0"));
}

TEST_F(ShellTest, StartupWithoutHandsetMakesStoresButNoDiscover) {
    j.Clear();
    handset.plugged = false;
    ASSERT_TRUE(shell.StartupBinding());
    EXPECT_TRUE(j.InOrder({"ReopenHandset", "ConnectStores", "present 0", "handsetActive 0",
                           "InitialFontTable C:\\Voxlink\\", "UpdateTrayState"}))
        << j.Text();
    EXPECT_FALSE(j.Has("request 1"));
    EXPECT_FALSE(j.Has("StartHandset main"));
    EXPECT_FALSE(j.Has("open mixers"));
    EXPECT_NE(g_pCallStore.load(), nullptr);
    EXPECT_NE(g_pUserStore.load(), nullptr);
}

TEST_F(ShellTest, StartupEndsWhenFontLibraryOrFirstHandsetStartFails) {
    fonts.bindFails = true;
    EXPECT_FALSE(shell.StartupBinding());
    EXPECT_TRUE(j.Has("link deleted"));
    EXPECT_EQ(g_pSkypeAPI.load(), nullptr);
    EXPECT_FALSE(j.Has("ReopenHandset"));

    // Handset there but its reading does not start.
    j.Clear();
    fonts.bindFails = false;
    g_pSkypeAPI = new FakeLink(j);
    handset.startWorks = false;
    EXPECT_FALSE(shell.StartupBinding());
    EXPECT_TRUE(j.InOrder(
        {"StartHandset main", "StopHandsetReading", "ConnectStores none", "link deleted"}));
    EXPECT_EQ(g_pCallStore.load(), nullptr);
    EXPECT_EQ(g_pUserStore.load(), nullptr);
    EXPECT_FALSE(j.Has("request 1"));
}

TEST_F(ShellTest, DeviceChangeBurstArmsOneRecheck) {
    Start(false);
    bool handled = false;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Send(shellmsg::kDeviceChange, shellmsg::kDevNodesChanged, 0, nullptr, &handled),
                  1);
    }
    EXPECT_EQ(j.Count("set timer 600"), 1);
    EXPECT_EQ(g_bDeviceCheckPending, 1);
    // Other device-change events are the window's default.
    Send(shellmsg::kDeviceChange, 0x8000, 0, nullptr, &handled);
    EXPECT_FALSE(handled);
    // The timer fires: one re-check, and the next change arms again.
    handset.plugged = true;
    EXPECT_EQ(Send(shellmsg::kTimer, IDT_DEVICE_RECHECK, 0), 1);
    EXPECT_EQ(j.Count("ReopenHandset"), 1);
    EXPECT_EQ(g_bDeviceCheckPending, 0);
    Send(shellmsg::kDeviceChange, shellmsg::kDevNodesChanged, 0);
    EXPECT_EQ(j.Count("set timer 600"), 2);
    // Another timer id is not ours.
    Send(shellmsg::kTimer, 5, 0, nullptr, &handled);
    EXPECT_FALSE(handled);
}

TEST_F(ShellTest, RecheckArrivalRunsTheWholeArrivalBranch) {
    Start(false);
    handset.plugged = true;
    handset.autoRunSkype = 1;
    g_bDeviceCheckPending = 1;
    shell.RecheckHandset();
    EXPECT_TRUE(
        j.InOrder({"kill timer", "ReopenHandset", "StartHandset main", "open mixers",
                   "StartSkypeIfMissing 1", "request 1", "linkOpen 0", "modeFlags 0", "present 1"}))
        << j.Text();
    EXPECT_EQ(g_bDeviceCheckPending, 0);
    EXPECT_FALSE(j.Has("request 5"));

    // The settings dialog turned auto-start off meanwhile.
    j.Clear();
    handset.present = 0;
    handset.autoRunSkype = 0;
    shell.RecheckHandset();
    EXPECT_TRUE(j.Has("StartSkypeIfMissing 0"));
}

TEST_F(ShellTest, RecheckArrivalResetsBrowsingButKeepsTheCurrentCall) {
    Start(false);
    g_pCallStore.load()->SetCurrentCallId(42);
    handset.plugged = true;
    shell.RecheckHandset();
    int id = 0;
    g_pCallStore.load()->GetCurrentCallId(&id);
    EXPECT_EQ(id, 42);
}

TEST_F(ShellTest, RecheckWithHandsetStillThereChangesNothing) {
    Start(true);
    g_bDeviceCheckPending = 1;
    shell.RecheckHandset();
    EXPECT_TRUE(j.InOrder({"kill timer", "ReopenHandset", "StartHandset main", "present 1"}));
    EXPECT_FALSE(j.Has("request 1"));
    EXPECT_FALSE(j.Has("request 5"));
    EXPECT_FALSE(j.Has("open mixers"));
    EXPECT_FALSE(j.Has("StartSkypeIfMissing 1"));
    EXPECT_FALSE(j.Has("UpdateTrayState"));
    EXPECT_EQ(g_bDeviceCheckPending, 0);
}

TEST_F(ShellTest, RecheckRemovalReleasesSkypeStopsTransferThenClearsPresence) {
    Start(true);
    handset.plugged = false;
    g_bDeviceCheckPending = 1;
    pauses.clear();
    shell.RecheckHandset();
    EXPECT_TRUE(
        j.InOrder({"kill timer", "ReopenHandset", "handsetActive 0", "request 5", "linkOpen 0",
                   "close mixers", "StopTransferForRemoval", "present 0", "UpdateTrayState"}))
        << j.Text();
    EXPECT_EQ(g_bDeviceCheckPending, 0);
    EXPECT_EQ(handset.present, 0);
    // The handset object's stop does all the waiting, with its own exits: a
    // stop request left over after a transfer's close must not hold the main
    // thread here.
    EXPECT_TRUE(pauses.empty());
    EXPECT_FALSE(j.Has("StartHandset main"));
}

TEST_F(ShellTest, RecheckRemovalWhileAbsentSkipsTheTransferStop) {
    Start(false);
    shell.RecheckHandset();
    EXPECT_TRUE(j.InOrder({"request 5", "close mixers", "present 0", "UpdateTrayState"}));
    EXPECT_FALSE(j.Has("StopTransferForRemoval"));
}

TEST_F(ShellTest, RecheckWhereReadingFailsIsARemovalWithTransferStop) {
    Start(false);
    handset.plugged = true;
    handset.startWorks = false;
    shell.RecheckHandset();
    EXPECT_TRUE(j.InOrder({"ReopenHandset", "StartHandset main", "handsetActive 0", "linkOpen 0",
                           "request 5", "StopTransferForRemoval", "present 0", "UpdateTrayState"}))
        << j.Text();
    EXPECT_FALSE(j.Has("request 1"));
    EXPECT_FALSE(j.Has("open mixers"));
}

TEST_F(ShellTest, SuspendTearsDownAndResumeAlwaysArrivesWithCallsReset) {
    Start(true);
    g_pCallStore.load()->SetCurrentCallId(42);
    g_pCallStore.load()->SetSecondCallId(43);
    g_bDeviceCheckPending = 1;
    bool handled = true;
    Send(shellmsg::kPowerBroadcast, 4, 0, nullptr, &handled);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(j.InOrder({"present 0", "linkOpen 0", "close mixers", "kill timer", "ClearInput"}));
    EXPECT_EQ(g_bDeviceCheckPending, 0);

    j.Clear();
    Send(shellmsg::kPowerBroadcast, 7, 0, nullptr, &handled);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(j.InOrder({"ReopenHandset", "StartHandset main", "open mixers",
                           "StartSkypeIfMissing 1", "request 1", "present 1"}))
        << j.Text();
    EXPECT_FALSE(j.Has("kill timer"));
    int id = -5;
    g_pCallStore.load()->GetCurrentCallId(&id);
    EXPECT_EQ(id, 0);
    g_pCallStore.load()->GetSecondCallId(&id);
    EXPECT_EQ(id, 0);

    // Even when no suspend came first (handset still marked present).
    j.Clear();
    Send(shellmsg::kPowerBroadcast, 6, 0);
    EXPECT_TRUE(j.Has("request 1"));
    // Standby is a suspend too.
    j.Clear();
    Send(shellmsg::kPowerBroadcast, 5, 0);
    EXPECT_TRUE(j.Has("ClearInput"));
}

TEST_F(ShellTest, ResumeWithoutHandsetReleasesOnlyWhenItWasPresent) {
    Start(true);
    Send(shellmsg::kPowerBroadcast, 4, 0);  // present 0
    j.Clear();
    handset.plugged = false;
    Send(shellmsg::kPowerBroadcast, 7, 0);
    EXPECT_TRUE(j.InOrder({"linkOpen 0", "close mixers", "present 0", "UpdateTrayState"}));
    EXPECT_FALSE(j.Has("request 5"));
    EXPECT_FALSE(j.Has("handsetActive 0"));

    // Resumed without a suspend notice, the handset gone: released.
    handset.present = 1;
    j.Clear();
    Send(shellmsg::kPowerBroadcast, 7, 0);
    EXPECT_TRUE(j.InOrder({"linkOpen 0", "close mixers", "request 5", "present 0"}));
    EXPECT_FALSE(j.Has("handsetActive 0"));

    // Reading fails on resume: a removal, g_bHandsetActive untouched.
    handset.plugged = true;
    handset.startWorks = false;
    j.Clear();
    Send(shellmsg::kPowerBroadcast, 7, 0);
    EXPECT_TRUE(j.InOrder({"linkOpen 0", "request 5", "present 0"}));
    EXPECT_FALSE(j.Has("handsetActive 0"));
}

TEST_F(ShellTest, AutomaticResumeRebuildsTheHandsetSideOncePerWake) {
    Start(true);
    Send(shellmsg::kPowerBroadcast, 4, 0);
    j.Clear();
    Send(shellmsg::kPowerBroadcast, 18, 0);  // woken for a call, nobody at the PC
    EXPECT_TRUE(j.InOrder({"ReopenHandset", "open mixers", "request 1", "present 1"})) << j.Text();
    j.Clear();
    Send(shellmsg::kPowerBroadcast, 7, 0);  // then someone touches the mouse
    EXPECT_TRUE(j.Entries().empty()) << j.Text();
    // The next wake is handled again.
    Send(shellmsg::kPowerBroadcast, 4, 0);
    Send(shellmsg::kPowerBroadcast, 18, 0);
    EXPECT_EQ(std::count(j.Entries().begin(), j.Entries().end(), "request 1"), 1);
}

TEST_F(ShellTest, EndOfSessionReleasesSkypeAndTheHandsetBeforeAnswering) {
    Start(true);
    EXPECT_EQ(Send(shellmsg::kQueryEndSession, 0, 0), 1);
    Send(shellmsg::kEndSession, 0, 0);  // the logoff was cancelled
    EXPECT_TRUE(j.Entries().empty()) << j.Text();
    Send(shellmsg::kEndSession, 1, 0);
    EXPECT_TRUE(j.InOrder({"SendHandsetCommand 7", "ResetHandset", "request 5", "remove tray icon",
                           "destroy window", "link deleted"}))
        << j.Text();
    // The message loop's end changes nothing more.
    j.Clear();
    shell.Shutdown();
    EXPECT_TRUE(j.Entries().empty()) << j.Text();
}

TEST_F(ShellTest, CopyDataIsQueuedOnlyFromTheAttachedSkypeWindow) {
    Start(true);
    bool handled = true;
    // Not attached yet: nobody is heard, not even a sender of 0.
    Send(shellmsg::kCopyData, 0, 0, "CALL 1 STATUS RINGING", &handled);
    EXPECT_FALSE(handled);
    platform.skypeWindow = kSkypeWindow;
    Send(shellmsg::kCopyData, reinterpret_cast<std::uintptr_t>(kStranger), 0,
         "CALL 1 STATUS RINGING", &handled);
    EXPECT_FALSE(handled);
    EXPECT_EQ(Send(shellmsg::kCopyData, reinterpret_cast<std::uintptr_t>(kSkypeWindow), 0,
                   "USERSTATUS ONLINE"),
              1);
    EXPECT_EQ(j.Entries(), std::vector<std::string>{"in queue: USERSTATUS ONLINE"});
}

TEST_F(ShellTest, AttachRepliesByStatus) {
    Start(true);
    bool handled = true;
    for (std::intptr_t status : {1, 2, 3}) {
        Send(kAttachMsg, reinterpret_cast<std::uintptr_t>(kSkypeWindow), status, nullptr, &handled);
        EXPECT_FALSE(handled);
    }
    EXPECT_TRUE(j.Entries().empty()) << j.Text();
    EXPECT_EQ(platform.skypeWindow, nullptr);

    Send(kAttachMsg, 0, shellmsg::kApiAvailable, nullptr, &handled);
    EXPECT_FALSE(handled);
    EXPECT_EQ(j.Entries(), std::vector<std::string>{"request 1"});

    j.Clear();
    EXPECT_EQ(Send(kAttachMsg, reinterpret_cast<std::uintptr_t>(kSkypeWindow), 0), 1);
    EXPECT_EQ(platform.skypeWindow, kSkypeWindow);
    EXPECT_TRUE(j.InOrder({"SetSkypeApiWindow", "request 2", "DiscoverSkypeWindows"}));
}

TEST_F(ShellTest, MixerChangeRaisesMicrophoneOnlyDuringACall) {
    Start(true);
    CallStore& calls = *g_pCallStore.load();
    calls.SetCurrentCallId(7);
    const int statuses[] = {CALLSTATUS_NONE,      CALLSTATUS_RINGING_IN, CALLSTATUS_INPROGRESS,
                            CALLSTATUS_LOCALHOLD, CALLSTATUS_EARLYMEDIA, CALLSTATUS_FINISHED};
    for (int status : statuses) {
        calls.SetCurrentCallStatus(status);
        EXPECT_EQ(Send(shellmsg::kMixerControlChange, 11, 22), 1);
    }
    EXPECT_EQ(j.Count("mic control change 11 22"), 2) << j.Text();
}

// A burst is followed once, while the handset is present; an attached Skype
// hears of new names only.
TEST_F(ShellTest, EndpointChangesAreFollowedOnceABurstHasSettled) {
    Start(false);
    EXPECT_EQ(Send(WM_ENDPOINTSCHANGED, 0, 0), 0);
    EXPECT_TRUE(j.Entries().empty()) << j.Text();
    handset.present = 1;
    const struct {
        void* skype;
        bool namesChange;
        bool told;
    } rows[] = {{kSkypeWindow, true, true}, {kSkypeWindow, false, false}, {nullptr, true, false}};
    for (const auto& row : rows) {
        platform.skypeWindow = row.skype;
        platform.endpointNamesChange = row.namesChange;
        j.Clear();
        for (int i = 0; i < 3; ++i) {
            Send(WM_ENDPOINTSCHANGED, 0, 0);
        }
        EXPECT_EQ(j.Entries(), std::vector<std::string>{"set endpoints timer 600"});
        EXPECT_EQ(Send(shellmsg::kTimer, IDT_ENDPOINTS_SETTLED, 0), 1);
        EXPECT_EQ(j.Count("follow endpoints"), 1);
        EXPECT_EQ(j.Has("request 4"), row.told) << j.Text();
    }
}

TEST_F(ShellTest, MenuCommandsOpenDialogsOnlyWhileNotOpen) {
    Start(true);
    for (unsigned int command :
         {kCmdAbout, kCmdVolumeControl, kCmdAdvancedSettings, kCmdAudioDeviceSettings}) {
        EXPECT_EQ(Send(shellmsg::kCommand, command, 0), 1);
    }
    EXPECT_EQ(j.Entries(), (std::vector<std::string>{"dialog 40002", "dialog 40007", "dialog 40008",
                                                     "dialog 40009"}));
    j.Clear();
    dialogs.counts[kCmdVolumeControl] = 1;
    dialogs.counts[kCmdAudioDeviceSettings] = 1;
    EXPECT_EQ(Send(shellmsg::kCommand, kCmdVolumeControl, 0), 1);
    EXPECT_EQ(Send(shellmsg::kCommand, kCmdAudioDeviceSettings, 0), 1);
    EXPECT_TRUE(j.Entries().empty());
    // The notification code in the high word does not matter; other ids are default.
    EXPECT_EQ(Send(shellmsg::kCommand, (1u << 16) | kCmdAdvancedSettings, 0), 1);
    EXPECT_TRUE(j.Has("dialog 40008"));
    bool handled = true;
    Send(shellmsg::kCommand, 40003, 0, nullptr, &handled);
    EXPECT_FALSE(handled);
}

TEST_F(ShellTest, HandsetInputTrayAndDestroyRows) {
    Start(true);
    bool handled = true;
    Send(WM_HANDSET_INPUT, 0x00003101u, 0xFFFFFFFFu, nullptr, &handled);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(j.Has("OnHidInput 12545 4294967295"));
    platform.trayResult = 0;
    EXPECT_EQ(Send(WM_TRAYNOTIFY, 112, 0x205), 0);
    EXPECT_TRUE(j.Has("tray 112 517"));
    Send(shellmsg::kDestroy, 0, 0, nullptr, &handled);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(j.Has("exit signal"));
    Send(shellmsg::kPaint, 0, 0, nullptr, &handled);
    EXPECT_FALSE(handled);
}

// The handset goes off before anything that may wait on Explorer or Skype.
TEST_F(ShellTest, ExitRequestSwitchesTheHandsetOffThenReleasesSkypeAndRemovesTheTray) {
    Start(true);
    EXPECT_EQ(Send(shellmsg::kCommand, kCmdExit, 0), 1);
    EXPECT_EQ(j.Entries(),
              (std::vector<std::string>{"stop sounds", "SendHandsetCommand 7", "handsetActive 0",
                                        "ResetHandset", "request 5", "kill timer",
                                        "remove tray icon", "destroy window"}));
    EXPECT_EQ(pauses, (std::vector<unsigned int>{20, 50}));
    // The shutdown after the loop does not switch it off a second time.
    j.Clear();
    shell.Shutdown();
    EXPECT_EQ(std::count(j.Entries().begin(), j.Entries().end(), "SendHandsetCommand 7"), 0);
}

TEST_F(ShellTest, ShutdownTurnsHandsetOffThenFreesObjectsAfterTheirThreads) {
    Start(true);
    shell.Shutdown();
    EXPECT_EQ(j.Entries(), (std::vector<std::string>{
                               "stop sounds", "SendHandsetCommand 7", "handsetActive 0",
                               "ResetHandset", "kill timer", "serving windows", "StopThreads",
                               "link deleted", "served", "close mixers", "font release"}));
    EXPECT_EQ(pauses, std::vector<unsigned int>{20});
    EXPECT_EQ(g_pSkypeAPI.load(), nullptr);
    EXPECT_EQ(g_pCallStore.load(), nullptr);
    EXPECT_EQ(g_pUserStore.load(), nullptr);
    EXPECT_EQ(g_pFontProcess, nullptr);
}

}  // namespace
