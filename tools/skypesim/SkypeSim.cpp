#include "SkypeSim.h"

#include "SimText.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

namespace skypesim {

namespace {

constexpr UINT kWmProcess = WM_APP + 1;   // commands wait in the inbox
constexpr UINT kWmDiscover = WM_APP + 2;  // wParam: the application's window
constexpr UINT kWmTask = WM_APP + 3;      // a task from another thread
constexpr UINT kWmStop = WM_APP + 4;
constexpr UINT kWmHang = WM_APP + 5;  // stop serving messages until the sim stops
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 10;
constexpr UINT kTcmGetCurSel = 0x130B;  // TCM_FIRST + 11
constexpr UINT kTcmSetCurSel = 0x130C;  // TCM_FIRST + 12
constexpr LPARAM kAttachAvailable = 0x8001;
// A hung application must not stop the simulator for good.
constexpr UINT kSendTimeoutMs = 5000;
constexpr int kTabWidth = 60;  // the tab labels are 60 px wide, 20 px high
constexpr int kTabHeight = 20;

const char kApiClass[] = "SkypeSimApiWindow";
const char kMainClass[] = "tskMainForm.UnicodeClass";
const char kTabsClass[] = "TTntPageControl.UnicodeClass";
const char kListClass[] = "tSkContactList.UnicodeClass";
const char kGridClass[] = "tSkBgGrid.UnicodeClass";
const char kConfirmClass[] = "TskConFirmForm.UnicodeClass";
const char kSerClass[] = "TskSERForm.UnicodeClass";

std::string Hex(const void* handle) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
    return text;
}

LRESULT CALLBACK ApiWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ClientWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

bool RegisterClasses() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        WNDCLASSA wc{};
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpfnWndProc = ApiWndProc;
        wc.lpszClassName = kApiClass;
        ok = RegisterClassA(&wc) != 0;
        wc.lpfnWndProc = ClientWndProc;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        for (const char* name :
             {kMainClass, kTabsClass, kListClass, kGridClass, kConfirmClass, kSerClass}) {
            wc.lpszClassName = name;
            ok = ok && RegisterClassA(&wc) != 0;
        }
    });
    return ok;
}

// Waits for the event while letting messages that other threads send to this
// thread's windows through: the simulator's thread may be sending a text to a
// window of the waiting thread (a test playing the application), and a plain
// wait would deadlock with it.
void WaitServingSentMessages(HANDLE event) {
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + 1) {
            return;
        }
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

class SkypeSim::Impl : public ScriptHost {
public:
    // --- set-up (before Start) ---
    Setup setup;
    std::vector<Step> script;
    SimOptions options;

    ~Impl() override {
        Stop();
        CloseHandle(stopped_);
        CloseHandle(unhang_);
    }

    bool Start(std::string* error);
    void Stop();

