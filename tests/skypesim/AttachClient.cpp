// A small desktop-API application in its own process, for the simulator's
// attach tests. It broadcasts the discover message, records every attach
// message and every text it receives, sends its commands once attached, and
// after an attach refusal tries a command anyway (which must be ignored).
//   skypesim_test_client <output file> <run ms> [--ready <event name>] [command ...]
// With --ready it sets the named event once its first discover broadcast has
// been delivered.
// Output lines: "<ms> ATTACH <status> <window>", "<ms> TEXT <text>",
// "<ms> SENT <result> <text>", "<ms> BADSENDER <text>".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

UINT g_attachMsg = 0;
UINT g_discoverMsg = 0;
HWND g_self = nullptr;
HWND g_skype = nullptr;
std::vector<std::string> g_commands;
std::vector<std::string> g_lines;
ULONGLONG g_start = 0;
constexpr UINT kSendCommands = WM_APP + 1;
constexpr UINT kTryUnattached = WM_APP + 2;
constexpr UINT kRediscover = WM_APP + 3;

void Record(const std::string& line) {
    g_lines.push_back(std::to_string(GetTickCount64() - g_start) + " " + line);
}

std::string Hex(HWND h) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h)));
    return text;
}

LRESULT Send(HWND to, const std::string& text) {
    COPYDATASTRUCT cds{};
    cds.cbData = static_cast<DWORD>(text.size() + 1);
    cds.lpData = const_cast<char*>(text.c_str());
    return SendMessageA(to, WM_COPYDATA, reinterpret_cast<WPARAM>(g_self),
                        reinterpret_cast<LPARAM>(&cds));
}

LRESULT CALLBACK ClientProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == g_attachMsg && message != 0) {
        HWND from = reinterpret_cast<HWND>(wParam);
        Record("ATTACH " + std::to_string(lParam) + " " + Hex(from));
        if (lParam == 0) {
            g_skype = from;
            PostMessageA(hWnd, kSendCommands, 0, 0);
        } else if (lParam == 2) {
            PostMessageA(hWnd, kTryUnattached, wParam, 0);
        } else if (lParam == 0x8001) {
            PostMessageA(hWnd, kRediscover, 0, 0);
        }
        return 1;
    }
    switch (message) {
        case WM_COPYDATA: {
            const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            const char* data = static_cast<const char*>(cds->lpData);
            std::string text(data, strnlen(data, cds->cbData));
            const bool terminated = cds->cbData == text.size() + 1;
            Record(std::string(reinterpret_cast<HWND>(wParam) == g_skype && terminated
                                   ? "TEXT "
                                   : "BADSENDER ") +
                   text);
            return TRUE;
        }
        case kSendCommands:
            for (const std::string& command : g_commands) {
                Record("SENT " + std::to_string(Send(g_skype, command)) + " " + command);
            }
            return 0;
        case kTryUnattached: {
            const std::string text = "GET USERSTATUS";
            Record("SENT " + std::to_string(Send(reinterpret_cast<HWND>(wParam), text)) + " " +
                   text);
            return 0;
        }
        case kRediscover:
            SendMessageA(HWND_BROADCAST, g_discoverMsg, reinterpret_cast<WPARAM>(hWnd), 0);
            return 0;
        case WM_TIMER:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    g_start = GetTickCount64();
    int first = 3;
    const char* readyName = nullptr;
    if (argc >= 5 && std::strcmp(argv[3], "--ready") == 0) {
        readyName = argv[4];
        first = 5;
    }
    for (int i = first; i < argc; ++i) {
        g_commands.push_back(argv[i]);
    }
    g_attachMsg = RegisterWindowMessageA("SkypeControlAPIAttach");
    g_discoverMsg = RegisterWindowMessageA("SkypeControlAPIDiscover");
    WNDCLASSA wc{};
    wc.lpfnWndProc = ClientProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SkypeSimTestClient";
    if (!RegisterClassA(&wc)) {
        return 3;
    }
    g_self = CreateWindowExA(0, wc.lpszClassName, "client", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                             nullptr, nullptr, wc.hInstance, nullptr);
    if (g_self == nullptr) {
        return 4;
    }
    SetTimer(g_self, 1, static_cast<UINT>(std::atoi(argv[2])), nullptr);
    SendMessageA(HWND_BROADCAST, g_discoverMsg, reinterpret_cast<WPARAM>(g_self), 0);
    if (readyName != nullptr) {
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyName);
        if (ready != nullptr) {
            SetEvent(ready);
            CloseHandle(ready);
        }
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
    }
    FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        return 5;
    }
    for (const std::string& line : g_lines) {
        std::fprintf(out, "%s\n", line.c_str());
    }
    std::fclose(out);
    DestroyWindow(g_self);
    return 0;
}
