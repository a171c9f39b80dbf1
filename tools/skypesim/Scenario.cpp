#include "Scenario.h"

#include "SimText.h"

#include <algorithm>
#include <chrono>

namespace skypesim {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool ParseMs(const std::string& word, int* ms) {
    long long value = 0;
    if (!ParseInt(word, &value) || value < 0 || value > 24LL * 3600 * 1000) {
        return false;
    }
    *ms = static_cast<int>(value);
    return true;
}

bool OnOff(const std::string& word, bool* value) {
    const std::string w = Lower(word);
    if (w == "on" || w == "yes" || w == "true") {
        *value = true;
    } else if (w == "off" || w == "no" || w == "false") {
        *value = false;
    } else {
        return false;
    }
    return true;
}

// Splits "key=value" into its parts; false when there is no '='.
bool KeyValue(const std::string& word, std::string* key, std::string* value) {
    const size_t eq = word.find('=');
    if (eq == std::string::npos || eq == 0) {
        return false;
    }
    *key = Lower(word.substr(0, eq));
    *value = word.substr(eq + 1);
    return true;
}

bool Fail(std::string* error, const std::string& text) {
    *error = text;
    return false;
}

bool ApplyContact(const Step& s, Model& m, std::string* error) {
    if (s.args.empty()) {
        return Fail(error, "contact needs a handle");
    }
    Contact* existing = m.FindContact(s.args[0]);
    Contact c = existing ? *existing : Contact{};
    c.handle = s.args[0];
    for (size_t i = 1; i < s.args.size(); ++i) {
        std::string key;
        std::string value;
        if (!KeyValue(s.args[i], &key, &value)) {
            if (i == 1) {
                c.fullName = s.args[i];
                continue;
            }
            return Fail(error, "contact: '" + s.args[i] + "' is not key=value");
        }
        long long number = 0;
        if (key == "name" || key == "fullname") {
            c.fullName = value;
        } else if (key == "display" || key == "displayname") {
            c.displayName = value;
        } else if (key == "status") {
            c.onlineStatus = Upper(value);
        } else if (key == "buddy" && ParseInt(value, &number) && number >= 0 && number <= 3) {
            c.buddyStatus = static_cast<int>(number);
        } else if (key == "answers" && ParseAnswerPolicy(value, &c.answers)) {
            c.hasPolicy = true;
        } else {
            return Fail(error, "contact: bad '" + s.args[i] + "'");
        }
    }
    if (existing != nullptr) {
        *existing = c;
    } else {
        m.contacts.push_back(c);
    }
    return true;
}

bool ApplyHistory(const Step& s, Model& m, long long nowEpoch, std::string* error) {
    long long id = 0;
    if (s.args.size() < 4 || !ParseInt(s.args[0], &id) || id <= 0 || id > 0x7FFFFFFF) {
        return Fail(error, "history needs: <id> <type> <status> <partner> [options]");
    }
    Call c;
    c.id = static_cast<int>(id);
    c.type = Upper(s.args[1]);
    if (c.type != "INCOMING_P2P" && c.type != "OUTGOING_P2P" && c.type != "INCOMING_PSTN" &&
        c.type != "OUTGOING_PSTN") {
        return Fail(error, "history: unknown call type '" + s.args[1] + "'");
    }
    c.status = Upper(s.args[2]);
    c.partnerHandle = s.args[3];
    if (const Contact* contact = m.FindContact(c.partnerHandle)) {
        c.partnerDispName = contact->displayName.empty() ? contact->fullName : contact->displayName;
    }
    c.timestamp = nowEpoch;
    c.seen = c.status != "MISSED";
    for (size_t i = 4; i < s.args.size(); ++i) {
        std::string key;
        std::string value;
        long long number = 0;
        const std::string word = Lower(s.args[i]);
        if (word == "seen" || word == "unseen") {
            c.seen = word == "seen";
        } else if (!KeyValue(s.args[i], &key, &value)) {
            return Fail(error, "history: '" + s.args[i] + "' is not key=value");
        } else if (key == "name") {
            c.partnerDispName = value;
        } else if (key == "at" && ParseInt(value, &number)) {
            c.timestamp = number;
        } else if (key == "ago" && ParseInt(value, &number)) {
            c.timestamp = nowEpoch - number;
        } else if (key == "duration" && ParseInt(value, &number) && number >= 0) {
            c.duration = static_cast<int>(number);
        } else {
            return Fail(error, "history: bad '" + s.args[i] + "'");
        }
    }
    if (Call* existing = m.FindCall(c.id)) {
        *existing = c;
    } else {
        m.calls.push_back(c);
    }
    return true;
}

// Set-up lines that change only the model (shared by the set-up part and the
// running simulator).
bool ApplyModelLine(const Step& s, Model& m, std::string* error) {
    const std::string& v = s.verb;
    const size_t n = s.args.size();
    long long number = 0;
    int ms = 0;
    bool flag = false;
    const long long nowEpoch = m.epochAtStart != 0
                                   ? m.epochAtStart
                                   : std::chrono::duration_cast<std::chrono::seconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count();
    if (v == "user" && (n == 1 || n == 2)) {
        m.currentUser = s.args[0];
        if (n == 2) {
            m.fullName = s.args[1];
        }
    } else if (v == "userstatus" && n == 1) {
        m.userStatus = Upper(s.args[0]);
    } else if (v == "connstatus" && n == 1) {
        m.connStatus = Upper(s.args[0]);
    } else if (v == "contact") {
        return ApplyContact(s, m, error);
    } else if (v == "history") {
        return ApplyHistory(s, m, nowEpoch, error);
    } else if (v == "clear" && n == 1 && Lower(s.args[0]) == "contacts") {
        m.contacts.clear();
    } else if (v == "clear" && n == 1 && Lower(s.args[0]) == "history") {
        m.calls.clear();
    } else if (v == "skypeout" && n == 1 && OnOff(s.args[0], &flag)) {
        m.skypeOut = flag;
    } else if (v == "balance" && (n == 1 || n == 2) && ParseInt(s.args[0], &number)) {
        m.balance = number;
        if (n == 2) {
            m.currency = s.args[1];
        }
    } else if (v == "audio_in" && n <= 1) {
        m.audioIn = n == 1 ? s.args[0] : "";
    } else if (v == "audio_out" && n <= 1) {
        m.audioOut = n == 1 ? s.args[0] : "";
    } else if (v == "ringer" && n <= 1) {
        m.ringer = n == 1 ? s.args[0] : "";
    } else if (v == "device" && n == 1) {
        m.devices.push_back(s.args[0]);
    } else if (v == "mute" && n == 1 && OnOff(s.args[0], &flag)) {
        m.mute = flag;
    } else if (v == "protocol" && n == 1 && ParseInt(s.args[0], &number) && number >= 1 &&
               number <= 100) {
        m.maxProtocol = static_cast<int>(number);
    } else if (v == "version" && n == 1) {
        m.version = s.args[0];
    } else if (v == "clock" && n == 1 && ParseInt(s.args[0], &number) && number > 0) {
        m.epochAtStart = number;
    } else if (v == "next-call-id" && n == 1 && ParseInt(s.args[0], &number) && number > 0 &&
               number < 0x7FFFFFFF) {
        m.nextCallId = static_cast<int>(number);
    } else if (v == "step-delay" && n == 1 && ParseMs(s.args[0], &ms)) {
        m.stepDelayMs = ms;
    } else if (v == "answer-delay" && n == 1 && ParseMs(s.args[0], &ms)) {
        m.answerDelayMs = ms;
    } else if (v == "ring-timeout" && n == 1 && ParseMs(s.args[0], &ms)) {
        m.ringTimeoutMs = ms;
    } else if (v == "durations" && n == 1 && OnOff(s.args[0], &flag)) {
        m.durationTicks = flag;
    } else if (v == "outgoing" && n == 1 && ParseAnswerPolicy(s.args[0], &m.outgoingPolicy)) {
    } else {
        return Fail(error, "bad set-up line: " + v + " " + s.rest);
    }
    return true;
}

bool IsEventForm(const Step& s) {
    // Verbs shared by set-up lines and events: the words decide.
    if (s.verb == "contact") {
        return s.args.size() >= 2 && (Lower(s.args[1]) == "goes" || Lower(s.args[1]) == "added" ||
                                      Lower(s.args[1]) == "removed");
    }
    if (s.verb == "history") {
        return s.args.size() == 1 && Lower(s.args[0]) == "changed";
    }
    return false;
}

bool ParseCallSuffix(const std::vector<std::string>& words, size_t from, int* callId) {
    *callId = 0;
    if (words.size() == from) {
        return true;
    }
    long long id = 0;
    if (words.size() == from + 2 && Lower(words[from]) == "call" &&
        ParseInt(words[from + 1], &id) && id > 0 && id < 0x7FFFFFFF) {
        *callId = static_cast<int>(id);
        return true;
    }
    return false;
}

// The partner event named by a step, or empty when it is none.
std::string PartnerKind(const Step& s, size_t* used) {
    std::vector<std::string> a;
    for (const std::string& w : s.args) {
        a.push_back(Lower(w));
    }
    *used = 1;
    if (s.verb == "partner" && !a.empty()) {
        if (a[0] == "hangs" && a.size() >= 2 && a[1] == "up") {
            *used = 2;
            return "hangs up";
        }
        if (a[0] == "is" && a.size() >= 2 && a[1] == "busy") {
            *used = 2;
            return "busy";
        }
        if (a[0] == "answers" || a[0] == "refuses" || a[0] == "holds" || a[0] == "resumes" ||
            a[0] == "voicemail" || a[0] == "earlymedia" || a[0] == "fails") {
            return a[0];
        }
        if (a[0] == "busy") {
            return "busy";
        }
    }
    if (s.verb == "caller" && a.size() >= 2 && a[0] == "gives" && a[1] == "up") {
        *used = 2;
        return "gives up";
    }
    if (s.verb == "caller" && a.size() >= 2 && a[0] == "hangs" && a[1] == "up") {
        *used = 2;
        return "gives up";
    }
    if (s.verb == "call" && !a.empty() && a[0] == "fails") {
        return "fails";
    }
    return "";
}

// Checks an event step's form without running it.
bool CheckEvent(const Step& s, std::string* error) {
    Expectation e;
    int ms = 0;
    if (IsExpectation(s, &e)) {
        return e.pattern.empty() ? Fail(error, "expect needs a pattern") : true;
    }
    if (s.verb == "wait") {
        return IsPause(s, &ms) ? true : Fail(error, "wait needs milliseconds");
    }
    size_t used = 0;
    int callId = 0;
    if (!PartnerKind(s, &used).empty()) {
        return ParseCallSuffix(s.args, used, &callId) ? true
                                                      : Fail(error, "bad call suffix: " + s.rest);
    }
    const size_t n = s.args.size();
    const std::string a0 = n > 0 ? Lower(s.args[0]) : "";
    const std::string a1 = n > 1 ? Lower(s.args[1]) : "";
    if (s.verb == "ring") {
        bool extrasKnown = true;
        for (size_t i = 2; i < n; ++i) {
            extrasKnown =
                extrasKnown && (Lower(s.args[i]) == "pstn" || Lower(s.args[i]) == "waiting");
        }
        return n >= 2 && n <= 4 && extrasKnown && a0 == "from"
                   ? true
                   : Fail(error, "ring needs: ring from <handle> [pstn] [waiting]");
    }
    if (s.verb == "contact") {
        return (a1 == "goes" && n == 3) || ((a1 == "added" || a1 == "removed") && n == 2)
                   ? true
                   : Fail(error,
                          "contact event needs: contact <handle> goes <STATUS>|added|removed");
    }
    if (s.verb == "history") {
        return true;  // "history changed", checked by IsEventForm
    }
    if (s.verb == "show") {
        return n == 2 && (a0 == "confirmation" || a0 == "ser") && a1 == "dialog"
                   ? true
                   : Fail(error, "show needs: show confirmation dialog | show ser dialog");
    }
    if (s.verb == "close") {
        return n == 1 && (a0 == "dialogs" || a0 == "main")
                   ? true
                   : Fail(error, "close needs: close dialogs | close main");
    }
    if (s.verb == "select") {
        long long tab = 0;
        return n == 2 && a0 == "tab" && ParseInt(s.args[1], &tab) && tab >= 0 && tab <= 2
                   ? true
                   : Fail(error, "select needs: select tab <0-2>");
    }
    if (s.verb == "notify") {
        return !s.rest.empty() ? true : Fail(error, "notify needs a text");
    }
    if (s.verb == "focus" || s.verb == "available" || s.verb == "note") {
        return true;
    }
    return Fail(error, "unknown line: " + s.verb + (s.rest.empty() ? "" : " " + s.rest));
}

std::string Unquote(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        std::vector<std::string> words;
        std::string error;
        if (SplitScenarioWords(text, &words, &error) && words.size() == 1) {
            return words[0];
        }
    }
    return text;
}

}  // namespace