    // --- any thread ---
    bool RunOnSimThread(const std::function<void()>& task);
    bool NextCommand(int timeoutMs, std::string* command) override;
    bool Perform(const Step& step, std::string* error) override;
    void Pause(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    void Note(const std::string& text) override { Log(Direction::kNote, text); }
    void Log(Direction direction, const std::string& text);
    long long NowMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

    // --- sim thread ---
    LRESULT ApiMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ClientMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    skypesim::Transcript transcript;
    mutable std::mutex mutex;  // guards the fields below marked (m)
    std::condition_variable commandArrived;
    std::deque<std::string> commands;  // (m) received, not yet taken by an expectation
    std::unique_ptr<Engine> engine;    // sim thread only (others go through tasks)
    HWND api = nullptr;
    HWND main = nullptr;
    std::vector<HWND> attached;  // (m)
    std::atomic<bool> running{false};

private:
    struct Outgoing {
        HWND to;  // null: every attached application
        std::string text;
    };
    struct Inbound {
        HWND from;
        std::string text;
    };
    struct TimedAttach {
        long long dueMs;
        HWND client;
        LPARAM status;
    };
    class SimSink : public Sink {
    public:
        SimSink(Impl& impl, HWND client) : impl_(impl), client_(client) {}
        void Reply(const std::string& text) override {
            impl_.outbox_.push_back(Outgoing{client_, text});
        }
        void Notify(const std::string& text) override {
            impl_.outbox_.push_back(Outgoing{nullptr, text});
        }
        void Window(WindowAction action, int argument) override {
            impl_.DoWindowAction(action, argument);
        }

    private:
        Impl& impl_;
        HWND client_;
    };

    void ThreadMain(std::promise<std::string>* ready);
    bool CreateClientWindows();
    void DoWindowAction(WindowAction action, int argument);
    void SelectTab(int tab);
    void ShowDialog(const char* className);
    void SendAttach(HWND client, LPARAM status);
    void Attach(HWND client);
    void AnnounceAvailable();
    void OnDiscover(HWND client);
    void OnTick();
    void ProcessInbox();
    void DrainOutbox();
    bool IsAttached(HWND client) const;
    void RegisterSkypePath();

    UINT attachMsg_ = 0;
    UINT discoverMsg_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::thread thread_;
    HANDLE stopped_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // the thread has ended
    HANDLE unhang_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);   // a hang ends
    std::deque<Inbound> inbox_;                                     // (m)
    std::deque<std::function<void()>> tasks_;                       // (m)
    std::deque<Outgoing> outbox_;                                   // sim thread
    bool draining_ = false;
    bool acceptingTasks_ = false;  // (m)
    std::vector<TimedAttach> timedAttach_;
    bool available_ = true;
    long long availableAtMs_ = 0;
    HWND tabs_ = nullptr;
    HWND list_ = nullptr;
    HWND grid_ = nullptr;
    std::vector<HWND> dialogs_;
    int tab_ = 0;
};

namespace {

SkypeSim::Impl* ImplOf(HWND hWnd) {
    return reinterpret_cast<SkypeSim::Impl*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
}

LRESULT CALLBACK ApiWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    SkypeSim::Impl* impl = ImplOf(hWnd);
    if (impl == nullptr) {
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
    return impl->ApiMessage(hWnd, message, wParam, lParam);
}

LRESULT CALLBACK ClientWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    SkypeSim::Impl* impl = ImplOf(hWnd);
    if (impl == nullptr) {
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
    return impl->ClientMessage(hWnd, message, wParam, lParam);
}

}  // namespace

void SkypeSim::Impl::Log(Direction direction, const std::string& text) {
    const long long ms = NowMs();
    transcript.Add(ms, direction, text);
    if (options.echo) {
        const std::string line = FormatEntry(TranscriptEntry{ms, direction, text}) + "\n";
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }
}

bool SkypeSim::Impl::Start(std::string* error) {
    if (thread_.joinable()) {
        *error = "the simulator runs already";
        return false;
    }
    if (!RegisterClasses()) {
        *error = "cannot register the window classes";
        return false;
    }
    attachMsg_ = RegisterWindowMessageA("SkypeControlAPIAttach");
    discoverMsg_ = RegisterWindowMessageA("SkypeControlAPIDiscover");
    if (attachMsg_ == 0 || discoverMsg_ == 0) {
        *error = "cannot register the attach messages";
        return false;
    }
    start_ = std::chrono::steady_clock::now();
    engine = std::make_unique<Engine>(setup.model);
    engine->SetWallClock(std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count());
    available_ = setup.attach.mode != AttachMode::kLater;
    availableAtMs_ = setup.attach.delayMs;
    std::promise<std::string> ready;
    std::future<std::string> result = ready.get_future();
    ResetEvent(stopped_);
    ResetEvent(unhang_);
    thread_ = std::thread(&Impl::ThreadMain, this, &ready);
    *error = result.get();
    if (!error->empty()) {
        thread_.join();
        return false;
    }
    running = true;
    return true;
}

void SkypeSim::Impl::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    SetEvent(unhang_);
    PostMessageA(api, kWmStop, 0, 0);
    WaitServingSentMessages(stopped_);
    thread_.join();
    running = false;
    std::lock_guard<std::mutex> lock(mutex);
    attached.clear();
}

