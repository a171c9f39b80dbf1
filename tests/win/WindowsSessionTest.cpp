// How the real Voxlink.exe lives through a Windows session: started before
// the taskbar exists, an Explorer restart, a wake without user input, and
// logoff or shutdown.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "E2EHarness.h"

namespace {

using namespace voxtest;

class WindowsSession : public ::testing::Test {
protected:
    void Boot(bool trayWanted = false) {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        rig = std::make_unique<VoxlinkRig>("session_" + name);
        if (trayWanted) {
            rig->program->Set("SYSTEM", "SupportSky", "1");
        }
        std::string failure;
        ASSERT_TRUE(rig->Boot("", &failure)) << failure;
    }

    int Count(const std::string& text) const {
        int n = 0;
        for (const std::string& command : rig->Commands()) {
            n += command == text;
        }
        return n;
    }

    std::unique_ptr<VoxlinkRig> rig;
};

// Under Wine's null driver there is no notification area, as at logon before
// the taskbar exists: the program stays, attaches and handles a call.
TEST_F(WindowsSession, WithoutANotificationAreaTheProgramStaysAndWorks) {
    if (HasNotificationArea()) {
        GTEST_SKIP() << "needs a display without a notification area";
    }
    Boot(true);
    std::string error;
    ASSERT_TRUE(rig->sim.Inject("ring from alice.andersen", &error)) << error;
    ASSERT_TRUE(rig->WaitForText("GET CALL 301 PARTNER_DISPNAME", 5000));
    ASSERT_TRUE(rig->Press(0x1F));
    EXPECT_TRUE(rig->WaitForText("SET CALL   301 STATUS INPROGRESS", 3000));
}

// Explorer restarted: the icon comes back with the "TaskbarCreated" broadcast.
TEST_F(WindowsSession, TrayIconComesBackWhenTheTaskbarIsCreatedAgain) {
    if (!HasNotificationArea()) {
        GTEST_SKIP() << "needs a notification area (Wine's X11 driver)";
    }
    Boot(true);
    NOTIFYICONDATAA icon{};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = rig->program->Window();
    icon.uID = 112;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &icon)) << "the program's icon was not shown";
    ASSERT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &icon));
    PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE; }, 5000));
}

// A new user is told once where Voxlink is: the first run with an icon shows
// the notice, the next one does not.
TEST_F(WindowsSession, TheFirstRunNoticeIsShownOnce) {
    if (!HasNotificationArea()) {
        GTEST_SKIP() << "needs a notification area (Wine's X11 driver)";
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Voxlink", L"FirstRunNoticeShown");
    for (int run = 1; run <= 2; ++run) {
        Boot(true);
        rig->program->Exit();
        ASSERT_EQ(rig->program->WaitForExit(10000), 0);
        EXPECT_EQ(rig->Log().find("first-run notice") != std::string::npos, run == 1) << run;
        rig.reset();
    }
}

// Woken for a call with nobody at the PC (18 alone), then someone moves the
// mouse (7): the handset side is rebuilt and Skype discovered once.
TEST_F(WindowsSession, WakeWithoutUserInputRebuildsTheHandsetSideOnce) {
    Boot();
    HWND window = rig->program->Window();
    ASSERT_EQ(Count("PROTOCOL 5"), 1);
    SendMessageA(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_TRUE(PumpUntil([&] { return Count("PROTOCOL 5") == 2; }, 5000));
    SendMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    PumpFor(1500);
    EXPECT_EQ(Count("PROTOCOL 5"), 2);
    // The rebuilt link works: a call rings.
    std::string error;
    ASSERT_TRUE(rig->sim.Inject("ring from alice.andersen", &error)) << error;
    EXPECT_TRUE(rig->WaitForText("GET CALL 301 PARTNER_DISPNAME", 5000));
}

// Logoff: Skype gets its default devices back and the handset leaves call
// mode before the program answers, as Windows may end it right after.
TEST_F(WindowsSession, EndOfSessionReleasesSkypeAndTheHandsetBeforeAnswering) {
    Boot();
    HWND window = rig->program->Window();
    const std::size_t from = rig->CommandCount();
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(answer, 1u);
    ASSERT_TRUE(SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                    5000, &answer));
    for (const char* text : {"SET AUDIO_IN", "SET AUDIO_OUT", "SET RINGER"}) {
        EXPECT_GE(rig->CommandIndex(text, from), 0) << text;
    }
    EXPECT_TRUE(rig->handset->State().shutdown) << "no command 7";
    // It ends by itself, not through the exit deadline.
    EXPECT_EQ(rig->program->WaitForExit(1500), 0);
    EXPECT_EQ(rig->Log().find("Exit took longer"), std::string::npos) << rig->Log();
}

}  // namespace
