// The simulator's Win32 side under Wine: every attach behaviour against a
// client in another process, the WM_COPYDATA transport both ways, whole calls
// as notification sequences, the client's windows, the registry entry, and
// skypesim.exe's exit codes.
#include "SkypeSim.h"
#include "SimText.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace skypesim {
namespace {

constexpr UINT kTcmGetCurSel = 0x130B;

std::string ExeFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string TempFile(const std::string& name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name + std::to_string(GetCurrentProcessId());
}

template <typename Condition>
bool PumpUntil(Condition done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    MSG msg;
    for (;;) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        if (done()) {
            return true;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        // Short slices: some conditions change on other threads without a
        // message to this one.
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)),
                                  QS_ALLINPUT);
    }
}

// Runs the client process to its end and returns its record, one entry per
// line without the leading time, and the times separately.
struct ClientRun {
    std::vector<std::string> lines;
    std::vector<long long> times;
    DWORD exitCode = 99;
    // What the client received, without its own "SENT" lines (which fall
    // between received texts as the two processes happen to run).
    std::vector<std::string> Received() const {
        std::vector<std::string> out;
        for (const std::string& line : lines) {
            if (line.rfind("SENT ", 0) != 0) {
                out.push_back(line);
            }
        }
        return out;
    }
    std::vector<std::string> Sent() const {
        std::vector<std::string> out;
        for (const std::string& line : lines) {
            if (line.rfind("SENT ", 0) == 0) {
                out.push_back(line);
            }
        }
        return out;
    }
};

// onReady, when given, runs once the client's first discover has been delivered.
ClientRun RunClient(int runMs, const std::vector<std::string>& commands,
                    const std::function<void()>& onReady = nullptr) {
    ClientRun run;
    const std::string out = TempFile("skypesim-client-");
    const std::string readyName = "SkypeSimClientReady" + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    std::string commandLine = "\"" + ExeFolder() + "skypesim_test_client.exe\" \"" + out + "\" " +
                              std::to_string(runMs) + " --ready " + readyName;
    for (const std::string& c : commands) {
        commandLine += " \"" + c + "\"";
    }
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
        CloseHandle(ready);
        return run;
    }
    if (onReady && WaitForSingleObject(ready, 20000) == WAIT_OBJECT_0) {
        onReady();
    }
    CloseHandle(ready);
    WaitForSingleObject(pi.hProcess, static_cast<DWORD>(runMs) + 20000);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::ifstream file(out);
    std::string line;
    while (std::getline(file, line)) {
        const size_t blank = line.find(' ');
        run.times.push_back(std::atoll(line.substr(0, blank).c_str()));
        run.lines.push_back(line.substr(blank + 1));
    }
    DeleteFileA(out.c_str());
    return run;
}

std::string Hex(void* h) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h)));
    return text;
}

class SimulatorFixture : public ::testing::Test {
protected:
    void StartWith(const std::string& scenario) {
        std::string error;
        ASSERT_TRUE(sim_.LoadScenario(scenario, &error)) << error;
        ASSERT_TRUE(sim_.Start(&error)) << error;
    }
    void TearDown() override {
        sim_.Stop();
        if (HasFailure() || std::getenv("SKYPESIM_TRANSCRIPT") != nullptr) {
            std::printf("--- transcript ---\n%s", sim_.TranscriptText().c_str());
        }
    }
    bool TranscriptHas(Direction direction, const std::string& pattern) {
        for (const TranscriptEntry& e : sim_.Transcript()) {
            if (e.direction == direction && MatchesPattern(pattern, e.text)) {
                return true;
            }
        }
        return false;
    }
    SkypeSim sim_;
};

// --- Attach behaviours against a client in another process -----------------

class AttachBehaviour : public SimulatorFixture {};