bool IsSetupVerb(const std::string& verb) {
    static const char* const kVerbs[] = {
        "user",         "userstatus",   "connstatus", "contact",   "history",      "clear",
        "skypeout",     "balance",      "audio_in",   "audio_out", "ringer",       "device",
        "mute",         "protocol",     "version",    "clock",     "next-call-id", "step-delay",
        "answer-delay", "ring-timeout", "durations",  "outgoing",  "attach",       "windows"};
    for (const char* v : kVerbs) {
        if (verb == v) {
            return true;
        }
    }
    return false;
}

bool ParseStep(const std::string& line, int lineNumber, Step* step, std::string* error) {
    *step = Step{};
    step->line = lineNumber;
    std::string text = line;
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();
    }
    const std::vector<std::string> plain = SplitWords(text);
    if (plain.empty() || plain[0][0] == '#') {
        return true;
    }
    std::vector<std::string> words;
    if (!SplitScenarioWords(text, &words, error)) {
        *error = "line " + std::to_string(lineNumber) + ": " + *error;
        return false;
    }
    step->verb = Lower(words[0]);
    step->args.assign(words.begin() + 1, words.end());
    step->rest = RestAfterWords(text, 1);
    return true;
}

bool ParseScenario(const std::string& text, Scenario* scenario, std::string* error) {
    *scenario = Scenario{};
    size_t start = 0;
    int lineNumber = 0;
    bool inSetup = true;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        ++lineNumber;
        Step step;
        if (!ParseStep(text.substr(start, end - start), lineNumber, &step, error)) {
            return false;
        }
        start = end + 1;
        if (step.verb.empty()) {
            continue;
        }
        const bool setupLine = IsSetupVerb(step.verb) && !IsEventForm(step);
        std::string why;
        if (setupLine) {
            Setup probe;
            if (!ApplySetup(step, &probe, &why)) {
                *error = "line " + std::to_string(lineNumber) + ": " + why;
                return false;
            }
            if (!inSetup && (step.verb == "attach" || step.verb == "windows")) {
                *error = "line " + std::to_string(lineNumber) + ": " + step.verb +
                         " belongs to the set-up at the top";
                return false;
            }
        } else if (!CheckEvent(step, &why)) {
            *error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        }
        if (setupLine && inSetup) {
            scenario->setup.push_back(step);
        } else {
            inSetup = false;
            scenario->steps.push_back(step);
        }
    }
    return true;
}

