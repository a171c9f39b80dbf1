#include "CrashFiles.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "ZipWriter.h"

namespace {

class ZipFileOutput : public ZipOutput {
public:
    explicit ZipFileOutput(ReportFile& file) : m_file(file) {}
    bool Write(const void* data, std::size_t size) override { return m_file.Write(data, size); }

private:
    ReportFile& m_file;
};

class ZipFileInput : public ZipInput {
public:
    explicit ZipFileInput(const std::wstring& path)
        : m_handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~ZipFileInput() override {
        if (m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
    }
    ZipFileInput(const ZipFileInput&) = delete;
    ZipFileInput& operator=(const ZipFileInput&) = delete;
    bool Open() const { return m_handle != INVALID_HANDLE_VALUE; }
    long Read(void* data, std::size_t size) override {
        DWORD read = 0;
        if (!Open() || !ReadFile(m_handle, data, static_cast<DWORD>(size), &read, nullptr)) {
            return -1;
        }
        return static_cast<long>(read);
    }

private:
    HANDLE m_handle;
};

}  // namespace

ReportFile::ReportFile(const std::wstring& path)
    : m_handle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr)) {}

ReportFile::~ReportFile() {
    if (Open()) {
        CloseHandle(m_handle);
    }
}

bool ReportFile::Write(const void* data, std::size_t size) {
    DWORD written = 0;
    return Open() && WriteFile(m_handle, data, static_cast<DWORD>(size), &written, nullptr) &&
           written == size;
}

void ReportFile::Print(const char* format, ...) {
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    if (length > 0) {
        Write(line, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof line - 1));
    }
}

bool CreateReportFolders(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos;
         at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at + 1).c_str(), nullptr);
    }
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring NewReportFolder(const std::wstring& root, const SYSTEMTIME& utc) {
    wchar_t name[64];
    std::swprintf(name, 64, L"%04u-%02u-%02u_%02u-%02u-%02u.%03u\\", utc.wYear, utc.wMonth,
                  utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds);
    return root + name;
}

bool PackReport(const std::wstring& folder) {
    const std::wstring part = folder + L"report.zip.part";
    bool complete = false;
    {
        ReportFile file(part);
        ZipFileOutput output(file);
        std::vector<unsigned char> workspace(ZipWriter::kWorkspaceSize);
        ZipWriter zip(output, workspace.data(), workspace.size());
        SYSTEMTIME local{};
        GetLocalTime(&local);
        const ZipTime when = MakeZipTime(local.wYear, local.wMonth, local.wDay, local.wHour,
                                         local.wMinute, local.wSecond);
        ZipFileInput log(folder + L"ERRORLOG.TXT");
        ZipFileInput dump(folder + L"CRASH.DMP");
        complete = file.Open() && log.Open() && dump.Open() && zip.Add("ERRORLOG.TXT", log, when) &&
                   zip.Add("CRASH.DMP", dump, when) && zip.Finish();
    }
    if (!complete) {
        DeleteFileW(part.c_str());
        return false;
    }
    return MoveFileExW(part.c_str(), (folder + L"report.zip").c_str(), MOVEFILE_REPLACE_EXISTING) !=
           0;
}
