#include "CrashReport.h"

#include <windows.h>
#include <dbghelp.h>
#include <mapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Report.h"
#include "ThreadLabel.h"
#include "TraceRing.h"
#include "VoxlinkVersion.h"
#include "ZipWriter.h"

namespace {

constexpr int kKeptReports = 5;
// The reporter's own stack: formatting, the stack walk and the minidump.
constexpr SIZE_T kReporterStack = 1024 * 1024;
constexpr wchar_t kOfferedMarker[] = L"OFFERED";
constexpr char kCaption[] = "Voxlink";
constexpr SIZE_T kSpareHeap = 4 * 1024 * 1024;

// Everything the report needs, set up at installation.
struct Reporter {
    HANDLE request = nullptr;
    HANDLE done = nullptr;
    DWORD threadId = 0;
    void* workspace = nullptr;
    // Takes the place of the process heap when that is found damaged.
    HANDLE spareHeap = nullptr;
    PEB* processBlock = nullptr;
    bool heapReplaced = false;
    wchar_t root[MAX_PATH] = {};
    std::atomic<CrashStateSource> handsetAttached{nullptr};
    std::atomic<CrashStateSource> skypeAttached{nullptr};
    // Set by the failing thread before it wakes the reporter.
    EXCEPTION_POINTERS* exception = nullptr;
    DWORD failingThread = 0;
};

Reporter g_reporter;
std::atomic<bool> g_installed{false};
std::atomic<bool> g_reporting{false};

// A file written through the system alone: no C runtime buffers, no heap.
class ReportFile {
public:
    explicit ReportFile(const wchar_t* path)
        : m_handle(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~ReportFile() {
        if (Open()) {
            CloseHandle(m_handle);
        }
    }
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    bool Open() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return m_handle; }
    bool Write(const void* data, std::size_t size) {
        DWORD written = 0;
        return Open() && WriteFile(m_handle, data, static_cast<DWORD>(size), &written, nullptr) &&
               written == size;
    }
    void Print(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char line[1024];
        va_list arguments;
        va_start(arguments, format);
        const int length = std::vsnprintf(line, sizeof line, format, arguments);
        va_end(arguments);
        if (length > 0) {
            Write(line, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof line - 1));
        }
    }

private:
    HANDLE m_handle;
};

class ZipFileOutput : public ZipOutput {
public:
    explicit ZipFileOutput(ReportFile& file) : m_file(file) {}
    bool Write(const void* data, std::size_t size) override { return m_file.Write(data, size); }

private:
    ReportFile& m_file;
};

class ZipFileInput : public ZipInput {
public:
    explicit ZipFileInput(const wchar_t* path)
        : m_handle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~ZipFileInput() override {
        if (m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
    }
    ZipFileInput(const ZipFileInput&) = delete;
    ZipFileInput& operator=(const ZipFileInput&) = delete;
    long Read(void* data, std::size_t size) override {
        DWORD read = 0;
        if (m_handle == INVALID_HANDLE_VALUE ||
            !ReadFile(m_handle, data, static_cast<DWORD>(size), &read, nullptr)) {
            return -1;
        }
        return static_cast<long>(read);
    }

private:
    HANDLE m_handle;
};

void Join(wchar_t* out, const wchar_t* folder, const wchar_t* name) {
    std::swprintf(out, MAX_PATH, L"%ls%ls", folder, name);
}

// Creates every missing folder of path (ending in a backslash).
bool CreateFolders(const wchar_t* path) {
    wchar_t partial[MAX_PATH] = {};
    for (std::size_t i = 0; path[i] != L'\0' && i + 1 < MAX_PATH; ++i) {
        partial[i] = path[i];
        if (path[i] == L'\\' && i > 2) {
            partial[i + 1] = L'\0';
            CreateDirectoryW(partial, nullptr);
        }
    }
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

void WriteException(ReportFile& log, const EXCEPTION_RECORD& record) {
    log.Print("\r\nException 0x%08lx at %p", static_cast<unsigned long>(record.ExceptionCode),
              record.ExceptionAddress);
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
        log.Print(" (%s address %p)",
                  record.ExceptionInformation[0] == 0   ? "reading"
                  : record.ExceptionInformation[0] == 8 ? "executing"
                                                        : "writing",
                  reinterpret_cast<void*>(record.ExceptionInformation[1]));
    }
    if (record.ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
        log.Print(" (stack overflow)");
    }
}

void ThreadLabelOf(DWORD id, char* label, int size) {
    label[0] = '\0';
    if (HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id)) {
        ReadThreadLabel(thread, label, size);
        CloseHandle(thread);
    }
}

