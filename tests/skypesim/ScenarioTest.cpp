// Scenario scripts: parsing, the set-up they describe, the events they
// perform, and expectations run against a fake simulator.
#include "Scenario.h"
#include "SimTestSupport.h"
#include "SimText.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace skypesim {
namespace {

using testing::Recorder;

TEST(ScenarioText, PatternsIgnoreBlankRunsAndSupportWildcards) {
    EXPECT_TRUE(MatchesPattern("SET CALL * STATUS INPROGRESS", "SET CALL    12 STATUS INPROGRESS"));
    EXPECT_TRUE(MatchesPattern("SET AUDIO_IN *", "SET AUDIO_IN USB Audio Device "));
    EXPECT_TRUE(MatchesPattern("GET CALL ?? TYPE", "GET CALL 12 TYPE"));
    EXPECT_FALSE(MatchesPattern("GET CALL ?? TYPE", "GET CALL 123 TYPE"));
    EXPECT_FALSE(MatchesPattern("SEARCH CALLS", "SEARCH MISSEDCALLS"));
    EXPECT_TRUE(MatchesPattern("*", ""));
    EXPECT_FALSE(MatchesPattern("a*b*c", "aXbX"));
    // Many stars against a long text stay quick (no exponential back-tracking).
    EXPECT_FALSE(MatchesPattern(std::string(40, '*') + "x", std::string(5000, 'a')));
}

TEST(ScenarioText, WordsQuotesAndNumbers) {
    std::vector<std::string> words;
    std::string error;
    ASSERT_TRUE(
        SplitScenarioWords(R"(contact a "Ayşe  Yılmaz" display="A \"Q\"" x)", &words, &error));
    EXPECT_EQ(words,
              (std::vector<std::string>{"contact", "a", "Ayşe  Yılmaz", "display=A \"Q\"", "x"}));
    EXPECT_FALSE(SplitScenarioWords("note \"open", &words, &error));
    EXPECT_EQ(RestAfterWords("SET AUDIO_IN  USB  Audio ", 2), "USB  Audio");
    long long v = 0;
    EXPECT_TRUE(ParseInt("-42", &v));
    EXPECT_EQ(v, -42);
    EXPECT_FALSE(ParseInt("99999999999999999999", &v));
    EXPECT_FALSE(ParseInt("12a", &v));
    EXPECT_FALSE(ParseInt("-", &v));
}

TEST(ScenarioParse, SetUpLinesAtTheTopBuildTheModel) {
    const char* text = R"(# a user with two contacts
user zoe "Zoë Zimmer"
userstatus AWAY
clear contacts
clear history
contact wang "王小明" display="小明" status=DND buddy=3 answers=busy
contact ali "Ali Kaya"
history 7 INCOMING_P2P MISSED wang at=1700000000 unseen
history 8 OUTGOING_PSTN FINISHED +90212555 duration=65 name="Istanbul"
skypeout off
balance 99 USD
device "USB Audio Device"
audio_in "USB Audio Device"
protocol 3
attach pending 1500 then refused
windows off
ring from wang
userstatus ONLINE
)";
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, &scenario, &error)) << error;
    ASSERT_EQ(scenario.setup.size(), 15u);
    ASSERT_EQ(scenario.steps.size(), 2u);
    EXPECT_EQ(scenario.steps[0].line, 17);

    skypesim::Setup setup;
    for (const Step& s : scenario.setup) {
        ASSERT_TRUE(ApplySetup(s, &setup, &error)) << error;
    }
    const Model& m = setup.model;
    EXPECT_EQ(m.currentUser, "zoe");
    EXPECT_EQ(m.fullName, "Zoë Zimmer");
    EXPECT_EQ(m.userStatus, "AWAY");
    ASSERT_EQ(m.contacts.size(), 2u);
    EXPECT_EQ(m.contacts[0].fullName, "王小明");
    EXPECT_EQ(m.contacts[0].displayName, "小明");
    EXPECT_EQ(m.contacts[0].onlineStatus, "DND");
    EXPECT_TRUE(m.contacts[0].hasPolicy);
    EXPECT_EQ(m.contacts[0].answers, AnswerPolicy::kBusy);
    EXPECT_EQ(m.contacts[1].onlineStatus, "ONLINE");
    ASSERT_EQ(m.calls.size(), 2u);
    EXPECT_EQ(m.calls[0].partnerDispName, "小明");
    EXPECT_FALSE(m.calls[0].seen);
    EXPECT_EQ(m.calls[0].timestamp, 1700000000);
    EXPECT_EQ(m.calls[1].duration, 65);
    EXPECT_EQ(m.calls[1].partnerDispName, "Istanbul");
    EXPECT_FALSE(m.skypeOut);
    EXPECT_EQ(m.balance, 99);
    EXPECT_EQ(m.currency, "USD");
    EXPECT_EQ(m.audioIn, "USB Audio Device");
    EXPECT_EQ(m.maxProtocol, 3);
    EXPECT_EQ(setup.attach.mode, AttachMode::kPending);
    EXPECT_EQ(setup.attach.delayMs, 1500);
    EXPECT_FALSE(setup.attach.pendingGranted);
    EXPECT_FALSE(setup.windows);
}

