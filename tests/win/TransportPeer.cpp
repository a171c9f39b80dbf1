// The far side of the transport smoke test: a hidden top-level window that
// answers the discover broadcast with the attach message, checks the text it
// is sent in WM_COPYDATA and sends one back.
//   transport_peer <ready event name> <expected text> <reply text>
// Exits 0 when the expected text arrived intact and the reply was accepted.
#include <windows.h>

#include <cstring>

namespace {

constexpr UINT kSendReply = WM_APP + 1;
constexpr UINT_PTR kGiveUpTimer = 1;

UINT g_attachMsg = 0;
UINT g_discoverMsg = 0;
HWND g_client = nullptr;
const char* g_expected = "";
const char* g_reply = "";
int g_exitCode = 10;  // nothing received yet

bool TextArrivedIntact(const COPYDATASTRUCT* cds) {
    const size_t expectedLength = std::strlen(g_expected);
    if (cds == nullptr || cds->lpData == nullptr || cds->cbData != expectedLength + 1) {
        return false;
    }
    const char* text = static_cast<const char*>(cds->lpData);
    return text[expectedLength] == '\0' && std::memcmp(text, g_expected, expectedLength) == 0;
}

LRESULT CALLBACK PeerWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == g_discoverMsg && message != 0) {
        g_client = reinterpret_cast<HWND>(wParam);
        SendMessageA(g_client, g_attachMsg, reinterpret_cast<WPARAM>(hWnd), 0);
        return 1;
    }
    switch (message) {
        case WM_COPYDATA:
            if (reinterpret_cast<HWND>(wParam) != g_client) {
                g_exitCode = 11;  // text from a window that never attached
                return FALSE;
            }
            g_exitCode = TextArrivedIntact(reinterpret_cast<COPYDATASTRUCT*>(lParam)) ? 0 : 12;
            PostMessageA(hWnd, kSendReply, 0, 0);
            return TRUE;
        case kSendReply: {
            COPYDATASTRUCT cds{};
            cds.cbData = static_cast<DWORD>(std::strlen(g_reply) + 1);
            cds.lpData = const_cast<char*>(g_reply);
            if (!SendMessageA(g_client, WM_COPYDATA, reinterpret_cast<WPARAM>(hWnd),
                              reinterpret_cast<LPARAM>(&cds))) {
                g_exitCode = 13;  // reply refused
            }
            DestroyWindow(hWnd);
            return 0;
        }
        case WM_TIMER:
            g_exitCode = 14;  // gave up waiting
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
    if (argc != 4) {
        return 2;
    }
    g_expected = argv[2];
    g_reply = argv[3];
    g_attachMsg = RegisterWindowMessageA("SkypeControlAPIAttach");
    g_discoverMsg = RegisterWindowMessageA("SkypeControlAPIDiscover");

    WNDCLASSA wc{};
    wc.lpfnWndProc = PeerWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VoxlinkTransportPeer";
    if (!RegisterClassA(&wc)) {
        return 3;
    }
    HWND window = CreateWindowExA(0, wc.lpszClassName, "peer", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (window == nullptr) {
        return 4;
    }
    SetTimer(window, kGiveUpTimer, 20000, nullptr);

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
    return g_exitCode;
}
