// Scenario scripts for the Skype client simulator: a readable, line-based
// text that sets up the signed-in user's model and then drives events and
// checks the commands the application sends. Portable.
//
// The format is documented in ScenarioHelp() (and by skypesim.exe --help).
#pragma once

#include "SimEngine.h"

#include <string>
#include <vector>

namespace skypesim {

enum class AttachMode {
    kOk,           // attach at once (status 0)
    kPending,      // pending authorisation (1), then success (0) or refusal after a delay
    kRefused,      // refused (2)
    kUnavailable,  // not available (3)
    kLater,        // starts later: discovers go unanswered until it announces 0x8001
};

struct AttachConfig {
    AttachMode mode = AttachMode::kOk;
    int delayMs = 1000;
    bool pendingGranted = true;  // kPending: success after the delay, else refusal
};

// What a scenario's set-up part fixes before the simulator starts.
struct Setup {
    Model model = DefaultModel();
    AttachConfig attach;
    bool windows = true;  // create the client's windows
};

struct Step {
    int line = 0;
    std::string verb;               // lower case
    std::vector<std::string> args;  // words after the verb, quotes removed
    std::string rest;               // the raw text after the verb, trimmed
};

struct Scenario {
    std::vector<Step> setup;  // the leading set-up lines
    std::vector<Step> steps;  // everything from the first event on
};

// Parses and checks a whole scenario text. On failure the error names the line.
bool ParseScenario(const std::string& text, Scenario* scenario, std::string* error);
// Parses one line (for the console and for injected events). An empty or
// comment line gives a step with an empty verb.
bool ParseStep(const std::string& line, int lineNumber, Step* step, std::string* error);

bool IsSetupVerb(const std::string& verb);
// Applies one set-up line to the set-up before the simulator starts.
bool ApplySetup(const Step& step, Setup* setup, std::string* error);

// Carries out a step other than wait and expect while the simulator runs.
// Set-up lines change the running model (user and connection status and the
// balance also notify); attach and windows are only allowed in the set-up part.
bool PerformStep(const Step& step, Engine& engine, long long nowMs, Sink& out, std::string* error);

// What an expectation step asks for.
struct Expectation {
    bool skipOthers = false;  // "wait for": commands before a match are passed over
    std::string pattern;
    int timeoutMs = 5000;
};
bool IsExpectation(const Step& step, Expectation* expectation);
// "wait <ms>": true and the pause when the step is one.
bool IsPause(const Step& step, int* ms);

// The side of a running simulator that a script needs.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    // Carries out any step but wait and expect.
    virtual bool Perform(const Step& step, std::string* error) = 0;
    virtual void Pause(int ms) = 0;
    // The next command received and not yet taken by an expectation; false
    // when none arrived within the timeout.
    virtual bool NextCommand(int timeoutMs, std::string* command) = 0;
    virtual void Note(const std::string& text) = 0;
};

// Runs one step; false with a failure text when it failed (an expectation not
// met or an event that did not apply).
bool RunStep(const Step& step, ScriptHost& host, std::string* failure);
// Runs steps in order and stops at the first failure.
bool RunSteps(const std::vector<Step>& steps, ScriptHost& host, std::string* failure);

// The format of scenarios, for --help and the README.
const char* ScenarioHelp();

}  // namespace skypesim
