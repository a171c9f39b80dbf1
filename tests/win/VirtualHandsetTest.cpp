// CHsdHIDCtrl against the virtual handset, through the virtual-device backend:
// the same discovery, CreateFileA, overlapped ReadFile and WriteFile code as a
// real handset, with the handset's pipe server on its own thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "HandsetSim.h"
#include "HidTestSupport.h"
#include "HsdHIDCtrl.h"

namespace {

using handsetsim::VirtualHandset;
using handsetsim::VirtualHandsetOptions;

std::string UniquePipe() {
    static std::atomic<int> counter{0};
    return "\\\\.\\pipe\\voxlink-test-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
}

VirtualHandsetOptions Quiet(std::uint16_t inputLength = 8) {
    VirtualHandsetOptions options;
    options.pipePath = UniquePipe();
    options.inputReportLength = inputLength;
    options.broadcastDeviceChange = false;
    return options;
}

struct Delivery {
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
};

// A window that records every WM_HANDSET_INPUT; optionally on a thread of its
// own with a message loop (as the program's main window).
class InputWindow {
public:
    std::function<void(WPARAM, LPARAM)> onInput;

    void CreateHere() {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &InputWindow::Proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "VoxlinkHidTestWindow";
            RegisterClassA(&wc);
            registered = true;
        }
        hwnd = CreateWindowExA(0, "VoxlinkHidTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleA(nullptr), this);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    void StartThread() {
        std::mutex m;
        std::condition_variable cv;
        bool ready = false;
        thread_ = std::thread([&] {
            threadId_ = GetCurrentThreadId();
            CreateHere();
            {
                std::lock_guard<std::mutex> g(m);
                ready = true;
            }
            cv.notify_one();
            MSG msg;
            while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
                DispatchMessageA(&msg);
            }
            DestroyWindow(hwnd);
        });
        std::unique_lock<std::mutex> g(m);
        cv.wait(g, [&] { return ready; });
    }

    ~InputWindow() {
        if (thread_.joinable()) {
            PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
            thread_.join();
        } else if (hwnd != nullptr) {
            DestroyWindow(hwnd);
        }
    }

    std::vector<Delivery> Deliveries() {
        std::lock_guard<std::mutex> g(lock_);
        return deliveries_;
    }

    bool WaitFor(std::size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> g(lock_);
        return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs),
                                 [&] { return deliveries_.size() >= count; });
    }

    // For a window on the calling thread: pumps until count deliveries.
    bool PumpFor(std::size_t count, int timeoutMs) {
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
        while (Deliveries().size() < count) {
            if (GetTickCount64() >= deadline) {
                return false;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageA(&msg);
            }
        }
        return true;
    }

    HWND hwnd = nullptr;
    UINT message = WM_HANDSET_INPUT;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        auto* self = reinterpret_cast<InputWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        if (self != nullptr && msg == self->message) {
            {
                std::lock_guard<std::mutex> g(self->lock_);
                self->deliveries_.push_back({w, l, GetCurrentThreadId()});
            }
            self->changed_.notify_all();
            if (self->onInput) {
                self->onInput(w, l);
            }
            return 0;
        }
        return DefWindowProcA(h, msg, w, l);
    }

    std::thread thread_;
    DWORD threadId_ = 0;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Delivery> deliveries_;
};

std::unique_ptr<CHsdHIDCtrl> MakeHid() {
    return std::make_unique<CHsdHIDCtrl>();
}

std::uint8_t Code(const Delivery& d) {
    return static_cast<std::uint8_t>(d.wParam >> 8);
}
std::uint8_t Sequence(const Delivery& d) {
    return static_cast<std::uint8_t>(d.wParam);
}

