// VoxlinkCrashHandler.exe: Voxlink's crash handler, a process of its own.
// Voxlink starts it with the handle of the shared block (CrashShared.h) on
// its command line. It sleeps on two handles, the crash event and the
// program's process, and wakes only for a crash, the program's end, or the
// hang watch's look at the main window. A report is written from here, from
// outside the failing process, whose heap and loader lock may be held by the
// thread that failed.
#include <windows.h>
#include <dbghelp.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "CrashFiles.h"
#include "CrashShared.h"
#include "ThreadLabel.h"
#include "TraceRing.h"
#include "VoxlinkVersion.h"

namespace {

// The hang watch asks the main window at most this often.
constexpr DWORD kHangLookMs = 30000;
constexpr int kMaxFrames = 64;

struct Module {
    DWORD64 base = 0;
    DWORD64 size = 0;
    std::wstring path;
    std::string name;
};

// The program as the handler sees it: its process handle and memory.
class Target {
public:
    explicit Target(const CrashShared& block)
        : process(reinterpret_cast<HANDLE>(block.process)), id(GetProcessId(process)) {}

    template <typename T>
    bool Read(std::uint64_t address, T* out) const {
        SIZE_T read = 0;
        return address != 0 &&
               ReadProcessMemory(process, reinterpret_cast<LPCVOID>(address), out, sizeof(T),
                                 &read) &&
               read == sizeof(T);
    }

    HANDLE process;
    DWORD id;
};

std::string Narrow(const std::wstring& text) {
    char out[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

std::vector<Module> ListModules(DWORD process) {
    std::vector<Module> modules;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return modules;
    }
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot, &entry); more;
         more = Module32NextW(snapshot, &entry)) {
        modules.push_back({reinterpret_cast<DWORD64>(entry.modBaseAddr), entry.modBaseSize,
                           entry.szExePath, Narrow(entry.szModule)});
    }
    CloseHandle(snapshot);
    return modules;
}

// "module+0xoffset"; no symbols are looked up, so nothing goes to a symbol
// server.
std::string Where(const std::vector<Module>& modules, DWORD64 address) {
    for (const Module& module : modules) {
        if (address >= module.base && address < module.base + module.size) {
            char text[MAX_PATH + 32];
            std::snprintf(text, sizeof text, "%s+0x%llx", module.name.c_str(),
                          static_cast<unsigned long long>(address - module.base));
            return text;
        }
    }
    return "?";
}

void WalkStack(ReportFile& log, const Target& target, HANDLE thread, CONTEXT context,
               const std::vector<Module>& modules) {
    STACKFRAME64 frame{};
    frame.AddrPC.Offset = context.Rip;
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrStack.Offset = context.Rsp;
    frame.AddrStack.Mode = AddrModeFlat;
    frame.AddrFrame.Offset = context.Rbp;
    frame.AddrFrame.Mode = AddrModeFlat;
    for (int depth = 0; depth < kMaxFrames; ++depth) {
        if (!StackWalk64(IMAGE_FILE_MACHINE_AMD64, target.process, thread, &frame, &context,
                         nullptr, SymFunctionTableAccess64, SymGetModuleBase64, nullptr) ||
            frame.AddrPC.Offset == 0) {
            break;
        }
        log.Print("    #%02d %016llx %s\r\n", depth,
                  static_cast<unsigned long long>(frame.AddrPC.Offset),
                  Where(modules, frame.AddrPC.Offset).c_str());
    }
}