void SkypeSim::Impl::ThreadMain(std::promise<std::string>* ready) {
    api = CreateWindowExA(0, kApiClass, "SkypeSim API", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                          GetModuleHandleA(nullptr), this);
    if (api == nullptr) {
        ready->set_value("cannot create the API window (error " + std::to_string(GetLastError()) +
                         ")");
        return;
    }
    if (setup.windows && !CreateClientWindows()) {
        DestroyWindow(api);
        api = nullptr;
        ready->set_value("cannot create the client's windows (error " +
                         std::to_string(GetLastError()) + ")");
        return;
    }
    if (options.registerSkypePath) {
        RegisterSkypePath();
    }
    SetTimer(api, kTickTimer, kTickMs, nullptr);
    Log(Direction::kAttach, "API window " + Hex(api) + " ready; user " + setup.model.currentUser +
                                (available_ ? "" : "; API available later"));
    {
        std::lock_guard<std::mutex> lock(mutex);
        acceptingTasks_ = true;
    }
    ready->set_value("");

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // Tasks whose message was still queued when the windows went.
    std::deque<std::function<void()>> late;
    {
        std::lock_guard<std::mutex> lock(mutex);
        late.swap(tasks_);
        attached.clear();
    }
    for (auto& task : late) {
        task();
    }
    SetEvent(stopped_);
}

bool SkypeSim::Impl::CreateClientWindows() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const std::string title = "Skype - " + setup.model.currentUser;
    main = CreateWindowExA(0, kMainClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                           320, 520, nullptr, nullptr, instance, this);
    if (main == nullptr) {
        return false;
    }
    tabs_ = CreateWindowExA(0, kTabsClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 480, main, nullptr,
                            instance, this);
    list_ = CreateWindowExA(0, kListClass, "", WS_CHILD, 0, kTabHeight, 300, 460, tabs_, nullptr,
                            instance, this);
    grid_ = CreateWindowExA(0, kGridClass, "", WS_CHILD, 0, kTabHeight, 300, 460, tabs_, nullptr,
                            instance, this);
    if (tabs_ == nullptr || list_ == nullptr || grid_ == nullptr) {
        return false;
    }
    tab_ = -1;
    SelectTab(0);
    return true;
}

void SkypeSim::Impl::RegisterSkypePath() {
    std::string path = options.skypePath;
    if (path.empty()) {
        char module[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, module, MAX_PATH);
        path = module;
    }
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Skype\\Phone", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc =
            RegSetValueExA(key, "SkypePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>(path.size() + 1));
        RegCloseKey(key);
    }
    Log(Direction::kWindow, rc == ERROR_SUCCESS
                                ? "registered SkypePath " + path
                                : "cannot register SkypePath (error " + std::to_string(rc) + ")");
}

bool SkypeSim::Impl::RunOnSimThread(const std::function<void()>& task) {
    if (!running) {
        return false;
    }
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (done == nullptr) {
        return false;
    }
    {
        // Under the lock, so that a task is either refused or certain to run
        // (by the window, or after the message loop when the simulator stops).
        std::lock_guard<std::mutex> lock(mutex);
        if (!acceptingTasks_ || !PostMessageA(api, kWmTask, 0, 0)) {
            CloseHandle(done);
            return false;
        }
        tasks_.push_back([&task, done] {
            task();
            SetEvent(done);
        });
    }
    WaitServingSentMessages(done);
    CloseHandle(done);
    return true;
}

bool SkypeSim::Impl::Perform(const Step& step, std::string* error) {
    Log(Direction::kNote, step.verb + (step.rest.empty() ? "" : " " + step.rest));
    bool ok = false;
    std::string why;
    if (!RunOnSimThread([&] {
            SimSink sink(*this, nullptr);
            ok = PerformStep(step, *engine, NowMs(), sink, &why);
            DrainOutbox();
        })) {
        *error = "the simulator does not run";
        return false;
    }
    if (!ok) {
        *error = why;
    }
    return ok;
}

