// The Skype client simulator as a library: a faithful peer for the Skype
// desktop API on Windows. It owns a thread with a hidden API window that
// answers the "SkypeControlAPIDiscover" broadcast with "SkypeControlAPIAttach",
// exchanges NUL-terminated texts in WM_COPYDATA with attached applications,
// keeps a model of a signed-in user, runs calls through their status
// sequences, creates the client's windows by class name, and records every
// text in a transcript. skypesim.exe is a thin program on top of it; tests
// embed it directly.
//
//   skypesim::SkypeSim sim;
//   sim.LoadScenario("contact alice \"Alice\" status=ONLINE\n", &error);
//   sim.Start(&error);
//   sim.WaitForCommand("SEARCH FRIENDS", 5000, &got);
//   sim.Inject("ring from alice", &error);
//   sim.ExpectCommand("GET CALL * PARTNER_DISPNAME", 3000, &got);
//   sim.Stop();
#pragma once

#include "Scenario.h"
#include "Transcript.h"

#include <memory>
#include <string>
#include <vector>

namespace skypesim {

struct SimOptions {
    // Writes HKEY_CURRENT_USER\Software\Skype\Phone, value "SkypePath", so that
    // a program that launches Skype from there starts the simulator.
    bool registerSkypePath = false;
    std::string skypePath;  // the path to register; empty: this process's executable
    // Prints every transcript line to standard output as it happens.
    bool echo = false;
};

class SkypeSim {
public:
    SkypeSim();
    ~SkypeSim();  // stops the simulator when it runs
    SkypeSim(const SkypeSim&) = delete;
    SkypeSim& operator=(const SkypeSim&) = delete;

    // --- Before Start ---------------------------------------------------
    // Applies a scenario's set-up lines and keeps its script for RunScript.
    bool LoadScenario(const std::string& text, std::string* error);
    bool LoadScenarioFile(const std::string& path, std::string* error);
    // Applies one set-up line (for example "attach pending 1500"); the loaded
    // script stays as it is.
    bool ApplySetupLine(const std::string& line, std::string* error);
    // The model, attach behaviour and window switch the simulator starts with.
    Setup& setup();
    void SetOptions(const SimOptions& options);

    // --- Life -------------------------------------------------------------
    bool Start(std::string* error);
    void Stop();
    bool running() const;
    // The client hangs (a modal loop gone wrong, a stuck network call): its
    // windows serve no message, sent or posted, until Stop.
    void Hang();

    // --- While running (any thread) ------------------------------------------
    // Carries out one scenario line (an event or a model change; not wait or
    // expect) on the simulator's thread and returns when it is done.
    bool Inject(const std::string& line, std::string* error);
    // The next command received from an application and not yet taken.
    bool NextCommand(int timeoutMs, std::string* command);
    // The next command must match the pattern (see ScenarioHelp) within the time.
    bool ExpectCommand(const std::string& pattern, int timeoutMs, std::string* got);
    // Passes over commands until one matches the pattern within the time.
    bool WaitForCommand(const std::string& pattern, int timeoutMs, std::string* got);
    // Runs the loaded scenario's script part, or any script text; stops at the
    // first failure and describes it.
    bool RunScript(std::string* failure);
    bool RunScriptText(const std::string& text, std::string* failure);
    size_t scriptLength() const;  // lines in the loaded scenario's script part

    // --- Observing --------------------------------------------------------------
    std::vector<TranscriptEntry> Transcript() const;
    std::string TranscriptText() const;
    Model ModelSnapshot() const;
    int negotiatedProtocol() const;
    void* apiWindow() const;   // the HWND that attached applications talk to
    void* mainWindow() const;  // "tskMainForm.UnicodeClass", or null without windows
    int attachedCount() const;
    long long nowMs() const;  // milliseconds since Start

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace skypesim