TEST(VirtualHandset, OpensThroughDiscoveryAndReadsKeysInOrderWithTheirPacking) {
    VirtualHandset handset(Quiet());
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    RecordingFontProcess font;
    hid->SetFontProcess(&font);
    ASSERT_EQ(hid->ReopenDevice(), 0);
    EXPECT_EQ(hid->DevicePath(), handset.Options().pipePath);
    EXPECT_EQ(hid->ProductId(), handset.Options().productId);
    char container[64];
    EXPECT_EQ(hid->GetContainerId(container, sizeof container), E_FAIL) << "a pipe has none";
    ASSERT_EQ(font.keyCalls.size(), 1u);
    EXPECT_EQ(font.keyCalls[0].handsetOpen, 1);
    EXPECT_EQ(font.keyCalls[0].pace, 0) << "no USB 2.0 hub under Wine";

    InputWindow window;
    window.StartThread();
    ASSERT_EQ(hid->StartReadThread(window.hwnd), 0);
    ASSERT_TRUE(handset.WaitForConnections(2, 5000));

    TraceCapture trace;
    TraceCapture::Clear();
    const std::uint8_t keys[] = {0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0x1F};
    for (std::uint8_t key : keys) {
        handset.PressKey(key, 0x07);
    }
    ASSERT_TRUE(handset.SendReport({0, 0x11, 0x22, 0x33, 0xA1, 0xB2, 0xC3, 0xD4}));
    ASSERT_TRUE(window.WaitFor(7, 5000));
    const std::vector<Delivery> got = window.Deliveries();
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(Code(got[i]), keys[i]) << i;
        EXPECT_EQ(Sequence(got[i]), i % 4) << i;
        EXPECT_EQ((got[i].wParam >> 16) & 0xFF, 0x07u) << "auxiliary byte";
        EXPECT_EQ(got[i].lParam, 0);
    }
    EXPECT_EQ(static_cast<std::uint32_t>(got[6].wParam), 0x00112233u);
    EXPECT_EQ(static_cast<std::uint32_t>(got[6].lParam), 0xA1B2C3D4u);
    const std::vector<std::string> lines = TraceCapture::Lines();
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "MCU->PC: 00 07 B1 00 00 00 00 00.......\n");
    EXPECT_EQ(lines[6], "MCU->PC: 00 11 22 33 A1 B2 C3 D4.......\n");

    EXPECT_EQ(hid->CloseDevice(), 0);
    EXPECT_FALSE(hid->IsOpen());
    EXPECT_FALSE(hid->HasReadThread());
}

TEST(VirtualHandset, FourByteReportsCarryAllOnesInLParam) {
    VirtualHandset handset(Quiet(4));
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1800), 0);
    EXPECT_EQ(hid->InputReportLength(), 4);
    InputWindow window;
    window.StartThread();
    ASSERT_EQ(hid->StartReadThread(window.hwnd), 0);
    ASSERT_TRUE(handset.WaitForConnections(2, 5000));
    handset.PressKey(0x31);
    handset.PressKey(0x6C);
    ASSERT_TRUE(window.WaitFor(2, 5000));
    const auto got = window.Deliveries();
    EXPECT_EQ(static_cast<std::uint32_t>(got[0].wParam), 0x00003100u);
    EXPECT_EQ(static_cast<std::uint32_t>(got[0].lParam), 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<std::uint32_t>(got[1].wParam), 0x00006C01u);
    hid->CloseDevice();
}

TEST(VirtualHandset, SecondStartKeepsOneThreadAndTheFirstWindowNotifyMessageFollows) {
    VirtualHandset handset(Quiet());
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    ASSERT_EQ(hid->ReopenDevice(), 0);
    InputWindow first;
    InputWindow second;
    first.StartThread();
    second.StartThread();
    ASSERT_EQ(hid->StartReadThread(first.hwnd), 0);
    ASSERT_EQ(hid->StartReadThread(second.hwnd), 0);
    EXPECT_EQ(hid->NotifyWindow(), first.hwnd);
    ASSERT_TRUE(handset.WaitForConnections(2, 5000));
    handset.PressKey(0xB0);
    ASSERT_TRUE(first.WaitFor(1, 5000));
    // Only one read thread: the report arrives once, at the first window.
    Sleep(100);
    EXPECT_EQ(first.Deliveries().size(), 1u);
    EXPECT_TRUE(second.Deliveries().empty());

    EXPECT_EQ(hid->SetNotifyMessage(WM_USER + 7), 1);
    first.message = WM_USER + 7;
    handset.PressKey(0xB1);
    ASSERT_TRUE(first.WaitFor(2, 5000));
    EXPECT_EQ(Code(first.Deliveries()[1]), 0xB1);
    hid->CloseDevice();
}

