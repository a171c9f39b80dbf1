// The real Voxlink.exe as a separate process: the one-instance rule, the
// Skype attach messages, WM_COPYDATA senders, handset arrival and removal with
// the virtual handset, and the exit command. This test process plays the Skype
// client with a window of its own. Each program copy runs from a folder of its
// own with its own VoxlinkAPI.ini (no tray icon: the null driver has none).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "HandsetSim.h"
#include "VoxlinkProcess.h"
#include "VoxlinkResources.h"

namespace {

using namespace voxtest;

// A stand-in for the Skype client's API window.
struct FakeSkype {
    struct Discover {
        HWND sender;
        double atMs;
    };

    static FakeSkype* self;

    FakeSkype() {
        attachMsg = RegisterWindowMessageA("SkypeControlAPIAttach");
        discoverMsg = RegisterWindowMessageA("SkypeControlAPIDiscover");
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ShellTestSkype";
        RegisterClassA(&wc);
        self = this;
        window = CreateWindowExA(0, "ShellTestSkype", "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        stranger = CreateWindowExA(0, "ShellTestSkype", "stranger", WS_OVERLAPPED, 0, 0, 0, 0,
                                   nullptr, nullptr, wc.hInstance, nullptr);
        start = Clock::now();
    }
    ~FakeSkype() {
        DestroyWindow(window);
        DestroyWindow(stranger);
        self = nullptr;
    }

    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
        FakeSkype* s = self;
        if (s != nullptr && hWnd == s->window) {
            if (message == s->discoverMsg) {
                s->discovers.push_back({reinterpret_cast<HWND>(wParam), MsSince(s->start)});
                if (s->attachOnDiscover && wParam != 0) {
                    PostMessageA(reinterpret_cast<HWND>(wParam), s->attachMsg,
                                 reinterpret_cast<WPARAM>(s->window), 0);
                }
                return 0;
            }
            if (message == WM_COPYDATA) {
                const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
                s->texts.emplace_back(static_cast<const char*>(data->lpData));
                return 1;
            }
        }
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }

    // Sends a notification text as the given window; the receiver's result.
    LRESULT Notify(HWND to, HWND from, const char* text) {
        COPYDATASTRUCT data{};
        data.cbData = static_cast<DWORD>(std::strlen(text) + 1);
        data.lpData = const_cast<char*>(text);
        return SendMessageA(to, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                            reinterpret_cast<LPARAM>(&data));
    }

    bool HasText(const std::string& prefix) const {
        for (const std::string& t : texts) {
            if (t.compare(0, prefix.size(), prefix) == 0) {
                return true;
            }
        }
        return false;
    }
    int DiscoversFrom(HWND sender) const {
        int n = 0;
        for (const Discover& d : discovers) {
            n += d.sender == sender ? 1 : 0;
        }
        return n;
    }

    UINT attachMsg = 0;
    UINT discoverMsg = 0;
    HWND window = nullptr;
    HWND stranger = nullptr;
    bool attachOnDiscover = true;
    std::vector<Discover> discovers;
    std::vector<std::string> texts;
    Clock::time_point start;
};
FakeSkype* FakeSkype::self = nullptr;

TEST(ShellProcess, OneProgramPerWindowTitle) {
    Program first("single_a", "ShellTestOne");
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.WaitForWindow(20000));
    std::printf("start-up: process start to main window %.0f ms\n", MsSince(first.started));

    Program same("single_b", "ShellTestOne");
    ASSERT_TRUE(same.Start());
    EXPECT_EQ(same.WaitForExit(10000), 0);
    // Still the first program's window, and only one.
    EXPECT_EQ(FindWindowExA(nullptr, first.Window(), "MainWndClass", "ShellTestOne"), nullptr);

    Program other("single_c", "ShellTestTwo");
    ASSERT_TRUE(other.Start());
    ASSERT_TRUE(other.WaitForWindow(20000));
    EXPECT_NE(first.Window(), nullptr);
    EXPECT_EQ(other.WaitForExit(500), -1);

    first.Exit();
    other.Exit();
    EXPECT_EQ(first.WaitForExit(10000), 0);
    EXPECT_EQ(other.WaitForExit(10000), 0);
    EXPECT_EQ(first.Window(), nullptr);
}

