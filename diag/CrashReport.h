// The crash reporter. On an unhandled exception it writes a report into a
// folder of its own, %LOCALAPPDATA%\Voxlink\CrashReports\<UTC date and time>\:
// "ERRORLOG.TXT" (the exception, the version, every thread's label, the
// failing thread's stack and registers, the program's state and its last trace
// lines, the module list, the operating system and the memory figures),
// "CRASH.DMP" (a minidump with every thread's stack) and "report.zip" holding
// both. The process then ends with the exception's code, without a box.
//
// The report is written by a thread started at installation, with memory
// reserved then: the failing thread may have no stack left (a stack overflow)
// and the heap may be damaged.
#pragma once

#include <cstddef>
#include <string>

// The longest a report may take; the process ends when it is done or after this.
inline constexpr unsigned long kCrashReportLimitMs = 120000;

// Installs the reporter for the process (once) and labels the calling thread.
void InstallCrashReporter(const char* label);

// True from the moment a failing thread is being reported: the process ends
// with the exception's code once the report is written.
bool CrashReportUnderWay();

// Tell the report whether the handset and Skype were attached. Called on the
// reporter's thread while the process is stopped in a crash: they must not
// lock, allocate or wait.
using CrashStateSource = bool (*)();
void SetCrashStateSources(CrashStateSource handsetAttached, CrashStateSource skypeAttached);

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

// At start-up: keeps the five newest reports, and when one was saved since the
// last start asks once, through ReportMessage, whether to mail it (to
// supportEmail when not empty). Every report is asked about once at most.
void OfferCrashReport(const std::string& supportEmail);
