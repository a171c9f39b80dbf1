// The shell's Win32 pieces in this process: the tray icon (its notification
// area exists only under the X11 driver) and the crash reporter's files.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CrashReport.h"
#include "ExitDeadline.h"
#include "Report.h"
#include "ThreadLabel.h"
#include "ThreadLabels.h"
#include "TrayIcon.h"
#include "VoxlinkProcess.h"
#include "VoxlinkVersion.h"

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
    const char* texts[] = {"&Advanced Settings", "&Volume Control", "", "A&bout ", "", "E&xit"};
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
    const std::string longTip(200, 'x');
    const std::string picture = voxtest::BinFolder() + "Active.ico";
    const int added = tray.Create(GetModuleHandleA(nullptr), target.window, kCallback,
                                  longTip.c_str(), picture.c_str(), 112, FALSE);
    EXPECT_EQ(std::wcslen(tray.Data().szTip), 127u);
    EXPECT_EQ(tray.Data().uID, 112u);
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
    // The tip, which Windows reads as the icon's name, says whose state it is.
    EXPECT_EQ(tray.SetTooltipFromString(14), 1);
    EXPECT_STREQ(tray.Data().szTip, L"Voxlink \u2013 Disconnected");
    EXPECT_EQ(tray.SetTooltipFromString(13), 1);
    EXPECT_STREQ(tray.Data().szTip, L"Voxlink \u2013 Connected");
    EXPECT_EQ(tray.SetTooltipFromString(999), 0);
    EXPECT_STREQ(tray.Data().szTip, L"Voxlink \u2013 Connected");
    // A missing icon file leaves the picture as it was.
    EXPECT_EQ(tray.SetIconFromFile("C:\\no\\such.ico"), 0);
    EXPECT_EQ(tray.RemoveIcon(), 1);
    EXPECT_TRUE(tray.IsRemoved());
    EXPECT_EQ(tray.RemoveIcon(), 0);
}

// The shell's version 4 events: the icon's id in the high word.
TEST(TrayIcon, DoubleClickPostsTheDefaultItemToTheTarget) {
    TargetWindow target;
    ASSERT_NE(target.window, nullptr) << "no window could be created";
    CTrayIcon tray;
    // Hidden on request: no notification area needed for the handler.
    ASSERT_EQ(tray.Create(GetModuleHandleA(nullptr), target.window, kCallback, "Voxlink", nullptr,
                          112, TRUE),
              1);
    EXPECT_EQ(tray.OnTrayNotification(0, MAKELPARAM(WM_LBUTTONDBLCLK, 111)), 0);
    EXPECT_EQ(target.TakeCommand(), 0u);
    EXPECT_EQ(tray.OnTrayNotification(0, MAKELPARAM(WM_LBUTTONDBLCLK, 112)), 1);
    EXPECT_EQ(target.TakeCommand(), 40008u);
    EXPECT_EQ(tray.OnTrayNotification(0, MAKELPARAM(WM_MOUSEMOVE, 112)), 1);
    EXPECT_EQ(target.TakeCommand(), 0u);
}

// At 150 % the taskbar shows the 24-pixel image, not a stretched 16-pixel one.
TEST(TrayIcon, PicturesAreLoadedAtTheTaskbarsSize) {
    const std::string picture = voxtest::BinFolder() + "Active.ico";
    for (const auto& [dpi, pixels] : {std::pair{96u, 16L}, {120u, 20L}, {144u, 24L}, {192u, 32L}}) {
        HICON icon = LoadTrayPicture(picture.c_str(), dpi);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info)) << dpi;
        BITMAP bitmap{};
        GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, pixels) << dpi;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

// The colour pixels of a picture, to tell two pictures apart.
std::string Pixels(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return {};
    }
    BITMAP bitmap{};
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    std::string bits(static_cast<std::size_t>(bitmap.bmWidthBytes) * bitmap.bmHeight, '\0');
    GetBitmapBits(info.hbmColor, static_cast<LONG>(bits.size()), bits.data());
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bits;
}

