// The Skype link over the real wire: a hidden main window in this process,
// a Skype stand-in in another (skype_peer.exe), the discover broadcast, the
// attach reply, WM_COPYDATA texts both ways, a text sent while no Skype
// window is attached, and the release. Also measures the link's latencies.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AccessSkypeAPI.h"
#include "LinkFakes.h"
#include "ShellGlobals.h"
#include "WinSkypeWire.h"

namespace {

CAccessSkypeAPI* g_link = nullptr;
std::vector<std::string> g_rejected;  // WM_COPYDATA texts from other senders

// The main window's part of the transport, as the shell's window procedure has it.
LRESULT CALLBACK MainWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == g_uAttachMsg && message != 0) {
        if (lParam == 0) {
            g_hSkypeApiWnd = reinterpret_cast<HWND>(wParam);
            return 1;
        }
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
    if (message == WM_COPYDATA) {
        const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (reinterpret_cast<HWND>(wParam) == g_hSkypeApiWnd.load() && g_link != nullptr) {
            g_link->AddToMessageInQueue(static_cast<const char*>(record->lpData));
            return 1;
        }
        g_rejected.emplace_back(static_cast<const char*>(record->lpData));
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

template <typename Condition>
bool PumpUntil(Condition done, DWORD timeoutMs = 10000) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    MSG msg;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
    }
    return true;
}

std::string ExeFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.resize(folder.find_last_of("\\/") + 1);
    return folder;
}

long long Counter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double CounterToMicroseconds(long long ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) * 1e6 / static_cast<double>(frequency.QuadPart);
}

void Report(const char* what, std::vector<double> microseconds) {
    std::sort(microseconds.begin(), microseconds.end());
    std::printf("[ measure  ] %s: median %.0f us, worst %.0f us (%zu samples)\n", what,
                microseconds[microseconds.size() / 2], microseconds.back(), microseconds.size());
}

// Echo lines that reached the link from the peer, in order: "<counter> <text>".
std::vector<std::string> Echoes(EventLog& log) {
    std::vector<std::string> echoes;
    for (const std::string& line : log.With("trace:Message from Skype: ECHO ")) {
        echoes.push_back(line.substr(0, line.size() - 1));
    }
    return echoes;
}

std::string EchoText(const std::string& echo) {
    return echo.substr(echo.find(' ') + 1);
}

