#include "ExitDeadline.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "CrashReport.h"
#include "ExitStage.h"
#include "Log.h"
#include "ThreadLabel.h"

namespace {

std::atomic<bool> g_armed{false};
// How long the line may take to reach the log file before the process ends.
constexpr unsigned kLogLineWaitMs = 200;

// Appends text to the line at *end, within limit; no allocation, no lock.
void Append(char* line, std::size_t* end, std::size_t limit, const char* text) {
    while (*text != '\0' && *end + 1 < limit) {
        line[(*end)++] = *text++;
    }
    line[*end] = '\0';
}

void AppendNumber(char* line, std::size_t* end, std::size_t limit, unsigned long value) {
    char text[24];
    char* first = text + sizeof text - 1;
    *first = '\0';
    do {
        *--first = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    Append(line, end, limit, first);
}

DWORD WINAPI ExitDeadlineThreadProc(LPVOID parameter) {
    SetThreadLabel("ExitDeadline");
    const auto ms = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(parameter));
    Sleep(ms);
    if (CrashReportUnderWay()) {
        // The reporter ends the process with the exception's code when the
        // report is done; this is only the bound on a reporter that never is.
        Sleep(kCrashReportLimitMs + 1000);
    }
    // The C runtime's stdout lock may be held by a thread that is stuck: the
    // line goes straight to the handle.
    char line[256];
    std::size_t end = 0;
    Append(line, &end, sizeof line, "Exit took longer than ");
    AppendNumber(line, &end, sizeof line, ms);
    Append(line, &end, sizeof line, " ms (still running: ");
    Append(line, &end, sizeof line, ExitStage());
    Append(line, &end, sizeof line, "): the process ends now.\n");
    DWORD written = 0;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE) {
        WriteFile(output, line, static_cast<DWORD>(end), &written, nullptr);
    }
    // The log's writer picks the line up from a fixed slot; bounded, no lock.
    TraceWithoutLocks(TraceSource::Shell, "ExitDeadline", line, kLogLineWaitMs);
    TerminateProcess(GetCurrentProcess(), kExitDeadlineCode);
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