void WriteRegisters(ReportFile& log, const Target& target, const CONTEXT& c) {
    log.Print("\r\nRegisters:\r\n");
    log.Print("  RIP=%016llx RSP=%016llx RBP=%016llx EFLAGS=%08lx\r\n", c.Rip, c.Rsp, c.Rbp,
              static_cast<unsigned long>(c.EFlags));
    log.Print("  RAX=%016llx RBX=%016llx RCX=%016llx RDX=%016llx\r\n", c.Rax, c.Rbx, c.Rcx, c.Rdx);
    log.Print("  RSI=%016llx RDI=%016llx R8 =%016llx R9 =%016llx\r\n", c.Rsi, c.Rdi, c.R8, c.R9);
    log.Print("  R10=%016llx R11=%016llx R12=%016llx R13=%016llx\r\n", c.R10, c.R11, c.R12, c.R13);
    log.Print("  R14=%016llx R15=%016llx\r\n", c.R14, c.R15);
    // The raw words at the stack pointer, for frames the walk could not follow.
    log.Print("\r\nStack words at RSP:\r\n");
    for (int i = 0; i < 32; i += 4) {
        unsigned long long words[4];
        if (!target.Read(c.Rsp + i * sizeof(unsigned long long), &words)) {
            break;
        }
        log.Print("  %016llx: %016llx %016llx %016llx %016llx\r\n",
                  static_cast<unsigned long long>(c.Rsp + i * 8), words[0], words[1], words[2],
                  words[3]);
    }
}

void WriteException(ReportFile& log, const EXCEPTION_RECORD& record) {
    log.Print("\r\nException 0x%08lx at %p", static_cast<unsigned long>(record.ExceptionCode),
              record.ExceptionAddress);
    switch (record.ExceptionCode) {
        case EXCEPTION_ACCESS_VIOLATION:
            if (record.NumberParameters >= 2) {
                log.Print(" (%s address %p)",
                          record.ExceptionInformation[0] == 0   ? "reading"
                          : record.ExceptionInformation[0] == 8 ? "executing"
                                                                : "writing",
                          reinterpret_cast<void*>(record.ExceptionInformation[1]));
            }
            break;
        case EXCEPTION_STACK_OVERFLOW:
            log.Print(" (stack overflow)");
            break;
        case kCrashTerminate:
            log.Print(
                " (terminate: an exception left a noexcept function, or a running thread "
                "was destroyed)");
            break;
        case kCrashAbort:
            log.Print(" (abort)");
            break;
        case kCrashInvalidParameter:
            log.Print(" (invalid parameter to a C runtime function)");
            break;
        default:
            break;
    }
}

// Every thread by its label, with its stack; the failing one from the
// context its exception recorded, the others stopped while they are walked.
void WriteThreads(ReportFile& log, const Target& target, const std::vector<Module>& modules,
                  DWORD failing, const CONTEXT* failingContext) {
    log.Print("\r\nThreads:\r\n");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        log.Print("  (not available)\r\n");
        return;
    }
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != target.id) {
            continue;
        }
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT |
                                       THREAD_QUERY_INFORMATION | THREAD_QUERY_LIMITED_INFORMATION,
                                   FALSE, entry.th32ThreadID);
        char label[128] = {};
        if (thread == nullptr || !ReadThreadLabel(thread, label, sizeof label)) {
            std::snprintf(label, sizeof label, "(no label)");
        }
        const bool failed = entry.th32ThreadID == failing;
        log.Print("  %6lu%s %s\r\n", static_cast<unsigned long>(entry.th32ThreadID),
                  failed ? " (failed)" : "", label);
        if (thread == nullptr) {
            continue;
        }
        if (failed && failingContext != nullptr) {
            WalkStack(log, target, thread, *failingContext, modules);
        } else if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
            CONTEXT context{};
            context.ContextFlags = CONTEXT_FULL;
            if (GetThreadContext(thread, &context)) {
                WalkStack(log, target, thread, context, modules);
            }
            ResumeThread(thread);
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
}

void WriteTrace(ReportFile& log, const Target& target, const CrashShared& block) {
    // A copy of the program's ring, read as it is (its lock is not taken:
    // the failing thread may hold it); a line being written may be torn.
    alignas(TraceRing) static unsigned char copy[sizeof(TraceRing)];
    if (!target.Read(block.traceRing, &copy)) {
        log.Print("\r\nLast trace lines: not available\r\n");
        return;
    }
    const TraceRing& ring = *std::launder(reinterpret_cast<const TraceRing*>(copy));
    log.Print("\r\nLast trace lines (%u):\r\n", static_cast<unsigned>(ring.Count()));
    for (std::size_t i = 0; i < ring.Count(); ++i) {
        log.Print("  %s\r\n", ring.Line(i));
    }
}