TEST_F(AttachBehaviour, AtOnceThenUnsolicitedStatusThenRepliesInOrder) {
    StartWith("windows off\n");
    const ClientRun run = RunClient(1500, {"PROTOCOL 5", "GET USERSTATUS"});
    ASSERT_EQ(run.exitCode, 0u);
    const std::string api = Hex(sim_.apiWindow());
    // The unsolicited texts come first, even when the commands cross them.
    const std::vector<std::string> expected = {
        "ATTACH 0 " + api,        "TEXT CONNSTATUS ONLINE", "TEXT CURRENTUSERHANDLE vox.tester",
        "TEXT USERSTATUS ONLINE", "TEXT PROTOCOL 5",        "TEXT USERSTATUS ONLINE",
    };
    EXPECT_EQ(run.Received(), expected);
    EXPECT_EQ(run.Sent(), (std::vector<std::string>{"SENT 1 PROTOCOL 5", "SENT 1 GET USERSTATUS"}));
    std::string got;
    EXPECT_TRUE(sim_.ExpectCommand("PROTOCOL 5", 1000, &got)) << got;
    EXPECT_TRUE(sim_.ExpectCommand("GET USERSTATUS", 1000, &got)) << got;
    EXPECT_TRUE(TranscriptHas(Direction::kAttach, "discover from *"));
    EXPECT_TRUE(TranscriptHas(Direction::kToClient, "CURRENTUSERHANDLE vox.tester"));
}

TEST_F(AttachBehaviour, PendingAuthorisationThenSuccessAfterTheDelay) {
    StartWith("windows off\nattach pending 400\n");
    const ClientRun run = RunClient(2000, {"PING"});
    const std::string api = Hex(sim_.apiWindow());
    ASSERT_GE(run.lines.size(), 2u);
    EXPECT_EQ(run.lines[0], "ATTACH 1 " + api);
    EXPECT_EQ(run.lines[1], "ATTACH 0 " + api);
    EXPECT_GE(run.times[1] - run.times[0], 350);
    EXPECT_EQ(run.Received(),
              (std::vector<std::string>{
                  "ATTACH 1 " + api, "ATTACH 0 " + api, "TEXT CONNSTATUS ONLINE",
                  "TEXT CURRENTUSERHANDLE vox.tester", "TEXT USERSTATUS ONLINE", "TEXT PONG"}));
    EXPECT_EQ(run.Sent(), std::vector<std::string>{"SENT 1 PING"});
}

TEST_F(AttachBehaviour, PendingThenRefusedAcceptsNoText) {
    StartWith("windows off\nattach pending 200 then refused\n");
    const ClientRun run = RunClient(1500, {});
    const std::string api = Hex(sim_.apiWindow());
    EXPECT_EQ(run.lines, (std::vector<std::string>{"ATTACH 1 " + api, "ATTACH 2 " + api,
                                                   "SENT 0 GET USERSTATUS"}));
    EXPECT_EQ(sim_.attachedCount(), 0);
    EXPECT_TRUE(TranscriptHas(Direction::kIgnored, "* (not attached): GET USERSTATUS"));
    std::string got;
    EXPECT_FALSE(sim_.NextCommand(100, &got)) << got;
}

TEST_F(AttachBehaviour, RefusedAndNotAvailable) {
    StartWith("windows off\nattach refused\n");
    ClientRun run = RunClient(1000, {});
    const std::string api = Hex(sim_.apiWindow());
    EXPECT_EQ(run.lines, (std::vector<std::string>{"ATTACH 2 " + api, "SENT 0 GET USERSTATUS"}));
    sim_.Stop();

    SkypeSim unavailable;
    std::string error;
    ASSERT_TRUE(unavailable.LoadScenario("windows off\nattach unavailable\n", &error));
    ASSERT_TRUE(unavailable.Start(&error)) << error;
    run = RunClient(1000, {"PING"});
    EXPECT_EQ(run.lines, (std::vector<std::string>{"ATTACH 3 " + Hex(unavailable.apiWindow())}));
    unavailable.Stop();
}

TEST_F(AttachBehaviour, StartingLaterAnnouncesTheApiAndAttachesOnTheNextDiscover) {
    // Available only when the test says so, after the client's first discover.
    StartWith("windows off\nattach later 600000\n");
    const ClientRun run = RunClient(2500, {"GET CONNSTATUS"}, [this] {
        PumpUntil([this] { return TranscriptHas(Direction::kAttach, "not available yet*"); }, 5000);
        std::string error;
        EXPECT_TRUE(sim_.Inject("available", &error)) << error;
    });
    const std::string api = Hex(sim_.apiWindow());
    EXPECT_TRUE(TranscriptHas(Direction::kAttach, "not available yet*"));
    EXPECT_EQ(run.Received(), (std::vector<std::string>{
                                  "ATTACH 32769 " + api, "ATTACH 0 " + api,
                                  "TEXT CONNSTATUS ONLINE", "TEXT CURRENTUSERHANDLE vox.tester",
                                  "TEXT USERSTATUS ONLINE", "TEXT CONNSTATUS ONLINE"}));
}

// --- A client in this process: transport details and whole calls ----------