void WriteThreads(ReportFile& log) {
    log.Print("\r\nThreads:\r\n");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        log.Print("  (not available)\r\n");
        return;
    }
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD process = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != process || entry.th32ThreadID == g_reporter.threadId) {
            continue;
        }
        char label[128];
        ThreadLabelOf(entry.th32ThreadID, label, sizeof label);
        log.Print("  %6lu%s %s\r\n", static_cast<unsigned long>(entry.th32ThreadID),
                  entry.th32ThreadID == g_reporter.failingThread ? " (failed)" : "",
                  label[0] != '\0' ? label : "(no label)");
    }
    CloseHandle(snapshot);
}

void WriteTrace(ReportFile& log) {
    const TraceRing& ring = ProgramTraceRing();
    log.Print("\r\nLast trace lines (%u):\r\n", static_cast<unsigned>(ring.Count()));
    for (std::size_t i = 0; i < ring.Count(); ++i) {
        log.Print("  %s\r\n", ring.Line(i));
    }
}

void WriteModules(ReportFile& log) {
    log.Print("\r\nModules:\r\n");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE) {
        log.Print("  (not available)\r\n");
        return;
    }
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
        log.Print("  %p %8lu %s\r\n", static_cast<void*>(entry.modBaseAddr),
                  static_cast<unsigned long>(entry.modBaseSize), entry.szExePath);
    }
    CloseHandle(snapshot);
}

void WriteSystem(ReportFile& log) {
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

void WriteRegistersAndStack(ReportFile& log, const CONTEXT& context, HANDLE thread) {
#if defined(_M_X64) || defined(__x86_64__)
    log.Print("\r\nRegisters:\r\n");
    log.Print("  RIP=%016llx RSP=%016llx RBP=%016llx EFLAGS=%08lx\r\n", context.Rip, context.Rsp,
              context.Rbp, static_cast<unsigned long>(context.EFlags));
    log.Print("  RAX=%016llx RBX=%016llx RCX=%016llx RDX=%016llx\r\n", context.Rax, context.Rbx,
              context.Rcx, context.Rdx);
    log.Print("  RSI=%016llx RDI=%016llx R8 =%016llx R9 =%016llx\r\n", context.Rsi, context.Rdi,
              context.R8, context.R9);
    log.Print("  R10=%016llx R11=%016llx R12=%016llx R13=%016llx\r\n", context.R10, context.R11,
              context.R12, context.R13);
    log.Print("  R14=%016llx R15=%016llx\r\n", context.R14, context.R15);

    log.Print("\r\nStack:\r\n");
    HANDLE process = GetCurrentProcess();
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
        log.Print("  #%02d %016llx %s+0x%llx\r\n", depth, frame.AddrPC.Offset, moduleName,
                  base != 0 ? frame.AddrPC.Offset - base : 0ULL);
    }
    SymCleanup(process);
    // The raw words at the stack pointer, for frames the walk could not follow.
    log.Print("\r\nStack words at RSP:\r\n");
    const auto* words = reinterpret_cast<const unsigned long long*>(context.Rsp);
    for (int i = 0; i < 32; i += 4) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(words + i, &info, sizeof info) == 0 || info.State != MEM_COMMIT ||
            (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) {
            break;
        }
        log.Print("  %p: %016llx %016llx %016llx %016llx\r\n", static_cast<const void*>(words + i),
                  words[i], words[i + 1], words[i + 2], words[i + 3]);
    }
#else
    (void)log;
    (void)context;
    (void)thread;
#endif
}

const char* Answer(CrashStateSource source) {
    if (source == nullptr) {
        return "not known";
    }
    return source() ? "yes" : "no";
}