// The notification thread, the handset input thread and the main thread all
// show the link's state: every state seen has its own picture with its own
// tip, and the picture shown at the end is alive.
TEST(TrayIcon, ChangesFromThreeThreadsShowEachStateWhole) {
    TargetWindow target;
    ASSERT_NE(target.window, nullptr) << "no window could be created";
    const std::string pictures[2] = {voxtest::BinFolder() + "Active.ico",
                                     voxtest::BinFolder() + "NoANY.ico"};
    std::string pixels[2];
    for (int k = 0; k < 2; ++k) {
        HICON icon = LoadTrayPicture(pictures[k].c_str(), TaskbarDpi());
        pixels[k] = Pixels(icon);
        DestroyIcon(icon);
    }
    ASSERT_NE(pixels[0], pixels[1]);
    CTrayIcon tray;
    tray.Create(GetModuleHandleA(nullptr), target.window, kCallback, "Voxlink", pictures[0].c_str(),
                112, FALSE);
    tray.SetTooltipFromString(13);
    std::atomic<int> failures{0};
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                const int k = (t + i) % 2;
                failures += tray.SetState(pictures[k].c_str(), 13 + k) == 1 ? 0 : 1;
            }
            ++finished;
        });
    }
    int torn = 0;
    for (bool last = false; !last;) {
        last = finished == 3;
        const NOTIFYICONDATAW shown = tray.Data();
        const int k = std::wcscmp(shown.szTip, L"Voxlink \u2013 Connected") == 0 ? 0 : 1;
        torn += Pixels(shown.hIcon) == pixels[k] ? 0 : 1;
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(torn, 0) << "a picture shown with the other state's tip";
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

// Where the crash tests put %LOCALAPPDATA%: a build folder, so that a check
// on the Linux side (crash_report_zips) can test each report.zip with unzip.
std::string CrashTestFolder(const std::string& name) {
    std::string folder = std::string(VOXLINK_CRASH_TESTS) + "/" + name + "/";
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder;
}

// The report folders under a %LOCALAPPDATA%, oldest first.
std::vector<std::string> ReportFolders(const std::string& localAppData) {
    const std::string root = localAppData + "Voxlink\\CrashReports\\";
    std::vector<std::string> folders;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((root + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return folders;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && found.cFileName[0] != '.') {
            folders.push_back(root + found.cFileName + "\\");
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(folders.begin(), folders.end());
    return folders;
}

struct CrashCase {
    const char* how;
    DWORD code;
    const char* failingLabel;
    const char* detail;
};

class CrashReportCase : public testing::TestWithParam<CrashCase> {};

// Starts crash_probe with %LOCALAPPDATA% at a fresh localAppData.
PROCESS_INFORMATION StartCrashProbe(const std::string& how, const std::string& localAppData) {
    std::filesystem::remove_all(localAppData);
    std::filesystem::create_directories(localAppData);
    std::string command = "\"" + voxtest::BinFolder() + "crash_probe.exe\" " + how;
    SetEnvironmentVariableA("LOCALAPPDATA", localAppData.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA("LOCALAPPDATA", nullptr);
    EXPECT_TRUE(started) << "crash_probe did not start";
    return process;
}

// The probe's exit code once it has ended by itself (without a box), within 15 s.
DWORD RunCrashProbe(const std::string& how, const std::string& localAppData) {
    const PROCESS_INFORMATION process = StartCrashProbe(how, localAppData);
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 15000), WAIT_OBJECT_0) << how;
    GetExitCodeProcess(process.hProcess, &code);
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

// Written from outside the failing process: whatever that process holds (its
// heap's lock, no stack left), one complete report, and the exception's code.
TEST_P(CrashReportCase, LeavesOneCompleteReportAndEndsWithTheExceptionsCode) {
    const CrashCase& crash = GetParam();
    const std::string localAppData = CrashTestFolder(crash.how);
    EXPECT_EQ(RunCrashProbe(crash.how, localAppData), crash.code);

    const std::vector<std::string> reports = ReportFolders(localAppData);
    ASSERT_EQ(reports.size(), 1u);
    const std::string log = ReadFile(reports[0] + "ERRORLOG.TXT");
    EXPECT_NE(log.find(crash.detail), std::string::npos) << log;
    EXPECT_NE(log.find(std::string(" (failed) ") + crash.failingLabel), std::string::npos) << log;
    // The failing stack, walked in the probe's own code; the other thread; the trace ring.
    EXPECT_NE(log.find("crash_probe.exe+0x"), std::string::npos) << log;
    EXPECT_NE(log.find("CrashProbe -> Waiting"), std::string::npos) << log;
    EXPECT_NE(log.find("USERSTATUS ONLINE"), std::string::npos) << log;
    EXPECT_EQ(ReadFile(reports[0] + "CRASH.DMP").substr(0, 4), "MDMP");
    EXPECT_TRUE(std::filesystem::exists(reports[0] + "report.zip"));
    // unzip -t checks each archive on the Linux side (crash_report_zips).
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CrashReportCase,
    testing::Values(
        CrashCase{"main", EXCEPTION_ACCESS_VIOLATION, "SkypeAPI -> WinMain", "writing address"},
        CrashCase{"worker", EXCEPTION_ACCESS_VIOLATION, "CrashProbe -> Worker", "writing address"},
        CrashCase{"overflow", EXCEPTION_STACK_OVERFLOW, "SkypeAPI -> WinMain", "(stack overflow)"},
        CrashCase{"heap", EXCEPTION_ACCESS_VIOLATION, "SkypeAPI -> WinMain", "writing address"},
        CrashCase{"heaplock", EXCEPTION_ACCESS_VIOLATION, "CrashProbe -> HeapLock",
                  "writing address"},
        CrashCase{"terminate", kCrashTerminate, "SkypeAPI -> WinMain", "(terminate"},
        CrashCase{"abort", kCrashAbort, "SkypeAPI -> WinMain", "(abort)"},
        CrashCase{"deadline", EXCEPTION_ACCESS_VIOLATION, "SkypeAPI -> WinMain",
                  "writing address"}),
    [](const testing::TestParamInfo<CrashCase>& info) { return std::string(info.param.how); });

// A way out that never ends is ended by the deadline, which says so in its
// exit code rather than passing for a clean exit.
TEST(ExitDeadline, EndsAStuckProcessWithItsOwnCode) {
    EXPECT_EQ(RunCrashProbe("stuck", CrashTestFolder("stuck")), kExitDeadlineCode);
}

// A main window that stops answering: one hang report, and the program runs on.
TEST(CrashReport, AWindowThatStopsAnsweringLeavesAHangReport) {
    const std::string localAppData = CrashTestFolder("hang");
    const PROCESS_INFORMATION probe = StartCrashProbe("hang", localAppData);
    std::vector<std::string> reports;
    EXPECT_TRUE(voxtest::PumpUntil(
        [&] {
            reports = ReportFolders(localAppData);
            return !reports.empty() && std::filesystem::exists(reports[0] + "report.zip");
        },
        15000));
    EXPECT_EQ(WaitForSingleObject(probe.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(probe.hProcess, 1);
    CloseHandle(probe.hProcess);
    CloseHandle(probe.hThread);
    ASSERT_EQ(reports.size(), 1u);
    const std::string log = ReadFile(reports[0] + "ERRORLOG.TXT");
    EXPECT_NE(log.find("stopped responding"), std::string::npos) << log;
    EXPECT_NE(log.find("CrashProbe -> Waiting"), std::string::npos) << log;
}

// Without its handler (killed), the program runs on.
TEST(CrashReport, AProgramWhoseHandlerIsKilledRunsOn) {
    const std::string go = "VoxlinkProbeGo" + std::to_string(GetCurrentProcessId());
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, go.c_str());
    const PROCESS_INFORMATION probe = StartCrashProbe("wait " + go, CrashTestFolder("killed"));
    DWORD handler = 0;
    voxtest::PumpUntil(
        [&] {
            HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            PROCESSENTRY32 entry{};
            entry.dwSize = sizeof entry;
            for (BOOL more = Process32First(snapshot, &entry); more && handler == 0;
                 more = Process32Next(snapshot, &entry)) {
                if (entry.th32ParentProcessID == probe.dwProcessId) {
                    handler = entry.th32ProcessID;
                }
            }
            CloseHandle(snapshot);
            return handler != 0;
        },
        5000);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, handler);
    ASSERT_NE(process, nullptr) << "no crash handler beside the probe";
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
    SetEvent(event);
    DWORD code = 1;
    EXPECT_EQ(WaitForSingleObject(probe.hProcess, 10000), WAIT_OBJECT_0);
    GetExitCodeProcess(probe.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(probe.hProcess);
    CloseHandle(probe.hThread);
    CloseHandle(event);
}

// The start after a crash: reports in a %LOCALAPPDATA% of this process, the
// question and the mail program captured.
class CrashOffer : public testing::Test {
protected:
    CrashOffer() : m_localAppData(CrashTestFolder("offer")) {
        std::filesystem::remove_all(m_localAppData);
        SetEnvironmentVariableA("LOCALAPPDATA", m_localAppData.c_str());
        s_messages.clear();
        s_mails.clear();
        m_previousReport = SetReportFunction(Capture);
        m_previousMail = SetCrashMailFunction(Mail);
    }
    ~CrashOffer() override {
        SetReportFunction(m_previousReport);
        SetCrashMailFunction(m_previousMail);
        SetEnvironmentVariableA("LOCALAPPDATA", nullptr);
    }
    // A report as the reporter leaves it, named by its UTC time.
    std::string AddReport(const char* time) {
        const std::string folder = m_localAppData + "Voxlink\\CrashReports\\" + time + "\\";
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "report.zip") << "PK";
        return folder;
    }

    static int Capture(const char* text, const char*, unsigned int) {
        s_messages.push_back(text);
        return s_answer;
    }
    static CrashMailResult Mail(const std::wstring& attachment, const std::string& recipient) {
        s_mails.push_back(std::string(attachment.begin(), attachment.end()) + " to " + recipient);
        return s_mailResult;
    }

    std::string m_localAppData;
    ReportFunction m_previousReport = nullptr;
    CrashMailFunction m_previousMail = nullptr;
    static inline std::vector<std::string> s_messages;
    static inline std::vector<std::string> s_mails;
    static inline int s_answer = kReportYes;
    static inline CrashMailResult s_mailResult = CrashMailResult::Handed;
};

TEST_F(CrashOffer, SixReportsLeaveFiveAndTheNewestIsOfferedOnceAndMailed) {
    for (const char* time :
         {"2026-12-01_10-00-00.000", "2026-12-02_10-00-00.000", "2026-12-03_10-00-00.000",
          "2026-12-04_10-00-00.000", "2026-12-05_10-00-00.000"}) {
        AddReport(time);
    }
    const std::string newest = AddReport("2026-12-06_10-00-00.000");
    s_answer = kReportYes;
    s_mailResult = CrashMailResult::Handed;
    OfferCrashReport("help@example.com");

    const std::vector<std::string> reports = ReportFolders(m_localAppData);
    ASSERT_EQ(reports.size(), 5u);
    EXPECT_NE(reports[0].find("2026-12-02"), std::string::npos) << "the oldest goes";
    ASSERT_EQ(s_messages.size(), 1u);
    EXPECT_EQ(
        s_messages[0],
        "Voxlink closed unexpectedly or stopped responding the last time it ran. A report was "
        "saved in " +
            newest.substr(0, newest.size() - 1) + ". Send it by e-mail now?");
    ASSERT_EQ(s_mails.size(), 1u);
    EXPECT_EQ(s_mails[0], newest + "report.zip to help@example.com");

    OfferCrashReport("help@example.com");
    EXPECT_EQ(s_messages.size(), 1u) << "asked once only";
}

TEST_F(CrashOffer, WithoutAMailProgramTheUserIsToldWhereTheReportIs) {
    const std::string folder = AddReport("2026-12-06_10-00-00.000");
    s_answer = kReportYes;
    s_mailResult = CrashMailResult::NoMailProgram;
    OfferCrashReport("");
    ASSERT_EQ(s_messages.size(), 2u);
    EXPECT_NE(s_messages[1].find(folder + "report.zip"), std::string::npos) << s_messages[1];
    EXPECT_EQ(s_mails.size(), 1u);
}

TEST_F(CrashOffer, NoKeepsTheReportAndDoesNotAskAgain) {
    const std::string folder = AddReport("2026-12-06_10-00-00.000");
    s_answer = 7;  // IDNO
    OfferCrashReport("");
    OfferCrashReport("");
    EXPECT_EQ(s_messages.size(), 1u);
    EXPECT_TRUE(s_mails.empty());
    EXPECT_TRUE(std::filesystem::exists(folder + "report.zip"));
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