class Client {
public:
    Client() {
        attachMsg_ = RegisterWindowMessageA("SkypeControlAPIAttach");
        discoverMsg_ = RegisterWindowMessageA("SkypeControlAPIDiscover");
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = Proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "SkypeSimInProcessClient";
            RegisterClassA(&wc);
            registered = true;
        }
        window_ = CreateWindowExA(0, "SkypeSimInProcessClient", "c", WS_OVERLAPPEDWINDOW, 0, 0, 0,
                                  0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Client() { DestroyWindow(window_); }

    bool Attach(DWORD timeoutMs = 5000) {
        SendMessageA(HWND_BROADCAST, discoverMsg_, reinterpret_cast<WPARAM>(window_), 0);
        return PumpUntil([this] { return skype_ != nullptr; }, timeoutMs);
    }
    LRESULT Send(const std::string& text, HWND to = nullptr) {
        COPYDATASTRUCT cds{};
        cds.cbData = static_cast<DWORD>(text.size() + 1);
        cds.lpData = const_cast<char*>(text.c_str());
        return SendMessageA(to ? to : skype_, WM_COPYDATA, reinterpret_cast<WPARAM>(window_),
                            reinterpret_cast<LPARAM>(&cds));
    }
    // Waits for n more texts and returns them.
    std::vector<std::string> Take(size_t n, DWORD timeoutMs = 3000) {
        PumpUntil([&] { return texts_.size() >= n; }, timeoutMs);
        std::vector<std::string> out(
            texts_.begin(), texts_.begin() + static_cast<long>(std::min(n, texts_.size())));
        texts_.erase(texts_.begin(), texts_.begin() + static_cast<long>(out.size()));
        return out;
    }
    std::vector<std::string> Command(const std::string& text, size_t replies) {
        Send(text);
        return Take(replies);
    }
    HWND skype() const { return skype_; }
    const std::vector<LPARAM>& statuses() const { return statuses_; }

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        auto* self = reinterpret_cast<Client*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        if (self != nullptr && m == self->attachMsg_) {
            self->statuses_.push_back(l);
            if (l == 0) {
                self->skype_ = reinterpret_cast<HWND>(w);
            } else if (l == 0x8001) {
                PostMessageA(h, WM_APP, 0, 0);  // discover again, as applications do
            }
            return 1;
        }
        if (self != nullptr && m == WM_APP) {
            SendMessageA(HWND_BROADCAST, self->discoverMsg_, reinterpret_cast<WPARAM>(h), 0);
            return 0;
        }
        if (self != nullptr && m == WM_COPYDATA) {
            const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
            const char* data = static_cast<const char*>(cds->lpData);
            if (reinterpret_cast<HWND>(w) == self->skype_ && cds->cbData >= 1 &&
                data[cds->cbData - 1] == '\0') {
                self->texts_.emplace_back(data);
            } else {
                self->texts_.emplace_back("(malformed)");
            }
            return TRUE;
        }
        return DefWindowProcA(h, m, w, l);
    }
    UINT attachMsg_ = 0;
    UINT discoverMsg_ = 0;
    HWND window_ = nullptr;
    HWND skype_ = nullptr;
    std::vector<std::string> texts_;
    std::vector<LPARAM> statuses_;
};

class Transport : public SimulatorFixture {};

TEST_F(Transport, TheApiBecomesAvailableByItselfAfterTheConfiguredDelay) {
    StartWith("windows off\nattach later 600\n");
    Client c;
    EXPECT_FALSE(c.Attach(200));
    ASSERT_TRUE(PumpUntil([&] { return c.skype() != nullptr; }, 5000));
    EXPECT_EQ(c.statuses(), (std::vector<LPARAM>{0x8001, 0}));
    EXPECT_GE(sim_.nowMs(), 600);
}

TEST_F(Transport, TextsFromAWindowThatNeverAttachedAreIgnored) {
    StartWith("windows off\n");
    Client attached;
    Client stranger;
    ASSERT_TRUE(attached.Attach());
    attached.Take(3);
    // The stranger heard the attach too (it is a broadcast), but never asked.
    EXPECT_EQ(stranger.Send("PING", attached.skype()), 0);
    EXPECT_EQ(attached.Send("PING"), 1);
    EXPECT_EQ(attached.Take(1), std::vector<std::string>{"PONG"});
    std::string got;
    EXPECT_TRUE(sim_.ExpectCommand("PING", 500, &got)) << got;
    EXPECT_FALSE(sim_.NextCommand(100, &got)) << got;
    EXPECT_EQ(sim_.attachedCount(), 1);
}

