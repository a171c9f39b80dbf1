// skypesim.exe: the Skype client simulator as a program, for trying Voxlink
// without Skype, for the demo and for scripted checks.
#include "SkypeSim.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char kUsage[] = R"(skypesim - a Skype desktop client simulator (the desktop API's attach
handshake and text protocol, a signed-in user, calls, and the client's windows)

usage: skypesim [options] [scenario file]

  --console            after the scenario's script, read script lines from
                       standard input (also: help, transcript, quit)
  --stay               keep running after the script until Ctrl+C
  --for <ms>           keep running this long after the script, then exit
  --set "<line>"       a set-up line applied after the scenario file's own, for
                       example --set "attach pending 1500" (repeatable)
  --register [path]    write HKCU\Software\Skype\Phone "SkypePath" (this
                       program's path unless one is given)
  --transcript <file>  write the transcript there on exit
  --quiet              do not print the transcript as it happens
  --help               this text and the scenario format

Without a script the simulator keeps running (as with --stay). It exits with
0 when every expectation was met, 1 when one failed, 2 on a usage, scenario or
start-up error.

)";

HANDLE g_interrupted = nullptr;

// Ctrl+C or Ctrl+Break ends a run that stays, so the transcript is still written.
BOOL WINAPI OnConsoleInterrupt(DWORD) {
    SetEvent(g_interrupted);
    return TRUE;
}

void PrintHelp() {
    std::fputs(kUsage, stdout);
    std::fputs(skypesim::ScenarioHelp(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string scenarioPath;
    std::string transcriptPath;
    std::vector<std::string> setLines;
    bool console = false;
    bool stay = false;
    long long forMs = -1;
    skypesim::SimOptions options;
    options.echo = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            PrintHelp();
            return 0;
        } else if (arg == "--console") {
            console = true;
        } else if (arg == "--stay") {
            stay = true;
        } else if (arg == "--for" && i + 1 < argc) {
            forMs = std::atoll(argv[++i]);
        } else if (arg == "--register") {
            options.registerSkypePath = true;
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                options.skypePath = argv[++i];
            }
        } else if (arg == "--set" && i + 1 < argc) {
            setLines.push_back(argv[++i]);
        } else if (arg == "--transcript" && i + 1 < argc) {
            transcriptPath = argv[++i];
        } else if (arg == "--quiet") {
            options.echo = false;
        } else if (!arg.empty() && arg[0] != '-' && scenarioPath.empty()) {
            scenarioPath = arg;
        } else {
            std::fprintf(stderr, "skypesim: unknown option '%s' (see --help)\n", arg.c_str());
            return 2;
        }
    }

    skypesim::SkypeSim sim;
    sim.SetOptions(options);
    std::string error;
    if (!scenarioPath.empty() && !sim.LoadScenarioFile(scenarioPath, &error)) {
        std::fprintf(stderr, "skypesim: %s: %s\n", scenarioPath.c_str(), error.c_str());
        return 2;
    }
    for (const std::string& line : setLines) {
        if (!sim.ApplySetupLine(line, &error)) {
            std::fprintf(stderr, "skypesim: --set: %s\n", error.c_str());
            return 2;
        }
    }
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "skypesim: %s\n", error.c_str());
        return 2;
    }

    int result = 0;
    std::string failure;
    if (!sim.RunScript(&failure)) {
        std::fprintf(stderr, "skypesim: %s\n", failure.c_str());
        result = 1;
    }
    if (console) {
        std::string line;
        std::printf("skypesim> ");
        std::fflush(stdout);
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line == "quit" || line == "exit") {
                break;
            } else if (line == "help") {
                std::fputs(skypesim::ScenarioHelp(), stdout);
            } else if (line == "transcript") {
                std::fputs(sim.TranscriptText().c_str(), stdout);
            } else if (!sim.RunScriptText(line, &failure)) {
                std::printf("failed: %s\n", failure.c_str());
            }
            std::printf("skypesim> ");
            std::fflush(stdout);
        }
    } else if (forMs >= 0) {
        Sleep(static_cast<DWORD>(forMs));
    } else if (stay || sim.scriptLength() == 0) {
        // Runs until Ctrl+C, or until the process is ended.
        g_interrupted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(OnConsoleInterrupt, TRUE);
        WaitForSingleObject(g_interrupted, INFINITE);
    }
    sim.Stop();
    if (!transcriptPath.empty()) {
        std::ofstream out(transcriptPath, std::ios::binary);
        out << sim.TranscriptText();
    }
    return result;
}
