// The real Voxlink.exe as a separate process, for the tests and tools that
// drive it from outside: one copy of the program in a folder of its own with
// its own VoxlinkAPI.ini, and waits that keep serving this thread's windows.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace voxtest {

using Clock = std::chrono::steady_clock;

inline std::string BinFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Whether the program runs where there is a notification area: only Wine's
// X11 driver has one (the test bed's VOXLINK_WINE_DRIVER=x11).
inline bool HasNotificationArea() {
    char driver[16] = {};
    GetEnvironmentVariableA("VOXLINK_WINE_DRIVER", driver, sizeof driver);
    return std::string(driver) == "x11";
}

inline double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Serves this thread's windows until done() or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) {
            return true;
        }
        if (Clock::now() >= end) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

// One copy of the program in a folder of its own.
class Program {
public:
    Program(const std::string& name, const std::string& apiName, const std::string& pipe = "",
            bool autoRunSkype = false) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "voxshell_" + name + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
        for (const char* file : {"Voxlink.exe", "VoxlinkCrashHandler.exe", "HsdHIDCtrl.dll",
                                 "HsdFontProcessLib.dll"}) {
            CopyFileA((BinFolder() + file).c_str(), (folder + file).c_str(), FALSE);
        }
        ini = folder + "VoxlinkAPI.ini";
        DeleteFileA(ini.c_str());
        WritePrivateProfileStringA("SYSTEM", "SupportSky", "0", ini.c_str());
        WritePrivateProfileStringA("SYSTEM", "SupportAutoRunSkype", autoRunSkype ? "1" : "0",
                                   ini.c_str());
        WritePrivateProfileStringA("NAME", "APINAME", apiName.c_str(), ini.c_str());
        title = apiName;
        pipePath = pipe;
    }

    // One setting of the copy's VoxlinkAPI.ini; before Start.
    void Set(const char* section, const char* key, const std::string& value) {
        WritePrivateProfileStringA(section, key, value.c_str(), ini.c_str());
    }

    // The generated font tables (*.bin beside the binaries), for a copy that
    // shows names on the handset's display.
    void CopyFontData() {
        WIN32_FIND_DATAA found{};
        HANDLE search = FindFirstFileA((BinFolder() + "*.bin").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return;
        }
        do {
            CopyFileA((BinFolder() + found.cFileName).c_str(), (folder + found.cFileName).c_str(),
                      FALSE);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }

    bool Start() {
        // The program finds the virtual handset's pipe through its environment.
        SetEnvironmentVariableA("VOXLINK_VIRTUAL_HANDSET",
                                pipePath.empty() ? nullptr : pipePath.c_str());
        std::string command = "\"" + folder + "Voxlink.exe\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // The program's trace lines go to a file when one is named.
        HANDLE log = INVALID_HANDLE_VALUE;
        if (!logPath.empty()) {
            SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
            log = CreateFileA(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (log != INVALID_HANDLE_VALUE) {
                startup.dwFlags = STARTF_USESTDHANDLES;
                startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
                startup.hStdOutput = log;
                startup.hStdError = log;
            }
        }
        started = Clock::now();
        const BOOL ok = CreateProcessA(nullptr, command.data(), nullptr, nullptr,
                                       log != INVALID_HANDLE_VALUE ? TRUE : FALSE, 0, nullptr,
                                       folder.c_str(), &startup, &process);
        if (!ok) {
            // Seen once under load, before the program ran: say why.
            std::fprintf(stderr, "%s did not start: error %lu\n", command.c_str(),
                         static_cast<unsigned long>(GetLastError()));
        }
        if (log != INVALID_HANDLE_VALUE) {
            CloseHandle(log);
        }
        SetEnvironmentVariableA("VOXLINK_VIRTUAL_HANDSET", nullptr);
        return ok != 0;
    }

    HWND Window() const { return FindWindowA("MainWndClass", title.c_str()); }
    bool WaitForWindow(int timeoutMs) {
        return PumpUntil([&] { return Window() != nullptr; }, timeoutMs);
    }
    // The exit code, or -1 while it runs after the timeout.
    long WaitForExit(int timeoutMs) {
        long code = -1;
        PumpUntil(
            [&] {
                if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
                    return false;
                }
                DWORD c = 0;
                GetExitCodeProcess(process.hProcess, &c);
                code = static_cast<long>(c);
                return true;
            },
            timeoutMs);
        return code;
    }
    void Exit() {
        if (HWND w = Window()) {
            PostMessageA(w, WM_COMMAND, 40001, 0);
        }
    }

    ~Program() {
        if (process.hProcess != nullptr) {
            if (WaitForExit(0) == -1) {
                Exit();
                if (WaitForExit(5000) == -1) {
                    TerminateProcess(process.hProcess, 1);
                }
            }
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }

    std::string folder;
    std::string ini;
    std::string logPath;  // empty: the program writes to this process's console
    std::string title;
    std::string pipePath;
    PROCESS_INFORMATION process{};
    Clock::time_point started;
};

}  // namespace voxtest