// A crash report from the last run is offered once start-up has finished,
// from a box the main window owns; meanwhile a second start ends at once.
TEST(ShellProcess, TheCrashQuestionComesAfterStartUpAndASecondStartStillEnds) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string localAppData = std::string(temp) + "voxshell_offer_appdata";
    const std::string report = localAppData + "\\Voxlink\\CrashReports\\2026-12-01_10-00-00.000";
    std::filesystem::create_directories(report);
    DeleteFileA((report + "\\OFFERED").c_str());
    CloseHandle(CreateFileA((report + "\\report.zip").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    Program first("offer_a", "ShellTestOffer");
    SetEnvironmentVariableA("LOCALAPPDATA", localAppData.c_str());
    ASSERT_TRUE(first.Start());
    SetEnvironmentVariableA("LOCALAPPDATA", nullptr);
    HWND question = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (question = FindWindowA("#32770", "Voxlink")); }, 20000));
    EXPECT_NE(first.Window(), nullptr);
    EXPECT_EQ(GetWindow(question, GW_OWNER), first.Window());

    Program same("offer_b", "ShellTestOffer");
    ASSERT_TRUE(same.Start());
    EXPECT_EQ(same.WaitForExit(10000), 0);
    PostMessageA(question, WM_COMMAND, IDNO, 0);
    first.Exit();
    EXPECT_EQ(first.WaitForExit(10000), 0);
}

TEST(ShellProcess, AttachRepliesAndNotificationSenders) {
    FakeSkype skype;
    Program program("attach", "ShellTestAttach");
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitForWindow(20000));
    HWND main = program.Window();

    // Not attached: nobody's notification is taken.
    EXPECT_EQ(skype.Notify(main, skype.window, "USERSTATUS ONLINE"), 0);
    // Pending, refused, not available: still not attached.
    for (LPARAM status : {1, 2, 3}) {
        SendMessageA(main, skype.attachMsg, reinterpret_cast<WPARAM>(skype.window), status);
    }
    EXPECT_EQ(skype.Notify(main, skype.window, "USERSTATUS ONLINE"), 0);
    PumpFor(300);
    EXPECT_TRUE(skype.texts.empty());
    EXPECT_TRUE(skype.discovers.empty());

    // API available: the program discovers again, naming its window.
    skype.attachOnDiscover = false;
    PostMessageA(main, skype.attachMsg, 0, 0x8001);
    ASSERT_TRUE(PumpUntil([&] { return skype.DiscoversFrom(main) == 1; }, 5000));

    // Attached: the program starts its attach sequence with this window ...
    EXPECT_EQ(SendMessageA(main, skype.attachMsg, reinterpret_cast<WPARAM>(skype.window), 0), 1);
    EXPECT_TRUE(PumpUntil([&] { return skype.HasText("PROTOCOL"); }, 5000));
    // ... and takes notifications from it, not from another window.
    EXPECT_EQ(skype.Notify(main, skype.window, "USERSTATUS ONLINE"), 1);
    EXPECT_EQ(skype.Notify(main, skype.stranger, "USERSTATUS ONLINE"), 0);

    program.Exit();
    EXPECT_EQ(program.WaitForExit(10000), 0);
}

