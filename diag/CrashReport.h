// The program's side of crash reporting. At start-up it starts the crash
// handler (VoxlinkCrashHandler.exe beside the program, CrashShared.h) and
// installs a filter that, on an unhandled exception, only signals the handler
// and waits: the handler, a healthy process, writes the report into a folder
// of its own, %LOCALAPPDATA%\Voxlink\CrashReports\<UTC date and time>\, with
// "ERRORLOG.TXT" (the exception, the version, every thread's label and stack,
// the failing thread's registers, the program's state and its last trace
// lines, the module list, the operating system and the memory figures),
// "CRASH.DMP" (a minidump with every thread's stack) and "report.zip" holding
// both, then ends the program with the exception's code. std::terminate,
// abort() and invalid C runtime parameters raise exceptions of their own
// (CrashShared.h) and go the same way. The handler also writes a hang report
// when the main window stops answering, and leaves the program running.
// Windows only.
#pragma once

#include <windows.h>

#include <string>

#include "CrashShared.h"

// Starts the handler and installs the filter for the process (once), and
// labels the calling thread. Without a handler (it could not start) the
// program runs on and says so once in its trace; Windows Error Reporting then
// takes its failures.
void InstallCrashReporter(const char* label);

// Where the report reads whether the handset and Skype were attached: an int
// that is not 0 while the handset is present, and Skype's window handle.
void SetCrashStateAddresses(const void* handsetPresent, const void* skypeWindow);

// The window whose answers the hang watch asks for, and how long it may take.
void SetCrashMainWindow(HWND window, unsigned long hangLimitMs = kCrashHangLimitMs);

// True from the moment a failing thread has signalled the handler until the
// handler ends the process.
bool CrashReportUnderWay();

// On the normal way out: the handler stops watching and ends quietly with
// the program.
void EndCrashHandling();

// The handler's process (null when it did not start); for tests.
HANDLE CrashHandlerProcess();

// %LOCALAPPDATA%\Voxlink\CrashReports\ (with the trailing backslash).
std::wstring CrashReportsFolder();

// The outcome of offering a report by e-mail.
enum class CrashMailResult { Handed, NoMailProgram };
// Opens the user's mail program with a new message carrying attachment;
// recipient may be empty.
using CrashMailFunction = CrashMailResult (*)(const std::wstring& attachment,
                                              const std::string& recipient);
// Replaces the way reports are mailed (Simple MAPI) and returns the previous
// one; nullptr restores Simple MAPI.
CrashMailFunction SetCrashMailFunction(CrashMailFunction function);

// At start-up: turns dumps Windows Error Reporting left in the reports folder
// into reports of their own, keeps the five newest reports, and when one was
// saved since the last start asks once, through ReportMessage, whether to
// mail it (to supportEmail when not empty). Only a complete report (its
// report.zip written to the end) is offered, and each at most once.
// supportEmail is UTF-8. The texts come from the program's string table, in
// the user's language, under these ids (English where there is none).
void OfferCrashReport(const std::string& supportEmail);
inline constexpr unsigned int kCrashOfferText = 16;
inline constexpr unsigned int kCrashNoMailText = 17;
inline constexpr unsigned int kCrashNoMailSendToText = 18;