TEST_F(Transport, ADetachBroadcastAndAVanishedApplicationAreHandled) {
    StartWith("windows off\n");
    auto client = std::make_unique<Client>();
    ASSERT_TRUE(client->Attach());
    client->Take(3);
    // The application's way of letting go: a discover without a window.
    SendMessageA(HWND_BROADCAST, RegisterWindowMessageA("SkypeControlAPIDiscover"), 0, 0);
    ASSERT_TRUE(
        PumpUntil([&] { return TranscriptHas(Direction::kAttach, "no window to answer"); }, 2000));
    client.reset();  // its window is destroyed without a word
    std::string error;
    ASSERT_TRUE(sim_.Inject("contact bob.brown goes ONLINE", &error)) << error;
    EXPECT_TRUE(TranscriptHas(Direction::kAttach, "application window * is gone"));
    EXPECT_EQ(sim_.attachedCount(), 0);
    ASSERT_TRUE(sim_.Inject("history changed", &error)) << error;
    EXPECT_TRUE(
        TranscriptHas(Direction::kNote, "no application attached; not sent: CALLHISTORYCHANGED"));
}

TEST_F(Transport, EveryCommandOfTheApplicationIsAnsweredThroughTheWire) {
    StartWith("windows off\nclock 1800000000\n");
    Client c;
    ASSERT_TRUE(c.Attach());
    c.Take(3);
    EXPECT_EQ(c.Command("PROTOCOL 5", 1), std::vector<std::string>{"PROTOCOL 5"});
    EXPECT_EQ(c.Command("NAME Voxlink", 1), std::vector<std::string>{"OK"});
    EXPECT_EQ(c.Command("GET USER yamada.taro FULLNAME", 1),
              std::vector<std::string>{"USER yamada.taro FULLNAME 山田太郎"});
    EXPECT_EQ(c.Command("GET USER ayse.yilmaz FULLNAME", 1),
              std::vector<std::string>{"USER ayse.yilmaz FULLNAME Ayşe Yılmaz"});
    EXPECT_EQ(c.Command("SET AUDIO_IN USB Audio Device ", 1),
              std::vector<std::string>{"AUDIO_IN USB Audio Device"});
    EXPECT_EQ(c.Command("SET RINGER", 1), std::vector<std::string>{"RINGER "});
    EXPECT_EQ(c.Command("SEARCH MISSEDCALLS", 1), std::vector<std::string>{"CALLS 104"});
    EXPECT_EQ(c.Command("BTN_RELEASED SKYPE", 1), std::vector<std::string>{"BTN_RELEASED SKYPE"});
    EXPECT_EQ(c.Command("SET CALL 42 STATUS FINISHED", 1),
              std::vector<std::string>{"ERROR 20 Unknown call"});
}

TEST_F(Transport, FullIncomingCallAsNotifications) {
    StartWith("windows off\nstep-delay 50\n");
    Client c;
    ASSERT_TRUE(c.Attach());
    c.Take(3);
    c.Command("PROTOCOL 5", 1);
    std::string error;
    ASSERT_TRUE(sim_.Inject("ring from alice.andersen", &error)) << error;
    EXPECT_EQ(c.Take(1), std::vector<std::string>{"CALL 1000 STATUS RINGING"});
    EXPECT_EQ(c.Command("GET CALL 1000 PARTNER_DISPNAME", 1),
              std::vector<std::string>{"CALL 1000 PARTNER_DISPNAME Alice"});
    EXPECT_EQ(c.Command("SET CALL  1000 STATUS INPROGRESS", 1),
              std::vector<std::string>{"CALL 1000 STATUS INPROGRESS"});
    EXPECT_EQ(c.Command("SET CALL 1000 DTMF 5", 1), std::vector<std::string>{"CALL 1000 DTMF 5"});
    EXPECT_EQ(c.Command("SET CALL  1000 STATUS ONHOLD", 2),
              (std::vector<std::string>{"CALL 1000 STATUS ONHOLD", "CALL 1000 STATUS LOCALHOLD"}));
    EXPECT_EQ(c.Command("SET CALL  1000 STATUS INPROGRESS", 1),
              std::vector<std::string>{"CALL 1000 STATUS INPROGRESS"});
    ASSERT_TRUE(sim_.Inject("partner hangs up", &error)) << error;
    EXPECT_EQ(c.Take(1), std::vector<std::string>{"CALL 1000 STATUS FINISHED"});
    EXPECT_EQ(c.Command("SEARCH CALLS", 1),
              std::vector<std::string>{"CALLS 1000, 104, 103, 102, 101"});
    EXPECT_EQ(c.Command("GET CALL 1000 TYPE", 1),
              std::vector<std::string>{"CALL 1000 TYPE INCOMING_P2P"});
}