TEST(ShellProcess, HandsetArrivalAndRemovalFollowDeviceChanges) {
    FakeSkype skype;
    handsetsim::VirtualHandsetOptions options;
    options.pipePath = "\\\\.\\pipe\\voxlink-shell-test";
    options.setEnvironment = false;
    handsetsim::VirtualHandset handset(options);

    Program program("presence", "ShellTestPresence", options.pipePath);
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitForWindow(20000));
    HWND main = program.Window();
    std::printf("start-up: process start to main window %.0f ms\n", MsSince(program.started));

    // Without the handset the program does not look for Skype.
    PumpFor(1500);
    EXPECT_TRUE(skype.discovers.empty());

    // Plugged in (the handset broadcasts one device change): one discover
    // about 600 ms later, then the attach sequence.
    const double pluggedAt = MsSince(skype.start);
    ASSERT_TRUE(handset.Plug());
    ASSERT_TRUE(PumpUntil([&] { return skype.DiscoversFrom(main) >= 1; }, 5000));
    const double delay = skype.discovers.front().atMs - pluggedAt;
    std::printf("arrival: device change to discover %.0f ms\n", delay);
    EXPECT_GE(delay, 550.0);
    EXPECT_LT(delay, 2500.0);
    ASSERT_TRUE(PumpUntil([&] { return skype.HasText("PROTOCOL"); }, 5000));
    std::printf("arrival: device change to attach sequence %.0f ms\n",
                MsSince(skype.start) - pluggedAt);
    EXPECT_TRUE(handset.WaitForConnections(1, 5000));

    // A burst of device changes with the handset in place: one re-check, no
    // new discover.
    for (int i = 0; i < 5; ++i) {
        SendMessageA(main, WM_DEVICECHANGE, 7, 0);
    }
    PumpFor(1200);
    EXPECT_EQ(skype.DiscoversFrom(main), 1);

    // Unplugged: Skype gets its default devices back and the program detaches
    // (a discover naming no window).
    skype.texts.clear();
    handset.Unplug();
    ASSERT_TRUE(PumpUntil([&] { return skype.DiscoversFrom(nullptr) >= 1; }, 5000));
    EXPECT_TRUE(skype.HasText("SET AUDIO_IN"));
    EXPECT_TRUE(skype.HasText("SET AUDIO_OUT"));
    EXPECT_TRUE(skype.HasText("SET RINGER"));
    // The program forgets the Skype window right after its detach broadcast.
    EXPECT_TRUE(PumpUntil(
        [&] { return skype.Notify(main, skype.window, "USERSTATUS ONLINE") == 0; }, 2000));

    // Plugged again: the whole arrival branch, another discover.
    ASSERT_TRUE(handset.Plug());
    ASSERT_TRUE(PumpUntil([&] { return skype.DiscoversFrom(main) >= 2; }, 5000));

    program.Exit();
    EXPECT_EQ(program.WaitForExit(10000), 0);
}

TEST(ShellProcess, ExitReleasesSkypeAndEndsWithZero) {
    FakeSkype skype;
    handsetsim::VirtualHandsetOptions options;
    options.pipePath = "\\\\.\\pipe\\voxlink-shell-exit";
    options.setEnvironment = false;
    options.broadcastDeviceChange = false;
    handsetsim::VirtualHandset handset(options);
    ASSERT_TRUE(handset.Plug());

    Program program("exit", "ShellTestExit", options.pipePath);
    ASSERT_TRUE(program.Start());
    // The handset is there at start: the program attaches at once.
    ASSERT_TRUE(PumpUntil([&] { return skype.HasText("PROTOCOL"); }, 20000));
    std::printf("start-up: process start to attach sequence %.0f ms\n", MsSince(program.started));
    HWND main = program.Window();

    skype.texts.clear();
    HANDLE exitSignal = nullptr;
    program.Exit();
    // The outward exit signal exists while the window goes.
    PumpUntil(
        [&] {
            exitSignal = OpenMutexA(SYNCHRONIZE, FALSE, "Get exit signal");
            return exitSignal != nullptr;
        },
        3000);
    EXPECT_NE(exitSignal, nullptr);
    if (exitSignal != nullptr) {
        CloseHandle(exitSignal);
    }
    EXPECT_EQ(program.WaitForExit(10000), 0);
    EXPECT_TRUE(skype.HasText("SET AUDIO_IN"));
    EXPECT_TRUE(skype.HasText("SET AUDIO_OUT"));
    EXPECT_TRUE(skype.HasText("SET RINGER"));
    EXPECT_EQ(skype.DiscoversFrom(nullptr), 1);
    EXPECT_FALSE(IsWindow(main));
    // The handset was switched off and reset on the way out.
    bool sawOff = false;
    for (const auto& out : handset.Outputs()) {
        sawOff = sawOff || (out.bytes.size() > 3 && out.bytes[3] == 0x07);
    }
    EXPECT_TRUE(sawOff);
}

