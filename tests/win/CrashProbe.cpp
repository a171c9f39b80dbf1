// A program that crashes on purpose with the crash reporter installed, while a
// second labelled thread waits: crash_probe main|worker|overflow|heap|reporter|
// deadline|stuck ("reporter" fails again inside the report; "deadline" crashes
// on the way out, with the exit deadline armed; "stuck" never ends by itself
// once the deadline is armed). The report goes under
// %LOCALAPPDATA%, which the test sets for this process.
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "CrashReport.h"
#include "ExitDeadline.h"
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

// Writes over the free-list links of a block just given back to the process
// heap (the heap's own bookkeeping, no other object's data), then crashes.
void DamageTheHeapAndCrash() {
    HANDLE heap = GetProcessHeap();
    // Blocks used on either side keep the freed one from merging with a neighbour.
    void* before = HeapAlloc(heap, 0, 64);
    auto* block = static_cast<unsigned char*>(HeapAlloc(heap, 0, 64));
    void* after = HeapAlloc(heap, 0, 64);
    HeapFree(heap, 0, block);
    std::memset(block, 0xA5, 32);
    (void)before;
    (void)after;
    WriteNowhere();
}

bool HandsetAttached() {
    return true;
}

bool SkypeAttached() {
    return false;
}

bool FailingSource() {
    WriteNowhere();
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string how = argc > 1 ? argv[1] : "";
    InstallCrashReporter("SkypeAPI -> WinMain");
    SetCrashStateSources(HandsetAttached, how == "reporter" ? FailingSource : SkypeAttached);
    ProgramTraceRing().Add("Message from Skype: USERSTATUS ONLINE\n");
    HANDLE labelled = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE waiting = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread waiter([labelled, waiting] {
        SetThreadLabel("CrashProbe -> Waiting");
        SetEvent(labelled);
        WaitForSingleObject(waiting, INFINITE);
    });
    // The crash comes once the second thread is labelled and waits.
    WaitForSingleObject(labelled, INFINITE);
    if (how == "worker") {
        std::thread([] {
            SetThreadLabel("CrashProbe -> Worker");
            WriteNowhere();
        }).join();
    } else if (how == "main" || how == "reporter") {
        WriteNowhere();
    } else if (how == "deadline") {
        // The deadline runs out while the report is being written.
        ArmExitDeadline(200);
        WriteNowhere();
    } else if (how == "stuck") {
        ArmExitDeadline(1);
        Sleep(INFINITE);
    } else if (how == "overflow") {
        Deeper(0);
    } else if (how == "heap") {
        DamageTheHeapAndCrash();
    }
    SetEvent(waiting);
    waiter.join();
    return 0;
}