bool SkypeSim::Impl::NextCommand(int timeoutMs, std::string* command) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!commandArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                                 [this] { return !commands.empty(); })) {
        return false;
    }
    *command = commands.front();
    commands.pop_front();
    return true;
}

bool SkypeSim::Impl::IsAttached(HWND client) const {
    std::lock_guard<std::mutex> lock(mutex);
    for (HWND h : attached) {
        if (h == client) {
            return true;
        }
    }
    return false;
}

LRESULT SkypeSim::Impl::ApiMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == discoverMsg_) {
        HWND client = reinterpret_cast<HWND>(wParam);
        Log(Direction::kAttach, "discover from " + Hex(client));
        if (client == nullptr) {
            Log(Direction::kAttach, "no window to answer");
        } else {
            // Answered from the message loop, after the broadcast returns.
            PostMessageA(hWnd, kWmDiscover, wParam, 0);
        }
        return 0;
    }
    if (message == attachMsg_) {
        return 0;  // our own API-available broadcast
    }
    switch (message) {
        case WM_COPYDATA: {
            HWND sender = reinterpret_cast<HWND>(wParam);
            const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            std::string text;
            if (cds != nullptr && cds->lpData != nullptr) {
                const char* data = static_cast<const char*>(cds->lpData);
                text.assign(data, strnlen(data, cds->cbData));
            }
            if (!IsAttached(sender)) {
                Log(Direction::kIgnored, "from " + Hex(sender) + " (not attached): " + text);
                return FALSE;
            }
            Log(Direction::kFromClient, text);
            {
                std::lock_guard<std::mutex> lock(mutex);
                commands.push_back(text);
                inbox_.push_back(Inbound{sender, text});
            }
            commandArrived.notify_all();
            PostMessageA(hWnd, kWmProcess, 0, 0);
            return TRUE;
        }
        case kWmProcess:
            ProcessInbox();
            return 0;
        case kWmDiscover:
            OnDiscover(reinterpret_cast<HWND>(wParam));
            return 0;
        case kWmTask: {
            std::deque<std::function<void()>> tasks;
            {
                std::lock_guard<std::mutex> lock(mutex);
                tasks.swap(tasks_);
            }
            for (auto& task : tasks) {
                task();
            }
            return 0;
        }
        case WM_TIMER:
            if (wParam == kTickTimer) {
                OnTick();
            }
            return 0;
        case kWmHang:
            // Neither posted nor sent messages are served meanwhile: to
            // Windows the client is hung.
            Log(Direction::kNote, "hangs");
            WaitForSingleObject(unhang_, INFINITE);
            return 0;
        case kWmStop: {
            std::lock_guard<std::mutex> lock(mutex);
            acceptingTasks_ = false;
        }
            KillTimer(hWnd, kTickTimer);
            for (HWND dialog : dialogs_) {
                DestroyWindow(dialog);
            }
            dialogs_.clear();
            if (main != nullptr) {
                DestroyWindow(main);  // and its children
                main = nullptr;
                tabs_ = list_ = grid_ = nullptr;
            }
            DestroyWindow(hWnd);
            api = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

void SkypeSim::Impl::ProcessInbox() {
    for (;;) {
        Inbound next;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (inbox_.empty()) {
                break;
            }
            next = inbox_.front();
            inbox_.pop_front();
        }
        SimSink sink(*this, next.from);
        engine->HandleCommand(next.text, NowMs(), sink);
        DrainOutbox();
    }
}

