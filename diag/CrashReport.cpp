#include "CrashReport.h"

#include <windows.h>
#include <mapi.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include "CrashFiles.h"
#include "Report.h"
#include "ThreadLabel.h"
#include "TraceRing.h"

namespace {

constexpr int kKeptReports = 5;
constexpr wchar_t kOfferedMarker[] = L"OFFERED";
constexpr char kCaption[] = "Voxlink";

// Set up at installation, read by the filter without a lock.
CrashShared* g_block = nullptr;
HANDLE g_crashEvent = nullptr;
HANDLE g_doneEvent = nullptr;
HANDLE g_handler = nullptr;  // the handler's process
std::atomic<bool> g_installed{false};

bool HandlerRunning() {
    return g_block != nullptr && g_handler != nullptr &&
           WaitForSingleObject(g_handler, 0) == WAIT_TIMEOUT;
}

// Runs on the failing thread, which may hold the heap's or the loader's lock
// and may have almost no stack left: it allocates nothing, takes no lock and
// only signals the handler, then waits for it to end the process.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info) {
    if (!HandlerRunning()) {
        // Windows Error Reporting takes it (its local dumps, when installed).
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (InterlockedCompareExchange(&g_block->state, kCrashSignalled, kCrashIdle) != kCrashIdle) {
        // Another thread is being reported; the handler ends the process.
        Sleep(INFINITE);
    }
    g_block->threadId = GetCurrentThreadId();
    g_block->exceptionPointers = reinterpret_cast<std::uintptr_t>(info);
    SetEvent(g_crashEvent);
    const HANDLE waits[2] = {g_doneEvent, g_handler};
    WaitForMultipleObjects(2, waits, FALSE, kCrashReportLimitMs);
    TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// The failures that end the process without an exception of their own take
// the same way as one.
[[noreturn]] void RaiseFailure(DWORD code) {
    RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    TerminateProcess(GetCurrentProcess(), code);
    for (;;) {
        Sleep(INFINITE);
    }
}

void OnTerminate() {
    RaiseFailure(kCrashTerminate);
}

void OnAbortSignal(int) {
    RaiseFailure(kCrashAbort);
}

void OnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned int,
                        std::uintptr_t) {
    RaiseFailure(kCrashInvalidParameter);
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// The shared block, its handles and the handler process; false (and nothing
// left behind but the block) when the handler cannot start.
bool StartHandler() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &inherit, PAGE_READWRITE, 0,
                                        sizeof(CrashShared), nullptr);
    if (mapping == nullptr) {
        return false;
    }
    g_block = static_cast<CrashShared*>(
        MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CrashShared)));
    HANDLE self = nullptr;
    g_crashEvent = CreateEventW(&inherit, FALSE, FALSE, nullptr);
    g_doneEvent = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    if (g_block == nullptr || g_crashEvent == nullptr || g_doneEvent == nullptr ||
        !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                         PROCESS_ALL_ACCESS, TRUE, 0)) {
        return false;
    }
    g_block->size = sizeof(CrashShared);
    g_block->hangLimitMs = kCrashHangLimitMs;
    g_block->process = reinterpret_cast<std::uintptr_t>(self);
    g_block->crashEvent = reinterpret_cast<std::uintptr_t>(g_crashEvent);
    g_block->doneEvent = reinterpret_cast<std::uintptr_t>(g_doneEvent);
    g_block->traceRing = reinterpret_cast<std::uintptr_t>(&ProgramTraceRing());
    std::swprintf(g_block->reportsRoot, 260, L"%ls", CrashReportsFolder().c_str());

    const std::wstring handler = ProgramFolder() + kCrashHandlerFile;
    std::wstring command =
        L"\"" + handler + L"\" " + std::to_wstring(reinterpret_cast<std::uintptr_t>(mapping));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(handler.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    g_handler = started.hProcess;
    return true;
}