TEST_F(Transport, FullOutgoingCallAsNotifications) {
    StartWith("windows off\nstep-delay 50\nanswer-delay 200\noutgoing answer\n");
    Client c;
    ASSERT_TRUE(c.Attach());
    c.Take(3);
    c.Command("PROTOCOL 5", 1);
    EXPECT_EQ(
        c.Command("CALL bob.brown", 4),
        (std::vector<std::string>{"CALL 1000 STATUS UNPLACED", "CALL 1000 STATUS ROUTING",
                                  "CALL 1000 STATUS RINGING", "CALL 1000 STATUS INPROGRESS"}));
    EXPECT_EQ(c.Command("HOOK ON", 2),
              (std::vector<std::string>{"HOOK ON", "CALL 1000 STATUS FINISHED"}));
    const Model model = sim_.ModelSnapshot();
    ASSERT_NE(model.FindCall(1000), nullptr);
    EXPECT_EQ(model.FindCall(1000)->type, "OUTGOING_P2P");
    EXPECT_EQ(sim_.negotiatedProtocol(), 5);
}

TEST_F(Transport, ScriptExpectationsSeeTheApplicationsCommands) {
    StartWith("windows off\n");
    Client c;
    ASSERT_TRUE(c.Attach());
    c.Take(3);
    c.Send("PROTOCOL 5");
    c.Send("SET CALL    12 STATUS INPROGRESS");
    std::string failure;
    EXPECT_TRUE(
        sim_.RunScriptText("expect PROTOCOL 5 within 1000\n"
                           "expect SET CALL * STATUS INPROGRESS within 1000\n"
                           "contact bob.brown goes DND\n",
                           &failure))
        << failure;
    EXPECT_EQ(c.Take(3).back(), "USER bob.brown ONLINESTATUS DND");
    EXPECT_FALSE(sim_.RunScriptText("expect PING within 200\n", &failure));
    EXPECT_NE(failure.find("PING"), std::string::npos);
}

// --- The client's windows ---------------------------------------------------

class ClientWindows : public SimulatorFixture {};

struct Children {
    HWND tabs = nullptr;
    HWND list = nullptr;
    HWND grid = nullptr;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    auto* found = reinterpret_cast<Children*>(param);
    char name[255] = {};
    GetClassNameA(child, name, sizeof(name));
    if (std::strcmp(name, "TTntPageControl.UnicodeClass") == 0) {
        found->tabs = child;
    } else if (std::strcmp(name, "tSkContactList.UnicodeClass") == 0) {
        found->list = child;
    } else if (std::strcmp(name, "tSkBgGrid.UnicodeClass") == 0) {
        found->grid = child;
    }
    return TRUE;
}