bool ApplySetup(const Step& step, Setup* setup, std::string* error) {
    const size_t n = step.args.size();
    if (step.verb == "attach") {
        const std::string mode = n > 0 ? Lower(step.args[0]) : "";
        AttachConfig& a = setup->attach;
        int ms = 0;
        if (mode == "ok" && n == 1) {
            a.mode = AttachMode::kOk;
        } else if (mode == "refused" && n == 1) {
            a.mode = AttachMode::kRefused;
        } else if (mode == "unavailable" && n == 1) {
            a.mode = AttachMode::kUnavailable;
        } else if (mode == "later" && n == 2 && ParseMs(step.args[1], &ms)) {
            a.mode = AttachMode::kLater;
            a.delayMs = ms;
        } else if (mode == "pending" && (n == 2 || n == 4) && ParseMs(step.args[1], &ms) &&
                   (n == 2 ||
                    (Lower(step.args[2]) == "then" &&
                     (Lower(step.args[3]) == "ok" || Lower(step.args[3]) == "refused")))) {
            a.mode = AttachMode::kPending;
            a.delayMs = ms;
            a.pendingGranted = n == 2 || Lower(step.args[3]) == "ok";
        } else {
            return Fail(error,
                        "attach needs: ok | pending <ms> [then ok|refused] | refused | "
                        "unavailable | later <ms>");
        }
        return true;
    }
    if (step.verb == "windows") {
        return n == 1 && OnOff(step.args[0], &setup->windows)
                   ? true
                   : Fail(error, "windows needs on or off");
    }
    return ApplyModelLine(step, setup->model, error);
}