// The program's dialogs with a caption, in any nesting.
std::vector<HWND> DialogsOf(DWORD processId, const char* caption) {
    struct Search {
        DWORD processId;
        const char* caption;
        std::vector<HWND> found;
    } search{processId, caption, {}};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char cls[32] = {};
            char text[64] = {};
            GetClassNameA(window, cls, sizeof cls);
            GetWindowTextA(window, text, sizeof text);
            if (owner == s->processId && std::strcmp(cls, "#32770") == 0 &&
                std::strcmp(text, s->caption) == 0) {
                s->found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Posts a menu command to the program and waits until the one dialog it opens
// is shown.
HWND OpenByCommand(const Program& program, UINT command, const char* caption) {
    PostMessageA(program.Window(), WM_COMMAND, command, 0);
    HWND dialog = nullptr;
    PumpUntil(
        [&] {
            const std::vector<HWND> open = DialogsOf(program.process.dwProcessId, caption);
            dialog = open.size() == 1 ? open.front() : nullptr;
            // Shown only once WM_INITDIALOG has filled it.
            return dialog != nullptr && IsWindowVisible(dialog);
        },
        10000);
    return dialog;
}

// Ends a dialog with a button and waits until it is gone.
bool CloseWith(HWND dialog, int button) {
    PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(button), 0);
    return PumpUntil([&] { return !IsWindow(dialog); }, 10000);
}

// Started by a Japanese or a Turkish user (tests/win/in-locale.sh), the
// program speaks their language.
TEST(ShellProcess, AdvancedSettingsComesInTheUsersLanguage) {
    const std::pair<LANGID, const wchar_t*> captions[] = {{0x0411, L"\u8a73\u7d30\u8a2d\u5b9a"},
                                                          {0x041F, L"Geli\u015fmi\u015f Ayarlar"}};
    const LANGID language = GetUserDefaultUILanguage();
    const auto row = std::find_if(std::begin(captions), std::end(captions),
                                  [&](const auto& c) { return c.first == language; });
    if (row == std::end(captions)) {
        GTEST_SKIP() << "runs as a Japanese or Turkish user";
    }
    Program program("language", "ShellTestLanguage");
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitForWindow(20000));
    PostMessageA(program.Window(), WM_COMMAND, IDM_ADVANCED_SETTINGS, 0);
    EXPECT_TRUE(PumpUntil([&] { return FindWindowW(L"#32770", row->second) != nullptr; }, 10000))
        << std::hex << language;
    program.Exit();
    EXPECT_EQ(program.WaitForExit(10000), 0);
}

