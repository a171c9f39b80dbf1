// voxlink_soak.exe: the real Voxlink.exe beside the Skype client simulator
// and the virtual handset (both in this process) through many call cycles
// (ring, hook up, a DTMF digit, hook down, the call's details fetched and its
// length on the display) and unplug / plug-in cycles (released, attached
// again, link started again), spread evenly over the run. Every 50 cycles it
// samples the program's handles, threads, USER and GDI objects and private
// bytes and prints a row. Exit 0 when every cycle completed and no figure
// ends above its bound over the first sample; exit 1 names each cycle that
// failed (the run goes on after it, up to five) or the figure that grew.
// Options: --calls N (default 1000), --plugs M (default 100), --every K
// (cycles between samples, default 50).
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "E2EHarness.h"

namespace {

using namespace voxtest;
using handsetsim::HandsetState;

struct Sample {
    int calls = 0;
    int plugs = 0;
    double seconds = 0;
    long long figures[5] = {};  // handles, threads, USER, GDI, private bytes
};

struct Figure {
    const char* name;
    long long bound;  // the most it may end above the first sample
};

// A run that keeps failing says nothing more about growth.
constexpr int kMostFailures = 5;

// Bounds over the first sample. Once attached the program keeps a fixed set
// of threads and handles; its Skype command thread and attach workers live
// briefly, and a sample may catch one (a thread and a handle or two). It
// makes no window or GDI object per call. One object leaked per call or plug
// ends a full run hundreds above. The recent-calls list keeps every call by
// design (about 450 bytes each with its texts and index entry), some 0.45 MB
// over a full run; 1 MB leaves room for the heap's own growth, while a leak
// of 1 KB per cycle does not fit.
const Figure kFigures[5] = {{"handles", 10},
                            {"threads", 2},
                            {"USER objects", 5},
                            {"GDI objects", 5},
                            {"private bytes", 1 << 20}};

// Far above the program's own handles, so that a leak shows as it grows.
constexpr std::uintptr_t kMostProbedHandle = 4 * 4096;

// Wine answers 0 from GetProcessHandleCount; there each handle value the
// program may hold is duplicated to see whether it is open (Wine numbers
// handles from 4 in steps of 4).
long long ProbedHandleCount(HANDLE process) {
    long long count = 0;
    for (std::uintptr_t value = 4; value <= kMostProbedHandle; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                            FALSE, DUPLICATE_SAME_ACCESS)) {
            CloseHandle(copy);
            ++count;
        }
    }
    return count;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM context) {
    auto* count = reinterpret_cast<std::pair<DWORD, long long>*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == count->first) {
        ++count->second;
        EnumChildWindows(window, CountWindow, context);
    }
    return TRUE;
}

Sample Take(const PROCESS_INFORMATION& process, int calls, int plugs, Clock::time_point start) {
    Sample s{calls, plugs, MsSince(start) / 1000.0, {}};
    DWORD handles = 0;
    GetProcessHandleCount(process.hProcess, &handles);
    s.figures[0] = handles != 0 ? handles : ProbedHandleCount(process.hProcess);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = Thread32First(snapshot, &thread); more;
         more = Thread32Next(snapshot, &thread)) {
        s.figures[1] += thread.th32OwnerProcessID == process.dwProcessId ? 1 : 0;
    }
    CloseHandle(snapshot);
    // Wine's GetGuiResources answers 0: its windows stand in for the
    // program's USER objects there, and GDI objects read 0.
    s.figures[2] = GetGuiResources(process.hProcess, GR_USEROBJECTS);
    if (s.figures[2] == 0) {
        std::pair<DWORD, long long> windows{process.dwProcessId, 0};
        EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&windows));
        s.figures[2] = windows.second;
    }
    s.figures[3] = GetGuiResources(process.hProcess, GR_GDIOBJECTS);
    // PrivateUsage is the process's commit charge, as PagefileUsage is;
    // Wine fills only the latter.
    PROCESS_MEMORY_COUNTERS_EX memory{};
    GetProcessMemoryInfo(process.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    s.figures[4] = static_cast<long long>(memory.PrivateUsage != 0 ? memory.PrivateUsage
                                                                   : memory.PagefileUsage);
    return s;
}

