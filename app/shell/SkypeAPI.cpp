// Program entry and the hidden main window.
#include <windows.h>

#include "ShellGlobals.h"

namespace {

constexpr char kMainWndClass[] = "MainWndClass";
constexpr char kMainWndTitle[] = "Voxlink";
constexpr WPARAM kMenuExit = 40001;

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kMenuExit) {
                DestroyWindow(hWnd);
                return 0;
            }
            break;
        case WM_DESTROY:
            g_hMainWnd = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    g_hInstance = hInstance;

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = kMainWndClass;
    if (RegisterClassExA(&wc) == 0) {
        return 0;
    }

    g_hMainWnd =
        CreateWindowExA(0, kMainWndClass, kMainWndTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                        CW_USEDEFAULT, 0, nullptr, nullptr, hInstance, nullptr);
    if (g_hMainWnd == nullptr) {
        UnregisterClassA(kMainWndClass, hInstance);
        return 0;
    }

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    UnregisterClassA(kMainWndClass, hInstance);
    return 0;
}