TEST(ScenarioParse, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        const char* fragment;
    };
    const Case cases[] = {
        {"user a\nfly to the moon\n", "line 2"},
        {"contact\n", "line 1"},
        {"history 1 SIDEWAYS FINISHED bob\n", "unknown call type"},
        {"attach sometimes\n", "attach needs"},
        {"ring from\n", "ring needs"},
        {"wait soon\n", "wait needs"},
        {"ring from a\nattach ok\n", "set-up at the top"},
        {"select tab 7\n", "select needs"},
        {"expect\n", "expect needs a pattern"},
        {"note \"unterminated\n", "unterminated"},
    };
    for (const Case& c : cases) {
        Scenario scenario;
        std::string error;
        EXPECT_FALSE(ParseScenario(c.text, &scenario, &error)) << c.text;
        EXPECT_NE(error.find(c.fragment), std::string::npos) << c.text << " -> " << error;
    }
}

TEST(ScenarioParse, ExpectationsAndPauses) {
    Step step;
    std::string error;
    Expectation e;
    ASSERT_TRUE(ParseStep("expect SET CALL * STATUS INPROGRESS within 3000", 1, &step, &error));
    ASSERT_TRUE(IsExpectation(step, &e));
    EXPECT_FALSE(e.skipOthers);
    EXPECT_EQ(e.pattern, "SET CALL * STATUS INPROGRESS");
    EXPECT_EQ(e.timeoutMs, 3000);
    ASSERT_TRUE(ParseStep("wait for \"SET AUDIO_IN * \"", 2, &step, &error));
    ASSERT_TRUE(IsExpectation(step, &e));
    EXPECT_TRUE(e.skipOthers);
    EXPECT_EQ(e.pattern, "SET AUDIO_IN * ");
    EXPECT_EQ(e.timeoutMs, 5000);
    int ms = 0;
    ASSERT_TRUE(ParseStep("wait 250", 3, &step, &error));
    EXPECT_TRUE(IsPause(step, &ms));
    EXPECT_EQ(ms, 250);
    EXPECT_FALSE(IsExpectation(step, &e));
}

TEST(ScenarioPerform, EventsReachTheEngineAndTheWindows) {
    Engine engine(DefaultModel());
    Recorder out;
    std::string error;
    auto run = [&](const std::string& line) {
        Step step;
        EXPECT_TRUE(ParseStep(line, 1, &step, &error)) << error;
        return PerformStep(step, engine, 0, out, &error);
    };
    EXPECT_TRUE(run("ring from alice.andersen"));
    EXPECT_TRUE(run("contact bob.brown goes ONLINE"));
    EXPECT_TRUE(run("contact new.friend added"));
    EXPECT_TRUE(run("contact bob.brown removed"));
    EXPECT_TRUE(run("history changed"));
    EXPECT_TRUE(run("userstatus NA"));
    EXPECT_TRUE(run("balance 500"));
    EXPECT_TRUE(run("notify \"CALL 5 STATUS FINISHED\""));
    EXPECT_TRUE(run("caller gives up"));
    EXPECT_EQ(out.Take(),
              (std::vector<std::string>{
                  "N:CALL 1000 STATUS RINGING", "N:USER bob.brown ONLINESTATUS ONLINE",
                  "N:USER new.friend BUDDYSTATUS 3", "N:USER bob.brown BUDDYSTATUS 1",
                  "N:CALLHISTORYCHANGED", "N:USERSTATUS NA", "N:PROFILE PSTN_BALANCE 500",
                  "N:CALL 5 STATUS FINISHED", "N:CALL 1000 STATUS MISSED"}));
    EXPECT_EQ(engine.model().balance, 500);

    EXPECT_TRUE(run("show confirmation dialog"));
    EXPECT_TRUE(run("show ser dialog"));
    EXPECT_TRUE(run("select tab 2"));
    EXPECT_TRUE(run("close dialogs"));
    ASSERT_EQ(out.windows.size(), 4u);
    EXPECT_EQ(out.windows[0].first, WindowAction::kShowConfirmDialog);
    EXPECT_EQ(out.windows[1].first, WindowAction::kShowSerDialog);
    EXPECT_EQ(out.windows[2], std::make_pair(WindowAction::kSelectTab, 2));
    EXPECT_EQ(out.windows[3].first, WindowAction::kCloseDialogs);

    EXPECT_FALSE(run("contact nobody goes ONLINE"));
    EXPECT_FALSE(run("partner answers"));
    EXPECT_FALSE(run("attach ok"));
    EXPECT_TRUE(run("contact late.one \"Late One\""));  // a model change, silent
    EXPECT_TRUE(out.Take().empty());
    EXPECT_NE(engine.model().FindContact("late.one"), nullptr);
}

