#include "CrashReport.h"

#include <windows.h>
#include <dbghelp.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "ThreadLabel.h"

namespace {

char g_crashFolder[MAX_PATH] = {};
std::atomic<bool> g_installed{false};
std::atomic<bool> g_reporting{false};

void ProgramFolder(char* out, std::size_t size) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        out[0] = '\0';
        return;
    }
    char* slash = std::strrchr(path, '\\');
    if (slash != nullptr) {
        slash[1] = '\0';
    }
    std::snprintf(out, size, "%s", path);
}

void WriteModules(FILE* log) {
    std::fprintf(log, "\nModules:\n");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE) {
        std::fprintf(log, "  (not available)\n");
        return;
    }
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
        std::fprintf(log, "  %p %8lu %s\n", static_cast<void*>(entry.modBaseAddr),
                     static_cast<unsigned long>(entry.modBaseSize), entry.szExePath);
    }
    CloseHandle(snapshot);
}

void WriteSystem(FILE* log) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&version);
#pragma GCC diagnostic pop
    std::fprintf(log, "\nOperating system: Windows %lu.%lu build %lu %s\n",
                 static_cast<unsigned long>(version.dwMajorVersion),
                 static_cast<unsigned long>(version.dwMinorVersion),
                 static_cast<unsigned long>(version.dwBuildNumber), version.szCSDVersion);
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (GlobalMemoryStatusEx(&memory)) {
        std::fprintf(log,
                     "Memory: %lu%% in use, physical %llu of %llu KB free, page file %llu of "
                     "%llu KB free, virtual %llu of %llu KB free\n",
                     static_cast<unsigned long>(memory.dwMemoryLoad), memory.ullAvailPhys / 1024,
                     memory.ullTotalPhys / 1024, memory.ullAvailPageFile / 1024,
                     memory.ullTotalPageFile / 1024, memory.ullAvailVirtual / 1024,
                     memory.ullTotalVirtual / 1024);
    }
}

void WriteRegistersAndStack(FILE* log, const CONTEXT& context) {
#if defined(_M_X64) || defined(__x86_64__)
    std::fprintf(log, "\nRegisters:\n");
    std::fprintf(log, "  RIP=%016llx RSP=%016llx RBP=%016llx EFLAGS=%08lx\n", context.Rip,
                 context.Rsp, context.Rbp, static_cast<unsigned long>(context.EFlags));
    std::fprintf(log, "  RAX=%016llx RBX=%016llx RCX=%016llx RDX=%016llx\n", context.Rax,
                 context.Rbx, context.Rcx, context.Rdx);
    std::fprintf(log, "  RSI=%016llx RDI=%016llx R8 =%016llx R9 =%016llx\n", context.Rsi,
                 context.Rdi, context.R8, context.R9);
    std::fprintf(log, "  R10=%016llx R11=%016llx R12=%016llx R13=%016llx\n", context.R10,
                 context.R11, context.R12, context.R13);
    std::fprintf(log, "  R14=%016llx R15=%016llx\n", context.R14, context.R15);

    std::fprintf(log, "\nStack:\n");
    HANDLE process = GetCurrentProcess();
    HANDLE thread = GetCurrentThread();
    SymInitialize(process, nullptr, TRUE);
    CONTEXT walk = context;
    STACKFRAME64 frame{};
    frame.AddrPC.Offset = walk.Rip;
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrStack.Offset = walk.Rsp;
    frame.AddrStack.Mode = AddrModeFlat;
    frame.AddrFrame.Offset = walk.Rbp;
    frame.AddrFrame.Mode = AddrModeFlat;
    for (int depth = 0; depth < 64; ++depth) {
        if (!StackWalk64(IMAGE_FILE_MACHINE_AMD64, process, thread, &frame, &walk, nullptr,
                         SymFunctionTableAccess64, SymGetModuleBase64, nullptr) ||
            frame.AddrPC.Offset == 0) {
            break;
        }
        char moduleName[MAX_PATH] = "?";
        const DWORD64 base = SymGetModuleBase64(process, frame.AddrPC.Offset);
        if (base != 0) {
            GetModuleFileNameA(reinterpret_cast<HMODULE>(base), moduleName, MAX_PATH);
        }
        std::fprintf(log, "  #%02d %016llx %s+0x%llx\n", depth, frame.AddrPC.Offset, moduleName,
                     base != 0 ? frame.AddrPC.Offset - base : 0ULL);
    }
    SymCleanup(process);
    // The raw words at the stack pointer, for frames the walk could not follow.
    std::fprintf(log, "\nStack words at RSP:\n");
    const auto* words = reinterpret_cast<const unsigned long long*>(context.Rsp);
    for (int i = 0; i < 32; i += 4) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(words + i, &info, sizeof info) == 0 || info.State != MEM_COMMIT) {
            break;
        }
        std::fprintf(log, "  %p: %016llx %016llx %016llx %016llx\n",
                     static_cast<const void*>(words + i), words[i], words[i + 1], words[i + 2],
                     words[i + 3]);
    }
#else
    (void)context;
#endif
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info) {
    // A crash inside the report ends the process without a second report.
    if (g_reporting.exchange(true)) {
        return EXCEPTION_EXECUTE_HANDLER;
    }
    char path[MAX_PATH + 32] = {};
    std::snprintf(path, sizeof path, "%sERRORLOG.TXT", g_crashFolder);
    if (FILE* log = std::fopen(path, "w")) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        const EXCEPTION_RECORD& record = *info->ExceptionRecord;
        std::fprintf(log, "Voxlink error report, %04u-%02u-%02u %02u:%02u:%02u\n", now.wYear,
                     now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
        std::fprintf(log, "\nException 0x%08lx at %p",
                     static_cast<unsigned long>(record.ExceptionCode), record.ExceptionAddress);
        if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
            std::fprintf(log, " (%s address %p)",
                         record.ExceptionInformation[0] == 0   ? "reading"
                         : record.ExceptionInformation[0] == 8 ? "executing"
                                                               : "writing",
                         reinterpret_cast<void*>(record.ExceptionInformation[1]));
        }
        std::fprintf(log, "\nThread %lu: %s\n", static_cast<unsigned long>(GetCurrentThreadId()),
                     GetThreadLabel());
        WriteRegistersAndStack(log, *info->ContextRecord);
        WriteModules(log);
        WriteSystem(log);
        std::fclose(log);
    }
    std::snprintf(path, sizeof path, "%sCRASH.DMP", g_crashFolder);
    HANDLE dump =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (dump != INVALID_HANDLE_VALUE) {
        MINIDUMP_EXCEPTION_INFORMATION exception{};
        exception.ThreadId = GetCurrentThreadId();
        exception.ExceptionPointers = info;
        exception.ClientPointers = FALSE;
        MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), dump, MiniDumpNormal,
                          &exception, nullptr, nullptr);
        CloseHandle(dump);
    }
    // No box: the process ends with the exception code.
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void InstallCrashReporter(const char* label, const char* folder) {
    SetThreadLabel(label);
    if (g_installed.exchange(true)) {
        return;
    }
    if (folder != nullptr) {
        std::snprintf(g_crashFolder, sizeof g_crashFolder, "%s", folder);
    } else {
        ProgramFolder(g_crashFolder, sizeof g_crashFolder);
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(CrashFilter);
}
