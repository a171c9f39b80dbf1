// The files of a crash report, shared by the crash handler (which writes
// reports) and the program (which packs Windows Error Reporting's dumps and
// offers reports at start): a report folder under the user's CrashReports
// folder, ERRORLOG.TXT, CRASH.DMP and report.zip. Windows only.
#pragma once

#include <windows.h>

#include <string>

// A file written through the system alone, with printf-style lines.
class ReportFile {
public:
    explicit ReportFile(const std::wstring& path);
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    bool Open() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return m_handle; }
    bool Write(const void* data, std::size_t size);
    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    HANDLE m_handle;
};

// Creates every missing folder of path (ending in a backslash).
bool CreateReportFolders(const std::wstring& path);

// A new report's folder under root: its name is the UTC time (sortable).
std::wstring NewReportFolder(const std::wstring& root, const SYSTEMTIME& utc);

// Packs the folder's ERRORLOG.TXT and CRASH.DMP into report.zip. The archive
// is written as report.zip.part and renamed only once complete, so a report
// cut off half way is never taken for a whole one.
bool PackReport(const std::wstring& folder);