TEST(VirtualHandset, StartReadThreadOpensTheHandsetWhenClosed) {
    VirtualHandset handset(Quiet());
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    InputWindow window;
    window.StartThread();
    ASSERT_EQ(hid->StartReadThread(window.hwnd), 0);
    EXPECT_TRUE(hid->IsOpen());
    ASSERT_TRUE(handset.WaitForConnections(2, 5000));
    handset.PressKey(0xB9);
    EXPECT_TRUE(window.WaitFor(1, 5000));
    hid->ResetDevice();
    EXPECT_FALSE(hid->IsOpen());
}

TEST(VirtualHandset, StopFromTheWindowThreadWhileADeliveryIsBlockedDoesNotDeadlock) {
    VirtualHandset handset(Quiet());
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    ASSERT_EQ(hid->ReopenDevice(), 0);
    InputWindow window;
    window.CreateHere();  // this thread owns the window and doesn't pump now
    ASSERT_EQ(hid->StartReadThread(window.hwnd), 0);
    ASSERT_TRUE(handset.WaitForConnections(2, 5000));
    handset.PressKey(0xB7);
    Sleep(200);  // the read thread is now blocked in SendMessageA to our window
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hid->StopReadThread(), 0);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 250.0) << "stopping must not wait for the 500 ms last resort";
    ASSERT_EQ(window.Deliveries().size(), 1u) << "the blocked report was still delivered";
    EXPECT_EQ(Code(window.Deliveries()[0]), 0xB7);
    EXPECT_EQ(window.Deliveries()[0].thread, GetCurrentThreadId());
    EXPECT_FALSE(hid->HasReadThread());
    std::printf("stop with a blocked delivery took %.1f ms\n", ms);
    hid->CloseDevice();
}

TEST(VirtualHandset, EveryOutputReportByteForByteWithItsTraceLine) {
    VirtualHandset handset(Quiet());
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1800), 0);
    TraceCapture trace;
    TraceCapture::Clear();
    EXPECT_EQ(hid->SendCommand(0x55), 0);
    EXPECT_EQ(hid->SendCommandData(0x71, 0x0A), 0);
    EXPECT_EQ(hid->EnableMixerControl(), 0);
    EXPECT_EQ(hid->DisableMixerControl(), 0);
    EXPECT_EQ(hid->HSD_SetMixerRegControl(0x0E, 0x80, 0x48), 0);
    EXPECT_EQ(hid->HSD_GetMixerRegControl(0x1C), 0);
    ASSERT_TRUE(handset.WaitForOutputs(6, 5000));
    const auto out = handset.Outputs();
    const std::vector<std::vector<std::uint8_t>> expected = {
        {0, 0, 0, 0x55, 0, 0, 0, 0},          {0, 0, 0, 0x71, 0x0A, 0, 0, 0},
        {0, 0, 0, 0, 0x60, 0x1A, 0x55, 0x55}, {0, 0, 0, 0, 0x60, 0x1A, 0x00, 0x00},
        {0, 0, 0, 0, 0x60, 0x0E, 0x80, 0x48}, {0, 0, 0, 0, 0x70, 0x1C, 0, 0}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(out[i].bytes, expected[i]) << i;
    }
    const std::vector<std::string> want = {
        "MCU<-PC: 00 00 00 55 00 00 00 00 ...\n",
        "MCU<-PC: 00 00 00 71 0A 00 00 00 ...\n",
        "MCU<-PC: EnableMixerControl-> 00 00 00 00 60 1A 55 55 ...\n",
        "MCU<-PC: DisableMixerControl-> 00 00 00 00 60 1A 00 00 ...\n",
        "MCU<-PC: HSD_SetMixerRegControl-> 00 00 00 00 60 0E 80 48 ...\n",
        "MCU<-PC: HSD_GetMixerRegControl(1C)-> 00 00 00 00 70 1C 00 00 ...\n"};
    EXPECT_EQ(TraceCapture::Lines(), want);
    EXPECT_EQ(handset.State().registers.at(0x0E), std::make_pair(0x80, 0x48));
    hid->CloseDevice();
}