TEST(ShellProcess, MenuCommandsOpenEachDialogOnceOverTheRunningProgram) {
    Program program("dialogs", "ShellTestDialogs");
    program.Set("NAME", "CustomerINFO", "Test Line One\\nTest Line Two");
    // The program does not start without its tray icon where it asks for one.
    const bool tray = HasNotificationArea();
    program.Set("SYSTEM", "SupportSky", tray ? "1" : "0");
    // The first-run balloon has a test of its own; under Wine's tray an exit
    // right after it was once slow enough for the deadline.
    const DWORD shown = 1;
    RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Voxlink", "FirstRunNoticeShown", REG_DWORD,
                    &shown, sizeof shown);
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitForWindow(20000));
    const DWORD pid = program.process.dwProcessId;
    // Audio Device Settings applies its choice on closing and stays open while
    // Windows has no Sound Mapper settings to apply it to.
    HKEY soundMapper = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Multimedia\\Sound Mapper", 0,
                              nullptr, 0, KEY_READ, nullptr, &soundMapper, &disposition),
              ERROR_SUCCESS);
    RegCloseKey(soundMapper);

    // About: the customer text with its line break.
    HWND about = OpenByCommand(program, IDM_ABOUT, "About");
    ASSERT_NE(about, nullptr);
    char text[128] = {};
    GetDlgItemTextA(about, IDC_ABOUT_TEXT, text, sizeof text);
    EXPECT_STREQ(text, "Test Line One\r\nTest Line Two");
    EXPECT_EQ(GetWindow(about, GW_OWNER), program.Window());
    ASSERT_TRUE(CloseWith(about, IDOK));

    // Volume Control and Advanced Settings: a second command while the dialog
    // is open shows no second one; after it closes the command opens it again.
    for (const auto& [command, caption] :
         {std::pair<UINT, const char*>{IDM_VOLUME_CONTROL, "Volume Control"},
          std::pair<UINT, const char*>{IDM_ADVANCED_SETTINGS, "Advanced Settings"},
          std::pair<UINT, const char*>{IDM_AUDIO_DEVICE_SETTINGS, "Audio Device Settings"}}) {
        HWND dialog = OpenByCommand(program, command, caption);
        ASSERT_NE(dialog, nullptr) << caption;
        PostMessageA(program.Window(), WM_COMMAND, command, 0);
        PumpFor(700);
        EXPECT_EQ(DialogsOf(pid, caption).size(), 1u) << caption;
        ASSERT_TRUE(CloseWith(dialog, IDCANCEL)) << caption;
        dialog = OpenByCommand(program, command, caption);
        ASSERT_NE(dialog, nullptr) << caption;
        ASSERT_TRUE(CloseWith(dialog, IDOK)) << caption;
    }

    // The settings the program read are the ones Advanced Settings shows.
    HWND advanced = OpenByCommand(program, IDM_ADVANCED_SETTINGS, "Advanced Settings");
    ASSERT_NE(advanced, nullptr);
    EXPECT_EQ(IsDlgButtonChecked(advanced, IDC_AUTO_RUN_SKYPE), BST_UNCHECKED);
    ASSERT_TRUE(CloseWith(advanced, IDOK));

    if (tray) {
        // A double click on the tray icon opens the default item, Advanced
        // Settings (the event and the icon's id as the shell's version 4 sends them).
        PostMessageA(program.Window(), 0x800A, 0, MAKELPARAM(WM_LBUTTONDBLCLK, IDR_TRAY_MENU));
    } else {
        PostMessageA(program.Window(), WM_COMMAND, IDM_ADVANCED_SETTINGS, 0);
    }
    ASSERT_TRUE(PumpUntil([&] { return DialogsOf(pid, "Advanced Settings").size() == 1; }, 10000));

    // Exit while a dialog is open: the dialog goes with the window and the
    // program still ends cleanly.
    program.Exit();
    EXPECT_EQ(program.WaitForExit(10000), 0);
    EXPECT_TRUE(DialogsOf(pid, "Advanced Settings").empty());
    if (disposition == REG_CREATED_NEW_KEY) {
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Microsoft\\Multimedia\\Sound Mapper");
    }
}

