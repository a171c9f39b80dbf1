// However Skype, the other programs on the desktop and the handset misbehave,
// the real Voxlink.exe ends soon after its Exit command: each test makes one
// party misbehave and times the exit.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "E2EHarness.h"
#include "ExitDeadline.h"

namespace {

using namespace voxtest;

// The program's own pauses on the way out (50, 300, 20 and 400 ms) and the
// three seconds it may take beyond them.
constexpr double kExitBoundMs = 770 + 3000;

class ExitBound : public ::testing::Test {
protected:
    void Boot() {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        rig = std::make_unique<VoxlinkRig>("exit_" + name);
        std::string failure;
        ASSERT_TRUE(rig->Boot("", &failure)) << failure;
    }

    // Sends the Exit command and returns the milliseconds until the process
    // ended (or a large figure when it did not within 20 s). The party that
    // misbehaves may make the deadline end it.
    double TimedExit() {
        const Clock::time_point start = Clock::now();
        rig->program->Exit();
        const long code = rig->program->WaitForExit(20000);
        EXPECT_TRUE(code == 0 || code == kExitDeadlineCode) << code;
        const double ms = MsSince(start);
        std::printf("exit took %.0f ms\n", ms);
        return ms;
    }

    std::unique_ptr<VoxlinkRig> rig;
};

TEST_F(ExitBound, SkypeThatStopsServingItsMessages) {
    Boot();
    rig->sim.Hang();
    // A user-status key: its command is on its way to the hung client when
    // the exit starts.
    rig->handset->PressKey(0x73);
    PumpFor(200);
    EXPECT_LT(TimedExit(), kExitBoundMs);
}

TEST_F(ExitBound, HungWindowOfAnotherProgramOnTheDesktop) {
    // Present before the program starts: every discover and release broadcast
    // reaches it.
    const std::string readyName = "VoxlinkHungWindowReady" + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    std::string command = "\"" + BinFolder() + "hung_window.exe\" " + readyName;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION hung{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &hung));
    ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
    Boot();
    EXPECT_LT(TimedExit(), kExitBoundMs);
    TerminateProcess(hung.hProcess, 0);
    CloseHandle(hung.hProcess);
    CloseHandle(hung.hThread);
    CloseHandle(ready);
}

TEST_F(ExitBound, HandsetThatStopsTakingOutputReports) {
    Boot();
    // The handset hangs just before a sixteen-glyph name comes; its readiness
    // for the name's transfer was already on its way. The transfer is more
    // than the pipe holds, so the program's writes wait when the exit starts.
    rig->handset->TakeOutputs(false);
    std::string error;
    ASSERT_TRUE(rig->sim.Inject("ring from long.name", &error)) << error;
    ASSERT_TRUE(rig->WaitForText("GET CALL 301 PARTNER_DISPNAME", 5000));
    PumpFor(300);
    ASSERT_TRUE(rig->handset->SendHandshake(0x5A));
    PumpFor(2000);
    EXPECT_LT(TimedExit(), kExitBoundMs);
}

}  // namespace