void SkypeSim::Impl::DrainOutbox() {
    if (draining_) {
        return;  // the outer drain sends it, in order
    }
    draining_ = true;
    while (!outbox_.empty()) {
        const Outgoing out = outbox_.front();
        outbox_.pop_front();
        std::vector<HWND> targets;
        if (out.to != nullptr) {
            targets.push_back(out.to);
        } else {
            std::lock_guard<std::mutex> lock(mutex);
            targets = attached;
        }
        if (targets.empty()) {
            Log(Direction::kNote, "no application attached; not sent: " + out.text);
        }
        for (HWND target : targets) {
            if (!IsWindow(target)) {
                Log(Direction::kAttach, "application window " + Hex(target) + " is gone");
                std::lock_guard<std::mutex> lock(mutex);
                std::erase(attached, target);
                continue;
            }
            Log(Direction::kToClient,
                targets.size() > 1 ? out.text + "   (to " + Hex(target) + ")" : out.text);
            COPYDATASTRUCT cds{};
            cds.dwData = 0;
            cds.cbData = static_cast<DWORD>(out.text.size() + 1);
            cds.lpData = const_cast<char*>(out.text.c_str());
            DWORD_PTR taken = 0;
            if (!SendMessageTimeoutA(target, WM_COPYDATA, reinterpret_cast<WPARAM>(api),
                                     reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL, kSendTimeoutMs,
                                     &taken)) {
                Log(Direction::kNote, "the application did not answer within " +
                                          std::to_string(kSendTimeoutMs) + " ms");
            } else if (taken == 0) {
                Log(Direction::kNote, "the application did not take the text");
            }
        }
    }
    draining_ = false;
}

void SkypeSim::Impl::SendAttach(HWND client, LPARAM status) {
    Log(Direction::kAttach, "attach status " + std::to_string(status) + " to " + Hex(client));
    DWORD_PTR result = 0;
    SendMessageTimeoutA(client, attachMsg_, reinterpret_cast<WPARAM>(api), status, SMTO_NORMAL,
                        kSendTimeoutMs, &result);
}

void SkypeSim::Impl::Attach(HWND client) {
    if (!IsWindow(client)) {
        Log(Direction::kAttach, "application window " + Hex(client) + " is gone");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (std::find(attached.begin(), attached.end(), client) == attached.end()) {
            attached.push_back(client);
        }
    }
    // Queued before the attach message goes out, so that they precede any
    // reply to a command the application sends while it handles the message.
    for (const std::string& text : engine->OnAttached()) {
        outbox_.push_back(Outgoing{client, text});
    }
    draining_ = true;
    SendAttach(client, 0);
    draining_ = false;
    DrainOutbox();
}

void SkypeSim::Impl::AnnounceAvailable() {
    available_ = true;
    Log(Direction::kAttach, "API available: broadcast attach status 32769 (0x8001)");
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, attachMsg_, reinterpret_cast<WPARAM>(api), kAttachAvailable,
                        SMTO_ABORTIFHUNG | SMTO_NORMAL, 2000, &result);
}

void SkypeSim::Impl::OnDiscover(HWND client) {
    switch (setup.attach.mode) {
        case AttachMode::kOk:
            Attach(client);
            break;
        case AttachMode::kPending:
            SendAttach(client, 1);
            timedAttach_.push_back(
                TimedAttach{NowMs() + setup.attach.delayMs, client,
                            static_cast<LPARAM>(setup.attach.pendingGranted ? 0 : 2)});
            break;
        case AttachMode::kRefused:
            SendAttach(client, 2);
            break;
        case AttachMode::kUnavailable:
            SendAttach(client, 3);
            break;
        case AttachMode::kLater:
            if (available_) {
                Attach(client);
            } else {
                Log(Direction::kAttach, "not available yet: discover left unanswered");
            }
            break;
    }
}

void SkypeSim::Impl::OnTick() {
    const long long now = NowMs();
    if (!available_ && now >= availableAtMs_) {
        AnnounceAvailable();
    }
    for (size_t i = 0; i < timedAttach_.size();) {
        if (timedAttach_[i].dueMs <= now) {
            const TimedAttach due = timedAttach_[i];
            timedAttach_.erase(timedAttach_.begin() + static_cast<std::ptrdiff_t>(i));
            if (due.status == 0) {
                Attach(due.client);
            } else {
                SendAttach(due.client, due.status);
            }
        } else {
            ++i;
        }
    }
    SimSink sink(*this, nullptr);
    engine->Advance(now, sink);
    DrainOutbox();
}