TEST(SkypeWire, AttachCommandsNotificationsAndReleaseBetweenTwoProcesses) {
    g_uAttachMsg = RegisterWindowMessageA("SkypeControlAPIAttach");
    g_uDiscoverMsg = RegisterWindowMessageA("SkypeControlAPIDiscover");
    WNDCLASSA wc{};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VoxlinkWireTestMain";
    ASSERT_NE(RegisterClassA(&wc), 0);
    g_hMainWnd = CreateWindowExA(0, wc.lpszClassName, "main", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                 nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(g_hMainWnd, nullptr);

    EventLog log;
    CWinSkypeWire wire;
    CWinSkypeClientWindows windows;
    FakeCallStore calls(log);
    FakeUserStore users(log);
    FakeHandset handset(log);
    FakeAudio audio(log);
    FakeShell shell(log);
    FakeProfile profile;
    FakeTrace trace(log);
    SkypeLinkPorts ports{&wire,  &windows, &calls,   &users,  &handset,
                         &audio, &shell,   &profile, nullptr, &trace};
    auto link = std::make_unique<CAccessSkypeAPI>(ports);
    g_link = link.get();
    const std::string refused = "trace:1. Send command is failed....\n";

    // Nothing is attached yet: the text is refused and dropped.
    link->AddToMessageOutQueue("BEFORE ATTACH");
    ASSERT_TRUE(PumpUntil([&] { return log.With(refused).size() == 1; }));

    const std::string readyName = "VoxlinkSkypePeerReady" + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    std::string commandLine = "\"" + ExeFolder() + "skype_peer.exe\" " + readyName;
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    ASSERT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);

    // Discover: the broadcast names the main window; the peer attaches.
    link->StartQueueAPIThread(QAPI_DISCOVER);
    ASSERT_TRUE(PumpUntil([] { return g_hSkypeApiWnd.load() != nullptr; }));
    EXPECT_EQ(g_hSkypeApiWnd.load(), FindWindowA("VoxlinkSkypePeer", nullptr));

    // Commands reach the peer framed right and in order; its replies come back
    // as notifications through the link's queue.
    const std::vector<std::string> commands = {"PROTOCOL 5", "GET USERSTATUS",
                                               "GET USER \xC3\xA9mile FULLNAME"};
    for (const std::string& command : commands) {
        link->AddToMessageOutQueue(command.c_str());
    }
    ASSERT_TRUE(PumpUntil([&] { return Echoes(log).size() == commands.size(); }));
    std::vector<std::string> echoed;
    for (const std::string& echo : Echoes(log)) {
        echoed.push_back(EchoText(echo));
    }
    EXPECT_EQ(echoed, commands);
    EXPECT_TRUE(g_rejected.empty());
    EXPECT_EQ(log.With(refused).size(), 1u) << "an attached text was refused";

    // Delivery latency: from AddToMessageOutQueue to the peer's window procedure.
    std::vector<double> delivery;
    std::vector<double> queueing;
    for (int i = 0; i < 1000; ++i) {
        const std::string text = "LATENCY " + std::to_string(i);
        const std::size_t before = Echoes(log).size();
        const long long start = Counter();
        link->AddToMessageOutQueue(text.c_str());
        queueing.push_back(CounterToMicroseconds(Counter() - start));
        ASSERT_TRUE(PumpUntil([&] { return Echoes(log).size() > before; }));
        const std::string echo = Echoes(log).back();
        ASSERT_EQ(EchoText(echo), text);
        delivery.push_back(CounterToMicroseconds(std::stoll(echo) - start));
    }
    Report("AddToMessageOutQueue to delivery in another process", delivery);
    Report("AddToMessageOutQueue call itself (queues, starts the command thread)", queueing);

    // Dispatch latency: from AddToMessageInQueue to the notification thread taking it.
    std::vector<double> dispatch;
    for (int i = 0; i < 1000; ++i) {
        const std::string text = "PONG " + std::to_string(i);
        const auto start = std::chrono::steady_clock::now();
        link->AddToMessageInQueue(text.c_str());
        const std::string line = "trace:Message from Skype: " + text + "\n";
        std::chrono::steady_clock::time_point taken;
        ASSERT_TRUE(log.WaitFor(line, 1));
        for (const Event& e : log.Events()) {
            if (e.what == line) {
                taken = e.time;
            }
        }
        dispatch.push_back(std::chrono::duration<double, std::micro>(taken - start).count());
    }
    Report("AddToMessageInQueue to dispatch", dispatch);

    // Release: the three resets reach the peer, then the broadcast names no
    // window and the link forgets the peer's.
    const std::size_t before = Echoes(log).size();
    link->StartQueueAPIThread(QAPI_RELEASE);
    ASSERT_TRUE(PumpUntil([] { return g_hSkypeApiWnd.load() == nullptr; }));
    const std::vector<std::string> all = Echoes(log);
    std::vector<std::string> resets;
    for (std::size_t i = before; i < all.size(); ++i) {
        resets.push_back(EchoText(all[i]));
    }
    EXPECT_EQ(resets, (std::vector<std::string>{"SET AUDIO_IN", "SET AUDIO_OUT", "SET RINGER"}));

    link->AddToMessageOutQueue("AFTER RELEASE");
    ASSERT_TRUE(PumpUntil([&] { return log.With(refused).size() == 2; }));

    link.reset();
    g_link = nullptr;
    HWND peer = FindWindowA("VoxlinkSkypePeer", nullptr);
    ASSERT_NE(peer, nullptr);
    EXPECT_TRUE(SendCopyDataText(peer, g_hMainWnd, "QUIT"));
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD peerExit = 99;
    GetExitCodeProcess(pi.hProcess, &peerExit);
    EXPECT_EQ(peerExit, 0u) << "20: a text arrived framed wrong; 21: no release broadcast";
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(ready);
    DestroyWindow(g_hMainWnd);
    g_hMainWnd = nullptr;
}

}  // namespace