// What the user changes in Advanced Settings is there at the next start, kept
// under HKCU\Software\Voxlink (removed here before and after); the INI beside
// the program is never written. The first run's log folder cannot be made (a
// file stands where it would be): the program runs without a log.
TEST(ShellProcess, AdvancedSettingsChangesSurviveARestartAndTheIniStaysAsItWas) {
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Voxlink");
    Program program("choices", "ShellTestChoices");
    program.Set("RINGS", "NUMOFRINGS", "4");
    const auto iniText = [&] {
        std::string text(4096, '\0');
        FILE* file = std::fopen(program.ini.c_str(), "rb");
        text.resize(file != nullptr ? std::fread(text.data(), 1, text.size(), file) : 0);
        if (file != nullptr) {
            std::fclose(file);
        }
        return text;
    };
    const std::string before = iniText();
    const std::string blocker = program.folder + "no-log-folder";
    std::fclose(std::fopen(blocker.c_str(), "wb"));
    char saved[MAX_PATH] = {};
    const char* localAppData =
        GetEnvironmentVariableA("LOCALAPPDATA", saved, MAX_PATH) > 0 ? saved : nullptr;
    for (int run = 0; run < 2; ++run) {
        SetEnvironmentVariableA("LOCALAPPDATA", run == 0 ? blocker.c_str() : localAppData);
        ASSERT_TRUE(program.Start());
        SetEnvironmentVariableA("LOCALAPPDATA", localAppData);
        ASSERT_TRUE(program.WaitForWindow(20000));
        HWND advanced = OpenByCommand(program, IDM_ADVANCED_SETTINGS, "Advanced Settings");
        ASSERT_NE(advanced, nullptr);
        EXPECT_EQ(SendDlgItemMessageA(advanced, IDC_RING_SELECTION, CB_GETCURSEL, 0, 0), run * 2);
        EXPECT_EQ(IsDlgButtonChecked(advanced, IDC_AUTO_SWITCH_AUDIO), static_cast<UINT>(run));
        if (run == 0) {
            SendDlgItemMessageA(advanced, IDC_RING_SELECTION, CB_SETCURSEL, 2, 0);
            SendMessageA(advanced, WM_COMMAND, MAKEWPARAM(IDC_RING_SELECTION, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(advanced, IDC_RING_SELECTION)));
            CheckDlgButton(advanced, IDC_AUTO_SWITCH_AUDIO, BST_CHECKED);
        }
        ASSERT_TRUE(CloseWith(advanced, IDOK));
        program.Exit();
        ASSERT_EQ(program.WaitForExit(10000), 0);
        CloseHandle(program.process.hProcess);
        CloseHandle(program.process.hThread);
        program.process = {};
    }
    EXPECT_EQ(iniText(), before);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Voxlink");
}

// Lines of the launch log written by launch_stub.exe.
int LaunchCount(const std::string& log) {
    int lines = 0;
    if (FILE* file = std::fopen(log.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, file) != nullptr) {
            lines += std::strstr(line, "launch_stub.exe") != nullptr ? 1 : 0;
        }
        std::fclose(file);
    }
    return lines;
}

TEST(ShellProcess, ArrivalStartsSkypeOnlyWhenItsWindowIsMissing) {
    constexpr char kKey[] = "Software\\Skype\\Phone";
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string log = std::string(temp) + "voxshell_launch.log";
    DeleteFileA(log.c_str());
    const std::string stub = BinFolder() + "launch_stub.exe";
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExA(key, "SkypePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(stub.c_str()),
                   static_cast<DWORD>(stub.size() + 1));
    RegCloseKey(key);
    // The program and the client it starts inherit where the stub writes.
    SetEnvironmentVariableA("VOXLINK_LAUNCH_LOG", log.c_str());

    FakeSkype skype;
    skype.attachOnDiscover = false;
    handsetsim::VirtualHandsetOptions options;
    options.pipePath = "\\\\.\\pipe\\voxlink-shell-launch";
    options.setEnvironment = false;
    handsetsim::VirtualHandset handset(options);
    Program program("launch", "ShellTestLaunch", options.pipePath, true);
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitForWindow(20000));
    HWND main = program.Window();
    PumpFor(1000);
    ASSERT_TRUE(skype.discovers.empty());

    // Arrival without a client main window: the client is started.
    ASSERT_TRUE(handset.Plug());
    ASSERT_TRUE(PumpUntil([&] { return skype.DiscoversFrom(main) >= 1; }, 5000));
    EXPECT_TRUE(PumpUntil([&] { return LaunchCount(log) == 1; }, 10000));

    // With the client's main window there, the next arrival starts nothing.
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "tskMainForm.UnicodeClass";
    RegisterClassA(&wc);
    HWND client = CreateWindowExA(0, wc.lpszClassName, "Skype", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    handset.Unplug();
    ASSERT_TRUE(PumpUntil([&] { return skype.DiscoversFrom(nullptr) >= 1; }, 5000));
    ASSERT_TRUE(handset.Plug());
    ASSERT_TRUE(PumpUntil([&] { return skype.DiscoversFrom(main) >= 2; }, 5000));
    PumpFor(1500);
    EXPECT_EQ(LaunchCount(log), 1);

    program.Exit();
    EXPECT_EQ(program.WaitForExit(10000), 0);
    DestroyWindow(client);
    SetEnvironmentVariableA("VOXLINK_LAUNCH_LOG", nullptr);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

}  // namespace