void WriteSystem(ReportFile& log, const std::vector<Module>& modules) {
    log.Print("\r\nModules:\r\n");
    for (const Module& module : modules) {
        log.Print("  %016llx %8llu %s\r\n", static_cast<unsigned long long>(module.base),
                  static_cast<unsigned long long>(module.size), Narrow(module.path).c_str());
    }
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&version);
#pragma GCC diagnostic pop
    log.Print("\r\nOperating system: Windows %lu.%lu build %lu %s\r\n",
              static_cast<unsigned long>(version.dwMajorVersion),
              static_cast<unsigned long>(version.dwMinorVersion),
              static_cast<unsigned long>(version.dwBuildNumber), version.szCSDVersion);
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (GlobalMemoryStatusEx(&memory)) {
        log.Print(
            "Memory: %lu%% in use, physical %llu of %llu KB free, page file %llu of "
            "%llu KB free, virtual %llu of %llu KB free\r\n",
            static_cast<unsigned long>(memory.dwMemoryLoad), memory.ullAvailPhys / 1024,
            memory.ullTotalPhys / 1024, memory.ullAvailPageFile / 1024,
            memory.ullTotalPageFile / 1024, memory.ullAvailVirtual / 1024,
            memory.ullTotalVirtual / 1024);
    }
}

const char* Answer(bool known, bool yes) {
    return !known ? "not known" : yes ? "yes" : "no";
}

// A crash (failure set) or a hang (failure null): a report folder of its own.
void WriteReport(const Target& target, const CrashShared& block, const EXCEPTION_RECORD* failure,
                 const CONTEXT* context) {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    const std::wstring folder = NewReportFolder(block.reportsRoot, now);
    if (!CreateReportFolders(folder)) {
        return;
    }
    // Modules by address, read from the process's memory; deferred, so no
    // symbol file is looked for.
    SymSetOptions(SYMOPT_DEFERRED_LOADS | SYMOPT_FAIL_CRITICAL_ERRORS | SYMOPT_NO_PROMPTS);
    SymInitializeW(target.process, block.reportsRoot, FALSE);
    const std::vector<Module> modules = ListModules(target.id);
    for (const Module& module : modules) {
        SymLoadModuleExW(target.process, nullptr, module.path.c_str(), nullptr, module.base,
                         static_cast<DWORD>(module.size), nullptr, 0);
    }
    {
        ReportFile log(folder + L"ERRORLOG.TXT");
        log.Print("Voxlink %s %s report, %04u-%02u-%02u %02u:%02u:%02u UTC\r\n",
                  VOXLINK_VERSION_TEXT, failure != nullptr ? "error" : "hang", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
        const DWORD failing = failure != nullptr ? block.threadId : 0;
        if (failure != nullptr) {
            WriteException(log, *failure);
            HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, failing);
            char label[128] = {};
            if (thread != nullptr) {
                ReadThreadLabel(thread, label, sizeof label);
                CloseHandle(thread);
            }
            log.Print("\r\nThread %lu: %s\r\n", static_cast<unsigned long>(failing), label);
        } else {
            log.Print(
                "\r\nVoxlink stopped responding: its main window did not answer for %lu s."
                "\r\n",
                static_cast<unsigned long>(block.hangLimitMs / 1000));
        }
        int handset = 0;
        HWND skype = nullptr;
        const bool handsetKnown = target.Read(block.handsetPresent, &handset);
        const bool skypeKnown = target.Read(block.skypeWindow, &skype);
        log.Print("\r\nHandset attached: %s\r\nSkype attached: %s\r\n",
                  Answer(handsetKnown, handset != 0), Answer(skypeKnown, skype != nullptr));
        if (context != nullptr) {
            WriteRegisters(log, target, *context);
        }
        WriteThreads(log, target, modules, failing, context);
        WriteTrace(log, target, block);
        WriteSystem(log, modules);
    }
    {
        ReportFile dump(folder + L"CRASH.DMP");
        MINIDUMP_EXCEPTION_INFORMATION exception{};
        exception.ThreadId = block.threadId;
        exception.ExceptionPointers =
            reinterpret_cast<PEXCEPTION_POINTERS>(block.exceptionPointers);
        exception.ClientPointers = TRUE;
        // Every thread's stack and details, the loaded modules; no heap memory.
        const auto type = static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithThreadInfo |
                                                     MiniDumpWithUnloadedModules);
        MiniDumpWriteDump(target.process, target.id, dump.Handle(), type,
                          failure != nullptr ? &exception : nullptr, nullptr, nullptr);
    }
    SymCleanup(target.process);
    PackReport(folder);
}