std::string Narrow(const std::wstring& text, UINT codePage = CP_ACP) {
    const int size =
        WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
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

// Windows Error Reporting's local dumps land in the reports folder itself
// (its DumpFolder, set by the installer); each becomes a report of its own.
void AdoptWindowsDumps(const std::wstring& root) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((root + L"*.dmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        SYSTEMTIME when{};
        FileTimeToSystemTime(&found.ftLastWriteTime, &when);
        const std::wstring folder = NewReportFolder(root, when);
        if (!CreateReportFolders(folder) ||
            !MoveFileW((root + found.cFileName).c_str(), (folder + L"CRASH.DMP").c_str())) {
            continue;
        }
        {
            ReportFile log(folder + L"ERRORLOG.TXT");
            log.Print(
                "Voxlink ended without reaching its crash handler; Windows Error Reporting "
                "saved this dump (%s).\r\n",
                Narrow(found.cFileName).c_str());
        }
        PackReport(folder);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

void InstallCrashReporter(const char* label) {
    SetThreadLabel(label);
    if (g_installed.exchange(true)) {
        return;
    }
    if (!StartHandler()) {
        g_handler = nullptr;
        ProgramTraceRing().Add("Crash handler: it could not start; crash reports are off.");
        std::fputs("Crash handler: it could not start; crash reports are off.\n", stdout);
        std::fflush(stdout);
    }
    // Failures that do not raise an exception of their own raise one now.
    std::set_terminate(OnTerminate);
    std::signal(SIGABRT, OnAbortSignal);
    _set_invalid_parameter_handler(OnInvalidParameter);
    // No system box for a failing process; Windows Error Reporting stays on
    // for what never reaches the filter.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    SetUnhandledExceptionFilter(CrashFilter);
}

void SetCrashStateAddresses(const void* handsetPresent, const void* skypeWindow) {
    if (g_block != nullptr) {
        g_block->handsetPresent = reinterpret_cast<std::uintptr_t>(handsetPresent);
        g_block->skypeWindow = reinterpret_cast<std::uintptr_t>(skypeWindow);
    }
}

void SetCrashMainWindow(HWND window, unsigned long hangLimitMs) {
    if (g_block != nullptr) {
        g_block->hangLimitMs = hangLimitMs;
        g_block->mainWindow = reinterpret_cast<std::uintptr_t>(window);
    }
}

bool CrashReportUnderWay() {
    return g_block != nullptr && g_block->state == kCrashSignalled && HandlerRunning();
}

void EndCrashHandling() {
    if (g_block != nullptr) {
        g_block->mainWindow = 0;
        g_block->normalExit = 1;
    }
}

HANDLE CrashHandlerProcess() {
    return g_handler;
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
    AdoptWindowsDumps(root);
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
    // In the user's language; %1 is the report's folder, %2 the support address.
    const std::string where = Narrow(offer.substr(0, offer.size() - 1), CP_UTF8);
    const std::string question = ProgramText(kCrashOfferText,
                                             "Voxlink closed unexpectedly or stopped responding "
                                             "the last time it ran. A report was saved in %1. "
                                             "Send it by e-mail now?",
                                             where.c_str());
    if (ReportMessage(question.c_str(), kCaption, kReportYesNo | kReportIconQuestion) !=
        kReportYes) {
        return;
    }
    if (g_mailFunction.load()(offer + L"report.zip", supportEmail) ==
        CrashMailResult::NoMailProgram) {
        const std::string text =
            supportEmail.empty()
                ? ProgramText(kCrashNoMailText,
                              "No e-mail program is set up to send the report. It is in "
                              "%1\\report.zip.",
                              where.c_str())
                : ProgramText(kCrashNoMailSendToText,
                              "No e-mail program is set up to send the report. It is in "
                              "%1\\report.zip; please send it to %2.",
                              where.c_str(), supportEmail.c_str());
        ReportMessage(text.c_str(), kCaption, kReportOk | kReportIconInformation);
    }
}
