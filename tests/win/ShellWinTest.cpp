// The shell's Win32 pieces in this process: the tray icon (its notification
// area exists only under the X11 driver) and the crash reporter's files.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ThreadLabel.h"
#include "ThreadLabels.h"
#include "TrayIcon.h"
#include "VoxlinkProcess.h"

namespace {

constexpr UINT kCallback = WM_APP + 10;

struct TargetWindow {
    TargetWindow() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TrayTestTarget";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "TrayTestTarget", "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    }
    ~TargetWindow() { DestroyWindow(window); }
    // The id of the next WM_COMMAND waiting for the window, 0 when none.
    UINT TakeCommand() {
        MSG msg;
        while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_COMMAND) {
                return LOWORD(msg.wParam);
            }
        }
        return 0;
    }
    HWND window = nullptr;
};

TEST(TrayMenu, BuiltMenuHasTheItemsInOrder) {
    HMENU menu = BuildTrayMenu();
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    const UINT ids[] = {40008, 40007, 0, 40002, 0, 40001};
    const char* texts[] = {"Advanced Settings", "Volume Control", "", "About ", "", "Exit"};
    ASSERT_EQ(GetMenuItemCount(popup), 6);
    for (int i = 0; i < 6; ++i) {
        char text[64] = {};
        GetMenuStringA(popup, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, texts[i]) << i;
        if (ids[i] != 0) {
            EXPECT_EQ(GetMenuItemID(popup, i), ids[i]) << i;
        } else {
            EXPECT_TRUE(GetMenuState(popup, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR);
        }
    }
    DestroyMenu(menu);
    EXPECT_STREQ(TrayFallbackString(13), "Connected");
    EXPECT_STREQ(TrayFallbackString(14), "Disconnected");
}

TEST(TrayIcon, AddsOnlyWhereThereIsANotificationArea) {
    TargetWindow target;
    // No window at all means the display is unusable, not that the tray is wrong.
    ASSERT_NE(target.window, nullptr) << "no window could be created";
    CTrayIcon tray;
    const std::string longTip(80, 'x');
    const int added =
        tray.Create(GetModuleHandleA(nullptr), target.window, kCallback, longTip.c_str(),
                    CopyIcon(LoadIconA(nullptr, IDI_APPLICATION)), 112, FALSE);
    EXPECT_EQ(tray.Data().cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
    EXPECT_EQ(std::strlen(tray.Data().szTip), 63u);
    EXPECT_EQ(tray.Data().uID, 112u);
    EXPECT_EQ(tray.Data().uCallbackMessage, kCallback);
    EXPECT_EQ(tray.Data().hWnd, target.window);
    if (!voxtest::HasNotificationArea()) {
        // The null driver has no notification area.
        EXPECT_EQ(added, 0);
        EXPECT_TRUE(tray.IsHidden());
        EXPECT_TRUE(tray.IsRemoved());
        EXPECT_EQ(tray.RemoveIcon(), 0);
        return;
    }
    ASSERT_EQ(added, 1);
    EXPECT_FALSE(tray.IsHidden());
    EXPECT_EQ(tray.SetTooltipFromString(14), 1);
    EXPECT_STREQ(tray.Data().szTip, "Disconnected");
    EXPECT_EQ(tray.SetTooltipFromString(13), 1);
    EXPECT_STREQ(tray.Data().szTip, "Connected");
    EXPECT_EQ(tray.SetTooltipFromString(999), 0);
    EXPECT_STREQ(tray.Data().szTip, "Connected");
    // A missing icon file leaves the picture as it was.
    EXPECT_EQ(tray.SetIconFromFile("C:\\no\\such.ico"), 0);
    EXPECT_EQ(tray.RemoveIcon(), 1);
    EXPECT_TRUE(tray.IsRemoved());
    EXPECT_EQ(tray.RemoveIcon(), 0);
}

TEST(TrayIcon, DoubleClickPostsTheDefaultItemToTheTarget) {
    TargetWindow target;
    ASSERT_NE(target.window, nullptr) << "no window could be created";
    CTrayIcon tray;
    // Hidden on request: no notification area needed for the handler.
    ASSERT_EQ(tray.Create(GetModuleHandleA(nullptr), target.window, kCallback, "Voxlink", nullptr,
                          112, TRUE),
              1);
    EXPECT_EQ(tray.OnTrayNotification(111, WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(target.TakeCommand(), 0u);
    EXPECT_EQ(tray.OnTrayNotification(112, WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(target.TakeCommand(), 40008u);
    EXPECT_EQ(tray.OnTrayNotification(112, WM_MOUSEMOVE), 1);
    EXPECT_EQ(target.TakeCommand(), 0u);
    // Hidden: tip changes are kept without the shell.
    EXPECT_EQ(tray.SetTooltipFromString(14), 1);
    EXPECT_STREQ(tray.Data().szTip, "Disconnected");
}

TEST(TrayIcon, ChangesFromThreeThreadsLeaveALivePictureShown) {
    TargetWindow target;
    ASSERT_NE(target.window, nullptr) << "no window could be created";
    CTrayIcon tray;
    tray.Create(GetModuleHandleA(nullptr), target.window, kCallback, "Voxlink",
                static_cast<HICON>(
                    LoadImageA(nullptr, VOXLINK_TEST_ICON, IMAGE_ICON, 0, 0, LR_LOADFROMFILE)),
                112, FALSE);
    // As the notification thread, the handset input thread and the main thread
    // show the link's state.
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&tray, &failures, t] {
            for (int i = 0; i < 40; ++i) {
                failures += tray.SetIconFromFile(VOXLINK_TEST_ICON) == 1 ? 0 : 1;
                failures += tray.SetTooltipFromString((t + i) % 2 == 0 ? 13 : 14) == 1 ? 0 : 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    const NOTIFYICONDATAA shown = tray.Data();
    ICONINFO picture{};
    ASSERT_TRUE(GetIconInfo(shown.hIcon, &picture)) << "the picture shown is gone";
    DeleteObject(picture.hbmColor);
    DeleteObject(picture.hbmMask);
    EXPECT_TRUE(std::strcmp(shown.szTip, "Connected") == 0 ||
                std::strcmp(shown.szTip, "Disconnected") == 0)
        << shown.szTip;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(CrashReport, ALabelGivenInAnotherBinaryNamesTheThread) {
    // The HID library labels its read thread in its own copy of the labelling
    // code; the report, written by the program, must still name it.
    std::string label;
    std::thread([&label] {
        voxtest::DescribeThisThread(L"HsdHIDCtrl -> Worker");
        label = GetThreadLabel();
    }).join();
    EXPECT_EQ(label, "HsdHIDCtrl -> Worker");
}

TEST(CrashReport, ACrashWritesTheLogAndTheDumpWithoutABox) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "voxshell_crash\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    DeleteFileA((folder + "ERRORLOG.TXT").c_str());
    DeleteFileA((folder + "CRASH.DMP").c_str());

    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string probe(self);
    probe = probe.substr(0, probe.find_last_of('\\') + 1) + "crash_probe.exe";
    // No backslash before the closing quote: it would escape it.
    std::string command = "\"" + probe + "\" \"" + folder.substr(0, folder.size() - 1) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    // Without a box the process ends by itself, with the exception's code.
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));

    const std::string log = ReadFile(folder + "ERRORLOG.TXT");
    EXPECT_NE(log.find("Exception 0xc0000005"), std::string::npos) << log;
    EXPECT_NE(log.find("writing address 0000000000000000"), std::string::npos) << log;
    EXPECT_NE(log.find("CrashProbe -> Worker"), std::string::npos);
    EXPECT_NE(log.find("RIP="), std::string::npos);
    EXPECT_NE(log.find("Stack:"), std::string::npos);
    EXPECT_NE(log.find("crash_probe.exe"), std::string::npos);
    EXPECT_NE(log.find("Operating system: Windows"), std::string::npos);
    EXPECT_NE(log.find("Memory:"), std::string::npos);
    const std::string dump = ReadFile(folder + "CRASH.DMP");
    ASSERT_GE(dump.size(), 4u);
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
}

}  // namespace

TEST(Manifest, DeclaresEveryWindowsVersionAndPerMonitorDpi) {
    HMODULE program = LoadLibraryExA((voxtest::BinFolder() + "Voxlink.exe").c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no application manifest";
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(program, found)));
    const std::string manifest(bytes, SizeofResource(program, found));
    FreeLibrary(program);
    for (const char* id : {"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",     // 10 and 11
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",     // 8.1
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",     // 8
                           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"}) {  // 7
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos)
            << id;
    }
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
}