// Asks the main window every so often; one report per hang, and the program
// goes on (it may come back).
void WatchForHangs(const Target& target, const CrashShared& block, HANDLE stop,
                   std::mutex& writing) {
    bool reported = false;
    for (;;) {
        const DWORD limit = block.hangLimitMs;
        const HANDLE waits[2] = {stop, target.process};
        if (WaitForMultipleObjects(2, waits, FALSE, std::min<DWORD>(limit, kHangLookMs)) !=
            WAIT_TIMEOUT) {
            return;
        }
        const HWND window = reinterpret_cast<HWND>(block.mainWindow);
        if (window == nullptr || block.state != kCrashIdle || block.normalExit != 0) {
            continue;
        }
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, limit, &answer) != 0) {
            reported = false;
            continue;
        }
        if (reported || !IsWindow(window) || block.state != kCrashIdle || block.normalExit != 0) {
            continue;
        }
        reported = true;
        std::lock_guard<std::mutex> guard(writing);
        WriteReport(target, block, nullptr, nullptr);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    SetThreadLabel("CrashHandler -> Main");
    // Nothing a report does may reach a symbol server.
    SetEnvironmentVariableW(L"_NT_SYMBOL_PATH", nullptr);
    SetEnvironmentVariableW(L"_NT_ALT_SYMBOL_PATH", nullptr);
    SetErrorMode(SEM_FAILCRITICALERRORS);
    HANDLE mapping = reinterpret_cast<HANDLE>(std::wcstoull(commandLine, nullptr, 10));
    auto* block = static_cast<CrashShared*>(
        MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CrashShared)));
    if (block == nullptr || block->size != sizeof(CrashShared)) {
        return 1;
    }
    const Target target(*block);
    const HANDLE crash = reinterpret_cast<HANDLE>(block->crashEvent);
    const HANDLE done = reinterpret_cast<HANDLE>(block->doneEvent);
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::mutex writing;
    std::thread hangs([&] {
        SetThreadLabel("CrashHandler -> HangWatch");
        WatchForHangs(target, *block, stop, writing);
    });
    const HANDLE waits[2] = {crash, target.process};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 &&
        block->state == kCrashSignalled) {
        EXCEPTION_POINTERS pointers{};
        EXCEPTION_RECORD record{};
        CONTEXT context{};
        const bool read =
            target.Read(block->exceptionPointers, &pointers) &&
            target.Read(reinterpret_cast<std::uint64_t>(pointers.ExceptionRecord), &record) &&
            target.Read(reinterpret_cast<std::uint64_t>(pointers.ContextRecord), &context);
        {
            std::lock_guard<std::mutex> guard(writing);
            if (read) {
                WriteReport(target, *block, &record, &context);
            }
        }
        SetEvent(done);
        TerminateProcess(target.process, read ? record.ExceptionCode : 0xE0564C00);
    }
    SetEvent(stop);
    hangs.join();
    return 0;
}
