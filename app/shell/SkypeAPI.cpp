// Program entry and the hidden main window: the endpoint of the Skype
// transport, the target of handset input, the owner of the tray icon and the
// receiver of device-change and power notifications.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "CodePageText.h"
#include "CrashReport.h"
#include "ExitDeadline.h"
#include "ExitStage.h"
#include "I_AccessSkypeAPI.h"
#include "Shell.h"
#include "ShellGlobals.h"
#include "ShellWiring.h"
#include "Report.h"
#include "UserStore.h"
#include "VoxlinkResources.h"
#include "WinUserSettings.h"

static_assert(kCrashOfferText == IDS_CRASH_OFFER && kCrashNoMailText == IDS_CRASH_NO_MAIL &&
              kCrashNoMailSendToText == IDS_CRASH_NO_MAIL_SEND_TO);

namespace {

constexpr UINT kMainWndClassString = 3;
constexpr char kMainWndClassName[] = "MainWndClass";

CShell* g_pShell = nullptr;

// The tray icon is added again when the taskbar is (re)created, and retried
// for a while when it could not be added at start-up.
UINT g_uTaskbarCreatedMsg = 0;
constexpr UINT_PTR kTrayRetryTimer = 32770;
constexpr UINT kTrayRetryMs = 2000;
constexpr UINT kTrayRetries = 60;  // two minutes
UINT g_nTrayRetries = 0;

// Posted once start-up has finished: the last run's crash report is offered
// while the handset and the Skype link already work.
constexpr UINT WM_OFFER_CRASH_REPORT = 0x800C;  // WM_APP + 12

// Told once per user, the first time the icon is there, where Voxlink is (a
// new icon on Windows 11 lands in the overflow area); remembered with the
// user's other values.
constexpr char kNoticeShownValue[] = "FirstRunNoticeShown";

void ShowFirstRunNotice() {
    CWinUserSettings settings;
    unsigned int shown = 0;
    if (settings.ReadNumber(kNoticeShownValue, &shown) == IUserSettings::Read::Found &&
        shown != 0) {
        return;
    }
    const std::string text =
        ProgramText(IDS_FIRST_RUN_NOTICE, "Voxlink is running. Right-click its icon for settings.");
    // Not now (quiet time, a presentation, a full-screen program): next time.
    if (!ProgramTrayIcon().ShowNotice(Widen(text, CP_UTF8).c_str())) {
        return;
    }
    settings.WriteNumber(kNoticeShownValue, 1);
    std::puts("Tray: the first-run notice was shown.");
    std::fflush(stdout);
}

// Registered only once the program has run this long, so that a program that
// fails at start is not started again and again.
constexpr UINT_PTR kRestartTimer = 32772;
constexpr UINT kRestartAfterMs = 60000;

// Adds the icon again after "TaskbarCreated"; when that fails (the new
// taskbar is not ready yet) it is retried as at logon.
void RestoreTrayIcon(HWND hWnd) {
    if (!ProgramTrayIcon().Restore()) {
        g_nTrayRetries = 0;
        SetTimer(hWnd, kTrayRetryTimer, kTrayRetryMs, nullptr);
        return;
    }
    // The new taskbar may sit on a monitor of another DPI.
    ProgramTrayIcon().ReloadPicture();
}

// True when the message was one of the tray icon's own.
bool KeepTrayIcon(HWND hWnd, UINT message, WPARAM wParam) {
    if (g_uTaskbarCreatedMsg != 0 && message == g_uTaskbarCreatedMsg) {
        RestoreTrayIcon(hWnd);
        return true;
    }
    if (message == WM_TIMER && wParam == kTrayRetryTimer) {
        if (ProgramTrayIcon().Restore()) {
            KillTimer(hWnd, kTrayRetryTimer);
            ShowFirstRunNotice();
        } else if (++g_nTrayRetries >= kTrayRetries) {
            KillTimer(hWnd, kTrayRetryTimer);
        }
        return true;
    }
    if (message == WM_TIMER && wParam == kRestartTimer) {
        KillTimer(hWnd, kRestartTimer);
        // An installer that closes Voxlink through Restart Manager starts it
        // again; a crash or a hang does not.
        RegisterApplicationRestart(L"", RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
        return true;
    }
    if (message == WM_DPICHANGED || message == WM_DISPLAYCHANGE ||
        (message == WM_SETTINGCHANGE && wParam == SPI_SETNONCLIENTMETRICS)) {
        ProgramTrayIcon().ReloadPicture();
        return false;  // the shell and the default handling see them too
    }
    return false;
}

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(hWnd, &paint);
        EndPaint(hWnd, &paint);
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
    if ((message == WM_COMMAND && LOWORD(wParam) == kCmdExit) ||
        (message == WM_ENDSESSION && wParam != 0)) {
        ArmExitDeadline();
        // The watch reaches the Skype link, which the shutdown deletes.
        StopConfirmationWindowWatch();
    }
    if (KeepTrayIcon(hWnd, message, wParam)) {
        return 0;
    }
    if (message == WM_OFFER_CRASH_REPORT) {
        OfferCrashReport(ProgramSupportEmail());
        return 0;
    }
    if (g_pShell != nullptr) {
        const char* text = nullptr;
        if (message == WM_COPYDATA && lParam != 0) {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            // A notification is a NUL-terminated text; anything else is not read.
            if (data->lpData != nullptr && data->cbData > 0 &&
                static_cast<const char*>(data->lpData)[data->cbData - 1] == '\0') {
                text = static_cast<const char*>(data->lpData);
            }
        }
        std::intptr_t result = 0;
        if (g_pShell->OnMessage(message, wParam, lParam, text, &result)) {
            return result;
        }
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

std::string MainWindowClassName(HINSTANCE instance) {
    char name[64] = {};
    if (LoadStringA(instance, kMainWndClassString, name, sizeof name) > 0) {
        return name;
    }
    return kMainWndClassName;
}

// path: UTF-8, as the configuration's texts are.
HICON LoadIconFile(const char* path) {
    wchar_t widePath[MAX_PATH] = {};
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, widePath, MAX_PATH) == 0) {
        return nullptr;
    }
    return static_cast<HICON>(LoadImageW(nullptr, widePath, IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
}

// One program per session and window title: the mutex is taken before the
// program opens the handset or attaches to Skype, so that two copies started
// together never both handle the handset's keys.
HANDLE TakeInstanceMutex(const char* title) {
    std::string name = std::string("Local\\Voxlink-") + title;
    for (std::size_t i = 6; i < name.size(); ++i) {
        if (name[i] == '\\') {
            name[i] = '_';
        }
    }
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return nullptr;
    }
    return mutex != nullptr ? mutex : INVALID_HANDLE_VALUE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR, int) {
    InstallCrashReporter("SkypeAPI -> WinMain");
    // Once for the main thread, before anything may choose another apartment:
    // the audio endpoints' objects are shared with the program's other
    // threads, which join the same multithreaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);

    g_uAttachMsg = RegisterWindowMessageA("SkypeControlAPIAttach");
    g_uDiscoverMsg = RegisterWindowMessageA("SkypeControlAPIDiscover");
    g_uTaskbarCreatedMsg = RegisterWindowMessageA("TaskbarCreated");
    if (g_uAttachMsg == 0 || g_uDiscoverMsg == 0) {
        return 0;
    }

    static CShell shell(ProgramShellPorts());
    IShellHandset& handset = *ProgramShellPorts().handset;
    handset.SetLinkOpen(0);
    g_pSkypeAPI = CreateProgramSkypeLink();
    I_AccessSkypeAPI& link = *g_pSkypeAPI.load();

    const std::string programFolder = ProgramFolderPath();
    // The tones are played by bare file name, which Windows looks up from the
    // current folder; started from the Run key at logon, or from any other
    // folder, the program would not find them beside itself.
    SetCurrentDirectoryA(programFolder.c_str());
    shell.SetProgramFolder(programFolder);
    shell.SetAttachMessage(g_uAttachMsg);
    shell.LoadConfiguration();

    // One program per window title: a second start with the same APINAME
    // ends here, quietly (a copy that is already running goes on as it is).
    char title[260] = {};
    link.GetWindowName(title, sizeof title);
    const std::string className = MainWindowClassName(hInstance);
    HANDLE instance = TakeInstanceMutex(title);
    if (instance == nullptr || FindWindowA(className.c_str(), title) != nullptr) {
        DeleteSkypeLink();
        return 0;
    }
    StartProgramDiagnostics();

    char iconPath[260] = {};
    link.GetFileNoHW(iconPath, sizeof iconPath);
    if (hPrevInstance == nullptr) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.style = 0;
        wc.lpfnWndProc = MainWndProc;
        wc.hInstance = hInstance;
        wc.hIcon = LoadIconFile(iconPath);
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = className.c_str();
        if (RegisterClassExA(&wc) == 0) {
            DeleteSkypeLink();
            return 0;
        }
    }

    g_hInstance = hInstance;
    g_pShell = &shell;
    g_hMainWnd = CreateWindowExA(0, className.c_str(), title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                 hInstance, nullptr);
    if (g_hMainWnd == nullptr) {
        DeleteSkypeLink();
        return 0;
    }
    SetReportOwner(g_hMainWnd);
    SetCrashMainWindow(g_hMainWnd);
    if (shell.Switches().supportSky == 1) {
        // The tray keeps its picture and destroys it once another replaces it.
        if (ProgramTrayIcon().Create(hInstance, g_hMainWnd, WM_TRAYNOTIFY, title, iconPath,
                                     kTrayMenuId, FALSE)) {
            ShowFirstRunNotice();
        } else {
            // Started at logon before the taskbar exists: the program works
            // without its icon meanwhile and adds it as soon as it can.
            SetTimer(g_hMainWnd, kTrayRetryTimer, kTrayRetryMs, nullptr);
        }
    }
    handset.SetLinkOpen(0);

    if (!shell.StartupBinding()) {
        return 0;
    }
    if (UserStore* users = g_pUserStore.load()) {
        users->SetSkypeCommandSender(ProgramCommandSender());
    }
    StartConfirmationWindowWatch();
    SetTimer(g_hMainWnd, kRestartTimer, kRestartAfterMs, nullptr);
    PostMessageA(g_hMainWnd, WM_OFFER_CRASH_REPORT, 0, 0);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    // However the loop ended, the way out has a bound.
    ArmExitDeadline();
    StopConfirmationWindowWatch();
    shell.Shutdown();
    SetExitStage("destroying the main window");
    if (g_hMainWnd != nullptr) {
        DestroyWindow(g_hMainWnd);
        g_hMainWnd = nullptr;
    }
    g_pShell = nullptr;
    UnregisterClassA(className.c_str(), hInstance);
    StopProgramDiagnostics();
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    EndCrashHandling();
    SetExitStage("ending the process (the handset object and the static objects)");
    return 0;
}