void WriteLog(const wchar_t* path, const EXCEPTION_POINTERS& info, HANDLE thread) {
    ReportFile log(path);
    if (!log.Open()) {
        return;
    }
    SYSTEMTIME now{};
    GetSystemTime(&now);
    log.Print("Voxlink %s error report, %04u-%02u-%02u %02u:%02u:%02u UTC\r\n",
              VOXLINK_VERSION_TEXT, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
              now.wSecond);
    WriteException(log, *info.ExceptionRecord);
    if (g_reporter.heapReplaced) {
        log.Print("\r\nThe process heap was damaged; this report was written with a spare heap.");
    }
    char label[128];
    ThreadLabelOf(g_reporter.failingThread, label, sizeof label);
    log.Print("\r\nThread %lu: %s\r\n", static_cast<unsigned long>(g_reporter.failingThread),
              label);
    log.Print("\r\nHandset attached: %s\r\nSkype attached: %s\r\n",
              Answer(g_reporter.handsetAttached.load()), Answer(g_reporter.skypeAttached.load()));
    WriteRegistersAndStack(log, *info.ContextRecord, thread);
    WriteThreads(log);
    WriteTrace(log);
    WriteModules(log);
    WriteSystem(log);
}

void WriteDump(const wchar_t* path, EXCEPTION_POINTERS* info) {
    ReportFile dump(path);
    if (!dump.Open()) {
        return;
    }
    MINIDUMP_EXCEPTION_INFORMATION exception{};
    exception.ThreadId = g_reporter.failingThread;
    exception.ExceptionPointers = info;
    exception.ClientPointers = FALSE;
    // Every thread's stack and details, the loaded modules; no heap memory.
    const auto type = static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithThreadInfo |
                                                 MiniDumpWithUnloadedModules);
    MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), dump.Handle(), type, &exception,
                      nullptr, nullptr);
}

void WriteZip(const wchar_t* folder, const SYSTEMTIME& local) {
    wchar_t path[MAX_PATH];
    Join(path, folder, L"report.zip");
    ReportFile file(path);
    ZipFileOutput output(file);
    ZipWriter zip(output, g_reporter.workspace, ZipWriter::kWorkspaceSize);
    const ZipTime when = MakeZipTime(local.wYear, local.wMonth, local.wDay, local.wHour,
                                     local.wMinute, local.wSecond);
    Join(path, folder, L"ERRORLOG.TXT");
    ZipFileInput log(path);
    Join(path, folder, L"CRASH.DMP");
    ZipFileInput dump(path);
    if (file.Open() && zip.Add("ERRORLOG.TXT", log, when) && zip.Add("CRASH.DMP", dump, when)) {
        zip.Finish();
    }
}

// The system's own functions (paths, thread descriptions, the minidump)
// allocate from the process heap. When a heap overrun has damaged it, the
// process is pointed at a heap made at installation instead; nothing of the
// program runs on afterwards.
void ReplaceDamagedProcessHeap() {
    if (g_reporter.spareHeap == nullptr || g_reporter.processBlock == nullptr ||
        HeapValidate(GetProcessHeap(), 0, nullptr)) {
        return;
    }
    g_reporter.processBlock->Reserved4[1] = g_reporter.spareHeap;
    g_reporter.heapReplaced = true;
}

// The process environment block, whose second reserved pointer of its fourth
// group is the process heap (offset 0x30 on x64).
PEB* ProcessBlock() {
    using QueryFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (query == nullptr ||
        query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0) {
        return nullptr;
    }
    PEB* block = basic.PebBaseAddress;
    return block != nullptr && block->Reserved4[1] == GetProcessHeap() ? block : nullptr;
}

void WriteReport() {
    ReplaceDamagedProcessHeap();
    SYSTEMTIME now{};
    GetSystemTime(&now);
    wchar_t folder[MAX_PATH];
    std::swprintf(folder, MAX_PATH, L"%ls%04u-%02u-%02u_%02u-%02u-%02u.%03u\\", g_reporter.root,
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds);
    if (!CreateFolders(folder)) {
        return;
    }
    HANDLE thread = OpenThread(THREAD_ALL_ACCESS, FALSE, g_reporter.failingThread);
    wchar_t path[MAX_PATH];
    Join(path, folder, L"ERRORLOG.TXT");
    WriteLog(path, *g_reporter.exception, thread);
    if (thread != nullptr) {
        CloseHandle(thread);
    }
    Join(path, folder, L"CRASH.DMP");
    WriteDump(path, g_reporter.exception);
    SYSTEMTIME local{};
    GetLocalTime(&local);
    WriteZip(folder, local);
}

DWORD WINAPI ReporterThread(void*) {
    // The C runtime sets up a thread's data on its first formatting call, from
    // the heap: done now, while the heap is sound.
    wchar_t warmUp[32];
    std::swprintf(warmUp, 32, L"%ls %u", L"report", 1u);
    char warmUpNarrow[32];
    std::snprintf(warmUpNarrow, sizeof warmUpNarrow, "%s %p", "report", warmUp);
    WaitForSingleObject(g_reporter.request, INFINITE);
    WriteReport();
    SetEvent(g_reporter.done);
    return 0;
}

