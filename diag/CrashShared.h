// What Voxlink and its crash handler (VoxlinkCrashHandler.exe, beside the
// program) share. The program prepares this block and three handles at
// start-up and hands them to the handler it starts; at a crash its filter
// only fills in the failing thread and sets the crash event, and the handler,
// a healthy process, reads the program's memory and writes the report.
// Windows only.
#pragma once

#include <cstdint>

inline constexpr wchar_t kCrashHandlerFile[] = L"VoxlinkCrashHandler.exe";

// The codes under which failures that never reach the filter by themselves
// are raised (customer bit set, "VL" in the middle).
inline constexpr std::uint32_t kCrashTerminate = 0xE0564C01;
inline constexpr std::uint32_t kCrashAbort = 0xE0564C02;
inline constexpr std::uint32_t kCrashInvalidParameter = 0xE0564C03;

// How long a report may take; the program ends when it is done or after this.
inline constexpr unsigned long kCrashReportLimitMs = 60000;
// How long the main window may go without answering before a hang report.
inline constexpr unsigned long kCrashHangLimitMs = 30000;

enum CrashState : long {
    kCrashIdle = 0,
    kCrashSignalled = 1,  // a thread failed; the handler writes its report
};

// Plain data at fixed offsets: the same build writes and reads it.
struct CrashShared {
    std::uint32_t size;  // sizeof(CrashShared): a block of another build is refused
    volatile long state;
    volatile long normalExit;  // set on a normal way out: the handler ends quietly
    std::uint32_t hangLimitMs;
    // Handle values, the same in both processes (inherited): the program
    // itself, the crash event (program -> handler), the done event (handler ->
    // program).
    std::uint64_t process;
    std::uint64_t crashEvent;
    std::uint64_t doneEvent;
    // Addresses in the program's memory (0: not known).
    std::uint64_t traceRing;            // the TraceRing
    std::uint64_t handsetPresent;       // an int, not 0 while the handset is there
    std::uint64_t skypeWindow;          // Skype's API window handle, null when not attached
    volatile std::uint64_t mainWindow;  // the window the hang watch asks
    // Set by the failing thread.
    volatile std::uint32_t threadId;
    volatile std::uint64_t exceptionPointers;  // EXCEPTION_POINTERS* in the program
    wchar_t reportsRoot[260];                  // ends in a backslash
};
