#include "Log.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

#include "ThreadLabel.h"
#include "TraceRing.h"

namespace {

const char* SourceName(TraceSource source) {
    switch (source) {
        case TraceSource::Skype:
            return "skype";
        case TraceSource::Handset:
            return "handset";
        case TraceSource::Hid:
            return "hid";
        case TraceSource::Audio:
            return "audio";
        case TraceSource::Shell:
        default:
            return "shell";
    }
}

// "2026-05-01 14:03:07.123", local time.
std::string Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(ms));
    return text;
}

std::string LineOf(const char* label, TraceSource source, const std::string& text) {
    return Now() + " [" + (label[0] != '\0' ? label : "-") + "] " + SourceName(source) + ": " +
           text;
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// A HID report as the HID library traces it ("MCU->PC: 00 05 31 01 ..."):
// the key code of an input report and the data byte of a command report (a
// character of the LCD's text) are masked, like digits in the Skype texts.
void MaskReportBytes(std::string& line) {
    constexpr std::size_t kBytes = 9;  // after "MCU->PC: "
    std::size_t masked = std::string::npos;
    if (line.rfind("MCU->PC: ", 0) == 0) {
        masked = kBytes + 2 * 3;
    } else if (line.rfind("MCU<-PC: ", 0) == 0 && line.size() > kBytes && IsHex(line[kBytes])) {
        masked = kBytes + 4 * 3;
    }
    if (masked + 1 < line.size() && IsHex(line[masked]) && IsHex(line[masked + 1])) {
        line[masked] = line[masked + 1] = '*';
    }
}

std::FILE* OpenForAppending(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"ab");
#else
    return std::fopen(path.c_str(), "ab");
#endif
}

std::filesystem::path FileOf(const std::filesystem::path& folder, int index) {
    return folder /
           (index == 0 ? std::string("Voxlink.log") : "Voxlink." + std::to_string(index) + ".log");
}

}  // namespace

LogWriter::LogWriter(Options options) : m_options(std::move(options)) {
    std::error_code error;
    std::filesystem::create_directories(m_options.folder, error);
    const std::filesystem::path path = FileOf(m_options.folder, 0);
    m_file = OpenForAppending(path);
    if (m_file == nullptr) {
        return;
    }
    const auto size = std::filesystem::file_size(path, error);
    m_size = error ? 0 : static_cast<std::size_t>(size);
    m_running = true;
    m_thread = std::thread(&LogWriter::Run, this);
}

LogWriter::~LogWriter() {
    Stop();
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

void LogWriter::Post(std::string line) {
    if (!m_running) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_stop) {
            return;
        }
        if (m_queue.size() >= m_options.queueLines) {
            ++m_dropped;
            return;
        }
        m_queue.push_back(std::move(line));
    }
    m_wake.notify_one();
}

