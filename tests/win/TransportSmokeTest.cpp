// Proves, between two real processes, the window-message transport the
// program relies on to talk to the Skype client: the registered discover and
// attach messages, a broadcast, and NUL-terminated texts in WM_COPYDATA.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr char kToPeer[] = "PROTOCOL 5";
constexpr char kFromPeer[] = "CONNSTATUS ONLINE";

UINT g_attachMsg = 0;
UINT g_discoverMsg = 0;
HWND g_attachedPeer = nullptr;
LPARAM g_attachStatus = -1;
bool g_replyArrived = false;
HWND g_replySender = nullptr;
DWORD g_replySize = 0;
std::string g_replyText;

LRESULT CALLBACK ClientWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == g_attachMsg && message != 0) {
        g_attachedPeer = reinterpret_cast<HWND>(wParam);
        g_attachStatus = lParam;
        return 1;
    }
    if (message == WM_COPYDATA) {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        g_replyArrived = true;
        g_replySender = reinterpret_cast<HWND>(wParam);
        g_replySize = cds->cbData;
        g_replyText.assign(static_cast<const char*>(cds->lpData), cds->cbData);
        return TRUE;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// Dispatches this thread's messages until the condition holds or time runs out.
template <typename Condition>
bool PumpUntil(Condition done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    MSG msg;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_ALLINPUT);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
    }
    return true;
}

std::string PeerPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.resize(folder.find_last_of("\\/") + 1);
    return folder + "transport_peer.exe";
}

TEST(WindowMessageTransport, AttachAndTextsBothWaysBetweenTwoProcesses) {
    g_attachMsg = RegisterWindowMessageA("SkypeControlAPIAttach");
    g_discoverMsg = RegisterWindowMessageA("SkypeControlAPIDiscover");
    ASSERT_NE(g_attachMsg, 0u);
    ASSERT_NE(g_discoverMsg, 0u);
    ASSERT_NE(g_attachMsg, g_discoverMsg);

    WNDCLASSA wc{};
    wc.lpfnWndProc = ClientWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VoxlinkTransportClient";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND client = CreateWindowExA(0, wc.lpszClassName, "client", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(client, nullptr) << "CreateWindowExA failed: " << GetLastError();

    const std::string readyName =
        "VoxlinkTransportPeerReady" + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    ASSERT_NE(ready, nullptr);

    std::string commandLine =
        "\"" + PeerPath() + "\" " + readyName + " \"" + kToPeer + "\" \"" + kFromPeer + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi))
        << "cannot start " << PeerPath() << ": " << GetLastError();
    ASSERT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0) << "peer never became ready";

    // The peer answers the broadcast with the attach message naming its window.
    SendMessageA(HWND_BROADCAST, g_discoverMsg, reinterpret_cast<WPARAM>(client), 0);
    ASSERT_TRUE(PumpUntil([] { return g_attachedPeer != nullptr; }, 10000));
    EXPECT_EQ(g_attachedPeer, FindWindowA("VoxlinkTransportPeer", nullptr));
    EXPECT_EQ(g_attachStatus, 0);

    // A NUL-terminated text each way; the peer checks what it receives.
    COPYDATASTRUCT cds{};
    cds.cbData = static_cast<DWORD>(std::strlen(kToPeer) + 1);
    cds.lpData = const_cast<char*>(kToPeer);
    EXPECT_TRUE(SendMessageA(g_attachedPeer, WM_COPYDATA, reinterpret_cast<WPARAM>(client),
                             reinterpret_cast<LPARAM>(&cds)));

    ASSERT_TRUE(PumpUntil([] { return g_replyArrived; }, 10000));
    EXPECT_EQ(g_replySender, g_attachedPeer);
    EXPECT_EQ(g_replySize, std::strlen(kFromPeer) + 1);
    EXPECT_EQ(g_replyText, std::string(kFromPeer, sizeof(kFromPeer)));

    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD peerExit = 99;
    GetExitCodeProcess(pi.hProcess, &peerExit);
    EXPECT_EQ(peerExit, 0u) << "the peer saw a damaged text or none (see TransportPeer.cpp)";

    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(ready);
    DestroyWindow(client);
}

}  // namespace