void PrintRow(const Sample& s) {
    std::printf("| %6d | %5d | %8.1f | %7lld | %7lld | %4lld | %4lld | %13lld |\n", s.calls,
                s.plugs, s.seconds, s.figures[0], s.figures[1], s.figures[2], s.figures[3],
                s.figures[4]);
}

// Each step waits for what the program sends to Skype or to the handset; a
// step that does not happen within 10 s fails the cycle and is named.
class Soak {
public:
    explicit Soak(VoxlinkRig& rig) : rig_(rig) {}

    // Ring, hook up, DTMF 5, hook down; done when the program has asked for
    // the call's timestamp and the display shows the call's length.
    bool Call(int n, std::string* step) {
        static const char* const kCallers[] = {"alice.andersen", "wang.xiaoming", "bob.brown"};
        int transfers = rig_.handset->State().transfers;
        std::string error, got;
        if (!rig_.sim.Inject(std::string("ring from ") + kCallers[n % 3], &error)) {
            return Failed(step, "ring: " + error);
        }
        if (!rig_.handset->WaitForTransfers(transfers + 1, kStepMs) ||
            !rig_.handset->State().ringing) {
            return Failed(step, "the handset did not ring with the caller's name");
        }
        if (!rig_.Press(0x1F) ||
            !rig_.sim.WaitForCommand("SET CALL * STATUS INPROGRESS", kStepMs, &got)) {
            return Failed(step, "hook up did not answer the call");
        }
        const std::string id = got.substr(8, got.find(" STATUS") - 8);
        const std::string call = "CALL " + id.substr(id.find_first_not_of(' '));
        if (!PumpUntil([&] { return rig_.handset->State().callActive; }, kStepMs)) {
            return Failed(step, "the handset was not told the call is active");
        }
        if (!rig_.Press(0xB5) ||
            !rig_.sim.WaitForCommand("SET " + call + " DTMF 5", kStepMs, &got)) {
            return Failed(step, "no DTMF for the digit key");
        }
        transfers = rig_.handset->State().transfers;
        if (!rig_.Press(0x20) ||
            !rig_.sim.WaitForCommand("GET " + call + " TIMESTAMP", kStepMs, &got)) {
            return Failed(step, "hook down did not end the call and fetch its details");
        }
        if (!PumpUntil(
                [&] {
                    return rig_.handset->State().transfers > transfers &&
                           !rig_.handset->Screen().timer.empty();
                },
                kStepMs)) {
            return Failed(step, "the call's length did not reach the display");
        }
        return true;
    }

    // Unplugged: the program gives Skype its devices back. Plugged in: it
    // attaches again, reloads the call history and starts the link again.
    bool Replug(std::string* step) {
        std::string got;
        const HandsetState before = rig_.handset->State();
        rig_.handset->Unplug();
        if (!rig_.sim.WaitForCommand("SET RINGER*", kStepMs, &got)) {
            return Failed(step, "unplugging did not release Skype");
        }
        if (!rig_.handset->Plug()) {
            return Failed(step, "the virtual handset's pipe could not be created");
        }
        if (!rig_.sim.WaitForCommand("SEARCH CALLS", kStepMs, &got)) {
            return Failed(step, "plugging in did not attach again");
        }
        if (!PumpUntil([&] { return rig_.handset->State().linkStarts > before.linkStarts; },
                       kStepMs)) {
            return Failed(step, "the link was not started again");
        }
        if (!rig_.handset->WaitForTransfers(before.transfers + 1, kStepMs)) {
            return Failed(step, "no missed-calls notice after the link start");
        }
        return true;
    }

