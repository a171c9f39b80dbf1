// A stand-in for the Skype client's API window, in a process of its own:
// answers the discover broadcast with the attach message, checks the framing
// of every WM_COPYDATA text and echoes it back as
//   "ECHO <performance counter at receipt> <text>".
// The text "QUIT" ends it.
//   skype_peer <ready event name>
// Exit code 0: every text was framed right and the release broadcast (no
// window named) arrived; 20: a text was framed wrong; 21: no release seen.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

namespace {

constexpr UINT kAttach = WM_APP + 1;
constexpr UINT kEcho = WM_APP + 2;

UINT g_attachMsg = 0;
UINT g_discoverMsg = 0;
HWND g_client = nullptr;
bool g_framingBroken = false;
bool g_releaseSeen = false;
std::deque<std::string> g_echoes;

LRESULT CALLBACK PeerWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == g_discoverMsg && message != 0) {
        if (wParam == 0) {
            g_releaseSeen = true;
        } else {
            g_client = reinterpret_cast<HWND>(wParam);
            PostMessageA(hWnd, kAttach, 0, 0);
        }
        return 1;
    }
    switch (message) {
        case kAttach:
            SendMessageA(g_client, g_attachMsg, reinterpret_cast<WPARAM>(hWnd), 0);
            return 0;
        case WM_COPYDATA: {
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            const char* text = static_cast<const char*>(record->lpData);
            if (record->dwData != 0 || record->cbData == 0 || text == nullptr ||
                text[record->cbData - 1] != '\0' || std::strlen(text) + 1 != record->cbData ||
                reinterpret_cast<HWND>(wParam) != g_client) {
                g_framingBroken = true;
                return FALSE;
            }
            if (std::strcmp(text, "QUIT") == 0) {
                PostMessageA(hWnd, WM_CLOSE, 0, 0);
                return TRUE;
            }
            char stamp[32];
            std::snprintf(stamp, sizeof(stamp), "%lld", static_cast<long long>(now.QuadPart));
            g_echoes.push_back(std::string("ECHO ") + stamp + " " + text);
            PostMessageA(hWnd, kEcho, 0, 0);
            return TRUE;
        }
        case kEcho:
            while (!g_echoes.empty()) {
                const std::string echo = g_echoes.front();
                g_echoes.pop_front();
                COPYDATASTRUCT record{};
                record.cbData = static_cast<DWORD>(echo.size() + 1);
                record.lpData = const_cast<char*>(echo.c_str());
                SendMessageA(g_client, WM_COPYDATA, reinterpret_cast<WPARAM>(hWnd),
                             reinterpret_cast<LPARAM>(&record));
            }
            return 0;
        case WM_TIMER:
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    g_attachMsg = RegisterWindowMessageA("SkypeControlAPIAttach");
    g_discoverMsg = RegisterWindowMessageA("SkypeControlAPIDiscover");
    WNDCLASSA wc{};
    wc.lpfnWndProc = PeerWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VoxlinkSkypePeer";
    if (!RegisterClassA(&wc)) {
        return 3;
    }
    HWND window = CreateWindowExA(0, wc.lpszClassName, "peer", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (window == nullptr) {
        return 4;
    }
    SetTimer(window, 1, 60000, nullptr);  // gives up after a minute
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    if (ready == nullptr) {
        return 5;
    }
    SetEvent(ready);
    CloseHandle(ready);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
    }
    if (g_framingBroken) {
        return 20;
    }
    return g_releaseSeen ? 0 : 21;
}