bool PerformStep(const Step& s, Engine& engine, long long nowMs, Sink& out, std::string* error) {
    if (s.verb.empty() || s.verb == "note") {
        return true;
    }
    if (IsSetupVerb(s.verb) && !IsEventForm(s)) {
        if (s.verb == "attach" || s.verb == "windows") {
            return Fail(error, s.verb + " belongs to the set-up at the top of a scenario");
        }
        Model probe = engine.model();
        if (!ApplyModelLine(s, probe, error)) {
            return false;
        }
        // These three are announced as the client does when they change.
        if (s.verb == "userstatus") {
            engine.SetUserStatus(s.args[0], out);
        } else if (s.verb == "connstatus") {
            engine.SetConnStatus(s.args[0], out);
        } else if (s.verb == "balance") {
            engine.mutableModel() = probe;
            engine.SetBalance(probe.balance, out);
        } else {
            engine.mutableModel() = probe;
        }
        return true;
    }
    if (!CheckEvent(s, error)) {
        return false;
    }
    size_t used = 0;
    const std::string kind = PartnerKind(s, &used);
    if (!kind.empty()) {
        int callId = 0;
        ParseCallSuffix(s.args, used, &callId);
        return engine.PartnerEvent(kind, callId, nowMs, out, error);
    }
    if (s.verb == "ring") {
        const auto has = [&s](const char* word) {
            return std::any_of(s.args.begin() + 2, s.args.end(),
                               [word](const std::string& a) { return Lower(a) == word; });
        };
        return engine.Ring(s.args[1], has("pstn"), nowMs, out, nullptr, error, has("waiting"));
    }
    if (s.verb == "contact") {
        const std::string a1 = Lower(s.args[1]);
        if (a1 == "goes") {
            return engine.ContactStatus(s.args[0], s.args[2], out, error);
        }
        return engine.ContactBuddy(s.args[0], a1 == "added" ? 3 : 1, out, error);
    }
    if (s.verb == "history") {
        engine.HistoryChanged(out);
    } else if (s.verb == "show") {
        out.Window(Lower(s.args[0]) == "ser" ? WindowAction::kShowSerDialog
                                             : WindowAction::kShowConfirmDialog,
                   0);
    } else if (s.verb == "close") {
        out.Window(
            Lower(s.args[0]) == "main" ? WindowAction::kHideMain : WindowAction::kCloseDialogs, 0);
    } else if (s.verb == "select") {
        long long tab = 0;
        ParseInt(s.args[1], &tab);
        out.Window(WindowAction::kSelectTab, static_cast<int>(tab));
    } else if (s.verb == "focus") {
        out.Window(WindowAction::kFocusMain, 0);
    } else if (s.verb == "available") {
        out.Window(WindowAction::kAnnounceAvailable, 0);
    } else if (s.verb == "notify") {
        out.Notify(Unquote(s.rest));
    } else {
        return Fail(error, "'" + s.verb + "' cannot be performed here");
    }
    return true;
}