// Plays the simulator for RunSteps: commands come from a list.
class FakeHost : public ScriptHost {
public:
    std::deque<std::string> incoming;
    std::vector<std::string> performed;
    std::vector<std::string> notes;
    int paused = 0;

    bool Perform(const Step& step, std::string* error) override {
        if (step.verb == "ring" && step.args.size() == 2 && step.args[1] == "nobody") {
            *error = "no such caller";
            return false;
        }
        performed.push_back(step.verb);
        return true;
    }
    void Pause(int ms) override { paused += ms; }
    bool NextCommand(int, std::string* command) override {
        if (incoming.empty()) {
            return false;
        }
        *command = incoming.front();
        incoming.pop_front();
        return true;
    }
    void Note(const std::string& text) override { notes.push_back(text); }
};

std::vector<Step> Steps(const char* text) {
    Scenario scenario;
    std::string error;
    EXPECT_TRUE(ParseScenario(text, &scenario, &error)) << error;
    return scenario.steps;
}

TEST(ScenarioRun, ExpectTakesTheNextCommandAndWaitForSkipsOthers) {
    FakeHost host;
    host.incoming = {"PROTOCOL 5", "GET USERSTATUS", "SEARCH FRIENDS", "SEARCH CALLS",
                     "SET CALL    12 STATUS INPROGRESS"};
    std::string failure;
    EXPECT_TRUE(RunSteps(Steps("expect PROTOCOL 5\nwait for SEARCH CALLS\nring from bob\n"
                               "wait 40\nexpect SET CALL 12 STATUS INPROGRESS\n"),
                         host, &failure))
        << failure;
    EXPECT_EQ(host.performed, std::vector<std::string>{"ring"});
    EXPECT_EQ(host.paused, 40);
    EXPECT_TRUE(host.incoming.empty());
}

TEST(ScenarioRun, FailuresStopTheScriptAndSayWhy) {
    FakeHost host;
    host.incoming = {"PROTOCOL 5"};
    std::string failure;
    EXPECT_FALSE(RunSteps(Steps("expect GET USERSTATUS\nring from bob\n"), host, &failure));
    EXPECT_NE(failure.find("line 1"), std::string::npos) << failure;
    EXPECT_NE(failure.find("PROTOCOL 5"), std::string::npos) << failure;
    EXPECT_TRUE(host.performed.empty());

    EXPECT_FALSE(RunSteps(Steps("wait for NAME * within 10\n"), host, &failure));
    EXPECT_NE(failure.find("within 10 ms"), std::string::npos) << failure;

    host.notes.clear();
    EXPECT_FALSE(RunSteps(Steps("note hi\nring from nobody\nring from bob\n"), host, &failure));
    EXPECT_NE(failure.find("line 2: no such caller"), std::string::npos) << failure;
    EXPECT_TRUE(host.performed.empty());
    EXPECT_EQ(host.notes.front(), "hi");
}

TEST(ScenarioExamples, ShippedScenariosParseAndSetUp) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SKYPESIM_EXAMPLES)) {
        std::ifstream file(entry.path());
        std::stringstream text;
        text << file.rdbuf();
        Scenario scenario;
        std::string error;
        ASSERT_TRUE(ParseScenario(text.str(), &scenario, &error)) << entry.path() << ": " << error;
        skypesim::Setup setup;
        for (const Step& s : scenario.setup) {
            ASSERT_TRUE(ApplySetup(s, &setup, &error)) << entry.path() << ": " << error;
        }
        ++count;
    }
    EXPECT_GE(count, 2);
}

TEST(ScenarioHelpText, DocumentsEveryVerb) {
    const std::string help = ScenarioHelp();
    for (const char* verb : {"user ",           "userstatus",   "connstatus",      "contact ",
                             "history ",        "skypeout",     "balance",         "audio_in",
                             "device",          "mute",         "protocol",        "version",
                             "clock",           "next-call-id", "step-delay",      "answer-delay",
                             "ring-timeout",    "durations",    "outgoing",        "attach ",
                             "windows",         "wait ",        "ring from",       "partner ",
                             "caller gives up", "call fails",   "history changed", "show ",
                             "select tab",      "available",    "notify",          "note",
                             "expect",          "wait for"}) {
        EXPECT_NE(help.find(verb), std::string::npos) << verb;
    }
}

}  // namespace
}  // namespace skypesim
