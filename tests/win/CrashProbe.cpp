// A program that fails on purpose with the crash reporter installed, while a
// second labelled thread waits: crash_probe <how>. How it fails: main, worker,
// overflow (stack), heap (a damaged free list), heaplock (a thread that holds
// the process heap's lock), terminate, abort, deadline (on the way out, with
// the exit deadline armed), stuck (never ends once the deadline is armed),
// hang (its window stops answering; it runs on), wait (ends with 0 once the
// event named on its command line is set). Reports go under %LOCALAPPDATA%,
// which the test sets for this process.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <vector>

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

// An exception that leaves a function which promised none.
void ThrowThrough() noexcept {
    std::vector<int>().at(1);
}

int handsetPresent = 1;
HWND skypeWindow = nullptr;

}  // namespace

int main(int argc, char** argv) {
    const std::string how = argc > 1 ? argv[1] : "";
    InstallCrashReporter("SkypeAPI -> WinMain");
    SetCrashStateAddresses(&handsetPresent, &skypeWindow);
    ProgramTraceRing().Add("Message from Skype: USERSTATUS ONLINE\n");
    HANDLE labelled = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE waiting = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread waiter([labelled, waiting] {
        SetThreadLabel("CrashProbe -> Waiting");
        SetEvent(labelled);
        WaitForSingleObject(waiting, INFINITE);
    });
    // The failure comes once the second thread is labelled and waits.
    WaitForSingleObject(labelled, INFINITE);
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
    } else if (how == "heaplock") {
        std::thread([] {
            SetThreadLabel("CrashProbe -> HeapLock");
            HeapLock(GetProcessHeap());
            WriteNowhere();
        }).join();
    } else if (how == "terminate") {
        ThrowThrough();
    } else if (how == "abort") {
        std::abort();
    } else if (how == "deadline") {
        // The deadline runs out while the report is being written.
        ArmExitDeadline(200);
        WriteNowhere();
    } else if (how == "stuck") {
        ArmExitDeadline(1);
        Sleep(INFINITE);
    } else if (how == "hang") {
        HWND window = CreateWindowExA(0, "STATIC", "CrashProbe", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, nullptr, nullptr);
        SetCrashMainWindow(window, 1000);
        Sleep(INFINITE);  // never answers its window again
    } else if (how == "wait" && argc > 2) {
        HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
        WaitForSingleObject(go, 30000);
    }
    SetEvent(waiting);
    waiter.join();
    return 0;
}