bool IsPause(const Step& step, int* ms) {
    return step.verb == "wait" && step.args.size() == 1 && ParseMs(step.args[0], ms);
}

bool IsExpectation(const Step& step, Expectation* e) {
    std::string text;
    if (step.verb == "expect") {
        e->skipOthers = false;
        text = step.rest;
    } else if (step.verb == "wait" && !step.args.empty() && Lower(step.args[0]) == "for") {
        e->skipOthers = true;
        text = RestAfterWords(step.rest, 1);
    } else {
        return false;
    }
    e->timeoutMs = 5000;
    const std::vector<std::string> words = SplitWords(text);
    int ms = 0;
    if (words.size() >= 3 && Lower(words[words.size() - 2]) == "within" &&
        ParseMs(words.back(), &ms)) {
        e->timeoutMs = ms;
        const size_t cut = text.rfind(words[words.size() - 2]);
        text = NormalizeBlanks(text.substr(0, cut)) == "" ? "" : text.substr(0, cut);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
            text.pop_back();
        }
    }
    e->pattern = Unquote(text);
    return true;
}

bool RunStep(const Step& step, ScriptHost& host, std::string* failure) {
    const std::string where = "line " + std::to_string(step.line) + ": ";
    int ms = 0;
    Expectation e;
    if (step.verb.empty()) {
        return true;
    }
    if (IsExpectation(step, &e)) {
        // One deadline for the whole expectation, however many commands pass.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(e.timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            std::string command;
            if (!host.NextCommand(static_cast<int>(left > 0 ? left : 0), &command)) {
                *failure = where + "expected \"" + e.pattern + "\" within " +
                           std::to_string(e.timeoutMs) + " ms; nothing matching arrived";
                host.Note("FAILED " + *failure);
                return false;
            }
            if (MatchesPattern(e.pattern, command)) {
                host.Note("matched \"" + e.pattern + "\"");
                return true;
            }
            if (!e.skipOthers) {
                *failure = where + "expected \"" + e.pattern + "\" but the next command was \"" +
                           command + "\"";
                host.Note("FAILED " + *failure);
                return false;
            }
        }
    }
    if (IsPause(step, &ms)) {
        host.Pause(ms);
        return true;
    }
    if (step.verb == "note") {
        host.Note(step.rest);
        return true;
    }
    std::string error;
    if (!host.Perform(step, &error)) {
        *failure = where + error;
        host.Note("FAILED " + *failure);
        return false;
    }
    return true;
}