    // After a cycle that did not complete: the handset plugged in and on
    // the hook, no call left, the program given time to settle, its
    // commands so far passed over.
    void Recover() {
        std::string error;
        rig_.handset->Plug();
        rig_.handset->HangUp();
        rig_.sim.Inject("partner hangs up", &error);
        PumpFor(5000);
        std::string stale;
        while (rig_.sim.NextCommand(0, &stale)) {
        }
    }

private:
    static constexpr int kStepMs = 10000;
    static bool Failed(std::string* step, const std::string& what) {
        *step = what;
        return false;
    }
    VoxlinkRig& rig_;
};

// Both transcripts beside the program's own trace.
void SaveTranscripts(const VoxlinkRig& rig) {
    const std::string path = rig.program->logPath + ".transcripts.txt";
    if (FILE* out = std::fopen(path.c_str(), "w")) {
        std::fprintf(out, "%s", rig.sim.TranscriptText().c_str());
        for (const std::string& line : rig.handset->Transcript()) {
            std::fprintf(out, "%s\n", line.c_str());
        }
        std::fclose(out);
    }
    std::printf("Skype and handset transcripts: %s; Voxlink's trace: %s\n", path.c_str(),
                rig.program->logPath.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int calls = 1000;
    int plugs = 100;
    int every = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--calls") == 0) {
            calls = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--plugs") == 0) {
            plugs = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--every") == 0) {
            every = std::max(1, std::atoi(argv[i + 1]));
        }
    }

    VoxlinkRig rig("soak");
    std::string failure;
    if (!rig.Boot("step-delay 10\nanswer-delay 10\n", &failure)) {
        std::fprintf(stderr, "voxlink_soak: %s\n", failure.c_str());
        return 1;
    }
    Soak soak(rig);
    std::printf("| %6s | %5s | %8s | %7s | %7s | %4s | %4s | %13s |\n", "calls", "plugs", "seconds",
                "handles", "threads", "USER", "GDI", "private bytes");
    std::printf(
        "|--------|-------|----------|---------|---------|------|------|---------------|\n");
    const auto start = Clock::now();
    std::vector<Sample> samples;
    const int cycles = calls + plugs;
    int done[2] = {0, 0};    // calls, plug cycles
    int failed[2] = {0, 0};  // of which did not complete
    for (int cycle = 1; cycle <= cycles && failed[0] + failed[1] < kMostFailures; ++cycle) {
        // Plug cycles spread evenly among the calls.
        const int kind = static_cast<long long>(cycle) * plugs / cycles > done[1] ? 1 : 0;
        std::string step;
        if (!(kind == 1 ? soak.Replug(&step) : soak.Call(done[0], &step))) {
            std::printf("FAIL: %s %d (cycle %d): %s\n", kind == 1 ? "plug cycle" : "call",
                        done[kind] + 1, cycle, step.c_str());
            ++failed[kind];
            soak.Recover();
        }
        ++done[kind];
        if (cycle % every == 0 || cycle == cycles) {
            // Let the short-lived workers of the last cycle end first.
            PumpFor(500);
            samples.push_back(Take(rig.program->process, done[0], done[1], start));
            PrintRow(samples.back());
        }
    }
    std::printf("\n%d of %d calls answered and ended, %d of %d plug cycles completed, %.1f s\n",
                done[0] - failed[0], calls, done[1] - failed[1], plugs, MsSince(start) / 1000.0);
    if (failed[0] + failed[1] > 0 || done[0] + done[1] < cycles) {
        SaveTranscripts(rig);
        std::printf("FAIL: not every cycle completed\n");
        return 1;
    }
    if (samples.size() < 2) {
        std::printf("too short a run to compare figures (one sample)\n");
        return 0;
    }
    bool grew = false;
    for (int f = 0; f < 5; ++f) {
        const long long change = samples.back().figures[f] - samples.front().figures[f];
        if (change > kFigures[f].bound) {
            std::printf("FAIL: %s grew by %lld after cycle %d (bound %lld)\n", kFigures[f].name,
                        change, every, kFigures[f].bound);
            grew = true;
        }
    }
    if (!grew) {
        std::printf("PASS: every figure within its bound of the sample after cycle %d\n", every);
    }
    return grew ? 1 : 0;
}