// Runs on the failing thread, which may have almost no stack left: it only
// hands the exception over and waits.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (GetCurrentThreadId() == g_reporter.threadId) {
        // The report itself failed: end here, without a second report.
        TerminateProcess(GetCurrentProcess(), code);
    }
    if (g_reporting.exchange(true)) {
        // Another thread is being reported; the process ends when it is done.
        Sleep(INFINITE);
    }
    g_reporter.exception = info;
    g_reporter.failingThread = GetCurrentThreadId();
    if (g_reporter.threadId != 0 && SetEvent(g_reporter.request)) {
        WaitForSingleObject(g_reporter.done, kCrashReportLimitMs);
    }
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string Narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The report folders under root, oldest first (their names are UTC times).
std::vector<std::wstring> ReportFolders(const std::wstring& root) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((root + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            found.cFileName[0] != L'.') {
            names.push_back(found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveReport(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                DeleteFileW((folder + found.cFileName).c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// The layout of Simple MAPI's wide structures (MAPISendMailW), which the
// cross compiler's headers lack.
struct MailRecipientW {
    ULONG reserved;
    ULONG recipientClass;
    PWSTR name;
    PWSTR address;
    ULONG entryIdSize;
    void* entryId;
};
struct MailFileW {
    ULONG reserved;
    ULONG flags;
    ULONG position;
    PWSTR pathName;
    PWSTR fileName;
    void* fileType;
};
struct MailMessageW {
    ULONG reserved;
    PWSTR subject;
    PWSTR noteText;
    PWSTR messageType;
    PWSTR dateReceived;
    PWSTR conversationId;
    FLAGS flags;
    MailRecipientW* originator;
    ULONG recipientCount;
    MailRecipientW* recipients;
    ULONG fileCount;
    MailFileW* files;
};
using SendMailW = ULONG(WINAPI*)(LHANDLE, ULONG_PTR, MailMessageW*, FLAGS, ULONG);

constexpr ULONG kMapiSuccess = 0;
constexpr char kSubject[] = "Voxlink crash report";
constexpr char kNote[] =
    "Voxlink closed unexpectedly. The attached report.zip holds its error log "
    "and minidump.";

ULONG SendWide(SendMailW send, const std::wstring& attachment, const std::string& recipient) {
    std::wstring subject(kSubject, kSubject + sizeof kSubject - 1);
    std::wstring note(kNote, kNote + sizeof kNote - 1);
    std::wstring path = attachment;
    std::wstring fileName = L"report.zip";
    std::wstring address = L"SMTP:" + std::wstring(recipient.begin(), recipient.end());
    std::wstring name(recipient.begin(), recipient.end());
    MailFileW file{0, 0, static_cast<ULONG>(-1), path.data(), fileName.data(), nullptr};
    MailRecipientW to{0, MAPI_TO, name.data(), address.data(), 0, nullptr};
    MailMessageW message{};
    message.subject = subject.data();
    message.noteText = note.data();
    message.recipientCount = recipient.empty() ? 0 : 1;
    message.recipients = recipient.empty() ? nullptr : &to;
    message.fileCount = 1;
    message.files = &file;
    return send(0, 0, &message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
}

ULONG SendAnsi(LPMAPISENDMAIL send, const std::wstring& attachment, const std::string& recipient) {
    std::string subject = kSubject;
    std::string note = kNote;
    std::string path = Narrow(attachment);
    std::string fileName = "report.zip";
    std::string address = "SMTP:" + recipient;
    std::string name = recipient;
    MapiFileDesc file{0, 0, static_cast<ULONG>(-1), path.data(), fileName.data(), nullptr};
    MapiRecipDesc to{0, MAPI_TO, name.data(), address.data(), 0, nullptr};
    MapiMessage message{};
    message.lpszSubject = subject.data();
    message.lpszNoteText = note.data();
    message.nRecipCount = recipient.empty() ? 0 : 1;
    message.lpRecips = recipient.empty() ? nullptr : &to;
    message.nFileCount = 1;
    message.lpFiles = &file;
    return send(0, 0, &message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
}

// Simple MAPI from mapi32.dll, the wide entry where the system has it.
CrashMailResult SendWithSimpleMapi(const std::wstring& attachment, const std::string& recipient) {
    HMODULE mapi = LoadLibraryW(L"mapi32.dll");
    if (mapi == nullptr) {
        return CrashMailResult::NoMailProgram;
    }
    ULONG result = MAPI_E_NOT_SUPPORTED;
    if (auto wide = reinterpret_cast<SendMailW>(
            reinterpret_cast<void*>(GetProcAddress(mapi, "MAPISendMailW")))) {
        result = SendWide(wide, attachment, recipient);
    } else if (auto ansi = reinterpret_cast<LPMAPISENDMAIL>(
                   reinterpret_cast<void*>(GetProcAddress(mapi, "MAPISendMail")))) {
        result = SendAnsi(ansi, attachment, recipient);
    }
    FreeLibrary(mapi);
    // The user cancelling the message is still a mail program at work.
    return result == kMapiSuccess || result == MAPI_USER_ABORT ? CrashMailResult::Handed
                                                               : CrashMailResult::NoMailProgram;
}

std::atomic<CrashMailFunction> g_mailFunction{SendWithSimpleMapi};

}  // namespace

void InstallCrashReporter(const char* label) {
    SetThreadLabel(label);
    if (g_installed.exchange(true)) {
        return;
    }
    const std::wstring root = CrashReportsFolder();
    std::swprintf(g_reporter.root, MAX_PATH, L"%ls", root.c_str());
    g_reporter.workspace =
        VirtualAlloc(nullptr, ZipWriter::kWorkspaceSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    g_reporter.spareHeap = HeapCreate(0, kSpareHeap, 0);
    g_reporter.processBlock = ProcessBlock();
    g_reporter.request = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_reporter.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, kReporterStack, ReporterThread, nullptr,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, &threadId);
    if (thread != nullptr) {
        g_reporter.threadId = threadId;
        CloseHandle(thread);
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(CrashFilter);
}

bool CrashReportUnderWay() {
    return g_reporting.load();
}

void SetCrashStateSources(CrashStateSource handsetAttached, CrashStateSource skypeAttached) {
    g_reporter.handsetAttached = handsetAttached;
    g_reporter.skypeAttached = skypeAttached;
}

std::wstring CrashReportsFolder() {
    wchar_t base[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        // A process started without the user's environment: the user's temporary folder.
        length = GetTempPathW(MAX_PATH, base);
    }
    std::wstring folder = length > 0 && length < MAX_PATH ? base : L".";
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder + L"Voxlink\\CrashReports\\";
}

CrashMailFunction SetCrashMailFunction(CrashMailFunction function) {
    return g_mailFunction.exchange(function != nullptr ? function : SendWithSimpleMapi);
}

void OfferCrashReport(const std::string& supportEmail) {
    const std::wstring root = CrashReportsFolder();
    std::vector<std::wstring> reports = ReportFolders(root);
    while (reports.size() > kKeptReports) {
        RemoveReport(root + reports.front() + L"\\");
        reports.erase(reports.begin());
    }
    std::wstring offer;
    for (const std::wstring& name : reports) {
        const std::wstring folder = root + name + L"\\";
        if (Exists(folder + kOfferedMarker) || !Exists(folder + L"report.zip")) {
            continue;
        }
        // Marked before asking: a crash while the question is open does not
        // bring the same question back.
        HANDLE marker = CreateFileW((folder + kOfferedMarker).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (marker != INVALID_HANDLE_VALUE) {
            CloseHandle(marker);
        }
        offer = folder;
    }
    if (offer.empty()) {
        return;
    }
    const std::string where = Narrow(offer.substr(0, offer.size() - 1));
    const std::string question =
        "Voxlink closed unexpectedly the last time it ran. A report was "
        "saved in " +
        where + ". Send it by e-mail now?";
    if (ReportMessage(question.c_str(), kCaption, kReportYesNo | kReportIconQuestion) !=
        kReportYes) {
        return;
    }
    if (g_mailFunction.load()(offer + L"report.zip", supportEmail) ==
        CrashMailResult::NoMailProgram) {
        const std::string text =
            "No e-mail program is set up to send the report. It is in " + where + "\\report.zip" +
            (supportEmail.empty() ? "." : "; please send it to " + supportEmail + ".");
        ReportMessage(text.c_str(), kCaption, kReportOk | kReportIconInformation);
    }
}
