// idle_baseline.exe: the smallest idle Win32 program — a hidden window and a
// message loop — for comparing Voxlink's idle wake-ups with under the same
// Wine. Ends after the seconds given on its command line (default 60).
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const UINT seconds = argc > 1 ? static_cast<UINT>(std::atoi(argv[1])) : 60;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VoxlinkIdleBaseline";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    SetTimer(window, 1, seconds * 1000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) {
            break;
        }
        DispatchMessageA(&msg);
    }
    return 0;
}
