#include "ExitDeadline.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "ThreadLabel.h"

namespace {

std::atomic<bool> g_armed{false};

DWORD WINAPI ExitDeadlineThreadProc(LPVOID parameter) {
    SetThreadLabel("ExitDeadline");
    const auto ms = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(parameter));
    Sleep(ms);
    std::printf("Exit took longer than %lu ms: the process ends now.\n",
                static_cast<unsigned long>(ms));
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}

}  // namespace

void ArmExitDeadline(unsigned int ms) {
    if (g_armed.exchange(true)) {
        return;
    }
    HANDLE thread =
        CreateThread(nullptr, 0, ExitDeadlineThreadProc,
                     reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(ms)), 0, nullptr);
    if (thread != nullptr) {
        CloseHandle(thread);
    }
}
