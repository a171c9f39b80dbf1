// The program's trace: one entry point for every source of trace lines (the
// Skype link, the handset object, the HID and font libraries, the audio
// backend, the shell). Each line is masked once (MaskPrivateDigits), kept in
// the trace ring for crash reports and, up to the log level, handed to the log
// writer, which writes it to the log file on a thread of its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class TraceSource { Skype, Handset, Hid, Audio, Shell };

// Log levels: nothing; errors and state changes (an idle program writes
// nothing, a call a handful of lines); everything.
inline constexpr int kLogOff = 0;
inline constexpr int kLogStates = 1;
inline constexpr int kLogAll = 2;

// Writes lines to <folder>/Voxlink.log, UTF-8, and rolls it at the size limit
// into Voxlink.1.log .. Voxlink.4.log (the oldest goes). Posting never waits
// for the file: lines go to a bounded queue, and a full queue drops lines and
// counts them ("N lines dropped" follows in the file). The writer thread
// sleeps while there is nothing to write.
class LogWriter {
public:
    static constexpr int kFiles = 5;
    struct Options {
        std::filesystem::path folder;
        std::size_t rollBytes = 1024 * 1024;
        std::size_t queueLines = 1024;
        // Runs on the writer thread before each batch is written.
        std::function<void()> beforeWrite;
    };

    explicit LogWriter(Options options);
    // Writes what is queued, then stops.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // False when the folder cannot be written: posted lines then go nowhere.
    bool Running() const { return m_running; }
    // One whole line, without its line break.
    void Post(std::string line);
    // For a thread that may take no lock (the exit deadline): the line goes
    // into a fixed slot the writer picks up. Waits up to waitMs for it to be
    // written; false when it was not (no log, the slot taken, a stalled writer).
    bool PostWithoutLocks(const char* line, unsigned waitMs);
    // Writes what is queued and ends the writer thread; later lines are ignored.
    void Stop();

private:
    void Run();
    void Write(const std::string& line);
    void Roll();
    void Flush();

    Options m_options;
    bool m_running = false;
    std::FILE* m_file = nullptr;  // the writer thread's
    std::size_t m_size = 0;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<std::string> m_queue;
    std::size_t m_dropped = 0;
    bool m_stop = false;
    // The lock-free slot: 0 empty, 1 being filled, 2 to be written.
    std::atomic<int> m_slotState{0};
    char m_slot[512] = {};
    std::thread m_thread;
};

// The trace entry point. level is kLogStates or kLogAll; the line goes to
// the ring whatever the level, to the log only up to the log level.
void Trace(TraceSource source, int level, const char* text);
// The same for the libraries, which name no source of their own.
void TraceHid(int level, const char* text);
// From a thread that may take no lock: to the log only, through the writer's
// fixed slot, waiting up to waitMs for it to be written.
void TraceWithoutLocks(TraceSource source, const char* label, const char* text, unsigned waitMs);

// Starts the program's log in folder at level (kLogOff: no log). Once.
void StartProgramLog(const std::filesystem::path& folder, int level);
// Writes what is queued and stops the writer (traces after it go to the ring only).
void StopProgramLog();

#ifdef _WIN32
// %LOCALAPPDATA%\Voxlink: the folder of the log ("Logs") and of the crash
// reports ("CrashReports"), without the trailing backslash.
std::filesystem::path DiagnosticsFolder();
#endif