void SkypeSim::Impl::SelectTab(int tab) {
    if (tab == tab_ || tabs_ == nullptr) {
        return;
    }
    tab_ = tab;
    ShowWindow(list_, tab == 0 ? SW_SHOW : SW_HIDE);
    ShowWindow(grid_, tab == 2 ? SW_SHOW : SW_HIDE);
    Log(Direction::kWindow, "tab " + std::to_string(tab) + " selected");
}

void SkypeSim::Impl::ShowDialog(const char* className) {
    HWND dialog = CreateWindowExA(0, className, "Skype", WS_POPUP | WS_CAPTION | WS_VISIBLE, 80, 80,
                                  260, 120, nullptr, nullptr, GetModuleHandleA(nullptr), this);
    if (dialog != nullptr) {
        dialogs_.push_back(dialog);
    }
    Log(Direction::kWindow, std::string(className) + (dialog ? " shown" : " could not be shown"));
}

void SkypeSim::Impl::DoWindowAction(WindowAction action, int argument) {
    switch (action) {
        case WindowAction::kFocusMain:
            if (main != nullptr) {
                ShowWindow(main, SW_SHOW);
                SetForegroundWindow(main);
                Log(Direction::kWindow, "main window shown and focused");
            }
            break;
        case WindowAction::kHideMain:
            if (main != nullptr) {
                ShowWindow(main, SW_HIDE);
                Log(Direction::kWindow, "main window hidden");
            }
            break;
        case WindowAction::kShowConfirmDialog:
            ShowDialog(kConfirmClass);
            break;
        case WindowAction::kShowSerDialog:
            ShowDialog(kSerClass);
            break;
        case WindowAction::kCloseDialogs: {
            const std::vector<HWND> dialogs = dialogs_;
            for (HWND dialog : dialogs) {
                SendMessageA(dialog, WM_CLOSE, 0, 0);
            }
            break;
        }
        case WindowAction::kSelectTab:
            SelectTab(argument);
            break;
        case WindowAction::kAnnounceAvailable:
            AnnounceAvailable();
            break;
    }
}