TEST(VirtualHandset, OutputsFromManyThreadsArriveAsWholeReports) {
    VirtualHandset handset(Quiet());
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1800), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&hid, t] {
            for (int i = 0; i < 50; ++i) {
                hid->SendCommandData(static_cast<unsigned char>(0x10 + t),
                                     static_cast<unsigned char>(i));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    ASSERT_TRUE(handset.WaitForOutputs(200, 10000));
    int counts[4] = {};
    for (const auto& record : handset.Outputs()) {
        ASSERT_EQ(record.bytes.size(), 8u);
        const int t = record.bytes[3] - 0x10;
        ASSERT_TRUE(t >= 0 && t < 4);
        EXPECT_EQ(record.bytes[4], counts[t]) << "each thread's reports in its own order";
        ++counts[t];
    }
    hid->CloseDevice();
}

TEST(VirtualHandset, HandsetThatStopsTakingReportsHoldsNoWriteOrCloseBeyondTheBound) {
    VirtualHandset handset(Quiet());
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1800), 0);
    handset.TakeOutputs(false);
    // Writes are taken until the pipe's buffer is full; from then on each
    // command gives up after its two bounded attempts.
    using Clock = std::chrono::steady_clock;
    double slowest = 0;
    const auto started = Clock::now();
    for (int i = 0; i < 1000 && slowest < 400; ++i) {
        const auto before = Clock::now();
        hid->SendCommandData(0x30, static_cast<unsigned char>(i));
        slowest = std::max(
            slowest, std::chrono::duration<double, std::milli>(Clock::now() - before).count());
    }
    ASSERT_GE(slowest, 400) << "the writes never had to wait: the buffer did not fill";
    EXPECT_LT(slowest, 1500) << "two attempts of 500 ms and the pause between them";

    // A close during a waiting write cancels it instead of waiting for it.
    std::thread writer([&hid] { hid->SendCommand(0x07); });
    Sleep(100);
    const auto closing = Clock::now();
    hid->CloseDevice();
    const double closeMs =
        std::chrono::duration<double, std::milli>(Clock::now() - closing).count();
    writer.join();
    const double writerMs =
        std::chrono::duration<double, std::milli>(Clock::now() - closing).count();
    std::printf("buffer full after %.0f ms; slowest write %.0f ms; close %.1f ms, writer %.1f ms\n",
                std::chrono::duration<double, std::milli>(Clock::now() - started).count(), slowest,
                closeMs, writerMs);
    EXPECT_LT(closeMs, 100);
    EXPECT_LT(writerMs, 100) << "the cancelled write makes no second attempt";
}

TEST(VirtualHandset, UnplugEndsReadsWithoutPhantomReportsAndReopenFollowsThePlug) {
    VirtualHandset handset(Quiet());
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    RecordingFontProcess font;
    hid->SetFontProcess(&font);
    ASSERT_EQ(hid->ReopenDevice(), 0);
    InputWindow window;
    window.StartThread();
    ASSERT_EQ(hid->StartReadThread(window.hwnd), 0);
    ASSERT_TRUE(handset.WaitForConnections(2, 5000));
    handset.PressKey(0xB3);
    ASSERT_TRUE(window.WaitFor(1, 5000));

    handset.Unplug();
    Sleep(200);
    EXPECT_EQ(window.Deliveries().size(), 1u) << "a failed read is not delivered as a report";
    EXPECT_EQ(hid->SendCommand(0x20), 0) << "the write fails quietly";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hid->ReopenDevice(), E_FAIL);
    const double reopenMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(reopenMs, 250.0) << "stopping a read thread whose device is gone is quick";
    EXPECT_FALSE(hid->IsOpen());
    EXPECT_EQ(font.keyCalls.size(), 1u);

    ASSERT_TRUE(handset.Plug());
    EXPECT_EQ(hid->ReopenDevice(), 0);
    EXPECT_EQ(font.keyCalls.size(), 2u);
    ASSERT_EQ(hid->StartReadThread(window.hwnd), 0);
    ASSERT_TRUE(handset.WaitForConnections(2, 5000));
    handset.PressKey(0xB4);
    ASSERT_TRUE(window.WaitFor(2, 5000));
    EXPECT_EQ(Code(window.Deliveries()[1]), 0xB4);
    hid->CloseDevice();
}

