// A program on the desktop that hangs: a top-level window whose thread never
// serves a message. Sets the event named on its command line once the window
// exists, then waits until it is ended.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VoxlinkTestHungWindow";
    RegisterClassA(&wc);
    if (CreateWindowExA(0, wc.lpszClassName, "Hung", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                        nullptr, wc.hInstance, nullptr) == nullptr) {
        return 1;
    }
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    if (ready != nullptr) {
        SetEvent(ready);
    }
    Sleep(INFINITE);
    return 0;
}