LRESULT SkypeSim::Impl::ClientMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    char className[64] = {};
    GetClassNameA(hWnd, className, sizeof(className));
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    switch (message) {
        case WM_CLOSE:
            if (hWnd == main) {
                // The client keeps running in the background: its main window
                // only goes out of sight.
                ShowWindow(hWnd, SW_HIDE);
                Log(Direction::kWindow, std::string(className) + " WM_CLOSE: hidden");
                return 0;
            }
            Log(Direction::kWindow, std::string(className) + " WM_CLOSE: closed");
            std::erase(dialogs_, hWnd);
            DestroyWindow(hWnd);
            return 0;
        case WM_ACTIVATE:
            // Only what an application sends is worth recording; the system's
            // own activation changes are noise here.
            if (LOWORD(wParam) == WA_CLICKACTIVE) {
                Log(Direction::kWindow, std::string(className) + " WM_ACTIVATE WA_CLICKACTIVE");
            }
            return 0;
        case kTcmGetCurSel:
            if (hWnd == tabs_) {
                return tab_;
            }
            break;
        case kTcmSetCurSel:
            if (hWnd == tabs_) {
                const int previous = tab_;
                if (wParam <= 2) {
                    SelectTab(static_cast<int>(wParam));
                }
                return previous;
            }
            break;
        case WM_LBUTTONDOWN:
            Log(Direction::kWindow, std::string(className) + " clicked at (" + std::to_string(x) +
                                        "," + std::to_string(y) + ")");
            if (hWnd == tabs_ && y >= 0 && y < kTabHeight && x >= 0 && x < 3 * kTabWidth) {
                SelectTab(x / kTabWidth);
            }
            return 0;
        case WM_LBUTTONUP:
            return 0;
        default:
            break;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// --- SkypeSim -------------------------------------------------------------

SkypeSim::SkypeSim() : impl_(std::make_unique<Impl>()) {}
SkypeSim::~SkypeSim() = default;

bool SkypeSim::LoadScenario(const std::string& text, std::string* error) {
    Scenario scenario;
    if (!ParseScenario(text, &scenario, error)) {
        return false;
    }
    for (const Step& step : scenario.setup) {
        if (!ApplySetup(step, &impl_->setup, error)) {
            *error = "line " + std::to_string(step.line) + ": " + *error;
            return false;
        }
    }
    impl_->script = scenario.steps;
    return true;
}

bool SkypeSim::LoadScenarioFile(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    return LoadScenario(text.str(), error);
}

bool SkypeSim::ApplySetupLine(const std::string& line, std::string* error) {
    Step step;
    if (!ParseStep(line, 0, &step, error)) {
        return false;
    }
    if (!IsSetupVerb(step.verb)) {
        *error = "not a set-up line: " + line;
        return false;
    }
    return ApplySetup(step, &impl_->setup, error);
}

Setup& SkypeSim::setup() {
    return impl_->setup;
}

void SkypeSim::SetOptions(const SimOptions& options) {
    impl_->options = options;
}

bool SkypeSim::Start(std::string* error) {
    return impl_->Start(error);
}

void SkypeSim::Stop() {
    impl_->Stop();
}

void SkypeSim::Hang() {
    if (impl_->running) {
        PostMessageA(impl_->api, kWmHang, 0, 0);
    }
}

bool SkypeSim::running() const {
    return impl_->running;
}

bool SkypeSim::Inject(const std::string& line, std::string* error) {
    Step step;
    if (!ParseStep(line, 0, &step, error)) {
        return false;
    }
    int ms = 0;
    Expectation expectation;
    if (IsPause(step, &ms) || IsExpectation(step, &expectation)) {
        *error = "wait and expect are script lines, not events";
        return false;
    }
    return impl_->Perform(step, error);
}

bool SkypeSim::NextCommand(int timeoutMs, std::string* command) {
    return impl_->NextCommand(timeoutMs, command);
}

bool SkypeSim::ExpectCommand(const std::string& pattern, int timeoutMs, std::string* got) {
    std::string command;
    if (!impl_->NextCommand(timeoutMs, &command)) {
        if (got != nullptr) {
            got->clear();
        }
        return false;
    }
    if (got != nullptr) {
        *got = command;
    }
    return MatchesPattern(pattern, command);
}

bool SkypeSim::WaitForCommand(const std::string& pattern, int timeoutMs, std::string* got) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   deadline - std::chrono::steady_clock::now())
                                   .count();
        std::string command;
        if (!impl_->NextCommand(static_cast<int>(left > 0 ? left : 0), &command)) {
            return false;
        }
        if (MatchesPattern(pattern, command)) {
            if (got != nullptr) {
                *got = command;
            }
            return true;
        }
    }
}

bool SkypeSim::RunScript(std::string* failure) {
    return RunSteps(impl_->script, *impl_, failure);
}

bool SkypeSim::RunScriptText(const std::string& text, std::string* failure) {
    Scenario scenario;
    if (!ParseScenario(text, &scenario, failure)) {
        return false;
    }
    std::vector<Step> steps = scenario.setup;
    steps.insert(steps.end(), scenario.steps.begin(), scenario.steps.end());
    return RunSteps(steps, *impl_, failure);
}

size_t SkypeSim::scriptLength() const {
    return impl_->script.size();
}

std::vector<TranscriptEntry> SkypeSim::Transcript() const {
    return impl_->transcript.Entries();
}

std::string SkypeSim::TranscriptText() const {
    return impl_->transcript.Text();
}

Model SkypeSim::ModelSnapshot() const {
    Model snapshot = impl_->setup.model;
    impl_->RunOnSimThread([&] { snapshot = impl_->engine->model(); });
    return snapshot;
}

int SkypeSim::negotiatedProtocol() const {
    int protocol = 1;
    impl_->RunOnSimThread([&] { protocol = impl_->engine->protocol(); });
    return protocol;
}

void* SkypeSim::apiWindow() const {
    return impl_->api;
}

void* SkypeSim::mainWindow() const {
    return impl_->main;
}

int SkypeSim::attachedCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return static_cast<int>(impl_->attached.size());
}

long long SkypeSim::nowMs() const {
    return impl_->NowMs();
}

}  // namespace skypesim