TEST(VirtualHandset, LinkStartTransferHandshakeAndAnLcdTransfer) {
    VirtualHandset handset(Quiet());
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    ASSERT_EQ(hid->ReopenDevice(), 0);
    InputWindow window;
    window.StartThread();
    ASSERT_EQ(hid->StartReadThread(window.hwnd), 0);
    ASSERT_TRUE(handset.WaitForConnections(2, 5000));

    hid->SendCommand(0x51);
    Sleep(25);
    hid->SendCommand(0x06);
    ASSERT_TRUE(window.WaitFor(1, 5000));
    EXPECT_EQ(Code(window.Deliveries()[0]), 0x80);
    EXPECT_LT(Sequence(window.Deliveries()[0]), 4);

    hid->SendCommand(0x3F);
    ASSERT_TRUE(window.WaitFor(2, 5000));
    EXPECT_EQ(Code(window.Deliveries()[1]), 0x5A);
    EXPECT_GE(Sequence(window.Deliveries()[1]), 4);
    EXPECT_LE(Sequence(window.Deliveries()[1]), 7);

    // A browsed contact as font codes: marker, ASCII run, end of transfer.
    hid->SendCommandData(0x6A, 0x0A);
    hid->SendCommandData(0x70, 0x0A);
    const char* name = "Ann";
    for (int i = 0; name[i] != 0; ++i) {
        hid->SendCommandData(static_cast<unsigned char>(name[i]), i % 2 ? 5 : 0);
    }
    hid->SendCommandData(0x1A, 0x0A);
    ASSERT_TRUE(handset.WaitForTransfers(1, 5000));
    EXPECT_EQ(handset.Screen().NameText(), "Ann");
    EXPECT_TRUE(handset.Screen().anomalies.empty());
    EXPECT_NE(handset.DisplayText().find("|IN"), std::string::npos);
    hid->CloseDevice();
}

// The round trip a key takes: virtual handset -> read thread -> window
// (WM_HANDSET_INPUT handled, acknowledgement written) -> virtual handset.
TEST(VirtualHandset, KeyRoundTripOfAThousandReports) {
    VirtualHandset handset(Quiet());
    ASSERT_TRUE(handset.Plug());
    auto hid = MakeHid();
    ASSERT_EQ(hid->ReopenDevice(), 0);
    InputWindow window;
    CHsdHIDCtrl* raw = hid.get();
    window.onInput = [raw](WPARAM w, LPARAM) {
        raw->SendCommand(static_cast<unsigned char>((w & 0x03) | 0x50));
    };
    window.StartThread();
    ASSERT_EQ(hid->StartReadThread(window.hwnd), 0);
    ASSERT_TRUE(handset.WaitForConnections(2, 5000));
    SetHidTraceSink([](const char*) {});

    std::vector<double> times;
    for (int i = 0; i < 1000; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const int sequence = handset.PressKey(0xB0 + i % 10);
        ASSERT_TRUE(handset.WaitForAcknowledgement(sequence, 5000)) << i;
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    SetHidTraceSink(nullptr);
    EXPECT_EQ(window.Deliveries().size(), 1000u);
    const auto acks = handset.Acknowledgements();
    EXPECT_EQ(acks.size(), 1000u);
    EXPECT_TRUE(std::all_of(acks.begin(), acks.end(), [](const auto& a) { return a.handled; }));
    std::sort(times.begin(), times.end());
    std::printf("key round trip over 1000 reports: median %.3f ms, worst %.3f ms\n", times[500],
                times.back());
    EXPECT_LT(times[500], 50.0);
    hid->CloseDevice();
}

}  // namespace