bool RunSteps(const std::vector<Step>& steps, ScriptHost& host, std::string* failure) {
    for (const Step& step : steps) {
        if (!RunStep(step, host, failure)) {
            return false;
        }
    }
    return true;
}

const char* ScenarioHelp() {
    return R"(Scenario files
==============
One statement per line; '#' starts a comment line; words are separated by
blanks; "double quotes" keep blanks (and UTF-8) in one word, key="value" too.
The set-up lines at the top describe the signed-in user before the simulator
starts; from the first other line on, lines run in order as a script.

Set-up (at the top; most may also appear later and then change the model):
  user <handle> ["Full Name"]          the signed-in user (default vox.tester)
  userstatus <WORD>                    ONLINE, AWAY, NA, DND, SKYPEME, INVISIBLE,
                                       OFFLINE, LOGGEDOUT; later in a script it
                                       is announced as USERSTATUS <WORD>
  connstatus <WORD>                    ONLINE, OFFLINE, CONNECTING, ...; later:
                                       announced as CONNSTATUS <WORD>
  clear contacts | clear history       start from an empty list
  contact <handle> ["Full Name"] [display="Alias"] [status=ONLINE]
          [buddy=0..3] [answers=<policy>]
  history <id> <TYPE> <STATUS> <partner> [name="Shown Name"] [at=<epoch>]
          [ago=<seconds>] [duration=<seconds>] [seen|unseen]
                                       TYPE: INCOMING_P2P OUTGOING_P2P
                                       INCOMING_PSTN OUTGOING_PSTN
  skypeout on|off                      the SkypeOut privilege
  balance <cents> [<currency>]         later in a script: announced as
                                       PROFILE PSTN_BALANCE <cents>
  audio_in "<device>" | audio_out "<device>" | ringer "<device>"
  device "<device>"                    a device the client knows (repeatable);
                                       with none listed any name is accepted
  mute on|off
  protocol <n>                         highest protocol supported (default 8)
  version <text>                       the SKYPEVERSION reply
  clock <epoch seconds>                fixes the wall clock at start
  next-call-id <n>                     id of the next new call
  step-delay <ms>                      pause between call status steps (200)
  answer-delay <ms>                    far party's answer delay (2000)
  ring-timeout <ms>                    an unanswered incoming call becomes
                                       MISSED after this (0: rings on)
  durations on|off                     CALL <id> DURATION <s> every second
  outgoing <policy>                    what far parties do with outgoing calls:
                                       manual (default: wait for the script),
                                       answer, busy, refuse, fail, voicemail,
                                       earlymedia
  attach ok                            answer a discover with success (default)
  attach pending <ms> [then ok|refused]   1 at once, then 0 (or 2) after <ms>
  attach refused | attach unavailable  answer with 2 | 3
  attach later <ms>                    ignore discovers, then broadcast 0x8001
                                       (API available) after <ms>
  windows on|off                       create the client's windows (on)

Script lines:
  wait <ms>
  ring from <handle> [pstn] [waiting] an incoming call rings; a waiting one
                                       (behind a connected call) starts in
                                       EARLYMEDIA
  partner answers | partner hangs up | partner is busy | partner refuses
  partner fails | partner voicemail | partner earlymedia
  partner holds | partner resumes      (each may end in: call <id>)
  caller gives up                      a ringing incoming call is MISSED
  call fails                           the latest live call FAILED
  contact <handle> goes <STATUS>       USER <handle> ONLINESTATUS <STATUS>
  contact <handle> added | removed     USER <handle> BUDDYSTATUS 3 | 1
  history changed                      CALLHISTORYCHANGED
  show confirmation dialog | show ser dialog | close dialogs | close main
  select tab <0-2> | focus
  available                            broadcast the API-available attach
  notify <text>                        send any text to the attached clients
  note <text>                          write a line into the transcript
  expect <pattern> [within <ms>]       the next command received must match
  wait for <pattern> [within <ms>]     commands are passed over until one
                                       matches
Patterns: '*' matches any text, '?' one character; runs of blanks count as one
blank, so "SET CALL * STATUS INPROGRESS" matches "SET CALL    12 STATUS
INPROGRESS". The default time limit is 5000 ms. A failed expectation ends the
script and skypesim.exe exits with code 1.
)";
}

}  // namespace skypesim
