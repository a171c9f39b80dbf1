// A program that crashes on purpose with the crash reporter installed, while a
// second labelled thread waits: crash_probe main|worker|overflow|heap. The
// report goes under %LOCALAPPDATA%, which the test sets for this process.
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "CrashReport.h"
#include "ThreadLabel.h"
#include "TraceRing.h"

namespace {

void WriteNowhere() {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

// Each call keeps a page of its own on the stack until there is none left.
int Deeper(int depth) {
    volatile char page[4096];
    page[0] = static_cast<char>(depth);
    if (depth < 0) {
        return page[0];
    }
    return Deeper(depth + 1) + page[0];
}

// Writes over the header of the process heap's next block, then crashes.
void DamageTheHeapAndCrash() {
    auto* block = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, 32));
    std::memset(block, 0xA5, 256);
    WriteNowhere();
}

bool HandsetAttached() {
    return true;
}

bool SkypeAttached() {
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string how = argc > 1 ? argv[1] : "";
    InstallCrashReporter("SkypeAPI -> WinMain");
    SetCrashStateSources(HandsetAttached, SkypeAttached);
    ProgramTraceRing().Add("Message from Skype: USERSTATUS ONLINE\n");
    HANDLE waiting = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread waiter([waiting] {
        SetThreadLabel("CrashProbe -> Waiting");
        WaitForSingleObject(waiting, INFINITE);
    });
    if (how == "worker") {
        std::thread([] {
            SetThreadLabel("CrashProbe -> Worker");
            WriteNowhere();
        }).join();
    } else if (how == "main") {
        WriteNowhere();
    } else if (how == "overflow") {
        Deeper(0);
    } else if (how == "heap") {
        DamageTheHeapAndCrash();
    }
    SetEvent(waiting);
    waiter.join();
    return 0;
}
