// Messages to windows of other programs (the Skype client, every top-level
// window for a broadcast) are sent with a time limit: a program that hangs
// must not hold the sending thread, and with it Voxlink's exit. Windows only.
#pragma once

#include <windows.h>

// A healthy program answers in milliseconds; SMTO_ABORTIFHUNG returns at once
// for a window that Windows already judges hung.
inline constexpr UINT kOtherProgramSendLimitMs = 5000;
inline constexpr UINT kBroadcastLimitPerWindowMs = 1000;

// SendMessageA with the limit. False when the window did not answer in time
// (or is gone); *result then stays as it was.
inline bool SendToOtherProgram(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                               DWORD_PTR* result, UINT limitMs = kOtherProgramSendLimitMs) {
    return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                               limitMs, result) != 0;
}