bool LogWriter::PostWithoutLocks(const char* line, unsigned waitMs) {
    int empty = 0;
    if (!m_running || !m_slotState.compare_exchange_strong(empty, 1)) {
        return false;
    }
    std::strncpy(m_slot, line, sizeof m_slot - 1);
    m_slotState = 2;
    // The writer may have looked at the slot just before it was filled and be
    // on its way to sleep: the wake-up is repeated until it has written it.
    for (unsigned waited = 0; waited <= waitMs; waited += 5) {
        m_wake.notify_all();
        if (m_slotState.load() == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void LogWriter::Stop() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void LogWriter::Run() {
    SetThreadLabel("Log writer");
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_wake.wait(hold, [this] {
            return m_stop || !m_queue.empty() || m_dropped != 0 || m_slotState.load() == 2;
        });
        std::vector<std::string> batch;
        batch.swap(m_queue);
        const std::size_t dropped = std::exchange(m_dropped, 0);
        const bool stop = m_stop;
        hold.unlock();
        if (m_options.beforeWrite) {
            m_options.beforeWrite();
        }
        for (const std::string& line : batch) {
            Write(line);
        }
        if (dropped != 0) {
            Write(LineOf("Log writer", TraceSource::Shell,
                         std::to_string(dropped) + " lines dropped"));
        }
        if (m_slotState.load() == 2) {
            Write(Now() + " " + m_slot);
            Flush();
            m_slotState = 0;
        }
        Flush();
        hold.lock();
        if (stop && m_queue.empty() && m_dropped == 0) {
            return;
        }
    }
}

void LogWriter::Write(const std::string& line) {
    if (m_size + line.size() + 2 > m_options.rollBytes && m_size != 0) {
        Roll();
    }
    if (m_file != nullptr) {
        std::fwrite(line.data(), 1, line.size(), m_file);
        std::fwrite("\r\n", 1, 2, m_file);
        m_size += line.size() + 2;
    }
}

void LogWriter::Flush() {
    if (m_file != nullptr) {
        std::fflush(m_file);
    }
}

void LogWriter::Roll() {
    std::fclose(m_file);
    std::error_code error;
    std::filesystem::remove(FileOf(m_options.folder, kFiles - 1), error);
    for (int i = kFiles - 2; i >= 0; --i) {
        std::filesystem::rename(FileOf(m_options.folder, i), FileOf(m_options.folder, i + 1),
                                error);
    }
    // Another program's handle on the file may keep it from being renamed:
    // then it simply grows.
    m_file = OpenForAppending(FileOf(m_options.folder, 0));
    m_size = 0;
    if (m_file != nullptr) {
        const auto size = std::filesystem::file_size(FileOf(m_options.folder, 0), error);
        m_size = error ? 0 : static_cast<std::size_t>(size);
    }
}

namespace {

std::atomic<LogWriter*> g_log{nullptr};
std::atomic<int> g_level{kLogOff};

}  // namespace

void Trace(TraceSource source, int level, const char* text) {
    if (text == nullptr) {
        return;
    }
    std::size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) {
        --length;
    }
    std::string masked(text, length);
    MaskPrivateDigits(masked.data());
    if (source == TraceSource::Hid) {
        MaskReportBytes(masked);
    }
    std::string line = LineOf(GetThreadLabel(), source, masked);
    ProgramTraceRing().AddMasked(line.c_str());
    LogWriter* log = g_log.load();
    if (log != nullptr && level <= g_level.load()) {
        log->Post(std::move(line));
    }
}

void TraceHid(int level, const char* text) {
    Trace(TraceSource::Hid, level, text);
}

void TraceWithoutLocks(TraceSource source, const char* label, const char* text, unsigned waitMs) {
    LogWriter* log = g_log.load();
    if (log == nullptr) {
        return;
    }
    // The writer adds the time; nothing here allocates or formats through the
    // C runtime, whose locks a stuck thread may hold.
    char line[512];
    std::size_t end = 0;
    for (const char* part : {"[", label, "] ", SourceName(source), ": ", text}) {
        while (*part != '\0' && *part != '\n' && *part != '\r' && end + 1 < sizeof line) {
            line[end++] = *part++;
        }
    }
    line[end] = '\0';
    log->PostWithoutLocks(line, waitMs);
}

void StartProgramLog(const std::filesystem::path& folder, int level) {
    if (level <= kLogOff || g_log.load() != nullptr) {
        return;
    }
    // Never deleted: threads of the libraries may trace until the process ends.
    auto* log = new LogWriter(LogWriter::Options{folder / "Logs", 1024 * 1024, 1024, {}});
    g_level = level;
    g_log = log;
}

void StopProgramLog() {
    if (LogWriter* log = g_log.load()) {
        log->Stop();
    }
}

#ifdef _WIN32
std::filesystem::path DiagnosticsFolder() {
    wchar_t base[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        // A process started without the user's environment: the user's temporary folder.
        length = GetTempPathW(MAX_PATH, base);
    }
    const std::filesystem::path folder = length > 0 && length < MAX_PATH ? base : L".";
    return folder / L"Voxlink";
}
#endif