TEST_F(ClientWindows, MainWindowTabsGridAndDialogs) {
    StartWith("\n");
    HWND main = FindWindowA("tskMainForm.UnicodeClass", nullptr);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main, sim_.mainWindow());
    EXPECT_TRUE(IsWindowVisible(main));
    Children c;
    EnumChildWindows(main, CollectChild, reinterpret_cast<LPARAM>(&c));
    ASSERT_NE(c.tabs, nullptr);
    ASSERT_NE(c.list, nullptr);
    ASSERT_NE(c.grid, nullptr);

    EXPECT_EQ(SendMessageA(c.tabs, kTcmGetCurSel, 0, 0), 0);
    EXPECT_FALSE(IsWindowVisible(c.grid));
    EXPECT_TRUE(IsWindowVisible(c.list));

    // A click on the third tab label selects tab 2, which shows the grid.
    PostMessageA(c.tabs, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(130, 10));
    PostMessageA(c.tabs, WM_LBUTTONUP, 0, MAKELPARAM(130, 10));
    ASSERT_TRUE(PumpUntil([&] { return SendMessageA(c.tabs, kTcmGetCurSel, 0, 0) == 2; }, 2000));
    EXPECT_TRUE(IsWindowVisible(c.grid));
    EXPECT_FALSE(IsWindowVisible(c.list));
    PostMessageA(c.grid, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(44, 14));
    PumpUntil([&] { return TranscriptHas(Direction::kWindow, "tSkBgGrid* clicked at (44,14)"); },
              2000);
    EXPECT_TRUE(TranscriptHas(Direction::kWindow, "tSkBgGrid* clicked at (44,14)"));
    // The first tab's label is where the application clicks to go back.
    PostMessageA(c.tabs, WM_LBUTTONDOWN, 0, MAKELPARAM(56, 11));
    ASSERT_TRUE(PumpUntil([&] { return SendMessageA(c.tabs, kTcmGetCurSel, 0, 0) == 0; }, 2000));
    EXPECT_FALSE(IsWindowVisible(c.grid));

    std::string error;
    for (const char* which : {"confirmation", "ser"}) {
        const char* cls = std::strcmp(which, "ser") == 0 ? "TskSERForm.UnicodeClass"
                                                         : "TskConFirmForm.UnicodeClass";
        EXPECT_EQ(FindWindowA(cls, nullptr), nullptr);
        ASSERT_TRUE(sim_.Inject(std::string("show ") + which + " dialog", &error)) << error;
        HWND dialog = FindWindowA(cls, nullptr);
        ASSERT_NE(dialog, nullptr) << cls;
        SendMessageA(dialog, WM_ACTIVATE, WA_CLICKACTIVE, 0);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(PumpUntil([&] { return FindWindowA(cls, nullptr) == nullptr; }, 2000)) << cls;
        EXPECT_TRUE(
            TranscriptHas(Direction::kWindow, std::string(cls) + " WM_ACTIVATE WA_CLICKACTIVE"));
    }

    // WM_CLOSE to the main window puts it out of sight; the client runs on.
    PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }, 2000));
    EXPECT_EQ(FindWindowA("tskMainForm.UnicodeClass", nullptr), main);
    Client client;
    ASSERT_TRUE(client.Attach());
    client.Take(3);
    EXPECT_EQ(client.Command("FOCUS", 1), std::vector<std::string>{"FOCUS"});
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main) != FALSE; }, 2000));

    sim_.Stop();
    EXPECT_EQ(FindWindowA("tskMainForm.UnicodeClass", nullptr), nullptr);
}

TEST_F(ClientWindows, RegistersItsPathForAutoStart) {
    SimOptions options;
    options.registerSkypePath = true;
    options.skypePath = "C:\\Sim\\skypesim.exe";
    sim_.SetOptions(options);
    StartWith("windows off\n");
    char value[255] = {};
    DWORD size = sizeof(value);
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Skype\\Phone", "SkypePath", RRF_RT_REG_SZ,
                           nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, "C:\\Sim\\skypesim.exe");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Skype\\Phone");
}

// --- skypesim.exe -------------------------------------------------------------

DWORD RunSimulator(const std::string& scenario, const std::string& args) {
    const std::string path = TempFile("skypesim-scenario-") + ".scn";
    {
        std::ofstream file(path, std::ios::binary);
        file << scenario;
    }
    std::string commandLine = "\"" + ExeFolder() + "skypesim.exe\" --quiet " + args;
    if (!scenario.empty()) {
        commandLine += " \"" + path + "\"";
    }
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    DWORD code = 99;
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &si, &pi)) {
        // While it runs, play the application: discover it and answer PING.
        Client client;
        const ULONGLONG deadline = GetTickCount64() + 20000;
        while (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT && GetTickCount64() < deadline) {
            if (client.skype() == nullptr) {
                client.Attach(500);
            } else {
                client.Send("PING");
                PumpUntil([] { return false; }, 200);
            }
        }
        WaitForSingleObject(pi.hProcess, 5000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    DeleteFileA(path.c_str());
    return code;
}

TEST(SimulatorProgram, ExitCodeTellsWhetherTheExpectationsWereMet) {
    EXPECT_EQ(RunSimulator("windows off\nwait for PING within 15000\nnote done\n", ""), 0u);
    EXPECT_EQ(RunSimulator("windows off\nexpect NAME * within 300\n", ""), 1u);
    EXPECT_EQ(RunSimulator("windows off\nfly away\n", ""), 2u);
    // A set-up line from the command line: refused, the application never gets through.
    EXPECT_EQ(RunSimulator("windows off\nwait for PING within 1500\n", "--set \"attach refused\""),
              1u);
    EXPECT_EQ(RunSimulator("", "--help"), 0u);
}

}  // namespace
}  // namespace skypesim
