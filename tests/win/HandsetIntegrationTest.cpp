// The handset object with the real libraries, bound by name, against the
// virtual handset through the HID library's virtual-device backend: reports
// arrive as WM_HANDSET_INPUT on a window thread, are decoded and acknowledged
// on the input thread, and LCD transfers render on the virtual handset.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "../handset/HandsetFakes.h"
#include "ComponentBinding.h"
#include "HandsetSim.h"
#include "HsdHid.h"

namespace {

using handsetsim::VirtualHandset;
using handsetsim::VirtualHandsetOptions;
using handsettest::FakeSkypeLink;
using handsettest::FakeWire;
using handsettest::Log;

std::string BinFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// The program's main window as far as handset input goes, with its own message loop.
class MainWindow {
public:
    explicit MainWindow(CHsdHid& handset) : handset_(handset) {
        std::mutex m;
        std::condition_variable cv;
        bool ready = false;
        thread_ = std::thread([&] {
            threadId_ = GetCurrentThreadId();
            WNDCLASSA wc{};
            wc.lpfnWndProc = &MainWindow::Proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "VoxlinkHandsetIntegrationWindow";
            RegisterClassA(&wc);
            hwnd_ = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    wc.hInstance, nullptr);
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            {
                std::lock_guard<std::mutex> g(m);
                ready = true;
            }
            cv.notify_one();
            MSG msg;
            while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
                DispatchMessageA(&msg);
            }
            DestroyWindow(hwnd_);
        });
        std::unique_lock<std::mutex> g(m);
        cv.wait(g, [&] { return ready; });
    }
    ~MainWindow() {
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    HWND Handle() const { return hwnd_; }

private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        if (self != nullptr && msg == WM_HANDSET_INPUT) {
            self->handset_.OnHidInput(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(l));
            return 0;
        }
        return DefWindowProcA(h, msg, w, l);
    }

    CHsdHid& handset_;
    std::thread thread_;
    DWORD threadId_ = 0;
    HWND hwnd_ = nullptr;
};

TEST(HandsetWithVirtualHandset, LinkStartKeysAndAContactOnTheDisplay) {
    VirtualHandsetOptions options;
    options.pipePath = "\\\\.\\pipe\\voxlink-handset-it-" + std::to_string(GetCurrentProcessId());
    options.broadcastDeviceChange = false;
    VirtualHandset device(options);
    ASSERT_TRUE(device.Plug());

    Log log;
    FakeSkypeLink skype(log);
    FakeWire wire(log);
    CallStore calls;
    UserStore users;
    CWinHidLibrary hidLibrary;
    CWinFontLibrary fontLibrary;
    {
        CHsdHid handset(&hidLibrary);
        ASSERT_NE(handset.HidCtrl(), nullptr);
        ASSERT_EQ(fontLibrary.Bind(), 0);
        CHsdFontProcess* font = fontLibrary.Component();
        font->SetHIDCtrlInterface(handset.HidCtrl());
        handset.BindFontProcess(font);
        ASSERT_EQ(font->InitialFontTable(BinFolder().c_str()), 0);
        HandsetPorts ports;
        ports.calls = &calls;
        ports.users = &users;
        ports.skype = &skype;
        ports.wire = &wire;
        handset.Connect(ports);

        MainWindow window(handset);
        ASSERT_TRUE(handset.ReopenHandset());
        ASSERT_TRUE(handset.StartHandset(window.Handle()));
        ASSERT_TRUE(device.WaitForConnections(2, 5000));

        // The link start is answered with 0x80: codec register, display mode 1.
        g_bHandsetActive.store(0);
        handset.StartHandsetLink();
        ASSERT_TRUE(handsettest::WaitFor([&] { return log.Has("missed 1"); }, 5000));
        EXPECT_EQ(g_bHandsetActive.load(), 1);
        EXPECT_EQ(handset.DisplayMode(), 1);
        const auto registers = device.State().registers;
        ASSERT_EQ(registers.count(0x0E), 1u);
        EXPECT_EQ(registers.at(0x0E), std::make_pair(0x80, 0x08));

        // Lifting the handset answers the ringing call, and the key is acknowledged.
        calls.SetCurrentCallId(7);
        calls.SetCurrentCallStatus(CALLSTATUS_RINGING_IN);
        const int lift = device.Lift();
        ASSERT_TRUE(device.WaitForAcknowledgement(lift, 5000));
        EXPECT_TRUE(device.Acknowledgements().back().handled);
        EXPECT_TRUE(log.Has("wire SET CALL     7 STATUS INPROGRESS"));

        // Contact list: enter, browse, list key; the handset asks for the
        // transfer and shows the name drawn by the font component.
        users.AddUserIfAbsent("alice", USER_ONLINE);
        users.SetUserDisplayName("alice", "Alice Smith", 11);
        ASSERT_TRUE(device.WaitForAcknowledgement(device.PressKey(0x60), 5000));
        EXPECT_EQ(handset.GetModeFlags() & kModeContactList, kModeContactList);
        ASSERT_TRUE(device.WaitForAcknowledgement(device.PressKey(0x62), 5000));
        const int transfers = device.State().transfers;
        ASSERT_TRUE(device.WaitForAcknowledgement(device.PressKey(0x6C), 5000));
        ASSERT_TRUE(device.WaitForTransfers(transfers + 1, 5000));
        EXPECT_TRUE(device.WaitForDisplay("Alice Smith", 5000)) << device.DisplayText();
        std::printf("%s\n", device.DisplayArt().c_str());

        handset.StopThreads();
        handset.StopHandsetReading();
        fontLibrary.Release();
    }
    device.Unplug();
}

}  // namespace
